#include "samplestudies.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: make-sample-studies OUTDIR\n"
                             "Writes a few small DICOM studies as OUTDIR/<study>/<series>/<image>.dcm\n"
                             "and lists them in OUTDIR/manifest.json.\n");
        return 2;
    }
    const QString outDir = args[1];
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "make-sample-studies: cannot create %s\n", qPrintable(outDir));
        return 1;
    }
    QVector<SampleStudy> studies;
    QString error;
    if (!writeSampleStudies(outDir, defaultSampleStudies(), &studies, &error)) {
        std::fprintf(stderr, "make-sample-studies: %s\n", qPrintable(error));
        return 1;
    }
    for (const SampleStudy& study : studies) {
        std::printf("%s %s %s %d files\n", qPrintable(study.folder), qPrintable(study.studyUid),
                    study.plan.patient.name.toUtf8().constData(), int(study.files().size()));
    }
    return 0;
}
