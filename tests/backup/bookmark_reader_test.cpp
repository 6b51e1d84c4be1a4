// The bookmark readers on generated backups and on hand-made real-shaped files: the database
// and the older property list (no made-up bookmarks), the history list, reduced schemas,
// missing and damaged files, logs kept beside the database, and the copy reader's end.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "backup/backup_scan_readers.h"
#include "backup/bookmark_reader.h"
#include "backup/shah.h"
#include "backup_safari.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "browser_calendar_fixture.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::NotificationCenter;
using nimbara::PlistValue;
using nimbara::test::BrowserCalendarPosts;
using nimbara::test::databaseBytes;
using nimbara::test::storeBackupFile;
using nimbara::test::TempDir;
using Pair = std::pair<std::string, std::string>;

std::vector<Pair> titlesAndUrls(const BookMarkList& marks) {
    std::vector<Pair> out;
    for (const auto& mark : marks) {
        out.emplace_back(mark->bookMarkTitle().toStdString(), mark->bookMarkURL().toStdString());
    }
    return out;
}

std::vector<Pair> joined(std::vector<Pair> a, const std::vector<Pair>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string plistBytes(const PlistValue& value) {
    const PlistValue::Bytes bytes = value.toBinary();
    return std::string(bytes.begin(), bytes.end());
}

PlistValue historyList(const std::vector<Pair>& entries) {
    PlistValue dates = PlistValue::array();
    for (const auto& [title, url] : entries) {
        PlistValue entry = PlistValue::dict();
        entry[""] = url;
        if (!title.empty()) {
            entry["title"] = title;
        }
        dates.append(entry);
    }
    PlistValue root = PlistValue::dict();
    root["WebHistoryDates"] = dates;
    return root;
}

// What the demo device's bookmarks read as: folders and bookmarks depth first, without the
// root and the reading list.
const std::vector<Pair> kDemoBookmarks = {
    {"Favorites", ""},
    {"City Transit Trip Planner", "https://transit.example/plan"},
    {"Weather: San Francisco", "https://weather.example/us/san-francisco"},
    {"Hartwell & Finch", "https://hartwellfinch.example"},
    {"Recipes", ""},
    {"Weeknight Lentil Soup", "https://kitchen.example/recipes/lentil-soup"},
    {"Sourdough Starter Guide", "https://kitchen.example/guides/sourdough-starter"},
    {"Travel", ""},
    {"Lisbon Neighbourhoods", "https://wanderlog.example/lisbon/neighbourhoods"},
    {"Trains", ""},
    {"Rail Pass Europe", "https://railpass.example/europe"},
    {"Lantern Books", "https://lanternbooks.example"},
    {"Bayline Clinic: Dentistry", "https://bayline.example/dentistry"},
};

std::vector<Pair> demoHistory() {
    std::vector<Pair> out;
    for (const auto& entry : nimbara::simdev::demoBrowserHistory()) {
        out.emplace_back(entry.title, entry.url);
    }
    return out;
}

class BookMarkReaderTest : public ::testing::Test {
  protected:
    // A device holding the demo bookmarks and history, backed up as `version`.
    fs::path demoBackup(const std::string& version) {
        nimbara::simdev::SimDeviceBuilder b(tmp_ / "device");
        b.setIdentity("Test Phone", "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334", "iPhone10,4",
                      "12.4.1");
        nimbara::simdev::addBackupBookmarks(b, nimbara::simdev::demoBookmarks());
        nimbara::simdev::addBackupBrowserHistory(b, nimbara::simdev::demoBrowserHistory());
        EXPECT_TRUE(b.write());
        return nimbara::test::writeDeviceBackup(tmp_ / "device", tmp_ / ("backups-" + version),
                                                version);
    }

    TempDir tmp_;
    const fs::path folder_ = tmp_ / "backup";
    NotificationCenter center_;
    BrowserCalendarPosts posted_{center_};
};

TEST_F(BookMarkReaderTest, DemoBookmarksThenBuiltInsThenHistoryInBothLayouts) {
    const std::vector<Pair> expected = joined(kDemoBookmarks, demoHistory());
    for (const char* version : {"5.1.1", "9.3.5", "12.4"}) {
        SCOPED_TRACE(version);
        const fs::path backup = demoBackup(version);
        const auto before = nimbara::test::folderSnapshot(backup);
        posted_.bookmarks.clear();
        BrowserCalendarPosts leaked(NotificationCenter::defaultCenter());

        const BookMarkReadResult result = scanBookMarkThread(backup.string(), &center_);
        EXPECT_TRUE(result.bookmarksFound);
        EXPECT_TRUE(result.historyFound);
        EXPECT_EQ(result.error, "");
        EXPECT_EQ(result.historyError, "");
        EXPECT_EQ(titlesAndUrls(result.records), expected);
        EXPECT_EQ(titlesAndUrls(posted_.bookmarks), expected);
        EXPECT_TRUE(leaked.names.empty()) << "posted on the default centre";
        EXPECT_EQ(posted_.count(kScanCopyBookMarkFinished), 0);
        // The history entry without a title keeps an empty one.
        EXPECT_EQ(result.records.back()->bookMarkTitle(), QString());
        EXPECT_EQ(nimbara::test::folderSnapshot(backup), before);
    }
}

TEST_F(BookMarkReaderTest, CopyReaderPostsTheSameRecordsAndEndsOnce) {
    const fs::path backup = demoBackup("12.4");
    const BookMarkReadResult result = scanTransferBookMarkThread(backup.string(), &center_);
    EXPECT_TRUE(result.finishedPosted);
    const std::vector<Pair> expected = joined(kDemoBookmarks, demoHistory());
    EXPECT_EQ(titlesAndUrls(posted_.bookmarks), expected);
    EXPECT_EQ(posted_.count(kScanCopyBookMarkInfo), static_cast<int>(expected.size()));
    EXPECT_EQ(posted_.count(kScanBookMarkInfo), 0);
    ASSERT_FALSE(posted_.names.empty());
    EXPECT_EQ(posted_.names.back(), kScanCopyBookMarkFinished);
    EXPECT_EQ(posted_.count(kScanCopyBookMarkFinished), 1);
}

TEST_F(BookMarkReaderTest, OnlyTheDevicesOwnFoldersGiveJustTheHistoryAndNoMadeUpBookmarks) {
    storeBackupFile(folder_, kBookmarksDatabaseKey,
                    databaseBytes("CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, parent INTEGER, "
                                  "type INTEGER, title TEXT, url TEXT);"
                                  "INSERT INTO bookmarks VALUES (0, NULL, 1, 'Root', NULL);"
                                  "INSERT INTO bookmarks VALUES (1, 0, 1, 'com.apple.ReadingList',"
                                  " NULL);"));
    storeBackupFile(
        folder_, kSafariHistoryKey,
        plistBytes(historyList({{"Home", "https://home.example/"}, {"", "https://x.example/"}})));
    const BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_EQ(titlesAndUrls(result.records),
              (std::vector<Pair>{{"Home", "https://home.example/"}, {"", "https://x.example/"}}));
}

// Real databases lack columns, hold NULLs and BLOBs where text is expected; a title merely
// containing "Root" is a bookmark like any other.
TEST_F(BookMarkReaderTest, ReducedSchemasNullsAndBlobs) {
    storeBackupFile(folder_, kBookmarksDatabaseKey,
                    databaseBytes("CREATE TABLE bookmarks (id INTEGER PRIMARY KEY, title, extra);"
                                  "INSERT INTO bookmarks VALUES (1, 'Rootless', 'x');"
                                  "INSERT INTO bookmarks VALUES (2, NULL, NULL);"
                                  "INSERT INTO bookmarks VALUES (3, CAST('Blob title' AS BLOB), "
                                  "X'00ff');"),
                    false);
    const BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(titlesAndUrls(result.records),
              (std::vector<Pair>{{"Rootless", ""}, {"", ""}, {"Blob title", ""}}));

    // A database without the table holds no bookmarks: no error, and none made up.
    storeBackupFile(folder_, kBookmarksDatabaseKey, databaseBytes("CREATE TABLE other (x);"),
                    false);
    const BookMarkReadResult empty = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_EQ(empty.error, "");
    EXPECT_TRUE(empty.records.empty());
}

// The second key is a property list, read as one (older devices kept their bookmarks there).
TEST_F(BookMarkReaderTest, TheOlderBookmarksListIsReadAsAPropertyList) {
    nimbara::simdev::SimDeviceBuilder b(tmp_ / "device");
    b.setIdentity("Old Phone", "00aa11bb22cc33dd44ee55ff6677889900aabbcc", "iPhone2,1", "4.3.5");
    nimbara::simdev::addBackupBookmarksPlist(b, nimbara::simdev::demoBookmarks());
    ASSERT_TRUE(b.write());
    const auto written = nimbara::simdev::writeBackup(tmp_ / "device", tmp_ / "backups");
    ASSERT_TRUE(written.ok) << written.error;
    ASSERT_TRUE(fs::is_regular_file(written.folder / kBookmarksPlistKey));

    const BookMarkReadResult result = scanBookMarkThread(written.folder.string(), &center_);
    EXPECT_TRUE(result.bookmarksFound);
    EXPECT_EQ(result.error, "");
    EXPECT_FALSE(result.historyFound);
    EXPECT_EQ(titlesAndUrls(result.records), kDemoBookmarks);
}

TEST_F(BookMarkReaderTest, ADatabaseUnderTheListsKeyIsNeverQueried) {
    // What stands under the list's key is taken as a property list: a database there is no
    // list, and its rows are not read as bookmarks.
    storeBackupFile(
        folder_, kBookmarksPlistKey,
        databaseBytes("CREATE TABLE bookmarks (title, url);"
                      "INSERT INTO bookmarks VALUES ('Planted', 'https://p.example');"));
    const BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_TRUE(result.bookmarksFound);
    EXPECT_NE(result.error, "");
    for (const auto& [title, url] : titlesAndUrls(result.records)) {
        EXPECT_NE(title, "Planted");
    }
}

TEST_F(BookMarkReaderTest, AListNestedDeeperThanAnyDeviceWritesIsRefused) {
    PlistValue root = PlistValue::dict();
    PlistValue* level = &root;
    for (int i = 0; i < 600; ++i) {
        PlistValue child = PlistValue::dict();
        child["WebBookmarkType"] = "WebBookmarkTypeList";
        child["Title"] = "Folder";
        (*level)["Children"] = PlistValue::array();
        level = &(*level)["Children"].append(child);
    }
    storeBackupFile(folder_, kBookmarksPlistKey, root.toXml());
    const BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_NE(result.error, "");
    EXPECT_TRUE(posted_.bookmarks.empty());
}

TEST_F(BookMarkReaderTest, MissingFilesAreQuietAndTheHistoryStandsOnItsOwn) {
    fs::create_directories(folder_);
    BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_FALSE(result.bookmarksFound);
    EXPECT_FALSE(result.historyFound);
    EXPECT_EQ(result.error + result.historyError, "");
    EXPECT_TRUE(posted_.names.empty());

    // Without bookmarks the history is still read: it is its own file.
    storeBackupFile(folder_, kSafariHistoryKey,
                    plistBytes(historyList({{"Only history", "https://h.example/"}})));
    result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_EQ(titlesAndUrls(result.records),
              (std::vector<Pair>{{"Only history", "https://h.example/"}}));
}

TEST_F(BookMarkReaderTest, DamagedFilesAreReportedAndTheRestIsRead) {
    storeBackupFile(folder_, kBookmarksDatabaseKey,
                    std::string("SQLite format 3", 16) + std::string(4000, '\x5a'));
    storeBackupFile(folder_, kSafariHistoryKey,
                    plistBytes(historyList({{"Kept", "https://kept.example/"}})));
    BookMarkReadResult result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_TRUE(result.bookmarksFound);
    EXPECT_NE(result.error, "");
    EXPECT_EQ(titlesAndUrls(result.records),
              (std::vector<Pair>{{"Kept", "https://kept.example/"}}));

    storeBackupFile(folder_, kSafariHistoryKey, "<?xml version=\"1.0\"?><plist><dict>");
    result = scanBookMarkThread(folder_.string(), &center_);
    EXPECT_TRUE(result.historyFound);
    EXPECT_NE(result.historyError, "");
}

TEST_F(BookMarkReaderTest, CopyReaderEndsWhateverWentWrong) {
    fs::create_directories(folder_);
    const std::vector<std::string> folders = {"", (tmp_ / "nowhere").string(), folder_.string()};
    for (const std::string& folder : folders) {
        posted_.names.clear();
        const BookMarkReadResult result = scanTransferBookMarkThread(folder, &center_);
        EXPECT_TRUE(result.finishedPosted);
        EXPECT_EQ(posted_.names, std::vector<std::string>{kScanCopyBookMarkFinished}) << folder;
    }
    storeBackupFile(folder_, kBookmarksDatabaseKey, "not a database at all");
    posted_.names.clear();
    scanTransferBookMarkThread(folder_.string(), &center_);
    ASSERT_FALSE(posted_.names.empty());
    EXPECT_EQ(posted_.names.back(), kScanCopyBookMarkFinished);
    EXPECT_EQ(posted_.count(kScanCopyBookMarkFinished), 1);
}

// Rows the device had not yet moved from its write-ahead log into the database are read too:
// the backup stores the log as a file of its own.
TEST_F(BookMarkReaderTest, RowsStillInTheLogAreRead) {
    nimbara::simdev::SimDeviceBuilder b(tmp_ / "device");
    b.setIdentity("Test Phone", "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334", "iPhone10,4", "12.4.1");
    nimbara::simdev::addBackupBookmarks(b, {{.title = "Checkpointed", .url = "https://a.example"}});
    ASSERT_TRUE(b.write());
    const fs::path db = nimbara::simdev::backupSourcePath(tmp_ / "device", "HomeDomain",
                                                          "Library/Safari/Bookmarks.db");
    auto writer = nimbara::SqliteDb::open(db.string(), nimbara::SqliteDb::Mode::ReadWrite);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(
        writer->exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                     "INSERT INTO bookmarks (parent, type, title, url, order_index) "
                     "VALUES (0, 0, 'Only in the log', 'https://wal.example', 9);"));
    ASSERT_TRUE(fs::is_regular_file(db.string() + "-wal"));
    for (const char* version : {"9.3.5", "12.4"}) {
        nimbara::simdev::BackupOptions options;
        options.iosVersionOverride = version;
        const auto written = nimbara::simdev::writeBackup(
            tmp_ / "device", tmp_ / (std::string("backups-") + version), options);
        ASSERT_TRUE(written.ok) << written.error;
        ASSERT_TRUE(fs::exists(written.folder / (written.legacyLayout ? "" : "a6") /
                               fileKey("HomeDomain", "Library/Safari/Bookmarks.db-wal")));
        const BookMarkReadResult result = scanBookMarkThread(written.folder.string(), &center_);
        EXPECT_EQ((std::vector<Pair>{{"Checkpointed", "https://a.example"},
                                     {"Only in the log", "https://wal.example"}}),
                  titlesAndUrls(result.records))
            << version;
    }
}

TEST_F(BookMarkReaderTest, AStopEndsTheReadWithoutMorePosts) {
    const fs::path backup = demoBackup("12.4");
    int seen = 0;
    const BookMarkReadResult result =
        scanBookMarkThread(backup.string(), &center_, [&seen] { return ++seen > 3; });
    EXPECT_TRUE(result.stopped);
    EXPECT_LE(posted_.bookmarks.size(), 3u);
}

TEST_F(BookMarkReaderTest, TheScanStepTellsMissingFromDamaged) {
    fs::create_directories(folder_);
    auto step = [&] {
        return nimbara::test::runStep(bookMarkStepRunner(std::make_shared<BackupScanRecords>()),
                                      folder_, center_);
    };
    ScanStepReport report = step();
    EXPECT_EQ(report.outcome, ScanStepOutcome::Done);
    EXPECT_TRUE(report.message.isEmpty());
    EXPECT_FALSE(report.incomplete);

    storeBackupFile(folder_, kBookmarksDatabaseKey, "garbage that is no database");
    report = step();
    EXPECT_EQ(report.outcome, ScanStepOutcome::Failed);
    EXPECT_EQ(report.message,
              QStringLiteral("The Safari bookmarks in this backup could not be read."));
}

}  // namespace
