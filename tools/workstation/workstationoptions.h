#ifndef WORKSTATIONOPTIONS_H
#define WORKSTATIONOPTIONS_H

#include <QString>
#include <QStringList>

struct WorkstationOptions
{
    QString screenshotFile;  // grab the form to this PNG and quit; empty: run interactively
    QString helpText;        // set when help was asked for
    QString error;           // set when the arguments cannot be used
};

// Reads the program's arguments (arguments[0] is the program).
WorkstationOptions parseWorkstationOptions(const QStringList& arguments);

// Without a display the form is still built and can be grabbed offscreen.
// Call before the application object exists.
void choosePlatform();

#endif
