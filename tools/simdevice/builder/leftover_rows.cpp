#include "leftover_rows.h"

#include <stdexcept>
#include <system_error>

#include "folder_steps.h"
#include "sim_database.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

LeftoverRows::LeftoverRows(const fs::path& file, bool writeAheadLog) : file_(file) {
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWrite, &error);
    if (!db) {
        throw std::runtime_error("cannot open " + file.string() + ": " + error);
    }
    db_ = std::move(*db);
    SqliteStatement mode =
        prepareSim(db_, writeAheadLog ? "PRAGMA journal_mode=WAL" : "PRAGMA journal_mode", file_);
    wal_ = mode.step() && mode.columnString(0) == "wal";
    mode = SqliteStatement();
    exec("PRAGMA secure_delete=OFF");
    if (wal_) {
        exec("PRAGMA wal_autocheckpoint=0");
    }
    exec("BEGIN");
}

SqliteStatement LeftoverRows::prepare(const std::string& sql) {
    return prepareSim(db_, sql, file_);
}

std::int64_t LeftoverRows::insert(const char* table, SqliteStatement& st) {
    const std::int64_t rowid = insertSim(db_, st, file_);
    inserted_.emplace_back(table, rowid);
    return rowid;
}

std::int64_t LeftoverRows::run(SqliteStatement& st) {
    return insertSim(db_, st, file_);
}

void LeftoverRows::deleteInserted() {
    for (auto it = inserted_.rbegin(); it != inserted_.rend(); ++it) {
        SqliteStatement remove =
            prepare(std::string("DELETE FROM ") + it->first + " WHERE rowid = ?");
        remove.bind(1, it->second);
        insertSim(db_, remove, file_);
    }
    inserted_.clear();
}

void LeftoverRows::commit() {
    exec("COMMIT; BEGIN");
}

void LeftoverRows::checkpoint() {
    exec("COMMIT; PRAGMA wal_checkpoint(TRUNCATE); BEGIN");
}

void LeftoverRows::finish(bool keepLog) {
    exec("COMMIT");
    std::error_code ec;
    if (!wal_) {
        db_.close();
        return;
    }
    if (!keepLog) {
        exec("PRAGMA wal_checkpoint(TRUNCATE)");
        db_.close();
        fs::remove(fs::path(file_.string() + "-wal"), ec);
        fs::remove(fs::path(file_.string() + "-shm"), ec);
        return;
    }
    // Closing would fold the log into the main file; the device had not done so yet.
    sqlite3_db_config(db_.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db_.close();
    fs::remove(fs::path(file_.string() + "-shm"), ec);
    if (!isRegularFile(fs::path(file_.string() + "-wal"))) {
        throw std::runtime_error("the log of " + file_.string() + " was not kept");
    }
}

void LeftoverRows::exec(const char* sql) {
    execSim(db_, sql, file_);
}

}  // namespace nimbara::simdev
