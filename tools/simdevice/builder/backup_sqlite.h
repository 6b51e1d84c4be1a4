// A database of a simulated device's backup-source, written as the device writes its own: in
// write-ahead-log mode, with the option of leaving the last rows in the "-wal" file beside it
// (as a backup taken while the device had not yet checkpointed them holds them).
#pragma once

#include <filesystem>
#include <string>

#include "backup/sqlite_db.h"

namespace nimbara::simdev {

class BackupSqliteWriter {
  public:
    // A fresh database at `file` (an earlier one and its journals removed) with `schema`, its
    // first transaction open. Throws std::runtime_error when SQLite fails.
    BackupSqliteWriter(const std::filesystem::path& file, const char* schema);
    BackupSqliteWriter(const BackupSqliteWriter&) = delete;
    BackupSqliteWriter& operator=(const BackupSqliteWriter&) = delete;

    SqliteStatement prepare(const std::string& sql);
    // Runs a statement with its bindings once and resets it.
    void run(SqliteStatement& st);
    // Rows written from now on stay in the "-wal" file when the database is finished.
    void startLog();
    // Commits; everything is in the main file unless startLog was called.
    void finish();

    const std::filesystem::path& file() const { return file_; }
    [[noreturn]] void fail() const;

  private:
    void exec(const char* sql);

    std::filesystem::path file_;
    SqliteDb db_;
    bool keepLog_ = false;
};

// Binds a floating-point value (Core Data keeps dates and durations so).
void bindReal(SqliteStatement& st, int index, double value);
// Binds the text, or NULL for the empty text.
void bindTextOrNull(SqliteStatement& st, int index, const std::string& text);

}  // namespace nimbara::simdev
