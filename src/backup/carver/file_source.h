// A ByteSource over a file opened read-only; reads with pread, so nothing moves a file offset.
#pragma once

#include "backup/carver/sqlite_carver.h"

#include <filesystem>
#include <string>

namespace nimbara::backup::carver {

class FileSource : public ByteSource {
  public:
    // Opens `path` with O_RDONLY | O_CLOEXEC; ok() is false (with error()) when it can't be opened
    // or is no regular file.
    explicit FileSource(const std::filesystem::path& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    std::uint64_t size() const override { return size_; }
    bool read(std::uint64_t offset, void* into, std::size_t length) const override;

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    std::string error_;
};

}  // namespace nimbara::backup::carver
