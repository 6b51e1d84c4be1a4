// The application's device sink: arrivals and departures become the notifications
// "DeviceConnect" and "DeviceDisConnect" on the default centre, with the device index (int) as
// the object.
#pragma once

#include "device/device_manager.h"

namespace amd {

inline constexpr const char* kDeviceConnectNotification = "DeviceConnect";
inline constexpr const char* kDeviceDisConnectNotification = "DeviceDisConnect";

class PRDeviceNotify final : public DeviceNotify {
  public:
    PRDeviceNotify() = default;
    ~PRDeviceNotify() = default;

    void DeviceAdded(int deviceIndex) override;
    void DeviceRemoved(int deviceIndex) override;
};

}  // namespace amd
