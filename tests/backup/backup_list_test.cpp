// The local backup list: which folders are offered, what each row shows and in which order.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTimeZone>

#include <filesystem>
#include <optional>

#include "backup/backup_list.h"
#include "backup/backup_root.h"
#include "backup/pages/pr_back_up_view_controller.h"
#include "platform/plist_value.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::PlistValue;
using nimbara::test::TempDir;
using nimbara::test::writeText;
namespace bk = nimbara::backup;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

PlistValue infoPlist(const std::string& name, const std::string& productType = "iPhone5,2") {
    PlistValue info = PlistValue::dict();
    info.set("Device Name", name);
    info.set("Serial Number", "SER-" + name);
    info.set("Product Type", productType);
    info.set("Product Version", "6.1.3");
    info.set("iTunes Version", "11.0.2");
    return info;
}

PlistValue manifestPlist(const std::string& name, std::optional<PlistValue> encrypted = {}) {
    PlistValue lockdown = PlistValue::dict();
    lockdown.set("DeviceName", name);
    lockdown.set("SerialNumber", "MSER-" + name);
    lockdown.set("ProductType", "iPad2,1");
    lockdown.set("ProductVersion", "5.1.1");
    lockdown.set("BuildVersion", "9B206");
    PlistValue manifest = PlistValue::dict();
    manifest.set("Lockdown", lockdown);
    if (encrypted) {
        manifest.set("IsEncrypted", *encrypted);
    }
    return manifest;
}

// A backup folder with the given plists and one stored file, so it has at least two entries.
fs::path makeBackup(const fs::path& root, const std::string& name,
                    const std::optional<PlistValue>& info,
                    const std::optional<PlistValue>& manifest = {}) {
    const fs::path folder = root / name;
    fs::create_directories(folder);
    writeText(folder / "3d0d7e5fb2ce288813306e4d4636395e047a3d28", "stored file");
    if (info) {
        EXPECT_TRUE(info->writeFile((folder / "Info.plist").string()));
    }
    if (manifest) {
        EXPECT_TRUE(manifest->writeFile((folder / "Manifest.plist").string()));
    }
    return folder;
}

std::vector<QString> namesOf(const bk::BackupListing& listing) {
    std::vector<QString> names;
    for (const auto& node : listing.backups) {
        names.push_back(node->strDeviceName());
    }
    return names;
}

bool wasSkipped(const bk::BackupListing& listing, const QString& name) {
    for (const auto& skipped : listing.skipped) {
        if (skipped.name == name) {
            return !skipped.reason.isEmpty();
        }
    }
    return false;
}

}  // namespace

TEST(BackupListTest, InfoPlistFillsEveryField) {
    TempDir root;
    const fs::path folder = makeBackup(root.path(), "aaa", infoPlist("Ann's phone"));
    const auto backups = bk::listLocalBackups(q(root.path()));
    ASSERT_EQ(backups.size(), 1u);
    const auto& node = *backups[0];
    EXPECT_EQ(node.strDeviceName(), QStringLiteral("Ann's phone"));
    EXPECT_EQ(node.strDeviceSerial(), QStringLiteral("SER-Ann's phone"));
    EXPECT_EQ(node.strDeviceType(), QStringLiteral("iPhone 5"));
    EXPECT_EQ(node.deviceImage(), QStringLiteral("iphoneImage.png"));
    EXPECT_EQ(node.strIOSVersion(), QStringLiteral("6.1.3"));
    EXPECT_EQ(node.itunesVersion(), QStringLiteral("11.0.2"));
    EXPECT_EQ(node.backUpFilePath(), q(folder));
    EXPECT_EQ(node.strDeviceSize(), QString::number(fs::file_size(folder / "Info.plist")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}$"))
                    .match(node.strDeviceBackUpTime())
                    .hasMatch())
        << node.strDeviceBackUpTime().toStdString();
    EXPECT_FALSE(node.isEncrypted());
    EXPECT_TRUE(node.unreadableReason().isEmpty());
}

TEST(BackupListTest, ManifestPlistIsTheFallbackAndLeavesTheSizeEmpty) {
    TempDir root;
    makeBackup(root.path(), "bbb", std::nullopt, manifestPlist("Tablet"));
    const auto backups = bk::listLocalBackups(q(root.path()));
    ASSERT_EQ(backups.size(), 1u);
    const auto& node = *backups[0];
    EXPECT_EQ(node.strDeviceName(), QStringLiteral("Tablet"));
    EXPECT_EQ(node.strDeviceSerial(), QStringLiteral("MSER-Tablet"));
    EXPECT_TRUE(node.strDeviceSize().isEmpty());
    EXPECT_EQ(node.itunesVersion(), QStringLiteral("9B206"));
    EXPECT_EQ(node.strIOSVersion(), QStringLiteral("5.1.1"));
    EXPECT_EQ(node.strDeviceType(), QStringLiteral("iPad 2"));
    EXPECT_EQ(node.deviceImage(), QStringLiteral("ipadImage.png"));
    EXPECT_FALSE(node.strDeviceBackUpTime().isEmpty());
}

TEST(BackupListTest, UnusableEntriesAreLeftOutWithAReason) {
    TempDir root;
    TempDir outside;
    makeBackup(root.path(), "good", infoPlist("Good"));
    makeBackup(root.path(), ".DS_Store", infoPlist("Hidden"));
    makeBackup(root.path(), ".hidden-backup", infoPlist("Hidden too"));
    fs::create_directories(root.path() / "empty");
    // One entry only, even though it is a good Info.plist.
    fs::create_directories(root.path() / "single");
    ASSERT_TRUE(infoPlist("Single").writeFile((root.path() / "single" / "Info.plist").string()));
    makeBackup(root.path(), "no-plists", std::nullopt);
    writeText(root.path() / "no-plists" / "Status.plist", "x");
    writeText(root.path() / "plain-file", "not a folder");
    // A Manifest.plist without a Lockdown dictionary is not usable either.
    makeBackup(root.path(), "no-lockdown", std::nullopt, PlistValue::dict());
    makeBackup(outside.path(), "elsewhere", infoPlist("Outside"));
    fs::create_directory_symlink(outside.path() / "elsewhere", root.path() / "link-out");
    fs::create_directory_symlink(root.path() / "missing", root.path() / "dangling");
    makeBackup(root.path(), "bad-\xff-name", infoPlist("Not text"));

    const bk::BackupListing listing = bk::scanLocalBackups(q(root.path()));
    EXPECT_EQ(namesOf(listing), std::vector<QString>{QStringLiteral("Good")});
    for (const char* name :
         {"empty", "single", "no-plists", "plain-file", "no-lockdown", "link-out", "dangling"}) {
        EXPECT_TRUE(wasSkipped(listing, QString::fromLatin1(name))) << name;
    }
    // Hidden entries are never offered, not even as skipped ones.
    EXPECT_FALSE(wasSkipped(listing, QStringLiteral(".DS_Store")));
    EXPECT_EQ(listing.skipped.size(), 8u);
}

TEST(BackupListTest, LinkInsideTheRootIsListed) {
    TempDir root;
    makeBackup(root.path(), "real", infoPlist("Real"));
    fs::create_directories(root.path() / ".store");
    makeBackup(root.path() / ".store", "kept", infoPlist("Kept"));
    fs::create_directory_symlink(root.path() / ".store" / "kept", root.path() / "alias");
    EXPECT_EQ(namesOf(bk::scanLocalBackups(q(root.path()))),
              (std::vector<QString>{QStringLiteral("Kept"), QStringLiteral("Real")}));
}

TEST(BackupListTest, MalformedOrMisplacedPlistsNeverCrash) {
    TempDir root;
    TempDir outside;
    // Garbage Info.plist with a good Manifest.plist: read through the manifest.
    const fs::path a = makeBackup(root.path(), "a", std::nullopt, manifestPlist("From manifest"));
    writeText(a / "Info.plist", "<?xml version=\"1.0\"?><plist><dict><key>Device");
    // Garbage in both: left out.
    const fs::path b = makeBackup(root.path(), "b", std::nullopt);
    writeText(b / "Info.plist", std::string("bplist00\xff\xff\xff", 11));
    writeText(b / "Manifest.plist", "");
    // A property list that is not a dictionary: left out.
    makeBackup(root.path(), "c", PlistValue::array());
    // Info.plist linking to a file outside the backup is not read.
    const fs::path d = makeBackup(root.path(), "d", std::nullopt);
    ASSERT_TRUE(infoPlist("Stolen").writeFile((outside.path() / "Info.plist").string()));
    fs::create_symlink(outside.path() / "Info.plist", d / "Info.plist");
    // Wrong value types give empty texts, not a crash.
    PlistValue odd = PlistValue::dict();
    odd.set("Device Name", 42);
    odd.set("Product Type", PlistValue::array());
    makeBackup(root.path(), "e", odd);

    const bk::BackupListing listing = bk::scanLocalBackups(q(root.path()));
    ASSERT_EQ(listing.backups.size(), 2u);
    EXPECT_EQ(listing.backups[0]->strDeviceName(), QStringLiteral("From manifest"));
    EXPECT_TRUE(listing.backups[0]->strDeviceSize().isEmpty());
    EXPECT_TRUE(listing.backups[1]->strDeviceName().isEmpty());
    EXPECT_EQ(listing.backups[1]->strDeviceType(), QStringLiteral("iPhone"));
    EXPECT_TRUE(wasSkipped(listing, QStringLiteral("b")));
    EXPECT_TRUE(wasSkipped(listing, QStringLiteral("c")));
    EXPECT_TRUE(wasSkipped(listing, QStringLiteral("d")));
}

TEST(BackupListTest, OrderIsByFolderNameWhateverTheCreationOrder) {
    for (const bool reverse : {false, true}) {
        TempDir root;
        std::vector<std::string> names{"f00d", "0a1b", "Zed", "beef", "a0"};
        if (reverse) {
            std::reverse(names.begin(), names.end());
        }
        for (const std::string& name : names) {
            makeBackup(root.path(), name, infoPlist(name));
        }
        const auto first = namesOf(bk::scanLocalBackups(q(root.path())));
        EXPECT_EQ(first, (std::vector<QString>{"0a1b", "Zed", "a0", "beef", "f00d"}));
        EXPECT_EQ(namesOf(bk::scanLocalBackups(q(root.path()))), first);
    }
}

TEST(BackupListTest, MissingOrPlainFileRootGivesAnEmptyList) {
    TempDir root;
    EXPECT_TRUE(bk::listLocalBackups(q(root.path() / "nowhere")).empty());
    writeText(root.path() / "file", "x");
    EXPECT_TRUE(bk::listLocalBackups(q(root.path() / "file")).empty());
    EXPECT_TRUE(bk::listLocalBackups(QString()).empty());
}

TEST(BackupListTest, EncryptedBackupIsFlaggedWithAMessage) {
    TempDir root;
    makeBackup(root.path(), "1-plain", infoPlist("Plain"), manifestPlist("Plain", false));
    makeBackup(root.path(), "2-locked", infoPlist("Locked"), manifestPlist("Locked", true));
    makeBackup(root.path(), "3-locked-int", std::nullopt, manifestPlist("Int", PlistValue(1)));
    const auto backups = bk::listLocalBackups(q(root.path()));
    ASSERT_EQ(backups.size(), 3u);
    EXPECT_FALSE(backups[0]->isEncrypted());
    EXPECT_TRUE(backups[0]->unreadableReason().isEmpty());
    EXPECT_TRUE(backups[1]->isEncrypted());
    EXPECT_EQ(backups[1]->unreadableReason(), bk::encryptedBackupMessage());
    EXPECT_TRUE(backups[2]->isEncrypted());
    EXPECT_TRUE(bk::isEncryptedBackup(backups[1]->backUpFilePath()));
    EXPECT_FALSE(bk::isEncryptedBackup(q(root.path() / "nowhere")));
}

TEST(BackupListTest, BackupTimeIsUtcDateHourAndMinute) {
    const QDateTime when(QDate(2013, 4, 5), QTime(23, 7, 59), QTimeZone::utc());
    EXPECT_EQ(bk::formatBackupTime(when), QStringLiteral("2013-04-05 23:07"));
    EXPECT_EQ(bk::formatBackupTime(when.toOffsetFromUtc(3600)), QStringLiteral("2013-04-05 23:07"));
    EXPECT_TRUE(bk::formatBackupTime(QDateTime()).isEmpty());
}

TEST(BackupListTest, IOSVersionDecidesTheDatabaseLayouts) {
    struct Case {
        const char* version;
        bool ios6;
        bool ios7;
    };
    for (const Case& c :
         {Case{"7.1.2", true, true}, Case{"8.0", true, true}, Case{"12.4", true, true},
          Case{"10.3", true, true}, Case{"6.1.3", true, false}, Case{"6", true, false},
          Case{"5.0", false, false}, Case{"5.1", false, false}, Case{"", false, false},
          Case{"x.1", false, false}}) {
        bool ios7 = false;
        EXPECT_EQ(bk::iosVersionIsIOS6OrLater(QString::fromLatin1(c.version), &ios7), c.ios6)
            << c.version;
        EXPECT_EQ(ios7, c.ios7) << c.version;
    }
    // Nothing sets the flag back.
    bool ios7 = true;
    EXPECT_FALSE(bk::iosVersionIsIOS6OrLater(QStringLiteral("5.0"), &ios7));
    EXPECT_TRUE(ios7);
    EXPECT_TRUE(bk::iosVersionIsIOS6OrLater(QStringLiteral("9.0"), nullptr));
}

class BackupRootTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedRoot_ = qgetenv("NIMBARA_BACKUP_ROOT");
        savedData_ = qgetenv("XDG_DATA_HOME");
        hadRoot_ = qEnvironmentVariableIsSet("NIMBARA_BACKUP_ROOT");
        hadData_ = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    }
    void TearDown() override {
        hadRoot_ ? qputenv("NIMBARA_BACKUP_ROOT", savedRoot_) : qunsetenv("NIMBARA_BACKUP_ROOT");
        hadData_ ? qputenv("XDG_DATA_HOME", savedData_) : qunsetenv("XDG_DATA_HOME");
    }

  private:
    QByteArray savedRoot_, savedData_;
    bool hadRoot_ = false, hadData_ = false;
};

TEST_F(BackupRootTest, OverrideThenDataHomeThenDefault) {
    qputenv("NIMBARA_BACKUP_ROOT", "/srv/test-backups");
    qputenv("XDG_DATA_HOME", "/data");
    EXPECT_EQ(bk::localBackupRoot(), QStringLiteral("/srv/test-backups"));
    EXPECT_EQ(PRBackUpViewController::localBackupFolder(), bk::localBackupRoot());

    qputenv("NIMBARA_BACKUP_ROOT", "");
    EXPECT_EQ(bk::localBackupRoot(), QStringLiteral("/data/MobileSync/Backup"));

    qunsetenv("NIMBARA_BACKUP_ROOT");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(bk::localBackupRoot(), QDir::homePath() + "/.local/share/MobileSync/Backup");
    // A relative data folder is not a valid one.
    qputenv("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(bk::localBackupRoot(), QDir::homePath() + "/.local/share/MobileSync/Backup");
}

TEST_F(BackupRootTest, OverriddenRootIsTheOneListed) {
    TempDir root;
    makeBackup(root.path(), "only", infoPlist("Only"));
    qputenv("NIMBARA_BACKUP_ROOT", QByteArray::fromStdString(root.str()));
    const auto backups = bk::listLocalBackups(bk::localBackupRoot());
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0]->strDeviceName(), QStringLiteral("Only"));
}
