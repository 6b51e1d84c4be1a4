// Databases taken from a backup are never opened in place: each is copied, with its write-ahead
// log, into the private scratch folder and made self-contained there before it is queried.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace nimbara::backup {

class BackupFolder;

// Opens the database, switches it to write-ahead logging and runs a passive checkpoint so that
// rows still in its "-wal" file land in the main file. False (with "Failed to commit" on standard
// output when the checkpoint fails) when the database cannot be opened or changed.
bool commitDB(const std::string& databasePath);

// Copies the database at `relative` inside `folder` and any "-wal" / "-shm" beside it into the
// scratch folder "DB" as `scratchName`, removing copies left there by an earlier run, then runs
// commitDB on the copy. Each file is reached as BackupFolder reaches files: never through a
// link. Returns the copy's path, or nullopt when the source is missing or not a regular file,
// `scratchName` is not a plain file name, or the copy fails. The source is only read.
std::optional<std::string> prepareDatabaseCopy(const BackupFolder& folder,
                                               const std::string& relative,
                                               const std::string& scratchName);
// A file that belongs with a backed-up database but is stored under a key of its own: the
// manifest lists a "-wal" beside "Library/SMS/sms.db" as "Library/SMS/sms.db-wal" of the same
// domain. `relative` names the stored file inside the backup folder; `suffix` ("-wal") is what
// the copy's name gets so that SQLite finds it beside the database.
struct DatabaseCompanion {
    std::string suffix;
    std::string relative;
};

// What a copy does with the write-ahead log copied beside it.
enum class CopyLog {
    Fold,  // commitDB folds it into the copy, as a reader of the rows wants
    Keep,  // the copy and its "-wal" stay byte for byte as stored, as a reader of the free
           // space in both files wants
};

// As prepareDatabaseCopy, with the companions copied beside the copy under the database's name
// plus their suffix (instead of files named after the stored database), before commitDB folds
// the log in (unless `log` keeps it). A companion that is not there is skipped; one that cannot
// be copied fails the copy.
std::optional<std::string> copyDatabaseWithCompanions(
    const BackupFolder& folder, const std::string& relative,
    const std::vector<DatabaseCompanion>& companions, const std::string& scratchName,
    CopyLog log = CopyLog::Fold);

// A private copy of a backed-up database that removes itself (with its log files) when it goes.
class DatabaseScratchCopy {
  public:
    DatabaseScratchCopy() = default;
    // Copies as copyDatabaseWithCompanions does, under `baseName` with a number added so that
    // copies made at the same time never share a name. `path()` is empty when the copy failed
    // or `relative` is empty.
    DatabaseScratchCopy(const BackupFolder& folder, const std::string& relative,
                        const std::vector<DatabaseCompanion>& companions,
                        const std::string& baseName, CopyLog log = CopyLog::Fold);
    ~DatabaseScratchCopy();
    DatabaseScratchCopy(const DatabaseScratchCopy&) = delete;
    DatabaseScratchCopy& operator=(const DatabaseScratchCopy&) = delete;

    const std::string& path() const { return path_; }

    // Folds a kept log into the copy now (once its raw bytes have been read), so that the copy
    // can be queried; false when that fails (the main file can still be read as it is).
    bool foldLog() const;

  private:
    std::string path_;
};

// The same, where the backup stores the database's write-ahead log as a file of its own (a
// companion "<path>-wal" of the same domain has its own file key): the stored file at
// `walRelative` is copied beside the copy as "<scratchName>-wal" before the commit, so rows
// not yet checkpointed on the device are read too. An empty `walRelative`, or one that is not
// there, copies the database as prepareDatabaseCopy does; a log that cannot be copied fails.
std::optional<std::string> copyDatabaseWithCompanions(const BackupFolder& folder,
                                                      const std::string& relative,
                                                      const std::string& walRelative,
                                                      const std::string& scratchName);
// The companions copied beside a stored database: its log stored under a key of its own
// (`walRelative`) when the folder holds it, else the log and index files stored beside it.
std::vector<DatabaseCompanion> storedCompanions(const BackupFolder& source,
                                                const std::string& relative,
                                                const std::string& walRelative);
// The same for the database at `sourcePath`, read from the folder that holds it.
std::optional<std::string> prepareDatabaseCopy(const std::string& sourcePath,
                                               const std::string& scratchName);

}  // namespace nimbara::backup
