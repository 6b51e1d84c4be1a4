// The backup page: makes a backup of the current device on this computer.
#pragma once

#include <QString>

#include "ui/page_controller_base.h"

class QLabel;

class PRBackUpViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRBackUpViewController(QObject* parent = nullptr);

    // Unhides the page's main view.
    void ShowbackupView();

    bool isMainViewShown() const { return mainViewShown_; }
    // The text of the disabled label naming the local backup folder (empty before showView).
    QString backupLocationText() const;

    // Where the local backups live: NIMBARA_BACKUP_ROOT when set, else MobileSync/Backup in the
    // user's data folder ($XDG_DATA_HOME, by default ~/.local/share).
    static QString localBackupFolder();

  protected:
    void viewShown() override;

  private:
    bool mainViewShown_ = false;
    QLabel* locationLabel_ = nullptr;
};
