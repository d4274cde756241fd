#include "checknumreply.h"

#include <QLatin1String>

#include <algorithm>

CheckNumReply classifyCheckNumReply(const QString& reply)
{
    if (reply == QLatin1String("{}"))
        return CheckNumReply::NotInCloud;
    if (reply.contains(QLatin1String("rischeckserialnum")))
        return CheckNumReply::Known;
    return CheckNumReply::Error;
}

QString cutSerialNumber(const QString& reply)
{
    // The reply is cut by position, not parsed: the value is assumed to sit in
    // quotes right after the last colon and right before the last brace.
    // A missing character counts as index -1; 64-bit arithmetic keeps every
    // combination of positions in range.
    const qint64 colon = reply.lastIndexOf(QLatin1Char(':'));
    const qint64 brace = reply.lastIndexOf(QLatin1Char('}'));
    const qint64 start = colon + 2;
    const qint64 count = std::min<qint64>(brace - colon - 3, reply.size() - start);
    if (count <= 0)
        return QString();
    return reply.mid(int(start), int(count));
}
