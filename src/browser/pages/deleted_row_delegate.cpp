#include "browser/pages/deleted_row_delegate.h"

#include "browser/record_table_model.h"

namespace nimbara::browser {

QColor deletedRecordColor() {
    return QColor(217, 81, 30);
}

void DeletedRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                         const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (index.data(kDeletedRecordRole).toBool()) {
        option->palette.setColor(QPalette::Text, deletedRecordColor());
        option->palette.setColor(QPalette::HighlightedText, deletedRecordColor().lighter(160));
    }
}

}  // namespace nimbara::browser
