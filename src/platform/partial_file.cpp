#include "platform/partial_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace nimbara {

namespace {

constexpr int kAttempts = 16;

std::uint64_t randomBits() {
    std::uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
        return bits;
    }
    // No entropy at hand: a per-process counter with the time and process still gives a name
    // that no other writer picks at the same moment, and the exclusive creation catches the rest.
    static std::atomic<std::uint64_t> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return (static_cast<std::uint64_t>(now) * 0x9E3779B97F4A7C15ull) ^
           (static_cast<std::uint64_t>(getpid()) << 40) ^ counter.fetch_add(1);
}

}  // namespace

std::string temporaryFileName() {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr std::uint64_t kCount = sizeof kLetters - 1;
    std::string name = ".nimbara-";
    std::uint64_t bits = randomBits();
    for (int i = 0; i < 16; ++i) {
        if (i == 8) {
            bits = randomBits();
        }
        name += kLetters[bits % kCount];
        bits /= kCount;
    }
    name += ".partial";
    return name;
}

PartialFile::PartialFile(const std::filesystem::path& target, mode_t mode) : target_(target) {
    const std::filesystem::path folder = target.parent_path();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::filesystem::path candidate = folder / temporaryFileName();
        const int fd =
            ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            fd_ = fd;
            path_ = candidate;
            error_ = 0;
            return;
        }
        error_ = errno;
        if (error_ != EEXIST) {
            return;
        }
    }
}

PartialFile::~PartialFile() {
    if (!committed_) {
        discard();
    }
}

void PartialFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!path_.empty()) {
        ::unlink(path_.c_str());
        path_.clear();
    }
}

bool PartialFile::write(const void* data, std::size_t length) {
    if (fd_ < 0) {
        return false;
    }
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::write(fd_, bytes, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error_ = n < 0 ? errno : EIO;
            return false;
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return true;
}

bool PartialFile::commit() {
    if (fd_ < 0 || committed_) {
        return false;
    }
    // A close that fails reports a write that failed late: the copy is not trusted then.
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 || std::rename(path_.c_str(), target_.c_str()) != 0) {
        error_ = errno;
        discard();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace nimbara
