// File helpers of the simulated device's services: tree copies and zip archives. Symbolic links
// are never followed: a link in a source tree is skipped, a link in a destination is replaced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nimbara::md::sim {

// Copies the folders and regular files below `from` into `to` (created when missing), replacing
// files of the same name. False on the first failure.
bool copyTree(const std::filesystem::path& from, const std::filesystem::path& to);

// The bytes of the regular files below `dir` (0 when it is missing).
std::uint64_t treeSize(const std::filesystem::path& dir);

// A regular file's bytes, when it is one and holds at most `limit` bytes.
std::optional<std::vector<std::uint8_t>> readRegularFile(const std::filesystem::path& file,
                                                         std::uint64_t limit);

// Writes a zip archive. Entries are added in the order of the calls; trees in name order.
class ZipWriter {
  public:
    explicit ZipWriter(const std::filesystem::path& file);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    bool ok() const { return zip_ != nullptr && ok_; }
    // Adds a folder entry; `name` ends in "/".
    void addFolder(const std::string& name);
    // Adds the folder's content under `prefix` ("Container/"); the prefix itself as a folder.
    void addTree(const std::filesystem::path& dir, const std::string& prefix);
    void addFile(const std::filesystem::path& file, const std::string& name);
    // Writes the archive; false when anything failed (nothing is left behind then).
    bool commit();

  private:
    void* zip_ = nullptr;
    bool ok_ = true;
};

// Extracts an archive into `dest` (an existing, empty folder) as platform/zip_unpack.h does:
// entries whose names would leave it ("..", absolute names), links, special files and names
// that come twice make the whole extraction fail.
bool extractZip(const std::filesystem::path& file, const std::filesystem::path& dest);

}  // namespace nimbara::md::sim
