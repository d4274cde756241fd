#include "outputcapture.h"

#include <cstdio>

#include <unistd.h>

OutputCapture::OutputCapture()
{
    if (!file.open())
        qFatal("no temporary file to capture output");
    std::fflush(nullptr);
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        saved[fd - STDOUT_FILENO] = ::dup(fd);
        ::dup2(file.handle(), fd);
    }
}

OutputCapture::~OutputCapture()
{
    release();
}

QByteArray OutputCapture::release()
{
    std::fflush(nullptr);
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        int& old = saved[fd - STDOUT_FILENO];
        if (old >= 0) {
            ::dup2(old, fd);
            ::close(old);
            old = -1;
        }
    }
    file.seek(0);
    return file.readAll();
}
