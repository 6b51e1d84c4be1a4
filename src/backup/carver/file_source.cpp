#include "backup/carver/file_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nimbara::backup::carver {

FileSource::FileSource(const std::filesystem::path& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::strerror(errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        error_ = "not a regular file";
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool FileSource::read(std::uint64_t offset, void* into, std::size_t length) const {
    if (fd_ < 0 || offset > size_ || length > size_ - offset) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(into);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;  // the file got shorter, or can't be read
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace nimbara::backup::carver
