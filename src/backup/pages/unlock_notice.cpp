#include "backup/pages/unlock_notice.h"

#include "backup/backup_runner.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace nimbara::backup {

QString unlockNoticeText() {
    return QCoreApplication::translate(
        "Backup",
        "An unlock screen will pop up later on your iPhone or iPad device. Please enter the "
        "passcode on your iPhone or iPad device trust your current computer.");
}

QString unlockNoticeButton() {
    return QCoreApplication::translate("Backup", " Ok ");
}

QMessageBox* EnteriPhonePassCodetoUnlockScreen(QWidget* window) {
    auto* box = new QMessageBox(window);
    box->setObjectName(QStringLiteral("unlockNotice"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Information);
    box->setText(unlockNoticeText());
    box->setInformativeText(QString());
    QPushButton* ok = box->addButton(unlockNoticeButton(), QMessageBox::AcceptRole);
    box->setDefaultButton(ok);
    // A sheet of its window: shown without a loop of its own, closed by its button.
    box->setWindowModality(window != nullptr ? Qt::WindowModal : Qt::NonModal);
    box->open();
    // Shown for the backup that is starting, and gone when that backup has ended.
    closeWithBackupRun(box);
    return box;
}

}  // namespace nimbara::backup
