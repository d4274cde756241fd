#ifndef CHECKNUMREPLY_H
#define CHECKNUMREPLY_H

#include <QString>

// What a check-number lookup reply says about a study.
enum class CheckNumReply
{
    NotInCloud,  // exactly "{}"
    Known,       // names "rischeckserialnum"
    Error        // anything else, the empty reply included
};

CheckNumReply classifyCheckNumReply(const QString& reply);

// The serial number between the last ':' and the last '}' of a lookup reply:
// the (last '}' - last ':' - 3) characters from (last ':' + 2), clipped to the
// text; empty when that count is not positive.
QString cutSerialNumber(const QString& reply);

#endif
