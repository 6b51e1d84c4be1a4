#include "ui/chat_picture_loader.h"

#include "backup/backup_folder.h"
#include "platform/job_queue.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbara::ui {
namespace {

// The bytes of a regular file of at most `limit` bytes; null otherwise. Opening never blocks (a
// pipe or a device is refused after the open, before any read), and a link is not followed.
QByteArray readRegularFile(const QString& path, std::int64_t limit) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0')) {
        return {};
    }
    const backup::UniqueFd fd(
        ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd.valid()) {
        return {};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 ||
        st.st_size > limit) {
        return {};
    }
    QByteArray bytes(static_cast<qsizetype>(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got =
            ::read(fd.get(), bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // the file shrank: decode what is there
        }
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

}  // namespace

QImage decodeChatPictureData(const QByteArray& data, const QSize& box) {
    if (data.isEmpty() || box.isEmpty()) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(data);
    if (!buffer.open(QIODevice::ReadOnly)) {
        return {};
    }
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid()) {
        if (static_cast<std::int64_t>(full.width()) * full.height() > kMaxChatPicturePixels) {
            return {};
        }
        if (full.width() > box.width() || full.height() > box.height()) {
            reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return {};
    }
    if (image.width() > box.width() || image.height() > box.height()) {
        image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QImage decodeChatPictureFile(const QString& path, const QSize& box) {
    // A path from the backup is used only as the absolute path it must be; a relative one would
    // be read from wherever the program happens to run.
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        return {};
    }
    return decodeChatPictureData(readRegularFile(path, kMaxChatPictureBytes), box);
}

// What the jobs share with the loader: the loader's address while it lives. A job queues its
// picture to the loader under the mutex, so the loader can't go in between.
struct ChatPictureLoader::Shared {
    std::mutex mutex;
    ChatPictureLoader* loader = nullptr;  // null once the loader went
};

ChatPictureLoader::ChatPictureLoader(QObject* parent)
    : QObject(parent), shared_(std::make_shared<Shared>()), queue_(std::make_unique<JobQueue>()) {
    shared_->loader = this;
}

ChatPictureLoader::~ChatPictureLoader() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->loader = nullptr;
    }
    queue_.reset();  // loads not started are dropped; a running decode is not waited for
}

void ChatPictureLoader::loadFile(const QString& path, const QSize& box, Done done) {
    post([path, box] { return decodeChatPictureFile(path, box); }, std::move(done));
}

void ChatPictureLoader::loadData(const QByteArray& data, const QSize& box, Done done) {
    post([data, box] { return decodeChatPictureData(data, box); }, std::move(done));
}

void ChatPictureLoader::cancelAll() {
    queue_->reset();
    outstanding_ = 0;
}

void ChatPictureLoader::post(std::function<QImage()> decode, Done done) {
    ++outstanding_;
    // The queue's generation now is the one the job belongs to (only this thread resets it).
    const std::uint64_t generation = queue_->generation();
    queue_->post([shared = shared_, generation, decode = std::move(decode),
                  done = std::move(done)](const JobQueue::StopCheck& stop) mutable {
        QImage image = decode();
        std::lock_guard<std::mutex> lock(shared->mutex);
        ChatPictureLoader* loader = shared->loader;
        if (loader == nullptr || stop()) {
            return;
        }
        // Queued to the loader's (GUI) thread; dropped with the loader if it goes first.
        QMetaObject::invokeMethod(
            loader,
            [loader, generation, image = std::move(image), done = std::move(done)] {
                if (!loader->queue_->isCurrent(generation)) {
                    return;  // cancelled meanwhile
                }
                if (loader->outstanding_ > 0) {
                    --loader->outstanding_;
                }
                done(image);
            },
            Qt::QueuedConnection);
    });
}

}  // namespace nimbara::ui
