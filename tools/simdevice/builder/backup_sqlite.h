// A database of a simulated device's backup-source, written as the device writes its own: in
// write-ahead-log mode, with the option of leaving the last rows in the "-wal" file beside it
// (as a backup taken while the device had not yet checkpointed them holds them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"
#include "sim_device_builder.h"

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
    [[noreturn]] void fail() const;

  private:
    void exec(const char* sql);

    std::filesystem::path file_;
    SqliteDb db_;
    bool keepLog_ = false;
};

// Seconds between 1970 and 2001, where the device's own clock starts.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;
inline double since2001(std::int64_t unixTime) {
    return static_cast<double>(unixTime) - kSecondsFrom1970To2001;
}

// The local file of a database of the backup-source at `domain`/`path`, checked to stay inside it.
std::filesystem::path backupDatabaseFile(const SimDeviceBuilder& b, const char* domain,
                                         const char* path);

// Binds a floating-point value (Core Data keeps dates and durations so).
void bindReal(SqliteStatement& st, int index, double value);
// Binds the text, or NULL for the empty text.
void bindTextOrNull(SqliteStatement& st, int index, const std::string& text);

}  // namespace nimbara::simdev
