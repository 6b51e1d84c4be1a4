// The status page's storage overview: a media-sync session of its own for the current device,
// a wait, then one poll a second until the device's storage metrics are there; they are shown
// once and the session is closed.
//
// One overview at a time, bound to the device (index and serial) it was started for: it stops
// when that device goes, when another device becomes current, and when the hub is destroyed.
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <cstdio>
#include <thread>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app/quick_scan_view_helpers.h"
#include "app/quick_scan_window_ui.h"
#include "app/view_helpers.h"
#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "ui/color_progress_view.h"

struct QuennicAppDelegate::BoardSession {
    int index = -1;
    std::uint64_t serial = 0;
    std::unique_ptr<amd::AirTrafficHostHelper> helper =
        std::make_unique<amd::AirTrafficHostHelper>();
    std::thread connector;

    ~BoardSession() {
        if (connector.joinable()) {
            connector.join();
        }
        helper->Stop();
    }
};

using nimbara::app::addSaturating;
using nimbara::app::fractionOf;
using nimbara::app::subtractSaturating;

namespace {

// "_PhysicalSize" under the path; a missing key or a negative number counts 0.
std::uint64_t physicalSize(const nimbara::PlistValue& metrics, const char* group,
                           const char* item = nullptr) {
    const nimbara::PlistValue* node = metrics.find(group);
    if (node && item) {
        node = node->find(item);
    }
    const nimbara::PlistValue* size = node ? node->find("_PhysicalSize") : nullptr;
    if (!size) {
        return 0;
    }
    const std::int64_t value = size->toInt64();
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

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
    stopBoardMessage();

    auto session = std::make_shared<BoardSession>();
    session->index = index;
    session->serial = serial;
    boardSession_ = session;

    const QString udid = node->udidNumber();
    const std::optional<std::string> deviceId =
        udid.isNull() ? std::nullopt : std::optional<std::string>(udid.toStdString());
    QPointer<QuennicAppDelegate> self(this);
    std::weak_ptr<BoardSession> weak = session;
    amd::AirTrafficHostHelper* helper = session->helper.get();
    // Opening the session reads from the device: off the GUI thread. The session object joins
    // this thread before it goes.
    session->connector = std::thread([helper, deviceId, index, self, weak] {
        const bool ok = helper->Connect(deviceId, index) == 0 && helper->StartReader() == 0;
        nimbara::postToMain([self, weak, ok] {
            const std::shared_ptr<BoardSession> alive = weak.lock();
            if (self && alive) {
                self->boardSessionConnected(alive, ok);
            }
        });
    });
}

void QuennicAppDelegate::boardSessionConnected(const std::shared_ptr<BoardSession>& session,
                                               bool ok) {
    if (session != boardSession_) {
        return;  // a session stopped meanwhile
    }
    if (!ok) {
        std::fprintf(stderr, "AirTrafficHost init failed\n");
        boardSession_.reset();
        return;
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
    boardDelayTimer_->stop();
    boardTimer_->stop();
    boardSession_.reset();  // joins the connector, closes the session and joins its reader
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
    std::fprintf(stderr, "Board: %s\n", metrics->description().c_str());
    startBoardMessageThreadOnMain(*metrics);
}

void QuennicAppDelegate::startBoardMessageThreadOnMain(const nimbara::PlistValue& metrics) {
    const std::uint64_t app = physicalSize(metrics, "Application");
    const std::uint64_t music = physicalSize(metrics, "Media", "Music");
    const std::uint64_t movie = physicalSize(metrics, "Media", "Movie");
    const std::uint64_t photoLibrary = physicalSize(metrics, "Photo", "Photo");
    const std::uint64_t cameraRoll = physicalSize(metrics, "Photo", "CameraRoll");
    {
        std::lock_guard<std::mutex> lock(objectMutex_);
        photolibFileSize_ = photoLibrary;
        cameraFileSize_ = cameraRoll;
    }
    std::fprintf(stderr, "appArray===%s\n", metrics["Application"].description().c_str());

    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    const std::uint64_t total = node ? node->totalFileSizeNumber() : 0;
    const std::uint64_t free = node ? node->freeFileSizeNumber() : 0;
    const std::uint64_t photo = addSaturating(photoLibrary, cameraRoll);
    // Categories that add up to more than the used space leave nothing for the others.
    std::uint64_t others = subtractSaturating(total, free);
    for (std::uint64_t part : {app, music, movie, photo}) {
        others = subtractSaturating(others, part);
    }

    setPhotoVideoFileSize(addSaturating(photo, movie));
    if (quickScanUi_) {
        nimbara::app::quick::showBytes(quickScanUi_->devicephotolab, photoVideoFileSize());
    }

    setCurrentAppFileSize(app);
    setCurrentMusicFileSize(music);
    setCurrentVideoFileSize(movie);
    setCurrentPhotoFileSize(photo);
    setCurrentUserDataFileSize(others);

    if (mainUi_) {
        setLabel(mainUi_->photoSizelab, QStringLiteral("Photo: ") + size_to_unit(photo));
        setLabel(mainUi_->musicSizelab, QStringLiteral("Music: ") + size_to_unit(music));
        setLabel(mainUi_->movieSizelab, QStringLiteral("Movie: ") + size_to_unit(movie));
        setLabel(mainUi_->appSizelab, QStringLiteral("Apps: ") + size_to_unit(app));
        setLabel(mainUi_->otherSizelab, QStringLiteral("Others: ") + size_to_unit(others));
        if (PRColorProgressView* bar = mainUi_->iDeviceColorView) {
            bar->setProgressValueWithMusicValue(fractionOf(music, total), fractionOf(photo, total),
                                                fractionOf(movie, total), fractionOf(app, total),
                                                fractionOf(others, total));
            bar->update();
        }
    }

    // Shown once per start.
    stopBoardMessage();
}
