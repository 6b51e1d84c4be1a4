// One entry of the large-file and large-app lists: a device file (a path on the media root) or
// an installed app. It carries both the byte counts and the display texts, because the finder
// page sorts by parsing its texts back. Held by std::shared_ptr; every getter and setter is
// atomic. Texts that start "empty" are QString("") and those that start "none" are null.
//
// Protected files: isProtected() is set by the quick scan for a file the clean-up must never
// remove (nimbara::cleanup::isProtectedDeviceFile of devicePath); such a record also starts
// unticked. The clean-up still asks isProtectedDeviceFile itself before removing anything.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/locked_device_path.h"
#include "platform/locked_value.h"

class PRLargeFileNode {
  public:
    // Ticked; fileName, filePath, fileSize, fileParentName, appBundId empty; fileIcon,
    // fileAdvice, documentSize, totalSize, appVersion, appDisplayName null; both sizes 0.
    PRLargeFileNode() = default;
    PRLargeFileNode(const PRLargeFileNode&) = delete;
    PRLargeFileNode& operator=(const PRLargeFileNode&) = delete;

    // File: last path component. App: display name followed by ".app".
    QString fileName() const { return fileName_.get(); }
    void setFileName(const QString& value) { fileName_.set(value); }
    // File: full device path beginning with "/", as display text; empty for apps. devicePath is
    // the same path as the device listed it, and every removal uses it (see LockedDevicePath).
    QString filePath() const { return filePath_.text(); }
    void setFilePath(const QString& value) { filePath_.setText(value); }
    std::string devicePath() const { return filePath_.bytes(); }
    void setDevicePath(const std::string& value) { filePath_.setBytes(value); }
    // File: its size text. App: size text of the bundle (StaticDiskUsage).
    QString fileSize() const { return fileSize_.get(); }
    void setFileSize(const QString& value) { fileSize_.set(value); }
    // For a file inside an app's container: the app's display name followed by ".app".
    QString fileParentName() const { return fileParentName_.get(); }
    void setFileParentName(const QString& value) { fileParentName_.set(value); }
    // App icon as an image name (finder page only); null for files.
    QString fileIcon() const { return fileIcon_.get(); }
    void setFileIcon(const QString& value) { fileIcon_.set(value); }
    // The app icon's PNG data from the device (finder page only); empty without one.
    QByteArray fileIconPng() const { return fileIconPng_.get(); }
    void setFileIconPng(const QByteArray& value) { fileIconPng_.set(value); }
    // Bundle identifier of the app (or of the app owning the file).
    QString appBundId() const { return appBundId_.get(); }
    void setAppBundId(const QString& value) { appBundId_.set(value); }
    // File size in bytes.
    std::uint64_t fileSizeNumber() const { return fileSizeNumber_.load(); }
    void setFileSizeNumber(std::uint64_t value) { fileSizeNumber_.store(value); }
    // App size in bytes: StaticDiskUsage + DynamicDiskUsage.
    std::uint64_t appFileSizeNumber() const { return appFileSizeNumber_.load(); }
    void setAppFileSizeNumber(std::uint64_t value) { appFileSizeNumber_.store(value); }
    // The advice sentence of the finder page.
    QString fileAdvice() const { return fileAdvice_.get(); }
    void setFileAdvice(const QString& value) { fileAdvice_.set(value); }
    // App: size text of its data (DynamicDiskUsage).
    QString documentSize() const { return documentSize_.get(); }
    void setDocumentSize(const QString& value) { documentSize_.set(value); }
    // App: size text of bundle plus data.
    QString totalSize() const { return totalSize_.get(); }
    void setTotalSize(const QString& value) { totalSize_.set(value); }
    // App: CFBundleShortVersionString, else CFBundleVersion.
    QString appVersion() const { return appVersion_.get(); }
    void setAppVersion(const QString& value) { appVersion_.set(value); }
    // App: CFBundleDisplayName.
    QString appDisplayName() const { return appDisplayName_.get(); }
    void setAppDisplayName(const QString& value) { appDisplayName_.set(value); }
    // Tick state of the row; the quick clean-up removes only ticked records.
    bool bSelectedSate() const { return bSelectedSate_.load(); }
    void setBSelectedSate(bool value) { bSelectedSate_.store(value); }

    // A file the clean-up must never remove (see the file comment).
    bool isProtected() const { return isProtected_.load(); }
    void setIsProtected(bool value) { isProtected_.store(value); }
    // A camera-roll file in the large-file list: removed only with Photos & Videos, so it is
    // never ticked here.
    bool isCameraRollFile() const { return isCameraRollFile_.load(); }
    void setIsCameraRollFile(bool value) { isCameraRollFile_.store(value); }
    bool tickable() const { return !isProtected() && !isCameraRollFile(); }

  private:
    LockedValue<QString> fileName_{QLatin1String("")};
    LockedDevicePath filePath_;
    LockedValue<QString> fileSize_{QLatin1String("")};
    LockedValue<QString> fileParentName_{QLatin1String("")};
    LockedValue<QString> fileIcon_;
    LockedValue<QByteArray> fileIconPng_;
    LockedValue<QString> appBundId_{QLatin1String("")};
    LockedValue<QString> fileAdvice_;
    LockedValue<QString> documentSize_;
    LockedValue<QString> totalSize_;
    LockedValue<QString> appVersion_;
    LockedValue<QString> appDisplayName_;
    std::atomic<std::uint64_t> fileSizeNumber_{0};
    std::atomic<std::uint64_t> appFileSizeNumber_{0};
    std::atomic<bool> bSelectedSate_{true};
    std::atomic<bool> isProtected_{false};
    std::atomic<bool> isCameraRollFile_{false};
};
