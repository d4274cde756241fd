#include "workstationoptions.h"

#include <QCommandLineParser>
#include <QFile>

#include <cstring>

WorkstationOptions parseWorkstationOptions(const QStringList& arguments, bool headless)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Workstation host for the cloud patient plug-in: a local study database, a study list,\n"
        "and the study form for the selected study. Without a display it runs a scripted walk-through.\n"
        "The cloud password comes from --password, else from the first line of --password-file,\n"
        "else from the environment variable WORKSTATION_PASSWORD, else it is demo. Other users\n"
        "of the machine can read a password given with --password (ps shows it); the file or the\n"
        "variable keep it from them."));
    parser.addHelpOption();
    const QCommandLineOption database(QStringLiteral("database"),
                                      QStringLiteral("Local study database (default ./workstation.sqlite)."),
                                      QStringLiteral("file"), QStringLiteral("workstation.sqlite"));
    const QCommandLineOption import(QStringLiteral("import"),
                                    QStringLiteral("Import the DICOM files below <dir>; repeatable."),
                                    QStringLiteral("dir"));
    const QCommandLineOption quit(QStringLiteral("quit"), QStringLiteral("Quit after the imports."));
    const QCommandLineOption cloud(QStringLiteral("cloud"),
                                   QStringLiteral("Cloud service (default http://127.0.0.1:8082)."),
                                   QStringLiteral("url"), QStringLiteral("http://127.0.0.1:8082"));
    const QCommandLineOption caFile(QStringLiteral("ca-file"),
                                    QStringLiteral("CA certificates (PEM) trusted over https (default: the "
                                                   "plug-in's cloud/caFile, else the system's store)."),
                                    QStringLiteral("file"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Cloud user (default demo)."),
                                  QStringLiteral("name"), QStringLiteral("demo"));
    const QCommandLineOption password(QStringLiteral("password"),
                                      QStringLiteral("Cloud password; ps shows it to everyone (default demo)."),
                                      QStringLiteral("password"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"),
                                          QStringLiteral("Read the cloud password from the first line of <file>."),
                                          QStringLiteral("file"));
    const QCommandLineOption walkthrough(QStringLiteral("walkthrough"),
                                         QStringLiteral("Run the scripted walk-through; screenshots go to <dir>."),
                                         QStringLiteral("dir"));
    const QCommandLineOption offscreen(QStringLiteral("offscreen"),
                                       QStringLiteral("Draw offscreen (implies the walk-through)."));
    const QCommandLineOption wait(QStringLiteral("wait"),
                                  QStringLiteral("Longest wait of a walk-through step (default 30)."),
                                  QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of a new study form to <file> and quit."),
                                        QStringLiteral("file"));
    parser.addOptions({database, import, quit, cloud, caFile, user, password, passwordFile, walkthrough, offscreen,
                       wait, screenshot});

    WorkstationOptions options;
    if (!parser.parse(arguments)) {
        options.error = parser.errorText();
        return options;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        options.helpText = parser.helpText();
        return options;
    }
    if (!parser.positionalArguments().isEmpty()) {
        options.error = QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().first());
        return options;
    }
    options.databaseFile = parser.value(database);
    options.importFolders = parser.values(import);
    options.quitAfterImport = parser.isSet(quit);
    options.cloudUrl = parser.value(cloud);
    while (options.cloudUrl.endsWith(QLatin1Char('/')))
        options.cloudUrl.chop(1);
    options.caFile = parser.value(caFile);
    options.user = parser.value(user);
    if (parser.isSet(password) && parser.isSet(passwordFile)) {
        options.error = QStringLiteral("--password and --password-file exclude each other");
        return options;
    }
    if (parser.isSet(password)) {
        options.password = parser.value(password);
    } else if (parser.isSet(passwordFile)) {
        QFile file(parser.value(passwordFile));
        if (!file.open(QIODevice::ReadOnly)) {
            options.error = QStringLiteral("--password-file: cannot read %1").arg(file.fileName());
            return options;
        }
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        options.password = QString::fromUtf8(line);
    } else {
        options.password = qEnvironmentVariable("WORKSTATION_PASSWORD", QStringLiteral("demo"));
    }
    options.screenshotFile = parser.value(screenshot);
    options.walkthroughDir = parser.value(walkthrough);

    bool whole = false;
    options.waitSeconds = parser.value(wait).toInt(&whole);
    if (!whole || options.waitSeconds < 1 || options.waitSeconds > 3600)
        options.error = QStringLiteral("--wait takes whole seconds from 1 to 3600");
    else if (options.databaseFile.isEmpty())
        options.error = QStringLiteral("--database needs a file name");
    else if (parser.isSet(screenshot) && options.screenshotFile.isEmpty())
        options.error = QStringLiteral("--screenshot needs a file name");
    else if (parser.isSet(walkthrough) && options.walkthroughDir.isEmpty())
        options.error = QStringLiteral("--walkthrough needs a folder");
    else if (parser.isSet(caFile) && options.caFile.isEmpty())
        options.error = QStringLiteral("--ca-file needs a file name");
    else if (options.importFolders.contains(QString()))
        options.error = QStringLiteral("--import needs a folder");
    else if (!options.cloudUrl.startsWith(QLatin1String("http://"))
             && !options.cloudUrl.startsWith(QLatin1String("https://")))
        options.error = QStringLiteral("--cloud takes an http:// or https:// URL, not \"%1\"").arg(options.cloudUrl);

    const bool walkthroughByDefault = (headless || parser.isSet(offscreen)) && options.screenshotFile.isEmpty()
        && !options.quitAfterImport;
    if (options.walkthroughDir.isEmpty() && walkthroughByDefault)
        options.walkthroughDir = QStringLiteral("walkthrough");
    return options;
}

bool choosePlatform(int argc, char* argv[])
{
    bool offscreen = false;
    for (int i = 1; i < argc; ++i)
        offscreen = offscreen || std::strcmp(argv[i], "--offscreen") == 0;
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (offscreen || (!display && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool headless = qgetenv("QT_QPA_PLATFORM") == "offscreen";
    // The offscreen screen claims 100 dpi; the form's fixed widths assume a 96 dpi desktop.
    if (headless && !qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
    return headless;
}
