// The layout of the backup page ("BackupView"): the main view holding its three state views,
// ready, backing up and finished. Every widget carries its outlet's name as objectName.
#pragma once

class FlashView;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

struct BackupViewUi {
    QWidget* view = nullptr;  // the page's view, holding mainShowView
    QWidget* mainShowView = nullptr;

    // Ready: explanation, location choice, backup button.
    QWidget* startBackupView = nullptr;
    QLabel* backupTitlelab = nullptr;
    QLabel* backupinfolab1 = nullptr;
    QLabel* backupinfolab2 = nullptr;
    QWidget* backupMatrix = nullptr;
    QButtonGroup* backupMatrixGroup = nullptr;
    QRadioButton* defaultLocationBtn = nullptr;
    QRadioButton* otherLocationBtn = nullptr;
    QLineEdit* backupLocationlab = nullptr;
    QPushButton* backupBtn = nullptr;
    QLabel* locationChecklab = nullptr;  // while a typed folder is looked at; hidden otherwise

    // Backing up.
    QWidget* BackupingView = nullptr;
    FlashView* backupProgresser = nullptr;
    QLabel* backingUplab = nullptr;
    QLabel* backingUpNotelab = nullptr;
    QLabel* backupStatuslab = nullptr;          // what the device waits for; hidden until then
    QProgressBar* backupProgressBar = nullptr;  // hidden until the tool tells its progress

    // Finished.
    QWidget* finishBackupView = nullptr;
    QLabel* finishImageView = nullptr;
    QLabel* backupfinishlab = nullptr;
    QLabel* backupDetaillab = nullptr;
    QPushButton* broswerBackupBtn = nullptr;

    // Background strips of the three state views, and the page's ground.
    QLabel* backup1ImageView = nullptr;
    QLabel* backup2ImageView = nullptr;
    QLabel* backup3ImageView = nullptr;
    QLabel* groundImageView = nullptr;
};

// Builds the page's widgets under a new view (parentless; the caller places it).
BackupViewUi buildBackupView();
