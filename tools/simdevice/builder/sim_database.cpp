#include "sim_database.h"

#include <stdexcept>

#include "backup_source.h"
#include "device_path.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

[[noreturn]] void sqlFailed(const SqliteDb& db, const fs::path& file) {
    throw std::runtime_error("cannot write " + file.string() + ": " + db.lastError());
}

fs::path backupDatabaseFile(const fs::path& deviceDir, const std::string& domain,
                            const std::string& relativePath) {
    const fs::path file = backupSourcePath(deviceDir, domain, relativePath);
    fs::create_directories(file.parent_path());
    checkResolvedInside(deviceDir / md::sim::kBackupSourceDir, file.parent_path());
    return file;
}

SqliteDb createSimDatabase(const fs::path& file, const char* schema) {
    fs::create_directories(file.parent_path());
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(file.string() + suffix));
    }
    std::string error;
    auto db = SqliteDb::open(file.string(), SqliteDb::Mode::ReadWriteCreate, &error);
    if (!db) {
        throw std::runtime_error("cannot create " + file.string() + ": " + error);
    }
    if (!db->exec(schema) || !db->exec("BEGIN")) {
        sqlFailed(*db, file);
    }
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

void commitSim(SqliteDb& db, const fs::path& file) {
    if (!db.exec("COMMIT")) {
        sqlFailed(db, file);
    }
}

void bindText(SqliteStatement& st, int index, const std::string& text) {
    if (text.empty()) {
        st.bindNull(index);
    } else {
        st.bind(index, text);
    }
}

}  // namespace nimbara::simdev
