// One media file found in a backup or on the device. Held by std::shared_ptr; every accessor is
// thread-safe.
#pragma once

#include "platform/locked_value.h"

#include <QString>

#include <atomic>
#include <cstdint>

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
    // full path of the file
    QString filePath() const { return filePath_.get(); }
    void setFilePath(const QString& value) { filePath_.set(value); }
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
    LockedValue<QString> filePath_{QLatin1String("")};
    LockedValue<QString> fileType_{QLatin1String("")};
    LockedValue<QString> fileModifyTime_{QLatin1String("")};
    std::atomic<bool> bmov_{false};
    std::atomic<bool> bSelected_{false};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
    std::atomic<bool> bhasCopy_{false};
};
