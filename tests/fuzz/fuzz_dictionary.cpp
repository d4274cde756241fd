#include "dictionary.h"

#include <QByteArray>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

bool sameTexts(const QStringList& a, const QStringList& b)
{
    if (a != b)
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).isNull() != b.at(i).isNull())
            return false;
    }
    return true;
}

// Wherever the plain reader accepts a text, QJsonDocument must read the same.
void compareReaders(const QString& text, const QString& idKey, const QString& nameKey)
{
    Dictionary plain;
    if (!readPlainDictionary(text, idKey, nameKey, &plain))
        return;
    const Dictionary json = readJsonDictionary(text, idKey, nameKey);
    if (plain.valid != json.valid || !sameTexts(plain.ids, json.ids) || !sameTexts(plain.names, json.names))
        __builtin_trap();
}

void checkLookups(const Dictionary& d)
{
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    // Files are read as GBK; the host may hand loadCheckItems any text, lone
    // surrogates included, which the bytes taken as UTF-16 reach.
    const QString texts[] = {QTextCodec::codecForName("GBK")->toUnicode(bytes),
                             QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2)};
    // The form's two key pairs, and keys that the plain reader must not compare in place.
    const std::pair<QString, QString> keyPairs[] = {
        {QStringLiteral("checkitemid"), QStringLiteral("checkitem")},
        {QStringLiteral("positiontypeid"), QStringLiteral("positiontypename")},
        {QStringLiteral("checkitem"), QStringLiteral("checkitem")},
        {QStringLiteral("a\""), QStringLiteral("b\\")}};
    for (const QString& text : texts) {
        for (const auto& [idKey, nameKey] : keyPairs)
            compareReaders(text, idKey, nameKey);
    }
    for (const Dictionary& d : {parseCheckItems(texts[0]), parsePositions(texts[0])})
        checkLookups(d);
    return 0;
}
