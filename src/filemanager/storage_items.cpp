#include "filemanager/storage_items.h"

#include <algorithm>

#include "backup/pr_photo_and_video_node.h"
#include "filemanager/storage_preview.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::filemanager {

namespace {

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

StorageKind photoKindOf(const QString& type, const std::string& path) {
    if (type == QLatin1String(kPhotoKindCameraRoll)) {
        return StorageKind::CameraRollPhoto;
    }
    if (type == QLatin1String(kPhotoKindPhotoStream)) {
        return StorageKind::PhotoStreamPhoto;
    }
    if (type == QLatin1String(kPhotoKindPhotoLibrary)) {
        return StorageKind::PhotoLibraryPhoto;
    }
    if (startsWith(path, "/PhotoStreamsData/")) {
        return StorageKind::PhotoStreamPhoto;
    }
    if (startsWith(path, "/PhotoData/Sync/") || startsWith(path, "/Photos/Sync/")) {
        return StorageKind::PhotoLibraryPhoto;
    }
    return StorageKind::CameraRollPhoto;
}

}  // namespace

StorageItem itemOfPhoto(const PRPhotoAndVideoNode& node, const StorageTarget& target) {
    StorageItem item;
    item.devicePath = node.filePath().toStdString();
    item.kind = photoKindOf(node.fileType(), item.devicePath);
    item.name = node.fileNodeName();
    item.size = node.fileSizeNumber();
    if (node.bhasCopy()) {
        item.localCopy = previewCopyPath(target, item.devicePath);
    }
    return item;
}

StorageItem itemOfTrack(const PRTranMusicNode& node) {
    StorageItem item;
    item.kind =
        node.musicType() == QLatin1String("Video") ? StorageKind::Video : StorageKind::Music;
    item.devicePath = node.musicLoctionpath().toStdString();
    item.name = node.musicTitle();
    item.size = node.fileSizeNumber();
    item.exportName = node.localFileName();
    if (node.bhasCopy() && !node.bCopyLocationPath().trimmed().isEmpty()) {
        item.localCopy = node.bCopyLocationPath().toStdString();
    }
    return item;
}

StorageItem itemOfUserDataFile(const PRPhoneSystemFileNode& node) {
    StorageItem item;
    item.kind = StorageKind::UserDataFile;
    item.devicePath = node.devicePath();
    item.name = node.fileName();
    item.size = node.fileSizeNumber();
    return item;
}

StorageItem itemOfBook(const std::string& devicePath, const QString& name, std::uint64_t size,
                       bool folder) {
    StorageItem item;
    item.kind = StorageKind::Book;
    item.devicePath = devicePath;
    item.name = name;
    item.size = size;
    item.folder = folder;
    return item;
}

std::size_t StorageReport::count(StorageOutcome outcome) const {
    return static_cast<std::size_t>(
        std::count_if(items.begin(), items.end(),
                      [outcome](const StorageItemResult& r) { return r.outcome == outcome; }));
}

std::vector<std::size_t> StorageReport::settled() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].outcome == StorageOutcome::Done || items[i].outcome == StorageOutcome::Gone) {
            out.push_back(i);
        }
    }
    return out;
}

}  // namespace nimbara::filemanager
