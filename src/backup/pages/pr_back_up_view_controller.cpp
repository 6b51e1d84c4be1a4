#include "backup/pages/pr_back_up_view_controller.h"

#include <QDir>
#include <QLabel>

PRBackUpViewController::PRBackUpViewController(QObject* parent)
    : PageControllerBase("PRBackUpViewController", QStringLiteral("Backup"), parent) {}

QString PRBackUpViewController::localBackupFolder() {
    const QString overridden = qEnvironmentVariable("NIMBARA_BACKUP_ROOT");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty()) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return dataHome + QStringLiteral("/MobileSync/Backup");
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
