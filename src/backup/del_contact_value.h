// One value recovered from deleted address-book rows. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>

class DelContactValue {
  public:
    DelContactValue() = default;
    DelContactValue(const DelContactValue&) = delete;
    DelContactValue& operator=(const DelContactValue&) = delete;

    // the recovered value
    QString contactValue() const { return contactValue_.get(); }
    void setContactValue(const QString& value) { contactValue_.set(value); }
    // kind of the value
    int valueType() const { return valueType_.load(); }
    void setValueType(int value) { valueType_.store(value); }
    // row id
    int rowID() const { return rowID_.load(); }
    void setRowID(int value) { rowID_.store(value); }

  private:
    LockedValue<QString> contactValue_{QLatin1String("")};
    std::atomic<int> valueType_{-1};
    std::atomic<int> rowID_{-1};
};
