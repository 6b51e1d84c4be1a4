// A value guarded by its own mutex, for the text and data fields of nodes shared between threads:
// a worker and the GUI may get and set a field at the same time.
#pragma once

#include <mutex>
#include <utility>

template <class T>
class LockedValue {
  public:
    LockedValue() = default;
    explicit LockedValue(T value) : value_(std::move(value)) {}
    LockedValue(const LockedValue&) = delete;
    LockedValue& operator=(const LockedValue&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void set(const T& value) {
        std::lock_guard lock(mutex_);
        value_ = value;
    }

  private:
    mutable std::mutex mutex_;
    T value_{};
};
