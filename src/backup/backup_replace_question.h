// The question before a backup the user did not ask for (one made to read the device's records:
// the transfer page's records, one-click copy, the privacy scan) takes the place of the device's
// existing backup, which may hold what the device no longer does. Whether to ask, and what; the
// dialog is pages/backup_replace_dialog.h. "Do not show this message again" is kept under
// "BackupReplaceAlertSuppress" in the settings file, beside the export reminder's.
#pragma once

#include <QString>

#include <optional>

class QSettings;

namespace nimbara::backup {

inline constexpr const char* kBackupReplaceSuppressKey = "BackupReplaceAlertSuppress";

// The backup a new one would replace.
struct ReplacedBackup {
    QString folder;  // <backup root>/<UDID>
    QString time;    // when it was made, as the backup list shows it; empty when unreadable
};

// The backup of `udid` in `root` that a new backup would replace, unless the user asked not to
// be told (in `settings`): nullopt when there is nothing to ask.
std::optional<ReplacedBackup> backupReplaceQuestion(const QString& root, const QString& udid,
                                                    const QSettings& settings);

struct BackupReplaceTexts {
    QString message;
    QString informativeText;
    QString goOnButton;
    QString cancelButton;
    QString suppressionText;
};
// `purpose` ends "Nimbara backs the device up again to ..." ("read its contacts, messages and
// notes").
BackupReplaceTexts backupReplaceTexts(const ReplacedBackup& replaced, const QString& deviceName,
                                      const QString& purpose);

// Stores the wish never to be asked again (written through at once).
void suppressBackupReplaceQuestion(QSettings& settings);

}  // namespace nimbara::backup
