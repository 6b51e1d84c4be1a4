// The list controllers of the clean-up page as table models: the app clean-up's found files
// (PRCleanDirNode records), the advertisement rows (PRAppAdsRemoveNode) and the sync-failed
// media (PRCleanFileNode). Each holds its rows in order; setContent replaces them, append takes
// rows as they arrive, removeRows takes rows away. GUI thread only.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "cleanup/ad_caches.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::cleanup {

template <class Node>
class CleanRowsModel : public QAbstractTableModel {
  public:
    using Ptr = std::shared_ptr<Node>;
    struct Column {
        const char* title;
        std::function<QVariant(const Node&)> text;
    };

    CleanRowsModel(std::vector<Column> columns, QObject* parent = nullptr)
        : QAbstractTableModel(parent), columns_(std::move(columns)) {}

    // An icon for the first column (null: none).
    void setIconOf(std::function<QIcon(const Node&)> iconOf) { iconOf_ = std::move(iconOf); }
    // With check boxes in the first column: every row starts ticked, and a row the user unticks
    // is one to keep. An untick stays while its row is listed.
    void setCheckable(bool checkable) { checkable_ = checkable; }
    bool isTicked(const Node* node) const { return unticked_.count(node) == 0; }
    void setTicked(int row, bool ticked) {
        const Ptr node = rowAt(row);
        if (!node || isTicked(node.get()) == ticked) {
            return;
        }
        if (ticked) {
            unticked_.erase(node.get());
        } else {
            unticked_.insert(node.get());
        }
        emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
    }
    // The rows left ticked, in order.
    std::vector<Ptr> tickedRows() const {
        std::vector<Ptr> ticked;
        for (const Ptr& row : rows_) {
            if (isTicked(row.get())) {
                ticked.push_back(row);
            }
        }
        return ticked;
    }

    const std::vector<Ptr>& content() const { return rows_; }
    void setContent(std::vector<Ptr> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        icons_.clear();
        std::unordered_set<const Node*> listed;
        for (const Ptr& row : rows_) {
            listed.insert(row.get());
        }
        std::erase_if(unticked_, [&listed](const Node* node) { return listed.count(node) == 0; });
        endResetModel();
    }
    void clear() { setContent({}); }
    void append(const Ptr& row) {
        const int at = static_cast<int>(rows_.size());
        beginInsertRows(QModelIndex(), at, at);
        rows_.push_back(row);
        endInsertRows();
    }
    // Takes the row at `row` away (nothing when there is none).
    void removeRowAt(int row) {
        if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) {
            return;
        }
        beginRemoveRows(QModelIndex(), row, row);
        icons_.erase(rows_[static_cast<std::size_t>(row)].get());
        unticked_.erase(rows_[static_cast<std::size_t>(row)].get());
        rows_.erase(rows_.begin() + row);
        endRemoveRows();
    }
    Ptr rowAt(int row) const {
        return row >= 0 && static_cast<std::size_t>(row) < rows_.size()
                   ? rows_[static_cast<std::size_t>(row)]
                   : nullptr;
    }
    // Redraws the row of `node`.
    void refresh(const Node* node) {
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i].get() == node) {
                emit dataChanged(index(static_cast<int>(i), 0),
                                 index(static_cast<int>(i), columnCount() - 1));
            }
        }
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        const Ptr row = index.isValid() ? rowAt(index.row()) : nullptr;
        if (!row || index.column() < 0 ||
            static_cast<std::size_t>(index.column()) >= columns_.size()) {
            return QVariant();
        }
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            return columns_[static_cast<std::size_t>(index.column())].text(*row);
        }
        if (role == Qt::CheckStateRole && checkable_ && index.column() == 0) {
            return isTicked(row.get()) ? Qt::Checked : Qt::Unchecked;
        }
        if (role == Qt::DecorationRole && index.column() == 0 && iconOf_) {
            auto found = icons_.find(row.get());
            if (found == icons_.end()) {
                found = icons_.emplace(row.get(), iconOf_(*row)).first;
            }
            return found->second;
        }
        return QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QAbstractTableModel::flags(index);
        if (checkable_ && index.isValid() && index.column() == 0) {
            flags |= Qt::ItemIsUserCheckable;
        }
        return flags;
    }
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::CheckStateRole || !checkable_ || !index.isValid() || index.column() != 0 ||
            !rowAt(index.row())) {
            return false;
        }
        setTicked(index.row(), value.toInt() == Qt::Checked);
        return true;
    }
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            static_cast<std::size_t>(section) >= columns_.size()) {
            return QVariant();
        }
        return QString::fromLatin1(columns_[static_cast<std::size_t>(section)].title);
    }

  private:
    std::vector<Column> columns_;
    std::vector<Ptr> rows_;
    std::function<QIcon(const Node&)> iconOf_;
    mutable std::unordered_map<const Node*, QIcon> icons_;
    bool checkable_ = false;
    std::unordered_set<const Node*> unticked_;
};

using PRCleanRecordsModel = CleanRowsModel<PRCleanDirNode>;
using PRAdsController = CleanRowsModel<PRAppAdsRemoveNode>;
using PRSyncFailedController = CleanRowsModel<PRCleanFileNode>;

// A column showing one text field of the row; a null text shows empty.
template <class Node>
typename CleanRowsModel<Node>::Column textColumn(const char* title, QString (Node::*get)() const) {
    return {title, [get](const Node& node) {
                const QString text = (node.*get)();
                return QVariant(text.isNull() ? QString() : text);
            }};
}

// The models with their columns: Name, App, Size, Path / Name, Version, State, Ads Found /
// Name, Size, Path.
PRCleanRecordsModel* makeCleanRecordsModel(QObject* parent);
PRAdsController* makeAdsModel(QObject* parent);
PRSyncFailedController* makeSyncFailedModel(QObject* parent);

}  // namespace nimbara::cleanup
