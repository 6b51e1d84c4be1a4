// The storage categories a device doesn't report, counted from what the storage manager reads:
// the apps' sizes from the installation service (their "StaticDiskUsage" and "DynamicDiskUsage"),
// music and movies from the device's media library (tracks whose file is on the device), the
// photo library and the camera roll from the photo folders. One scan per source, run on the
// calling (worker) thread with the storage manager's own scans, in the order photos, media, apps
// (the installation service may take longest to answer), each handed over as soon as it ended.
//
// A count belongs to one device (index and serial): it ends with the first scan that met its
// device gone or the caller's stop, and what such a scan found is never handed over as a figure.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "filemanager/storage_scan.h"
#include "transfer/media_library.h"

namespace nimbara::filemanager {

// The categories of the device's storage metrics.
enum class StorageCategory { Apps, Music, Movies, PhotoLibrary, CameraRoll };

// What one scan of a count ended with.
struct StorageCountStep {
    StorageDeviceTarget device;
    StorageScanStatus status = StorageScanStatus::Done;
    // The requested categories the scan was for, each with its bytes (0 unless Done).
    std::vector<std::pair<StorageCategory, std::uint64_t>> figures;
};

using StorageCountSink = std::function<void(const StorageCountStep&)>;

// Counts the `wanted` categories, handing every scan's step to `sink` on the calling thread.
// Returns Done when every scan ran (some may have been refused), else why the count ended early.
StorageScanStatus countStorageCategories(StorageDeviceTarget target,
                                         const std::vector<StorageCategory>& wanted,
                                         const StorageStopCheck& stop,
                                         const StorageCountSink& sink);

// A media-library read's end as a scan's: a device without a library holds no media (Done).
StorageScanStatus storageStatusOfMedia(nimbara::transfer::MediaLibraryStatus status);

}  // namespace nimbara::filemanager
