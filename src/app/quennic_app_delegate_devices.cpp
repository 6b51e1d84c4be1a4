// The list of connected devices, the current device, the status page's device figures and the
// feature banner's layout by iOS version.
//
// The device pop-up holds one item per listed device, in list order, each carrying its device
// index as item data: two devices may share a name, so items are found by index, never by title.
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <any>
#include <cmath>

#include "app/archived_app_install_flow.h"
#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quennic_app_delegate_pages.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/device_space.h"
#include "device/device_status.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "ui/color_progress_view.h"
#include "ui/custom_view.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/view_helpers.h"

using nimbara::ui::fractionOf;
using nimbara::ui::setShown;

namespace {

QString textOf(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QString();
}

void setTextUnlessNull(QLabel* label, const QString& text) {
    if (label && !text.isNull()) {
        label->setText(text);
    }
}

}  // namespace

bool QuennicAppDelegate::bIOSVersionAppClean(const QString& iOSVersion) {
    const QStringList parts = iOSVersion.split(QLatin1Char('.'));
    if (parts.size() < 2) {
        return false;
    }
    bool ok = false;
    const long long joined = (parts.at(0) + parts.at(1)).toLongLong(&ok);
    return ok && joined > 82;
}

bool QuennicAppDelegate::isIOS10OrLater(const QString& iOSVersion) {
    const QString major = iOSVersion.split(QLatin1Char('.')).value(0);
    if (major == QLatin1String("10") || major == QLatin1String("11") ||
        major == QLatin1String("12")) {
        return true;
    }
    bool ok = false;
    const int value = major.toInt(&ok);
    return ok && value >= 12;
}

QString QuennicAppDelegate::deviceImageName(const QString& deviceModel) {
    return deviceModel.contains(QLatin1String("iPhone"), Qt::CaseInsensitive)
               ? QStringLiteral("iphoneImage.png")
               : QStringLiteral("ipadImage.png");
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::findNode(int deviceIndex) const {
    for (const std::shared_ptr<PRiDeviceNode>& node : deviceArray_) {
        if (node->deviceIndex() == deviceIndex) {
            return node;
        }
    }
    return nullptr;
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::buildDeviceNode(int deviceIndex) const {
    return buildDeviceNode(manager_, deviceIndex);
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::buildDeviceNode(amd::DeviceManager* manager,
                                                                   int deviceIndex) {
    if (!manager) {
        return nullptr;
    }
    const std::shared_ptr<amd::DeviceItem> item = manager->FindItem(deviceIndex);
    const std::shared_ptr<amd::BaseInfo> info = item ? item->sharedInfo() : nullptr;
    if (!info) {
        return nullptr;
    }
    auto node = std::make_shared<PRiDeviceNode>();
    node->setDeviceName(textOf(info->GetDeviceName()));
    node->setIOSVersion(textOf(info->GetProductVersion()));
    node->setUdidNumber(textOf(info->GetUniqueDeviceID()));
    node->setPhoneNumber(textOf(info->GetPhoneNumber()));
    node->setFiremVersion(textOf(info->GetBuildVersion()));
    node->setDeviceModel(textOf(info->GetProductType()));
    node->setSeriNumber(textOf(info->GetSerialNumber()));
    node->SetBaseInfo(info);
    node->setDeviceIndex(deviceIndex);
    // The same used and free as the storage manager shows.
    const amd::DeviceSpace space = amd::deviceSpace(info->GetDiskUsage());
    node->setDeviceSize(size_to_unit(space.total));
    node->setFreeSize(size_to_unit(space.free));
    node->setTotalFileSizeNumber(space.total);
    node->setFreeFileSizeNumber(space.free);
    return node;
}

void QuennicAppDelegate::DeviceConnectHandle(const nimbara::Notification& notification) {
    const int index = notification.objectAs<int>(-1);
    if (index < 0 || findNode(index) || !manager_) {
        return;
    }
    const std::uint64_t serial = manager_->DeviceSerial(index);
    if (serial == 0) {
        return;  // no device at that index
    }
    const amd::DeviceTarget target{index, serial};
    if (std::none_of(connecting_.begin(), connecting_.end(),
                     [&target](const auto& entry) { return entry.first == target; })) {
        // Said to be connecting until it is listed.
        const std::shared_ptr<amd::DeviceItem> item = manager_->FindItem(index);
        connecting_.emplace_back(target, item && item->device() && item->device()->handle()
                                             ? item->device()->handle()->identifier()
                                             : std::string());
        showWaitingDevices();
    }
    // Each of the device's values is a round trip to it: a worker reads them, and the node
    // arrives here afterwards. Not read for a device that went before its turn.
    QPointer<QuennicAppDelegate> self(this);
    attachWorker_->post(
        [manager = manager_, self, index, serial](const nimbara::JobQueue::StopCheck&) {
            std::shared_ptr<PRiDeviceNode> node = buildDeviceNode(manager, index);
            nimbara::postToMain(
                self, [self, index, serial, node] { self->deviceNodeRead(index, serial, node); });
        },
        [target] { return target.stillAttached(); });
}

void QuennicAppDelegate::deviceNodeRead(int index, std::uint64_t serial,
                                        const std::shared_ptr<PRiDeviceNode>& node) {
    // Only this device's entry: another may have taken its index since.
    const bool wasConnecting = std::erase_if(connecting_, [&](const auto& entry) {
                                   return entry.first == amd::DeviceTarget{index, serial};
                               }) > 0;
    // Nothing changes for a device that went, or whose index another device took, meanwhile.
    if (!node || findNode(index) || !manager_ || manager_->DeviceSerial(index) != serial) {
        if (wasConnecting) {
            showWaitingDevices();  // no longer connecting, and not listed either
        }
        return;
    }

    hasDeviceConnect_.store(true);
    const bool firstDevice = deviceArray_.empty();
    if (firstDevice && mainUi_) {
        ClickMainStatu(nullptr);
        setShown(mainUi_->manageHasDeviceView, true);
        setShown(mainUi_->manageNoDeviceView, false);
    }
    if (firstDevice) {
        quickScanDeviceChanged();  // nothing a device before it found or cleaned stays on show
        showQuickScanDeviceChosen(true);
    }

    deviceArray_.push_back(node);
    addPopupItem(node);
    showWaitingDevices();
    if (deviceArray_.size() > 1) {
        return;  // the current device stays
    }

    const std::shared_ptr<PRiDeviceNode> first = deviceArray_.front();
    setCurrentIDevicenode(first);
    theDevice_.store(first->deviceIndex());
    refreshDeviceStatus(first, true);
    layoutBannerButtons();
}

void QuennicAppDelegate::DeviceDisConnectHandle(const nimbara::Notification& notification) {
    const int index = notification.objectAs<int>(-1);
    if (std::erase_if(connecting_, [index](const auto& entry) {
            return entry.first.deviceIndex == index;
        }) > 0) {
        showWaitingDevices();
    }
    quickScanDeviceDetached(index);
    const auto it =
        std::find_if(deviceArray_.begin(), deviceArray_.end(),
                     [index](const auto& node) { return node->deviceIndex() == index; });
    if (it != deviceArray_.end()) {
        removePopupItem(index);
        deviceArray_.erase(it);
        showWaitingDevices();
    }
    // The overview, and its count, never outlive their device.
    if (boardSession_ && boardSessionIndex() == index) {
        stopBoardMessage();
    } else if (boardCountActive() && boardCountTarget_.deviceIndex == index) {
        stopBoardCount();
    }

    if (deviceArray_.empty()) {
        fullReset();
        return;
    }
    const std::shared_ptr<PRiDeviceNode> first = deviceArray_.front();
    setCurrentIDevicenode(first);
    if (first->deviceIndex() != theDevice_.load()) {
        ChangeToAnotherDevice(first->deviceIndex());
    }
}

void QuennicAppDelegate::DeviceWaitingHandle(const nimbara::Notification& notification) {
    const auto* waiting = std::any_cast<amd::WaitingDevice>(&notification.object);
    if (!waiting) {
        return;
    }
    std::erase_if(waitingDevices_, [&](const amd::WaitingDevice& known) {
        return known.identifier == waiting->identifier;
    });
    if (waiting->reason != 0) {
        waitingDevices_.push_back(*waiting);
    }
    showWaitingDevices();
}

QString QuennicAppDelegate::waitingTitle(int reason) {
    namespace E = amd::DeviceCode;
    switch (reason) {
        case E::Locked:
            return QStringLiteral("Unlock your device to continue");
        case E::TrustPending:
            return QStringLiteral("Tap Trust on your device");
        case E::TrustRefused:
            return QStringLiteral("Your device refused to trust this computer");
        case E::NotTrusted:
            return QStringLiteral("Your device doesn't trust this computer yet");
        case E::Connecting:
            return QStringLiteral("Connecting to your device\u2026");
        default:
            return QStringLiteral("Your device isn't ready yet");
    }
}

QString QuennicAppDelegate::waitingAdvice(int reason) {
    namespace E = amd::DeviceCode;
    switch (reason) {
        case E::Locked:
            return QStringLiteral(
                "It is locked with a passcode. Unlock it and keep it unlocked while it "
                "connects.\nNimbara shows it here as soon as it is ready.");
        case E::TrustPending:
            return QStringLiteral(
                "It asks whether to trust this computer. Unlock it, tap Trust and enter its "
                "passcode if it asks.\nNimbara shows it here as soon as it is ready.");
        case E::TrustRefused:
            return QStringLiteral(
                "Don't Trust was chosen on the device, so Nimbara can't reach it. Unplug it, "
                "plug it in again and tap Trust when it asks.");
        case E::NotTrusted:
            return QStringLiteral(
                "Unlock it and tap Trust when it asks whether to trust this computer.");
        case E::Connecting:
            return QStringLiteral(
                "Nimbara is reading it; a busy device can take a little while. Keep it "
                "plugged in.\nNimbara shows it here as soon as it is ready.");
        default:
            return QString::fromStdString(amd::DeviceCodeText(reason));
    }
}

void QuennicAppDelegate::showWaitingDevices() {
    // What a device waits for says more than that one is connecting.
    // A device the device layer still says is connecting is counted once.
    std::size_t count = 0;
    for (const auto& [target, identifier] : connecting_) {
        count += std::none_of(waitingDevices_.begin(), waitingDevices_.end(),
                              [&](const auto& known) { return known.identifier == identifier; });
    }
    int reason = count > 0 ? amd::DeviceCode::Connecting : 0;
    for (const amd::WaitingDevice& device : waitingDevices_) {
        ++count;
        if (reason == 0 || reason == amd::DeviceCode::Connecting ||
            device.reason != amd::DeviceCode::Connecting) {
            reason = device.reason;
        }
    }
    const bool waiting = count > 0;
    if (quickScanUi_) {
        setTextUnlessNull(
            quickScanUi_->connectNoDevicelab,
            waiting ? waitingTitle(reason) : QuickScanWindowUi::connectNoDeviceText());
        setTextUnlessNull(
            quickScanUi_->connectNoDeviceInfolab,
            waiting ? waitingAdvice(reason) : QuickScanWindowUi::connectNoDeviceInfoText());
    }
    if (!mainUi_) {
        return;
    }
    if (mainUi_->noDeviceTitlelab) {
        mainUi_->noDeviceTitlelab->setText(waiting ? waitingTitle(reason)
                                                   : MainWindowUi::noDeviceTitleText());
    }
    if (mainUi_->noDeviceInfolab) {
        mainUi_->noDeviceInfolab->setText(waiting ? waitingAdvice(reason)
                                                  : MainWindowUi::noDeviceInfoText());
    }
    if (mainUi_->waitingDevicelab) {
        // Beside a listed device, the waiting ones are the others.
        const bool others = !deviceArray_.empty();
        QString text;
        if (reason == amd::DeviceCode::Connecting) {
            // None waits for anything yet: they are being read.
            text = count > 1 ? (others ? QStringLiteral("%1 more devices are connecting\u2026")
                                       : QStringLiteral("%1 devices are connecting\u2026"))
                                   .arg(count)
                             : (others ? QStringLiteral("Another device is connecting\u2026")
                                       : QStringLiteral("A device is connecting\u2026"));
        } else if (count > 1) {
            text = (others ? QStringLiteral("%1 more devices are waiting: %2")
                           : QStringLiteral("%1 devices are waiting: %2"))
                       .arg(count)
                       .arg(waitingTitle(reason));
        } else if (waiting) {
            text = (others ? QStringLiteral("Another device is waiting: %1")
                           : QStringLiteral("A device is waiting: %1"))
                       .arg(waitingTitle(reason));
        }
        mainUi_->waitingDevicelab->setText(text);
        setShown(mainUi_->waitingDevicelab, waiting);
    }
}

void QuennicAppDelegate::ChangeToAnotherDevice(int deviceIndex) {
    if (!deviceArray_.empty()) {
        hasDeviceConnect_.store(true);
    }
    if (mainUi_) {
        ClickMainStatu(nullptr);
        setShown(mainUi_->manageHasDeviceView, true);
        setShown(mainUi_->manageNoDeviceView, false);
    }
    if (const std::shared_ptr<PRiDeviceNode> node = findNode(deviceIndex)) {
        setCurrentIDevicenode(node);
        theDevice_.store(deviceIndex);
        if (!quickResultsAreCurrentDevice()) {
            quickScanDeviceChanged();  // results of another device never stay on show
        }
        tellPagesAboutDevice(currentDeviceTarget());
    }
    refreshDeviceStatus(currentIDevicenode(), false);
    layoutBannerButtons();
    checkArchiveInstallDevice();
}

void QuennicAppDelegate::checkArchiveInstallDevice() {
    // After the change has settled: ending a run tells the user in an alert of its own.
    if (archivedAppInstall_) {
        QMetaObject::invokeMethod(
            archivedAppInstall_, [flow = archivedAppInstall_] { flow->checkDevice(); },
            Qt::QueuedConnection);
    }
}

void QuennicAppDelegate::tellPagesAboutDevice(const amd::DeviceTarget& target) {
    // In the shell's order; each page drops what it holds of the last device.
    const std::initializer_list<nimbara::ui::PageControllerBase*> pages = {
        diskManagerViewController_.get(), findLargerFileViewController_.get(),
        cleanViewController_.get(),       systemBoostViewController_.get(),
        privacyController_.get(),         oneCopyViewController_.get(),
        transferViewController_.get(),    phonesystemViewController_.get()};
    for (nimbara::ui::PageControllerBase* page : pages) {
        page->deviceChanged(target);
    }
    resetCleanSummary();  // the last device's findings and fix are gone with the page's results
}

void QuennicAppDelegate::ChangeiOSDeviceAction(QObject*) {
    QComboBox* popup = mainUi_ ? mainUi_->deviceNamePopBtn : nullptr;
    if (!popup) {
        return;
    }
    const int position = popup->currentIndex();
    if (position < 0 || position >= popup->count()) {
        return;
    }
    bool ok = false;
    const int index = popup->itemData(position).toInt(&ok);
    const std::shared_ptr<PRiDeviceNode> node = ok ? findNode(index) : nullptr;
    if (!node) {
        return;
    }
    const std::shared_ptr<PRiDeviceNode> current = currentIDevicenode();
    if (!current || current->deviceIndex() != index) {
        ChangeToAnotherDevice(index);
    }
}

void QuennicAppDelegate::RemoveTheDeviceWithIndex(int deviceIndex) {
    // Whoever took the device out of the list, the pop-up follows it.
    syncPopupWithDeviceArray();
    const std::shared_ptr<PRiDeviceNode> current = currentIDevicenode();
    if (!current || current->deviceIndex() != deviceIndex) {
        return;
    }
    if (!deviceArray_.empty()) {
        ChangeToAnotherDevice(deviceArray_.front()->deviceIndex());
        return;
    }
    // No device is left to hand the pages; still, what they hold of the dropped one goes and
    // their jobs on it stop, as on a change of device (the device itself stays plugged in).
    quickScanDeviceChanged();
    tellPagesAboutDevice({});
    fullReset();  // as when the last device is unplugged: no figure of it stays on show
    checkArchiveInstallDevice();
}

void QuennicAppDelegate::showDeviceStorageFigures(const std::shared_ptr<PRiDeviceNode>& node) {
    if (!node || !mainUi_) {
        return;
    }
    const std::uint64_t total = node->totalFileSizeNumber();
    const std::uint64_t free = node->freeFileSizeNumber();
    const std::uint64_t used = total > free ? total - free : 0;
    const float usedFraction = fractionOf(used, total);
    const float freeFraction = fractionOf(free, total);
    if (mainUi_->theCustomView) {
        mainUi_->theCustomView->animateProgress(usedFraction);
    }
    if (mainUi_->iDeviceColorView) {
        mainUi_->iDeviceColorView->setProgressValueWithusedValue(usedFraction, freeFraction);
        mainUi_->iDeviceColorView->update();
    }
    const QString usedText = size_to_unit(used);
    const QString freeText = node->freeSize().isNull() ? QString() : node->freeSize();
    setTextUnlessNull(mainUi_->usedSpaceLab,
                      QStringLiteral("%1 of %2").arg(usedText, node->deviceSize()));
    setTextUnlessNull(mainUi_->freeSpacelab, QStringLiteral("%1 free").arg(freeText));
    const int percent = static_cast<int>(std::floor(usedFraction * 100.0f));
    setTextUnlessNull(mainUi_->percentStoragelab, QStringLiteral("%1%").arg(percent));
    setTextUnlessNull(mainUi_->usedSizelab, QStringLiteral(" ") + usedText);
    setTextUnlessNull(mainUi_->freeSizelab, QStringLiteral(" ") + freeText);
}

void QuennicAppDelegate::updateDeviceStorage(int deviceIndex, std::uint64_t deviceSerial,
                                             std::uint64_t total, std::uint64_t free) {
    const std::shared_ptr<PRiDeviceNode> node = findNode(deviceIndex);
    if (!node || !manager_ || manager_->DeviceSerial(deviceIndex) != deviceSerial || total == 0) {
        return;  // the device went, or another one took its place
    }
    node->setDeviceSize(size_to_unit(total));
    node->setFreeSize(size_to_unit(free));
    node->setTotalFileSizeNumber(total);
    node->setFreeFileSizeNumber(free);
    const std::shared_ptr<PRiDeviceNode> current = currentIDevicenode();
    if (current && current->deviceIndex() == deviceIndex) {
        showDeviceStorageFigures(node);
    }
}

void QuennicAppDelegate::refreshDeviceStatus(const std::shared_ptr<PRiDeviceNode>& node,
                                             bool fromConnect) {
    if (!node) {
        return;
    }
    if (mainUi_) {
        nimbara::ui::setImageViewImage(mainUi_->deviceImageView,
                                       deviceImageName(node->deviceModel()));
    }
    if (fromConnect && quickScanUi_) {
        const QString unknown = QStringLiteral("Unkown");
        setTextUnlessNull(quickScanUi_->devicephotolab, unknown);
        setTextUnlessNull(quickScanUi_->deviceJunklab, unknown);
        setTextUnlessNull(quickScanUi_->deviceLargeFilelab, unknown);
        setTextUnlessNull(quickScanUi_->deviceLargeApplab, unknown);
        setTextUnlessNull(quickScanUi_->deviceTotallab, QStringLiteral(" "));
        initQuickScanView();
    }
    if (mainUi_) {
        setTextUnlessNull(mainUi_->deviceNamelab, node->deviceName());
        selectPopupItem(node->deviceIndex());
        setTextUnlessNull(mainUi_->iDeviceCapacityValuelab, node->deviceSize());
        setTextUnlessNull(mainUi_->iDeviceSoftwareVersionValuelab, node->iOSVersion());
        setTextUnlessNull(mainUi_->iDeviceFirmValuelab, node->firemVersion());
        setTextUnlessNull(mainUi_->iDeviceIDValuelab, node->udidNumber());
        setTextUnlessNull(mainUi_->iDeviceSerialValuelab, node->seriNumber());
        setTextUnlessNull(mainUi_->iDevicepPhoneValuelab, node->PhoneNumber());
    }
    showDeviceStorageFigures(node);

    startBoardMessage();

    if (fromConnect && isIOS10OrLater(node->iOSVersion())) {
        setBIOS10Version(true);
    }
    if (mainUi_ && mainUi_->cleanprogressor) {
        mainUi_->cleanprogressor->setRange(0, 0);  // indeterminate, animating
    }
}

void QuennicAppDelegate::layoutBannerButtons() {
    if (!mainUi_) {
        return;
    }
    const std::shared_ptr<PRiDeviceNode> current = currentIDevicenode();
    const bool newer = current && bIOSVersionAppClean(current->iOSVersion());
    auto place = [](PRBannerButton* button, int x) {
        if (button) {
            button->move(x, button->y());
            button->show();
        }
    };
    place(mainUi_->mainStatusBannerBtn, newer ? 176 : 103);
    if (mainUi_->diskManageBannerBtn) {
        mainUi_->diskManageBannerBtn->show();
    }
    if (newer) {
        setShown(mainUi_->appCleanBannerBtn, false);
    } else {
        place(mainUi_->appCleanBannerBtn, 249);
    }
    place(mainUi_->adsRemoveBannerBtn, newer ? 322 : 382);
    place(mainUi_->privacyBannerBtn, newer ? 468 : 529);
    place(mainUi_->findLargeBannerBtn, newer ? 614 : 665);
    place(mainUi_->oneClickCopyBannerBtn, newer ? 760 : 802);

    ClickMainStatu(nullptr);
    if (mainUi_->mainStatusBannerBtn) {
        mainUi_->mainStatusBannerBtn->setBtnDown(true);
    }
}

void QuennicAppDelegate::shortReset() {
    hasDeviceConnect_.store(false);
    stopBoardMessage();
    if (mainUi_) {
        showOnlyPage(mainUi_->noDeviceView);
        for (PRBannerButton* button : mainUi_->bannerButtons()) {
            setShown(button, false);
        }
        setShown(mainUi_->manageHasDeviceView, false);
        setShown(mainUi_->manageNoDeviceView, true);
    }
    resetStorageFigures();
}

void QuennicAppDelegate::fullReset() {
    hasDeviceConnect_.store(false);
    shortReset();
    setPhotoVideoFileSize(0);
    setJunkFileSize(0);
    setBigFileSize(0);
    setBigAppFileSize(0);
    setTotalCleanupFileSize(0);
    setCleanupCompletedFileSize(0);
    showQuickScanDeviceChosen(false);
}

void QuennicAppDelegate::showQuickScanDeviceChosen(bool chosen) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    setShown(quick.theConnectNoDeviceView, !chosen);
    setShown(quick.theContentResultView, chosen);
    if (!chosen) {
        nimbara::app::quick::showBytes(quick.devicephotolab, 0);
    }
    setQuickScanBackground(chosen ? 105 : 255, chosen ? 151 : 255, chosen ? 253 : 255);
    if (PRTableButton* scan = quick.quickScnDeviceBtn) {
        scan->setEnabled(chosen);
        // Its drawn image looks the same either way: a disabled Scan is shown faded.
        QGraphicsOpacityEffect* faded = chosen ? nullptr : new QGraphicsOpacityEffect(scan);
        if (faded != nullptr) {
            faded->setOpacity(0.45);
        }
        scan->setGraphicsEffect(faded);
    }
    setShown(quick.scanNoDevicelab, !chosen);
}

void QuennicAppDelegate::setQuickScanBackground(int red, int green, int blue) {
    QWidget* quick = quickScanUi_ ? quickScanUi_->quickScanWindow : nullptr;
    if (!quick) {
        return;
    }
    nimbara::ui::fillBackground(quick, QColor(red, green, blue));
    quick->update();
}

void QuennicAppDelegate::addPopupItem(const std::shared_ptr<PRiDeviceNode>& node) {
    if (QComboBox* popup = mainUi_ ? mainUi_->deviceNamePopBtn : nullptr) {
        popup->addItem(node->deviceName(), node->deviceIndex());
    }
}

void QuennicAppDelegate::removePopupItem(int deviceIndex) {
    QComboBox* popup = mainUi_ ? mainUi_->deviceNamePopBtn : nullptr;
    if (!popup) {
        return;
    }
    const int position = popup->findData(deviceIndex);
    if (position >= 0) {
        popup->removeItem(position);
    }
}

void QuennicAppDelegate::syncPopupWithDeviceArray() {
    QComboBox* popup = mainUi_ ? mainUi_->deviceNamePopBtn : nullptr;
    if (!popup) {
        return;
    }
    const QVariant selected = popup->currentData();
    const QSignalBlocker blocker(popup);
    popup->clear();
    for (const std::shared_ptr<PRiDeviceNode>& node : deviceArray_) {
        popup->addItem(node->deviceName(), node->deviceIndex());
    }
    const int position = selected.isValid() ? popup->findData(selected) : -1;
    if (position >= 0) {
        popup->setCurrentIndex(position);
    }
}

void QuennicAppDelegate::selectPopupItem(int deviceIndex) {
    QComboBox* popup = mainUi_ ? mainUi_->deviceNamePopBtn : nullptr;
    if (!popup) {
        return;
    }
    const int position = popup->findData(deviceIndex);
    if (position >= 0) {
        popup->setCurrentIndex(position);
    }
}
