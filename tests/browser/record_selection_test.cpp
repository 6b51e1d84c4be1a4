// Ticks over selected rows and over whole lists, the deleted-only filter, and the selection text
// that always counts ticked records and ticked backup files together.
#include "browser/record_selection.h"

#include <gtest/gtest.h>

#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"

namespace nimbara::browser {
namespace {

using Contacts = std::vector<std::shared_ptr<PRContactNode>>;

Contacts contacts(int count, std::initializer_list<int> deleted = {}) {
    Contacts list;
    for (int i = 0; i < count; ++i) {
        list.push_back(std::make_shared<PRContactNode>());
        list.back()->setRowid(i);
    }
    for (const int i : deleted) {
        list[static_cast<std::size_t>(i)]->setBDeleted(true);
    }
    return list;
}

TEST(RecordTickTest, ATickAppliesToEverySelectedRowAndCountsOnlyChanges) {
    const Contacts list = contacts(5);
    list[2]->setBSelected(true);
    int selectedFilesNum = 1;
    // Three rows selected, one of them ticked already.
    selectedFilesNum += tickSelectedRows(list, {1, 2, 3}, true);
    EXPECT_EQ(selectedFilesNum, 3);
    EXPECT_EQ(countTicked(list), 3);
    EXPECT_FALSE(list[0]->bSelected());
    EXPECT_FALSE(list[4]->bSelected());
    const int untick = tickSelectedRows(list, {1, 2, 3}, false);
    EXPECT_EQ(untick, -3);
    selectedFilesNum += untick;
    EXPECT_EQ(selectedFilesNum, 0);
    // Rows outside the list (a selection made before the list shrank) are passed over.
    EXPECT_EQ(tickSelectedRows(list, {-1, 5, 99}, true), 0);
    EXPECT_EQ(countTicked(list), 0);
}

TEST(RecordTickTest, TheSameRecordTickedTwiceCountsOnce) {
    const Contacts list = contacts(3);
    int selectedFilesNum = 0;
    selectedFilesNum += tickSelectedRows(list, {1, 1}, true);
    EXPECT_EQ(selectedFilesNum, 1);
    selectedFilesNum += tickSelectedRows(list, {1}, true);
    EXPECT_EQ(selectedFilesNum, 1);
    // The same record listed twice (one record under two rows) is still one record.
    const Contacts twice{list[0], list[0]};
    selectedFilesNum += tickAll(twice, true);
    EXPECT_EQ(selectedFilesNum, 2);
    selectedFilesNum += tickSelectedRows(list, {0, 1, 0}, false);
    EXPECT_EQ(selectedFilesNum, 0);
    // Unticking what is not ticked never goes below zero.
    selectedFilesNum += tickSelectedRows(list, {0, 1, 2}, false);
    selectedFilesNum += tickAll(list, false);
    EXPECT_EQ(selectedFilesNum, 0);
}

TEST(RecordTickTest, SelectAllAfterSingleTicksCountsEachRecordOnce) {
    const Contacts list = contacts(5);
    int selectedFilesNum = 0;
    selectedFilesNum += tickSelectedRows(list, {0}, true);
    selectedFilesNum += tickSelectedRows(list, {3}, true);
    EXPECT_EQ(selectedFilesNum, 2);
    selectedFilesNum += tickAll(list, true);
    EXPECT_EQ(selectedFilesNum, 5);
    selectedFilesNum += tickAll(list, false);
    EXPECT_EQ(selectedFilesNum, 0);
    const SelectionText text = selectionText(selectedFilesNum, 0, SelectionChange::SelectAll);
    EXPECT_FALSE(text.shown);
    EXPECT_TRUE(text.text.isEmpty());
}

TEST(RecordFilterTest, SelectAllUnderTheDeletedOnlyFilterTicksOnlyDeletedRecords) {
    const Contacts all = contacts(5, {1, 4});
    const Contacts shown = deletedOnlyFilter(all, true);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0]->rowid(), 1);
    EXPECT_EQ(shown[1]->rowid(), 4);
    EXPECT_EQ(tickAll(shown, true), 2);
    for (const auto& contact : all) {
        EXPECT_EQ(contact->bSelected(), contact->bDeleted()) << contact->rowid();
    }
    // Off again: the whole list, in its order.
    const Contacts again = deletedOnlyFilter(all, false);
    EXPECT_EQ(again, all);
}

TEST(RecordFilterTest, ConversationsUseTheirOwnDeletedFlag) {
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversations;
    for (int i = 0; i < 3; ++i) {
        conversations.push_back(std::make_shared<PRMessageTreeNode>());
        conversations.back()->setChat_id(i);
    }
    conversations[2]->setBdeleted(true);
    const auto shown = deletedOnlyFilter(conversations, true);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->chat_id(), 2);
    EXPECT_EQ(tickAll(shown, true), 1);
    EXPECT_FALSE(conversations[0]->bSelected());
}

TEST(SelectionTextTest, BothWordingsCountRecordsAndBackupFilesTogether) {
    const SelectionText row = selectionText(3, 2, SelectionChange::RowTick);
    EXPECT_TRUE(row.shown);
    EXPECT_EQ(row.total, 5);
    EXPECT_EQ(row.text, QStringLiteral("You select 5 files in the backup results."));
    // Select all used to show the records alone, leaving out the ticked backup files.
    const SelectionText all = selectionText(3, 2, SelectionChange::SelectAll);
    EXPECT_EQ(all.total, 5);
    EXPECT_EQ(all.text, QStringLiteral("You select 5 files in the recovery results."));
    // Backup files alone keep recovery possible after select all is cleared.
    const SelectionText filesOnly = selectionText(0, 1, SelectionChange::SelectAll);
    EXPECT_TRUE(filesOnly.shown);
    EXPECT_EQ(filesOnly.text, QStringLiteral("You select 1 files in the recovery results."));
    // Large counts are written without group separators, whatever the locale.
    EXPECT_EQ(selectionText(12345, 0, SelectionChange::RowTick).text,
              QStringLiteral("You select 12345 files in the backup results."));
    EXPECT_FALSE(selectionText(0, 0, SelectionChange::RowTick).shown);
    EXPECT_FALSE(selectionText(-1, 0, SelectionChange::RowTick).shown);
}

}  // namespace
}  // namespace nimbara::browser
