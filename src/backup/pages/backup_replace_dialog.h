// The question before a backup made to read a device's records replaces its existing backup, as
// a question of the Alerts interface (tests answer it).
#pragma once

#include <QString>

#include "backup/backup_runner.h"

class QWidget;

namespace nimbara::backup {

// Asks, when there is something to ask (backup_replace_question.h), before a backup of `device`
// into the root of `settings` (the local backup root when it names none) takes the place of the
// device's existing backup; `purpose` says what the backup is for. A tick in the suppression box
// is stored in the user's settings file when the user goes on. True: go on (nothing to replace,
// the question is suppressed, or the user chose to replace it); false: the user cancelled.
bool confirmBackupReplace(QWidget* parent, const BackupDevice& device,
                          const BackupRunSettings& settings, const QString& purpose);

}  // namespace nimbara::backup
