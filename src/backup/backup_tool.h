// What the backup tool (nimbara-backup) does, apart from reading its arguments: it backs a device
// up into the local backup root and restores a backup to a device, answering with an exit status
// and one line of text for the user.
//
// A device is named by its UniqueDeviceID. It is a simulated one under the simulated-devices root
// when the tool is given that root (NIMBARA_SIMULATED_DEVICES), as the application does when it
// runs with simulated devices; otherwise it is a real device, reached through its backup service
// (see real_device_backup.h). Both give the same answers and leave the same folders.
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

class BackupFolder;

}  // namespace nimbara::backup

namespace nimbara::md::sim {
class BackupTarget;
}

namespace nimbara::backup {

// Takes the tool lines (tool_line.h) a run writes while it works; may be called from any thread,
// one line at a time.
using ToolOutput = std::function<void(const std::string& line)>;

// `stop` (may be empty) is asked between files; when it says so the run ends as stopped.
// `output` (may be empty) is told the backup's progress.
ToolAnswer backupDevice(const std::filesystem::path& devicesRoot, const std::string& udid,
                        const std::filesystem::path& backupRoot,
                        const std::function<bool()>& stop = {}, const ToolOutput& output = {});
ToolAnswer restoreDevice(const std::filesystem::path& devicesRoot, const std::string& udid,
                         const std::filesystem::path& sourceFolder,
                         const std::function<bool()>& stop = {});

// The restore of an opened backup onto a simulated device held for the run: what
// restoreDevice() does once it found the device (the protocol-level device restores with it).
ToolAnswer restoreToTarget(const md::sim::BackupTarget& target, const BackupFolder& folder,
                           const std::function<bool()>& stop = {});

// Shared by both kinds of device:
// Tidies the device's corner of the backup root (backup_root_tidy.h) and removes the folders that
// runs killed before their end left half-built beside its backup. Only while the run holds the
// device: no other run of it is building one.
void removeAbandonedPartials(const std::filesystem::path& backupRoot, const std::string& udid);
// What the summary line adds for the files a backup left out because they were nested too deep
// ("; 1 file nested too deep was left out: <path>"); empty when there are none.
std::string leftOutText(const std::vector<std::string>& leftOut);
// Why the backup in `folder` may not be restored to the device `udid` (it says it is another
// device's, or nobody's, or it is encrypted); empty when it may.
std::string restoreSourceProblem(const BackupFolder& folder, const std::string& udid);
// Why `folder` is not a backup of the device `udid`; empty when it is.
std::string backupOwnerProblem(const BackupFolder& folder, const std::string& udid);

// The tool's whole command line after the program name: "--backup" "--target" UDID, or
// "--restore" "--target" UDID "--source" FOLDER. The simulated-devices root and the backup root
// come from the environment (NIMBARA_SIMULATED_DEVICES, NIMBARA_BACKUP_ROOT or the default);
// without a simulated-devices root the device is a real one.
ToolAnswer runBackupTool(const std::vector<std::string>& arguments,
                         const std::function<bool()>& stop = {}, const ToolOutput& output = {});

}  // namespace nimbara::backup
