#include "backup/sqlite_db.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>

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

// The reason of the newest failure, whichever call failed: running a statement on a damaged
// index (a damaged Manifest.db) included.
TEST(SqliteDbTest, EveryFailedCallLeavesItsReason) {
    TempDir dir;
    const std::string path = (dir / "a.db").string();
    std::int64_t root = 0;
    std::int64_t pageSize = 0;
    {
        auto db = SqliteDb::open(path, SqliteDb::Mode::ReadWriteCreate);
        ASSERT_TRUE(db);
        ASSERT_TRUE(
            db->exec("CREATE TABLE f (id TEXT UNIQUE, d TEXT); CREATE INDEX fd ON f(d);"
                     "INSERT INTO f VALUES ('a', 'x'), ('b', 'y')"));
        SqliteStatement page = db->prepare(
            "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master "
            "WHERE name = 'fd'");
        ASSERT_TRUE(page.step());
        root = page.columnInt64(0);
        pageSize = page.columnInt64(1);
    }
    {
        std::FILE* file = std::fopen(path.c_str(), "r+b");
        ASSERT_NE(file, nullptr);
        const std::string garbage(static_cast<std::size_t>(pageSize), '\xff');
        std::fseek(file, static_cast<long>((root - 1) * pageSize), SEEK_SET);
        std::fwrite(garbage.data(), 1, garbage.size(), file);
        std::fclose(file);
    }
    auto db = SqliteDb::open(path, SqliteDb::Mode::ReadWrite);
    ASSERT_TRUE(db);
    const auto stepOf = [&db](const char* sql) {
        SqliteStatement st = db->prepare(sql);
        EXPECT_TRUE(st.valid()) << sql;
        EXPECT_FALSE(st.step());
        EXPECT_FALSE(st.done());
    };
    struct Case {
        std::function<void()> fail;
        const char* reason;
    };
    const Case cases[] = {
        {[&db] { db->prepare("SELECT * FROM nowhere"); }, "nowhere"},
        {[&] { stepOf("INSERT INTO f (id) VALUES ('a')"); }, "UNIQUE"},
        {[&db] { EXPECT_FALSE(db->exec("NOT SQL")); }, "syntax"},
        {[&db] { EXPECT_FALSE(db->prepare("SELECT ?1").bind(7, std::int64_t{1})); }, "range"},
        {[&] { stepOf("DELETE FROM f WHERE id = 'b'"); }, "malformed"},
    };
    for (const Case& test : cases) {
        test.fail();
        EXPECT_NE(db->lastError().find(test.reason), std::string::npos)
            << test.reason << " / " << db->lastError();
    }
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

namespace {

// A query that never ends by itself and, with `rows`, never even returns a row.
const char* const kEndless =
    "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r";
const char* const kEndlessWithoutRows =
    "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) SELECT x FROM r WHERE x < 0";

}  // namespace

TEST(SqliteDbTest, AStopEndsAQueryThatNeverReturnsARow) {
    TempDir dir;
    auto db = SqliteDb::open((dir / "a.db").string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    // The stop is looked at while the single step runs, not only between rows.
    int looks = 0;
    db->setStopCheck([&looks] { return ++looks > 20; });
    SqliteStatement st = db->prepare(kEndlessWithoutRows);
    ASSERT_TRUE(st.valid());
    EXPECT_FALSE(st.step());
    EXPECT_FALSE(st.done());
    EXPECT_EQ(st.abortReason(), SqliteAbort::Stopped);
    EXPECT_EQ(looks, 21);
    // It stays ended; a reset runs it again (and the stop ends it again).
    EXPECT_FALSE(st.step());
    st.reset();
    EXPECT_EQ(st.abortReason(), SqliteAbort::None);
    EXPECT_FALSE(st.step());
    EXPECT_EQ(st.abortReason(), SqliteAbort::Stopped);

    // Without a stop check the same connection runs ordinary statements to their end.
    db->setStopCheck({});
    SqliteStatement one = db->prepare("SELECT 1");
    EXPECT_TRUE(one.step());
    EXPECT_FALSE(one.step());
    EXPECT_TRUE(one.done());
    EXPECT_EQ(one.abortReason(), SqliteAbort::None);
}

TEST(SqliteDbTest, AStatementReturnsAtMostTheRowLimit) {
    TempDir dir;
    auto db = SqliteDb::open((dir / "a.db").string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    db->setRowLimit(1000);
    SqliteStatement st = db->prepare(kEndless);
    int rows = 0;
    while (st.step()) {
        ++rows;
    }
    EXPECT_EQ(rows, 1000);
    EXPECT_FALSE(st.done());
    EXPECT_EQ(st.abortReason(), SqliteAbort::RowLimit);
    // A statement with exactly as many rows as the limit ends normally.
    SqliteStatement exact = db->prepare(
        "WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < 1000) "
        "SELECT x FROM r");
    rows = 0;
    while (exact.step()) {
        ++rows;
    }
    EXPECT_EQ(rows, 1000);
    EXPECT_TRUE(exact.done());
    EXPECT_EQ(exact.abortReason(), SqliteAbort::None);
}

TEST(SqliteDbTest, ObjectKindTellsTablesFromViewsWhateverTheCase) {
    TempDir dir;
    auto db = SqliteDb::open((dir / "a.db").string(), SqliteDb::Mode::ReadWriteCreate);
    ASSERT_TRUE(db);
    ASSERT_TRUE(
        db->exec("CREATE TABLE ABPerson (x); CREATE VIEW Files AS SELECT 1 AS x; "
                 "CREATE INDEX byX ON ABPerson (x);"));
    EXPECT_EQ(db->objectKind("ABPerson"), SqliteDb::ObjectKind::Table);
    EXPECT_EQ(db->objectKind("abperson"), SqliteDb::ObjectKind::Table);
    EXPECT_EQ(db->objectKind("files"), SqliteDb::ObjectKind::View);
    EXPECT_EQ(db->objectKind("byX"), SqliteDb::ObjectKind::Other);
    EXPECT_EQ(db->objectKind("ABMultiValue"), SqliteDb::ObjectKind::Missing);
    EXPECT_EQ(db->objectKind("x' OR '1'='1"), SqliteDb::ObjectKind::Missing);
}
