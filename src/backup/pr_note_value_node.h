// One text recovered from deleted note rows. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRNoteValueNode {
  public:
    PRNoteValueNode() = default;
    PRNoteValueNode(const PRNoteValueNode&) = delete;
    PRNoteValueNode& operator=(const PRNoteValueNode&) = delete;

    // the recovered text
    QString noteValue() const { return noteValue_.get(); }
    void setNoteValue(const QString& value) { noteValue_.set(value); }
    // note row id
    int uid() const { return uid_.load(); }
    void setUid(int value) { uid_.store(value); }

  private:
    LockedValue<QString> noteValue_{QLatin1String("")};
    std::atomic<int> uid_{-1};
};
