// The privacy cleaner's first look at a backup: an encrypted (or undecidable) backup is refused
// before anything is read, the device it belongs to is known, and both kinds of file list give
// the same file items: only files the backup holds, never folders or rows without a stored file.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <set>
#include <string>

#include "../backup/record_backup_fixture.h"
#include "backup_privacy.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "platform/plist_value.h"
#include "privacy/privacy_backup.h"
#include "privacy/privacy_scan.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;
using nimbara::PlistValue;
using nimbara::test::RecordBackup;
using nimbara::test::TempDir;
using nimbara::test::writeText;

const char* const kUdid = "5a1b2c3d4e5f60718293a4b5c6d7e8f901234567";

// Rewrites the backup's Manifest.plist through `change`.
template <class Change>
void changeManifest(const fs::path& backup, Change&& change) {
    std::optional<PlistValue> manifest = PlistValue::readFile((backup / "Manifest.plist").string());
    ASSERT_TRUE(manifest);
    change(*manifest);
    ASSERT_TRUE(manifest->writeFile((backup / "Manifest.plist").string()));
}

std::set<QString> pathsOf(const PrivacyList& items) {
    std::set<QString> paths;
    for (const auto& item : items) {
        paths.insert(item->backupFilePath());
    }
    return paths;
}

TEST(PrivacyBackupCheck, AnEncryptedBackupIsRefusedBeforeAnythingIsRead) {
    RecordBackup backup;
    nimbara::simdev::addBackupCookies(backup.builder(), nimbara::simdev::demoCookies());
    const fs::path folder = backup.write();
    ASSERT_FALSE(readPrivacyBackup(folder.string()).safariSearchHistoryArray.empty());

    changeManifest(folder, [](PlistValue& m) { m["IsEncrypted"] = true; });
    std::vector<PrivacyScanStep> steps;
    PrivacyScanOptions options;
    options.stepStarted = [&](PrivacyScanStep s) { steps.push_back(s); };
    const PrivacyScanResult result = readPrivacyBackup(folder.string(), options);
    EXPECT_TRUE(result.refused());
    EXPECT_EQ(result.backup.encryption, BackupEncryption::Encrypted);
    EXPECT_FALSE(result.backup.message.isEmpty());
    EXPECT_EQ(steps, std::vector<PrivacyScanStep>{PrivacyScanStep::CheckBackup});
    EXPECT_TRUE(result.safariSearchHistoryArray.empty());
    EXPECT_TRUE(result.files.backupFileArray.empty());
    EXPECT_TRUE(result.reports.empty());

    // A list that carries an encryption key is encrypted whatever the flag says.
    changeManifest(folder, [](PlistValue& m) {
        m["IsEncrypted"] = false;
        m["ManifestKey"] = PlistValue(PlistValue::Bytes{1, 2, 3, 4});
    });
    EXPECT_EQ(ReadManifestEncyptedwithPath(folder.string()).encryption,
              BackupEncryption::Encrypted);
}

TEST(PrivacyBackupCheck, ABackupWhoseDescriptionCannotBeReadIsNotTakenForAPlainOne) {
    RecordBackup backup;
    const fs::path folder = backup.write();
    writeText(folder / "Manifest.plist", "bplist00 cut short");
    const BackupCheck damaged = ReadManifestEncyptedwithPath(folder.string());
    EXPECT_EQ(damaged.encryption, BackupEncryption::Unreadable);
    EXPECT_FALSE(damaged.readable());
    EXPECT_TRUE(readPrivacyBackup(folder.string()).refused());

    writeText(folder / "Manifest.plist", PlistValue(PlistValue::Array{"a"}).toXml());
    EXPECT_EQ(ReadManifestEncyptedwithPath(folder.string()).encryption,
              BackupEncryption::Unreadable);

    EXPECT_EQ(ReadManifestEncyptedwithPath((folder / "missing").string()).encryption,
              BackupEncryption::Unreadable);

    // A link in place of the description is not followed.
    fs::remove(folder / "Manifest.plist");
    writeText(backup.tmp() / "elsewhere.plist", PlistValue::dict().toXml());
    fs::create_symlink(backup.tmp() / "elsewhere.plist", folder / "Manifest.plist");
    EXPECT_EQ(ReadManifestEncyptedwithPath(folder.string()).encryption,
              BackupEncryption::Unreadable);
}

TEST(PrivacyBackupCheck, TheBackupNamesTheDeviceItWasMadeOf) {
    RecordBackup backup;
    const fs::path folder = backup.write();
    const BackupCheck check = ReadManifestEncyptedwithPath(folder.string());
    EXPECT_EQ(check.encryption, BackupEncryption::Plain);
    EXPECT_EQ(check.udid, QString::fromLatin1(kUdid));
    EXPECT_TRUE(check.belongsTo(QString::fromLatin1(kUdid).toUpper()));
    EXPECT_FALSE(check.belongsTo(QStringLiteral("0000000000000000000000000000000000000000")));
    EXPECT_FALSE(BackupCheck{}.belongsTo(QString()));

    // Without Manifest.plist the backup is read as plain and Info.plist names the device.
    fs::remove(folder / "Manifest.plist");
    const BackupCheck bare = ReadManifestEncyptedwithPath(folder.string());
    EXPECT_EQ(bare.encryption, BackupEncryption::Plain);
    EXPECT_EQ(bare.udid, QString::fromLatin1(kUdid).toUpper());
}

// A backup with every kind of file item, their look-alikes that are not items, and rows listed
// without a stored file, written with either file list.
class PrivacyFileListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto& b = backup_.builder();
        const std::string safari = "AppDomain-com.apple.mobilesafari";
        nimbara::simdev::addBackupFile(b, safari, "Library/Safari/Thumbnails/4F1C.png",
                                       std::string(200, 'p'));
        nimbara::simdev::addBackupFile(
            b, safari,
            "Library/WebKit/WebsiteData/LocalStorage/https_kitchen.example_0.localstorage",
            std::string(100, 'l'));
        nimbara::simdev::addBackupFile(b, safari, "Library/Safari/Thumbnails/empty.png", "");
        nimbara::simdev::addBackupFile(b, safari,
                                       "Library/Preferences/com.apple.mobilesafari.plist", "x");
        nimbara::simdev::addBackupFile(b, "MediaDomain", "Library/SMS/Attachments/0a/10/x.jpeg",
                                       std::string(10, 'j'));
        nimbara::simdev::addBackupFile(b, "HomeDomain", "Library/SMS/Parts/ab/12/part-1.txt",
                                       std::string(7, 't'));
        nimbara::simdev::addBackupDir(b, "MediaDomain",
                                      "Library/SMS/Attachments/0b/11/IMG_0024.PNG");
        nimbara::simdev::addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0001.JPG",
                                       std::string(30, 'i'));
        nimbara::simdev::addBackupFile(b, "CameraRollDomain", "Media/DCIM/100APPLE/IMG_0002.MOV",
                                       std::string(30, 'm'));
        nimbara::simdev::addBackupFile(b, "HomeDomain", "Library/Preferences/a.plist", "x");
        nimbara::simdev::addBackupFile(b, "RootDomain", "Library/SMS/Attachments/odd.jpg", "xx");
    }

    fs::path write(bool legacy) {
        EXPECT_TRUE(backup_.builder().write());
        nimbara::simdev::BackupOptions options;
        options.legacyLayout = legacy;
        options.iosVersionOverride = legacy ? "9.3.5" : "12.4.1";
        options.listedOnly = {
            {"CameraRollDomain", "Media/DCIM/100APPLE/IMG_0099.JPG", false, 3000},
            {"MediaDomain", "Library/SMS/Attachments/ff/00/gone.jpeg", false, 400},
            {"AppDomain-com.apple.mobilesafari", "Library/Safari/Thumbnails/gone.png", false, 50},
        };
        const auto result = nimbara::simdev::writeBackup(
            backup_.builder().dir(), backup_.tmp() / (legacy ? "legacy" : "current"), options);
        EXPECT_TRUE(result.ok) << result.error;
        entries_ = result.files + result.folders + result.listedOnlyFiles;
        return result.folder;
    }

    RecordBackup backup_;
    int entries_ = 0;
};

TEST_F(PrivacyFileListTest, BothKindsOfListGiveTheSameItems) {
    for (bool legacy : {false, true}) {
        SCOPED_TRACE(legacy ? "Manifest.mbdb" : "Manifest.db");
        const fs::path folder = write(legacy);
        const PrivacyFileList list = scanBackupDataAnalyThread(folder.string());
        EXPECT_TRUE(list.error.empty()) << list.error;
        EXPECT_EQ(list.kind,
                  legacy ? nimbara::backup::ManifestKind::Mbdb : nimbara::backup::ManifestKind::Db);
        EXPECT_EQ(list.backupFileArray.size(), static_cast<std::size_t>(entries_));

        EXPECT_EQ(
            pathsOf(list.safariWebCacheArray),
            (std::set<QString>{
                "Library/Safari/Thumbnails/4F1C.png",
                "Library/WebKit/WebsiteData/LocalStorage/https_kitchen.example_0.localstorage"}));
        EXPECT_EQ(pathsOf(list.messageAttachmentArray),
                  (std::set<QString>{"Library/SMS/Attachments/0a/10/x.jpeg",
                                     "Library/SMS/Parts/ab/12/part-1.txt"}));
        EXPECT_EQ(pathsOf(list.PhotoPrivacyArray),
                  std::set<QString>{"Media/DCIM/100APPLE/IMG_0001.JPG"});
        EXPECT_EQ(list.fileCount, 4u);
        EXPECT_EQ(list.fileBytes, 200u + 100u + 10u + 7u);

        for (const auto& item : list.messageAttachmentArray) {
            EXPECT_TRUE(item->bSelected());
            EXPECT_TRUE(fs::is_regular_file(item->backupFileKey().toStdString()));
            const PrivacySourceRef source = item->recordSource();
            ASSERT_TRUE(source);
            EXPECT_EQ((folder / source->storedName).string(), item->backupFileKey().toStdString());
            EXPECT_EQ(source->format, PrivacyFileFormat::File);
            EXPECT_EQ(item->recordKey(), -1);
        }
        for (const auto& item : list.messageAttachmentArray) {
            if (item->backupFilePath().endsWith(QLatin1String("x.jpeg"))) {
                EXPECT_EQ(item->fileName(), QStringLiteral("x.jpeg"));
                EXPECT_EQ(item->fileBytes(), 10u);
                EXPECT_EQ(item->fileSize(), QStringLiteral("10.00bytes"));
            }
        }
        EXPECT_FALSE(list.PhotoPrivacyArray.front()->bSelected());
        EXPECT_EQ(list.PhotoPrivacyArray.front()->recordSource()->format, PrivacyFileFormat::Photo);

        const QString stored = list.getFileKeyBytheFilepath("Library/SMS/Attachments/0a/10/x.jpeg");
        EXPECT_TRUE(fs::is_regular_file(stored.toStdString()));
        EXPECT_TRUE(
            list.getFileKeyBytheFilepath("Library/SMS/Attachments/0b/11/IMG_0024.PNG").isEmpty());
    }
}

TEST_F(PrivacyFileListTest, AStopEndsTheListPass) {
    const fs::path folder = write(false);
    int asked = 0;
    const PrivacyFileList list =
        scanBackupDataAnalyThread(folder.string(), [&] { return ++asked > 3; });
    EXPECT_TRUE(list.stopped);
    EXPECT_LE(list.backupFileArray.size(), 3u);

    PrivacyScanOptions stopped;
    stopped.stop = [] { return true; };
    const PrivacyScanResult result = readPrivacyBackup(folder.string(), stopped);
    EXPECT_TRUE(result.stopped);
    EXPECT_TRUE(result.contacts.records.empty());
}

TEST(PrivacyFileList, ABackupWithoutAFileListSaysSo) {
    TempDir tmp;
    fs::create_directories(tmp / "backup");
    writeText(tmp / "backup" / "Info.plist", PlistValue::dict().toXml());
    const PrivacyFileList list = scanBackupDataAnalyThread((tmp / "backup").string());
    EXPECT_FALSE(list.found());
    EXPECT_FALSE(list.error.empty());
    EXPECT_TRUE(list.backupFileArray.empty());
}

}  // namespace
