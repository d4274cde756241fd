#include "dicomstudyinfo.h"
#include "dicomtext.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>

#include <QDateTime>
#include <QFile>

namespace {

bool allDigits(const QString& s)
{
    for (const QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

bool readDicomStudyInfo(const QString& path, DicomStudyInfo* info, QString* error)
{
    DcmFileFormat file;
    const OFCondition loaded = file.loadFile(QFile::encodeName(path).constData());
    if (loaded.bad()) {
        *error = QStringLiteral("not a DICOM file (%1)").arg(QString::fromLatin1(loaded.text()));
        return false;
    }
    DcmDataset* dataset = file.getDataset();
    const QString studyUid = dicomText(dataset, DCM_StudyInstanceUID, false);
    if (studyUid.isEmpty()) {
        *error = QStringLiteral("DICOM file without StudyInstanceUID");
        return false;
    }
    // Names in another character set come through as Latin-1 when the
    // conversion is not possible, rather than refusing the image.
    const bool utf8 = dataset->convertToUTF8().good();
    DicomStudyInfo read;
    read.studyUid = studyUid;
    read.sopInstanceUid = dicomText(dataset, DCM_SOPInstanceUID, false);
    read.patientName = dicomText(dataset, DCM_PatientName, utf8);
    read.sex = dicomText(dataset, DCM_PatientSex, false);
    if (!parseDicomAge(dicomText(dataset, DCM_PatientAge, false), &read.age, &read.ageUnit)) {
        read.age = 0;
        read.ageUnit.clear();
    }
    qint64 when = 0;
    if (parseDicomDateTime(dicomText(dataset, DCM_StudyDate, false), dicomText(dataset, DCM_StudyTime, false), &when))
        read.studyTime = when;
    *info = read;
    return true;
}

bool parseDicomAge(const QString& text, int* age, QString* unit)
{
    if (text.size() != 4 || !allDigits(text.left(3)) || !QStringLiteral("DWMY").contains(text.at(3)))
        return false;
    const int number = text.leftRef(3).toInt();
    const QChar kind = text.at(3);
    if (kind == QLatin1Char('W')) {
        *age = number * 7;
        *unit = QStringLiteral("D");
    } else {
        *age = number;
        *unit = QString(kind);
    }
    return true;
}

bool parseDicomDateTime(const QString& date, const QString& time, qint64* msecs)
{
    const QDate day = QDate::fromString(date, QStringLiteral("yyyyMMdd"));
    if (date.size() != 8 || !allDigits(date) || !day.isValid())
        return false;
    QString clock = time;
    clock.remove(QLatin1Char(':'));
    clock = clock.section(QLatin1Char('.'), 0, 0);
    if (clock.size() % 2 != 0 || clock.size() > 6 || !allDigits(clock))
        return false;
    const QTime moment(clock.midRef(0, 2).toInt(), clock.midRef(2, 2).toInt(), clock.midRef(4, 2).toInt());
    if (!moment.isValid())
        return false;
    const QDateTime local(day, moment, Qt::LocalTime);
    if (!local.isValid())
        return false;
    *msecs = local.toMSecsSinceEpoch();
    return true;
}
