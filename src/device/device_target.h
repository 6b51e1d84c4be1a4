// The device a job, a scan or a result belongs to: its amd::DeviceManager index AND its serial.
// Indices are given again after a detach, serials never: a device that later took the same index
// has another serial, so a target never names it, and stillAttached() turns false for good once
// its own device went away.
#pragma once

#include <cstdint>

namespace amd {

struct DeviceTarget {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;

    // True while this very device is attached at its index and its handle has not seen it go
    // (DeviceManager::IsAttached).
    bool stillAttached() const;

    friend bool operator==(const DeviceTarget&, const DeviceTarget&) = default;
};

}  // namespace amd
