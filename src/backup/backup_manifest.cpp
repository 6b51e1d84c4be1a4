#include "backup/backup_manifest.h"

#include "backup/manifest_db.h"
#include "backup/manifest_mbdb.h"

#include <filesystem>
#include <system_error>

namespace nimbara::backup {

namespace fs = std::filesystem;

ManifestKind detectManifestKind(const std::string& backupFolder) {
    std::error_code ec;
    const fs::path folder(backupFolder);
    if (fs::is_regular_file(folder / "Manifest.db", ec)) {
        return ManifestKind::Db;
    }
    if (fs::is_regular_file(folder / "Manifest.mbdb", ec)) {
        return ManifestKind::Mbdb;
    }
    return ManifestKind::None;
}

std::string storedFilePath(const std::string& backupFolder, const std::string& fileKey,
                           BackupLayout layout) {
    if (backupFolder.empty() || !isValidFileKey(fileKey)) {
        return {};
    }
    fs::path path(backupFolder);
    if (layout == BackupLayout::Sharded) {
        path /= fileKey.substr(0, 2);
    }
    path /= fileKey;
    return path.string();
}

BackupManifest BackupManifest::read(const std::string& backupFolder) {
    BackupManifest manifest;
    manifest.kind = detectManifestKind(backupFolder);
    const fs::path folder(backupFolder);
    switch (manifest.kind) {
        case ManifestKind::None:
            manifest.error = "the backup has no file list (Manifest.db or Manifest.mbdb)";
            break;
        case ManifestKind::Db: {
            manifest.layout = BackupLayout::Sharded;
            ManifestDbReadResult db = readManifestDb((folder / "Manifest.db").string());
            manifest.error = std::move(db.error);
            manifest.entries = std::move(db.entries);
            for (BackupEntry& entry : manifest.entries) {
                // an entry listed without a size: take the stored file's
                if (!entry.isFile() || entry.size != 0) {
                    continue;
                }
                std::error_code ec;
                const auto size =
                    fs::file_size(storedFilePath(backupFolder, entry.fileKey, manifest.layout), ec);
                entry.size = ec ? 0 : size;
            }
            break;
        }
        case ManifestKind::Mbdb: {
            manifest.layout = BackupLayout::Flat;
            MbdbReadResult mbdb = readMbdbFile((folder / "Manifest.mbdb").string());
            manifest.error = std::move(mbdb.error);
            manifest.entries.reserve(mbdb.records.size());
            for (const MbdbRecord& record : mbdb.records) {
                manifest.entries.push_back(record.toEntry());
            }
            break;
        }
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
