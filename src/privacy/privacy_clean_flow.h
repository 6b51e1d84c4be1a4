// The privacy cleaner's flow: back the device up, read the fresh backup's private records, make
// a working copy of it; then, when the user has ticked what should go and confirmed, clean the
// working copy, restore it onto the device and read the device back to see that the removed
// records are gone (privacy_read_back.h); afterwards keep the original backup or put the cleaned
// one in its place.
//
// The user's backup is never edited: the clean works on the working copy, and a failed clean or
// restore discards it. A step that fails stops the flow and says which step it was. A restore
// the tool said went well but that the read-back does not confirm (records still there, the
// device not back after its restart, no room, the read-back failed) is no success either: the
// cleaned copy is discarded and the original backup, which the device may still need, is kept,
// so the question of replacing it never comes. A result is for the device it was made for: the
// clean refuses when the device attached now is not the one that was scanned (another device, or
// the same one attached again), and when the backup read is not that device's; the read-back is
// of the device with the scanned UDID, the one the restore went to, which comes back from a
// restart as a new attachment.
//
// The page owns the flow and calls it on the GUI thread, which runs an event loop. The backup run
// is the backup runner's; the clean and the settling of the backups after it are the flow's
// background job, and working copies are removed in the background too. Each reports through
// the hooks on the GUI thread. Nothing here waits on the GUI thread: a flow that goes while a step
// runs asks it to stop and leaves it to end on its own, and what it still reports is dropped.
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <functional>
#include <memory>

#include "backup/backup_runner.h"
#include "platform/job_runner.h"
#include "platform/result.h"
#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"
#include "privacy/privacy_read_back.h"
#include "privacy/privacy_scan.h"

namespace nimbara {
class WorkerReaper;
}

namespace nimbara::privacy {

class PrivacyWorkingCopy;

struct PrivacyScanOutcome {
    backup::BackupRunResult run;
    // The records read from the fresh backup; null when the backup was not made or not read.
    std::shared_ptr<const PrivacyScanResult> scan;
    // Why the flow stopped, for the user; empty on success.
    QString message;

    bool ok() const { return message.isEmpty() && scan != nullptr; }
};

struct PrivacyCleanOutcome {
    bool cleaned = false;    // the working copy was cleaned
    bool restored = false;   // and restored onto the device (the restore tool said so)
    bool confirmed = false;  // and read back: none of the removed records is on the device
    PrivacyCleanCounts removed;
    // Restored but not confirmed: the removed records the read-back found on the device.
    PrivacyCleanCounts stillOnDevice;
    // Why not, naming the step, for the user; empty on success.
    QString message;

    bool ok() const { return cleaned && restored && confirmed; }
};

class PrivacyCleanFlow {
  public:
    enum class Stage { Idle, Scanning, Scanned, Cleaning, Restored, Settling };

    struct Hooks {
        // The unlock notice, right after the backup tool started (GUI thread; may be empty).
        std::function<void(const backup::BackupDevice&)> unlockNotice;
        std::function<void(const PrivacyScanOutcome&)> scanEnded;
        // As each clean step starts, and what the check after the restore waits for (GUI thread;
        // may be empty).
        std::function<void(const QString& step)> cleanStep;
        std::function<void(const PrivacyCleanOutcome&)> cleanEnded;
        // After keepOriginal / replaceOriginal: whether it went as asked, and why not.
        std::function<void(bool ok, const QString& message)> originalSettled;
    };

    // `readBack`: how the device is watched through its restart, and the disk space probe of the
    // read-back (tests give their own).
    explicit PrivacyCleanFlow(Hooks hooks, backup::BackupRunSettings settings = {},
                              ReadBackSettings readBack = {});
    ~PrivacyCleanFlow();
    PrivacyCleanFlow(const PrivacyCleanFlow&) = delete;
    PrivacyCleanFlow& operator=(const PrivacyCleanFlow&) = delete;

    Stage stage() const;
    // The device the last scan was for.
    const backup::BackupDevice& scannedDevice() const;

    // Backs `device` up and reads the backup. False when a step is still running.
    bool scan(const backup::BackupDevice& device);
    // Cleans the working copy of the last scan by `selection` (taken on the GUI thread when the
    // user confirmed), restores it onto the device, which must be the scanned one and still
    // attached as `attachedNow`, and reads the device back. Refused, with why for the user, when
    // it can't start. The stage stays Cleaning until the read-back has ended.
    Result<void> clean(PrivacyCleanSelection selection, const backup::BackupDevice& attachedNow);
    // After a restore: keep the original backup (the cleaned copy goes), or replace it with the
    // cleaned copy (the original, which still holds the private records, goes).
    bool keepOriginal();
    bool replaceOriginal();
    // Forgets the last scan (its working copy is discarded) and stops a running step.
    void reset();

    struct State;

  private:
    bool settle(bool replace);
    void discardLater(std::unique_ptr<PrivacyWorkingCopy> copy);

    std::shared_ptr<State> state_;
    // Stopped backup runs, left to end on their own.
    std::unique_ptr<WorkerReaper> reaper_;
    // The clean (with its restore and read-back), then the settling of the backups.
    JobRunner steps_;
    // Removals of working copies: each runs to its end, a later one taking the runner over.
    JobRunner discards_;
};

}  // namespace nimbara::privacy
