// One bookmark or history entry. Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRBookMarkNode {
  public:
    PRBookMarkNode() = default;
    PRBookMarkNode(const PRBookMarkNode&) = delete;
    PRBookMarkNode& operator=(const PRBookMarkNode&) = delete;

    // title
    QString bookMarkTitle() const { return bookMarkTitle_.get(); }
    void setBookMarkTitle(const QString& value) { bookMarkTitle_.set(value); }
    // address
    QString bookMarkURL() const { return bookMarkURL_.get(); }
    void setBookMarkURL(const QString& value) { bookMarkURL_.set(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }

  private:
    LockedValue<QString> bookMarkTitle_{QLatin1String("")};
    LockedValue<QString> bookMarkURL_{QLatin1String("")};
    std::atomic<bool> bSelected_{false};
    std::atomic<bool> bDeleted_{false};
};
