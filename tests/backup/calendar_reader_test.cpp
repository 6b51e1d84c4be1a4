// The calendar readers on generated backups and on hand-made real-shaped databases: both
// layouts and the queries for old and new backups, places by title, dates on known values,
// reduced schemas, NULLs and BLOBs, missing and damaged databases, logs kept beside the
// database, and the copy reader's end.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QString>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/backup_scan_readers.h"
#include "backup/calendar_reader.h"
#include "backup/shah.h"
#include "backup_calendar.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "browser_calendar_fixture.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::NotificationCenter;
using nimbara::simdev::BackupCalendarEvent;
using nimbara::simdev::BackupCalendarLayout;
using nimbara::simdev::calendarTime;
using nimbara::test::BrowserCalendarPosts;
using nimbara::test::databaseBytes;
using nimbara::test::storeBackupFile;
using nimbara::test::TempDir;

// How a moment given in UTC shows in local time.
std::string shown(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC)
        .toLocalTime()
        .toString(QStringLiteral("MM-dd-yyyy HH:mm"))
        .toStdString();
}

struct Item {
    std::string title, location, note, start, end;
    bool operator==(const Item&) const = default;
};

void PrintTo(const Item& item, std::ostream* out) {
    *out << "{" << item.title << " | " << item.location << " | " << item.note << " | " << item.start
         << " | " << item.end << "}";
}

std::vector<Item> items(const CalenderList& nodes) {
    std::vector<Item> out;
    for (const auto& node : nodes) {
        out.push_back({node->calTitle().toStdString(), node->location().toStdString(),
                       node->calNote().toStdString(), node->startDate().toStdString(),
                       node->endDate().toStdString()});
    }
    return out;
}

std::vector<std::string> titles(const CalenderList& nodes) {
    std::vector<std::string> out;
    for (const auto& node : nodes) {
        out.push_back(node->calTitle().toStdString());
    }
    return out;
}

std::vector<BackupCalendarEvent> sampleEvents() {
    return {{.summary = "No place",
             .notes = "Agenda attached",
             .start = calendarTime(2021, 6, 1, 12, 0),
             .end = calendarTime(2021, 6, 1, 13, 30)},
            {.summary = "Harbour walk",
             .location = "Pier 39",
             .start = calendarTime(2019, 7, 30, 16, 30),
             .end = calendarTime(2019, 7, 30, 17, 15)},
            {.summary = "Buy stamps",
             .start = calendarTime(2019, 8, 1),
             .calendar = "Errands",
             .reminder = true},
            {.summary = "Lunch",
             .location = "Cafe Ostro",
             .notes = "Table for two",
             .start = calendarTime(2019, 8, 2, 19, 0),
             .end = calendarTime(2019, 8, 2, 20, 0)}};
}

const Item kNoPlace{"No place", "", "Agenda attached", shown(2021, 6, 1, 12, 0),
                    shown(2021, 6, 1, 13, 30)};
const Item kHarbour{"Harbour walk", "Pier 39", "", shown(2019, 7, 30, 16, 30),
                    shown(2019, 7, 30, 17, 15)};
const Item kStamps{"Buy stamps", "", "", shown(2019, 8, 1, 12, 0), shown(2001, 1, 1, 0, 0)};
const Item kLunch{"Lunch", "Cafe Ostro", "Table for two", shown(2019, 8, 2, 19, 0),
                  shown(2019, 8, 2, 20, 0)};

class CalendarReaderTest : public ::testing::Test {
  protected:
    // A device with these calendar items in `layout`, backed up as `version`.
    fs::path backupOf(const std::vector<BackupCalendarEvent>& events, BackupCalendarLayout layout,
                      const std::string& version) {
        nimbara::simdev::SimDeviceBuilder b(device_);
        b.setIdentity("Test Phone", "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334", "iPhone10,4",
                      "12.4.1");
        nimbara::simdev::addBackupCalendar(b, events, layout);
        EXPECT_TRUE(b.write());
        return writeBackup(version);
    }
    fs::path writeBackup(const std::string& version) {
        return nimbara::test::writeDeviceBackup(device_, tmp_ / ("backups-" + version), version);
    }

    TempDir tmp_;
    const fs::path device_ = tmp_ / "device";
    const fs::path folder_ = tmp_ / "backup";
    NotificationCenter center_;
    BrowserCalendarPosts posted_{center_};
};

// From iOS 6 on every item is read, reminders too, each with its place's title (not the row
// number the item stores); the dates are seconds since 2001 shown in local time.
TEST_F(CalendarReaderTest, NewerBackupsReadEveryItemWithItsPlacesTitle) {
    const fs::path backup = backupOf(sampleEvents(), BackupCalendarLayout::CalendarItems, "12.4");
    EXPECT_EQ(calendarQueryForBackup(backup.string()), CalendarQuery::Items);
    const auto before = nimbara::test::folderSnapshot(backup);
    BrowserCalendarPosts leaked(NotificationCenter::defaultCenter());

    const CalenderReadResult result = scanCalenderThread(backup.string(), &center_);
    EXPECT_TRUE(result.databaseFound);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(items(result.records), (std::vector<Item>{kNoPlace, kHarbour, kStamps, kLunch}));
    EXPECT_EQ(items(posted_.calendar), items(result.records));
    EXPECT_EQ(posted_.count(kScanCalenderInfo), 4);
    EXPECT_TRUE(leaked.names.empty()) << "posted on the default centre";
    EXPECT_EQ(nimbara::test::folderSnapshot(backup), before);
}

// Before iOS 6 the items of reminder lists are left out; the same events come out.
TEST_F(CalendarReaderTest, OlderBackupsLeaveOutReminderLists) {
    const fs::path backup = backupOf(sampleEvents(), BackupCalendarLayout::CalendarItems, "5.1.1");
    EXPECT_EQ(calendarQueryForBackup(backup.string()), CalendarQuery::Events);
    const CalenderReadResult result = scanCalenderThread(backup.string(), &center_);
    EXPECT_EQ(items(result.records), (std::vector<Item>{kNoPlace, kHarbour, kLunch}));
}

TEST_F(CalendarReaderTest, TheOlderLayoutsEventTableIsReadUnderEitherQuery) {
    const fs::path backup = backupOf(sampleEvents(), BackupCalendarLayout::Events, "5.1.1");
    for (CalendarQuery query : {CalendarQuery::Events, CalendarQuery::Items}) {
        const CalenderReadResult result = scanCalenderThread(backup.string(), &center_, {}, query);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(items(result.records), (std::vector<Item>{kNoPlace, kHarbour, kLunch}));
    }
}

// An item table without rows hands over to the event table; a reduced item table (no places,
// no calendars, few columns) still gives its rows.
TEST_F(CalendarReaderTest, EmptyItemsFallBackToEventsAndReducedItemsStillRead) {
    storeBackupFile(folder_, kCalendarDatabaseKey,
                    databaseBytes("CREATE TABLE CalendarItem (summary, location_id, start_date);"
                                  "CREATE TABLE Event (summary TEXT, location TEXT, "
                                  "description TEXT, start_date INTEGER, end_date INTEGER);"
                                  "INSERT INTO Event VALUES ('From events', 'Hall', NULL, "
                                  "644241600, NULL);"));
    CalenderReadResult result =
        scanCalenderThread(folder_.string(), &center_, {}, CalendarQuery::Events);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(items(result.records),
              (std::vector<Item>{{"From events", "Hall", "", shown(2021, 6, 1, 12, 0), ""}}));

    storeBackupFile(folder_, kCalendarDatabaseKey,
                    databaseBytes("CREATE TABLE CalendarItem (summary, location_id, start_date);"
                                  "INSERT INTO CalendarItem VALUES ('Bare', 3, 644241600);"));
    for (CalendarQuery query : {CalendarQuery::Events, CalendarQuery::Items}) {
        result = scanCalenderThread(folder_.string(), &center_, {}, query);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(items(result.records),
                  (std::vector<Item>{{"Bare", "", "", shown(2021, 6, 1, 12, 0), ""}}));
    }
}

// Dates as seconds, as nanoseconds (iOS 11 on) and as decimal text give the same moment;
// NULLs, BLOBs where text belongs and dates that are no number leave fields empty.
TEST_F(CalendarReaderTest, DatesOnKnownValuesNullsAndBlobs) {
    storeBackupFile(
        folder_, kCalendarDatabaseKey,
        databaseBytes("CREATE TABLE Location (title TEXT, address TEXT);"
                      "INSERT INTO Location (ROWID, title) VALUES (7, 'Seventh'), (1, NULL);"
                      "CREATE TABLE CalendarItem (summary TEXT, location_id INTEGER, "
                      "description TEXT, start_date REAL, end_date REAL, extra BLOB);"
                      "INSERT INTO CalendarItem VALUES ('Seconds', 7, 'n', 644241600, "
                      "644245200.5, X'00');"
                      "INSERT INTO CalendarItem VALUES ('Nanoseconds', 1, NULL, "
                      "644241600000000000, NULL, NULL);"
                      "INSERT INTO CalendarItem VALUES ('Text', 99, NULL, '644241600', "
                      "'soon', NULL);"
                      "INSERT INTO CalendarItem VALUES (CAST('Blob' AS BLOB), NULL, "
                      "X'6e6f7465', X'01', NULL, NULL);"
                      "INSERT INTO CalendarItem VALUES (NULL, NULL, NULL, NULL, NULL, NULL);"),
        false);
    const CalenderReadResult result = scanCalenderThread(folder_.string(), &center_);
    EXPECT_EQ(result.error, "");
    const std::string june = shown(2021, 6, 1, 12, 0);
    EXPECT_EQ(items(result.records),
              (std::vector<Item>{{"Seconds", "Seventh", "n", june, shown(2021, 6, 1, 13, 0)},
                                 {"Nanoseconds", "", "", june, ""},
                                 {"Text", "", "", june, ""},
                                 {"Blob", "", "note", "", ""},
                                 {"", "", "", "", ""}}));
}

TEST_F(CalendarReaderTest, MissingIsQuietDamagedIsReported) {
    fs::create_directories(folder_);
    CalenderReadResult result = scanCalenderThread(folder_.string(), &center_);
    EXPECT_FALSE(result.databaseFound);
    EXPECT_EQ(result.error, "");
    EXPECT_TRUE(posted_.names.empty());

    storeBackupFile(folder_, kCalendarDatabaseKey,
                    std::string("SQLite format 3", 16) + std::string(4000, '\x33'));
    result = scanCalenderThread(folder_.string(), &center_);
    EXPECT_TRUE(result.databaseFound);
    EXPECT_NE(result.error, "");
    EXPECT_TRUE(result.records.empty());

    // A view where the item table belongs could run forever: it is damage, not data.
    storeBackupFile(folder_, kCalendarDatabaseKey,
                    databaseBytes("CREATE VIEW CalendarItem AS WITH RECURSIVE n(x) AS (SELECT 1 "
                                  "UNION ALL SELECT x + 1 FROM n) SELECT x AS summary FROM n;"));
    result = scanCalenderThread(folder_.string(), &center_);
    EXPECT_NE(result.error, "");
    EXPECT_TRUE(result.records.empty());
}

TEST_F(CalendarReaderTest, CopyReaderPostsTheSameRecordsAndEndsWhateverWentWrong) {
    const fs::path backup = backupOf(sampleEvents(), BackupCalendarLayout::CalendarItems, "12.4");
    CalenderReadResult result = scanTransferCalenderThread(backup.string(), &center_);
    EXPECT_TRUE(result.finishedPosted);
    EXPECT_EQ(items(posted_.calendar), (std::vector<Item>{kNoPlace, kHarbour, kStamps, kLunch}));
    EXPECT_EQ(posted_.count(kScanCopyRemindMarkInfo), 4);
    EXPECT_EQ(posted_.count(kScanCalenderInfo), 0);
    ASSERT_FALSE(posted_.names.empty());
    EXPECT_EQ(posted_.names.back(), kScanCopyRemindMarkInfoFinished);

    fs::create_directories(folder_);
    for (const std::string& folder :
         {std::string(), (tmp_ / "nowhere").string(), folder_.string()}) {
        posted_.names.clear();
        result = scanTransferCalenderThread(folder, &center_);
        EXPECT_TRUE(result.finishedPosted);
        EXPECT_EQ(posted_.names, std::vector<std::string>{kScanCopyRemindMarkInfoFinished})
            << folder;
    }
    storeBackupFile(folder_, kCalendarDatabaseKey, "no database");
    posted_.names.clear();
    result = scanTransferCalenderThread(folder_.string(), &center_);
    EXPECT_NE(result.error, "");
    EXPECT_EQ(posted_.names, std::vector<std::string>{kScanCopyRemindMarkInfoFinished});
}

// Rows still in the device's write-ahead log are read from the log the backup stores.
TEST_F(CalendarReaderTest, RowsStillInTheLogAreRead) {
    nimbara::simdev::SimDeviceBuilder b(device_);
    b.setIdentity("Test Phone", "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334", "iPhone10,4", "12.4.1");
    nimbara::simdev::addBackupCalendar(b, {sampleEvents()[1]});
    ASSERT_TRUE(b.write());
    const fs::path db = nimbara::simdev::backupSourcePath(device_, "HomeDomain",
                                                          "Library/Calendar/Calendar.sqlitedb");
    auto writer = nimbara::SqliteDb::open(db.string(), nimbara::SqliteDb::Mode::ReadWrite);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(
        writer->exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                     "INSERT INTO CalendarItem (summary, location_id, start_date, "
                     "calendar_id) VALUES ('Only in the log', 1, 644241600, 1);"));
    for (const char* version : {"9.3.5", "12.4"}) {
        const fs::path backup = writeBackup(version);
        const CalenderReadResult result = scanCalenderThread(backup.string(), &center_);
        EXPECT_EQ(titles(result.records),
                  (std::vector<std::string>{"Harbour walk", "Only in the log"}))
            << version;
        ASSERT_EQ(result.records.size(), 2u);
        EXPECT_EQ(result.records[1]->location(), QStringLiteral("Pier 39"));
    }
}

TEST_F(CalendarReaderTest, TheScanStepTellsMissingFromDamaged) {
    fs::create_directories(folder_);
    auto step = [&] {
        return nimbara::test::runStep(calenderStepRunner(std::make_shared<BackupScanRecords>()),
                                      folder_, center_);
    };
    ScanStepReport report = step();
    EXPECT_EQ(report.outcome, ScanStepOutcome::Done);
    EXPECT_TRUE(report.message.isEmpty());

    storeBackupFile(folder_, kCalendarDatabaseKey, "garbage that is no database");
    report = step();
    EXPECT_EQ(report.outcome, ScanStepOutcome::Failed);
    EXPECT_EQ(report.message, QStringLiteral("The calendar in this backup could not be read."));
}

// All-day events float: their times are the wall-clock times, the same in every zone, while
// an event at a fixed moment shows in the local time of wherever it is read.
TEST_F(CalendarReaderTest, AllDayTimesAreWallClockTimesInEveryZone) {
    storeBackupFile(folder_, kCalendarDatabaseKey,
                    databaseBytes("CREATE TABLE CalendarItem (summary TEXT, start_date REAL, "
                                  "end_date REAL, start_tz TEXT, all_day INTEGER);"
                                  "INSERT INTO CalendarItem VALUES ('Holiday', 589075200, "
                                  "589161540, '_float', 1);"
                                  "INSERT INTO CalendarItem VALUES ('Call', 589075200, NULL, "
                                  "'America/Los_Angeles', 0);"));
    for (const char* zone : {"America/Los_Angeles", "Asia/Tokyo", "UTC"}) {
        SCOPED_TRACE(zone);
        nimbara::test::ScopedTimeZone tz(zone);
        const CalenderReadResult result = scanCalenderThread(folder_.string(), &center_);
        ASSERT_EQ(result.records.size(), 2u);
        EXPECT_EQ(result.records[0]->startDate(), QStringLiteral("09-02-2019 00:00"));
        EXPECT_EQ(result.records[0]->endDate(), QStringLiteral("09-02-2019 23:59"));
        EXPECT_EQ(result.records[1]->startDate().toStdString(), shown(2019, 9, 2, 0, 0));
    }
    nimbara::test::ScopedTimeZone pacific("America/Los_Angeles");
    EXPECT_EQ(shown(2019, 9, 2, 0, 0), "09-01-2019 17:00");
}

}  // namespace
