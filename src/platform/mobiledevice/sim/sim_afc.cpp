#include "platform/mobiledevice/sim/sim_afc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/mobiledevice/sim/simulated_device.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

std::string fileKind(mode_t mode) {
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

std::string nanoseconds(const struct statx_timestamp& t) {
    const auto ns = static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
    return std::to_string(ns);
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
        if (mode_ != AfcMode::Read) {
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
        if (mode_ != AfcMode::Write) {
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

bool AfcSession::begin() {
    return !closed.load() && device->countOperation();
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
    if (int rc = session_->area.listDirectory(path, entries)) {
        return rc;
    }
    names.reserve(entries.size() + 2);
    names.emplace_back(".");
    names.emplace_back("..");
    names.insert(names.end(), entries.begin(), entries.end());
    return AfcError::Ok;
}

int SimAfcConnection::fileInfo(const std::string& path,
                               std::vector<std::pair<std::string, std::string>>& info) {
    info.clear();
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    fs::path target;
    if (int rc = session_->area.resolve(path, Area::Follow::No, target)) {
        return rc;
    }
    struct statx st {};
    if (::statx(AT_FDCWD, target.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME,
                &st) != 0) {
        return afcErrorFromErrno(errno);
    }
    const auto& birth = (st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_mtime;
    info.emplace_back("st_size", std::to_string(st.stx_size));
    info.emplace_back("st_blocks", std::to_string(st.stx_blocks));
    info.emplace_back("st_nlink", std::to_string(st.stx_nlink));
    info.emplace_back("st_ifmt", fileKind(st.stx_mode));
    info.emplace_back("st_mtime", nanoseconds(st.stx_mtime));
    info.emplace_back("st_birthtime", nanoseconds(birth));
    return AfcError::Ok;
}

int SimAfcConnection::openFile(const std::string& path, int mode, std::unique_ptr<AfcFile>& file) {
    file.reset();
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    if (mode != AfcMode::Read && mode != AfcMode::Write) {
        return AfcError::InvalidArgument;
    }
    fs::path target;
    if (int rc = session_->area.resolve(path, Area::Follow::Yes, target)) {
        return rc;
    }
    // The location is already resolved: a link appearing there now is refused, not followed.
    const int flags = O_CLOEXEC | O_NOFOLLOW |
                      (mode == AfcMode::Read ? O_RDONLY : (O_WRONLY | O_CREAT | O_TRUNC));
    int fd;
    do {
        fd = ::open(target.c_str(), flags, 0644);
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
    file = std::make_unique<SimAfcFile>(session_, fd, mode);
    return AfcError::Ok;
}

int SimAfcConnection::removePath(const std::string& path) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    return session_->area.removePath(path);
}

int SimAfcConnection::renamePath(const std::string& from, const std::string& to) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    return session_->area.renamePath(from, to);
}

int SimAfcConnection::makeDirectory(const std::string& path) {
    if (!session_->begin()) {
        return AfcError::NotConnected;
    }
    return session_->area.makeDirectory(path);
}

int SimAfcConnection::close() {
    return session_->closed.exchange(true) ? AfcError::NotConnected : AfcError::Ok;
}

}  // namespace nimbara::md::sim
