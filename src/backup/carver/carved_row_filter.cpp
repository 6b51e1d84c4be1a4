#include "backup/carver/carved_row_filter.h"

#include "backup/carver/record_search.h"
#include "backup/carver/sqlite_record.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <unordered_map>

namespace nimbara::backup::carver {

namespace {

// Bytes an entry of an index takes (its node, its share of the buckets).
constexpr std::uint64_t kIndexEntryBytes = 64;
// Work of a row taken into an index or out of it, or a row looked up, besides its values: the
// allocations and hash look-ups it takes.
constexpr std::uint64_t kRowWork = 64;
// Work of a look-up of one key, or of one mask tried for a live row.
constexpr std::uint64_t kLookUpWork = 8;

std::uint64_t mix(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ULL;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// The hash of one column's value; a row's hash on some columns is the sum of theirs.
std::uint64_t columnHash(std::size_t column, const Value& value) {
    return mix(valueHash(value) + (column + 1) * 0x9e3779b97f4a7c15ULL);
}

// Work hashing or comparing a value takes.
std::uint64_t valueWork(const Value& value) {
    return 1 + value.bytes.size() / 8;
}

std::uint64_t rowidKey(std::uint64_t hash, std::int64_t rowid) {
    return mix(hash ^ mix(static_cast<std::uint64_t>(rowid) + 0x632be59bd9b4e019ULL));
}

bool informative(const std::optional<Value>& value) {
    return value && value->kind != Value::Kind::Null;
}

}  // namespace

CarvedRowFilter::CarvedRowFilter(std::vector<CarvedRow> rows, const std::vector<Table>& tables,
                                 WorkBudget& budget)
    : rows_(std::move(rows)),
      tableMasks_(tables.size()),
      unchecked_(tables.size(), false),
      budget_(budget),
      spare_(rows_.size() * kCheckBytesPerRow) {
    // Each table found once by its name.
    std::unordered_map<std::string, std::size_t> tableIndex;
    for (std::size_t t = 0; t < tables.size(); ++t) {
        tableIndex.emplace(tables[t].name, t);
    }
    entries_.resize(rows_.size());
    // The running sums of every row in one list, allocated once.
    std::size_t sums = 0;
    for (const CarvedRow& row : rows_) {
        sums += row.values.size() + 1;
    }
    sums_.reserve(sums);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const CarvedRow& row = rows_[i];
        Entry& entry = entries_[i];
        const auto table = tableIndex.find(row.table);
        budget_.spend(kRowWork + row.values.size());
        if (table == tableIndex.end() ||
            std::none_of(row.values.begin(), row.values.end(), informative)) {
            entry.dropped = true;  // no row the search hands on is either
            continue;
        }
        const std::size_t t = table->second;
        Runs runs;
        entry.sums = sums_.size();
        sums_.push_back(0);
        std::size_t values = 0;
        for (std::size_t c = 0; c < row.values.size(); ++c) {
            sums_.push_back(sums_.back());
            if (!row.values[c]) {
                continue;
            }
            budget_.spend(valueWork(*row.values[c]));
            sums_.back() += columnHash(c, *row.values[c]);
            ++values;
            const auto column = static_cast<std::uint32_t>(c);
            if (!runs.empty() && runs.back().second == column) {
                ++runs.back().second;
            } else {
                runs.emplace_back(column, column + 1);
            }
        }
        auto [id, added] = maskIds_.try_emplace({std::move(runs), t}, masks_.size());
        if (added) {
            masks_.push_back({t, id->first.first, values, 0, {}});
            tableMasks_[t].push_back(id->second);
        }
        entry.mask = id->second;
        entry.hash = sums_.back();
        Mask& mask = masks_[entry.mask];
        ++mask.alive;
        mask.rows.emplace(entry.hash, i);
        hold(kIndexEntryBytes);
    }
}

CarvedRowFilter::~CarvedRowFilter() {
    budget_.release(held_);
}

void CarvedRowFilter::clear(Index& index) {
    // A few entries at a time, so that the stop check is asked between them.
    constexpr std::size_t kAtOnce = 256;
    while (!index.empty()) {
        auto it = index.begin();
        for (std::size_t n = 0; n < kAtOnce && it != index.end(); ++n) {
            it = index.erase(it);
        }
        budget_.spend(kLookUpWork * kAtOnce);
    }
}

bool CarvedRowFilter::hold(std::uint64_t bytes) {
    const std::uint64_t fromSpare = std::min(bytes, spare_);
    spare_ -= fromSpare;
    held_ += bytes - fromSpare;
    return budget_.hold(bytes - fromSpare);
}

std::uint64_t CarvedRowFilter::hashOn(const std::uint64_t* sums, const Runs& runs) {
    std::uint64_t hash = 0;
    for (const auto& [first, last] : runs) {
        hash += sums[last] - sums[first];
    }
    return hash;
}

bool CarvedRowFilter::sameOn(const std::vector<std::optional<Value>>& a,
                             const std::vector<std::optional<Value>>& b, const Runs& runs) {
    for (const auto& [first, last] : runs) {
        for (std::uint32_t c = first; c < last; ++c) {
            if (!a[c] || !b[c]) {
                return false;
            }
            budget_.spend(valueWork(*a[c]));
            if (!sameValue(*a[c], *b[c])) {
                return false;
            }
        }
    }
    return true;
}

void CarvedRowFilter::dropMatching(Index& index, std::uint64_t key, const Runs& runs,
                                   const std::vector<std::optional<Value>>& live) {
    // Rows under one key follow one another: they are walked from the first, never counted out
    // beforehand.
    auto it = index.find(key);
    while (it != index.end() && it->first == key && budget_.spend(kLookUpWork)) {
        Entry& entry = entries_[it->second];
        if (!entry.dropped && sameOn(live, rows_[it->second].values, runs)) {
            entry.dropped = true;
            --masks_[entry.mask].alive;
        }
        // A row dropped here or before is looked up no more.
        it = entry.dropped ? index.erase(it) : std::next(it);
    }
}

void CarvedRowFilter::dropHeldBy(std::size_t table, const std::vector<std::optional<Value>>& live) {
    if (table >= tableMasks_.size() || tableMasks_[table].empty() || unchecked_[table]) {
        return;
    }
    // Running sums of the live row's column hashes, and of its values that could not be read.
    const std::size_t read = live.size();
    budget_.spend(kRowWork);
    std::vector<std::uint64_t>& sums = liveSums_;
    std::vector<std::uint32_t>& unreadable = liveUnreadable_;
    sums.assign(read + 1, 0);
    unreadable.assign(read + 1, 0);
    for (std::size_t c = 0; c < read; ++c) {
        sums[c + 1] = sums[c] + (live[c] ? columnHash(c, *live[c]) : 0);
        unreadable[c + 1] = unreadable[c] + (live[c] ? 0 : 1);
        budget_.spend(live[c] ? valueWork(*live[c]) : 1);
    }
    for (const std::size_t id : tableMasks_[table]) {
        if (!budget_.spend(kLookUpWork)) {
            break;
        }
        Mask& mask = masks_[id];
        if (mask.alive == 0) {
            continue;
        }
        // The columns both rows hold: the mask's, up to the live row's last value read.
        const bool whole = mask.runs.back().second <= read;
        Runs shorter;
        if (!whole) {
            for (const auto& [first, last] : mask.runs) {
                const auto end = static_cast<std::uint32_t>(std::min<std::size_t>(last, read));
                if (first < end) {
                    shorter.emplace_back(first, end);
                }
            }
        }
        const Runs& common = whole ? mask.runs : shorter;
        if (std::any_of(common.begin(), common.end(), [&](const auto& run) {
                return unreadable[run.second] != unreadable[run.first];
            })) {
            continue;  // a value that could not be read equals no recovered one
        }
        if (common.empty()) {
            // Nothing to tell them apart: every row of the mask may be this one.
            for (auto it = mask.rows.begin(); it != mask.rows.end(); ++it) {
                entries_[it->second].dropped = true;
            }
            budget_.spend(kLookUpWork * mask.rows.size());
            mask.rows.clear();
            mask.alive = 0;
            continue;
        }
        const std::uint64_t key = hashOn(sums.data(), common);
        if (whole) {
            dropMatching(mask.rows, key, common, live);
            continue;
        }
        // The live row is shorter than the mask: its rows are looked up by their first values.
        auto [partial, added] = partial_.try_emplace({id, read});
        if (added) {
            for (const auto& [hash, row] : mask.rows) {
                if (!budget_.spend(kRowWork) || !hold(kIndexEntryBytes)) {
                    break;
                }
                partial->second.emplace(hashOn(&sums_[entries_[row].sums], common), row);
            }
        }
        dropMatching(partial->second, key, common, live);
    }
    if (budget_.exhausted()) {
        unchecked_[table] = true;
    }
}

std::vector<CarvedRow> CarvedRowFilter::remaining() {
    // The indexes of the checks against live rows are done with.
    for (auto& [key, index] : partial_) {
        clear(index);
    }
    partial_.clear();
    for (Mask& mask : masks_) {
        clear(mask.rows);
    }
    // The most complete copy of a row is kept; its less complete copies go. The masks from the
    // most columns to the fewest (the first found first), each mask's rows in the order found.
    std::vector<std::vector<std::size_t>> byMask(masks_.size());
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const Entry& entry = entries_[i];
        if (!entry.dropped && !unchecked_[masks_[entry.mask].table]) {
            budget_.spend(kLookUpWork);
            byMask[entry.mask].push_back(i);
        }
    }
    hold(entries_.size() * 2 * sizeof(std::size_t));
    std::vector<std::size_t> maskOrder(masks_.size());
    std::iota(maskOrder.begin(), maskOrder.end(), 0);
    std::sort(maskOrder.begin(), maskOrder.end(), [&](std::size_t a, std::size_t b) {
        return masks_[a].values != masks_[b].values ? masks_[a].values > masks_[b].values : a < b;
    });
    budget_.spend(kLookUpWork * masks_.size());
    const auto covers = [&](const Runs& whole, const Runs& part) {
        auto w = whole.begin();
        for (const auto& [first, last] : part) {
            while (w != whole.end() && w->second < last) {
                ++w;
            }
            if (w == whole.end() || w->first > first) {
                return false;
            }
        }
        return true;
    };
    std::vector<std::vector<std::size_t>> kept(tableMasks_.size());
    std::vector<bool> stays(entries_.size(), false);
    std::size_t staying = 0;
    const auto keep = [&](std::size_t i) {
        stays[i] = true;
        ++staying;
    };
    for (const std::size_t id : maskOrder) {
        const Mask& mask = masks_[id];
        if (byMask[id].empty()) {
            continue;
        }
        if (budget_.exhausted()) {
            // Rows left when the budget ran out stay as they are.
            std::for_each(byMask[id].begin(), byMask[id].end(), keep);
            continue;
        }
        // The rows kept so far that hold every column of the mask, by their values on it: all of
        // them, those with a row id (with it), those without.
        Index any;
        Index withRowid;
        Index withoutRowid;
        const auto add = [&](std::size_t k) {
            budget_.spend(kRowWork);
            const std::uint64_t hash = hashOn(&sums_[entries_[k].sums], mask.runs);
            any.emplace(hash, k);
            if (rows_[k].rowid) {
                withRowid.emplace(rowidKey(hash, *rows_[k].rowid), k);
            } else {
                withoutRowid.emplace(hash, k);
            }
        };
        const std::uint64_t heldBefore = held_;
        const std::uint64_t spareBefore = spare_;
        for (const std::size_t k : kept[mask.table]) {
            if (!budget_.spend(kLookUpWork + mask.runs.size())) {
                break;
            }
            if (!covers(masks_[entries_[k].mask].runs, mask.runs)) {
                continue;
            }
            if (!hold(2 * kIndexEntryBytes)) {
                break;
            }
            add(k);
        }
        const auto found = [&](const Index& index, std::uint64_t key, const CarvedRow& row) {
            for (auto it = index.find(key);
                 it != index.end() && it->first == key && budget_.spend(kLookUpWork); ++it) {
                const CarvedRow& other = rows_[it->second];
                if ((!row.rowid || !other.rowid || *row.rowid == *other.rowid) &&
                    sameOn(other.values, row.values, mask.runs)) {
                    return true;
                }
            }
            return false;
        };
        for (const std::size_t i : byMask[id]) {
            if (budget_.exhausted()) {
                keep(i);  // not compared: it stays
                continue;
            }
            const CarvedRow& row = rows_[i];
            const std::uint64_t hash = entries_[i].hash;
            const bool duplicate = row.rowid ? found(withRowid, rowidKey(hash, *row.rowid), row) ||
                                                   found(withoutRowid, hash, row)
                                             : found(any, hash, row);
            if (duplicate) {
                continue;
            }
            kept[mask.table].push_back(i);
            keep(i);
            hold(2 * kIndexEntryBytes);
            add(i);
        }
        // The indexes of the mask go with it.
        clear(any);
        clear(withRowid);
        clear(withoutRowid);
        budget_.release(held_ - heldBefore);
        held_ = heldBefore;
        spare_ = spareBefore;
    }
    std::vector<CarvedRow> out;
    out.reserve(staying);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (stays[i]) {
            budget_.spend(kLookUpWork);
            out.push_back(std::move(rows_[i]));
        }
    }
    // The rows left behind go now, a few at a time between the stop checks.
    while (!rows_.empty()) {
        budget_.spend(kLookUpWork);
        rows_.pop_back();
    }
    return out;
}

}  // namespace nimbara::backup::carver
