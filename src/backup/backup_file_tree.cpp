#include "backup/backup_file_tree.h"

#include "backup/backup_entry.h"
#include "backup/manifest_media.h"

#include <algorithm>
#include <utility>

namespace {

void setState(PRTreeDirNode& folder, int state) {
    folder.setIsSelected(state);
}

// The folder and everything below it take the state; walked with a list of its own, not by
// recursion, so that the depth of the outline never meets the depth of the stack.
void setSubtree(PRTreeDirNode& top, bool checked) {
    const int state = checked ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected;
    std::vector<PRTreeDirNode*> pending{&top};
    while (!pending.empty()) {
        PRTreeDirNode* folder = pending.back();
        pending.pop_back();
        setState(*folder, state);
        for (const auto& file : folder->fileChildren()) {
            file->setBSelected(checked);
        }
        for (const auto& child : folder->children()) {
            if (child) {
                pending.push_back(child.get());
            }
        }
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

bool PRTreeController::isShowablePath(const QString& domain, const QString& path) {
    // A QString has at most as many code units as its UTF-8 form has bytes, so these bounds
    // never refuse what the manifest readers accept.
    if (domain.size() > static_cast<qsizetype>(nimbara::backup::kMaxDomainBytes) ||
        path.size() > static_cast<qsizetype>(nimbara::backup::kMaxPathBytes)) {
        return false;
    }
    return static_cast<std::size_t>(path.count(QLatin1Char('/'))) <
           nimbara::backup::kMaxPathComponents;
}

void PRTreeController::addTreeNode(const DirNode& record, bool /*isFistNode*/) {
    if (!record) {
        return;
    }
    const QString path = record->filePath();
    const QString domain = record->fileDomain();
    if (!isShowablePath(domain, path)) {
        ++refusedRecords_;
        return;
    }
    if (deviceName_.isEmpty()) {
        return;
    }
    current_ = record;
    recordIsFolder_ = record->entryKind() == PRTreeDirNode::EntryKind::Folder;
    addTreeFolder(deviceName_ + QLatin1Char('/') + domain + QLatin1Char('/') + outlinePath(path),
                  QString());
    recordIsFolder_ = false;
    current_.reset();
}

void PRTreeController::markChanged(const DirNode& folder) {
    if (!folder) {
        topChanged_ = true;
    } else if (!folder->outlineChanged()) {
        folder->setOutlineChanged(true);
        changedFolders_.push_back(folder);
    }
}

PRTreeController::Changes PRTreeController::takeChanges() {
    Changes changes;
    changes.top = std::exchange(topChanged_, false);
    changes.folders.swap(changedFolders_);
    for (const DirNode& folder : changes.folders) {
        folder->setOutlineChanged(false);
    }
    return changes;
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
    markChanged(parent);
    refreshNodeState(folder, true);
    created = true;
    return folder;
}

void PRTreeController::addTreeFolder(const QString& path, const QString& /*fileKey*/) {
    // The path is split once: names[0] / names[1] / ... / names[last]. Every name but the last is
    // a folder; the last is the file (or, for a folder's own entry, a folder too). A path that
    // ends in "/" names no file, and the folder before that slash is not made either. Each name
    // is visited once, so the walk costs the length of the path.
    const QChar slash(QLatin1Char('/'));
    std::vector<QStringView> names;
    const QStringView whole(path);
    for (qsizetype start = 0;;) {
        const qsizetype at = whole.indexOf(slash, start);
        if (at < 0) {
            names.push_back(whole.mid(start));
            break;
        }
        names.push_back(whole.mid(start, at - start));
        start = at + 1;
    }
    if (names.size() < 2) {
        return;  // no slash: nothing to file
    }
    const std::size_t last = names.size() - 1;
    // Folders are made for names[0 .. last - 1] when the last name is not empty; otherwise only
    // for names[0 .. last - 2].
    const std::size_t folders = names[last].isEmpty() ? last - 1 : last;
    std::vector<DirNode>* level = &content_;
    DirNode parent;
    // Records come folder by folder, so the folders of the previous record are tried first: a
    // name equal to the one at the same depth there is the same folder (folders are never
    // removed or renamed), found without searching its level.
    bool onChain = true;
    for (std::size_t depth = 0; depth < folders; ++depth) {
        QStringView head = names[depth];
        if (depth == 1 && head.startsWith(QLatin1Char('.'))) {
            head = head.mid(1);
        }
        bool created = false;
        DirNode folder;
        if (onChain && depth < lastChain_.size() && lastChain_[depth]->fileName() == head) {
            folder = lastChain_[depth];
        } else {
            onChain = false;
            lastChain_.resize(std::min(lastChain_.size(), depth));
            folder = folderNamed(*level, parent, head.toString(), created);
            lastChain_.push_back(folder);
        }
        if (depth + 1 == last && !names[last].isEmpty()) {
            if (recordIsFolder_) {
                const QString name = names[last].toString();
                // A folder's own entry: the last name is a folder too, and no file is listed.
                folder->setIsLeaf(false);
                bool madeLast = false;
                const DirNode lastFolder = folderNamed(folder->children(), folder, name, madeLast);
                if (madeLast) {
                    lastFolder->setIsLeaf(true);
                }
                if (created || madeLast) {
                    reloadOutLineData();
                }
                return;
            }
            addFileNode(folder);
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
    }
}

void PRTreeController::addFileNode(const DirNode& folder) {
    if (!current_) {
        return;
    }
    auto file = std::make_shared<PRTreeFileNode>();
    // Whether the file is stored, and its size, come with the record: the reader of the backup
    // looked them up (never through a link), so nothing is read from disk here.
    const nimbara::backup::StoredFile stored = nimbara::backup::storedFileOf(*current_);
    file->setRealFileSize(stored.size);
    file->setIsFile(stored.stored);
    file->setRecord(current_);
    file->setParent(folder);
    folder->addFileChildren(file);
    markChanged(folder);
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
    // A folder that is not fully selected has no fully selected folder above it, so the walk
    // ends at the first such ancestor: a chain of new folders costs one step each, not the
    // depth of the outline.
    for (DirNode a = folder->parent(); a && a->isSelected() == PRTreeDirNode::kSelected;
         a = a->parent()) {
        setState(*a, PRTreeDirNode::kSelectedSome);
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
