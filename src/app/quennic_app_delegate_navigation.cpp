// Feature navigation: the seven tabs, the sidebar, the status page with its storage bar, the
// busy indicators beside the sidebar entries, the storage category buttons and the clean-up
// size labels of the sidebar.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>

#include <cstdint>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quennic_app_delegate_pages.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "ui/color_progress_view.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "ui/view_helpers.h"

using nimbara::ui::addSaturating;
using nimbara::ui::fractionOf;
using nimbara::ui::kEntryGrey;
using nimbara::ui::kSelectedBlue;
using nimbara::ui::setEntryBackground;
using nimbara::ui::setImageViewImage;
using nimbara::ui::setLabelColour;
using nimbara::ui::setShown;
using nimbara::ui::subtractSaturating;

namespace {

using Action = void (QuennicAppDelegate::*)(QObject*);

// A feature tab with its three looks and its page action, in table order.
struct TabInfo {
    PRBannerButton* button;
    const char* normal;
    const char* hover;
    const char* down;
    Action action;
};

std::array<TabInfo, 7> tabTable(const MainWindowUi& ui) {
    using D = QuennicAppDelegate;
    return {{
        {ui.mainStatusBannerBtn, "DeviceManager_Nom.png", "DeviceManager_Enter.png",
         "DeviceManager_Down.png", &D::ClickMainStatu},
        {ui.diskManageBannerBtn, "diskmanagerNom.png", "diskmanagerEnter.png",
         "diskmanagerDown.png", &D::ClickDiskManage},
        {ui.appCleanBannerBtn, "appcleanerNom.png", "appcleanerEnter.png", "appcleanerDown.png",
         &D::ClickAppCleaner},
        {ui.findLargeBannerBtn, "findlargefilesNom.png", "findlargefilesEnter.png",
         "findlargefilesDown.png", &D::FindLargerFile},
        {ui.oneClickCopyBannerBtn, "onecilickcopyNom.png", "onecilickcopyEnter.png",
         "onecilickcopyDown.png", &D::ClickOneCopy},
        {ui.privacyBannerBtn, "privacyclean_Nom.png", "privacyclean_Enter.png",
         "privacyclean_Down.png", &D::ClickPrivacyClean},
        {ui.adsRemoveBannerBtn, "SystemCleanup_Nom.png", "SystemCleanup_Enter.png",
         "SystemCleanup_Down.png", &D::ClickAdsRemove},
    }};
}

// A storage category button with its hover and normal images, in table order.
struct CategoryInfo {
    PRButton* button;
    const char* hover;
    const char* normal;
};

std::array<CategoryInfo, 7> categoryTable(const MainWindowUi& ui) {
    return {{
        {ui.photoButton, "photos_Enter.png", "photos_Nom.png"},
        {ui.musicButton, "musics_Enter.png", "musics_Nom.png"},
        {ui.bookButton, "books_Enter.png", "books_Nom.png"},
        {ui.videoButton, "videos_Enter.png", "videos_Nom.png"},
        {ui.userAppsButton, "userapps_Enter.png", "userapps_Nom.png"},
        {ui.systemAppsButton, "systemapps_Enter.png", "systemapps_Nom.png"},
        {ui.userDataButton, "userdata_Enter.png", "userdata_Nom.png"},
    }};
}

// Sidebar entries by position in MainWindowUi::sidebarEntries().
enum SidebarIndex {
    kDeviceStatus = 0,
    kDeviceFiles = 1,
    kApps = 2,
    kPhotos = 3,
    kMusic = 4,
    kVideos = 5,
    kTempFiles = 6,
    kCaches = 7,
    kCookies = 8,
    kSyncFailed = 9,
    kBackup = 10,
    kBackupBrowser = 11,
    kContacts = 12,
    kMessages = 13,
    kNotes = 14,
};

void redisplay(QWidget* widget) {
    if (widget != nullptr) {
        widget->update();
    }
}

QObject* notificationControl(const nimbara::Notification& notification) {
    return notification.objectAs<QObject*>(nullptr);
}

// The removed bytes of a clean-up size notification (0 when it carries no number).
std::uint64_t removedBytes(const nimbara::Notification& notification) {
    const std::any& object = notification.object;
    if (const auto* v = std::any_cast<std::uint64_t>(&object)) {
        return *v;
    }
    if (const auto* v = std::any_cast<unsigned long long>(&object)) {
        return *v;
    }
    if (const auto* v = std::any_cast<std::int64_t>(&object)) {
        return *v > 0 ? static_cast<std::uint64_t>(*v) : 0;
    }
    if (const auto* v = std::any_cast<long long>(&object)) {
        return *v > 0 ? static_cast<std::uint64_t>(*v) : 0;
    }
    if (const auto* v = std::any_cast<unsigned>(&object)) {
        return *v;
    }
    if (const auto* v = std::any_cast<int>(&object)) {
        return *v > 0 ? static_cast<std::uint64_t>(*v) : 0;
    }
    return 0;
}

void startSpinner(FlashView* spinner) {
    if (spinner != nullptr) {
        spinner->show();
        spinner->startFlash();
    }
}

void stopSpinner(FlashView* spinner) {
    if (spinner != nullptr) {
        spinner->stopFlash();
        spinner->hide();
    }
}

}  // namespace

// ------------------------------------------------------------------ tabs

void QuennicAppDelegate::PRBannerButtonMouseEnteredHandle(const nimbara::Notification& n) {
    if (!mainUi_) {
        return;
    }
    QObject* object = notificationControl(n);
    for (const TabInfo& tab : tabTable(*mainUi_)) {
        if (object != nullptr && tab.button == object) {
            tab.button->setImage(QLatin1String(tab.hover));
            return;
        }
    }
}

void QuennicAppDelegate::PRBannerButtonMouseExitedHandle(const nimbara::Notification& n) {
    if (!mainUi_) {
        return;
    }
    QObject* object = notificationControl(n);
    for (const TabInfo& tab : tabTable(*mainUi_)) {
        if (object != nullptr && tab.button == object) {
            tab.button->setImage(QLatin1String(tab.normal));
            return;
        }
    }
}

void QuennicAppDelegate::PRBannerButtonMouseDownHandle(const nimbara::Notification& n) {
    if (!mainUi_) {
        return;
    }
    QObject* object = notificationControl(n);
    const std::array<TabInfo, 7> tabs = tabTable(*mainUi_);
    for (const TabInfo& pressed : tabs) {
        if (object == nullptr || pressed.button != object) {
            continue;
        }
        setCurrentTab(pressed.button);
        (this->*pressed.action)(nullptr);
        return;
    }
}

void QuennicAppDelegate::setCurrentTab(PRBannerButton* current) {
    if (!mainUi_) {
        return;
    }
    // One tab is current at a time, whichever way its page was reached: a press, the device
    // list, a storage category, the sidebar.
    for (const TabInfo& tab : tabTable(*mainUi_)) {
        if (tab.button == nullptr) {
            continue;
        }
        const bool down = tab.button == current;
        tab.button->setImage(QLatin1String(down ? tab.down : tab.normal));
        tab.button->setBtnDown(down);
    }
}

// ------------------------------------------------------------------ status page

void QuennicAppDelegate::ClickMainStatu(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;
    showOnlyPage(ui.StatuView);
    selectSidebarEntry(kDeviceStatus);
    setCurrentTab(ui.mainStatusBannerBtn);
    showMainBottomImageview();

    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    const std::uint64_t total = node ? node->totalFileSizeNumber() : 0;
    const std::uint64_t free = node ? node->freeFileSizeNumber() : 0;
    // Books are not part of the removed total.
    const std::uint64_t removedMusic = totalMusicRemoveFileSize();
    const std::uint64_t removedPhoto = totalPhotoRemoveFileSize();
    const std::uint64_t removedVideo = totalVideoRemoveFileSize();
    const std::uint64_t removedApp = totalAppRemoveFileSize();
    const std::uint64_t removedUserData = totalUserdataRemoveFileSize();
    std::uint64_t removed = 0;
    for (std::uint64_t part :
         {removedMusic, removedPhoto, removedVideo, removedApp, removedUserData}) {
        // A sum that would wrap counts as everything.
        removed = addSaturating(removed, part);
    }

    PRColorProgressView* bar = ui.iDeviceColorView;
    if (bar != nullptr && bar->getShowMore()) {
        bar->setProgressValueWithMusicValue(
            fractionOf(subtractSaturating(currentMusicFileSize(), removedMusic), total),
            fractionOf(subtractSaturating(currentPhotoFileSize(), removedPhoto), total),
            fractionOf(subtractSaturating(currentVideoFileSize(), removedVideo), total),
            fractionOf(subtractSaturating(currentAppFileSize(), removedApp), total),
            fractionOf(subtractSaturating(currentUserDataFileSize(), removedUserData), total));
        bar->update();
    }

    const std::uint64_t used = subtractSaturating(subtractSaturating(total, free), removed);
    const std::uint64_t shownFree = addSaturating(free, removed);
    if (bar != nullptr && !bar->getShowMore()) {
        bar->setProgressValueWithusedValue(fractionOf(used, total), fractionOf(shownFree, total));
        bar->update();
    }

    if (ui.usedSpaceLab != nullptr) {
        const QString capacity = node ? node->deviceSize() : QString();
        ui.usedSpaceLab->setText(
            QStringLiteral("%1 of %2")
                .arg(size_to_unit(used), capacity.isNull() ? QString() : capacity));
    }
    if (ui.freeSpacelab != nullptr) {
        ui.freeSpacelab->setText(QStringLiteral("%1 free").arg(size_to_unit(shownFree)));
    }
}

// ------------------------------------------------------------------ feature tabs

void QuennicAppDelegate::showOnlyPage(QWidget* page) {
    if (!mainUi_) {
        return;
    }
    for (QWidget* view : mainUi_->pageViews()) {
        if (view != page) {
            setShown(view, false);
        }
    }
    setShown(page, true);
}

void QuennicAppDelegate::showOnlySidebarPage(QWidget* page) {
    if (!mainUi_) {
        return;
    }
    // The feature pages lie over the sidebar and its pages: one of them left shown would hide
    // the page asked for.
    showOnlyPage(page);
    setCurrentTab(mainUi_->mainStatusBannerBtn);
}

void QuennicAppDelegate::ClickPrivacyClean(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->privacyCleanView);
    setCurrentTab(mainUi_->privacyBannerBtn);
    if (!bPrivacyClean && privacyController_) {
        privacyController_->showView(mainUi_->privacyCleanView);
        const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
        privacyController_->setDeviceIndex(theDevice(), node ? node->iOSVersion() : QString());
        bPrivacyClean = true;
    }
    showMainBottomImageview();
}

void QuennicAppDelegate::ClickAdsRemove(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->adsRemoveView);
    setCurrentTab(mainUi_->adsRemoveBannerBtn);
    if (!bAdsRemove && systemBoostViewController_) {
        systemBoostViewController_->showView(mainUi_->adsRemoveView);
        systemBoostViewController_->setDeviceIndex(theDevice());
        bAdsRemove = true;
    }
    showMainBottomImageview();
}

void QuennicAppDelegate::ClickOneCopy(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->oneCopyView);
    setCurrentTab(mainUi_->oneClickCopyBannerBtn);
    if (!bOneClickCopy && oneCopyViewController_) {
        oneCopyViewController_->showView(mainUi_->oneCopyView);
        oneCopyViewController_->setCopyIndex(theDevice());
        bOneClickCopy = true;
    }
    showMainBottomImageview();
}

void QuennicAppDelegate::FindLargerFile(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->findLargerView);
    setCurrentTab(mainUi_->findLargeBannerBtn);
    if (!bFindLargeFiles && findLargerFileViewController_) {
        findLargerFileViewController_->showView(mainUi_->findLargerView);
        findLargerFileViewController_->setDeviceIndex(theDevice());
        bFindLargeFiles = true;
    }
    showMainBottomImageview();
}

void QuennicAppDelegate::ClickAppCleaner(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->ClearnView);
    // Where the device has no app clean-up tab (iOS above 8.2) the page, beside the sidebar,
    // belongs to the status tab.
    PRBannerButton* tab = mainUi_->appCleanBannerBtn;
    setCurrentTab(tab != nullptr && !tab->isHidden() ? tab : mainUi_->mainStatusBannerBtn);
    // The app clean-up is none of the sidebar's entries, though it shows beside them.
    selectSidebarEntry(-1);
    if (!bAppClean && cleanViewController_) {
        cleanViewController_->showView(mainUi_->ClearnView);
        cleanViewController_->NimbaraShowDeviceClean(theDevice());
        bAppClean = true;
    }
    if (cleanViewController_) {
        // The tab leads to the app clean-up's start view, whichever view the sidebar left.
        cleanViewController_->showcleanDiskView();
    }
    showMainBottomImageview();
}

void QuennicAppDelegate::ClickDiskManage(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->diskManageView);
    setCurrentTab(mainUi_->diskManageBannerBtn);
    if (!bDiskManage && diskManagerViewController_) {
        diskManagerViewController_->showView(mainUi_->diskManageView);
        diskManagerViewController_->setDiskManageDeviceIndex(theDevice());
        bDiskManage = true;
    }
}

// ------------------------------------------------------------------ storage categories

void QuennicAppDelegate::openDiskManagerCategory(
    void (PRDiskaManagerViewController::*scan)(QObject*)) {
    if (!mainUi_) {
        return;
    }
    showOnlyPage(mainUi_->diskManageView);
    setCurrentTab(mainUi_->diskManageBannerBtn);
    if (diskManagerViewController_) {
        diskManagerViewController_->showView(mainUi_->diskManageView);
        diskManagerViewController_->setDiskManageDeviceIndex(theDevice());
        (diskManagerViewController_.get()->*scan)(nullptr);
    }
}

void QuennicAppDelegate::ClickPhotoDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskPhotoFiles);
}

void QuennicAppDelegate::ClickMusicDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskMusicFiles);
}

void QuennicAppDelegate::ClickVideoDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskVideoFiles);
}

void QuennicAppDelegate::ClickBooksDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskBooksFiles);
}

void QuennicAppDelegate::ClickAppsDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskUserAppFiles);
}

void QuennicAppDelegate::ClickSystemAppsDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskSystemAppFiles);
}

void QuennicAppDelegate::ClickUserDataDiskManage(QObject* /*sender*/) {
    openDiskManagerCategory(&PRDiskaManagerViewController::ScanDiskUserDataFiles);
}

// ------------------------------------------------------------------ sidebar

void QuennicAppDelegate::selectSidebarEntry(int index) {
    if (!mainUi_) {
        return;
    }
    int position = 0;
    for (const MainWindowUi::SidebarEntry& entry : mainUi_->sidebarEntries()) {
        const bool selected = position == index;
        setEntryBackground(entry.button, selected ? kSelectedBlue : kEntryGrey);
        setImageViewImage(entry.imageView,
                          QLatin1String(selected ? entry.selectedImage : entry.unselectedImage));
        setLabelColour(entry.label, selected ? Qt::white : Qt::black);
        ++position;
    }
}

void QuennicAppDelegate::ClickTansfer(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlySidebarPage(mainUi_->TansferView);
    if (transferViewController_) {
        transferViewController_->showView(mainUi_->TansferView);
    }
}

void QuennicAppDelegate::ClickClean(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlySidebarPage(mainUi_->ClearnView);
    if (cleanViewController_) {
        cleanViewController_->showView(mainUi_->ClearnView);
    }
}

void QuennicAppDelegate::ClickBackup(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    showOnlySidebarPage(mainUi_->BackupView);
    if (backupViewController_) {
        backupViewController_->showView(mainUi_->BackupView);
    }
}

void QuennicAppDelegate::ClickiTunesBackupBroswer(QObject* /*sender*/) {
    if (mainUi_) {
        showOnlySidebarPage(mainUi_->iTunesBackupBroswerView);
    }
}

// The "Clean" title: the device clean-up scan starts and the summary shows its progress, then
// what it found with the one-click fix; the sidebar's category entries lead to the page's views.
void QuennicAppDelegate::ClickCleanAction(QObject* /*sender*/) {
    ClickClean(nullptr);
    if (!cleanViewController_ || !mainUi_) {
        return;
    }
    showOnlySidebarPage(mainUi_->cleanLogView);
    // The summary covers the four clean-up entries: none of them alone is chosen.
    selectSidebarEntry(-1);
    if (cleanViewController_->showDeviceClean(theDevice())) {
        setShown(mainUi_->cleanScanView, true);
        setShown(mainUi_->cleanFinishView, false);
        setShown(mainUi_->fixResultView, false);
        if (mainUi_->cleanprogressor != nullptr) {
            mainUi_->cleanprogressor->setRange(0, 100);
            mainUi_->cleanprogressor->setValue(0);
        }
    }
}

void QuennicAppDelegate::ClickSystemLib(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    selectSidebarEntry(kDeviceFiles);
    showOnlySidebarPage(mainUi_->systemlibView);
    if (phonesystemViewController_) {
        phonesystemViewController_->showPhoneSystemView(mainUi_->systemlibView);
        phonesystemViewController_->LookupSystemTree(theDevice());
    }
}

void QuennicAppDelegate::ClickApp(QObject* /*sender*/) {
    if (!mainUi_) {
        return;
    }
    selectSidebarEntry(kApps);
    redisplay(mainUi_->manageHasDeviceView);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showAppView();
        transferViewController_->ShowApp(theDevice());
    }
}

void QuennicAppDelegate::ClickMusic(QObject* /*sender*/) {
    selectSidebarEntry(kMusic);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showMusicView();
        transferViewController_->ShowMusic(theDevice());
    }
}

void QuennicAppDelegate::ClickPhoto(QObject* /*sender*/) {
    selectSidebarEntry(kPhotos);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showPhotoView();
        transferViewController_->ShowPhoto(theDevice());
    }
}

void QuennicAppDelegate::ClickVideo(QObject* /*sender*/) {
    selectSidebarEntry(kVideos);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showVideoView();
    }
}

void QuennicAppDelegate::ClickContact(QObject* /*sender*/) {
    selectSidebarEntry(kContacts);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showContactView();
        transferViewController_->showContact(theDevice());
    }
}

void QuennicAppDelegate::CilckMessage(QObject* /*sender*/) {
    selectSidebarEntry(kMessages);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showMessageView();
        transferViewController_->showMessage(theDevice());
    }
}

void QuennicAppDelegate::ClickNote(QObject* /*sender*/) {
    selectSidebarEntry(kNotes);
    ClickTansfer(nullptr);
    if (transferViewController_) {
        transferViewController_->showNoteView();
        transferViewController_->showNote(theDevice());
    }
}

void QuennicAppDelegate::ClickCleanJunk(QObject* /*sender*/) {
    selectSidebarEntry(kTempFiles);
    ClickClean(nullptr);
    if (cleanViewController_) {
        cleanViewController_->showCleanJunkView();
    }
}

void QuennicAppDelegate::ClickCleanCache(QObject* /*sender*/) {
    selectSidebarEntry(kCaches);
    ClickClean(nullptr);
    if (cleanViewController_) {
        cleanViewController_->showCleanCacheview();
    }
}

void QuennicAppDelegate::ClickCleanCook(QObject* /*sender*/) {
    selectSidebarEntry(kCookies);
    ClickClean(nullptr);
    if (cleanViewController_) {
        cleanViewController_->showCleanCookView();
    }
}

void QuennicAppDelegate::ClickCleanMedia(QObject* /*sender*/) {
    selectSidebarEntry(kSyncFailed);
    ClickClean(nullptr);
    if (cleanViewController_) {
        cleanViewController_->showCleanMediaView();
    }
}

void QuennicAppDelegate::ClickBackupAction(QObject* /*sender*/) {
    ClickBackup(nullptr);
    if (backupViewController_) {
        backupViewController_->ShowbackupView();
    }
    selectSidebarEntry(kBackup);
    if (mainUi_) {
        redisplay(mainUi_->manageHasDeviceView);
    }
}

void QuennicAppDelegate::ClickScaniTunesBackup(QObject* /*sender*/) {
    // The first backup is scanned once the list has been read.
    showIphoneDiskView([this] { actScanIOSBackupFile(nullptr); });
    ClickiTunesBackupBroswer(nullptr);
    selectSidebarEntry(kBackupBrowser);
    if (mainUi_) {
        redisplay(mainUi_->manageHasDeviceView);
    }
}

// ------------------------------------------------------------------ busy indicators

void QuennicAppDelegate::SystemlibhasStartHandle() {
    nimbara::performOnMain([this] { SystemlibhasStartHandleOnMain(); });
}

void QuennicAppDelegate::AppScanhasStartHandle() {
    nimbara::performOnMain([this] { AppScanhasStartHandleOnMain(); });
}

void QuennicAppDelegate::photoScanhasStartHandle() {
    nimbara::performOnMain([this] { photoScanhasStartHandleOnMain(); });
}

void QuennicAppDelegate::musicScanhasStartHandle() {
    nimbara::performOnMain([this] { musicScanhasStartHandleOnMain(); });
}

void QuennicAppDelegate::SystemlibhasStartHandleOnMain() {
    if (mainUi_) {
        startSpinner(mainUi_->circleSystemProgress);
    }
}

void QuennicAppDelegate::AppScanhasStartHandleOnMain() {
    if (mainUi_) {
        startSpinner(mainUi_->circleAppProgress);
    }
}

void QuennicAppDelegate::photoScanhasStartHandleOnMain() {
    if (mainUi_) {
        startSpinner(mainUi_->circlePhotoProgress);
    }
}

void QuennicAppDelegate::musicScanhasStartHandleOnMain() {
    if (mainUi_) {
        startSpinner(mainUi_->circleMusicProgress);
        startSpinner(mainUi_->circleVideoProgress);
    }
}

// The finish notifications may be posted by a page's worker: the views change on the GUI
// thread.
void QuennicAppDelegate::SystemlibhasFinishedHandle(const nimbara::Notification& /*n*/) {
    nimbara::performOnMain([this] {
        if (mainUi_) {
            stopSpinner(mainUi_->circleSystemProgress);
        }
    });
}

void QuennicAppDelegate::AppScanFinishedHandle(const nimbara::Notification& /*n*/) {
    nimbara::performOnMain([this] {
        if (mainUi_) {
            stopSpinner(mainUi_->circleAppProgress);
        }
    });
}

void QuennicAppDelegate::photoScanFinishedHandle(const nimbara::Notification& /*n*/) {
    nimbara::performOnMain([this] {
        if (mainUi_) {
            stopSpinner(mainUi_->circlePhotoProgress);
        }
    });
}

void QuennicAppDelegate::musicScanFinishedHandle(const nimbara::Notification& /*n*/) {
    nimbara::performOnMain([this] {
        if (mainUi_) {
            stopSpinner(mainUi_->circleMusicProgress);
            stopSpinner(mainUi_->circleVideoProgress);
        }
    });
}

void QuennicAppDelegate::contactScanhasStartHandle() {
    if (mainUi_) {
        startSpinner(mainUi_->circleContactProgress);
    }
}

void QuennicAppDelegate::contactScanFinishedHandle() {
    if (mainUi_) {
        stopSpinner(mainUi_->circleContactProgress);
    }
}

void QuennicAppDelegate::messageScanhasStartHandle() {
    if (mainUi_) {
        startSpinner(mainUi_->circleMessageProgress);
    }
}

void QuennicAppDelegate::messageScanFinishedHandle() {
    if (mainUi_) {
        stopSpinner(mainUi_->circleMessageProgress);
    }
}

void QuennicAppDelegate::noteScanhasStartHandle() {
    if (mainUi_) {
        startSpinner(mainUi_->circleNoteProgress);
    }
}

void QuennicAppDelegate::noteScanFinishedHandle() {
    if (mainUi_) {
        stopSpinner(mainUi_->circleNoteProgress);
    }
}

// ------------------------------------------------------------------ category hover

void QuennicAppDelegate::PRbuttonMouseEnteredHandle(const nimbara::Notification& n) {
    if (!mainUi_) {
        return;
    }
    QObject* object = notificationControl(n);
    for (const CategoryInfo& category : categoryTable(*mainUi_)) {
        if (object != nullptr && category.button == object) {
            category.button->setImage(QLatin1String(category.hover));
            return;
        }
    }
}

void QuennicAppDelegate::PRbuttonMouseExitedHandle(const nimbara::Notification& n) {
    if (!mainUi_) {
        return;
    }
    QObject* object = notificationControl(n);
    for (const CategoryInfo& category : categoryTable(*mainUi_)) {
        if (object != nullptr && category.button == object) {
            category.button->setImage(QLatin1String(category.normal));
            return;
        }
    }
}

// ------------------------------------------------------------------ clean-up size labels

void QuennicAppDelegate::CleanCacheFilesSizeHandle(const nimbara::Notification& n) {
    const std::uint64_t bytes = removedBytes(n);
    nimbara::performOnMain([this, bytes] { CleanCacheFilesSizeHandleOnMain(bytes); });
}

void QuennicAppDelegate::CleanJunkFilesSizeHandle(const nimbara::Notification& n) {
    const std::uint64_t bytes = removedBytes(n);
    nimbara::performOnMain([this, bytes] { CleanJunkFilesSizeHandleMain(bytes); });
}

void QuennicAppDelegate::CleanCookFilesSizeHandle(const nimbara::Notification& n) {
    const std::uint64_t bytes = removedBytes(n);
    nimbara::performOnMain([this, bytes] { CleanCookFilesSizeHandleMain(bytes); });
}

void QuennicAppDelegate::CleanCacheFilesSizeHandleOnMain(std::uint64_t bytes) {
    const std::uint64_t remaining = subtractSaturating(allCacheFileNumber(), bytes);
    setAllCacheFileNumber(remaining);
    // Once nothing is left the entry shows its plain title (not the size it had before).
    if (mainUi_) {
        nimbara::ui::setFittedText(
            mainUi_->cacheTextlab,
            remaining != 0 ? QStringLiteral("Cache Cleaner (%1)").arg(size_to_unit(remaining))
                           : QStringLiteral("Cache Cleaner"));
    }
}

void QuennicAppDelegate::CleanJunkFilesSizeHandleMain(std::uint64_t bytes) {
    const std::uint64_t remaining = subtractSaturating(allJunkFileNumber(), bytes);
    setAllJunkFileNumber(remaining);
    // Once nothing is left the entry shows its plain title (not the size it had before).
    if (mainUi_) {
        nimbara::ui::setFittedText(
            mainUi_->tempJunkFileTextlab,
            remaining != 0 ? QStringLiteral("Temp Files Cleaner (%1)").arg(size_to_unit(remaining))
                           : QStringLiteral("Temp Files Cleaner"));
    }
}

void QuennicAppDelegate::CleanCookFilesSizeHandleMain(std::uint64_t bytes) {
    const std::uint64_t remaining = subtractSaturating(allCookFileNumber(), bytes);
    setAllCookFileNumber(remaining);
    // Once nothing is left the entry shows its plain title (not the size it had before).
    if (mainUi_) {
        nimbara::ui::setFittedText(
            mainUi_->cookieTextlab,
            remaining != 0 ? QStringLiteral("Cookie Cleaner (%1)").arg(size_to_unit(remaining))
                           : QStringLiteral("Cookie Cleaner"));
    }
}
