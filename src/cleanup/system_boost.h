// The system boost page's jobs: the scan of the five kinds of junk the system leaves on the
// device (crash logs, downloads, general storage, media that failed to sync, pictures left by
// photo edits), their removal, and the export of one found file. Each runs on the caller's
// (worker) thread; nothing here touches widgets.
//
// The scan is the quick scan's junk step (QuickScanEngine) with the page's progress and path
// reports: progress 0.1 before the crash logs, 0.4 before the downloads, 0.6 before general
// storage, 0.7 before the failed-sync media, 0.8 before the photo-edit pictures and 1.0 at the
// end. Every result is bound to the device (index AND serial) it was found on; a job stops when
// its own device goes away or its stop check says so.
//
// Removal: the plan is a list of plain values taken on the GUI thread. Crash logs go through the
// crash-report service, everything else through the media area, one connection per kind; a
// path outside its kind's folder is refused, protected device files are never removed, and only
// removals the device confirmed count (with the size the device reported).
//
// Export: one found file is copied into the export folder under its own name made safe,
// numbered " (2)", ... rather than replacing anything; a failed copy leaves nothing behind.
#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/clean_removal.h"
#include "cleanup/quick_scan_engine.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::cleanup {

using BoostKind = JunkKind;
using BoostFileList = std::vector<std::shared_ptr<PRPhoneSystemFileNode>>;

// The kinds in the order remove all works through them.
inline constexpr std::array<BoostKind, kJunkKindCount> kBoostRemovalOrder = {
    BoostKind::SystemLog, BoostKind::DownloadTemp, BoostKind::UserStorage, BoostKind::SyncCache,
    BoostKind::SyncFailed};

// The media-area folder a kind lives in ("/Downloads", ...); empty for the crash logs.
std::string boostKindRoot(BoostKind kind);
// The scan's progress before a kind is looked at.
float boostKindProgress(BoostKind kind);
inline std::size_t boostSlot(BoostKind kind) {
    return static_cast<std::size_t>(kind);
}

struct BoostKindList {
    BoostFileList files;      // in finding order
    std::uint64_t bytes = 0;  // their sizes
};

struct SystemBoostScanResult {
    CleanDeviceTarget target;
    std::array<BoostKindList, kJunkKindCount> kinds;
    bool stopped = false;      // ended early: the device went away or the scan was stopped
    int crashLogsRefused = 0;  // the device refused its crash-report service (its code)
    int filesRefused = 0;      // the device refused its media area

    BoostKindList& kind(BoostKind k) { return kinds[boostSlot(k)]; }
    const BoostKindList& kind(BoostKind k) const { return kinds[boostSlot(k)]; }
    std::uint64_t totalFileNumber() const;
    std::uint64_t totalBytes() const;  // saturating
    // Takes `record` off its kind's list and total; false when it is not listed there.
    bool drop(BoostKind k, const PRPhoneSystemFileNode* record);
};

class SystemBoostScanEngine {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now

    // A target serial of 0 means the device at the index now.
    SystemBoostScanEngine(CleanDeviceTarget target, StopCheck stop = {});

    // Both run on the scanning thread.
    std::function<void(float fraction)> onProgress;
    std::function<void(BoostKind kind, const QString& path)> onPathSeen;

    // Call once.
    SystemBoostScanResult run();

  private:
    CleanDeviceTarget target_;
    StopCheck stop_;
};

// One file to remove or export.
struct BoostItem {
    BoostKind kind = BoostKind::DownloadTemp;
    std::string devicePath;
    std::uint64_t size = 0;  // as found
};
BoostItem boostItemOf(BoostKind kind, const PRPhoneSystemFileNode& record);
// Every record of `result` that may be removed, in the order remove all works through them:
// the files the device itself needs (isProtectedDeviceFile) stay listed but are left out.
std::vector<BoostItem> boostRemoveAllPlan(const SystemBoostScanResult& result);
// The names of the listed files remove all leaves out.
std::vector<QString> boostKeptNames(const SystemBoostScanResult& result);

// What a removal the user chose (one listed file, or everything found) takes, settled before
// anything is asked: the files that will go and, in `details`, the text under the question
// ("removed for good", naming the files the device itself needs, which stay). With nothing to
// remove no question is asked, and `details` says why the chosen files stay.
struct BoostChosenFile {
    BoostKind kind = BoostKind::DownloadTemp;
    std::shared_ptr<PRPhoneSystemFileNode> record;
};
struct BoostRemovalPrompt {
    std::vector<BoostItem> plan;
    QString details;
    bool asks() const { return !plan.empty(); }
};
BoostRemovalPrompt boostRemovalPrompt(const std::vector<BoostChosenFile>& chosen);
// Every listed file of `result`, in the order remove all works through them.
std::vector<BoostChosenFile> boostEveryFile(const SystemBoostScanResult& result);

// Whether `item` may be acted on: a plain absolute device path, strictly inside its kind's folder
// for the media-area kinds. False with the reason in `why`.
bool isBoostActionable(const BoostItem& item, QString* why);

struct BoostProgress {
    std::size_t handled = 0;  // items worked through
    std::size_t total = 0;
    std::uint64_t removed = 0;  // files the device removed
    int percent = 0;            // handled * 100 / total, rounded down; 100 for an empty plan
};

struct SystemBoostRemovalReport {
    CleanRunStatus status = CleanRunStatus::Done;
    std::vector<CleanItemOutcome> outcomes;  // one per plan item
    std::uint64_t removedFiles = 0;
    std::uint64_t freedBytes = 0;
    std::vector<CleanFailure> failures;
    QString message;  // what was removed and freed, and what went wrong
};

class SystemBoostRemovalEngine {
  public:
    using StopCheck = std::function<bool()>;
    using ProgressSink = std::function<void(const BoostProgress&)>;  // runs on the worker

    // Constructing changes nothing; run() is the confirmed action.
    SystemBoostRemovalEngine(CleanDeviceTarget target, std::vector<BoostItem> plan,
                             ProgressSink progress = {}, StopCheck stop = {});

    // Call once.
    SystemBoostRemovalReport run();

  private:
    void runKind(BoostKind kind, const std::vector<std::size_t>& indexes);
    template <class Service>
    void removeWith(Service& service, BoostKind kind, const std::vector<std::size_t>& indexes);
    void itemDone();

    CleanRunGuard guard_;
    std::vector<BoostItem> plan_;
    ProgressSink progress_;
    SystemBoostRemovalReport report_;
    std::size_t handled_ = 0;
    bool ran_ = false;
};

// GUI thread: drops from `result` the records whose plan items were removed or found gone;
// the rest stay listed and counted. Records are matched by kind and path.
void settleBoostResult(SystemBoostScanResult& result, const std::vector<BoostItem>& plan,
                       const SystemBoostRemovalReport& report);

struct BoostExportReport {
    bool exported = false;
    std::filesystem::path written;  // the new file, when exported
    QString message;                // what was written and where, or what went wrong
};
// Copies `item` from the target device into `folder` (made when missing).
BoostExportReport exportBoostFile(CleanDeviceTarget target, const BoostItem& item,
                                  const std::filesystem::path& folder,
                                  const std::function<bool()>& stop = {});

// "%lld files will be cleaned up and %s of file system space will be freed up on your iDevice."
QString boostRemoveAllText(std::uint64_t files, std::uint64_t bytes);

}  // namespace nimbara::cleanup
