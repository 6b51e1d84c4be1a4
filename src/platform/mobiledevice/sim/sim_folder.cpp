#include "platform/mobiledevice/sim/sim_folder.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/mobiledevice/sim/sim_layout.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

using ParentChange = DeviceFolder::ParentChange;

// Every change that can make the parent's name lead elsewhere, and the parent's own end.
constexpr std::uint32_t kParentChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                         IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

ParentChange worse(ParentChange a, ParentChange b) {
    return static_cast<int>(a) > static_cast<int>(b) ? a : b;
}

// One inotify instance for the process (instances are few per user): a watch on each parent
// folder, shared by the devices below it, each device with its own record of what it has not
// been told yet.
class ParentWatch {
  public:
    // Made once and never destroyed: a device may outlive the static objects.
    static ParentWatch& shared() {
        static ParentWatch* watch = new ParentWatch;
        return *watch;
    }

    // Starts watching the folder `folderFd`; the subscriber's id, or -1 when it can't be watched.
    int subscribe(int folderFd) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0 && !failed_) {
            fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            failed_ = fd_ < 0;
        }
        if (fd_ < 0 || folderFd < 0) {
            return -1;
        }
        const std::string path = "/proc/self/fd/" + std::to_string(folderFd);
        const int wd = ::inotify_add_watch(fd_, path.c_str(), kParentChanges);
        if (wd < 0) {
            return -1;
        }
        ++watches_[wd];
        const int id = nextId_++;
        subscribers_[id] = Subscriber{wd};
        return id;
    }

    void unsubscribe(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = subscribers_.find(id);
        if (it == subscribers_.end()) {
            return;
        }
        const int wd = it->second.wd;
        subscribers_.erase(it);
        if (--watches_[wd] == 0) {
            watches_.erase(wd);
            ::inotify_rm_watch(fd_, wd);
        }
    }

    // What the subscriber has not been told yet; Names for ever once its watch is gone.
    ParentChange changes(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        drainLocked();
        const auto it = subscribers_.find(id);
        if (it == subscribers_.end()) {
            return ParentChange::Names;
        }
        Subscriber& subscriber = it->second;
        const ParentChange change =
            subscriber.lost ? worse(subscriber.pending, ParentChange::Names) : subscriber.pending;
        subscriber.pending = ParentChange::None;
        return change;
    }

  private:
    struct Subscriber {
        int wd = -1;
        ParentChange pending = ParentChange::None;
        bool lost = false;  // the watch ended: nothing is reported any more
    };

    // Hands every queued event to the subscribers of its watch.
    void drainLocked() {
        alignas(struct inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN) {
                for (auto& [id, subscriber] : subscribers_) {
                    subscriber.pending = ParentChange::Folder;
                    subscriber.lost = true;
                }
                return;
            }
            if (n <= 0) {
                return;
            }
            for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(struct inotify_event)) <= n;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(buffer + at);
                note(*event);
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            }
        }
    }

    void note(const struct inotify_event& event) {
        // The parent itself moved or went, or events were dropped: a look along the path.
        const bool folder =
            event.mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED | IN_Q_OVERFLOW);
        for (auto& [id, subscriber] : subscribers_) {
            if (subscriber.wd == event.wd || (event.mask & IN_Q_OVERFLOW)) {
                subscriber.pending =
                    worse(subscriber.pending, folder ? ParentChange::Folder : ParentChange::Names);
                subscriber.lost = subscriber.lost || (event.mask & IN_IGNORED);
            }
        }
    }

    std::mutex mutex_;
    int fd_ = -1;
    bool failed_ = false;
    int nextId_ = 0;
    std::map<int, Subscriber> subscribers_;
    std::map<int, int> watches_;  // subscribers per watch
};

}  // namespace

struct DeviceFolder::Parent {
    Parent() = default;
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;
    ~Parent() {
        if (watch >= 0) {
            ParentWatch::shared().unsubscribe(watch);
        }
        if (fd >= 0) {
            ::close(fd);
        }
    }

    int fd = -1;  // O_PATH
    std::string name;
    int watch = -1;  // the subscription to changes of the folder's names
};

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
    DeviceFolder folder(fd, stampOf(st));
    // The folder's name in its parent, for the quick look; a path without a plain last name
    // ("dir/", "..") is looked at along the whole path instead.
    const fs::path name = dir.filename();
    if (!name.empty() && name != "." && name != "..") {
        const fs::path parent = dir.has_parent_path() ? dir.parent_path() : fs::path(".");
        folder.parent_ = std::make_unique<Parent>();
        folder.parent_->fd = ::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        folder.parent_->name = name.string();
        folder.parent_->watch = ParentWatch::shared().subscribe(folder.parent_->fd);
    }
    return folder;
}

DeviceFolder::DeviceFolder(int fd, const FileStamp& stamp)
    : fd_(fd),
      id_{stamp.dev, stamp.ino},
      stamp_(stamp),
      anchor_("/proc/self/fd/" + std::to_string(fd)) {}

DeviceFolder::DeviceFolder(DeviceFolder&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      parent_(std::move(other.parent_)),
      id_(other.id_),
      stamp_(other.stamp_),
      anchor_(std::move(other.anchor_)) {}

DeviceFolder& DeviceFolder::operator=(DeviceFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        parent_ = std::move(other.parent_);
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

bool DeviceFolder::isInItsParent() const {
    struct stat st {};
    // A link put in the folder's place is followed, as a look along the path would.
    return parent_ && parent_->fd >= 0 &&
           ::fstatat(parent_->fd, parent_->name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode) &&
           idOf(st) == id_;
}

DeviceFolder::ParentChange DeviceFolder::parentChanges() const {
    if (!parent_ || parent_->watch < 0) {
        return ParentChange::Names;
    }
    return ParentWatch::shared().changes(parent_->watch);
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
