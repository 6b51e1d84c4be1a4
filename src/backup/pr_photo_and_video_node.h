// One media file found in a backup or on the device. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_device_path.h"
#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

class PRPhotoAndVideoNode {
  public:
    PRPhotoAndVideoNode() = default;
    PRPhotoAndVideoNode(const PRPhotoAndVideoNode&) = delete;
    PRPhotoAndVideoNode& operator=(const PRPhotoAndVideoNode&) = delete;

    // file name
    QString fileNodeName() const { return fileNodeName_.get(); }
    void setFileNodeName(const QString& value) { fileNodeName_.set(value); }
    // size as display text
    QString fileNodeSize() const { return fileNodeSize_.get(); }
    void setFileNodeSize(const QString& value) { fileNodeSize_.set(value); }
    // full path of the file; devicePath is the same path as the device listed it (every
    // operation on the device uses it)
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // type text
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // modification time text
    QString fileModifyTime() const { return fileModifyTime_.get(); }
    void setFileModifyTime(const QString& value) { fileModifyTime_.set(value); }
    // audio or video rather than a picture
    bool bmov() const { return bmov_.load(); }
    void setBmov(bool value) { bmov_.store(value); }
    // ticked in a list
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }
    // size in bytes
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }
    // already copied
    bool bhasCopy() const { return bhasCopy_.load(); }
    void setBhasCopy(bool value) { bhasCopy_.store(value); }

  private:
    LockedValue<QString> fileNodeName_{QLatin1String("")};
    LockedValue<QString> fileNodeSize_{QLatin1String("")};
    LockedDevicePath filePath_;
    LockedValue<QString> fileType_{QLatin1String("")};
    LockedValue<QString> fileModifyTime_{QLatin1String("")};
    std::atomic<bool> bmov_{false};
    std::atomic<bool> bSelected_{false};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
    std::atomic<bool> bhasCopy_{false};
};
