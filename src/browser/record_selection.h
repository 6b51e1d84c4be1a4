// Ticking records on the result page, the deleted-only filter and the selection text.
//
// The page keeps one count of ticked records over every category (`selectedFilesNum`). It is
// changed only by what the tick functions below return, and they count a record only when its
// tick really changes: ticking a ticked record, or the same record twice in one go, counts
// nothing, so the count always equals the ticked records and never goes below zero.
//
// `Node` is any record with bSelected()/setBSelected(); the filter also needs the deleted flag
// (conversations: bdeleted()). Records are never null. GUI thread only.
#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "browser/record_table_model.h"

namespace nimbara::browser {

// Sets one record's tick; returns the change of the ticked count: +1, -1 or 0.
template <class Node>
int setTicked(Node& node, bool ticked) {
    if (node.bSelected() == ticked) {
        return 0;
    }
    node.setBSelected(ticked);
    return ticked ? 1 : -1;
}

// A tick in the check-box column: `ticked` applies to every record of the shown list whose row
// is among `selectedRows` (rows outside the list are passed over). Returns the change of the
// ticked count; with three rows selected of which one is ticked, ticking gives +2.
template <class Node>
int tickSelectedRows(const std::vector<std::shared_ptr<Node>>& shown,
                     const std::vector<int>& selectedRows, bool ticked) {
    int change = 0;
    for (const int row : selectedRows) {
        if (row >= 0 && static_cast<std::size_t>(row) < shown.size()) {
            change += setTicked(*shown[static_cast<std::size_t>(row)], ticked);
        }
    }
    return change;
}

// Select all: `ticked` applies to every record of `records` (the list the filter shows; for
// photos the whole category). Returns the change of the ticked count.
template <class Node>
int tickAll(const std::vector<std::shared_ptr<Node>>& records, bool ticked) {
    int change = 0;
    for (const std::shared_ptr<Node>& record : records) {
        change += setTicked(*record, ticked);
    }
    return change;
}

// How many of `records` are ticked.
template <class Node>
int countTicked(const std::vector<std::shared_ptr<Node>>& records) {
    int count = 0;
    for (const std::shared_ptr<Node>& record : records) {
        count += record->bSelected() ? 1 : 0;
    }
    return count;
}

// The list a category shows: with `deletedOnly` the records that come from deleted rows, in
// their order; otherwise all of them.
template <class Node>
std::vector<std::shared_ptr<Node>> deletedOnlyFilter(const std::vector<std::shared_ptr<Node>>& all,
                                                     bool deletedOnly) {
    if (!deletedOnly) {
        return all;
    }
    std::vector<std::shared_ptr<Node>> shown;
    for (const std::shared_ptr<Node>& record : all) {
        if (recordIsDeleted(*record)) {
            shown.push_back(record);
        }
    }
    return shown;
}

// Which action last changed the ticks; each has its own wording of the selection text.
enum class SelectionChange { RowTick, SelectAll };

struct SelectionText {
    // Ticked records and ticked backup files together.
    int total = 0;
    // Whether the selection label is shown and the recovery button enabled.
    bool shown = false;
    // Empty while nothing is ticked.
    QString text;
};

// The selection label: the ticked records plus the ticked backup files, "You select %d files in
// the backup results." after a row tick and "You select %d files in the recovery results." after
// select all; hidden, and recovery disabled, while that total is below one.
SelectionText selectionText(int tickedRecords, int tickedBackupFiles, SelectionChange change);

}  // namespace nimbara::browser
