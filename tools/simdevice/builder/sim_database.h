// Writing the device's own SQLite databases into backup-source/: a fresh file with its schema
// in one transaction, rows through bound statements. A database the device keeps in
// write-ahead-log mode can leave its last rows in the "-wal" file beside it (as a backup taken
// while the device had not yet checkpointed them holds them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"

namespace nimbara::simdev {

// The local file of a database the backup holds at (domain, relativePath), its folder made and
// checked to stay inside backup-source/.
std::filesystem::path backupDatabaseFile(const std::filesystem::path& deviceDir,
                                         const std::string& domain,
                                         const std::string& relativePath);

// How a fresh database keeps its journal.
enum class SimJournal {
    Rollback,
    WriteAheadLog,  // no automatic checkpoint: the writer decides what stays in the log
};

// A fresh database at `file` (an earlier one and its journals removed) with `schema` run and a
// transaction open. Throws std::runtime_error when SQLite fails.
SqliteDb createSimDatabase(const std::filesystem::path& file, const char* schema,
                           SimJournal journal = SimJournal::Rollback);
// Prepares `sql`; throws when it does not compile.
SqliteStatement prepareSim(SqliteDb& db, const std::string& sql, const std::filesystem::path& file);
// Runs a bound insert once and resets it; returns the new row id. Throws on failure.
std::int64_t insertSim(SqliteDb& db, SqliteStatement& st, const std::filesystem::path& file);
// Runs `sql`; throws on failure.
void execSim(SqliteDb& db, const char* sql, const std::filesystem::path& file);
// Commits the transaction; throws on failure.
void commitSim(SqliteDb& db, const std::filesystem::path& file);
// Throws std::runtime_error naming the file and SQLite's last error.
[[noreturn]] void sqlFailed(const SqliteDb& db, const std::filesystem::path& file);
// Binds the text, or NULL when it is empty (as the device stores a field never filled in).
void bindText(SqliteStatement& st, int index, const std::string& text);
// Binds a floating-point value (Core Data keeps dates and durations so).
void bindReal(SqliteStatement& st, int index, double value);

// Seconds between 1970 and 2001, where the device's own clock starts.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;
inline double since2001(std::int64_t unixTime) {
    return static_cast<double>(unixTime) - kSecondsFrom1970To2001;
}

// A database in write-ahead-log mode, written in one transaction or, from startLog on, with
// its last rows left in the "-wal" file.
class BackupSqliteWriter {
  public:
    // A fresh database at `file` (an earlier one and its journals removed) with `schema`, its
    // first transaction open. Throws std::runtime_error when SQLite fails.
    BackupSqliteWriter(const std::filesystem::path& file, const char* schema);
    BackupSqliteWriter(const BackupSqliteWriter&) = delete;
    BackupSqliteWriter& operator=(const BackupSqliteWriter&) = delete;

    SqliteStatement prepare(const std::string& sql) { return prepareSim(db_, sql, file_); }
    // Runs a statement with its bindings once and resets it.
    void run(SqliteStatement& st) { insertSim(db_, st, file_); }
    // Rows written from now on stay in the "-wal" file when the database is finished.
    void startLog();
    // Writes `items` in order with `write(item, index)`, the last `inLog` of them into the log.
    template <class Item, class Write>
    void writeRows(const std::vector<Item>& items, std::size_t inLog, Write&& write) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items.size() - i == inLog) {
                startLog();
            }
            write(items[i], i);
        }
    }
    // Commits; everything is in the main file unless startLog was called.
    void finish();

    const std::filesystem::path& file() const { return file_; }
    [[noreturn]] void fail() const { sqlFailed(db_, file_); }

  private:
    std::filesystem::path file_;
    SqliteDb db_;
    bool keepLog_ = false;
};

}  // namespace nimbara::simdev
