// One note. Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRNoteNode {
  public:
    PRNoteNode() = default;
    PRNoteNode(const PRNoteNode&) = delete;
    PRNoteNode& operator=(const PRNoteNode&) = delete;

    // title
    QString noteTitle() const { return noteTitle_.get(); }
    void setNoteTitle(const QString& value) { noteTitle_.set(value); }
    // body text
    QString noteContent() const { return noteContent_.get(); }
    void setNoteContent(const QString& value) { noteContent_.set(value); }
    // date as display text
    QString noteDate() const { return noteDate_.get(); }
    void setNoteDate(const QString& value) { noteDate_.set(value); }
    // attachment file; null when none
    QString noteAttachPath() const { return noteAttachPath_.get(); }
    void setNoteAttachPath(const QString& value) { noteAttachPath_.set(value); }
    // attachment name; null when none
    QString noteAttachName() const { return noteAttachName_.get(); }
    void setNoteAttachName(const QString& value) { noteAttachName_.set(value); }
    // note row id
    int uid() const { return uid_.load(); }
    void setUid(int value) { uid_.store(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }

  private:
    LockedValue<QString> noteTitle_{QLatin1String("")};
    LockedValue<QString> noteContent_{QLatin1String("")};
    LockedValue<QString> noteDate_{QLatin1String("")};
    LockedValue<QString> noteAttachPath_;
    LockedValue<QString> noteAttachName_;
    std::atomic<int> uid_{-1};
    std::atomic<bool> bSelected_{false};
    std::atomic<bool> bDeleted_{false};
};
