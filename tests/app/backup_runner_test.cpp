// The device backup runner with the real backup tool: the calling order of its four variants,
// every way a run can fail reported as a failure, a result that stays with the device it was
// started for, and a stop that ends the tool without leaving anything behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../backup/backup_snapshot.h"
#include "backup/backup_list.h"
#include "backup/backup_runner.h"
#include "backup_run_fixture.h"
#include "platform/main_thread.h"
#include "platform/scratch_dir.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using backup::BackupOutcome;
using backup::BackupRunResult;
using backup::BackupVariant;
using backup::DeviceBackupRun;

constexpr const char* kPhone = "1a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d";
constexpr const char* kTablet = "99887766554433221100aabbccddeeff00112233";
constexpr const char* kLater = "0badc0ffee0ddf00d0badc0ffee0ddf00d0badc0";

// What a run's hooks saw, in order, and where they ran.
struct Seen {
    std::mutex mutex;
    std::vector<std::string> events;
    std::optional<BackupRunResult> result;
    bool reportOnGuiThread = false;
    bool afterExitOnGuiThread = true;
    bool backupThereAtNotice = true;

    void add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> all() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    bool has(const std::string& event) {
        const auto list = all();
        return std::find(list.begin(), list.end(), event) != list.end();
    }
};

class BackupRunnerTest : public BackupRunTest {
  protected:
    std::shared_ptr<DeviceBackupRun> start(BackupVariant variant, int index,
                                           const std::string& udid, const std::string& name,
                                           Seen& seen, backup::BackupRunSettings settings = {}) {
        backup::BackupRunHooks hooks;
        hooks.unlockNotice = [this, &seen, udid](const backup::BackupDevice&) {
            seen.backupThereAtNotice = fs::exists(backupOf(udid));
            seen.add("notice");
        };
        hooks.afterExit = [&seen](BackupRunResult&) {
            seen.afterExitOnGuiThread = isMainThread();
            seen.add("afterExit");
        };
        hooks.report = [&seen](const BackupRunResult& result) {
            seen.reportOnGuiThread = isMainThread();
            seen.result = result;
            seen.add("report");
        };
        return DeviceBackupRun::start(
            variant,
            backup::backupDeviceFor(index, QString::fromLatin1(udid), QString::fromStdString(name)),
            std::move(hooks), std::move(settings));
    }
    static bool reported(Seen& seen) {
        return pumpLong([&] { return seen.has("report"); });
    }
};

TEST_F(BackupRunnerTest, TheToolsProgressReachesTheGuiThreadBeforeTheReport) {
    const int index = attach(makeBackupDevice(kPhone, "Phone"));
    ASSERT_GE(index, 0);
    Seen seen;
    std::vector<double> progress;
    bool linesOnGuiThread = true;
    backup::BackupRunHooks hooks;
    hooks.toolLine = [&](const backup::ToolLine& line) {
        linesOnGuiThread = linesOnGuiThread && isMainThread();
        EXPECT_FALSE(seen.has("report"));
        progress.push_back(line.progress);
    };
    hooks.report = [&seen](const BackupRunResult&) { seen.add("report"); };
    auto run = DeviceBackupRun::start(
        BackupVariant::BackupPage,
        backup::backupDeviceFor(index, QString::fromLatin1(kPhone), QStringLiteral("Phone")),
        std::move(hooks));
    ASSERT_TRUE(reported(seen));
    EXPECT_TRUE(linesOnGuiThread);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 100.0);
}

TEST_F(BackupRunnerTest, EveryVariantLaunchesShowsItsNoticeWaitsAndReports) {
    const int index = attach(makeBackupDevice(kPhone, "Phone", waitingFaults()));
    ASSERT_GE(index, 0);
    for (BackupVariant variant : {BackupVariant::BackupPage, BackupVariant::PrivacyCleaner,
                                  BackupVariant::TransferPage, BackupVariant::OneCopyPage}) {
        SCOPED_TRACE(static_cast<int>(variant));
        fs::remove(tmp_ / kPhone / "go");
        fs::remove_all(backupOf(kPhone));
        const auto traits = backup::backupVariantTraits(variant);
        Seen seen;
        auto run = start(variant, index, kPhone, "Phone", seen);
        // The tool is running and holds the device until released: the notice comes now,
        // after the launch and before the exit.
        ASSERT_TRUE(waitUntilToolHolds(kPhone));
        if (traits.unlockNotice) {
            ASSERT_TRUE(pumpLong([&] { return seen.has("notice"); }));
            EXPECT_FALSE(seen.backupThereAtNotice);
        }
        EXPECT_FALSE(seen.has("report"));
        release(kPhone);
        ASSERT_TRUE(reported(seen));

        const std::vector<std::string> expected =
            traits.unlockNotice ? std::vector<std::string>{"notice", "afterExit", "report"}
                                : std::vector<std::string>{"afterExit", "report"};
        EXPECT_EQ(seen.all(), expected);
        EXPECT_FALSE(seen.afterExitOnGuiThread);
        EXPECT_TRUE(seen.reportOnGuiThread);
        ASSERT_TRUE(seen.result);
        EXPECT_EQ(seen.result->outcome, BackupOutcome::Completed);
        EXPECT_EQ(seen.result->exitStatus, 0);
        EXPECT_EQ(seen.result->backupFolder.toStdString(), backupOf(kPhone).string());
        EXPECT_TRUE(backup::readBackupFolder(seen.result->backupFolder).ok());
        if (traits.scratchFolder != nullptr) {
            EXPECT_TRUE(fs::is_directory(scratchRoot() / traits.scratchFolder));
        }
        EXPECT_TRUE(pumpLong([&] { return run->ended(); }));
    }
}

TEST_F(BackupRunnerTest, EveryFailureIsReportedAsOne) {
    struct Case {
        const char* what;
        PlistValue faults;
        BackupOutcome outcome;
        std::string detail;
    };
    PlistValue refused = PlistValue::dict();
    refused[md::sim::kFaultBackupError] = "The device refused to be backed up.";
    PlistValue nothing = PlistValue::dict();
    nothing[md::sim::kFaultBackupWritesNothing] = true;
    PlistValue gone = PlistValue::dict();
    gone[md::sim::kFaultBackupGoneAfterFiles] = 1;
    const std::vector<Case> cases = {
        {"tool failed", refused, BackupOutcome::ToolFailed, "The device refused to be backed up."},
        {"stale backup", nothing, BackupOutcome::NoNewBackup,
         "The backup tool ended without writing a new backup."},
        {"gone", gone, BackupOutcome::ToolFailed, "The device was disconnected during the backup."},
    };
    const int index = attach(makeBackupDevice(kPhone, "Phone"));
    ASSERT_GE(index, 0);
    {
        // An earlier backup, which a run that writes nothing must not pass off as new.
        Seen seen;
        auto run = start(BackupVariant::BackupPage, index, kPhone, "Phone", seen);
        ASSERT_TRUE(reported(seen));
        ASSERT_TRUE(seen.result->ok());
    }
    auto expectFailure = [](const BackupRunResult& result, BackupOutcome outcome,
                            const std::string& detail) {
        EXPECT_EQ(result.outcome, outcome);
        EXPECT_FALSE(result.ok());
        EXPECT_EQ(backup::backupDetail(result).toStdString(), detail);
        EXPECT_EQ(
            backup::backupHeadline(result).toStdString(),
            result.device.deviceName.isEmpty()
                ? "The backup has failed."
                : "The backup of \"" + result.device.deviceName.toStdString() + "\" has failed.");
        EXPECT_EQ(backup::backupSpokenNotice(result), "The Backup operation has failed");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeBackupDevice(kPhone, "Phone", c.faults);  // the attached device's faults change
        Seen seen;
        auto run = start(BackupVariant::BackupPage, index, kPhone, "Phone", seen);
        ASSERT_TRUE(reported(seen));
        expectFailure(*seen.result, c.outcome, c.detail);
        // The earlier backup is all there is: no half of a new one beside it.
        EXPECT_EQ(folderNames(backupRoot()), std::vector<std::string>{kPhone});
    }
    {
        SCOPED_TRACE("no tool");
        makeBackupDevice(kPhone, "Phone");
        backup::BackupRunSettings settings;
        settings.toolPath = QString::fromStdString((tmp_ / "no-such-tool").string());
        Seen seen;
        auto run = start(BackupVariant::BackupPage, index, kPhone, "Phone", seen, settings);
        ASSERT_TRUE(reported(seen));
        EXPECT_EQ(seen.result->outcome, BackupOutcome::ToolNotStarted);
        EXPECT_FALSE(seen.result->ok());
    }
    {
        SCOPED_TRACE("no device");
        Seen seen;
        auto run = start(BackupVariant::PrivacyCleaner, -1, "", "", seen);
        ASSERT_TRUE(reported(seen));
        // Nothing was launched, so there was no notice either.
        EXPECT_EQ(seen.all(), (std::vector<std::string>{"afterExit", "report"}));
        expectFailure(*seen.result, BackupOutcome::NoDevice,
                      "No device is connected. Connect the device and try again.");
    }
}

TEST_F(BackupRunnerTest, AnEncryptedBackupIsCompletedAndSaysSo) {
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupEncrypted] = true;
    const int index = attach(makeBackupDevice(kPhone, "Phone", faults));
    Seen seen;
    auto run = start(BackupVariant::BackupPage, index, kPhone, "Phone", seen);
    ASSERT_TRUE(reported(seen));
    EXPECT_EQ(seen.result->outcome, BackupOutcome::Completed);
    EXPECT_TRUE(seen.result->encrypted);
    EXPECT_EQ(backup::backupHeadline(*seen.result), "The backup of \"Phone\" has been completed.");
    EXPECT_EQ(backup::backupDetail(*seen.result),
              "It is kept in " + QString::fromStdString(backupOf(kPhone).string()) + ".\n" +
                  backup::encryptedBackupMessage());
}

TEST_F(BackupRunnerTest, ADeviceThatWentAwayIsNotTakenForTheOneInItsPlace) {
    ASSERT_EQ(attach(makeBackupDevice(kTablet, "Tablet")), 0);
    const std::string phoneDir = makeBackupDevice(kPhone, "Phone", waitingFaults());
    const int phone = attach(phoneDir);
    ASSERT_EQ(phone, 1);
    Seen seen;
    auto run = start(BackupVariant::PrivacyCleaner, phone, kPhone, "Phone", seen);
    ASSERT_TRUE(waitUntilToolHolds(kPhone));

    // The phone is unplugged and another device takes its index while the tool runs; the tool
    // still finishes (its folder is there), but the run's device is gone.
    ASSERT_TRUE(library_->detach(phoneDir));
    ASSERT_EQ(attach(makeBackupDevice(kLater, "Later")), phone);
    release(kPhone);
    ASSERT_TRUE(reported(seen));
    EXPECT_EQ(seen.result->exitStatus, 0);
    EXPECT_EQ(seen.result->outcome, BackupOutcome::DeviceGone);
    EXPECT_EQ(seen.result->device.udid, kPhone);
    EXPECT_EQ(backup::backupDetail(*seen.result),
              "The device was disconnected before the backup was finished.");
    EXPECT_FALSE(fs::exists(backupOf(kLater)));
    EXPECT_FALSE(fs::exists(backupOf(kTablet)));
}

TEST_F(BackupRunnerTest, TheToolRestoresThroughItsCommandLine) {
    const std::string dir = makeBackupDevice(kPhone, "Phone");
    const int index = attach(dir);
    Seen seen;
    auto run = start(BackupVariant::PrivacyCleaner, index, kPhone, "Phone", seen);
    ASSERT_TRUE(reported(seen));
    ASSERT_TRUE(seen.result->ok());
    const fs::path source = fs::path(dir) / md::sim::kBackupSourceDir;
    const auto original = folderSnapshot(source);
    writeText(source / "HomeDomain" / "Library" / "Later.txt", "made after the backup");

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString tool = backup::backupToolPath();
    const backup::ToolRun refused = backup::runTool(
        tool, {"--restore", "--target", kPhone, "--source", QString::fromStdString(tmp_.str())},
        environment, {});
    EXPECT_TRUE(refused.started);
    EXPECT_TRUE(refused.normalExit);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(refused.message, "The backup does not say which device it was made of.");
    EXPECT_TRUE(fs::exists(source / "HomeDomain" / "Library" / "Later.txt"));

    const backup::ToolRun restored = backup::runTool(
        tool, {"--restore", "--target", kPhone, "--source", seen.result->backupFolder}, environment,
        {});
    EXPECT_EQ(restored.exitStatus, 0);
    EXPECT_TRUE(restored.message.isEmpty());
    EXPECT_EQ(folderSnapshot(source), original);

    const backup::ToolRun usage = backup::runTool(tool, {"--restore"}, environment, {});
    EXPECT_EQ(usage.exitStatus, 2);
}

TEST_F(BackupRunnerTest, AStoppedRunEndsTheToolAndLeavesNothing) {
    const int index = attach(makeBackupDevice(kPhone, "Phone", waitingFaults()));
    Seen seen;
    auto run = start(BackupVariant::TransferPage, index, kPhone, "Phone", seen);
    ASSERT_TRUE(waitUntilToolHolds(kPhone));
    ASSERT_TRUE(pumpLong([&] { return seen.has("notice"); }));
    run->stop();  // returns at once
    ASSERT_TRUE(pumpLong([&] { return run->ended(); }));
    run.reset();
    pumpEvents(5);
    // The tool is gone (it held the device until its end), nothing more was reported, and
    // neither a backup nor half of one is there.
    EXPECT_TRUE(toolFree(kPhone));
    EXPECT_EQ(seen.all(), std::vector<std::string>{"notice"});
    EXPECT_FALSE(fs::exists(backupOf(kPhone)));
    EXPECT_TRUE(!fs::exists(backupRoot()) || folderNames(backupRoot()).empty());
}

}  // namespace
}  // namespace nimbara::test
