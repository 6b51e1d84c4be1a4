// A folder other than the backup root that the user chose for a device's backup: the backup goes
// to "<folder>/<UDID>", as it does in the backup root. The folder is checked (and made when it is
// missing) before the backup starts; one that can't take the backup is refused with why, never
// replaced by the default folder.
#pragma once

#include <QString>

namespace nimbara::backup {

struct BackupLocationCheck {
    QString folder;   // the folder to back up into, cleaned (no trailing "/", no "." or "..")
    QString refusal;  // why the backup can't go there; empty when it can

    bool ok() const { return refusal.isEmpty(); }
};

// Checks the folder typed as `text` for a backup of the device `udid`: a full path, not inside a
// backup (a folder holding a manifest, such as the device's own backup), not holding a
// "<UDID>" entry that is not a backup, and a folder Nimbara can write into. A missing folder is
// made, with its missing parents, once every check that can be made without it passed.
BackupLocationCheck prepareBackupLocation(const QString& text, const QString& udid);

}  // namespace nimbara::backup
