// Grouping messages into conversations: which conversation a message joins, deleted messages
// kept apart, duplicates dropped, and the counts.
#include <gtest/gtest.h>

#include <QString>

#include <memory>

#include "backup/conversations.h"

namespace {

using nimbara::backup::conversationAddressMatches;
using nimbara::backup::ConversationGrouping;

std::shared_ptr<PRMessageNode> message(const char* phone, const char* content = "hello",
                                       const char* date = "06-01-2021 12:00",
                                       const char* name = "") {
    auto node = std::make_shared<PRMessageNode>();
    node->setMessagePhone(QString::fromUtf8(phone));
    node->setMessageContent(QString::fromUtf8(content));
    node->setMessageDate(QString::fromUtf8(date));
    node->setMessageName(QString::fromUtf8(name));
    return node;
}

TEST(ConversationAddressTest, ShorterTextIsFoundInTheLongerWithoutRegardToCase) {
    EXPECT_TRUE(conversationAddressMatches("+14155550188", "4155550188"));
    EXPECT_TRUE(conversationAddressMatches("4155550188", "+14155550188"));
    EXPECT_TRUE(conversationAddressMatches("Priya@Mailbox.example", "priya@mailbox.EXAMPLE"));
    EXPECT_FALSE(conversationAddressMatches("+14155550188", "+14155550199"));
    // An empty text is found nowhere; only two empty texts are equal.
    EXPECT_FALSE(conversationAddressMatches("+14155550188", ""));
    EXPECT_FALSE(conversationAddressMatches("", "+14155550188"));
    EXPECT_TRUE(conversationAddressMatches("", ""));
}

TEST(ConversationGroupingTest, ANumberWithAndWithoutItsCountryPrefixShareAConversation) {
    for (bool longFirst : {true, false}) {
        ConversationGrouping grouping;
        const auto first =
            message(longFirst ? "+14155550188" : "4155550188", "one", "d1", "Amelia Hartwell");
        const auto second = message(longFirst ? "4155550188" : "+14155550188", "two", "d2");
        const auto a = grouping.addMessage(first);
        const auto b = grouping.addMessage(second);
        ASSERT_EQ(grouping.conversations().size(), 1u) << longFirst;
        EXPECT_EQ(a, b);
        EXPECT_EQ(a->messageTreeNodeName(), QStringLiteral("Amelia Hartwell"));
        EXPECT_EQ(a->messageTreeNodeAdress(), first->messagePhone());
        EXPECT_EQ(a->MessageNodeArray(), (PRMessageTreeNode::MessageList{first, second}));
    }
}

TEST(ConversationGroupingTest, EmailsOfDifferentCaseShareAndEmptyPhonesKeepApart) {
    ConversationGrouping grouping;
    grouping.addMessage(message("Priya.Raman@mailbox.example"));
    grouping.addMessage(message("priya.raman@MAILBOX.example"));
    const auto empty1 = grouping.addMessage(message(""));
    const auto empty2 = grouping.addMessage(message(""));
    const auto other = grouping.addMessage(message("72404"));
    ASSERT_EQ(grouping.conversations().size(), 3u);
    EXPECT_EQ(grouping.conversations()[0]->messageCount(), 2u);
    EXPECT_EQ(empty1, empty2);
    EXPECT_EQ(empty1->messageTreeNodeAdress(), QString());
    EXPECT_NE(other, empty1);
    EXPECT_EQ(grouping.messageCount(), 5);
    EXPECT_EQ(grouping.messages().size(), 5u);
}

TEST(ConversationGroupingTest, APhoneContainedInTwoAddressesJoinsTheOlderConversation) {
    ConversationGrouping grouping;
    const auto older = grouping.addMessage(message("+15551234567"));
    const auto newer = grouping.addMessage(message("+44201234567"));
    ASSERT_NE(older, newer);
    ASSERT_EQ(grouping.conversations().size(), 2u);
    // "1234567" is found in both addresses: the first one wins, also on later messages.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(grouping.addMessage(message("1234567")), older);
    }
    EXPECT_EQ(older->messageCount(), 4u);
}

TEST(ConversationGroupingTest, DeletedMessagesGoToDeletedConversationsOnly) {
    ConversationGrouping grouping;
    const auto normal = grouping.addMessage(message("+14155550188", "listed", "d1"));
    // Same phone, other text: still a conversation of its own, marked deleted.
    const auto deleted = grouping.addDeletedMessage(message("+14155550188", "gone", "d0"));
    ASSERT_TRUE(deleted);
    EXPECT_NE(deleted, normal);
    EXPECT_TRUE(deleted->bdeleted());
    EXPECT_FALSE(normal->bdeleted());
    EXPECT_TRUE(deleted->MessageNodeArray().front()->bDeleted());
    // A second deleted message joins the deleted conversation; a normal one the older, normal one.
    EXPECT_EQ(grouping.addDeletedMessage(message("4155550188", "also gone", "d0")), deleted);
    EXPECT_EQ(grouping.addMessage(message("4155550188", "listed too", "d2")), normal);
    EXPECT_EQ(grouping.deletedMessageCount(), 2);
    EXPECT_EQ(grouping.messageCount(), 2);
    EXPECT_EQ(grouping.messages().size(), 4u);
}

TEST(ConversationGroupingTest, ANormalMessageMayJoinADeletedConversationOpenedBeforeIt) {
    ConversationGrouping grouping;
    const auto deleted = grouping.addDeletedMessage(message("+14155550188", "gone"));
    EXPECT_EQ(grouping.addMessage(message("+14155550188", "listed")), deleted);
}

TEST(ConversationGroupingTest, DeletedDuplicatesAndEmptyOnesAreDropped) {
    ConversationGrouping grouping;
    grouping.addMessage(message("+14155550188", "same", "06-01-2021 12:00"));
    EXPECT_FALSE(grouping.addDeletedMessage(message("+14155550188", "same", "06-01-2021 12:00")));
    EXPECT_FALSE(grouping.addDeletedMessage(message("", "")));
    // A different date is no duplicate.
    EXPECT_TRUE(grouping.addDeletedMessage(message("+14155550188", "same", "06-01-2021 12:01")));
    // Nor is a second copy of a deleted message once it is listed: it is dropped as well.
    EXPECT_FALSE(grouping.addDeletedMessage(message("+14155550188", "same", "06-01-2021 12:01")));
    EXPECT_EQ(grouping.deletedMessageCount(), 1);
}

TEST(ConversationGroupingTest, AShortDeletedPhoneIsFiledUnderUnknown) {
    ConversationGrouping grouping;
    const auto blanked = message("1 2", "text one");
    const auto conversation = grouping.addDeletedMessage(blanked);
    ASSERT_TRUE(conversation);
    EXPECT_EQ(blanked->messagePhone(), QStringLiteral("Unknown"));
    EXPECT_EQ(conversation->messageTreeNodeAdress(), QStringLiteral("Unknown"));
    // An empty phone with a text goes there too.
    EXPECT_EQ(grouping.addDeletedMessage(message("", "text two")), conversation);
    EXPECT_EQ(conversation->messageCount(), 2u);
}

TEST(ConversationGroupingTest, ManyMessagesKeepTheirFirstMatchWhenConversationsGrow) {
    // The per-address memory must give what a full walk gives, whatever arrives later.
    ConversationGrouping grouping;
    const auto a = grouping.addMessage(message("5550188"));
    const auto b = grouping.addMessage(message("+1 555 0199"));
    EXPECT_EQ(grouping.addMessage(message("+15550188")), a);
    const auto c = grouping.addMessage(message("0199"));  // found in "+1 555 0199"
    EXPECT_EQ(c, b);
    EXPECT_EQ(grouping.addMessage(message("+15550188")), a);
    grouping.clear();
    EXPECT_TRUE(grouping.conversations().empty());
    EXPECT_EQ(grouping.messageCount(), 0);
}

}  // namespace
