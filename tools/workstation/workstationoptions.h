#ifndef WORKSTATIONOPTIONS_H
#define WORKSTATIONOPTIONS_H

#include <QString>
#include <QStringList>

struct WorkstationOptions
{
    QString databaseFile;       // the local study database (SQLite)
    QStringList importFolders;  // imported before anything else, in order
    bool quitAfterImport = false;
    QString cloudUrl;           // scheme, host and port of the cloud service
    QString caFile;             // CAs trusted over https; empty: the plug-in's cloud/caFile
    QString user;
    QString password;           // --password, --password-file, $WORKSTATION_PASSWORD, or "demo"
    QString walkthroughDir;     // screenshots and summary of the walk-through; empty: none
    int waitSeconds = 30;       // bound of each wait in the walk-through
    QString screenshotFile;     // grab a fresh study form to this PNG and quit
    QString helpText;           // set when help was asked for
    QString error;              // set when the arguments cannot be used
};

// Reads the program's arguments (arguments[0] is the program). With
// @p headless (no display), the walk-through runs even when not asked for,
// into "walkthrough" below the working directory.
WorkstationOptions parseWorkstationOptions(const QStringList& arguments, bool headless);

// Picks the offscreen platform when there is no display or "--offscreen" is
// among the arguments, and answers whether it did. Call before the
// application object exists.
bool choosePlatform(int argc, char* argv[]);

#endif
