#include "backup/pages/backup_replace_dialog.h"

#include <QSettings>

#include "app/core/preferences_settings.h"
#include "backup/backup_replace_question.h"
#include "backup/backup_root.h"
#include "ui/alerts.h"

namespace nimbara::backup {

bool confirmBackupReplace(QWidget* parent, const BackupDevice& device,
                          const BackupRunSettings& settings, const QString& purpose) {
    QSettings stored(app::userSettingsFile(), QSettings::IniFormat);
    const QString root = settings.backupRoot.isEmpty() ? localBackupRoot() : settings.backupRoot;
    const std::optional<ReplacedBackup> replaced = backupReplaceQuestion(root, device.udid, stored);
    if (!replaced) {
        return true;
    }
    const BackupReplaceTexts texts = backupReplaceTexts(*replaced, device.deviceName, purpose);
    bool suppress = false;
    Alerts::Question question;
    question.message = texts.message;
    question.informativeText = texts.informativeText;
    question.defaultButton = texts.goOnButton;
    question.alternateButton = texts.cancelButton;
    question.suppressionText = texts.suppressionText;
    question.suppressionChecked = &suppress;
    if (Alerts::ask(parent, question) != Alerts::Answer::Default) {
        return false;
    }
    if (suppress) {
        suppressBackupReplaceQuestion(stored);
    }
    return true;
}

}  // namespace nimbara::backup
