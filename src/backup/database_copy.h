// Databases taken from a backup are never opened in place: each is copied, with its write-ahead
// log, into the private scratch folder and made self-contained there before it is queried.
#pragma once

#include <optional>
#include <string>

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
// The same for a database whose write-ahead log is stored under a name of its own, as a backup
// stores every file under its file key: `walRelative` (empty, or missing in the folder: no log)
// is copied beside the copy as its "-wal", so that rows not yet checkpointed are read too.
std::optional<std::string> copyDatabaseWithCompanions(const BackupFolder& folder,
                                                      const std::string& relative,
                                                      const std::string& walRelative,
                                                      const std::string& scratchName);
// The same for the database at `sourcePath`, read from the folder that holds it.
std::optional<std::string> prepareDatabaseCopy(const std::string& sourcePath,
                                               const std::string& scratchName);

}  // namespace nimbara::backup
