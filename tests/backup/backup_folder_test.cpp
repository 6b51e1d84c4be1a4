// Every file read from a backup is reached name by name below the backup folder, never through a
// link: with the kernel's resolver and with the walk used where the kernel has none.
#include "backup/backup_folder.h"

#include "backup/database_copy.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

const std::string kKey = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

class BackupFolderTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override { BackupFolder::setNameByNameOnly(GetParam()); }
    void TearDown() override { BackupFolder::setNameByNameOnly(false); }
};

TEST_P(BackupFolderTest, ReadsFilesInsideAndRefusesEveryLinkOnTheWay) {
    TempDir outside;
    writeText(outside / "secret", "outside");
    fs::create_directories(outside / "shard");
    writeText(outside / "shard" / kKey, "outside");

    TempDir dir;
    const fs::path backup = dir / "backup";
    fs::create_directories(backup / "3d");
    writeText(backup / "3d" / kKey, "inside");
    writeText(backup / "Info.plist", "plist");
    fs::create_directory_symlink(outside / "shard", backup / "ab");
    fs::create_symlink(outside / "secret", backup / "Manifest.db");
    fs::create_symlink("3d/" + kKey, backup / "inner-link");  // even a link that stays inside
    ASSERT_EQ(::mkfifo((backup / "pipe").c_str(), 0600), 0);

    const BackupFolder folder = BackupFolder::open(backup.string());
    ASSERT_TRUE(folder.isOpen());
    EXPECT_EQ(folder.readFile("3d/" + kKey, 100), "inside");
    EXPECT_EQ(folder.fileInfo("Info.plist")->size, 5u);
    EXPECT_EQ(folder.checkedPath("Info.plist"), (backup / "Info.plist").string());

    const std::vector<std::string> refused = {
        "ab/" + kKey,           "Manifest.db",      "inner-link",  "pipe", "3d",         "missing",
        "../backup/3d/" + kKey, "3d/../3d/" + kKey, "/etc/passwd", "",     "3d//" + kKey};
    for (const std::string& name : refused) {
        std::string why;
        EXPECT_FALSE(folder.openFile(name, &why).valid()) << name;
        EXPECT_FALSE(why.empty()) << name;
        EXPECT_FALSE(folder.isFile(name)) << name;
        EXPECT_FALSE(folder.readFile(name, 100)) << name;
        EXPECT_EQ(folder.checkedPath(name), "") << name;
    }
    // Too large to read whole.
    std::string why;
    EXPECT_FALSE(folder.readFile("3d/" + kKey, 3, &why));
    EXPECT_NE(why.find("larger"), std::string::npos) << why;

    // The backup folder itself may be reached through a link (the backup root may live
    // elsewhere); only the names below it must not be links.
    fs::create_directory_symlink(backup, dir / "via-link");
    EXPECT_EQ(BackupFolder::open((dir / "via-link").string()).readFile("Info.plist", 100), "plist");
    EXPECT_FALSE(BackupFolder::open((dir / "missing").string()).isOpen());
    EXPECT_FALSE(BackupFolder::open((backup / "Info.plist").string()).isOpen());
}

TEST_P(BackupFolderTest, CopiesADatabaseOnlyFromInsideTheBackup) {
    TempDir outside;
    writeText(outside / "book.db", "outside");
    TempDir backup;
    writeText(backup / "book.db", "inside");
    fs::create_symlink(outside / "book.db", backup / "book.db-wal");
    fs::create_symlink(outside / "book.db", backup / "linked.db");
    fs::create_directories(backup / "31");
    fs::create_symlink(outside / "book.db", backup / "31" / "book.db");

    const BackupFolder folder = BackupFolder::open(backup.str());
    const auto copy = prepareDatabaseCopy(folder, "book.db", "folder-copy.db");
    ASSERT_TRUE(copy);
    EXPECT_EQ(readText(*copy), "inside");
    // A log beside it that is a link is not taken along.
    EXPECT_TRUE(!fs::exists(*copy + "-wal") || readText(*copy + "-wal") != "outside");
    struct stat st {};
    ASSERT_EQ(::stat(copy->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_FALSE(prepareDatabaseCopy(folder, "linked.db", "linked-copy.db"));
    EXPECT_FALSE(prepareDatabaseCopy(folder, "31/book.db", "shard-copy.db"));
    EXPECT_FALSE(prepareDatabaseCopy(BackupFolder(), "book.db", "closed-copy.db"));
}

INSTANTIATE_TEST_SUITE_P(BothResolvers, BackupFolderTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "NameByName" : "Kernel";
                         });

TEST(BackupFolderNamesTest, StoredFileNamesAndPlainRelativePaths) {
    EXPECT_EQ(storedFileName(kKey, BackupLayout::Flat), kKey);
    EXPECT_EQ(storedFileName(kKey, BackupLayout::Sharded), "3d/" + kKey);
    EXPECT_EQ(storedFileName("../" + kKey.substr(3), BackupLayout::Flat), "");
    EXPECT_TRUE(isPlainRelativePath("a/b.c"));
    EXPECT_TRUE(isPlainRelativePath("..."));
    for (const char* bad : {"", "/a", "a/", "a//b", ".", "..", "a/./b", "a/../b"}) {
        EXPECT_FALSE(isPlainRelativePath(bad)) << bad;
    }
    EXPECT_FALSE(isPlainRelativePath(std::string("a\0b", 3)));
}

}  // namespace
