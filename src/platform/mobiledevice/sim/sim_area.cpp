#include "platform/mobiledevice/sim/sim_area.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/io_uring.h>
#include <linux/openat2.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/device_path.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/openat2.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

int afcErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return AfcError::Ok;
        case ENOENT:
        case ENOTDIR:
            return AfcError::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case ELOOP:
        case EXDEV:
            return AfcError::PermissionDenied;
        case EEXIST:
            return AfcError::Exists;
        case ENOTEMPTY:
            return AfcError::NotEmpty;
        case EISDIR:
            return AfcError::IsDirectory;
        case ENOSPC:
        case EDQUOT:
            return AfcError::NoSpace;
        case EINVAL:
        case ENAMETOOLONG:
            return AfcError::InvalidArgument;
        default:
            return AfcError::IoError;
    }
}

Fd Fd::borrowed(int fd) {
    Fd f;
    f.fd_ = fd;
    return f;
}

Fd::Fd(Fd&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(std::exchange(other.owned_, false)) {}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (owned_ && fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = std::exchange(other.fd_, -1);
        owned_ = std::exchange(other.owned_, false);
    }
    return *this;
}

Fd::~Fd() {
    if (owned_ && fd_ >= 0) {
        ::close(fd_);
    }
}

fs::path Place::path() const {
    fs::path folder = "/proc/self/fd/" + std::to_string(folder_.get());
    // "<fd>/." names the folder itself rather than the descriptor's link in /proc.
    return folder / (name_.empty() ? std::string(".") : name_);
}

namespace {

// How many links one lookup follows before it gives up, as the kernel does.
constexpr int kMaxLinks = 40;

std::atomic<bool> nameByNameOnly{false};

// The components of an area path after lexical normalisation; nullopt when the text holds NUL.
std::optional<std::vector<std::string>> splitAreaPath(const std::string& path) {
    if (path.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return normalizedPathComponents(path);
}

// Whether `path` is in normal form already: "/" and names joined by single slashes, none of them
// "." or "..", and no NUL.
bool isPlainAreaPath(const std::string& path) {
    if (path.size() < 2 || path.front() != '/' || path.back() == '/' ||
        path.find('\0') != std::string::npos) {
        return false;
    }
    for (std::size_t start = 1; start < path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::size_t length = end - start;
        if (length == 0 ||
            (path[start] == '.' && (length == 1 || (length == 2 && path[start + 1] == '.')))) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            text += '/';
        }
        text += parts[i];
    }
    return text;
}

// The "/"-separated components of `text`, without empty and "." ones.
std::vector<std::string> splitLink(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string part = text.substr(start, end - start);
        if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    return parts;
}

// The target of the link `name` in `dir`; nullopt (with errno) when it cannot be read.
std::optional<std::string> readLinkAt(int dir, const std::string& name) {
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlinkat(dir, name.c_str(), target.data(), target.size());
        if (n < 0) {
            return std::nullopt;
        }
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            return target;
        }
        if (target.size() >= 65536) {
            errno = ENAMETOOLONG;
            return std::nullopt;
        }
        target.resize(target.size() * 2);
    }
}

int duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

// openat2 below `dir` with the given resolve flags; -1 with errno ENOSYS when the kernel cannot
// do it.
int openByKernel(int dir, const std::string& relative, int flags, std::uint64_t resolve) {
    if (nameByNameOnly.load(std::memory_order_relaxed)) {
        errno = ENOSYS;
        return -1;
    }
    return openat2Resolve(dir, relative, flags, resolve);
}

// Resolves `parts` below `root` name by name, never letting the kernel follow a link: each link
// met (the last name's only with `followLast`) is read and its target walked the same way from
// the link's folder. ".." never leaves `root`; an absolute target is taken only when it lies
// inside the root's real location. Gives the folder holding the last name and that name (empty
// when the walk ended on a folder itself; `folder` then borrows `root` when it is the root). A
// missing last name is a place to create, unless a link led there. -1 with errno (EXDEV for a
// way out of `root`).
int walkByName(int root, const std::vector<std::string>& parts, std::size_t count, bool followLast,
               Fd& folder, std::string& name) {
    std::deque<std::string> todo(parts.begin(), parts.begin() + static_cast<long>(count));
    std::vector<Fd> stack;  // the folders entered below `root`, innermost last
    const auto current = [&] { return stack.empty() ? root : stack.back().get(); };
    const auto take = [&](std::string last) {
        folder = stack.empty() ? Fd::borrowed(root) : std::move(stack.back());
        name = std::move(last);
        return 0;
    };
    int links = 0;
    bool lastFromLink = false;
    while (!todo.empty()) {
        std::string part = std::move(todo.front());
        todo.pop_front();
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (stack.empty()) {
                errno = EXDEV;
                return -1;
            }
            stack.pop_back();
            continue;
        }
        const bool last = todo.empty();
        struct stat st {};
        if (::fstatat(current(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT && last && !lastFromLink) {
                return take(std::move(part));
            }
            return -1;
        }
        if (S_ISLNK(st.st_mode) && (!last || followLast)) {
            if (++links > kMaxLinks) {
                errno = ELOOP;
                return -1;
            }
            const std::optional<std::string> target = readLinkAt(current(), part);
            if (!target) {
                return -1;
            }
            std::vector<std::string> next = splitLink(*target);
            if (!target->empty() && target->front() == '/') {
                // Only a target inside the area is taken, and then walked from the area's root.
                const std::optional<std::string> rootPath =
                    readLinkAt(AT_FDCWD, "/proc/self/fd/" + std::to_string(root));
                if (!rootPath) {
                    return -1;
                }
                const std::vector<std::string> prefix = splitLink(*rootPath);
                if (next.size() < prefix.size() ||
                    !std::equal(prefix.begin(), prefix.end(), next.begin())) {
                    errno = EXDEV;
                    return -1;
                }
                next.erase(next.begin(), next.begin() + static_cast<long>(prefix.size()));
                stack.clear();
            }
            lastFromLink = lastFromLink || last;
            todo.insert(todo.begin(), next.begin(), next.end());
            continue;
        }
        if (last) {
            return take(std::move(part));
        }
        if (!S_ISDIR(st.st_mode)) {
            errno = ENOTDIR;
            return -1;
        }
        // A link put there since the look above is not followed: O_NOFOLLOW refuses it.
        const int fd =
            ::openat(current(), part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        stack.emplace_back(fd);
    }
    return take({});
}

// The folder `parts[0, count)` below `root`, links followed while they stay inside: an O_PATH
// descriptor, or -1 with errno.
int openFolderBeneath(int root, const std::vector<std::string>& parts, std::size_t count) {
    int fd = openByKernel(root, joined(parts, count), O_PATH | O_DIRECTORY | O_CLOEXEC,
                          RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS);
    // The kernel refuses every absolute link; name by name tells those that stay inside.
    if (fd >= 0 || (errno != ENOSYS && errno != EXDEV)) {
        return fd;
    }
    Fd folder;
    std::string name;
    if (walkByName(root, parts, count, true, folder, name) != 0) {
        return -1;
    }
    if (name.empty()) {
        return duplicate(folder.get());
    }
    // The walk followed every link, so the name is no link (unless one was put there since).
    return ::openat(folder.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The AFC code for a folder on the way that could not be opened.
int folderError(int error) {
    return error == EXDEV || error == EACCES ? AfcError::PermissionDenied : AfcError::NotFound;
}

// The names of `path` between its slashes, appended to `parts` (empty ones left out).
void appendParts(std::string_view path, std::vector<std::string_view>& parts) {
    std::size_t start = 0;
    while (start < path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
}

// Reads the entry names of the open folder `fd` (and closes it), sorted, without "." and "..".
int readNames(int fd, std::vector<std::string>& names) {
    if (fd < 0) {
        return afcErrorFromErrno(errno);
    }
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        const int error = errno;
        ::close(fd);
        return afcErrorFromErrno(error);
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
            names.emplace_back(name);
        }
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        names.clear();
        return afcErrorFromErrno(error);
    }
    std::sort(names.begin(), names.end());
    return AfcError::Ok;
}

constexpr std::size_t kNoNews = std::numeric_limits<std::size_t>::max();

// The most folders a chain holds (from the base); deeper folders are looked up without it.
constexpr std::size_t kMaxHeldFolders = 128;

// What a chain's folders are watched for: their own move or end, and names in them removed,
// moved away or moved over (the name the chain goes on with below each is one of them).
constexpr std::uint32_t kChainWatch =
    IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;

}  // namespace

// What the folder watch knows of one chain: the watch of each link and the name below it that
// the chain goes on with. Guarded by the watch's mutex.
struct FolderWatcher {
    struct Held {
        int wd = -1;
        std::string child;
    };
    std::vector<Held> held;
    std::size_t dropFrom = kNoNews;  // the first link concerned by news not taken yet
    std::uint64_t overflowsSeen = 0;
};

namespace {

std::atomic<bool> queueReadEveryUse{false};

// A doorbell on the folder watch's queue for one thread: an io_uring (of that thread alone) with a
// multishot poll of the queue. The kernel answers the poll in the thread that owns the ring, but
// it raises the ring's "work to do" flag at once, in whatever thread or process queued the event,
// before that one's call returns. Looking at the flag costs no system call, so the queue is read
// only when it rang. Where io_uring (with those features) is missing, there is no doorbell.
class Doorbell {
  public:
    Doorbell() = default;
    Doorbell(const Doorbell&) = delete;
    Doorbell& operator=(const Doorbell&) = delete;
    ~Doorbell() {
        if (sqes_ != MAP_FAILED) {
            ::munmap(sqes_, sqesSize_);
        }
        if (rings_ != MAP_FAILED) {
            ::munmap(rings_, ringsSize_);
        }
        if (ring_ >= 0) {
            ::close(ring_);
        }
    }

    // The calling thread's doorbell on `queue`, made on first use; null where there can be none
    // or it stopped working.
    static Doorbell* ofThisThread(int queue) {
        thread_local std::unique_ptr<Doorbell> bell;
        thread_local bool unavailable = false;
        if (bell) {
            if (!bell->broken_ && bell->queue_ == queue) {
                return bell.get();
            }
            unavailable = unavailable || bell->broken_;  // no second try after a failure
            bell.reset();
        }
        if (unavailable) {
            return nullptr;
        }
        bell = std::make_unique<Doorbell>();
        if (!bell->open(queue)) {
            bell.reset();
            unavailable = true;
        }
        return bell.get();
    }

    // Whether something may have been queued since the last settle() (a new doorbell has rung).
    bool rang() const {
        return fresh_ || (__atomic_load_n(sqFlags_, __ATOMIC_ACQUIRE) & IORING_SQ_TASKRUN) != 0 ||
               __atomic_load_n(cqTail_, __ATOMIC_ACQUIRE) != *cqHead_;
    }

    // Lets the kernel answer, takes its answers and arms the poll again where it ended. Called
    // before the queue is read, so that whatever is queued after the read rings again.
    void settle() {
        fresh_ = false;
        bool ended = false;
        bool leftOver = true;
        // Answers that did not fit the queue of answers come with the next call.
        for (int round = 0; leftOver && round < 8; ++round) {
            if (enter(0, IORING_ENTER_GETEVENTS) < 0) {
                broken_ = true;
                return;
            }
            unsigned head = *cqHead_;
            const unsigned tail = __atomic_load_n(cqTail_, __ATOMIC_ACQUIRE);
            for (; head != tail; ++head) {
                ended = ended || (cqes_[head & cqMask_].flags & IORING_CQE_F_MORE) == 0;
            }
            __atomic_store_n(cqHead_, head, __ATOMIC_RELEASE);
            leftOver = (__atomic_load_n(sqFlags_, __ATOMIC_ACQUIRE) & IORING_SQ_CQ_OVERFLOW) != 0;
        }
        // An ended poll is armed again; one whose end may be among answers not taken is not
        // trusted.
        if (leftOver || (ended && !arm())) {
            broken_ = true;
        }
    }

  private:
    int enter(unsigned submit, unsigned flags) const {
        int n;
        do {
            n = static_cast<int>(
                ::syscall(SYS_io_uring_enter, ring_, submit, 0, flags, nullptr, 0));
        } while (n < 0 && errno == EINTR);
        return n;
    }

    bool open(int queue) {
        io_uring_params params{};
        // The kernel's answers wait for this thread to ask for them, and the flag tells they do.
        params.flags = IORING_SETUP_SINGLE_ISSUER | IORING_SETUP_DEFER_TASKRUN |
                       IORING_SETUP_TASKRUN_FLAG | IORING_SETUP_CQSIZE;
        params.cq_entries = 64;
        ring_ = static_cast<int>(::syscall(SYS_io_uring_setup, 2, &params));
        if (ring_ < 0 || !(params.features & IORING_FEAT_SINGLE_MMAP)) {
            return false;
        }
        ringsSize_ = std::max<std::size_t>(
            params.sq_off.array + params.sq_entries * sizeof(unsigned),
            params.cq_off.cqes + params.cq_entries * sizeof(struct io_uring_cqe));
        rings_ = ::mmap(nullptr, ringsSize_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE,
                        ring_, IORING_OFF_SQ_RING);
        sqesSize_ = params.sq_entries * sizeof(struct io_uring_sqe);
        sqes_ = ::mmap(nullptr, sqesSize_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, ring_,
                       IORING_OFF_SQES);
        if (rings_ == MAP_FAILED || sqes_ == MAP_FAILED) {
            return false;
        }
        char* rings = static_cast<char*>(rings_);
        sqFlags_ = reinterpret_cast<unsigned*>(rings + params.sq_off.flags);
        sqTail_ = reinterpret_cast<unsigned*>(rings + params.sq_off.tail);
        sqMask_ = *reinterpret_cast<unsigned*>(rings + params.sq_off.ring_mask);
        sqArray_ = reinterpret_cast<unsigned*>(rings + params.sq_off.array);
        cqHead_ = reinterpret_cast<unsigned*>(rings + params.cq_off.head);
        cqTail_ = reinterpret_cast<unsigned*>(rings + params.cq_off.tail);
        cqMask_ = *reinterpret_cast<unsigned*>(rings + params.cq_off.ring_mask);
        cqes_ = reinterpret_cast<struct io_uring_cqe*>(rings + params.cq_off.cqes);
        queue_ = queue;
        return arm();
    }

    // Submits the multishot poll of the queue.
    bool arm() {
        const unsigned tail = *sqTail_;
        const unsigned index = tail & sqMask_;
        struct io_uring_sqe* sqe = static_cast<struct io_uring_sqe*>(sqes_) + index;
        std::memset(sqe, 0, sizeof *sqe);
        sqe->opcode = IORING_OP_POLL_ADD;
        sqe->fd = queue_;
        sqe->poll32_events = POLLIN;
        sqe->len = IORING_POLL_ADD_MULTI;
        sqArray_[index] = index;
        __atomic_store_n(sqTail_, tail + 1, __ATOMIC_RELEASE);
        return enter(1, 0) == 1;
    }

    int ring_ = -1;
    int queue_ = -1;
    bool fresh_ = true;
    bool broken_ = false;
    void* rings_ = MAP_FAILED;
    std::size_t ringsSize_ = 0;
    void* sqes_ = MAP_FAILED;
    std::size_t sqesSize_ = 0;
    unsigned* sqFlags_ = nullptr;
    unsigned* sqTail_ = nullptr;
    unsigned sqMask_ = 0;
    unsigned* sqArray_ = nullptr;
    unsigned* cqHead_ = nullptr;
    unsigned* cqTail_ = nullptr;
    unsigned cqMask_ = 0;
    struct io_uring_cqe* cqes_ = nullptr;
};

// One inotify instance for the chains of the process (instances are few per user), with a watch
// on each folder held, shared by the chains that hold it.
class FolderWatch {
  public:
    // Made once and never destroyed: a chain may outlive the static objects.
    static FolderWatch& shared() {
        static FolderWatch* watch = new FolderWatch;
        return *watch;
    }

    // Watches the folder open at `fd` as the next link of `w`; false when it can't be watched.
    bool push(FolderWatcher& w, int fd) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (fd_ < 0 && !failed_) {
            fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            failed_ = fd_ < 0;
            queue_.store(fd_);
        }
        if (failed_) {
            return false;
        }
        const std::string path = "/proc/self/fd/" + std::to_string(fd);
        const int wd = ::inotify_add_watch(fd_, path.c_str(), kChainWatch);
        if (wd < 0) {
            return false;
        }
        if (w.held.empty()) {
            w.overflowsSeen = overflows_;
            w.dropFrom = kNoNews;
        }
        routes_[wd].push_back({&w, w.held.size()});
        w.held.push_back({wd, {}});
        return true;
    }

    // Stops watching the links of `w` from `count` on.
    void truncate(FolderWatcher& w, std::size_t count) {
        std::lock_guard<std::mutex> lock(mutex_);
        while (w.held.size() > count) {
            const std::size_t index = w.held.size() - 1;
            const int wd = w.held.back().wd;
            w.held.pop_back();
            const auto it = routes_.find(wd);
            if (it == routes_.end()) {
                continue;  // the kernel ended the watch already
            }
            std::erase_if(it->second,
                          [&](const Route& r) { return r.watcher == &w && r.index == index; });
            if (it->second.empty()) {
                routes_.erase(it);
                ::inotify_rm_watch(fd_, wd);
            }
        }
        if (w.dropFrom >= count) {
            w.dropFrom = kNoNews;
        }
    }

    // The name below link `index` of `w` that the chain goes on with.
    void setChild(FolderWatcher& w, std::size_t index, std::string_view name) {
        std::lock_guard<std::mutex> lock(mutex_);
        w.held[index].child.assign(name);
    }

    // Reads what happened so far: the first link of `w` concerned, or kNoNews. Taken once.
    std::size_t news(FolderWatcher& w) {
        std::lock_guard<std::mutex> lock(mutex_);
        drainLocked();
        if (failed_ || w.overflowsSeen != overflows_) {
            w.overflowsSeen = overflows_;
            w.dropFrom = kNoNews;
            return 0;  // events were lost: nothing held can be trusted
        }
        return std::exchange(w.dropFrom, kNoNews);
    }

    // news() when the calling thread's doorbell rang (or it has none); kNoNews without a system
    // call when it did not.
    std::size_t newsIfAny(FolderWatcher& w) {
        const int queue = queue_.load();
        if (queue >= 0 && !queueReadEveryUse.load(std::memory_order_relaxed)) {
            if (Doorbell* bell = Doorbell::ofThisThread(queue)) {
                if (!bell->rang()) {
                    return kNoNews;
                }
                bell->settle();
            }
        }
        return news(w);
    }

  private:
    struct Route {
        FolderWatcher* watcher;
        std::size_t index;
    };

    void drainLocked() {
        if (fd_ < 0) {
            return;
        }
        alignas(struct inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno == EAGAIN) {
                return;
            }
            if (n <= 0) {
                // Nothing is told from now on: every chain lets go, and none holds a folder again.
                failed_ = true;
                queue_.store(-1);
                ++overflows_;
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
        if (event.mask & IN_Q_OVERFLOW) {
            ++overflows_;
            return;
        }
        const auto it = routes_.find(event.wd);
        if (it == routes_.end()) {
            return;
        }
        // The folder itself moved or ended (or its watch did): it goes. A name in it changed: the
        // folder below it goes when the chain went on with that name.
        const bool itself = event.mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT);
        const std::string_view name = event.len > 0 ? std::string_view(event.name) : "";
        for (const Route& route : it->second) {
            FolderWatcher& w = *route.watcher;
            if (itself) {
                w.dropFrom = std::min(w.dropFrom, route.index);
            } else if (!name.empty() && w.held[route.index].child == name) {
                w.dropFrom = std::min(w.dropFrom, route.index + 1);
            }
        }
        if (event.mask & IN_IGNORED) {
            routes_.erase(it);  // the kernel ended the watch
        }
    }

    std::mutex mutex_;
    int fd_ = -1;
    std::atomic<int> queue_{-1};  // fd_ once made (it is never closed)
    bool failed_ = false;
    std::uint64_t overflows_ = 0;  // queue overflows and read failures so far
    std::unordered_map<int, std::vector<Route>> routes_;
};

}  // namespace

FolderChain::FolderChain() : watcher_(std::make_unique<FolderWatcher>()) {}

FolderChain::~FolderChain() {
    clear();
}

void FolderChain::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    truncateLocked(0);
}

void FolderChain::forget(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (links_.size() <= rootIndex_ + 1) {
        return;  // nothing below the area's root (which is never renamed or removed)
    }
    if (!isPlainAreaPath(path)) {
        truncateLocked(rootIndex_ + 1);
        return;
    }
    if (const std::ptrdiff_t at = findLocked(path); at >= 0) {
        truncateLocked(static_cast<std::size_t>(at));
    }
}

std::size_t FolderChain::heldBelowRoot() {
    std::lock_guard<std::mutex> lock(mutex_);
    return links_.size() > rootIndex_ + 1 ? links_.size() - rootIndex_ - 1 : 0;
}

std::ptrdiff_t FolderChain::findLocked(std::string_view folder) const {
    if (ends_.empty() || folder.size() > areaPath_.size() ||
        areaPath_.compare(0, folder.size(), folder) != 0 ||
        (folder.size() < areaPath_.size() && areaPath_[folder.size()] != '/')) {
        return -1;
    }
    for (std::size_t j = ends_.size(); j-- > 0;) {
        if (ends_[j] == folder.size()) {
            return static_cast<std::ptrdiff_t>(rootIndex_ + j);
        }
    }
    return -1;
}

void FolderChain::truncateLocked(std::size_t count) {
    if (count >= links_.size()) {
        return;
    }
    FolderWatch::shared().truncate(*watcher_, count);
    watched_ = std::min(watched_, count);
    links_.erase(links_.begin() + static_cast<std::ptrdiff_t>(count), links_.end());
    if (count == 0) {
        base_.reset();
    }
    if (count <= rootIndex_) {
        areaPath_.clear();
        ends_.clear();
    } else {
        ends_.resize(count - rootIndex_);
        areaPath_.resize(ends_.back());
    }
}

int FolderChain::folderLocked(const Area& area, std::string_view folder, bool extend) {
    if (nameByNameOnly.load(std::memory_order_relaxed) || !area.base_->valid() || !area.subValid_) {
        return -1;
    }
    if (!links_.empty() && base_ != area.base_) {
        truncateLocked(0);
    }
    std::ptrdiff_t at = findLocked(folder);
    if (at < 0 && !extend) {
        return -1;
    }
    FolderWatch& watch = FolderWatch::shared();
    if (!links_.empty()) {
        // What happened to the folders held since the last call is read before they are used (a
        // listing reads the queue; an attribute read when the doorbell rang).
        const std::size_t drop = extend ? watch.news(*watcher_) : watch.newsIfAny(*watcher_);
        if (drop < links_.size()) {
            truncateLocked(drop);
            at = findLocked(folder);
        }
    }
    if (at >= 0) {
        return links_[static_cast<std::size_t>(at)].fd.get();
    }
    if (!extend) {
        return -1;
    }
    // The names from the base: the area's own folders, then the folder's.
    std::vector<std::string_view> want;
    appendParts(area.sub_, want);
    const std::size_t rootIndex = want.size();
    appendParts(folder, want);
    if (want.size() >= kMaxHeldFolders) {
        return -1;
    }
    if (links_.empty()) {
        links_.push_back({std::string(), Fd::borrowed(area.base_->get())});
        base_ = area.base_;
        rootIndex_ = rootIndex;
        areaPath_.clear();
        ends_.clear();
        if (rootIndex_ == 0) {
            ends_.push_back(0);
        }
    }
    std::size_t keep = 1;
    while (keep < links_.size() && keep - 1 < want.size() && links_[keep].name == want[keep - 1]) {
        ++keep;
    }
    truncateLocked(keep);
    for (std::size_t i = keep - 1; i < want.size(); ++i) {
        // A folder is watched once the chain goes on below it (the last one's name is watched in
        // the one above), and the name is watched before it is opened: whatever it names from now
        // on is news.
        if (watched_ < links_.size()) {
            if (!watch.push(*watcher_, links_.back().fd.get())) {
                return -1;
            }
            ++watched_;
        }
        watch.setChild(*watcher_, links_.size() - 1, want[i]);
        std::string name(want[i]);
        int fd;
        do {
            // Never through a link: one put there is refused, and the lookup goes the usual way.
            fd = ::openat(links_.back().fd.get(), name.c_str(),
                          O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            return -1;
        }
        links_.push_back({std::move(name), Fd(fd)});
        const std::size_t index = links_.size() - 1;
        if (index == rootIndex_) {
            ends_.assign(1, 0);
        } else if (index > rootIndex_) {
            areaPath_ += '/';
            areaPath_ += links_.back().name;
            ends_.push_back(areaPath_.size());
        }
    }
    return links_.back().fd.get();
}

void Area::setNameByNameOnly(bool on) {
    nameByNameOnly.store(on);
}

void FolderChain::setQueueReadEveryUse(bool on) {
    queueReadEveryUse.store(on);
}

Area::Area(const fs::path& base, const fs::path& sub) {
    int fd;
    do {
        fd = ::open(base.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    base_ = std::make_shared<const Fd>(fd);
    for (const auto& part : sub.relative_path()) {
        const std::string name = part.string();
        if (name.empty() || name == ".") {
            continue;
        }
        subValid_ = subValid_ && isValidFileName(name);
        sub_ += (sub_.empty() ? "" : "/") + name;
    }
}

int Area::openRoot(Root& root) const {
    if (!base_->valid() || !subValid_) {
        return AfcError::NotFound;
    }
    if (sub_.empty()) {
        root = base_;
        return AfcError::Ok;
    }
    // Every folder from the base to the area's root must be a real one: no link is followed.
    int fd = openByKernel(base_->get(), sub_, O_PATH | O_DIRECTORY | O_CLOEXEC,
                          RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
    if (fd < 0 && errno != ENOSYS) {
        return errno == ELOOP ? AfcError::PermissionDenied : folderError(errno);
    }
    if (fd < 0) {
        Fd current = Fd::borrowed(base_->get());
        for (const std::string& name : splitLink(sub_)) {
            struct stat st {};
            if (::fstatat(current.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                return AfcError::NotFound;
            }
            if (S_ISLNK(st.st_mode)) {
                return AfcError::PermissionDenied;  // an area never leads out of its base
            }
            const int next = ::openat(current.get(), name.c_str(),
                                      O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) {
                return AfcError::NotFound;
            }
            current = Fd(next);
        }
        root = std::make_shared<const Fd>(std::move(current));
        return AfcError::Ok;
    }
    root = std::make_shared<const Fd>(fd);
    return AfcError::Ok;
}

int Area::check() const {
    Root root;
    return openRoot(root);
}

int Area::begin(const std::string& path, std::vector<std::string>& parts, Root& root) const {
    auto split = splitAreaPath(path);
    if (!split) {
        return AfcError::InvalidArgument;
    }
    parts = std::move(*split);
    return openRoot(root);
}

int Area::locate(const Root& root, const std::vector<std::string>& parts, Follow follow,
                 Place& out) const {
    out.root_ = root;
    out.name_.clear();
    if (parts.size() <= 1) {
        out.folder_ = Fd::borrowed(root->get());
    } else {
        out.folder_ = Fd(openFolderBeneath(root->get(), parts, parts.size() - 1));
        if (!out.folder_.valid()) {
            return folderError(errno);
        }
    }
    if (parts.empty()) {
        return AfcError::Ok;
    }
    const std::string& last = parts.back();
    struct stat st {};
    if (follow == Follow::Yes &&
        ::fstatat(out.folder(), last.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
        // Where a dangling link would lead cannot be checked, so nothing goes through it.
        if (walkByName(root->get(), parts, parts.size(), true, out.folder_, out.name_) != 0) {
            return AfcError::PermissionDenied;
        }
        return AfcError::Ok;
    }
    out.name_ = last;
    return AfcError::Ok;
}

bool Area::locateWithoutLinks(const std::string& folder, const std::string& name, Follow follow,
                              Place& out) const {
    if (!base_->valid() || !subValid_) {
        return false;
    }
    Fd parent;
    Root keep;
    if (folder.empty()) {
        parent = Fd::borrowed(base_->get());
        keep = base_;
    } else {
        const int fd = openByKernel(base_->get(), folder, O_PATH | O_DIRECTORY | O_CLOEXEC,
                                    RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
        if (fd < 0) {
            return false;  // a link on the way, a missing folder, or no openat2
        }
        parent = Fd(fd);
    }
    struct stat st {};
    if (follow == Follow::Yes &&
        ::fstatat(parent.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(st.st_mode)) {
        return false;
    }
    out.root_ = std::move(keep);
    out.folder_ = std::move(parent);
    out.name_ = name;
    return true;
}

std::string Area::relativeToBase(const std::string& folder) const {
    if (sub_.empty() || folder.empty()) {
        return sub_.empty() ? folder : sub_;
    }
    return sub_ + "/" + folder;
}

int Area::find(const std::string& path, Follow follow, std::vector<std::string>& parts,
               Place& out) const {
    auto split = splitAreaPath(path);
    if (!split) {
        return AfcError::InvalidArgument;
    }
    parts = std::move(*split);
    if (!parts.empty() && locateWithoutLinks(relativeToBase(joined(parts, parts.size() - 1)),
                                             parts.back(), follow, out)) {
        return AfcError::Ok;
    }
    Root root;
    if (int rc = openRoot(root)) {
        return rc;
    }
    return locate(root, parts, follow, out);
}

int Area::locate(const std::string& path, Follow follow, Place& out) const {
    // The usual request names an entry plainly ("/DCIM/100APPLE/IMG_0001.JPG"): its folder and
    // name are taken from the text as it stands.
    if (isPlainAreaPath(path)) {
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == 0 ? std::string() : path.substr(1, slash - 1);
        if (locateWithoutLinks(relativeToBase(folder), path.substr(slash + 1), follow, out)) {
            return AfcError::Ok;
        }
    }
    std::vector<std::string> parts;
    return find(path, follow, parts, out);
}

int Area::makeDirectory(const std::string& path, Place* out) const {
    std::vector<std::string> parts;
    Root root;
    if (int rc = begin(path, parts, root)) {
        return rc;
    }
    Fd current = Fd::borrowed(root->get());
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const char* name = parts[i].c_str();
        struct stat st {};
        if (::fstatat(current.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) {
                return afcErrorFromErrno(errno);
            }
            if (::mkdirat(current.get(), name, 0777) != 0 && errno != EEXIST) {
                return afcErrorFromErrno(errno);
            }
            if (::fstatat(current.get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                return afcErrorFromErrno(errno);
            }
        }
        int next = -1;
        if (S_ISLNK(st.st_mode)) {
            next = openFolderBeneath(root->get(), parts, i + 1);
            if (next < 0) {
                return errno == ENOTDIR ? AfcError::Exists : AfcError::PermissionDenied;
            }
        } else if (S_ISDIR(st.st_mode)) {
            next = ::openat(current.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (next < 0) {
                return afcErrorFromErrno(errno);
            }
        } else {
            return AfcError::Exists;
        }
        current = Fd(next);
    }
    if (out) {
        out->root_ = root;
        out->folder_ = std::move(current);
        out->name_.clear();
    }
    return AfcError::Ok;
}

int Area::removePath(const std::string& path) const {
    std::vector<std::string> parts;
    Place target;
    if (int rc = find(path, Follow::No, parts, target)) {
        return rc;
    }
    if (parts.empty()) {
        return AfcError::PermissionDenied;  // the area's root
    }
    struct stat st {};
    if (::fstatat(target.folder(), target.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? AfcError::NotFound : afcErrorFromErrno(errno);
    }
    const int flags = S_ISDIR(st.st_mode) ? AT_REMOVEDIR : 0;
    if (::unlinkat(target.folder(), target.name().c_str(), flags) != 0) {
        return errno == EEXIST ? AfcError::NotEmpty : afcErrorFromErrno(errno);
    }
    return AfcError::Ok;
}

int Area::renamePath(const std::string& from, const std::string& to) const {
    std::vector<std::string> fromParts;
    std::vector<std::string> toParts;
    Place source;
    Place destination;
    if (int rc = find(from, Follow::No, fromParts, source)) {
        return rc;
    }
    if (int rc = find(to, Follow::No, toParts, destination)) {
        return rc;
    }
    if (fromParts.empty() || toParts.empty()) {
        return AfcError::PermissionDenied;  // the area's root
    }
    struct stat st {};
    if (::fstatat(source.folder(), source.name().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return AfcError::NotFound;
    }
    if (::renameat(source.folder(), source.name().c_str(), destination.folder(),
                   destination.name().c_str()) != 0) {
        return afcErrorFromErrno(errno);
    }
    return AfcError::Ok;
}

int Area::listDirectory(const std::string& path, std::vector<std::string>& names,
                        FolderChain* chain) const {
    names.clear();
    if (chain && (path == "/" || isPlainAreaPath(path))) {
        int fd = -1;
        {
            std::lock_guard<std::mutex> lock(chain->mutex_);
            const int folder = chain->folderLocked(*this, path == "/" ? "" : path, true);
            if (folder >= 0) {
                do {
                    fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                } while (fd < 0 && errno == EINTR);
            }
        }
        if (fd >= 0) {
            return readNames(fd, names);
        }
    }
    Place folder;
    if (int rc = locate(path, Follow::Yes, folder)) {
        return rc;
    }
    const std::string& name = folder.name().empty() ? std::string(".") : folder.name();
    int fd;
    do {
        fd = ::openat(folder.folder(), name.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return readNames(fd, names);
}

int Area::describe(const std::string& path, struct statx& st, FolderChain* chain) const {
    constexpr unsigned kWanted = STATX_BASIC_STATS | STATX_BTIME;
    if (chain && isPlainAreaPath(path)) {
        const std::size_t slash = path.rfind('/');
        std::lock_guard<std::mutex> lock(chain->mutex_);
        const int folder =
            chain->folderLocked(*this, std::string_view(path).substr(0, slash), false);
        if (folder >= 0) {
            if (::statx(folder, path.c_str() + slash + 1, AT_SYMLINK_NOFOLLOW, kWanted, &st) != 0) {
                return afcErrorFromErrno(errno);
            }
            return AfcError::Ok;
        }
    }
    Place target;
    if (int rc = locate(path, Follow::No, target)) {
        return rc;
    }
    // The entry is named relative to its open folder: no path is looked up again.
    const bool itself = target.name().empty();
    if (::statx(target.folder(), itself ? "" : target.name().c_str(),
                AT_SYMLINK_NOFOLLOW | (itself ? AT_EMPTY_PATH : 0), kWanted, &st) != 0) {
        return afcErrorFromErrno(errno);
    }
    return AfcError::Ok;
}

}  // namespace nimbara::md::sim
