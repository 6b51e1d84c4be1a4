// The application's record of one connected device: the texts shown for it, its capacity and
// free space, its device index and its lockdown-values object. Every accessor is thread-safe;
// texts are null (the "nil" text) until set.
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

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
    QString deviceName() const;
    void setDeviceName(const QString& value);
    // total capacity as size text
    QString deviceSize() const;
    void setDeviceSize(const QString& value);
    // free space as size text
    QString freeSize() const;
    void setFreeSize(const QString& value);
    // per-category size texts (not filled in)
    QString musicSize() const;
    void setMusicSize(const QString& value);
    QString photoSize() const;
    void setPhotoSize(const QString& value);
    QString videoSize() const;
    void setVideoSize(const QString& value);
    QString appSize() const;
    void setAppSize(const QString& value);
    QString otherSize() const;
    void setOtherSize(const QString& value);
    // not filled in
    QString productVersion() const;
    void setProductVersion(const QString& value);
    // "ProductVersion", such as 12.4.1
    QString iOSVersion() const;
    void setIOSVersion(const QString& value);
    // "SerialNumber"
    QString seriNumber() const;
    void setSeriNumber(const QString& value);
    // "UniqueDeviceID"; names the device's backup folder
    QString udidNumber() const;
    void setUdidNumber(const QString& value);
    // "BuildVersion"
    QString firemVersion() const;
    void setFiremVersion(const QString& value);
    // "PhoneNumber"
    QString PhoneNumber() const;
    void setPhoneNumber(const QString& value);
    // "ProductType", such as iPhone9,1
    QString deviceModel() const;
    void setDeviceModel(const QString& value);

    // "TotalDiskCapacity" and "AmountDataAvailable" in bytes.
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
    QString get(const QString& field) const;
    void put(QString& field, const QString& value);

    mutable std::mutex mutex_;  // guards the texts and bi_
    std::weak_ptr<amd::BaseInfo> bi_;
    QString deviceName_;
    QString deviceSize_;
    QString freeSize_;
    QString musicSize_;
    QString photoSize_;
    QString videoSize_;
    QString appSize_;
    QString otherSize_;
    QString productVersion_;
    QString iOSVersion_;
    QString seriNumber_;
    QString udidNumber_;
    QString firemVersion_;
    QString PhoneNumber_;
    QString deviceModel_;
    std::atomic<std::uint64_t> totalFileSizeNumber_{0};
    std::atomic<std::uint64_t> freeFileSizeNumber_{0};
    std::atomic<int> deviceIndex_{-1};
};
