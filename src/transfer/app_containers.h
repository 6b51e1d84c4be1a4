// The transfer page's apps: the user apps of a device with their icons, and the walk of one
// app's data container.
//
// The app list takes the storage manager's app scan and keeps its user apps; each becomes an app
// record for the page's app tree (filePath "/", the container's root, so the tree makes the
// app's folder and nothing in it until the container is walked).
//
// A walk lists the container from its root at any depth (at most kMaxContainerDepth levels) and
// hands over records in batches: a folder as "<path>/" (a folder without an entry), a regular
// file as its path with its size. Names that could leave their folder are skipped. After every
// entry the walk asks the stop check and whether its device (index AND serial) is still the one
// attached. Worker thread.
#pragma once

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "device/device_target.h"
#include "ui/core/app_tree_nodes.h"

namespace nimbara::transfer {

using AppRecord = std::shared_ptr<PRAppDirTreeNode>;
using AppStopCheck = std::function<bool()>;  // true: stop now

enum class AppLoadStatus {
    Done,        // read to the end (possibly nothing found)
    Refused,     // the device refused the service (message says why)
    DeviceGone,  // the device went away (or another took its index)
    Stopped,     // the caller asked to stop
};

struct AppListResult {
    AppLoadStatus status = AppLoadStatus::Done;
    QString message;  // for anything but Done
    std::vector<AppRecord> apps;
};

// The device's user apps, each with its icon (PNG data, or the image "NULLImage.png").
AppListResult listTransferApps(const amd::DeviceTarget& target, const AppStopCheck& stop);

inline constexpr int kMaxContainerDepth = 64;
// Records handed over at once by a walk.
inline constexpr std::size_t kWalkBatch = 200;

struct ContainerWalkResult {
    AppLoadStatus status = AppLoadStatus::Done;
    QString message;  // for anything but Done
    std::size_t files = 0;
    std::size_t folders = 0;
};

// Walks the container of `app` (its appBundleName), handing each batch of records to `found`
// (on the worker). Records carry the app's display name and bundle identifier.
ContainerWalkResult walkAppContainer(const amd::DeviceTarget& target, const PRAppDirTreeNode& app,
                                     const AppStopCheck& stop,
                                     const std::function<void(std::vector<AppRecord>)>& found);

}  // namespace nimbara::transfer
