// Backups and restores of the protocol-level test device through the backup tool's real-device
// path, as a real device is reached: the files come back as they were, the passcode wait and
// encrypted backups are said, and an earlier backup stays until a new one is complete.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "afc_locks.h"
#include "backup/backup_list.h"
#include "backup/backup_runner.h"
#include "backup/real_device_backup.h"
#include "backup/tool_line.h"
#include "backup_snapshot.h"
#include "mobilebackup2_service.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "restore_applications.h"
#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using backup::ToolAnswer;
using Run = md::sim::BackupTarget::Run;

std::map<std::string, std::string> contentsBelow(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const std::string& name : filesBelow(folder)) {
        files[name] = readText(folder / name);
    }
    return files;
}

class RealDeviceBackupSim : public UsbmuxTest {
  protected:
    void SetUp() override {
        writeText(source() / "HomeDomain/Library/Notes/notes.txt", "first note");
        writeText(source() / "HomeDomain/Library/Preferences/empty.plist", "");
        writeText(source() / "MediaDomain/Media/DCIM/100APPLE/IMG_0001.JPG",
                  std::string(100000, 'j'));
    }
    fs::path source() const { return phone.dir() / md::sim::kBackupSourceDir; }
    fs::path root() const { return server.folder() / "backups"; }
    fs::path backupOf() const { return root() / kUdid; }

    // A backup; `line` (may be empty) sees each tool line as it is written.
    ToolAnswer backUp(const std::function<void(const backup::ToolLine&)>& line = {},
                      const std::function<bool()>& stop = {}) {
        return backup::backupRealDevice(kUdid, root(), stop, output(line));
    }
    ToolAnswer restore(const fs::path& folder) {
        return backup::restoreRealDevice(kUdid, folder, root(), {}, output({}));
    }
    backup::ToolOutput output(std::function<void(const backup::ToolLine&)> line) {
        return [this, line](const std::string& text) {
            const auto parsed = backup::parseToolLine(text);
            ASSERT_TRUE(parsed) << text;
            std::lock_guard<std::mutex> lock(mutex_);
            if (parsed->kind == backup::ToolLine::Kind::Status) {
                statuses_.push_back(parsed->text);
            } else if (parsed->kind == backup::ToolLine::Kind::Restarting) {
                restarting_ = true;
            } else {
                lastProgress_ = parsed->progress;
            }
            if (line) {
                line(*parsed);
            }
        };
    }

    // What a host asking for the device's sync lock now is told (it lets go again at once).
    afc_error_t trySyncLock() const {
        const DevicePtr other = openDevice(kUdid);
        LockdownPtr client;
        lockdownd_service_descriptor_t service = nullptr;
        afc_client_t afc = nullptr;
        if (!other || handshake(other.get(), client) != LOCKDOWN_E_SUCCESS ||
            lockdownd_start_service(client.get(), "com.apple.afc", &service) !=
                LOCKDOWN_E_SUCCESS) {
            return AFC_E_MUX_ERROR;
        }
        afc_client_new(other.get(), service, &afc);
        lockdownd_service_descriptor_free(service);
        const AfcPtr held(afc);
        std::uint64_t handle = 0;
        afc_error_t rc = afc_file_open(afc, usbmuxsim::kSyncLockPath, AFC_FOPEN_RW, &handle);
        if (rc == AFC_E_SUCCESS) {
            rc = afc_file_lock(afc, handle, AFC_LOCK_EX);
            afc_file_close(afc, handle);
        }
        return rc;
    }
    // The phone unplugged and plugged in again: a device as new.
    void replug() {
        fs::rename(phone.dir(), server.folder() / "unplugged");
        ASSERT_EQ(server.control("SimRescan"), 0);
        fs::rename(server.folder() / "unplugged", phone.dir());
        ASSERT_EQ(server.control("SimRescan"), 0);
    }

    std::mutex mutex_;
    std::vector<std::string> statuses_;
    double lastProgress_ = -1;
    bool restarting_ = false;
};

TEST_F(RealDeviceBackupSim, ABackupRestoredBringsBackEveryFile) {
    startServer();
    const auto original = contentsBelow(source());
    const ToolAnswer backedUp = backUp();
    ASSERT_TRUE(backedUp.ok()) << backedUp.message;
    EXPECT_EQ(lastProgress_, 100.0);
    EXPECT_TRUE(statuses_.empty());
    const auto read = backup::readBackupFolder(QString::fromStdString(backupOf().string()));
    ASSERT_TRUE(read) << read.sentence().toStdString();
    const auto& node = read.value();
    EXPECT_EQ(node->strDeviceName(), "Test iPhone");
    EXPECT_TRUE(hiddenLeftovers(root(), kUdid).empty());

    // The tool itself, as the application runs it: its lines are read on the way.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("NIMBARA_SIMULATED_DEVICES"));
    environment.insert(QStringLiteral("NIMBARA_BACKUP_ROOT"), QString::fromStdString(root()));
    std::vector<double> progress;
    const backup::ToolRun run = backup::runTool(
        QStringLiteral(NIMBARA_BACKUP_TOOL_PATH),
        {QStringLiteral("--backup"), QStringLiteral("--target"), QString::fromLatin1(kUdid)},
        environment, {}, {},
        [&](const backup::ToolLine& line) { progress.push_back(line.progress); });
    ASSERT_EQ(run.exitStatus, 0) << run.message.toStdString();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100.0);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

    writeText(source() / "HomeDomain/Library/Notes/notes.txt", "changed since");
    writeText(source() / "HomeDomain/Library/Later.txt", "later");
    const auto backupBefore = folderSnapshot(backupOf());
    const ToolAnswer restored = restore(backupOf());
    ASSERT_TRUE(restored.ok()) << restored.message;
    EXPECT_EQ(contentsBelow(source()), original);
    EXPECT_EQ(folderSnapshot(backupOf()), backupBefore);  // a restore only reads
    EXPECT_EQ(folderNames(root()), std::vector<std::string>{kUdid});
    EXPECT_TRUE(restarting_);  // the device restarts now (it goes away: this test ends here)
}

TEST_F(RealDeviceBackupSim, ABackupListingNoAppsRestoresWithoutThem) {
    addApp("com.example.ledger", "Ledger");
    startServer();
    ASSERT_TRUE(backUp().ok());
    const fs::path info = backupOf() / "Info.plist";
    auto written = PlistValue::readFile(info.string());
    ASSERT_TRUE(written);
    // A backup of a host that kept no list of apps restores without them.
    written->asDict().erase("Applications");
    ASSERT_TRUE(written->writeFile(info.string()));
    writeText(phone.dir() / usbmuxsim::kRestoreAppsRecord, "from an earlier restore");
    const ToolAnswer restored = restore(backupOf());
    ASSERT_TRUE(restored.ok()) << restored.message;
    EXPECT_FALSE(fs::exists(phone.dir() / usbmuxsim::kRestoreAppsRecord));
}

TEST_F(RealDeviceBackupSim, ASecondBackupKeepsTheFirstUntilItIsCompleteOrFails) {
    startServer();
    ASSERT_TRUE(backUp().ok());
    const auto first = folderSnapshot(backupOf());

    writeText(source() / "HomeDomain/Library/Later.txt", "later");
    bool firstKeptWhileWorking = true;
    ASSERT_TRUE(backUp([&](const backup::ToolLine&) {
                    firstKeptWhileWorking =
                        firstKeptWhileWorking && folderSnapshot(backupOf()) == first;
                }).ok());
    EXPECT_TRUE(firstKeptWhileWorking);
    const auto second = folderSnapshot(backupOf());
    EXPECT_NE(second, first);

    // The device leaves in the middle of the next one.
    setFault(usbmuxsim::kFaultBackupDetachAfterFiles, 2);
    const ToolAnswer gone = backUp();
    EXPECT_EQ(gone.exitStatus, backup::kToolFailed);
    EXPECT_EQ(gone.message, md::sim::deviceGoneText(Run::Backup));
    EXPECT_EQ(folderSnapshot(backupOf()), second);
    EXPECT_TRUE(hiddenLeftovers(root(), kUdid).empty());
}

TEST_F(RealDeviceBackupSim, ABackupWhoseStatusDoesNotSayFinishedKeepsTheEarlierOne) {
    startServer();
    ASSERT_TRUE(backUp().ok());
    const auto earlier = folderSnapshot(backupOf());
    writeText(source() / "HomeDomain/Library/Later.txt", "later");
    for (const char* state : {"uploading", "none"}) {
        SCOPED_TRACE(state);
        setFault(usbmuxsim::kFaultBackupStatus, state);
        const ToolAnswer answer = backUp();
        EXPECT_EQ(answer.exitStatus, backup::kToolFailed);
        EXPECT_EQ(answer.message, "The backup did not finish.");
        EXPECT_EQ(folderSnapshot(backupOf()), earlier);
        EXPECT_TRUE(hiddenLeftovers(root(), kUdid).empty());
    }
}

TEST_F(RealDeviceBackupSim, AStopEndsTheBackupAndKeepsTheEarlierOne) {
    startServer();
    ASSERT_TRUE(backUp().ok());
    const auto earlier = folderSnapshot(backupOf());
    // Stopped once the device has begun to send.
    std::atomic<bool> stop{false};
    const ToolAnswer stopped =
        backUp([&](const backup::ToolLine&) { stop.store(true); }, [&] { return stop.load(); });
    EXPECT_EQ(stopped.message, md::sim::runStoppedText(Run::Backup));
    EXPECT_EQ(folderSnapshot(backupOf()), earlier);
    EXPECT_TRUE(hiddenLeftovers(root(), kUdid).empty());
}

TEST_F(RealDeviceBackupSim, ABackupWaitingForThePasscodeSaysSoAndThenFinishes) {
    phone.setIdentity("Test iPhone", kUdid, "iPhone15,2", "17.0");
    phone.setFault(usbmuxsim::kFaultBackupPasscode, "passcode-asked");
    writeText(phone.dir() / "passcode-asked", "");
    startServer();
    const ToolAnswer answer = backUp([&](const backup::ToolLine& line) {
        if (line.kind == backup::ToolLine::Kind::Status &&
            line.text == backup::passcodeWaitText()) {
            fs::remove(phone.dir() / "passcode-asked");  // the passcode is entered
        }
    });
    ASSERT_TRUE(answer.ok()) << answer.message;
    // Said while the device waits, and no more once it goes on.
    EXPECT_EQ(statuses_, (std::vector<std::string>{backup::passcodeWaitText(), ""}));
    EXPECT_FALSE(fs::exists(phone.dir() / "passcode-asked"));
}

TEST_F(RealDeviceBackupSim, AnEncryptedBackupIsSaidKeptAndNeverRestored) {
    phone.setFault(md::sim::kFaultBackupEncrypted, true);
    startServer();
    const ToolAnswer answer = backUp();
    ASSERT_TRUE(answer.ok()) << answer.message;
    EXPECT_EQ(statuses_, std::vector<std::string>{backup::encryptedDeviceText()});
    EXPECT_TRUE(backup::isEncryptedBackup(QString::fromStdString(backupOf().string())));
    EXPECT_EQ(restore(backupOf()).message, "The backup is encrypted and cannot be restored.");
}

TEST_F(RealDeviceBackupSim, TheSyncLockIsHeldForTheBackupAndWaitedForWhileAnotherProgramHasIt) {
    const struct {
        int heldMs;  // by another program; 0: nobody holds it
        std::string message;
        std::vector<std::string> statuses;
    } rows[] = {
        {0, "", {}},
        {1500, "", {backup::syncLockWaitText(), ""}},
        {-1,
         "Another program is syncing with the device. Try again when it has finished.",
         {backup::syncLockWaitText()}},
    };
    startServer();
    for (const auto& row : rows) {
        if (row.heldMs == 0) {
            clearFaults();
        } else {
            setFault(usbmuxsim::kFaultSyncLockHeld, row.heldMs);
        }
        replug();
        statuses_.clear();
        afc_error_t during = AFC_E_SUCCESS;
        const ToolAnswer answer = backUp([&](const backup::ToolLine& line) {
            if (line.kind == backup::ToolLine::Kind::Progress && during == AFC_E_SUCCESS) {
                during = trySyncLock();
            }
        });
        EXPECT_EQ(answer.ok() ? "" : answer.message, row.message) << row.heldMs;
        EXPECT_EQ(statuses_, row.statuses) << row.heldMs;
        if (answer.ok()) {
            EXPECT_EQ(during, AFC_E_OP_WOULD_BLOCK) << row.heldMs;
            EXPECT_EQ(trySyncLock(), AFC_E_SUCCESS) << "let go after the backup";
        }
    }
}

TEST_F(RealDeviceBackupSim, DeviceLinkMessagesBeyondTheUsualAreAnsweredAndTheBackupGoesOn) {
    const std::vector<std::vector<const char*>> rows = {
        {"DLMessagePurgeDiskSpace"},
        {"DLMessageMoveItems"},
        {"DLMessageCopyItem"},
        {"DLMessageSomethingNew"},
        {"DLMessageSomethingNew", "DLMessageCopyItem", "DLMessagePurgeDiskSpace",
         "DLMessageMoveItems"},
    };
    startServer();
    // A message left unanswered stalls the device: the run is stopped here instead.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (const auto& names : rows) {
        PlistValue messages = PlistValue::array();
        for (const char* name : names) {
            messages.append(name);
        }
        setFault(usbmuxsim::kFaultBackupLinkMessages, messages);
        const ToolAnswer answer =
            backUp({}, [&] { return std::chrono::steady_clock::now() > limit; });
        ASSERT_TRUE(answer.ok()) << names.front() << ": " << answer.message;
        const auto files = filesBelow(backupOf());
        EXPECT_EQ(std::count_if(files.begin(), files.end(),
                                [](const std::string& f) { return f.starts_with("Scratch"); }),
                  0);
    }
}

TEST_F(RealDeviceBackupSim, BeforeItsFirstUnlockTheDeviceIsWaitedForAndARestoreLeavesItSo) {
    const fs::path flag = phone.dir() / "not-unlocked";
    phone.setFault(usbmuxsim::kFaultBeforeFirstUnlock, "not-unlocked");
    writeText(flag, "");
    startServer();
    const ToolAnswer answer = backUp([&](const backup::ToolLine& line) {
        if (line.kind == backup::ToolLine::Kind::Status &&
            line.text == backup::firstUnlockWaitText()) {
            fs::remove(flag);  // unlocked
        }
    });
    ASSERT_TRUE(answer.ok()) << answer.message;
    EXPECT_EQ(statuses_, (std::vector<std::string>{backup::firstUnlockWaitText(), ""}));

    ASSERT_TRUE(restore(backupOf()).ok());
    // The restart is the device's: locked again until the next unlock.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(flag) && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(fs::exists(flag));
    EXPECT_EQ(folderNames(root()), std::vector<std::string>{kUdid});
}

}  // namespace
}  // namespace nimbara::test
