// The frames of a "-wal" file: which of them the last committed transaction leaves in force, and
// which hold older versions of pages.
#pragma once

#include "backup/carver/sqlite_carver.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nimbara::backup::carver {

struct WalFrame {
    std::uint32_t page = 0;
    std::uint64_t dataOffset = 0;  // of the page's bytes in the "-wal" file
};

struct WalLog {
    // The newest committed frame of each page: these win over the main file's pages.
    std::unordered_map<std::uint32_t, WalFrame> current;
    // Older versions of pages: committed frames a later committed frame of the same page
    // replaced, and frames left from before the log was last restarted (another salt).
    // Frames written after the last commit, and frames past a checksum mismatch that still carry
    // the current salt, were never committed and are in neither list.
    std::vector<WalFrame> older;
    std::uint32_t databaseSize = 0;  // in pages, after the last commit; 0 without a commit
    std::uint32_t largestPage = 0;   // of the current frames
};

// Reads the log of a database with pages of `pageSize` bytes. The header's magic number,
// version, page size and checksum, and each frame's salts and running checksum (in the byte
// order the magic number names), decide which frames are valid; the first invalid frame ends the
// valid ones, as SQLite reads it. nullopt, with the reason in `why`, when the file is no such log.
// Each frame read is spent from `budget` and held in it; the reading ends when a stop is asked.
std::optional<WalLog> readWalLog(const ByteSource& wal, std::uint32_t pageSize, std::string& why,
                                 WorkBudget& budget);

}  // namespace nimbara::backup::carver
