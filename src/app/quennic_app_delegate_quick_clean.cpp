// The quick clean-up as the window shows it: the confirmation, the worker running the clean-up
// engine, its progress texts, the clean-up animation and the end view; and the camera roll the
// storage manager page shares.
#include <QDebug>
#include <QDialog>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <optional>

#include "app/core/camera_item.h"
#include "app/core/gui_hand_off.h"
#include "app/main_window_ui.h"
#include "app/pr_large_file_controller.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "cleanup/camera_roll.h"
#include "cleanup/quick_clean_engine.h"
#include "cleanup/removal_texts.h"
#include "device/base_info.h"
#include "device/device_space.h"
#include "filemanager/storage_scan.h"
#include "platform/log_categories.h"
#include "platform/main_thread.h"
#include "ui/alerts.h"
#include "ui/notification_buttons.h"

using nimbara::app::quick::isTicked;
using nimbara::app::quick::showBytes;
using nimbara::app::quick::sizeLabelText;
using nimbara::ui::setShown;

namespace {

void setProcessText(QuickScanWindowUi* quick, const QString& text) {
    if (quick != nullptr && quick->cleanupProcesslab != nullptr) {
        quick->cleanupProcesslab->setText(text);
    }
}

// The disk figures of the device with `deviceIndex` and `deviceSerial`; nullopt when it went or
// its figures can't be read.
std::optional<amd::DiskUsage> readDiskUsage(int deviceIndex, std::uint64_t deviceSerial) {
    return nimbara::filemanager::readDeviceDiskUsage({deviceIndex, deviceSerial});
}

}  // namespace

void QuennicAppDelegate::QuickCleanUpDeviceAction(QObject* /*sender*/) {
    if (!getDeviceConnected() || !quickScanUi_ || quickWorkerRunning_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    if (!quickResultsAreCurrentDevice()) {
        // The results were found on another device: they never drive a removal here.
        nimbara::Alerts::Question refusal;
        refusal.message = QStringLiteral("Scan the device again before cleaning it up.");
        refusal.informativeText =
            QStringLiteral("The results shown were found on another device. Nothing was removed.");
        refusal.defaultButton = QStringLiteral("OK");
        nimbara::Alerts::ask(quick.quickScanWindow, refusal);
        resetQuickScanWindow();
        return;
    }
    const int deviceIndex = quickResultDeviceIndex_;
    const std::uint64_t deviceSerial = quickResultDeviceSerial_;
    const std::uint64_t photoLibrary = photolibFileSize().value_or(0);

    nimbara::cleanup::QuickCleanOptions options;
    options.deviceIndex = deviceIndex;
    options.deviceSerial = deviceSerial;
    options.exportFolder = nimbaraExportPath().toStdString();
    options.photosTicked = isTicked(quick.quickPhotoCheckBtn);
    options.junkTicked = isTicked(quick.quickJunkCheckBtn);
    options.deleteCameraRoll =
        !startReScan() && cameraFileSize().value_or(0) != 0 && !bdeepOpenPhoto();
    options.photoLibrarySize = photoLibrary;

    QuickScanResult scan;
    scan.systemLogArray = systemLogArray_;
    scan.downloadTempArray = downloadTempArray_;
    scan.userStorageArray = userStorageArray_;
    scan.iTunesSyncFailedArray = iTunesSyncFailedArray_;
    scan.iTunesSyncCacheArray = iTunesSyncCacheArray_;
    scan.userDataBigFileArray = userDataBigFileArray_;
    scan.appBigFileArray = appBigFileArray_;
    scan.junkFileSize = junkFileSize();
    scan.bigFileSize = bigFileSize();
    scan.bigAppFileSize = bigAppFileSize();
    scan.cameraRollItems = quickCameraRollItems_;
    scan.copyOnlyPictures = quickCopyOnlyPictures_;
    std::shared_ptr<nimbara::cleanup::CameraRoll> roll;
    if (options.photosTicked) {
        cameraRoll();
        roll = cameraRoll_;
    }

    // The engine takes the ticks as they are now; the question tells what it will do with them
    // and nothing changes on the device before the user said so, once.
    const std::shared_ptr<WorkerContext> worker = makeWorkerContext();
    auto progress = [this, handOff = worker->handOff](const QString& text, double fraction) {
        handOff->run([this, text, fraction] {
            if (!quickScanUi_) {
                return;
            }
            setProcessText(quickScanUi_.get(), text);
            if (QProgressBar* bar = quickScanUi_->cleanupProgressor) {
                bar->setValue(static_cast<int>(fraction * 100.0));
            }
        });
    };
    auto engine = std::make_shared<nimbara::cleanup::QuickCleanEngine>(
        options, std::move(scan), roll, progress,
        [cancel = worker->cancel] { return cancel->load(); });

    nimbara::Alerts::Question question;
    question.message = QStringLiteral("Clean up the device now?");
    question.informativeText = nimbara::cleanup::quickCleanQuestionText(engine->preview());
    question.defaultButton = QStringLiteral("Clean Up");
    question.alternateButton = QStringLiteral("Cancel");
    const auto answer = nimbara::Alerts::ask(quick.quickScanWindow, question);
    if (quick.quickCleanupDeviceBtn != nullptr) {
        quick.quickCleanupDeviceBtn->setImage(QStringLiteral("cleanupdevicenom.png"));
    }
    // The device may have changed while the question was open.
    if (answer != nimbara::Alerts::Answer::Default || !getDeviceConnected() ||
        !quickResultsAreCurrentDevice() || quickResultDeviceIndex_ != deviceIndex ||
        quickResultDeviceSerial_ != deviceSerial || quickWorkerRunning_) {
        return;
    }

    setQuickTicksEnabled(false);
    showOnlyBottomBar(quick.cleanUpProcessBottomView);
    setCleanupCompletedFileSize(0);
    if (quick.cleanupProgressor != nullptr) {
        quick.cleanupProgressor->setRange(0, 100);
        quick.cleanupProgressor->setValue(0);
    }
    StartCleanupGifImageView();
    setProcessText(&quick, photoLibrary != 0
                               ? QString::fromLatin1(nimbara::cleanup::kTextBackingUpPhotos)
                               : QString::fromLatin1(nimbara::cleanup::kTextDeletingJunk));

    quickWorkerIsScan_ = false;
    startQuickWorker(options.deviceIndex, worker, [this, options, engine](WorkerContext& context) {
        auto report = std::make_shared<nimbara::cleanup::QuickCleanReport>(engine->run());
        // The device's own figures after the clean-up (read here: the GUI thread never asks).
        const std::optional<amd::DiskUsage> usage =
            readDiskUsage(options.deviceIndex, options.deviceSerial);
        context.finish([this, report, usage, options] {
            if (usage) {
                const amd::DeviceSpace space = amd::deviceSpace(*usage);
                updateDeviceStorage(options.deviceIndex, options.deviceSerial, space.total,
                                    space.free);
            }
            for (const auto& failure : report->failures) {
                qCWarning(lcApp).noquote()
                    << "Quick clean-up kept" << QString::fromStdString(failure.path) << "("
                    << failure.code << "):" << failure.reason;
            }
            QString message = report->message;
            if (report->status == nimbara::cleanup::QuickCleanStatus::Cancelled &&
                !getDeviceConnected()) {
                message = QStringLiteral("The device was disconnected during the clean-up.");
            }
            finishQuickCleanUp(report->freedTotal(), message);
        });
    });
}

void QuennicAppDelegate::cleanUPJunkFilesOnMainThread() {
    setProcessText(quickScanUi_.get(), QString::fromLatin1(nimbara::cleanup::kTextDeletingJunk));
}

void QuennicAppDelegate::cleanUpLargeFilesOnMainThread() {
    setProcessText(quickScanUi_.get(),
                   QString::fromLatin1(nimbara::cleanup::kTextDeletingLargeFiles));
}

void QuennicAppDelegate::cleanUPAppFilesOnMainThread() {
    setProcessText(quickScanUi_.get(),
                   QString::fromLatin1(nimbara::cleanup::kTextDeletingLargeApps));
}

void QuennicAppDelegate::finishQuickCleanUp(std::uint64_t freedBytes, const QString& message) {
    quickWorkerRunning_ = false;
    setQuickTicksEnabled(true);
    setCleanupCompletedFileSize(freedBytes);
    quickCleanUpMessage_ = message;
    clearQuickScanResults();
    cameraPhotoArray_.clear();
    bigFileController_->removeAllObjects();
    bigAppController_->removeAllObjects();
    reloadQuickScanTables();
    setStartReScan(false);
    qCInfo(lcApp).noquote() << "Quick clean-up:" << sizeLabelText(freedBytes).trimmed() << "freed."
                            << message;
    if (!quickScanUi_) {
        return;
    }
    QuickScanWindowUi& quick = *quickScanUi_;
    showOnlyBottomBar(quick.shareBottomView);
    StopCleanupGifImageView();
    if (quick.cleanupProgressor != nullptr) {
        quick.cleanupProgressor->setValue(100);
    }
    setShown(quick.theInfoTableDisplayView, false);
    setShown(quick.lineImageView, false);
    setShown(quick.theInfoCleanFinishView, true);
    showBytes(quick.devicephotolab, photoVideoFileSize());
    showBytes(quick.cleanupFileSizelab, freedBytes);
    if (quick.cleanFinishInfolab != nullptr) {
        quick.cleanFinishInfolab->setText(message);
    }
    if (quick.deviceTotallab != nullptr) {
        quick.deviceTotallab->setText(sizeLabelText(freedBytes));
    }
    if (quick.totalCaptionlab != nullptr) {
        quick.totalCaptionlab->setText(QStringLiteral("Space freed on the device:"));
    }
    setProcessText(&quick, QString::fromLatin1(nimbara::cleanup::kTextCleaningUpDevice));
}

void QuennicAppDelegate::CloseTheModelWindow(QObject* /*sender*/) {
    if (quickScanUi_ && quickScanUi_->errorwarnWindow != nullptr) {
        quickScanUi_->errorwarnWindow->hide();
    }
}

// ---- clean-up animation

void QuennicAppDelegate::StartCleanupGifImageView() {
    cleanGifCount_ = 0;
    if (cleanGifTimer_ == nullptr) {
        cleanGifTimer_ = new QTimer(this);
        cleanGifTimer_->setInterval(100);
        connect(cleanGifTimer_, &QTimer::timeout, this, [this] { ChangeCleanupImageViewTimer(); });
    }
    if (quickScanUi_) {
        setShown(quickScanUi_->scanGifImageView, false);
        setShown(quickScanUi_->cleanGifImageView, true);
    }
    cleanGifTimer_->start();
}

void QuennicAppDelegate::ChangeCleanupImageViewTimer() {
    ++cleanGifCount_;
    if (cleanGifCount_ <= 7) {
        if (quickScanUi_) {
            nimbara::ui::setImageViewImage(quickScanUi_->cleanGifImageView,
                                           QStringLiteral("cleaniphone%1.png").arg(cleanGifCount_));
        }
    } else {
        cleanGifCount_ = 0;
    }
}

void QuennicAppDelegate::StopCleanupGifImageView() {
    if (cleanGifTimer_ != nullptr) {
        cleanGifTimer_->stop();
    }
    if (quickScanUi_) {
        if (QLabel* view = quickScanUi_->cleanGifImageView) {
            view->clear();
            view->setProperty("imageName", QString());
        }
        setShown(quickScanUi_->cleanGifImageView, false);
        setShown(quickScanUi_->scanGifImageView, true);
    }
}

// ---- camera roll

nimbara::cleanup::CameraRoll* QuennicAppDelegate::cameraRoll() {
    const int index = theDevice();
    const std::uint64_t serial = currentDeviceSerial();
    if (!cameraRoll_ || index != cameraRollDeviceIndex_ || serial != cameraRollDeviceSerial_) {
        cameraRoll_ = std::make_shared<nimbara::cleanup::DeviceCameraRoll>(index, serial);
        cameraRollDeviceIndex_ = index;
        cameraRollDeviceSerial_ = serial;
        cameraPhotoArray_.clear();
    }
    return cameraRoll_.get();
}

void QuennicAppDelegate::OpenDevicePhoto() {
    setBdeepOpenPhoto(true);
    if (!getDeviceConnected()) {
        return;  // no camera device: the request goes nowhere
    }
    cameraRoll();
    const std::shared_ptr<nimbara::cleanup::CameraRoll> roll = cameraRoll_;
    // Opening the session lists the device's camera folders: a worker does it, and the list
    // arrives here afterwards, unless the current device changed meanwhile. The worker touches
    // nothing of the delegate: the list is posted to it only while it lives.
    QPointer<QuennicAppDelegate> self(this);
    cameraRollWorker_->post([this, self, roll](const nimbara::JobQueue::StopCheck&) {
        std::vector<nimbara::cleanup::CameraRollItem> listed;
        roll->openSession([&listed](nimbara::cleanup::CameraRollResult result,
                                    const std::vector<nimbara::cleanup::CameraRollItem>& items) {
            if (result == nimbara::cleanup::CameraRollResult::Ok) {
                listed = items;
            } else {
                qCInfo(lcApp).noquote()
                    << "Camera roll:" << nimbara::cleanup::cameraRollResultText(result);
            }
        });
        nimbara::postToMain(self, [this, roll, listed = std::move(listed)] {
            if (roll != cameraRoll_) {
                return;  // listed on a device that is no longer the current one
            }
            cameraPhotoArray_.clear();
            for (const auto& item : listed) {
                if (item.typeIdentifier == nimbara::cleanup::kCameraItemImage ||
                    item.typeIdentifier == nimbara::cleanup::kCameraItemMovie) {
                    cameraPhotoArray_.push_back(std::make_shared<nimbara::CameraItem>(
                        QString::fromStdString(item.name),
                        QString::fromStdString(item.typeIdentifier)));
                }
            }
        });
    });
}

void QuennicAppDelegate::removephotofromPhotoCameraArrayWithNameArrary(const QStringList& names) {
    if (!getDeviceConnected() || !cameraRoll_) {
        return;  // no session was opened: nothing to delete from
    }
    std::vector<std::string> wanted;
    wanted.reserve(static_cast<std::size_t>(names.size()));
    for (const QString& name : names) {
        wanted.push_back(name.toStdString());
    }
    // The deletion talks to the device: a worker does it, after any listing asked for before.
    cameraRollWorker_->post(
        [roll = cameraRoll_, wanted = std::move(wanted)](const nimbara::JobQueue::StopCheck&) {
            roll->deleteItemsNamed(wanted, [](const nimbara::cleanup::CameraRollDeletion& outcome) {
                qCInfo(lcApp).noquote() << "Camera roll: deleted" << outcome.deleted.size()
                                        << "item(s)," << outcome.failed.size() << "failed,"
                                        << outcome.notTried.size() << "left alone.";
            });
        });
}
