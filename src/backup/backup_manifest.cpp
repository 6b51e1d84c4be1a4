#include "backup/backup_manifest.h"

#include "backup/backup_folder.h"
#include "backup/manifest_db.h"
#include "backup/manifest_mbdb.h"

#include <filesystem>

namespace nimbara::backup {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestDb = "Manifest.db";
constexpr const char* kManifestMbdb = "Manifest.mbdb";

}  // namespace

ManifestKind detectManifestKind(const BackupFolder& folder) {
    if (folder.isFile(kManifestDb)) {
        return ManifestKind::Db;
    }
    if (folder.isFile(kManifestMbdb)) {
        return ManifestKind::Mbdb;
    }
    return ManifestKind::None;
}

ManifestKind detectManifestKind(const std::string& backupFolder) {
    return detectManifestKind(BackupFolder::open(backupFolder));
}

std::string storedFilePath(const std::string& backupFolder, const std::string& fileKey,
                           BackupLayout layout) {
    const std::string name = storedFileName(fileKey, layout);
    if (backupFolder.empty() || name.empty()) {
        return {};
    }
    return (fs::path(backupFolder) / name).string();
}

ManifestVisitResult BackupManifest::visit(const BackupFolder& folder,
                                          const BackupEntryVisitor& visitEntry,
                                          const std::function<bool()>& stop,
                                          const ListPosition& position) {
    ManifestVisitResult result;
    result.kind = detectManifestKind(folder);
    result.layout = result.kind == ManifestKind::Db ? BackupLayout::Sharded : BackupLayout::Flat;
    if (result.kind == ManifestKind::None) {
        result.error = "the backup has no file list (Manifest.db or Manifest.mbdb)";
        return result;
    }
    // The two-digit folders are listed by helpers while the list is read.
    StoredFileLookup storedFiles(folder, result.layout, StoredFileLookup::defaultHelperThreads());
    // Every entry passes here: the stop check, the path bounds, the stored file, then the
    // caller.
    auto handOn = [&](BackupEntry&& entry) {
        if (stop && stop()) {
            result.stopped = true;
            return false;
        }
        if (!isAcceptableEntryPath(entry.domain, entry.relativePath)) {
            ++result.refusedPaths;
            return true;
        }
        if (entry.isFile()) {
            const std::optional<BackupFileInfo> info = storedFiles.info(entry.fileKey);
            entry.storedKnown = true;
            entry.stored = info.has_value();
            entry.storedSize = info ? info->size : 0;
            if (result.layout == BackupLayout::Sharded && entry.size == 0) {
                entry.size = entry.storedSize;  // listed without a size: the stored file's
            }
        }
        ++result.entries;
        return visitEntry(std::move(entry));
    };
    EntryStreamResult stream;
    switch (result.kind) {
        case ManifestKind::None:
            return result;
        case ManifestKind::Db:
            stream = streamManifestDb(folder.checkedPath(kManifestDb), handOn, stop, position);
            break;
        case ManifestKind::Mbdb: {
            std::string why;
            const UniqueFd file = folder.openFile(kManifestMbdb, &why);
            if (!file.valid()) {
                result.error = "cannot open " + why;
                return result;
            }
            stream = streamMbdbFile(
                file.get(), [&handOn](MbdbRecord&& record) { return handOn(record.toEntry()); },
                position);
            if (!stream.ok()) {
                stream.error = std::string(kManifestMbdb) + ": " + stream.error;
            }
            break;
        }
    }
    result.stopped = result.stopped || stream.stopped;
    result.error = stream.error;
    return result;
}

std::string refusedPathsText(std::size_t refused) {
    return std::to_string(refused) + " entries of the list name paths deeper than " +
           std::to_string(kMaxPathComponents) + " folders or longer than " +
           std::to_string(kMaxPathBytes) + " bytes; they were left out";
}

BackupManifest BackupManifest::read(const std::string& backupFolder) {
    BackupManifest manifest;
    const ManifestVisitResult result =
        visit(BackupFolder::open(backupFolder), [&manifest](BackupEntry&& entry) {
            manifest.entries.push_back(std::move(entry));
            return true;
        });
    manifest.kind = result.kind;
    manifest.layout = result.layout;
    manifest.error = result.error;
    manifest.refusedPaths = result.refusedPaths;
    if (manifest.error.empty() && result.refusedPaths > 0) {
        manifest.error = refusedPathsText(result.refusedPaths);
    }
    return manifest;
}

std::string BackupManifest::storedPathOf(const std::string& backupFolder,
                                         const std::string& relativePath) const {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->isFile() && it->relativePath == relativePath) {
            return storedFilePath(backupFolder, it->fileKey, layout);
        }
    }
    return {};
}

}  // namespace nimbara::backup
