#include "backup/carver/sqlite_carver.h"
#include "backup/carver/btree_walk.h"
#include "backup/carver/sqlite_pages.h"
#include "backup/carver/sqlite_schema.h"

#include "cost_meter.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace nimbara::backup::carver;
using nimbara::test::TempDir;

namespace {

using Row = std::vector<std::optional<Value>>;

Value integer(std::int64_t v) {
    return {Value::Kind::Integer, v, 0, {}};
}
Value real(double v) {
    return {Value::Kind::Real, 0, v, {}};
}
Value text(std::string v) {
    return {Value::Kind::Text, 0, 0, std::move(v)};
}
Value blob(std::string v) {
    return {Value::Kind::Blob, 0, 0, std::move(v)};
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

bool equal(const Value& a, const Value& b) {
    return a.kind == b.kind && a.integer == b.integer && a.real == b.real && a.bytes == b.bytes;
}

// Every value the carved row recovered is the row's.
bool holds(const Row& row, const CarvedRow& carved) {
    for (std::size_t i = 0; i < carved.values.size(); ++i) {
        if (carved.values[i] && !equal(*carved.values[i], *row[i])) {
            return false;
        }
    }
    return true;
}

// The rows of table note (id INTEGER PRIMARY KEY, title, body, n, score, data, extra added by
// ALTER TABLE after row 40): texts of 10 bytes, of more than 57 and of more than a page.
struct NoteRows {
    std::map<std::int64_t, Row> live;
    std::map<std::int64_t, Row> deleted;
};

Row noteRow(int i) {
    std::string body = "body " + std::to_string(i);
    if (i % 7 == 0) {
        body += std::string(5000, static_cast<char>('a' + i % 26));  // on overflow pages
    } else if (i % 3 == 0) {
        body += " " + std::string(70, 'x');  // a two-byte serial type
    }
    char title[16];
    std::snprintf(title, sizeof title, "title-%04d", i);  // 10 bytes
    return {integer(i),
            text(title),
            text(body),
            integer(std::int64_t{i} * (i % 2 ? 1000003 : 7)),
            real(i + 0.25),
            blob(std::string(i % 5 == 0 ? 200 : 4, static_cast<char>(i))),
            i > 40 ? text("extra " + std::to_string(i)) : Value{}};
}

bool deletedRow(int i) {
    return i % 4 == 1 || (i >= 50 && i <= 53) || i == 70 || i == 77;
}

struct Db {
    sqlite3* handle = nullptr;
    explicit Db(const fs::path& path) { sqlite3_open(path.c_str(), &handle); }
    ~Db() { sqlite3_close(handle); }
    void exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(handle, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(handle);
    }
    void insert(const Row& row) {
        // Rows before the ALTER TABLE have no column extra.
        const bool extra = row[6]->kind != Value::Kind::Null;
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(handle,
                           extra ? "INSERT INTO note VALUES (?,?,?,?,?,?,?)"
                                 : "INSERT INTO note VALUES (?,?,?,?,?,?)",
                           -1, &statement, nullptr);
        for (int c = 0; c < (extra ? 7 : 6); ++c) {
            const Value& v = *row[c];
            if (v.kind == Value::Kind::Integer) {
                sqlite3_bind_int64(statement, c + 1, v.integer);
            } else if (v.kind == Value::Kind::Real) {
                sqlite3_bind_double(statement, c + 1, v.real);
            } else if (v.kind == Value::Kind::Text) {
                sqlite3_bind_text(statement, c + 1, v.bytes.c_str(), -1, SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_blob(statement, c + 1, v.bytes.data(),
                                  static_cast<int>(v.bytes.size()), SQLITE_TRANSIENT);
            }
        }
        ASSERT_EQ(sqlite3_step(statement), SQLITE_DONE) << sqlite3_errmsg(handle);
        sqlite3_finalize(statement);
    }
};

enum class Journal { Rollback, WalLeftInLog, WalCheckpointed };

// Writes the database into `dir`/"copy" (with the -wal file as it stood) and returns its rows.
NoteRows buildNotes(const fs::path& dir, Journal journal, int pageSize) {
    NoteRows rows;
    const fs::path path = dir / "notes.db";
    Db db(path);
    db.exec("PRAGMA page_size=" + std::to_string(pageSize));
    db.exec("PRAGMA secure_delete=OFF");
    if (journal != Journal::Rollback) {
        db.exec("PRAGMA journal_mode=WAL");
        db.exec("PRAGMA wal_autocheckpoint=0");
    }
    db.exec(
        "CREATE TABLE note (id INTEGER PRIMARY KEY, title TEXT NOT NULL, body TEXT, "
        "n INTEGER, score REAL, data BLOB, CHECK (length(title) > 0))");
    db.exec("CREATE INDEX note_title ON note (title)");
    db.exec("CREATE TABLE other (id INTEGER PRIMARY KEY, label TEXT)");
    for (int i = 1; i <= 90; ++i) {
        if (i == 41) {
            db.exec("ALTER TABLE note ADD COLUMN extra TEXT");
        }
        db.insert(noteRow(i));
        db.exec("INSERT INTO other (label) VALUES ('other " + std::to_string(i) + "')");
        rows.live[i] = noteRow(i);
    }
    if (journal != Journal::Rollback) {
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    for (int i = 1; i <= 90; ++i) {
        if (deletedRow(i)) {
            db.exec("DELETE FROM note WHERE id = " + std::to_string(i));
            rows.deleted[i] = rows.live[i];
            rows.live.erase(i);
        }
    }
    if (journal == Journal::WalCheckpointed) {
        db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    fs::create_directory(dir / "copy");
    fs::copy_file(path, dir / "copy" / "notes.db");
    if (fs::exists(dir / "notes.db-wal") && fs::file_size(dir / "notes.db-wal") > 0) {
        fs::copy_file(dir / "notes.db-wal", dir / "copy" / "notes.db-wal");
    }
    return rows;
}

struct FixtureCase {
    const char* name;
    Journal journal;
    int pageSize;
};

class CarverFixture : public testing::TestWithParam<FixtureCase> {};

TEST_P(CarverFixture, FindsDeletedRowsAndNeverALiveOne) {
    const FixtureCase& c = GetParam();
    TempDir dir;
    const NoteRows rows = buildNotes(dir.path(), c.journal, c.pageSize);
    const fs::path db = dir / "copy" / "notes.db";
    const std::string before = readFile(db);
    const std::string walBefore = readFile(dir / "copy" / "notes.db-wal");
    EXPECT_EQ(walBefore.empty(), c.journal != Journal::WalLeftInLog);

    const CarveReport report = carveDatabaseFile(db, {"NOTE", "missing"});
    ASSERT_EQ(report.status, CarveReport::Status::Done) << report.detail;
    EXPECT_FALSE(report.cutShort) << report.detail;
    ASSERT_EQ(report.tables.size(), 1u);
    EXPECT_EQ(report.tables[0].columns.size(), 7u);
    EXPECT_EQ(report.liveRowsSeen, rows.live.size());
    EXPECT_EQ(readFile(db), before);
    EXPECT_EQ(readFile(dir / "copy" / "notes.db-wal"), walBefore);

    std::size_t found = 0;
    std::size_t whole = 0;
    for (const auto& [id, row] : rows.deleted) {
        int copies = 0;
        bool all = false;
        for (const CarvedRow& carved : report.rows) {
            if (holds(row, carved)) {
                ++copies;
                // every value the row had (a row older than the ALTER TABLE has no extra)
                bool complete = true;
                for (std::size_t i = 1; i < row.size(); ++i) {
                    complete = complete && (carved.values[i] || row[i]->kind == Value::Kind::Null);
                }
                all = all || complete;
            }
        }
        EXPECT_LE(copies, 1) << "deleted row " << id << " reported twice";
        found += copies > 0;
        whole += all;
    }
    for (const CarvedRow& carved : report.rows) {
        EXPECT_EQ(carved.values.size(), 7u);
        for (const auto& [id, row] : rows.live) {
            EXPECT_FALSE(holds(row, carved)) << "live row " << id << " reported as deleted";
        }
        EXPECT_TRUE(std::any_of(rows.deleted.begin(), rows.deleted.end(),
                                [&](const auto& d) { return holds(d.second, carved); }))
            << "a row no one deleted, at offset " << carved.offset;
    }
    std::printf(
        "[ carver ] %s: %zu of %zu deleted rows found (%zu with every value but the row id), %zu "
        "reported\n",
        c.name, found, rows.deleted.size(), whole, report.rows.size());
    RecordProperty("found", std::to_string(found) + " of " + std::to_string(rows.deleted.size()));
    EXPECT_EQ(found, rows.deleted.size());

    // A second run finds the same, not twice as much.
    EXPECT_EQ(carveDatabaseFile(db, {"note"}).rows.size(), report.rows.size());
}

INSTANTIATE_TEST_SUITE_P(
    Journals, CarverFixture,
    testing::Values(FixtureCase{"rollback-1024", Journal::Rollback, 1024},
                    FixtureCase{"rollback-4096", Journal::Rollback, 4096},
                    FixtureCase{"wal-left-in-log", Journal::WalLeftInLog, 4096},
                    FixtureCase{"wal-checkpointed", Journal::WalCheckpointed, 1024}),
    [](const auto& info) {
        std::string name = info.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

void put32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
    }
}

std::uint32_t get32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return v;
}

TEST(SqliteCarverTest, BrokenFilesNeitherCrashNorInvent) {
    TempDir dir;
    const NoteRows rows = buildNotes(dir.path(), Journal::Rollback, 1024);
    const std::string good = readFile(dir / "copy" / "notes.db");
    const std::uint32_t noteRoot = [&] {
        Db db(dir / "copy" / "notes.db");
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db.handle, "SELECT rootpage FROM sqlite_master WHERE name='note'", -1,
                           &s, nullptr);
        sqlite3_step(s);
        const auto root = static_cast<std::uint32_t>(sqlite3_column_int(s, 0));
        sqlite3_finalize(s);
        return root;
    }();
    ASSERT_EQ(good[(noteRoot - 1) * 1024], 5) << "the note table's root is an interior page";
    const std::uint32_t trunk = get32(good, 32);
    ASSERT_NE(trunk, 0u) << "the deletes left a freelist";

    std::mt19937 random(7);
    std::string noise(8192, '\0');
    for (char& byte : noise) {
        byte = static_cast<char>(random());
    }
    const auto edit = [&](auto change) {
        std::string bytes = good;
        change(bytes);
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
        CarveReport::Status status;
    } cases[] = {
        {"page size 0", edit([](std::string& b) { b[16] = 0, b[17] = 0; }),
         CarveReport::Status::Damaged},
        {"page size 1 (65536) past a short file",
         edit([](std::string& b) { b[16] = 0, b[17] = 1; }).substr(0, 4096),
         CarveReport::Status::Damaged},
        {"page size 3", edit([](std::string& b) { b[16] = 0, b[17] = 3; }),
         CarveReport::Status::Damaged},
        {"page size past the file",
         edit([](std::string& b) { b[16] = 0x20, b[17] = 0; }).substr(0, 4096),
         CarveReport::Status::Damaged},
        {"page 1 alone", good.substr(0, 1024), CarveReport::Status::Done},
        {"header only", good.substr(0, 100), CarveReport::Status::Damaged},
        {"truncated mid-page", good.substr(0, good.size() / 2 + 300), CarveReport::Status::Done},
        {"random bytes", noise, CarveReport::Status::Damaged},
        {"random bytes after a header", good.substr(0, 100) + noise, CarveReport::Status::Damaged},
        {"freelist loop", edit([&](std::string& b) { put32(b, (trunk - 1) * 1024, trunk); }),
         CarveReport::Status::Done},
        {"page count past the file", edit([](std::string& b) { put32(b, 28, 0x7fffffff); }),
         CarveReport::Status::Done},
        {"b-tree page pointing to itself", edit([&](std::string& b) {
             put32(b, (noteRoot - 1) * 1024 + 8, noteRoot);
             const std::size_t cell = get32(b, (noteRoot - 1) * 1024 + 12) >> 16;
             put32(b, (noteRoot - 1) * 1024 + cell, noteRoot);
         }),
         CarveReport::Status::Done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MemorySource source(c.bytes.data(), c.bytes.size());
        const MemorySource wal(noise.data(), noise.size());
        const CarveReport report = carveTables(source, &wal, {"note"});
        EXPECT_EQ(report.status, c.status) << report.detail;
        // Nothing invented: a tree cut off by the damage leaves its live rows as free bytes.
        for (const CarvedRow& carved : report.rows) {
            EXPECT_TRUE(std::any_of(rows.deleted.begin(), rows.deleted.end(),
                                    [&](const auto& d) { return holds(d.second, carved); }) ||
                        std::any_of(rows.live.begin(), rows.live.end(),
                                    [&](const auto& d) { return holds(d.second, carved); }));
        }
    }

    // Asked to stop, it ends at once and hands on nothing.
    const MemorySource source(good.data(), good.size());
    int asked = 0;
    const CarveReport stopped = carveTables(source, nullptr, {"note"}, [&] { return ++asked > 3; });
    EXPECT_EQ(stopped.status, CarveReport::Status::Stopped);
    EXPECT_TRUE(stopped.rows.empty());
}

// A "-wal" log (big-endian checksums) of one committed frame: `pageBytes` as page `page`, the
// database `commitSize` pages long.
std::string oneFrameLog(std::uint32_t pageSize, std::uint32_t page, std::uint32_t commitSize,
                        const std::string& pageBytes) {
    std::string log(32 + 24 + pageSize, '\0');
    std::uint32_t s0 = 0;
    std::uint32_t s1 = 0;
    const auto sum = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; i += 8) {
            s0 += get32(log, i) + s1;
            s1 += get32(log, i + 4) + s0;
        }
    };
    put32(log, 0, 0x377f0683);
    put32(log, 4, 3007000);
    put32(log, 8, pageSize);
    put32(log, 16, 0x1234), put32(log, 20, 0x5678);
    sum(0, 24);
    put32(log, 24, s0), put32(log, 28, s1);
    put32(log, 32, page), put32(log, 36, commitSize);
    put32(log, 40, 0x1234), put32(log, 44, 0x5678);
    log.replace(56, pageSize, pageBytes.substr(0, pageSize));
    sum(32, 40);
    sum(56, log.size());
    put32(log, 48, s0), put32(log, 52, s1);
    return log;
}

TEST(SqliteCarverTest, LogPageNumbersSizeNothingPastTheFiles) {
    TempDir dir;
    const NoteRows rows = buildNotes(dir.path(), Journal::Rollback, 1024);
    const std::string good = readFile(dir / "copy" / "notes.db");
    const std::uint32_t filePages = static_cast<std::uint32_t>(good.size() / 1024);
    const struct {
        std::uint32_t page;
        std::uint32_t commitSize;
    } cases[] = {{200'000'000, 200'000'000}, {0xffffffff, 0xffffffff}, {filePages + 1, 0xffffffff}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const std::string log = oneFrameLog(1024, c.page, c.commitSize, good.substr(1024, 1024));
        const MemorySource source(good.data(), good.size());
        const MemorySource wal(log.data(), log.size());
        const CarveReport report = carveTables(source, &wal, {"note"});
        EXPECT_EQ(report.status, CarveReport::Status::Done) << report.detail;
        EXPECT_LE(report.pagesRead, filePages + 1);
        EXPECT_EQ(report.liveRowsSeen, rows.live.size());
        EXPECT_GE(report.rows.size(), rows.deleted.size());
    }
}

// Free pages 3.. form one overflow chain (whose last page leads back to the first when `loops`);
// each holds nine cells of table t (a TEXT) whose payloads continue on the chain's first page,
// needing `chainPages` pages of it.
std::string chainedFreePages(const fs::path& dir, std::uint32_t pages, std::uint32_t chainPages,
                             bool loops = false) {
    {
        Db db(dir / "chain.db");
        db.exec("PRAGMA page_size=1024");
        db.exec("CREATE TABLE t (a TEXT)");
    }
    std::string bytes = readFile(dir / "chain.db").substr(0, 2048);
    const std::uint32_t payload = 103 + chainPages * 1020;  // 103 bytes kept on the page
    const std::uint32_t type = 2 * (payload - 4) + 13;
    for (std::uint32_t p = 0; p < pages; ++p) {
        std::string page(1024, 'a');
        put32(page, 0, p + 1 < pages ? p + 4 : loops ? 3 : 0);
        for (std::size_t at = 4; at + 110 <= page.size(); at += 110) {
            const unsigned char cell[] = {static_cast<unsigned char>(0x80 | payload >> 7),
                                          static_cast<unsigned char>(payload & 0x7f),
                                          1,
                                          4,
                                          static_cast<unsigned char>(0x80 | type >> 14),
                                          static_cast<unsigned char>(0x80 | (type >> 7 & 0x7f)),
                                          static_cast<unsigned char>(type & 0x7f)};
            page.replace(at, sizeof cell, reinterpret_cast<const char*>(cell), sizeof cell);
            put32(page, at + 3 + 103, 3);
        }
        bytes += page;
    }
    put32(bytes, 28, pages + 2);
    return bytes;
}

TEST(SqliteCarverTest, OneLongFreeChainIsReadOnce) {
    TempDir dir;
    const std::uint32_t pages = 200;
    const struct {
        const char* name;
        std::uint32_t chainPages;
        bool loops;
        bool cutShort;
    } cases[] = {
        {"payloads longer than the chain", pages + 5, false, false},
        {"payloads as long as the chain, each copying it", pages, false, true},
        // Followed round and round, the chain would take all the work the file may have.
        {"a chain that leads back to its first page", pages + 5, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = chainedFreePages(dir.path(), pages, c.chainPages, c.loops);
        const MemorySource source(bytes.data(), bytes.size());
        const CarveReport report = carveTables(source, nullptr, {"t"});
        EXPECT_EQ(report.status, CarveReport::Status::Done) << report.detail;
        EXPECT_EQ(report.cutShort, c.cutShort) << report.detail;
        fs::remove(dir / "chain.db");
    }
}

// The numbers 1 to `count` as the table n(i), to begin a statement with.
std::string numbers(int count) {
    return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(count) + ") ";
}

// Databases whose search once grew with the square of their size, or held memory for each
// declared column of every row it found: the search of one four times larger costs at most six
// times as much, and what it holds stays under its cap. The stop check is asked all along: no
// stretch of the larger search between two asks takes an eighth of it.
TEST(SqliteCarverTest, SearchCostFollowsTheFileSize) {
    TempDir dir;
    const int kRows = 5000;  // in the smaller database
    const struct {
        const char* name;
        const char* table;
        std::string (*write)(int rows);
    } cases[] = {
        // Every row shares its entity number; no row id is left in a freeblock's first cell.
        {"rows sharing their first value, every other deleted", "ZNOTE",
         [](int rows) {
             return "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZTITLE TEXT);" +
                    numbers(rows) + "INSERT INTO ZNOTE SELECT i, 7, 'note ' || i FROM n;" +
                    "DELETE FROM ZNOTE WHERE Z_PK % 2 = 0;";
         }},
        // Generated columns hold no value in a record: a row found carries none for them.
        {"2000 columns, all but one generated, freed 5-byte cells", "g",
         [](int rows) {
             std::string sql = "CREATE TABLE g (a INTEGER";
             for (int c = 1; c < 2000; ++c) {
                 sql += ", c" + std::to_string(c) + " AS (1) VIRTUAL";
             }
             return sql + ");" + numbers(rows) + "INSERT INTO g (a) SELECT 1 + i % 100 FROM n;" +
                    "DELETE FROM g WHERE rowid % 8 <> 0;";
         }},
        // Live rows older than a column hold no value for it, which matches anything.
        {"live rows older than a column beside deleted rows that hold it", "t",
         [](int rows) {
             return "CREATE TABLE t (a INTEGER);" + numbers(rows) +
                    "INSERT INTO t SELECT i FROM n;" + "ALTER TABLE t ADD COLUMN b TEXT;" +
                    numbers(rows) +
                    "INSERT INTO t (rowid, a, b) SELECT 100000 + i, NULL, 'g' || i FROM n;" +
                    "DELETE FROM t WHERE b IS NOT NULL;";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        nimbara::test::WorkCost costs[2];
        double stretches[2] = {};
        for (const int scale : {1, 4}) {
            const fs::path path = dir / (std::to_string(scale) + ".db");
            {
                Db db(path);
                db.exec("PRAGMA secure_delete=OFF");
                db.exec(c.write(kRows * scale));
            }
            const std::string bytes = readFile(path);
            fs::remove(path);
            const MemorySource source(bytes.data(), bytes.size());
            CarveReport report;
            double longest = 0;
            const nimbara::test::WorkCost cost = nimbara::test::measureCost(
                [&] {
                    double last = nimbara::test::threadCpuSeconds();
                    const auto asked = [&] {
                        const double now = nimbara::test::threadCpuSeconds();
                        longest = std::max(longest, now - last);
                        last = now;
                        return false;
                    };
                    CarveReport found = carveTables(source, nullptr, {c.table}, asked);
                    longest = std::max(longest, nimbara::test::threadCpuSeconds() - last);
                    report = std::move(found);
                },
                2);
            if (scale == 4) {
                EXPECT_LT(longest, cost.cpuSeconds / 8) << longest * 1000 << " ms";
            }
            EXPECT_EQ(report.status, CarveReport::Status::Done) << report.detail;
            EXPECT_FALSE(report.cutShort) << report.detail;
            EXPECT_GT(report.rows.size(), static_cast<std::size_t>(kRows * scale / 20));
            EXPECT_LT(cost.peakBytes, memoryLimit(bytes.size()))
                << scale << "x: " << nimbara::test::describe(cost);
            costs[scale == 1 ? 0 : 1] = cost;
            stretches[scale == 1 ? 0 : 1] = longest;
        }
        EXPECT_LT(costs[1].cpuSeconds, 6 * costs[0].cpuSeconds)
            << nimbara::test::describe(costs[0]) << " then " << nimbara::test::describe(costs[1]);
        std::printf("[ carver ] %s: %s, then %s (longest without a stop check %.1f, %.1f ms)\n",
                    c.name, nimbara::test::describe(costs[0]).c_str(),
                    nimbara::test::describe(costs[1]).c_str(), stretches[0] * 1000,
                    stretches[1] * 1000);
    }
}

// A page of 64 KiB holds thousands of cells between thousands of freeblocks: each freeblock is
// searched past the cells around it without going through all of them.
TEST(SqliteCarverTest, LargePagesCostNoMoreThanSmallOnes) {
    TempDir dir;
    nimbara::test::WorkCost costs[2];
    for (const int pageSize : {4096, 65536}) {
        const fs::path path = dir / (std::to_string(pageSize) + ".db");
        {
            Db db(path);
            db.exec("PRAGMA page_size=" + std::to_string(pageSize));
            db.exec("PRAGMA secure_delete=OFF");
            db.exec("CREATE TABLE t (a INTEGER)");
            db.exec(numbers(14000) + "INSERT INTO t SELECT i FROM n");
            db.exec("DELETE FROM t WHERE a % 2 = 0");
        }
        const std::string bytes = readFile(path);
        const MemorySource source(bytes.data(), bytes.size());
        CarveReport report;
        costs[pageSize == 4096 ? 0 : 1] =
            nimbara::test::measureCost([&] { report = carveTables(source, nullptr, {"t"}); }, 2);
        EXPECT_FALSE(report.cutShort) << report.detail;
        EXPECT_GT(report.rows.size(), 3000u);
    }
    EXPECT_LT(costs[1].cpuSeconds, 2.5 * costs[0].cpuSeconds)
        << nimbara::test::describe(costs[0]) << " then " << nimbara::test::describe(costs[1]);
    std::printf("[ carver ] pages of 4 KiB: %s, of 64 KiB: %s\n",
                nimbara::test::describe(costs[0]).c_str(),
                nimbara::test::describe(costs[1]).c_str());
}

// Rows of 2000 stored columns would hold 64 times the bytes they take in the file: the search
// ends at the memory it may hold, and the rows found until then are checked and kept, whether the
// last row found was a whole cell of a free page or a row in the free space of a live page.
TEST(SqliteCarverTest, SearchEndsAtTheMemoryItMayHold) {
    TempDir dir;
    std::string columns = "c1";
    for (int c = 2; c <= 2000; ++c) {
        columns += ", c" + std::to_string(c);
    }
    const struct {
        const char* name;
        int pageSize, rows;
        const char* deleted;
    } cases[] = {
        {"free pages", 4096, 850, "rowid % 50 <> 0"},
        {"freeblocks of live pages", 65536, 1900, "rowid % 2 = 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = dir / (std::to_string(c.pageSize) + ".db");
        {
            Db db(path);
            db.exec("PRAGMA page_size=" + std::to_string(c.pageSize));
            db.exec("PRAGMA secure_delete=OFF");
            db.exec("CREATE TABLE w (" + columns + ")");
            db.exec(numbers(c.rows) + "INSERT INTO w (c1) SELECT 'row ' || i FROM n");
            db.exec(std::string("DELETE FROM w WHERE ") + c.deleted);
        }
        const std::string bytes = readFile(path);
        const MemorySource source(bytes.data(), bytes.size());
        CarveReport report;
        const nimbara::test::WorkCost cost =
            nimbara::test::measureCost([&] { report = carveTables(source, nullptr, {"w"}); });
        EXPECT_EQ(report.status, CarveReport::Status::Done) << report.detail;
        EXPECT_TRUE(report.cutShort) << report.detail;
        EXPECT_GT(report.rows.size(), 100u) << report.detail;
        EXPECT_LT(cost.peakBytes, memoryLimit(bytes.size())) << nimbara::test::describe(cost);
    }
}

TEST(SqliteCarverTest, ATableTheSchemaNamesTwiceIsSearchedOnce) {
    TempDir dir;
    std::size_t once = 0;
    for (const bool twice : {false, true}) {
        SCOPED_TRACE(twice);
        const fs::path path = dir / (twice ? "twice.db" : "once.db");
        {
            Db db(path);
            db.exec("PRAGMA secure_delete=OFF");
            db.exec("CREATE TABLE t (a INTEGER, b TEXT)");
            db.exec(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 400) "
                "INSERT INTO t SELECT i, printf('row %0100d', i) FROM n");
            db.exec("DELETE FROM t WHERE a % 2 = 0");
            if (twice) {
                db.exec("PRAGMA writable_schema=ON");
                db.exec(
                    "INSERT INTO sqlite_master SELECT type, name, tbl_name, rootpage, sql "
                    "FROM sqlite_master WHERE name = 't'");
            }
        }
        const std::string bytes = readFile(path);
        const MemorySource source(bytes.data(), bytes.size());
        const CarveReport report = carveTables(source, nullptr, {"t", "T"});
        EXPECT_EQ(report.tables.size(), 1u);
        if (!twice) {
            once = report.rows.size();
            EXPECT_GT(once, 100u);
        }
        EXPECT_EQ(report.rows.size(), once);
    }
}

// Counts the bytes the carver reads.
class CountingSource : public MemorySource {
  public:
    using MemorySource::MemorySource;
    bool read(std::uint64_t offset, void* into, std::size_t length) const override {
        bytesRead += length;
        return MemorySource::read(offset, into, length);
    }
    mutable std::uint64_t bytesRead = 0;
};

// Table t holds one row of a text of `textBytes`, its CREATE TABLE as long when `longSchema`;
// table m held rows 1 to 20, the odd ones deleted. Then the cell pointers of the page holding t's
// row (page 1 for its schema row) are filled with copies of its pointer: thousands of live cells
// share the one cell and its overflow chain.
std::string sharedLiveCell(const fs::path& dir, std::uint32_t pageSize, bool longSchema,
                           std::size_t textBytes) {
    const std::string longText(textBytes, 'q');
    std::uint32_t page = 1;
    {
        Db db(dir / "shared.db");
        db.exec("PRAGMA page_size=" + std::to_string(pageSize));
        db.exec("PRAGMA secure_delete=OFF");
        db.exec(longSchema ? "CREATE TABLE t (a TEXT DEFAULT '" + longText + "')"
                           : "CREATE TABLE t (a TEXT)");
        db.exec("CREATE TABLE m (id INTEGER PRIMARY KEY, body TEXT)");
        db.exec("INSERT INTO t VALUES ('" + (longSchema ? std::string("short") : longText) + "')");
        for (int i = 1; i <= 20; ++i) {
            db.exec("INSERT INTO m VALUES (" + std::to_string(i) + ", 'message body " +
                    std::to_string(i) + "')");
        }
        db.exec("DELETE FROM m WHERE id % 2 = 1");
        if (!longSchema) {
            sqlite3_stmt* s = nullptr;
            sqlite3_prepare_v2(db.handle, "SELECT rootpage FROM sqlite_master WHERE name = 't'", -1,
                               &s, nullptr);
            sqlite3_step(s);
            page = static_cast<std::uint32_t>(sqlite3_column_int(s, 0));
            sqlite3_finalize(s);
        }
    }
    std::string bytes = readFile(dir / "shared.db");
    fs::remove(dir / "shared.db");
    const std::size_t base = std::size_t{page - 1} * pageSize;
    const std::size_t header = base + (page == 1 ? 100 : 0);
    const auto get16 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) << 8 |
                                          static_cast<unsigned char>(bytes[at + 1]));
    };
    const std::uint32_t cells = get16(header + 3);
    const std::uint32_t contentStart = get16(header + 5);   // 0 cannot be: a row is there
    const std::string first = bytes.substr(header + 8, 2);  // t's row, the first written
    std::uint32_t count = cells;
    for (std::size_t at = header + 8 + 2 * cells; at + 2 <= base + contentStart; at += 2) {
        bytes.replace(at, 2, first);
        ++count;
    }
    bytes[header + 3] = static_cast<char>(count >> 8);
    bytes[header + 4] = static_cast<char>(count);
    return bytes;
}

TEST(SqliteCarverTest, LiveCellsSharingTheirBytesAreReadOnce) {
    TempDir dir;
    const struct {
        const char* name;
        std::uint32_t pageSize;
        bool longSchema;
        std::size_t textBytes;
    } cases[] = {
        {"rows of a table on one chain", 1024, false, 300 * 1020},
        {"rows of the schema on one chain", 1024, true, 300 * 1020},
        {"rows of a table in one cell", 65536, false, 30000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string bytes = sharedLiveCell(dir.path(), c.pageSize, c.longSchema, c.textBytes);
        const CountingSource source(bytes.data(), bytes.size());
        const CarveReport report = carveTables(source, nullptr, {"m", "t"});
        ASSERT_EQ(report.status, CarveReport::Status::Done) << report.detail;
        EXPECT_FALSE(report.cutShort) << report.detail;
        // each page read by the walk of its tree, the search and the pass over live rows
        EXPECT_LE(source.bytesRead, 4 * bytes.size());
        ASSERT_EQ(report.tables.size(), 2u);
        for (int i = 1; i <= 20; i += 2) {
            const std::string body = "message body " + std::to_string(i);
            EXPECT_TRUE(std::any_of(report.rows.begin(), report.rows.end(), [&](const auto& row) {
                const Value* value = row.value(report.tables[0], "body");
                return row.table == "m" && value != nullptr && value->bytes == body;
            })) << body;
        }
    }
}

TEST(SqliteCarverTest, FreeblockChainRunsForwardOnly) {
    const struct {
        const char* name;
        std::vector<std::array<std::uint16_t, 3>> blocks;  // at, next, size; the first heads it
        std::size_t kept;
    } cases[] = {
        {"in order", {{200, 300, 20}, {300, 0, 10}}, 2},
        {"back to an earlier offset", {{200, 100, 20}, {100, 0, 10}}, 1},
        {"into its own bytes", {{200, 210, 40}, {210, 0, 10}}, 1},
        {"to itself", {{200, 200, 20}}, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string page(1024, '\0');
        page[0] = 13;  // a table leaf
        page[1] = static_cast<char>(c.blocks[0][0] >> 8),
        page[2] = static_cast<char>(c.blocks[0][0]);
        page[5] = 0, page[6] = static_cast<char>(100);
        for (const auto& [at, next, size] : c.blocks) {
            put32(page, at, std::uint32_t{next} << 16 | size);
        }
        const Bytes bytes(reinterpret_cast<const std::uint8_t*>(page.data()), page.size());
        const std::optional<BTreePage> btree = parseBTreePage(bytes, 0);
        ASSERT_TRUE(btree);
        EXPECT_EQ(freeblockChain(bytes, *btree).size(), c.kept);
    }
}

TEST(SqliteCarverTest, LogFrameWithABadChecksumIsNotInForce) {
    TempDir dir;
    const NoteRows rows = buildNotes(dir.path(), Journal::Rollback, 1024);
    const std::string good = readFile(dir / "copy" / "notes.db");
    for (const std::size_t broken : {std::size_t{48}, std::size_t{52}}) {
        SCOPED_TRACE(broken);
        std::string log = oneFrameLog(1024, 1, 3, std::string(1024, 'x'));
        log[broken] = static_cast<char>(log[broken] ^ 1);
        const MemorySource source(good.data(), good.size());
        const MemorySource wal(log.data(), log.size());
        const CarveReport report = carveTables(source, &wal, {"note"});
        EXPECT_EQ(report.status, CarveReport::Status::Done) << report.detail;
        EXPECT_EQ(report.liveRowsSeen, rows.live.size());
    }
}

TEST(SqliteCarverTest, PageMapClaimsOnlyPagesItHolds) {
    const struct {
        std::uint32_t page;
        bool claimed;
    } cases[] = {{0, false}, {1, true}, {3, true}, {4, false}, {0xffffffff, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        PageMap map(3);
        EXPECT_EQ(map.claim(c.page, {PageUse::FreelistTrunk, -1}), c.claimed);
    }
}

TEST(SqliteCarverTest, CreateTableColumns) {
    const struct {
        const char* sql;
        const char* columns;  // name:TYPE, * for a rowid alias; "" when no table
    } cases[] = {
        {"CREATE TABLE t (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, \"first name\" TEXT, `b` "
         "blob, [c] varchar ( 20 ), d)",
         "ROWID:INTEGER* first name:TEXT b:BLOB c:VARCHAR(20) d:"},
        {"CREATE TABLE IF NOT EXISTS main.t (a INT PRIMARY KEY, b INTEGER PRIMARY KEY DESC)",
         "a:INT b:INTEGER"},
        {"CREATE TABLE t (a INTEGER, b TEXT DEFAULT 'x,y' CHECK (b IN ('(', ')')), "
         "CONSTRAINT pk PRIMARY KEY (a), UNIQUE (b), FOREIGN KEY (b) REFERENCES u (c), "
         "CHECK ((a > 0) AND (b <> ')')))",
         "a:INTEGER* b:TEXT"},
        {"CREATE TABLE t (a INTEGER, b, PRIMARY KEY (a, b))", "a:INTEGER b:"},
        {"CREATE TABLE t (-- a comment (\n a UNSIGNED BIG INT NOT NULL, /* ) */ b DOUBLE "
         "PRECISION COLLATE nocase)",
         "a:UNSIGNED BIG INT b:DOUBLE PRECISION"},
        {"CREATE TABLE t (a INTEGER PRIMARY KEY, b) WITHOUT ROWID", "a:INTEGER b:"},
        {"CREATE INDEX i ON t (a)", ""},
        {"CREATE TABLE t (a INTEGER", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        const std::optional<TableDefinition> table = parseCreateTable(c.sql);
        std::string columns;
        for (const Column& column : table ? table->columns : std::vector<Column>{}) {
            columns += (columns.empty() ? "" : " ") + column.name + ":" + column.declaredType +
                       (column.rowidAlias ? "*" : "");
        }
        EXPECT_EQ(columns, c.columns);
    }
    EXPECT_TRUE(
        parseCreateTable("CREATE TABLE t (a INTEGER PRIMARY KEY, b) WITHOUT ROWID")->withoutRowid);
    EXPECT_EQ(parseCreateTable("CREATE TABLE t (a, b AS (a + 1), c AS (a) STORED)")->stored,
              (std::vector<bool>{true, false, true}));
}

}  // namespace
