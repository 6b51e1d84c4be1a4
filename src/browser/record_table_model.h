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

#include "browser/record_sorting.h"

class PRFaceTwitterNode;
class PRMessageTreeNode;
class PRPhotoAndVideoNode;

namespace nimbara::browser {

// Data role answering whether the row's record comes from deleted rows.
inline constexpr int kDeletedRecordRole = Qt::UserRole + 1;

// Whether a record comes from deleted rows (conversations carry the flag under another name);
// a record without the flag never does.
template <class Node>
bool recordIsDeleted(const Node& node) {
    if constexpr (requires { node.bDeleted(); }) {
        return node.bDeleted();
    } else {
        return false;
    }
}
bool recordIsDeleted(const PRMessageTreeNode& node);
// Media and app files are never recovered from deleted rows.
bool recordIsDeleted(const PRPhotoAndVideoNode& node);
bool recordIsDeleted(const PRFaceTwitterNode& node);

template <class Node>
struct RecordColumn {
    // The header text; it is also the column's identifier ("Name", "Size").
    QString title;
    std::function<QString(const Node&)> text;
};

// A column showing one text field of the record.
template <class Node>
RecordColumn<Node> recordField(const char* title, QString (Node::*get)() const) {
    return {QString::fromLatin1(title), [get](const Node& node) { return (node.*get)(); }};
}

template <class Node>
class RecordTableModel final : public QAbstractTableModel {
  public:
    using Record = std::shared_ptr<Node>;
    // Called when the user ticks (true) or unticks the record in `row`; the handler sets the
    // records' ticks and then calls refreshTicks().
    using TickHandler = std::function<void(int row, bool ticked)>;

    // With `tickable`, column 0 is the tick column (identifier kTickColumn, no title) and the
    // field columns follow.
    explicit RecordTableModel(std::vector<RecordColumn<Node>> columns, bool tickable = false,
                              QObject* parent = nullptr)
        : QAbstractTableModel(parent), columns_(std::move(columns)), tickable_(tickable) {}

    void setTickHandler(TickHandler handler) { tickHandler_ = std::move(handler); }
    bool tickable() const { return tickable_; }

    // The identifier of column `section`: kTickColumn or the field column's title.
    QString columnIdentifier(int section) const {
        if (tickable_ && section == 0) {
            return QStringView(kTickColumn).toString();
        }
        const int field = section - (tickable_ ? 1 : 0);
        if (field < 0 || field >= static_cast<int>(columns_.size())) {
            return {};
        }
        return columns_[static_cast<std::size_t>(field)].title;
    }

    // The ticks of every row may have changed.
    void refreshTicks() {
        if (tickable_ && !records_.empty()) {
            emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
        }
    }

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
        return parent.isValid() ? 0 : static_cast<int>(columns_.size()) + (tickable_ ? 1 : 0);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const Record node = record(index.row());
        if (!node || index.column() < 0 || index.column() >= columnCount()) {
            return {};
        }
        if (role == kDeletedRecordRole) {
            return recordIsDeleted(*node);
        }
        if (tickable_ && index.column() == 0) {
            if (role == Qt::CheckStateRole) {
                return node->bSelected() ? Qt::Checked : Qt::Unchecked;
            }
            return {};
        }
        const auto& column =
            columns_[static_cast<std::size_t>(index.column() - (tickable_ ? 1 : 0))];
        switch (role) {
            case Qt::DisplayRole:
                return displayText(column.text(*node));
            case Qt::ToolTipRole:
                return toolTipText(column.text(*node));
            default:
                return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (tickable_ && index.isValid() && index.column() == 0) {
            flags |= Qt::ItemIsUserCheckable;
        }
        return flags;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!tickable_ || role != Qt::CheckStateRole || index.column() != 0 ||
            !record(index.row())) {
            return false;
        }
        const bool ticked = value.toInt() == Qt::Checked;
        if (tickHandler_) {
            tickHandler_(index.row(), ticked);
        } else {
            records_[static_cast<std::size_t>(index.row())]->setBSelected(ticked);
            emit dataChanged(index, index, {Qt::CheckStateRole});
        }
        return true;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= columnCount()) {
            return {};
        }
        if (tickable_ && section == 0) {
            return QString();
        }
        return columnIdentifier(section);
    }

  private:
    // A tool tip reads texts that look like markup as rich text: a record's text goes into one
    // as rich text that shows the text as it stands, line breaks kept.
    static QString toolTipText(const QString& text) {
        if (text.isEmpty()) {
            return text;
        }
        return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(text.toHtmlEscaped());
    }

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
    bool tickable_ = false;
    TickHandler tickHandler_;
    std::vector<Record> records_;
};

}  // namespace nimbara::browser
