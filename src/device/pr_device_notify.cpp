#include "device/pr_device_notify.h"

#include <any>

#include "platform/notification_center.h"

namespace amd {

void PRDeviceNotify::DeviceAdded(int deviceIndex) {
    nimbara::NotificationCenter::defaultCenter().post(kDeviceConnectNotification,
                                                      std::any(deviceIndex));
}

void PRDeviceNotify::DeviceRemoved(int deviceIndex) {
    nimbara::NotificationCenter::defaultCenter().post(kDeviceDisConnectNotification,
                                                      std::any(deviceIndex));
}

void PRDeviceNotify::DeviceWaiting(const std::string& identifier, int reason) {
    nimbara::NotificationCenter::defaultCenter().post(kDeviceWaitingNotification,
                                                      std::any(WaitingDevice{identifier, reason}));
}

}  // namespace amd
