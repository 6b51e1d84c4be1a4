// The messages of a scan grouped into conversations, one per other party, as they arrive: the
// flat list of every message, the conversations in order of creation, and the counts the result
// page shows. Messages recovered from deleted rows go into conversations of their own, marked
// deleted.
//
// Not thread-safe: one scan's handlers feed it on the scan thread; readers take copies of the
// lists once the scan has ended (or under the page's own lock).
#pragma once

#include <cstdint>

#include "backup/pr_message_node.h"
#include "backup/pr_message_tree_node.h"

#include <QHash>
#include <QString>

#include <cstddef>
#include <memory>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace nimbara::backup {

// Whether a message with the address `phone` belongs to a conversation with `address`, both
// compared without regard to case: a phone shorter than the address must be found in it,
// otherwise the address must be found in the phone, or the two be equal. An empty text is found
// nowhere, so an empty phone joins only a conversation with an empty address.
bool conversationAddressMatches(const QString& address, const QString& phone);

// The address a deleted message is filed under: "Unknown" when the phone, without its blanks,
// has at most 2 characters; else the phone as it stands.
QString deletedMessageAddress(const QString& phone);

class ConversationGrouping {
  public:
    using Message = std::shared_ptr<PRMessageNode>;
    using Conversation = std::shared_ptr<PRMessageTreeNode>;

    // A message of the scan: listed, counted, and appended to the first conversation (deleted or
    // not) whose address matches, or to a new one named after it. Returns its conversation.
    Conversation addMessage(const Message& message);

    // A message recovered from deleted rows. Ignored (null returned) when its phone and content
    // are both empty, or when a listed message has the same phone, content and date. A phone of
    // at most 2 characters without blanks becomes "Unknown". It joins only a deleted
    // conversation, or opens one; it is marked deleted, listed and counted.
    Conversation addDeletedMessage(const Message& message);

    // Every message in arrival order (messageArray).
    const std::vector<Message>& messages() const { return messages_; }
    // The conversations in order of creation (messageTreeArray).
    const std::vector<Conversation>& conversations() const { return conversations_; }

    // Messages of the scan (messageNum) and deleted ones taken in (delMessageNum).
    int messageCount() const { return messageCount_; }
    int deletedMessageCount() const { return deletedCount_; }

    void clear();

  private:
    using Key = std::tuple<QString, QString, QString>;
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };

    Conversation findOrOpen(const Message& message, const QString& address, bool deletedOnly);

    std::vector<Message> messages_;
    std::vector<Conversation> conversations_;
    // The conversation each address found last time, per walk (all / deleted only). A walk
    // always takes the first match and conversations are only ever appended, so an address keeps
    // its conversation: the walk is done once per address, not once per message.
    std::unordered_map<QString, std::size_t> found_;
    std::unordered_map<QString, std::size_t> foundDeleted_;
    // Phone, content and date of every listed message, for the deleted messages' duplicate test.
    std::unordered_set<Key, KeyHash> listed_;
    // Characters the walks may still compare. Each message adds a share, so the walks of a
    // database crafted with as many addresses as messages cost in proportion to its messages;
    // once spent, a new address opens a conversation of its own without a walk.
    static constexpr std::uint64_t kWalkAllowanceAtStart = 64ull << 20;
    static constexpr std::uint64_t kWalkAllowancePerMessage = 8192;
    std::uint64_t walkAllowance_ = kWalkAllowanceAtStart;
    bool walksCut_ = false;
    int messageCount_ = 0;
    int deletedCount_ = 0;
};

}  // namespace nimbara::backup
