#include "backup/carver/carved_row_filter.h"

#include "backup/carver/sqlite_record.h"
#include "backup/carver/sqlite_schema.h"

#include <algorithm>
#include <numeric>

namespace nimbara::backup::carver {

namespace {

bool informative(const std::optional<Value>& value) {
    return value && value->kind != Value::Kind::Null;
}

// Whether every value `part` recovered is one `whole` holds (an empty value of `whole` matches
// anything when `wholeWildcards`, else nothing).
bool covers(const std::vector<std::optional<Value>>& whole,
            const std::vector<std::optional<Value>>& part, bool wholeWildcards) {
    if (whole.size() != part.size()) {
        return false;
    }
    for (std::size_t i = 0; i < part.size(); ++i) {
        if (!part[i]) {
            continue;
        }
        if (!whole[i]) {
            if (!wholeWildcards) {
                return false;
            }
            continue;
        }
        if (!sameValue(*whole[i], *part[i])) {
            return false;
        }
    }
    return true;
}

std::size_t recovered(const CarvedRow& row) {
    return static_cast<std::size_t>(std::count_if(
        row.values.begin(), row.values.end(), [](const auto& value) { return value.has_value(); }));
}

}  // namespace

std::uint64_t CarvedRowFilter::key(std::size_t column, const Value& value) {
    return valueHash(value) * 1000003u + column;
}

CarvedRowFilter::CarvedRowFilter(std::vector<CarvedRow> rows, const std::vector<Table>& tables,
                                 WorkBudget& budget)
    : rows_(std::move(rows)), keyColumns_(tables.size()), budget_(budget) {
    entries_.reserve(rows_.size());
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const CarvedRow& row = rows_[i];
        Entry entry;
        const auto table = std::find_if(tables.begin(), tables.end(),
                                        [&](const Table& t) { return t.name == row.table; });
        const auto column =
            std::find_if(row.values.begin(), row.values.end(), informative) - row.values.begin();
        if (table == tables.end() || column == static_cast<std::ptrdiff_t>(row.values.size())) {
            entry.dropped = true;  // no row the search hands on is either
            entries_.push_back(entry);
            continue;
        }
        entry.table = static_cast<std::size_t>(table - tables.begin());
        entry.keyColumn = static_cast<std::size_t>(column);
        std::vector<std::size_t>& columns = keyColumns_[entry.table];
        if (std::find(columns.begin(), columns.end(), entry.keyColumn) == columns.end()) {
            columns.push_back(entry.keyColumn);
        }
        byKey_[key(entry.keyColumn, *row.values[entry.keyColumn])].push_back(i);
        byKeyColumn_[place(entry.table, entry.keyColumn)].push_back(i);
        entries_.push_back(entry);
    }
}

void CarvedRowFilter::dropHeldBy(std::size_t table, const std::vector<std::optional<Value>>& live) {
    if (table >= keyColumns_.size()) {
        return;
    }
    const auto check = [&](std::size_t i) {
        Entry& entry = entries_[i];
        if (!entry.dropped && entry.table == table && covers(live, rows_[i].values, true)) {
            entry.dropped = true;
        }
    };
    for (const std::size_t column : keyColumns_[table]) {
        if (column >= live.size()) {
            continue;
        }
        if (live[column]) {
            if (const auto found = byKey_.find(key(column, *live[column])); found != byKey_.end()) {
                std::for_each(found->second.begin(), found->second.end(), check);
            }
            continue;
        }
        // A live value that could not be read matches any row keyed by that column, so each of
        // them is compared, within the budget: many such live rows against many carved ones
        // would otherwise grow with the square of the file.
        const auto found = byKeyColumn_.find(place(table, column));
        if (found == byKeyColumn_.end()) {
            continue;
        }
        for (const std::size_t i : found->second) {
            if (!budget_.spend(1)) {
                return;
            }
            check(i);
        }
    }
}

std::vector<CarvedRow> CarvedRowFilter::remaining() {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].dropped) {
            order.push_back(i);
        }
    }
    // The most complete copy of a row is kept; its less complete copies go.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return recovered(rows_[a]) > recovered(rows_[b]);
    });
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> kept;
    std::vector<std::size_t> keptOrder;
    for (const std::size_t i : order) {
        const CarvedRow& row = rows_[i];
        const Entry& entry = entries_[i];
        bool duplicate = false;
        if (const auto found = kept.find(key(entry.keyColumn, *row.values[entry.keyColumn]));
            found != kept.end()) {
            duplicate = std::any_of(found->second.begin(), found->second.end(), [&](std::size_t k) {
                const CarvedRow& other = rows_[k];
                return entries_[k].table == entry.table &&
                       (!row.rowid || !other.rowid || *row.rowid == *other.rowid) &&
                       covers(other.values, row.values, false);
            });
        }
        if (duplicate) {
            continue;
        }
        for (std::size_t column = 0; column < row.values.size(); ++column) {
            if (informative(row.values[column])) {
                kept[key(column, *row.values[column])].push_back(i);
            }
        }
        keptOrder.push_back(i);
    }
    std::sort(keptOrder.begin(), keptOrder.end());
    std::vector<CarvedRow> out;
    out.reserve(keptOrder.size());
    for (const std::size_t i : keptOrder) {
        out.push_back(std::move(rows_[i]));
    }
    return out;
}

}  // namespace nimbara::backup::carver
