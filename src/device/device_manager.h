// The process-wide registry of attached devices, keyed by a small device index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "device/base_device.h"

namespace nimbara {
class JobQueue;
}

namespace amd {

class BaseInfo;
class AirTrafficHostHelper;

// Told about arrivals and departures, on the thread that subscribed. DeviceAdded comes once a
// device is bound and ready; DeviceRemoved only ever follows a DeviceAdded of that index.
class DeviceNotify {
  public:
    virtual void DeviceAdded(int deviceIndex) = 0;
    virtual void DeviceRemoved(int deviceIndex) = 0;
    // A device is plugged in but can't be used yet: `reason` says why (an md::Error code such
    // as PasswordProtected, PairingPending or PairingRefused), again whenever it changes, and is
    // 0 once the device no longer waits (it became usable, or went). `identifier` tells several
    // waiting devices apart.
    virtual void DeviceWaiting(const std::string& identifier, int reason) {
        (void)identifier;
        (void)reason;
    }

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
    // The device's UniqueDeviceID as read when it was bound (set before the item is listed).
    const std::string& udid() const { return udid_; }

  private:
    friend class DeviceManager;
    std::string udid_;
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
    // The serial of the listed device (attached, bound and so trusting this computer) whose
    // UniqueDeviceID is `udid` (compared without regard to case), or 0 when none is. Asks the
    // device nothing: for any thread.
    std::uint64_t SerialOfDevice(const std::string& udid) const;

    // The device's private scratch folder "<scratch root>/tmp/<UniqueDeviceID>/" (created on
    // first use, mode 0700). For an index without a device: "<scratch root>/tmp/" once an earlier
    // call made it, else empty. Empty when the identifier is not a plain file name.
    std::string GetLocalDir(int deviceIndex);

    void OnNotification(int message, const nimbara::md::DeviceHandle& device);
    // Reads the device's values and opens its media sync, each a round trip to the device. On
    // the application's main thread this happens on the manager's binding worker, and the sink
    // hears DeviceAdded later on the main thread; a device that detached or a manager that was
    // reset meanwhile is never announced. Elsewhere (no event loop) it happens within the call.
    void OnDeviceAttached(const nimbara::md::DeviceHandle& device);
    void OnDeviceDetached(const nimbara::md::DeviceHandle& device);
    // A device that can't be used yet (see DeviceNotify::DeviceWaiting); ignored for a device
    // already in use or being bound.
    void OnDeviceWaiting(const nimbara::md::DeviceHandle& device);

    // Devices attached and not yet bound (or given up).
    std::size_t BindsPending() const;
    // No device is being bound and the binding worker has nothing left to do.
    bool BindingIdle() const;

    // Drops every item (posting removals), every device still being bound (silently) and the
    // subscription: used at exit and by tests. Never waits.
    void Reset();
    // Stops the binding worker, waiting for a bind in progress: at exit only, after Reset and
    // before the library goes. A later attach starts a new worker.
    void Shutdown();

  private:
    DeviceManager();
    ~DeviceManager();
    DeviceNotify* notify() const;
    // The next free index: after the last item and every device being bound. Needs mutex_.
    int nextIndexLocked() const;
    // Whether the device is listed or being bound. Needs mutex_.
    bool knownLocked(const nimbara::md::DeviceHandle& device) const;
    // Binds the item to its device: 0, 1 when it can't be bound, 2 when its values can't be read
    // or, media sync refused, no session starts either (the device does not trust this
    // computer). A device that starts a session but opens no media sync is bound with every
    // storage metric unknown. Runs off the main thread.
    static int bindItem(const std::shared_ptr<DeviceItem>& item);
    // Lists and announces a bound item, unless it left the binding list meanwhile.
    void finishBind(const std::shared_ptr<DeviceItem>& item, int rc);
    bool isBinding(const std::shared_ptr<DeviceItem>& item) const;
    // Tells that a device not in use waits for `reason` (when it changed; nothing for 0).
    void noteWaiting(const nimbara::md::DeviceHandle& device, int reason);
    // Stops telling about a waiting device; true when it was waiting.
    bool endWaiting(const nimbara::md::DeviceHandle& device);
    // Tells the sink, then takes the item out of the list and stops its media-sync reader.
    void removeItem(const std::shared_ptr<DeviceItem>& item);
    void unlink(const std::shared_ptr<DeviceItem>& item);

    mutable std::mutex mutex_;
    std::list<std::shared_ptr<DeviceItem>> items_;
    std::list<std::shared_ptr<DeviceItem>> binding_;  // attached, not yet bound or announced
    std::list<std::pair<nimbara::md::DeviceHandle, int>> waiting_;  // with the reason last told
    std::unique_ptr<nimbara::JobQueue> binder_;                     // made by the first bind
    std::unique_ptr<nimbara::md::Subscription> subscription_;
    DeviceNotify* notify_ = nullptr;
    std::uint64_t nextSerial_ = 1;
    std::string localBase_;  // "<scratch>/tmp/" once a local folder was made
};

}  // namespace amd
