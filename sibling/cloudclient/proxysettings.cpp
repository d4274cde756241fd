#include "proxysettings.h"

#include <QFile>

namespace {

bool isBase64Alphabet(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
           || c == '/';
}

// Strict standard Base64: whole quads, "=" only as one or two trailing pads, and
// no stray bits in the last symbol, so that each text has exactly one reading.
std::optional<QByteArray> decodeBase64(const QByteArray& text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    int pads = 0;
    if (text.endsWith("=="))
        pads = 2;
    else if (text.endsWith('='))
        pads = 1;
    for (int i = 0; i < text.size() - pads; ++i) {
        if (!isBase64Alphabet(text[i]))
            return std::nullopt;
    }
    QByteArray decoded = QByteArray::fromBase64(text);
    if (decoded.toBase64() != text)
        return std::nullopt;
    return decoded;
}

std::optional<QString> decodeUtf8(const QByteArray& bytes)
{
    if (bytes.contains('\0'))
        return std::nullopt;
    // Malformed sequences come back as U+FFFD and so do not survive the round trip.
    QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() != bytes)
        return std::nullopt;
    return text;
}

} // namespace

std::optional<ProxySettings> parseProxySettings(const QByteArray& content)
{
    if (content.size() > maxProxyFileSize)
        return std::nullopt;
    const QByteArray text = content.trimmed();
    const std::optional<QByteArray> bytes = decodeBase64(text);
    if (!bytes)
        return std::nullopt;
    const std::optional<QString> decoded = decodeUtf8(*bytes);
    if (!decoded)
        return std::nullopt;
    const QStringList lines = decoded->split(QLatin1Char('\n'));
    if (lines.size() != 4)
        return std::nullopt;
    return ProxySettings{lines[0], lines[1], lines[2], lines[3]};
}

std::optional<ProxySettings> readProxySettingsFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte beyond the limit is enough to know the file is too big.
    return parseProxySettings(file.read(maxProxyFileSize + 1));
}
