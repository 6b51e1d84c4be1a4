// One book of the device's purchased-books list. Held by std::shared_ptr; every accessor is
// thread-safe, so the scan fills a node on its worker while the page may already show it.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/locked_device_path.h"
#include "platform/locked_value.h"

class PRBookNode {
  public:
    PRBookNode() = default;
    PRBookNode(const PRBookNode&) = delete;
    PRBookNode& operator=(const PRBookNode&) = delete;

    // Device path of the book ("/Books/Purchases/" and the list's "Path"), as display text;
    // devicePath is the same path as the device knows it.
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // The path's extension ("epub", "pdf"); empty when it has none.
    QString fileType() const { return fileType_.get(); }
    void setFileType(const QString& value) { fileType_.set(value); }
    // The list's "Name" with the extension ("Field Notes.epub").
    QString bookName() const { return bookName_.get(); }
    void setBookName(const QString& value) { bookName_.set(value); }
    // The book's artwork as image file data (PNG or JPEG); empty when it has none.
    QByteArray imageIcon() const { return imageIcon_.get(); }
    void setImageIcon(const QByteArray& value) { imageIcon_.set(value); }
    // Size text and bytes: a book stored as a folder counts every file in it, one stored as a
    // single file that file.
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }
    // The book is stored as a folder (an unpacked epub) rather than a single file.
    bool isFolder() const { return isFolder_.load(); }
    void setIsFolder(bool value) { isFolder_.store(value); }
    // The device holds nothing at filePath (the list names a book that is gone).
    bool isMissing() const { return isMissing_.load(); }
    void setIsMissing(bool value) { isMissing_.store(value); }
    // Ticked in the list.
    bool bSelected() const { return bSelected_.load(); }
    void setBSelected(bool value) { bSelected_.store(value); }

  private:
    LockedDevicePath filePath_;
    LockedValue<QString> fileType_{QLatin1String("")};
    LockedValue<QString> bookName_{QLatin1String("")};
    LockedValue<QByteArray> imageIcon_;
    LockedValue<QString> fileSize_{QLatin1String("")};
    std::atomic<std::uint64_t> fileSizeNumber_{0};
    std::atomic<bool> isFolder_{false};
    std::atomic<bool> isMissing_{false};
    std::atomic<bool> bSelected_{false};
};
