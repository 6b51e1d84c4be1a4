#include "backup/record_family_database.h"

#include <QString>

#include <atomic>
#include <filesystem>
#include <system_error>

#include "backup/backup_entry.h"
#include "backup/database_copy.h"
#include "backup/shah.h"

namespace fs = std::filesystem;

namespace nimbara::backup {

std::string DatabaseSource::key() const {
    return fileKey(domain, relativePath);
}

std::string DatabaseSource::walKey() const {
    return fileKey(domain, std::string(relativePath) + "-wal");
}

std::string storedFileOf(const BackupFolder& folder, const std::string& key) {
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

RecordDatabase RecordDatabase::open(const BackupFolder& folder, const DatabaseSource& source,
                                    const std::function<bool()>& stop) {
    RecordDatabase database;
    const std::string key = source.key();
    const std::string stored = storedFileOf(folder, key);
    if (stored.empty()) {
        return database;
    }
    database.state_ = State::Unreadable;
    static std::atomic<unsigned> counter{0};
    const std::string name = key + "-" + std::to_string(++counter);
    const auto copy =
        copyDatabaseWithCompanions(folder, stored, storedFileOf(folder, source.walKey()), name);
    if (!copy) {
        database.error_ = "it could not be copied";
        return database;
    }
    database.copyPath_ = *copy;
    std::string why;
    auto db = SqliteDb::open(*copy, SqliteDb::Mode::ReadOnly, &why);
    if (!db) {
        database.error_ = "it could not be opened: " + why;
        return database;
    }
    db->setStopCheck(stop);
    // A file that is not a database opens fine and fails at its first read.
    SqliteStatement probe = db->prepare("SELECT count(*) FROM sqlite_master");
    if (!probe.valid() || !probe.step()) {
        database.error_ = "it is not a readable database: " + db->lastError();
        return database;
    }
    probe = SqliteStatement();
    database.db_ = std::move(*db);
    database.state_ = State::Open;
    return database;
}

FoundDatabase openFirstDatabase(const BackupFolder& folder,
                                const std::vector<const DatabaseSource*>& sources,
                                const std::function<bool()>& stop) {
    FoundDatabase found;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        RecordDatabase database = RecordDatabase::open(folder, *sources[i], stop);
        if (database.state() != RecordDatabase::State::Missing) {
            found.index = static_cast<int>(i);
            found.database = std::move(database);
            break;
        }
    }
    return found;
}

RecordDatabase::RecordDatabase(RecordDatabase&& other) noexcept
    : state_(other.state_),
      error_(std::move(other.error_)),
      copyPath_(std::move(other.copyPath_)),
      db_(std::move(other.db_)) {
    other.copyPath_.clear();
    other.state_ = State::Missing;
}

RecordDatabase& RecordDatabase::operator=(RecordDatabase&& other) noexcept {
    if (this != &other) {
        db_ = SqliteDb();
        removeCopy();
        state_ = other.state_;
        error_ = std::move(other.error_);
        copyPath_ = std::move(other.copyPath_);
        db_ = std::move(other.db_);
        other.copyPath_.clear();
        other.state_ = State::Missing;
    }
    return *this;
}

RecordDatabase::~RecordDatabase() {
    db_.close();
    removeCopy();
}

void RecordDatabase::removeCopy() {
    if (copyPath_.empty()) {
        return;
    }
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
        fs::remove(fs::path(copyPath_ + suffix), ec);
    }
    copyPath_.clear();
}

std::string RecordDatabase::tableProblem(const std::string& table) {
    switch (db_.objectKind(table)) {
        case SqliteDb::ObjectKind::Table:
            return std::string();
        case SqliteDb::ObjectKind::Missing:
            return "missing";
        case SqliteDb::ObjectKind::View:
        case SqliteDb::ObjectKind::Other:
            return table + " is damaged: it is not a table";
    }
    return std::string();
}

bool hasColumnNamed(SqliteDb& db, const std::string& table, const std::string& column) {
    // SQLite compares names without regard to case; every table has its row id.
    if (db.objectKind(table) != SqliteDb::ObjectKind::Table) {
        return false;
    }
    if (QString::fromStdString(column).compare(QLatin1String("ROWID"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    SqliteStatement st =
        db.prepare("SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2 COLLATE NOCASE");
    return st.valid() && st.bind(1, table) && st.bind(2, column) && st.step();
}

SqliteStatement prepareWantedColumns(SqliteDb& db, const std::vector<WantedColumn>& columns,
                                     const std::string& from) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) {
            sql += ", ";
        }
        const WantedColumn& c = columns[i];
        if (c.table != nullptr && hasColumnNamed(db, c.table, c.column)) {
            sql += std::string(c.table) + "." + c.column;
        } else {
            sql += "NULL";
        }
    }
    sql += " FROM " + from;
    return db.prepare(sql);
}

std::string queryProblem(const SqliteStatement& st, const std::string& table, SqliteDb& db) {
    switch (st.abortReason()) {
        case SqliteAbort::None:
            return st.done() ? std::string() : table + " read failed: " + db.lastError();
        case SqliteAbort::Stopped:
            return std::string();
        case SqliteAbort::RowLimit:
            return table + " is damaged: more than " + std::to_string(kSqliteDefaultRowLimit) +
                   " rows";
        case SqliteAbort::MemoryLimit:
            return table + " is damaged: reading it took too much memory";
    }
    return std::string();
}

}  // namespace nimbara::backup
