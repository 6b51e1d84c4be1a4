// Decodes the pictures of the chat column (attachment pictures and the other party's picture) on
// a worker thread, scaled down to the box they are shown in, and hands each back on the GUI
// thread. The GUI thread never decodes a picture and never waits for the worker.
//
// The loader owns a job queue: its jobs hold no pointer to the loader or to any widget, and
// results reach the GUI thread only while the loader lives and the load was not cancelled. When
// the loader goes, the loads not started are dropped; a decode still running is left to finish on
// its own (touching nothing of the loader), never waited for.
//
// Pictures come from a backup and are not trusted: only an absolute path to a regular file of at
// most kMaxChatPictureBytes is read (never a path relative to the working folder, never a pipe or
// a device, which could block the worker, never a link out of the backup), and a picture larger
// than kMaxChatPicturePixels is not decoded. Any failure hands back a null image.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace nimbara {
class JobQueue;
}

namespace nimbara::ui {

inline constexpr std::int64_t kMaxChatPictureBytes = 32 * 1024 * 1024;
inline constexpr std::int64_t kMaxChatPicturePixels = 64LL * 1024 * 1024;

// The picture in the file at `path`, scaled down (never up) to fit `box`; null when the path is
// not absolute, the file is no regular file, too large, or not a picture. Any thread.
QImage decodeChatPictureFile(const QString& path, const QSize& box);
// The same for picture bytes.
QImage decodeChatPictureData(const QByteArray& data, const QSize& box);

class ChatPictureLoader : public QObject {
    Q_OBJECT
  public:
    // Receives the picture (null when it could not be read) on the GUI thread.
    using Done = std::function<void(const QImage&)>;

    explicit ChatPictureLoader(QObject* parent = nullptr);
    ~ChatPictureLoader() override;
    ChatPictureLoader(const ChatPictureLoader&) = delete;
    ChatPictureLoader& operator=(const ChatPictureLoader&) = delete;

    void loadFile(const QString& path, const QSize& box, Done done);
    void loadData(const QByteArray& data, const QSize& box, Done done);
    // Drops every load not handed back yet: their `done` never runs.
    void cancelAll();
    // Loads asked for and neither handed back nor dropped.
    std::size_t outstanding() const { return outstanding_; }

  private:
    struct Shared;
    void post(std::function<QImage()> decode, Done done);

    std::shared_ptr<Shared> shared_;
    std::unique_ptr<JobQueue> queue_;
    std::size_t outstanding_ = 0;
};

}  // namespace nimbara::ui
