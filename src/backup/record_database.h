// What the record readers share to reach a backed-up database: find it by its file key in
// either storage layout, copy it (with the write-ahead log the backup stores for it) into the
// private scratch folder, open the copy read-only, and read it knowing that a real device's
// database may lack tables and columns, or hold a view, a NULL or a BLOB where a reader expects
// something else. The backup itself is only read.
//
// Queries are built from the columns a table really has (a missing column reads as NULL, a
// missing table gives no rows), and a view standing where a table belongs is damage (it could
// run forever).
#pragma once

#include "backup/backup_folder.h"
#include "backup/backup_scan.h"
#include "backup/database_copy.h"
#include "backup/sqlite_db.h"
#include "platform/log_categories.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara::backup {

// Where a device keeps a database: its backup domain and path. Its file key and that of its
// "-wal" companion follow from them.
struct DatabaseSource {
    const char* domain;
    const char* relativePath;

    std::string key() const;
    std::string walKey() const;
};

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
StoredDatabase locateStoredDatabase(const BackupFolder& folder, const DatabaseSource& source);

// A private copy of a stored database with its log folded in, removed (with its journals) when
// the object goes. `path()` is empty when the copy could not be made.
class PrivateDatabaseCopy : public DatabaseScratchCopy {
  public:
    PrivateDatabaseCopy(const BackupFolder& folder, const StoredDatabase& database,
                        const std::string& scratchBase);
};

// The copy opened read-only, with `stop` (may be empty) interrupting its running statements;
// nullopt with `error` saying why when it cannot be opened.
std::optional<SqliteDb> openPrivateCopy(const DatabaseScratchCopy& copy,
                                        const std::function<bool()>& stop, std::string& error);

// Empty when `table` is a real table; else why not ("X is missing", or "X is damaged: it is not
// a table": a view there could run forever).
std::string tableProblem(SqliteDb& db, const std::string& table);

// Empty when the database's schema can be read; else why not (a damaged or foreign file opens
// without complaint and fails at its first read).
std::string schemaProblem(SqliteDb& db);

// Why a query of the named table ended before its last row, for the log; empty when it ran to
// its end or was stopped.
std::string queryProblem(const SqliteStatement& st, const std::string& table, SqliteDb& db);

// True when `table` is a real table with `column` (names compared as SQLite compares them,
// without regard to case; "ROWID" every table has).
bool hasColumnNamed(SqliteDb& db, const std::string& table, const std::string& column);

// `table.column` when the table has that column, else "NULL", for a query that reads what a
// reduced schema holds and leaves the rest empty. Both names come from the reader, never from
// the database.
std::string columnOrNull(SqliteDb& db, const std::string& table, const std::string& column);

// A number stored as an integer, a real or a decimal text; nullopt for NULL, a BLOB or a text
// that is no number.
std::optional<double> columnNumber(const SqliteStatement& st, int column);

// A column a query wants: `table`.`column`, read as NULL when the table lacks it (or when
// `table` is null: a column this layout never has).
struct WantedColumn {
    const char* table;
    const char* column;
};

// "SELECT <columns> FROM <from>" where every wanted column the table lacks stands as NULL, so
// the statement's columns keep their positions whatever the schema. `from` and the names are
// the reader's own constants, never text from the backup.
SqliteStatement prepareWantedColumns(SqliteDb& db, const std::vector<WantedColumn>& columns,
                                     const std::string& from);

// A stored database found, privately copied and opened in one step, for the readers of a
// family kept in one of several databases.
class RecordDatabase {
  public:
    enum class State {
        Missing,     // the backup does not hold it
        Unreadable,  // it is there but cannot be copied or opened (`error` says why)
        Open,
    };

    // Finds `source` in the folder and opens a private copy of it (with its log, when the
    // backup holds one). `stop` (may be empty) interrupts running statements.
    static RecordDatabase open(const BackupFolder& folder, const DatabaseSource& source,
                               const std::function<bool()>& stop = {});

    RecordDatabase() = default;
    RecordDatabase(RecordDatabase&& other) noexcept;
    RecordDatabase& operator=(RecordDatabase&& other) noexcept;
    RecordDatabase(const RecordDatabase&) = delete;
    RecordDatabase& operator=(const RecordDatabase&) = delete;
    ~RecordDatabase();

    State state() const { return state_; }
    const std::string& error() const { return error_; }
    SqliteDb& db() { return db_; }

    // Empty when `table` is a real table; "missing" when there is none; else the damage.
    std::string tableProblem(const std::string& table);
    bool hasTable(const std::string& table) {
        return db_.objectKind(table) == SqliteDb::ObjectKind::Table;
    }

  private:
    State state_ = State::Missing;
    std::string error_;
    // Declared before the database so that the database closes before its copy goes.
    std::unique_ptr<PrivateDatabaseCopy> copy_;
    SqliteDb db_;
};

// The first of `sources` (in order) that the backup holds, opened; `index` is its place in
// the list, -1 (with a Missing database) when the backup holds none of them.
struct FoundDatabase {
    int index = -1;
    RecordDatabase database;
};
FoundDatabase openFirstDatabase(const BackupFolder& folder,
                                const std::vector<const DatabaseSource*>& sources,
                                const std::function<bool()>& stop = {});

// What a record reader read (and posted) of a family kept in one of several databases.
template <class Node>
struct RecordReadResult {
    bool ok = false;             // the records were read to their end (or there were none)
    bool databaseFound = false;  // the backup holds one of the family's databases (read or not)
    std::string fileKey;         // the key of the database read
    std::string table;           // the table the records were read from
    std::string keyColumn;       // its primary-key column, whose value is each record's row id
    std::string error;           // why not, when !ok: a line for the log
    std::vector<std::shared_ptr<Node>> records;  // in row order
    bool progressPosted = false;                 // the reader posted its end notification
    bool stopped = false;  // the stop check ended the read; nothing more was posted
};

// How a walk over a statement's rows ended.
enum class RowsEnd { Done, Stopped, Failed };

// Calls `onRow(st)` for every row of `st`, checking `stop` (may be empty) before each. Failed:
// the statement broke off (`queryProblem` says why).
template <class OnRow>
RowsEnd forEachRow(SqliteStatement& st, const std::function<bool()>& stop, OnRow&& onRow) {
    while (st.step()) {
        if (stop && stop()) {
            return RowsEnd::Stopped;
        }
        onRow(st);
    }
    if (st.abortReason() == SqliteAbort::Stopped) {
        return RowsEnd::Stopped;
    }
    return st.done() ? RowsEnd::Done : RowsEnd::Failed;
}

// A backup scan step's report on a family read from the first of `sources` the backup holds
// (`result` has stopped, databaseFound, ok, progressPosted and error). A backup without any of
// them has none of its records: no damage, though the backup is incomplete when its file list
// (`records`, may be null) names one it does not hold. Only a database that is there and cannot
// be read fails the step, with `failure` for the user and `family` in the log.
template <class Result, class Records>
ScanStepReport recordStepReport(const Result& result, const Records* records,
                                const std::vector<const DatabaseSource*>& sources,
                                const char* family, const QString& failure) {
    if (result.stopped) {
        return ScanStepReport{ScanStepOutcome::Stopped, QString()};
    }
    ScanStepReport report{ScanStepOutcome::Done, QString(), result.progressPosted};
    if (!result.databaseFound) {
        for (const DatabaseSource* source : sources) {
            report.incomplete = report.incomplete || (records && records->isListed(source->key()));
        }
    } else if (!result.ok) {
        qCWarning(lcBackup, "Backup scan: %s: %s", family, result.error.c_str());
        report.outcome = ScanStepOutcome::Failed;
        report.message = failure;
    }
    return report;
}

}  // namespace nimbara::backup
