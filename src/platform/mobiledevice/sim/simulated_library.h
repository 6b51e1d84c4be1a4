// The simulated mobile-device library: devices are folders under a root (see sim_layout.h).
//
// A folder that appears under the root while events are subscribed is an attach, one that
// disappears a detach (the root is watched by the subscribing thread's event loop). Tests attach
// and detach directly through attach()/detach(), which deliver the events synchronously on the
// calling thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::sim {

class LibraryCore;
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
    // subscriber on this thread. Returns the handle, or null when the folder holds no readable
    // device.plist or that folder is attached already.
    DeviceHandle attach(const std::string& deviceDir);
    // Detaches the device of that folder (the handle fails from now on) and delivers the detach
    // event. False when it was not attached.
    bool detach(const std::string& deviceDir);
    // Attaches and detaches to match the folders under the root now (what the watcher does).
    void rescan();

    std::vector<DeviceHandle> attachedDevices() const;
    // The device of a UniqueDeviceID, or null.
    std::shared_ptr<SimulatedDevice> findByUdid(const std::string& udid) const;
    // Sends a media-sync message to every open session of that device (tests).
    void pushMediaSyncMessage(const std::string& udid, const PlistValue& message);

  private:
    // Shared with the watchers and the devices' fault handlers, which hold it weakly.
    const std::shared_ptr<LibraryCore> core_;
};

}  // namespace nimbara::md::sim
