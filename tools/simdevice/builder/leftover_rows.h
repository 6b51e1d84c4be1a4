// Rows a device deleted whose bytes are still in its database file, as a device leaves them: the
// rows are inserted into a database already written, then deleted again one by one, the newest
// first, with secure_delete off. SQLite then frees a cell without clearing it but for the first 4
// bytes, where it writes a free block's header (the cell's length, row id and the start of its
// record header go); a row written to a write-ahead log and deleted there stays whole in the
// log's older frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "backup/sqlite_db.h"

namespace nimbara::simdev {

class LeftoverRows {
  public:
    // Opens the database at `file` and starts a transaction; with `writeAheadLog` a database
    // kept with a rollback journal is switched to a write-ahead log first. Throws
    // std::runtime_error when SQLite fails.
    explicit LeftoverRows(const std::filesystem::path& file, bool writeAheadLog = false);
    LeftoverRows(const LeftoverRows&) = delete;
    LeftoverRows& operator=(const LeftoverRows&) = delete;

    SqliteStatement prepare(const std::string& sql);
    // Runs a bound insert into `table` once and resets it; returns the new row id, which
    // deleteInserted deletes again.
    std::int64_t insert(const char* table, SqliteStatement& st);
    // Runs a bound insert of a row that stays (or any other statement) once and resets it.
    std::int64_t run(SqliteStatement& st);
    // Deletes every row inserted so far, the newest first.
    void deleteInserted();
    // Commits what was written so far and starts the next transaction.
    void commit();
    // Commits and folds the log into the main file (a database in write-ahead-log mode).
    void checkpoint();
    // Commits. A database in write-ahead-log mode then has its log folded in and removed, unless
    // `keepLog`: then what was written since the last checkpoint stays in its "-wal" file, as a
    // backup taken before the device checkpointed holds it.
    void finish(bool keepLog = false);

  private:
    void exec(const char* sql);

    std::filesystem::path file_;
    SqliteDb db_;
    bool wal_ = false;
    std::vector<std::pair<const char*, std::int64_t>> inserted_;
};

}  // namespace nimbara::simdev
