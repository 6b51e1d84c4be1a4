#include "platform/mobiledevice/sim/sim_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/mobiledevice/sim/sim_layout.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

FileStamp stampOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

FolderId idOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

void setError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

}  // namespace

std::optional<FolderId> folderIdAt(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return idOf(st);
}

std::optional<FileStamp> folderStampAt(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return std::nullopt;
    }
    return stampOf(st);
}

std::optional<FileStamp> fileStampAt(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    return stampOf(st);
}

std::optional<DeviceFolder> DeviceFolder::open(const fs::path& dir, std::string* error) {
    int fd;
    do {
        fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        setError(error, std::string("its folder cannot be opened: ") + std::strerror(errno));
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(error, std::string("its folder cannot be examined: ") + std::strerror(errno));
        ::close(fd);
        return std::nullopt;
    }
    return DeviceFolder(fd, stampOf(st));
}

DeviceFolder::DeviceFolder(int fd, const FileStamp& stamp)
    : fd_(fd),
      id_{stamp.dev, stamp.ino},
      stamp_(stamp),
      anchor_("/proc/self/fd/" + std::to_string(fd)) {}

DeviceFolder::DeviceFolder(DeviceFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      id_(other.id_),
      stamp_(other.stamp_),
      anchor_(std::move(other.anchor_)) {}

DeviceFolder& DeviceFolder::operator=(DeviceFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        id_ = other.id_;
        stamp_ = other.stamp_;
        anchor_ = std::move(other.anchor_);
    }
    return *this;
}

DeviceFolder::~DeviceFolder() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool DeviceFolder::isAt(const fs::path& path) const {
    const auto id = folderIdAt(path);
    return id && *id == id_;
}

std::optional<FileStamp> DeviceFolder::configStamp() const {
    struct stat st {};
    if (::fstatat(fd_, kDevicePlist, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return std::nullopt;
    }
    return stampOf(st);
}

std::optional<PlistValue> DeviceFolder::readConfig(std::string* error, FileStamp* stamp) const {
    int fd;
    do {
        // Never through a link, and never waiting on a fifo.
        fd = ::openat(fd_, kDevicePlist, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int code = errno;
        if (stamp) {
            *stamp = configStamp().value_or(FileStamp{});
        }
        setError(error, code == ELOOP
                            ? std::string("device.plist is a link")
                            : std::string("device.plist cannot be opened: ") + std::strerror(code));
        return std::nullopt;
    }
    struct stat st {};
    if (stamp && ::fstat(fd, &st) == 0) {
        *stamp = stampOf(st);
    }
    std::string why;
    auto config = PlistValue::readOpenFile(fd, &why, kMaxDevicePlistBytes);
    ::close(fd);
    if (!config) {
        setError(error, "device.plist: " + why);
        return std::nullopt;
    }
    if (!config->isDict()) {
        setError(error, "device.plist does not hold a dictionary");
        return std::nullopt;
    }
    return config;
}

std::string DeviceFolder::linkedArea() const {
    for (const char* area : {kMediaDir, kCrashesDir, kAppsDir, kBackupSourceDir}) {
        struct stat st {};
        if (::fstatat(fd_, area, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            return area;
        }
    }
    return {};
}

std::string udidOf(const PlistValue& config, const std::string& fallback) {
    const std::string& udid = config[kKeyLockdown][kGlobalDomain]["UniqueDeviceID"].toString();
    return udid.empty() ? fallback : udid;
}

}  // namespace nimbara::md::sim
