// Construction of the hub (the values every run starts with, the observers, device management)
// and the launch steps once the application object exists.
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QOperatingSystemVersion>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSysInfo>
#include <QTableView>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "app/core/camera_item.h"
#include "app/main_window_ui.h"
#include "app/pr_large_file_controller.h"
#include "app/quennic_app_delegate.h"
#include "app/quennic_app_delegate_pages.h"
#include "app/quick_scan_window_ui.h"
#include "app/update_check.h"
#include "backup/backup_list.h"
#include "backup/backup_root.h"
#include "backup/pr_contact_node.h"
#include "device/device_manager.h"
#include "device/pr_device_notify.h"
#include "device/pri_device_node.h"
#include "platform/job_runner.h"
#include "platform/log_categories.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/pop_view_controller.h"
#include "ui/stacked_pages.h"

namespace {

void centreOnScreen(QWidget* widget) {
    if (!widget) {
        return;
    }
    QScreen* screen = widget->screen() ? widget->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        return;
    }
    QRect frame = widget->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    widget->move(frame.topLeft());
}

}  // namespace

QuennicAppDelegate::QuennicAppDelegate(QObject* parent) : QObject(parent) {
    // The front process: the windows are raised when they are shown at launch.
    s_instance.store(this);

    macOSMajor_ = 10;
    macOsVer_ = 10;
    parseSystemVersionText(systemVersionText(), macOSMajor_, macOsVer_);

    setBdeepOpenPhoto(false);
    // A new run: the panels start in the export folder until the user picks another one.
    nimbara::ui::PanelStart::forget();
    panelExportFolder_.emplace(nimbara::ui::PanelStart::exportFolder(),
                               [this] { return nimbaraExportPath(); });

    nc_ = &nimbara::NotificationCenter::defaultCenter();
    registerObservers();

    deviceArray_.clear();
    cameraPhotoArray_.clear();
    createPageControllers();
    bigFileController_ = new PRLargeFileController(PRLargeFileController::Kind::LargeFiles, this);
    bigAppController_ = new PRLargeFileController(PRLargeFileController::Kind::LargeApps, this);

    boardDelayTimer_ = new QTimer(this);
    boardDelayTimer_->setSingleShot(true);
    connect(boardDelayTimer_, &QTimer::timeout, this, [this] { startBoardPolling(); });
    boardTimer_ = new QTimer(this);
    connect(boardTimer_, &QTimer::timeout, this, [this] { BoardMessageTimer_hander(); });

    setCurrentNode(nullptr);
    setCurrentIDevicenode(nullptr);
    setCurrentNodeIsiOS6Version(false);
    setBIOS7DeviceNode(false);
    setAllCacheFileNumber(0);
    setAllJunkFileNumber(0);
    setAllCookFileNumber(0);

    // The limits and the export folder Preferences saved last; without them 5,000,000 and
    // 100,000,000 bytes and ~/Documents/Pellucor.
    loadSavedSettings();

    resetStorageFigures();
    setBIOS10Version(false);

    // Last: attach events (also of devices already plugged in) may arrive from here on, and
    // their handlers rely on everything above.
    initDeviceManagement();
}

QuennicAppDelegate::~QuennicAppDelegate() {
    // The quick-scan workers first: one may be waiting for this thread.
    joinQuickWorkersAtExit();
    stopBoardMessage();
    observers_.clear();
    if (manager_) {
        manager_->SetNotify(nullptr);
        manager_->Unsubscribe();
    }
    releaseCrashApplication();

    // Pages first: their views live in the main window's containers.
    resultViewController_.reset();
    adsRemoveController_.reset();
    systemBoostViewController_.reset();
    privacyController_.reset();
    oneCopyViewController_.reset();
    findLargerFileViewController_.reset();
    diskManagerViewController_.reset();
    phonesystemViewController_.reset();
    backupViewController_.reset();
    cleanViewController_.reset();
    transferViewController_.reset();
    deviceController_.reset();
    infoPopViewController_.reset();
    updateController_.reset();
    // The window structs own their top-level windows.
    quickScanUi_.reset();
    mainUi_.reset();

    QuennicAppDelegate* self = this;
    s_instance.compare_exchange_strong(self, nullptr);
}

void QuennicAppDelegate::registerObservers() {
    using N = nimbara::Notification;
    struct Entry {
        const char* name;
        void (QuennicAppDelegate::*handler)(const N&);
    };
    static const Entry kEntries[] = {
        {"SystemlibhasFinished", &QuennicAppDelegate::SystemlibhasFinishedHandle},
        {"AppScanFinished", &QuennicAppDelegate::AppScanFinishedHandle},
        {"photoScanFinished", &QuennicAppDelegate::photoScanFinishedHandle},
        {"musicScanFinished", &QuennicAppDelegate::musicScanFinishedHandle},
        {"CleanFileProgressInfo", &QuennicAppDelegate::CleanFileProgressInfoHandle},
        {"AddCleanFileSizeThreadProgressInfo",
         &QuennicAppDelegate::AddCleanFileSizeThreadProgressInfoHandle},
        {"CleanCacheFilesSize", &QuennicAppDelegate::CleanCacheFilesSizeHandle},
        {"CleanJunkFilesSize", &QuennicAppDelegate::CleanJunkFilesSizeHandle},
        {"CleanCookFilesSize", &QuennicAppDelegate::CleanCookFilesSizeHandle},
        {"PRBannerButtonMouseEntered", &QuennicAppDelegate::PRBannerButtonMouseEnteredHandle},
        {"PRBannerButtonMouseExited", &QuennicAppDelegate::PRBannerButtonMouseExitedHandle},
        {"PRBannerButtonMouseDown", &QuennicAppDelegate::PRBannerButtonMouseDownHandle},
        {"MyClosebuttonMouseDown", &QuennicAppDelegate::MyClosebuttonMouseDownHandle},
        {"PRbuttonMouseEntered", &QuennicAppDelegate::PRbuttonMouseEnteredHandle},
        {"PRbuttonMouseExited", &QuennicAppDelegate::PRbuttonMouseExitedHandle},
        {"DeviceConnect", &QuennicAppDelegate::DeviceConnectHandle},
        {"DeviceDisConnect", &QuennicAppDelegate::DeviceDisConnectHandle},
        {"DeviceWaiting", &QuennicAppDelegate::DeviceWaitingHandle},
        {"CleanFilehasFinished", &QuennicAppDelegate::CleanFilehasFinishedHandle},
        {"tableCheckButtonNotification", &QuennicAppDelegate::tableCheckButtonNotificationHandle},
        {"MyTablebuttonMouseDown", &QuennicAppDelegate::MyTablebuttonMouseDownHandle},
        {"MyTablebuttonMouseExit", &QuennicAppDelegate::MyTablebuttonMouseExitHandle},
        {"MyTablebuttonMouseEnter", &QuennicAppDelegate::MyTablebuttonMouseEnterHandle},
    };
    for (const Entry& entry : kEntries) {
        const auto handler = entry.handler;
        observers_.add(
            nc_->addObserver(entry.name, [this, handler](const N& n) { (this->*handler)(n); }));
    }
}

void QuennicAppDelegate::createPageControllers() {
    transferViewController_ = std::make_unique<PRTansferViewController>(*this);
    cleanViewController_ = std::make_unique<PRCleanViewController>(*this);
    backupViewController_ = std::make_unique<PRBackUpViewController>(*this);
    phonesystemViewController_ = std::make_unique<PRPhoneSystemViewController>(*this);
    diskManagerViewController_ = std::make_unique<PRDiskaManagerViewController>(*this);
    findLargerFileViewController_ = std::make_unique<PRFindLargeFileViewController>(*this);
    oneCopyViewController_ = std::make_unique<PROneCopyViewController>(*this);
    privacyController_ = std::make_unique<PRPrivacyController>(*this);
    systemBoostViewController_ = std::make_unique<PRSystemBoostViewController>(*this);
    adsRemoveController_ = std::make_unique<PRAdsRemoveController>(*this);
    deviceController_ = std::make_unique<PRIOSDeviceController>();
}

void QuennicAppDelegate::initDeviceManagement() {
    manager_ = &amd::DeviceManager::GetInstance();
    if (!deviceNotify_) {
        deviceNotify_ = std::make_unique<amd::PRDeviceNotify>();
    }
    manager_->SetNotify(deviceNotify_.get());
    if (manager_->Subscribe() != 0) {
        qCWarning(lcApp, "device events are not available");
    }
}

void QuennicAppDelegate::applicationDidFinishLaunching() {
    mainUi_ = buildMainWindowUi();
    quickScanUi_ = buildQuickScanWindowUi();
    connectQuickScanControls();

    if (QWidget* quick = quickScanUi_->quickScanWindow) {
        const QSize size(414, 755);
        quick->resize(size);
        quick->setMinimumSize(size);
        quick->setMaximumSize(size);
        centreOnScreen(quick);
    }

    const bool newerLook = macOsVer_ > 9;
    const QString closeImage =
        newerLook ? QStringLiteral("Close_Nom.png") : QStringLiteral("titlebarred.png");
    if (mainUi_->closedButton) {
        mainUi_->closedButton->setImage(closeImage);
    }
    if (mainUi_->minButton) {
        mainUi_->minButton->setIcon(nimbara::ui::namedIcon(
            newerLook ? QStringLiteral("Min_Nom.png") : QStringLiteral("titlebaryellow.png")));
    }
    if (mainUi_->maxButton) {
        mainUi_->maxButton->setIcon(nimbara::ui::namedIcon(
            newerLook ? QStringLiteral("Resize_Nom.png") : QStringLiteral("titlebargreen.png")));
    }

    centreOnScreen(mainUi_->window);

    const bool connected = getDeviceConnected();
    if (mainUi_->manageHasDeviceView) {
        mainUi_->manageHasDeviceView->setVisible(connected);
    }
    if (mainUi_->manageNoDeviceView) {
        mainUi_->manageNoDeviceView->setVisible(!connected);
    }

    initMainWindowView();
    createExportFolder();

    // The check for a newer version at launch: it shows a window only when there is one.
    updateController_ = std::make_unique<PRUpdateController>();
    updateController_->loadWindow();
    updateController_->hidUpdateWindow();
    updateController_->checkServerVersion();

    infoPopViewController_ = std::make_unique<PRPopViewController>();
    initStateBannerView();  // the device popover, its title-strip button and the tray icon

    // Devices reported while the hub was being constructed arrived before there were windows:
    // show them now as if they had just attached.
    syncPopupWithDeviceArray();
    if (!deviceArray_.empty()) {
        const std::shared_ptr<PRiDeviceNode> first = deviceArray_.front();
        if (!currentIDevicenode()) {
            setCurrentIDevicenode(first);
            theDevice_.store(first->deviceIndex());
        }
        ClickMainStatu(nullptr);
        if (mainUi_->manageHasDeviceView) {
            mainUi_->manageHasDeviceView->show();
        }
        if (mainUi_->manageNoDeviceView) {
            mainUi_->manageNoDeviceView->hide();
        }
        showQuickScanDeviceChosen(true);
        refreshDeviceStatus(currentIDevicenode(), true);
        layoutBannerButtons();
    }
}

void QuennicAppDelegate::createExportFolder() {
    const QString path = nimbaraExportPath();
    if (QDir().mkpath(path) && QFileInfo(path).isDir()) {
        return;
    }
    reportError(QStringLiteral("The export folder \"%1\" could not be created. Exports will fail "
                               "until it can be created or another folder is chosen.")
                    .arg(path));
}

void QuennicAppDelegate::reportError(const QString& message) {
    qCWarning(lcApp).noquote() << message;
    if (QMainWindow* parentWindow = window()) {
        nimbara::Alerts::Question question;
        question.message = message;
        question.defaultButton = QStringLiteral("OK");
        nimbara::Alerts::ask(parentWindow, question);
    }
}

QString QuennicAppDelegate::systemVersionText() {
    return QStringLiteral("Version %1").arg(QSysInfo::productVersion());
}

void QuennicAppDelegate::parseSystemVersionText(const QString& text, int& major, int& minor) {
    QString cleaned = text;
    cleaned.remove(QStringLiteral("Version"));
    cleaned.remove(QLatin1Char(' '));
    const QStringList parts = cleaned.split(QLatin1Char('.'));
    if (parts.size() > 2) {
        major = nimbara::shell::leadingInt(parts.at(0));
        minor = nimbara::shell::leadingInt(parts.at(1));
    }
}

void QuennicAppDelegate::getSystemVersionMajor(int* major, int* minor, int* bugFix) const {
    const QOperatingSystemVersion current = QOperatingSystemVersion::current();
    int values[3] = {current.majorVersion(), current.minorVersion(), current.microVersion()};
    if (values[0] < 0) {
        qCWarning(lcApp, "Unable to obtain system version: %ld", static_cast<long>(-1));
        values[0] = 10;
        values[1] = 0;
        values[2] = 0;
    }
    for (int& v : values) {
        v = v < 0 ? 0 : v;
    }
    if (major) {
        *major = values[0];
    }
    if (minor) {
        *minor = values[1];
    }
    if (bugFix) {
        *bugFix = values[2];
    }
}

void QuennicAppDelegate::lanuchCrashApplication() {
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/nimbara-crash-report");
    if (!QFileInfo(program).isExecutable()) {
        return;
    }
    releaseCrashApplication();
    checkTask_ = new QProcess(this);
    checkTask_->setProgram(program);
    checkTask_->start();
}

void QuennicAppDelegate::releaseCrashApplication() {
    if (!checkTask_) {
        return;
    }
    if (checkTask_->state() != QProcess::NotRunning) {
        checkTask_->terminate();
        if (!checkTask_->waitForFinished(2000)) {
            checkTask_->kill();
            checkTask_->waitForFinished(2000);
        }
    }
    delete checkTask_;
    checkTask_ = nullptr;
}

// Fills the backup list from the local backup root (read afresh each time, off the GUI thread).
void QuennicAppDelegate::showIphoneDiskView(std::function<void()> then) {
    // The table's selection goes with the old rows (see connectMainWindowActions).
    deviceController_->loadDeviceNodes(nimbara::backup::localBackupRoot(), std::move(then));
}

void QuennicAppDelegate::tableViewSelectionDidChange() {
    if (!mainUi_ || !mainUi_->button) {
        return;
    }
    const QItemSelectionModel* selection =
        mainUi_->diskTableView ? mainUi_->diskTableView->selectionModel() : nullptr;
    mainUi_->button->setEnabled(selection != nullptr && !selection->selectedRows().isEmpty());
}

// Opens the result page on a listed backup and scans it: the row selected in the start page's
// table when its button asks, the first row otherwise. With no backup the page shows its empty
// view and nothing is scanned.
void QuennicAppDelegate::actScanIOSBackupFile(QObject* sender) {
    int row = 0;
    if (mainUi_ && sender != nullptr && sender == mainUi_->button && mainUi_->diskTableView &&
        mainUi_->diskTableView->selectionModel()) {
        const QModelIndexList selected = mainUi_->diskTableView->selectionModel()->selectedRows();
        if (selected.isEmpty()) {
            return;  // the button is disabled without a selection
        }
        row = selected.first().row();
    }
    const auto node = deviceController_->nodeAt(row);
    setCurrentNode(node);
    bool iOS7 = false;
    setCurrentNodeIsiOS6Version(
        node && nimbara::backup::iosVersionIsIOS6OrLater(node->strIOSVersion(), &iOS7));
    setBIOS7DeviceNode(iOS7);
    showResultView();
    if (resultViewController_) {
        resultViewController_->scanBackup(node, row);
    }
}

void QuennicAppDelegate::showResultView() {
    if (!resultViewController_) {
        resultViewController_ = std::make_unique<PRResultViewController>(*this);
    }
    if (mainUi_ && mainUi_->iTunesBackupBroswerView) {
        // The start page's controls give way to the result page, which comes to the front.
        hideMainView();
        resultViewController_->showView(mainUi_->iTunesBackupBroswerView);
        nimbara::ui::showOnlyStackedPage(mainUi_->iTunesBackupBroswerView,
                                         resultViewController_->view());
    }
}
