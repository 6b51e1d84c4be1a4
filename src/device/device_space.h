// The device's used and free space as every page shows it, worked out once from its disk-usage
// values. "Free" is the space the device has for new data (AmountDataAvailable) and "used" the
// rest of its disk (TotalDiskCapacity). Used holds the system's partition whole, its free part
// included (that space never takes the user's data), and the user's part: what the user's data
// takes, together with what the device frees on demand (TotalDataAvailable beyond
// AmountDataAvailable), which is not free until the device frees it.
#pragma once

#include <cstdint>

#include "device/base_info.h"

namespace amd {

struct DeviceSpace {
    std::uint64_t total = 0;
    std::uint64_t free = 0;         // never more than total
    std::uint64_t used = 0;         // total - free
    std::uint64_t systemUsed = 0;   // the system partition's used part
    std::uint64_t systemFree = 0;   // the system partition's free part, counted in used
    std::uint64_t userUsed = 0;     // used beyond the system partition
    std::uint64_t reclaimable = 0;  // the part of userUsed the device frees on demand
};

DeviceSpace deviceSpace(const DiskUsage& usage);

}  // namespace amd
