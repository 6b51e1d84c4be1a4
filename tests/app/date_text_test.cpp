// Date texts across time zones and the two epochs.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"
#include "ui/core/text_utilities.h"

namespace nimbara::shell {
namespace {

QString dateIn(std::int64_t seconds, int kind, const char* zone) {
    const QTimeZone tz{QByteArray(zone)};
    EXPECT_TRUE(tz.isValid()) << zone;
    return GetNSStringDate(GetDateTime(seconds, kind, tz));
}

std::int64_t unixSeconds(int y, int m, int d, int h, int min) {
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::UTC).toSecsSinceEpoch();
}

std::int64_t noteSeconds(int y, int m, int d, int h, int min) {
    return unixSeconds(y, m, d, h, min) - kSecondsFrom1970To2001;
}

using test::ScopedTimeZone;

TEST(NoteDate, CountsFromTwoThousandOne) {
    EXPECT_EQ(kSecondsFrom1970To2001, unixSeconds(2001, 1, 1, 0, 0));
    EXPECT_EQ(dateIn(0, 1, "UTC"), "01-01-2001 00:00");
    EXPECT_EQ(dateIn(noteSeconds(2004, 2, 29, 12, 0), 1, "UTC"), "02-29-2004 12:00");
    EXPECT_EQ(dateIn(noteSeconds(2004, 12, 31, 12, 0), 1, "UTC"), "12-31-2004 12:00");
    EXPECT_EQ(dateIn(noteSeconds(2003, 3, 1, 0, 30), 1, "UTC"), "03-01-2003 00:30");
}

TEST(NoteDate, RecentNotesKeepTheirYear) {
    // Notes written after 2016 lie past the range a fixed year offset can serve.
    EXPECT_EQ(dateIn(noteSeconds(2017, 1, 1, 0, 0), 1, "UTC"), "01-01-2017 00:00");
    EXPECT_EQ(dateIn(noteSeconds(2023, 6, 15, 8, 30), 1, "UTC"), "06-15-2023 08:30");
    EXPECT_EQ(dateIn(noteSeconds(2024, 2, 29, 23, 59), 1, "UTC"), "02-29-2024 23:59");
    // Before 2001 too.
    EXPECT_EQ(dateIn(-1, 1, "UTC"), "12-31-2000 23:59");
}

TEST(NoteDate, FollowsTheZoneAndItsSummerTime) {
    EXPECT_EQ(dateIn(0, 1, "Asia/Tokyo"), "01-01-2001 09:00");
    EXPECT_EQ(dateIn(0, 1, "America/New_York"), "12-31-2000 19:00");
    EXPECT_EQ(dateIn(noteSeconds(2020, 7, 1, 12, 0), 1, "Europe/Berlin"), "07-01-2020 14:00");
    EXPECT_EQ(dateIn(noteSeconds(2020, 1, 1, 12, 0), 1, "Europe/Berlin"), "01-01-2020 13:00");
    // Summer time began on 14 March 2010 in New York. The same count read from 1970 falls in
    // March 1979, when it began in late April: the rules of 2010 must apply.
    EXPECT_EQ(dateIn(noteSeconds(2010, 3, 20, 12, 0), 1, "America/New_York"), "03-20-2010 08:00");
}

TEST(RecordDate, CountsFromNineteenSeventy) {
    EXPECT_EQ(dateIn(1'700'000'000, 0, "UTC"), "11-14-2023 22:13");
    EXPECT_EQ(dateIn(1'700'000'000, 0, "Asia/Tokyo"), "11-15-2023 07:13");
    EXPECT_EQ(dateIn(1'700'000'000, 0, "America/New_York"), "11-14-2023 17:13");
    EXPECT_EQ(dateIn(unixSeconds(1990, 1, 1, 0, 0), 0, "UTC"), "01-01-1990 00:00");
    // Any kind other than 1 reads the same way.
    EXPECT_EQ(dateIn(1'700'000'000, 7, "UTC"), "11-14-2023 22:13");
}

TEST(RecordDate, SmallValuesAreCountedFromTwoThousandOne) {
    EXPECT_EQ(dateIn(0, 0, "UTC"), "01-01-2001 00:00");
    EXPECT_EQ(dateIn(100'000'000, 0, "UTC"), "03-03-2004 09:46");
    EXPECT_EQ(dateIn(-1, 0, "UTC"), "12-31-2000 23:59");
    // Noon of 29 February 1972 counted from 2001 is 1 March 2003, a date that exists.
    EXPECT_EQ(dateIn(unixSeconds(1972, 2, 29, 12, 0), 0, "UTC"), "03-01-2003 12:00");
    // The year is judged in the local zone: 1990 has begun in Tokyo but not yet in UTC.
    const std::int64_t eve = unixSeconds(1989, 12, 31, 20, 0);
    EXPECT_EQ(dateIn(eve, 0, "Asia/Tokyo"), "01-01-1990 05:00");
    EXPECT_EQ(dateIn(eve, 0, "UTC"), "12-31-2020 20:00");
}

TEST(RecordDate, UnconvertibleTimesGiveNothing) {
    const QTimeZone utc(QByteArray("UTC"));
    EXPECT_FALSE(GetDateTime(INT64_MAX, 1, utc).has_value());
    EXPECT_FALSE(GetDateTime(INT64_MAX, 0, utc).has_value());
    EXPECT_FALSE(GetDateTime(INT64_MIN, 0, utc).has_value());
    EXPECT_EQ(GetNSStringDate(GetDateTime(INT64_MAX, 1, utc)), " ");
}

TEST(RecordDate, LocalTimeFollowsTz) {
    {
        ScopedTimeZone tz("Asia/Tokyo");
        EXPECT_EQ(GetNSStringDate(GetDateTime(0, 1)), "01-01-2001 09:00");
        EXPECT_EQ(GetNSStringDate(GetDateTime(1'700'000'000, 0)), "11-15-2023 07:13");
    }
    {
        ScopedTimeZone tz("America/New_York");
        EXPECT_EQ(GetNSStringDate(GetDateTime(0, 1)), "12-31-2000 19:00");
        EXPECT_EQ(GetNSStringDate(GetDateTime(1'700'000'000, 0)), "11-14-2023 17:13");
    }
}

TEST(RecordDate, ThreadsGetTheirOwnCalendarRecords) {
    const QTimeZone tokyo(QByteArray("Asia/Tokyo"));
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &tokyo, &wrong] {
            for (int i = 0; i < 500; ++i) {
                const std::int64_t value = t % 2 == 0 ? 0 : 1'700'000'000;
                const QString expected = t % 2 == 0 ? "01-01-2001 09:00" : "11-15-2023 07:13";
                if (GetNSStringDate(GetDateTime(value, t % 2 == 0 ? 1 : 0, tokyo)) != expected) {
                    ++wrong[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(PhoneDate, ReadsTheFirstTenDigitsAsUnixSeconds) {
    EXPECT_EQ(GetPhoneDate(1'234'567'890), " ");
    EXPECT_EQ(GetPhoneDate(0), " ");
    EXPECT_EQ(GetPhoneDate(1'234'567'890'123), "2009-02-13 23:31:30 +0000");
    EXPECT_EQ(GetPhoneDate(12'345'678'901), "2009-02-13 23:31:30 +0000");
    EXPECT_EQ(GetPhoneDate(1'700'000'000'000), "2023-11-14 22:13:20 +0000");
    // The description is in UTC whatever the local zone.
    ScopedTimeZone tz("Asia/Tokyo");
    EXPECT_EQ(GetPhoneDate(1'700'000'000'000), "2023-11-14 22:13:20 +0000");
}

}  // namespace
}  // namespace nimbara::shell
