// The pages of a database as its last committed transaction leaves them: the newest committed
// "-wal" frame of a page, else the main file's copy.
#pragma once

#include "backup/carver/sqlite_pages.h"
#include "backup/carver/wal_frames.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace nimbara::backup::carver {

class PageStore {
  public:
    PageStore(const ByteSource& database, const ByteSource* walFile, const WalLog* log,
              std::uint32_t pageSize, std::uint32_t usableSize, std::uint32_t pageCount);

    std::uint32_t pageSize() const { return pageSize_; }
    std::uint32_t usableSize() const { return usableSize_; }
    std::uint32_t pageCount() const { return pageCount_; }

    struct Location {
        const ByteSource* file = nullptr;
        std::uint64_t offset = 0;  // of the page's first byte
        bool fromWal = false;
    };
    // Where the page lies; nullopt for 0, past the page count, or past the end of its file.
    std::optional<Location> locate(std::uint32_t page) const;
    // The page's bytes (pageSize of them) into `into`; false when they can't all be read.
    bool read(std::uint32_t page, std::vector<std::uint8_t>& into) const;
    std::optional<std::uint32_t> nextOverflowPage(std::uint32_t page) const;

    // Payload bytes that continue on the overflow chain from `first`: `length` of them, each page
    // accepted by `allowed` and seen once. With `strictEnd`, the last page must end the chain.
    std::optional<std::vector<std::uint8_t>> readChain(
        std::uint32_t first, std::uint64_t length,
        const std::function<bool(std::uint32_t)>& allowed, bool strictEnd) const;

  private:
    const ByteSource& database_;
    const ByteSource* walFile_;
    const WalLog* log_;
    std::uint32_t pageSize_;
    std::uint32_t usableSize_;
    std::uint32_t pageCount_;
};

}  // namespace nimbara::backup::carver
