#ifndef OUTPUTCAPTURE_H
#define OUTPUTCAPTURE_H

#include <QByteArray>
#include <QTemporaryFile>

// Whatever the process writes to stdout and stderr while the object lives,
// or until release().
class OutputCapture
{
public:
    OutputCapture();
    ~OutputCapture();

    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Gives stdout and stderr back; what was written meanwhile.
    QByteArray release();

private:
    QTemporaryFile file;
    int saved[2] = {-1, -1};
};

#endif
