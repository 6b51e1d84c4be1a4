// Where the local device backups live on this computer.
#pragma once

#include <QString>

namespace nimbara::backup {

// NIMBARA_BACKUP_ROOT when set and not empty; else MobileSync/Backup in the user's data folder
// ($XDG_DATA_HOME, by default ~/.local/share). The folder need not exist.
QString localBackupRoot();

}  // namespace nimbara::backup
