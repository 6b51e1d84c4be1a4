// Writing the files of a simulated device: exact contents, filler of a given size (sparse when
// large, so a demo device costs little disk) and modification times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace nimbara::simdev {

// Files up to this size get real filler bytes; larger ones start with a block of filler and
// continue as a hole.
inline constexpr std::uint64_t kSparseThreshold = 64 * 1024;

// Creates the parent folders and writes `contents`, replacing an existing file. Throws
// std::filesystem::filesystem_error on failure.
void writeBytes(const std::filesystem::path& file, const std::string& contents);
// A file of exactly `size` bytes of deterministic filler (varies with `seed`).
void writeFiller(const std::filesystem::path& file, std::uint64_t size, std::uint32_t seed = 0);
// `count` filler bytes.
std::string fillerBytes(std::size_t count, std::uint32_t seed);
// Sets the modification (and access) time, in seconds since 1970; 0 leaves the file as it is.
void setModificationTime(const std::filesystem::path& file, std::int64_t seconds);

}  // namespace nimbara::simdev
