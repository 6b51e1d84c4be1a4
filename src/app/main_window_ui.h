// The main window, built in code: every outlet the application hub uses, each widget named
// (objectName) after its outlet.
//
// Structure of the window (1080 x 660, frameless, drawn chrome):
//   title strip   window buttons, menu bar, device pop-up, back-to-quick-scan button
//   banner row    the seven feature tabs (placed by the device list once a device attaches)
//   mainShowView  the sidebar (manageDeviceView) at the left, the ten sidebar pages to its
//                 right, and the five feature pages over the whole width
//   bottom bar    strips and the status line
// The struct owns the top-level windows it made; every other widget belongs to its window.
#pragma once

#include <QColor>
#include <QMainWindow>
#include <QString>

#include <array>
#include <functional>
#include <memory>

#include "ui/view_helpers.h"

class QAction;
class QComboBox;
class QDialog;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QTableView;
class QTextEdit;
class QWidget;

class CustomView;
class FlashView;
class PRBannerButton;
class PRButton;
class PRClosedButton;
class PRColorProgressView;
class PRTableButton;

namespace nimbara::ui {
class ImageButton;
}

namespace nimbara::app {

// The shared view helpers, by their short names in the shell's own code.
using ui::entryBackground;
using ui::fillBackground;
using ui::imageViewImageName;
using ui::kEntryGrey;
using ui::kLabelSlate;
using ui::kSelectedBlue;
using ui::kSuccessYellow;
using ui::kTitleOrange;
using ui::kWindowBlue;
using ui::labelColour;
using ui::setEntryBackground;
using ui::setFittedText;
using ui::setImageViewImage;
using ui::setLabelColour;
using ui::setShown;

// The main window's fixed start size.
inline constexpr int kMainWindowWidth = 1080;
inline constexpr int kMainWindowHeight = 660;
// Width of the sidebar; the sidebar pages take the rest of the page container.
inline constexpr int kSidebarWidth = 230;

// The main window. Closing it (the window manager's close, Alt+F4, QWidget::close) first asks
// `shouldClose`; the window stays open when that answers false. Without a handler it closes.
// Pressing on the empty parts of the title strip moves the window.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(QWidget* parent = nullptr);
    std::function<bool(QWidget*)> shouldClose;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace nimbara::app

struct MainWindowUi {
    MainWindowUi() = default;
    ~MainWindowUi();
    MainWindowUi(const MainWindowUi&) = delete;
    MainWindowUi& operator=(const MainWindowUi&) = delete;

    // ------------------------------------------------------------ windows
    QMainWindow* window = nullptr;
    QDialog* aboutWindow = nullptr;
    QDialog* leadWindow = nullptr;  // welcome sheet
    QDialog* cryWindow = nullptr;   // exit feedback sheet

    // ------------------------------------------------------------ title strip and menu
    QWidget* titleBarView = nullptr;  // the strip holding the window buttons
    QLabel* topWindowImageView = nullptr;
    QLabel* logoImageView = nullptr;
    QLabel* windowTitlelab = nullptr;
    PRClosedButton* closedButton = nullptr;
    nimbara::ui::ImageButton* minButton = nullptr;
    nimbara::ui::ImageButton* maxButton = nullptr;
    PRTableButton* backQuickScanModeBtn = nullptr;
    QComboBox* deviceNamePopBtn = nullptr;
    nimbara::ui::ImageButton* stateBannerBtn = nullptr;  // opens the device popover
    QMenu* appMenu = nullptr;
    QMenu* fileMenu = nullptr;
    QMenu* helpMenu = nullptr;
    QAction* aboutItem = nullptr;
    QAction* checkUpdateItem = nullptr;
    QAction* preferencesItem = nullptr;
    QAction* quitItem = nullptr;
    QAction* openArchiveItem = nullptr;  // File > Open archived app (OpenArchiveAction)
    QAction* helpItem = nullptr;
    QAction* homePageItem = nullptr;
    QAction* contactUsItem = nullptr;
    QAction* learnMoreItem = nullptr;

    // ------------------------------------------------------------ banner row
    QWidget* bannerView = nullptr;
    QLabel* mainwindowbackImageView = nullptr;
    PRBannerButton* mainStatusBannerBtn = nullptr;
    PRBannerButton* diskManageBannerBtn = nullptr;
    PRBannerButton* appCleanBannerBtn = nullptr;
    PRBannerButton* adsRemoveBannerBtn = nullptr;
    PRBannerButton* privacyBannerBtn = nullptr;
    PRBannerButton* findLargeBannerBtn = nullptr;
    PRBannerButton* oneClickCopyBannerBtn = nullptr;

    // ------------------------------------------------------------ page container and pages
    QWidget* mainShowView = nullptr;
    QWidget* StatuView = nullptr;
    QWidget* TansferView = nullptr;
    QWidget* BackupView = nullptr;
    QWidget* ClearnView = nullptr;
    QWidget* iTunesBackupBroswerView = nullptr;
    QWidget* musicView = nullptr;
    QWidget* cleanLogView = nullptr;
    QWidget* systemlibView = nullptr;
    QWidget* appView = nullptr;
    QWidget* noDeviceView = nullptr;
    QWidget* diskManageView = nullptr;
    QWidget* findLargerView = nullptr;
    QWidget* oneCopyView = nullptr;
    QWidget* adsRemoveView = nullptr;
    QWidget* privacyCleanView = nullptr;

    // The fifteen page views in the order they are added to mainShowView.
    std::array<QWidget*, 15> pageViews() const;
    // The first ten (the ones the sidebar switches between).
    std::array<QWidget*, 10> firstTenPageViews() const;
    // The seven feature tabs of the banner row.
    std::array<PRBannerButton*, 7> bannerButtons() const;

    // ------------------------------------------------------------ sidebar
    QWidget* manageDeviceView = nullptr;
    QWidget* manageHasDeviceView = nullptr;
    QWidget* manageNoDeviceView = nullptr;

    QPushButton* iDeviceStatuBtn = nullptr;
    QLabel* iDeviceImageView = nullptr;
    QLabel* iDeviceTextlab = nullptr;
    QPushButton* systemlibBtn = nullptr;
    QLabel* systemlibImageView = nullptr;
    QLabel* systemlibTextlab = nullptr;
    QPushButton* appBtn = nullptr;
    QLabel* appImageView = nullptr;
    QLabel* appTextlab = nullptr;
    QPushButton* photoBtn = nullptr;
    QLabel* photoImageView = nullptr;
    QLabel* photoTextlab = nullptr;
    QPushButton* musicBtn = nullptr;
    QLabel* musicImageView = nullptr;
    QLabel* musicTextlab = nullptr;
    QPushButton* videoBtn = nullptr;
    QLabel* videoImageView = nullptr;
    QLabel* videoTextlab = nullptr;
    QPushButton* tempJunkFileBtn = nullptr;
    QLabel* tempJunkFileImageView = nullptr;
    QLabel* tempJunkFileTextlab = nullptr;
    QPushButton* cacheBtn = nullptr;
    QLabel* cacheImageView = nullptr;
    QLabel* cacheTextlab = nullptr;
    QPushButton* cookieBtn = nullptr;
    QLabel* cookieImageView = nullptr;
    QLabel* cookieTextlab = nullptr;
    QPushButton* syncBtn = nullptr;
    QLabel* syncImageView = nullptr;
    QLabel* syncTextlab = nullptr;
    QPushButton* backupBtn = nullptr;
    QLabel* backupImageView = nullptr;
    QLabel* backupTextlab = nullptr;
    QPushButton* broswerBtn = nullptr;
    QLabel* broswerImageView = nullptr;
    QLabel* broswerTextlab = nullptr;
    QPushButton* transContactBtn = nullptr;
    QLabel* transContactImageView = nullptr;
    QLabel* transContactTextlab = nullptr;
    QPushButton* transMessageBtn = nullptr;
    QLabel* transMessageImageView = nullptr;
    QLabel* transMessageTextlab = nullptr;
    QPushButton* transNoteBtn = nullptr;
    QLabel* transNoteImageView = nullptr;
    QLabel* transNoteTextlab = nullptr;

    // Link-styled group titles of the sidebar.
    QPushButton* transferBtn = nullptr;
    QPushButton* cleanBtn = nullptr;
    QPushButton* backupDeviceBtn = nullptr;
    QPushButton* broswerMainBtn = nullptr;

    // Busy indicators beside the entries.
    FlashView* circleSystemProgress = nullptr;
    FlashView* circleAppProgress = nullptr;
    FlashView* circlePhotoProgress = nullptr;
    FlashView* circleMusicProgress = nullptr;
    FlashView* circleVideoProgress = nullptr;
    FlashView* circleContactProgress = nullptr;
    FlashView* circleMessageProgress = nullptr;
    FlashView* circleNoteProgress = nullptr;

    // The sidebar of the no-device state.
    QPushButton* connectDeviceBtn = nullptr;
    QLabel* connectDeviceImageView = nullptr;
    QLabel* connectDevicelab = nullptr;
    QPushButton* disConnectBroswerMainBtn = nullptr;
    QPushButton* disConnectBroswerBtn = nullptr;
    QLabel* disConnectBroswerImageView = nullptr;
    QLabel* disConnectTextlab = nullptr;

    // One sidebar entry: its button, image view, label and the two image names.
    struct SidebarEntry {
        QPushButton* button;
        QLabel* imageView;
        QLabel* label;
        const char* unselectedImage;
        const char* selectedImage;
    };
    // The fifteen entries in table order: device status, device files, apps, photos, music,
    // videos, temporary files, caches, cookies, sync-failed media, backup, backup browser,
    // contacts, messages, notes.
    std::array<SidebarEntry, 15> sidebarEntries() const;

    // ------------------------------------------------------------ status page
    QLabel* topInfoImageView = nullptr;
    QLabel* topInfolab1 = nullptr;
    QLabel* topInfolab2 = nullptr;
    QLabel* topInfolab3 = nullptr;
    QLabel* topInfoAnytlab = nullptr;
    QLabel* deviceImageView = nullptr;
    QLabel* deviceNamelab = nullptr;
    CustomView* theCustomView = nullptr;
    QLabel* percentStoragelab = nullptr;
    QLabel* usedSizelab = nullptr;
    QLabel* freeSizelab = nullptr;
    QLabel* iDeviceCapacitylab = nullptr;
    QLabel* iDeviceSoftwareVersionlab = nullptr;
    QLabel* iDeviceFirmlab = nullptr;
    QLabel* iDeviceIDlab = nullptr;
    QLabel* iDeviceSeriallab = nullptr;
    QLabel* iDevicepPhonelab = nullptr;
    QLabel* iDeviceCapacityValuelab = nullptr;
    QLabel* iDeviceSoftwareVersionValuelab = nullptr;
    QLabel* iDeviceFirmValuelab = nullptr;
    QLabel* iDeviceIDValuelab = nullptr;
    QLabel* iDeviceSerialValuelab = nullptr;
    QLabel* iDevicepPhoneValuelab = nullptr;
    PRColorProgressView* iDeviceColorView = nullptr;
    QLabel* usedSpaceLab = nullptr;
    QLabel* freeSpacelab = nullptr;
    QLabel* photoSizelab = nullptr;
    // Names the categories the device doesn't report (hidden while it reports them all).
    QLabel* storageNotReportedlab = nullptr;
    QLabel* musicSizelab = nullptr;
    QLabel* movieSizelab = nullptr;
    QLabel* appSizelab = nullptr;
    QLabel* otherSizelab = nullptr;
    PRButton* photoButton = nullptr;
    PRButton* musicButton = nullptr;
    PRButton* bookButton = nullptr;
    PRButton* videoButton = nullptr;
    PRButton* userAppsButton = nullptr;
    PRButton* systemAppsButton = nullptr;
    PRButton* userDataButton = nullptr;

    // ------------------------------------------------------------ no-device page
    QLabel* noDeviceImageView = nullptr;
    QLabel* noDeviceTitlelab = nullptr;
    QLabel* noDeviceInfolab = nullptr;
    // Their texts while no device waits.
    static QString noDeviceTitleText();
    static QString noDeviceInfoText();

    // ------------------------------------------------------------ backup browser start page
    QWidget* manageBroswerBackupView = nullptr;
    QWidget* manageHasBackupView = nullptr;
    QWidget* manageNoBackUpView = nullptr;
    QLabel* imageView = nullptr;
    QPushButton* button = nullptr;
    QWidget* tableScrolleView = nullptr;
    QTableView* diskTableView = nullptr;
    QLabel* infoTextlab = nullptr;
    QLabel* notelab = nullptr;
    QPushButton* helpBtn = nullptr;
    QWidget* titleline = nullptr;
    QPushButton* backupBroswerBt = nullptr;

    // ------------------------------------------------------------ clean-up summary views
    QWidget* cleanShowView = nullptr;
    QWidget* cleanScanView = nullptr;
    QWidget* cleanFinishView = nullptr;
    QWidget* fixResultView = nullptr;
    QLabel* scanAppImageView = nullptr;
    QLabel* scanAppFinishImageView = nullptr;
    QProgressBar* cleanprogressor = nullptr;
    QLabel* cleanFilelab = nullptr;
    QLabel* scanResultlab = nullptr;
    QPushButton* fixIssueBtn = nullptr;
    QLabel* fixSuccesslab = nullptr;
    QLabel* fixInfolab = nullptr;

    // ------------------------------------------------------------ bottom bar
    QWidget* bottomBarView = nullptr;
    QLabel* bottomImageView = nullptr;
    QLabel* bottomMainImageView = nullptr;
    QLabel* mainBottomImageView = nullptr;
    QLabel* noDeveiceBottomImageView = nullptr;
    QLabel* mainTextlab = nullptr;
    // Says that a plugged-in device can't be used yet (hidden while none waits).
    QLabel* waitingDevicelab = nullptr;

    // ------------------------------------------------------------ about window
    QLabel* logotuImageView = nullptr;
    QLabel* aboutVersionlab = nullptr;

    // ------------------------------------------------------------ welcome sheet
    QLabel* weclcomeField = nullptr;
    QLabel* tipField = nullptr;
    QLabel* tiponeField = nullptr;
    QLabel* tipOneValueField = nullptr;
    QLabel* tipTwoField = nullptr;
    QLabel* tipTwoValueField = nullptr;
    QLabel* tipThreeField = nullptr;
    QPushButton* startButton = nullptr;

    // ------------------------------------------------------------ exit feedback sheet
    QLabel* masterlab = nullptr;
    QLabel* goodlab = nullptr;
    QLabel* cryInfolab = nullptr;
    QTextEdit* suggestionView = nullptr;
    FlashView* senderIndicator = nullptr;
    QPushButton* cryCancelButton = nullptr;
    QPushButton* cryExitButton = nullptr;
    QPushButton* crySendButton = nullptr;
};

// Builds the main window and its dialogs. Nothing is shown.
std::unique_ptr<MainWindowUi> buildMainWindowUi();
