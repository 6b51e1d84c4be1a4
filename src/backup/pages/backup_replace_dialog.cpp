#include "backup/pages/backup_replace_dialog.h"

#include <QSettings>

#include "app/core/preferences_settings.h"
#include "backup/backup_replace_question.h"
#include "backup/backup_root.h"
#include "device/device_target.h"
#include "device/pr_device_notify.h"
#include "platform/main_thread.h"
#include "platform/notification_center.h"
#include "ui/alerts.h"

namespace nimbara::backup {

QString backupReplaceDeviceGoneText() {
    return QStringLiteral("The device was disconnected.");
}

BackupReplaceAnswer confirmBackupReplace(QWidget* parent, const BackupDevice& device,
                                         const BackupRunSettings& settings,
                                         const QString& purpose) {
    QSettings stored(app::userSettingsFile(), QSettings::IniFormat);
    const QString root = settings.backupRoot.isEmpty() ? localBackupRoot() : settings.backupRoot;
    const std::optional<ReplacedBackup> replaced = backupReplaceQuestion(root, device.udid, stored);
    if (!replaced) {
        return BackupReplaceAnswer::GoOn;
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
    // The device going closes the question: the detach may be told on any thread, the question
    // is closed on this one, and only while it is asked.
    auto dismissal = std::make_shared<Alerts::Dismissal>();
    question.dismissal = dismissal;
    const std::weak_ptr<Alerts::Dismissal> open = dismissal;
    const amd::DeviceTarget target{device.deviceIndex, device.deviceSerial};
    const ObserverToken detached = NotificationCenter::defaultCenter().addObserver(
        amd::kDeviceDisConnectNotification, [open, target](const Notification&) {
            postToMain([open, target] {
                const std::shared_ptr<Alerts::Dismissal> asked = open.lock();
                if (asked && !target.stillAttached()) {
                    asked->dismiss();
                }
            });
        });
    if (!target.stillAttached()) {
        return BackupReplaceAnswer::DeviceGone;  // gone before its detach could be heard here
    }
    const Alerts::Answer answer = Alerts::ask(parent, question);
    if (dismissal->dismissed() || !target.stillAttached()) {
        return BackupReplaceAnswer::DeviceGone;
    }
    if (answer != Alerts::Answer::Default) {
        return BackupReplaceAnswer::Cancelled;
    }
    if (suppress) {
        suppressBackupReplaceQuestion(stored);
    }
    return BackupReplaceAnswer::GoOn;
}

}  // namespace nimbara::backup
