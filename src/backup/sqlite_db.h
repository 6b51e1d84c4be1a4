// A small RAII layer over the SQLite C API. Databases and statements close themselves; failures
// come back as values (an empty optional or a false result with `lastError()`), never as
// exceptions. Statements take bound parameters only.
#pragma once

#include <sqlite3.h>

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace nimbara {

class SqliteStatement {
  public:
    SqliteStatement() = default;
    explicit SqliteStatement(sqlite3_stmt* stmt) : stmt_(stmt) {}
    SqliteStatement(SqliteStatement&& o) noexcept : stmt_(o.stmt_) { o.stmt_ = nullptr; }
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

    sqlite3_stmt* handle() const { return stmt_; }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int lastStep_ = SQLITE_OK;
};

class SqliteDb {
  public:
    enum class Mode { ReadOnly, ReadWrite, ReadWriteCreate };

    SqliteDb() = default;
    SqliteDb(SqliteDb&& o) noexcept : db_(o.db_), error_(std::move(o.error_)) { o.db_ = nullptr; }
    SqliteDb& operator=(SqliteDb&& o) noexcept;
    SqliteDb(const SqliteDb&) = delete;
    SqliteDb& operator=(const SqliteDb&) = delete;
    ~SqliteDb();

    // Opens `path` (a file name, not a URI). `immutable` opens read-only without any locking or
    // journal files, for databases that must not change (a backup's manifest). Returns nullopt and
    // stores nothing when the file cannot be opened; `error` (if given) receives the reason.
    static std::optional<SqliteDb> open(const std::string& path, Mode mode,
                                        std::string* error = nullptr, bool immutable = false);

    bool isOpen() const { return db_ != nullptr; }
    void close();

    // A prepared statement; invalid (check `valid()`) when the SQL does not compile, with the
    // reason in `lastError()`.
    SqliteStatement prepare(const std::string& sql);
    // Runs statements without parameters or results (PRAGMA, schema). False on error.
    bool exec(const std::string& sql);
    // True when a table (or view) of that name exists.
    bool hasTable(const std::string& name);
    // True when `table` has a column named `column`.
    bool hasColumn(const std::string& table, const std::string& column);

    const std::string& lastError() const { return error_; }
    sqlite3* handle() const { return db_; }

  private:
    explicit SqliteDb(sqlite3* db) : db_(db) {}
    sqlite3* db_ = nullptr;
    std::string error_;
};

}  // namespace nimbara
