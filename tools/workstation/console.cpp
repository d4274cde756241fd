#include "console.h"

#include <QByteArray>
#include <QString>
#include <QTextCodec>

#include <cstdio>

namespace {

void writeLine(std::FILE* stream, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void printLine(const QString& line)
{
    writeLine(stdout, line);
}

void printError(const QString& line)
{
    writeLine(stderr, QStringLiteral("workstation: ") + line);
}

bool useGbkLocale()
{
    QTextCodec* gbk = QTextCodec::codecForName("GBK");
    if (!gbk)
        return false;
    QTextCodec::setCodecForLocale(gbk);
    return true;
}
