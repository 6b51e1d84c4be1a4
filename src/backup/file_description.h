// The archived file description of a Manifest.db row (column `file`): a keyed archive whose
// second object holds, among a dozen other fields, the entry's size, POSIX mode and time of last
// change. A backup lists hundreds of thousands of rows, so the values are read where they lie in
// the binary
// property list, without building the whole archive.
#pragma once

#include <cstdint>
#include <string_view>

namespace nimbara::backup {

struct FileDescription {
    std::uint64_t size = 0;     // 0 unless "Size" is a positive integer
    std::uint32_t mode = 0;     // 0 unless "Mode" is an integer from 1 to 0xFFFF
    std::int64_t modified = 0;  // "LastModified", Unix seconds; 0 unless a positive integer
};

// The largest description read; a larger one describes nothing.
inline constexpr std::size_t kMaxFileDescriptionBytes = 64 * 1024;

// Size, mode and time of an archived description, each 0 when it is missing, too large, malformed,
// or lacks them. A binary property list of the usual shape is read in place; anything else (an XML
// list, text keys, a value that is not a plain integer, repeated keys) is parsed whole, which
// gives the same result more slowly.
FileDescription readFileDescription(std::string_view blob);

}  // namespace nimbara::backup
