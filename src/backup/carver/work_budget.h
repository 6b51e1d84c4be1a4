// How much work the carver may do on one database: a limit in proportion to the bytes of the
// database and its log, against which tries and bytes of overflow chains read are counted. Once
// spent, the carver looks no further and keeps what it has found.
#pragma once

#include <algorithm>
#include <cstdint>

namespace nimbara::backup::carver {

class WorkBudget {
  public:
    explicit WorkBudget(std::uint64_t limit) : limit_(limit) {}

    // Counts `units`; false once the budget is spent.
    bool spend(std::uint64_t units) {
        spent_ = units > limit_ - std::min(spent_, limit_) ? limit_ + 1 : spent_ + units;
        return spent_ <= limit_;
    }
    bool exhausted() const { return spent_ > limit_; }
    std::uint64_t spent() const { return spent_; }

  private:
    std::uint64_t limit_;
    std::uint64_t spent_ = 0;
};

}  // namespace nimbara::backup::carver
