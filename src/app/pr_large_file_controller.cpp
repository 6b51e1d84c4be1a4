#include "app/pr_large_file_controller.h"

#include "app/core/quick_scan_names.h"
#include "cleanup/pr_large_file_node.h"

PRLargeFileController::PRLargeFileController(Kind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind) {}

void PRLargeFileController::setArrangedObjects(
    std::vector<std::shared_ptr<PRLargeFileNode>> records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

void PRLargeFileController::removeAllObjects() {
    setArrangedObjects({});
}

std::shared_ptr<PRLargeFileNode> PRLargeFileController::recordAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) {
        return nullptr;
    }
    return records_[static_cast<std::size_t>(row)];
}

void PRLargeFileController::ticksChanged() {
    if (!records_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

QString PRLargeFileController::columnIdentifier(int column) {
    switch (column) {
        case kNameColumn:
            return QStringLiteral("Name");
        case kSizeColumn:
            return QStringLiteral("Size");
        default:
            return {};
    }
}

QString PRLargeFileController::nameText(const PRLargeFileNode& record) const {
    return kind_ == Kind::LargeFiles ? nimbara::shell::shortenedLargeFileName(record.fileName())
                                     : nimbara::shell::shortenedLargeAppName(record.fileName());
}

QString PRLargeFileController::sizeText(const PRLargeFileNode& record) const {
    if (kind_ == Kind::LargeFiles) {
        return record.fileSize();
    }
    const QString total = record.totalSize();
    return total.isNull() ? QStringLiteral(" ") : total;
}

int PRLargeFileController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int PRLargeFileController::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant PRLargeFileController::data(const QModelIndex& index, int role) const {
    const auto record = index.isValid() ? recordAt(index.row()) : nullptr;
    if (!record) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return index.column() == kNameColumn ? nameText(*record) : sizeText(*record);
    }
    if (role == Qt::ToolTipRole && index.column() == kNameColumn) {
        // The whole name (and the path of a file): the column may show it shortened.
        const QString path = record->filePath();
        return path.isEmpty() ? record->fileName() : path;
    }
    if (role == Qt::TextAlignmentRole && index.column() == kSizeColumn) {
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
}

QVariant PRLargeFileController::headerData(int section, Qt::Orientation orientation,
                                           int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        return columnIdentifier(section);
    }
    return {};
}
