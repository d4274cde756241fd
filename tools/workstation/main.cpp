#include "workstation.h"
#include "workstationoptions.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    choosePlatform();
    QApplication app(argc, argv);

    const WorkstationOptions options = parseWorkstationOptions(QApplication::arguments());
    if (!options.helpText.isEmpty()) {
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(options.error));
        return 2;
    }
    Workstation workstation;
    return workstation.run(options);
}
