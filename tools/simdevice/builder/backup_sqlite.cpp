#include "backup_sqlite.h"

#include <stdexcept>

#include <system_error>
#include "backup_source.h"
#include "device_path.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

BackupSqliteWriter::BackupSqliteWriter(const fs::path& file, const char* schema) : file_(file) {
    fs::create_directories(file.parent_path());
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(file.string() + suffix));
    }
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate, &error);
    if (!db) {
        throw std::runtime_error("cannot create " + file.string() + ": " + error);
    }
    db_ = std::move(*db);
    exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
    exec(schema);
    exec("BEGIN");
}

void BackupSqliteWriter::fail() const {
    throw std::runtime_error("cannot write " + file_.string() + ": " + db_.lastError());
}

void BackupSqliteWriter::exec(const char* sql) {
    if (!db_.exec(sql)) {
        fail();
    }
}

SqliteStatement BackupSqliteWriter::prepare(const std::string& sql) {
    SqliteStatement st = db_.prepare(sql);
    if (!st.valid()) {
        fail();
    }
    return st;
}

void BackupSqliteWriter::run(SqliteStatement& st) {
    st.step();
    if (!st.done()) {
        fail();
    }
    st.reset();
}

void BackupSqliteWriter::startLog() {
    exec("COMMIT; PRAGMA wal_checkpoint(TRUNCATE); BEGIN");
    keepLog_ = true;
}

void BackupSqliteWriter::finish() {
    exec("COMMIT");
    if (!keepLog_) {
        exec("PRAGMA wal_checkpoint(TRUNCATE)");
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
    if (!fs::is_regular_file(fs::path(file_.string() + "-wal"))) {
        throw std::runtime_error("the log of " + file_.string() + " was not kept");
    }
}

fs::path backupDatabaseFile(const SimDeviceBuilder& b, const char* domain, const char* path) {
    const fs::path file = backupSourcePath(b.dir(), domain, path);
    checkResolvedInside(b.dir() / md::sim::kBackupSourceDir, file.parent_path());
    return file;
}

void bindReal(SqliteStatement& st, int index, double value) {
    sqlite3_bind_double(st.handle(), index, value);
}

void bindTextOrNull(SqliteStatement& st, int index, const std::string& text) {
    if (text.empty()) {
        st.bindNull(index);
    } else {
        st.bind(index, text);
    }
}

}  // namespace nimbara::simdev
