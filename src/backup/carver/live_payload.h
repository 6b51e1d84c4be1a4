// The payloads of live cells, read so that a database whose cells share or overlap their bytes
// costs no more reading than its size: each overflow page is read for one cell only (a sound
// database gives each overflow page to one cell), and the cells of a page take no more bytes than
// the page holds. What is read is counted as work.
#pragma once

#include "backup/carver/btree_walk.h"
#include "backup/carver/page_store.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace nimbara::backup::carver {

class LivePayloads {
  public:
    LivePayloads(const PageStore& store, const PageMap& map, WorkBudget& budget);

    // The payload of a cell of page `pageNumber` (its usable bytes `page`): its local bytes and,
    // when the whole of it can be read, its overflow chain. nullopt once the page's cells take
    // more bytes than the page holds. The cells of a page are read one after another.
    std::optional<std::vector<std::uint8_t>> read(std::uint32_t pageNumber, Bytes page,
                                                  const Cell& cell);

  private:
    const PageStore& store_;
    const PageMap& map_;
    // Spent but never asked: reading stops at what the file holds, and a live row left unread
    // would let a copy of it pass as deleted.
    WorkBudget& budget_;
    std::vector<bool> chainPageRead_;
    std::uint32_t page_ = 0;
    std::uint64_t pageBytes_ = 0;  // taken by the cells of page_ read so far
};

}  // namespace nimbara::backup::carver
