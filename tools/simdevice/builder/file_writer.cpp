#include "file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <system_error>

#include "folder_steps.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& file, int err) {
    throw fs::filesystem_error(what, file, std::error_code(err, std::generic_category()));
}

}  // namespace

void writeBytes(const fs::path& file, const std::string& contents) {
    makeFolders(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out) {
        fail("cannot create file", file, errno ? errno : EIO);
    }
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    out.close();
    if (!out) {
        fail("cannot write file", file, EIO);
    }
}

std::string fillerBytes(std::size_t count, std::uint32_t seed) {
    // A small linear congruential sequence: cheap, repeatable and not all zeros.
    std::string bytes(count, '\0');
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

void writeFiller(const fs::path& file, std::uint64_t size, std::uint32_t seed) {
    const std::uint64_t head = std::min(size, kSparseThreshold);
    writeBytes(file, fillerBytes(static_cast<std::size_t>(head), seed));
    if (size > head) {
        resizeFile(file, size);  // the rest is a hole
    }
}

void setModificationTime(const fs::path& file, std::int64_t seconds) {
    if (seconds == 0) {
        return;
    }
    timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    if (utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) {
        fail("cannot set the modification time", file, errno);
    }
}

}  // namespace nimbara::simdev
