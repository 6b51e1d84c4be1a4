// The storage manager's user-data scan: the whole media area of the device, from "/", as walk
// records for the folder tree (PRSystemLibTreeController), read by the device file browser's walk
// (device_fs_walk.h).
//
// Every folder is walked before its own record is handed over, so the records of a folder's
// contents arrive before the folder's (the tree makes the folders along a path as needed). A
// folder record has its path and the kind "Folder" and no size text; a file record has its path,
// isFile, the kind "File", its size text and bytes. Other entries (links, devices) are left out,
// as are names that could leave their folder; folders deeper than kMaxUserDataDepth are not
// entered. Records go out in batches (never more than kUserDataBatch at once, and at the end of
// every top-level entry; what was met before a stop is handed over too); the progress is the
// share of top-level entries done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "filemanager/device_fs_walk.h"
#include "filemanager/storage_scan.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::filemanager {

inline constexpr std::size_t kUserDataBatch = 256;
inline constexpr int kMaxUserDataDepth = DeviceFsWalk::kMaxDepth;

using UserDataRecords = std::vector<std::shared_ptr<PRPhoneSystemDirNode>>;

struct UserDataScanResult {
    StorageDeviceTarget device;
    StorageScanStatus status = StorageScanStatus::Done;
    std::uint64_t totalBytes = 0;  // the bytes of every file record handed over
    std::size_t files = 0;
    std::size_t folders = 0;
};

// `records` runs on the scanning thread with each batch, in walk order.
UserDataScanResult scanDeviceUserData(StorageDeviceTarget target, const StorageStopCheck& stop,
                                      const StorageProgress& progress,
                                      const std::function<void(UserDataRecords)>& records);

}  // namespace nimbara::filemanager
