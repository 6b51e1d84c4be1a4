// The first step of a backup scan: reads the backup's file list (either kind) one entry at a
// time, announces every entry, and picks out the media and social-app files; only those and the
// listed keys are kept. Runs on the scan thread; every post is synchronous on it.
#pragma once

#include "backup/backup_entry.h"
#include "backup/backup_manifest.h"
#include "backup/pr_tree_dir_node.h"

#include <QString>

#include <array>
#include <cstdint>
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

// The file keys a list names, 20 bytes a key, so that a list of hundreds of thousands of rows
// stays small while later steps ask whether a file is listed at all.
class ListedFileKeys {
  public:
    // A 40-digit hex key, either case; anything else is ignored.
    void add(const std::string& hexKey);
    // Room for `keys` keys, when the list tells how many rows it has.
    void reserve(std::size_t keys) { keys_.reserve(keys); }
    // Sorts the keys; call once after the last add and before contains.
    void seal();
    bool contains(const std::string& hexKey) const;
    std::size_t size() const { return keys_.size(); }

  private:
    using Key = std::array<std::uint8_t, 20>;
    static bool parse(const std::string& hexKey, Key& key);
    std::vector<Key> keys_;
};

struct ManifestPassResult {
    ManifestKind kind = ManifestKind::None;
    BackupLayout layout = BackupLayout::Flat;
    // The entries of the six media-scan domains, in list order (later look-ups use them).
    std::vector<std::shared_ptr<PRTreeDirNode>> treeFileArray;
    // The keys of every file the list names, stored or not.
    ListedFileKeys listedFileKeys;
    // Pictures, movies and sounds that the backup lists but does not hold.
    std::size_t missingFiles = 0;
    // Entries left out because their paths are deeper or longer than a device writes.
    std::size_t refusedPaths = 0;
    std::string error;  // from reading the list; the entries read before damage are still used
    bool stopped = false;
};

struct ManifestPassHooks {
    // Checked between entries and while a database query runs; may be empty.
    std::function<bool()> stopRequested;
    std::function<void(int)> postProgress;  // 0..20, by list position; may be empty
};

ManifestPassResult runManifestPass(const QString& backupFolder, NotificationCenter& center,
                                   const ManifestPassHooks& hooks = {});

// The full stored path of the last file entry whose relative path equals `relativePath` exactly;
// empty when none does (a folder or a link holds no file).
QString getFileKeyBytheFilepath(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                                const QString& relativePath);

}  // namespace nimbara::backup
