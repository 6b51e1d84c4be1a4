#include "backup/backup_folder.h"

#include "backup/manifest_db.h"
#include "platform/openat2.h"
#include "platform/owned_thread.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <system_error>
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

namespace {

std::atomic<bool> fileByFileOnly{false};

int lowerHexDigit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The 20 bytes of a key of 40 lower-case hex digits; false for anything else (upper case too).
bool lowerHexKey(std::string_view name, std::array<std::uint8_t, 20>& key) {
    return fileKeyBytes(name, key, /*lowerCaseOnly=*/true);
}

std::optional<BackupFileInfo> regularFileAt(int dir, const char* name) {
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return BackupFileInfo{static_cast<std::uint64_t>(st.st_size), st.st_mtime};
}

}  // namespace

// The 256 two-digit folders of a sharded backup, each opened and listed once, by the caller or a
// helper, whichever comes first.
struct StoredFileLookup::Shards {
    enum State : int { kWaiting, kListing, kReady };
    // A listed regular file: the 19 key bytes after the folder's own, its size and time, in 32
    // bytes. A time outside 32 bits is not kept: such a file is asked again when looked up.
    struct Listed {
        std::array<std::uint8_t, 19> rest;
        bool timeKept;
        std::uint32_t modified;
        std::uint64_t size;
        // Byte order, the first eight bytes compared as one number.
        bool operator<(const Listed& o) const {
            std::uint64_t a = 0;
            std::uint64_t b = 0;
            std::memcpy(&a, rest.data(), sizeof a);
            std::memcpy(&b, o.rest.data(), sizeof b);
            if (a != b) {
                return __builtin_bswap64(a) < __builtin_bswap64(b);
            }
            return std::memcmp(rest.data() + sizeof a, o.rest.data() + sizeof b,
                               rest.size() - sizeof a) < 0;
        }
    };
    static_assert(sizeof(Listed) == 32);
    struct Shard {
        std::atomic<int> state{kWaiting};
        UniqueFd fd;          // -1 when the folder is missing, a link or no folder
        bool listed = false;  // `files` holds every regular file of the folder named by a key
        const Listed* files = nullptr;  // sorted, in the listings' blocks
        std::size_t count = 0;
        // Where the files whose next key byte is b begin: at[b] up to at[b + 1]. Keys are even
        // spread, so a look-up reads only a few files.
        std::array<std::uint32_t, 257> at{};

        const Listed* find(const Listed& wanted) const {
            if (count == 0) {
                return nullptr;
            }
            const Listed* first = files + at[wanted.rest[0]];
            const Listed* last = files + at[wanted.rest[0] + 1];
            const Listed* found = std::lower_bound(first, last, wanted);
            return found != last && found->rest == wanted.rest ? found : nullptr;
        }
    };

    int root = -1;
    bool fileByFile = false;
    std::array<Shard, 256> shard;
    std::atomic<std::size_t> next{0};  // the next folder a helper looks at
    std::atomic<bool> quit{false};
    std::vector<std::unique_ptr<OwnedThread>> helpers;
    std::vector<Listed> callerScratch;
    // The listed files of every folder, a block holding those of many; a large folder's have one
    // of their own.
    static constexpr std::size_t kBlockFiles = 1 << 15;
    std::mutex blocksMutex;
    std::vector<std::unique_ptr<Listed[]>> blocks;
    std::vector<std::unique_ptr<Listed[]>> ownBlocks;
    std::size_t blockUsed = kBlockFiles;

    // Room for `files` listed files, for as long as the look-up lasts.
    Listed* keep(std::size_t files) {
        if (files == 0) {
            return nullptr;
        }
        const std::lock_guard<std::mutex> lock(blocksMutex);
        if (files > kBlockFiles / 4) {
            return ownBlocks.emplace_back(std::make_unique_for_overwrite<Listed[]>(files)).get();
        }
        if (blockUsed + files > kBlockFiles) {
            blocks.push_back(std::make_unique_for_overwrite<Listed[]>(kBlockFiles));
            blockUsed = 0;
        }
        Listed* at = blocks.back().get() + blockUsed;
        blockUsed += files;
        return at;
    }

    // Opens and lists folder `index` unless someone else already does; true once it is ready.
    // `scratch` is the lister's own room for a listing, kept from folder to folder; the files
    // found are then kept in the listings' blocks, so that nothing is freed while the list is
    // read (each free that gives memory back interrupts every thread of the process).
    bool claimAndList(std::size_t index, std::vector<Listed>& scratch) {
        int waiting = kWaiting;
        if (!shard[index].state.compare_exchange_strong(waiting, kListing,
                                                        std::memory_order_acq_rel)) {
            return false;
        }
        list(index, scratch);
        shard[index].state.store(kReady, std::memory_order_release);
        shard[index].state.notify_all();
        return true;
    }

    // Folder `index`, listed: by the caller when nobody lists it yet; while a helper lists it,
    // the caller lists folders nobody has taken yet, and waits only when none is left.
    Shard& ready(std::size_t index) {
        Shard& s = shard[index];
        if (s.state.load(std::memory_order_acquire) == kReady ||
            claimAndList(index, callerScratch)) {
            return s;
        }
        while (s.state.load(std::memory_order_acquire) != kReady && listNext(callerScratch)) {
        }
        for (int state = s.state.load(std::memory_order_acquire); state != kReady;
             state = s.state.load(std::memory_order_acquire)) {
            s.state.wait(state, std::memory_order_acquire);
        }
        return s;
    }

    // Lists the next folder nobody has taken yet; false when there is none.
    bool listNext(std::vector<Listed>& scratch) {
        for (;;) {
            const std::size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= shard.size()) {
                return false;
            }
            if (claimAndList(index, scratch)) {
                return true;
            }
        }
    }

    void list(std::size_t index, std::vector<Listed>& scratch) {
        Shard& s = shard[index];
        static const char* const kDigits = "0123456789abcdef";
        const char name[3] = {kDigits[index >> 4], kDigits[index & 0x0F], '\0'};
        if (!fileByFile) {
            s.fd = UniqueFd(::openat(root, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        }
        if (!s.fd.valid()) {
            // A folder without read permission can still be searched, file by file.
            s.fd = UniqueFd(::openat(root, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            return;
        }
        scratch.clear();
        s.listed = readListing(s, name, scratch);
        if (s.listed && !scratch.empty()) {
            std::sort(scratch.begin(), scratch.end());
            Listed* kept = keep(scratch.size());
            std::copy(scratch.begin(), scratch.end(), kept);
            s.files = kept;
            s.count = scratch.size();
        }
        std::size_t file = 0;
        for (std::size_t b = 0; b < 256; ++b) {
            s.at[b] = static_cast<std::uint32_t>(file);
            while (file < s.count && s.files[file].rest[0] == b) {
                ++file;
            }
        }
        s.at[256] = static_cast<std::uint32_t>(file);
    }

    bool readListing(Shard& s, const char* name, std::vector<Listed>& files) {
        // getdents64 hands over many names a call, and each name's type with it: only regular
        // files (or names of a file system that gives no type) are asked for their size.
        alignas(8) char buffer[32 * 1024];
        for (;;) {
            if (quit.load(std::memory_order_relaxed)) {
                return false;
            }
            const ssize_t n = ::getdents64(s.fd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return false;
            }
            if (n == 0) {
                return true;
            }
            for (ssize_t at = 0; at < n;) {
                const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
                at += d->d_reclen;
                if (d->d_type != DT_REG && d->d_type != DT_UNKNOWN) {
                    continue;
                }
                std::array<std::uint8_t, 20> key{};
                if (d->d_name[0] != name[0] || d->d_name[1] != name[1] ||
                    !lowerHexKey(d->d_name, key)) {
                    continue;  // not a name a key of this folder has
                }
                const auto info = regularFileAt(s.fd.get(), d->d_name);
                if (!info) {
                    continue;
                }
                if (files.size() >= kMaxListedStoredFiles) {
                    return false;
                }
                Listed file{};
                std::copy(key.begin() + 1, key.end(), file.rest.begin());
                file.size = info->size;
                file.timeKept = info->modified >= 0 && info->modified <= std::time_t{UINT32_MAX};
                file.modified = file.timeKept ? static_cast<std::uint32_t>(info->modified) : 0;
                files.push_back(file);
            }
        }
    }

    void help() {
        std::vector<Listed> scratch;
        while (!quit.load(std::memory_order_relaxed) && listNext(scratch)) {
        }
    }
};

unsigned StoredFileLookup::defaultHelperThreads() {
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 1 ? static_cast<unsigned>(std::min(cores - 1, 7L)) : 0u;
}

void StoredFileLookup::setFileByFileOnly(bool on) {
    fileByFileOnly.store(on);
}

StoredFileLookup::StoredFileLookup(const BackupFolder& folder, BackupLayout layout,
                                   unsigned helperThreads)
    : folder_(folder), layout_(layout) {
    if (layout_ != BackupLayout::Sharded || !folder_.isOpen()) {
        return;
    }
    shards_ = std::make_unique<Shards>();
    shards_->root = folder_.fd_.get();
    shards_->fileByFile = fileByFileOnly.load();
    for (unsigned i = 0; i < helperThreads && !shards_->fileByFile; ++i) {
        auto helper = std::make_unique<OwnedThread>();
        if (helper->start(
                [shards = shards_.get()](const OwnedThread::StopCheck&) { shards->help(); })) {
            break;  // no more threads: the caller lists what is left itself
        }
        shards_->helpers.push_back(std::move(helper));
    }
}

StoredFileLookup::~StoredFileLookup() {
    if (shards_) {
        shards_->quit.store(true);
        shards_->helpers.clear();  // each joined as it goes
    }
}

int StoredFileLookup::folderOf(std::string_view fileKey, UniqueFd& once) {
    if (layout_ == BackupLayout::Flat) {
        return folder_.fd_.get();
    }
    const int high = lowerHexDigit(fileKey[0]);
    const int low = lowerHexDigit(fileKey[1]);
    if (high < 0 || low < 0) {
        // Upper-case digits name another folder: looked up for this file alone.
        const std::string name(fileKey.substr(0, 2));
        once = UniqueFd(::openat(folder_.fd_.get(), name.c_str(),
                                 O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        return once.get();
    }
    return shards_->ready(static_cast<std::size_t>(high * 16 + low)).fd.get();
}

std::optional<BackupFileInfo> StoredFileLookup::info(std::string_view fileKey) {
    std::array<std::uint8_t, 20> key{};
    const bool lowerCase = lowerHexKey(fileKey, key);
    if (!folder_.isOpen() || (!lowerCase && !isValidFileKey(fileKey))) {
        return std::nullopt;
    }
    if (layout_ == BackupLayout::Sharded && lowerCase) {
        const Shards::Shard& shard = shards_->ready(key[0]);
        if (shard.listed) {
            Shards::Listed wanted{};
            std::copy(key.begin() + 1, key.end(), wanted.rest.begin());
            const Shards::Listed* found = shard.find(wanted);
            if (found == nullptr) {
                return std::nullopt;
            }
            if (found->timeKept) {
                return BackupFileInfo{found->size, static_cast<std::time_t>(found->modified)};
            }
        }
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
    return regularFileAt(dir, name);
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
