#include "workstationoptions.h"

#include <QCommandLineParser>

WorkstationOptions parseWorkstationOptions(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Workstation host for the cloud patient plug-in."));
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the study form to <file> and quit."),
                                        QStringLiteral("file"));
    parser.addOption(screenshot);

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
    options.screenshotFile = parser.value(screenshot);
    if (parser.isSet(screenshot) && options.screenshotFile.isEmpty())
        options.error = QStringLiteral("--screenshot needs a file name");
    return options;
}

void choosePlatform()
{
    const bool display = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    if (!display && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen screen claims 100 dpi; the form's fixed widths assume a 96 dpi desktop.
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && !qEnvironmentVariableIsSet("QT_FONT_DPI"))
        qputenv("QT_FONT_DPI", "96");
}
