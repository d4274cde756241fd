#include "dictionary.h"

#include <QByteArray>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Dictionary files are read as GBK, as the form reads them.
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    const QString text = QTextCodec::codecForName("GBK")->toUnicode(bytes);

    for (const Dictionary& d : {parseCheckItems(text), parsePositions(text)}) {
        if (d.ids.size() != d.names.size())
            __builtin_trap();
        const int count = d.names.size();
        for (int id : {-1, 0, count / 2, count - 1, count, count + 1}) {
            const QString name = nameForId(d.names, id);
            const QString savedId = idForName(d.names, d.ids, count, name);
            if (count == 0 && !savedId.isEmpty())
                __builtin_trap();
        }
        (void)idForName(d.names, d.ids, count + 5, QStringLiteral("no such name"));
    }
    return 0;
}
