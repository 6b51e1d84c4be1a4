// The file list of one local backup, read from whichever manifest the backup holds: Manifest.db
// (stored files in two-digit subfolders) when present, else Manifest.mbdb (stored files flat in
// the backup folder). The kind is always taken from the backup itself, and both are read through
// BackupFolder, so a manifest that is a link is not read.
//
// An entry whose path is deeper or longer than a device writes (see isAcceptableEntryPath) is
// left out and counted: the list is then reported damaged.
#pragma once

#include "backup/backup_entry.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace nimbara::backup {

class BackupFolder;

enum class ManifestKind { None, Mbdb, Db };

// How reading a backup's list one entry at a time ended.
struct ManifestVisitResult {
    ManifestKind kind = ManifestKind::None;
    BackupLayout layout = BackupLayout::Flat;
    std::size_t entries = 0;       // entries handed on
    std::size_t refusedPaths = 0;  // entries left out for their paths: the list is damaged
    std::string error;             // why the list could not be read to its end; empty otherwise
    bool stopped = false;          // the stop check ended the read
    bool ok() const { return error.empty() && refusedPaths == 0; }
};

// The log line for entries left out for their paths.
std::string refusedPathsText(std::size_t refused);

struct BackupManifest {
    ManifestKind kind = ManifestKind::None;
    BackupLayout layout = BackupLayout::Flat;
    std::vector<BackupEntry> entries;
    // Empty when the list was read completely. A damaged list keeps the entries read before the
    // damage (and those with acceptable paths) and reports it here.
    std::string error;
    std::size_t refusedPaths = 0;

    bool ok() const { return error.empty(); }

    static BackupManifest read(const std::string& backupFolder);

    // Reads the list of `folder` and hands each entry to `visit` as it is read, so that only
    // what the caller keeps is held. `stop` (may be empty) is checked between entries and while
    // a database query runs; `position` (may be empty) is told how far the list was read as each
    // entry is handed on. Each file entry comes with whether its stored file is there and that
    // file's size (looked up once, never through a link); one listed without a size gets the
    // stored file's.
    static ManifestVisitResult visit(const BackupFolder& folder, const BackupEntryVisitor& visit,
                                     const std::function<bool()>& stop = {},
                                     const ListPosition& position = {});

    // The stored file of the last file entry whose relative path equals `relativePath` exactly;
    // empty when there is none.
    std::string storedPathOf(const std::string& backupFolder,
                             const std::string& relativePath) const;
};

// Which manifest the folder holds (Manifest.db wins when both are there); a manifest that is a
// link or not a regular file does not count.
ManifestKind detectManifestKind(const std::string& backupFolder);
ManifestKind detectManifestKind(const BackupFolder& folder);

// Where the backup keeps the file with `fileKey`: "<folder>/<key>" or "<folder>/<k0k1>/<key>".
// Empty for anything that is not a 40-digit hex key, so a hostile key never leaves the folder.
std::string storedFilePath(const std::string& backupFolder, const std::string& fileKey,
                           BackupLayout layout);

}  // namespace nimbara::backup
