// The search of the result page: each family by its two fields, ignoring case, an empty text
// giving the whole list back; and on a category's table, together with the deleted-only filter,
// ticks staying with the records it hides.
#include "browser/record_search.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <functional>

#include "../app/app_test_support.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "browser/pages/category_search.h"
#include "browser/pages/category_table.h"
#include "browser/record_columns.h"
#include "browser/record_selection.h"

namespace nimbara::browser {
namespace {

// Whether one record with `first` and `second` as its searched fields is found by `typed`.
using Finder = std::function<bool(const char* first, const char* second, const char* typed)>;
template <class Node>
Finder finder(void (Node::*setFirst)(const QString&), void (Node::*setSecond)(const QString&)) {
    return [=](const char* first, const char* second, const char* typed) {
        auto node = std::make_shared<Node>();
        ((*node).*setFirst)(QString::fromUtf8(first));
        ((*node).*setSecond)(QString::fromUtf8(second));
        return searchRecords(std::vector{node}, QString::fromUtf8(typed)).size() == 1;
    };
}

TEST(RecordSearchTest, EachFamilyIsFoundByEitherFieldIgnoringCase) {
    const Finder conversations = finder(&PRMessageTreeNode::setMessageTreeNodeName,
                                        &PRMessageTreeNode::setMessageTreeNodeAdress);
    const Finder contacts = finder(&PRContactNode::setContactName, &PRContactNode::setContactPhone);
    const Finder notes = finder(&PRNoteNode::setNoteTitle, &PRNoteNode::setNoteContent);
    const Finder calls = finder(&PRCallHistoryNode::setCallName, &PRCallHistoryNode::setCallPhone);
    const Finder calendar = finder(&PRCalenderNode::setCalTitle, &PRCalenderNode::setCalNote);
    struct Row {
        const Finder& family;
        const char* first;
        const char* second;
        const char* typed;
        bool found;
    };
    const Row rows[] = {
        {conversations, "Mom", "+1 555 0100", "mo", true},
        {conversations, "Mom", "amelia@example.com", "AMELIA@", true},
        {contacts, "Ann Older", "+1 555 0100", "ANN", true},
        {contacts, "Ann Older", "+1 555 0100", "555 01", true},
        {contacts, "Ann Older", "", "bob", false},
        {notes, "Groceries", "Milk and eggs", "EGGS", true},
        {notes, "Groceries", "Milk and eggs", "bread", false},
        {calls, "Ärzte", "112", "ÄRZTE", true},
        {calls, "Ärzte", "112", "11", true},
        {calendar, "Dentist", "Bring the card", "CARD", true},
        {calendar, "Dentist", "Bring the card", "party", false},
        // An empty text, or only blanks, gives every record back; blanks around a text go.
        {notes, "", "", "   ", true},
        {calendar, "Dentist", "", "  dent ", true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.family(row.first, row.second, row.typed), row.found)
            << row.first << " / " << row.second << " for \"" << row.typed << "\"";
    }
}

TEST(CategorySearchTest, FindsAmongWhatTheDeletedOnlyFilterShowsAndKeepsTicks) {
    nimbara::test::ensureApplication();
    QWidget parent;
    CategoryFamily<PRContactNode> family;
    family.from = [](const ResultRecords& r, std::size_t from) { return r.contactsFrom(from); };
    family.columns = contactColumns();
    TypedCategoryTable<PRContactNode> table(std::move(family), "contactTableView", &parent, nullptr,
                                            {}, /*withDetails=*/false);
    ResultRecords records;
    for (const char* name : {"Ann Older", "Anna Gone", "Bob Gone", "Carl"}) {
        auto node = std::make_shared<PRContactNode>();
        node->setContactName(QString::fromLatin1(name));
        node->setBDeleted(QString::fromLatin1(name).endsWith(QLatin1String("Gone")));
        node->setBSelected(name[0] == 'B');
        records.addContact(node);
    }
    CategorySearch search;
    struct Row {
        bool deletedOnly;
        const char* typed;
        const char* shown;
    };
    const Row rows[] = {
        {true, "ANN", "Anna Gone"},  // only the deleted records are searched
        {true, "nobody", ""},       {true, "", "Anna Gone,Bob Gone"},
        {false, "carl", "Carl"},    {false, " ", "Ann Older,Anna Gone,Bob Gone,Carl"},
    };
    for (const Row& row : rows) {
        table.setDeletedOnly(records, row.deletedOnly);
        ASSERT_TRUE(search.search(table, SearchFamily::Contacts, records, row.typed));
        QStringList shown;
        for (const auto& node : table.shown()) {
            shown << node->contactName();
        }
        EXPECT_EQ(shown.join(QLatin1Char(',')), QLatin1String(row.shown)) << row.typed;
        EXPECT_EQ(table.table()->currentIndex().row(), shown.isEmpty() ? -1 : 0);
    }
    // Select all ticks only what the search shows; the hidden ticked record stays ticked.
    search.search(table, SearchFamily::Contacts, records, QStringLiteral("ann"));
    EXPECT_EQ(table.tickShown(true), 2);
    EXPECT_EQ(countTicked(records.contactArray()), 3);
    // Another category: the whole list again; a table of another family is never narrowed.
    search.restore(records);
    EXPECT_EQ(table.shownCount(), 4u);
    EXPECT_FALSE(search.search(table, SearchFamily::Notes, records, QStringLiteral("x")));
    EXPECT_EQ(table.shownCount(), 4u);
}

}  // namespace
}  // namespace nimbara::browser
