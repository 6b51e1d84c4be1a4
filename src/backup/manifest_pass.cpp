#include "backup/manifest_pass.h"

#include "backup/backup_folder.h"
#include "backup/manifest_db.h"
#include "backup/manifest_media.h"
#include "platform/notification_center.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>

namespace nimbara::backup {

bool ListedFileKeys::parse(const std::string& hexKey, Key& key) {
    return fileKeyBytes(hexKey, key, /*lowerCaseOnly=*/false);
}

void ListedFileKeys::add(const std::string& hexKey) {
    Key key{};
    if (parse(hexKey, key)) {
        keys_.push_back(key);
    }
}

namespace {

// Byte order, as std::array's own, with the first eight bytes compared as one number.
bool keyLess(const std::array<std::uint8_t, 20>& a, const std::array<std::uint8_t, 20>& b) {
    std::uint64_t x = 0;
    std::uint64_t y = 0;
    std::memcpy(&x, a.data(), sizeof x);
    std::memcpy(&y, b.data(), sizeof y);
    if (x != y) {
        return __builtin_bswap64(x) < __builtin_bswap64(y);
    }
    return std::memcmp(a.data() + sizeof x, b.data() + sizeof y, a.size() - sizeof x) < 0;
}

}  // namespace

void ListedFileKeys::seal() {
    std::sort(keys_.begin(), keys_.end(), keyLess);
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    // Room left over from growing (more than an eighth) is given back.
    if (keys_.capacity() - keys_.size() > keys_.size() / 8) {
        keys_.shrink_to_fit();
    }
}

bool ListedFileKeys::contains(const std::string& hexKey) const {
    Key key{};
    return parse(hexKey, key) && std::binary_search(keys_.begin(), keys_.end(), key, keyLess);
}

namespace {

// Rows room is made for up front at most; a longer list grows as it is read.
constexpr std::uint64_t kRowsReservedAtMost = std::uint64_t{1} << 20;

}  // namespace

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
    // One notification of each kind for the whole pass: only its object changes.
    Notification found{kFindBackupFileNotification, {}};
    Notification media{kScanPhotoAndVideoNotification, {}};
    Notification social{kScanFaceTwitterNotification, {}};
    auto announce = [&](BackupEntry&& entry) {
        const bool file = entry.isFile();
        if (file) {
            result.listedFileKeys.add(entry.fileKey);
        }
        // What the entry is to the media scan is told here once, from the entry as listed.
        const ScanDomain domain = scanDomainOf(entry.domain);
        const MediaKind kind =
            file && domain != ScanDomain::None ? mediaKindOf(entry.relativePath) : MediaKind::None;
        auto node = records.make(std::move(entry));
        found.object = node;
        center.post(found);
        found.object.reset();
        if (domain == ScanDomain::None) {
            return true;
        }
        const int progress =
            total == 0 ? 20 : static_cast<int>(std::min<std::uint64_t>(done * 20 / total, 20));
        if (hooks.postProgress && progress != lastProgress) {
            hooks.postProgress(progress);
            lastProgress = progress;
        }
        MediaRecords made = GetMediaFileByNode(*node, domain, kind);
        if (made.media && !made.stored) {
            ++result.missingFiles;
        }
        if (made.media) {
            media.object = std::move(made.media);
            center.post(media);
            media.object.reset();
        }
        if (made.social) {
            social.object = std::move(made.social);
            center.post(social);
            social.object.reset();
        }
        result.treeFileArray.push_back(std::move(node));
        return true;
    };
    const ManifestVisitResult read = BackupManifest::visit(
        folder, announce, hooks.stopRequested, [&](std::uint64_t at, std::uint64_t of) {
            if (total == 0 && layout == BackupLayout::Sharded) {
                // Rows, nearly all of them files, many of them of the media-scan domains: room
                // made once instead of growing (what is left over is given back at the end).
                const auto rows = static_cast<std::size_t>(std::min(of, kRowsReservedAtMost));
                result.listedFileKeys.reserve(rows);
                result.treeFileArray.reserve(rows);
            }
            done = at;
            total = of;
        });
    result.kind = read.kind;
    result.layout = read.layout;
    result.error = read.error;
    result.refusedPaths = read.refusedPaths;
    result.stopped = read.stopped;
    result.listedFileKeys.seal();
    auto& kept = result.treeFileArray;
    if (kept.capacity() - kept.size() > kept.size() / 8) {
        kept.shrink_to_fit();
    }
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
