// Where the thumbnail strip gets its thumbnails: made off the GUI thread from the backup's stored
// files, which are only read, and handed back on the GUI thread. The strip asks through
// ThumbnailSource so that tests can answer by hand.
#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "platform/job_runner.h"

namespace nimbara::ui {
class ChatPictureLoader;
}

namespace nimbara::browser {

class ThumbnailSource {
  public:
    enum class Kind {
        Picture,     // `image` holds the thumbnail
        NotPicture,  // a picture that could not be read or decoded: the file's generic icon
        Movie,       // a movie or a sound whose file can be read
        Unreadable,  // a movie or a sound whose file can't be read
    };
    struct Made {
        Kind kind = Kind::NotPicture;
        QImage image;
    };
    using Done = std::function<void(const Made&)>;

    virtual ~ThumbnailSource() = default;
    // Makes the thumbnail of the file at `path` (`movie`: audio or video); `done` runs on the GUI
    // thread, unless cancelAll() came first or the source went.
    virtual void make(const QString& path, bool movie, Done done) = 0;
    // Drops every make not handed back yet.
    virtual void cancelAll() = 0;
};

// Pictures are decoded by the chat pictures' loader (same size and pixel limits, at most
// kThumbPixels on their longest side); movies are only checked for being readable, a batch at
// a time on a worker of their own.
class BackupThumbnailSource final : public ThumbnailSource {
  public:
    BackupThumbnailSource();
    ~BackupThumbnailSource() override;

    void make(const QString& path, bool movie, Done done) override;
    void cancelAll() override;

  private:
    struct Probe {
        QString path;
        Done done;
    };
    void probeNext();

    std::unique_ptr<nimbara::ui::ChatPictureLoader> pictures_;
    nimbara::JobRunner movies_;
    std::vector<Probe> waiting_;  // movies not handed to the worker yet
    std::vector<Probe> probing_;  // the batch the worker checks
};

// A stored file that can be read: an absolute path to a regular, non-empty file (a link is not
// followed, and a pipe or a device is never read). Any thread.
bool storedFileReadable(const QString& path);

}  // namespace nimbara::browser
