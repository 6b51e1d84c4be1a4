// The parts of the real-device path that need no device: restores refused before the device is
// asked, a backup whose device cannot be reached keeping the earlier one, the Info.plist written
// for a backup, and the answers for a run the device did not finish.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QString>

#include <optional>

#include "backup/backup_folder.h"
#include "backup/backup_info_plist.h"
#include "backup/backup_list.h"
#include "backup/backup_service.h"
#include "backup/pr_ios_device_node.h"
#include "backup/real_device_backup.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "platform/mobiledevice/sim/sim_backup_target.h"
#include "platform/mobiledevice/sim/sim_backup_writer.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::backup {
namespace {

namespace fs = std::filesystem;
using md::sim::BackupTarget;
using test::folderNames;
using test::folderSnapshot;
using test::ScopedEnv;
using test::TempDir;

constexpr const char* kUdid = "00008030-001A2D3E0C38802E";
constexpr const char* kOtherUdid = "aa00bb11cc22dd33ee44ff5500aa11bb22cc33dd";

class RealDeviceBackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        makeDevice(tmp_ / "device", kUdid);
        makeDevice(tmp_ / "other", kOtherUdid);
    }
    fs::path root() const { return tmp_ / "root"; }

    void makeDevice(const fs::path& dir, const std::string& udid) {
        simdev::SimDeviceBuilder b(dir);
        b.setIdentity("Ann's Phone", udid, "iPhone12,1", "14.2");
        simdev::addBackupFile(b, "HomeDomain", "Library/Preferences/com.apple.x.plist", "<plist/>");
        ASSERT_TRUE(b.write());
    }
    fs::path simBackup(const char* device, const char* where, md::sim::BackupOptions options = {}) {
        const auto written = md::sim::writeDeviceBackup(tmp_ / device, tmp_ / where, options);
        EXPECT_TRUE(written.ok) << written.error;
        return written.folder;
    }

    TempDir tmp_;
    // No device can be reached: a run that tried would say so.
    ScopedEnv noMux_{"USBMUXD_SOCKET_ADDRESS", "UNIX:" + (tmp_ / "no-socket").string()};
};

TEST_F(RealDeviceBackupTest, RestoresAreRefusedBeforeTheDeviceIsAsked) {
    md::sim::BackupOptions encrypted;
    encrypted.encrypted = true;
    md::sim::BackupOptions unfinished;
    unfinished.statusPlist = false;
    // Info.plist is there, but no list of apps can be read from it: the restore would put none
    // back.
    const fs::path listNotADictionary = simBackup("device", "apps-array");
    auto info = PlistValue::readFile((listNotADictionary / "Info.plist").string());
    ASSERT_TRUE(info);
    info->set("Applications", PlistValue::array());
    ASSERT_TRUE(info->writeFile((listNotADictionary / "Info.plist").string()));
    const fs::path damaged = simBackup("device", "info-damaged");
    test::writeText(damaged / "Info.plist", "<plist><dict><key>Applications</key>");
    const fs::path linked = simBackup("device", "info-linked");
    fs::rename(linked / "Info.plist", tmp_ / "elsewhere.plist");
    fs::create_symlink(tmp_ / "elsewhere.plist", linked / "Info.plist");
    const struct {
        fs::path source;
        std::string message;
    } rows[] = {
        {listNotADictionary, unreadableAppsText()},
        {damaged, unreadableAppsText()},
        {linked, unreadableAppsText()},
        {simBackup("device", "encrypted", encrypted),
         "The backup is encrypted and cannot be restored."},
        {simBackup("other", "others"), "The backup was made of another device ("},
        {simBackup("device", "unfinished", unfinished),
         "The backup did not finish, so it cannot be restored."},
        {tmp_ / "missing", "The backup " + (tmp_ / "missing").string() + " cannot be opened: "},
    };
    for (const auto& row : rows) {
        const ToolAnswer answer = restoreRealDevice(kUdid, row.source, root());
        EXPECT_EQ(answer.exitStatus, kToolFailed);
        EXPECT_EQ(answer.message.rfind(row.message, 0), 0u) << answer.message;
    }
    // A backup that may be restored gets as far as the device.
    EXPECT_EQ(restoreRealDevice(kUdid, simBackup("device", "good"), root()).message,
              md::sim::noDeviceText(kUdid));
}

TEST_F(RealDeviceBackupTest, ABackupThatCannotStartKeepsTheEarlierOne) {
    simBackup("device", "root");
    const auto earlier = folderSnapshot(root() / kUdid);
    EXPECT_EQ(backupRealDevice(kUdid, root()).message, md::sim::noDeviceText(kUdid));
    EXPECT_EQ(folderSnapshot(root() / kUdid), earlier);
    EXPECT_TRUE(test::hiddenLeftovers(root(), kUdid).empty());

    // Another run holds the device.
    const int fd = ::open((root() / ("." + std::string(kUdid) + ".lock")).c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(backupRealDevice(kUdid, root()).message,
              "Another backup or restore of this device is running.");
    EXPECT_TRUE(fs::exists(root() / ("." + std::string(kUdid) + ".lock"))) << "not its to remove";
    ::close(fd);
    EXPECT_EQ(folderSnapshot(root() / kUdid), earlier);
}

TEST_F(RealDeviceBackupTest, ALockFileReplacedBeforeItIsLockedIsNotHeld) {
    ASSERT_TRUE(fs::create_directories(root()));
    std::optional<DeviceRunLock> first(std::in_place, root(), kUdid);
    ASSERT_TRUE(first->error().empty());
    // Between the second run's open and lock, the first ends and a third takes the device.
    std::optional<DeviceRunLock> third;
    const DeviceRunLock second(root(), kUdid, [&] {
        if (first) {
            first.reset();
            third.emplace(root(), kUdid);
        }
    });
    ASSERT_TRUE(third && third->error().empty());
    EXPECT_EQ(second.error(), "Another backup or restore of this device is running.");
}

TEST_F(RealDeviceBackupTest, InfoPlistNamesTheDeviceForTheBackupList) {
    const fs::path folder = simBackup("device", "root");
    PlistValue lockdown = PlistValue::dict();
    lockdown.set("DeviceName", "Bo's iPad");
    lockdown.set("ProductType", "iPad8,1");
    lockdown.set("ProductVersion", "17.2");
    lockdown.set("SerialNumber", "F4KQ1234");
    lockdown.set("BuildVersion", "21C62");
    lockdown.set("PhoneNumber", PlistValue(7));  // not text: left out
    const PlistValue info = backupInfoPlist(lockdown, {}, kUdid, 7.5e8);
    EXPECT_FALSE(info.contains("Phone Number"));
    EXPECT_FALSE(info.contains("IMEI"));
    EXPECT_EQ(info["Last Backup Date"].toDateSeconds(), 7.5e8);
    ASSERT_TRUE(info.writeFile((folder / "Info.plist").string()));

    const auto read = readBackupFolder(QString::fromStdString(folder.string()));
    ASSERT_TRUE(read) << read.sentence().toStdString();
    const auto& node = read.value();
    EXPECT_EQ(node->strDeviceName(), "Bo's iPad");
    EXPECT_EQ(node->strDeviceSerial(), "F4KQ1234");
    EXPECT_EQ(node->strIOSVersion(), "17.2");
    EXPECT_TRUE(backupOwnerProblem(BackupFolder::open(folder.string()), kUdid).empty());
}

TEST(BackupInfoPlistTest, OnlyAppsTheStoreCanGiveBackAreApplications) {
    const PlistValue::Bytes bytes = {1, 2};
    auto app = [&](PlistValue id, bool store) {
        PlistValue entry = PlistValue::dict();
        entry.set("CFBundleIdentifier", std::move(id));
        entry.set(store ? "iTunesMetadata" : "Other", bytes);
        entry.set("ApplicationSINF", bytes);
        return entry;
    };
    BackupInfoExtras extras;
    extras.apps = {app("com.a.store", true), app("com.b.iconless", true),
                   app("com.c.nometa", false), app(PlistValue(7), true), app("", true)};
    extras.icons = {{"com.a.store", {9}}, {"com.c.nometa", {8}}};
    const PlistValue info = backupInfoPlist(PlistValue::dict(), extras, "abc-1", 0);
    EXPECT_EQ(info["Installed Applications"],
              PlistValue(PlistValue::Array{"com.a.store", "com.b.iconless", "com.c.nometa"}));
    PlistValue expected = PlistValue::dict();
    expected["com.a.store"] = app(PlistValue(), true);
    expected["com.a.store"].asDict().erase("CFBundleIdentifier");
    expected["com.b.iconless"] = expected["com.a.store"];
    expected["com.a.store"].set("PlaceholderIcon", PlistValue::Bytes{9});
    EXPECT_EQ(info["Applications"], expected);
    EXPECT_EQ(info["Unique Identifier"].toString(), "ABC-1");
}

TEST(BackupInfoPlistTest, ManyAppsStayWithinWhatTheReadersReadAndAllAreListed) {
    constexpr std::size_t kApps = 200;
    BackupInfoExtras extras;
    for (std::size_t i = 0; i < kApps; ++i) {
        const std::string id = "com.example.app" + std::to_string(i);
        extras.apps.push_back(PlistValue::Dict{{"CFBundleIdentifier", id},
                                               {"ApplicationSINF", PlistValue::Bytes(64, 1)},
                                               {"iTunesMetadata", PlistValue::Bytes(64, 2)}});
        extras.icons[id] = PlistValue::Bytes(1000 + 10 * i, 3);
    }
    for (const char* name : {"IC-Info.sidb", "iTunesPrefs", "VoiceMemos.plist"}) {
        extras.iTunesFiles[name] = PlistValue::Bytes(20000, 4);
    }
    extras.iBooksData = PlistValue::Bytes(10000, 5);
    auto info = [](const BackupInfoExtras& e, std::uint64_t cap) {
        return backupInfoPlist(PlistValue::dict(), e, "abc-1", 0, cap);
    };
    const std::uint64_t whole = info(extras, kMaxInfoPlistBytes).toXml().size();
    BackupInfoExtras bare = extras;
    bare.icons.clear();
    bare.iBooksData.reset();
    const std::uint64_t noIconsNoBooks = info(bare, kMaxInfoPlistBytes).toXml().size();

    const struct {
        std::uint64_t maxBytes;
        bool fits, someIcons, books;
        std::size_t files;  // at least
    } rows[] = {
        {whole, true, true, true, 3},
        {whole - 20000, true, true, true, 3},
        {noIconsNoBooks - 5000, true, false, false, 1},
        {1000, false, false, false, 0},  // less than the apps alone
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.maxBytes);
        const PlistValue made = info(extras, row.maxBytes);
        EXPECT_EQ(made.toXml().size() <= row.maxBytes, row.fits);
        ASSERT_EQ(made["Applications"].size(), kApps);
        std::uint64_t largestKept = 0;
        std::uint64_t smallestLeftOut = UINT64_MAX;
        for (const auto& [id, icon] : extras.icons) {
            if (made["Applications"][id].contains("PlaceholderIcon")) {
                largestKept = std::max<std::uint64_t>(largestKept, icon.size());
            } else {
                smallestLeftOut = std::min<std::uint64_t>(smallestLeftOut, icon.size());
            }
        }
        EXPECT_EQ(largestKept > 0, row.someIcons);
        EXPECT_LE(largestKept, smallestLeftOut) << "the largest icons go first";
        EXPECT_EQ(made.contains("iBooks Data 2"), row.books);
        EXPECT_GE(made["iTunes Files"].size(), row.files);
        EXPECT_EQ(made["iTunes Files"].size() == 3, row.books);
    }
}

TEST(RealDeviceAnswerTest, AnUnfinishedRunIsToldInOurWords) {
    using Kind = DeviceLinkEnd::Kind;
    auto end = [](Kind kind, long code = 0, std::string text = {}, std::string hostError = {}) {
        DeviceLinkEnd e;
        e.kind = kind;
        e.code = code;
        e.text = std::move(text);
        e.hostError = std::move(hostError);
        return e;
    };
    const struct {
        DeviceLinkEnd end;
        bool backup;
        bool cancelled;
        std::string message;
    } rows[] = {
        {end(Kind::Stopped), true, false, md::sim::runStoppedText(BackupTarget::Run::Backup)},
        {end(Kind::Gone), false, false, md::sim::deviceGoneText(BackupTarget::Run::Restore)},
        {end(Kind::Gone), true, true, "The backup was cancelled on the device."},
        {end(Kind::DeviceError, 105, "Insufficient free disk space\n"), true, false,
         "The device ended the backup with an error: Insufficient free disk space."},
        {end(Kind::DeviceError, -1), true, false,
         "The device ended the backup before it was finished."},
        {end(Kind::DeviceError, 17), false, false,
         "The device ended the restore with an error (17)."},
        {end(Kind::DeviceError, -1, "", "The file x could not be stored: No space left on device"),
         true, false,
         "The device ended the backup with an error. The file x could not be stored: No space "
         "left on device."},
    };
    for (const auto& row : rows) {
        const ToolAnswer answer = unfinishedRunAnswer(row.end, row.backup, row.cancelled);
        EXPECT_EQ(answer.exitStatus, kToolFailed);
        EXPECT_EQ(answer.message, row.message);
    }
}

TEST(RealDeviceAnswerTest, OnlyNewerDevicesWaitForThePasscode) {
    const std::pair<const char*, bool> rows[] = {
        {"16.1", true}, {"16.0.3", false}, {"17.2.1", true}, {"9.3.5", false}, {"", false}};
    for (const auto& [version, waits] : rows) {
        EXPECT_EQ(waitsForPasscode(version), waits) << version;
    }
}

}  // namespace
}  // namespace nimbara::backup
