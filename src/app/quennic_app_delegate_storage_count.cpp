// The storage overview's own count of what the device doesn't report: one count at a time, on a
// worker bound to the device (index and serial) it was started for. Its figures are shown as
// each of its scans ends; it stops when the overview stops (another device became current, the
// device went, the hub goes), and whatever a stopped count still finds is dropped.
#include <QDebug>

#include "app/quennic_app_delegate.h"
#include "filemanager/storage_count.h"
#include "platform/job_runner.h"
#include "platform/log_categories.h"

bool QuennicAppDelegate::boardCountActive() const {
    return boardCount_ && boardCount_->busy();
}

std::size_t QuennicAppDelegate::boardCountsEnding() const {
    return boardCount_ ? boardCount_->ending() : 0;
}

void QuennicAppDelegate::startBoardCount(amd::DeviceTarget target,
                                         std::vector<nimbara::app::StorageCategory> wanted) {
    stopBoardCount();
    if (!boardCount_) {
        boardCount_ = std::make_unique<nimbara::JobRunner>();
    }
    boardCountTarget_ = target;
    using nimbara::JobRunner;
    boardCount_->start([this, target, wanted = std::move(wanted)](const JobRunner::StopCheck& stop,
                                                                  const JobRunner::Post& post) {
        // Only the posted steps touch the hub, and only while this count is the current one.
        nimbara::filemanager::countStorageCategories(
            target, wanted, stop,
            [this, &post](const nimbara::filemanager::StorageCountStep& step) {
                post([this, step] { tookBoardCount(step); });
            });
        post([this] { boardCountEnded(); });
    });
}

void QuennicAppDelegate::tookBoardCount(const nimbara::filemanager::StorageCountStep& step) {
    using nimbara::filemanager::StorageScanStatus;
    const QString status = nimbara::filemanager::storageScanStatusText(step.status);
    qCDebug(lcApp).noquote() << "Storage count:"
                             << (status.isEmpty() ? QStringLiteral("done") : status);
    if (step.device != boardCountTarget_) {
        return;
    }
    if (step.status == StorageScanStatus::DeviceGone || step.status == StorageScanStatus::Stopped) {
        return;  // no figure from a count cut short; the overview follows the device
    }
    boardFigures_.takeCount(step);
    showBoardFigures();
}

void QuennicAppDelegate::boardCountEnded() {
    if (boardCount_) {
        boardCount_->finish();
    }
    endBoardCounting();
}

void QuennicAppDelegate::stopBoardCount() {
    if (!boardCount_ || !boardCount_->busy()) {
        return;
    }
    boardCount_->stop();
    endBoardCounting();
}

void QuennicAppDelegate::endBoardCounting() {
    // What was not counted to the end is not known: no figure stays busy.
    if (boardFigures_.counting()) {
        boardFigures_.endCounting();
        showBoardFigures();
    }
}
