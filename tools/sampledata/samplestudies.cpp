#include "samplestudies.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

constexpr int imageSize = 64;

QString newUid(const char* root)
{
    char uid[100];
    return QString::fromLatin1(dcmGenerateUniqueIdentifier(uid, root));
}

// Collects the first failing put so that a long run of them needs one check.
class DatasetWriter
{
public:
    explicit DatasetWriter(DcmDataset* dataset) : dataset(dataset) {}

    void put(const DcmTagKey& tag, const QString& value)
    {
        if (status.good())
            status = dataset->putAndInsertString(tag, value.toUtf8().constData());
    }
    void put(const DcmTagKey& tag, Uint16 value)
    {
        if (status.good())
            status = dataset->putAndInsertUint16(tag, value);
    }
    void putPixels(const std::vector<uint16_t>& pixels)
    {
        if (status.good())
            status = dataset->putAndInsertUint16Array(DCM_PixelData, pixels.data(),
                                                      static_cast<unsigned long>(pixels.size()));
    }

    OFCondition status = EC_Normal;

private:
    DcmDataset* dataset;
};

struct ImageIds
{
    QString studyUid;
    QString seriesUid;
    int seriesNumber;
    int instanceNumber;
};

bool writeImage(const QString& path, const SampleStudyPlan& plan, const ImageIds& ids, QString* error)
{
    DcmFileFormat file;
    DatasetWriter w(file.getDataset());
    const SamplePatient& p = plan.patient;

    w.put(DCM_SpecificCharacterSet, QStringLiteral("ISO_IR 192"));
    w.put(DCM_SOPClassUID, QStringLiteral(UID_SecondaryCaptureImageStorage));
    w.put(DCM_SOPInstanceUID, newUid(SITE_INSTANCE_UID_ROOT));
    w.put(DCM_StudyDate, plan.studyTime.toString(QStringLiteral("yyyyMMdd")));
    w.put(DCM_StudyTime, plan.studyTime.toString(QStringLiteral("HHmmss")));
    w.put(DCM_AccessionNumber, QString());
    w.put(DCM_Modality, plan.modality);
    w.put(DCM_ConversionType, QStringLiteral("WSD"));
    w.put(DCM_ReferringPhysicianName, QString());
    w.put(DCM_StudyDescription, plan.description);
    w.put(DCM_PatientName, p.name);
    w.put(DCM_PatientID, p.id);
    w.put(DCM_PatientBirthDate, QString());
    w.put(DCM_PatientSex, p.sex);
    w.put(DCM_PatientAge, p.age);
    w.put(DCM_StudyInstanceUID, ids.studyUid);
    w.put(DCM_SeriesInstanceUID, ids.seriesUid);
    w.put(DCM_StudyID, QStringLiteral("1"));
    w.put(DCM_SeriesNumber, QString::number(ids.seriesNumber));
    w.put(DCM_InstanceNumber, QString::number(ids.instanceNumber));
    w.put(DCM_PatientOrientation, QString());
    w.put(DCM_SamplesPerPixel, Uint16(1));
    w.put(DCM_PhotometricInterpretation, QStringLiteral("MONOCHROME2"));
    w.put(DCM_Rows, Uint16(imageSize));
    w.put(DCM_Columns, Uint16(imageSize));
    w.put(DCM_BitsAllocated, Uint16(16));
    w.put(DCM_BitsStored, Uint16(12));
    w.put(DCM_HighBit, Uint16(11));
    w.put(DCM_PixelRepresentation, Uint16(0));
    w.put(DCM_WindowCenter, QStringLiteral("2048"));
    w.put(DCM_WindowWidth, QStringLiteral("4096"));
    w.putPixels(samplePixels(imageSize, imageSize, ids.seriesNumber * 7 + ids.instanceNumber));
    if (w.status.bad()) {
        *error = QStringLiteral("cannot build %1: %2").arg(path, QString::fromLatin1(w.status.text()));
        return false;
    }
    const OFCondition saved = file.saveFile(QFile::encodeName(path).constData(), EXS_LittleEndianExplicit);
    if (saved.bad()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLatin1(saved.text()));
        return false;
    }
    return true;
}

SamplePatient patient(const char* name, const char* id, const char* sex, const char* age)
{
    return {QString::fromUtf8(name), QString::fromLatin1(id), QString::fromLatin1(sex), QString::fromLatin1(age)};
}

QDateTime localTime(int y, int m, int d, int h, int min)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::LocalTime);
}

} // namespace

QStringList SampleStudy::files() const
{
    QStringList all;
    for (const SampleSeries& s : series)
        all += s.files;
    return all;
}

std::vector<uint16_t> samplePixels(int rows, int columns, int variant)
{
    std::vector<uint16_t> pixels;
    if (rows <= 0 || columns <= 0)
        return pixels;
    pixels.reserve(static_cast<size_t>(rows) * static_cast<size_t>(columns));
    const double radius = 6 + (variant % 8) * 3;
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < columns; ++x) {
            const double dist = std::hypot(x - columns / 2.0, y - rows / 2.0);
            int value = (x * 32 + y * 16) % 1024;
            if (std::fabs(dist - radius) < 2.5)
                value += 3000;
            pixels.push_back(static_cast<uint16_t>(value));
        }
    }
    return pixels;
}

QVector<SampleStudyPlan> defaultSampleStudies()
{
    QVector<SampleStudyPlan> plans;
    plans.append({patient("张三", "P0001", "M", "045Y"), QString::fromUtf8("胸部平扫"),
                  localTime(2024, 1, 15, 9, 30), QStringLiteral("CT"), 2, 3, QString()});
    plans.append({patient("李四", "P0002", "F", "032Y"), QString::fromUtf8("头部增强"),
                  localTime(2024, 2, 3, 14, 5), QStringLiteral("MR"), 3, 2, QString()});
    plans.append({patient("Smith^John", "P0003", "M", "067Y"), QStringLiteral("Abdomen"),
                  localTime(2023, 11, 20, 16, 45), QStringLiteral("CT"), 2, 2, QString()});
    plans.append({patient("王芳", "P0004", "F", "010M"), QString::fromUtf8("腹部平扫"),
                  localTime(2024, 3, 8, 8, 0), QStringLiteral("CR"), 1, 2, QString()});
    return plans;
}

bool writeSampleStudy(const QString& outDir, const QString& folder, const SampleStudyPlan& plan,
                      SampleStudy* study, QString* error)
{
    SampleStudy written;
    written.folder = folder;
    written.studyUid = plan.studyUid.isEmpty() ? newUid(SITE_STUDY_UID_ROOT) : plan.studyUid;
    written.plan = plan;
    const QDir out(outDir);
    for (int s = 1; s <= plan.seriesCount; ++s) {
        SampleSeries series;
        series.seriesUid = newUid(SITE_SERIES_UID_ROOT);
        const QString seriesFolder = folder + QStringLiteral("/series%1").arg(s, 2, 10, QLatin1Char('0'));
        if (!out.mkpath(seriesFolder)) {
            *error = QStringLiteral("cannot create %1").arg(out.filePath(seriesFolder));
            return false;
        }
        for (int i = 1; i <= plan.imagesPerSeries; ++i) {
            const QString file = seriesFolder + QStringLiteral("/image%1.dcm").arg(i, 3, 10, QLatin1Char('0'));
            if (!writeImage(out.filePath(file), plan, {written.studyUid, series.seriesUid, s, i}, error))
                return false;
            series.files.append(file);
        }
        written.series.append(series);
    }
    *study = written;
    return true;
}

bool writeSampleStudies(const QString& outDir, const QVector<SampleStudyPlan>& plans,
                        QVector<SampleStudy>* studies, QString* error)
{
    QVector<SampleStudy> written;
    for (int i = 0; i < plans.size(); ++i) {
        SampleStudy study;
        const QString folder = QStringLiteral("study%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!writeSampleStudy(outDir, folder, plans[i], &study, error))
            return false;
        written.append(study);
    }
    QFile manifest(QDir(outDir).filePath(QStringLiteral("manifest.json")));
    const QByteArray text = sampleManifest(written);
    if (!manifest.open(QIODevice::WriteOnly | QIODevice::Truncate) || manifest.write(text) != text.size()) {
        *error = QStringLiteral("cannot write %1").arg(manifest.fileName());
        return false;
    }
    *studies = written;
    return true;
}

QByteArray sampleManifest(const QVector<SampleStudy>& studies)
{
    QJsonArray list;
    for (const SampleStudy& study : studies) {
        QJsonArray series;
        for (const SampleSeries& s : study.series) {
            series.append(QJsonObject{{QStringLiteral("seriesinstanceuid"), s.seriesUid},
                                      {QStringLiteral("files"), QJsonArray::fromStringList(s.files)}});
        }
        const SamplePatient& p = study.plan.patient;
        list.append(QJsonObject{
            {QStringLiteral("folder"), study.folder},
            {QStringLiteral("studyinstanceuid"), study.studyUid},
            {QStringLiteral("patientname"), p.name},
            {QStringLiteral("patientid"), p.id},
            {QStringLiteral("sex"), p.sex},
            {QStringLiteral("age"), p.age},
            {QStringLiteral("studytime"), study.plan.studyTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
            {QStringLiteral("modality"), study.plan.modality},
            {QStringLiteral("series"), series},
            {QStringLiteral("files"), QJsonArray::fromStringList(study.files())},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("studies"), list}}).toJson(QJsonDocument::Indented);
}
