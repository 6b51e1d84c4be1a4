// One file, folder or link listed by a backup's manifest, whichever kind of manifest it came from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace nimbara::backup {

// How a backup stores its files: all in the backup folder under their key (old backups with
// Manifest.mbdb), or in a subfolder named after the key's first two digits (Manifest.db).
enum class BackupLayout { Flat, Sharded };

struct BackupEntry {
    std::string domain;         // raw bytes as listed; usually UTF-8
    std::string relativePath;   // inside the domain; may be empty (the domain's root)
    std::string fileKey;        // 40 lower-case hex digits
    std::uint64_t size = 0;     // bytes, as listed (else the stored file's size)
    std::uint32_t mode = 0;     // POSIX mode bits when the manifest has them, else 0
    std::int64_t modified = 0;  // time of the last change, Unix seconds, as listed; else 0
    std::uint32_t flags = 0;    // Manifest.db: 1 file, 2 folder, 4 link; 0 for Manifest.mbdb
    bool isDirectory = false;
    bool isLink = false;
    // Whether the backup holds a file entry's stored file (a regular file reached without a
    // link), and that file's size: BackupManifest::visit looks them up as it hands the entry on;
    // unknown for an entry from elsewhere.
    bool storedKnown = false;
    bool stored = false;
    std::uint64_t storedSize = 0;

    // Only a regular file has contents in the backup; folders and links are rows of the list.
    bool isFile() const { return !isDirectory && !isLink; }
};

// Hands on the entries of a file list one at a time, as they are read; returning false ends the
// reading there.
using BackupEntryVisitor = std::function<bool(BackupEntry&&)>;

// How far a list has been read: `done` of `total` (bytes or rows), told as each entry is handed
// on.
using ListPosition = std::function<void(std::uint64_t done, std::uint64_t total)>;

// How reading a file list one entry at a time ended.
struct EntryStreamResult {
    std::size_t entries = 0;  // entries handed on
    std::string error;        // empty when the list was read to its end (or stopped)
    bool stopped = false;     // the stop check or the visitor ended the reading early
    bool ok() const { return error.empty(); }
};

// A relative path deeper or longer than these, or a domain longer than its bound, is no path a
// device writes: such an entry is refused as damage. The backup writer leaves such files out, so
// that every backup it makes can be read and restored.
inline constexpr std::size_t kMaxPathComponents = 256;
inline constexpr std::size_t kMaxPathBytes = 4096;
inline constexpr std::size_t kMaxDomainBytes = 1024;

// True when the domain and relative path are within the bounds above.
inline bool isAcceptableEntryPath(const std::string& domain, const std::string& relativePath) {
    if (domain.size() > kMaxDomainBytes || relativePath.size() > kMaxPathBytes) {
        return false;
    }
    std::size_t components = 1;
    for (char c : relativePath) {
        components += c == '/' ? 1 : 0;
    }
    return components <= kMaxPathComponents;
}

// The kind of an entry from its POSIX mode bits, for lists that give no other.
inline constexpr std::uint32_t kModeTypeMask = 0xF000u;
inline constexpr std::uint32_t kModeFolder = 0x4000u;
inline constexpr std::uint32_t kModeLink = 0xA000u;

}  // namespace nimbara::backup
