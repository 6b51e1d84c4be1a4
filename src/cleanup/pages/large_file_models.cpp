#include "cleanup/pages/large_file_models.h"

#include <QPixmap>
#include <QStringList>

#include "cleanup/pr_large_file_node.h"
#include "ui/fonts.h"
#include "ui/named_image.h"

namespace {

const QStringList& userColumns() {
    static const QStringList columns{QStringLiteral("Type"), QStringLiteral("Name"),
                                     QStringLiteral("Size"), QStringLiteral("Path")};
    return columns;
}

const QStringList& appColumns() {
    static const QStringList columns{QStringLiteral("Icon"),      QStringLiteral("Name"),
                                     QStringLiteral("Version"),   QStringLiteral("App Size"),
                                     QStringLiteral("Data Size"), QStringLiteral("Total Size"),
                                     QStringLiteral("Location")};
    return columns;
}

QPixmap scaledTo(const QPixmap& picture, int side) {
    return picture.isNull()
               ? picture
               : picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

PRLargeFileRecordsController::PRLargeFileRecordsController(Kind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind) {}

void PRLargeFileRecordsController::setArrangedObjects(
    std::vector<std::shared_ptr<PRLargeFileNode>> records) {
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

std::shared_ptr<PRLargeFileNode> PRLargeFileRecordsController::recordAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= records_.size()) {
        return nullptr;
    }
    return records_[static_cast<std::size_t>(row)];
}

int PRLargeFileRecordsController::rowOf(const PRLargeFileNode* record) const {
    for (std::size_t i = 0; i < records_.size(); ++i) {
        if (records_[i].get() == record) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void PRLargeFileRecordsController::recordChanged(const PRLargeFileNode* record) {
    const int row = rowOf(record);
    if (row >= 0) {
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

QString PRLargeFileRecordsController::columnIdentifier(int column) const {
    const QStringList& columns = kind_ == Kind::UserFiles ? userColumns() : appColumns();
    return column >= 0 && column < columns.size() ? columns[column] : QString();
}

int PRLargeFileRecordsController::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int PRLargeFileRecordsController::columnCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>((kind_ == Kind::UserFiles ? userColumns() : appColumns()).size());
}

QVariant PRLargeFileRecordsController::data(const QModelIndex& index, int role) const {
    const std::shared_ptr<PRLargeFileNode> record = recordAt(index.row());
    if (!record) {
        return {};
    }
    if (role == Qt::FontRole) {
        return nimbara::ui::appFont(11);
    }
    const QString column = columnIdentifier(index.column());
    if (role == Qt::DecorationRole) {
        if (column == QLatin1String("Type")) {
            return scaledTo(nimbara::ui::namedImage(QStringLiteral("NSInfo")), 14);
        }
        if (column == QLatin1String("Icon")) {
            QPixmap icon;
            if (!icon.loadFromData(record->fileIconPng(), "PNG")) {
                icon = nimbara::ui::namedImage(QStringLiteral("NULLImage.png"));
            }
            return scaledTo(icon, 18);
        }
        return {};
    }
    if (role == Qt::ToolTipRole && column == QLatin1String("Type")) {
        return record->fileAdvice();
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (column == QLatin1String("Name")) {
        return record->fileName();
    }
    // A file found in an app's container shows its own size as its total.
    const bool appFile = kind_ == Kind::Apps && !record->filePath().isEmpty();
    if (column == QLatin1String("Size") || column == QLatin1String("App Size")) {
        return appFile ? QString() : record->fileSize();
    }
    if (column == QLatin1String("Path")) {
        return record->filePath();
    }
    if (column == QLatin1String("Version")) {
        return record->appVersion();
    }
    if (column == QLatin1String("Data Size")) {
        return record->documentSize();
    }
    if (column == QLatin1String("Total Size")) {
        return appFile ? record->fileSize() : record->totalSize();
    }
    if (column == QLatin1String("Location")) {
        return record->filePath().isEmpty()
                   ? QString()
                   : record->fileParentName() + QStringLiteral(": ") + record->filePath();
    }
    return {};
}

QVariant PRLargeFileRecordsController::headerData(int section, Qt::Orientation orientation,
                                                  int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    const QString id = columnIdentifier(section);
    return id == QLatin1String("Type") || id == QLatin1String("Icon") ? QString() : id;
}
