// The working copy a clean edits: made beside the backup without copying its files, private, and
// written only by replacing a file (never through the link it shares with the original), with the
// free space checked first; removed on failure, and either removed or swapped into place after a
// restore.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "backup/backup_folder.h"
#include "backup/backup_root_tidy.h"
#include "killed_exchange.h"
#include "privacy/privacy_database_edit.h"
#include "privacy/privacy_working_copy.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using nimbara::privacy::PrivacyWorkingCopy;
using nimbara::privacy::WorkingCopyOptions;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

struct Backup {
    Backup() {
        folder = tmp / "BACKUP-1";
        fs::create_directories(folder / "ab");
        writeText(folder / "Manifest.db", "list");
        writeText(folder / "ab" / "abcd", "stored file");
        writeText(folder / "ab" / "empty", "");
        fs::permissions(folder,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
    TempDir tmp;
    fs::path folder;
};

ino_t inodeOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
    return st.st_ino;
}

mode_t modeOf(const fs::path& file) {
    struct stat st {};
    EXPECT_EQ(::lstat(file.c_str(), &st), 0) << file;
    return st.st_mode & 07777;
}

TEST(PrivacyWorkingCopy, IsMadeBesideTheBackupFromLinksUnderAPrivateHiddenName) {
    Backup backup;
    fs::create_symlink("/etc/passwd", backup.folder / "ab" / "link");
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    const fs::path copy = made.copy->path();
    EXPECT_EQ(copy.parent_path(), fs::canonical(backup.tmp.path()));
    EXPECT_TRUE(copy.filename().string().starts_with(".BACKUP-1."));
    EXPECT_EQ(modeOf(copy), 0700u);
    EXPECT_EQ(modeOf(copy / "ab"), 0700u);
    EXPECT_EQ(inodeOf(copy / "ab" / "abcd"), inodeOf(backup.folder / "ab" / "abcd"));
    EXPECT_EQ(inodeOf(copy / "Manifest.db"), inodeOf(backup.folder / "Manifest.db"));
    EXPECT_EQ(made.copy->bytesCopied(), 0u);
    // A link is no file of a backup: the copy holds none.
    EXPECT_FALSE(fs::exists(fs::symlink_status(copy / "ab" / "link")));

    // Going without being kept or put in place removes it.
    made.copy.reset();
    EXPECT_FALSE(fs::exists(copy));
    EXPECT_EQ(readText(backup.folder / "ab" / "abcd"), "stored file");
}

TEST(PrivacyWorkingCopy, AnEditReplacesTheLinkAndNeverWritesThroughIt) {
    Backup backup;
    const ino_t storedInode = inodeOf(backup.folder / "ab" / "abcd");
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    PrivacyWorkingCopy& copy = *made.copy;
    std::string error;

    ASSERT_TRUE(copy.replaceFile("ab/abcd", "cleaned", error)) << error;
    EXPECT_EQ(readText(copy.path() / "ab" / "abcd"), "cleaned");
    EXPECT_EQ(readText(backup.folder / "ab" / "abcd"), "stored file");
    EXPECT_EQ(inodeOf(backup.folder / "ab" / "abcd"), storedInode);

    const auto staged = copy.stage("Manifest.db", "Manifest.db", error);
    ASSERT_TRUE(staged) << error;
    EXPECT_NE(inodeOf(*staged), inodeOf(backup.folder / "Manifest.db"));
    writeText(*staged, "edited list");
    EXPECT_EQ(readText(backup.folder / "Manifest.db"), "list");
    ASSERT_TRUE(copy.commitStaged(*staged, "Manifest.db", error)) << error;
    EXPECT_EQ(readText(copy.path() / "Manifest.db"), "edited list");
    EXPECT_EQ(readText(backup.folder / "Manifest.db"), "list");

    ASSERT_TRUE(copy.removeFile("ab/empty", error)) << error;
    EXPECT_TRUE(fs::exists(backup.folder / "ab" / "empty"));
    EXPECT_TRUE(copy.removeFile("ab/never-there", error)) << error;

    // Only plain names inside the copy are written.
    for (const char* outside : {"../BACKUP-1/ab/abcd", "/etc/hostname", "ab/../../x", "", "."}) {
        EXPECT_FALSE(copy.replaceFile(outside, "x", error)) << outside;
        EXPECT_FALSE(copy.removeFile(outside, error)) << outside;
        EXPECT_FALSE(copy.stage(outside, "x", error)) << outside;
    }
    EXPECT_FALSE(copy.stage("ab/abcd", "../escape", error));
    EXPECT_FALSE(copy.commitStaged(backup.folder / "ab" / "abcd", "ab/abcd", error));
    EXPECT_FALSE(copy.replaceFile("missing-folder/file", "x", error));
    EXPECT_EQ(readText(backup.folder / "ab" / "abcd"), "stored file");
}

TEST(PrivacyWorkingCopy, TheFreeSpaceIsCheckedBeforeAnythingIsMade) {
    Backup backup;
    WorkingCopyOptions tight;
    tight.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(4096); };
    auto refused = PrivacyWorkingCopy::create(backup.folder.string(), tight);
    EXPECT_FALSE(refused.copy);
    EXPECT_TRUE(refused.notEnoughSpace);
    EXPECT_EQ(nimbara::test::folderNames(backup.tmp.path()), std::vector<std::string>{"BACKUP-1"});

    WorkingCopyOptions unknown;
    unknown.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(); };
    EXPECT_FALSE(PrivacyWorkingCopy::create(backup.folder.string(), unknown).copy);

    // Copying instead of linking needs room for the files as well.
    WorkingCopyOptions copying;
    copying.linkFiles = false;
    copying.freeSpace = [](const fs::path&) {
        return std::optional<std::uint64_t>(nimbara::privacy::kWorkingSpaceReserve + 2 * 4096 + 10);
    };
    EXPECT_TRUE(PrivacyWorkingCopy::create(backup.folder.string(), copying).notEnoughSpace);
    copying.freeSpace = {};
    auto copied = PrivacyWorkingCopy::create(backup.folder.string(), copying);
    ASSERT_TRUE(copied.copy) << copied.error;
    EXPECT_EQ(copied.copy->bytesCopied(), std::string("list").size() + 11);
    EXPECT_NE(inodeOf(copied.copy->path() / "ab" / "abcd"), inodeOf(backup.folder / "ab" / "abcd"));
    EXPECT_EQ(readText(copied.copy->path() / "ab" / "abcd"), "stored file");
}

TEST(PrivacyWorkingCopy, ReplacingTheOriginalSwapsTheFoldersAndKeepsItsPermissions) {
    Backup backup;
    const mode_t mode = modeOf(backup.folder);
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    std::string error;
    ASSERT_TRUE(made.copy->replaceFile("ab/abcd", "cleaned", error)) << error;
    ASSERT_TRUE(made.copy->stage("Manifest.db", "left-over", error)) << error;
    ASSERT_TRUE(made.copy->replaceOriginal(error)) << error;
    EXPECT_EQ(readText(backup.folder / "ab" / "abcd"), "cleaned");
    EXPECT_EQ(readText(backup.folder / "Manifest.db"), "list");
    EXPECT_EQ(modeOf(backup.folder), mode);
    EXPECT_FALSE(fs::exists(backup.folder / ".nimbara-staging"));
    EXPECT_EQ(nimbara::test::folderNames(backup.tmp.path()), std::vector<std::string>{"BACKUP-1"});
    // Done once: neither way can be taken again.
    EXPECT_FALSE(made.copy->replaceOriginal(error));
    EXPECT_FALSE(made.copy->keepOriginal(error));
    made.copy.reset();
    EXPECT_TRUE(fs::exists(backup.folder / "ab" / "abcd"));
}

TEST(PrivacyWorkingCopy, AReplaceKilledHalfwayLeavesTheOriginalForTheNextStartToPutBack) {
    Backup backup;
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    std::string error;
    ASSERT_TRUE(made.copy->replaceFile("ab/abcd", "cleaned", error)) << error;
    ASSERT_TRUE(nimbara::test::killedBetweenTheMoves([&] { made.copy->replaceOriginal(error); }));
    ASSERT_FALSE(fs::exists(backup.folder));
    // What the next start does; the copy, still held here, is left alone.
    nimbara::backup::tidyBackupRoot(backup.tmp.path());
    EXPECT_EQ(readText(backup.folder / "ab" / "abcd"), "stored file");
    EXPECT_TRUE(fs::exists(made.copy->path()));
    made.copy.reset();
    EXPECT_EQ(nimbara::test::folderNames(backup.tmp.path()), std::vector<std::string>{"BACKUP-1"});
}

TEST(PrivacyWorkingCopy, CopiesThatEndedProgramsLeftGoAtTheNextStartAndOnesInUseStay) {
    Backup backup;
    auto inUse = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(inUse.copy) << inUse.error;
    const std::string left = ".BACKUP-1.nimbara-clean-Zz99Yy";
    writeText(backup.tmp / left / "ab" / "abcd", "the records the user removed");
    const auto tidy = nimbara::backup::tidyBackupRoot(backup.tmp.path());
    EXPECT_EQ(tidy.removedCopies, 1u);
    EXPECT_FALSE(fs::exists(backup.tmp / left));
    EXPECT_TRUE(fs::exists(inUse.copy->path() / "ab" / "abcd"));
}

TEST(PrivacyWorkingCopy, AnOriginalReplacedMeanwhileIsNotSwappedAway) {
    Backup backup;
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    // A newer backup of the device took the folder's place since the copy was made.
    fs::rename(backup.folder, backup.tmp / "older");
    fs::create_directories(backup.folder);
    writeText(backup.folder / "Manifest.db", "newer");
    std::string error;
    EXPECT_FALSE(made.copy->replaceOriginal(error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(readText(backup.folder / "Manifest.db"), "newer");
    EXPECT_TRUE(made.copy->isOpen());
}

TEST(PrivacyWorkingCopy, ABackupReachedThroughALinkIsCopiedBesideTheRealFolder) {
    Backup backup;
    const fs::path link = backup.tmp / "link-to-backup";
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(backup.folder, link);
    auto made = PrivacyWorkingCopy::create(link.string());
    ASSERT_TRUE(made.copy) << made.error;
    EXPECT_EQ(made.copy->originalPath(), fs::canonical(backup.folder));
    std::string error;
    ASSERT_TRUE(made.copy->replaceOriginal(error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readText(link / "ab" / "abcd"), "stored file");

    EXPECT_FALSE(PrivacyWorkingCopy::create((backup.tmp / "missing").string()).copy);
}

}  // namespace

namespace {

// A database at `file` with a table of two columns indexed by the first, holding `rows` rows.
void writeIndexedDatabase(const fs::path& file, int rows) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    std::string sql = "CREATE TABLE t (a TEXT, b TEXT); CREATE INDEX i ON t (a);";
    for (int n = 0; n < rows; ++n) {
        sql +=
            "INSERT INTO t VALUES ('row " + std::to_string(n) + "', '" + std::to_string(n) + "');";
    }
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST(PrivacyDatabaseEdit, AnEditThatLeavesTheDatabaseDamagedIsNeverKept) {
    Backup backup;
    writeIndexedDatabase(backup.folder / "ab" / "db", 20);
    const std::string before = readText(backup.folder / "ab" / "db");
    auto made = PrivacyWorkingCopy::create(backup.folder.string());
    ASSERT_TRUE(made.copy) << made.error;
    std::string error;
    // The change commits an index that no longer matches its table: only the integrity check
    // can tell.
    const bool edited = nimbara::privacy::editDatabaseFile(
        *made.copy, "ab/db", "", "db.staged",
        [](nimbara::SqliteDb& db, std::string& why) {
            const bool ok =
                db.exec("PRAGMA writable_schema = ON") &&
                db.exec(
                    "UPDATE sqlite_master SET sql = 'CREATE INDEX i ON t (b)' WHERE name = 'i'") &&
                db.exec("PRAGMA writable_schema = RESET");
            if (!ok) {
                why = db.lastError();
            }
            return ok;
        },
        error);
    EXPECT_FALSE(edited);
    EXPECT_NE(error.find("integrity check"), std::string::npos) << error;
    EXPECT_TRUE(readText(made.copy->path() / "ab" / "db") == before);
    EXPECT_TRUE(readText(backup.folder / "ab" / "db") == before);
}

}  // namespace
