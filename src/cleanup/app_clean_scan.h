// The app scan of the clean-up page: every installed app's container is searched for cache
// files ("/Library/Caches"), cookies ("/Library/Cookies"), temporary files ("/tmp") and
// documents of the document table ("/Documents"), and every user app's "/Library/Caches" for
// advertisement caches (ad_caches.h). One container connection per app serves both searches.
//
// The engine runs on the caller's (worker) thread and returns its own result; nothing here
// touches widgets. Progress and the paths seen go out through callbacks on the worker, which
// the page marshals to the GUI thread without waiting. The scan stops (keeping what it found)
// when the caller's stop check says so or when its device (index AND serial) is gone; the
// result says so, and the page then discards it when the device changed.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/ad_caches.h"
#include "cleanup/app_clean_scan_walk.h"

namespace nimbara::cleanup {

struct AppCleanScanResult {
    // The device the result belongs to.
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;

    CleanCategoryList caches;     // cacheFileArray, cacheFileSize
    CleanCategoryList cookies;    // cookieFileArray, cookieFileSize
    CleanCategoryList junk;       // junkFileArray, junkFileSize ("/tmp")
    CleanCategoryList documents;  // documentFileArray, documentFileSize
    std::uint64_t totalFileSize = 0;
    std::uint64_t totalFileNumber = 0;

    // One row per user app whose container opened, in lookup order.
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> adsRemoveArray;
    int totalAdsCount = 0;  // advertisement-cache folders over all apps

    int appCount = 0;                            // apps the lookup returned
    std::vector<std::string> containersRefused;  // apps whose container could not be opened
    int appsRefused = 0;  // the device's code when it refused the list of apps (0: listed)
    bool stopped = false;

    bool belongsTo(int index, std::uint64_t serial) const {
        return index == deviceIndex && serial == deviceSerial;
    }
};

struct AppCleanScanOptions {
    int deviceIndex = 0;
    std::uint64_t deviceSerial = 0;  // 0: the device at deviceIndex now
    bool categories = true;          // caches, cookies, temporary files and documents
    bool advertisements = true;      // advertisement caches of user apps
};

class AppCleanScanEngine {
  public:
    using StopCheck = CleanJobDevice::StopCheck;

    AppCleanScanEngine(AppCleanScanOptions options, StopCheck cancel = {});

    // Each runs on the scanning thread.
    // After each app: the share of apps done (0..1), only once it is above 0.1.
    std::function<void(float fraction)> onProgress;
    // After each app: its bundle identifier (the advertisement path label).
    std::function<void(const QString& bundleId)> onAppVisited;
    // Each file kept: its category and path (the category's path label).
    std::function<void(CleanCategory category, const QString& path)> onPathSeen;

    AppCleanScanResult run();

    // The progress rule: n of count apps done as a single-precision share; reported only when
    // it is above 0.1 (in double precision). Nothing for a count of 0.
    static std::optional<float> progressFraction(int done, int count);
    // YES from iOS 8.3 on: the first two parts of the version joined, read as a number, above 82.
    static bool bIOSVersionAppClean(const QString& version);

  private:
    void scanApp(const CleanAppInfo& app, CleanAppIcons& icons);
    void keep(CleanCategory category, std::shared_ptr<PRCleanDirNode> record);

    AppCleanScanOptions options_;
    CleanJobDevice device_;
    AppCleanScanResult result_;
};

}  // namespace nimbara::cleanup
