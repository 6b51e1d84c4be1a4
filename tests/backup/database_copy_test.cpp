#include "backup/database_copy.h"

#include "backup/backup_folder.h"

#include "backup/sqlite_db.h"
#include "platform/scratch_dir.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace nimbara;
using namespace nimbara::backup;
using nimbara::test::TempDir;

namespace {

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::int64_t countRows(const std::string& path, bool mainFileOnly) {
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadOnly, nullptr, mainFileOnly);
    if (!db) {
        return -1;
    }
    SqliteStatement st = db->prepare("SELECT count(*) FROM t");
    return st.valid() && st.step() ? st.columnInt64(0) : -1;
}

// A database in write-ahead mode whose rows are still in its "-wal" file while `writer` is open.
struct WalDatabase {
    explicit WalDatabase(const fs::path& file) {
        writer = std::move(*SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate));
        EXPECT_TRUE(
            writer.exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                        "CREATE TABLE t (x); INSERT INTO t VALUES (1), (2), (3);"));
    }
    SqliteDb writer;
};

TEST(DatabaseCopyTest, CopyFoldsTheLogInAndLeavesTheSourceAlone) {
    TempDir dir;
    const fs::path source = dir / "source.db";
    WalDatabase wal(source);
    ASSERT_TRUE(fs::exists(source.string() + "-wal"));
    const std::string mainBefore = readBytes(source);
    const std::string walBefore = readBytes(source.string() + "-wal");
    const std::string shmBefore = readBytes(source.string() + "-shm");
    // The rows are not in the source's main file yet.
    EXPECT_NE(countRows(source.string(), true), 3);

    const auto copy = prepareDatabaseCopy(source.string(), "copy-test.db");
    ASSERT_TRUE(copy);
    EXPECT_EQ(fs::path(*copy).parent_path(), scratchFolder("DB"));
    // The copy's main file alone holds every row, and its log is gone.
    EXPECT_EQ(countRows(*copy, true), 3);
    EXPECT_FALSE(fs::exists(*copy + "-wal"));

    EXPECT_EQ(readBytes(source), mainBefore);
    EXPECT_EQ(readBytes(source.string() + "-wal"), walBefore);
    EXPECT_EQ(readBytes(source.string() + "-shm"), shmBefore);
}

TEST(DatabaseCopyTest, PlainDatabaseGetsNoSidecarFiles) {
    TempDir dir;
    const fs::path source = dir / "plain.db";
    {
        auto db = SqliteDb::open(source.string(), SqliteDb::Mode::ReadWriteCreate);
        ASSERT_TRUE(db && db->exec("CREATE TABLE t (x); INSERT INTO t VALUES (7);"));
    }
    const std::string before = readBytes(source);
    const auto copy = prepareDatabaseCopy(source.string(), "plain-copy.db");
    ASSERT_TRUE(copy);
    EXPECT_EQ(countRows(*copy, false), 1);
    EXPECT_EQ(readBytes(source), before);
    for (const char* suffix : {"-wal", "-shm", "-journal"}) {
        EXPECT_FALSE(fs::exists(source.string() + suffix)) << suffix;
    }
    // A second copy under the same name replaces the first.
    const auto again = prepareDatabaseCopy(source.string(), "plain-copy.db");
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *copy);
    EXPECT_EQ(countRows(*again, false), 1);
}

TEST(DatabaseCopyTest, RefusesUnsafeNamesAndMissingOrLinkedSources) {
    TempDir dir;
    const fs::path source = dir / "s.db";
    nimbara::test::writeText(source, "x");
    EXPECT_FALSE(prepareDatabaseCopy(source.string(), ""));
    EXPECT_FALSE(prepareDatabaseCopy(source.string(), ".."));
    EXPECT_FALSE(prepareDatabaseCopy(source.string(), "../escape.db"));
    EXPECT_FALSE(prepareDatabaseCopy((dir / "missing.db").string(), "m.db"));
    EXPECT_FALSE(prepareDatabaseCopy(dir.str(), "folder.db"));
    fs::create_symlink(source, dir / "link.db");
    EXPECT_FALSE(prepareDatabaseCopy((dir / "link.db").string(), "link.db"));
    // A file that is not a database is copied but cannot be committed.
    EXPECT_TRUE(prepareDatabaseCopy(source.string(), "junk.db"));
    EXPECT_FALSE(commitDB((dir / "missing.db").string()));
}

// A backup stores a database's log as a file of its own, under another name: copied beside the
// private copy under the matching name, its rows are read; the stored files stay as they were.
TEST(DatabaseCopyTest, ALogStoredUnderItsOwnNameIsFoldedIntoTheCopy) {
    TempDir dir;
    const fs::path live = dir / "live.db";
    WalDatabase wal(live);
    const fs::path backup = dir / "backup";
    fs::create_directories(backup / "ab");
    fs::copy_file(live, backup / "ab" / "stored-db");
    fs::copy_file(live.string() + "-wal", backup / "cd-stored-wal");
    const std::string storedBefore = readBytes(backup / "ab" / "stored-db");
    const BackupFolder folder = BackupFolder::open(backup.string());

    const auto without = copyDatabaseWithCompanions(folder, "ab/stored-db", "", "no-log.db");
    ASSERT_TRUE(without);
    EXPECT_NE(countRows(*without, false), 3);

    const auto with = copyDatabaseWithCompanions(folder, "ab/stored-db", "cd-stored-wal", "log.db");
    ASSERT_TRUE(with);
    EXPECT_EQ(countRows(*with, true), 3);
    EXPECT_EQ(readBytes(backup / "ab" / "stored-db"), storedBefore);

    // A log named but not stored reads as no log; a missing database is no copy.
    EXPECT_TRUE(copyDatabaseWithCompanions(folder, "ab/stored-db", "missing-wal", "x.db"));
    EXPECT_FALSE(copyDatabaseWithCompanions(folder, "ab/missing", "cd-stored-wal", "y.db"));
}

TEST(DatabaseCopyTest, ACompanionLogStoredUnderItsOwnNameIsReadWithTheCopy) {
    // A backup stores "sms.db" and "sms.db-wal" under unrelated keys; the log only counts once
    // it lies beside the copy under the copy's name.
    TempDir dir;
    const fs::path live = dir / "live.db";
    {
        WalDatabase wal(live);
        fs::copy_file(live, dir / "storedkey");
        fs::copy_file(live.string() + "-wal", dir / "otherkey");
    }
    const BackupFolder folder = BackupFolder::open(dir.str());
    const auto plain = prepareDatabaseCopy(folder, "storedkey", "plain-companion.db");
    ASSERT_TRUE(plain);
    EXPECT_NE(countRows(*plain, false), 3);

    {
        DatabaseScratchCopy copy(folder, "storedkey", {{"-wal", "otherkey"}}, "companion");
        ASSERT_FALSE(copy.path().empty());
        EXPECT_EQ(countRows(copy.path(), true), 3);
        EXPECT_TRUE(fs::exists(copy.path()));
        const std::string path = copy.path();
        // A missing companion is no failure.
        DatabaseScratchCopy without(folder, "storedkey", {{"-wal", "nothere"}}, "companion");
        EXPECT_FALSE(without.path().empty());
        EXPECT_NE(without.path(), path);
    }
    // The copies go with their objects.
    for (const auto& entry : fs::directory_iterator(scratchFolder("DB"))) {
        EXPECT_EQ(entry.path().filename().string().rfind("companion-", 0), std::string::npos);
    }
    // A companion name that leaves the folder is never followed.
    DatabaseScratchCopy outside(folder, "storedkey", {{"-wal", "../live.db-wal"}}, "companion");
    EXPECT_NE(countRows(outside.path(), false), 3);
}

}  // namespace
