#include "backup/backup_file_tree.h"

#include "app/core/text_utilities.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString kUnselectedIcon = QStringLiteral("unselected");
const QString kSelectedIcon = QStringLiteral("selected");
const QString kSelectedSomeIcon = QStringLiteral("selectedSome");

void setState(PRTreeDirNode& folder, int state) {
    folder.setIsSelected(state);
    folder.setNodeIcon(state == PRTreeDirNode::kSelected       ? kSelectedIcon
                       : state == PRTreeDirNode::kSelectedSome ? kSelectedSomeIcon
                                                               : kUnselectedIcon);
}

void setSubtree(PRTreeDirNode& folder, bool checked) {
    setState(folder, checked ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected);
    for (const auto& file : folder.fileChildren()) {
        file->setBSelected(checked);
    }
    for (const auto& child : folder.children()) {
        setSubtree(*child, checked);
    }
}

// The state a folder's contents call for; a folder without contents keeps its own.
int stateFromContents(const PRTreeDirNode& folder) {
    bool any = false;
    bool all = true;
    bool empty = true;
    for (const auto& file : folder.fileChildren()) {
        empty = false;
        any = any || file->bSelected();
        all = all && file->bSelected();
    }
    for (const auto& child : folder.children()) {
        empty = false;
        const int s = child->isSelected();
        any = any || s != PRTreeDirNode::kUnselected;
        all = all && s == PRTreeDirNode::kSelected;
    }
    if (empty) {
        return folder.isSelected();
    }
    return all ? PRTreeDirNode::kSelected
               : (any ? PRTreeDirNode::kSelectedSome : PRTreeDirNode::kUnselected);
}

QString extensionOrName(const QString& name) {
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 >= name.size()) {
        return name;
    }
    return name.mid(dot + 1);
}

}  // namespace

std::optional<QString> PRTreeController::SubstringToCh(const QString& text, QChar ch) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    if (text.front() == ch) {
        return QLatin1String("");
    }
    const qsizetype at = text.indexOf(ch, 1);
    if (at < 0) {
        return std::nullopt;
    }
    return text.left(at);
}

std::optional<QString> PRTreeController::SubstringFromCh(const QString& text, QChar ch) {
    if (text.isEmpty()) {
        return std::nullopt;
    }
    const qsizetype at = text.indexOf(ch);
    if (at < 0 || at + 1 >= text.size()) {
        return std::nullopt;
    }
    return text.mid(at + 1);
}

void PRTreeController::addTreeNode(const DirNode& record, bool /*isFistNode*/) {
    if (!record) {
        return;
    }
    QString path = record->filePath();
    path.replace(QStringLiteral("/."), QStringLiteral("/"));
    dirFilePath_ = record->fileDomain() + QLatin1Char('/') + path;
    realKeypath_ = record->fileKey();
    if (deviceName_.isEmpty()) {
        return;
    }
    recordIsFolder_ = record->entryKind() == PRTreeDirNode::EntryKind::Folder;
    addTreeFolder(deviceName_ + QLatin1Char('/') + dirFilePath_, realKeypath_);
    recordIsFolder_ = false;
}

PRTreeController::DirNode PRTreeController::folderNamed(std::vector<DirNode>& level,
                                                        const DirNode& parent, const QString& name,
                                                        bool& created) {
    // Every level is kept sorted, so the folder or its place is found by halving.
    const auto insertAt = std::lower_bound(
        level.begin(), level.end(), name, [](const DirNode& folder, const QString& wanted) {
            return QString::localeAwareCompare(folder->fileName(), wanted) < 0;
        });
    if (insertAt != level.end() &&
        QString::localeAwareCompare((*insertAt)->fileName(), name) == 0) {
        created = false;
        return *insertAt;
    }
    auto folder = std::make_shared<PRTreeDirNode>();
    folder->setFileName(name);
    folder->setParent(parent);
    level.insert(insertAt, folder);
    refreshNodeState(folder, true);
    created = true;
    return folder;
}

void PRTreeController::addTreeFolder(const QString& path, const QString& /*fileKey*/) {
    const QChar slash(QLatin1Char('/'));
    std::vector<DirNode>* level = &content_;
    DirNode parent;
    int depth = 0;
    std::optional<QString> head = SubstringToCh(path, slash);
    std::optional<QString> rest = SubstringFromCh(path, slash);
    while (head && rest) {
        const qsizetype n = rest->count(slash) + 1;
        if (depth == 1 && head->startsWith(QLatin1Char('.'))) {
            head->remove(0, 1);
        }
        bool created = false;
        const DirNode folder = folderNamed(*level, parent, *head, created);
        if (n == 1 && recordIsFolder_) {
            // A folder's own entry: the last name is a folder too, and no file is listed.
            folder->setIsLeaf(false);
            bool madeLast = false;
            const DirNode last = folderNamed(folder->children(), folder, *rest, madeLast);
            if (madeLast) {
                last->setIsLeaf(true);
            }
            if (created || madeLast) {
                reloadOutLineData();
            }
            return;
        }
        if (n == 1) {
            addFileNode(folder, *rest);
            if (created) {
                SaveDirArray(folder);
                folder->setIsLeaf(true);
                reloadOutLineData();
            }
            return;
        }
        if (!created) {
            folder->setIsLeaf(false);
        }
        level = &folder->children();
        parent = folder;
        head = SubstringToCh(*rest, slash);
        rest = SubstringFromCh(*rest, slash);
        ++depth;
    }
}

void PRTreeController::addFileNode(const DirNode& folder, const QString& name) {
    auto file = std::make_shared<PRTreeFileNode>();
    file->setTreefileName(name);
    file->setTreefileType(extensionOrName(name));
    const QFileInfo info(realKeypath_);
    const bool exists = !realKeypath_.isEmpty() && info.isFile();
    const std::uint64_t size = exists ? static_cast<std::uint64_t>(info.size()) : 0;
    file->setRealFileSize(size);
    file->setFileSize(nimbara::shell::size_to_unit(size));
    file->setIsFile(exists);
    file->setDirFilePath(dirFilePath_);
    file->setFilePath(realKeypath_);
    file->setParent(folder);
    folder->addFileChildren(file);
    // an unticked file in a ticked folder leaves the folder only partly selected
    if (folder->isSelected() == PRTreeDirNode::kSelected) {
        refreshNodeState(folder, false);
    }
}

void PRTreeController::refreshNodeState(const DirNode& folder, bool isFirstCreate) {
    if (!folder) {
        return;
    }
    if (!isFirstCreate && folder->isSelected() == PRTreeDirNode::kSelected) {
        setState(*folder, PRTreeDirNode::kSelectedSome);
    }
    for (DirNode a = folder->parent(); a; a = a->parent()) {
        if (a->isSelected() == PRTreeDirNode::kSelected) {
            setState(*a, PRTreeDirNode::kSelectedSome);
        }
    }
}

void PRTreeController::setFolderChecked(const DirNode& folder, bool checked) {
    if (!folder) {
        return;
    }
    setSubtree(*folder, checked);
    updateFromContents(folder->parent());
}

void PRTreeController::setFileChecked(const std::shared_ptr<PRTreeFileNode>& file, bool checked) {
    if (!file) {
        return;
    }
    file->setBSelected(checked);
    updateFromContents(file->parent());
}

void PRTreeController::updateFromContents(const DirNode& folder) {
    for (DirNode f = folder; f; f = f->parent()) {
        setState(*f, stateFromContents(*f));
    }
}

void PRTreeController::reloadOutLineData() {
    refreshing_ = true;
    // (the view re-sorts nothing: every level is inserted in order)
    refreshing_ = false;
    if (reload_) {
        reload_();
    }
}

PRTreeController::DirNode PRTreeController::IsThisDomainFileHasCreate(const DirNode& record) const {
    if (!record) {
        return nullptr;
    }
    const QString domain = record->fileDomain();
    for (const auto& folder : fileDirArray_) {
        if (folder->fileDomain() == domain) {
            return folder;
        }
    }
    return nullptr;
}

PRTreeController::DirNode PRTreeController::IsThisDirOrFileFatherHasCreate(
    const DirNode& record) const {
    if (!record) {
        return nullptr;
    }
    const QString path = record->filePath();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString father = slash < 0 ? QString(QLatin1String("")) : path.left(slash);
    for (const auto& folder : fileDirArray_) {
        if (folder->filePath() == father) {
            return folder;
        }
    }
    return nullptr;
}
