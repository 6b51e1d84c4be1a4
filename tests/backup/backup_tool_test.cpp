// The backup tool's work on simulated devices, run in this process: a backup that the backup
// list and the readers take, a restore that gives the device back exactly what the backup holds,
// and every injected fault or refusal answered with a failure that leaves no half backup and
// the device's contents as they were.
#include <gtest/gtest.h>

#include <QString>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_list.h"
#include "backup/backup_manifest.h"
#include "backup/backup_tool.h"
#include "backup/contact_reader.h"
#include "backup/manifest_mbdb.h"
#include "backup/shah.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "killed_exchange.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::backup {
namespace {

namespace fs = std::filesystem;
namespace layout = md::sim;
using test::folderNames;
using test::folderSnapshot;
using test::readText;
using test::TempDir;
using test::writeText;

constexpr const char* kUdid = "5c1d9e0f2a3b4c5d6e7f8091a2b3c4d5e6f70819";
constexpr const char* kOtherUdid = "aa00bb11cc22dd33ee44ff5500aa11bb22cc33dd";
constexpr const char* kAddressBookKey = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
constexpr const char* kImagesKey = "cd6702cea29fe89cf280a76794405adb17f9a0ee";

class BackupToolTest : public ::testing::Test {
  protected:
    fs::path devices() const { return tmp_ / "devices"; }
    fs::path root() const { return tmp_ / "backups"; }
    fs::path deviceDir(const std::string& name = "phone") const { return devices() / name; }
    fs::path source(const std::string& name = "phone") const {
        return deviceDir(name) / layout::kBackupSourceDir;
    }
    fs::path backupOf(const std::string& udid = kUdid) const { return root() / udid; }

    // A device with an address book, a photo, a preference file and an empty folder.
    simdev::SimDeviceBuilder& makeDevice(const std::string& version = "12.4.1",
                                         const std::string& name = "phone",
                                         const std::string& udid = kUdid) {
        builder_.emplace(deviceDir(name));
        builder_->setIdentity("Ann's Phone", udid, "iPhone10,4", version);
        simdev::addBackupFile(*builder_, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                              "jpeg bytes");
        simdev::addBackupFile(*builder_, "HomeDomain", "Library/Preferences/com.apple.x.plist",
                              "<plist/>");
        simdev::addBackupDir(*builder_, "HomeDomain", "Library/Caches");
        simdev::BackupContact ann{.first = "Ann", .last = "Lee", .phones = {"+1 555 0101"}};
        simdev::addBackupAddressBook(*builder_, {ann});
        EXPECT_TRUE(builder_->write());
        return *builder_;
    }
    void setFault(const std::string& key, PlistValue value) {
        builder_->setFault(key, std::move(value));
        ASSERT_TRUE(builder_->write());
    }

    ToolAnswer backup(const std::function<bool()>& stop = {}) {
        return backupDevice(devices(), kUdid, root(), stop);
    }
    ToolAnswer restore(const fs::path& from, const std::function<bool()>& stop = {}) {
        return restoreDevice(devices(), kUdid, from, stop);
    }
    // A backup of the device as it is now, copied aside (the tool replaces the one in the root).
    fs::path backupCopy(const std::string& name) {
        EXPECT_TRUE(backup().ok());
        const fs::path copy = tmp_ / name;
        fs::copy(backupOf(), copy, fs::copy_options::recursive);
        return copy;
    }
    // Hidden folders left in the device's folder or the backup root.
    static std::vector<std::string> hiddenNames(const fs::path& dir) {
        std::vector<std::string> hidden;
        for (const std::string& name : folderNames(dir)) {
            if (name.front() == '.') {
                hidden.push_back(name);
            }
        }
        return hidden;
    }

    TempDir tmp_;
    std::optional<simdev::SimDeviceBuilder> builder_;
};

TEST_F(BackupToolTest, BackupIsListedAndReadInBothLayouts) {
    for (const std::string version : {"12.4.1", "9.3.5"}) {
        SCOPED_TRACE(version);
        makeDevice(version);
        const ToolAnswer answer = backup();
        ASSERT_TRUE(answer.ok()) << answer.message;
        EXPECT_NE(answer.message.find(backupOf().string()), std::string::npos);

        const auto listed = listLocalBackups(QString::fromStdString(root().string()));
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0]->strDeviceName(), "Ann's Phone");
        EXPECT_EQ(listed[0]->strIOSVersion(), QString::fromStdString(version));
        EXPECT_FALSE(isEncryptedBackup(QString::fromStdString(backupOf().string())));

        const BackupManifest manifest = BackupManifest::read(backupOf().string());
        ASSERT_TRUE(manifest.ok()) << manifest.error;
        EXPECT_EQ(manifest.kind, version == "9.3.5" ? ManifestKind::Mbdb : ManifestKind::Db);
        EXPECT_EQ(readText(manifest.storedPathOf(backupOf().string(),
                                                 "Media/DCIM/100APPLE/IMG_0001.JPG")),
                  "jpeg bytes");
        const auto contacts = readContacts(backupFilePath(backupOf().string(), kAddressBookKey),
                                           backupFilePath(backupOf().string(), kImagesKey));
        ASSERT_EQ(contacts.contacts.size(), 1u);
        EXPECT_EQ(contacts.contacts[0]->contactName(), "Ann Lee");
        EXPECT_TRUE(hiddenNames(root()).empty());
    }
}

TEST_F(BackupToolTest, FilesNestedTooDeepToReadBackAreLeftOutAndNamed) {
    // Folders on the way to the file: as many names as the readers take, one more, far more.
    const struct {
        std::size_t folders;
        bool leftOut;
    } rows[] = {{kMaxPathComponents - 1, false}, {kMaxPathComponents, true}, {300, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.folders);
        makeDevice();
        std::string deep;
        for (std::size_t i = 0; i < row.folders; ++i) {
            deep += "d/";
        }
        deep += "deep.txt";
        simdev::addBackupFile(*builder_, "HomeDomain", deep, "deep");
        ASSERT_TRUE(builder_->write());

        const ToolAnswer answer = backup();
        ASSERT_TRUE(answer.ok()) << answer.message;
        const std::string named = "; 1 file nested too deep was left out: HomeDomain/" + deep;
        EXPECT_EQ(answer.message.ends_with(named + "."), row.leftOut) << answer.message;
        const BackupManifest manifest = BackupManifest::read(backupOf().string());
        ASSERT_TRUE(manifest.ok()) << manifest.error;
        EXPECT_EQ(manifest.storedPathOf(backupOf().string(), deep).empty(), row.leftOut);
        EXPECT_TRUE(restore(backupOf()).ok());
        fs::remove_all(devices());
        fs::remove_all(root());
    }
}

TEST_F(BackupToolTest, RestoreGivesTheDeviceExactlyWhatTheBackupHolds) {
    for (const std::string version : {"12.4.1", "9.3.5"}) {
        SCOPED_TRACE(version);
        fs::remove_all(deviceDir());
        makeDevice(version);
        const auto original = folderSnapshot(source());
        const fs::path saved = backupCopy("saved-" + version);
        const auto savedBackup = folderSnapshot(saved);

        // The device changes after the backup: a new file, a changed one, a removed folder.
        writeText(source() / "HomeDomain/Library/Notes.txt", "new");
        writeText(source() / "CameraRollDomain/Media/DCIM/100APPLE/IMG_0001.JPG", "edited");
        fs::remove_all(source() / "HomeDomain/Library/Caches");
        ASSERT_NE(folderSnapshot(source()), original);

        const ToolAnswer answer = restore(saved);
        ASSERT_TRUE(answer.ok()) << answer.message;
        EXPECT_EQ(folderSnapshot(source()), original);
        // The backup is only read, and nothing is left beside the device's contents.
        EXPECT_EQ(folderSnapshot(saved), savedBackup);
        EXPECT_TRUE(hiddenNames(deviceDir()).empty());
    }
}

TEST_F(BackupToolTest, InjectedBackupFaultsFailWithoutAHalfBackup) {
    makeDevice();
    ASSERT_TRUE(backup().ok());
    const auto earlier = folderSnapshot(backupOf());
    writeText(source() / "HomeDomain/Library/Later.txt", "written after the first backup");

    // A plain failure: its text, nothing written.
    setFault(layout::kFaultBackupError, PlistValue("The device refused the backup."));
    ToolAnswer answer = backup();
    EXPECT_EQ(answer.exitStatus, kToolFailed);
    EXPECT_EQ(answer.message, "The device refused the backup.");
    EXPECT_EQ(folderSnapshot(backupOf()), earlier);

    // The device goes away after two stored files: the earlier backup stays whole.
    builder_->editDevicePlist()[layout::kKeyFaults] = PlistValue::dict();
    setFault(layout::kFaultBackupGoneAfterFiles, PlistValue(2));
    answer = backup();
    EXPECT_EQ(answer.exitStatus, kToolFailed);
    EXPECT_EQ(answer.message, md::sim::deviceGoneText(md::sim::BackupTarget::Run::Backup));
    EXPECT_EQ(folderSnapshot(backupOf()), earlier);

    // Success claimed, nothing written: the tool's answer alone can't be trusted (the runner
    // looks for a new backup).
    builder_->editDevicePlist()[layout::kKeyFaults] = PlistValue::dict();
    setFault(layout::kFaultBackupWritesNothing, PlistValue(true));
    EXPECT_TRUE(backup().ok());
    EXPECT_EQ(folderSnapshot(backupOf()), earlier);

    // Stopped between files.
    builder_->editDevicePlist()[layout::kKeyFaults] = PlistValue::dict();
    ASSERT_TRUE(builder_->write());
    answer = backup([] { return true; });
    EXPECT_EQ(answer.message, md::sim::runStoppedText(md::sim::BackupTarget::Run::Backup));
    EXPECT_EQ(folderSnapshot(backupOf()), earlier);

    EXPECT_EQ(folderNames(root()), std::vector<std::string>{kUdid});
}

TEST_F(BackupToolTest, EncryptedBackupsSaySo) {
    makeDevice().setFault(layout::kFaultBackupEncrypted, PlistValue(true));
    ASSERT_TRUE(builder_->write());
    ASSERT_TRUE(backup().ok());
    const QString folder = QString::fromStdString(backupOf().string());
    EXPECT_TRUE(isEncryptedBackup(folder));
    const auto read = readBackupFolder(folder);
    ASSERT_TRUE(read) << read.sentence().toStdString();
    const auto& node = read.value();
    EXPECT_TRUE(node->isEncrypted());
    // Such a backup is never restored.
    writeText(source() / "HomeDomain/Library/Later.txt", "x");
    const ToolAnswer answer = restore(backupOf());
    EXPECT_EQ(answer.exitStatus, kToolFailed);
    EXPECT_NE(answer.message.find("encrypted"), std::string::npos);
    EXPECT_TRUE(fs::exists(source() / "HomeDomain/Library/Later.txt"));
}

TEST_F(BackupToolTest, ADeviceThatGoesAwayWhileTheToolWaitsEndsTheBackup) {
    makeDevice().setFault(layout::kFaultBackupWaitsFor, PlistValue("go"));
    ASSERT_TRUE(builder_->write());
    std::optional<ToolAnswer> answer;
    std::thread run([&] { answer = backup(); });
    // The tool holds the device until its wait ends; moving the folder away is unplugging it.
    ASSERT_TRUE([&] {
        for (int i = 0; i < 15000; ++i) {
            if (nimbara::test::folderIsLocked(deviceDir())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return false;
    }());
    fs::rename(deviceDir(), tmp_ / "unplugged");
    run.join();
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->message, md::sim::deviceGoneText(md::sim::BackupTarget::Run::Backup));
    EXPECT_FALSE(fs::exists(backupOf()));
    EXPECT_TRUE(!fs::exists(root()) || folderNames(root()).empty());
}

TEST_F(BackupToolTest, HalfBackupsOfKilledRunsAreClearedByTheNext) {
    makeDevice();
    fs::create_directories(root() / ("." + std::string(kUdid) + ".partial-Ab12Cd") / "xx");
    fs::create_directories(root() / ("." + std::string(kOtherUdid) + ".partial-Ab12Cd"));
    ASSERT_TRUE(backup().ok());
    // Only this device's are its to clear.
    EXPECT_EQ(folderNames(root()),
              (std::vector<std::string>{"." + std::string(kOtherUdid) + ".partial-Ab12Cd", kUdid}));
}

TEST_F(BackupToolTest, AnEarlierBackupParkedByAKilledRunIsPutBackNeverCleared) {
    makeDevice();
    ASSERT_TRUE(backup().ok());
    const std::vector<std::string> earlier = test::filesBelow(backupOf());
    const std::string partial = "." + std::string(kUdid) + ".partial-Ab12Cd";
    struct Row {
        const char* what;
        std::function<void()> leaveParked;
    };
    const Row rows[] = {
        // Killed between moving the earlier backup aside and the new one in.
        {"parked", [&] { ASSERT_TRUE(test::killedBetweenTheMoves([&] { backup(); })); }},
        // Where earlier versions parked it: inside the half-built backup's folder.
        {"inside a partial folder",
         [&] {
             fs::create_directories(root() / partial);
             fs::rename(backupOf(), root() / partial / "old");
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        row.leaveParked();
        ASSERT_FALSE(fs::exists(backupOf()));
        // What the next run does before anything else.
        removeAbandonedPartials(root(), kUdid);
        EXPECT_EQ(test::filesBelow(backupOf()), earlier);
        EXPECT_EQ(folderNames(root()), std::vector<std::string>{kUdid});
    }
}

TEST_F(BackupToolTest, RestoredContentsOfKilledRunsAreClearedByTheNext) {
    makeDevice();
    const fs::path saved = backupCopy("saved");
    // What a killed restore leaves, and what is no leftover of a restore.
    const fs::path left = deviceDir() / ".backup-source.restore-Ab12Cd";
    writeText(left / "HomeDomain/Library/big.bin", "restored bytes");
    fs::create_directories(deviceDir() / ".backup-source.restored");
    ASSERT_TRUE(restore(saved).ok());
    EXPECT_EQ(hiddenNames(deviceDir()), std::vector<std::string>{".backup-source.restored"});
}

TEST_F(BackupToolTest, DevicesThatCannotBeBackedUpAreRefused) {
    EXPECT_EQ(backup().message,
              std::string("No device with the identifier ") + kUdid + " is connected.");
    makeDevice();
    // Untrusted.
    builder_->setTrusted(false);
    ASSERT_TRUE(builder_->write());
    EXPECT_NE(backup().message.find("does not trust"), std::string::npos);
    builder_->setTrusted(true);
    ASSERT_TRUE(builder_->write());
    // Busy with another run.
    {
        std::string error;
        const auto held = md::sim::BackupTarget::open(devices(), kUdid, &error);
        ASSERT_NE(held, nullptr) << error;
        EXPECT_EQ(backup().message, "Another backup or restore of this device is running.");
    }
    // Two folders claiming one identifier: neither is taken for the other.
    simdev::SimDeviceBuilder twin(deviceDir("twin"));
    twin.setIdentity("Twin", kUdid);
    ASSERT_TRUE(twin.write());
    EXPECT_EQ(backup().message,
              std::string("More than one device has the identifier ") + kUdid + ".");
    EXPECT_FALSE(fs::exists(root()));
}

TEST_F(BackupToolTest, RestoreRefusesWhatWouldHarmTheDevice) {
    makeDevice();
    const fs::path good = backupCopy("good");
    writeText(source() / "HomeDomain/Library/Later.txt", "kept unless a restore succeeds");
    const auto before = folderSnapshot(source());
    auto expectRefused = [&](const fs::path& from, const std::string& words) {
        const ToolAnswer answer = restore(from);
        EXPECT_EQ(answer.exitStatus, kToolFailed);
        EXPECT_NE(answer.message.find(words), std::string::npos) << answer.message;
        EXPECT_EQ(folderSnapshot(source()), before);
        EXPECT_TRUE(hiddenNames(deviceDir()).empty());
    };

    // A backup of another device.
    simdev::SimDeviceBuilder other(deviceDir("other"));
    other.setIdentity("Other", kOtherUdid);
    simdev::addBackupFile(other, "HomeDomain", "Library/x", "other's");
    ASSERT_TRUE(other.write());
    ASSERT_TRUE(backupDevice(devices(), kOtherUdid, root()).ok());
    expectRefused(backupOf(kOtherUdid), "another device");

    // A stored copy missing, or not the size its list gives.
    fs::copy(good, tmp_ / "missing", fs::copy_options::recursive);
    const std::string photoKey = fileKey("CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG");
    fs::remove(tmp_ / "missing" / photoKey.substr(0, 2) / photoKey);
    expectRefused(tmp_ / "missing", "lacks the stored copy");
    fs::copy(good, tmp_ / "resized", fs::copy_options::recursive);
    writeText(tmp_ / "resized" / photoKey.substr(0, 2) / photoKey, "a longer set of bytes");
    expectRefused(tmp_ / "resized", "does not match");

    // A list naming paths outside their domain.
    for (const std::string hostile : {"../../escape.txt", "Library/../../escape.txt"}) {
        const fs::path folder = tmp_ / "hostile";
        fs::remove_all(folder);
        fs::copy(good, folder, fs::copy_options::recursive);
        fs::remove(folder / "Manifest.db");
        MbdbRecord record;
        record.domain = "HomeDomain";
        record.path = hostile;
        record.mode = 0100644;
        record.size = 3;
        writeText(folder / "Manifest.mbdb", writeMbdb({record}));
        writeText(folder / fileKey("HomeDomain", hostile), "bad");
        expectRefused(folder, "outside its domain");
        EXPECT_FALSE(fs::exists(deviceDir() / "escape.txt"));
        EXPECT_FALSE(fs::exists(tmp_ / "escape.txt"));
    }

    // A folder that holds no backup, or none at all.
    fs::create_directories(tmp_ / "empty");
    writeText(tmp_ / "empty" / "Info.plist", PlistValue::dict().toXml());
    expectRefused(tmp_ / "empty", "say which device");
    expectRefused(tmp_ / "nowhere", "cannot be opened");
}

TEST_F(BackupToolTest, AFailedRestoreLeavesTheDeviceAsItWas) {
    makeDevice();
    const fs::path saved = backupCopy("saved");
    writeText(source() / "HomeDomain/Library/Later.txt", "kept");
    const auto before = folderSnapshot(source());
    using md::sim::BackupTarget;

    setFault(layout::kFaultRestoreGoneAfterFiles, PlistValue(1));
    ToolAnswer answer = restore(saved);
    EXPECT_EQ(answer.message, md::sim::deviceGoneText(BackupTarget::Run::Restore));
    EXPECT_EQ(folderSnapshot(source()), before);

    builder_->editDevicePlist()[layout::kKeyFaults] = PlistValue::dict();
    setFault(layout::kFaultRestoreError, PlistValue("Restore refused by the device."));
    answer = restore(saved);
    EXPECT_EQ(answer.message, "Restore refused by the device.");
    EXPECT_EQ(folderSnapshot(source()), before);

    builder_->editDevicePlist()[layout::kKeyFaults] = PlistValue::dict();
    ASSERT_TRUE(builder_->write());
    answer = restore(saved, [] { return true; });
    EXPECT_EQ(answer.message, md::sim::runStoppedText(BackupTarget::Run::Restore));
    EXPECT_EQ(folderSnapshot(source()), before);
    EXPECT_TRUE(hiddenNames(deviceDir()).empty());

    // Without a fault it goes through, and the file made after the backup is gone.
    ASSERT_TRUE(restore(saved).ok());
    EXPECT_FALSE(fs::exists(source() / "HomeDomain/Library/Later.txt"));
}

TEST_F(BackupToolTest, TheCommandLineIsReadStrictly) {
    makeDevice();
    const std::string previousDevices =
        std::getenv("NIMBARA_SIMULATED_DEVICES") ? std::getenv("NIMBARA_SIMULATED_DEVICES") : "";
    const std::string previousRoot =
        std::getenv("NIMBARA_BACKUP_ROOT") ? std::getenv("NIMBARA_BACKUP_ROOT") : "";
    ::setenv("NIMBARA_SIMULATED_DEVICES", devices().c_str(), 1);
    ::setenv("NIMBARA_BACKUP_ROOT", root().c_str(), 1);

    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {},
             {"--backup"},
             {"--backup", "--target"},
             {"--backup", "--restore", "--target", kUdid},
             {"--backup", "--target", kUdid, "--source", "x"},
             {"--restore", "--target", kUdid},
             {"--backup", "--target", kUdid, "--target", kUdid},
             {"--backup", "--target", kUdid, "extra"},
         }) {
        EXPECT_EQ(runBackupTool(wrong).exitStatus, kToolUsage);
    }
    // An identifier that could name something outside the backup root is no identifier.
    const ToolAnswer dotted = runBackupTool({"--backup", "--target", "../escape"});
    EXPECT_EQ(dotted.exitStatus, kToolFailed);
    EXPECT_FALSE(fs::exists(tmp_ / "escape"));

    EXPECT_TRUE(runBackupTool({"--backup", "--target", kUdid}).ok());
    EXPECT_TRUE(fs::is_directory(backupOf()));
    EXPECT_TRUE(
        runBackupTool({"--restore", "--target", kUdid, "--source", backupOf().string()}).ok());

    previousDevices.empty() ? ::unsetenv("NIMBARA_SIMULATED_DEVICES")
                            : ::setenv("NIMBARA_SIMULATED_DEVICES", previousDevices.c_str(), 1);
    previousRoot.empty() ? ::unsetenv("NIMBARA_BACKUP_ROOT")
                         : ::setenv("NIMBARA_BACKUP_ROOT", previousRoot.c_str(), 1);
}

}  // namespace
}  // namespace nimbara::backup
