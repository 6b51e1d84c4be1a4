// Draws the rows of a record table whose records come from deleted rows in the deleted colour
// (orange-red), the others in the table's own colour.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>

namespace nimbara::browser {

// The colour of a record recovered from deleted rows.
QColor deletedRecordColor();

class DeletedRowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace nimbara::browser
