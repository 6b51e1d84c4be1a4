// Keeps the carved rows that no live row of their table still holds, each reported once.
#pragma once

#include "backup/carver/sqlite_carver.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace nimbara::backup::carver {

class CarvedRowFilter {
  public:
    // `tables`: the carved tables, whose names the rows carry; `rowidAlias[t]`: whether table t
    // has a rowid alias column (its rowid is then one of its values). Rows compared with a live
    // row whose key value could not be read are counted against `budget`.
    CarvedRowFilter(std::vector<CarvedRow> rows, const std::vector<Table>& tables,
                    WorkBudget& budget);

    // A live row of table `table` (its values, empty where they could not be read, which then
    // match anything): every carved row whose recovered values all equal its values goes. Once
    // the budget is spent, a live row with an unread key value is compared with no more rows.
    void dropHeldBy(std::size_t table, const std::vector<std::optional<Value>>& live);

    // The rows left, in the order they were found; of rows with the same values (a row id known
    // on both sides must agree too) the one with the most recovered values stays.
    std::vector<CarvedRow> remaining();

  private:
    struct Entry {
        std::size_t table = 0;
        std::size_t keyColumn = 0;  // its first recovered value that is not NULL
        bool dropped = false;
    };
    static std::uint64_t key(std::size_t column, const Value& value);
    static std::uint64_t place(std::size_t table, std::size_t column) {
        return (std::uint64_t{table} << 32) ^ column;
    }

    std::vector<CarvedRow> rows_;
    std::vector<Entry> entries_;
    std::vector<std::vector<std::size_t>> keyColumns_;  // per table, the key columns in use
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byKey_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> byKeyColumn_;  // by place()
    WorkBudget& budget_;
};

}  // namespace nimbara::backup::carver
