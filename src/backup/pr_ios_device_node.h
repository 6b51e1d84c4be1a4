// One local backup folder as a row of the backup list: the device it came from, when it was made
// and where it lives. Every accessor is thread-safe; texts are empty until set, except the model
// name, which stays null when the product type is unknown.
#pragma once

#include <QString>

#include <atomic>
#include <mutex>

class PRIOSDeviceNode {
  public:
    PRIOSDeviceNode();
    PRIOSDeviceNode(const PRIOSDeviceNode&) = delete;
    PRIOSDeviceNode& operator=(const PRIOSDeviceNode&) = delete;

    // "Device Name" of Info.plist, else Lockdown "DeviceName" of Manifest.plist
    QString strDeviceName() const;
    void setStrDeviceName(const QString& value);
    // byte size of Info.plist in decimal; empty when read through Manifest.plist
    QString strDeviceSize() const;
    void setStrDeviceSize(const QString& value);
    // "yyyy-MM-dd HH:mm" (UTC) of the plist's modification time
    QString strDeviceBackUpTime() const;
    void setStrDeviceBackUpTime(const QString& value);
    QString strDeviceSerial() const;
    void setStrDeviceSerial(const QString& value);
    // model name from the device-type table; null for an unknown product type
    QString strDeviceType() const;
    void setStrDeviceType(const QString& value);
    QString strIOSVersion() const;
    void setStrIOSVersion(const QString& value);
    // name of the row image: "iphoneImage.png" or "ipadImage.png"
    QString deviceImage() const;
    void setDeviceImage(const QString& value);
    // "iTunes Version", or Lockdown "BuildVersion" when read through Manifest.plist
    QString itunesVersion() const;
    void setItunesVersion(const QString& value);
    // the backup folder's full path
    QString backUpFilePath() const;
    void setBackUpFilePath(const QString& value);

    // Manifest.plist says "IsEncrypted": the records cannot be read, so a scan refuses it.
    bool isEncrypted() const { return encrypted_.load(); }
    void setEncrypted(bool value) { encrypted_.store(value); }
    // Why the backup cannot be scanned (empty when it can).
    QString unreadableReason() const;
    void setUnreadableReason(const QString& value);

  private:
    QString get(const QString& field) const;
    void put(QString& field, const QString& value);

    mutable std::mutex mutex_;
    QString deviceName_{""};
    QString deviceSize_{""};
    QString backUpTime_{""};
    QString serial_{""};
    QString deviceType_{""};
    QString iosVersion_{""};
    QString deviceImage_;
    QString itunesVersion_{""};
    QString backUpFilePath_{""};
    QString unreadableReason_{""};
    std::atomic<bool> encrypted_{false};
};
