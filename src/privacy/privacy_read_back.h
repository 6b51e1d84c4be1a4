// After the cleaned working copy was restored onto the device (the restore tool said it went
// well): reads the device back and checks that what the clean removed is gone from it. Only then
// is a clean reported as done.
//
// In order: a device that said it restarts is waited for until it has gone and come back
// (device_restart_wait.h); the free disk space is checked for a backup about the size of the
// working copy; the backup tool backs the device up into a private root of its own inside the
// working copy ("<copy>/.nimbara-readback", mode 0700), never into the user's backup root, so the
// user's backup of the device is not replaced by it; that backup is read with the scan's readers
// and the removed records are looked for (privacy_restore_check.h). The read-back root is removed
// before this returns, whatever happened; a killed program's goes with the working copy it lies
// in.
//
// Anything that keeps the check from being made (no room, the device did not come back, the
// backup or its reading failed, a stop) leaves the restore not confirmed, with the reason. For
// the clean thread.
#pragma once

#include <QProcessEnvironment>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>

#include "backup/device_restart_wait.h"
#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"
#include "privacy/privacy_working_copy.h"

namespace nimbara::privacy {

inline constexpr const char* kReadBackFolder = ".nimbara-readback";

struct ReadBackSettings {
    backup::RestartWaitSettings restart;
    FreeSpaceProbe freeSpace;  // empty: availableBytes
};

struct ReadBackRequest {
    QString tool;  // the backup tool
    // Its environment; NIMBARA_BACKUP_ROOT is set to the read-back's own root.
    QProcessEnvironment environment;
    QString udid;
    std::uint64_t serialBefore = 0;  // the device's attachment when it was restored
    bool restarts = false;           // the restore said the device restarts now
    std::filesystem::path copy;      // the open working copy that was restored
};

struct ReadBackResult {
    bool confirmed = false;  // read back, and none of the removed records is on the device
    bool stopped = false;
    PrivacyCleanCounts stillThere;  // the removed records found on the device
    QString why;                    // when not confirmed: a sentence or two for the user
};

// `step` (may be empty) is told what the check does or waits for, in words for the progress
// sheet ("waiting for the device to restart").
ReadBackResult readBackRestore(const ReadBackRequest& request, const PrivacyCleanSelection& removed,
                               const ReadBackSettings& settings, const std::function<bool()>& stop,
                               const std::function<void(const QString& step)>& step = {});

}  // namespace nimbara::privacy
