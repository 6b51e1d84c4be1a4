#include "backup/backup_file_tree.h"

#include "backup/backup_entry.h"
#include "backup/manifest_media.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

namespace {

void setState(PRTreeDirNode& folder, int state) {
    folder.setIsSelected(state);
}

int stateOf(const PRTreeFileNode& file) {
    return file.bSelected() ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected;
}

// Adds `delta` to the ticked-file numbers of `folder` and of every folder above it.
void addTicked(std::shared_ptr<PRTreeDirNode> folder, std::int64_t delta) {
    if (delta == 0) {
        return;
    }
    for (; folder; folder = folder->parent()) {
        folder->setTickedFileCount(static_cast<std::uint32_t>(
            static_cast<std::int64_t>(folder->tickedFileCount()) + delta));
    }
}

// Whether the contents of `parent` are mixed with respect to `state`: files first, then
// sub-folders; a partly ticked sub-folder makes them mixed at once.
bool contentsMixed(const PRTreeDirNode& parent, int state) {
    bool same = false;
    bool other = false;
    const int fileState = state == PRTreeDirNode::kSelected ? 1 : 0;
    for (std::size_t i = 0, files = parent.fileCount(); i < files; ++i) {
        ((parent.fileTickedAt(i) ? 1 : 0) == fileState ? same : other) = true;
        if (same && other) {
            return true;
        }
    }
    for (const auto& folder : parent.children()) {
        const int s = folder->isSelected();
        if (s == PRTreeDirNode::kSelectedSome) {
            return true;
        }
        (s == state ? same : other) = true;
        if (same && other) {
            return true;
        }
    }
    return false;
}

// One step of the walk up: the parent of a node that now has `state`.
template <class SameLevel>
void followStep(PRTreeDirNode& parent, bool mixed, SameLevel sameLevel, int state) {
    if (mixed) {
        setState(parent, PRTreeDirNode::kSelectedSome);
    } else if (sameLevel()) {
        setState(parent, state);
    }
}

// From `folder`, which now has `state` (or is partly ticked), up to the top: each parent is
// partly ticked when its contents are mixed, takes `state` when all of them have it, and keeps
// its state otherwise.
void followUpFrom(std::shared_ptr<PRTreeDirNode> folder, int state) {
    for (auto parent = folder->parent(); parent; folder = parent, parent = parent->parent()) {
        followStep(
            *parent, PRTreeController::GetSelectedOverItem(folder, state),
            [&] { return PRTreeController::sameLevelState(state, folder); }, state);
    }
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
    if (current_->storedFileKnown()) {
        // Whether the file is stored, and its size, come with the record: the reader of the
        // backup looked them up (never through a link). The folder keeps the record; the file's
        // node is made once the folder's files are asked for.
        folder->addFileRecord(folder, current_);
    } else {
        auto file = std::make_shared<PRTreeFileNode>();
        const nimbara::backup::StoredFile stored = nimbara::backup::storedFileOf(*current_);
        file->setRealFileSize(stored.size);
        file->setIsFile(stored.stored);
        file->setRecord(current_);
        file->setParent(folder);
        folder->addFileChildren(file);
    }
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
    // Something unticked came into `holder`: a ticked folder becomes partly ticked, unless the
    // newcomer is all it holds (a ticked folder that was empty): then nothing in it is ticked.
    // Above it, a ticked folder becomes partly ticked when the folder below went partly ticked
    // or it holds more; unticked otherwise. A folder that is not fully ticked has no fully
    // ticked folder above it, so the walk ends at the first such folder: a chain of new folders
    // costs one step each, not the depth of the outline.
    DirNode holder = isFirstCreate ? folder->parent() : folder;
    DirNode changed;
    int below = PRTreeDirNode::kUnselected;
    for (; holder && holder->isSelected() == PRTreeDirNode::kSelected; holder = holder->parent()) {
        const std::size_t holds = holder->children().size() + holder->fileCount();
        below = below == PRTreeDirNode::kSelectedSome || holds > 1 ? PRTreeDirNode::kSelectedSome
                                                                   : PRTreeDirNode::kUnselected;
        setState(*holder, below);
        changed = holder;
    }
    // A folder that went from ticked to unticked may have been the only ticked content of a
    // partly ticked folder above: those follow from their contents (rare: only a ticked empty
    // folder that receives something gets here).
    if (changed && below == PRTreeDirNode::kUnselected) {
        followUpFrom(changed, PRTreeDirNode::kUnselected);
    }
}

int PRTreeController::NewStateAfterChangeState(int state) {
    return state == PRTreeDirNode::kSelected ? PRTreeDirNode::kUnselected
                                             : PRTreeDirNode::kSelected;
}

int PRTreeController::toggleFolderTick(const DirNode& folder) {
    if (!folder) {
        return PRTreeDirNode::kUnselected;
    }
    const int state = NewStateAfterChangeState(folder->isSelected());
    SetAllSel(state, folder);
    followUpFrom(folder, state);
    return state;
}

void PRTreeController::SetAllSel(int state, const DirNode& folder) {
    if (!folder) {
        return;
    }
    const bool on = state == PRTreeDirNode::kSelected;
    const int s = on ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected;
    const std::uint32_t before = folder->tickedFileCount();
    // The folders of the subtree, each after its parent; walked with a list of its own, not by
    // recursion, so that the depth of the outline never meets the depth of the stack.
    std::vector<PRTreeDirNode*> order{folder.get()};
    for (std::size_t i = 0; i < order.size(); ++i) {
        setState(*order[i], s);
        for (const auto& child : order[i]->children()) {
            if (child) {
                order.push_back(child.get());
            }
        }
    }
    // Backwards, every folder comes after all of its sub-folders: their numbers are final.
    for (std::size_t i = order.size(); i-- > 0;) {
        PRTreeDirNode& at = *order[i];
        std::uint32_t ticked = at.tickAllFiles(on);
        for (const auto& child : at.children()) {
            ticked += child ? child->tickedFileCount() : 0;
        }
        at.setTickedFileCount(ticked);
    }
    addTicked(folder->parent(), static_cast<std::int64_t>(folder->tickedFileCount()) -
                                    static_cast<std::int64_t>(before));
}

bool PRTreeController::sameLevelState(int state, const DirNode& folder) {
    const DirNode parent = folder ? folder->parent() : nullptr;
    if (!parent) {
        return true;
    }
    const auto& level = parent->children();
    return std::all_of(level.begin(), level.end(),
                       [state](const DirNode& f) { return !f || f->isSelected() == state; });
}

bool PRTreeController::sameLevelState(int state, const std::shared_ptr<PRTreeFileNode>& file) {
    const DirNode parent = file ? file->parent() : nullptr;
    if (!parent) {
        return true;
    }
    const auto& files = parent->fileChildren();
    return std::all_of(files.begin(), files.end(),
                       [state](const auto& f) { return !f || stateOf(*f) == state; });
}

bool PRTreeController::GetSelectedOverItem(const DirNode& folder, int state) {
    const DirNode parent = folder ? folder->parent() : nullptr;
    return parent && contentsMixed(*parent, state);
}

bool PRTreeController::GetSelectedOverItem(const std::shared_ptr<PRTreeFileNode>& file, int state) {
    const DirNode parent = file ? file->parent() : nullptr;
    return parent && contentsMixed(*parent, state);
}

void PRTreeController::tickFiles(const std::vector<std::shared_ptr<PRTreeFileNode>>& files,
                                 const std::shared_ptr<PRTreeFileNode>& clicked, bool ticked) {
    const int state = ticked ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected;
    // The folders holding the files, each once, with a file of each and the change of its
    // ticked-file number; the clicked file's folder first.
    struct Holder {
        DirNode folder;
        std::shared_ptr<PRTreeFileNode> file;
        std::int64_t delta = 0;
    };
    std::vector<Holder> holders;
    std::unordered_map<const PRTreeDirNode*, std::size_t> holderOf;
    auto note = [&](const std::shared_ptr<PRTreeFileNode>& file) {
        if (!file) {
            return;
        }
        const bool changed = file->bSelected() != ticked;
        file->setBSelected(ticked);
        DirNode folder = file->parent();
        if (!folder) {
            return;
        }
        // Files come folder by folder (a table shows one folder): the last folder is tried first.
        std::size_t at = holders.size() - 1;
        if (holders.empty() || holders.back().folder != folder) {
            const auto [found, made] = holderOf.emplace(folder.get(), holders.size());
            if (made) {
                holders.push_back({std::move(folder), file, 0});
            }
            at = found->second;
        }
        if (changed && file->isFile()) {
            holders[at].delta += ticked ? 1 : -1;
        }
    };
    note(clicked);
    for (const auto& file : files) {
        note(file);
    }
    for (const Holder& holder : holders) {
        addTicked(holder.folder, holder.delta);
    }
    for (const Holder& holder : holders) {
        followStep(
            *holder.folder, GetSelectedOverItem(holder.file, state),
            [&] { return sameLevelState(state, holder.file); }, state);
        followUpFrom(holder.folder, state);
    }
}

std::uint64_t PRTreeController::getNumSelectedItem(const DirNode& folder, std::uint64_t start) {
    return start + (folder ? folder->tickedFileCount() : 0);
}

std::uint64_t PRTreeController::getTreeSelectedItemNum() const {
    std::uint64_t ticked = 0;
    for (const DirNode& top : content_) {
        ticked = getNumSelectedItem(top, ticked);
    }
    return ticked;
}

void PRTreeController::setFolderChecked(const DirNode& folder, bool checked) {
    if (!folder) {
        return;
    }
    const int state = checked ? PRTreeDirNode::kSelected : PRTreeDirNode::kUnselected;
    SetAllSel(state, folder);
    followUpFrom(folder, state);
}

void PRTreeController::setFileChecked(const std::shared_ptr<PRTreeFileNode>& file, bool checked) {
    tickFiles({file}, file, checked);
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
