#include "backup/sqlite_db.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace nimbara;
using nimbara::test::TempDir;

namespace {

TEST(SqliteDbTest, BoundValuesRoundTripWithTheirTypes) {
    TempDir dir;
    auto db = SqliteDb::open((dir / "a.db").string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    ASSERT_TRUE(db->exec("CREATE TABLE t (i INTEGER, s TEXT, b BLOB, n TEXT)"));
    SqliteStatement insert = db->prepare("INSERT INTO t VALUES (?1, ?2, ?3, ?4)");
    ASSERT_TRUE(insert.valid());
    const QByteArray blob("\0\x01\xff", 3);
    // A text that would end the statement if it were pasted into the SQL.
    EXPECT_TRUE(insert.bind(1, std::int64_t{1} << 40));
    EXPECT_TRUE(insert.bind(2, QStringLiteral("x'); DROP TABLE t; -- \u00e9")));
    EXPECT_TRUE(insert.bind(3, blob));
    EXPECT_TRUE(insert.bindNull(4));
    EXPECT_FALSE(insert.step());
    EXPECT_TRUE(insert.done());

    SqliteStatement select = db->prepare("SELECT i, s, b, n FROM t");
    ASSERT_TRUE(select.step());
    EXPECT_EQ(select.columnCount(), 4);
    EXPECT_EQ(select.columnInt64(0), std::int64_t{1} << 40);
    EXPECT_EQ(select.columnText(1), QStringLiteral("x'); DROP TABLE t; -- \u00e9"));
    EXPECT_EQ(select.columnBlob(2), blob);
    EXPECT_TRUE(select.isNull(3));
    EXPECT_TRUE(select.columnText(3).isEmpty());
    EXPECT_FALSE(select.columnText(3).isNull());
    EXPECT_TRUE(select.columnBlob(3).isNull());
    EXPECT_FALSE(select.step());
    EXPECT_TRUE(select.done());
    EXPECT_TRUE(db->hasTable("t"));
    EXPECT_TRUE(db->hasColumn("t", "b"));
    EXPECT_FALSE(db->hasTable("missing"));
}

TEST(SqliteDbTest, FailuresComeBackAsValues) {
    TempDir dir;
    std::string error;
    EXPECT_FALSE(SqliteDb::open((dir / "none.db").string(), SqliteDb::Mode::ReadOnly, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(fs::exists(dir / "none.db"));

    auto db = SqliteDb::open((dir / "a.db").string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    SqliteStatement bad = db->prepare("SELECT * FROM nowhere");
    EXPECT_FALSE(bad.valid());
    EXPECT_NE(db->lastError().find("nowhere"), std::string::npos);
    EXPECT_FALSE(bad.step());
    EXPECT_FALSE(bad.done());
    EXPECT_FALSE(bad.bind(1, std::int64_t{1}));
    EXPECT_FALSE(db->exec("NOT SQL"));

    SqliteDb closed;
    EXPECT_FALSE(closed.prepare("SELECT 1").valid());
}

TEST(SqliteDbTest, ImmutableOpenLeavesNoFilesAndKeepsOddNames) {
    TempDir dir;
    const fs::path file = dir / "odd ?#%name.db";
    {
        auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate);
        ASSERT_TRUE(db && db->exec("PRAGMA journal_mode=WAL; CREATE TABLE t (x);"
                                   "INSERT INTO t VALUES (42);"));
    }
    ASSERT_FALSE(fs::exists(file.string() + "-wal"));
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadOnly, nullptr, true);
    ASSERT_TRUE(db);
    SqliteStatement st = db->prepare("SELECT x FROM t");
    ASSERT_TRUE(st.step());
    EXPECT_EQ(st.columnInt(0), 42);
    EXPECT_FALSE(db->exec("INSERT INTO t VALUES (1)"));
    EXPECT_FALSE(fs::exists(file.string() + "-wal"));
    EXPECT_FALSE(fs::exists(file.string() + "-shm"));
}

}  // namespace
