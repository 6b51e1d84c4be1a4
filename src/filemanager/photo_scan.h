// The storage manager's photo scan: the device's photo folders in four phases, in this order:
//  1. camera roll: each folder of "/DCIM" whose name contains "APPLE" (any letter case);
//  2. photo stream: each folder named like "APPLE" inside each folder of "/PhotoStreamsData";
//  3. photo library: each folder of "/PhotoData/Sync" whose name contains "SYNCD";
//  4. the older photo library: the same in "/Photos/Sync".
// Every entry of a walked folder becomes a PRPhotoAndVideoNode with its name, exact device
// path, kind ("Camera roll", "Photo Stream", "Photo Library"), size (text and bytes) and date.
// The phases share the progress 0.35, 0.3, 0.2 and 0.15 of the way; a phase's share is split
// over its folders and their entries, so the bar never runs past a phase's end.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "backup/pr_photo_and_video_node.h"
#include "filemanager/storage_scan.h"

namespace nimbara::filemanager {

inline constexpr const char* kCameraRollKind = "Camera roll";
inline constexpr const char* kPhotoStreamKind = "Photo Stream";
inline constexpr const char* kPhotoLibraryKind = "Photo Library";

struct PhotoScanResult {
    StorageDeviceTarget device;
    StorageScanStatus status = StorageScanStatus::Done;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photos;  // in walk order
    std::uint64_t totalBytes = 0;                              // the photos' bytes
};

PhotoScanResult scanDevicePhotos(StorageDeviceTarget target, const StorageStopCheck& stop,
                                 const StorageProgress& progress);

}  // namespace nimbara::filemanager
