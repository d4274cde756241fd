#include "cloudclientasynchandler.h"

#include "uploadtask.h"

CloudClientAsyncHandler::CloudClientAsyncHandler() = default;

CloudClientAsyncHandler::~CloudClientAsyncHandler() = default;

UpLoadTask* CloudClientAsyncHandler::newUpLoadTask(QStringList files)
{
    return new UpLoadTask(*this, std::move(files));
}
