// The file list of one local backup, read from whichever manifest the backup holds: Manifest.db
// (stored files in two-digit subfolders) when present, else Manifest.mbdb (stored files flat in
// the backup folder). The kind is always taken from the backup itself.
#pragma once

#include "backup/backup_entry.h"

#include <string>
#include <vector>

namespace nimbara::backup {

enum class ManifestKind { None, Mbdb, Db };

struct BackupManifest {
    ManifestKind kind = ManifestKind::None;
    BackupLayout layout = BackupLayout::Flat;
    std::vector<BackupEntry> entries;
    // Empty when the list was read completely. A damaged Manifest.mbdb keeps the entries read
    // before the damage and reports it here.
    std::string error;

    bool ok() const { return error.empty(); }

    static BackupManifest read(const std::string& backupFolder);

    // The stored file of the last file entry whose relative path equals `relativePath` exactly;
    // empty when there is none.
    std::string storedPathOf(const std::string& backupFolder,
                             const std::string& relativePath) const;
};

// Which manifest the folder holds (Manifest.db wins when both are there).
ManifestKind detectManifestKind(const std::string& backupFolder);

// Where the backup keeps the file with `fileKey`: "<folder>/<key>" or "<folder>/<k0k1>/<key>".
// Empty for anything that is not a 40-digit hex key, so a hostile key never leaves the folder.
std::string storedFilePath(const std::string& backupFolder, const std::string& fileKey,
                           BackupLayout layout);

}  // namespace nimbara::backup
