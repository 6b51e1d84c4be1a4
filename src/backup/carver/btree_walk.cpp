#include "backup/carver/btree_walk.h"

#include <algorithm>

namespace nimbara::backup::carver {

bool PageMap::claim(std::uint32_t page, PageOwner owner) {
    if (page == 0 || page >= owners_.size() || owners_[page].use != PageUse::Unclaimed) {
        return false;
    }
    owners_[page] = owner;
    return true;
}

namespace {

void claimOverflow(const PageStore& store, PageMap& map, const Cell& cell, WorkBudget& budget) {
    std::uint64_t remaining = cell.payloadSize - cell.localSize;
    std::uint32_t page = cell.firstOverflow;
    const std::uint32_t perPage = store.usableSize() - 4;
    while (remaining > 0 && budget.spend(1) && map.claim(page, {PageUse::Overflow, -1})) {
        remaining -= std::min<std::uint64_t>(remaining, perPage);
        const std::optional<std::uint32_t> next = store.nextOverflowPage(page);
        if (!next) {
            break;
        }
        page = *next;
    }
}

}  // namespace

bool walkTree(const PageStore& store, PageMap& map, std::uint32_t root, bool tableTree, int table,
              const LeafCellVisitor& onLeafCell, WorkBudget& budget) {
    struct Pending {
        std::uint32_t page;
        int depth;
    };
    std::vector<Pending> pending{{root, 0}};
    std::vector<std::uint8_t> bytes;
    while (!pending.empty()) {
        if (!budget.spend(1)) {
            return !budget.stopped();
        }
        const Pending next = pending.back();
        pending.pop_back();
        if (map.at(next.page).use != PageUse::Unclaimed) {
            continue;  // seen before: the branch ends here
        }
        if (!budget.spend(store.pageSize()) || !store.read(next.page, bytes)) {
            if (budget.stopped()) {
                return false;
            }
            continue;  // out of range or unreadable: the branch ends here
        }
        const Bytes page = Bytes(bytes).first(store.usableSize());
        const std::optional<BTreePage> btree = parseBTreePage(page, btreeHeaderStart(next.page));
        if (!btree || btree->table() != tableTree) {
            continue;
        }
        PageOwner owner{PageUse::OtherTree, -1};
        if (table >= 0) {
            owner = {btree->leaf() ? PageUse::TableLeaf : PageUse::TableInterior, table};
        }
        map.claim(next.page, owner);
        for (std::uint32_t i = 0; i < btree->cellCount && budget.spend(1); ++i) {
            const std::optional<Cell> cell = parseCell(page, *btree, btree->cellPointer(page, i));
            if (!cell) {
                continue;
            }
            if (cell->firstOverflow != 0) {
                claimOverflow(store, map, *cell, budget);
            }
            if (btree->leaf()) {
                if (onLeafCell) {
                    onLeafCell(next.page, page, *btree, *cell);
                }
            } else if (next.depth < kMaxDepth) {
                pending.push_back({cell->leftChild, next.depth + 1});
            }
        }
        if (!btree->leaf() && next.depth < kMaxDepth) {
            pending.push_back({btree->rightChild, next.depth + 1});
        }
    }
    return true;
}

void walkFreelist(const PageStore& store, PageMap& map, std::uint32_t firstTrunk,
                  WorkBudget& budget) {
    std::vector<std::uint8_t> bytes;
    std::uint32_t trunk = firstTrunk;
    // Each trunk is claimed once, so a chain that loops ends where it comes back.
    while (map.claim(trunk, {PageUse::FreelistTrunk, -1})) {
        if (!budget.spend(store.pageSize()) || !store.read(trunk, bytes)) {
            break;
        }
        const Bytes page = Bytes(bytes).first(store.usableSize());
        const std::uint32_t leaves =
            std::min<std::uint32_t>(readBig32(page, 4), (store.usableSize() - 8) / 4);
        if (!budget.spend(leaves)) {
            break;
        }
        for (std::uint32_t i = 0; i < leaves; ++i) {
            map.claim(readBig32(page, 8 + 4 * i), {PageUse::FreelistLeaf, -1});
        }
        trunk = readBig32(page, 0);
    }
}

void claimReservedPages(PageMap& map, std::uint32_t pageSize, std::uint32_t usableSize,
                        bool autoVacuum) {
    const std::uint64_t lockBytePage = (std::uint64_t{1} << 30) / pageSize + 1;
    if (lockBytePage <= map.pageCount()) {
        map.claim(static_cast<std::uint32_t>(lockBytePage), {PageUse::Reserved, -1});
    }
    if (!autoVacuum) {
        return;
    }
    // A pointer-map page maps the usable size / 5 pages that follow it.
    const std::uint64_t stride = usableSize / 5 + 1;
    for (std::uint64_t page = 2; page <= map.pageCount(); page += stride) {
        map.claim(static_cast<std::uint32_t>(page), {PageUse::Reserved, -1});
    }
}

}  // namespace nimbara::backup::carver
