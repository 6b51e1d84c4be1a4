// The backup scan: a background job reads a local backup record family by record family, in a
// fixed order, and posts "ScanProgressInfo" (an int percent) as each step ends.
//
// The order matters: the message reader looks up attachments among the manifest entries and
// names among the contacts, which the first two steps collect. A step whose reader is not built
// yet is reported as not available, never as a success.
#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/job_queue.h"
#include "platform/result.h"

namespace nimbara {
class NotificationCenter;
}

namespace nimbara::backup {

// Name of the progress notification; the object is an int from 0 to 100.
inline constexpr const char* kScanProgressNotification = "ScanProgressInfo";

enum class ScanStepKind { Manifest, Contacts, Messages, Notes, CallHistory, Bookmarks, Calendar };

enum class ScanStepOutcome {
    Done,          // the step ran to its end (a family the backup does not hold reads as empty)
    Failed,        // data the backup holds could not be read (message says so in plain words)
    NotAvailable,  // no reader for this family yet
    Stopped,       // the scan was stopped before or during the step
};

// What a step's reader sees of the scan.
class ScanStepContext {
  public:
    ScanStepContext(QString folder, const std::atomic<bool>& stop, NotificationCenter& center,
                    std::function<void(int)> postProgress)
        : folder_(std::move(folder)),
          stop_(stop),
          center_(center),
          postProgress_(std::move(postProgress)) {}

    // The backup folder being read.
    const QString& folder() const { return folder_; }
    // Readers check this between records and return early once it is set.
    bool stopRequested() const { return stop_.load(); }
    // For progress within a step (the manifest pass counts 0..20); the step's end value is
    // posted by the scan itself, so readers must not post it.
    void postProgress(int percent) const { postProgress_(percent); }
    // Where the scan's records are posted.
    NotificationCenter& center() const { return center_; }

  private:
    QString folder_;
    const std::atomic<bool>& stop_;
    NotificationCenter& center_;
    std::function<void(int)> postProgress_;
};

struct ScanStepReport {
    ScanStepOutcome outcome = ScanStepOutcome::Done;
    // For the user: plain words, never a log text.
    QString message;
    // The reader posted the step's end value itself (readers shared with other pages do); the
    // scan then does not post it again.
    bool progressPosted = false;
    // The backup lists a file this step reads that it does not hold: not damage, but the backup
    // is incomplete.
    bool incomplete = false;
};

using ScanStepRunner = std::function<ScanStepReport(const ScanStepContext&)>;

struct ScanStep {
    ScanStepKind kind;
    QString title;  // "Contacts", "Messages", ...
    // Posted when the step ends, whatever its outcome except Stopped, so the progress bar moves
    // on past a family that could not be read; -1 when the step posts nothing.
    int progressAfter;
    ScanStepRunner runner;  // empty: the reader is not available yet
};

// The steps of one scan in their fixed order.
class BackupScanPlan {
  public:
    // Manifest pass, contacts, messages, notes, call history, bookmarks, calendar; the first five
    // end at 20, 40, 50, 70 and 60 percent (so the last value posted is 60), the last two post
    // nothing. No step has a reader until one is attached with setRunner.
    static BackupScanPlan standard();

    // Attaches the reader of one record family (the hook the readers are wired through). A kind
    // can have further steps after its reader (the deleted records of that family, appended);
    // setRunner and hasRunner are about the first step of the kind, the reader.
    void setRunner(ScanStepKind kind, ScanStepRunner runner);
    bool hasRunner(ScanStepKind kind) const;
    // Adds a step after those already planned.
    void append(ScanStep step) { steps_.push_back(std::move(step)); }

    const std::vector<ScanStep>& steps() const { return steps_; }

  private:
    std::vector<ScanStep> steps_;
};

struct ScanStepResult {
    ScanStepKind kind;
    ScanStepOutcome outcome;
    QString message;
    bool incomplete = false;
};

struct BackupScanSummary {
    QString folder;
    bool stopped = false;
    std::vector<ScanStepResult> steps;  // one per step of the plan, in order

    // Some step found files listed but not stored.
    bool incomplete() const {
        for (const ScanStepResult& step : steps) {
            if (step.incomplete) {
                return true;
            }
        }
        return false;
    }
};

// Runs one plan over one backup folder as the object's background job (its own queue, so it
// needs no event loop). At most one scan runs per object; the destructor stops a running scan and
// waits for its step to return, so an owner on the GUI thread lets a scan go only once it has
// ended (isRunning() is false).
class BackupScan {
  public:
    using FinishedHandler = std::function<void(const BackupScanSummary&)>;

    // Progress goes to center (the default centre when null).
    explicit BackupScan(NotificationCenter* center = nullptr);
    ~BackupScan();
    BackupScan(const BackupScan&) = delete;
    BackupScan& operator=(const BackupScan&) = delete;

    // Called on the scan's thread once every step has ended or been stopped; the scan's end.
    // Set it before start, not while a scan runs.
    void setFinishedHandler(FinishedHandler handler);

    // Starts the scan of folder. Refused, with the reason, while a scan runs, when the folder is
    // not a folder, or when the backup is encrypted.
    Result<void> start(const QString& folder, BackupScanPlan plan);

    // Asks the running step to return and skips the rest; does not wait.
    void requestStop();
    // Waits for the running scan to end (also after requestStop): for tools and tests, never the
    // GUI thread. Returns at once from the finished handler.
    void wait();
    bool isRunning() const;

    // The summary of the last scan that ended (empty before).
    BackupScanSummary lastSummary() const;

  private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared, const QString& folder,
                    std::shared_ptr<BackupScanPlan> plan);

    std::shared_ptr<Shared> shared_;
    JobQueue jobs_;
};

// Short English name of a step, as used in messages ("Call history").
QString scanStepTitle(ScanStepKind kind);

}  // namespace nimbara::backup
