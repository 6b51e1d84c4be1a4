#include "device/device_target.h"

#include "device/device_manager.h"

namespace amd {

bool DeviceTarget::stillAttached() const {
    return DeviceManager::GetInstance().IsAttached(deviceIndex, deviceSerial);
}

}  // namespace amd
