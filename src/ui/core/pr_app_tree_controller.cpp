#include "ui/core/pr_app_tree_controller.h"

#include <type_traits>

namespace {

// The stand-in for a missing display name: an app folder always has a name, "" at worst.
QString shownName(const QString& name) {
    return name.isNull() ? QString(QLatin1String("")) : name;
}

}  // namespace

template <class Record>
void PRAppTreeController::remember(const Record& record) {
    nodeFullPath_ = record.filePath();
    nodeDevicePath_ = record.devicePath();
    nodeFileSize_ = record.fileSize();
    currentNodeBundleName_ = record.appBundleName();
    currentDisplayName_ = record.appDisplayName();
    nodeAppImage_.png = record.appIcon();
    if constexpr (std::is_same_v<Record, PRCleanDirNode>) {
        nodeFileType_ = record.fileType();
        nodeFileSizeNumber_ = record.fileSizeNumber();
        nodeAppImage_.name = record.nodeIcon();
    } else {
        nodeFileType_ = QString();
        nodeFileSizeNumber_ = 0;
        nodeAppImage_.name = QString();
    }
}

template <class Dir>
int PRAppTreeController::orderFolder(const Dir& folder, const QString& name,
                                     std::size_t depth) const {
    const int order = nimbara::ui::compareFolderNames(folder.fileDirName(), name);
    if (order != 0 || depth != 0) {
        return order;
    }
    // Apps of the same name stay apart.
    const int app = QString::compare(shownName(folder.appBundleName()),
                                     shownName(currentNodeBundleName_), Qt::CaseSensitive);
    return app < 0 ? -1 : (app > 0 ? 1 : 0);
}

template <class Dir>
std::shared_ptr<Dir> PRAppTreeController::makeFolder(const std::shared_ptr<Dir>& parent,
                                                     const QString& name) const {
    auto folder = std::make_shared<Dir>();
    folder->setFileDirName(name);
    folder->setAppBundleName(currentNodeBundleName_);
    if constexpr (std::is_same_v<Dir, PRAppDirTreeNode>) {
        folder->setAppDisplayName(currentDisplayName_);
        folder->setDevicePath(nodeDevicePath_);
    }
    if (!parent) {
        if (!nodeAppImage_.name.isEmpty()) {
            folder->setNodeIcon(nodeAppImage_.name);
        }
        if (!nodeAppImage_.png.isEmpty()) {
            folder->setAppIcon(nodeAppImage_.png);
        }
    }
    return folder;
}

template <class Entry, class Dir>
std::shared_ptr<Entry> PRAppTreeController::makeEntry(const std::shared_ptr<Dir>& folder,
                                                      const QString& name) const {
    auto entry = std::make_shared<Entry>();
    entry->setFileName(name);
    entry->setFileType(nimbara::ui::entryKindOf(name));
    entry->setFileSize(nodeFileSize_);
    entry->setFileSizeNumber(nodeFileSizeNumber_);
    entry->setDevicePath(nodeDevicePath_);
    entry->setAppBundleName(currentNodeBundleName_);
    if constexpr (std::is_same_v<Entry, PRAppFileTreeNode>) {
        entry->setAppDisplayName(currentDisplayName_);
    }
    entry->setParent(folder);
    return entry;
}

void PRAppTreeController::addTreeNode(const AppDir& record) {
    if (!record) {
        return;
    }
    remember(*record);
    addPathToTreeFolder(nimbara::ui::keyComponents(shownName(currentDisplayName_), nodeFullPath_));
}

void PRAppTreeController::addTreeNode(const CleanDir& record, bool withClean) {
    if (!record) {
        return;
    }
    remember(*record);
    addPathToTreeFolder(nimbara::ui::keyComponents(shownName(currentDisplayName_), nodeFullPath_),
                        withClean);
}

template <class Entry, class Dir, class MadeForEntry>
void PRAppTreeController::place(nimbara::ui::FolderTree<Dir>& tree, const std::vector<QString>& key,
                                MadeForEntry madeForEntry) {
    nimbara::ui::placeKey(
        tree, nimbara::ui::planKey(key),
        [this](const Dir& folder, const QString& name, std::size_t depth) {
            return orderFolder(folder, name, depth);
        },
        [this](const std::shared_ptr<Dir>& parent, const QString& name, std::size_t) {
            return makeFolder(parent, name);
        },
        [this](const std::shared_ptr<Dir>& folder, const QString& name) {
            return makeEntry<Entry>(folder, name);
        },
        madeForEntry);
}

void PRAppTreeController::addPathToTreeFolder(const std::vector<QString>& key) {
    place<PRAppFileTreeNode>(plain_, key, [this](const AppDir& folder) {
        SaveDirArray(folder);
        reloadOutLineData();
    });
}

void PRAppTreeController::addPathToTreeFolder(const std::vector<QString>& key, bool withClean) {
    place<PRCleanFileNode>(clean_, key, [this, withClean](const CleanDir& folder) {
        SaveDirArray(folder, withClean);
        reloadOutLineDatawithClean(withClean);
    });
}

void PRAppTreeController::addFileNode(const AppDir& folder, const QString& name) {
    if (folder) {
        plain_.appendEntry(folder, makeEntry<PRAppFileTreeNode>(folder, name));
    }
}

void PRAppTreeController::addFileNode(const CleanDir& folder, const QString& name,
                                      bool /*withClean*/) {
    if (folder) {
        clean_.appendEntry(folder, makeEntry<PRCleanFileNode>(folder, name));
    }
}

void PRAppTreeController::reloadOutLineData() {
    nimbara::ui::refreshTree(refreshing_, refresh_);
}

void PRAppTreeController::reloadOutLineDatawithClean(bool /*withClean*/) {
    nimbara::ui::refreshTree(refreshing_, cleanRefresh_);
}

PRAppTreeController::AppDir PRAppTreeController::IsThisDirOrFileFatherHasCreate(
    const AppDir& record) const {
    return nimbara::ui::folderOfParentPath(fileDirArray_, record);
}

PRAppTreeController::CleanDir PRAppTreeController::IsThisDirOrFileFatherHasCreate(
    const CleanDir& record, bool /*withClean*/) const {
    return nimbara::ui::folderOfParentPath(cleanDirArray_, record);
}

void PRAppTreeController::pruneEmptyCleanFolders() {
    if (clean_.pruneEmptyFolders() == 0) {
        return;
    }
    std::erase_if(cleanDirArray_,
                  [this](const CleanDir& folder) { return !clean_.holds(folder.get()); });
}

void PRAppTreeController::clear() {
    initData();
    plain_.clear();
    clean_.clear();
}
