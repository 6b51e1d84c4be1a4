#include "backup/carver/page_store.h"

#include <algorithm>
#include <unordered_set>

namespace nimbara::backup::carver {

PageStore::PageStore(const ByteSource& database, const ByteSource* walFile, const WalLog* log,
                     std::uint32_t pageSize, std::uint32_t usableSize, std::uint32_t pageCount)
    : database_(database),
      walFile_(walFile),
      log_(log),
      pageSize_(pageSize),
      usableSize_(usableSize),
      pageCount_(pageCount) {}

std::optional<PageStore::Location> PageStore::locate(std::uint32_t page) const {
    if (page == 0 || page > pageCount_) {
        return std::nullopt;
    }
    if (log_ != nullptr && walFile_ != nullptr) {
        if (const auto frame = log_->current.find(page); frame != log_->current.end()) {
            return Location{walFile_, frame->second.dataOffset, true};
        }
    }
    const std::uint64_t offset = std::uint64_t{page - 1} * pageSize_;
    if (offset > database_.size() || database_.size() - offset < pageSize_) {
        return std::nullopt;
    }
    return Location{&database_, offset, false};
}

bool PageStore::read(std::uint32_t page, std::vector<std::uint8_t>& into) const {
    const std::optional<Location> where = locate(page);
    into.resize(pageSize_);
    return where && where->file->read(where->offset, into.data(), into.size());
}

std::optional<std::uint32_t> PageStore::nextOverflowPage(std::uint32_t page) const {
    const std::optional<Location> where = locate(page);
    std::uint8_t next[4];
    if (!where || !where->file->read(where->offset, next, sizeof next)) {
        return std::nullopt;
    }
    return readBig32(Bytes(next), 0);
}

std::optional<std::vector<std::uint8_t>> PageStore::readChain(
    std::uint32_t first, std::uint64_t length, const std::function<bool(std::uint32_t)>& allowed,
    bool strictEnd) const {
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> page;
    std::unordered_set<std::uint32_t> seen;
    const std::uint32_t perPage = usableSize_ - 4;
    std::uint32_t at = first;
    while (out.size() < length) {
        if (at == 0 || !seen.insert(at).second || !allowed(at) || !read(at, page)) {
            return std::nullopt;
        }
        const std::uint64_t take = std::min<std::uint64_t>(perPage, length - out.size());
        out.insert(out.end(), page.begin() + 4,
                   page.begin() + 4 + static_cast<std::ptrdiff_t>(take));
        at = readBig32(Bytes(page), 0);
    }
    if (strictEnd && at != 0) {
        return std::nullopt;
    }
    return out;
}

}  // namespace nimbara::backup::carver
