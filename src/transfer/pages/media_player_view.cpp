#include "transfer/pages/media_player_view.h"

#include <QAudioOutput>
#include <QHBoxLayout>
#include <QLabel>
#include <QMediaMetaData>
#include <QMediaPlayer>
#include <QPushButton>
#include <QSlider>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

#include <algorithm>
#include <climits>
#include <utility>

namespace nimbara::transfer {

namespace {

class QtMediaPlayerBackend final : public MediaPlayerBackend {
  public:
    explicit QtMediaPlayerBackend(bool video) : player_(new QMediaPlayer(this)) {
        player_->setAudioOutput(new QAudioOutput(this));
        if (video) {
            video_ = new QVideoWidget();
            video_->setMinimumHeight(200);
            player_->setVideoOutput(video_);
        }
        connect(player_, &QMediaPlayer::positionChanged, this,
                &MediaPlayerBackend::positionChanged);
        connect(player_, &QMediaPlayer::durationChanged, this,
                &MediaPlayerBackend::durationChanged);
        connect(player_, &QMediaPlayer::playbackStateChanged, this,
                [this](QMediaPlayer::PlaybackState state) {
                    emit playingChanged(state == QMediaPlayer::PlayingState);
                });
        connect(player_, &QMediaPlayer::metaDataChanged, this, [this] {
            const QMediaMetaData data = player_->metaData();
            QImage cover = data.value(QMediaMetaData::CoverArtImage).value<QImage>();
            if (cover.isNull()) {
                cover = data.value(QMediaMetaData::ThumbnailImage).value<QImage>();
            }
            emit coverChanged(cover);
        });
        connect(
            player_, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString& text) {
                emit failed(text.isEmpty() ? QStringLiteral("The item can't be played.") : text);
            });
    }
    ~QtMediaPlayerBackend() override {
        // The video output may already be gone with the view that took it.
        player_->setVideoOutput(static_cast<QObject*>(nullptr));
    }

    void setSource(const QString& localFile) override {
        player_->setSource(localFile.isEmpty() ? QUrl() : QUrl::fromLocalFile(localFile));
    }
    void play() override { player_->play(); }
    void pause() override { player_->pause(); }
    void setPosition(qint64 ms) override { player_->setPosition(ms); }
    bool isPlaying() const override {
        return player_->playbackState() == QMediaPlayer::PlayingState;
    }
    QWidget* takeVideoOutput() override { return std::exchange(video_, nullptr); }

  private:
    QMediaPlayer* player_;
    QVideoWidget* video_ = nullptr;
};

QString clockText(qint64 ms, bool hours) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    if (hours) {
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

MediaPlayerFactory qtMediaPlayerFactory() {
    return [](bool video) -> std::unique_ptr<MediaPlayerBackend> {
        // Qt's GStreamer backend crashes where some of its plugins are missing (as on a plain
        // Debian 12 desktop); the FFmpeg backend plays from the same package without them. Read
        // once, when the first player is made; a choice made in the environment is kept.
        if (!qEnvironmentVariableIsSet("QT_MEDIA_BACKEND")) {
            qputenv("QT_MEDIA_BACKEND", "ffmpeg");
        }
        return std::make_unique<QtMediaPlayerBackend>(video);
    };
}

QString playTimeText(qint64 positionMs, qint64 durationMs) {
    const bool hours = std::max(positionMs, durationMs) >= 3600 * 1000;
    return clockText(positionMs, hours) + QStringLiteral(" / ") + clockText(durationMs, hours);
}

MediaPlayerView::MediaPlayerView(std::unique_ptr<MediaPlayerBackend> backend, QWidget* parent)
    : QWidget(parent), backend_(std::move(backend)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    video_ = backend_->takeVideoOutput();
    if (video_ != nullptr) {
        video_->setParent(this);
        layout->addWidget(video_, 1);
    }
    auto* controls = new QHBoxLayout();
    playButton_ = new QPushButton(QStringLiteral("Play"), this);
    playButton_->setObjectName(QStringLiteral("playButton"));
    playButton_->setEnabled(false);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("positionSlider"));
    slider_->setRange(0, 0);
    timeLabel_ = new QLabel(playTimeText(0, 0), this);
    timeLabel_->setObjectName(QStringLiteral("timeLabel"));
    controls->addWidget(playButton_);
    controls->addWidget(slider_, 1);
    layout->addLayout(controls);
    layout->addWidget(timeLabel_, 0, Qt::AlignRight);

    connect(playButton_, &QPushButton::clicked, this, &MediaPlayerView::togglePlay);
    connect(slider_, &QSlider::sliderMoved, this,
            [this](int value) { backend_->setPosition(value); });
    connect(backend_.get(), &MediaPlayerBackend::positionChanged, this, [this](qint64 ms) {
        position_ = ms;
        if (!slider_->isSliderDown()) {
            slider_->setValue(static_cast<int>(std::min<qint64>(ms, slider_->maximum())));
        }
        showTime();
    });
    connect(backend_.get(), &MediaPlayerBackend::durationChanged, this, [this](qint64 ms) {
        duration_ = std::max<qint64>(ms, 0);
        slider_->setRange(0, static_cast<int>(std::min<qint64>(duration_, INT_MAX)));
        showTime();
    });
    connect(backend_.get(), &MediaPlayerBackend::playingChanged, this, [this](bool playing) {
        playButton_->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    });
    connect(backend_.get(), &MediaPlayerBackend::coverChanged, this,
            &MediaPlayerView::coverChanged);
    connect(backend_.get(), &MediaPlayerBackend::failed, this, &MediaPlayerView::failed);
}

MediaPlayerView::~MediaPlayerView() {
    // The backend goes first: it lets go of the video output it drew into.
    backend_.reset();
}

void MediaPlayerView::load(const QString& localFile) {
    if (backend_->isPlaying()) {
        backend_->pause();
    }
    file_ = localFile;
    position_ = 0;
    duration_ = 0;
    slider_->setRange(0, 0);
    playButton_->setText(QStringLiteral("Play"));
    playButton_->setEnabled(!localFile.isEmpty());
    backend_->setSource(localFile);
    showTime();
}

void MediaPlayerView::clear() {
    load(QString());
}

void MediaPlayerView::togglePlay() {
    if (file_.isEmpty()) {
        return;
    }
    if (backend_->isPlaying()) {
        backend_->pause();
    } else {
        backend_->play();
    }
}

void MediaPlayerView::showTime() {
    timeLabel_->setText(playTimeText(position_, duration_));
}

}  // namespace nimbara::transfer
