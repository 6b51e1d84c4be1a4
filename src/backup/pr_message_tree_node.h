// One conversation: the messages exchanged with one address, built by the pages that show, clean,
// copy or export messages. Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "backup/pr_message_node.h"
#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class PRMessageTreeNode {
  public:
    using MessageList = std::vector<std::shared_ptr<PRMessageNode>>;

    PRMessageTreeNode() = default;
    PRMessageTreeNode(const PRMessageTreeNode&) = delete;
    PRMessageTreeNode& operator=(const PRMessageTreeNode&) = delete;

    // the conversation's messages in the order they were added; starts empty
    MessageList MessageNodeArray() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    void setMessageNodeArray(MessageList value) {
        std::lock_guard lock(mutex_);
        messages_ = std::move(value);
    }
    void addMessageNode(std::shared_ptr<PRMessageNode> node) {
        std::lock_guard lock(mutex_);
        messages_.push_back(std::move(node));
    }
    std::size_t messageCount() const {
        std::lock_guard lock(mutex_);
        return messages_.size();
    }
    // contact name of the other party
    QString messageTreeNodeName() const { return messageTreeNodeName_.get(); }
    void setMessageTreeNodeName(const QString& value) { messageTreeNodeName_.set(value); }
    // the other party's address
    QString messageTreeNodeAdress() const { return messageTreeNodeAdress_.get(); }
    void setMessageTreeNodeAdress(const QString& value) { messageTreeNodeAdress_.set(value); }
    // ticked in a list
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // the conversation comes from deleted rows
    bool bdeleted() const { return bdeleted_.load(); }
    void setBdeleted(bool value) { bdeleted_.store(value); }
    // address row of the conversation
    int handle_id() const { return handle_id_.load(); }
    void setHandle_id(int value) { handle_id_.store(value); }
    // chat row of the conversation
    int chat_id() const { return chat_id_.load(); }
    void setChat_id(int value) { chat_id_.store(value); }

  private:
    mutable std::mutex mutex_;
    MessageList messages_;
    LockedValue<QString> messageTreeNodeName_{QLatin1String("")};
    LockedValue<QString> messageTreeNodeAdress_{QLatin1String("")};
    std::atomic<bool> bSelected_{false};
    std::atomic<bool> bdeleted_{false};
    std::atomic<int> handle_id_{-1};
    std::atomic<int> chat_id_{-1};
};
