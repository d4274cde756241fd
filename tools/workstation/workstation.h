#ifndef WORKSTATION_H
#define WORKSTATION_H

#include <QString>

struct WorkstationOptions;

// The host application: opens the local study database, imports folders,
// then shows the study list, runs the walk-through, or grabs one form.
class Workstation
{
public:
    // Returns the process exit code.
    int run(const WorkstationOptions& options);

private:
    static void useDesktopFontSize();
    static int saveScreenshot(const QString& file);
};

#endif
