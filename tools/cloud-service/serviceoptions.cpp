#include "serviceoptions.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <algorithm>

namespace {

bool loadJsonAccounts(const QString& path, std::map<QString, QString>* accounts, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    QJsonParseError parse;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        *error = QStringLiteral("%1 is not a JSON object of user names and passwords").arg(path);
        return false;
    }
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it.value().isString()) {
            *error = QStringLiteral("%1: the password of \"%2\" is not a string").arg(path, it.key());
            return false;
        }
        (*accounts)[it.key()] = it.value().toString();
    }
    return true;
}

bool loadIniAccounts(const QString& path, std::map<QString, QString>* accounts, QString* error)
{
    if (!QFileInfo(path).isReadable()) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("%1 is not a valid INI file").arg(path);
        return false;
    }
    settings.beginGroup(QStringLiteral("accounts"));
    const QStringList users = settings.childKeys();
    for (const QString& user : users)
        (*accounts)[user] = settings.value(user).toString();
    return true;
}

} // namespace

bool parseListenAddress(const QString& text, ListenAddress* address)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) != host.endsWith(QLatin1Char(']')))
        return false;
    if (host.startsWith(QLatin1Char('[')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false;  // an IPv6 address needs its brackets
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const int port = portText.toInt(&ok);
    const bool digits = !portText.isEmpty()
        && std::all_of(portText.begin(), portText.end(), [](QChar c) { return c.isDigit(); });
    if (host.isEmpty() || !digits || !ok || port > 65535)
        return false;
    *address = {host, port};
    return true;
}

bool loadAccounts(const QString& path, std::map<QString, QString>* accounts, QString* error)
{
    std::map<QString, QString> read;
    const bool json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    if (!(json ? loadJsonAccounts(path, &read, error) : loadIniAccounts(path, &read, error)))
        return false;
    if (read.empty()) {
        *error = QStringLiteral("%1 lists no accounts").arg(path);
        return false;
    }
    *accounts = read;
    return true;
}
