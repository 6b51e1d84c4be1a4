#include "backup/carver/sqlite_carver.h"

#include "backup/carver/btree_walk.h"
#include "backup/carver/carved_row_filter.h"
#include "backup/carver/file_source.h"
#include "backup/carver/live_payload.h"
#include "backup/carver/page_store.h"
#include "backup/carver/record_search.h"
#include "backup/carver/sqlite_schema.h"
#include "backup/carver/wal_frames.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace nimbara::backup::carver {

bool MemorySource::read(std::uint64_t offset, void* into, std::size_t length) const {
    if (offset > size_ || length > size_ - offset) {
        return false;
    }
    if (length > 0) {
        std::memcpy(into, data_ + offset, length);
    }
    return true;
}

int Table::columnIndex(const std::string& column) const {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (sameName(columns[i].name, column)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const Value* CarvedRow::value(const Table& table, const std::string& column) const {
    const int index = table.columnIndex(column);
    if (index < 0 || static_cast<std::size_t>(index) >= values.size() || !values[index]) {
        return nullptr;
    }
    return &*values[index];
}

namespace {

constexpr std::uint32_t kNoBlock = UINT32_MAX;  // a search that starts at no freeblock
// The work a database may take: this much per byte of it and its log, and this much whatever
// its size, for the search and again for the checks of what it found against the live rows.
// Sound databases take a small fraction of it.
constexpr std::uint64_t kWorkPerByte = 64;
constexpr std::uint64_t kWorkAlways = std::uint64_t{1} << 22;
// The memory the search may hold: this much per byte of the database and its log, and this
// much whatever their size.
constexpr std::uint64_t kMemoryPerByte = 16;
constexpr std::uint64_t kMemoryAlways = std::uint64_t{64} << 20;
// Of that, what is kept for what the search does not count: the pages it reads, the row it is
// making, a statement being read.
constexpr std::uint64_t kMemoryUncounted = std::uint64_t{8} << 20;
// What reading a CREATE TABLE statement may take for each of its bytes (a token each, twice).
constexpr std::uint64_t kParseBytesPerSqlByte = 200;
// Notes on tables longer than this are left out of the log.
constexpr std::size_t kMostNotes = 4096;

std::uint64_t sourceBytes(const ByteSource& database, const ByteSource* wal) {
    return database.size() + (wal != nullptr ? wal->size() : 0);
}

}  // namespace

std::uint64_t workLimit(std::uint64_t bytes) {
    return kWorkPerByte * bytes + kWorkAlways;
}

std::uint64_t memoryLimit(std::uint64_t bytes) {
    return kMemoryPerByte * bytes + kMemoryAlways;
}

namespace {

class Carver {
  public:
    Carver(const ByteSource& database, const ByteSource* wal, const StopCheck& stop)
        : database_(database),
          wal_(wal),
          stop_(stop),
          budget_(workLimit(sourceBytes(database, wal)),
                  memoryLimit(sourceBytes(database, wal)) - kMemoryUncounted,
                  [&stop] { return stop && stop(); }) {}

    CarveReport run(const std::vector<std::string>& names) {
        if (!open() || !readSchema() || !claimPages(names)) {
            return std::move(report_);
        }
        std::vector<CarvedRow> rows;
        // A walk of the trees cut short leaves live pages unclaimed: nothing is searched then.
        if (!budget_.exhausted() && !carve(rows)) {
            return std::move(report_);
        }
        if (budget_.stopped()) {
            fail(CarveReport::Status::Stopped, "stopped");
            return std::move(report_);
        }
        if (budget_.overMemory()) {
            notes_ +=
                "the search stopped early: what it found takes more memory than the file's "
                "size allows; the rows found until then are kept. ";
        } else if (budget_.exhausted()) {
            notes_ +=
                "the search stopped early: the file asks for more work than its size "
                "allows; the rows found until then are kept. ";
        }
        report_.cutShort = budget_.exhausted();
        // The checks against live rows have a budget of their own.
        budget_.startPhase(workLimit(sourceBytes(database_, wal_)));
        {
            CarvedRowFilter filter(std::move(rows), report_.tables, budget_);
            if (!dropLiveRows(filter)) {
                return std::move(report_);
            }
            report_.rows = filter.remaining();
        }
        if (budget_.stopped()) {
            fail(CarveReport::Status::Stopped, "stopped");
            return std::move(report_);
        }
        if (budget_.exhausted()) {
            report_.cutShort = true;
            notes_ +=
                "the found rows could not all be checked against the live rows with the work or "
                "memory the file's size allows: those of a table not checked are left out. ";
        }
        report_.detail = notes_ + "read " + std::to_string(store_->pageCount()) + " pages";
        report_.pagesRead = store_->pageCount();
        report_.work = budget_.total();
        return std::move(report_);
    }

  private:
    bool fail(CarveReport::Status status, std::string detail) {
        report_.status = status;
        report_.detail = std::move(detail);
        if (status == CarveReport::Status::Stopped) {
            report_.rows.clear();
        }
        return false;
    }
    bool stopped() { return budget_.stopped() || (stop_ && stop_()); }

    // The header, the log, the page count and the final state's page 1.
    bool open() {
        std::array<std::uint8_t, kDatabaseHeaderSize> head{};
        if (!database_.read(0, head.data(), head.size())) {
            return fail(CarveReport::Status::Damaged, "the file is shorter than a database header");
        }
        std::string why;
        std::optional<DatabaseHeader> header = parseDatabaseHeader(head, why);
        if (!header) {
            return fail(CarveReport::Status::Damaged, why);
        }
        const std::uint32_t pageSize = header->pageSize;
        const std::uint64_t filePages = database_.size() / pageSize;
        if (filePages == 0) {
            return fail(CarveReport::Status::Damaged, "the page size " + std::to_string(pageSize) +
                                                          " runs past the end of the file");
        }
        if (wal_ != nullptr && wal_->size() > 0) {
            log_ = readWalLog(*wal_, pageSize, why, budget_);
            if (budget_.stopped()) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
            if (!log_) {
                notes_ += why + "; the database is read without it. ";
            }
        }
        // Pages past the file's end exist only as frames of the log: a page number or database
        // size written in a frame sizes nothing beyond what the two files hold.
        const std::uint64_t available = std::min<std::uint64_t>(
            std::max<std::uint64_t>(filePages, log_ ? log_->largestPage : 0),
            filePages + (log_ ? log_->current.size() : 0));
        const auto clamp = [&](std::uint64_t count) {
            return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, available));
        };
        const WalLog* log = log_ ? &*log_ : nullptr;
        // Page 1 as the last commit left it holds the header that counts.
        std::vector<std::uint8_t> first;
        if (!PageStore(database_, wal_, log, pageSize, header->usableSize, clamp(available))
                 .read(1, first)) {
            return fail(CarveReport::Status::Damaged, "page 1 can't be read");
        }
        header = parseDatabaseHeader(first, why);
        if (!header || header->pageSize != pageSize) {
            return fail(CarveReport::Status::Damaged,
                        header ? "the -wal file changes the page size" : why);
        }
        header_ = *header;
        std::uint64_t count = filePages;
        if (log_ && log_->databaseSize != 0) {
            count = log_->databaseSize;
        } else if (header_.headerPageCount != 0) {
            count = header_.headerPageCount;
        }
        store_.emplace(database_, wal_, log, pageSize, header_.usableSize, clamp(count));
        map_.emplace(store_->pageCount());
        claimReservedPages(*map_, pageSize, header_.usableSize, header_.autoVacuum);
        live_.emplace(*store_, *map_, budget_);
        // The page map and the live reader's marks, a page each, and their making.
        budget_.hold((std::uint64_t{store_->pageCount()} + 1) * (sizeof(PageOwner) + 1));
        budget_.spend(store_->pageCount());
        return true;
    }

    bool readSchema() {
        const std::vector<Affinity> affinities{Affinity::Text, Affinity::Text, Affinity::Text,
                                               Affinity::Integer, Affinity::Text};
        const bool done = walkTree(
            *store_, *map_, 1, true, -1,
            [&](std::uint32_t number, Bytes page, const BTreePage&, const Cell& cell) {
                const std::optional<std::vector<std::uint8_t>> payload =
                    live_->read(number, page, cell);
                if (!payload) {
                    return;
                }
                budget_.spend(payload->size());
                if (const auto record = decodeRecord(*payload, affinities, header_.encoding)) {
                    if (std::optional<SchemaEntry> entry = schemaEntry(*record)) {
                        budget_.hold(sizeof(SchemaEntry) + heapBytes(entry->type) +
                                     heapBytes(entry->name) + heapBytes(entry->tableName) +
                                     heapBytes(entry->sql));
                        schema_.push_back(std::move(*entry));
                    }
                }
            },
            budget_);
        if (!done) {
            return fail(CarveReport::Status::Stopped, "stopped");
        }
        if (map_->at(1).use != PageUse::OtherTree) {
            return fail(CarveReport::Status::Damaged, "page 1 holds no schema table");
        }
        return true;
    }

    // Whether the page heads a table tree (else an index tree), by its own type byte.
    bool tableTree(std::uint32_t root) {
        std::vector<std::uint8_t> bytes;
        if (!budget_.spend(store_->pageSize()) || !store_->read(root, bytes)) {
            return true;
        }
        const std::optional<BTreePage> btree =
            parseBTreePage(Bytes(bytes).first(store_->usableSize()), btreeHeaderStart(root));
        return !btree || btree->table();
    }

    // The tables asked for, then every other tree and the freelist claim their pages.
    bool claimPages(const std::vector<std::string>& names) {
        std::vector<bool> taken(schema_.size(), false);
        for (const std::string& name : names) {
            // One table per name: a schema naming a table twice has it searched once.
            const auto known = [&](const Table& table) { return sameName(table.name, name); };
            for (std::size_t i = 0; i < schema_.size() && budget_.spend(1); ++i) {
                const SchemaEntry& entry = schema_[i];
                if (taken[i] || entry.type != "table" || entry.rootPage == 0 ||
                    !sameName(entry.name, name) ||
                    std::any_of(report_.tables.begin(), report_.tables.end(), known)) {
                    continue;
                }
                // Its tokens, held while they are read.
                const std::uint64_t parsing = kParseBytesPerSqlByte * entry.sql.size();
                const bool affordable = budget_.hold(parsing);
                const std::optional<TableDefinition> definition =
                    affordable ? parseCreateTable(entry.sql, &budget_) : std::nullopt;
                budget_.release(parsing);
                if (!affordable || budget_.exhausted()) {
                    break;
                }
                if (!definition) {
                    note("the columns of " + entry.name + " can't be read. ");
                    continue;
                }
                if (definition->withoutRowid) {
                    note(entry.name + " is a WITHOUT ROWID table and is not searched. ");
                    continue;
                }
                taken[i] = true;
                addTable(entry, *definition);
            }
        }
        if (budget_.stopped()) {
            return fail(CarveReport::Status::Stopped, "stopped");
        }
        for (std::size_t t = 0; t < report_.tables.size(); ++t) {
            if (!walkTree(
                    *store_, *map_, report_.tables[t].rootPage, true, static_cast<int>(t),
                    [this](std::uint32_t, Bytes, const BTreePage&, const Cell&) {
                        ++report_.liveRowsSeen;
                    },
                    budget_)) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
        }
        for (std::size_t i = 0; i < schema_.size() && !budget_.exhausted(); ++i) {
            const std::uint32_t root = schema_[i].rootPage;
            // A root claimed before (by an earlier row naming it) is not read again.
            if (!taken[i] && root != 0 && map_->at(root).use == PageUse::Unclaimed &&
                !walkTree(*store_, *map_, root, tableTree(root), -1, {}, budget_)) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
        }
        walkFreelist(*store_, *map_, header_.freelistTrunk, budget_);
        if (budget_.stopped()) {
            return fail(CarveReport::Status::Stopped, "stopped");
        }
        return true;
    }

    void note(const std::string& text) {
        if (notes_.size() < kMostNotes) {
            notes_ += text;
        }
    }

    // The table with the columns its records hold: a generated column that is not STORED has no
    // value in any record and is left out.
    void addTable(const SchemaEntry& entry, const TableDefinition& definition) {
        Table table{entry.name, entry.rootPage, {}};
        TableShape shape;
        shape.name = table.name;
        for (std::size_t c = 0; c < definition.columns.size(); ++c) {
            if (!definition.stored[c]) {
                continue;
            }
            const Column& column = definition.columns[c];
            budget_.hold(sizeof(Column) + heapBytes(column.name) + heapBytes(column.declaredType) +
                         sizeof(Affinity) + 1);
            table.columns.push_back(column);
            shape.affinity.push_back(affinityOf(column.declaredType));
            shape.rowidAlias.push_back(column.rowidAlias);
            const Affinity affinity = shape.affinity.back();
            shape.holdsTexts = shape.holdsTexts || affinity == Affinity::Text ||
                               affinity == Affinity::Blob || affinity == Affinity::Numeric;
        }
        shape.columnCount = table.columns.size();
        shape.minStored = fewestStoredColumns(shape.columnCount);
        report_.tables.push_back(std::move(table));
        shapes_.push_back(std::move(shape));
    }

    // The carved tables an older copy of `page` may hold rows of: the table whose tree holds the
    // page now, none when another tree, a chain or page 1 holds it, all of them when it is free.
    std::vector<int> tablesForOlderCopy(std::uint32_t page) const {
        if (page == 1) {
            return {};
        }
        const PageOwner owner = map_->at(page);
        switch (owner.use) {
            case PageUse::TableLeaf:
            case PageUse::TableInterior:
                return {owner.table};
            case PageUse::Unclaimed:
            case PageUse::FreelistLeaf:
            case PageUse::FreelistTrunk:
                return allTables_;
            default:
                return {};
        }
    }

    // Searches `pieces` of the page; `cells` are the spans of the cells the page holds (live
    // ones, or those it held when it left its tree), where a later cell may have overwritten the
    // tail of a deleted record.
    void search(const SearchArea& area, const std::vector<Span>& pieces, std::uint32_t blockStart,
                const std::vector<Span>& cells, const std::vector<int>& tables,
                std::vector<CarvedRow>& rows) const {
        for (const Span& piece : pieces) {
            RecordSearch::Region region;
            region.span = piece;
            region.freeblockStart = piece.begin == blockStart;
            // The cells are sorted by where they begin.
            const auto cell =
                std::lower_bound(cells.begin(), cells.end(), piece.end,
                                 [](const Span& c, std::uint32_t at) { return c.begin < at; });
            region.tailOverwritten = cell != cells.end() && cell->begin == piece.end;
            search_->search(area, region, tables, rows);
        }
    }

    // A page of a carved table's tree in the final state: its freeblocks and the gap between its
    // cell pointers and its cells, less every byte a live cell covers.
    void carveTreePage(const SearchArea& area, std::uint32_t page, const std::vector<int>& tables,
                       std::vector<CarvedRow>& rows) {
        const std::optional<BTreePage> btree = parseBTreePage(area.page, btreeHeaderStart(page));
        if (!btree || !budget_.spend(btree->cellCount)) {
            return;
        }
        const std::vector<Span> cells = cellSpans(area.page, *btree);
        const std::vector<Span> covered = mergeSpans(cells);
        SearchArea blockArea = area;
        blockArea.origin = area.origin == Origin::Unallocated ? Origin::Freeblock : area.origin;
        for (const Span& block : freeblockChain(area.page, *btree)) {
            if (!budget_.spend(1)) {
                return;
            }
            search(blockArea, subtractSpans(block, covered), block.begin, cells, tables, rows);
        }
        search(area, subtractSpans({btree->cellPointersEnd, btree->contentStart}, covered),
               kNoBlock, cells, tables, rows);
    }

    // A page no live tree holds: a freelist page, an older copy of a page, a page left over.
    void carveLoosePage(const SearchArea& area, std::uint32_t page, const std::vector<int>& tables,
                        std::vector<CarvedRow>& rows) {
        if (tables.empty()) {
            return;
        }
        const auto usable = static_cast<std::uint32_t>(area.page.size());
        const std::optional<BTreePage> btree = parseBTreePage(area.page, btreeHeaderStart(page));
        if (!btree) {
            search(area, {{btreeHeaderStart(page), usable}}, kNoBlock, {}, tables, rows);
            return;
        }
        if (!btree->table()) {
            return;  // an index page: its free space holds index entries, not rows
        }
        if (!btree->leaf()) {
            carveTreePage(area, page, tables, rows);
            return;
        }
        // A leaf that left its tree still holds the cells it had then: all of it is searched,
        // freeblock by freeblock so that a freeblock's damaged first cell is known for one.
        if (!budget_.spend(btree->cellCount)) {
            return;
        }
        const std::vector<Span> cells = cellSpans(area.page, *btree);
        std::uint32_t at = btree->cellPointersEnd;
        for (const Span& block : freeblockChain(area.page, *btree)) {
            if (!budget_.spend(1)) {
                return;
            }
            search(area, {{at, block.begin}, block}, block.begin, cells, tables, rows);
            at = block.end;
        }
        search(area, {{at, usable}}, kNoBlock, cells, tables, rows);
    }

    // The free overflow chain from `first` to its end, each chain walked once per database (and
    // its pages counted as work); null when it can't be followed or is not `length` bytes long.
    const std::vector<std::uint8_t>* freeChain(std::uint32_t first, std::uint64_t length) {
        const std::uint32_t perPage = header_.usableSize - 4;
        // Not a structured binding: the lambda below captures the iterator.
        const auto emplaced = chains_.try_emplace(first);
        const auto chain = emplaced.first;
        if (emplaced.second) {
            std::vector<std::uint8_t> page;
            std::unordered_set<std::uint32_t> seen;
            // Each page's bytes, held while the chain is kept: they are the values of the rows
            // found. Given back when the chain is not.
            const std::uint64_t pageHeld = perPage + 2 * sizeof(std::uint32_t);
            std::uint64_t held = 0;
            const auto drop = [&] {
                chain->second.reset();
                budget_.release(held);
            };
            std::uint32_t at = first;
            while (at != 0) {
                const PageUse use = map_->at(at).use;
                if ((use != PageUse::Unclaimed && use != PageUse::FreelistLeaf) ||
                    !seen.insert(at).second || !budget_.spend(header_.pageSize) ||
                    !store_->read(at, page)) {
                    drop();
                    break;
                }
                if (!chain->second) {
                    chain->second.emplace();
                }
                held += pageHeld;
                if (!budget_.hold(pageHeld)) {
                    drop();
                    break;
                }
                chain->second->insert(chain->second->end(), page.begin() + 4,
                                      page.begin() + 4 + perPage);
                at = readBig32(Bytes(page), 0);
            }
        }
        // The chain must end on the page that holds the payload's last byte.
        if (!chain->second || length == 0 ||
            (length + perPage - 1) / perPage * perPage != chain->second->size()) {
            return nullptr;
        }
        return &*chain->second;
    }

    bool readAt(const ByteSource& file, std::uint64_t offset, std::vector<std::uint8_t>& into) {
        into.resize(header_.pageSize);
        return budget_.spend(into.size()) && file.read(offset, into.data(), into.size());
    }

    bool carve(std::vector<CarvedRow>& rows) {
        allTables_.resize(report_.tables.size());
        std::iota(allTables_.begin(), allTables_.end(), 0);
        search_.emplace(
            shapes_, header_.encoding,
            [this](std::uint32_t first, std::uint64_t length) { return freeChain(first, length); },
            budget_);
        if (report_.tables.empty()) {
            return true;
        }
        const std::uint32_t pageSize = header_.pageSize;
        std::vector<std::uint8_t> bytes;
        const auto area = [&](std::uint64_t offset, Origin origin) {
            return SearchArea{Bytes(bytes).first(header_.usableSize), offset, origin};
        };
        for (std::uint32_t page = 1; page <= store_->pageCount() && !budget_.exhausted(); ++page) {
            if (stopped()) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
            const std::uint64_t mainOffset = std::uint64_t{page - 1} * pageSize;
            const std::optional<PageStore::Location> where = store_->locate(page);
            if (where && where->fromWal && readAt(database_, mainOffset, bytes)) {
                carveLoosePage(area(mainOffset, Origin::ReplacedPage), page,
                               tablesForOlderCopy(page), rows);
            }
            if (!where || !readAt(*where->file, where->offset, bytes)) {
                continue;
            }
            const PageOwner owner = map_->at(page);
            switch (owner.use) {
                case PageUse::TableLeaf:
                case PageUse::TableInterior:
                    carveTreePage(area(where->offset, Origin::Unallocated), page, {owner.table},
                                  rows);
                    break;
                case PageUse::FreelistTrunk: {
                    const std::uint32_t leaves = std::min<std::uint32_t>(
                        readBig32(Bytes(bytes), 4), (header_.usableSize - 8) / 4);
                    search(area(where->offset, Origin::FreelistPage),
                           {{8 + 4 * leaves, header_.usableSize}}, kNoBlock, {}, allTables_, rows);
                    break;
                }
                case PageUse::FreelistLeaf:
                    carveLoosePage(area(where->offset, Origin::FreelistPage), page, allTables_,
                                   rows);
                    break;
                case PageUse::Unclaimed:
                    carveLoosePage(area(where->offset, Origin::Unallocated), page, allTables_,
                                   rows);
                    break;
                default:
                    break;
            }
        }
        // Main-file pages past the end of the database the last commit left.
        const std::uint64_t filePages = database_.size() / pageSize;
        for (std::uint64_t page = std::uint64_t{store_->pageCount()} + 1;
             page <= filePages && !budget_.exhausted(); ++page) {
            if (stopped()) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
            if (page > 1 && readAt(database_, (page - 1) * pageSize, bytes)) {
                carveLoosePage(area((page - 1) * pageSize, Origin::Unallocated),
                               static_cast<std::uint32_t>(page), allTables_, rows);
            }
        }
        if (log_) {
            for (const WalFrame& frame : log_->older) {
                if (budget_.exhausted()) {
                    break;
                }
                if (stopped()) {
                    return fail(CarveReport::Status::Stopped, "stopped");
                }
                if (readAt(*wal_, frame.dataOffset, bytes)) {
                    carveLoosePage(area(frame.dataOffset, Origin::OlderWalFrame), frame.page,
                                   tablesForOlderCopy(frame.page), rows);
                }
            }
        }
        return true;
    }

    // The live rows of the carved tables, read again, drop the carved rows they still hold. All
    // of them are read whatever the budget (reading them costs no more than the file's size): a
    // live row left unread would let a copy of it pass as deleted.
    bool dropLiveRows(CarvedRowFilter& filter) {
        std::vector<std::uint8_t> bytes;
        std::vector<std::optional<Value>> values;
        for (std::uint32_t page = 1; page <= store_->pageCount(); ++page) {
            const PageOwner owner = map_->at(page);
            if (owner.use != PageUse::TableLeaf) {
                continue;
            }
            if (stopped()) {
                return fail(CarveReport::Status::Stopped, "stopped");
            }
            budget_.spend(store_->pageSize());
            if (!store_->read(page, bytes)) {
                continue;
            }
            const Bytes usable = Bytes(bytes).first(header_.usableSize);
            const std::optional<BTreePage> btree = parseBTreePage(usable, btreeHeaderStart(page));
            if (!btree) {
                continue;
            }
            const TableShape& shape = shapes_[owner.table];
            for (std::uint32_t i = 0; i < btree->cellCount; ++i) {
                const std::optional<Cell> cell =
                    parseCell(usable, *btree, btree->cellPointer(usable, i));
                if (!cell) {
                    continue;
                }
                const std::optional<std::vector<std::uint8_t>> payload =
                    live_->read(page, usable, *cell);
                if (!payload) {
                    break;  // the page's cells overlap
                }
                budget_.spend(payload->size());
                std::size_t within = 0;
                auto record = decodeRecord(*payload, shape.affinity, header_.encoding, &within);
                if (!record) {
                    continue;
                }
                // The values read, up to the first that lies past the bytes at hand.
                const std::size_t read = std::min(shape.columnCount, within);
                values.assign(std::make_move_iterator(record->begin()),
                              std::make_move_iterator(record->begin() + read));
                for (std::size_t c = 0; c < read; ++c) {
                    if (shape.rowidAlias[c]) {
                        values[c] = Value{Value::Kind::Integer, cell->rowid, 0, {}};
                    }
                }
                filter.dropHeldBy(static_cast<std::size_t>(owner.table), values);
            }
        }
        return !stopped() || fail(CarveReport::Status::Stopped, "stopped");
    }

    const ByteSource& database_;
    const ByteSource* wal_;
    const StopCheck& stop_;
    CarveReport report_;
    std::string notes_;
    DatabaseHeader header_;
    std::optional<WalLog> log_;
    std::optional<PageStore> store_;
    std::optional<PageMap> map_;
    std::optional<LivePayloads> live_;
    std::vector<SchemaEntry> schema_;
    std::vector<TableShape> shapes_;
    std::vector<int> allTables_;
    std::optional<RecordSearch> search_;
    WorkBudget budget_;
    std::unordered_map<std::uint32_t, std::optional<std::vector<std::uint8_t>>> chains_;
};

}  // namespace

CarveReport carveTables(const ByteSource& database, const ByteSource* wal,
                        const std::vector<std::string>& tables, const StopCheck& stop) {
    return Carver(database, wal, stop).run(tables);
}

CarveReport carveDatabaseFile(const std::filesystem::path& database,
                              const std::vector<std::string>& tables, const StopCheck& stop) {
    const FileSource file(database);
    if (!file.ok()) {
        CarveReport report;
        report.status = CarveReport::Status::Damaged;
        report.detail = database.filename().string() + " can't be opened: " + file.error();
        return report;
    }
    std::filesystem::path walPath = database;
    walPath += "-wal";
    std::error_code error;
    if (!std::filesystem::is_regular_file(walPath, error)) {
        return carveTables(file, nullptr, tables, stop);
    }
    const FileSource wal(walPath);
    return carveTables(file, wal.ok() ? &wal : nullptr, tables, stop);
}

}  // namespace nimbara::backup::carver
