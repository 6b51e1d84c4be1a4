// The record tables' model: rows join at the end while a scan runs (no reset that would lose the
// selection), cells show one line, recovered records are marked, conversations show their counts.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "backup/pr_call_history_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "browser/record_columns.h"
#include "browser/record_table_model.h"

namespace nimbara::browser {
namespace {

std::shared_ptr<PRNoteNode> note(const QString& title, const QString& content,
                                 bool deleted = false) {
    auto node = std::make_shared<PRNoteNode>();
    node->setNoteTitle(title);
    node->setNoteContent(content);
    node->setBDeleted(deleted);
    return node;
}

QString cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.index(row, column).data(role).toString();
}

TEST(RecordTableModelTest, RowsJoinAtTheEndWithoutAReset) {
    RecordTableModel<PRNoteNode> model(noteColumns());
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.append({note(QStringLiteral("a"), {}), note(QStringLiteral("b"), {})});
    model.append({});
    model.append({note(QStringLiteral("c"), {})});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(inserted.at(1).at(1).toInt(), 2);  // the third row was inserted as row 2
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Title"));
    EXPECT_EQ(cell(model, 2, 0), QStringLiteral("c"));
    EXPECT_EQ(model.record(3), nullptr);
    EXPECT_EQ(model.record(-1), nullptr);
    EXPECT_FALSE(model.index(5, 0).data().isValid());

    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(reset.count(), 1);
}

TEST(RecordTableModelTest, CellsShowOneLineAndTheWholeTextAsTip) {
    RecordTableModel<PRNoteNode> model(noteColumns());
    const QString body = QStringLiteral("first line\nsecond\r\nthird");
    model.append(
        {note(QStringLiteral("t"), body, /*deleted=*/true), note(QStringLiteral("u"), {})});
    EXPECT_EQ(cell(model, 0, 2), QStringLiteral("first line second  third"));
    // The tip shows the text as it stands (as rich text, so that markup in it stays text).
    EXPECT_EQ(cell(model, 0, 2, Qt::ToolTipRole),
              QStringLiteral("<p style=\"white-space:pre-wrap\">") + body + QStringLiteral("</p>"));
    EXPECT_TRUE(model.index(0, 0).data(kDeletedRecordRole).toBool());
    EXPECT_FALSE(model.index(1, 0).data(kDeletedRecordRole).toBool());
}

TEST(RecordTableModelTest, ConversationsShowTheirPartyAndCount) {
    auto named = std::make_shared<PRMessageTreeNode>();
    named->setMessageTreeNodeName(QStringLiteral("Ann Lee"));
    named->setMessageTreeNodeAdress(QStringLiteral("+14155550100"));
    auto unnamed = std::make_shared<PRMessageTreeNode>();
    unnamed->setMessageTreeNodeAdress(QStringLiteral("bo@example.com"));
    unnamed->setBdeleted(true);
    RecordTableModel<PRMessageTreeNode> model(conversationColumns());
    model.append({named, unnamed});
    EXPECT_EQ(cell(model, 0, 0), QStringLiteral("Ann Lee"));
    // Without a name the address stands in.
    EXPECT_EQ(cell(model, 1, 0), QStringLiteral("bo@example.com"));
    EXPECT_EQ(cell(model, 1, 2), QStringLiteral("0"));
    EXPECT_TRUE(model.index(1, 0).data(kDeletedRecordRole).toBool());

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    unnamed->addMessageNode(std::make_shared<PRMessageNode>());
    model.refreshTexts();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(cell(model, 1, 2), QStringLiteral("1"));
}

TEST(RecordTableModelTest, AMessageShowsItsAttachmentKind) {
    auto text = std::make_shared<PRMessageNode>();
    text->setMessageContent(QStringLiteral("<b>not bold</b>"));
    auto picture = std::make_shared<PRMessageNode>();
    picture->setIsHasAttach(true);
    picture->setAttachType(QStringLiteral("image/jpeg"));
    auto untyped = std::make_shared<PRMessageNode>();
    untyped->setIsHasAttach(true);
    RecordTableModel<PRMessageNode> model(messageColumns());
    model.append({text, picture, untyped});
    EXPECT_EQ(cell(model, 0, 2), QStringLiteral("<b>not bold</b>"));
    EXPECT_EQ(cell(model, 0, 3), QString());
    EXPECT_EQ(cell(model, 1, 3), QStringLiteral("image/jpeg"));
    EXPECT_EQ(cell(model, 2, 3), QStringLiteral("Attachment"));
}

TEST(RecordTableModelTest, TheTickColumnComesFirstAndHandsTicksToThePage) {
    RecordTableModel<PRNoteNode> model(noteColumns(), /*tickable=*/true);
    auto a = note(QStringLiteral("a"), {});
    auto b = note(QStringLiteral("b"), {});
    model.append({a, b});
    EXPECT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.columnIdentifier(0), QStringView(kTickColumn).toString());
    EXPECT_EQ(model.columnIdentifier(1), QStringLiteral("Title"));
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
    EXPECT_EQ(cell(model, 1, 1), QStringLiteral("b"));
    EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    EXPECT_FALSE(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable);
    // Only the tick column takes ticks.
    EXPECT_FALSE(model.setData(model.index(0, 1), Qt::Checked, Qt::CheckStateRole));

    std::vector<std::pair<int, bool>> handed;
    model.setTickHandler([&handed](int row, bool ticked) { handed.emplace_back(row, ticked); });
    EXPECT_TRUE(model.setData(model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    ASSERT_EQ(handed.size(), 1u);
    EXPECT_EQ(handed[0], std::make_pair(1, true));
    // The page decides what a tick does: the record itself is untouched until it does.
    EXPECT_FALSE(b->bSelected());
    b->setBSelected(true);
    EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model.index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
}

}  // namespace
}  // namespace nimbara::browser
