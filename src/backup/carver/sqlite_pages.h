// The database header and the b-tree pages of SQLite's file format: page headers, cell pointer
// arrays, cells and their payload split, and freeblock chains. Each function reads only the page
// bytes it is given and refuses what does not fit them.
#pragma once

#include "backup/carver/sqlite_record.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbara::backup::carver {

inline constexpr std::size_t kDatabaseHeaderSize = 100;

struct DatabaseHeader {
    std::uint32_t pageSize = 0;         // 512 to 65,536
    std::uint32_t usableSize = 0;       // the page size less the bytes reserved at each page's end
    std::uint32_t headerPageCount = 0;  // 0 when the header's own count is not to be trusted
    std::uint32_t freelistTrunk = 0;
    std::uint32_t freelistCount = 0;
    bool autoVacuum = false;  // pointer-map pages are present
    TextEncoding encoding = TextEncoding::Utf8;
};

// Reads the first 100 bytes of a database; nullopt, with the reason in `why`, for a missing magic
// text, a page size that is no power of two from 512 to 65,536 (1 stands for 65,536), reserved
// bytes that leave fewer than 480 usable, wrong payload fractions or an unknown text encoding.
std::optional<DatabaseHeader> parseDatabaseHeader(Bytes header, std::string& why);

enum PageType : std::uint8_t {
    kIndexInterior = 2,
    kTableInterior = 5,
    kIndexLeaf = 10,
    kTableLeaf = 13,
};

struct BTreePage {
    std::uint8_t type = 0;
    std::uint32_t headerStart = 0;  // 100 on page 1
    std::uint32_t firstFreeblock = 0;
    std::uint32_t cellCount = 0;
    std::uint32_t contentStart = 0;
    std::uint32_t rightChild = 0;       // interior pages
    std::uint32_t cellPointers = 0;     // offset of the cell pointer array
    std::uint32_t cellPointersEnd = 0;  // just past it

    bool leaf() const { return type == kTableLeaf || type == kIndexLeaf; }
    bool table() const { return type == kTableLeaf || type == kTableInterior; }
    std::uint32_t cellPointer(Bytes page, std::uint32_t index) const {
        return readBig16(page, cellPointers + 2 * index);
    }
};

// The b-tree header of a page (`page` holds the usable bytes); nullopt when the type byte is no
// b-tree page's or the header, the pointer array or the content start do not fit the page.
std::optional<BTreePage> parseBTreePage(Bytes page, std::uint32_t headerStart);

struct Cell {
    std::uint32_t start = 0;
    std::uint32_t end = 0;        // just past the cell, its overflow page number included
    std::uint32_t leftChild = 0;  // interior pages
    std::int64_t rowid = 0;       // table pages
    std::uint64_t payloadSize = 0;
    std::uint32_t payloadStart = 0;
    std::uint32_t localSize = 0;  // payload bytes on the page
    std::uint32_t firstOverflow = 0;
};

// The part of a payload of `payloadSize` bytes kept on a page of `usableSize` usable bytes.
std::uint32_t localPayloadSize(std::uint64_t payloadSize, std::uint32_t usableSize, bool tableLeaf);

// The cell at `offset` of a page whose header is `btree`; nullopt when it does not fit the page.
std::optional<Cell> parseCell(Bytes page, const BTreePage& btree, std::uint32_t offset);

// The bytes the page's cells cover, sorted (a pointer to no valid cell is left out).
struct Span {
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};
std::vector<Span> cellSpans(Bytes page, const BTreePage& btree);

// The freeblock chain: ascending, each block inside the page and past the pointer array, at least
// 4 bytes long. A block out of order (which also ends a loop) ends the chain.
std::vector<Span> freeblockChain(Bytes page, const BTreePage& btree);

// The spans as disjoint runs, sorted: spans that overlap or touch are merged.
std::vector<Span> mergeSpans(const std::vector<Span>& sorted);

// `from` less the `taken` spans (disjoint and sorted, as mergeSpans leaves them); the spans before
// `from` are passed over by a binary search.
std::vector<Span> subtractSpans(Span from, const std::vector<Span>& taken);

}  // namespace nimbara::backup::carver
