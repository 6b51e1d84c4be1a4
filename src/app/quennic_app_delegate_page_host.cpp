// What pages ask of the shell, forwarded to the shell's own members.
#include <QMainWindow>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quennic_app_delegate_pages.h"
#include "backup/backup_list.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/stacked_pages.h"

using nimbara::Notification;
using nimbara::ui::addSaturating;

QWidget* QuennicAppDelegate::hostWindow() const {
    return window();
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::currentDeviceNode() const {
    return currentIDevicenode();
}

amd::DeviceTarget QuennicAppDelegate::currentDeviceTarget() const {
    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    if (!node || node->deviceIndex() < 0) {
        return {};
    }
    const int index = node->deviceIndex();
    return {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
}

bool QuennicAppDelegate::deviceConnected() const {
    return getDeviceConnected();
}

QString QuennicAppDelegate::exportFolder() const {
    return nimbaraExportPath();
}

std::uint64_t QuennicAppDelegate::largeFileLimit() const {
    return GetLimitLargeFileSize();
}

void QuennicAppDelegate::addRemovedBytes(RemovedCategory category, std::uint64_t bytes) {
    if (bytes == 0) {
        return;
    }
    switch (category) {
        case RemovedCategory::Photos:
            setTotalPhotoRemoveFileSize(addSaturating(totalPhotoRemoveFileSize(), bytes));
            return;
        case RemovedCategory::Music:
            setTotalMusicRemoveFileSize(addSaturating(totalMusicRemoveFileSize(), bytes));
            return;
        case RemovedCategory::Videos:
            setTotalVideoRemoveFileSize(addSaturating(totalVideoRemoveFileSize(), bytes));
            return;
        case RemovedCategory::Books:
            setTotalBooksRemoveFileSize(addSaturating(totalBooksRemoveFileSize(), bytes));
            return;
        case RemovedCategory::Apps:
            setTotalAppRemoveFileSize(addSaturating(totalAppRemoveFileSize(), bytes));
            return;
        case RemovedCategory::UserData:
            setTotalUserdataRemoveFileSize(addSaturating(totalUserdataRemoveFileSize(), bytes));
            return;
    }
}

void QuennicAppDelegate::markBusy(BusyMark mark, bool busy) {
    const Notification none;
    switch (mark) {
        case BusyMark::SystemFiles:
            busy ? SystemlibhasStartHandle() : SystemlibhasFinishedHandle(none);
            return;
        case BusyMark::Apps:
            busy ? AppScanhasStartHandle() : AppScanFinishedHandle(none);
            return;
        case BusyMark::Photos:
            busy ? photoScanhasStartHandle() : photoScanFinishedHandle(none);
            return;
        case BusyMark::Music:
            busy ? musicScanhasStartHandle() : musicScanFinishedHandle(none);
            return;
        case BusyMark::Contacts:
            busy ? contactScanhasStartHandle() : contactScanFinishedHandle();
            return;
        case BusyMark::Messages:
            busy ? messageScanhasStartHandle() : messageScanFinishedHandle();
            return;
        case BusyMark::Notes:
            busy ? noteScanhasStartHandle() : noteScanFinishedHandle();
            return;
    }
}

void QuennicAppDelegate::navigateTo(Destination destination) {
    switch (destination) {
        case Destination::BackupNow:
            ClickBackup(nullptr);
            ClickBackupAction(nullptr);
            return;
        case Destination::ScanBackups:
            ClickScaniTunesBackup(nullptr);
            return;
        case Destination::BackupBrowser:
            // The list of backups, and it alone: the results page it replaces goes.
            ClickiTunesBackupBroswer(nullptr);
            showMainView();
            if (mainUi_) {
                nimbara::ui::showOnlyStackedPage(mainUi_->iTunesBackupBroswerView,
                                                 mainUi_->manageBroswerBackupView);
            }
            return;
    }
}

PRIOSDeviceController* QuennicAppDelegate::localBackups() const {
    return GetPRIOSDeviceController();
}

void QuennicAppDelegate::chooseBackup(const std::shared_ptr<PRIOSDeviceNode>& backup) {
    setCurrentNode(backup);
    bool iOS7 = false;
    setCurrentNodeIsiOS6Version(
        backup && nimbara::backup::iosVersionIsIOS6OrLater(backup->strIOSVersion(), &iOS7));
    setBIOS7DeviceNode(iOS7);
}

void QuennicAppDelegate::setBackupContacts(std::vector<std::shared_ptr<PRContactNode>> contacts) {
    setContactArray(std::move(contacts));
}
