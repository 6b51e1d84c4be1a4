// Reader of the SQLite file list of newer backups (Manifest.db, table Files). The database is
// opened read-only and immutable, so reading never changes the backup.
#pragma once

#include "backup/backup_entry.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbara::backup {

struct ManifestDbReadResult {
    std::vector<BackupEntry> entries;
    std::string error;  // empty on success
    bool ok() const { return error.empty(); }
};

// Rows without a domain are left out, and so are rows whose fileID is not a 40-digit hex key
// (such a name could point outside the backup folder). Size and mode come from the archived file
// description when it has them, else they are 0. The row's flags tell files, folders and links
// apart (the mode does for a row with other flags).
//
// Only a real table named Files is read: a view in its place (which could run forever) is
// damage, and so is a list of more rows than kSqliteDefaultRowLimit. The database is opened by
// name, so its last name must not be a link (BackupFolder checks the names above it).
ManifestDbReadResult readManifestDb(const std::string& path);

// The same, handing each entry to `visit` as its row is read. `stop` (may be empty) is checked
// while the query runs, also inside a single slow step; a stop ends the read with `stopped`.
// `position` (may be empty) is told the rows read of all rows as each entry is handed on.
EntryStreamResult streamManifestDb(const std::string& path, const BackupEntryVisitor& visit,
                                   const std::function<bool()>& stop = {},
                                   const ListPosition& position = {});

// True for 40 hex digits (either case).
bool isValidFileKey(std::string_view key);
// True for 40 lower-case hex digits: a key that names its stored file as the backup writes it.
bool isLowerCaseFileKey(std::string_view key);
// The 20 bytes a key of 40 hex digits names; false when `hexKey` is no such key (with
// `lowerCaseOnly`, also when a digit is an upper-case letter).
bool fileKeyBytes(std::string_view hexKey, std::array<std::uint8_t, 20>& key, bool lowerCaseOnly);

}  // namespace nimbara::backup
