// What a backup's Info.plist holds of a device beyond its lockdown values, read from the device
// through libimobiledevice as hosts read it: the "com.apple.iTunes" settings and the least host
// version lockdown gives, the user apps' store entries from the installation proxy ("Browse" of
// the "User" apps with "CFBundleIdentifier", "ApplicationSINF" and "iTunesMetadata"), their
// placeholder icons from SpringBoard, and the iTunes files from the device's AFC. Anything the
// device does not give is left out: a backup is not refused for it.
//
// On a restore, the backup's apps go back the same way: its "Applications" written to the
// device's AFC as /iTunesRestore/RestoreApplications.plist before the restore is asked for, which
// the device reinstalls from once it restarted.
#pragma once

#include <libimobiledevice/afc.h>
#include <libimobiledevice/libimobiledevice.h>

#include <string>

#include "backup/backup_info_plist.h"

namespace nimbara::backup {

// Through a lockdown session of its own.
void readInfoExtras(idevice_t device, const char* label, BackupInfoExtras& extras);
// "iTunes Files" and "iBooks Data 2"; each file is read only up to a size a host keeps of it.
void readAfcInfoFiles(afc_client_t afc, BackupInfoExtras& extras);

// Empty when written, else what could not be done.
std::string writeRestoreApplications(afc_client_t afc, const PlistValue& applications);

}  // namespace nimbara::backup
