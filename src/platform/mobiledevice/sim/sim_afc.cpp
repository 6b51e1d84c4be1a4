#include "platform/mobiledevice/sim/sim_afc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <mutex>

#include "platform/mobiledevice/sim/simulated_device.h"

namespace nimbara::md::sim {

namespace {

const char* fileKind(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFDIR:
            return "S_IFDIR";
        case S_IFLNK:
            return "S_IFLNK";
        case S_IFCHR:
            return "S_IFCHR";
        case S_IFBLK:
            return "S_IFBLK";
        case S_IFIFO:
            return "S_IFIFO";
        case S_IFSOCK:
            return "S_IFSOCK";
        default:
            return "S_IFREG";
    }
}

std::int64_t nanoseconds(const struct statx_timestamp& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

// Sets one attribute pair, reusing the strings a caller's vector already holds.
template <typename Number>
void setAttribute(std::pair<std::string, std::string>& pair, const char* key, Number value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    pair.first.assign(key);
    pair.second.assign(digits, end);
}

// One open file: a descriptor of a file inside the area.
class SimAfcFile : public AfcFile {
  public:
    SimAfcFile(std::shared_ptr<AfcSession> session, int fd, int mode)
        : session_(std::move(session)), fd_(fd), mode_(mode) {}
    ~SimAfcFile() override { close(); }

    int read(void* buffer, std::size_t& length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::size_t wanted = length;
        length = 0;
        if (fd_ < 0 || !session_->begin()) {
            return AfcError::NotConnected;
        }
        if (mode_ == AfcMode::Write) {
            return AfcError::PermissionDenied;
        }
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, wanted);
            if (n >= 0) {
                length = static_cast<std::size_t>(n);
                return AfcError::Ok;
            }
            if (errno != EINTR) {
                return AfcError::ReadError;
            }
        }
    }

    int write(const void* buffer, std::size_t length) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0 || !session_->begin()) {
            return AfcError::NotConnected;
        }
        if (mode_ == AfcMode::Read) {
            return AfcError::PermissionDenied;
        }
        const auto* bytes = static_cast<const char*>(buffer);
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::write(fd_, bytes + done, length - done);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno == ENOSPC ? AfcError::NoSpace : AfcError::WriteError;
            }
            done += static_cast<std::size_t>(n);
        }
        return AfcError::Ok;
    }

    int close() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0) {
            return AfcError::NotConnected;
        }
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? AfcError::Ok : AfcError::IoError;
    }

  private:
    std::mutex mutex_;
    std::shared_ptr<AfcSession> session_;
    int fd_;
    const int mode_;
};

}  // namespace

bool AfcSession::begin(bool attributeRead) {
    return !closed.load() && device->countOperation(attributeRead);
}

SimAfcConnection::SimAfcConnection(std::shared_ptr<SimulatedDevice> device, Area area)
    : session_(std::make_shared<AfcSession>(std::move(device), std::move(area))) {}

SimAfcConnection::~SimAfcConnection() {
    close();
}

int SimAfcConnection::readDirectory(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    std::vector<std::string> entries;
    if (int rc = session_->area.listDirectory(path, entries, &session_->folders)) {
        return rc;
    }
    names.reserve(entries.size() + 2);
    names.emplace_back(".");
    names.emplace_back("..");
    names.insert(names.end(), std::make_move_iterator(entries.begin()),
                 std::make_move_iterator(entries.end()));
    return AfcError::Ok;
}

int SimAfcConnection::fileInfo(const std::string& path,
                               std::vector<std::pair<std::string, std::string>>& info) {
    if (!session_->begin(true)) {
        info.clear();
        return AfcError::NotConnected;
    }
    struct statx st {};
    if (int rc = session_->area.describe(path, st, &session_->folders)) {
        info.clear();
        return rc;
    }
    const auto& birth = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
    info.resize(6);
    setAttribute(info[0], "st_size", st.stx_size);
    setAttribute(info[1], "st_blocks", st.stx_blocks);
    setAttribute(info[2], "st_nlink", st.stx_nlink);
    info[3].first.assign("st_ifmt");
    info[3].second.assign(fileKind(st.stx_mode));
    setAttribute(info[4], "st_mtime", nanoseconds(st.stx_mtime));
    setAttribute(info[5], "st_birthtime", nanoseconds(birth));
    return AfcError::Ok;
}

int SimAfcConnection::openFile(const std::string& path, int mode, std::unique_ptr<AfcFile>& file) {
    file.reset();
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    int access = 0;
    switch (mode) {
        case AfcMode::Read:
            access = O_RDONLY;
            break;
        case AfcMode::Write:
            access = O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case AfcMode::ReadWrite:
            access = O_RDWR | O_CREAT;
            break;
        case AfcMode::ReadWriteNew:
            access = O_RDWR | O_CREAT | O_TRUNC;
            break;
        default:
            return AfcError::InvalidArgument;
    }
    Place target;
    if (int rc = session_->area.locate(path, Area::Follow::Yes, target)) {
        return rc;
    }
    // The location is already resolved: a link appearing there now is refused, not followed.
    // O_NONBLOCK: a pipe standing in for a file must not block the open; it is refused below.
    const int flags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | access;
    const std::string name = target.name().empty() ? "." : target.name();
    int fd;
    do {
        fd = ::openat(target.folder(), name.c_str(), flags, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return afcErrorFromErrno(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool isDir = S_ISDIR(st.st_mode);
        ::close(fd);
        return isDir ? AfcError::IsDirectory : AfcError::PermissionDenied;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = std::make_unique<SimAfcFile>(session_, fd, mode);
    return AfcError::Ok;
}

int SimAfcConnection::removePath(const std::string& path) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    if (session_->device->currentFaults().refusedRemovals.count(path) != 0) {
        return AfcError::PermissionDenied;
    }
    const int rc = session_->area.removePath(path);
    session_->folders.forget(path);
    return rc;
}

int SimAfcConnection::renamePath(const std::string& from, const std::string& to) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    const int rc = session_->area.renamePath(from, to);
    session_->folders.forget(from);
    session_->folders.forget(to);
    return rc;
}

int SimAfcConnection::makeDirectory(const std::string& path) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    return session_->area.makeDirectory(path);
}

int SimAfcConnection::close() {
    if (session_->closed.exchange(true)) {
        return AfcError::NotConnected;
    }
    session_->folders.clear();
    return AfcError::Ok;
}

std::size_t SimAfcConnection::heldFolders() const {
    return session_->folders.heldBelowRoot();
}

}  // namespace nimbara::md::sim
