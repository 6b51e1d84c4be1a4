// A device path held twice under one lock: as the device listed it (bytes that need not be
// UTF-8), which every operation on the device uses, and as the text shown for it (a byte that is
// not UTF-8 shows as a replacement character). Setting either sets the other with it, so the two
// always name the same file.
#pragma once

#include <QString>

#include <mutex>
#include <string>
#include <utility>

class LockedDevicePath {
  public:
    LockedDevicePath() = default;
    LockedDevicePath(const LockedDevicePath&) = delete;
    LockedDevicePath& operator=(const LockedDevicePath&) = delete;

    std::string bytes() const {
        std::lock_guard lock(mutex_);
        return bytes_;
    }
    QString text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    void setBytes(const std::string& value) {
        QString text = QString::fromStdString(value);
        std::lock_guard lock(mutex_);
        bytes_ = value;
        text_ = std::move(text);
    }
    void setText(const QString& value) {
        std::string bytes = value.toStdString();
        std::lock_guard lock(mutex_);
        bytes_ = std::move(bytes);
        text_ = value;
    }

  private:
    mutable std::mutex mutex_;
    std::string bytes_;
    QString text_{QLatin1String("")};  // empty, not null
};
