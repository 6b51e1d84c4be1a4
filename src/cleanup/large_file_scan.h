// The large-file finder's scan of one device, run on the caller's (worker) thread; nothing here
// touches widgets.
//
// Three steps, in this order:
// - user files: the walk of the media root from "/" keeps every regular file strictly above the
//   large-file limit, at any depth (ithmb thumbnails included), with its advice sentence;
// - apps: every app of type "User", with its icon, version and sizes from its lookup
//   attributes ("StaticDiskUsage" for the bundle, "DynamicDiskUsage" for the data);
// - app data (when asked for): the files strictly above the limit in each user app's
//   "/Library/Caches", "/Library/Cookies", "/tmp" and "/Documents", as records of that app. Their
//   bytes are part of the app's data size already, so they are not added to the app total.
// Files and apps are split at kLargeBigBoundary: up to it "large", above it "big".
//
// The scan belongs to its device (index AND serial): it stops for good as soon as that device is
// gone, even when another device took the index, or when the caller's stop check answers true.
// A stopped scan keeps what it found and reports `stopped`; the steps it did not finish leave
// their `...Done` flag false. Every file record carries isProtected() from
// isProtectedDeviceFile; such files are listed but never removed.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/clean_category.h"
#include "cleanup/pr_large_file_node.h"

namespace nimbara::cleanup {

class CleanJobDevice;

// Up to this many bytes a file or an app is "large", above it "big".
inline constexpr std::uint64_t kLargeBigBoundary = 100000000;

// The advice sentence for a device path of the media root; null for an empty path.
QString largeFileAdvice(const QString& path);

// The category folder of an app container path ("/Library/Caches/x" is Cache, "/Library/Cookies"
// Cookie, "/tmp" Junk, "/Documents" Document); nullopt for any other path.
std::optional<CleanCategory> containerCategoryOf(const std::string& path);

struct LargeFileScanOptions {
    int deviceIndex = 0;
    std::uint64_t deviceSerial = 0;         // 0: the device at deviceIndex when the scan starts
    std::uint64_t largeFileSize = 2000000;  // files strictly above it are listed
    bool appData = true;                    // also walk the user apps' containers
};

struct LargeFileScanResult {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;
    using List = std::vector<std::shared_ptr<PRLargeFileNode>>;
    List userDataLargeFileArray;            // user files up to kLargeBigBoundary, in walk order
    List userDataBigFileArray;              // above it
    List appLargeFileArray;                 // apps (then app-data files) up to kLargeBigBoundary
    List appBigFileArray;                   // above it
    std::uint64_t allDocumentFileSize = 0;  // bytes of every user-file record
    std::uint64_t allAppFileSize = 0;       // bundle plus data bytes of every app
    bool userFilesDone = false;             // the walk of the media root ran to its end
    bool appsDone = false;                  // the app list (and the app-data walk) ran to its end
    bool stopped = false;                   // the device went away or the caller stopped the scan
    // The device's code when it refused a step (0: the step ran, or the scan had stopped).
    int filesRefused = 0;
    int appsRefused = 0;
};

class LargeFileScanEngine {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now

    // Callbacks, each on the scanning thread (the caller hands them to the GUI).
    struct Sink {
        std::function<void(const QString& path)> userPath;  // a user file was listed
        std::function<void(float fraction)> userProgress;   // after each top-level entry
        std::function<void(const QString& name)> appPath;   // an app or an app file was listed
        std::function<void(float fraction)> appProgress;    // after each app
    };

    LargeFileScanEngine(LargeFileScanOptions options, StopCheck cancel, Sink sink = {});
    ~LargeFileScanEngine();
    LargeFileScanEngine(const LargeFileScanEngine&) = delete;
    LargeFileScanEngine& operator=(const LargeFileScanEngine&) = delete;

    // The three steps (the user files' step runs for the apps too when the device refused its
    // files). Call once.
    LargeFileScanResult run();

    // The steps, each adding to the result.
    void scanFindLargeFileWithInUserData();
    void startScanDeviceApps();
    void scanFindLargeFileWithInAppData();

    const LargeFileScanResult& result() const { return result_; }
    bool shouldStop();

  private:
    struct AppEntry;
    void addUserFile(const std::string& path, std::uint64_t size);
    void addAppRecord(std::shared_ptr<PRLargeFileNode> record, std::uint64_t size);

    LargeFileScanOptions options_;
    std::unique_ptr<CleanJobDevice> device_;
    Sink sink_;
    LargeFileScanResult result_;
    std::vector<AppEntry> apps_;  // the user apps the app step listed
};

// A copy of a user-file list sorted largest first by fileSizeNumber; of an app list by the
// record's own bytes (an app's bundle plus data, an app file's size). Equal sizes keep their
// order.
LargeFileScanResult::List sortedUserFiles(LargeFileScanResult::List list);
LargeFileScanResult::List sortedAppRecords(LargeFileScanResult::List list);
// The bytes an app table sorts a record by (see above).
std::uint64_t appRecordBytes(const PRLargeFileNode& record);

}  // namespace nimbara::cleanup
