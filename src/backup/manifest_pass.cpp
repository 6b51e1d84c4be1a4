#include "backup/manifest_pass.h"

#include "backup/backup_folder.h"
#include "backup/manifest_media.h"
#include "platform/notification_center.h"

#include <QFile>

#include <algorithm>

namespace nimbara::backup {

bool ListedFileKeys::parse(const std::string& hexKey, Key& key) {
    if (hexKey.size() != 2 * key.size()) {
        return false;
    }
    auto nibble = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int high = nibble(hexKey[2 * i]);
        const int low = nibble(hexKey[2 * i + 1]);
        if (high < 0 || low < 0) {
            return false;
        }
        key[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

void ListedFileKeys::add(const std::string& hexKey) {
    Key key{};
    if (parse(hexKey, key)) {
        keys_.push_back(key);
    }
}

void ListedFileKeys::seal() {
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    keys_.shrink_to_fit();
}

bool ListedFileKeys::contains(const std::string& hexKey) const {
    Key key{};
    return parse(hexKey, key) && std::binary_search(keys_.begin(), keys_.end(), key);
}

ManifestPassResult runManifestPass(const QString& backupFolder, NotificationCenter& center,
                                   const ManifestPassHooks& hooks) {
    ManifestPassResult result;
    const BackupFolder folder = BackupFolder::open(QFile::encodeName(backupFolder).toStdString());
    // The layout is known once the list is found, before its first entry.
    const BackupLayout layout =
        detectManifestKind(folder) == ManifestKind::Db ? BackupLayout::Sharded : BackupLayout::Flat;
    TreeRecordMaker records(folder, layout);
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    int lastProgress = -1;
    auto announce = [&](BackupEntry&& entry) {
        if (entry.isFile()) {
            result.listedFileKeys.add(entry.fileKey);
        }
        auto node = records.make(std::move(entry));
        center.post(kFindBackupFileNotification, node);
        if (!isMediaScanDomain(node->fileDomain())) {
            return true;
        }
        const int progress =
            total == 0 ? 20 : static_cast<int>(std::min<std::uint64_t>(done * 20 / total, 20));
        if (hooks.postProgress && progress != lastProgress) {
            hooks.postProgress(progress);
            lastProgress = progress;
        }
        MediaRecords records = GetMediaFileByNode(*node);
        if (records.media && !records.stored) {
            ++result.missingFiles;
        }
        if (records.media) {
            center.post(kScanPhotoAndVideoNotification, records.media);
        }
        if (records.social) {
            center.post(kScanFaceTwitterNotification, records.social);
        }
        result.treeFileArray.push_back(std::move(node));
        return true;
    };
    const ManifestVisitResult read = BackupManifest::visit(folder, announce, hooks.stopRequested,
                                                           [&](std::uint64_t at, std::uint64_t of) {
                                                               done = at;
                                                               total = of;
                                                           });
    result.kind = read.kind;
    result.layout = read.layout;
    result.error = read.error;
    result.refusedPaths = read.refusedPaths;
    result.stopped = read.stopped;
    result.listedFileKeys.seal();
    return result;
}

QString getFileKeyBytheFilepath(const std::vector<std::shared_ptr<PRTreeDirNode>>& entries,
                                const QString& relativePath) {
    // Records keep their paths as UTF-8: the path asked for is converted once, not every record.
    const std::string wanted = relativePath.toStdString();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if ((*it)->isFileEntry() && (*it)->hasFilePath(wanted)) {
            return (*it)->fileKey();
        }
    }
    return QString();
}

}  // namespace nimbara::backup
