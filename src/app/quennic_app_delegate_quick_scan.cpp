// The quick scan: the worker, the steps it hands to the GUI thread, the scan animation and the
// worker's lifetime (shared with the quick clean-up).
#include <QLabel>
#include <QProgressBar>
#include <QStringList>
#include <QTimer>

#include "app/core/gui_hand_off.h"
#include "app/main_window_ui.h"
#include "app/pr_large_file_controller.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "cleanup/quick_scan_engine.h"
#include "cleanup/removal_texts.h"
#include "device/device_target.h"
#include "platform/job_runner.h"
#include "ui/notification_buttons.h"

using nimbara::app::quick::showBytes;
using nimbara::ui::setShown;

namespace {

using JunkList = std::vector<std::shared_ptr<PRPhoneSystemFileNode>>;

// The junk files a clean-up keeps (the scan marks them protected), named apart from the figure.
QString keptJunkText(std::initializer_list<const JunkList*> lists) {
    std::vector<QString> names;
    for (const JunkList* list : lists) {
        for (const auto& record : *list) {
            if (record && record->isProtected()) {
                names.push_back(record->fileName());
            }
        }
    }
    return nimbara::cleanup::keptFilesText(names);
}

}  // namespace

void QuennicAppDelegate::showOnlyBottomBar(QWidget* bar) {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    for (QWidget* each :
         {quick.scanButtonBottomView, quick.scanProcessBottomView, quick.cleanupBottomView,
          quick.cleanUpProcessBottomView, quick.shareBottomView}) {
        setShown(each, each == bar);
    }
}

void QuennicAppDelegate::clearQuickScanResults() {
    systemLogArray_.clear();
    downloadTempArray_.clear();
    userStorageArray_.clear();
    iTunesSyncFailedArray_.clear();
    iTunesSyncCacheArray_.clear();
    userDataBigFileArray_.clear();
    appBigFileArray_.clear();
    quickCameraRollItems_ = 0;
    quickCopyOnlyPictures_ = 0;
    setJunkFileSize(0);
    setBigFileSize(0);
    setBigAppFileSize(0);
    setTotalCleanupFileSize(0);
}

void QuennicAppDelegate::QuickScanAction(QObject* /*sender*/) {
    if (!getDeviceConnected() || !quickScanUi_ || quickWorkerRunning_) {
        return;
    }
    clearQuickScanResults();
    QuickScanWindowUi& quick = *quickScanUi_;
    showOnlyBottomBar(quick.scanProcessBottomView);
    startScanGifImageView();
    if (quick.scanProgressor != nullptr) {
        quick.scanProgressor->setRange(0, 0);
    }

    QuickScanOptions options;
    options.deviceIndex = theDevice();
    options.deviceSerial = currentDeviceSerial();
    options.limitLargeFileSize = limitLargeFileSize();
    options.limitLargeAppSize = limitLargeAppSize();

    // What the scan finds belongs to this device, and only this device is cleaned up with it.
    quickResultDeviceIndex_ = options.deviceIndex;
    quickResultDeviceSerial_ = options.deviceSerial;
    quickWorkerIsScan_ = true;
    startQuickWorker(
        options.deviceIndex, makeWorkerContext(), [this, options](WorkerContext& context) {
            QuickScanEngine engine(options, context.stop);
            engine.onJunkDone = [this, &context](std::uint64_t size) {
                context.post([this, size] { QuickScanJunkFileFromDevieOnMainThread(size); });
            };
            engine.onLargeFilesDone = [this, &context](std::uint64_t size) {
                context.post([this, size] { QuickScanLargeFileFromUserDataOnMainThread(size); });
            };
            auto result = std::make_shared<QuickScanResult>(engine.run());
            context.finish([this, result] { quickScanDeviceThreadOnMainThread(*result); });
        });
}

void QuennicAppDelegate::QuickScanJunkFileFromDevieOnMainThread(std::uint64_t foundJunkFileSize) {
    setJunkFileSize(foundJunkFileSize);
    if (quickScanUi_) {
        showBytes(quickScanUi_->deviceJunklab, foundJunkFileSize);
    }
}

void QuennicAppDelegate::QuickScanLargeFileFromUserDataOnMainThread(
    std::uint64_t foundBigFileSize) {
    setBigFileSize(foundBigFileSize);
    if (quickScanUi_) {
        showBytes(quickScanUi_->deviceLargeFilelab, foundBigFileSize);
    }
}

void QuennicAppDelegate::showRefusedQuickRows() {
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    const QString notChecked = QStringLiteral(" Not checked");
    const std::pair<QLabel*, bool> rows[] = {{quick.deviceJunklab, quickFilesRefused_},
                                             {quick.deviceLargeFilelab, quickFilesRefused_},
                                             {quick.deviceLargeApplab, quickAppsRefused_}};
    for (const auto& [label, refused] : rows) {
        if (label != nullptr && refused) {
            label->setText(notChecked);
        }
    }
}

QString QuennicAppDelegate::quickScanRefusalText(const QuickScanResult& result) {
    QStringList sentences;
    if (result.filesRefused != 0) {
        sentences << QStringLiteral(
            "The device refused access to its files, so junk and large files were not checked.");
    } else if (result.crashLogsRefused != 0) {
        sentences << QStringLiteral(
            "The device refused its crash logs, so they were not counted as junk.");
    }
    if (result.appsRefused != 0) {
        sentences << QStringLiteral(
            "The device refused its list of apps, so large apps were not checked.");
    }
    return sentences.join(QLatin1Char(' '));
}

void QuennicAppDelegate::quickScanDeviceThreadOnMainThread(QuickScanResult& result) {
    quickWorkerRunning_ = false;
    systemLogArray_ = std::move(result.systemLogArray);
    downloadTempArray_ = std::move(result.downloadTempArray);
    userStorageArray_ = std::move(result.userStorageArray);
    iTunesSyncFailedArray_ = std::move(result.iTunesSyncFailedArray);
    iTunesSyncCacheArray_ = std::move(result.iTunesSyncCacheArray);
    userDataBigFileArray_ = std::move(result.userDataBigFileArray);
    appBigFileArray_ = std::move(result.appBigFileArray);
    quickCameraRollItems_ = result.cameraRollItems;
    quickCopyOnlyPictures_ = result.copyOnlyPictures;
    setJunkFileSize(result.junkFileSize);
    setBigFileSize(result.bigFileSize);
    setBigAppFileSize(result.bigAppFileSize);

    // The tables get copies, largest first; the lists keep the scan's order.
    bigFileController_->setArrangedObjects(
        QuickScanEngine::sortedBySizeDescending(userDataBigFileArray_, false));
    bigAppController_->setArrangedObjects(
        QuickScanEngine::sortedBySizeDescending(appBigFileArray_, true));

    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    showBytes(quick.deviceJunklab, junkFileSize());
    showBytes(quick.deviceLargeFilelab, bigFileSize());
    showBytes(quick.deviceLargeApplab, bigAppFileSize());
    // An empty list the device refused is no clean result: say so instead of "0 bytes".
    quickFilesRefused_ = result.filesRefused != 0;
    quickAppsRefused_ = result.appsRefused != 0;
    showRefusedQuickRows();
    if (quick.scanRefusallab != nullptr) {
        const QString refusal = quickScanRefusalText(result);
        quick.scanRefusallab->setText(refusal);
        setShown(quick.scanRefusallab, !refusal.isEmpty());
    }
    if (quick.junkInfoBtn != nullptr) {
        const QString kept = keptJunkText({&downloadTempArray_, &userStorageArray_,
                                           &iTunesSyncFailedArray_, &iTunesSyncCacheArray_});
        quick.junkInfoBtn->setToolTip(kept);
        setShown(quick.junkInfoBtn, !kept.isEmpty());
    }
    StopScanGifImageView();
    if (quick.scanProgressor != nullptr) {
        quick.scanProgressor->setRange(0, 1);
        quick.scanProgressor->setValue(1);
    }
    reloadQuickScanTables();
    showOnlyBottomBar(quick.cleanupBottomView);
    ShowCheckButtonMainView();
    // The total counts what the clean-up would remove with the current ticks.
    showTotalCleanupFileSize();
    if (quick.theInfoTableDisplayView != nullptr) {
        quick.theInfoTableDisplayView->update();
    }
    for (QWidget* button : quick.resultButtons()) {
        setShown(button, true);
    }
    exploredLargeAppView();
    exploredLargeFileView();
}

// ---- scan animation

void QuennicAppDelegate::startScanGifImageView() {
    scanGifCount_ = 0;
    if (scanGifTimer_ == nullptr) {
        scanGifTimer_ = new QTimer(this);
        scanGifTimer_->setInterval(100);
        connect(scanGifTimer_, &QTimer::timeout, this, [this] { ChangeScanImageViewTimer(); });
    }
    scanGifTimer_->start();
}

void QuennicAppDelegate::ChangeScanImageViewTimer() {
    ++scanGifCount_;
    if (scanGifCount_ <= 6) {
        if (quickScanUi_) {
            nimbara::ui::setImageViewImage(quickScanUi_->scanGifImageView,
                                           QStringLiteral("scaniphone%1.png").arg(scanGifCount_));
        }
    } else {
        scanGifCount_ = 0;
    }
}

void QuennicAppDelegate::StopScanGifImageView() {
    if (scanGifTimer_ != nullptr) {
        scanGifTimer_->stop();
    }
    if (quickScanUi_ && quickScanUi_->scanGifImageView != nullptr) {
        // The still picture of the device comes back in place of the animation.
        nimbara::ui::setImageViewImage(quickScanUi_->scanGifImageView,
                                       QStringLiteral("iphoneImage"));
    }
}

// ---- the worker's lifetime

void QuennicAppDelegate::WorkerContext::finish(const std::function<void()>& step) {
    post(step);
}

std::shared_ptr<QuennicAppDelegate::WorkerContext> QuennicAppDelegate::makeWorkerContext() {
    auto context = std::make_shared<WorkerContext>();
    context->handOff = std::make_shared<nimbara::shell::GuiHandOff>();
    context->cancel = std::make_shared<std::atomic<bool>>(false);
    return context;
}

void QuennicAppDelegate::startQuickWorker(int deviceIndex,
                                          const std::shared_ptr<WorkerContext>& context,
                                          std::function<void(WorkerContext&)> body) {
    retireQuickWorker();
    if (!quickScanDeviceThreader_) {
        quickScanDeviceThreader_ = std::make_unique<nimbara::JobRunner>();
    }
    quickWorker_ = context;
    quickWorkerDeviceIndex_ = deviceIndex;
    quickWorkerRunning_ = true;
    // A scan belongs to its device: it stops, and what it still finds is dropped, once that
    // device went. A confirmed clean-up is bound to nothing: it stops by itself when its device
    // goes, and its end view then tells what it did there.
    nimbara::JobRunner::Binding binding;
    if (quickWorkerIsScan_) {
        binding = [target = amd::DeviceTarget{deviceIndex, quickResultDeviceSerial_}] {
            return target.stillAttached();
        };
    }
    using nimbara::JobRunner;
    quickScanDeviceThreader_->start(
        [this, context, body = std::move(body)](const JobRunner::StopCheck& stop,
                                                const JobRunner::Post& post) {
            const std::shared_ptr<std::atomic<bool>> cancel = context->cancel;
            context->stop = [stop, cancel] { return cancel->load() || stop(); };
            context->post = post;
            body(*context);
            // After the finishing step: the job is over.
            post([this] { quickScanDeviceThreader_->finish(); });
        },
        std::move(binding));
}

void QuennicAppDelegate::retireQuickWorker() {
    const std::shared_ptr<WorkerContext> context = std::move(quickWorker_);
    quickWorker_.reset();
    quickWorkerDeviceIndex_ = -1;
    quickWorkerRunning_ = false;
    if (context) {
        context->cancel->store(true);
        context->handOff->cancel();  // a step waiting for this thread returns at once
    }
    if (quickScanDeviceThreader_) {
        quickScanDeviceThreader_->stop();  // never waits: its thread ends on its own
    }
}

void QuennicAppDelegate::joinQuickWorkersAtExit() {
    // Cancelled, a worker ends at its next stop check; the runner lets its thread end on its own.
    retireQuickWorker();
}

bool QuennicAppDelegate::quickScanThreadJoinable() const {
    return quickScanDeviceThreader_ &&
           (quickScanDeviceThreader_->busy() || quickScanDeviceThreader_->ending() > 0);
}

bool QuennicAppDelegate::quickCleanUpRunning() const {
    return quickWorkerRunning_ && !quickWorkerIsScan_;
}

bool QuennicAppDelegate::quickResultsAreCurrentDevice() const {
    return quickResultDeviceIndex_ >= 0 && quickResultDeviceIndex_ == theDevice() &&
           quickResultDeviceSerial_ != 0 && quickResultDeviceSerial_ == currentDeviceSerial();
}

void QuennicAppDelegate::quickScanDeviceChanged() {
    // A confirmed clean-up finishes on the device it was confirmed for (it stops by itself when
    // that device goes); its end view then shows what it did there.
    if (quickCleanUpRunning()) {
        return;
    }
    if (quickResultDeviceIndex_ < 0 && !quickWorkerRunning_) {
        return;  // nothing of another device is shown
    }
    retireQuickWorker();
    resetQuickScanWindow();
}

void QuennicAppDelegate::quickScanDeviceDetached(int deviceIndex) {
    if (deviceIndex == quickWorkerDeviceIndex_ || deviceIndex == quickResultDeviceIndex_) {
        quickScanDeviceChanged();
    }
}
