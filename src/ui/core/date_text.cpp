// Date and duration texts.
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstdio>
#include <string>

#include "platform/text_format.h"
#include "ui/core/text_utilities.h"

namespace nimbara::shell {

namespace {

// The instant `seconds` after 1970-01-01 00:00:00 UTC in `zone`, or local time without one.
std::optional<QDateTime> brokenDown(std::int64_t seconds, const QTimeZone* zone) {
    QDateTime time = zone != nullptr ? QDateTime::fromSecsSinceEpoch(seconds, *zone)
                                     : QDateTime::fromSecsSinceEpoch(seconds, Qt::LocalTime);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return time;
}

std::optional<std::u32string> dateText(std::int64_t seconds, int fileType, const QTimeZone* zone) {
    std::optional<QDateTime> time;
    if (fileType == 1) {
        // Note dates count from 2001.
        std::int64_t unixSeconds = 0;
        if (__builtin_add_overflow(seconds, kSecondsFrom1970To2001, &unixSeconds)) {
            return std::nullopt;
        }
        time = brokenDown(unixSeconds, zone);
    } else {
        time = brokenDown(seconds, zone);
        // A value this small was counted from 2001; below 1990 no real record is dated.
        if (time && time->date().year() < 1990) {
            time = brokenDown(seconds + kSecondsFrom1970To2001, zone);
        }
    }
    if (!time) {
        return std::nullopt;
    }
    const QDate date = time->date();
    const QTime clock = time->time();
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%02d-%02d-%04d %02d:%02d", date.month(),
                                     date.day(), date.year(), clock.hour(), clock.minute());
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof text) {
        return std::nullopt;
    }
    return std::u32string(text, text + length);
}

QString twoDigits(int value) {
    return value >= 0 && value <= 9 ? QStringLiteral("0%1").arg(value) : QString::number(value);
}

}  // namespace

std::optional<std::u32string> GetDateTime(std::int64_t seconds, int fileType) {
    return dateText(seconds, fileType, nullptr);
}

std::optional<std::u32string> GetDateTime(std::int64_t seconds, int fileType,
                                          const QTimeZone& zone) {
    return dateText(seconds, fileType, &zone);
}

QString GetPhoneDate(std::int64_t number) {
    const std::string digits = std::to_string(number);
    if (digits.size() < 11) {
        return QStringLiteral(" ");
    }
    const std::optional<std::int64_t> seconds = parseInt64(std::string_view(digits).substr(0, 10));
    if (!seconds) {
        return QStringLiteral(" ");
    }
    const QDateTime time = QDateTime::fromSecsSinceEpoch(*seconds, Qt::UTC);
    if (!time.isValid()) {
        return QStringLiteral(" ");
    }
    const QDate date = time.date();
    const QTime clock = time.time();
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d +0000", date.year(),
                  date.month(), date.day(), clock.hour(), clock.minute(), clock.second());
    return QString::fromLatin1(text);
}

QString getCallHistoryDate(int milliseconds) {
    const int hours = milliseconds / 3'600'000;
    const int secondsInHour = milliseconds / 1000 - hours * 3600;
    const int minutes = secondsInHour / 60;
    const int seconds = secondsInHour % 60;
    return QStringLiteral("%1:%2:%3").arg(twoDigits(hours), twoDigits(minutes), twoDigits(seconds));
}

QString getCallHistoryDuration(int seconds) {
    if (seconds >= 7200) {
        return QStringLiteral("%1 hours").arg(seconds / 3600);
    }
    if (seconds >= 3600) {
        return QStringLiteral("%1 hour").arg(seconds / 3600);
    }
    const int rest = seconds % 3600;
    if (rest >= 120) {
        return QStringLiteral("%1 minutes").arg(rest / 60);
    }
    if (rest >= 60) {
        return QStringLiteral("%1 minute").arg(rest / 60);
    }
    if (rest < 2) {
        return QStringLiteral("%1 second").arg(rest);
    }
    return QStringLiteral("%1 seconds").arg(rest);
}

}  // namespace nimbara::shell
