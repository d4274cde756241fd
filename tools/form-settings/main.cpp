// Writes a study form's clouddata.ini for one cloud service (the demo uses
// it), or the commented examples of every file the form reads (installed
// under share/).

#include "formfiles.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "form-settings: %s\n", qPrintable(message));
    return 1;
}

bool writeExamples(const QDir& folder)
{
    const QByteArray mainIni = "; Goes to <program folder>/config/main.ini (or <program folder>/../config/main.ini).\n"
                               "[cloudPatient]\n"
                               "; Exactly 0 disables the study form's calendar button; anything else leaves it on.\n"
                               "cloud=1\n";
    // The lines URL, type, user and password, Base64 encoded, as the proxy
    // settings form writes them.
    const QByteArray proxy = QByteArray("http://127.0.0.1:3128\nhttp\n\n").toBase64() + '\n';
    const QString items = FormFiles::dictionaryJson(
        FormFiles::CheckItems, {QStringLiteral("CT 平扫"), QStringLiteral("CT 增强"), QStringLiteral("MR 平扫"),
                                QStringLiteral("DR 胸部正位")});
    const QString positions = FormFiles::dictionaryJson(
        FormFiles::Positions,
        {QStringLiteral("头部"), QStringLiteral("胸部"), QStringLiteral("腹部"), QStringLiteral("四肢")});
    return FormFiles::write(folder.filePath(QStringLiteral("clouddata.ini")),
                            FormFiles::cloudData(QStringLiteral("http://127.0.0.1:8082"),
                                                 QStringLiteral("/kelva/upload/uploadImage.do"), 30, {}, true))
           && FormFiles::write(folder.filePath(QStringLiteral("main.ini")), mainIni)
           && FormFiles::write(folder.filePath(QStringLiteral("cloudCheckItem.json")), FormFiles::gbk(items))
           && FormFiles::write(folder.filePath(QStringLiteral("cloudPositionItem.json")), FormFiles::gbk(positions))
           && FormFiles::write(folder.filePath(QStringLiteral("proxy.txt")), proxy);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a study form's clouddata.ini for the cloud service at URL (scheme, host and port)\n"
                       "into FILE, or with --examples the commented examples of every file the form reads\n"
                       "into FOLDER."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("assist"), QStringLiteral("The service's image upload path."), QStringLiteral("PATH"),
         QStringLiteral("/kelva/upload/uploadImage.do")},
        {QStringLiteral("timeout"), QStringLiteral("requestTimeout in seconds; 0 leaves it out."),
         QStringLiteral("SECONDS"), QStringLiteral("30")},
        {QStringLiteral("set"), QStringLiteral("One more key of the [cloud] section; repeatable."),
         QStringLiteral("KEY=VALUE")},
        {QStringLiteral("examples"), QStringLiteral("Write the examples into FOLDER instead."),
         QStringLiteral("FOLDER")},
    });
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("The cloud service, e.g. http://127.0.0.1:8082"));
    parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("The clouddata.ini to write."));
    parser.process(app);

    if (parser.isSet(QStringLiteral("examples"))) {
        const QDir folder(parser.value(QStringLiteral("examples")));
        return writeExamples(folder) ? 0 : fail(QStringLiteral("cannot write into %1").arg(folder.path()));
    }
    const QStringList arguments = parser.positionalArguments();
    bool number = false;
    const int timeout = parser.value(QStringLiteral("timeout")).toInt(&number);
    if (arguments.size() != 2 || !number || timeout < 0)
        return fail(QStringLiteral("usage: form-settings [--assist PATH] [--timeout SECONDS] [--set KEY=VALUE]... "
                                   "URL FILE (see --help)"));
    FormFiles::Settings extra;
    for (const QString& setting : parser.values(QStringLiteral("set"))) {
        const int equals = setting.indexOf(QLatin1Char('='));
        if (equals <= 0)
            return fail(QStringLiteral("--set takes KEY=VALUE, not \"%1\"").arg(setting));
        extra.append({setting.left(equals), setting.mid(equals + 1)});
    }
    const QByteArray ini = FormFiles::cloudData(arguments.at(0), parser.value(QStringLiteral("assist")), timeout, extra);
    return FormFiles::write(arguments.at(1), ini) ? 0 : fail(QStringLiteral("cannot write %1").arg(arguments.at(1)));
}
