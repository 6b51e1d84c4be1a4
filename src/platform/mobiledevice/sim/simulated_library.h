// The simulated mobile-device library: devices are folders under a root (see sim_layout.h).
//
// A folder that appears under the root while events are subscribed is an attach, one that
// disappears a detach. A device is its UniqueDeviceID and its folder's identity on disk: when the
// folder under a name is replaced by another one, or its device.plist names another device, the
// old device detaches and the new one attaches (with a new identifier). A folder whose
// device.plist cannot be used (unreadable, larger than kMaxDevicePlistBytes, not a dictionary,
// nested too deeply) or whose areas are links is refused with a log line, and not read again
// until it changes.
//
// When the subscribing thread runs an event loop, the root is looked at by a worker thread of
// the library (once a second, and at once when a watcher on the subscriber's thread sees the
// root change); events reach subscribers through their loops, and no device.plist is ever read on
// a subscriber's thread. Without an event loop the root is read once, within subscribe(). Tests
// attach and detach directly through attach()/detach() and rescan(), which deliver the events
// synchronously on the calling thread. A device whose device.plist holds a "WaitReason" fault is
// reported waiting instead of attached, until the fault goes.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::sim {

class LibraryCore;
class Poller;
class SimulatedDevice;

class SimulatedLibrary : public Library {
  public:
    // `root` may be empty: then only attach() and detach() bring devices.
    explicit SimulatedLibrary(std::string root = {});
    ~SimulatedLibrary() override;

    int subscribe(NotificationCallback callback,
                  std::unique_ptr<Subscription>& subscription) override;
    std::unique_ptr<MediaSyncConnection> createMediaSyncConnection(
        const std::string& libraryId, const std::string& deviceId) override;

    // Attaches the device stored in `deviceDir` and delivers the attach event to every
    // subscriber on this thread. Returns the handle, or null when the folder is refused (see
    // above) or attached already.
    DeviceHandle attach(const std::string& deviceDir);
    // Detaches the device of that folder (the handle fails from now on) and delivers the detach
    // event. False when it was not attached.
    bool detach(const std::string& deviceDir);
    // Attaches and detaches to match the folders under the root now (what the watcher does).
    void rescan();
    // Reads the "WaitReason" fault of an attached device's folder again and, when it changed,
    // reports the device waiting (with the new reason) or, without one, attached. Rescans do the
    // same for devices whose device.plist changed. False when the folder is not attached.
    bool recheck(const std::string& deviceDir);

    std::vector<DeviceHandle> attachedDevices() const;
    // The device of a UniqueDeviceID, or null.
    std::shared_ptr<SimulatedDevice> findByUdid(const std::string& udid) const;
    // Sends a media-sync message to every open session of that device (tests).
    void pushMediaSyncMessage(const std::string& udid, const PlistValue& message);
    // Called on the reading thread each time the library is about to read a device.plist, with
    // the device's folder (tests).
    void setConfigReadObserver(std::function<void(const std::string& dir)> observer);

  private:
    // Shared with the worker and the devices' detach handlers, which hold it weakly.
    const std::shared_ptr<LibraryCore> core_;
    std::mutex pollerMutex_;
    std::unique_ptr<Poller> poller_;  // made by the first subscriber with an event loop
};

}  // namespace nimbara::md::sim
