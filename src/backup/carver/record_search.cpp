#include "backup/carver/record_search.h"

#include <algorithm>
#include <map>

namespace nimbara::backup::carver {

namespace {

// SQLite's default largest text or blob; longer content is no record's.
constexpr std::uint64_t kMaxBody = 1'000'000'000;
// Work a value made costs besides its bytes (its slot, its checks).
constexpr std::uint64_t kValueWork = 16;
// A record header whose length varint was lost took one byte for it: it is shorter than 128.
constexpr std::size_t kShortHeader = 128;

// A record read at some offset, before it is matched against a table.
struct Reading {
    std::uint32_t recordStart = 0;   // its header length varint, whether still there or not
    std::uint64_t headerLength = 0;  // bytes of the header, its length varint included
    std::size_t lost = 0;            // leading serial types overwritten (all of NULL columns)
    const SerialTypes* types = nullptr;
    std::optional<std::int64_t> rowid;
    std::optional<std::uint64_t> payloadSize;  // as the cell gives it
    std::size_t maxPayloadVarint = 9;          // bytes the cell's payload length may have taken
    // Anchored well enough (a whole cell's payload length agrees with it, or a freeblock header
    // gives where it began) that its tail may have been written over by a later cell.
    bool mayBeCut = false;
};

struct Found {
    CarvedRow row;
    std::uint32_t end = 0;  // just past the record's bytes on the page
    bool allColumns = false;
    bool telling = false;  // recovers a value that tells something about the row
};

// Of two readings of the same bytes: the one that tells something, then the one with every column.
bool better(const Found& a, const std::optional<Found>& b) {
    return !b || (a.telling && !b->telling) ||
           (a.telling == b->telling && a.allColumns && !b->allColumns);
}

bool telling(const Value& value, bool textsExpected) {
    switch (value.kind) {
        case Value::Kind::Text:
        case Value::Kind::Blob:
            return !value.bytes.empty();
        case Value::Kind::Integer:
            return !textsExpected && value.integer != 0;
        case Value::Kind::Real:
            return !textsExpected && value.real != 0;
        case Value::Kind::Null:
            break;
    }
    return false;
}

}  // namespace

std::size_t fewestStoredColumns(std::size_t stored) {
    return stored - stored / 3;
}

std::uint64_t heldBytes(const CarvedRow& row) {
    // The row's place in the list it is found into, which may be twice as long as its rows,
    // beside its place in the list it moves to (a longer one as the list grows, or the list
    // handed on): three at most at once. Then its values and their bytes, and the running
    // hashes of its values.
    std::uint64_t bytes = 3 * sizeof(CarvedRow) + heapBytes(row.table) +
                          row.values.capacity() * sizeof(std::optional<Value>) +
                          (row.values.size() + 1) * sizeof(std::uint64_t) + kCheckBytesPerRow;
    for (const std::optional<Value>& value : row.values) {
        if (value) {
            bytes += heapBytes(value->bytes);
        }
    }
    return bytes;
}

// One pass over a region; each accepted record moves the search past its end.
class RegionScan {
  public:
    RegionScan(const RecordSearch& search, const SearchArea& area,
               const RecordSearch::Region& region, std::span<const int> tables)
        : search_(search),
          area_(area),
          region_(region.span),
          tables_(tables),
          bytes_(area.page.first(region.span.end)),
          cut_(region.span.end),
          reach_(region.tailOverwritten ? static_cast<std::uint32_t>(area.page.size())
                                        : region.span.end) {
        for (const int table : tables_) {
            const TableShape& shape = search_.shapes_[table];
            maxStored_ = std::max(maxStored_, shape.columnCount);
        }
        // A serial type takes at most 9 bytes, a realistic one at most 5.
        maxHeader_ = 2 + 5 * maxStored_;
    }
    ~RegionScan() { search_.budget_.release(cellsHeld_); }
    RegionScan(const RegionScan&) = delete;
    RegionScan& operator=(const RegionScan&) = delete;

    void run(bool freeblockStart, std::vector<CarvedRow>& out) {
        // Whole cells are the strongest reading: where one begins, any weaker reading of the
        // bytes before it ends (a cell there was written later, over whatever lay there).
        for (std::uint32_t at = region_.begin + (freeblockStart ? 4 : 0); at < region_.end; ++at) {
            if (!search_.budget_.spend(tables_.size())) {
                return;
            }
            if (std::optional<Found> cell = cellAt(at)) {
                const std::uint64_t bytes = heldBytes(cell->row);
                cellsHeld_ += bytes;
                cells_.emplace(at, std::move(*cell));
                if (!search_.budget_.hold(bytes)) {
                    return;
                }
            }
        }
        std::uint32_t at = region_.begin;
        if (freeblockStart) {
            cut_ = nextCell(at, region_.end);
            if (std::optional<Found> found = damagedAt(at, reach_, false);
                found && found->telling) {
                at = found->end;
                if (!keep(std::move(found->row), out)) {
                    return;
                }
            } else {
                at += 4;
            }
        }
        while (at < region_.end && search_.budget_.spend(tables_.size())) {
            if (const auto cell = cells_.find(at); cell != cells_.end()) {
                // A whole cell claims its bytes even when none of its values is left to tell.
                at = cell->second.end;
                if (cell->second.telling) {
                    // Held since it was found: it moves on with its bytes.
                    cellsHeld_ -= heldBytes(cell->second.row);
                    out.push_back(std::move(cell->second.row));
                }
                continue;
            }
            const std::uint32_t next = nextCell(at + 1, region_.end);
            cut_ = next;
            std::optional<Found> found = staleBlockAt(at);
            if (!found) {
                found = headerAt(at, next, 9, std::nullopt, false);
            }
            cut_ = region_.end;
            if (found && found->telling) {
                at = std::min(found->end, next);
                if (!keep(std::move(found->row), out)) {
                    return;
                }
                continue;
            }
            ++at;
        }
    }

  private:
    // Hands a row on, held in the budget; false once the memory the search may hold is taken.
    bool keep(CarvedRow row, std::vector<CarvedRow>& out) const {
        const std::uint64_t bytes = heldBytes(row);
        out.push_back(std::move(row));
        return search_.budget_.hold(bytes);
    }

    bool fitsAny(std::size_t column, std::uint64_t type) const {
        ++typesRead_;
        for (const int table : tables_) {
            const TableShape& shape = search_.shapes_[table];
            if (column < shape.columnCount &&
                serialTypeFits(shape.affinity[column], shape.rowidAlias[column], type)) {
                return true;
            }
        }
        return false;
    }

    // (a) a whole cell: payload length, rowid, record header, body.
    std::optional<Found> cellAt(std::uint32_t at) const {
        const Varint payload = readVarint(bytes_, at);
        if (payload.length == 0 || payload.value < 2) {
            return std::nullopt;
        }
        const Varint rowid = readVarint(bytes_, at + payload.length);
        // Row ids SQLite hands out are positive.
        if (rowid.length == 0 || rowid.value == 0 || rowid.value > INT64_MAX) {
            return std::nullopt;
        }
        const std::uint32_t header = at + payload.length + rowid.length;
        return readHeader(header, reach_, 9, std::nullopt, static_cast<std::int64_t>(rowid.value),
                          payload.value, true);
    }

    // (b) a record header whose cell prefix is gone: header length, serial types, body.
    std::optional<Found> headerAt(std::uint32_t at, std::uint32_t end, std::size_t maxPayloadVarint,
                                  const std::optional<std::uint32_t>& exactEnd,
                                  bool anchored) const {
        return readHeader(at, end, maxPayloadVarint, exactEnd, std::nullopt, std::nullopt,
                          anchored);
    }

    std::optional<Found> readHeader(std::uint32_t at, std::uint32_t end,
                                    std::size_t maxPayloadVarint,
                                    const std::optional<std::uint32_t>& exactEnd,
                                    std::optional<std::int64_t> rowid,
                                    std::optional<std::uint64_t> payloadSize, bool anchored) const {
        const Varint length = readVarint(bytes_, at);
        if (length.length == 0 || length.value <= length.length || length.value > maxHeader_ ||
            length.value > region_.end - at) {
            return std::nullopt;
        }
        typesRead_ = 0;
        const std::optional<SerialTypes> types = readTypesUntil(
            bytes_, at + length.length, at + length.value, maxStored_, kMaxBody,
            [this](std::size_t column, std::uint64_t type) { return fitsAny(column, type); });
        // Each type read was checked against each table.
        if (!search_.budget_.spend(typesRead_ * tables_.size()) || !types) {
            return std::nullopt;
        }
        Reading reading;
        reading.recordStart = at;
        reading.headerLength = length.value;
        reading.types = &*types;
        reading.rowid = rowid;
        reading.payloadSize = payloadSize;
        reading.maxPayloadVarint = maxPayloadVarint;
        reading.mayBeCut = anchored;
        std::optional<Found> best;
        for (const int table : tables_) {
            std::optional<Found> found = match(reading, table, end, exactEnd);
            if (found && better(*found, best)) {
                best = std::move(found);
            }
        }
        return best;
    }

    // A cell whose first 4 bytes the header of the freeblock [block, blockEnd) overwrote: either
    // its payload length and rowid took just those (the record header is whole), or its header
    // length went too (types from block + 4), or also its first serial type, allowed only for a
    // rowid alias (NULL) there. With `exact`, the cell must fill the block but for up to 3
    // fragment bytes.
    std::optional<Found> damagedAt(std::uint32_t block, std::uint32_t blockEnd, bool exact) const {
        const std::uint32_t types = block + 4;
        if (types >= blockEnd) {
            return std::nullopt;
        }
        const std::optional<std::uint32_t> exactEnd =
            exact ? std::optional<std::uint32_t>(blockEnd) : std::nullopt;
        if (std::optional<Found> whole = headerAt(types, blockEnd, 3, exactEnd, true);
            whole && whole->telling) {
            return whole;
        }
        for (std::size_t lost = 0; lost <= 1; ++lost) {
            std::optional<Found> best;
            for (const int table : tables_) {
                std::optional<Found> found = damagedFor(table, types, lost, blockEnd, exactEnd);
                if (found && found->telling && better(*found, best)) {
                    best = std::move(found);
                }
            }
            if (best) {
                return best;
            }
        }
        return std::nullopt;
    }

    std::optional<Found> damagedFor(int table, std::uint32_t typesStart, std::size_t lost,
                                    std::uint32_t blockEnd,
                                    const std::optional<std::uint32_t>& exactEnd) const {
        const TableShape& shape = search_.shapes_[table];
        if (lost > 0 && (shape.columnCount == 0 || !shape.rowidAlias[0])) {
            return std::nullopt;
        }
        // Without the header length the column count is not known: every type that may be the
        // table's is read, then the most columns are tried first.
        SerialTypes all;
        std::vector<std::uint32_t> ends;
        std::vector<std::uint64_t> bodies;
        std::size_t at = typesStart;
        // The header is shorter than kShortHeader bytes (below): no type past that is read.
        while (lost + all.types.size() < shape.columnCount &&
               at - typesStart + 1 + lost < kShortHeader) {
            if (!search_.budget_.spend(1)) {
                return std::nullopt;
            }
            const Varint type = readVarint(bytes_, at);
            const std::size_t column = lost + all.types.size();
            if (type.length == 0 ||
                !serialTypeFits(shape.affinity[column], shape.rowidAlias[column], type.value)) {
                break;
            }
            const std::uint64_t length = *serialTypeLength(type.value);
            if (length > kMaxBody || all.bodyLength > kMaxBody - length) {
                break;
            }
            all.types.push_back(type.value);
            all.bodyLength += length;
            at += type.length;
            ends.push_back(static_cast<std::uint32_t>(at));
            bodies.push_back(all.bodyLength);
        }
        const std::size_t fewest = std::max<std::size_t>(shape.minStored, lost + 1);
        for (std::size_t count = lost + all.types.size(); count >= fewest; --count) {
            const std::size_t read = count - lost;
            // The lost header length took one byte (the payload length and rowid at least one
            // each), so the header is shorter than 128 bytes.
            const std::uint64_t headerLength = 1 + lost + (ends[read - 1] - typesStart);
            if (headerLength >= kShortHeader) {
                continue;
            }
            if (!search_.budget_.spend(read)) {
                return std::nullopt;
            }
            SerialTypes types;
            types.types.assign(all.types.begin(), all.types.begin() + read);
            types.end = ends[read - 1];
            types.bodyLength = bodies[read - 1];
            Reading reading;
            reading.recordStart = typesStart - static_cast<std::uint32_t>(lost) - 1;
            reading.headerLength = headerLength;
            reading.lost = lost;
            reading.types = &types;
            reading.maxPayloadVarint = lost == 1 ? 1 : 2;
            reading.mayBeCut = true;
            if (std::optional<Found> found = match(reading, table, blockEnd, exactEnd);
                found && found->telling) {
                return found;
            }
        }
        return std::nullopt;
    }

    // A freeblock header left behind in free space (its block since merged into the gap or into
    // a bigger block): next block 0 or further on, a size that fits; the cell must fill it.
    std::optional<Found> staleBlockAt(std::uint32_t at) const {
        if (std::size_t{at} + 4 > region_.end) {
            return std::nullopt;
        }
        const std::uint32_t next = readBig16(bytes_, at);
        const std::uint32_t size = readBig16(bytes_, at + 2);
        if (size < 6 || std::size_t{at} + size > reach_ ||
            (next != 0 && (next < at + size || next >= area_.page.size()))) {
            return std::nullopt;
        }
        return damagedAt(at, at + size, true);
    }

    // Whether a record ending at `recordEnd` was the first cell of a freed block ending at
    // `blockEnd`: it fills the block but for up to 3 fragment bytes, or the rest of the block is
    // a run freed with it (a whole cell, or the header a block of exactly the rest had before
    // the two merged), or the rest was written over since.
    bool fillsBlock(std::uint64_t recordEnd, std::uint32_t blockEnd) const {
        if (recordEnd > blockEnd) {
            return false;
        }
        if (blockEnd - recordEnd <= 3 || recordEnd > cut_) {
            return true;
        }
        for (std::uint64_t at = recordEnd; at <= recordEnd + 3 && at + 4 <= region_.end; ++at) {
            const auto rest = static_cast<std::uint32_t>(at);
            if (cells_.count(rest) > 0 || readBig16(bytes_, rest + 2) == blockEnd - rest) {
                return true;
            }
        }
        return false;
    }

    // The first whole cell at or after `from`, or `otherwise`.
    std::uint32_t nextCell(std::uint32_t from, std::uint32_t otherwise) const {
        const auto cell = cells_.lower_bound(from);
        return cell == cells_.end() ? otherwise : std::min(cell->first, otherwise);
    }

    std::optional<Found> match(const Reading& reading, int table, std::uint32_t end,
                               const std::optional<std::uint32_t>& exactEnd) const {
        const TableShape& shape = search_.shapes_[table];
        const std::vector<std::uint64_t>& types = reading.types->types;
        const std::size_t count = reading.lost + types.size();
        if (count > shape.columnCount || count < shape.minStored) {
            return std::nullopt;
        }
        // Each column checked, and a slot for each of the table's.
        if (!search_.budget_.spend(count + shape.columnCount)) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const bool fits = i < reading.lost
                                  ? shape.rowidAlias[i]
                                  : serialTypeFits(shape.affinity[i], shape.rowidAlias[i],
                                                   types[i - reading.lost]);
            if (!fits) {
                return std::nullopt;
            }
        }
        const std::uint64_t payload = reading.headerLength + reading.types->bodyLength;
        if ((reading.payloadSize && *reading.payloadSize != payload) ||
            varintLength(payload) > reading.maxPayloadVarint) {
            return std::nullopt;
        }
        const auto usable = static_cast<std::uint32_t>(area_.page.size());
        const std::uint32_t local = localPayloadSize(payload, usable, true);
        const bool overflow = local < payload;
        const std::uint64_t recordEnd =
            std::uint64_t{reading.recordStart} + local + (overflow ? 4 : 0);
        if (recordEnd > end || (exactEnd && !fillsBlock(recordEnd, *exactEnd))) {
            return std::nullopt;
        }
        // Bytes from cut_ on are no longer the record's: values there stay empty.
        const bool cut = recordEnd > cut_;
        if (cut && (!reading.mayBeCut || reading.recordStart + reading.headerLength > cut_)) {
            return std::nullopt;
        }
        const std::uint32_t kept = cut ? cut_ - reading.recordStart : local;
        if (reading.headerLength > kept) {
            return std::nullopt;
        }

        const std::vector<std::uint8_t>* chain = nullptr;
        if (overflow && !cut) {
            chain = search_.chains_(readBig32(area_.page, reading.recordStart + local),
                                    payload - local);
            // The values read from it are copied: they count as the work they are.
            if (chain != nullptr &&
                (chain->size() < payload - local || !search_.budget_.spend(payload - local))) {
                chain = nullptr;
            }
        }
        const Bytes localBytes = area_.page.subspan(reading.recordStart, kept);
        Found found;
        found.row.values.resize(shape.columnCount);
        found.allColumns = count == shape.columnCount;
        bool informative = false;
        std::uint64_t at = reading.headerLength;
        std::vector<std::uint8_t> joined;
        for (std::size_t i = reading.lost; i < count; ++i) {
            const std::uint64_t type = types[i - reading.lost];
            const std::uint64_t length = *serialTypeLength(type);
            const std::size_t column = i;
            if (shape.rowidAlias[i]) {
                if (reading.rowid) {
                    found.row.values[column] = Value{Value::Kind::Integer, *reading.rowid, 0, {}};
                }
                continue;
            }
            std::optional<Bytes> content;
            if (at + length <= kept) {
                content = localBytes.subspan(at, length);
            } else if (chain) {
                joined.clear();
                if (at < local) {
                    joined.assign(localBytes.begin() + at, localBytes.end());
                }
                const std::uint64_t from = at < local ? 0 : at - local;
                const std::uint64_t to = at + length - local;
                joined.insert(joined.end(), chain->begin() + from, chain->begin() + to);
                content = Bytes(joined);
            }
            at += length;
            if (!content) {
                continue;  // continues on an overflow chain that can't be followed
            }
            if (!search_.budget_.spend(kValueWork + content->size())) {
                return std::nullopt;
            }
            std::optional<Value> value =
                decodeValue(type, *content, shape.affinity[i], search_.encoding_);
            if (!value) {
                return std::nullopt;
            }
            informative = informative || telling(*value, shape.holdsTexts);
            found.row.values[column] = std::move(*value);
        }
        found.telling = informative;  // NULLs, zeros and empty texts tell nothing about a row
        found.row.table = shape.name;
        found.row.rowid = reading.rowid;
        found.row.origin = area_.origin;
        found.row.offset = area_.fileOffset + reading.recordStart;
        found.end = static_cast<std::uint32_t>(std::min<std::uint64_t>(recordEnd, cut_));
        return found;
    }

    const RecordSearch& search_;
    const SearchArea& area_;
    Span region_;
    std::span<const int> tables_;
    Bytes bytes_;  // the page up to the region's end: nothing past it is read
    std::map<std::uint32_t, Found> cells_;  // whole cells by offset
    std::uint32_t cut_;    // where bytes stop being a record's (the region's end, or a later cell)
    std::uint32_t reach_;  // how far a record begun in the region may have reached
    std::size_t maxStored_ = 0;
    std::uint64_t maxHeader_ = 0;
    std::uint64_t cellsHeld_ = 0;          // held for the whole cells of cells_
    mutable std::uint64_t typesRead_ = 0;  // by the header being read
};

RecordSearch::RecordSearch(std::vector<TableShape> shapes, TextEncoding encoding,
                           ChainReader chains, WorkBudget& budget)
    : shapes_(std::move(shapes)),
      encoding_(encoding),
      chains_(std::move(chains)),
      budget_(budget) {}

void RecordSearch::search(const SearchArea& area, const Region& region, std::span<const int> tables,
                          std::vector<CarvedRow>& out) const {
    if (tables.empty() || region.span.begin >= region.span.end ||
        region.span.end > area.page.size()) {
        return;
    }
    RegionScan(*this, area, region, tables).run(region.freeblockStart, out);
}

}  // namespace nimbara::backup::carver
