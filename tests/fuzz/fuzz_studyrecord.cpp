#include "studyrecord.h"

#include <QByteArray>
#include <QDateTime>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray reply(reinterpret_cast<const char*>(data), int(size));
    const StudyRecord record = readStudyRecord(reply);
    // What the form does with the time: it must stay defined for any number.
    const QDateTime shown = QDateTime::fromMSecsSinceEpoch(studyTimeMsecs(record.studyTime));
    (void)shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    (void)QString::number(record.age);
    return 0;
}
