// The quick clean-up: removes from the device what a quick scan found and the user ticked.
// run() is the confirmed action: constructing the engine changes nothing; run() works through
// the steps on the calling (worker) thread and always returns a report.
//
// Steps, each with its progress text:
//   "Backing up photos..."  (when a photo library size was reported) copy the photos and videos
//                           to the export folder (photo row ticked);
//   "Deleting junk files..." remove the junk records (junk row ticked);
//   "Deleting photos..."     delete from the camera roll the items whose copy is complete and
//                           verified (photo row ticked and camera-roll deletion allowed);
//   "Deleting large files..." remove the ticked large files;
//   "Deleting large apps..."  uninstall the ticked large apps;
//   "Cleaning up device"      the end, always sent last (fraction 1).
//
// Safety: protected device files (isProtectedDeviceFile) are never removed, only reported; a
// copy never overwrites a file of the export folder; the engine checks before each removal that
// its own device (index and serial) is still attached and stops when it is not; freed sizes
// count only removals that answered 0.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "cleanup/camera_roll.h"
#include "cleanup/quick_scan_engine.h"

namespace amd {
class AfcService;
}

namespace nimbara::cleanup {

// The exact progress texts.
inline constexpr const char* kTextBackingUpPhotos = "Backing up photos...";
inline constexpr const char* kTextDeletingJunk = "Deleting junk files...";
inline constexpr const char* kTextDeletingPhotos = "Deleting photos...";
inline constexpr const char* kTextDeletingLargeFiles = "Deleting large files...";
inline constexpr const char* kTextDeletingLargeApps = "Deleting large apps...";
inline constexpr const char* kTextCleaningUpDevice = "Cleaning up device";

struct QuickCleanOptions {
    int deviceIndex = 0;
    std::uint64_t deviceSerial = 0;
    // Where the photos go (created with its parents when missing).
    std::string exportFolder;
    bool photosTicked = false;  // the photo row
    bool junkTicked = false;    // the junk row
    // False after a rescan, when no camera-roll size was reported, or when the storage manager
    // page owns the camera session: the photos are then copied but none is deleted.
    bool deleteCameraRoll = true;
    // The device's photo-library size; "Backing up photos..." is shown only when nonzero.
    std::uint64_t photoLibrarySize = 0;
};

enum class QuickCleanCategory { Photos, Junk, LargeFiles, LargeApps };

struct QuickCleanFailure {
    QuickCleanCategory category;
    std::string path;  // device path, local path of a failed copy, or the bundle identifier
    int code = 0;      // the operation's nonzero result (-1: refused by the engine)
    QString reason;    // what went wrong, for the log and the GUI
};

// The overall outcome; when several apply, the later one in this list is reported.
enum class QuickCleanStatus {
    Done = 0,               // everything asked for was done
    DoneWithFailures,       // finished; some items failed or were left alone (see failures)
    PhotoBackupFailed,      // the export folder or a copy failed: no photo deleted
    CameraRollUnavailable,  // the camera-roll session did not open: no photo deleted
    DeviceGone,             // the device went away: the clean-up stopped early
    Cancelled,              // the caller's stop check asked to stop
};

struct QuickCleanReport {
    QuickCleanStatus status = QuickCleanStatus::Done;
    std::uint64_t freedPhotos = 0;
    std::uint64_t freedJunk = 0;
    std::uint64_t freedLargeFiles = 0;
    std::uint64_t freedLargeApps = 0;
    std::uint64_t freedTotal() const {
        return freedPhotos + freedJunk + freedLargeFiles + freedLargeApps;
    }
    int removedCount = 0;  // device files removed and apps uninstalled
    // Removals, copies and uninstalls that failed (protected files left alone are not counted
    // here, though they are listed in failures with code -1).
    int failedCount = 0;
    std::vector<QuickCleanFailure> failures;    // failed or refused items (protected ones included)
    std::vector<std::string> protectedSkipped;  // protected device paths left in place
    std::vector<std::string> photosCopied;      // local paths of the verified copies
    QString message;                            // one or two sentences for the GUI
};

// What a clean-up will do, told before it runs: the figures of the confirmation, by the rules
// run() follows, without asking the device.
struct QuickCleanPreview {
    std::string exportFolder;
    bool photos = false;        // the photo row is ticked
    bool deletePhotos = false;  // the camera-roll items are deleted once their copies are made
    std::uint64_t cameraRollItems = 0;   // pictures and movies of the camera roll
    std::uint64_t copyOnlyPictures = 0;  // of photo streams and synced albums (kept)
    bool junk = false;                   // the junk row is ticked
    std::uint64_t junkFiles = 0;         // junk files that will be removed, each once
    std::uint64_t junkBytes = 0;
    std::uint64_t keptFiles = 0;      // ticked files the device itself needs: left in place
    std::vector<QString> largeFiles;  // names of the large files that will be deleted
    std::uint64_t largeFileBytes = 0;
    std::vector<QString> apps;  // names of the apps that will be uninstalled
    std::uint64_t appBytes = 0;
};

class QuickCleanEngine {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now
    // text, fraction 0..1 (never decreasing); runs on the worker.
    using ProgressSink = std::function<void(const QString& text, double fraction)>;

    // `scan` holds the records to act on: the large files and apps ticked (bSelectedSate) when the
    // engine is made; later changes to the ticks are not seen.
    // `cameraRoll` may be null: a DeviceCameraRoll of the options' device is used then.
    // `stop` is combined with the engine's own check that its device is still attached.
    QuickCleanEngine(QuickCleanOptions options, QuickScanResult scan,
                     std::shared_ptr<CameraRoll> cameraRoll = nullptr, ProgressSink progress = {},
                     StopCheck stop = {});
    ~QuickCleanEngine();

    // What run() will do with the ticks taken when the engine was made (for the question).
    QuickCleanPreview preview() const;

    // The confirmed clean-up. Call once.
    QuickCleanReport run();

    // The steps, for the delegate's step-by-step operations and for tests; run() calls them in
    // order. Each adds to report().
    void startCopyiOSDeviePhotoVideo();
    void startCleanUpiOSJunkFiles();
    void deleteCameraRollItems();
    void startCleanUpiOSLargeFiles();
    void startUninstalliOSLargeApps();
    const QuickCleanReport& report() const { return report_; }

    // A local file name in `folder` for `name` that neither exists there nor is in `taken`:
    // "IMG_0001.JPG", then "IMG_0001 (2).JPG", "IMG_0001 (3).JPG", ... Every name fits the
    // 255-byte limit of a file name: the part before the extension is shortened where needed.
    // Empty when `name` is not a plain file name (empty, ".", "..", or holding "/" or NUL).
    static std::string uniqueLocalName(const std::string& folder, const std::string& name,
                                       const std::vector<std::string>& taken);

  private:
    // Media-root paths removed so far (a path may stand in more than one list).
    std::set<std::string> removedMediaPaths_;

    struct CopiedPhoto {
        std::string devicePath;
        std::string localPath;
        std::uint64_t size = 0;
    };
    enum class Step { Photos, Junk, CameraRoll, LargeFiles, LargeApps, Count };

    // True once the caller asked to stop or the device went away (kept once true).
    bool stopRequested();
    bool deviceAttached() const;
    void beginStep(Step step, const char* text, std::size_t items);
    void itemDone();
    void sendProgress(double fraction);
    void fail(QuickCleanCategory category, const std::string& path, int code,
              const QString& reason);
    void removed(QuickCleanCategory category, std::uint64_t bytes);
    // Reports a protected path; true when `devicePath` must be left alone.
    bool refuseProtected(QuickCleanCategory category, const std::string& devicePath);
    // Copies the regular files of one device folder to the export folder; false to end the copy.
    bool copyPhotoFolder(amd::AfcService& afc, const std::string& folder);
    bool copyPhoto(amd::AfcService& afc, const std::string& devicePath, const std::string& name);
    bool ensureExportFolder();
    // Binds a service to the engine's device; false (reported) when it can't.
    template <class Service>
    bool bind(Service& service);
    // The media-area connection the steps share: bound on first use, bound again by a later
    // call while it could not be; null when it can't be.
    amd::AfcService* mediaService();
    void removeJunkList(const std::vector<std::shared_ptr<PRPhoneSystemFileNode>>& list);
    void finish();

    QuickCleanOptions options_;
    QuickScanResult scan_;
    std::shared_ptr<CameraRoll> cameraRoll_;
    ProgressSink progress_;
    StopCheck stop_;
    QuickCleanReport report_;
    std::unique_ptr<amd::AfcService> media_;
    bool mediaBound_ = false;
    std::vector<CopiedPhoto> copied_;      // verified copies
    std::vector<std::string> takenNames_;  // local names given out by this clean-up
    bool exportFolderReady_ = false;
    bool photoBackupFailed_ = false;
    bool cameraRollUnavailable_ = false;
    bool deviceGone_ = false;
    bool cancelled_ = false;
    bool ran_ = false;
    QString stepText_;
    Step step_ = Step::Photos;
    std::size_t stepItems_ = 0;
    std::size_t stepDone_ = 0;
    double lastFraction_ = 0.0;
};

}  // namespace nimbara::cleanup
