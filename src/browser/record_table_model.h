// A table of one record family for the backup browser: the records in the order they were found,
// one column per field. Rows are appended as the scan finds records (never a reset while a scan
// runs, so a selection and the scroll position survive); records recovered from deleted rows are
// drawn in their own colour.
//
// The model holds shared pointers to the records; it is used on the GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class PRMessageTreeNode;

namespace nimbara::browser {

// Data role answering whether the row's record comes from deleted rows.
inline constexpr int kDeletedRecordRole = Qt::UserRole + 1;

// Whether a record comes from deleted rows (conversations carry the flag under another name).
template <class Node>
bool recordIsDeleted(const Node& node) {
    return node.bDeleted();
}
bool recordIsDeleted(const PRMessageTreeNode& node);

template <class Node>
struct RecordColumn {
    // The header text; it is also the column's identifier ("Name", "Size").
    QString title;
    std::function<QString(const Node&)> text;
};

template <class Node>
class RecordTableModel final : public QAbstractTableModel {
  public:
    using Record = std::shared_ptr<Node>;

    explicit RecordTableModel(std::vector<RecordColumn<Node>> columns, QObject* parent = nullptr)
        : QAbstractTableModel(parent), columns_(std::move(columns)) {}

    // Adds records at the end.
    void append(std::vector<Record> records) {
        if (records.empty()) {
            return;
        }
        const int first = static_cast<int>(records_.size());
        beginInsertRows({}, first, first + static_cast<int>(records.size()) - 1);
        records_.insert(records_.end(), std::make_move_iterator(records.begin()),
                        std::make_move_iterator(records.end()));
        endInsertRows();
    }

    // Replaces every record (a new backup, a filter or a sort).
    void setRecords(std::vector<Record> records) {
        beginResetModel();
        records_ = std::move(records);
        endResetModel();
    }

    void clear() { setRecords({}); }

    // The texts of every row may have changed (a conversation took new messages).
    void refreshTexts() {
        if (!records_.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                             {Qt::DisplayRole});
        }
    }

    std::size_t size() const { return records_.size(); }
    const std::vector<Record>& records() const { return records_; }
    // The record of `row`, or null outside the table.
    Record record(int row) const {
        if (row < 0 || row >= static_cast<int>(records_.size())) {
            return nullptr;
        }
        return records_[static_cast<std::size_t>(row)];
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(records_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const Record node = record(index.row());
        if (!node || index.column() < 0 || index.column() >= columnCount()) {
            return {};
        }
        switch (role) {
            case Qt::DisplayRole:
                return displayText(columns_[static_cast<std::size_t>(index.column())].text(*node));
            case Qt::ToolTipRole:
                return columns_[static_cast<std::size_t>(index.column())].text(*node);
            case kDeletedRecordRole:
                return recordIsDeleted(*node);
            default:
                return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= columnCount()) {
            return {};
        }
        return columns_[static_cast<std::size_t>(section)].title;
    }

  private:
    // A cell shows one line: line breaks of the record become blanks.
    static QString displayText(QString text) {
        for (QChar& c : text) {
            if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
                c == QChar::ParagraphSeparator) {
                c = QLatin1Char(' ');
            }
        }
        return text;
    }

    std::vector<RecordColumn<Node>> columns_;
    std::vector<Record> records_;
};

}  // namespace nimbara::browser
