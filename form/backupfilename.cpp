#include "backupfilename.h"

#include <QByteArray>
#include <QCryptographicHash>

namespace {

constexpr int maxUidBytes = 200;
constexpr int keptBytes = 160;

bool isPlainByte(char c)
{
    return c >= 0x20 && c < 0x7f && c != '/' && c != '\\' && c != '%';
}

bool isPlainComponent(const QByteArray& uid)
{
    if (uid.size() > maxUidBytes || uid == "." || uid == "..")
        return false;
    for (const char c : uid) {
        if (!isPlainByte(c))
            return false;
    }
    return true;
}

QByteArray percentEncoded(const QByteArray& uid)
{
    // Dots are kept, but "." and ".." alone are not names of their own.
    const bool dotsOnly = uid == "." || uid == "..";
    QByteArray encoded;
    for (const char c : uid) {
        if (isPlainByte(c) && !dotsOnly)
            encoded += c;
        else
            encoded += '%' + QByteArray::number(uchar(c), 16).toUpper().rightJustified(2, '0');
    }
    return encoded;
}

} // namespace

QString backupFileName(const QString& studyUid)
{
    const QByteArray uid = studyUid.toUtf8();
    QByteArray part = uid;
    if (!isPlainComponent(uid)) {
        part = percentEncoded(uid);
        // Longer than any plain or encoded part, so it never meets one of them.
        if (part.size() > maxUidBytes) {
            int kept = keptBytes;
            while (kept > 0 && part.lastIndexOf('%', kept - 1) > kept - 3)
                --kept;
            part = part.left(kept) + '~' + QCryptographicHash::hash(uid, QCryptographicHash::Sha256).toHex();
        }
    }
    return QStringLiteral("CloudPatientCaseInfo_") + QString::fromLatin1(part) + QStringLiteral(".json");
}
