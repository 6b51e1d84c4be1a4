// A whole backup scan of the demo iPhone: the bookmarks, history and calendar reach the scan's
// own centre as the last two steps, the same records whichever iOS version the backup was made
// for.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/bookmark_reader.h"
#include "backup/calendar_reader.h"
#include "backup_calendar.h"
#include "backup_safari.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "browser_calendar_fixture.h"
#include "scan_posts.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::NotificationCenter;
using nimbara::test::TempDir;

struct Scanned {
    std::vector<std::string> bookmarks;
    std::vector<std::string> calendar;
    std::vector<std::string> order;  // the notification names as they came
    BackupScanSummary summary;
};

class DemoScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(device_, &error)) << error;
    }

    Scanned scan(const std::string& version) {
        nimbara::simdev::BackupOptions options;
        options.iosVersionOverride = version;
        const auto written =
            nimbara::simdev::writeBackup(device_, tmp_ / ("backups-" + version), options);
        EXPECT_TRUE(written.ok) << written.error;
        NotificationCenter center;
        nimbara::test::BrowserCalendarPosts posted(center);
        BrowserCalendarPostsLeak leaked;
        Scanned out;
        out.summary = nimbara::test::runWiredScan(written.folder, center,
                                                  std::make_shared<BackupScanRecords>());
        EXPECT_TRUE(leaked.posts.names.empty()) << "posted on the default centre";
        for (const auto& mark : posted.bookmarks) {
            out.bookmarks.push_back(
                (mark->bookMarkTitle() + QStringLiteral(" <") + mark->bookMarkURL() + ">")
                    .toStdString());
        }
        for (const auto& item : posted.calendar) {
            out.calendar.push_back((item->calTitle() + " @ " + item->location() + " | " +
                                    item->calNote() + " | " + item->startDate() + " - " +
                                    item->endDate())
                                       .toStdString());
        }
        out.order = posted.names;
        return out;
    }

    struct BrowserCalendarPostsLeak {
        nimbara::test::BrowserCalendarPosts posts{NotificationCenter::defaultCenter()};
    };

    TempDir tmp_;
    const fs::path device_ = tmp_ / "demo";
};

TEST_F(DemoScanTest, EveryBookmarkAndEventArrivesTheSameForEveryVersion) {
    const Scanned current = scan("12.4");
    EXPECT_EQ(nimbara::test::resultOf(current.summary, ScanStepKind::Bookmarks).outcome,
              ScanStepOutcome::Done);
    EXPECT_EQ(nimbara::test::resultOf(current.summary, ScanStepKind::Calendar).outcome,
              ScanStepOutcome::Done);
    EXPECT_FALSE(current.summary.incomplete());

    // Bookmarks and folders (without the device's own), the built-ins, then the history.
    std::size_t marks = 0;
    std::size_t folders = 0;
    std::function<void(const std::vector<nimbara::simdev::BackupBookmark>&)> count =
        [&](const std::vector<nimbara::simdev::BackupBookmark>& list) {
            for (const auto& mark : list) {
                ++(mark.url.empty() ? folders : marks);
                count(mark.children);
            }
        };
    count(nimbara::simdev::demoBookmarks());
    EXPECT_EQ(current.bookmarks.size(),
              marks + folders + nimbara::simdev::demoBrowserHistory().size());
    EXPECT_EQ(current.bookmarks.front(), "Favorites <>");
    EXPECT_EQ(current.bookmarks.back(), " <https://search.example/?q=climbing+gym+thursday+hours>");

    // Every event with its place's title and its note.
    const auto events = nimbara::simdev::demoCalendarEvents();
    ASSERT_EQ(current.calendar.size(), events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(current.calendar[i].rfind(events[i].summary + " @ " + events[i].location + " | " +
                                                events[i].notes + " | ",
                                            0),
                  0u)
            << current.calendar[i];
    }

    // The bookmarks come before the calendar: the scan's order.
    ASSERT_FALSE(current.order.empty());
    EXPECT_EQ(current.order.front(), kScanBookMarkInfo);
    EXPECT_EQ(current.order.back(), kScanCalenderInfo);

    for (const char* version : {"5.1.1", "9.3.5"}) {
        SCOPED_TRACE(version);
        const Scanned older = scan(version);
        EXPECT_EQ(older.bookmarks, current.bookmarks);
        EXPECT_EQ(older.calendar, current.calendar);
        EXPECT_EQ(nimbara::test::resultOf(older.summary, ScanStepKind::Calendar).outcome,
                  ScanStepOutcome::Done);
    }
}

// A backup that lists the calendar and the bookmarks but does not hold them is incomplete,
// not damaged; the steps read as empty.
TEST_F(DemoScanTest, ListedButNotStoredIsIncompleteNotDamage) {
    nimbara::simdev::BackupOptions options;
    options.iosVersionOverride = "12.4";
    TempDir sparse;
    nimbara::simdev::SimDeviceBuilder b(sparse / "device");
    b.setIdentity("Sparse", "11aa22bb33cc44dd55ee66ff77889900aabbccdd", "iPhone10,4", "12.4");
    nimbara::simdev::addBackupDir(b, "HomeDomain", "Library/Caches");
    ASSERT_TRUE(b.write());
    options.listedOnly = {{"HomeDomain", "Library/Calendar/Calendar.sqlitedb", false, 4096},
                          {"HomeDomain", "Library/Safari/Bookmarks.db", false, 4096}};
    const auto written =
        nimbara::simdev::writeBackup(sparse / "device", sparse / "backups", options);
    ASSERT_TRUE(written.ok) << written.error;
    NotificationCenter center;
    const BackupScanSummary summary =
        nimbara::test::runWiredScan(written.folder, center, std::make_shared<BackupScanRecords>());
    for (ScanStepKind kind : {ScanStepKind::Bookmarks, ScanStepKind::Calendar}) {
        const ScanStepResult result = nimbara::test::resultOf(summary, kind);
        EXPECT_EQ(result.outcome, ScanStepOutcome::Done);
        EXPECT_TRUE(result.message.isEmpty());
        EXPECT_TRUE(result.incomplete);
    }
}

}  // namespace
