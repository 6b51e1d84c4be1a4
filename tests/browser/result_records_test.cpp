// The result page's record lists and counters: found records, the rules that keep a recovered
// record from repeating a listed one, the count-label texts and the resets around a scan.
#include <gtest/gtest.h>

#include <thread>

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_face_twitter_node.h"
#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "browser/result_records.h"

namespace nimbara::browser {
namespace {

using C = RecordCategory;

std::shared_ptr<PRContactNode> contact(const QString& name, const QString& phone) {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(name);
    node->setContactPhone(phone);
    return node;
}

std::shared_ptr<PRNoteNode> note(const QString& title, const QString& content) {
    auto node = std::make_shared<PRNoteNode>();
    node->setNoteTitle(title);
    node->setNoteContent(content);
    return node;
}

std::shared_ptr<PRCallHistoryNode> call(const QString& name, const QString& phone,
                                        const QString& date) {
    auto node = std::make_shared<PRCallHistoryNode>();
    node->setCallName(name);
    node->setCallPhone(phone);
    node->setCallDate(date);
    return node;
}

std::shared_ptr<PRBookMarkNode> bookMark(const QString& url, const QString& title) {
    auto node = std::make_shared<PRBookMarkNode>();
    node->setBookMarkURL(url);
    node->setBookMarkTitle(title);
    return node;
}

QString label(const ResultCounters& counters, const char* name) {
    for (const auto& entry : countLabelTexts(counters)) {
        if (QLatin1String(entry.name) == QLatin1String(name)) {
            return entry.text;
        }
    }
    return QStringLiteral("<missing>");
}

TEST(ResultRecordsTest, FoundRecordsAreListedAndCountedByCategory) {
    ResultRecords records;
    records.addContact(contact(QStringLiteral("Ann"), QStringLiteral("1")));
    records.addContact(contact(QStringLiteral("Bob"), QStringLiteral("2")));
    records.addPhotoAndVideo(std::make_shared<PRPhotoAndVideoNode>());
    records.addMessage(std::make_shared<PRMessageNode>());
    records.addNote(note(QStringLiteral("t"), QStringLiteral("c")));
    records.addCallHistory(call({}, QStringLiteral("1"), QStringLiteral("d")));
    records.addBookMark(bookMark(QStringLiteral("u"), QStringLiteral("t")));
    records.addCalender(std::make_shared<PRCalenderNode>());
    records.addFaceTwitter(std::make_shared<PRFaceTwitterNode>());

    const ResultCounters counters = records.counters();
    EXPECT_EQ(counters.BackUpFilesNum, 9);
    EXPECT_EQ(counters.deleteeFilesNum, 0);
    EXPECT_EQ(counters[C::Contact].found, 2);
    for (C c :
         {C::PhotoVideo, C::Message, C::Note, C::Call, C::BookMark, C::Calender, C::FaceTwitter}) {
        EXPECT_EQ(counters[c].found, 1) << static_cast<int>(c);
    }
    EXPECT_EQ(records.listSizes(), (std::array<int, kRecordCategoryCount>{1, 2, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(records.contactsFrom(1).size(), 1u);
    EXPECT_EQ(records.contactsFrom(1).front()->contactName(), QStringLiteral("Bob"));
    EXPECT_TRUE(records.contactsFrom(5).empty());
}

TEST(ResultRecordsTest, RecoveredContactsThatRepeatAListedOneAreSkipped) {
    ResultRecords records;
    records.addContact(contact(QStringLiteral("Ann"), QStringLiteral(" 555")));
    // Same name and phone: a copy. Same name, other phone: a different contact.
    EXPECT_FALSE(records.addDeletedContact(contact(QStringLiteral("Ann"), QStringLiteral(" 555"))));
    const auto other = contact(QStringLiteral("Ann"), QStringLiteral(" 556"));
    EXPECT_TRUE(records.addDeletedContact(other));
    EXPECT_TRUE(other->bDeleted());
    // A listed deleted contact also counts as listed.
    EXPECT_FALSE(records.addDeletedContact(contact(QStringLiteral("Ann"), QStringLiteral(" 556"))));
    EXPECT_FALSE(records.addDeletedContact(nullptr));

    const ResultCounters counters = records.counters();
    EXPECT_EQ(counters[C::Contact].found, 1);
    EXPECT_EQ(counters[C::Contact].deleted, 1);
    EXPECT_EQ(counters.deleteeFilesNum, 1);
    // Deleted records are not part of the found total.
    EXPECT_EQ(counters.BackUpFilesNum, 1);
    EXPECT_EQ(records.contactArray().size(), 2u);
}

TEST(ResultRecordsTest, RecoveredNotesNeedATitleOrContentAndNewContent) {
    ResultRecords records;
    records.addNote(note(QStringLiteral("Shopping"), QStringLiteral("milk")));
    EXPECT_FALSE(records.addDeletedNote(note(QString(), QString())));
    // Empty but present texts are not the same as missing ones.
    EXPECT_TRUE(records.addDeletedNote(note(QStringLiteral(""), QStringLiteral(""))));
    EXPECT_FALSE(
        records.addDeletedNote(note(QStringLiteral("Other title"), QStringLiteral("milk"))));
    EXPECT_TRUE(records.addDeletedNote(note(QString(), QStringLiteral("eggs"))));
    EXPECT_EQ(records.counters()[C::Note].deleted, 2);
    EXPECT_EQ(records.noteArray().size(), 3u);
}

TEST(ResultRecordsTest, RecoveredCallsAndBookmarksCompareTwoFields) {
    ResultRecords records;
    records.addCallHistory(
        call(QStringLiteral("Ann"), QStringLiteral("555"), QStringLiteral("d1")));
    EXPECT_FALSE(records.addDeletedCallHistory(call({}, {}, QStringLiteral("d9"))));
    EXPECT_FALSE(
        records.addDeletedCallHistory(call({}, QStringLiteral("555"), QStringLiteral("d1"))));
    EXPECT_TRUE(
        records.addDeletedCallHistory(call({}, QStringLiteral("555"), QStringLiteral("d2"))));
    EXPECT_TRUE(
        records.addDeletedCallHistory(call(QStringLiteral("Bob"), {}, QStringLiteral("d1"))));

    records.addBookMark(bookMark(QStringLiteral("https://a.example"), QStringLiteral("A")));
    EXPECT_FALSE(records.addDeletedBookMark(bookMark({}, {})));
    EXPECT_FALSE(records.addDeletedBookMark(
        bookMark(QStringLiteral("https://a.example"), QStringLiteral("A"))));
    EXPECT_TRUE(records.addDeletedBookMark(
        bookMark(QStringLiteral("https://a.example"), QStringLiteral("B"))));

    // Recovered calendar events need a title or a note, and a title and start of their own.
    const auto event = [](const QString& title, const QString& start) {
        auto node = std::make_shared<PRCalenderNode>();
        node->setCalTitle(title);
        node->setStartDate(start);
        return node;
    };
    EXPECT_FALSE(records.addDeletedCalender(std::make_shared<PRCalenderNode>()));
    EXPECT_TRUE(records.addDeletedCalender(event(QStringLiteral("Dentist"), QStringLiteral("s1"))));
    EXPECT_FALSE(
        records.addDeletedCalender(event(QStringLiteral("Dentist"), QStringLiteral("s1"))));

    const ResultCounters counters = records.counters();
    EXPECT_EQ(counters[C::Call].deleted, 2);
    EXPECT_EQ(counters[C::BookMark].deleted, 1);
    EXPECT_EQ(counters[C::Calender].deleted, 1);
    EXPECT_EQ(counters.deleteeFilesNum, 4);
    EXPECT_EQ(records.calenderArray().size(), 1u);
}

TEST(ResultRecordsTest, CountLabelsHaveTwoBlanksAndDeletedPhotosReadZero) {
    ResultRecords records;
    records.addPhotoAndVideo(std::make_shared<PRPhotoAndVideoNode>());
    records.addPhotoAndVideo(std::make_shared<PRPhotoAndVideoNode>());
    records.addContact(contact(QStringLiteral("Ann"), {}));
    EXPECT_TRUE(records.addDeletedContact(contact(QStringLiteral("Old"), {})));
    records.addCallHistory(call({}, QStringLiteral("1"), {}));

    const ResultCounters counters = records.counters();
    EXPECT_EQ(countLabelTexts(counters).size(), 10u);
    EXPECT_EQ(label(counters, "photovideoNumlab"), QStringLiteral("Photo&Video:  2"));
    EXPECT_EQ(label(counters, "delPhotovideoNumlab"), QStringLiteral("Photo&Video:  0"));
    EXPECT_EQ(label(counters, "contactNumlab"), QStringLiteral("Contacts:  1"));
    EXPECT_EQ(label(counters, "delContactNumlab"), QStringLiteral("Contacts:  1"));
    EXPECT_EQ(label(counters, "messageNumlab"), QStringLiteral("Messages:  0"));
    EXPECT_EQ(label(counters, "callNumlab"), QStringLiteral("Call History:  1"));
    EXPECT_EQ(label(counters, "delNoteNumlab"), QStringLiteral("Notes:  0"));
}

TEST(ResultRecordsTest, ScanEndZeroesCategoriesButKeepsTotalsAndResetClearsAll) {
    ResultRecords records;
    records.addContact(contact(QStringLiteral("Ann"), {}));
    records.addDeletedContact(contact(QStringLiteral("Old"), {}));

    records.zeroCategoryCounters();
    ResultCounters counters = records.counters();
    EXPECT_EQ(counters[C::Contact].found, 0);
    EXPECT_EQ(counters[C::Contact].deleted, 0);
    EXPECT_EQ(counters.BackUpFilesNum, 1);
    EXPECT_EQ(counters.deleteeFilesNum, 1);
    EXPECT_EQ(records.contactArray().size(), 2u);

    records.resetCounters();
    counters = records.counters();
    EXPECT_EQ(counters.BackUpFilesNum, 0);
    EXPECT_EQ(counters.deleteeFilesNum, 0);
    // The lists stay until they are cleared for another backup.
    EXPECT_EQ(records.contactArray().size(), 2u);
    records.clear();
    EXPECT_TRUE(records.contactArray().empty());
}

std::shared_ptr<PRMessageNode> message(const QString& phone, const QString& text,
                                       const QString& date = QStringLiteral("2021-06-01")) {
    auto node = std::make_shared<PRMessageNode>();
    node->setMessageName(phone);
    node->setMessagePhone(phone);
    node->setMessageContent(text);
    node->setMessageDate(date);
    return node;
}

TEST(ResultRecordsTest, MessagesAreGroupedAndRecoveredOnesKeepToTheirOwnConversations) {
    ResultRecords records;
    records.addMessage(message(QStringLiteral("+14155550100"), QStringLiteral("hi")));
    records.addMessage(message(QStringLiteral("4155550100"), QStringLiteral("hello")));
    records.addMessage(message(QStringLiteral("Ann@Example.com"), QStringLiteral("mail")));
    records.addMessage(message(QStringLiteral("ann@example.com"), QStringLiteral("again")));
    // A recovered copy of a listed message is dropped; a new one opens a deleted conversation
    // even though a normal conversation has its address.
    EXPECT_FALSE(
        records.addDeletedMessage(message(QStringLiteral("4155550100"), QStringLiteral("hello"))));
    EXPECT_TRUE(
        records.addDeletedMessage(message(QStringLiteral("4155550100"), QStringLiteral("gone"))));
    EXPECT_TRUE(records.addDeletedMessage(message(QStringLiteral("1 2"), QStringLiteral("?"))));

    const auto conversations = records.messageTreeArray();
    ASSERT_EQ(conversations.size(), 4u);
    EXPECT_EQ(conversations[0]->messageCount(), 2u);
    EXPECT_EQ(conversations[1]->messageCount(), 2u);
    EXPECT_FALSE(conversations[1]->bdeleted());
    EXPECT_TRUE(conversations[2]->bdeleted());
    EXPECT_EQ(conversations[3]->messageTreeNodeAdress(), QStringLiteral("Unknown"));
    EXPECT_EQ(records.messageArray().size(), 6u);

    const ResultCounters counters = records.counters();
    EXPECT_EQ(counters[C::Message].found, 4);
    EXPECT_EQ(counters[C::Message].deleted, 2);
    EXPECT_EQ(counters.BackUpFilesNum, 4);
    EXPECT_EQ(counters.deleteeFilesNum, 2);
    // The page takes the conversations it has not shown yet.
    EXPECT_EQ(records.conversationsFrom(3).size(), 1u);
    EXPECT_TRUE(records.conversationsFrom(9).empty());

    records.clear();
    EXPECT_TRUE(records.messageTreeArray().empty());
    EXPECT_TRUE(records.messageArray().empty());
    // A cleared list groups afresh: no conversation of the last backup is remembered.
    records.addMessage(message(QStringLiteral("4155550100"), QStringLiteral("new")));
    ASSERT_EQ(records.messageTreeArray().size(), 1u);
    EXPECT_EQ(records.messageTreeArray()[0]->messageCount(), 1u);
}

TEST(ResultRecordsTest, ConcurrentAddsAreAllCounted) {
    ResultRecords records;
    constexpr int kPerThread = 500;
    std::thread a([&] {
        for (int i = 0; i < kPerThread; ++i) {
            records.addContact(contact(QString::number(i), {}));
        }
    });
    std::thread b([&] {
        for (int i = 0; i < kPerThread; ++i) {
            records.addPhotoAndVideo(std::make_shared<PRPhotoAndVideoNode>());
            (void)records.counters();
        }
    });
    a.join();
    b.join();
    EXPECT_EQ(records.counters().BackUpFilesNum, 2 * kPerThread);
    EXPECT_EQ(records.listSizes()[static_cast<int>(C::Contact)], kPerThread);
}

}  // namespace
}  // namespace nimbara::browser
