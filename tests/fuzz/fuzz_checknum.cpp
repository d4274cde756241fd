#include "checknumreply.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    const CheckNumReply kind = classifyCheckNumReply(reply);
    const QString serial = cutSerialNumber(reply);
    // The serial number is always a piece of the reply.
    if (serial.size() > reply.size() || (!serial.isEmpty() && !reply.contains(serial)))
        __builtin_trap();
    if (kind == CheckNumReply::NotInCloud && reply != QLatin1String("{}"))
        __builtin_trap();
    return 0;
}
