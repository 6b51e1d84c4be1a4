// Measures the deleted-row carver on databases shaped as the attacks on its search were, each at
// about 1 MB and 4 MB, beside a floor (reading the same file once and passing over its bytes),
// and on a well-formed message database of about 4 MB with a few thousand deleted rows.
//
//   nimbara-bench-carver [--runs R]
//   defaults: 3 runs (the least CPU time and the highest peak count)
//
// Times are the calling thread's CPU time; peaks are the most bytes allocated at once.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/carver/file_source.h"
#include "backup/carver/sqlite_carver.h"
#include "bench_options.h"
#include "cost_meter.h"
#include "platform/scratch_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup::carver;
using nimbara::test::measureCost;
using nimbara::test::WorkCost;

std::string rowsOf(long rows) {
    return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
           std::to_string(rows) + ") ";
}

struct Shape {
    const char* name;
    std::vector<std::string> tables;
    std::function<std::string(long rows)> write;  // the statements for `rows` rows
};

const std::vector<Shape>& shapes() {
    static const std::vector<Shape> all{
        {"rows sharing their first value, every other deleted",
         {"ZNOTE"},
         [](long rows) {
             return "CREATE TABLE ZNOTE (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, ZTITLE TEXT);" +
                    rowsOf(rows) + "INSERT INTO ZNOTE SELECT i, 7, 'note ' || i FROM n;" +
                    "DELETE FROM ZNOTE WHERE Z_PK % 2 = 0;";
         }},
        {"2000 columns, all but one generated, freed 5-byte cells",
         {"g"},
         [](long rows) {
             std::string sql = "CREATE TABLE g (a INTEGER";
             for (int c = 1; c < 2000; ++c) {
                 sql += ", c" + std::to_string(c) + " AS (1) VIRTUAL";
             }
             return sql + ");" + rowsOf(rows) + "INSERT INTO g (a) SELECT 1 + i % 100 FROM n;" +
                    "DELETE FROM g WHERE rowid % 8 <> 0;";
         }},
        {"live rows older than a column beside deleted rows that hold it",
         {"t"},
         [](long rows) {
             return "CREATE TABLE t (a INTEGER);" + rowsOf(rows) +
                    "INSERT INTO t SELECT i FROM n;" + "ALTER TABLE t ADD COLUMN b TEXT;" +
                    rowsOf(rows) +
                    "INSERT INTO t (rowid, a, b) SELECT 1000000000 + i, NULL, 'g' || i FROM n;" +
                    "DELETE FROM t WHERE b IS NOT NULL;";
         }},
        {"2000 stored columns, nearly all rows deleted",
         {"w"},
         [](long rows) {
             std::string columns = "c1";
             for (int c = 2; c <= 2000; ++c) {
                 columns += ", c" + std::to_string(c);
             }
             return "CREATE TABLE w (" + columns + ");" + rowsOf(rows) +
                    "INSERT INTO w (c1) SELECT 'row ' || i FROM n;" +
                    "DELETE FROM w WHERE rowid % 50 <> 0;";
         }},
    };
    return all;
}

// A message database as the phone keeps it: handles and messages with their texts and bodies.
std::string messageDatabase(long rows) {
    std::string sql =
        "CREATE TABLE handle (ROWID INTEGER PRIMARY KEY AUTOINCREMENT UNIQUE, id TEXT NOT NULL, "
        "country TEXT, service TEXT NOT NULL, uncanonicalized_id TEXT, person_centric_id TEXT);"
        "CREATE TABLE message (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, guid TEXT UNIQUE NOT "
        "NULL, text TEXT, replace INTEGER DEFAULT 0, service_center TEXT, handle_id INTEGER "
        "DEFAULT 0, subject TEXT, country TEXT, attributedBody BLOB, version INTEGER DEFAULT 0, "
        "type INTEGER DEFAULT 0, service TEXT, account TEXT, account_guid TEXT, error INTEGER "
        "DEFAULT 0, date INTEGER, date_read INTEGER, date_delivered INTEGER, is_delivered "
        "INTEGER DEFAULT 0, is_finished INTEGER DEFAULT 0, is_emote INTEGER DEFAULT 0, "
        "is_from_me INTEGER DEFAULT 0, is_empty INTEGER DEFAULT 0, is_read INTEGER DEFAULT 0, "
        "cache_roomnames TEXT);"
        "CREATE INDEX message_idx_handle ON message (handle_id, date);";
    sql += rowsOf(400) +
           "INSERT INTO handle (id, country, service) SELECT '+1415555' || (1000 + i), 'us', "
           "CASE WHEN i % 2 THEN 'iMessage' ELSE 'SMS' END FROM n;";
    sql += rowsOf(rows) +
           "INSERT INTO message (guid, text, handle_id, attributedBody, service, account, date, "
           "date_read, is_delivered, is_finished, is_from_me, is_read) SELECT "
           "printf('%08X-%04X-4000-8000-%012X', i * 2654435761 % 4294967296, i % 65536, i), "
           "'Message number ' || i || ', about the plans for the weekend and who brings what.', "
           "1 + i % 400, "
           "CAST('streamtyped NSAttributedString NSString message body ' || i || "
           "' NSDictionary __kIMMessagePartAttributeName' AS BLOB), "
           "CASE WHEN i % 2 THEN 'iMessage' ELSE 'SMS' END, 'e:me@example.com', "
           "600000000000000000 + i * 97000000000, 600000000000000000 + i * 97000000000 + 5, "
           "1, 1, i % 3 = 0, 1 FROM n;";
    // A few thousand deleted here and there.
    return sql + "DELETE FROM message WHERE ROWID % 6 = 0;";
}

bool writeDatabase(const fs::path& path, const std::string& sql) {
    std::error_code error;
    fs::remove(path, error);
    sqlite3* db = nullptr;
    bool ok =
        sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA secure_delete=OFF", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), sqlite3_errmsg(db));
    }
    sqlite3_close(db);
    return ok;
}

// Writes the shape with as many rows as take about `bytes` bytes; its size, 0 on failure.
std::uint64_t writeOfSize(const fs::path& path, const std::function<std::string(long)>& write,
                          std::uint64_t bytes) {
    long rows = 2000;
    for (int round = 0; round < 3; ++round) {
        if (!writeDatabase(path, write(rows))) {
            return 0;
        }
        std::error_code error;
        const std::uint64_t size = fs::file_size(path, error);
        if (error || size == 0) {
            return 0;
        }
        if (size > bytes * 9 / 10 && size < bytes * 11 / 10) {
            return size;
        }
        rows = static_cast<long>(static_cast<double>(rows) * static_cast<double>(bytes) /
                                 static_cast<double>(size));
    }
    std::error_code error;
    return fs::file_size(path, error);
}

// Reads the file once, a page at a time, passing over each byte.
std::uint64_t readOnce(const fs::path& path) {
    const FileSource file(path);
    std::vector<std::uint8_t> page(65536);
    std::uint64_t sum = 0;
    for (std::uint64_t at = 0; at < file.size(); at += page.size()) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(page.size(), file.size() - at));
        if (!file.read(at, page.data(), length)) {
            break;
        }
        for (std::size_t i = 0; i < length; ++i) {
            sum = sum * 31 + page[i];
        }
    }
    return sum;
}

void measure(const char* name, const fs::path& path, std::uint64_t size,
             const std::vector<std::string>& tables, int runs) {
    CarveReport report;
    const WorkCost search = measureCost([&] { report = carveDatabaseFile(path, tables); }, runs);
    std::uint64_t sum = 0;
    const WorkCost floor = measureCost([&] { sum += readOnce(path); }, runs);
    std::printf(
        "%-62s %5.2f MB %9.1f ms %9.2f MiB (cap %4.0f MiB) %7.2f ms %6zu rows%s %5.1f "
        "work/byte\n",
        name, static_cast<double>(size) / 1e6, search.cpuSeconds * 1000.0,
        static_cast<double>(search.peakBytes) / 1048576.0,
        static_cast<double>(memoryLimit(size)) / 1048576.0, floor.cpuSeconds * 1000.0,
        report.rows.size(), report.cutShort ? " (cut short)" : "",
        static_cast<double>(report.work) / static_cast<double>(size));
    if (report.cutShort) {
        std::printf("    %s\n", report.detail.c_str());
    }
    if (sum == 1) {
        std::printf("\n");  // keeps the floor's pass from being left out
    }
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            const std::optional<int> n = nimbara::bench::parseNumber(argv[++i], 1, 100);
            if (!n) {
                std::fprintf(stderr, "usage: nimbara-bench-carver [--runs R]\n");
                return 2;
            }
            runs = *n;
        } else {
            std::fprintf(stderr, "usage: nimbara-bench-carver [--runs R]\n");
            return 2;
        }
    }
    const fs::path folder = nimbara::scratchFolder("carver-bench");
    if (folder.empty()) {
        std::fprintf(stderr, "no scratch folder\n");
        return 1;
    }
    const fs::path path = folder / "shape.db";
    std::printf("%-62s %8s %12s %13s %16s %10s %11s\n", "database", "size", "search", "peak", "",
                "floor", "found");
    for (const Shape& shape : shapes()) {
        for (const std::uint64_t bytes : {std::uint64_t{1} << 20, std::uint64_t{4} << 20}) {
            const std::uint64_t size = writeOfSize(path, shape.write, bytes);
            if (size == 0) {
                return 1;
            }
            measure(shape.name, path, size, shape.tables, runs);
        }
    }
    const std::uint64_t size = writeOfSize(path, messageDatabase, std::uint64_t{4} << 20);
    if (size == 0) {
        return 1;
    }
    measure("well-formed message database, every sixth message deleted", path, size,
            {"message", "handle", "chat", "attachment"}, runs);
    return 0;
}
