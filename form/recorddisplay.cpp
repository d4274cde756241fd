#include "recorddisplay.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace {

// Measured on the form's fields: nested tables cost about twice as much with
// every level, deep nesting and many formats in one paragraph grow with the
// square, and sizes beyond Qt's fixed-point range stall the table layout.
constexpr int maxText = 65536;
constexpr int maxRun = 1000;
constexpr int maxMarkup = 32768;
constexpr int maxTags = 512;
constexpr int maxDepth = 32;
constexpr int maxTableDepth = 4;
constexpr double maxNumber = 100000;

bool isNameChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char(':');
}

bool isHexDigit(QChar c)
{
    return c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool longRun(const QString& text)
{
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > maxRun)
            return true;
    }
    return false;
}

// True when [from, to) of the text holds a number (digits, a fraction, an
// exponent) of maxNumber or more; the digits of "#rrggbb" are a colour.
bool bigNumber(const QString& text, int from, int to)
{
    for (int i = from; i < to; ++i) {
        if (text[i] == QLatin1Char('#')) {
            while (i + 1 < to && isHexDigit(text[i + 1]))
                ++i;
            continue;
        }
        if (!text[i].isDigit() && !(text[i] == QLatin1Char('.') && i + 1 < to && text[i + 1].isDigit()))
            continue;
        int end = i;
        while (end < to && text[end].isDigit())
            ++end;
        if (end < to && text[end] == QLatin1Char('.')) {
            ++end;
            while (end < to && text[end].isDigit())
                ++end;
        }
        if (end < to && (text[end] == QLatin1Char('e') || text[end] == QLatin1Char('E'))) {
            int exponent = end + 1;
            if (exponent < to && (text[exponent] == QLatin1Char('+') || text[exponent] == QLatin1Char('-')))
                ++exponent;
            if (exponent < to && text[exponent].isDigit()) {
                end = exponent;
                while (end < to && text[end].isDigit())
                    ++end;
            }
        }
        // What a double cannot hold counts as big.
        bool read = false;
        const double value = text.midRef(i, end - i).toDouble(&read);
        if (!read || !(std::fabs(value) < maxNumber))
            return true;
        i = end - 1;
    }
    return false;
}

bool isOneOf(const QString& name, std::initializer_list<const char*> names)
{
    return std::any_of(names.begin(), names.end(), [&name](const char* n) { return name == QLatin1String(n); });
}

bool isVoid(const QString& name)
{
    return isOneOf(name, {"br", "img", "hr", "meta", "link", "input", "col", "area", "base", "wbr", "param",
                          "source", "embed", "basefont"});
}

// Tags that the next one of their kind closes, as HTML's parsers do.
void closeImplied(QStringList& open, const QString& name)
{
    const auto topIsOneOf = [&open](std::initializer_list<const char*> names) {
        return !open.isEmpty() && isOneOf(open.last(), names);
    };
    if (isOneOf(name, {"tr", "td", "th"}) && topIsOneOf({"td", "th"}))
        open.removeLast();
    if (isOneOf(name, {"p", "li", "dt", "dd", "option", "tr"}) && !open.isEmpty() && open.last() == name)
        open.removeLast();
}

bool busyMarkup(const QString& text)
{
    QStringList open;
    int tags = 0;
    int i = 0;
    const int size = text.size();
    while ((i = text.indexOf(QLatin1Char('<'), i)) >= 0 && i + 1 < size) {
        if (text.midRef(i, 4) == QLatin1String("<!--")) {
            const int end = text.indexOf(QLatin1String("-->"), i + 4);
            i = end < 0 ? size : end + 3;
            continue;
        }
        const bool closing = text[i + 1] == QLatin1Char('/');
        int nameEnd = i + (closing ? 2 : 1);
        while (nameEnd < size && isNameChar(text[nameEnd]))
            ++nameEnd;
        const QString name = text.mid(i + (closing ? 2 : 1), nameEnd - i - (closing ? 2 : 1)).toLower();
        if (name.isEmpty()) {
            ++i;
            continue;
        }
        // The tag ends at the first '>' outside quotes.
        int end = nameEnd;
        QChar quote;
        for (; end < size; ++end) {
            const QChar c = text[end];
            if (!quote.isNull())
                quote = c == quote ? QChar() : quote;
            else if (c == QLatin1Char('"') || c == QLatin1Char('\''))
                quote = c;
            else if (c == QLatin1Char('>'))
                break;
        }
        if (++tags > maxTags || bigNumber(text, nameEnd, end))
            return true;
        if (closing) {
            const int at = open.lastIndexOf(name);
            if (at >= 0)
                open.erase(open.begin() + at, open.end());
        } else if (!isVoid(name) && !(end > nameEnd && text[end - 1] == QLatin1Char('/'))) {
            closeImplied(open, name);
            open << name;
            if (open.size() > maxDepth || open.count(QStringLiteral("table")) > maxTableDepth)
                return true;
            if (name == QLatin1String("style")) {
                const int styleEnd = text.indexOf(QLatin1String("</style"), end, Qt::CaseInsensitive);
                if (bigNumber(text, end, styleEnd < 0 ? size : styleEnd))
                    return true;
            }
        }
        i = end;
    }
    return false;
}

} // namespace

bool needsPlainDisplay(const QString& text, bool markup)
{
    if (text.size() > maxText || longRun(text))
        return true;
    return markup && (text.size() > maxMarkup || busyMarkup(text));
}
