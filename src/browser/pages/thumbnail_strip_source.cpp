#include "browser/pages/thumbnail_strip_source.h"

#include <QDir>
#include <QFile>
#include <QSize>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/backup_folder.h"
#include "browser/thumbnail_strip_geometry.h"
#include "ui/chat_picture_loader.h"

namespace nimbara::browser {

bool storedFileReadable(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        return false;
    }
    const QByteArray name = QFile::encodeName(path);
    if (name.contains('\0')) {
        return false;
    }
    const backup::UniqueFd fd(
        ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        return false;
    }
    char first = 0;
    ssize_t got = 0;
    do {
        got = ::read(fd.get(), &first, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

BackupThumbnailSource::BackupThumbnailSource()
    : pictures_(std::make_unique<nimbara::ui::ChatPictureLoader>()) {}

BackupThumbnailSource::~BackupThumbnailSource() = default;

void BackupThumbnailSource::make(const QString& path, bool movie, Done done) {
    if (movie) {
        waiting_.push_back({path, std::move(done)});
        probeNext();
        return;
    }
    pictures_->loadFile(
        path, QSize(kThumbPixels, kThumbPixels), [done = std::move(done)](const QImage& image) {
            done(image.isNull() ? Made{Kind::NotPicture, {}} : Made{Kind::Picture, image});
        });
}

void BackupThumbnailSource::cancelAll() {
    pictures_->cancelAll();
    movies_.stop();
    waiting_.clear();
    probing_.clear();
}

// The worker checks the waiting movies as one batch; the next batch starts when it is back.
void BackupThumbnailSource::probeNext() {
    if (movies_.busy() || waiting_.empty()) {
        return;
    }
    probing_ = std::move(waiting_);
    waiting_.clear();
    std::vector<QString> paths;
    paths.reserve(probing_.size());
    for (const Probe& probe : probing_) {
        paths.push_back(probe.path);
    }
    movies_.start([this, paths = std::move(paths)](const nimbara::JobRunner::StopCheck& stop,
                                                   const nimbara::JobRunner::Post& post) {
        std::vector<bool> readable;
        for (const QString& path : paths) {
            if (stop()) {
                return;
            }
            readable.push_back(storedFileReadable(path));
        }
        post([this, readable = std::move(readable)] {
            movies_.finish();
            const std::vector<Probe> batch = std::move(probing_);
            probing_.clear();
            for (std::size_t i = 0; i < batch.size() && i < readable.size(); ++i) {
                batch[i].done({readable[i] ? Kind::Movie : Kind::Unreadable, {}});
            }
            probeNext();
        });
    });
}

}  // namespace nimbara::browser
