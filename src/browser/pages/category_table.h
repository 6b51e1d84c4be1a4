// One record category of the result page: its table, the details beside it, the deleted-only
// filter, ticks, select-all and sorting. The page keeps one per category and talks to them
// through CategoryTable; TypedCategoryTable binds one record family.
//
// The records stay in ResultRecords (the scan adds to it on its own thread); a category takes
// copies of the new ones on the GUI thread and keeps what its table shows. GUI thread only.
#pragma once

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "browser/pages/record_details_view.h"
#include "browser/record_details.h"
#include "browser/record_selection.h"
#include "browser/record_sorting.h"
#include "browser/record_table_model.h"
#include "browser/result_records.h"
#include "ui/column_fitting.h"
#include "ui/fonts.h"

namespace nimbara::browser {

// The look of every record table: whole rows chosen, several at a time (a tick on one of them
// ticks them all), one line a row, in the pages' small font, the tick column narrow.
inline void styleCategoryTable(QTableView* table) {
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setWordWrap(false);
    table->setFont(nimbara::ui::appFont(11));
    table->horizontalHeader()->setStretchLastSection(true);
    table->horizontalHeader()->setHighlightSections(false);
    table->horizontalHeader()->setSectionsClickable(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(22);
    table->setColumnWidth(0, 26);
    nimbara::ui::fitColumnsToContents(table);
}

class CategoryTable {
  public:
    virtual ~CategoryTable() = default;

    // The view shown for the category (the table with its details), the table and the details.
    QWidget* view() const { return view_; }
    QTableView* table() const { return table_; }
    RecordDetailsView* details() const { return details_; }

    // Takes the records found since the last look (only deleted ones while the filter is on).
    virtual void takeNew(const ResultRecords& records) = 0;
    // Shows the whole list again, or only its deleted records.
    virtual void setDeletedOnly(const ResultRecords& records, bool deletedOnly) = 0;
    bool deletedOnly() const { return deletedOnly_; }
    // Ticks or unticks every record the table shows; returns the change of the ticked count.
    virtual int tickShown(bool ticked) = 0;
    // Records the table shows.
    virtual std::size_t shownCount() const = 0;
    // Forgets every record (another backup).
    virtual void clear() = 0;
    // Shows the details of the record in `row` (none: hides them).
    virtual void showDetails(int row) = 0;

    // Selects the first row, which shows its details; without rows the details are hidden.
    void selectFirstRow() {
        table_->clearSelection();
        if (shownCount() > 0) {
            table_->selectRow(0);
            showDetails(0);
        } else {
            showDetails(-1);
        }
    }

    // The category's select-all state.
    bool selectAll = false;

  protected:
    QWidget* view_ = nullptr;
    QPointer<QTableView> table_;
    RecordDetailsView* details_ = nullptr;
    bool deletedOnly_ = false;
};

// What a category needs to know about its record family.
template <class Node>
struct CategoryFamily {
    using Record = std::shared_ptr<Node>;
    using List = std::vector<Record>;
    // The records of the list from index `from` on.
    std::function<List(const ResultRecords&, std::size_t from)> from;
    std::vector<RecordColumn<Node>> columns;
    // The details of one record; empty for categories that show their records another way.
    std::function<std::vector<DetailLine>(const Node&)> details;
    // How a header click sorts this table.
    SortableTable sortable = SortableTable::Other;
};

template <class Node>
class TypedCategoryTable final : public CategoryTable {
  public:
    using Record = std::shared_ptr<Node>;
    using List = std::vector<Record>;

    // `ticked` hears every change of the ticked count a tick in the table makes; `sort` is the
    // page's sort state, shared by its tables. `withDetails` adds the details panel.
    TypedCategoryTable(CategoryFamily<Node> family, const char* tableName, QWidget* parent,
                       RecordSortState* sort, std::function<void(int)> ticked, bool withDetails)
        : family_(std::move(family)),
          model_(family_.columns, /*tickable=*/true),
          sort_(sort),
          ticked_(std::move(ticked)) {
        table_ = new QTableView(parent);
        table_->setObjectName(QString::fromLatin1(tableName));
        table_->setModel(&model_);
        model_.setTickHandler([this](int row, bool tick) { tickRow(row, tick); });
        connections_.push_back(QObject::connect(table_->horizontalHeader(),
                                                &QHeaderView::sectionClicked, table_,
                                                [this](int section) { sortBySection(section); }));
        connections_.push_back(QObject::connect(
            table_->selectionModel(), &QItemSelectionModel::currentRowChanged, table_,
            [this](const QModelIndex& current) { showDetails(current.row()); }));
        if (withDetails) {
            details_ = new RecordDetailsView("", parent);
        }
        view_ = table_;
    }

    // The table may outlive this object by a moment (widgets go after the page's members): it
    // calls nothing here any more.
    ~TypedCategoryTable() override {
        for (const QMetaObject::Connection& connection : connections_) {
            QObject::disconnect(connection);
        }
        if (table_) {
            table_->setModel(nullptr);
        }
    }
    TypedCategoryTable(const TypedCategoryTable&) = delete;
    TypedCategoryTable& operator=(const TypedCategoryTable&) = delete;

    // Puts the table and its details into `view` (made by the page).
    void setView(QWidget* view) { view_ = view; }

    RecordTableModel<Node>& model() { return model_; }
    const List& shown() const { return model_.records(); }

    void takeNew(const ResultRecords& records) override {
        List fresh = family_.from(records, taken_);
        taken_ += fresh.size();
        model_.append(deletedOnlyFilter(fresh, deletedOnly_));
    }

    void setDeletedOnly(const ResultRecords& records, bool deletedOnly) override {
        deletedOnly_ = deletedOnly;
        List all = family_.from(records, 0);
        taken_ = all.size();
        model_.setRecords(deletedOnlyFilter(all, deletedOnly));
    }

    int tickShown(bool ticked) override {
        const int change = tickAll(model_.records(), ticked);
        model_.refreshTicks();
        return change;
    }

    std::size_t shownCount() const override { return model_.size(); }

    void clear() override {
        taken_ = 0;
        deletedOnly_ = false;
        selectAll = false;
        model_.clear();
        showDetails(-1);
    }

    void showDetails(int row) override {
        if (rowChosen_) {
            rowChosen_(model_.record(row));
        }
        if (!details_ || !family_.details) {
            return;
        }
        const Record record = model_.record(row);
        if (!record) {
            details_->clearLines();
            return;
        }
        details_->setLines(family_.details(*record));
        if (detailsShown_) {
            detailsShown_(*record);
        }
    }

    // Called with the chosen record (null when none) whenever the current row changes.
    void setRowChosen(std::function<void(const Record&)> chosen) { rowChosen_ = std::move(chosen); }
    // Called after the details of a record were shown (for pictures the page adds).
    void setDetailsShown(std::function<void(const Node&)> shown) {
        detailsShown_ = std::move(shown);
    }

  private:
    // A tick on one row applies to every selected row when that row is among them; else to it
    // alone.
    void tickRow(int row, bool ticked) {
        std::vector<int> rows;
        const QModelIndexList selected = table_->selectionModel()->selectedRows();
        bool rowIsSelected = false;
        for (const QModelIndex& index : selected) {
            rows.push_back(index.row());
            rowIsSelected = rowIsSelected || index.row() == row;
        }
        if (!rowIsSelected) {
            rows.assign(1, row);
        }
        const int change = tickSelectedRows(model_.records(), rows, ticked);
        model_.refreshTicks();
        if (ticked_) {
            ticked_(change);
        }
    }

    void sortBySection(int section) {
        if (!sort_) {
            return;
        }
        const SortRequest request =
            sort_->columnClicked(family_.sortable, model_.columnIdentifier(section));
        if (!request.sorts()) {
            return;
        }
        List sorted = model_.records();
        if constexpr (requires(List & list) { applySort(request, list); }) {
            if (!applySort(request, sorted)) {
                return;
            }
        } else {
            return;
        }
        model_.setRecords(std::move(sorted));
        selectFirstRow();
    }

    CategoryFamily<Node> family_;
    RecordTableModel<Node> model_;
    RecordSortState* sort_;
    std::function<void(int)> ticked_;
    std::function<void(const Record&)> rowChosen_;
    std::function<void(const Node&)> detailsShown_;
    std::vector<QMetaObject::Connection> connections_;
    // Records of the list taken so far (shown or filtered out).
    std::size_t taken_ = 0;
};

}  // namespace nimbara::browser
