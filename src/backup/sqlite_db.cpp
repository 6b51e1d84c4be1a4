#include "backup/sqlite_db.h"

#include "platform/failure_reason.h"

#include <utility>

namespace nimbara {

namespace {

// Steps of SQLite's engine between two looks at the stop check and the memory ceiling.
constexpr int kProgressSteps = 1000;

// Called by SQLite while a statement runs; non-zero interrupts it.
int watchStatement(void* context) {
    auto* guard = static_cast<detail::SqliteGuard*>(context);
    if (guard->stopRequested && guard->stopRequested()) {
        guard->abort = SqliteAbort::Stopped;
        return 1;
    }
    if (sqlite3_memory_used() > kSqliteMemoryCeiling) {
        guard->abort = SqliteAbort::MemoryLimit;
        return 1;
    }
    return 0;
}

}  // namespace

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& o) noexcept {
    if (this != &o) {
        if (stmt_ != nullptr) {
            sqlite3_finalize(stmt_);
        }
        stmt_ = std::exchange(o.stmt_, nullptr);
        guard_ = std::move(o.guard_);
        lastStep_ = o.lastStep_;
        rows_ = o.rows_;
        abort_ = o.abort_;
    }
    return *this;
}

SqliteStatement::~SqliteStatement() {
    if (stmt_ != nullptr) {
        sqlite3_finalize(stmt_);
    }
}

bool SqliteStatement::noteFailure(int result, const char* call) {
    if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE) {
        return false;
    }
    if (!guard_) {
        return true;
    }
    std::string reason;
    switch (abort_) {
        case SqliteAbort::Stopped:
            reason = "stopped";
            break;
        case SqliteAbort::RowLimit:
            reason = "more than " + std::to_string(guard_->rowLimit) + " rows";
            break;
        case SqliteAbort::MemoryLimit:
            reason = "SQLite's memory ran past its limit";
            break;
        case SqliteAbort::None:
            // The connection's message belongs to its last call, which was this one.
            if (stmt_ != nullptr && sqlite3_errcode(sqlite3_db_handle(stmt_)) != SQLITE_OK) {
                reason = sqlite3_errmsg(sqlite3_db_handle(stmt_));
            } else {
                reason = sqlite3_errstr(result);
            }
            break;
    }
    guard_->error = failureReason(reason, call);
    return true;
}

bool SqliteStatement::bind(int index, std::int64_t value) {
    return stmt_ != nullptr &&
           !noteFailure(sqlite3_bind_int64(stmt_, index, static_cast<sqlite3_int64>(value)),
                        "binding a parameter");
}

bool SqliteStatement::bind(int index, const QString& value) {
    return bind(index, value.toStdString());
}

bool SqliteStatement::bind(int index, const std::string& value) {
    return stmt_ != nullptr &&
           !noteFailure(sqlite3_bind_text(stmt_, index, value.data(),
                                          static_cast<int>(value.size()), SQLITE_TRANSIENT),
                        "binding a parameter");
}

bool SqliteStatement::bind(int index, const QByteArray& blob) {
    return stmt_ != nullptr &&
           !noteFailure(sqlite3_bind_blob(stmt_, index, blob.constData(),
                                          static_cast<int>(blob.size()), SQLITE_TRANSIENT),
                        "binding a parameter");
}

bool SqliteStatement::bindNull(int index) {
    return stmt_ != nullptr && !noteFailure(sqlite3_bind_null(stmt_, index), "binding a parameter");
}

bool SqliteStatement::step() {
    if (stmt_ == nullptr) {
        lastStep_ = SQLITE_MISUSE;
        return false;
    }
    if (abort_ != SqliteAbort::None) {
        return false;  // cut short: stays ended until reset
    }
    if (guard_) {
        guard_->abort = SqliteAbort::None;
    }
    lastStep_ = sqlite3_step(stmt_);
    if (lastStep_ == SQLITE_ROW) {
        if (guard_ && rows_ >= guard_->rowLimit) {
            abort_ = SqliteAbort::RowLimit;
            lastStep_ = SQLITE_ABORT;
            noteFailure(lastStep_, "running the statement");
            return false;
        }
        ++rows_;
        return true;
    }
    if (lastStep_ == SQLITE_INTERRUPT && guard_) {
        abort_ = guard_->abort;
    }
    noteFailure(lastStep_, "running the statement");
    return false;
}

void SqliteStatement::reset() {
    if (stmt_ != nullptr) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    lastStep_ = SQLITE_OK;
    rows_ = 0;
    abort_ = SqliteAbort::None;
}

int SqliteStatement::columnCount() const {
    return stmt_ != nullptr ? sqlite3_column_count(stmt_) : 0;
}

bool SqliteStatement::isNull(int column) const {
    return stmt_ == nullptr || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::columnInt64(int column) const {
    return stmt_ != nullptr ? sqlite3_column_int64(stmt_, column) : 0;
}

double SqliteStatement::columnDouble(int column) const {
    return stmt_ != nullptr ? sqlite3_column_double(stmt_, column) : 0.0;
}

std::string SqliteStatement::columnString(int column) const {
    return std::string(columnTextView(column));
}

std::string_view SqliteStatement::columnView(int column, bool text) const {
    if (stmt_ == nullptr) {
        return {};
    }
    // The bytes are asked for after the value, in the form asked for, as SQLite wants it.
    const void* data = text ? static_cast<const void*>(sqlite3_column_text(stmt_, column))
                            : sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (data == nullptr || size <= 0) {
        return {};
    }
    return {static_cast<const char*>(data), static_cast<std::size_t>(size)};
}

QString SqliteStatement::columnText(int column) const {
    const std::string s = columnString(column);
    return s.empty() ? QLatin1String("")
                     : QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QByteArray SqliteStatement::columnBlob(int column) const {
    if (stmt_ == nullptr || sqlite3_column_type(stmt_, column) == SQLITE_NULL) {
        return {};
    }
    const void* data = sqlite3_column_blob(stmt_, column);
    const int size = sqlite3_column_bytes(stmt_, column);
    if (data == nullptr || size <= 0) {
        return QByteArray("");
    }
    return QByteArray(static_cast<const char*>(data), size);
}

SqliteDb::SqliteDb(sqlite3* db) : db_(db), guard_(std::make_shared<detail::SqliteGuard>()) {
    sqlite3_progress_handler(db_, kProgressSteps, &watchStatement, guard_.get());
}

SqliteDb& SqliteDb::operator=(SqliteDb&& o) noexcept {
    if (this != &o) {
        close();
        db_ = std::exchange(o.db_, nullptr);
        guard_ = std::move(o.guard_);
        error_ = std::move(o.error_);
    }
    return *this;
}

void SqliteDb::fail(std::string reason) {
    (guard_ ? guard_->error : error_) = failureReason(reason, "the database call");
}

void SqliteDb::setStopCheck(std::function<bool()> stop) {
    if (guard_) {
        guard_->stopRequested = std::move(stop);
    }
}

void SqliteDb::setRowLimit(std::int64_t rows) {
    if (guard_) {
        guard_->rowLimit = rows;
    }
}

SqliteDb::~SqliteDb() {
    close();
}

void SqliteDb::close() {
    if (db_ != nullptr) {
        // close_v2 defers the close until outstanding statements are finalized.
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

std::optional<SqliteDb> SqliteDb::open(const std::string& path, Mode mode, std::string* error,
                                       bool immutable) {
    int flags = SQLITE_OPEN_NOMUTEX;
    switch (mode) {
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
        case Mode::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Mode::ReadWriteCreate:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
    }
    std::string name = path;
    if (immutable) {
        // A URI keeps SQLite from creating journal or lock files beside the database. The path
        // is percent-encoded so that '?' and '#' in it stay part of the file name.
        flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_URI;
        std::string uri = "file:";
        static const char* hex = "0123456789ABCDEF";
        for (unsigned char c : path) {
            if (c == '%' || c == '?' || c == '#' || c < 0x21 || c >= 0x7f) {
                uri += '%';
                uri += hex[c >> 4];
                uri += hex[c & 0xF];
            } else {
                uri += static_cast<char>(c);
            }
        }
        name = uri + "?immutable=1";
        flags |= SQLITE_OPEN_NOFOLLOW;
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(name.c_str(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        if (error != nullptr) {
            *error = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        }
        if (db != nullptr) {
            sqlite3_close_v2(db);
        }
        return std::nullopt;
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 2000);
    if (mode == Mode::ReadOnly || immutable) {
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, kSqliteReadOnlyValueLimit);
    }
    return SqliteDb(db);
}

SqliteStatement SqliteDb::prepare(const std::string& sql) {
    if (db_ == nullptr) {
        fail("database not open");
        return {};
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        fail(sqlite3_errmsg(db_));
        if (stmt != nullptr) {
            sqlite3_finalize(stmt);
        }
        return {};
    }
    return SqliteStatement(stmt, guard_);
}

bool SqliteDb::exec(const std::string& sql) {
    if (db_ == nullptr) {
        fail("database not open");
        return false;
    }
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        fail(message != nullptr ? message : sqlite3_errmsg(db_));
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool SqliteDb::hasTable(const std::string& name) {
    SqliteStatement st =
        prepare("SELECT 1 FROM sqlite_master WHERE type IN ('table','view') AND name = ?1");
    return st.valid() && st.bind(1, name) && st.step();
}

SqliteDb::ObjectKind SqliteDb::objectKind(const std::string& name) {
    SqliteStatement st = prepare(
        "SELECT type FROM sqlite_master WHERE name = ?1 COLLATE NOCASE ORDER BY type = 'table' "
        "DESC LIMIT 1");
    if (!st.valid() || !st.bind(1, name) || !st.step()) {
        return ObjectKind::Missing;
    }
    const std::string type = st.columnString(0);
    return type == "table"  ? ObjectKind::Table
           : type == "view" ? ObjectKind::View
                            : ObjectKind::Other;
}

bool SqliteDb::hasColumn(const std::string& table, const std::string& column) {
    SqliteStatement st = prepare("SELECT 1 FROM pragma_table_info(?1) WHERE name = ?2");
    return st.valid() && st.bind(1, table) && st.bind(2, column) && st.step();
}

}  // namespace nimbara
