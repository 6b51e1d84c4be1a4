// The process-wide registry of attached devices, keyed by a small device index.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "device/base_device.h"

namespace amd {

class BaseInfo;
class AirTrafficHostHelper;

// Told about arrivals and departures.
class DeviceNotify {
  public:
    virtual void DeviceAdded(int deviceIndex) = 0;
    virtual void DeviceRemoved(int deviceIndex) = 0;

  protected:
    ~DeviceNotify() = default;
};

// One attached device.
class DeviceItem {
  public:
    DeviceItem(int index, std::uint64_t serial, std::shared_ptr<BaseDevice> device);
    ~DeviceItem();

    int index() const { return index_; }
    // Unique for the life of the process: a later device that gets the same index has another
    // serial, so work bound to a departed device can tell.
    std::uint64_t serial() const { return serial_; }
    const std::shared_ptr<BaseDevice>& device() const { return device_; }
    BaseInfo* info() const { return info_.get(); }
    std::shared_ptr<BaseInfo> sharedInfo() const { return info_; }
    AirTrafficHostHelper* mediaSync() const { return mediaSync_.get(); }

  private:
    friend class DeviceManager;
    std::string localDir_;
    int index_;
    std::uint64_t serial_;
    std::unique_ptr<AirTrafficHostHelper> mediaSync_;
    std::shared_ptr<BaseInfo> info_;
    std::shared_ptr<BaseDevice> device_;
};

class DeviceManager {
  public:
    static DeviceManager& GetInstance();

    void SetNotify(DeviceNotify* notify);
    // Subscribes to the mobile-device library's attach and detach events (on this thread).
    int Subscribe();
    int Unsubscribe();

    // Look-ups return shared ownership: what they return stays valid while held, even across a
    // detach (calls on a departed device's handle then fail).
    std::shared_ptr<DeviceItem> FindItem(int deviceIndex) const;
    std::shared_ptr<BaseDevice> FindDevice(int deviceIndex) const;
    // The serial of the device now at that index, or 0 when none.
    std::uint64_t DeviceSerial(int deviceIndex) const;
    // True while the very device with that serial is still attached at that index (and its
    // handle has not seen it go).
    bool IsAttached(int deviceIndex, std::uint64_t serial) const;
    // Indices of the attached devices, in attach order.
    std::list<int> Indices() const;

    // The device's private scratch folder "<scratch root>/tmp/<UniqueDeviceID>/" (created on
    // first use, mode 0700). For an index without a device: "<scratch root>/tmp/" once an earlier
    // call made it, else empty. Empty when the identifier is not a plain file name.
    std::string GetLocalDir(int deviceIndex);

    void OnNotification(int message, const nimbara::md::DeviceHandle& device);
    void OnDeviceAttached(const nimbara::md::DeviceHandle& device);
    void OnDeviceDetached(const nimbara::md::DeviceHandle& device);

    // Drops every item (posting removals) and the subscription: used at exit and by tests.
    void Reset();

  private:
    DeviceManager() = default;
    DeviceNotify* notify() const;
    // Tells the sink, then takes the item out of the list and stops its media-sync reader.
    void removeItem(const std::shared_ptr<DeviceItem>& item);
    void unlink(const std::shared_ptr<DeviceItem>& item);

    mutable std::mutex mutex_;
    std::list<std::shared_ptr<DeviceItem>> items_;
    std::unique_ptr<nimbara::md::Subscription> subscription_;
    DeviceNotify* notify_ = nullptr;
    std::uint64_t nextSerial_ = 1;
    std::string localBase_;  // "<scratch>/tmp/" once a local folder was made
};

}  // namespace amd
