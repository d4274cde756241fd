#include "workstation.h"

#include "cloudaccount.h"
#include "clouddata.h"
#include "console.h"
#include "dicomtext.h"
#include "formfiles.h"
#include "localdatabase.h"
#include "studyhost.h"
#include "studyimport.h"
#include "studylistwindow.h"
#include "walkthrough.h"
#include "watchdog.h"
#include "workstationoptions.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPixmap>
#include <QWidget>

int Workstation::run(const WorkstationOptions& given)
{
    useDesktopFontSize();
    const QString appDir = QCoreApplication::applicationDirPath();
    // The host trusts what the plug-in trusts unless told otherwise.
    WorkstationOptions options = given;
    if (options.caFile.isEmpty())
        options.caFile = readCloudData(appDir).caFile;
    if (!FormFiles::writeMissingDictionaries()) {
        printError(QStringLiteral("cannot write the dictionaries beside %1").arg(appDir));
        return 1;
    }
    if (!options.screenshotFile.isEmpty())
        return saveScreenshot(options.screenshotFile);

    LocalDatabase database;
    if (!database.open(options.databaseFile)) {
        printError(database.errorString());
        return 1;
    }
    quietDicomLogging();
    for (const QString& folder : options.importFolders) {
        const ImportSummary summary = importFolder(folder, database);
        for (const QString& problem : summary.problems)
            printError(QStringLiteral("skipped %1").arg(problem));
        if (!summary.error.isEmpty()) {
            printError(summary.error);
            return 1;
        }
        printLine(QStringLiteral("imported %1: %2").arg(folder, describeImport(summary)));
    }
    if (options.quitAfterImport)
        return 0;

    StudyHost host(appDir);
    if (!options.walkthroughDir.isEmpty()) {
        // Each step waits at most waitSeconds; the whole run gets a bound as well.
        const Watchdog watchdog(options.waitSeconds * 6, QStringLiteral("the walk-through did not end in time"), 3);
        return Walkthrough(database, host, options).run();
    }
    CloudAccount cloud(options.cloudUrl, options.waitSeconds, options.caFile);
    StudyListWindow window(database, host, cloud, options.user, options.password);
    window.show();
    return QApplication::exec();
}

// The form's fixed label widths are laid out for the usual 9 pt desktop font;
// Qt's 12 pt default would cut the labels short.
void Workstation::useDesktopFontSize()
{
    QFont font = QApplication::font();
    font.setPointSize(9);
    QApplication::setFont(font);
}

int Workstation::saveScreenshot(const QString& file)
{
    StudyHost host(QCoreApplication::applicationDirPath());
    QWidget* form = host.newForm();
    if (!form) {
        printError(host.error());
        return 1;
    }
    form->show();
    QApplication::processEvents();
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        printError(QStringLiteral("cannot create %1").arg(info.absolutePath()));
        return 1;
    }
    if (!form->grab().save(info.absoluteFilePath(), "PNG")) {
        printError(QStringLiteral("cannot write %1").arg(info.absoluteFilePath()));
        return 1;
    }
    return 0;
}
