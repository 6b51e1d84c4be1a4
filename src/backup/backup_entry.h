// One file, folder or link listed by a backup's manifest, whichever kind of manifest it came from.
#pragma once

#include <cstdint>
#include <string>

namespace nimbara::backup {

// How a backup stores its files: all in the backup folder under their key (old backups with
// Manifest.mbdb), or in a subfolder named after the key's first two digits (Manifest.db).
enum class BackupLayout { Flat, Sharded };

struct BackupEntry {
    std::string domain;        // raw bytes as listed; usually UTF-8
    std::string relativePath;  // inside the domain; may be empty (the domain's root)
    std::string fileKey;       // 40 lower-case hex digits
    std::uint64_t size = 0;    // bytes, as listed (else the stored file's size)
    std::uint32_t mode = 0;    // POSIX mode bits when the manifest has them, else 0
    std::uint32_t flags = 0;   // Manifest.db: 1 file, 2 folder, 4 link; 0 for Manifest.mbdb
    bool isDirectory = false;
    bool isLink = false;

    // Only a regular file has contents in the backup; folders and links are rows of the list.
    bool isFile() const { return !isDirectory && !isLink; }
};

// The kind of an entry from its POSIX mode bits, for lists that give no other.
inline constexpr std::uint32_t kModeTypeMask = 0xF000u;
inline constexpr std::uint32_t kModeFolder = 0x4000u;
inline constexpr std::uint32_t kModeLink = 0xA000u;

}  // namespace nimbara::backup
