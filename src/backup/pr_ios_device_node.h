// One local backup folder as a row of the backup list: the device it came from, when it was made
// and where it lives. Every accessor is thread-safe; texts are empty until set, except the model
// name, which stays null when the product type is unknown.
#pragma once

#include <QString>

#include <atomic>

#include "platform/locked_value.h"

class PRIOSDeviceNode {
  public:
    PRIOSDeviceNode() = default;
    PRIOSDeviceNode(const PRIOSDeviceNode&) = delete;
    PRIOSDeviceNode& operator=(const PRIOSDeviceNode&) = delete;

    // "Device Name" of Info.plist, else Lockdown "DeviceName" of Manifest.plist
    QString strDeviceName() const { return deviceName_.get(); }
    void setStrDeviceName(const QString& value) { deviceName_.set(value); }
    // byte size of Info.plist in decimal; empty when read through Manifest.plist
    QString strDeviceSize() const { return deviceSize_.get(); }
    void setStrDeviceSize(const QString& value) { deviceSize_.set(value); }
    // "yyyy-MM-dd HH:mm" (UTC) of the plist's modification time
    QString strDeviceBackUpTime() const { return backUpTime_.get(); }
    void setStrDeviceBackUpTime(const QString& value) { backUpTime_.set(value); }
    QString strDeviceSerial() const { return serial_.get(); }
    void setStrDeviceSerial(const QString& value) { serial_.set(value); }
    // model name from the device-type table; null for an unknown product type
    QString strDeviceType() const { return deviceType_.get(); }
    void setStrDeviceType(const QString& value) { deviceType_.set(value); }
    QString strIOSVersion() const { return iosVersion_.get(); }
    void setStrIOSVersion(const QString& value) { iosVersion_.set(value); }
    // name of the row image: "iphoneImage.png" or "ipadImage.png"
    QString deviceImage() const { return deviceImage_.get(); }
    void setDeviceImage(const QString& value) { deviceImage_.set(value); }
    // "iTunes Version", or Lockdown "BuildVersion" when read through Manifest.plist
    QString itunesVersion() const { return itunesVersion_.get(); }
    void setItunesVersion(const QString& value) { itunesVersion_.set(value); }
    // the backup folder's full path
    QString backUpFilePath() const { return backUpFilePath_.get(); }
    void setBackUpFilePath(const QString& value) { backUpFilePath_.set(value); }

    // Manifest.plist says "IsEncrypted": the records cannot be read, so a scan refuses it.
    bool isEncrypted() const { return encrypted_.load(); }
    void setEncrypted(bool value) { encrypted_.store(value); }
    // Why the backup cannot be scanned (empty when it can).
    QString unreadableReason() const { return unreadableReason_.get(); }
    void setUnreadableReason(const QString& value) { unreadableReason_.set(value); }

  private:
    LockedValue<QString> deviceName_{QLatin1String("")};
    LockedValue<QString> deviceSize_{QLatin1String("")};
    LockedValue<QString> backUpTime_{QLatin1String("")};
    LockedValue<QString> serial_{QLatin1String("")};
    LockedValue<QString> deviceType_{QLatin1String("")};
    LockedValue<QString> iosVersion_{QLatin1String("")};
    LockedValue<QString> deviceImage_;
    LockedValue<QString> itunesVersion_{QLatin1String("")};
    LockedValue<QString> backUpFilePath_{QLatin1String("")};
    LockedValue<QString> unreadableReason_{QLatin1String("")};
    std::atomic<bool> encrypted_{false};
};
