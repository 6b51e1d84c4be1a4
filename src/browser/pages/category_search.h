// The search of the result page: narrows what a category's table shows to the records whose
// searched fields hold the typed text. It searches the list as the deleted-only filter has it
// (with the filter on, only deleted records are found); ticks stay with the records, so a ticked
// record the search hides stays ticked and counted. GUI thread only.
#pragma once

#include <QString>

#include "browser/record_search.h"

namespace nimbara::browser {

class CategoryTable;
class ResultRecords;

class CategorySearch {
  public:
    // Shows in `table` (of the record family `family`) the records of its list that match
    // `typed`, the whole list for an empty text, and chooses the first row. False, with nothing
    // changed, for a family that is not searched or a table of another family.
    bool search(CategoryTable& table, SearchFamily family, const ResultRecords& records,
                const QString& typed);
    // The table narrowed last shows its whole list again (as its filter has it).
    void restore(const ResultRecords& records);
    // The tables were emptied: nothing is narrowed any more.
    void forget() { narrowed_ = nullptr; }
    // `table` shows only what a search found.
    bool narrows(const CategoryTable& table) const { return narrowed_ == &table; }

  private:
    CategoryTable* narrowed_ = nullptr;
};

}  // namespace nimbara::browser
