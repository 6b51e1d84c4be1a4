// Removal of what the clean-up page found: files and folders inside apps' containers (caches,
// cookies, temporary files, documents, advertisement caches) and media left by failed syncs.
//
// Two halves. The plan (a list of CleanItem) is taken on the GUI thread from the page's records
// and trees with the items...Of functions below: it holds plain values only, so nothing the worker
// reads changes under it. CleanRemovalEngine then works through the plan on the calling (worker)
// thread and always returns a report.
//
// Safety:
// - Every path must lie inside its category's folder ("/Library/Caches", "/Documents",
//   "/Library/Cookies", "/tmp"; "/iTunes_Control/Sync" on the media root) and be a plain device
//   path (no empty, "." or ".." component); anything else is refused, never sent to the device.
// - Protected device files (isProtectedDeviceFile) are never removed, only reported; a folder
//   holding one stays with it.
// - The engine checks before each removal that its own device (index and serial) is still
//   attached and stops when it is not; a device that later took the index is never touched.
// - One container connection per app at a time: the plan's items are worked through app by app.
// - Only removals the device confirmed count: freed bytes are the sizes the device reported for
//   the files it removed (never parsed back from size texts); every item's outcome is reported.
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/clean_category.h"
#include "device/device_target.h"
#include "ui/core/app_tree_nodes.h"

namespace amd {
class AfcService;
}

namespace nimbara::cleanup {

// The device a job belongs to (amd::DeviceManager index and serial).
using CleanDeviceTarget = amd::DeviceTarget;

// One thing to remove (or export, see clean_export.h).
struct CleanItem {
    enum class Kind {
        File,              // one file in an app's container
        Folder,            // a folder in an app's container, with everything below it
        CategoryContents,  // everything inside the app's category folder (the folder stays)
        MediaFile,         // one file on the media root (failed-sync media)
        AdCacheFolder,     // Folder, then an empty file of the same name put in its place
    };
    Kind kind = Kind::File;
    CleanCategory category = CleanCategory::Cache;
    std::string bundleId;    // the container's app; empty for MediaFile
    std::string devicePath;  // as the device listed it
    std::uint64_t size = 0;  // bytes as found (files); 0 for folders
    // Export only: a local copy made earlier (the record's btransfer / transferPath).
    std::string localCopy;
};

// ---------------------------------------------------------------- plans (GUI thread)

// The found-file records of the app clean-up lists (filePath, appBundleName, fileSizeNumber).
std::vector<CleanItem> itemsOfRecords(CleanCategory category,
                                      const std::vector<std::shared_ptr<PRCleanDirNode>>& records);
// One entry of a category tree's file table, or a failed-sync record (category SyncFailed).
CleanItem itemOfEntry(CleanCategory category, const PRCleanFileNode& entry);
// A folder row of a category tree: the device folder(s) it stands for, told from the paths of
// the entries below it (a row's name may differ from the device's: hidden names lose their dot
// in the tree). A row at or above the category folder (the app, "Library", "Caches") stands for
// the app's whole category folder and empties it; a row below it removes that folder. Empty
// when nothing was found below the row.
std::vector<CleanItem> itemsOfTreeFolder(CleanCategory category,
                                         const std::shared_ptr<PRCleanDirNode>& folder);
// Every entry found in a category tree (its top-level folders): clean all of a category. Each
// file once, however many rows lead to it.
std::vector<CleanItem> itemsOfTree(CleanCategory category,
                                   const std::vector<std::shared_ptr<PRCleanDirNode>>& topLevel);
// An advertisement-cache folder of an app.
CleanItem adCacheItem(const std::string& bundleId, const std::string& devicePath);

// Whether `item` may be acted on: a plain absolute device path inside its category's folder
// (strictly inside for folders; a category folder that is itself a file may be removed), a
// valid bundle identifier for container items. False with the reason in `why`.
bool isActionableItem(const CleanItem& item, QString* why);

// ---------------------------------------------------------------- the run (worker thread)

enum class CleanItemOutcome {
    NotTried,  // the run stopped first
    Removed,   // removed (a folder: everything below it too)
    Gone,      // no longer on the device: nothing to remove
    Kept,      // refused: protected, outside its folder, or not what the record said
    Failed,    // the device refused, or its files could not be reached
};

struct CleanFailure {
    std::size_t item = 0;  // index into the plan
    std::string path;      // the device path concerned
    int code = 0;          // the device's nonzero result (-1: refused by the engine)
    QString reason;
};

enum class CleanRunStatus {
    Done,              // every item removed (or already gone)
    DoneWithFailures,  // finished; some items failed or were kept (see failures)
    NothingToDo,       // the plan was empty
    DeviceGone,        // the device went away: the run stopped early
    Cancelled,         // the caller's stop check asked to stop
};

struct CleanRemovalReport {
    CleanRunStatus status = CleanRunStatus::Done;
    std::vector<CleanItemOutcome> outcomes;  // one per plan item
    std::uint64_t freedBytes = 0;
    std::array<std::uint64_t, kCleanCategoryCount> freedByCategory{};
    std::uint64_t removedFiles = 0;  // device files removed
    // Every device file removed, with the plan item it was removed for (a folder item that
    // failed part-way still lists the files it did remove).
    std::vector<std::pair<std::size_t, std::string>> removedPaths;
    std::vector<CleanFailure> failures;
    std::vector<std::string> protectedKept;  // protected device paths left in place
    // Plan items kept only because they are, or hold, files the device itself needs: kept on
    // purpose, so not "could not be removed".
    std::size_t keptForTheDevice = 0;
    QString message;  // one or two sentences for the user

    std::uint64_t freed(CleanCategory category) const {
        return freedByCategory[static_cast<std::size_t>(category)];
    }
    // Plan items whose outcome is Removed or Gone: the rows the page may drop.
    std::vector<std::size_t> settledItems() const;
    std::size_t failedItems() const;
    // Items that failed or were kept for another reason than the device needing them.
    std::size_t unremovedItems() const { return failedItems() - keptForTheDevice; }
};

// One regular file removed over a file service (amd::AfcService or amd::CrashReportService):
// Gone when it is no longer there, Kept when it is a folder now or (on the media root) a
// protected device file, Failed when the device refused, Removed with the size the device
// reported for it. `code` is the device's nonzero result (-1: refused here).
struct DeviceFileRemoval {
    CleanItemOutcome outcome = CleanItemOutcome::NotTried;
    std::uint64_t bytes = 0;
    int code = 0;
    QString reason;
    bool isProtected = false;
};
template <class Service>
DeviceFileRemoval removeDeviceFile(Service& service, const std::string& devicePath, bool mediaRoot);

// After each item: items handled so far of the plan's items, the percent (100 for an empty
// plan; never above 100) and the bytes freed so far.
struct CleanProgress {
    std::size_t handled = 0;
    std::size_t total = 0;
    int percent = 0;
    std::uint64_t freedBytes = 0;
};
int cleanPercent(std::uint64_t handled, std::uint64_t total);

// What every clean-up job asks before each device step: whether the caller wants it to stop or
// its own device (index and serial) went away. Once true, it stays true.
class CleanRunGuard {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now
    CleanRunGuard(CleanDeviceTarget target, StopCheck stop)
        : target_(target), stop_(std::move(stop)) {}

    bool stopRequested();
    bool deviceAttached() const;
    // Notes a departure seen by a bind or at the end; the device is not asked again.
    void checkGone();
    bool deviceGone() const { return deviceGone_; }
    bool cancelled() const { return cancelled_; }
    // The run's status at its end: a departure seen only by the last steps still counts.
    CleanRunStatus finalStatus(bool emptyPlan, bool anyFailure);
    const CleanDeviceTarget& target() const { return target_; }

  private:
    CleanDeviceTarget target_;
    StopCheck stop_;
    bool deviceGone_ = false;
    bool cancelled_ = false;
};

// The plan's items by the connection they need, in the order the apps first appear: one group
// per app container, and one (empty bundleId) for the media root's items. Items of a container
// kind that name no app land in no container group: they are in the media group, where
// isActionableItem refuses them.
struct CleanItemGroup {
    std::string bundleId;
    std::vector<std::size_t> items;
};
std::vector<CleanItemGroup> groupByConnection(const std::vector<CleanItem>& plan);

// A file service for a group: the app's container, or the media root for an empty bundleId.
// `code` gets the bind's result (0: bound). Bound or not, the guard then knows whether its
// device is still the one attached (a device that took the index meanwhile has another serial).
std::unique_ptr<amd::AfcService> openGroupService(CleanRunGuard& guard, const std::string& bundleId,
                                                  int* code);

class CleanRemovalEngine {
  public:
    using StopCheck = std::function<bool()>;                         // true: stop now
    using ProgressSink = std::function<void(const CleanProgress&)>;  // runs on the worker

    // Constructing changes nothing; run() is the confirmed action.
    CleanRemovalEngine(CleanDeviceTarget target, std::vector<CleanItem> plan,
                       ProgressSink progress = {}, StopCheck stop = {});
    ~CleanRemovalEngine();

    // Call once.
    CleanRemovalReport run();

    // How many folder levels below an item's folder are entered.
    static constexpr int kMaxDepth = 64;

  private:
    bool stopRequested() { return guard_.stopRequested(); }
    void runGroup(const std::string& bundleId, const std::vector<std::size_t>& indexes);
    CleanItemOutcome removeItem(amd::AfcService& afc, std::size_t index);
    CleanItemOutcome removeFile(amd::AfcService& afc, std::size_t index);
    CleanItemOutcome removeFolder(amd::AfcService& afc, std::size_t index, bool removeSelf,
                                  bool placeholder);
    // Removes what is below `folder` (and the folder itself when `removeSelf`); true when all
    // of it went. A folder holding something that stays (protected, refused) stays with it.
    bool removeTree(amd::AfcService& afc, std::size_t index, const std::string& folder,
                    bool removeSelf, int depth);
    void fail(std::size_t index, const std::string& path, int code, const QString& reason);
    void counted(std::size_t index, const std::string& path, std::uint64_t bytes);
    void itemDone(std::size_t index, CleanItemOutcome outcome);
    void finish();

    CleanRunGuard guard_;
    std::vector<CleanItem> plan_;
    ProgressSink progress_;
    CleanRemovalReport report_;
    std::size_t handled_ = 0;
    bool ran_ = false;
};

// What a run took off the device, as the page's lists see it: a path left when its item was
// removed or found gone (the very file, or a folder above it), or when the run removed that file
// itself (a folder item that failed part-way still took the files it removed).
class CleanSettledSet {
  public:
    CleanSettledSet(const std::vector<CleanItem>& plan, const CleanRemovalReport& report);
    bool covers(const std::string& bundleId, const std::string& path) const;

  private:
    std::set<std::pair<std::string, std::string>> files_;  // (bundle id, path)
    std::vector<const CleanItem*> folders_;
};
// Whether `item` (removed or gone) took the file `path` of app `bundleId` with it.
bool cleanItemCovers(const CleanItem& item, const std::string& bundleId, const std::string& path);

// What a removal took off one of the page's lists.
struct CleanSettled {
    std::uint64_t files = 0;  // rows dropped
    std::uint64_t bytes = 0;  // their sizes as listed (the list's total goes down by this)
};
// GUI thread, with the report of a removal plan: drops the records the run took off the device
// (CleanSettledSet), keeping the order of the rest; rows whose removal failed or was refused
// stay listed. Records are matched by app and path.
CleanSettled settleRecords(std::vector<std::shared_ptr<PRCleanDirNode>>& records,
                           const std::vector<CleanItem>& plan, const CleanRemovalReport& report);

// ---------------------------------------------------------------- texts of the page

// "Files Found: %s in  %lld file(s)" (two blanks before the count).
QString filesFoundText(std::uint64_t bytes, std::uint64_t files);
// "Has remove %lld files of %lld files, %s " (with its trailing blank).
QString removeProgressText(std::uint64_t handled, std::uint64_t total, std::uint64_t bytes);
// "%lld files will be cleaned up and %s of disk space will be freed up on your iDevice."
QString removeAllSheetText(std::uint64_t files, std::uint64_t bytes);

}  // namespace nimbara::cleanup
