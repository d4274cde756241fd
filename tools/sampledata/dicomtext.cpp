#include "dicomtext.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdatset.h>
#include <dcmtk/oflog/oflog.h>

#include <QByteArray>

QString dicomText(DcmDataset* dataset, const DcmTagKey& tag, bool utf8)
{
    OFString value;
    if (dataset->findAndGetOFStringArray(tag, value).bad())
        return QString();
    const QByteArray bytes(value.c_str(), static_cast<int>(value.length()));
    QString trimmed = (utf8 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes)).trimmed();
    while (trimmed.endsWith(QChar(0)))
        trimmed.chop(1);
    return trimmed;
}

QVariant columnText(const QString& value)
{
    return value.isNull() ? QStringLiteral("") : value;
}

void quietDicomLogging()
{
    OFLog::configure(OFLogger::FATAL_LOG_LEVEL);
}
