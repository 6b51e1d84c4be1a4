#include "backup/record_dates.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_map>

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

namespace {

QString dateText(const QDateTime& time) {
    if (!time.isValid()) {
        return QStringLiteral(" ");
    }
    const QDate date = time.date();
    const QTime clock = time.time();
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d", date.month(),
                                     date.day(), date.year(), clock.hour(), clock.minute());
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
        return QStringLiteral(" ");
    }
    return QString::fromLatin1(text, length);
}

}  // namespace

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The local time's offset from UTC at Unix second `t`; nothing when the C library cannot tell.
std::optional<long> localOffset(std::int64_t t) {
    const auto time = static_cast<std::time_t>(t);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return std::nullopt;
    }
    return local.tm_gmtoff;
}

// The local offset for second `t`, remembered per hour of UTC: a message database holds many
// messages per hour. An hour in which the offset changes is never remembered.
std::optional<long> cachedLocalOffset(std::int64_t t) {
    thread_local std::unordered_map<std::int64_t, long> hours;
    // Another time zone (TZ changed while the program runs) makes every remembered hour stale.
    thread_local std::string zone;
    const char* tz = std::getenv("TZ");
    if (zone != (tz != nullptr ? tz : "")) {
        hours.clear();
        zone = tz != nullptr ? tz : "";
    }
    const std::int64_t hour = floorDiv(t, 3600);
    if (const auto it = hours.find(hour); it != hours.end()) {
        return it->second;
    }
    const auto start = localOffset(hour * 3600);
    const auto end = localOffset(hour * 3600 + 3599);
    if (!start || !end || *start != *end) {
        return localOffset(t);
    }
    if (hours.size() > 100000) {
        hours.clear();
    }
    hours.emplace(hour, *start);
    return *start;
}

void putDigits(char16_t*& out, std::int64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        out[i] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    }
    out += width;
}

}  // namespace

QString recordDateText(std::optional<double> unixTime, bool floating) {
    if (!unixTime || !std::isfinite(*unixTime) || std::fabs(*unixTime) > 1e13) {
        return QStringLiteral(" ");
    }
    const std::int64_t seconds = floorDiv(std::llround(*unixTime * 1000.0), 1000);
    const std::optional<long> offset =
        floating ? std::optional<long>(0) : cachedLocalOffset(seconds);
    if (!offset) {
        const QDateTime utc = utcDateTime(unixTime);
        return dateText(utc.isValid() ? utc.toLocalTime() : utc);
    }
    // The civil date of the local day (days since 1970 to year, month, day).
    const std::int64_t local = seconds + *offset;
    const std::int64_t days = floorDiv(local, 86400);
    const std::int64_t secondOfDay = local - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) {
        const QDateTime utc = utcDateTime(unixTime);
        return dateText(!utc.isValid() || floating ? utc : utc.toLocalTime());
    }
    QString text(16, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    putDigits(out, month, 2);
    *out++ = u'-';
    putDigits(out, day, 2);
    *out++ = u'-';
    putDigits(out, year, 4);
    *out++ = u' ';
    putDigits(out, secondOfDay / 3600, 2);
    *out++ = u':';
    putDigits(out, secondOfDay % 3600 / 60, 2);
    return text;
}

QString recordDateText(std::optional<double> unixTime, const QTimeZone& zone) {
    const QDateTime utc = utcDateTime(unixTime);
    return dateText(utc.isValid() ? utc.toTimeZone(zone) : utc);
}

QString birthdayText(const QString& stored) {
    bool number = false;
    const double seconds = stored.trimmed().toDouble(&number);
    if (!number || !std::isfinite(seconds) || std::fabs(seconds) > 1e11) {
        return stored;
    }
    const QDateTime utc = utcDateTime(referenceDateSeconds(seconds));
    if (!utc.isValid()) {
        return stored;
    }
    const QDate date = utc.date();
    return QStringLiteral("%1-%2-%3")
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

}  // namespace nimbara::backup
