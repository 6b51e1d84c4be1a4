// Every file read from a backup is reached name by name below the backup folder, never through a
// link: with the kernel's resolver and with the walk used where the kernel has none.
#include "backup/backup_folder.h"

#include "backup/database_copy.h"
#include "export_test_support.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
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

// How the look-up is made: two-digit folders listed by helpers ahead of the caller, listed by the
// caller itself, or (as for a folder that cannot be listed) asked file by file.
enum class LookupWay { ListedByHelpers, ListedByCaller, FileByFile };

class StoredFileLookupTest : public ::testing::TestWithParam<LookupWay> {
  protected:
    void SetUp() override {
        StoredFileLookup::setFileByFileOnly(GetParam() == LookupWay::FileByFile);
    }
    void TearDown() override { StoredFileLookup::setFileByFileOnly(false); }
    unsigned helpers() const { return GetParam() == LookupWay::ListedByHelpers ? 3u : 0u; }
};

// The look-up a manifest pass makes for every file entry finds exactly what fileInfo finds,
// whatever stands in the way: links, a linked, missing or unreadable two-digit folder, a pipe or
// a folder in a file's place, keys of either case, a file in the wrong two-digit folder.
TEST_P(StoredFileLookupTest, FindsWhatFileInfoFindsForEveryKey) {
    TempDir outside;
    fs::create_directories(outside / "shard");
    const std::string linkedKey = "ab" + kKey.substr(2);
    writeText(outside / "shard" / linkedKey, "outside");
    writeText(outside / "secret", "outside!");
    const std::string upperKey = "3D0D7E5FB2CE288813306E4D4636395E047A3D28";
    auto keyIn = [](const char* shard, char digit) { return shard + std::string(38, digit); };
    const std::string mixedKey = "3d" + std::string(38, 'E');  // upper case after the folder
    const std::string lowerOfMixed = "3d" + std::string(38, 'e');
    const std::string linkKey = keyIn("3d", '1');
    const std::string pipeKey = keyIn("3d", '2');
    const std::string folderKey = keyIn("3d", '3');
    const std::string missingKey = keyIn("3d", '4');
    const std::string otherShardKey = keyIn("7f", '5');
    const std::string noShardKey = keyIn("5e", '6');    // its two-digit folder is missing
    const std::string misplacedKey = keyIn("5e", '7');  // stored in "3d", not in "5e"
    const std::string fileShardKey = keyIn("6c", '8');  // "6c" is a file, not a folder
    const std::string lockedKey = keyIn("9a", '9');     // "9a" cannot be listed, only searched
    const std::string closedKey = keyIn("9b", '9');     // "9b" can neither be listed nor searched
    const std::string lateKey = keyIn("3d", '0');       // changed after 2106
    const std::vector<std::string> keys = {kKey,
                                           linkedKey,
                                           upperKey,
                                           mixedKey,
                                           lowerOfMixed,
                                           linkKey,
                                           pipeKey,
                                           folderKey,
                                           missingKey,
                                           otherShardKey,
                                           noShardKey,
                                           misplacedKey,
                                           fileShardKey,
                                           lockedKey,
                                           closedKey,
                                           lateKey,
                                           "../" + kKey.substr(3),
                                           "",
                                           "3d"};

    for (const BackupLayout layout : {BackupLayout::Sharded, BackupLayout::Flat}) {
        SCOPED_TRACE(layout == BackupLayout::Sharded ? "sharded" : "flat");
        TempDir backup;
        auto place = [&](const std::string& key) {
            const fs::path folder =
                layout == BackupLayout::Sharded ? backup / key.substr(0, 2) : backup.path();
            fs::create_directories(folder);
            return folder / key;
        };
        writeText(place(kKey), "inside");
        writeText(place(upperKey), "upper case");
        writeText(place(mixedKey), "mixed");
        fs::create_symlink(outside / "secret", place(linkKey));
        ASSERT_EQ(::mkfifo(place(pipeKey).c_str(), 0600), 0);
        fs::create_directories(place(folderKey));
        writeText(place(otherShardKey), "x");
        writeText(place(lockedKey), "locked");
        writeText(place(closedKey), "closed");
        writeText(place(lateKey), "late");
        const timespec late[2] = {{0, UTIME_OMIT}, {std::int64_t{1} << 33, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, place(lateKey).c_str(), late, 0), 0);
        if (layout == BackupLayout::Sharded) {
            fs::create_directory_symlink(outside / "shard", backup / "ab");
            writeText(backup / "3d" / misplacedKey, "misplaced");
            writeText(backup / "6c", "a file");
            ::chmod((backup / "9a").c_str(), 0300);
            ::chmod((backup / "9b").c_str(), 0);
        } else {
            fs::create_symlink(outside / "shard" / linkedKey, backup / linkedKey);
        }

        const BackupFolder folder = BackupFolder::open(backup.str());
        {
            StoredFileLookup lookup(folder, layout, helpers());
            for (int round = 0; round < 2; ++round) {  // the second time from the opened folders
                for (const std::string& key : keys) {
                    const auto expected = folder.fileInfo(storedFileName(key, layout));
                    const auto found = lookup.info(key);
                    ASSERT_EQ(found.has_value(), expected.has_value()) << key;
                    if (found) {
                        EXPECT_EQ(found->size, expected->size) << key;
                        EXPECT_EQ(found->modified, expected->modified) << key;
                    }
                }
            }
            EXPECT_EQ(lookup.info(kKey)->size, 6u);
            EXPECT_EQ(lookup.info(upperKey)->size, 10u);
            EXPECT_EQ(lookup.info(mixedKey)->size, 5u);
            EXPECT_FALSE(lookup.info(lowerOfMixed)) << "a name of another case";
            EXPECT_FALSE(lookup.info(linkedKey)) << "read through a link";
            EXPECT_FALSE(lookup.info(linkKey));
            EXPECT_FALSE(lookup.info(folderKey));
            EXPECT_TRUE(lookup.info(lockedKey));
            EXPECT_EQ(lookup.info(lateKey)->modified, std::int64_t{1} << 33);
            EXPECT_EQ(lookup.info(closedKey).has_value(),
                      layout == BackupLayout::Flat || !nimbara::test::permissionsApply());
        }
        // A look-up that goes before its helpers are done leaves nothing behind.
        StoredFileLookup unused(folder, layout, helpers());
        ::chmod((backup / "9a").c_str(), 0755);
        ::chmod((backup / "9b").c_str(), 0755);
    }
    // A folder that is not open finds nothing.
    const BackupFolder closed;
    EXPECT_FALSE(StoredFileLookup(closed, BackupLayout::Flat).info(kKey));
    EXPECT_FALSE(StoredFileLookup(closed, BackupLayout::Sharded, helpers()).info(kKey));
}

INSTANTIATE_TEST_SUITE_P(EveryWay, StoredFileLookupTest,
                         ::testing::Values(LookupWay::ListedByHelpers, LookupWay::ListedByCaller,
                                           LookupWay::FileByFile),
                         [](const ::testing::TestParamInfo<LookupWay>& info) {
                             switch (info.param) {
                                 case LookupWay::ListedByHelpers:
                                     return "ListedByHelpers";
                                 case LookupWay::ListedByCaller:
                                     return "ListedByCaller";
                                 case LookupWay::FileByFile:
                                     break;
                             }
                             return "FileByFile";
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
