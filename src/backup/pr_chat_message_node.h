// One address recovered from deleted message rows. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRChatMessageNode {
  public:
    PRChatMessageNode() = default;
    PRChatMessageNode(const PRChatMessageNode&) = delete;
    PRChatMessageNode& operator=(const PRChatMessageNode&) = delete;

    // row id
    int rowid() const { return rowid_.load(); }
    void setRowid(int value) { rowid_.store(value); }
    // the recovered address
    QString phoneValue() const { return phoneValue_.get(); }
    void setPhoneValue(const QString& value) { phoneValue_.set(value); }

  private:
    std::atomic<int> rowid_{-1};
    LockedValue<QString> phoneValue_{QLatin1String("")};
};
