#include "backup/record_database.h"

#include "backup/backup_folder.h"
#include "backup/database_copy.h"
#include "backup/shah.h"

#include <atomic>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace nimbara::backup {

std::string locateStoredFile(const BackupFolder& folder, const std::string& key) {
    if (key.size() != 40 || key.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return {};
    }
    for (BackupLayout layout : {BackupLayout::Sharded, BackupLayout::Flat}) {
        const std::string name = storedFileName(key, layout);
        if (!name.empty() && folder.isFile(name)) {
            return name;
        }
    }
    return {};
}

StoredDatabase locateStoredDatabase(const BackupFolder& folder, const std::string& key,
                                    std::string_view domain, std::string_view path) {
    StoredDatabase database;
    database.relative = locateStoredFile(folder, key);
    if (database.exists()) {
        database.walRelative =
            locateStoredFile(folder, fileKey(domain, std::string(path) + "-wal"));
    }
    return database;
}

PrivateDatabaseCopy::PrivateDatabaseCopy(const BackupFolder& folder, const StoredDatabase& database,
                                         const std::string& scratchBase) {
    static std::atomic<unsigned> counter{0};
    if (!database.exists()) {
        return;
    }
    const std::string name = scratchBase + "-" + std::to_string(++counter);
    if (auto copy =
            copyDatabaseWithCompanions(folder, database.relative, database.walRelative, name)) {
        path_ = *copy;
    }
}

PrivateDatabaseCopy::~PrivateDatabaseCopy() {
    if (path_.empty()) {
        return;
    }
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(path_ + suffix), ec);
    }
}

std::string tableProblem(SqliteDb& db, const char* table) {
    switch (db.objectKind(table)) {
        case SqliteDb::ObjectKind::Table:
            return std::string();
        case SqliteDb::ObjectKind::Missing:
            return std::string(table) + " is missing";
        case SqliteDb::ObjectKind::View:
        case SqliteDb::ObjectKind::Other:
            return std::string(table) + " is damaged: it is not a table";
    }
    return std::string();
}

std::string schemaProblem(SqliteDb& db) {
    SqliteStatement st = db.prepare("SELECT count(*) FROM sqlite_master");
    if (!st.valid() || !st.step()) {
        return "it is damaged or no database: " + db.lastError();
    }
    return std::string();
}

std::string queryProblem(const SqliteStatement& st, const char* table, SqliteDb& db) {
    switch (st.abortReason()) {
        case SqliteAbort::None:
            return st.done() ? std::string()
                             : std::string(table) + " read failed: " + db.lastError();
        case SqliteAbort::Stopped:
            return std::string();
        case SqliteAbort::RowLimit:
            return std::string(table) + " is damaged: more than " +
                   std::to_string(kSqliteDefaultRowLimit) + " rows";
        case SqliteAbort::MemoryLimit:
            return std::string(table) + " is damaged: reading it took too much memory";
    }
    return std::string();
}

std::string columnOrNull(SqliteDb& db, const char* table, const char* column) {
    // Names compare as SQLite compares identifiers: without regard to case.
    SqliteStatement st =
        db.prepare("SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE");
    if (st.valid() && st.bind(1, std::string(table)) && st.bind(2, std::string(column)) &&
        st.step()) {
        return std::string(table) + "." + column;
    }
    return "NULL";
}

std::optional<double> columnNumber(const SqliteStatement& st, int column) {
    switch (sqlite3_column_type(st.handle(), column)) {
        case SQLITE_INTEGER:
            return static_cast<double>(st.columnInt64(column));
        case SQLITE_FLOAT:
            return st.columnDouble(column);
        case SQLITE_TEXT: {
            bool ok = false;
            const double value = st.columnText(column).trimmed().toDouble(&ok);
            return ok ? std::optional<double>(value) : std::nullopt;
        }
        default:
            return std::nullopt;
    }
}

}  // namespace nimbara::backup
