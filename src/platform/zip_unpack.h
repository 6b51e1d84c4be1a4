// Unpacking of zip archives that came from outside (an app archive copied from a device) into a
// folder of our own, with libzip and never a shell.
//
// The whole archive is checked before anything is written: every entry must be a plain relative
// name ("Payload/Maps.app/Info.plist"): no absolute name, no empty, "." or ".." component, no
// backslash and no NUL; no entry may be a link or any other special file (by the Unix mode the
// archive records); no name may come twice, and no entry may be encrypted. The entries' sizes
// must fit the limits and the free space of the target. A refused archive writes nothing. An
// entry that unpacks to more than its declared size fails the unpack once it passes that size,
// and its cut-short file is removed.
//
// Writing makes folders level by level and files exclusively (never through an existing name or a
// link), so nothing lands outside the target even when the archive's entries disagree with each
// other (a file "a" and an entry "a/b"): such an archive fails part way, and the caller, which
// owns the target folder, removes it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace nimbara {

struct ZipUnpackLimits {
    std::uint64_t maxEntries = 500000;
    std::uint64_t maxBytes = 16ull * 1024 * 1024 * 1024;  // the unpacked size
};

struct ZipUnpackResult {
    bool ok = false;
    std::string error;  // why not, in a few words ("an entry climbs out of its folder: ../x")
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;

    explicit operator bool() const { return ok; }
};

// Unpacks `zipFile` into `dest`, which must be an existing, empty, real folder. `stop` is asked
// between chunks; once it says yes the unpack ends with the error "stopped".
ZipUnpackResult unpackZip(const std::filesystem::path& zipFile, const std::filesystem::path& dest,
                          const std::function<bool()>& stop = {},
                          const ZipUnpackLimits& limits = {});

}  // namespace nimbara
