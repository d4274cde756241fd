#ifndef SAMPLESTUDIES_H
#define SAMPLESTUDIES_H

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <vector>

struct SamplePatient
{
    QString name;  // DICOM person name: "Smith^John", "张三"
    QString id;
    QString sex;   // "M", "F", "O"
    QString age;   // DICOM age string: "045Y", "010M"
};

// What one generated study looks like. Everything but the UIDs is fixed by it.
struct SampleStudyPlan
{
    SamplePatient patient;
    QString description;
    QDateTime studyTime;  // local time of the examination
    QString modality;
    int seriesCount = 1;
    int imagesPerSeries = 1;
    QString studyUid;  // empty: a new UID is generated
};

struct SampleSeries
{
    QString seriesUid;
    QStringList files;  // relative to the output folder, '/'-separated
};

struct SampleStudy
{
    QString folder;  // relative to the output folder
    QString studyUid;
    SampleStudyPlan plan;
    QVector<SampleSeries> series;

    QStringList files() const;
};

// Rows x columns of 16-bit samples with a ring pattern that moves with `variant`,
// all below 4096 so that 12 stored bits hold them.
std::vector<uint16_t> samplePixels(int rows, int columns, int variant);

// The studies that make-sample-studies writes: Chinese and Latin names, both
// sexes, ages in years and months, several series and images each.
QVector<SampleStudyPlan> defaultSampleStudies();

// Writes one Secondary Capture study as outDir/folder/seriesNN/imageNNN.dcm
// (64x64, 16 bits allocated, UTF-8 character set, file meta header).
bool writeSampleStudy(const QString& outDir, const QString& folder, const SampleStudyPlan& plan,
                      SampleStudy* study, QString* error);

// Writes each study into outDir/studyNN and the manifest as outDir/manifest.json.
bool writeSampleStudies(const QString& outDir, const QVector<SampleStudyPlan>& plans,
                        QVector<SampleStudy>* studies, QString* error);

// JSON: {"studies":[{"folder","studyinstanceuid","patientname","patientid","sex",
// "age","studytime","modality","series":[{"seriesinstanceuid","files"}],"files"}]}
// with file paths relative to the manifest's folder.
QByteArray sampleManifest(const QVector<SampleStudy>& studies);

#endif
