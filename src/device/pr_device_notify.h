// The application's device sink: arrivals and departures become the notifications
// "DeviceConnect" and "DeviceDisConnect" on the default centre, with the device index (int) as
// the object; a device that can't be used yet becomes "DeviceWaiting" with a WaitingDevice.
#pragma once

#include <string>

#include "device/device_manager.h"

namespace amd {

inline constexpr const char* kDeviceConnectNotification = "DeviceConnect";
inline constexpr const char* kDeviceDisConnectNotification = "DeviceDisConnect";
inline constexpr const char* kDeviceWaitingNotification = "DeviceWaiting";

// The object of "DeviceWaiting": which device, and why it waits (0: it no longer does).
struct WaitingDevice {
    std::string identifier;
    int reason = 0;
};

class PRDeviceNotify final : public DeviceNotify {
  public:
    PRDeviceNotify() = default;
    ~PRDeviceNotify() = default;

    void DeviceAdded(int deviceIndex) override;
    void DeviceRemoved(int deviceIndex) override;
    void DeviceWaiting(const std::string& identifier, int reason) override;
};

}  // namespace amd
