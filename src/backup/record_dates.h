// The time stamps of a device's databases, one conversion per column kind, to seconds since
// 1970-01-01 UTC. No year is shifted and no local time zone is applied here: a reader formats
// the result for display as its family's texts ask.
//
// - Unix seconds: the call history's `call.date`, and the dates of message databases written
//   before the 2001-based clock (the older message layout).
// - Seconds since 2001-01-01 UTC (the reference date of the device's own clock): everything
//   else. A value above 1e11 is nanoseconds since 2001 (iOS 11 and later write those), since
//   no seconds value reaches that before the year 5100.
#pragma once

#include <optional>

#include <QDateTime>
#include <QString>
#include <QTimeZone>

namespace nimbara::backup {

// Seconds between 1970-01-01 and 2001-01-01 (UTC).
inline constexpr double kReferenceDateOffset = 978307200.0;
// A 2001-based value above this is nanoseconds.
inline constexpr double kNanosecondThreshold = 1e11;

// Unix seconds as they stand; nullopt for a value that is not finite.
std::optional<double> unixSeconds(double value);
// A 2001-based value (seconds, or nanoseconds above 1e11) as Unix seconds; nullopt when not
// finite.
std::optional<double> referenceDateSeconds(double value);

// The UTC date and time of Unix seconds (invalid for nullopt).
QDateTime utcDateTime(std::optional<double> unixTime);

// The date text the record lists show, "MM-dd-yyyy HH:mm", of Unix seconds in local time (or in
// `zone`); " " (one blank) when there is no date. A floating time (an all-day calendar event,
// stored as its wall-clock time counted as if in UTC) is shown as that wall-clock time, in no
// zone.
QString recordDateText(std::optional<double> unixTime, bool floating = false);
QString recordDateText(std::optional<double> unixTime, const QTimeZone& zone);
// A birthday as the address book stores it, seconds since 2001 of some hour of that day in UTC,
// as a date without a time ("03-17-1984"). Text that is not a number stands as it is.
QString birthdayText(const QString& stored);

}  // namespace nimbara::backup
