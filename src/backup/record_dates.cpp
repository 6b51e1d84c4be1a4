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

QString recordDateText(std::optional<double> unixTime, const QTimeZone& zone) {
    const QDateTime utc = utcDateTime(unixTime);
    if (!utc.isValid()) {
        return QStringLiteral(" ");
    }
    const QDateTime local = zone.isValid() ? utc.toTimeZone(zone) : utc;
    const QDate date = local.date();
    const QTime clock = local.time();
    if (!date.isValid() || date.year() < 1 || date.year() > 9999) {
        return QStringLiteral(" ");
    }
    return QString::asprintf("%02d-%02d-%04d %02d:%02d", date.month(), date.day(), date.year(),
                             clock.hour(), clock.minute());
}

}  // namespace nimbara::backup
