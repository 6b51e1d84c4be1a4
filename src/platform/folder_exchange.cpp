#include "platform/folder_exchange.h"
#include "platform/log_categories.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <random>
#include <system_error>
#include <utility>
#include <vector>

namespace nimbara {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kSuffixLength = 6;  // as mkdtemp's "XXXXXX"
constexpr const char* kParkedTag = ".parked-";

std::mutex g_hooksMutex;
FolderExchangeTestHooks g_hooks;

FolderExchangeTestHooks currentHooks() {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    return g_hooks;
}

// renameat, or a failure where the test hooks ask for one.
int renameAt(const FolderExchangeTestHooks& hooks, int dirFd, const std::string& name, int newDirFd,
             const std::string& newName) {
    if (hooks.failRename && hooks.failRename(name, newName)) {
        errno = EACCES;
        return -1;
    }
    return ::renameat(dirFd, name.c_str(), newDirFd, newName.c_str());
}

std::string errnoText(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

bool isSuffixChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Whether `name` is `prefix` followed by a suffix of kSuffixLength letters and digits.
bool hasUniqueSuffix(const std::string& name, const std::string& prefix) {
    if (name.size() != prefix.size() + kSuffixLength || name.compare(0, prefix.size(), prefix)) {
        return false;
    }
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (!isSuffixChar(name[i])) {
            return false;
        }
    }
    return true;
}

// Makes a fresh empty folder "<prefix>XXXXXX" (mode 0700) in `dirFd`; its name, or empty.
std::string makeUniqueFolderAt(int dirFd, const std::string& prefix) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::mt19937 random(device());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (std::size_t i = 0; i < kSuffixLength; ++i) {
            name += kLetters[pick(random)];
        }
        if (::mkdirat(dirFd, name.c_str(), 0700) == 0) {
            return name;
        }
        if (errno != EEXIST) {
            return {};
        }
    }
    errno = EEXIST;
    return {};
}

// The names in `dir`, without "." and "..".
std::vector<std::string> namesIn(int dirFd) {
    std::vector<std::string> names;
    const int copy = ::dup(dirFd);
    if (copy < 0) {
        return names;
    }
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return names;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

// Opens `name` in `dirFd` when it is a real folder of this user; -1 otherwise.
int openOwnFolder(int dirFd, const std::string& name) {
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether some process holds the lock on the open folder `fd`; the lock taken to find out is
// dropped again when the caller closes `fd`.
bool heldByAnother(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB) != 0;
}

void removeTree(const fs::path& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (ec) {
        qCWarning(lcPlatform, "The folder %s could not be removed: %s", folder.c_str(),
                  ec.message().c_str());
    }
}

}  // namespace

std::string parkedFolderPrefix(const std::string& name) {
    return "." + name + kParkedTag;
}

bool exchangeFolders(int fromDirFd, const std::string& fromName, int toDirFd,
                     const std::string& toName, std::string& error) {
    const FolderExchangeTestHooks hooks = currentHooks();
    struct stat to {};
    if (::fstatat(toDirFd, toName.c_str(), &to, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT || renameAt(hooks, fromDirFd, fromName, toDirFd, toName)) {
            error = errnoText("cannot move " + fromName + " to " + toName, errno);
            return false;
        }
        return true;
    }
    if (!S_ISDIR(to.st_mode)) {
        error = toName + " is not a folder";
        return false;
    }
    if (!hooks.refuseAtomicExchange &&
        ::renameat2(fromDirFd, fromName.c_str(), toDirFd, toName.c_str(), RENAME_EXCHANGE) == 0) {
        return true;
    }
    if (!hooks.refuseAtomicExchange && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        error = errnoText("cannot exchange " + fromName + " and " + toName, errno);
        return false;
    }
    // No atomic exchange here. `to` is parked under a name that recovery puts back, and locked
    // while it lies there; renaming a folder over the fresh empty one is one step.
    const int held = openOwnFolder(toDirFd, toName);
    if (held < 0 || ::flock(held, LOCK_EX) != 0) {
        error = errnoText("cannot hold " + toName, errno);
        if (held >= 0) {
            ::close(held);
        }
        return false;
    }
    const std::string parked = makeUniqueFolderAt(toDirFd, parkedFolderPrefix(toName));
    if (parked.empty()) {
        error = errnoText("cannot make a folder beside " + toName, errno);
        ::close(held);
        return false;
    }
    if (renameAt(hooks, toDirFd, toName, toDirFd, parked) != 0) {
        error = errnoText("cannot move " + toName + " aside", errno);
        ::unlinkat(toDirFd, parked.c_str(), AT_REMOVEDIR);
        ::close(held);
        return false;
    }
    if (hooks.afterPark) {
        hooks.afterPark();
    }
    if (renameAt(hooks, fromDirFd, fromName, toDirFd, toName) != 0) {
        error = errnoText("cannot move " + fromName + " to " + toName, errno);
        if (renameAt(hooks, toDirFd, parked, toDirFd, toName) != 0) {
            // Still parked, and put back by the next recovery.
            qCWarning(lcPlatform, "%s stays parked as %s: %s", toName.c_str(), parked.c_str(),
                      std::strerror(errno));
            error += "; what " + toName + " held stays in " + parked;
        }
        ::close(held);
        return false;
    }
    // The exchange is done; what `to` held goes where `from` was. Should that fail, it is a
    // finished exchange's parked folder, which recovery removes.
    if (renameAt(hooks, toDirFd, parked, fromDirFd, fromName) != 0) {
        qCWarning(lcPlatform, "The replaced %s stays as %s: %s", toName.c_str(), parked.c_str(),
                  std::strerror(errno));
    }
    ::close(held);
    return true;
}

bool exchangeFolders(const fs::path& from, const fs::path& to, std::string& error) {
    const fs::path fromParent = from.has_parent_path() ? from.parent_path() : fs::path(".");
    const fs::path toParent = to.has_parent_path() ? to.parent_path() : fs::path(".");
    const int fromDir = ::open(fromParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int toDir = ::open(toParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool ok = false;
    if (fromDir < 0 || toDir < 0) {
        error = errnoText("cannot open the folder of " + (fromDir < 0 ? from : to).string(), errno);
    } else {
        ok = exchangeFolders(fromDir, from.filename().string(), toDir, to.filename().string(),
                             error);
    }
    for (int fd : {fromDir, toDir}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return ok;
}

ParkedRecovery recoverParkedFolders(const fs::path& dir) {
    ParkedRecovery recovery;
    const FolderExchangeTestHooks hooks = currentHooks();
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return recovery;
    }
    for (const std::string& name : namesIn(dirFd)) {
        const std::size_t tag = name.rfind(kParkedTag);
        if (name.size() < 2 || name[0] != '.' || tag == std::string::npos || tag < 2) {
            continue;
        }
        const std::string place = name.substr(1, tag - 1);
        if (!hasUniqueSuffix(name, parkedFolderPrefix(place))) {
            continue;
        }
        const int fd = openOwnFolder(dirFd, name);
        if (fd < 0) {
            continue;
        }
        if (heldByAnother(fd)) {
            ::close(fd);  // an exchange is under way
            continue;
        }
        struct stat st {};
        const bool placeEmpty =
            ::fstatat(dirFd, place.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT;
        if (!placeEmpty) {
            removeTree(dir / name);
            ++recovery.removed;
        } else if (renameAt(hooks, dirFd, name, dirFd, place) == 0) {
            qCInfo(lcPlatform, "%s was put back in its place after an interrupted exchange",
                   place.c_str());
            ++recovery.putBack;
        } else {
            // The only copy of what `place` held: it stays, for the next recovery.
            qCWarning(lcPlatform, "%s could not be put back in its place and stays as %s: %s",
                      place.c_str(), name.c_str(), std::strerror(errno));
            ++recovery.leftParked;
        }
        ::close(fd);
    }
    ::close(dirFd);
    return recovery;
}

std::size_t removeAbandonedFolders(const fs::path& dir, const std::string& prefix) {
    return removeAbandonedFolders(dir, [&prefix](std::string_view stem) { return stem == prefix; });
}

std::size_t removeAbandonedFolders(const fs::path& dir,
                                   const std::function<bool(std::string_view stem)>& matches) {
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return 0;
    }
    std::size_t removed = 0;
    for (const std::string& name : namesIn(dirFd)) {
        if (name.size() <= kSuffixLength + 1) {
            continue;
        }
        const std::string stem = name.substr(0, name.size() - kSuffixLength - 1);
        if (!hasUniqueSuffix(name, stem + "-") || !matches(stem)) {
            continue;
        }
        const int fd = openOwnFolder(dirFd, name);
        if (fd < 0) {
            continue;
        }
        if (!heldByAnother(fd)) {
            removeTree(dir / name);
            ++removed;
        }
        ::close(fd);
    }
    ::close(dirFd);
    return removed;
}

FolderLock::FolderLock(const fs::path& folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        release();
    }
}

FolderLock::~FolderLock() {
    release();
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

void FolderLock::release() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void setFolderExchangeTestHooks(FolderExchangeTestHooks hooks) {
    std::lock_guard<std::mutex> lock(g_hooksMutex);
    g_hooks = std::move(hooks);
}

}  // namespace nimbara
