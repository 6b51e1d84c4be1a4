#include "backup/pages/pr_back_up_view_controller.h"

#include <QLabel>

#include "backup/backup_root.h"

PRBackUpViewController::PRBackUpViewController(QObject* parent)
    : PageControllerBase("PRBackUpViewController", QStringLiteral("Backup"), parent) {}

QString PRBackUpViewController::localBackupFolder() {
    return nimbara::backup::localBackupRoot();
}

void PRBackUpViewController::viewShown() {
    // Every showing starts from the start view with the main view hidden.
    mainViewShown_ = false;
    if (locationLabel_ == nullptr) {
        locationLabel_ = addNotAvailableNote(QString());
        locationLabel_->setObjectName(QStringLiteral("backupPathlab"));
    }
    locationLabel_->setText(localBackupFolder());
}

void PRBackUpViewController::ShowbackupView() {
    record(QStringLiteral("ShowbackupView()"));
    mainViewShown_ = true;
    showNotAvailable();
}

QString PRBackUpViewController::backupLocationText() const {
    return locationLabel_ != nullptr ? locationLabel_->text() : QString();
}
