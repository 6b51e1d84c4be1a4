// One call. Held by std::shared_ptr; every accessor is thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <limits>

class PRCallHistoryNode {
  public:
    PRCallHistoryNode() = default;
    PRCallHistoryNode(const PRCallHistoryNode&) = delete;
    PRCallHistoryNode& operator=(const PRCallHistoryNode&) = delete;

    // contact name
    QString callName() const { return callName_.get(); }
    void setCallName(const QString& value) { callName_.set(value); }
    // phone number
    QString callPhone() const { return callPhone_.get(); }
    void setCallPhone(const QString& value) { callPhone_.set(value); }
    // date as display text
    QString callDate() const { return callDate_.get(); }
    void setCallDate(const QString& value) { callDate_.set(value); }
    // when the call began, in Unix seconds; NaN when the database gave no date. Lists sort
    // by this, never by the date text.
    double callTimestamp() const { return callTimestamp_.load(); }
    void setCallTimestamp(double value) { callTimestamp_.store(value); }
    // direction text
    QString callType() const { return callType_.get(); }
    void setCallType(const QString& value) { callType_.set(value); }
    // the call's duration in whole seconds as stored
    int callTime() const { return callTime_.load(); }
    void setCallTime(int value) { callTime_.store(value); }
    // duration as display text
    QString callDuration() const { return callDuration_.get(); }
    void setCallDuration(const QString& value) { callDuration_.set(value); }
    // ticked in a list; readers never set it
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // the record comes from deleted rows
    bool bDeleted() const { return bDeleted_.load(); }
    void setBDeleted(bool value) { bDeleted_.store(value); }
    // row id
    int rowid() const { return rowid_.load(); }
    void setRowid(int value) { rowid_.store(value); }

  private:
    LockedValue<QString> callName_{QLatin1String("")};
    LockedValue<QString> callPhone_{QLatin1String("")};
    LockedValue<QString> callDate_{QLatin1String("")};
    std::atomic<double> callTimestamp_{std::numeric_limits<double>::quiet_NaN()};
    LockedValue<QString> callType_{QLatin1String("")};
    std::atomic<int> callTime_{-1};
    LockedValue<QString> callDuration_{QLatin1String("")};
    std::atomic<bool> bSelected_{false};
    std::atomic<bool> bDeleted_{false};
    std::atomic<int> rowid_{-1};
};
