#include "benchsummary.h"
#include "benchworkspace.h"
#include "formconstructionfigure.h"
#include "httpsopenfigure.h"
#include "messageboxanswerer.h"
#include "openstudyfigure.h"
#include "savefigure.h"
#include "scriptedcloud.h"
#include "summaryreporter.h"
#include "uploadfigure.h"
#include "uploadmemoryfigure.h"
#include "wanrelay.h"
#include "wanuploadfigure.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Options
{
    int rounds = 3;
    int uploadFiles = 200;
};

void usage()
{
    std::fprintf(stderr,
                 "usage: cloudpatient-bench [--rounds=N] [--upload-files=N] [Google Benchmark flags]\n"
                 "  --rounds=N        rounds of every measurement and its baseline (default 3)\n"
                 "  --upload-files=N  images in the upload figures (default 200; the memory figure sends\n"
                 "                    ten times as many files)\n");
}

// Reads what Google Benchmark left over; false on anything unknown.
bool readOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const QString value = argument.section(QLatin1Char('='), 1);
        bool number = false;
        if (argument.startsWith(QLatin1String("--rounds=")))
            options->rounds = value.toInt(&number);
        else if (argument.startsWith(QLatin1String("--upload-files=")))
            options->uploadFiles = value.toInt(&number);
        if (!number || options->rounds < 1 || options->uploadFiles < 1)
            return false;
    }
    return true;
}

QtMessageHandler& qtHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

// The offscreen platform says this for every window shown; it drowns the report.
void quietOffscreen(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support propagateSizeHints")))
        return;
    if (qtHandler())
        qtHandler()(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2)
                                          : QStringLiteral("unknown");
}

} // namespace

int main(int argc, char** argv)
{
    // Forms are built and shown, never on a screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler() = qInstallMessageHandler(quietOffscreen);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    Options options;
    if (!readOptions(argc, argv, &options)) {
        usage();
        return 2;
    }

    const QString loadBefore = loadAverage();
    BenchSummary summary;
    {
        BenchWorkspace workspace;
        QString why;
        if (!workspace.isReady(&why)) {
            std::fprintf(stderr, "cloudpatient-bench: %s\n", qPrintable(why));
            return 1;
        }
        ScriptedCloud cloud;
        if (!cloud.install()) {
            std::fprintf(stderr, "cloudpatient-bench: cannot write the form's settings\n");
            return 1;
        }
        MessageBoxAnswerer answerer;

        std::vector<std::unique_ptr<BenchFigure>> figures;
        WanLink wan;
        wan.oneWayDelay = std::chrono::milliseconds(10);
        wan.bitsPerSecond = 200e6;
        figures.push_back(std::make_unique<OpenStudyFigure>(cloud, answerer));
        figures.push_back(std::make_unique<HttpsOpenFigure>(cloud, answerer));
        figures.push_back(std::make_unique<OpenStudyFigure>(cloud, answerer, wan));
        figures.push_back(std::make_unique<FormConstructionFigure>());
        figures.push_back(std::make_unique<UploadFigure>(workspace, options.uploadFiles));
        figures.push_back(std::make_unique<WanUploadFigure>(workspace, options.uploadFiles));
        figures.push_back(std::make_unique<UploadMemoryFigure>(workspace, 10 * options.uploadFiles));
        figures.push_back(std::make_unique<SaveFigure>(cloud, answerer));
        for (int round = 1; round <= options.rounds; ++round) {
            for (const auto& figure : figures)
                figure->registerRound(round);
        }

        SummaryReporter reporter(summary);
        benchmark::RunSpecifiedBenchmarks(&reporter);

        std::printf("\nSummary: medians of %d rounds; load average %s before, %s after\n", options.rounds,
                    qPrintable(loadBefore), qPrintable(loadAverage()));
        for (const auto& figure : figures) {
            for (const QString& line : figure->summary(summary))
                std::printf("%s\n", qPrintable(line));
        }
    }
    for (const QString& failure : summary.failures())
        std::fprintf(stderr, "cloudpatient-bench: FAILED %s\n", qPrintable(failure));
    return summary.failures().isEmpty() ? 0 : 1;
}
