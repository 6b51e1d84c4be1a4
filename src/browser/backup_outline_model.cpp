#include "browser/backup_outline_model.h"

#include "backup/backup_file_tree.h"
#include "ui/core/text_utilities.h"

#include <algorithm>

namespace nimbara::browser {

namespace {

// An index's internal id: the table position of a folder, shifted left once; the low bit set
// for a file row, whose position is then that of the folder holding it.
quintptr folderId(int at) {
    return static_cast<quintptr>(at) << 1;
}
quintptr fileId(int at) {
    return (static_cast<quintptr>(at) << 1) | 1u;
}

// The name a file of `folder` is shown with, as PRTreeFileNode::treefileName, read from its
// record without making the file's node.
QString fileNameAt(const PRTreeDirNode& folder, std::size_t at) {
    const auto& record = folder.fileRecordAt(at);
    return record ? outlineFileName(record->filePath()) : QString(QLatin1String(""));
}

// Whether file `at` of `folder` is left out: a missing node, or a file without a stored file
// whose name a sub-folder of its folder has (the folder's own entry, shown as the folder only).
bool isLeftOut(const PRTreeDirNode& folder, std::size_t at) {
    if (folder.fileNodesMade() && !folder.fileChildren()[at]) {
        return true;
    }
    if (folder.fileStoredAt(at)) {
        return false;
    }
    const QString name = fileNameAt(folder, at);
    for (const auto& sub : folder.children()) {
        if (sub && sub->fileName() == name) {
            return true;
        }
    }
    return false;
}

}  // namespace

BackupOutlineModel::BackupOutlineModel(PRTreeController* controller, QObject* parent)
    : QAbstractItemModel(parent), controller_(controller) {
    capture();
}

void BackupOutlineModel::setController(PRTreeController* controller) {
    controller_ = controller;
    reload();
}

void BackupOutlineModel::setShowsFiles(bool shows) {
    if (shows == showsFiles_) {
        return;
    }
    beginResetModel();
    showsFiles_ = shows;
    endResetModel();
}

int BackupOutlineModel::rowsOf(const Folder& folder) const {
    return static_cast<int>(folder.folders.size() + (showsFiles_ ? folder.shownFiles() : 0));
}

std::size_t BackupOutlineModel::positionOf(const Folder& folder, std::size_t shown) {
    std::size_t at = shown;
    for (const std::uint32_t left : folder.hidden) {
        if (left > at) {
            break;
        }
        ++at;
    }
    return at;
}

std::vector<std::shared_ptr<PRTreeFileNode>> BackupOutlineModel::shownFiles(
    const QModelIndex& folder) const {
    std::vector<std::shared_ptr<PRTreeFileNode>> files;
    const RowRef ref = refOf(folder);
    if (ref.folder <= 0 || ref.file >= 0) {
        return files;
    }
    const Folder& shown = folders_[static_cast<std::size_t>(ref.folder)];
    const auto& all = shown.node->fileChildren();
    files.reserve(shown.shownFiles());
    auto left = shown.hidden.begin();
    for (std::size_t at = 0; at < shown.filesSeen; ++at) {
        if (left != shown.hidden.end() && *left == at) {
            ++left;
            continue;
        }
        files.push_back(all[at]);
    }
    return files;
}

QModelIndex BackupOutlineModel::indexOfFolder(const PRTreeDirNode* folder) const {
    const auto found = folderAt_.find(folder);
    return found == folderAt_.end() ? QModelIndex() : indexOfFolder(found->second);
}

void BackupOutlineModel::ticksChanged(const std::shared_ptr<PRTreeDirNode>& folder) {
    const auto found = folderAt_.find(folder.get());
    if (found == folderAt_.end()) {
        return;
    }
    // Each signal spans both columns: a view redraws what it shows of such a span at once,
    // without looking for the row among its rows (which a view does for a single cell).
    const QList<int> roles{Qt::DecorationRole};
    // The folder and the folders above it.
    for (int at = found->second; at > 0; at = folders_[static_cast<std::size_t>(at)].parent) {
        const QModelIndex row = indexOfFolder(at);
        emit dataChanged(row, row.siblingAtColumn(kSizeColumn), roles);
    }
    // Every row below it, a folder's rows at a time.
    std::vector<int> pending{found->second};
    while (!pending.empty()) {
        const int at = pending.back();
        pending.pop_back();
        const Folder& shown = folders_[static_cast<std::size_t>(at)];
        const int rows = rowsOf(shown);
        if (rows > 0) {
            const QModelIndex parent = indexOfFolder(at);
            emit dataChanged(index(0, kNameColumn, parent), index(rows - 1, kSizeColumn, parent),
                             roles);
        }
        pending.insert(pending.end(), shown.folders.begin(), shown.folders.end());
    }
}

void BackupOutlineModel::reload() {
    beginResetModel();
    capture();
    endResetModel();
}

int BackupOutlineModel::addFolder(const std::shared_ptr<PRTreeDirNode>& node, int parent, int row) {
    const int at = static_cast<int>(folders_.size());
    Folder folder;
    folder.node = node;
    folder.parent = parent;
    folder.row = row;
    folders_.push_back(std::move(folder));
    folderAt_[node.get()] = at;
    return at;
}

const std::vector<std::shared_ptr<PRTreeDirNode>>& BackupOutlineModel::subFolders(int at) const {
    static const std::vector<std::shared_ptr<PRTreeDirNode>> kNone;
    if (at == 0) {
        return controller_ ? controller_->content() : kNone;
    }
    return folders_[static_cast<std::size_t>(at)].node->children();
}

BackupOutlineModel::NewFiles BackupOutlineModel::newFiles(const Folder& folder) const {
    NewFiles files;
    files.seen = folder.filesSeen;
    if (!folder.node) {
        return files;
    }
    const PRTreeDirNode& node = *folder.node;
    for (const std::size_t count = node.fileCount(); files.seen < count; ++files.seen) {
        if (isLeftOut(node, files.seen)) {
            files.hidden.push_back(static_cast<std::uint32_t>(files.seen));
        } else {
            ++files.shown;
            files.unstored += node.fileStoredAt(files.seen) ? 0 : 1;
        }
    }
    return files;
}

void BackupOutlineModel::takeFiles(Folder& folder, NewFiles& files) {
    folder.filesSeen = files.seen;
    folder.hidden.insert(folder.hidden.end(), files.hidden.begin(), files.hidden.end());
    folder.unstored += files.unstored;
    fileCount_ += static_cast<int>(files.shown);
}

void BackupOutlineModel::mirror(int top) {
    // Breadth first over the table itself, so that a deep outline needs no deep recursion.
    std::vector<int> pending{top};
    while (!pending.empty()) {
        const int at = pending.back();
        pending.pop_back();
        // a copy: adding folders may move the table
        const auto children = subFolders(at);
        for (const auto& child : children) {
            if (!child || folderAt_.count(child.get()) != 0) {
                continue;
            }
            const int row = static_cast<int>(folders_[static_cast<std::size_t>(at)].folders.size());
            const int made = addFolder(child, at, row);
            folders_[static_cast<std::size_t>(at)].folders.push_back(made);
            pending.push_back(made);
        }
        Folder& folder = folders_[static_cast<std::size_t>(at)];
        NewFiles files = newFiles(folder);
        takeFiles(folder, files);
    }
}

void BackupOutlineModel::capture() {
    folders_.clear();
    folderAt_.clear();
    fileCount_ = 0;
    folders_.emplace_back();  // the root
    if (!controller_) {
        return;
    }
    controller_->takeChanges();  // everything there is now is taken below
    mirror(0);
}

void BackupOutlineModel::update() {
    if (!controller_) {
        return;
    }
    const PRTreeController::Changes changes = controller_->takeChanges();
    if (changes.top) {
        sync(0);
    }
    for (const auto& folder : changes.folders) {
        // A folder not shown yet is shown whole when its own folder takes it.
        const auto found = folderAt_.find(folder.get());
        if (found != folderAt_.end()) {
            sync(found->second);
        }
    }
}

QModelIndex BackupOutlineModel::indexOfFolder(int at) const {
    if (at <= 0) {
        return QModelIndex();
    }
    return createIndex(folders_[static_cast<std::size_t>(at)].row, 0, folderId(at));
}

void BackupOutlineModel::sync(int at) {
    // Sub-folders: the controller only ever inserts them, in sorted place, so one merge of its
    // list with the shown one finds every new run of them.
    const auto wanted = subFolders(at);  // a copy: the table may move below
    std::size_t shownAt = 0;
    for (std::size_t i = 0; i < wanted.size();) {
        const std::vector<int>& shown = folders_[static_cast<std::size_t>(at)].folders;
        if (shownAt < shown.size() &&
            folders_[static_cast<std::size_t>(shown[shownAt])].node == wanted[i]) {
            ++shownAt;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < wanted.size() &&
               !(shownAt < shown.size() &&
                 folders_[static_cast<std::size_t>(shown[shownAt])].node == wanted[end])) {
            ++end;
        }
        std::vector<int> made;
        for (std::size_t k = i; k < end; ++k) {
            if (wanted[k] && folderAt_.count(wanted[k].get()) == 0) {
                const int row = static_cast<int>(shownAt + made.size());
                made.push_back(addFolder(wanted[k], at, row));
                mirror(made.back());
            }
        }
        if (!made.empty()) {
            const int first = static_cast<int>(shownAt);
            beginInsertRows(indexOfFolder(at), first, first + static_cast<int>(made.size()) - 1);
            std::vector<int>& list = folders_[static_cast<std::size_t>(at)].folders;
            list.insert(list.begin() + static_cast<std::ptrdiff_t>(shownAt), made.begin(),
                        made.end());
            for (std::size_t row = shownAt; row < list.size(); ++row) {
                folders_[static_cast<std::size_t>(list[row])].row = static_cast<int>(row);
            }
            endInsertRows();
            for (const int folder : made) {
                hideEntriesOf(at, folders_[static_cast<std::size_t>(folder)].node->fileName());
            }
        }
        shownAt += made.size();
        i = end;
    }
    // Files: only ever appended.
    Folder& folder = folders_[static_cast<std::size_t>(at)];
    NewFiles files = newFiles(folder);
    if (files.shown == 0) {
        takeFiles(folder, files);  // only files left out, if any
        return;
    }
    const int first = rowsOf(folder);
    if (showsFiles_) {
        beginInsertRows(indexOfFolder(at), first, first + static_cast<int>(files.shown) - 1);
    }
    takeFiles(folder, files);
    if (showsFiles_) {
        endInsertRows();
    }
    emit folderFilesChanged(indexOfFolder(at));
}

void BackupOutlineModel::hideEntriesOf(int at, const QString& name) {
    Folder& folder = folders_[static_cast<std::size_t>(at)];
    if (folder.unstored == 0 || !folder.node) {
        return;
    }
    const PRTreeDirNode& node = *folder.node;
    std::vector<std::uint32_t> entries;
    auto left = folder.hidden.begin();
    for (std::size_t p = 0; p < folder.filesSeen; ++p) {
        if (left != folder.hidden.end() && *left == p) {
            ++left;
        } else if (!node.fileStoredAt(p) && fileNameAt(node, p) == name) {
            entries.push_back(static_cast<std::uint32_t>(p));
        }
    }
    // From the last row up, so that the rows of those still to go stay where they are.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const auto place = std::lower_bound(folder.hidden.begin(), folder.hidden.end(), *entry);
        const int row = static_cast<int>(folder.folders.size() + *entry -
                                         static_cast<std::size_t>(place - folder.hidden.begin()));
        if (showsFiles_) {
            beginRemoveRows(indexOfFolder(at), row, row);
        }
        folder.hidden.insert(place, *entry);
        --folder.unstored;
        --fileCount_;
        if (showsFiles_) {
            endRemoveRows();
        }
    }
    if (!entries.empty()) {
        emit folderFilesChanged(indexOfFolder(at));
    }
}

BackupOutlineModel::RowRef BackupOutlineModel::refOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this) {
        return {};
    }
    const quintptr id = index.internalId();
    const std::size_t at = static_cast<std::size_t>(id >> 1);
    if (at >= folders_.size() || (at == 0 && (id & 1u) == 0)) {
        return {};
    }
    if ((id & 1u) == 0) {
        return {static_cast<int>(at), -1};
    }
    if (!showsFiles_) {
        return {};
    }
    const Folder& folder = folders_[at];
    const int file = index.row() - static_cast<int>(folder.folders.size());
    if (file < 0 || static_cast<std::size_t>(file) >= folder.shownFiles()) {
        return {};
    }
    return {static_cast<int>(at), file};
}

std::size_t BackupOutlineModel::filePosition(const RowRef& ref) const {
    return positionOf(folders_[static_cast<std::size_t>(ref.folder)],
                      static_cast<std::size_t>(ref.file));
}

std::shared_ptr<PRTreeDirNode> BackupOutlineModel::folderAt(const QModelIndex& index) const {
    const RowRef ref = refOf(index);
    return ref.folder > 0 && ref.file < 0 ? folders_[static_cast<std::size_t>(ref.folder)].node
                                          : nullptr;
}

std::shared_ptr<PRTreeFileNode> BackupOutlineModel::fileAt(const QModelIndex& index) const {
    const RowRef ref = refOf(index);
    if (ref.folder <= 0 || ref.file < 0) {
        return nullptr;
    }
    const Folder& folder = folders_[static_cast<std::size_t>(ref.folder)];
    return folder.node->fileChildren()[positionOf(folder, static_cast<std::size_t>(ref.file))];
}

QModelIndex BackupOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    int at = 0;
    if (parent.isValid()) {
        const RowRef ref = refOf(parent);
        if (ref.folder <= 0 || ref.file >= 0 || parent.column() != 0) {
            return QModelIndex();
        }
        at = ref.folder;
    }
    const Folder& folder = folders_[static_cast<std::size_t>(at)];
    if (row < 0 || column < 0 || column > kSizeColumn || row >= rowsOf(folder)) {
        return QModelIndex();
    }
    if (static_cast<std::size_t>(row) < folder.folders.size()) {
        return createIndex(row, column, folderId(folder.folders[static_cast<std::size_t>(row)]));
    }
    return createIndex(row, column, fileId(at));
}

QModelIndex BackupOutlineModel::parent(const QModelIndex& child) const {
    const RowRef ref = refOf(child);
    if (ref.folder <= 0) {
        return QModelIndex();
    }
    if (ref.file >= 0) {
        return indexOfFolder(ref.folder);
    }
    return indexOfFolder(folders_[static_cast<std::size_t>(ref.folder)].parent);
}

int BackupOutlineModel::rowCount(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return rowsOf(folders_.front());
    }
    // only the first column of a folder row has children
    const RowRef ref = refOf(parent);
    if (ref.folder <= 0 || ref.file >= 0 || parent.column() != 0) {
        return 0;
    }
    return rowsOf(folders_[static_cast<std::size_t>(ref.folder)]);
}

int BackupOutlineModel::columnCount(const QModelIndex& /*parent*/) const {
    return kSizeColumn + 1;
}

QVariant BackupOutlineModel::data(const QModelIndex& index, int role) const {
    const RowRef ref = refOf(index);
    if (ref.folder <= 0) {
        return QVariant();
    }
    if (role == Qt::DecorationRole && index.column() != kNameColumn) {
        return QVariant();
    }
    const PRTreeDirNode& folder = *folders_[static_cast<std::size_t>(ref.folder)].node;
    if (role == Qt::DecorationRole) {
        if (ref.file >= 0) {
            return folder.fileTickedAt(filePosition(ref)) ? QStringLiteral("selected")
                                                          : QStringLiteral("unselected");
        }
        return folder.nodeIcon();
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    // A file row's texts come from its record: showing a row makes no file node.
    if (ref.file >= 0) {
        const std::size_t at = filePosition(ref);
        return index.column() == kNameColumn ? fileNameAt(folder, at)
                                             : nimbara::shell::size_to_unit(folder.fileSizeAt(at));
    }
    return index.column() == kNameColumn ? folder.fileName() : QString();
}

QVariant BackupOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QVariant();
    }
    if (section == kNameColumn) {
        return QStringLiteral("Name");
    }
    if (section == kSizeColumn) {
        return QStringLiteral("Size");
    }
    return QVariant();
}

Qt::ItemFlags BackupOutlineModel::flags(const QModelIndex& index) const {
    const RowRef ref = refOf(index);
    if (ref.folder <= 0) {
        return Qt::NoItemFlags;
    }
    const Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return ref.file >= 0 ? result | Qt::ItemNeverHasChildren : result;
}

}  // namespace nimbara::browser
