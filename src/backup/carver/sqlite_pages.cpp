#include "backup/carver/sqlite_pages.h"

#include <algorithm>
#include <cstring>

namespace nimbara::backup::carver {

std::optional<DatabaseHeader> parseDatabaseHeader(Bytes header, std::string& why) {
    static constexpr char kMagic[16] = "SQLite format 3";  // with its closing NUL
    if (header.size() < kDatabaseHeaderSize || std::memcmp(header.data(), kMagic, 16) != 0) {
        why = "not an SQLite 3 database (no file header)";
        return std::nullopt;
    }
    const std::uint32_t rawPageSize = readBig16(header, 16);
    const std::uint32_t pageSize = rawPageSize == 1 ? 65536 : rawPageSize;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0) {
        why = "the header gives page size " + std::to_string(rawPageSize) +
              ", which SQLite never writes";
        return std::nullopt;
    }
    const std::uint32_t reserved = header[20];
    if (pageSize - reserved < 480) {
        why = "the header reserves " + std::to_string(reserved) + " bytes of each page";
        return std::nullopt;
    }
    if (header[21] != 64 || header[22] != 32 || header[23] != 32) {
        why = "the header's payload fractions are not 64, 32, 32";
        return std::nullopt;
    }
    const std::uint32_t encoding = readBig32(header, 56);
    if (encoding > 3) {
        why = "the header gives text encoding " + std::to_string(encoding);
        return std::nullopt;
    }
    DatabaseHeader out;
    out.pageSize = pageSize;
    out.usableSize = pageSize - reserved;
    // The count at offset 28 holds only when the change counter and the version-valid-for number
    // agree (an older program may have changed the file without updating it).
    if (readBig32(header, 24) == readBig32(header, 92)) {
        out.headerPageCount = readBig32(header, 28);
    }
    out.freelistTrunk = readBig32(header, 32);
    out.freelistCount = readBig32(header, 36);
    out.autoVacuum = readBig32(header, 52) != 0;
    out.encoding = encoding == 0 ? TextEncoding::Utf8 : static_cast<TextEncoding>(encoding);
    return out;
}

std::optional<BTreePage> parseBTreePage(Bytes page, std::uint32_t headerStart) {
    if (headerStart >= page.size()) {
        return std::nullopt;
    }
    BTreePage out;
    out.type = page[headerStart];
    if (out.type != kIndexInterior && out.type != kTableInterior && out.type != kIndexLeaf &&
        out.type != kTableLeaf) {
        return std::nullopt;
    }
    const std::uint32_t headerSize = out.leaf() ? 8 : 12;
    if (std::size_t{headerStart} + headerSize > page.size()) {
        return std::nullopt;
    }
    out.headerStart = headerStart;
    out.firstFreeblock = readBig16(page, headerStart + 1);
    out.cellCount = readBig16(page, headerStart + 3);
    out.contentStart = readBig16(page, headerStart + 5);
    if (out.contentStart == 0) {
        out.contentStart = 65536;
    }
    if (!out.leaf()) {
        out.rightChild = readBig32(page, headerStart + 8);
    }
    out.cellPointers = headerStart + headerSize;
    out.cellPointersEnd = out.cellPointers + 2 * out.cellCount;
    if (out.cellPointersEnd > page.size() || out.contentStart > page.size() ||
        out.contentStart < out.cellPointersEnd) {
        return std::nullopt;
    }
    return out;
}

std::uint32_t localPayloadSize(std::uint64_t payloadSize, std::uint32_t usableSize,
                               bool tableLeaf) {
    const std::uint64_t usable = usableSize;
    const std::uint64_t most = tableLeaf ? usable - 35 : (usable - 12) * 64 / 255 - 23;
    if (payloadSize <= most) {
        return static_cast<std::uint32_t>(payloadSize);
    }
    const std::uint64_t least = (usable - 12) * 32 / 255 - 23;
    const std::uint64_t kept = least + (payloadSize - least) % (usable - 4);
    return static_cast<std::uint32_t>(kept <= most ? kept : least);
}

std::optional<Cell> parseCell(Bytes page, const BTreePage& btree, std::uint32_t offset) {
    if (offset < btree.cellPointersEnd || offset >= page.size()) {
        return std::nullopt;
    }
    Cell cell;
    cell.start = offset;
    std::size_t at = offset;
    if (!btree.leaf()) {
        if (at + 4 > page.size()) {
            return std::nullopt;
        }
        cell.leftChild = readBig32(page, at);
        at += 4;
    }
    if (btree.type == kTableInterior) {
        const Varint key = readVarint(page, at);
        if (key.length == 0) {
            return std::nullopt;
        }
        cell.rowid = static_cast<std::int64_t>(key.value);
        cell.end = static_cast<std::uint32_t>(at + key.length);
        cell.payloadStart = cell.end;
        return cell;
    }
    const Varint payload = readVarint(page, at);
    if (payload.length == 0) {
        return std::nullopt;
    }
    at += payload.length;
    if (btree.type == kTableLeaf) {
        const Varint rowid = readVarint(page, at);
        if (rowid.length == 0) {
            return std::nullopt;
        }
        cell.rowid = static_cast<std::int64_t>(rowid.value);
        at += rowid.length;
    }
    cell.payloadSize = payload.value;
    cell.payloadStart = static_cast<std::uint32_t>(at);
    cell.localSize = localPayloadSize(payload.value, static_cast<std::uint32_t>(page.size()),
                                      btree.type == kTableLeaf);
    std::size_t end = at + cell.localSize;
    if (cell.localSize < payload.value) {
        if (end + 4 > page.size()) {
            return std::nullopt;
        }
        cell.firstOverflow = readBig32(page, end);
        end += 4;
    }
    if (end > page.size()) {
        return std::nullopt;
    }
    cell.end = static_cast<std::uint32_t>(end);
    return cell;
}

std::vector<Span> cellSpans(Bytes page, const BTreePage& btree) {
    std::vector<Span> spans;
    spans.reserve(btree.cellCount);
    for (std::uint32_t i = 0; i < btree.cellCount; ++i) {
        if (const std::optional<Cell> cell = parseCell(page, btree, btree.cellPointer(page, i))) {
            // SQLite gives every cell at least 4 bytes
            const std::uint32_t end = std::max(cell->end, cell->start + 4);
            spans.push_back({cell->start, std::min<std::uint32_t>(end, page.size())});
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    return spans;
}

std::vector<Span> freeblockChain(Bytes page, const BTreePage& btree) {
    std::vector<Span> blocks;
    std::uint32_t at = btree.firstFreeblock;
    std::uint32_t earliest = btree.cellPointersEnd;
    while (at != 0) {
        if (at < earliest || std::size_t{at} + 4 > page.size()) {
            break;
        }
        const std::uint32_t size = readBig16(page, at + 2);
        if (size < 4 || std::size_t{at} + size > page.size()) {
            break;
        }
        blocks.push_back({at, at + size});
        earliest = at + size;
        at = readBig16(page, at);
    }
    return blocks;
}

std::vector<Span> mergeSpans(const std::vector<Span>& sorted) {
    std::vector<Span> merged;
    for (const Span& span : sorted) {
        if (!merged.empty() && span.begin <= merged.back().end) {
            merged.back().end = std::max(merged.back().end, span.end);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

std::vector<Span> subtractSpans(Span from, const std::vector<Span>& taken) {
    std::vector<Span> out;
    std::uint32_t at = from.begin;
    const auto first =
        std::upper_bound(taken.begin(), taken.end(), at,
                         [](std::uint32_t x, const Span& span) { return x < span.end; });
    for (auto it = first; it != taken.end(); ++it) {
        const Span& span = *it;
        if (span.end <= at) {
            continue;
        }
        if (span.begin >= from.end) {
            break;
        }
        if (span.begin > at) {
            out.push_back({at, span.begin});
        }
        at = std::max(at, span.end);
    }
    if (at < from.end) {
        out.push_back({at, from.end});
    }
    return out;
}

}  // namespace nimbara::backup::carver
