#include "backup/manifest_pass.h"

#include "backup/manifest_media.h"
#include "platform/notification_center.h"

namespace nimbara::backup {

ManifestPassResult runManifestPass(const QString& backupFolder, NotificationCenter& center,
                                   const ManifestPassHooks& hooks) {
    ManifestPassResult result;
    const std::string folder = backupFolder.toStdString();
    BackupManifest manifest = BackupManifest::read(folder);
    result.kind = manifest.kind;
    result.layout = manifest.layout;
    result.error = manifest.error;

    const std::size_t count = manifest.entries.size();
    int lastProgress = -1;
    for (std::size_t i = 0; i < count; ++i) {
        if (hooks.stopRequested && hooks.stopRequested()) {
            result.stopped = true;
            break;
        }
        auto node = makeTreeDirNode(manifest.entries[i], folder, manifest.layout);
        center.post(kFindBackupFileNotification, node);
        if (!isMediaScanDomain(node->fileDomain())) {
            continue;
        }
        const int progress = static_cast<int>((static_cast<std::uint64_t>(i + 1) * 20) / count);
        if (hooks.postProgress && progress != lastProgress) {
            hooks.postProgress(progress);
            lastProgress = progress;
        }
        MediaRecords records = GetMediaFileByNode(*node);
        if (records.media) {
            center.post(kScanPhotoAndVideoNotification, records.media);
        }
        if (records.social) {
            center.post(kScanFaceTwitterNotification, records.social);
        }
        result.treeFileArray.push_back(std::move(node));
    }
    return result;
}

QString getFileKeyBytheFilepath(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                                const QString& relativePath) {
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if ((*it)->filePath() == relativePath) {
            return (*it)->fileKey();
        }
    }
    return QString();
}

}  // namespace nimbara::backup
