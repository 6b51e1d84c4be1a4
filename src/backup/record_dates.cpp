#include "backup/record_dates.h"

#include <cmath>

namespace nimbara::backup {

std::optional<double> unixSeconds(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> referenceDateSeconds(double value) {
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    const double seconds = std::fabs(value) > kNanosecondThreshold ? value / 1e9 : value;
    return seconds + kReferenceDateOffset;
}

QDateTime utcDateTime(std::optional<double> unixTime) {
    if (!unixTime || !std::isfinite(*unixTime) || std::fabs(*unixTime) > 1e13) {
        return {};
    }
    const auto msecs = static_cast<qint64>(std::llround(*unixTime * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

QString recordDateText(std::optional<double> unixTime, bool floating) {
    const QDateTime when = utcDateTime(unixTime);
    if (!when.isValid()) {
        return QStringLiteral(" ");
    }
    return (floating ? when : when.toLocalTime()).toString(QStringLiteral("MM-dd-yyyy HH:mm"));
}

}  // namespace nimbara::backup
