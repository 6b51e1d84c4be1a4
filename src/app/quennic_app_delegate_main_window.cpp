// Main-window layout at launch, the quick-scan window's bottom bar, and the window chrome:
// closing and exit, the exit feedback sheet, sheet placement, the about window, the welcome
// sheet, the web links, and pictures of views.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_window_ui.h"
#include "app/update_check.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "ui/alerts.h"
#include "ui/custom_view.h"
#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/view_helpers.h"

using nimbara::ui::appFont;
using nimbara::ui::kEntryGrey;
using nimbara::ui::kLabelSlate;
using nimbara::ui::kSelectedBlue;
using nimbara::ui::kSuccessYellow;
using nimbara::ui::kTitleOrange;
using nimbara::ui::kWindowBlue;
using nimbara::ui::setEntryBackground;
using nimbara::ui::setImageViewImage;
using nimbara::ui::setLabelColour;
using nimbara::ui::setShown;

namespace {

// The product's own web pages.
const char* const kProductPage = "https://nimbara.example/product/";
const char* const kHomePage = "https://nimbara.example/";
const char* const kUserGuide = "https://nimbara.example/guide/";
const char* const kSupportPage = "https://nimbara.example/support/";
const char* const kResourcePage = "https://nimbara.example/resources/";

void setFont(QWidget* widget, int pointSize, bool bold = false) {
    if (widget != nullptr) {
        widget->setFont(appFont(pointSize, bold));
    }
}

// Image views that are declared as plain views (containers with a picture behind them).
void setBackgroundImage(QWidget* view, const QString& imageName) {
    setImageViewImage(qobject_cast<QLabel*>(view), imageName);
}

void openAddress(const char* address) {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(address)));
}

// Ends a sheet: closes the dialog it is shown in.
void endSheet(QDialog* sheet) {
    if (sheet != nullptr) {
        sheet->close();
    }
}

void terminateApplication() {
    QCoreApplication::quit();
}

}  // namespace

void QuennicAppDelegate::awakeFromNib() {
    setQuickScanBackground(255, 255, 255);
    if (mainUi_ && mainUi_->deviceNamePopBtn) {
        mainUi_->deviceNamePopBtn->clear();
    }
}

void QuennicAppDelegate::initMainWindowView() {
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;

    // 1. Fonts of the backup start page and the sheets.
    setFont(ui.infoTextlab, 13);
    setFont(ui.notelab, 13);
    setFont(ui.weclcomeField, 14);
    setFont(ui.tiponeField, 12, true);
    setFont(ui.tipTwoField, 12, true);
    setFont(ui.tipThreeField, 12, true);
    setFont(ui.tipField, 13, true);
    setFont(ui.tipOneValueField, 12);
    setFont(ui.tipTwoValueField, 12);
    setFont(ui.masterlab, 28);
    setLabelColour(ui.masterlab, kTitleOrange);
    if (ui.goodlab != nullptr) {
        QFont arial(QStringLiteral("Arial"), 18);
        ui.goodlab->setFont(arial);
    }
    setShown(ui.senderIndicator, false);

    // 2.
    setImageViewImage(ui.bottomImageView, QStringLiteral("bottom"));

    // 3. The page views, already in the container in their order: only the no-device view.
    showOnlyPage(ui.noDeviceView);

    // 4. The switched groups.
    setShown(ui.manageHasDeviceView, false);
    setShown(ui.manageNoDeviceView, true);
    setShown(ui.manageHasBackupView, true);
    setShown(ui.manageNoBackUpView, false);
    setShown(ui.cleanScanView, true);
    setShown(ui.cleanFinishView, false);
    setShown(ui.fixResultView, false);

    // 5. Device information.
    for (QLabel* caption : {ui.iDeviceCapacitylab, ui.iDeviceSoftwareVersionlab, ui.iDeviceFirmlab,
                            ui.iDeviceIDlab, ui.iDeviceSeriallab, ui.iDevicepPhonelab}) {
        setFont(caption, 13);
    }
    for (QLabel* value :
         {ui.iDeviceCapacityValuelab, ui.iDeviceSoftwareVersionValuelab, ui.iDeviceFirmValuelab,
          ui.iDeviceIDValuelab, ui.iDeviceSerialValuelab, ui.iDevicepPhoneValuelab}) {
        setFont(value, 13);
        setLabelColour(value, kLabelSlate);
    }

    // 6. Backgrounds.
    setBackgroundImage(ui.manageHasDeviceView, QStringLiteral("leftground"));
    setBackgroundImage(ui.manageNoDeviceView, QStringLiteral("leftground"));
    setImageViewImage(ui.topWindowImageView, QStringLiteral("WindowTopImage.png"));
    setImageViewImage(ui.topInfoImageView, QStringLiteral("topInfoImage"));
    setImageViewImage(ui.imageView, QStringLiteral("windowContentImage.png"));
    setImageViewImage(ui.mainBottomImageView, QStringLiteral("mainBottomImage.png"));
    setImageViewImage(ui.noDeveiceBottomImageView, QStringLiteral("noDeviceBottom.png"));
    setImageViewImage(ui.bottomMainImageView, QStringLiteral("bottomGroundImage"));
    for (QLabel* scaled : {ui.imageView, ui.scanAppImageView, ui.scanAppFinishImageView,
                           ui.logoImageView, ui.logotuImageView}) {
        if (scaled != nullptr) {
            scaled->setScaledContents(true);
        }
    }

    // 7. Sidebar labels and the status strip.
    for (QLabel* label : {ui.iDeviceTextlab, ui.systemlibTextlab, ui.appTextlab, ui.photoTextlab,
                          ui.musicTextlab, ui.videoTextlab, ui.tempJunkFileTextlab, ui.cacheTextlab,
                          ui.cookieTextlab, ui.syncTextlab, ui.backupTextlab, ui.topInfolab1,
                          ui.topInfolab2, ui.topInfolab3, ui.topInfoAnytlab, ui.broswerTextlab}) {
        setFont(label, 11);
    }

    // 8. No press highlight: the sidebar rows keep one background in every state.
    for (const MainWindowUi::SidebarEntry& entry : ui.sidebarEntries()) {
        setEntryBackground(entry.button, nimbara::ui::entryBackground(entry.button));
    }

    // 9.
    setFont(ui.scanResultlab, 21);
    setLabelColour(ui.scanResultlab, Qt::white);
    for (FlashView* spinner :
         {ui.circleSystemProgress, ui.circleAppProgress, ui.circlePhotoProgress,
          ui.circleMusicProgress, ui.circleVideoProgress, ui.circleContactProgress,
          ui.circleMessageProgress, ui.circleNoteProgress}) {
        setShown(spinner, false);
    }

    // 10. The no-device sidebar.
    setImageViewImage(ui.connectDeviceImageView, QStringLiteral("ConnectDevice02"));
    setEntryBackground(ui.connectDeviceBtn, kSelectedBlue);
    setFont(ui.connectDevicelab, 11);
    setLabelColour(ui.connectDevicelab, Qt::white);
    setEntryBackground(ui.disConnectBroswerBtn, kEntryGrey);
    setImageViewImage(ui.disConnectBroswerImageView, QStringLiteral("BackupBroswer01"));
    setLabelColour(ui.disConnectTextlab, Qt::black);
    setFont(ui.disConnectTextlab, 11);

    // 11. Link-styled group titles.
    const std::pair<QPushButton*, const char*> links[] = {
        {ui.transferBtn, "Transfer"},
        {ui.cleanBtn, "Clean"},
        {ui.backupDeviceBtn, "Back up"},
        {ui.broswerMainBtn, "iTunes Backup Broswer"},
        {ui.disConnectBroswerMainBtn, "iTunes Backup Broswer"},
    };
    for (const auto& [button, title] : links) {
        if (button != nullptr) {
            button->setText(QString::fromLatin1(title));
            button->setFont(appFont(11, true));
            button->setToolTip(QString::fromLatin1(title));
        }
    }

    // 12.
    setFont(ui.mainTextlab, 11);
    setLabelColour(ui.mainTextlab, kLabelSlate);
    if (ui.cleanprogressor != nullptr) {
        ui.cleanprogressor->setValue(0);
        ui.cleanprogressor->setValue(ui.cleanprogressor->value() + 1);
    }

    // 13. Storage figures.
    for (QLabel* size :
         {ui.photoSizelab, ui.musicSizelab, ui.movieSizelab, ui.appSizelab, ui.otherSizelab}) {
        setFont(size, 11);
        setLabelColour(size, kLabelSlate);
    }
    setFont(ui.usedSpaceLab, 11);
    setFont(ui.freeSpacelab, 11);

    // 14. Clean-up result view.
    setFont(ui.fixSuccesslab, 21);
    setLabelColour(ui.fixSuccesslab, kSuccessYellow);
    setFont(ui.fixInfolab, 11);
    setLabelColour(ui.fixInfolab, Qt::white);

    // 15.
    if (ui.checkUpdateItem != nullptr) {
        ui.checkUpdateItem->setEnabled(true);
    }

    // 16. The tabs appear when a device attaches.
    bDiskManage = false;
    bFindLargeFiles = false;
    bAppClean = false;
    bOneClickCopy = false;
    bAdsRemove = false;
    bPrivacyClean = false;
    for (PRBannerButton* tab : ui.bannerButtons()) {
        setShown(tab, false);
    }

    // 17. The preferences window, in its initial state.
    buildPreferences();

    // 18. Quick-scan window.
    if (quickScanUi_) {
        QuickScanWindowUi& quick = *quickScanUi_;
        for (QTableView* table : {quick.bigFileTableView, quick.bigAppTableView}) {
            if (table != nullptr) {
                table->horizontalHeader()->hide();
            }
        }
        showQuickScanDeviceChosen(false);
        setShown(quick.theInfoTableDisplayView, true);
        setShown(quick.theInfoCleanFinishView, false);
    }

    // 19. Window background.
    if (ui.window != nullptr) {
        nimbara::ui::fillBackground(ui.window, kWindowBlue);
        ui.window->update();
    }
    setImageViewImage(ui.mainwindowbackImageView, QStringLiteral("WindowTopImage.png"));

    // 20. The back-to-quick-scan button sits in the title strip, 920 to the right of the close
    // button and at its height.
    if (ui.backQuickScanModeBtn != nullptr && ui.closedButton != nullptr) {
        QWidget* strip = ui.closedButton->parentWidget();
        if (ui.backQuickScanModeBtn->parentWidget() != strip) {
            ui.backQuickScanModeBtn->setParent(strip);
        }
        ui.backQuickScanModeBtn->setGeometry(ui.closedButton->x() + 920, ui.closedButton->y(),
                                             ui.backQuickScanModeBtn->width(),
                                             ui.backQuickScanModeBtn->height());
        ui.backQuickScanModeBtn->show();
    }

    if (ui.mainTextlab != nullptr) {
        const QString version = QApplication::applicationVersion();
        ui.mainTextlab->setText(version.isEmpty() ? QStringLiteral("Nimbara")
                                                  : QStringLiteral("Nimbara %1").arg(version));
    }
    connectMainWindowActions();
}

void QuennicAppDelegate::connectMainWindowActions() {
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;
    auto click = [this](QAbstractButton* button, void (QuennicAppDelegate::*action)(QObject*)) {
        if (button != nullptr) {
            connect(button, &QAbstractButton::clicked, this,
                    [this, action] { (this->*action)(nullptr); });
        }
    };
    auto menu = [this](QAction* item, void (QuennicAppDelegate::*action)(QObject*)) {
        if (item != nullptr) {
            connect(item, &QAction::triggered, this, [this, action] { (this->*action)(nullptr); });
        }
    };
    using D = QuennicAppDelegate;

    // Sidebar entries and their group titles.
    click(ui.iDeviceStatuBtn, &D::ClickMainStatu);
    click(ui.systemlibBtn, &D::ClickSystemLib);
    click(ui.appBtn, &D::ClickApp);
    click(ui.photoBtn, &D::ClickPhoto);
    click(ui.musicBtn, &D::ClickMusic);
    click(ui.videoBtn, &D::ClickVideo);
    click(ui.transContactBtn, &D::ClickContact);
    click(ui.transMessageBtn, &D::CilckMessage);
    click(ui.transNoteBtn, &D::ClickNote);
    click(ui.tempJunkFileBtn, &D::ClickCleanJunk);
    click(ui.cacheBtn, &D::ClickCleanCache);
    click(ui.cookieBtn, &D::ClickCleanCook);
    click(ui.syncBtn, &D::ClickCleanMedia);
    click(ui.backupBtn, &D::ClickBackupAction);
    click(ui.broswerBtn, &D::ClickScaniTunesBackup);
    click(ui.transferBtn, &D::ClickApp);
    click(ui.cleanBtn, &D::ClickCleanAction);
    click(ui.fixIssueBtn, &D::CleanAlliPhoneFiles);
    click(ui.backupDeviceBtn, &D::ClickBackupAction);
    click(ui.broswerMainBtn, &D::ClickScaniTunesBackup);
    click(ui.disConnectBroswerMainBtn, &D::ClickScaniTunesBackup);
    click(ui.disConnectBroswerBtn, &D::ClickScaniTunesBackup);

    // The storage categories of the status page open the storage manager on their files.
    click(ui.photoButton, &D::ClickPhotoDiskManage);
    click(ui.musicButton, &D::ClickMusicDiskManage);
    click(ui.videoButton, &D::ClickVideoDiskManage);
    click(ui.bookButton, &D::ClickBooksDiskManage);
    click(ui.userAppsButton, &D::ClickAppsDiskManage);
    click(ui.systemAppsButton, &D::ClickSystemAppsDiskManage);
    click(ui.userDataButton, &D::ClickUserDataDiskManage);

    // Backup start page: the table shows the backup list; its button opens the selected row.
    if (ui.diskTableView != nullptr) {
        ui.diskTableView->setModel(deviceController_.get());
        connect(ui.diskTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this] { tableViewSelectionDidChange(); });
        // A rebuilt list has no selection, but the selection model drops it without a signal.
        connect(deviceController_.get(), &QAbstractItemModel::modelReset, this,
                [this] { tableViewSelectionDidChange(); });
        tableViewSelectionDidChange();
    }
    if (ui.button != nullptr) {
        connect(ui.button, &QAbstractButton::clicked, this,
                [this] { actScanIOSBackupFile(mainUi_ ? mainUi_->button : nullptr); });
    }
    click(ui.helpBtn, &D::ClickHelp);
    if (ui.backupBroswerBt != nullptr) {
        connect(ui.backupBroswerBt, &QAbstractButton::clicked, this,
                [this] { showIphoneDiskView(); });
    }

    // Device pop-up.
    if (ui.deviceNamePopBtn != nullptr) {
        connect(ui.deviceNamePopBtn, &QComboBox::activated, this,
                [this] { ChangeiOSDeviceAction(nullptr); });
    }

    // Menus.
    menu(ui.aboutItem, &D::ClickAbout);
    menu(ui.quitItem, &D::CloseTheMainWindow);
    menu(ui.helpItem, &D::ClickHelp);
    menu(ui.homePageItem, &D::ClickHomePage);
    menu(ui.contactUsItem, &D::ClickContactUSAction);
    menu(ui.learnMoreItem, &D::ClickLearnMore);
    menu(ui.checkUpdateItem, &D::CheckforUpdateAction);
    menu(ui.preferencesItem, &D::OpenPreferenceWindow);
    menu(ui.openArchiveItem, &D::OpenArchiveAction);

    // Window buttons, sheets and the about window.
    if (ui.minButton != nullptr && ui.window != nullptr) {
        connect(ui.minButton, &QAbstractButton::clicked, ui.window, &QWidget::showMinimized);
    }
    if (ui.maxButton != nullptr && ui.window != nullptr) {
        QMainWindow* window = ui.window;
        connect(ui.maxButton, &QAbstractButton::clicked, window, [window] {
            if (window->isMaximized()) {
                window->showNormal();
            } else {
                window->showMaximized();
            }
        });
    }
    click(ui.startButton, &D::ClickStart);
    click(ui.cryCancelButton, &D::Cancel);
    click(ui.cryExitButton, &D::Exit);
    click(ui.crySendButton, &D::Sender);
    if (auto* window = qobject_cast<nimbara::app::MainWindow*>(ui.window)) {
        window->shouldClose = [this](QWidget* closing) { return windowShouldClose(closing); };
    }
}

void QuennicAppDelegate::initQuickScanView() {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    setShown(quick.bigFileScrollView, false);
    setShown(quick.bigAppScrollView, false);
    // The large-app row sits right under the large-file row.
    if (quick.theLargeAppView != nullptr && quick.theLargeFileView != nullptr) {
        quick.theLargeAppView->move(quick.theLargeFileView->x(), quick.theLargeFileView->y() + 48);
    }
    for (QTableView* table : {quick.bigFileTableView, quick.bigAppTableView}) {
        if (table != nullptr) {
            table->setSelectionMode(QAbstractItemView::NoSelection);
        }
    }
    showOnlyBottomBar(quick.scanButtonBottomView);
    // Rows without their check boxes until a scan has finished.
    for (QWidget* check : quick.rowCheckButtons()) {
        setShown(check, false);
    }
    for (QWidget* button : quick.resultButtons()) {
        setShown(button, false);
    }
}

bool QuennicAppDelegate::windowShouldClose(QWidget* /*window*/) {
    nimbara::Alerts::Question question;
    question.message = QStringLiteral("Are you sure you want to Exit ?");
    question.defaultButton = QStringLiteral(" Exit ");
    question.alternateButton = QStringLiteral("Cancel");
    if (nimbara::Alerts::ask(window(), question) == nimbara::Alerts::Answer::Alternate) {
        return false;
    }
    releaseCrashApplication();
    terminateApplication();
    return true;
}

void QuennicAppDelegate::CloseTheMainWindow(QObject* /*sender*/) {
    windowShouldClose(window());
}

void QuennicAppDelegate::Cancel(QObject* /*sender*/) {
    if (mainUi_) {
        endSheet(mainUi_->cryWindow);
    }
}

void QuennicAppDelegate::Exit(QObject* /*sender*/) {
    if (mainUi_) {
        endSheet(mainUi_->cryWindow);
    }
    terminateApplication();
}

void QuennicAppDelegate::Sender(QObject* /*sender*/) {
    // The feedback is not sent anywhere and its text is not read: the sheet only ends the run.
    if (mainUi_ && mainUi_->senderIndicator != nullptr) {
        mainUi_->senderIndicator->show();
        mainUi_->senderIndicator->startFlash();
    }
    if (emailTimer_ == nullptr) {
        emailTimer_ = new QTimer(this);
        emailTimer_->setInterval(10000);
        connect(emailTimer_, &QTimer::timeout, this, [this] { SendEmialTimer_hander(); });
    }
    emailTimer_->start();
    // The send step runs on the GUI thread: there is nothing to send, so no thread is needed.
    QTimer::singleShot(0, this, [this] { sendEmailHandle(nullptr); });
}

void QuennicAppDelegate::sendEmailHandle(QObject* /*object*/) {
    if (mainUi_) {
        endSheet(mainUi_->cryWindow);
    }
    terminateApplication();
}

void QuennicAppDelegate::SendEmialTimer_hander() {
    if (emailTimer_ != nullptr) {
        emailTimer_->stop();
    }
    if (mainUi_) {
        endSheet(mainUi_->cryWindow);
    }
    terminateApplication();
}

QRectF QuennicAppDelegate::positionSheet(double mainWindowHeight, const QRectF& usingRect) {
    const bool compact = mainWindowHeight == 559.0 || mainWindowHeight == 537.0;
    QRectF placed = usingRect;
    placed.translate(0.0, compact ? 1.0 : 113.0);
    return placed;
}

QRectF QuennicAppDelegate::window(QWidget* window, QWidget* /*willPositionSheet*/,
                                  const QRectF& usingRect) const {
    QWidget* main = window != nullptr ? window : this->window();
    const double height = main != nullptr ? main->frameGeometry().height() : 0.0;
    return positionSheet(height, usingRect);
}

void QuennicAppDelegate::ClickAbout(QObject* /*sender*/) {
    if (!mainUi_ || mainUi_->aboutWindow == nullptr) {
        return;
    }
    QDialog* about = mainUi_->aboutWindow;
    if (about->isVisible()) {
        return;
    }
    about->show();
    if (QWidget* main = window()) {
        QRect frame = about->frameGeometry();
        frame.moveCenter(main->frameGeometry().center());
        about->move(frame.topLeft());
    }
}

void QuennicAppDelegate::ClickStart(QObject* /*sender*/) {
    if (mainUi_) {
        endSheet(mainUi_->leadWindow);
    }
}

void QuennicAppDelegate::ClickCheckupDate(QObject* /*sender*/) {
    openAddress(kProductPage);
}

void QuennicAppDelegate::CheckforUpdateAction(QObject* /*sender*/) {
    if (!updateController_) {
        return;  // made at launch
    }
    updateController_->setCheckUpdate(true);
    updateController_->checkServerVersion();
}

void QuennicAppDelegate::ClickHomePage(QObject* /*sender*/) {
    openAddress(kHomePage);
}

void QuennicAppDelegate::ClickHelp(QObject* /*sender*/) {
    openAddress(kUserGuide);
}

void QuennicAppDelegate::ClickContactUSAction(QObject* /*sender*/) {
    openAddress(kSupportPage);
}

void QuennicAppDelegate::ClickLearnMore(QObject* /*sender*/) {
    openAddress(kResourcePage);
}

void QuennicAppDelegate::ClickShareToFacebookaction(QObject* /*sender*/) {}

void QuennicAppDelegate::ClickShareToTwitteraction(QObject* /*sender*/) {}

void QuennicAppDelegate::ClickShareToMessageaction(QObject* /*sender*/) {}

void QuennicAppDelegate::MyClosebuttonMouseDownHandle(const nimbara::Notification& notification) {
    if (!mainUi_) {
        return;
    }
    auto* object = notification.objectAs<QObject*>(nullptr);
    PRClosedButton* close = mainUi_->closedButton;
    if (object == nullptr || object != close) {
        return;
    }
    const bool newerLook = macOsVer() > 9;
    close->setImage(newerLook ? QStringLiteral("Close_Down.png")
                              : QStringLiteral("titlebarreddown.png"));
    CloseTheMainWindow(nullptr);
    close->setImage(newerLook ? QStringLiteral("Close_Nom.png")
                              : QStringLiteral("titlebarred.png"));
}

namespace {

// The legacy main view group: shown and hidden together.
void setLegacyMainViewShown(MainWindowUi& ui, bool shown) {
    for (QWidget* view :
         {static_cast<QWidget*>(ui.imageView), static_cast<QWidget*>(ui.button),
          ui.tableScrolleView, static_cast<QWidget*>(ui.infoTextlab),
          static_cast<QWidget*>(ui.notelab), static_cast<QWidget*>(ui.helpBtn), ui.titleline}) {
        setShown(view, shown);
    }
}

}  // namespace

void QuennicAppDelegate::hideMainView() {
    if (mainUi_) {
        setLegacyMainViewShown(*mainUi_, false);
    }
}

void QuennicAppDelegate::showMainView() {
    if (mainUi_) {
        setLegacyMainViewShown(*mainUi_, true);
    }
}

void QuennicAppDelegate::showMainBottomImageview() {
    if (mainUi_) {
        setShown(mainUi_->mainBottomImageView, true);
    }
}

void QuennicAppDelegate::HiddenMainBottomImageView() {}

QImage QuennicAppDelegate::cacheImageForView(QWidget* view) const {
    if (view == nullptr) {
        return {};
    }
    const QPixmap picture = view->grab(view->rect());
    if (picture.isNull()) {
        return {};
    }
    return picture.toImage();
}
