// Backup and restore of real devices for the backup tool, speaking the device's backup service
// itself (backup_service.h, device_link.h). The answers, the exit status and the folders left
// behind are those of the simulated path:
//
// Backup: a full backup, always: the device writes into BACKUP_ROOT/.<UDID>.partial-XXXXXX/<UDID>,
// a hidden folder of ours beside BACKUP_ROOT/<UDID>, and finds no earlier backup there to build
// on. Info.plist is written by us from what the device tells (backup_info_plist.h). Only when the
// device said the backup succeeded and the folder holds a backup that says it finished
// (Status.plist "SnapshotState" "finished"), that the backup list reads and that names the
// device, is it put in place of the earlier backup, in one step; anything else leaves the earlier
// backup, or none, and removes the hidden folder.
//
// Restore: the device reads the files it asks for from the folder given with --source, which
// stands for the device's identifier in its names, and changes nothing in it. Refused before the
// device is touched: a backup of another device, an encrypted one (no password can be given), one
// that does not say it finished, and one whose Info.plist is there but whose list of apps cannot
// be read (too large, damaged, or not a dictionary): it would put no apps back. The backup's apps
// ("Applications" of its Info.plist) are left on the device before the restore is asked for, for it
// to reinstall (backup_info_reader.h). The device restarts at the end, as it must to take the
// restored contents, and the run says so with a "restarting" tool line before its answer.
//
// One backup or restore of a device at a time: a run holds the lock file BACKUP_ROOT/.<UDID>.lock,
// and removes it when it ends.
// A stop (SIGTERM to the tool) ends the run at the device's next message (or the next block of a
// file). While it works the run writes tool lines (tool_line.h): its progress, that the device
// waits for its passcode, that its backups are encrypted, and while it connects that another
// program is syncing with the device or that the device must be unlocked first (it was not
// unlocked since it restarted), each cleared once the wait is over.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "backup/backup_tool.h"
#include "backup/device_link.h"

namespace nimbara::backup {

ToolAnswer backupRealDevice(const std::string& udid, const std::filesystem::path& backupRoot,
                            const std::function<bool()>& stop = {}, const ToolOutput& output = {});
ToolAnswer restoreRealDevice(const std::string& udid, const std::filesystem::path& sourceFolder,
                             const std::filesystem::path& backupRoot,
                             const std::function<bool()>& stop = {}, const ToolOutput& output = {});

// Holds BACKUP_ROOT/.<UDID>.lock while a run works on the device, and removes it before letting
// go, so that nothing but backups stays in the backup root. A run that opened the file before it
// was removed may still lock it, but finds that the name no longer leads to it and opens again.
class DeviceRunLock {
  public:
    // `opened` (may be empty) is called each time the file is opened, before it is locked.
    DeviceRunLock(const std::filesystem::path& root, const std::string& udid,
                  const std::function<void()>& opened = {});
    ~DeviceRunLock();
    DeviceRunLock(const DeviceRunLock&) = delete;
    DeviceRunLock& operator=(const DeviceRunLock&) = delete;
    // Empty when the lock is held.
    const std::string& error() const { return error_; }

  private:
    // Runs that come and go this often while one opens the file are taken as one that holds it.
    static constexpr int kLockAttempts = 8;
    const std::filesystem::path file_;
    int fd_ = -1;
    std::string error_;
};

// The answer for a device-link exchange that did not finish, in our words.
ToolAnswer unfinishedRunAnswer(const DeviceLinkEnd& end, bool backup, bool cancelledOnDevice);

// Why a backup whose Info.plist is there but whose list of apps cannot be read is not restored.
std::string unreadableAppsText();

// The texts of the status lines.
std::string passcodeWaitText();
std::string encryptedDeviceText();
std::string syncLockWaitText();     // another program holds the device's sync lock
std::string firstUnlockWaitText();  // the device was not unlocked since it restarted

}  // namespace nimbara::backup
