// One calendar event or reminder; dates are display texts. Held by std::shared_ptr; every accessor
// is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class PRCalenderNode {
  public:
    PRCalenderNode() = default;
    PRCalenderNode(const PRCalenderNode&) = delete;
    PRCalenderNode& operator=(const PRCalenderNode&) = delete;

    // title
    QString calTitle() const { return calTitle_.get(); }
    void setCalTitle(const QString& value) { calTitle_.set(value); }
    // note
    QString calNote() const { return calNote_.get(); }
    void setCalNote(const QString& value) { calNote_.set(value); }
    // place
    QString location() const { return location_.get(); }
    void setLocation(const QString& value) { location_.set(value); }
    // start
    QString startDate() const { return startDate_.get(); }
    void setStartDate(const QString& value) { startDate_.set(value); }
    // end
    QString endDate() const { return endDate_.get(); }
    void setEndDate(const QString& value) { endDate_.set(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }

  private:
    LockedValue<QString> calTitle_{QLatin1String("")};
    LockedValue<QString> calNote_{QLatin1String("")};
    LockedValue<QString> location_{QLatin1String("")};
    LockedValue<QString> startDate_{QLatin1String("")};
    LockedValue<QString> endDate_{QLatin1String("")};
    std::atomic<bool> bDeleted_{false};
    std::atomic<bool> bSelected_{false};
};
