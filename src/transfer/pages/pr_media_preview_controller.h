// Plays the track or video chosen on the transfer page from a local copy of it.
//
// A choice shows the view's progress bar; a track already copied plays at once without touching
// the device, any other is copied first (transfer/media_preview_copy.h). Copies run on a small
// fixed set of workers (kCopySlots at once); further choices wait in a short queue (the oldest
// waiting choice makes room for a new one: it stays uncopied and is copied when chosen again),
// and a track already being copied or waiting is not queued twice. Each copy is bound to the
// device (index AND serial) its list was read from. When a copy ends, the player shows it only
// if that track is still the one chosen in its view; a copy that failed says why on the page and
// leaves the track uncopied, so choosing it again tries again. reset() (a device change, new
// lists) stops the copies, empties the queue and hides the players.
// GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>

#include <array>
#include <deque>
#include <functional>
#include <memory>

#include "platform/job_runner.h"
#include "transfer/itunes_script_handler.h"
#include "transfer/media_preview_copy.h"
#include "transfer/pages/media_player_view.h"

struct TransferUi;

namespace nimbara::transfer {

// The music library's error alert, for a handler called on any thread: the alert is shown on the
// GUI thread (over `parent`, while it lives) and the caller goes on without waiting for it.
iTunesScriptHandler::ErrorAlert scriptErrorAlert(QWidget* parent);

class PRMediaPreviewController : public QObject {
    Q_OBJECT

  public:
    using CopyFunction = std::function<PreviewCopyResult(const MediaDeviceTarget&, PRTranMusicNode&,
                                                         const std::function<bool()>& stop)>;

    static constexpr std::size_t kCopySlots = 2;
    static constexpr std::size_t kMaxWaiting = 6;

    // `ui` outlives the controller; `status` shows a sentence on the page (empty: hide it).
    PRMediaPreviewController(TransferUi& ui, MediaPlayerFactory players,
                             std::function<void(const QString&)> status, QObject* parent,
                             CopyFunction copy = copyTrackForPreview);
    ~PRMediaPreviewController() override;

    // `track` was chosen in the music table (`video` false) or the video table, for `device`.
    void trackChosen(const std::shared_ptr<PRTranMusicNode>& track, bool video,
                     const MediaDeviceTarget& device);
    void reset();

    std::size_t copiesRunning() const;
    std::size_t copiesWaiting() const { return waiting_.size(); }
    // The player of a view, once made.
    MediaPlayerView* player(bool video) const;

  private:
    struct Request {
        std::shared_ptr<PRTranMusicNode> track;
        MediaDeviceTarget device;
    };
    struct Kind {
        std::shared_ptr<PRTranMusicNode> chosen;
        QPointer<MediaPlayerView> player;
    };

    Kind& kind(bool video) { return video ? video_ : music_; }
    bool queued(const PRTranMusicNode* track) const;
    void startWaiting();
    void copyEnded(std::size_t slot, const Request& request, const PreviewCopyResult& result);
    void show(bool video, const PRTranMusicNode& track);
    void setBusy(bool video, bool busy);
    MediaPlayerView* ensurePlayer(bool video);

    TransferUi& ui_;
    MediaPlayerFactory players_;
    std::function<void(const QString&)> status_;
    CopyFunction copy_;
    std::array<nimbara::JobRunner, kCopySlots> slots_;
    std::array<const PRTranMusicNode*, kCopySlots> copying_{};
    std::deque<Request> waiting_;
    Kind music_;
    Kind video_;
};

}  // namespace nimbara::transfer
