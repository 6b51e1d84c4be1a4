#include "browser/backup_outline_model.h"

#include <QSet>

#include "backup/backup_file_tree.h"

namespace nimbara::browser {

namespace {

const std::vector<int> kNoRows;

}  // namespace

BackupOutlineModel::BackupOutlineModel(PRTreeController* controller, QObject* parent)
    : QAbstractItemModel(parent), controller_(controller) {
    capture();
}

void BackupOutlineModel::setController(PRTreeController* controller) {
    controller_ = controller;
    reload();
}

void BackupOutlineModel::reload() {
    beginResetModel();
    capture();
    endResetModel();
}

int BackupOutlineModel::addRow(Row row) {
    rows_.push_back(std::move(row));
    return static_cast<int>(rows_.size()) - 1;
}

void BackupOutlineModel::capture() {
    rows_.clear();
    top_.clear();
    fileCount_ = 0;
    if (!controller_) {
        return;
    }
    for (const auto& folder : controller_->content()) {
        if (folder) {
            const int row = static_cast<int>(top_.size());
            top_.push_back(addRow({folder, nullptr, folder->fileName(), QString(), -1, row, {}}));
        }
    }
    // Breadth first over the table itself, so that a deep outline needs no deep recursion.
    for (std::size_t at = 0; at < rows_.size(); ++at) {
        // a copy: adding rows may move the table
        const std::shared_ptr<PRTreeDirNode> folder = rows_[at].folder;
        if (!folder) {
            continue;
        }
        const int parent = static_cast<int>(at);
        std::vector<int> children;
        QSet<QString> folderNames;
        for (const auto& sub : folder->children()) {
            if (sub) {
                const int row = static_cast<int>(children.size());
                children.push_back(
                    addRow({sub, nullptr, sub->fileName(), QString(), parent, row, {}}));
                folderNames.insert(sub->fileName());
            }
        }
        for (const auto& file : folder->fileChildren()) {
            // A backup lists its folders as entries too; such an entry is shown once, as the
            // folder, not again as a file without contents beside it.
            if (file && !(!file->isFile() && folderNames.contains(file->treefileName()))) {
                const int row = static_cast<int>(children.size());
                children.push_back(addRow(
                    {nullptr, file, file->treefileName(), file->fileSize(), parent, row, {}}));
                ++fileCount_;
            }
        }
        rows_[at].children = std::move(children);
    }
}

const BackupOutlineModel::Row* BackupOutlineModel::rowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != this || index.internalId() >= rows_.size()) {
        return nullptr;
    }
    return &rows_[index.internalId()];
}

const std::vector<int>& BackupOutlineModel::childrenOf(const QModelIndex& parent) const {
    if (!parent.isValid()) {
        return top_;
    }
    // only the first column has children
    const Row* row = parent.column() == 0 ? rowOf(parent) : nullptr;
    return row ? row->children : kNoRows;
}

std::shared_ptr<PRTreeDirNode> BackupOutlineModel::folderAt(const QModelIndex& index) const {
    const Row* row = rowOf(index);
    return row ? row->folder : nullptr;
}

std::shared_ptr<PRTreeFileNode> BackupOutlineModel::fileAt(const QModelIndex& index) const {
    const Row* row = rowOf(index);
    return row ? row->file : nullptr;
}

QModelIndex BackupOutlineModel::index(int row, int column, const QModelIndex& parent) const {
    const std::vector<int>& children = childrenOf(parent);
    if (row < 0 || column < 0 || column > kSizeColumn ||
        static_cast<std::size_t>(row) >= children.size()) {
        return QModelIndex();
    }
    return createIndex(row, column, static_cast<quintptr>(children[row]));
}

QModelIndex BackupOutlineModel::parent(const QModelIndex& child) const {
    const Row* row = rowOf(child);
    if (!row || row->parent < 0) {
        return QModelIndex();
    }
    const int at = row->parent;
    return createIndex(rows_[at].row, 0, static_cast<quintptr>(at));
}

int BackupOutlineModel::rowCount(const QModelIndex& parent) const {
    return static_cast<int>(childrenOf(parent).size());
}

int BackupOutlineModel::columnCount(const QModelIndex& /*parent*/) const {
    return kSizeColumn + 1;
}

QVariant BackupOutlineModel::data(const QModelIndex& index, int role) const {
    const Row* row = rowOf(index);
    if (!row || role != Qt::DisplayRole) {
        return QVariant();
    }
    return index.column() == kNameColumn ? row->name : row->size;
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
    const Row* row = rowOf(index);
    if (!row) {
        return Qt::NoItemFlags;
    }
    const Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    return row->file ? result | Qt::ItemNeverHasChildren : result;
}

}  // namespace nimbara::browser
