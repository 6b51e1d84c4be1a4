// The device clean-up scan: every installed app's cache files ("/Library/Caches"), cookies
// ("/Library/Cookies") and temporary files ("/tmp"), and the media left on the media root under
// "/iTunes_Control/Sync" by syncs that failed.
//
// The engine runs on the caller's (worker) thread and keeps its own result, apart from the app
// scan's. Every file it finds in an app container is handed to onTreeFile (the page gives it
// to the category's tree) AND kept in the category's list, so what the trees show and what a
// clean-all walks is everything found. Failed-sync files go to onSyncFailedFile one at a time.
//
// The scan stops, keeping what it found, when the caller's stop check says so or its device
// (index AND serial) is gone; it then reports no progress, sizes or finish any more.
#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/app_clean_scan_walk.h"

namespace amd {
class AfcService;
}

namespace nimbara::cleanup {

// The notifications the page posts for the main window's summary (with the figures below).
inline constexpr const char* kCleanFileProgressInfo = "CleanFileProgressInfo";
inline constexpr const char* kAddCleanFileSizeThreadProgressInfo =
    "AddCleanFileSizeThreadProgressInfo";
inline constexpr const char* kCleanFilehasFinished = "CleanFilehasFinished";

// The media-root folder of failed syncs.
inline constexpr const char* kSyncFailedRoot = "/iTunes_Control/Sync";

struct DeviceCleanScanResult {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;

    CleanCategoryList caches;   // cacheFileSize and the cache tree's records
    CleanCategoryList cookies;  // cookieFileSize and the cookie tree's records
    CleanCategoryList junk;     // junkFileSize and the junk tree's records ("/tmp")
    std::vector<std::shared_ptr<PRCleanFileNode>> syncFailedFileArray;
    std::uint64_t syncfailedFileSize = 0;
    std::uint64_t totalFileSize = 0;  // all four
    std::uint64_t totalFileNumber = 0;

    int appCount = 0;
    std::vector<std::string> containersRefused;
    int appsRefused = 0;   // the device refused the list of apps (its code)
    int mediaRefused = 0;  // the device refused its media root (its code)
    bool stopped = false;

    bool belongsTo(int index, std::uint64_t serial) const {
        return index == deviceIndex && serial == deviceSerial;
    }
    // junk, cache, cookie: the order of "AddCleanFileSizeThreadProgressInfo".
    std::array<std::uint64_t, 3> categorySizes() const {
        return {junk.bytes, caches.bytes, cookies.bytes};
    }
};

class DeviceCleanScanEngine {
  public:
    using StopCheck = CleanJobDevice::StopCheck;

    // `deviceSerial` 0: the device at `deviceIndex` now.
    DeviceCleanScanEngine(int deviceIndex, std::uint64_t deviceSerial, StopCheck cancel = {});

    // Each runs on the scanning thread.
    // Every app-container file found, for the category's tree.
    std::function<void(CleanCategory category, const std::shared_ptr<PRCleanDirNode>& record)>
        onTreeFile;
    // Every failed-sync file found.
    std::function<void(const std::shared_ptr<PRCleanFileNode>& record)> onSyncFailedFile;
    // After each app: apps done * 90 / app count ("CleanFileProgressInfo").
    std::function<void(int percent)> onProgress;
    // After each app, right after the progress: junk, cache and cookie bytes so far.
    std::function<void(const std::array<std::uint64_t, 3>& sizes)> onSizes;
    // Once, when the scan ends without stopping: the total bytes ("CleanFilehasFinished").
    std::function<void(std::uint64_t totalFileSize)> onFinished;

    DeviceCleanScanResult run();

    // apps done * 90 / count in integer division; 0 for a count of 0.
    static int progressPercent(int done, int count);

    // The failed-sync walk of one media-root folder.
    void traverseSyncDirWithpath(const std::string& path, amd::AfcService& media, int depth = 1);

  private:
    void scanApp(const CleanAppInfo& app, CleanAppIcons& icons);
    void scanSyncFailed();
    void keep(CleanCategory category, std::shared_ptr<PRCleanDirNode> record);
    // `sizeText`: the record's size column.
    void keepSyncFailed(const std::string& path, std::uint64_t size, const QString& sizeText);

    CleanJobDevice device_;
    DeviceCleanScanResult result_;
};

}  // namespace nimbara::cleanup
