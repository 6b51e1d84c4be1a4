#include "ui/chat_picture_loader.h"

#include "backup/backup_folder.h"
#include "platform/serial_worker.h"
#include "platform/worker_reaper.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPointer>

#include <atomic>
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

// Workers still running a decode when their loader went, joined once they have ended. Lives under
// the application; what still runs at exit is waited for then.
void retire(std::shared_ptr<SerialWorker> worker) {
    if (!worker || worker->idle()) {
        return;  // its thread only waits for work: releasing it ends it at once
    }
    static QPointer<WorkerReaper> reaper;
    if (reaper.isNull()) {
        if (QCoreApplication::instance() == nullptr) {
            return;
        }
        reaper = new WorkerReaper(QCoreApplication::instance());
    }
    SerialWorker* running = worker.get();
    reaper->retire(std::move(worker), [running] { return running->idle(); });
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

// What the jobs share with the loader: the loader's address while it lives, and the generation
// of loads it still wants.
struct ChatPictureLoader::Shared {
    std::mutex mutex;
    ChatPictureLoader* loader = nullptr;  // null once the loader went
    std::atomic<std::uint64_t> generation{0};
};

ChatPictureLoader::ChatPictureLoader(QObject* parent)
    : QObject(parent),
      shared_(std::make_shared<Shared>()),
      worker_(std::make_shared<SerialWorker>()) {
    shared_->loader = this;
}

ChatPictureLoader::~ChatPictureLoader() {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->loader = nullptr;
        ++shared_->generation;
    }
    retire(std::move(worker_));
}

void ChatPictureLoader::loadFile(const QString& path, const QSize& box, Done done) {
    post([path, box] { return decodeChatPictureFile(path, box); }, std::move(done));
}

void ChatPictureLoader::loadData(const QByteArray& data, const QSize& box, Done done) {
    post([data, box] { return decodeChatPictureData(data, box); }, std::move(done));
}

void ChatPictureLoader::cancelAll() {
    ++shared_->generation;
    outstanding_ = 0;
}

void ChatPictureLoader::post(std::function<QImage()> decode, Done done) {
    ++outstanding_;
    const std::uint64_t generation = shared_->generation.load();
    worker_->post([shared = shared_, generation, decode = std::move(decode),
                   done = std::move(done)]() mutable {
        if (shared->generation.load() != generation) {
            return;  // cancelled before it started
        }
        QImage image = decode();
        std::lock_guard<std::mutex> lock(shared->mutex);
        ChatPictureLoader* loader = shared->loader;
        if (loader == nullptr || shared->generation.load() != generation) {
            return;
        }
        // Queued to the loader's (GUI) thread; dropped with the loader if it goes first.
        QMetaObject::invokeMethod(
            loader,
            [loader, shared, generation, image = std::move(image), done = std::move(done)] {
                if (shared->generation.load() != generation) {
                    return;
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
