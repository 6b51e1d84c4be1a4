// The status page's storage overview: a media-sync session of its own for the current device,
// a wait, then one poll a second until the device's storage metrics are there; they are shown
// once and the session is closed. What they leave unknown is then counted on the device
// (quennic_app_delegate_storage_count.cpp) and shown as it arrives.
//
// One overview at a time, bound to the device (index and serial) it was started for: it stops
// when that device goes, when another device becomes current, and when the hub is destroyed.
#include <QLabel>
#include <QTimer>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "platform/job_runner.h"
#include "platform/log_categories.h"
#include "ui/color_progress_view.h"
#include "ui/view_helpers.h"

struct QuennicAppDelegate::BoardSession {
    int index = -1;
    std::uint64_t serial = 0;
    // Going, it closes the session, which ends its reader at once.
    std::unique_ptr<amd::AirTrafficHostHelper> helper =
        std::make_unique<amd::AirTrafficHostHelper>();
};

using nimbara::app::StorageFigure;
using nimbara::app::StorageFigures;
using nimbara::ui::addSaturating;
using nimbara::ui::fractionOf;
using nimbara::ui::subtractSaturating;

namespace {

void setLabel(QLabel* label, const QString& text) {
    if (label) {
        label->setText(text);
    }
}

}  // namespace

void QuennicAppDelegate::setBoardDelays(std::chrono::milliseconds firstPoll,
                                        std::chrono::milliseconds interval) {
    boardFirstPoll_ = firstPoll;
    boardInterval_ = interval;
}

bool QuennicAppDelegate::boardOverviewActive() const {
    return boardSession_ != nullptr || boardTimer_->isActive() || boardDelayTimer_->isActive();
}

int QuennicAppDelegate::boardSessionIndex() const {
    return boardSession_ ? boardSession_->index : -1;
}

void QuennicAppDelegate::startBoardMessage() {
    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    if (!node || !manager_) {
        return;
    }
    const int index = node->deviceIndex();
    const std::uint64_t serial = manager_->DeviceSerial(index);
    if (serial == 0) {
        return;  // the device is gone
    }
    if (boardSession_ && boardSession_->index == index && boardSession_->serial == serial) {
        return;  // this device's overview is already on its way
    }
    if (!boardSession_ && boardCountActive() &&
        boardCountTarget_ == amd::DeviceTarget{index, serial}) {
        return;  // its figures are shown and the rest is being counted
    }
    stopBoardMessage();

    auto session = std::make_shared<BoardSession>();
    session->index = index;
    session->serial = serial;
    boardSession_ = session;

    const QString udid = node->udidNumber();
    const std::optional<std::string> deviceId =
        udid.isNull() ? std::nullopt : std::optional<std::string>(udid.toStdString());
    if (!boardConnector_) {
        boardConnector_ = std::make_unique<nimbara::JobRunner>();
    }
    // Opening the session reads from the device: off the GUI thread. The job holds the session
    // while it runs, so one stopped meanwhile is closed there when the job ends.
    using nimbara::JobRunner;
    boardConnector_->replace(
        [this, session, deviceId, index](const JobRunner::StopCheck& stop,
                                         const JobRunner::Post& post) {
            amd::AirTrafficHostHelper& helper = *session->helper;
            const bool ok =
                helper.Connect(deviceId, index) == 0 && !stop() && helper.StartReader() == 0;
            std::weak_ptr<BoardSession> weak = session;
            post([this, weak, ok] { boardSessionConnected(weak.lock(), ok); });
        },
        [target = amd::DeviceTarget{index, serial}] { return target.stillAttached(); });
}

void QuennicAppDelegate::boardSessionConnected(const std::shared_ptr<BoardSession>& session,
                                               bool ok) {
    boardConnector_->finish();
    if (!session || session != boardSession_) {
        return;
    }
    if (!ok) {
        // The device is listed, so it trusts us; what it holds in its values is shown (the
        // figures it never sent are unknown there).
        qCWarning(lcApp, "AirTrafficHost init failed");
    }
    boardDelayTimer_->start(boardFirstPoll_);
}

void QuennicAppDelegate::startBoardPolling() {
    if (!boardSession_) {
        return;
    }
    boardTimer_->start(boardInterval_);
}

void QuennicAppDelegate::stopBoardMessage() {
    stopBoardCount();
    endBoardSession();
}

void QuennicAppDelegate::endBoardSession() {
    boardDelayTimer_->stop();
    boardTimer_->stop();
    // A session still opening, which may take a device's round trips, is closed by its job when
    // that ends, never waited for here; one that is open is closed now.
    if (boardConnector_) {
        boardConnector_->stop();
    }
    boardSession_.reset();
}

std::size_t QuennicAppDelegate::boardSessionsEnding() const {
    return boardConnector_ ? boardConnector_->ending() : 0;
}

void QuennicAppDelegate::BoardMessageTimer_hander() {
    if (!boardSession_ || !manager_) {
        stopBoardMessage();
        return;
    }
    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    if (!node || node->deviceIndex() != boardSession_->index ||
        !manager_->IsAttached(boardSession_->index, boardSession_->serial)) {
        // The device this overview was started for is no longer the current, attached one.
        stopBoardMessage();
        return;
    }
    const std::shared_ptr<amd::BaseInfo> info = node->getBi();
    if (!info) {
        return;
    }
    const nimbara::PlistRef metrics = info->GetValues();
    if (!metrics || !metrics->isDict()) {
        return;  // not there yet: wait for the next tick
    }
    qCInfo(lcApp, "Board: %s", metrics->description().c_str());
    startBoardMessageThreadOnMain(*metrics);
}

void QuennicAppDelegate::startBoardMessageThreadOnMain(const nimbara::PlistValue& metrics) {
    stopBoardCount();
    boardFigures_ = StorageFigures::fromMetrics(metrics);
    qCInfo(lcApp, "appArray===%s", metrics["Application"].description().c_str());
    // What the device doesn't report is counted on the device, bound to the device the
    // overview was started for (or else the current one).
    amd::DeviceTarget target;
    if (boardSession_) {
        target = {boardSession_->index, boardSession_->serial};
    } else if (const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode(); node && manager_) {
        target = {node->deviceIndex(), manager_->DeviceSerial(node->deviceIndex())};
    }
    std::vector<nimbara::app::StorageCategory> wanted;
    if (target.deviceSerial != 0) {
        wanted = boardFigures_.startCounting();
    }
    showBoardFigures();

    // Shown once per start.
    endBoardSession();
    if (!wanted.empty()) {
        startBoardCount(target, std::move(wanted));
    }
}

void QuennicAppDelegate::showBoardFigures() {
    const StorageFigures& figures = boardFigures_;
    const StorageFigure photo = figures.photo();
    const auto bytesOf = [](const StorageFigure& figure) {
        return figure.known() ? figure.bytes : 0;
    };
    const std::uint64_t app = bytesOf(figures.app);
    const std::uint64_t music = bytesOf(figures.music);
    const std::uint64_t movie = bytesOf(figures.movie);
    const std::uint64_t photos = photo.bytes;
    {
        std::lock_guard<std::mutex> lock(objectMutex_);
        photolibFileSize_ = bytesOf(figures.photoLibrary);
        cameraFileSize_ = bytesOf(figures.cameraRoll);
    }

    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    const std::uint64_t total = node ? node->totalFileSizeNumber() : 0;
    const std::uint64_t free = node ? node->freeFileSizeNumber() : 0;
    // Categories that add up to more than the used space leave nothing for the others, which
    // also hold whatever is neither reported nor counted yet.
    std::uint64_t others = subtractSaturating(total, free);
    for (const std::uint64_t part : {app, music, movie, photos}) {
        others = subtractSaturating(others, part);
    }

    setPhotoVideoFileSize(addSaturating(photos, movie));
    if (quickScanUi_) {
        nimbara::app::quick::showBytes(quickScanUi_->devicephotolab, photoVideoFileSize());
    }

    setCurrentAppFileSize(app);
    setCurrentMusicFileSize(music);
    setCurrentVideoFileSize(movie);
    setCurrentPhotoFileSize(photos);
    setCurrentUserDataFileSize(others);

    if (!mainUi_) {
        return;
    }
    const struct {
        QLabel* label;
        const char* caption;
        const StorageFigure& figure;
    } shown[] = {{mainUi_->photoSizelab, "Photo", photo},
                 {mainUi_->musicSizelab, "Music", figures.music},
                 {mainUi_->movieSizelab, "Movie", figures.movie},
                 {mainUi_->appSizelab, "Apps", figures.app}};
    for (const auto& entry : shown) {
        setLabel(entry.label,
                 nimbara::app::storageLegendText(QString::fromLatin1(entry.caption), entry.figure));
        if (entry.label) {
            entry.label->setToolTip(nimbara::app::storageLegendToolTip(entry.figure));
        }
    }
    setLabel(mainUi_->otherSizelab,
             nimbara::app::storageLegendText(QStringLiteral("Others"), {others}));
    const QString note = nimbara::app::storageFiguresNote(figures);
    setLabel(mainUi_->storageNotReportedlab, note);
    nimbara::ui::setShown(mainUi_->storageNotReportedlab, !note.isEmpty());
    if (PRColorProgressView* bar = mainUi_->iDeviceColorView) {
        bar->setProgressValueWithMusicValue(fractionOf(music, total), fractionOf(photos, total),
                                            fractionOf(movie, total), fractionOf(app, total),
                                            fractionOf(others, total));
        bar->setCounting(figures.counting());
        bar->update();
    }
}
