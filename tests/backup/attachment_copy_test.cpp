// Message attachments copied out of a backup: the real bytes of the stored file, read through the
// backup folder only, landing whole or not at all, and every failure reported.
#include "backup/writers/attachment_copy.h"

#include "backup/backup_folder.h"
#include "backup/pr_message_node.h"

#include "export_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::folderNames;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

const std::string kMovieKey = "0a1b2c3d4e5f60718293a4b5c6d7e8f901234567";
const std::string kCardKey = "ffeeddccbbaa99887766554433221100ffeeddcc";

std::string binaryBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 7) % 256);
    }
    return bytes;
}

class AttachmentCopyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        backupPath_ = dir_ / "backup";
        fs::create_directories(backupPath_ / "0a");
        fs::create_directories(backupPath_ / "ff");
        fs::create_directories(dir_ / "export");
        backup_ = BackupFolder::open(backupPath_.string());
        ASSERT_TRUE(backup_.isOpen());
    }

    std::shared_ptr<PRMessageNode> message(const std::string& stored, const char* type) {
        auto node = std::make_shared<PRMessageNode>();
        node->setIsHasAttach(true);
        node->setAttachmentPath(QString::fromStdString(stored));
        node->setAttachType(QString::fromUtf8(type));
        return node;
    }

    fs::path exportFolder() const { return dir_ / "export"; }

    TempDir dir_;
    fs::path backupPath_;
    BackupFolder backup_;
};

TEST_F(AttachmentCopyTest, CopiesTheStoredBytesExactly) {
    // A movie of 8 MiB and one byte (past any one buffer), and a card that is not UTF-8 text.
    const std::string movie = binaryBytes(8 * 1024 * 1024 + 1);
    const std::string card = "BEGIN:VCARD\r\nFN:\xff\xfe\0bad\r\nEND:VCARD\r\n";
    writeText(backupPath_ / "0a" / kMovieKey, movie);
    writeText(backupPath_ / "ff" / kCardKey, std::string(card.data(), card.size()));

    const auto mov = message((backupPath_ / "0a" / kMovieKey).string(), "Mov");
    const ExportWriteResult movCopy = writeMovFile(backup_, *mov, exportFolder());
    ASSERT_TRUE(movCopy.ok) << movCopy.error;
    EXPECT_EQ(movCopy.path, exportFolder() / (kMovieKey + ".mov"));
    EXPECT_EQ(readText(movCopy.path), movie);

    const auto vcf = message((backupPath_ / "ff" / kCardKey).string(), "Location");
    const ExportWriteResult vcfCopy = writeVCFCardNode(backup_, *vcf, exportFolder());
    ASSERT_TRUE(vcfCopy.ok) << vcfCopy.error;
    EXPECT_EQ(readText(vcfCopy.path), card);

    // The same attachment again gets a numbered copy.
    const ExportWriteResult again = writeMovFile(backup_, *mov, exportFolder());
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.path, exportFolder() / (kMovieKey + " (2).mov"));
    EXPECT_EQ(readText(movCopy.path), movie);
    // A stored name relative to the backup folder is read from the backup as well.
    EXPECT_EQ(
        readText(writeMovFile(backup_, *message("0a/" + kMovieKey, "Mov"), exportFolder()).path),
        movie);
}

TEST_F(AttachmentCopyTest, SourcesOutsideTheBackupOrBehindALinkAreRefused) {
    writeText(dir_ / "secret", "outside the backup");
    fs::create_symlink(dir_ / "secret", backupPath_ / "0a" / kMovieKey);
    fs::create_directories(backupPath_ / "folder");
    fs::create_directories(dir_ / "Library" / "SMS");
    writeText(dir_ / "Library" / "SMS" / "Contact.vcf", "device path");
    const std::vector<std::string> refused = {
        (backupPath_ / "0a" / kMovieKey).string(),   // a link inside the backup
        (dir_ / "secret").string(),                  // a file elsewhere
        (backupPath_ / ".." / "secret").string(),    // climbing out
        backupPath_.string() + "x/0a/" + kMovieKey,  // a folder beside it
        (backupPath_ / "folder").string(),           // not a regular file
        (backupPath_ / "ff" / kCardKey).string(),    // missing
        "../secret",                                 // relative, climbing out
        "Library/SMS/Contact.vcf",                   // a device path, not stored
        "",                                          // none at all
    };
    // Run from beside the device-path file: a relative name must still not be read from here.
    const fs::path workingFolder = fs::current_path();
    fs::current_path(dir_.path());
    for (const std::string& path : refused) {
        const ExportWriteResult result =
            writeVCFCardNode(backup_, *message(path, "Contact"), exportFolder());
        EXPECT_FALSE(result.ok) << path;
        EXPECT_FALSE(result.error.empty()) << path;
    }
    fs::current_path(workingFolder);
    EXPECT_TRUE(folderNames(exportFolder()).empty());
    EXPECT_FALSE(
        writeMovFile(BackupFolder(), *message("0a/" + kMovieKey, "Mov"), exportFolder()).ok);
}

TEST_F(AttachmentCopyTest, AFailingWriteIsReportedAndLeavesNoPartialCopy) {
    writeText(backupPath_ / "0a" / kMovieKey, binaryBytes(256 * 1024));
    const auto mov = message((backupPath_ / "0a" / kMovieKey).string(), "Mov");
    ExportWriteResult result;
    {
        nimbara::test::FileSizeLimit limit(64 * 1024);  // the disk fills up part way
        result = writeMovFile(backup_, *mov, exportFolder());
    }
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(kMovieKey + ".mov"), std::string::npos) << result.error;
    EXPECT_TRUE(folderNames(exportFolder()).empty());

    // No export folder.
    EXPECT_FALSE(writeMovFile(backup_, *mov, dir_ / "gone").ok);

    if (nimbara::test::permissionsApply()) {
        ::chmod(exportFolder().c_str(), 0555);
        const ExportWriteResult denied = writeMovFile(backup_, *mov, exportFolder());
        ::chmod(exportFolder().c_str(), 0755);
        EXPECT_FALSE(denied.ok);
        // An unreadable stored file.
        ::chmod((backupPath_ / "0a" / kMovieKey).c_str(), 0);
        const ExportWriteResult unreadable = writeMovFile(backup_, *mov, exportFolder());
        ::chmod((backupPath_ / "0a" / kMovieKey).c_str(), 0644);
        EXPECT_FALSE(unreadable.ok);
        EXPECT_FALSE(unreadable.error.empty());
    }
}

}  // namespace
