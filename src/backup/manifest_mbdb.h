// Reader of the binary file list of older backups (Manifest.mbdb). The file is untrusted: every
// length is checked against the bytes that are left, and a damaged file gives an error text
// with the records that could be read before the damage, never a read past the end.
#pragma once

#include "backup/backup_entry.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace nimbara::backup {

// The six bytes every Manifest.mbdb starts with: "mbdb", 5, 0.
inline constexpr std::uint8_t kMbdbMagic[6] = {'m', 'b', 'd', 'b', 5, 0};

struct MbdbRecord {
    // A string with no value (length FFFF, or 0) is nullopt. Bytes are kept as read.
    std::optional<std::string> domain;
    std::optional<std::string> path;
    std::optional<std::string> linkTarget;
    std::optional<std::string> dataHash;
    std::optional<std::string> encryptionKey;
    std::uint16_t mode = 0;
    std::uint64_t inode = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::uint32_t mtime = 0;
    std::uint32_t atime = 0;
    std::uint32_t ctime = 0;
    std::uint64_t size = 0;
    std::uint8_t protectionClass = 0;
    std::vector<std::pair<std::string, std::string>> properties;

    bool isDirectory() const { return (mode & kModeTypeMask) == kModeFolder; }
    bool isSymlink() const { return (mode & kModeTypeMask) == kModeLink; }
    // The common entry, with the file key computed from domain and path.
    BackupEntry toEntry() const;
};

struct MbdbReadResult {
    std::vector<MbdbRecord> records;
    // Empty when the whole file was read; otherwise what went wrong. Records read before a
    // damaged one are kept.
    std::string error;
    bool ok() const { return error.empty(); }
};

MbdbReadResult parseMbdb(std::span<const std::uint8_t> bytes);
MbdbReadResult readMbdbFile(const std::string& path);

// Writes records in the same format (used to make test and sample backups).
std::string writeMbdb(const std::vector<MbdbRecord>& records);

}  // namespace nimbara::backup
