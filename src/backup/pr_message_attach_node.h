// One attachment row of the message database. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRMessageAttachNode {
  public:
    PRMessageAttachNode() = default;
    PRMessageAttachNode(const PRMessageAttachNode&) = delete;
    PRMessageAttachNode& operator=(const PRMessageAttachNode&) = delete;

    // the message row
    int messageId() const { return messageId_.load(); }
    void setMessageId(int value) { messageId_.store(value); }
    // the attachment row
    int attachmentId() const { return attachmentId_.load(); }
    void setAttachmentId(int value) { attachmentId_.store(value); }
    // backup file of the attachment; null when none
    QString attachpath() const { return attachpath_.get(); }
    void setAttachpath(const QString& value) { attachpath_.set(value); }
    // type text; null when none
    QString attachType() const { return attachType_.get(); }
    void setAttachType(const QString& value) { attachType_.set(value); }

  private:
    std::atomic<int> messageId_{-1};
    std::atomic<int> attachmentId_{-1};
    LockedValue<QString> attachpath_;
    LockedValue<QString> attachType_;
};
