#include "platform/mobiledevice/sim/sim_area.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <optional>
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

}  // namespace

void Area::setNameByNameOnly(bool on) {
    nameByNameOnly.store(on);
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

int Area::listDirectory(const std::string& path, std::vector<std::string>& names) const {
    names.clear();
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
        const std::string entryName = entry->d_name;
        if (entryName != "." && entryName != "..") {
            names.push_back(entryName);
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

}  // namespace nimbara::md::sim
