#ifndef WORKSTATION_H
#define WORKSTATION_H

#include <QString>

#include <memory>

class QWidget;
struct WorkstationOptions;

// The host application: prepares the configuration, opens the study form
// through the plug-in and shows it.
class Workstation
{
public:
    Workstation();
    ~Workstation();

    // Returns the process exit code; runs the event loop unless a screenshot was asked for.
    int run(const WorkstationOptions& options);

private:
    static void useDesktopFontSize();
    bool openForm();
    bool saveScreenshot(const QString& file);
    static void report(const QString& message);

    std::unique_ptr<QWidget> form;
};

#endif
