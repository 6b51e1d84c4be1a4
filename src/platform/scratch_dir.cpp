#include "platform/scratch_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <system_error>
#include <vector>

namespace nimbara {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRootPrefix = "nimbara-";
constexpr std::size_t kRootRandomLength = 6;  // mkdtemp's "XXXXXX"
constexpr const char* kLockName = ".lock";
constexpr const char* kNewLockName = ".lock.new";
// Folder levels entered while removing; our scratch trees are a few levels deep.
constexpr int kMaxRemoveDepth = 128;

std::mutex g_scratchMutex;
fs::path g_root;        // guarded by g_scratchMutex
pid_t g_rootOwner = 0;  // the process that made g_root
int g_lockFd = -1;      // holds the lock on g_root's ".lock"
bool g_cleanupRegistered = false;

fs::path temporaryBase() {
    const char* env = std::getenv("TMPDIR");
    if (env && env[0] == '/') {
        std::error_code ec;
        if (fs::is_directory(fs::path(env), ec)) {
            return fs::path(env);
        }
    }
    return fs::path("/tmp");
}

// Removes everything inside the open folder `dirFd` and closes it. A link is removed, never
// followed; a folder is opened relative to its parent without following a link, so nothing
// swapped in meanwhile leads outside. False when something could not be removed.
bool removeContents(int dirFd, int depth) {
    DIR* dir = fdopendir(dirFd);
    if (dir == nullptr) {
        ::close(dirFd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    const int fd = dirfd(dir);
    bool ok = true;
    for (const std::string& name : names) {
        struct stat st {};
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = ok && errno == ENOENT;
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (unlinkat(fd, name.c_str(), 0) != 0 && errno != ENOENT) {
                ok = false;
            }
            continue;
        }
        const int sub =
            depth < kMaxRemoveDepth
                ? openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                : -1;
        if (sub < 0 || !removeContents(sub, depth + 1) ||
            unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) {
            ok = false;
        }
    }
    closedir(dir);
    return ok;
}

// Removes the folder `name` of the open folder `parentFd` with its contents; false when it is
// not a real folder or something stayed.
bool removeTreeAt(int parentFd, const char* name) {
    const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    return removeContents(fd, 0) && unlinkat(parentFd, name, AT_REMOVEDIR) == 0;
}

void removeTree(const fs::path& folder) {
    removeTreeAt(AT_FDCWD, folder.c_str());
}

void removeRootLocked() {
    // A forked child that exits must not remove its parent's folder.
    if (!g_root.empty() && g_rootOwner == getpid()) {
        removeTree(g_root);
    }
    if (g_lockFd >= 0) {
        ::close(g_lockFd);
        g_lockFd = -1;
    }
    g_root.clear();
    g_rootOwner = 0;
}

void removeAtExit() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    removeRootLocked();
}

// Takes the lock of a fresh root. The lock file is made and locked under another name and then
// renamed into place, so that ".lock" is never there unlocked while its process lives.
int lockRoot(const fs::path& root) {
    const fs::path fresh = root / kNewLockName;
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        std::rename(fresh.c_str(), (root / kLockName).c_str()) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

fs::path rootLocked() {
    if (!g_root.empty()) {
        return g_root;
    }
    const std::string pattern =
        (temporaryBase() / (kRootPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {  // mode 0700
        return {};
    }
    const fs::path root(buf.data());
    const int lockFd = lockRoot(root);
    if (lockFd < 0) {
        removeTree(root);
        return {};
    }
    g_root = root;
    g_rootOwner = getpid();
    g_lockFd = lockFd;
    if (!g_cleanupRegistered) {
        g_cleanupRegistered = std::atexit(removeAtExit) == 0;
    }
    return g_root;
}

// A real folder (not a link to one) owned by us.
bool isOwnFolder(const fs::path& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// The process id in a root's name ("nimbara-<pid>-XXXXXX"); nullopt for any other name.
std::optional<pid_t> rootNamePid(const std::string& name) {
    const std::string prefix = kRootPrefix;
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return std::nullopt;
    }
    const std::size_t dash = name.find('-', prefix.size());
    if (dash == std::string::npos || dash == prefix.size() || dash - prefix.size() > 10 ||
        name.size() != dash + 1 + kRootRandomLength) {
        return std::nullopt;
    }
    long long pid = 0;
    for (std::size_t i = prefix.size(); i < dash; ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return std::nullopt;
        }
        pid = pid * 10 + (name[i] - '0');
    }
    for (std::size_t i = dash + 1; i < name.size(); ++i) {
        const char c = name[i];
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!ok) {
            return std::nullopt;
        }
    }
    if (pid <= 0 || pid > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

bool processExists(pid_t pid) {
    return kill(pid, 0) == 0 || errno == EPERM;
}

// Whether the root open as `rootFd` was left behind: its lock can be taken, or it has no lock
// yet and the process named in it is gone.
bool isAbandonedRoot(int rootFd, pid_t namedPid) {
    const int lockFd = openat(rootFd, kLockName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (lockFd < 0) {
        return errno == ENOENT && !processExists(namedPid);
    }
    struct stat st {};
    // The lock is dropped again when lockFd closes; a root still being removed by another
    // sweep is found abandoned twice, which does no harm.
    const bool abandoned =
        fstat(lockFd, &st) == 0 && S_ISREG(st.st_mode) && flock(lockFd, LOCK_EX | LOCK_NB) == 0;
    ::close(lockFd);
    return abandoned;
}

}  // namespace

bool isSafePathComponent(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

fs::path scratchRoot() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    return rootLocked();
}

fs::path scratchFolder(const std::string& name) {
    const fs::path relative(name);
    if (name.empty() || relative.is_absolute()) {
        return {};
    }
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    fs::path current = rootLocked();
    if (current.empty()) {
        return {};
    }
    for (const fs::path& part : relative) {
        const std::string component = part.string();
        if (component.empty()) {
            continue;  // a trailing "/"
        }
        if (!isSafePathComponent(component)) {
            return {};
        }
        current /= component;
        if (mkdir(current.c_str(), 0700) != 0 && errno != EEXIST) {
            return {};
        }
        if (!isOwnFolder(current)) {
            return {};
        }
    }
    return current;
}

void removeScratchRoot() {
    std::lock_guard<std::mutex> lock(g_scratchMutex);
    removeRootLocked();
}

std::size_t removeAbandonedScratchRoots(const fs::path& base) {
    const int baseFd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd < 0) {
        return 0;
    }
    std::vector<std::string> names;
    if (DIR* dir = fdopendir(::dup(baseFd))) {
        while (const dirent* entry = readdir(dir)) {
            names.emplace_back(entry->d_name);
        }
        closedir(dir);
    }
    std::size_t removed = 0;
    for (const std::string& name : names) {
        const std::optional<pid_t> pid = rootNamePid(name);
        if (!pid) {
            continue;
        }
        struct stat st {};
        if (fstatat(baseFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(st.st_mode) ||
            st.st_uid != geteuid() || (st.st_mode & 07777) != 0700) {
            continue;
        }
        const int rootFd =
            openat(baseFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (rootFd < 0) {
            continue;
        }
        struct stat opened {};
        const bool same =
            fstat(rootFd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino;
        const bool abandoned = same && isAbandonedRoot(rootFd, *pid);
        ::close(rootFd);
        if (abandoned && removeTreeAt(baseFd, name.c_str())) {
            ++removed;
        }
    }
    ::close(baseFd);
    return removed;
}

std::size_t removeAbandonedScratchRoots() {
    return removeAbandonedScratchRoots(temporaryBase());
}

}  // namespace nimbara
