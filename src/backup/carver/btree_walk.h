// Which tree, list or chain each page of the final state belongs to, found by walking the
// b-trees from their roots and the freelist from its first trunk page. Every walk is bounded: a
// page claimed before ends the branch that reaches it again, and trees are at most kMaxDepth deep.
#pragma once

#include "backup/carver/page_store.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace nimbara::backup::carver {

enum class PageUse : std::uint8_t {
    Unclaimed,      // in no tree, list or chain
    TableLeaf,      // of a table carved for
    TableInterior,  // of a table carved for
    OtherTree,      // a page of another table, an index or the schema
    Overflow,       // of a live cell
    FreelistTrunk,
    FreelistLeaf,
    Reserved,  // a pointer-map page or the lock-byte page
};

struct PageOwner {
    PageUse use = PageUse::Unclaimed;
    int table = -1;  // the carved table of TableLeaf and TableInterior pages
};

class PageMap {
  public:
    explicit PageMap(std::uint32_t pageCount) : owners_(std::size_t{pageCount} + 1) {}
    std::uint32_t pageCount() const { return static_cast<std::uint32_t>(owners_.size() - 1); }
    // Claims an unclaimed page in range; false otherwise.
    bool claim(std::uint32_t page, PageOwner owner);
    PageOwner at(std::uint32_t page) const {
        return page < owners_.size() ? owners_[page] : PageOwner{PageUse::Reserved, -1};
    }

  private:
    std::vector<PageOwner> owners_;
};

inline constexpr int kMaxDepth = 40;

// The bytes of b-tree page `page` (usable part), its header and one of its leaf cells.
using LeafCellVisitor =
    std::function<void(std::uint32_t page, Bytes bytes, const BTreePage& btree, const Cell& cell)>;

// Walks the tree rooted at `root` (a table tree when `tableTree`, else an index tree), claiming
// its pages (for `table` when it is >= 0, else as OtherTree) and its cells' overflow chains;
// `onLeafCell` sees every leaf cell. A page of the wrong kind ends its branch unclaimed. Each page
// read and each cell is spent from `budget`; once it is exhausted the walk ends where it is (the
// caller then searches no further). false when the stop check asked to end.
bool walkTree(const PageStore& store, PageMap& map, std::uint32_t root, bool tableTree, int table,
              const LeafCellVisitor& onLeafCell, WorkBudget& budget);

// Claims the freelist's trunk and leaf pages, following the trunk chain from `firstTrunk`, each
// page read and each leaf spent from `budget`.
void walkFreelist(const PageStore& store, PageMap& map, std::uint32_t firstTrunk,
                  WorkBudget& budget);

// Claims the pointer-map pages of an auto-vacuum database and the lock-byte page.
void claimReservedPages(PageMap& map, std::uint32_t pageSize, std::uint32_t usableSize,
                        bool autoVacuum);

// The header offset of a page's b-tree header: 100 on page 1, 0 elsewhere.
inline std::uint32_t btreeHeaderStart(std::uint32_t page) {
    return page == 1 ? 100 : 0;
}

}  // namespace nimbara::backup::carver
