#include "sim_database.h"

#include <stdexcept>
#include <system_error>

#include "backup_source.h"
#include "device_path.h"
#include "folder_steps.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

[[noreturn]] void sqlFailed(const SqliteDb& db, const fs::path& file) {
    throw std::runtime_error("cannot write " + file.string() + ": " + db.lastError());
}

fs::path backupDatabaseFile(const fs::path& deviceDir, const std::string& domain,
                            const std::string& relativePath) {
    const fs::path file = backupSourcePath(deviceDir, domain, relativePath);
    makeFolders(file.parent_path());
    checkResolvedInside(deviceDir / md::sim::kBackupSourceDir, file.parent_path());
    return file;
}

SqliteDb createSimDatabase(const fs::path& file, const char* schema, SimJournal journal) {
    makeFolders(file.parent_path());
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        removeFile(fs::path(file.string() + suffix));
    }
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate, &error);
    if (!db) {
        throw std::runtime_error("cannot create " + file.string() + ": " + error);
    }
    if (journal == SimJournal::WriteAheadLog) {
        execSim(*db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;", file);
    }
    execSim(*db, schema, file);
    execSim(*db, "BEGIN", file);
    return std::move(*db);
}

SqliteStatement prepareSim(SqliteDb& db, const std::string& sql, const fs::path& file) {
    SqliteStatement st = db.prepare(sql);
    if (!st.valid()) {
        sqlFailed(db, file);
    }
    return st;
}

std::int64_t insertSim(SqliteDb& db, SqliteStatement& st, const fs::path& file) {
    st.step();
    if (!st.done()) {
        sqlFailed(db, file);
    }
    st.reset();
    return sqlite3_last_insert_rowid(db.handle());
}

void execSim(SqliteDb& db, const char* sql, const fs::path& file) {
    if (!db.exec(sql)) {
        sqlFailed(db, file);
    }
}

void commitSim(SqliteDb& db, const fs::path& file) {
    execSim(db, "COMMIT", file);
}

void bindText(SqliteStatement& st, int index, const std::string& text) {
    if (text.empty()) {
        st.bindNull(index);
    } else {
        st.bind(index, text);
    }
}

void bindReal(SqliteStatement& st, int index, double value) {
    sqlite3_bind_double(st.handle(), index, value);
}

BackupSqliteWriter::BackupSqliteWriter(const fs::path& file, const char* schema)
    : file_(file), db_(createSimDatabase(file, schema, SimJournal::WriteAheadLog)) {}

void BackupSqliteWriter::startLog() {
    execSim(db_, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE); BEGIN", file_);
    keepLog_ = true;
}

void BackupSqliteWriter::finish() {
    commitSim(db_, file_);
    if (!keepLog_) {
        execSim(db_, "PRAGMA wal_checkpoint(TRUNCATE)", file_);
        db_.close();
        std::error_code ec;
        fs::remove(fs::path(file_.string() + "-wal"), ec);
        fs::remove(fs::path(file_.string() + "-shm"), ec);
        return;
    }
    // Closing would fold the log into the main file; the device had not done so yet.
    sqlite3_db_config(db_.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    db_.close();
    std::error_code ec;
    fs::remove(fs::path(file_.string() + "-shm"), ec);
    if (!isRegularFile(fs::path(file_.string() + "-wal"))) {
        throw std::runtime_error("the log of " + file_.string() + " was not kept");
    }
}

}  // namespace nimbara::simdev
