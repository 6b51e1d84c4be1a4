// The quick-scan window (414 x 755), built in code: every outlet the application hub uses, each
// widget named (objectName) after its outlet.
//
//   header              title and the switch to the main window
//   theContentView      theConnectNoDeviceView (no device) or theContentResultView (device):
//                       the device picture, the total to clean up and theInfoContentView with
//                       the four result rows (theInfoTableDisplayView) or the finish view
//   contentBottomView   one of five bars: scan, scanning, clean up, cleaning, done
//
// Geometry inside theInfoTableDisplayView, theLargeFileView and theLargeAppView is absolute
// (the rows and lists move as lists open and close). The struct owns the window.
#pragma once

#include <QString>

#include <array>
#include <memory>

class QDialog;
class QLabel;
class QProgressBar;
class QTableView;
class QWidget;

class PRTableButton;

namespace nimbara::ui {
class ImageButton;
}

struct QuickScanWindowUi {
    QuickScanWindowUi() = default;
    ~QuickScanWindowUi();
    QuickScanWindowUi(const QuickScanWindowUi&) = delete;
    QuickScanWindowUi& operator=(const QuickScanWindowUi&) = delete;

    static constexpr int kWidth = 414;
    static constexpr int kHeight = 755;
    // Height of theInfoTableDisplayView (its rows are placed from the bottom edge up).
    static constexpr int kInfoHeight = 340;

    QWidget* quickScanWindow = nullptr;
    QDialog* errorwarnWindow = nullptr;
    QLabel* errorwarnlab = nullptr;

    // Header.
    QLabel* quickTitlelab = nullptr;
    PRTableButton* quickDeepScanBtn = nullptr;

    // Content.
    QWidget* theContentView = nullptr;
    QWidget* theConnectNoDeviceView = nullptr;
    QLabel* connectNoDeviceImageView = nullptr;
    QLabel* connectNoDevicelab = nullptr;
    QLabel* connectNoDeviceInfolab = nullptr;
    // Their texts while no device waits.
    static QString connectNoDeviceText();
    static QString connectNoDeviceInfoText();
    QWidget* theContentResultView = nullptr;
    QLabel* scanGifImageView = nullptr;
    QLabel* cleanGifImageView = nullptr;
    QLabel* totalCaptionlab = nullptr;
    QLabel* deviceTotallab = nullptr;
    // Which steps of the scan the device refused (hidden while none was).
    QLabel* scanRefusallab = nullptr;
    QLabel* lineImageView = nullptr;
    QWidget* theInfoContentView = nullptr;
    QWidget* theInfoTableDisplayView = nullptr;
    QWidget* theInfoCleanFinishView = nullptr;
    QLabel* cleanFinishTitlelab = nullptr;
    QLabel* cleanupFileSizelab = nullptr;
    QLabel* cleanFinishInfolab = nullptr;  // what the clean-up did and what failed

    // The four rows.
    PRTableButton* quickPhotoCheckBtn = nullptr;
    PRTableButton* quickJunkCheckBtn = nullptr;
    PRTableButton* quickLargeFileCheckBtn = nullptr;
    PRTableButton* quickLargeAppCheckBtn = nullptr;
    QLabel* quickPhotoImageView = nullptr;
    QLabel* quickJunkImageView = nullptr;
    QLabel* quickLargeFileImageView = nullptr;
    QLabel* quickLargeAppImageView = nullptr;
    QLabel* quickPhotolab = nullptr;
    QLabel* quickJunklab = nullptr;
    QLabel* quickLargeFilelab = nullptr;
    QLabel* quickLargeApplab = nullptr;
    QLabel* devicephotolab = nullptr;
    QLabel* deviceJunklab = nullptr;
    QLabel* deviceLargeFilelab = nullptr;
    QLabel* deviceLargeApplab = nullptr;
    PRTableButton* photoInfoBtn = nullptr;
    // Shown after a scan that listed junk files the clean-up keeps (the device itself needs
    // them): its help, also its tool tip, names them.
    PRTableButton* junkInfoBtn = nullptr;
    PRTableButton* largeFileInfoBtn = nullptr;
    PRTableButton* largeAppInfoBtn = nullptr;
    nimbara::ui::ImageButton* expandLargeFileBtn = nullptr;
    nimbara::ui::ImageButton* expandLargeAppBtn = nullptr;
    QWidget* theLargeFileView = nullptr;
    QWidget* theLargeAppView = nullptr;
    QWidget* bigFileScrollView = nullptr;
    QWidget* bigAppScrollView = nullptr;
    QTableView* bigFileTableView = nullptr;
    QTableView* bigAppTableView = nullptr;

    // Bottom bars.
    QWidget* contentBottomView = nullptr;
    QWidget* scanButtonBottomView = nullptr;
    PRTableButton* quickScnDeviceBtn = nullptr;
    // Under the Scan button while no device is chosen (hidden otherwise).
    QLabel* scanNoDevicelab = nullptr;
    static QString scanNoDeviceText();
    QWidget* scanProcessBottomView = nullptr;
    QProgressBar* scanProgressor = nullptr;
    QLabel* scanProcesslab = nullptr;
    QWidget* cleanupBottomView = nullptr;
    PRTableButton* quickCleanupDeviceBtn = nullptr;
    PRTableButton* quickRescanDeviceBtn = nullptr;
    QWidget* cleanUpProcessBottomView = nullptr;
    QProgressBar* cleanupProgressor = nullptr;
    QLabel* cleanupProcesslab = nullptr;
    QWidget* shareBottomView = nullptr;
    PRTableButton* newShareFaceBookBtn = nullptr;
    PRTableButton* newShareTwitterBtn = nullptr;
    PRTableButton* newShareMessageBtn = nullptr;
    PRTableButton* quickSmallDeepScanBtn = nullptr;
    // The rescan of the done bar (the same action as quickRescanDeviceBtn).
    PRTableButton* shareRescanDeviceBtn = nullptr;

    // The check boxes of the four rows: photos, junk, large files, large apps.
    std::array<QWidget*, 4> rowCheckButtons() const;
    // The controls a finished scan shows: the two list switches and the three help buttons.
    std::array<QWidget*, 5> resultButtons() const;
};

// Builds the quick-scan window; nothing is shown.
std::unique_ptr<QuickScanWindowUi> buildQuickScanWindowUi();
