#include "browser/backup_file_table_model.h"

#include "backup/pr_tree_dir_node.h"

#include <algorithm>

namespace nimbara::browser {

BackupFileTableModel::BackupFileTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void BackupFileTableModel::setFiles(std::shared_ptr<PRTreeDirNode> folder,
                                    std::vector<std::shared_ptr<PRTreeFileNode>> files) {
    beginResetModel();
    folder_ = std::move(folder);
    files_ = folder_ ? std::move(files) : std::vector<std::shared_ptr<PRTreeFileNode>>();
    endResetModel();
}

void BackupFileTableModel::updateFiles(std::vector<std::shared_ptr<PRTreeFileNode>> files) {
    const bool grown =
        files.size() >= files_.size() && std::equal(files_.begin(), files_.end(), files.begin());
    if (!grown) {
        setFiles(folder_, std::move(files));
        return;
    }
    if (files.size() == files_.size()) {
        return;
    }
    const int first = static_cast<int>(files_.size());
    beginInsertRows(QModelIndex(), first, static_cast<int>(files.size()) - 1);
    files_ = std::move(files);
    endInsertRows();
}

std::shared_ptr<PRTreeFileNode> BackupFileTableModel::fileAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.size()) {
        return nullptr;
    }
    return files_[static_cast<std::size_t>(row)];
}

void BackupFileTableModel::ticksChanged() {
    if (!files_.empty()) {
        emit dataChanged(index(0, kTickColumn), index(rowCount() - 1, kTickColumn),
                         {Qt::DecorationRole});
    }
}

QString BackupFileTableModel::columnIdentifier(int column) {
    switch (column) {
        case kTickColumn:
            return QStringLiteral("bSelected");
        case kNameColumn:
            return QStringLiteral("Name");
        case kSizeColumn:
            return QStringLiteral("Size");
        case kTypeColumn:
            return QStringLiteral("Type");
        default:
            return QString();
    }
}

int BackupFileTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(files_.size());
}

int BackupFileTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant BackupFileTableModel::data(const QModelIndex& index, int role) const {
    const std::shared_ptr<PRTreeFileNode> file =
        index.isValid() && index.model() == this ? fileAt(index.row()) : nullptr;
    if (!file) {
        return QVariant();
    }
    switch (role) {
        case Qt::DecorationRole:
            if (index.column() == kTickColumn) {
                return file->bSelected() ? QStringLiteral("selected")
                                         : QStringLiteral("unselected");
            }
            return QVariant();
        case Qt::DisplayRole:
            switch (index.column()) {
                case kNameColumn:
                    return file->treefileName();
                case kSizeColumn:
                    return file->isFile() ? file->fileSize() : QString();
                case kTypeColumn:
                    return file->treefileType();
                default:
                    return QVariant();
            }
        case Qt::ToolTipRole:
            if (!file->isFile()) {
                return QStringLiteral("Listed by the backup, but the backup does not hold it.");
            }
            // Rich text, so that a name from the backup is shown as it is, never as markup.
            return QStringLiteral("<p style='white-space:pre'>%1</p>")
                .arg(file->dirFilePath().toHtmlEscaped());
        default:
            return QVariant();
    }
}

QVariant BackupFileTableModel::headerData(int section, Qt::Orientation orientation,
                                          int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section == kTickColumn) {
        return QVariant();
    }
    return columnIdentifier(section);
}

}  // namespace nimbara::browser
