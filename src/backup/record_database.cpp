#include "backup/record_database.h"

#include "backup/shah.h"

namespace nimbara::backup {

std::string DatabaseSource::key() const {
    return fileKey(domain, relativePath);
}

std::string DatabaseSource::walKey() const {
    return fileKey(domain, std::string(relativePath) + "-wal");
}

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

StoredDatabase locateStoredDatabase(const BackupFolder& folder, const DatabaseSource& source) {
    return locateStoredDatabase(folder, source.key(), source.domain, source.relativePath);
}

PrivateDatabaseCopy::PrivateDatabaseCopy(const BackupFolder& folder, const StoredDatabase& database,
                                         const std::string& scratchBase)
    : DatabaseScratchCopy(folder, database.relative,
                          storedCompanions(folder, database.relative, database.walRelative),
                          scratchBase) {}

std::optional<SqliteDb> openPrivateCopy(const DatabaseScratchCopy& copy,
                                        const std::function<bool()>& stop, std::string& error) {
    auto db = SqliteDb::open(copy.path(), SqliteDb::Mode::ReadOnly, &error);
    if (db) {
        db->setStopCheck(stop);
    }
    return db;
}

std::string tableProblem(SqliteDb& db, const std::string& table) {
    switch (db.objectKind(table)) {
        case SqliteDb::ObjectKind::Table:
            return std::string();
        case SqliteDb::ObjectKind::Missing:
            return table + " is missing";
        case SqliteDb::ObjectKind::View:
        case SqliteDb::ObjectKind::Other:
            return table + " is damaged: it is not a table";
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

std::string columnOrNull(SqliteDb& db, const std::string& table, const std::string& column) {
    return hasColumnNamed(db, table, column) ? table + "." + column : std::string("NULL");
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

SqliteStatement prepareWantedColumns(SqliteDb& db, const std::vector<WantedColumn>& columns,
                                     const std::string& from) {
    std::string sql = "SELECT ";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const WantedColumn& c = columns[i];
        sql += i > 0 ? ", " : "";
        sql += c.table != nullptr ? columnOrNull(db, c.table, c.column) : std::string("NULL");
    }
    sql += " FROM " + from;
    return db.prepare(sql);
}

RecordDatabase RecordDatabase::open(const BackupFolder& folder, const DatabaseSource& source,
                                    const std::function<bool()>& stop) {
    RecordDatabase database;
    const StoredDatabase stored = locateStoredDatabase(folder, source);
    if (!stored.exists()) {
        return database;
    }
    database.state_ = State::Unreadable;
    database.copy_ = std::make_unique<PrivateDatabaseCopy>(folder, stored, source.key());
    if (database.copy_->path().empty()) {
        database.error_ = "it could not be copied";
        return database;
    }
    std::string why;
    auto db = openPrivateCopy(*database.copy_, stop, why);
    if (!db) {
        database.error_ = "it could not be opened: " + why;
        return database;
    }
    if (std::string problem = schemaProblem(*db); !problem.empty()) {
        database.error_ = problem;
        return database;
    }
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
      copy_(std::move(other.copy_)),
      db_(std::move(other.db_)) {
    other.state_ = State::Missing;
}

RecordDatabase& RecordDatabase::operator=(RecordDatabase&& other) noexcept {
    if (this != &other) {
        // The old database closes before its copy is removed.
        db_ = SqliteDb();
        copy_ = std::move(other.copy_);
        state_ = other.state_;
        error_ = std::move(other.error_);
        db_ = std::move(other.db_);
        other.state_ = State::Missing;
    }
    return *this;
}

RecordDatabase::~RecordDatabase() {
    db_.close();
}

std::string RecordDatabase::tableProblem(const std::string& table) {
    if (db_.objectKind(table) == SqliteDb::ObjectKind::Missing) {
        return "missing";
    }
    return backup::tableProblem(db_, table);
}

}  // namespace nimbara::backup
