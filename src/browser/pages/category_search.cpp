#include "browser/pages/category_search.h"

#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "browser/pages/category_table.h"

namespace nimbara::browser {

namespace {

// The table's list as its filter has it, then only what matches.
template <class Node>
bool narrow(CategoryTable& table, const ResultRecords& records, const QString& typed) {
    auto* typedTable = dynamic_cast<TypedCategoryTable<Node>*>(&table);
    if (typedTable == nullptr) {
        return false;
    }
    typedTable->setDeletedOnly(records, typedTable->deletedOnly());
    if (!searchTextOf(typed).isEmpty()) {
        typedTable->model().setRecords(searchRecords(typedTable->shown(), typed));
    }
    typedTable->selectFirstRow();
    return true;
}

}  // namespace

bool CategorySearch::search(CategoryTable& table, SearchFamily family, const ResultRecords& records,
                            const QString& typed) {
    if (narrowed_ != nullptr && narrowed_ != &table) {
        restore(records);
    }
    bool searched = false;
    switch (family) {
        case SearchFamily::Conversations:
            searched = narrow<PRMessageTreeNode>(table, records, typed);
            break;
        case SearchFamily::Contacts:
            searched = narrow<PRContactNode>(table, records, typed);
            break;
        case SearchFamily::Notes:
            searched = narrow<PRNoteNode>(table, records, typed);
            break;
        case SearchFamily::Calls:
            searched = narrow<PRCallHistoryNode>(table, records, typed);
            break;
        case SearchFamily::Calendar:
            searched = narrow<PRCalenderNode>(table, records, typed);
            break;
        case SearchFamily::None:
            break;
    }
    if (searched) {
        narrowed_ = searchTextOf(typed).isEmpty() ? nullptr : &table;
    }
    return searched;
}

void CategorySearch::restore(const ResultRecords& records) {
    if (narrowed_ != nullptr) {
        narrowed_->setDeletedOnly(records, narrowed_->deletedOnly());
        narrowed_ = nullptr;
    }
}

}  // namespace nimbara::browser
