#include "workstation.h"

#include "configfolder.h"
#include "pluginforms.h"
#include "workstationoptions.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPixmap>
#include <QWidget>

#include <cstdio>

Workstation::Workstation() = default;

// The form belongs to the plug-in's library; it goes before the application does.
Workstation::~Workstation() = default;

int Workstation::run(const WorkstationOptions& options)
{
    useDesktopFontSize();
    if (!openForm())
        return 1;
    form->show();
    if (options.screenshotFile.isEmpty())
        return QApplication::exec();
    return saveScreenshot(options.screenshotFile) ? 0 : 1;
}

// The form's fixed label widths are laid out for the usual 9 pt desktop font;
// Qt's 12 pt default would cut the labels short.
void Workstation::useDesktopFontSize()
{
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
}

bool Workstation::openForm()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    QString error;
    if (!ConfigFolder(appDir).ensureDictionaries(&error)) {
        report(error);
        return false;
    }
    PluginForms plugins(appDir);
    form = plugins.createStudyForm();
    if (!form) {
        report(plugins.error());
        return false;
    }
    return true;
}

bool Workstation::saveScreenshot(const QString& file)
{
    QApplication::processEvents();
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        report(QStringLiteral("cannot create %1").arg(info.absolutePath()));
        return false;
    }
    if (!form->grab().save(info.absoluteFilePath(), "PNG")) {
        report(QStringLiteral("cannot write %1").arg(info.absoluteFilePath()));
        return false;
    }
    return true;
}

void Workstation::report(const QString& message)
{
    std::fprintf(stderr, "workstation: %s\n", qPrintable(message));
}
