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
// The same, where the backup stores the database's write-ahead log as a file of its own (a
// companion "<path>-wal" of the same domain has its own file key): the stored file at
// `walRelative` is copied beside the copy as "<scratchName>-wal" before the commit, so rows
// not yet checkpointed on the device are read too. An empty `walRelative`, or one that is not
// there, copies the database as prepareDatabaseCopy does; a log that cannot be copied fails.
std::optional<std::string> copyDatabaseWithCompanions(const BackupFolder& folder,
                                                      const std::string& relative,
                                                      const std::string& walRelative,
                                                      const std::string& scratchName);
// The same for the database at `sourcePath`, read from the folder that holds it.
std::optional<std::string> prepareDatabaseCopy(const std::string& sourcePath,
                                               const std::string& scratchName);

}  // namespace nimbara::backup
