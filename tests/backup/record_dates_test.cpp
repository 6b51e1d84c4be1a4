// The database time stamps on known values: one conversion per column kind.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "backup/record_dates.h"

namespace nimbara::backup {
namespace {

QString iso(std::optional<double> unixTime) {
    return utcDateTime(unixTime).toString(Qt::ISODate);
}

TEST(RecordDates, EachColumnKindGivesTheSameMomentWithoutShifting) {
    // A message of 2021-06-01 12:00:00 UTC, as seconds and as nanoseconds since 2001.
    EXPECT_EQ(iso(referenceDateSeconds(644241600.0)), "2021-06-01T12:00:00Z");
    EXPECT_EQ(iso(referenceDateSeconds(644241600.0 * 1e9)), "2021-06-01T12:00:00Z");
    // A call of 1997-03-14 08:30:00 UTC in Unix seconds, and the older message layout's dates.
    EXPECT_EQ(iso(unixSeconds(858328200.0)), "1997-03-14T08:30:00Z");
    // The reference date itself, and a date before it.
    EXPECT_EQ(iso(referenceDateSeconds(0.0)), "2001-01-01T00:00:00Z");
    EXPECT_EQ(iso(referenceDateSeconds(-86400.0)), "2000-12-31T00:00:00Z");
    // Fractions are kept to the millisecond.
    EXPECT_EQ(utcDateTime(referenceDateSeconds(0.25)).toMSecsSinceEpoch(), 978307200250LL);
}

TEST(RecordDates, ValuesThatAreNoTimeGiveNoDate) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(referenceDateSeconds(nan).has_value());
    EXPECT_FALSE(unixSeconds(inf).has_value());
    EXPECT_FALSE(utcDateTime(std::nullopt).isValid());
    EXPECT_FALSE(utcDateTime(1e300).isValid());
}

TEST(RecordDates, ShownInLocalTimeOrAsABlankWhenThereIsNoDate) {
    const QDateTime june = QDateTime(QDate(2021, 6, 1), QTime(12, 0), Qt::UTC).toLocalTime();
    EXPECT_EQ(recordDateText(referenceDateSeconds(644241600.0)),
              june.toString(QStringLiteral("MM-dd-yyyy HH:mm")));
    EXPECT_EQ(recordDateText(std::nullopt), QStringLiteral(" "));
    EXPECT_EQ(recordDateText(1e300), QStringLiteral(" "));
}

TEST(RecordDates, ABirthdayIsItsDayWhateverTheZone) {
    // 1984-03-17 at noon UTC, as the address book keeps it: never the day before or after.
    EXPECT_EQ(birthdayText(QStringLiteral("-529934400")), QStringLiteral("03-17-1984"));
    EXPECT_EQ(birthdayText(QStringLiteral("-529934400.000000")), QStringLiteral("03-17-1984"));
    // Text that is no number stands as it is; so does nonsense.
    EXPECT_EQ(birthdayText(QStringLiteral("1980-02-03")), QStringLiteral("1980-02-03"));
    EXPECT_EQ(birthdayText(QStringLiteral("1e300")), QStringLiteral("1e300"));
    EXPECT_EQ(birthdayText(QString()), QString());
}

}  // namespace
}  // namespace nimbara::backup
