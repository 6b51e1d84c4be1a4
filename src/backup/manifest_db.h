// Reader of the SQLite file list of newer backups (Manifest.db, table Files). The database is
// opened read-only and immutable, so reading never changes the backup.
#pragma once

#include "backup/backup_entry.h"

#include <string>
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
ManifestDbReadResult readManifestDb(const std::string& path);

// True for 40 hex digits (either case).
bool isValidFileKey(const std::string& key);

}  // namespace nimbara::backup
