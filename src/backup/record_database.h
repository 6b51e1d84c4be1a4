// What the record readers share to reach a backed-up database: find it by its file key, copy
// it (with the write-ahead log the backup stores for it) into the private scratch folder, and
// read it knowing that a real device's database may lack tables and columns, or hold a view, a
// NULL or a BLOB where a reader expects something else.
#pragma once

#include "backup/sqlite_db.h"

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace nimbara::backup {

class BackupFolder;

// The name of the stored file with `key` inside `folder`: "<kk>/<key>" (two-digit subfolders)
// first, then "<key>" (flat); empty when neither is a regular file reached without a link or
// `key` is not a 40-digit lower-case key.
std::string locateStoredFile(const BackupFolder& folder, const std::string& key);

// A database a backup stores as (domain, path): its stored file and the stored file of its
// companion "<path>-wal" of the same domain (empty when the backup holds none).
struct StoredDatabase {
    std::string relative;
    std::string walRelative;

    bool exists() const { return !relative.empty(); }
};
StoredDatabase locateStoredDatabase(const BackupFolder& folder, const std::string& key,
                                    std::string_view domain, std::string_view path);

// A private copy of a stored database with its log folded in, removed (with its journals) when
// the object goes. `path()` is empty when the copy could not be made.
class PrivateDatabaseCopy {
  public:
    PrivateDatabaseCopy(const BackupFolder& folder, const StoredDatabase& database,
                        const std::string& scratchBase);
    ~PrivateDatabaseCopy();
    PrivateDatabaseCopy(const PrivateDatabaseCopy&) = delete;
    PrivateDatabaseCopy& operator=(const PrivateDatabaseCopy&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Empty when `table` is a real table; else why not ("X is missing", or "X is damaged: it is not
// a table": a view there could run forever).
std::string tableProblem(SqliteDb& db, const char* table);

// Empty when the database's schema can be read; else why not (a damaged or foreign file opens
// without complaint and fails at its first read).
std::string schemaProblem(SqliteDb& db);

// Why a query of the named table ended before its last row, for the log; empty when it ran to
// its end or was stopped.
std::string queryProblem(const SqliteStatement& st, const char* table, SqliteDb& db);

// `table.column` when the table has that column, else "NULL", for a query that reads what a
// reduced schema holds and leaves the rest empty. Both names come from the reader, never from
// the database.
std::string columnOrNull(SqliteDb& db, const char* table, const char* column);

// A number stored as an integer, a real or a decimal text; nullopt for NULL, a BLOB or a text
// that is no number.
std::optional<double> columnNumber(const SqliteStatement& st, int column);

}  // namespace nimbara::backup
