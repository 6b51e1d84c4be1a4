// The application's record of one connected device: the texts shown for it, its capacity and
// free space, its device index and its lockdown-values object. Every accessor is thread-safe;
// texts are null (the "nil" text) until set.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/locked_value.h"

namespace amd {
class BaseInfo;
}

class PRiDeviceNode {
  public:
    // Index -1, every text null, both byte counts 0.
    PRiDeviceNode();
    PRiDeviceNode(const PRiDeviceNode&) = delete;
    PRiDeviceNode& operator=(const PRiDeviceNode&) = delete;

    // "DeviceName"; also the title of the device's pop-up item
    QString deviceName() const { return deviceName_.get(); }
    void setDeviceName(const QString& value) { deviceName_.set(value); }
    // total capacity as size text
    QString deviceSize() const { return deviceSize_.get(); }
    void setDeviceSize(const QString& value) { deviceSize_.set(value); }
    // free space as size text
    QString freeSize() const { return freeSize_.get(); }
    void setFreeSize(const QString& value) { freeSize_.set(value); }
    // per-category size texts (not filled in)
    QString musicSize() const { return musicSize_.get(); }
    void setMusicSize(const QString& value) { musicSize_.set(value); }
    QString photoSize() const { return photoSize_.get(); }
    void setPhotoSize(const QString& value) { photoSize_.set(value); }
    QString videoSize() const { return videoSize_.get(); }
    void setVideoSize(const QString& value) { videoSize_.set(value); }
    QString appSize() const { return appSize_.get(); }
    void setAppSize(const QString& value) { appSize_.set(value); }
    QString otherSize() const { return otherSize_.get(); }
    void setOtherSize(const QString& value) { otherSize_.set(value); }
    // not filled in
    QString productVersion() const { return productVersion_.get(); }
    void setProductVersion(const QString& value) { productVersion_.set(value); }
    // "ProductVersion", such as 12.4.1
    QString iOSVersion() const { return iOSVersion_.get(); }
    void setIOSVersion(const QString& value) { iOSVersion_.set(value); }
    // "SerialNumber"
    QString seriNumber() const { return seriNumber_.get(); }
    void setSeriNumber(const QString& value) { seriNumber_.set(value); }
    // "UniqueDeviceID"; names the device's backup folder
    QString udidNumber() const { return udidNumber_.get(); }
    void setUdidNumber(const QString& value) { udidNumber_.set(value); }
    // "BuildVersion"
    QString firemVersion() const { return firemVersion_.get(); }
    void setFiremVersion(const QString& value) { firemVersion_.set(value); }
    // "PhoneNumber"
    QString PhoneNumber() const { return PhoneNumber_.get(); }
    void setPhoneNumber(const QString& value) { PhoneNumber_.set(value); }
    // "ProductType", such as iPhone9,1
    QString deviceModel() const { return deviceModel_.get(); }
    void setDeviceModel(const QString& value) { deviceModel_.set(value); }

    // The device's total and free space in bytes (amd::deviceSpace of its disk usage).
    std::uint64_t totalFileSizeNumber() const { return totalFileSizeNumber_.load(); }
    void setTotalFileSizeNumber(std::uint64_t value) { totalFileSizeNumber_.store(value); }
    std::uint64_t freeFileSizeNumber() const { return freeFileSizeNumber_.load(); }
    void setFreeFileSizeNumber(std::uint64_t value) { freeFileSizeNumber_.store(value); }

    // The device manager's index; -1 until set.
    int deviceIndex() const { return deviceIndex_.load(); }
    void setDeviceIndex(int value) { deviceIndex_.store(value); }

    // The device's lockdown-values object. The node does not keep it alive: once the device has
    // gone and the manager released it, getBi() gives null instead of a dangling object.
    std::shared_ptr<amd::BaseInfo> getBi() const;
    void SetBaseInfo(const std::shared_ptr<amd::BaseInfo>& bi);

  private:
    mutable std::mutex mutex_;  // guards bi_
    std::weak_ptr<amd::BaseInfo> bi_;
    LockedValue<QString> deviceName_;
    LockedValue<QString> deviceSize_;
    LockedValue<QString> freeSize_;
    LockedValue<QString> musicSize_;
    LockedValue<QString> photoSize_;
    LockedValue<QString> videoSize_;
    LockedValue<QString> appSize_;
    LockedValue<QString> otherSize_;
    LockedValue<QString> productVersion_;
    LockedValue<QString> iOSVersion_;
    LockedValue<QString> seriNumber_;
    LockedValue<QString> udidNumber_;
    LockedValue<QString> firemVersion_;
    LockedValue<QString> PhoneNumber_;
    LockedValue<QString> deviceModel_;
    std::atomic<std::uint64_t> totalFileSizeNumber_{0};
    std::atomic<std::uint64_t> freeFileSizeNumber_{0};
    std::atomic<int> deviceIndex_{-1};
};
