// The quick scan of one device: junk files (crash logs, downloads, general storage, media that
// failed to sync, pictures left by photo edits), large files on the media root and large user
// apps. It runs on the caller's thread (a worker) and returns the lists and byte counts; nothing
// here touches widgets.
//
// Stopping: after every directory entry (and before binding each service and walking each junk
// root) the engine asks its stop check. It stops when ITS device is gone (the device with this
// index AND serial is no longer attached or its connection reports it gone, whatever other device
// is attached or detached meanwhile, and even when a new device took the same index) or when the
// caller's StopCheck answers true. Once stopped, the remaining steps find nothing; the lists keep
// what was found so far.
//
// Records: every file record has isProtected() set from nimbara::cleanup::isProtectedDeviceFile
// (crash logs excepted: the clean-up removes every one); protected large files also start
// unticked. Protected files are still listed; the junk figure leaves them out, as the clean-up
// does (bigFileSize still counts them: the large-file list shows them unticked).
//
// Folders are walked at most kMaxWalkDepth levels deep (a folder that lists itself ends there).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "cleanup/pr_large_file_node.h"
#include "device/afc_file_ops.h"
#include "ui/core/device_file_nodes.h"

namespace amd {
class AfcService;
}

// The five kinds of junk, in the order the junk step looks at them.
enum class JunkKind { SystemLog, DownloadTemp, UserStorage, SyncFailed, SyncCache };
inline constexpr std::size_t kJunkKindCount = 5;

struct QuickScanResult {
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> systemLogArray;         // crash logs
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> downloadTempArray;      // below /Downloads
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> userStorageArray;       // /general_storage
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> iTunesSyncFailedArray;  // sync media
    std::vector<std::shared_ptr<PRPhoneSystemFileNode>> iTunesSyncCacheArray;   // photo edits
    std::vector<std::shared_ptr<PRLargeFileNode>> userDataBigFileArray;         // walk order
    std::vector<std::shared_ptr<PRLargeFileNode>> appBigFileArray;              // lookup order
    // Bytes of the five junk lists a clean-up removes: those it keeps (isProtected()) are not
    // counted.
    std::uint64_t junkFileSize = 0;
    std::uint64_t bigFileSize = 0;     // bytes of userDataBigFileArray
    std::uint64_t bigAppFileSize = 0;  // bundle plus data bytes of appBigFileArray
    // The pictures and movies the large-file walk passed that the clean-up's photo step copies
    // (nimbara::cleanup::photoStepFileOf): camera-roll items, and the rest it only copies.
    std::uint64_t cameraRollItems = 0;
    std::uint64_t copyOnlyPictures = 0;
    bool stopped = false;  // the scan ended early (device gone or cancelled)
    // Steps the device refused, each with its code (0: the step ran). Their lists are empty
    // because nothing could be looked at, not because nothing was found.
    int crashLogsRefused = 0;  // the crash-report copy service
    int filesRefused = 0;      // the media area: the junk folders and the large files
    int appsRefused = 0;       // the list of installed apps

    // The total offered for clean-up: photoVideoFileSize + bigAppFileSize + junkFileSize +
    // bigFileSize (saturating at the 64-bit maximum).
    std::uint64_t totalCleanupFileSize(std::uint64_t photoVideoFileSize) const;
};

struct QuickScanOptions {
    int deviceIndex = 0;
    // The serial of the device to scan (amd::DeviceManager::DeviceSerial). 0: the device at
    // deviceIndex when the engine is made.
    std::uint64_t deviceSerial = 0;
    std::uint64_t limitLargeFileSize = 5000000;
    std::uint64_t limitLargeAppSize = 100000000;
    // Keep what the junk step read of the media root for the large-file walk that follows it
    // (false when only the junk step runs).
    bool keepJunkReads = true;
};

class QuickScanEngine {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now

    // Files in a sub-folder of the media root must in addition be larger than this.
    static constexpr std::uint64_t kSubFolderMinimumSize = 5000000;
    // How many folder levels below a walk's root are entered.
    static constexpr int kMaxWalkDepth = 64;

    // `cancel` may be empty; it is combined with "the device is gone".
    QuickScanEngine(QuickScanOptions options, StopCheck cancel);

    // Each callback runs on the scanning thread after its step; the caller forwards to the GUI.
    std::function<void(std::uint64_t junkFileSize)> onJunkDone;
    std::function<void(std::uint64_t bigFileSize)> onLargeFilesDone;
    // The junk step: before each kind is looked at (also when its service can't be bound), and
    // for every file recorded, with its device path.
    std::function<void(JunkKind kind)> onJunkKindStart;
    std::function<void(JunkKind kind, const std::string& path)> onJunkFound;

    // Junk, then large files, then large apps; the callbacks run even after a stop.
    QuickScanResult run();

    // The steps (each adds to result()).
    void QuickScanJunkFileFromDevie();
    void QuickScanLargeFileFromUserData();
    void QuickScanLargeAppFromAppData();

    // The walkers: the device path of a folder and the bound AFC service to use.
    void traverseDirWithpath(const QString& path, amd::AfcService& withAfcService);
    void traverseUserStorageDirWithpath(const QString& path, amd::AfcService& withAfcService);
    void traverseiTunesSyncFailedFilesDirWithpath(const QString& path,
                                                  amd::AfcService& withAfcService);
    void traverseiTunesSyncCacheFilesDirWithpath(const QString& path,
                                                 amd::AfcService& withAfcService);
    void userdatatraverseDirWithpath(const QString& path, amd::AfcService& withAfcService);

    // Negative when a's number is larger (a goes first), positive when smaller, 0 when equal:
    // a sort by these puts the largest first.
    static int compareFileSizeDescending(const PRLargeFileNode& a, const PRLargeFileNode& b);
    static int compareAppFileSizeDescending(const PRLargeFileNode& a, const PRLargeFileNode& b);
    // A copy of `list` sorted largest first by appFileSizeNumber (byAppSize) or fileSizeNumber.
    static std::vector<std::shared_ptr<PRLargeFileNode>> sortedBySizeDescending(
        std::vector<std::shared_ptr<PRLargeFileNode>> list, bool byAppSize);

    // True once the stop check answered true (kept: a stopped scan never resumes).
    bool shouldStop();

    const QuickScanResult& result() const { return result_; }
    QuickScanResult takeResult();
    const QuickScanOptions& options() const { return options_; }

  private:
    using FileList = std::vector<std::shared_ptr<PRPhoneSystemFileNode>>;
    // Called for each regular file a walk meets, with its size and the depth of its folder.
    using FileVisit = std::function<void(const std::string& path, std::uint64_t size, int depth)>;

    // Lists `folder` and stats each entry, entering sub-folders while depth < kMaxWalkDepth; the
    // stop check is asked after every entry.
    void walk(const std::string& folder, amd::AfcService& afc, int depth, const FileVisit& onFile);
    std::optional<std::vector<std::string>> readFolder(const std::string& folder,
                                                       amd::AfcService& afc);
    std::optional<amd::afc::FileKindAndSize> entryInfo(const std::string& path,
                                                       amd::AfcService& afc);
    // One junk root walked into `list` (unless the scan stopped).
    void scanJunkRoot(JunkKind kind, const std::string& root, amd::AfcService* afc);
    FileVisit junkCollector(JunkKind kind);
    FileList& junkList(JunkKind kind);
    void considerLargeFile(const std::string& path, std::uint64_t size, int depth);
    void countPhotoStepFile(const std::string& path);
    void addJunk(const std::string& path, std::uint64_t size, JunkKind kind);
    void addLargeFile(const std::string& path, std::uint64_t size);
    // Binds `service` to the scanned device; false when it can't or the device is another one.
    // A device that refuses while still there leaves its code in `refused`.
    template <class Service>
    bool bind(Service& service, int& refused);
    // The device with our index and serial is attached and its connection has not dropped.
    bool deviceStillThere() const;

    QuickScanOptions options_;
    StopCheck cancel_;
    bool stopped_ = false;
    QuickScanResult result_;
    // The junk roots lie on the media root: what the junk step read of them (folder listings,
    // entry kinds and sizes) is taken, each once, by the large-file walk instead of asking the
    // device again, and dropped at the walk's end.
    bool rememberReads_ = false;
    std::unordered_map<std::string, std::vector<std::string>> junkFolders_;
    std::unordered_map<std::string, amd::afc::FileKindAndSize> junkEntries_;
};
