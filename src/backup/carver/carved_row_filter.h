// Keeps the carved rows that no live row of their table still holds, each reported once.
//
// Rows are compared through hashes of their values: a carved row whose values are only partly
// recovered is looked up under the columns it holds, so that no row is compared with every other
// row that shares a value with it. Each hash made and each row compared is spent from the budget.
#pragma once

#include "backup/carver/sqlite_carver.h"
#include "backup/carver/work_budget.h"

#include <cstdint>
#include <map>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nimbara::backup::carver {

class CarvedRowFilter {
  public:
    // `tables`: the carved tables, whose names the rows carry. What the filter keeps besides the
    // rows was held in `budget` as the rows were found (kCheckBytesPerRow each); the filter takes
    // its memory from that.
    CarvedRowFilter(std::vector<CarvedRow> rows, const std::vector<Table>& tables,
                    WorkBudget& budget);
    ~CarvedRowFilter();
    CarvedRowFilter(const CarvedRowFilter&) = delete;
    CarvedRowFilter& operator=(const CarvedRowFilter&) = delete;

    // A live row of table `table`: its first values, as far as they could be read (a column past
    // them matches anything; an empty value among them could not be decoded and matches nothing).
    // Every carved row whose recovered values all equal its values goes. Once the budget is
    // exhausted, the rows of that table can no longer be told from live ones and none is kept.
    void dropHeldBy(std::size_t table, const std::vector<std::optional<Value>>& live);

    // The rows left, in the order they were found; of rows with the same values (a row id known
    // on both sides must agree too) the one with the most recovered values stays. Once the budget
    // is exhausted, the rows not yet compared stay as they are.
    std::vector<CarvedRow> remaining();

  private:
    // Columns as runs [first, second) of column indexes, ascending.
    using Runs = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    using Index = std::unordered_multimap<std::uint64_t, std::size_t>;

    struct Entry {
        std::size_t mask = 0;    // into masks_: its table and the columns it recovered
        std::size_t sums = 0;    // into sums_: the running sums of its column hashes
        std::uint64_t hash = 0;  // of all its values
        bool dropped = false;
    };
    struct Mask {
        std::size_t table = 0;
        Runs runs;
        std::size_t values = 0;  // how many columns it holds
        std::size_t alive = 0;   // rows with it not dropped
        Index rows;              // its rows by the hash of all their values
    };

    static std::uint64_t hashOn(const std::uint64_t* sums, const Runs& runs);
    bool sameOn(const std::vector<std::optional<Value>>& a,
                const std::vector<std::optional<Value>>& b, const Runs& runs);
    // Drops the rows of `index` under `key` whose values on `runs` equal `live`'s.
    void dropMatching(Index& index, std::uint64_t key, const Runs& runs,
                      const std::vector<std::optional<Value>>& live);
    bool hold(std::uint64_t bytes);
    void clear(Index& index);

    std::vector<CarvedRow> rows_;
    std::vector<Entry> entries_;
    std::vector<std::uint64_t> sums_;  // of all rows, one after another
    std::vector<Mask> masks_;
    std::vector<std::vector<std::size_t>> tableMasks_;             // per table, its masks
    std::map<std::pair<Runs, std::size_t>, std::size_t> maskIds_;  // (runs, table) -> mask
    // The rows of a mask by the hash of their values on the first columns of a live row shorter
    // than the mask: (mask, columns read) -> index.
    std::map<std::pair<std::size_t, std::size_t>, Index> partial_;
    std::vector<bool> unchecked_;  // per table: a live row could not be compared
    // For the live row being checked, kept from one to the next: the running sums of its column
    // hashes and of its values that could not be read.
    std::vector<std::uint64_t> liveSums_;
    std::vector<std::uint32_t> liveUnreadable_;
    WorkBudget& budget_;
    std::uint64_t held_ = 0;   // taken by the filter beyond what the rows brought
    std::uint64_t spare_ = 0;  // what the rows brought for the filter and it has not used
};

}  // namespace nimbara::backup::carver
