// Reader of the binary file list of older backups (Manifest.mbdb). The file is untrusted: every
// length is checked against the bytes that are left, and a damaged file gives an error text
// with the records that could be read before the damage, never a read past the end.
//
// The records are handed on one at a time as they are read, so that reading a list costs the
// memory of what the caller keeps, not a multiple of the file.
#pragma once

#include "backup/backup_entry.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace nimbara::backup {

// The six bytes every Manifest.mbdb starts with: "mbdb", 5, 0.
inline constexpr std::uint8_t kMbdbMagic[6] = {'m', 'b', 'd', 'b', 5, 0};

// A record carries a handful of properties; one with more than this many is damage.
inline constexpr std::size_t kMaxMbdbProperties = 64;
// A manifest larger than this is refused.
inline constexpr std::uint64_t kMaxManifestBytes = 512ull * 1024 * 1024;

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

// Receives each record as it is read; returning false ends the reading there.
using MbdbVisitor = std::function<bool(MbdbRecord&&)>;

// Reads records one by one, handing each to `visit`. A damaged record (cut short, or with more
// than kMaxMbdbProperties properties) ends the read with an error naming it; the records before
// it have been handed on.
EntryStreamResult streamMbdb(std::span<const std::uint8_t> bytes, const MbdbVisitor& visit);
// The same, reading an open file from its start, a block at a time; `position` (may be empty)
// is told the bytes read so far as each record is handed on.
EntryStreamResult streamMbdbFile(int fd, const MbdbVisitor& visit,
                                 const ListPosition& position = {});

// Every record, kept.
MbdbReadResult parseMbdb(std::span<const std::uint8_t> bytes);
MbdbReadResult readMbdbFile(const std::string& path);

// Writes records in the same format (used to make test and sample backups).
std::string writeMbdb(const std::vector<MbdbRecord>& records);

}  // namespace nimbara::backup
