#include "dictionary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <QStringView>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Never null, so that a null result of nameForId always means "no entry".
QString memberText(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QLatin1String("");
}

// Characters that a JSON string holds as they are. Control characters and
// surrogates are left to QJsonDocument, which reads some of them its own way.
bool isPlain(char16_t c)
{
    return c >= 0x20 && c != u'"' && c != u'\\' && !QChar::isSurrogate(c);
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The plain reader's place in the text; every read checks the end first.
struct Cursor
{
    const QChar* at;
    const QChar* const end;

    bool next(char16_t c)
    {
        if (at == end || at->unicode() != c)
            return false;
        ++at;
        return true;
    }

    void skipSpace()
    {
        while (at < end && (at->unicode() == u' ' || at->unicode() == u'\t' || at->unicode() == u'\n'
                            || at->unicode() == u'\r'))
            ++at;
    }

    // Takes c when it comes next after whitespace.
    bool take(char16_t c)
    {
        skipSpace();
        return next(c);
    }

    void skipPlain()
    {
        const QChar* p = at;
        while (p < end && isPlain(p->unicode()))
            ++p;
        at = p;
    }

    // Takes the rest of a string holding exactly key (of plain characters).
    bool takeKey(const QString& key)
    {
        const qsizetype size = key.size();
        if (end - at <= size || at[size].unicode() != u'"'
            || std::memcmp(at, key.constData(), size_t(size) * sizeof(QChar)) != 0)
            return false;
        at += size + 1;
        return true;
    }
};

// The rest of a string whose opening quote was just taken, up to and past its
// closing quote; into *text unless text is null. Escapes other than JSON's
// own and \u of a surrogate are left to QJsonDocument.
bool readString(Cursor& cursor, QString* text)
{
    const QChar* const start = cursor.at;
    cursor.skipPlain();
    if (cursor.next(u'"')) {
        if (text)
            *text = QString(start, int(cursor.at - 1 - start));
        return true;
    }
    QString unescaped(start, int(cursor.at - start));
    while (cursor.at < cursor.end) {
        const char16_t c = (cursor.at++)->unicode();
        if (c == u'"') {
            if (text)
                *text = std::move(unescaped);
            return true;
        }
        if (c != u'\\') {
            if (!isPlain(c))
                return false;
            unescaped.append(QChar(c));
            continue;
        }
        if (cursor.at == cursor.end)
            return false;
        char16_t meaning = 0;
        switch ((cursor.at++)->unicode()) {
        case u'"': meaning = u'"'; break;
        case u'\\': meaning = u'\\'; break;
        case u'/': meaning = u'/'; break;
        case u'b': meaning = u'\b'; break;
        case u'f': meaning = u'\f'; break;
        case u'n': meaning = u'\n'; break;
        case u'r': meaning = u'\r'; break;
        case u't': meaning = u'\t'; break;
        case u'u':
            if (cursor.end - cursor.at < 4)
                return false;
            for (int i = 0; i < 4; ++i) {
                const int digit = hexDigit((cursor.at++)->unicode());
                if (digit < 0)
                    return false;
                meaning = char16_t(meaning << 4 | digit);
            }
            if (QChar::isSurrogate(meaning))
                return false;
            break;
        default:
            return false;
        }
        unescaped.append(QChar(meaning));
    }
    return false;
}

bool isPlainKey(const QString& key)
{
    return std::all_of(key.begin(), key.end(), [](QChar c) { return isPlain(c.unicode()); });
}

// The members of an object whose opening brace was just taken, up to and past
// its closing brace; the values of the two keys go to *id and *name.
bool readEntry(Cursor& text, const QString& idKey, const QString& nameKey, QString* id, QString* name)
{
    if (text.take(u'}'))
        return true;
    bool hasId = false;
    bool hasName = false;
    do {
        if (!text.take(u'"'))
            return false;
        QString* target = nullptr;
        bool* seen = nullptr;
        if (text.takeKey(idKey)) {
            target = id;
            seen = &hasId;
        } else if (text.takeKey(nameKey)) {
            target = name;
            seen = &hasName;
        } else {
            // Any other key is skipped, unless escapes might spell one of ours.
            text.skipPlain();
            if (!text.next(u'"'))
                return false;
        }
        // Which of a repeated key's values counts is QJsonDocument's to say.
        if (seen && std::exchange(*seen, true))
            return false;
        if (!text.take(u':') || !text.take(u'"') || !readString(text, target))
            return false;
    } while (text.take(u','));
    return text.take(u'}');
}

} // namespace

Dictionary parseDictionary(const QString& json, const QString& idKey, const QString& nameKey)
{
    // QJsonDocument builds and frees a whole document to give up two strings
    // per entry; the usual dictionary is read far faster without it.
    Dictionary dictionary;
    if (readPlainDictionary(json, idKey, nameKey, &dictionary))
        return dictionary;
    return readJsonDictionary(json, idKey, nameKey);
}

bool readPlainDictionary(const QString& json, const QString& idKey, const QString& nameKey, Dictionary* dictionary)
{
    // Keys are compared in place, which holds for two different keys of plain characters.
    if (idKey == nameKey || !isPlainKey(idKey) || !isPlainKey(nameKey))
        return false;
    Cursor text{json.constData(), json.constData() + json.size()};
    const QString empty = QLatin1String("");
    Dictionary read;
    read.valid = true;
    read.array = true;
    if (!text.take(u'['))
        return false;
    if (!text.take(u']')) {
        do {
            if (!text.take(u'{'))
                return false;
            // Filled in place: copying a string costs two atomic counts.
            read.ids.append(empty);
            read.names.append(empty);
            if (!readEntry(text, idKey, nameKey, &read.ids.last(), &read.names.last()))
                return false;
        } while (text.take(u','));
        if (!text.take(u']'))
            return false;
    }
    text.skipSpace();
    if (text.at != text.end)
        return false;
    *dictionary = std::move(read);
    return true;
}

Dictionary readJsonDictionary(const QString& json, const QString& idKey, const QString& nameKey)
{
    Dictionary dictionary;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        return dictionary;
    dictionary.valid = true;
    dictionary.array = document.isArray();
    const QJsonArray entries = document.array();
    dictionary.ids.reserve(entries.size());
    dictionary.names.reserve(entries.size());
    for (const QJsonValue entry : entries) {
        const QJsonObject object = entry.toObject();
        dictionary.ids.append(memberText(object, idKey));
        dictionary.names.append(memberText(object, nameKey));
    }
    return dictionary;
}

QString idForName(const QStringList& names, const QStringList& ids, int count, const QString& name)
{
    const int limit = std::min(count, int(names.size()));
    int index = 0;
    for (int i = 0; i < limit; ++i) {
        if (names.at(i) == name) {
            index = i;
            break;
        }
    }
    return ids.value(index);
}

QString nameForId(const QStringList& names, int id)
{
    return id >= 0 && id < names.size() ? names.at(id) : QString();
}
