// How the privacy cleaner changes a database of the working copy, always the same way: a
// private copy of the stored database is made in the copy's staging folder with the log the
// backup keeps for it (so rows still in the log are edited too), and changed there in one
// transaction (BEGIN IMMEDIATE, statements with bound parameters, every step checked, ROLLBACK on
// any error). Only when the transaction committed, "PRAGMA integrity_check" says "ok" and VACUUM
// rewrote the file (so removed rows do not linger in free pages) is the private copy renamed
// over the stored file. Nothing of the log is left beside it: logs stored beside the database are
// removed, and the logs the backup lists under their own keys are emptied so that a restored
// device cannot replay the removed rows.
//
// The compaction is kept only when it left every row id as it was: VACUUM may renumber the rows
// of a table without an INTEGER PRIMARY KEY, and device databases link rows by those numbers (an
// old note's body names its note's row id). The removed rows are overwritten either way
// (secure_delete), so none lingers in a free page.
//
// Device databases carry triggers that call functions of the device's own. The cleaner stands in
// for the ones whose work it does itself (a removed attachment's file); a trigger that calls any
// other fails the edit with a message naming the function, before anything changed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"
#include "privacy/privacy_source.h"

namespace nimbara::privacy {

class ManifestChanges;
class PrivacyWorkingCopy;

// Runs inside the transaction; false (with `error`) rolls it back.
using DatabaseChange = std::function<bool(SqliteDb& db, std::string& error)>;
// Asked while statements run; true ends the edit (rolled back, nothing changed). May be empty.
using EditStopCheck = std::function<bool()>;

// Edits the database at `relative` in the working copy as described above, with the log stored at
// `walRelative` (may be empty; a log beside the database is taken otherwise). `stagedName` names
// the private copy (a plain file name).
bool editDatabaseFile(PrivacyWorkingCopy& copy, const std::string& relative,
                      const std::string& walRelative, const std::string& stagedName,
                      const DatabaseChange& change, std::string& error,
                      const EditStopCheck& stop = {});

// The same for a stored database of the backup; the new size and digest of the database, and the
// emptied logs, are noted in `changes`.
bool editStoredDatabase(PrivacyWorkingCopy& copy, const PrivacySource& source,
                        const DatabaseChange& change, ManifestChanges& changes, std::string& error,
                        const EditStopCheck& stop = {});

// The device functions the cleaner stands in for, registered on `db` (each does nothing).
void registerDeviceFunctions(sqlite3* db);

// Why `sql` could not be prepared on `db`, in words: a trigger's device-only function is named.
std::string preparationProblem(SqliteDb& db, const std::string& sql);

// A statement run once per key: its first parameter is bound to the key each time.
class KeyedStatement {
  public:
    KeyedStatement(SqliteDb& db, std::string sql);

    // Runs with ?1 = `key`, handing each row to `onRow` (may be empty). False (with `error`)
    // when the statement cannot be prepared or fails.
    bool run(std::int64_t key, std::string& error,
             const std::function<void(const SqliteStatement&)>& onRow = {});
    // The integers of the first column (NULLs left out).
    bool integers(std::int64_t key, std::vector<std::int64_t>& out, std::string& error);
    // Whether the statement gives a row.
    bool any(std::int64_t key, bool& found, std::string& error);
    // Rows the last run changed.
    int changes() const { return changes_; }

  private:
    SqliteDb& db_;
    std::string sql_;
    SqliteStatement statement_;
    bool prepared_ = false;
    int changes_ = 0;
};

// True when `table` is a real table of `db` with every one of `columns`.
bool hasTableWith(SqliteDb& db, const std::string& table,
                  std::initializer_list<const char*> columns = {});

}  // namespace nimbara::privacy
