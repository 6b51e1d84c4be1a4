// The status page's storage overview: a media-sync session of its own for the current device,
// a wait, then one poll a second until the device's storage metrics are there; they are shown
// once and the session is closed.
//
// One overview at a time, bound to the device (index and serial) it was started for: it stops
// when that device goes, when another device becomes current, and when the hub is destroyed.
#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <atomic>
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
#include "device/device_status.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "platform/worker_reaper.h"
#include "ui/color_progress_view.h"

struct QuennicAppDelegate::BoardSession {
    int index = -1;
    std::uint64_t serial = 0;
    std::unique_ptr<amd::AirTrafficHostHelper> helper =
        std::make_unique<amd::AirTrafficHostHelper>();
    std::thread connector;
    // Set by the connector as its very last step: from then on the destructor never waits.
    std::shared_ptr<std::atomic<bool>> connectorDone = std::make_shared<std::atomic<bool>>(false);

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

// One storage category as the device reported it.
struct Category {
    std::uint64_t bytes = 0;
    bool known = true;  // false: the device marks it as something it doesn't report
};

// "_PhysicalSize" under the path; a missing key or a negative number counts 0. A group or item
// the device marks with kMetricUnknown is not known.
Category physicalSize(const nimbara::PlistValue& metrics, const char* group,
                      const char* item = nullptr) {
    const nimbara::PlistValue* node = metrics.find(group);
    if (node && item) {
        node = node->find(item);
    }
    if (node && node->isDict()) {
        const nimbara::PlistValue* unknown = node->find(amd::kMetricUnknown);
        if (unknown && unknown->toBool(false)) {
            return {0, false};
        }
    }
    const nimbara::PlistValue* size = node ? node->find("_PhysicalSize") : nullptr;
    if (!size) {
        return {};
    }
    const std::int64_t value = size->toInt64();
    return {value > 0 ? static_cast<std::uint64_t>(value) : 0, true};
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
    session->connector =
        std::thread([helper, deviceId, index, self, weak, done = session->connectorDone] {
            const bool ok = helper->Connect(deviceId, index) == 0 && helper->StartReader() == 0;
            nimbara::postToMain([self, weak, ok] {
                const std::shared_ptr<BoardSession> alive = weak.lock();
                if (self && alive) {
                    self->boardSessionConnected(alive, ok);
                }
            });
            done->store(true);
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
    std::shared_ptr<BoardSession> session = std::move(boardSession_);
    boardSession_.reset();
    if (!session || session->connectorDone->load()) {
        return;  // released here: it joins an ended connector and closes the session
    }
    // Still opening the session, which may take a device's round trips: released by the reaper
    // once the connector has ended, never waited for here.
    if (boardReaper_ == nullptr) {
        boardReaper_ = new nimbara::WorkerReaper(this);
    }
    std::shared_ptr<std::atomic<bool>> done = session->connectorDone;
    boardReaper_->retire(std::move(session), [done] { return done->load(); });
}

std::size_t QuennicAppDelegate::boardSessionsEnding() const {
    return boardReaper_ != nullptr ? boardReaper_->pending() : 0;
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

QString QuennicAppDelegate::categoryText(const QString& caption, std::uint64_t bytes, bool known) {
    return caption + QStringLiteral(": ") +
           (known ? size_to_unit(bytes) : QStringLiteral("not reported"));
}

QString QuennicAppDelegate::notReportedText(const QStringList& categories) {
    if (categories.isEmpty()) {
        return {};
    }
    QString names = categories.constFirst();
    for (qsizetype i = 1; i < categories.size(); ++i) {
        names += (i + 1 == categories.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) +
                 categories.at(i);
    }
    return QStringLiteral(
               "Not reported by this device: %1. The space they take counts under "
               "Others.")
        .arg(names);
}

void QuennicAppDelegate::startBoardMessageThreadOnMain(const nimbara::PlistValue& metrics) {
    const Category app = physicalSize(metrics, "Application");
    const Category music = physicalSize(metrics, "Media", "Music");
    const Category movie = physicalSize(metrics, "Media", "Movie");
    const Category photoLibrary = physicalSize(metrics, "Photo", "Photo");
    const Category cameraRoll = physicalSize(metrics, "Photo", "CameraRoll");
    {
        std::lock_guard<std::mutex> lock(objectMutex_);
        photolibFileSize_ = photoLibrary.bytes;
        cameraFileSize_ = cameraRoll.bytes;
    }
    std::fprintf(stderr, "appArray===%s\n", metrics["Application"].description().c_str());

    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    const std::uint64_t total = node ? node->totalFileSizeNumber() : 0;
    const std::uint64_t free = node ? node->freeFileSizeNumber() : 0;
    // The photos are known when either part of them is.
    const Category photo{addSaturating(photoLibrary.bytes, cameraRoll.bytes),
                         photoLibrary.known || cameraRoll.known};
    // Categories that add up to more than the used space leave nothing for the others, which
    // also hold whatever the device doesn't report.
    std::uint64_t others = subtractSaturating(total, free);
    for (const Category& part : {app, music, movie, photo}) {
        others = subtractSaturating(others, part.bytes);
    }

    setPhotoVideoFileSize(addSaturating(photo.bytes, movie.bytes));
    if (quickScanUi_) {
        nimbara::app::quick::showBytes(quickScanUi_->devicephotolab, photoVideoFileSize());
    }

    setCurrentAppFileSize(app.bytes);
    setCurrentMusicFileSize(music.bytes);
    setCurrentVideoFileSize(movie.bytes);
    setCurrentPhotoFileSize(photo.bytes);
    setCurrentUserDataFileSize(others);

    if (mainUi_) {
        const QString notReported = QStringLiteral("Not reported by this device");
        const struct {
            QLabel* label;
            const char* caption;
            const char* name;  // in the sentence under the legend
            const Category& size;
        } shown[] = {{mainUi_->photoSizelab, "Photo", "photos", photo},
                     {mainUi_->musicSizelab, "Music", "music", music},
                     {mainUi_->movieSizelab, "Movie", "movies", movie},
                     {mainUi_->appSizelab, "Apps", "apps", app}};
        QStringList unknown;
        for (const auto& entry : shown) {
            setLabel(entry.label, categoryText(QString::fromLatin1(entry.caption), entry.size.bytes,
                                               entry.size.known));
            if (entry.label) {
                entry.label->setToolTip(entry.size.known ? QString() : notReported);
            }
            if (!entry.size.known) {
                unknown << QString::fromLatin1(entry.name);
            }
        }
        // Photos known in part: the part left out is named, the figure holds the other.
        if (photo.known && !photoLibrary.known) {
            unknown << QStringLiteral("the photo library");
        } else if (photo.known && !cameraRoll.known) {
            unknown << QStringLiteral("the camera roll");
        }
        setLabel(mainUi_->otherSizelab, categoryText(QStringLiteral("Others"), others, true));
        setLabel(mainUi_->storageNotReportedlab, notReportedText(unknown));
        nimbara::app::setShown(mainUi_->storageNotReportedlab, !unknown.isEmpty());
        if (PRColorProgressView* bar = mainUi_->iDeviceColorView) {
            bar->setProgressValueWithMusicValue(
                fractionOf(music.bytes, total), fractionOf(photo.bytes, total),
                fractionOf(movie.bytes, total), fractionOf(app.bytes, total),
                fractionOf(others, total));
            bar->update();
        }
    }

    // Shown once per start.
    stopBoardMessage();
}
