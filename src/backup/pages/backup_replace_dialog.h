// The question before a backup made to read a device's records replaces its existing backup, as
// a question of the Alerts interface (tests answer it).
#pragma once

#include <QString>

#include "backup/backup_runner.h"

class QWidget;

namespace nimbara::backup {

enum class BackupReplaceAnswer {
    GoOn,        // nothing to replace, the question is suppressed, or the user chose to replace it
    Cancelled,   // the user kept the existing backup
    DeviceGone,  // the device was disconnected while the question showed: it was closed
};

// The line a page shows when the device went while the question showed.
QString backupReplaceDeviceGoneText();

// Asks, when there is something to ask (backup_replace_question.h), before a backup of `device`
// into the root of `settings` (the local backup root when it names none) takes the place of the
// device's existing backup; `purpose` says what the backup is for. A tick in the suppression box
// is stored in the user's settings file when the user goes on. The question closes by itself
// when the device is disconnected meanwhile (its answer would be for a device no longer there).
BackupReplaceAnswer confirmBackupReplace(QWidget* parent, const BackupDevice& device,
                                         const BackupRunSettings& settings, const QString& purpose);

}  // namespace nimbara::backup
