#include "recordcheck.h"

#include <QDateTime>
#include <QJsonValue>

#include <cmath>
#include <optional>

namespace {

std::optional<QString> asText(const QString& key, const QJsonValue& value)
{
    if (value.isString())
        return value.toString();
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (key == QLatin1String("studytime"))
        return QDateTime::fromMSecsSinceEpoch(qint64(number)).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (std::trunc(number) == number && std::fabs(number) < 1e15)
        return QString::number(qint64(number));
    return QString::number(number);
}

} // namespace

QStringList recordDifferences(const QJsonObject& record, const RecordValues& expected)
{
    QStringList differences;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QJsonValue value = record.value(it.key());
        if (value.isUndefined()) {
            differences.append(QStringLiteral("%1: missing, expected \"%2\"").arg(it.key(), it.value()));
            continue;
        }
        const std::optional<QString> found = asText(it.key(), value);
        if (!found)
            differences.append(QStringLiteral("%1: expected \"%2\", found a value of another type")
                                   .arg(it.key(), it.value()));
        else if (*found != it.value())
            differences.append(
                QStringLiteral("%1: expected \"%2\", found \"%3\"").arg(it.key(), it.value(), *found));
    }
    return differences;
}
