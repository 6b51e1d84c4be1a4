// Finds the records of deleted rows in one free region of a page: whole cells, record headers
// whose cell prefix was overwritten, and cells whose first bytes a freeblock header overwrote,
// each checked against the columns of the tables they may belong to.
#pragma once

#include "backup/carver/sqlite_pages.h"
#include "backup/carver/sqlite_record.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nimbara::backup::carver {

// What a table's records look like on disk.
struct TableShape {
    std::string name;
    std::size_t columnCount = 0;     // the columns a record holds (generated VIRTUAL ones are not)
    std::vector<Affinity> affinity;  // of each column
    std::vector<bool> rowidAlias;    // of each column
    std::size_t minStored = 0;       // fewest columns a record may hold (ALTER TABLE ADD COLUMN)
    // Some column may hold a text or blob: a row must then recover a non-empty one to tell
    // anything (else a non-zero number will do).
    bool holdsTexts = false;
};

// Records written before columns were added hold fewer: at least two thirds of the table's.
std::size_t fewestStoredColumns(std::size_t stored);

// The bytes a carved row holds until the search hands it on, with what the search keeps beside
// it (its place in the lists of rows and the hashes of its values).
std::uint64_t heldBytes(const CarvedRow& row);
// Of those, what the search keeps beside each row for the checks against live and repeated rows.
inline constexpr std::uint64_t kCheckBytesPerRow = 4 * 64;

struct SearchArea {
    Bytes page;                    // the usable bytes of the page
    std::uint64_t fileOffset = 0;  // of the page's first byte, in the file it was read from
    Origin origin = Origin::Freeblock;
};

// The payload bytes that continue a carved cell on the overflow chain starting at page `first`
// (`length` of them or more, the first `length` the cell's); null when the chain can't be
// followed (a live or trunk page, a loop, an early end, a chain of another length).
using ChainReader =
    std::function<const std::vector<std::uint8_t>*(std::uint32_t first, std::uint64_t length)>;

class RecordSearch {
  public:
    // Each offset tried, each byte of a record header read, each column checked, each value made
    // and each byte taken from an overflow chain is spent from `budget`, and each row found and
    // kept is held in it; once it is exhausted, nothing more is found.
    RecordSearch(std::vector<TableShape> shapes, TextEncoding encoding, ChainReader chains,
                 WorkBudget& budget);

    const std::vector<TableShape>& shapes() const { return shapes_; }

    struct Region {
        Span span;
        // The region is a block of the page's freeblock chain, its first 4 bytes the block's
        // header.
        bool freeblockStart = false;
        // A live cell begins where the region ends: it may have been written over the tail of a
        // deleted record that began inside the region.
        bool tailOverwritten = false;
    };
    // Appends the rows found in `region` of the page, of the tables `tables` (indexes into the
    // shapes; the first of them wins a tie).
    void search(const SearchArea& area, const Region& region, std::span<const int> tables,
                std::vector<CarvedRow>& out) const;

  private:
    friend class RegionScan;
    std::vector<TableShape> shapes_;
    TextEncoding encoding_;
    ChainReader chains_;
    WorkBudget& budget_;
};

}  // namespace nimbara::backup::carver
