#include "transfer/pages/pr_media_preview_controller.h"

#include <QDebug>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>

#include "platform/log_categories.h"
#include "platform/main_thread.h"
#include "transfer/pages/transfer_ui.h"
#include "ui/alerts.h"
#include "ui/view_helpers.h"

namespace nimbara::transfer {

namespace {
constexpr const char* kMusicImage = "defaultMuisc";
}

iTunesScriptHandler::ErrorAlert scriptErrorAlert(QWidget* parent) {
    QPointer<QWidget> over(parent);
    return [over](const QString& title, const QString& text, const QString& button) {
        postToMain([over, title, text, button] {
            Alerts::Question question;
            question.message = title;
            question.informativeText = text;
            question.defaultButton = button;
            Alerts::ask(over.data(), question);
        });
    };
}

PRMediaPreviewController::PRMediaPreviewController(TransferUi& ui, MediaPlayerFactory players,
                                                   std::function<void(const QString&)> status,
                                                   QObject* parent, CopyFunction copy)
    : QObject(parent),
      ui_(ui),
      players_(std::move(players)),
      status_(std::move(status)),
      copy_(std::move(copy)) {}

PRMediaPreviewController::~PRMediaPreviewController() {
    for (auto& slot : slots_) {
        slot.stop();
    }
}

std::size_t PRMediaPreviewController::copiesRunning() const {
    return static_cast<std::size_t>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& slot) { return slot.busy(); }));
}

MediaPlayerView* PRMediaPreviewController::player(bool video) const {
    return video ? video_.player.data() : music_.player.data();
}

bool PRMediaPreviewController::queued(const PRTranMusicNode* track) const {
    return std::find(copying_.begin(), copying_.end(), track) != copying_.end() ||
           std::any_of(waiting_.begin(), waiting_.end(),
                       [track](const Request& r) { return r.track.get() == track; });
}

void PRMediaPreviewController::trackChosen(const std::shared_ptr<PRTranMusicNode>& track,
                                           bool video, const MediaDeviceTarget& device) {
    if (!track) {
        return;
    }
    Kind& k = kind(video);
    k.chosen = track;
    if (hasUsableCopy(*track)) {
        show(video, *track);
        return;
    }
    setBusy(video, true);
    if (queued(track.get())) {
        return;
    }
    if (waiting_.size() >= kMaxWaiting) {
        waiting_.pop_front();
    }
    waiting_.push_back({track, device});
    startWaiting();
}

void PRMediaPreviewController::startWaiting() {
    for (std::size_t slot = 0; slot < slots_.size() && !waiting_.empty(); ++slot) {
        if (slots_[slot].busy()) {
            continue;
        }
        Request request = std::move(waiting_.front());
        waiting_.pop_front();
        copying_[slot] = request.track.get();
        slots_[slot].start(
            [this, slot, request, copy = copy_](const nimbara::JobRunner::StopCheck& stop,
                                                const nimbara::JobRunner::Post& post) {
                auto result =
                    std::make_shared<PreviewCopyResult>(copy(request.device, *request.track, stop));
                post([this, slot, request, result] { copyEnded(slot, request, *result); });
            });
    }
}

void PRMediaPreviewController::copyEnded(std::size_t slot, const Request& request,
                                         const PreviewCopyResult& result) {
    slots_[slot].finish();
    copying_[slot] = nullptr;
    for (bool video : {false, true}) {
        Kind& k = kind(video);
        if (k.chosen.get() != request.track.get()) {
            continue;
        }
        if (result.playable() && hasUsableCopy(*request.track)) {
            show(video, *request.track);
        } else {
            setBusy(video, false);
            if (!result.error.empty()) {
                qCWarning(lcTransfer).noquote() << "Transfer: a track could not be copied to play:"
                                                << QString::fromStdString(result.error);
            }
            status_(previewCopyStatusText(result.status == PreviewCopyStatus::AlreadyCopied
                                              ? PreviewCopyStatus::Failed
                                              : result.status));
        }
    }
    startWaiting();
}

void PRMediaPreviewController::setBusy(bool video, bool busy) {
    QProgressBar* bar = video ? ui_.videoProgress : ui_.musicProgress;
    bar->setVisible(busy);
}

MediaPlayerView* PRMediaPreviewController::ensurePlayer(bool video) {
    Kind& k = kind(video);
    if (k.player) {
        return k.player;
    }
    QWidget* place = video ? ui_.videoPlayView : ui_.musicPlayView;
    auto* layout = qobject_cast<QVBoxLayout*>(place->layout());
    if (layout == nullptr) {
        layout = new QVBoxLayout(place);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    auto* view = new MediaPlayerView(players_(video), place);
    view->setObjectName(video ? QStringLiteral("videoPlayer") : QStringLiteral("musicPlayer"));
    layout->addWidget(view);
    connect(view, &MediaPlayerView::failed, this, [this](const QString& text) { status_(text); });
    if (video) {
        place->setMinimumHeight(260);
    } else {
        connect(view, &MediaPlayerView::coverChanged, this, [this](const QImage& cover) {
            if (cover.isNull()) {
                ui::setImageViewImage(ui_.musicImageView, QLatin1String(kMusicImage));
            } else {
                ui_.musicImageView->setProperty("imageName", QString());
                ui_.musicImageView->setPixmap(QPixmap::fromImage(cover).scaled(
                    ui_.musicImageView->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
            }
        });
    }
    k.player = view;
    return view;
}

void PRMediaPreviewController::show(bool video, const PRTranMusicNode& track) {
    const QString type = track.musicType();
    if (type != QLatin1String(video ? "Video" : "Music")) {
        setBusy(video, false);
        return;  // a row of another kind: nothing is shown
    }
    MediaPlayerView* view = ensurePlayer(video);
    // One thing plays at a time: the other view's player pauses.
    if (MediaPlayerView* other = player(!video);
        other != nullptr && other->backend()->isPlaying()) {
        other->togglePlay();
    }
    if (!video) {
        ui::setImageViewImage(ui_.musicImageView, QLatin1String(kMusicImage));
    }
    view->load(track.bCopyLocationPath());
    (video ? ui_.videoPlayView : ui_.musicPlayView)->show();
    setBusy(video, false);
    status_(QString());
}

void PRMediaPreviewController::reset() {
    for (auto& slot : slots_) {
        slot.stop();
    }
    copying_.fill(nullptr);
    waiting_.clear();
    for (bool video : {false, true}) {
        Kind& k = kind(video);
        k.chosen.reset();
        if (k.player) {
            k.player->clear();
        }
        (video ? ui_.videoPlayView : ui_.musicPlayView)->hide();
        setBusy(video, false);
    }
}

}  // namespace nimbara::transfer
