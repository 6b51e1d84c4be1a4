// The player of the transfer page's music and video views: play and pause, a position slider
// and the time, over a player behind a small interface so the page can be driven without sound
// or video hardware.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSlider;

namespace nimbara::transfer {

// What the view plays through. Signals arrive on the GUI thread; nothing here blocks.
class MediaPlayerBackend : public QObject {
    Q_OBJECT

  public:
    using QObject::QObject;

    virtual void setSource(const QString& localFile) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void setPosition(qint64 ms) = 0;
    virtual bool isPlaying() const = 0;
    // Where a video shows, owned by the backend's caller once taken; null for sound only.
    virtual QWidget* takeVideoOutput() { return nullptr; }

  signals:
    void positionChanged(qint64 ms);
    void durationChanged(qint64 ms);
    void playingChanged(bool playing);
    // The picture the file carries (a cover, or a video's first frame), once known.
    void coverChanged(const QImage& cover);
    void failed(const QString& text);
};

// Makes the backend for sound (`video` false) or for video.
using MediaPlayerFactory = std::function<std::unique_ptr<MediaPlayerBackend>(bool video)>;
// The Qt Multimedia player.
MediaPlayerFactory qtMediaPlayerFactory();

// "m:ss / m:ss" (hours when the length has any), of a position and a length in ms.
QString playTimeText(qint64 positionMs, qint64 durationMs);

class MediaPlayerView : public QWidget {
    Q_OBJECT

  public:
    MediaPlayerView(std::unique_ptr<MediaPlayerBackend> backend, QWidget* parent);
    ~MediaPlayerView() override;

    // Loads the local file, paused at its start.
    void load(const QString& localFile);
    // Pauses and forgets the file.
    void clear();
    void togglePlay();

    QString file() const { return file_; }
    MediaPlayerBackend* backend() const { return backend_.get(); }
    QPushButton* playButton() const { return playButton_; }
    QSlider* positionSlider() const { return slider_; }
    QLabel* timeLabel() const { return timeLabel_; }
    QWidget* videoOutput() const { return video_; }

  signals:
    void coverChanged(const QImage& cover);
    void failed(const QString& text);

  private:
    void showTime();

    std::unique_ptr<MediaPlayerBackend> backend_;
    QWidget* video_ = nullptr;
    QPushButton* playButton_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* timeLabel_ = nullptr;
    QString file_;
    qint64 position_ = 0;
    qint64 duration_ = 0;
};

}  // namespace nimbara::transfer
