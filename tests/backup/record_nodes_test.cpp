#include "backup/del_contact_value.h"
#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_chat_message_node.h"
#include "backup/pr_contact_image_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_attach_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_note_value_node.h"
#include "backup/pr_photo_and_video_node.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// Empty texts are "" rather than null: pages print them without checking.
void expectEmpty(const QString& text) {
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(text.isNull());
}

TEST(RecordNodesTest, FreshNodesHoldTheDefaults) {
    PRContactImageNode image;
    EXPECT_EQ(image.rowid(), -1);
    EXPECT_TRUE(image.imageData().isNull());

    PRMessageNode m;
    for (const QString& t : {m.messageName(), m.messagePhone(), m.messageContent(), m.messageDate(),
                             m.messageType()}) {
        expectEmpty(t);
    }
    EXPECT_FALSE(m.bImessage() || m.bSelected() || m.bDeleted() || m.isHasAttach());
    EXPECT_EQ(m.handle_id(), -1);
    EXPECT_EQ(m.rowId(), -1);
    EXPECT_TRUE(m.attachmentPath().isNull());
    EXPECT_TRUE(m.attachType().isNull());
    EXPECT_TRUE(m.contactImageData().isNull());

    PRMessageAttachNode a;
    EXPECT_EQ(a.messageId(), -1);
    EXPECT_EQ(a.attachmentId(), -1);
    EXPECT_TRUE(a.attachpath().isNull());
    EXPECT_TRUE(a.attachType().isNull());

    PRCallHistoryNode c;
    for (const QString& t :
         {c.callName(), c.callPhone(), c.callDate(), c.callType(), c.callDuration()}) {
        expectEmpty(t);
    }
    EXPECT_EQ(c.callTime(), -1);
    EXPECT_EQ(c.rowid(), -1);
    EXPECT_FALSE(c.bSelected() || c.bDeleted());

    PRNoteNode n;
    for (const QString& t : {n.noteTitle(), n.noteContent(), n.noteDate()}) {
        expectEmpty(t);
    }
    EXPECT_TRUE(n.noteAttachPath().isNull());
    EXPECT_TRUE(n.noteAttachName().isNull());
    EXPECT_EQ(n.uid(), -1);
    EXPECT_FALSE(n.bSelected() || n.bDeleted());

    PRBookMarkNode b;
    expectEmpty(b.bookMarkTitle());
    expectEmpty(b.bookMarkURL());
    EXPECT_FALSE(b.bSelected() || b.bDeleted());

    PRCalenderNode cal;
    for (const QString& t :
         {cal.calTitle(), cal.calNote(), cal.location(), cal.startDate(), cal.endDate()}) {
        expectEmpty(t);
    }
    EXPECT_FALSE(cal.bSelected() || cal.bDeleted());

    PRPhotoAndVideoNode p;
    for (const QString& t :
         {p.fileNodeName(), p.fileNodeSize(), p.filePath(), p.fileType(), p.fileModifyTime()}) {
        expectEmpty(t);
    }
    EXPECT_FALSE(p.bmov() || p.bSelected() || p.bhasCopy());
    EXPECT_EQ(p.fileSizeNumber(), 0u);

    PRFaceTwitterNode f;
    expectEmpty(f.faceTwitterFileName());
    expectEmpty(f.faceTwitterFilePath());
    expectEmpty(f.fileSize());
    EXPECT_FALSE(f.bSelected());

    PRChatMessageNode chat;
    EXPECT_EQ(chat.rowid(), -1);
    expectEmpty(chat.phoneValue());
    PRNoteValueNode noteValue;
    EXPECT_EQ(noteValue.uid(), -1);
    expectEmpty(noteValue.noteValue());
    DelContactValue del;
    expectEmpty(del.contactValue());
    EXPECT_EQ(del.valueType(), -1);
    EXPECT_EQ(del.rowID(), -1);

    PRMessageTreeNode tree;
    EXPECT_TRUE(tree.MessageNodeArray().empty());
    expectEmpty(tree.messageTreeNodeName());
    expectEmpty(tree.messageTreeNodeAdress());
    EXPECT_FALSE(tree.bSelected() || tree.bdeleted());
    EXPECT_EQ(tree.handle_id(), -1);
    EXPECT_EQ(tree.chat_id(), -1);
}

TEST(RecordNodesTest, ConversationKeepsItsMessagesInOrder) {
    PRMessageTreeNode tree;
    auto first = std::make_shared<PRMessageNode>();
    auto second = std::make_shared<PRMessageNode>();
    tree.addMessageNode(first);
    tree.addMessageNode(second);
    auto list = tree.MessageNodeArray();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0], first);
    EXPECT_EQ(list[1], second);
    // The returned list is a snapshot: changing it leaves the conversation alone.
    list.clear();
    EXPECT_EQ(tree.messageCount(), 2u);
}

TEST(RecordNodesTest, FieldsStayWholeUnderConcurrentWriters) {
    auto node = std::make_shared<PRMessageNode>();
    const QString a(200, QChar('a'));
    const QString b(300, QChar('b'));
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            node->setMessageContent(i % 2 ? a : b);
            node->setRowId(i);
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const QString seen = node->messageContent();
        EXPECT_TRUE(seen.isEmpty() || seen == a || seen == b);
    }
    writer.join();
}

}  // namespace
