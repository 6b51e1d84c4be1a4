// A file written under a temporary name in its target's folder, which becomes the target only
// once it is complete: a reader never sees a half-written target, and a failure leaves the old
// target (or none) in place.
//
// The temporary name is short and does not depend on the target's name (".nimbara-" followed by
// random letters and ".partial"), so it fits the file system's name limit even when the target's
// name uses all of it. It is created exclusively: neither an existing file nor a link planted
// under that name is ever written through.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>

namespace nimbara {

// A fresh temporary file name: ".nimbara-" + 16 random letters and digits + ".partial" (33 bytes).
std::string temporaryFileName();

class PartialFile {
  public:
    // Creates the temporary file beside `target` (mode `mode` less the umask). valid() tells
    // whether it could be made; error() then holds the reason (an errno value).
    explicit PartialFile(const std::filesystem::path& target, mode_t mode = 0666);
    // Removes the temporary file unless it was committed.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    bool valid() const { return fd_ >= 0; }
    int error() const { return error_; }
    // The temporary file (empty when none could be made).
    const std::filesystem::path& path() const { return path_; }

    // Appends all of `data`; false on a write error.
    bool write(const void* data, std::size_t length);
    // Closes the file and renames it over the target. False when either fails; the temporary
    // file is then removed and the target left as it was.
    bool commit();

  private:
    void discard();

    std::filesystem::path target_;
    std::filesystem::path path_;
    int fd_ = -1;
    int error_ = 0;
    bool committed_ = false;
};

}  // namespace nimbara
