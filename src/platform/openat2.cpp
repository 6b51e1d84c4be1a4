#include "platform/openat2.h"

#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace nimbara {

namespace {

// Cleared once the kernel (or a seccomp filter) refuses the call.
std::atomic<bool> openat2Usable{true};

}  // namespace

int openat2Resolve(int dir, const std::string& relative, int flags, std::uint64_t resolve) {
#ifdef SYS_openat2
    if (!openat2Usable.load(std::memory_order_relaxed)) {
        errno = ENOSYS;
        return -1;
    }
    open_how how{};
    how.flags = static_cast<std::uint64_t>(flags);
    how.resolve = resolve;
    int fd = -1;
    do {
        fd = static_cast<int>(::syscall(SYS_openat2, dir, relative.c_str(), &how, sizeof how));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && (errno == ENOSYS || errno == EPERM || errno == E2BIG)) {
        openat2Usable.store(false);
        errno = ENOSYS;
    }
    return fd;
#else
    (void)dir;
    (void)relative;
    (void)flags;
    (void)resolve;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace nimbara
