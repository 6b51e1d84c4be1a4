// Backup and restore of real devices for the backup tool, through the idevicebackup2 program
// (package libimobiledevice-utils), run as a child process with an argument list. The answers,
// the exit status and the folders left behind are those of the simulated path:
//
// Backup: idevicebackup2 -u UDID backup --full DIR, where DIR is a hidden folder of ours beside
// BACKUP_ROOT/<UDID> ("." + UDID + ".partial-XXXXXX"), in which the program writes DIR/<UDID>.
// Only when the program exited with status 0, said nothing of a failure, and left a backup that
// says it finished (Status.plist "SnapshotState" "finished"), that the backup list reads and that
// names the device, is it put in place of the earlier backup, in one step; anything else leaves
// the earlier backup, or none, and removes the hidden folder. A full backup every time: the
// program then never works on a copy of an earlier backup.
//
// Restore: idevicebackup2 -u UDID restore --system --settings DIR, where DIR is a private scratch
// folder of ours holding only a link named UDID to the folder given with --source (the program
// reads DIR/<UDID>). Refused before the device is touched: a backup of another device, an
// encrypted one (no password can be given) and one that does not say it finished. The device
// restarts at the end, as it must to take the restored contents.
//
// One backup or restore of a device at a time: a run holds the lock file BACKUP_ROOT/.<UDID>.lock.
// A stop (SIGTERM to the tool) ends the program, killing it when it does not end in time, and
// waits for it; the program is killed with the tool too. Its standard input is /dev/null, so it
// never waits for a password. Its progress is not passed on: the callers show a busy indicator.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "backup/backup_tool.h"

namespace nimbara::backup {

// The idevicebackup2 to run: the program named by NIMBARA_IDEVICEBACKUP2 when that is set (the
// tests give a stand-in this way), else idevicebackup2 on PATH; empty when there is none.
std::string deviceBackupProgram();

// `program` as deviceBackupProgram() gives it; empty means it is not installed.
ToolAnswer backupRealDevice(const std::string& program, const std::string& udid,
                            const std::filesystem::path& backupRoot,
                            const std::function<bool()>& stop = {});
ToolAnswer restoreRealDevice(const std::string& program, const std::string& udid,
                             const std::filesystem::path& sourceFolder,
                             const std::filesystem::path& backupRoot,
                             const std::function<bool()>& stop = {});

}  // namespace nimbara::backup
