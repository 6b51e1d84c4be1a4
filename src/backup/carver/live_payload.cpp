#include "backup/carver/live_payload.h"

namespace nimbara::backup::carver {

LivePayloads::LivePayloads(const PageStore& store, const PageMap& map, WorkBudget& budget)
    : store_(store),
      map_(map),
      budget_(budget),
      chainPageRead_(std::size_t{store.pageCount()} + 1, false) {}

std::optional<std::vector<std::uint8_t>> LivePayloads::read(std::uint32_t pageNumber, Bytes page,
                                                            const Cell& cell) {
    if (pageNumber != page_) {
        page_ = pageNumber;
        pageBytes_ = 0;
    }
    pageBytes_ += cell.end - cell.start;
    if (pageBytes_ > page.size()) {
        return std::nullopt;
    }
    budget_.spend(cell.localSize);
    std::vector<std::uint8_t> payload(page.begin() + cell.payloadStart,
                                      page.begin() + cell.payloadStart + cell.localSize);
    if (cell.firstOverflow == 0) {
        return payload;
    }
    const auto unread = [this](std::uint32_t p) {
        if (map_.at(p).use != PageUse::Overflow || p >= chainPageRead_.size() ||
            chainPageRead_[p]) {
            return false;
        }
        chainPageRead_[p] = true;
        budget_.spend(store_.pageSize());
        return true;
    };
    if (std::optional<std::vector<std::uint8_t>> rest = store_.readChain(
            cell.firstOverflow, cell.payloadSize - cell.localSize, unread, false)) {
        payload.insert(payload.end(), rest->begin(), rest->end());
    }
    return payload;
}

}  // namespace nimbara::backup::carver
