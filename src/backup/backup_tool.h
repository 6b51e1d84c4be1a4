// What the backup tool (nimbara-backup) does, apart from reading its arguments: it backs a device
// up into the local backup root and restores a backup to a device, answering with an exit status
// and one line of text for the user.
//
// Devices are the simulated ones under the simulated-devices root so far; a device is named by
// its UniqueDeviceID.
//
// Backup: the device's backup-source/ is written to BACKUP_ROOT/<UDID>, built beside it and put
// in place whole at the end (see sim_backup_writer.h): a failed or stopped run leaves the earlier
// backup, or none, and never half a backup. Folders that an earlier run left half-built (a run
// that was killed) are cleared first.
//
// Restore: the backup's file list (Manifest.db or Manifest.mbdb) is read and every listed file is
// written from its stored copy into a new folder beside the device's backup-source/, which is
// swapped with it at the end; a failed or stopped restore leaves the device as it was. Only a
// backup of the same device is restored, never an encrypted one, and only when every listed file
// is stored with the size its list gives; domains and paths that would leave their folder are
// refused.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace nimbara::backup {

inline constexpr int kToolSucceeded = 0;
inline constexpr int kToolFailed = 1;
inline constexpr int kToolUsage = 2;

struct ToolAnswer {
    int exitStatus = kToolSucceeded;
    // For the user: what was done, or why it failed.
    std::string message;
    bool ok() const { return exitStatus == kToolSucceeded; }
};

// `stop` (may be empty) is asked between files; when it says so the run ends as stopped.
ToolAnswer backupDevice(const std::filesystem::path& devicesRoot, const std::string& udid,
                        const std::filesystem::path& backupRoot,
                        const std::function<bool()>& stop = {});
ToolAnswer restoreDevice(const std::filesystem::path& devicesRoot, const std::string& udid,
                         const std::filesystem::path& sourceFolder,
                         const std::function<bool()>& stop = {});

// The tool's whole command line after the program name: "--backup" "--target" UDID, or
// "--restore" "--target" UDID "--source" FOLDER. The simulated-devices root and the backup root
// come from the environment (NIMBARA_SIMULATED_DEVICES, NIMBARA_BACKUP_ROOT or the default).
ToolAnswer runBackupTool(const std::vector<std::string>& arguments,
                         const std::function<bool()>& stop = {});

}  // namespace nimbara::backup
