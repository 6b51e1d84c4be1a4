// The storage manager's app scan: every installed app the installation service lists, split into
// user apps ("ApplicationType" "User") and system apps ("System"); apps of any other type are
// left out.
//
// Each app becomes a PRAppDirTreeNode with its bundle identifier, display name, version, bundle
// path and sizes ("StaticDiskUsage" for the app, "DynamicDiskUsage" for its data, both as texts
// and added up in totalAppSizeNumber). User apps carry their home-screen icon (PNG data from the
// device; "NULLImage.png" as the named image when it has none) and the kind "DIR"; their bytes
// make the user-app total. System apps carry a built-in picture chosen by identifier
// (systemAppImageName) and are named by "CFBundleName" when their display name is shorter than
// two characters; those with a bundle size are of kind "App", those without one "Service", with
// blank size texts. The progress counts every listed app.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "filemanager/storage_scan.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::filemanager {

struct AppScanResult {
    StorageDeviceTarget device;
    StorageScanStatus status = StorageScanStatus::Done;
    std::vector<std::shared_ptr<PRAppDirTreeNode>> userApps;    // in the lookup's order
    std::vector<std::shared_ptr<PRAppDirTreeNode>> systemApps;  // in the lookup's order
    std::uint64_t userBytes = 0;                                // app plus data of every user app
    std::uint64_t systemBytes = 0;  // app plus data of every system app with sizes
};

// The named image of a system app: the app's own picture for the built-in apps that have one,
// else "appstore.png".
QString systemAppImageName(const QString& bundleId);

// Whether user apps get their home-screen icons (one request each): a scan that only sums the
// sizes leaves them out.
enum class AppScanIcons { Fetch, Skip };

AppScanResult scanDeviceApps(StorageDeviceTarget target, const StorageStopCheck& stop,
                             const StorageProgress& progress,
                             AppScanIcons icons = AppScanIcons::Fetch);

}  // namespace nimbara::filemanager
