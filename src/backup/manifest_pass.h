// The first step of a backup scan: reads the backup's file list (either kind), announces every
// entry, and picks out the media and social-app files. Runs on the scan thread; every post is
// synchronous on it.
#pragma once

#include "backup/backup_entry.h"
#include "backup/backup_manifest.h"
#include "backup/pr_tree_dir_node.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

// Posted for every entry; the object is a std::shared_ptr<PRTreeDirNode>.
inline constexpr const char* kFindBackupFileNotification = "FindBackUpDirFileInfo";
// Posted for each image, audio or video file of a media-scan domain;
// std::shared_ptr<PRPhotoAndVideoNode>.
inline constexpr const char* kScanPhotoAndVideoNotification = "ScanPhotoAndVideo";
// Posted for each existing file of a social-app domain; std::shared_ptr<PRFaceTwitterNode>.
inline constexpr const char* kScanFaceTwitterNotification = "scanFaceTwitterInfo";

struct ManifestPassResult {
    ManifestKind kind = ManifestKind::None;
    BackupLayout layout = BackupLayout::Flat;
    // The entries of the six media-scan domains, in list order (later look-ups use them).
    std::vector<std::shared_ptr<PRTreeDirNode>> treeFileArray;
    std::string error;  // from reading the list; the entries read before damage are still used
    bool stopped = false;
};

struct ManifestPassHooks {
    std::function<bool()> stopRequested;    // checked between entries; may be empty
    std::function<void(int)> postProgress;  // 0..20, by list position; may be empty
};

ManifestPassResult runManifestPass(const QString& backupFolder, NotificationCenter& center,
                                   const ManifestPassHooks& hooks = {});

// The full stored path of the last entry whose relative path equals `relativePath` exactly;
// empty when none does.
QString getFileKeyBytheFilepath(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                                const QString& relativePath);

}  // namespace nimbara::backup
