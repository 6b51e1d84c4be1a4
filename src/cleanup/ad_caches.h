// Advertisement caches: folders directly under an app's "/Library/Caches" whose name contains
// the name of an advertising network (letter case ignored). Detection runs inside the app scan
// (app_clean_scan.h) over the container connection the scan already holds; removal is its own
// job (AdCacheRemover), confirmed by the user beforehand, working through a snapshot of rows.
//
// A removed cache folder is removed with everything in it and replaced on the device by an
// empty file of the same name, written straight to the device. Protected device files
// (isProtectedDeviceFile) are never removed: a folder holding one stays, and its row stays
// "Live" with what is left.
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/app_clean_scan_walk.h"
#include "cleanup/clean_removal.h"
#include "platform/locked_value.h"

namespace amd {
class AfcService;
}

// One user app in advertisement-cache removal. Every getter and setter is atomic.
class PRAppAdsRemoveNode {
  public:
    static constexpr const char* kStateLive = "Live";
    static constexpr const char* kStateNoAds = "No Ads";
    static constexpr const char* kStateRemoved = "Removed";

    PRAppAdsRemoveNode() = default;
    PRAppAdsRemoveNode(const PRAppAdsRemoveNode&) = delete;
    PRAppAdsRemoveNode& operator=(const PRAppAdsRemoveNode&) = delete;

    QString appName() const { return appName_.get(); }
    void setAppName(const QString& value) { appName_.set(value); }
    // The app's icon as PNG data (empty without one).
    QByteArray appImage() const { return appImage_.get(); }
    void setAppImage(const QByteArray& value) { appImage_.set(value); }
    QString appVersion() const { return appVersion_.get(); }
    void setAppVersion(const QString& value) { appVersion_.set(value); }
    // "Live", "No Ads" or "Removed".
    QString appAdsState() const { return appAdsState_.get(); }
    void setAppAdsState(const QString& value) { appAdsState_.set(value); }
    // The number of cache folders as text ("%d"), kept with the number.
    QString appPlatformCount() const { return QString::number(platformCount_.load()); }
    int platformCount() const { return platformCount_.load(); }
    void setPlatformCount(int value) { platformCount_.store(value); }
    // Container paths of the cache folders ("/Library/Caches/<name>"), in the order found.
    std::vector<std::string> appAdsPlatArray() const { return appAdsPlatArray_.get(); }
    void setAppAdsPlatArray(const std::vector<std::string>& value) {
        appAdsPlatArray_.set(value);
        platformCount_.store(static_cast<int>(value.size()));
    }
    QString appBundleID() const { return appBundleID_.get(); }
    void setAppBundleID(const QString& value) { appBundleID_.set(value); }
    QString appAdsPath() const { return appAdsPath_.get(); }
    void setAppAdsPath(const QString& value) { appAdsPath_.set(value); }

  private:
    LockedValue<QString> appName_;
    LockedValue<QByteArray> appImage_;
    LockedValue<QString> appVersion_;
    LockedValue<QString> appAdsState_;
    LockedValue<std::vector<std::string>> appAdsPlatArray_;
    LockedValue<QString> appBundleID_;
    LockedValue<QString> appAdsPath_;
    std::atomic<int> platformCount_{0};
};

namespace nimbara::cleanup {

inline constexpr const char* kAppCachesFolder = "/Library/Caches";

// The 53 network names, in matching order.
const std::vector<const char*>& adPlatformNames();

// The first network whose name the folder name contains (letter case ignored); -1 for none.
int adPlatformIndex(const std::string& folderName);

// The advertisement-cache folders of one app container ("/Library/Caches/<name>" paths, each
// folder once, in listing order). Regular files are never caches. Empty when the folder is
// missing or can't be read. Asks `device` to stop after every entry.
std::vector<std::string> findAdCacheFolders(amd::AfcService& container, CleanJobDevice& device);

// The row of one user app; its state is "Live" with folders, "No Ads" without.
std::shared_ptr<PRAppAdsRemoveNode> makeAdsRemoveNode(const CleanAppInfo& app,
                                                      const QByteArray& icon,
                                                      std::vector<std::string> folders);

// Larger counts first; for a stable sort of the rows.
bool adsNodeGoesBefore(const PRAppAdsRemoveNode& a, const PRAppAdsRemoveNode& b);
// A copy of `rows` sorted by adsNodeGoesBefore (equal counts keep their order).
std::vector<std::shared_ptr<PRAppAdsRemoveNode>> sortedAdsRows(
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows);

// ---------------------------------------------------------------- the pages' removal
// The clean-up page's advertisement view and the advertisement-removal page remove rows the same
// way: a plan taken on the GUI thread, run by CleanRemovalEngine, settled back on the GUI thread.

// One AdCacheFolder item per folder of each row, rows in order.
std::vector<CleanItem> adCachePlan(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows);
// GUI thread, with the report of adCachePlan(rows): each row keeps the folders still on the
// device (those whose removal failed or was refused) and ends "Removed" when none is left, else
// stays "Live" with what is left. The number of folders the device removed (a folder that was
// already gone is dropped from its row but not counted).
int settleAdRows(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows,
                 const std::vector<CleanItem>& plan, const CleanRemovalReport& report);

// "%1 of %2 apps keep advertisement caches." over the rows shown.
QString adsSummaryText(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows);
// The question before a removal of `rows` (all "Live"), and its informative text.
QString adsRemovalQuestion(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows);
QString adsRemovalDetail(const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows);
// "%1 advertisement cache folder(s) removed, %2 freed."
QString adsRemovedText(int folders, std::uint64_t bytesFreed);
// What the alert says for a row that is not "Live".
inline constexpr const char* kNoAdsDetectedText =
    "No ads detected, please contact us for further assistance or choose other ads to remove.";

struct AdRemovalFailure {
    std::string bundleId;
    std::string path;  // the container path that was not removed or not replaced
    int code = 0;      // the device's result; -1 refused here (protected file, not a cache)
    QString reason;
};

struct AdRemovalReport {
    int foldersRemoved = 0;        // cache folders gone from the device
    std::uint64_t bytesFreed = 0;  // bytes of the files removed
    int appsRemoved = 0;           // rows that ended "Removed"
    std::vector<AdRemovalFailure> failures;
    bool stopped = false;  // the device went away or the caller stopped the job
};

// Removes the caches of the rows it was given. Constructing it changes nothing; run() is the
// confirmed action, on a worker thread: one container connection per app, rows in order.
class AdCacheRemover {
  public:
    using StopCheck = CleanJobDevice::StopCheck;

    // `rows` is the snapshot to act on: rows that are not "Live" when the remover is made are
    // passed over. `deviceSerial` 0: the device at `deviceIndex` now.
    AdCacheRemover(int deviceIndex, std::uint64_t deviceSerial,
                   std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows, StopCheck stop = {});

    // Runs at the end of the run once for each row worked on (the page reloads the row).
    std::function<void(const std::shared_ptr<PRAppAdsRemoveNode>&)> onAppDone;

    AdRemovalReport run();

  private:
    struct Row {
        std::shared_ptr<PRAppAdsRemoveNode> node;
        std::string bundleId;
        std::vector<std::string> folders;
    };

    CleanJobDevice device_;
    StopCheck stop_;
    std::vector<Row> rows_;
};

}  // namespace nimbara::cleanup
