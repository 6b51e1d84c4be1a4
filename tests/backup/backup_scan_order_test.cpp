// The backup scan: its steps run in the fixed order on a thread of their own, report what they
// could not do, post the progress values, and stop and join cleanly.
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/manifest_mbdb.h"
#include "backup/manifest_pass.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::NotificationCenter;
using nimbara::PlistValue;
using nimbara::test::TempDir;
using nimbara::test::writeText;
using namespace nimbara::backup;

namespace {

using Kind = ScanStepKind;
using Outcome = ScanStepOutcome;

const std::vector<Kind> kOrder{Kind::Manifest,    Kind::Contacts,  Kind::Messages, Kind::Notes,
                               Kind::CallHistory, Kind::Bookmarks, Kind::Calendar};

class BackupScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = QString::fromStdString((dir_.path() / "backup").string());
        writeText(dir_.path() / "backup" / "Info.plist", "x");
        progressToken_ =
            center_.addObserver(kScanProgressNotification, [this](const nimbara::Notification& n) {
                std::lock_guard<std::mutex> lock(mutex_);
                progress_.push_back(n.objectAs<int>(-1));
            });
    }

    // A runner that records its step and the thread it ran on.
    ScanStepRunner recorder(Kind kind, ScanStepReport report = {}) {
        return [this, kind, report](const ScanStepContext& context) {
            std::lock_guard<std::mutex> lock(mutex_);
            ran_.push_back(kind);
            threads_.push_back(std::this_thread::get_id());
            folders_.push_back(context.folder());
            return report;
        };
    }

    BackupScanPlan allRecording() {
        BackupScanPlan plan = BackupScanPlan::standard();
        for (Kind kind : kOrder) {
            plan.setRunner(kind, recorder(kind));
        }
        return plan;
    }

    std::vector<int> progress() {
        std::lock_guard<std::mutex> lock(mutex_);
        return progress_;
    }

    TempDir dir_;
    QString folder_;
    NotificationCenter center_;
    nimbara::ObserverToken progressToken_;
    std::mutex mutex_;
    std::vector<int> progress_;
    std::vector<Kind> ran_;
    std::vector<std::thread::id> threads_;
    std::vector<QString> folders_;
};

}  // namespace

TEST_F(BackupScanTest, StandardPlanHasTheFixedOrderAndProgressValues) {
    const BackupScanPlan plan = BackupScanPlan::standard();
    std::vector<Kind> kinds;
    std::vector<int> values;
    for (const ScanStep& step : plan.steps()) {
        kinds.push_back(step.kind);
        values.push_back(step.progressAfter);
        EXPECT_FALSE(step.runner) << step.title.toStdString();
    }
    EXPECT_EQ(kinds, kOrder);
    EXPECT_EQ(values, (std::vector<int>{20, 40, 50, 70, 60, -1, -1}));
}

TEST_F(BackupScanTest, StepsRunInOrderOnTheScanThreadAndPostTheirProgress) {
    BackupScanPlan plan = allRecording();
    // The manifest pass counts up within its step.
    plan.setRunner(Kind::Manifest, [this](const ScanStepContext& context) {
        context.postProgress(0);
        context.postProgress(10);
        return recorder(Kind::Manifest)(context);
    });
    BackupScan scan(&center_);
    int finishedCalls = 0;
    std::thread::id finishedOn;
    scan.setFinishedHandler([&](const BackupScanSummary&) {
        ++finishedCalls;
        finishedOn = std::this_thread::get_id();
    });
    ASSERT_TRUE(scan.start(folder_, plan));
    scan.wait();
    EXPECT_FALSE(scan.isRunning());
    EXPECT_EQ(ran_, kOrder);
    for (const std::thread::id& id : threads_) {
        EXPECT_NE(id, std::this_thread::get_id());
        EXPECT_EQ(id, threads_.front());
    }
    EXPECT_EQ(finishedOn, threads_.front());
    EXPECT_EQ(finishedCalls, 1);
    for (const QString& folder : folders_) {
        EXPECT_EQ(folder, folder_);
    }
    EXPECT_EQ(progress(), (std::vector<int>{0, 10, 20, 40, 50, 70, 60}));
    const BackupScanSummary summary = scan.lastSummary();
    EXPECT_FALSE(summary.stopped);
    ASSERT_EQ(summary.steps.size(), kOrder.size());
    for (const ScanStepResult& result : summary.steps) {
        EXPECT_EQ(result.outcome, Outcome::Done);
    }
}

TEST_F(BackupScanTest, MissingReadersAreNotAvailableNotSuccessesAndFailuresGoOn) {
    BackupScanPlan plan = BackupScanPlan::standard();
    plan.setRunner(Kind::Contacts,
                   recorder(Kind::Contacts, {Outcome::Failed, QStringLiteral("no book"), false}));
    plan.setRunner(Kind::Notes, recorder(Kind::Notes, {Outcome::Done, QString(), true}));
    plan.setRunner(Kind::Bookmarks, [](const ScanStepContext&) -> ScanStepReport {
        throw std::runtime_error("bookmarks exploded");
    });
    BackupScan scan(&center_);
    ASSERT_TRUE(scan.start(folder_, plan));
    scan.wait();
    EXPECT_EQ(ran_, (std::vector<Kind>{Kind::Contacts, Kind::Notes}));
    const BackupScanSummary summary = scan.lastSummary();
    ASSERT_EQ(summary.steps.size(), kOrder.size());
    for (std::size_t i = 0; i < kOrder.size(); ++i) {
        EXPECT_EQ(summary.steps[i].kind, kOrder[i]);
        const Outcome expected = kOrder[i] == Kind::Contacts    ? Outcome::Failed
                                 : kOrder[i] == Kind::Bookmarks ? Outcome::Failed
                                 : kOrder[i] == Kind::Notes     ? Outcome::Done
                                                                : Outcome::NotAvailable;
        EXPECT_EQ(summary.steps[i].outcome, expected) << i;
        EXPECT_FALSE(summary.steps[i].message.isEmpty() && expected != Outcome::Done) << i;
    }
    EXPECT_EQ(summary.steps[1].message, QStringLiteral("no book"));
    EXPECT_TRUE(summary.steps[2].message.contains(QStringLiteral("Messages")));
    // The user reads plain words, not the reader's own text.
    EXPECT_EQ(summary.steps[5].message, QStringLiteral("Bookmarks could not be read."));
    // The bar still moves on past what could not be read; the notes reader posted its own 70.
    EXPECT_EQ(progress(), (std::vector<int>{20, 40, 50, 60}));
}

TEST_F(BackupScanTest, StopMidScanReturnsTheStepAndSkipsTheRest) {
    BackupScanPlan plan = allRecording();
    std::promise<void> entered;
    plan.setRunner(Kind::Messages, [&entered](const ScanStepContext& context) {
        entered.set_value();
        while (!context.stopRequested()) {
            std::this_thread::yield();
        }
        return ScanStepReport{};
    });
    BackupScan scan(&center_);
    bool finished = false;
    scan.setFinishedHandler([&](const BackupScanSummary& summary) { finished = summary.stopped; });
    ASSERT_TRUE(scan.start(folder_, plan));
    entered.get_future().wait();
    EXPECT_TRUE(scan.isRunning());
    scan.requestStop();
    scan.wait();
    EXPECT_FALSE(scan.isRunning());
    EXPECT_TRUE(finished);
    EXPECT_EQ(ran_, (std::vector<Kind>{Kind::Manifest, Kind::Contacts}));
    const BackupScanSummary summary = scan.lastSummary();
    ASSERT_EQ(summary.steps.size(), kOrder.size());
    EXPECT_EQ(summary.steps[1].outcome, Outcome::Done);
    for (std::size_t i = 2; i < kOrder.size(); ++i) {
        EXPECT_EQ(summary.steps[i].outcome, Outcome::Stopped) << i;
    }
    EXPECT_EQ(progress(), (std::vector<int>{20, 40}));

    // The same object scans again after a stop.
    ran_.clear();
    ASSERT_TRUE(scan.start(folder_, allRecording()));
    scan.wait();
    EXPECT_EQ(ran_, kOrder);
    EXPECT_FALSE(scan.lastSummary().stopped);
}

TEST_F(BackupScanTest, DestroyingARunningScanStopsAndJoinsIt) {
    auto stepReturned = std::make_shared<std::atomic<bool>>(false);
    std::promise<void> entered;
    {
        BackupScanPlan plan = BackupScanPlan::standard();
        plan.setRunner(Kind::Manifest, [&entered, stepReturned](const ScanStepContext& context) {
            entered.set_value();
            while (!context.stopRequested()) {
                std::this_thread::yield();
            }
            stepReturned->store(true);
            return ScanStepReport{};
        });
        BackupScan scan(&center_);
        ASSERT_TRUE(scan.start(folder_, plan));
        entered.get_future().wait();
    }
    EXPECT_TRUE(stepReturned->load());
    EXPECT_TRUE(progress().empty());
}

TEST_F(BackupScanTest, StartIsRefusedWhileRunningAndForUnreadableBackups) {
    BackupScanPlan plan = allRecording();
    std::promise<void> entered;
    plan.setRunner(Kind::Manifest, [&entered](const ScanStepContext& context) {
        entered.set_value();
        while (!context.stopRequested()) {
            std::this_thread::yield();
        }
        return ScanStepReport{};
    });
    BackupScan scan(&center_);
    ASSERT_TRUE(scan.start(folder_, plan));
    entered.get_future().wait();
    const auto running = scan.start(folder_, allRecording());
    ASSERT_FALSE(running);
    EXPECT_FALSE(running.sentence().isEmpty());
    scan.requestStop();
    scan.wait();

    const auto missing = scan.start(folder_ + "/missing", allRecording());
    ASSERT_FALSE(missing);
    EXPECT_FALSE(missing.sentence().isEmpty());

    PlistValue manifest = PlistValue::dict();
    manifest.set("IsEncrypted", true);
    ASSERT_TRUE(manifest.writeFile((dir_.path() / "backup" / "Manifest.plist").string()));
    ran_.clear();
    const auto encrypted = scan.start(folder_, allRecording());
    ASSERT_FALSE(encrypted);
    EXPECT_TRUE(encrypted.sentence().contains(QStringLiteral("encrypted")));
    EXPECT_TRUE(ran_.empty());
}

TEST_F(BackupScanTest, WiredPlanReportsWhatTheBackupLacks) {
    auto records = std::make_shared<BackupScanRecords>();
    const BackupScanPlan plan = wiredBackupScanPlan(records);
    EXPECT_TRUE(plan.hasRunner(Kind::Contacts));
    EXPECT_TRUE(plan.hasRunner(Kind::Manifest));
    for (const Kind kind :
         {Kind::Messages, Kind::Notes, Kind::CallHistory, Kind::Bookmarks, Kind::Calendar}) {
        EXPECT_TRUE(plan.hasRunner(kind));
    }

    BackupScan scan(&center_);
    ASSERT_TRUE(scan.start(folder_, plan));
    scan.wait();
    const BackupScanSummary summary = scan.lastSummary();
    // The readers, then the deleted records of each family.
    ASSERT_EQ(summary.steps.size(), kOrder.size() + 6);
    // The folder has neither a file list nor an address book. Without a list the backup cannot
    // be read; without an address book it simply has no contacts.
    EXPECT_EQ(summary.steps[0].outcome, Outcome::Failed);
    EXPECT_EQ(summary.steps[0].message, QStringLiteral("This backup has no list of its files."));
    EXPECT_EQ(summary.steps[1].outcome, Outcome::Done);
    EXPECT_FALSE(summary.steps[1].incomplete);
    EXPECT_FALSE(summary.incomplete());
    // Nor has it any record database: every family is empty, quietly.
    for (std::size_t i = 2; i < summary.steps.size(); ++i) {
        EXPECT_EQ(summary.steps[i].outcome, Outcome::Done) << i;
        EXPECT_FALSE(summary.steps[i].incomplete) << i;
    }
    EXPECT_TRUE(records->contacts().empty());
    EXPECT_TRUE(records->treeFiles().empty());
    EXPECT_EQ(progress(), (std::vector<int>{20, 40, 50, 70, 60, 75, 80, 85, 90, 95, 100}));
}

TEST_F(BackupScanTest, WiredManifestPassKeepsTheMediaEntriesForLaterSteps) {
    MbdbRecord photo;
    photo.domain = "CameraRollDomain";
    photo.path = "Media/DCIM/100APPLE/IMG_0001.JPG";
    photo.mode = 0100644;
    MbdbRecord other = photo;
    other.domain = "AppDomain-com.example.app";
    writeText(dir_.path() / "backup" / "Manifest.mbdb", writeMbdb({photo, other}));
    int announced = 0;
    nimbara::ObserverToken token = center_.addObserver(
        kFindBackupFileNotification, [&announced](const nimbara::Notification&) { ++announced; });

    auto records = std::make_shared<BackupScanRecords>();
    BackupScan scan(&center_);
    ASSERT_TRUE(scan.start(folder_, wiredBackupScanPlan(records)));
    scan.wait();
    EXPECT_EQ(scan.lastSummary().steps[0].outcome, Outcome::Done);
    EXPECT_EQ(announced, 2);
    ASSERT_EQ(records->treeFiles().size(), 1u);
    const std::vector<int> values = progress();
    ASSERT_GE(values.size(), 11u);
    // The pass counts within 0..20; the steps then end at 20, 40, 50, 70 and 60, the deleted
    // records at 75 to 100.
    for (std::size_t i = 0; i + 11 < values.size(); ++i) {
        EXPECT_GE(values[i], 0);
        EXPECT_LE(values[i], 20);
    }
    EXPECT_EQ(std::vector<int>(values.end() - 11, values.end()),
              (std::vector<int>{20, 40, 50, 70, 60, 75, 80, 85, 90, 95, 100}));
}
