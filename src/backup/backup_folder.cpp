#include "backup/backup_folder.h"

#include "backup/manifest_db.h"
#include "platform/openat2.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace nimbara::backup {

namespace {

std::atomic<bool> nameByNameOnly{false};

void setWhy(std::string* why, const std::string& text) {
    if (why != nullptr) {
        *why = text;
    }
}

std::string errnoText(int error) {
    return error == ELOOP || error == ENOTDIR || error == EXDEV
               ? std::string("a link or a file stands where a folder or file was expected")
               : std::string(std::strerror(error));
}

std::vector<std::string> splitNames(const std::string& relative) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= relative.size()) {
        const std::size_t slash = relative.find('/', start);
        const std::size_t end = slash == std::string::npos ? relative.size() : slash;
        names.push_back(relative.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// openat2 with every link refused and nothing above `dir` reachable; -1 with errno ENOSYS when
// the kernel cannot do it.
int openBeneathByKernel(int dir, const std::string& relative, int flags) {
    if (nameByNameOnly.load()) {
        errno = ENOSYS;
        return -1;
    }
    return openat2Resolve(dir, relative, flags,
                          RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS);
}

// The same, one name at a time: every folder on the way is opened with O_NOFOLLOW, and so is
// the last name.
int openBeneathByName(int dir, const std::string& relative, int flags) {
    const std::vector<std::string> names = splitNames(relative);
    UniqueFd current;
    int at = dir;
    for (std::size_t i = 0; i + 1 < names.size(); ++i) {
        const int next =
            ::openat(at, names[i].c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next < 0) {
            return -1;
        }
        current = UniqueFd(next);
        at = current.get();
    }
    int fd = -1;
    do {
        fd = ::openat(at, names.back().c_str(), flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Opens `relative` below `dir` without following any link; the file must be a regular one.
UniqueFd openRegular(int dir, const std::string& relative, bool forReading, std::string* why) {
    if (dir < 0) {
        setWhy(why, "the backup folder is not open");
        return {};
    }
    if (!isPlainRelativePath(relative)) {
        setWhy(why, "not a name inside the backup: " + relative);
        return {};
    }
    // O_NONBLOCK: a pipe standing in for a file must not block the open; it is refused below.
    const int flags = (forReading ? O_RDONLY | O_NONBLOCK : O_PATH) | O_NOFOLLOW | O_CLOEXEC;
    int fd = openBeneathByKernel(dir, relative, flags);
    if (fd < 0 && errno == ENOSYS) {
        fd = openBeneathByName(dir, relative, flags);
    }
    if (fd < 0) {
        setWhy(why, relative + ": " + errnoText(errno));
        return {};
    }
    UniqueFd file(fd);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        setWhy(why, relative + ": not a regular file");
        return {};
    }
    if (forReading) {
        const int status = ::fcntl(file.get(), F_GETFL);
        if (status >= 0) {
            ::fcntl(file.get(), F_SETFL, status & ~O_NONBLOCK);
        }
    }
    return file;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.release();
    }
    return *this;
}

void UniqueFd::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool isPlainRelativePath(const std::string& relative) {
    if (relative.empty() || relative.find('\0') != std::string::npos) {
        return false;
    }
    for (const std::string& name : splitNames(relative)) {
        if (name.empty() || name == "." || name == "..") {
            return false;
        }
    }
    return true;
}

std::string storedFileName(const std::string& fileKey, BackupLayout layout) {
    if (!isValidFileKey(fileKey)) {
        return {};
    }
    return layout == BackupLayout::Sharded ? fileKey.substr(0, 2) + "/" + fileKey : fileKey;
}

void BackupFolder::setNameByNameOnly(bool on) {
    nameByNameOnly.store(on);
}

BackupFolder BackupFolder::open(const std::string& folder, std::string* why) {
    BackupFolder result;
    result.path_ = folder;
    if (folder.empty()) {
        setWhy(why, "no backup folder");
        return result;
    }
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        setWhy(why, folder + ": " + std::strerror(errno));
        return result;
    }
    result.fd_ = UniqueFd(fd);
    return result;
}

UniqueFd BackupFolder::openFile(const std::string& relative, std::string* why) const {
    return openRegular(fd_.get(), relative, true, why);
}

std::optional<BackupFileInfo> BackupFolder::fileInfo(const std::string& relative) const {
    const UniqueFd file = openRegular(fd_.get(), relative, false, nullptr);
    struct stat st {};
    if (!file.valid() || ::fstat(file.get(), &st) != 0) {
        return std::nullopt;
    }
    return BackupFileInfo{static_cast<std::uint64_t>(st.st_size), st.st_mtime};
}

std::optional<std::string> BackupFolder::readFile(const std::string& relative,
                                                  std::uint64_t maxBytes, std::string* why) const {
    const UniqueFd file = openFile(relative, why);
    struct stat st {};
    if (!file.valid() || ::fstat(file.get(), &st) != 0) {
        return std::nullopt;
    }
    if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        setWhy(why, relative + ": larger than " + std::to_string(maxBytes) + " bytes");
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            setWhy(why, relative + ": " + std::strerror(errno));
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {
            setWhy(why, relative + ": larger than " + std::to_string(maxBytes) + " bytes");
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

bool BackupFolder::copyFile(const std::string& relative, const std::string& target,
                            std::string* why) const {
    const UniqueFd source = openFile(relative, why);
    if (!source.valid()) {
        return false;
    }
    ::unlink(target.c_str());
    const UniqueFd out(
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid()) {
        setWhy(why, target + ": " + std::strerror(errno));
        return false;
    }
    // The kernel copies from one descriptor to the other.
    for (;;) {
        const ssize_t n = ::sendfile(out.get(), source.get(), nullptr, 1 << 20);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            setWhy(why, relative + ": " + std::strerror(errno));
            ::unlink(target.c_str());
            return false;
        }
        if (n == 0) {
            return true;
        }
    }
}

StoredFileLookup::StoredFileLookup(const BackupFolder& folder, BackupLayout layout)
    : folder_(folder), layout_(layout) {}

int StoredFileLookup::folderOf(std::string_view fileKey, UniqueFd& once) {
    if (layout_ == BackupLayout::Flat) {
        return folder_.fd_.get();
    }
    const std::string name(fileKey.substr(0, 2));
    auto open = [this, &name] {
        return UniqueFd(::openat(folder_.fd_.get(), name.c_str(),
                                 O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    };
    auto digit = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    };
    const int high = digit(fileKey[0]);
    const int low = digit(fileKey[1]);
    if (high < 0 || low < 0) {
        // Upper-case digits name another folder: looked up for this file alone.
        once = open();
        return once.get();
    }
    const auto shard = static_cast<std::size_t>(high * 16 + low);
    if (!tried_[shard]) {
        tried_[shard] = true;
        shards_[shard] = open();
    }
    return shards_[shard].get();
}

std::optional<BackupFileInfo> StoredFileLookup::info(std::string_view fileKey) {
    if (!folder_.isOpen() || !isValidFileKey(fileKey)) {
        return std::nullopt;
    }
    UniqueFd once;
    const int dir = folderOf(fileKey, once);
    if (dir < 0) {
        return std::nullopt;
    }
    // The key is 40 hex digits, a single name: nothing to resolve but the name itself, and a
    // link there is seen as a link.
    char name[41];
    std::memcpy(name, fileKey.data(), 40);
    name[40] = '\0';
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return BackupFileInfo{static_cast<std::uint64_t>(st.st_size), st.st_mtime};
}

std::string BackupFolder::checkedPath(const std::string& relative) const {
    if (!fileInfo(relative)) {
        return {};
    }
    std::string full = path_;
    if (!full.empty() && full.back() != '/') {
        full += '/';
    }
    return full + relative;
}

}  // namespace nimbara::backup
