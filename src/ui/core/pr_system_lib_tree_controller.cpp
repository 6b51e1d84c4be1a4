#include "ui/core/pr_system_lib_tree_controller.h"

#include "cleanup/protected_files.h"

namespace {

const QString& topFolderName() {
    static const QString kName = QStringLiteral("System");
    return kName;
}

}  // namespace

void PRSystemLibTreeController::addTreeNode(const DirNode& record) {
    if (!record) {
        return;
    }
    nodeFullPath_ = record->filePath();
    nodeFileSize_ = record->fileSize();
    nodeFileSizeNumber_ = record->fileSizeNumber();
    addPathToTreeFolder(nimbara::ui::keyComponents(topFolderName(), nodeFullPath_));
}

void PRSystemLibTreeController::addPathToTreeFolder(const std::vector<QString>& key) {
    nimbara::ui::placeKey(
        tree_, nimbara::ui::planKey(key),
        [](const PRPhoneSystemDirNode& folder, const QString& name, std::size_t) {
            return nimbara::ui::compareFolderNames(folder.fileDirName(), name);
        },
        [](const DirNode&, const QString& name, std::size_t) {
            auto folder = std::make_shared<PRPhoneSystemDirNode>();
            folder->setFileDirName(name);
            folder->setFileType(QStringLiteral("Folder"));
            return folder;
        },
        [this](const DirNode& folder, const QString& name) { return makeEntry(folder, name); },
        [this](const DirNode& folder) {
            SaveDirArray(folder);
            reloadOutLineData();
        });
}

void PRSystemLibTreeController::addFileNode(const DirNode& folder, const QString& name) {
    if (folder) {
        tree_.appendEntry(folder, makeEntry(folder, name));
    }
}

std::shared_ptr<PRPhoneSystemFileNode> PRSystemLibTreeController::makeEntry(
    const DirNode& folder, const QString& name) const {
    auto entry = std::make_shared<PRPhoneSystemFileNode>();
    entry->setFileName(name);
    entry->setFileSize(nodeFileSize_);
    entry->setFilePath(nodeFullPath_);
    entry->setFileSizeNumber(nodeFileSizeNumber_);
    entry->setParent(folder);
    // A record without a size text is a directory's.
    entry->setFileType(nodeFileSize_.isEmpty() ? QStringLiteral("Folder") : QStringLiteral("File"));
    entry->setIsProtected(nimbara::cleanup::isProtectedDeviceFile(entry->devicePath()));
    return entry;
}

void PRSystemLibTreeController::reloadOutLineData() {
    nimbara::ui::refreshTree(refreshing_, refresh_);
}

PRSystemLibTreeController::DirNode PRSystemLibTreeController::IsThisDirOrFileFatherHasCreate(
    const DirNode& record) const {
    return nimbara::ui::folderOfParentPath(fileDirArray_, record);
}

void PRSystemLibTreeController::clear() {
    fileDirArray_.clear();
    tree_.clear();
}
