// Backups shaped like those real devices leave: a binary Info.plist and no Manifest.plist or
// Status.plist, thousands of listed rows of which only a few files are stored, folders named like
// pictures and movies, and no address book. Such a backup is listed and scanned without being
// taken for damaged, and only its files count as photos.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_list.h"
#include "backup_snapshot.h"
#include "scan_posts.h"
#include "sparse_backup.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::simdev::SparseBackup;
using nimbara::simdev::SparseBackupShape;
using nimbara::test::resultOf;
using Posted = nimbara::test::ScanPosts;

// The parameter: Manifest.mbdb and flat files instead of Manifest.db and subfolders.
class SparseBackupTest : public ::testing::TestWithParam<bool> {
  protected:
    SparseBackup write(SparseBackupShape shape = {}) {
        shape.legacyLayout = GetParam();
        SparseBackup made =
            nimbara::simdev::writeSparseBackup(tmp_ / "device", tmp_ / "backups", shape);
        EXPECT_TRUE(made.written.ok) << made.written.error;
        return made;
    }

    BackupScanSummary scan(const fs::path& folder) {
        return nimbara::test::runWiredScan(folder, center_, records_);
    }

    nimbara::test::TempDir tmp_;
    nimbara::NotificationCenter center_;
    Posted posted_{center_};
    std::shared_ptr<BackupScanRecords> records_ = std::make_shared<BackupScanRecords>();
};

TEST_P(SparseBackupTest, IsListedThroughItsBinaryInfoPlistAlone) {
    const SparseBackup made = write();
    ASSERT_TRUE(fs::is_regular_file(made.written.folder / "Info.plist"));
    ASSERT_EQ(nimbara::test::readText(made.written.folder / "Info.plist").rfind("bplist00", 0), 0u);
    ASSERT_FALSE(fs::exists(made.written.folder / "Manifest.plist"));
    ASSERT_FALSE(fs::exists(made.written.folder / "Status.plist"));

    const BackupListing listing =
        scanLocalBackups(QString::fromStdString((tmp_ / "backups").string()));
    ASSERT_EQ(listing.backups.size(), 1u);
    const auto& node = listing.backups[0];
    EXPECT_EQ(node->strDeviceName(), QString::fromStdString(made.deviceName));
    EXPECT_EQ(node->strIOSVersion(), QStringLiteral("14.4"));
    EXPECT_FALSE(node->strDeviceSize().isEmpty());
    EXPECT_FALSE(node->isEncrypted());
    EXPECT_EQ(node->backUpFilePath(), QString::fromStdString(made.written.folder.string()));
}

TEST_P(SparseBackupTest, OnlyFilesArePhotosAndAMissingAddressBookIsNoDamage) {
    const SparseBackup made = write();
    ASSERT_GE(made.written.listedOnlyFiles, 3000);
    ASSERT_GT(made.mediaNamedFolders, 0);
    const auto before = nimbara::test::folderSnapshot(made.written.folder);

    const BackupScanSummary summary = scan(made.written.folder);
    for (const ScanStepResult& step : summary.steps) {
        EXPECT_NE(step.outcome, ScanStepOutcome::Failed)
            << scanStepTitle(step.kind).toStdString() << ": " << step.message.toStdString();
    }
    // No address book, and none listed: no contacts, and nothing is missing on its account.
    const ScanStepResult contacts = resultOf(summary, ScanStepKind::Contacts);
    EXPECT_EQ(contacts.outcome, ScanStepOutcome::Done);
    EXPECT_FALSE(contacts.incomplete);
    EXPECT_TRUE(posted_.contacts.empty());
    EXPECT_TRUE(posted_.posted(40));
    // Pictures and movies listed without a stored file make the backup incomplete, quietly.
    const ScanStepResult manifest = resultOf(summary, ScanStepKind::Manifest);
    EXPECT_EQ(manifest.outcome, ScanStepOutcome::Done);
    EXPECT_TRUE(manifest.incomplete);
    EXPECT_TRUE(summary.incomplete());

    // Every row is announced, folders too.
    EXPECT_EQ(static_cast<int>(posted_.entries.size()),
              made.written.files + made.written.folders + made.written.listedOnlyFiles);
    std::set<QString> folderPaths;
    for (const auto& entry : posted_.entries) {
        if (entry->entryKind() == PRTreeDirNode::EntryKind::Folder) {
            folderPaths.insert(entry->fileKey());
        }
    }
    EXPECT_EQ(static_cast<int>(folderPaths.size()), made.written.folders);

    // The photos are the picture and movie files, stored or only listed, never a folder.
    EXPECT_EQ(static_cast<int>(posted_.photos.size()), made.storedMedia + made.listedOnlyMedia);
    int stored = 0;
    for (const auto& photo : posted_.photos) {
        EXPECT_EQ(folderPaths.count(photo->filePath()), 0u) << photo->filePath().toStdString();
        stored += photo->fileSizeNumber() > 0 ? 1 : 0;
    }
    EXPECT_EQ(stored, made.storedMedia);
    EXPECT_TRUE(posted_.social.empty());
    // The later look-ups answer files only.
    EXPECT_TRUE(getFileKeyBytheFilepath(records_->treeFiles(),
                                        "Media/PhotoData/Thumbnails/V2/DCIM/100APPLE/IMG_0004.MOV")
                    .isEmpty());
    EXPECT_FALSE(getFileKeyBytheFilepath(records_->treeFiles(), "Media/DCIM/100APPLE/IMG_0004.MOV")
                     .isEmpty());

    EXPECT_EQ(nimbara::test::folderSnapshot(made.written.folder), before);
}

TEST_P(SparseBackupTest, AnAddressBookListedButNotStoredOnlyMakesTheBackupIncomplete) {
    SparseBackupShape shape;
    shape.listedOnlyFiles = 0;
    shape.listAddressBook = true;
    const SparseBackup made = write(shape);

    const BackupScanSummary summary = scan(made.written.folder);
    const ScanStepResult manifest = resultOf(summary, ScanStepKind::Manifest);
    EXPECT_EQ(manifest.outcome, ScanStepOutcome::Done);
    EXPECT_FALSE(manifest.incomplete) << "every listed picture is stored";
    const ScanStepResult contacts = resultOf(summary, ScanStepKind::Contacts);
    EXPECT_EQ(contacts.outcome, ScanStepOutcome::Done) << contacts.message.toStdString();
    EXPECT_TRUE(contacts.incomplete);
    EXPECT_TRUE(summary.incomplete());
    EXPECT_TRUE(posted_.contacts.empty());
    EXPECT_TRUE(records_->contacts().empty());
}

TEST_P(SparseBackupTest, AnAddressBookThatIsThereButUnreadableIsReportedInPlainWords) {
    SparseBackupShape shape;
    shape.listedOnlyFiles = 0;
    const SparseBackup made = write(shape);
    const fs::path book =
        GetParam()
            ? made.written.folder / kAddressBookKey
            : made.written.folder / std::string(kAddressBookKey).substr(0, 2) / kAddressBookKey;
    fs::create_directories(book.parent_path());
    nimbara::test::writeText(book, "this is not an address book, nor any database at all");

    const BackupScanSummary summary = scan(made.written.folder);
    const ScanStepResult contacts = resultOf(summary, ScanStepKind::Contacts);
    EXPECT_EQ(contacts.outcome, ScanStepOutcome::Failed);
    EXPECT_EQ(contacts.message,
              QStringLiteral("The address book in this backup could not be read."));
    EXPECT_FALSE(contacts.incomplete);
    // The end value still moves the progress on.
    EXPECT_TRUE(posted_.posted(40));
}

INSTANTIATE_TEST_SUITE_P(BothLists, SparseBackupTest, ::testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "ManifestMbdb" : "ManifestDb");
});

}  // namespace
