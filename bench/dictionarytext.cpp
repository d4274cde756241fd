#include "dictionarytext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextCodec>

QStringList dictionaryNames(const QString& stem, int count)
{
    QStringList names;
    names.reserve(count);
    for (int i = 0; i < count; ++i)
        names << stem + QLatin1Char(' ') + QString::number(i);
    return names;
}

QString dictionaryJson(const QStringList& names, const QString& idKey, const QString& nameKey)
{
    QJsonArray entries;
    for (int i = 0; i < names.size(); ++i)
        entries.append(QJsonObject{{idKey, QString::number(i)}, {nameKey, names.at(i)}});
    return QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Compact));
}

QByteArray gbkBytes(const QString& text)
{
    const QTextCodec* gbk = QTextCodec::codecForName("GBK");
    return gbk ? gbk->fromUnicode(text) : QByteArray();
}
