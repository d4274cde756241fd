#include "console.h"
#include "workstation.h"
#include "workstationoptions.h"

#include <QApplication>

#include <curl/curl.h>

#include <cstdio>

namespace {

// libcurl's global state, set up while the process has one thread: upload
// tasks use libcurl from threads of their own.
struct CurlGlobal
{
    CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

} // namespace

int main(int argc, char* argv[])
{
    const CurlGlobal curl;
    const bool headless = choosePlatform(argc, argv);
    QApplication app(argc, argv);

    const WorkstationOptions options = parseWorkstationOptions(QApplication::arguments(), headless);
    if (!options.helpText.isEmpty()) {
        std::fputs(options.helpText.toUtf8().constData(), stdout);
        return 0;
    }
    if (!options.error.isEmpty()) {
        printError(options.error);
        return 2;
    }
    if (!useGbkLocale()) {
        printError(QStringLiteral("this Qt has no GBK codec"));
        return 1;
    }
    return Workstation().run(options);
}
