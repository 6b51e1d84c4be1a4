#include "device/device_space.h"

#include <algorithm>

namespace amd {

DeviceSpace deviceSpace(const DiskUsage& usage) {
    DeviceSpace space;
    space.total = usage.TotalDiskCapacity;
    space.free = std::min(usage.AmountDataAvailable, space.total);
    space.used = space.total - space.free;
    // The partition's figures are bounded by what is used: a device reporting more never makes
    // the parts add up to more than the whole.
    const std::uint64_t system = std::min(usage.TotalSystemCapacity, space.used);
    space.systemFree = std::min(usage.TotalSystemAvailable, system);
    space.systemUsed = system - space.systemFree;
    space.userUsed = space.used - system;
    const std::uint64_t available = std::max(usage.TotalDataAvailable, usage.AmountDataAvailable);
    space.reclaimable = std::min(available - usage.AmountDataAvailable, space.userUsed);
    return space;
}

}  // namespace amd
