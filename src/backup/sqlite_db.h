// A small RAII layer over the SQLite C API. Databases and statements close themselves; failures
// come back as values (an empty optional or a false result with `lastError()`), never as
// exceptions. Statements take bound parameters only.
//
// Databases from a backup are untrusted: a table may be a view that never ends, or hold far more
// rows than any device writes. Every connection therefore watches its statements while they run:
// a stop check (when one is set) interrupts a statement within a few thousand steps of SQLite's
// engine, a statement returns at most a row limit's worth of rows, and SQLite's memory is capped.
// A statement cut short that way ends as an error whose reason `abortReason()` names.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nimbara {

// Why a statement ended before its last row.
enum class SqliteAbort {
    None,         // it did not (or it failed for a reason of SQLite's own)
    Stopped,      // the connection's stop check asked for it
    RowLimit,     // it returned the connection's row limit and had more
    MemoryLimit,  // SQLite's memory passed the ceiling while it ran
};

// Rows one statement may return unless the connection says otherwise: far above any real backup.
inline constexpr std::int64_t kSqliteDefaultRowLimit = 5'000'000;
// SQLite's own memory (all connections of the process) above which running statements stop.
inline constexpr std::int64_t kSqliteMemoryCeiling = 1024ll * 1024 * 1024;
// The longest text or blob a read-only connection reads.
inline constexpr int kSqliteReadOnlyValueLimit = 256 * 1024 * 1024;

namespace detail {
// What a connection's statements share: the stop check, the row limit and the last abort.
struct SqliteGuard {
    std::function<bool()> stopRequested;
    std::int64_t rowLimit = kSqliteDefaultRowLimit;
    SqliteAbort abort = SqliteAbort::None;
    // Why the connection's last failed call failed (a statement's step or bind included).
    std::string error;
};
}  // namespace detail

class SqliteStatement {
  public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* stmt,
                             std::shared_ptr<detail::SqliteGuard> guard = nullptr)
        : stmt_(stmt), guard_(std::move(guard)) {}
    SqliteStatement(SqliteStatement&& o) noexcept
        : stmt_(o.stmt_), guard_(std::move(o.guard_)), lastStep_(o.lastStep_), rows_(o.rows_) {
        o.stmt_ = nullptr;
    }
    SqliteStatement& operator=(SqliteStatement&& o) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;
    ~SqliteStatement();

    bool valid() const { return stmt_ != nullptr; }

    // Parameters are numbered from 1. Each returns false when SQLite refuses the value.
    bool bind(int index, std::int64_t value);
    bool bind(int index, const QString& value);
    bool bind(int index, const std::string& value);
    bool bind(int index, const QByteArray& blob);
    bool bindNull(int index);

    // Advances to the next row: true while a row is available. `done()` tells a normal end
    // apart from an error after step() returned false.
    bool step();
    bool done() const { return lastStep_ == SQLITE_DONE; }
    int lastResult() const { return lastStep_; }
    // Why the statement was cut short (None when it was not).
    SqliteAbort abortReason() const { return abort_; }
    // Rewinds the statement and clears its bindings, for running it again.
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    std::int64_t columnInt64(int column) const;
    int columnInt(int column) const { return static_cast<int>(columnInt64(column)); }
    double columnDouble(int column) const;
    // Text as UTF-8; empty (not null) for NULL.
    QString columnText(int column) const;
    std::string columnString(int column) const;
    // Blob bytes; a null QByteArray for NULL.
    QByteArray columnBlob(int column) const;
    // The same bytes without a copy, valid until the next step or reset: the text as UTF-8, or
    // the blob. Empty for NULL.
    std::string_view columnTextView(int column) const { return columnView(column, true); }
    std::string_view columnBlobView(int column) const { return columnView(column, false); }

    sqlite3_stmt* handle() const { return stmt_; }

  private:
    std::string_view columnView(int column, bool text) const;
    // Keeps why `result` (an SQLite result code) is a failure, for the connection's lastError().
    bool noteFailure(int result, const char* call);

    sqlite3_stmt* stmt_ = nullptr;
    std::shared_ptr<detail::SqliteGuard> guard_;
    int lastStep_ = SQLITE_OK;
    std::int64_t rows_ = 0;
    SqliteAbort abort_ = SqliteAbort::None;
};

class SqliteDb {
  public:
    enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };

    // The kind of a schema object, as sqlite_master names it.
    enum class ObjectKind { Missing, Table, View, Other };

    SqliteDb() = default;
    SqliteDb(SqliteDb&& o) noexcept
        : db_(o.db_), guard_(std::move(o.guard_)), error_(std::move(o.error_)) {
        o.db_ = nullptr;
    }
    SqliteDb& operator=(SqliteDb&& o) noexcept;
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;
    ~SqliteDb();

    // Opens `path` (a file name, not a URI). `immutable` opens read-only without any locking or
    // journal files, for databases that must not change (a backup's manifest); the last name of
    // such a path must not be a link. Returns nullopt and stores nothing when the file cannot be
    // opened; `error` (if given) receives the reason.
    static std::optional<SqliteDb> open(const std::string& path, Mode mode,
                                        std::string* error = nullptr, bool immutable = false);

    // Running statements are interrupted once `stop` returns true (checked every few thousand
    // steps of SQLite's engine, on the thread running the statement). Empty: never.
    void setStopCheck(std::function<bool()> stop);
    // The most rows one statement of this connection returns before it is cut short.
    void setRowLimit(std::int64_t rows);

    bool isOpen() const { return db_ != nullptr; }
    void close();

    // A prepared statement; invalid (check `valid()`) when the SQL does not compile, with the
    // reason in `lastError()`.
    SqliteStatement prepare(const std::string& sql);
    // Runs statements without parameters or results (PRAGMA, schema). False on error.
    bool exec(const std::string& sql);
    // True when a table (or view) of that name exists.
    bool hasTable(const std::string& name);
    // What stands under `name` (compared as SQLite compares names, without regard to case). A
    // reader of untrusted data reads only a Table where it expects one.
    ObjectKind objectKind(const std::string& name);
    // True when `table` has a column named `column`.
    bool hasColumn(const std::string& table, const std::string& column);

    // Why the last failed call on this connection failed: preparing, running or binding a
    // statement, or exec. Never empty after a failure.
    const std::string& lastError() const { return guard_ ? guard_->error : error_; }
    sqlite3* handle() const { return db_; }

  private:
    explicit SqliteDb(sqlite3* db);
    void fail(std::string reason);
    sqlite3* db_ = nullptr;
    std::shared_ptr<detail::SqliteGuard> guard_;
    std::string error_;
};

}  // namespace nimbara
