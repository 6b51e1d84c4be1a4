// How much work and memory the carver may take on one database, both in proportion to the bytes
// of the database and its log. Work is counted as it is done (bytes read and decoded, values
// made, rows compared, pages read); memory as what the search holds (rows and their values, chain
// bytes, schema texts, page maps). Once either is spent, the carver looks no further and keeps
// what it has found. The stop check is asked as the work goes, so that a stop ends any long loop.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>

namespace nimbara::backup::carver {

// The bytes a string takes besides itself: past the bytes kept in place, its capacity, its
// terminator and the allocator's own header.
inline std::uint64_t heapBytes(const std::string& text) {
    return text.capacity() > 15 ? text.capacity() + 1 + 16 : 0;
}

class WorkBudget {
  public:
    // Work past which the stop check is asked again.
    static constexpr std::uint64_t kStopCheckEvery = std::uint64_t{1} << 12;

    WorkBudget(std::uint64_t limit, std::uint64_t memoryLimit = UINT64_MAX,
               std::function<bool()> stop = {})
        : limit_(limit), memoryLimit_(memoryLimit), stop_(std::move(stop)) {}

    // Counts `units`; false once the budget is spent, memory is over its limit or a stop was
    // asked for.
    bool spend(std::uint64_t units) {
        spent_ = units > limit_ - std::min(spent_, limit_) ? limit_ + 1 : spent_ + units;
        total_ += units;
        if (total_ >= nextStopCheck_) {
            nextStopCheck_ = total_ + kStopCheckEvery;
            stopped_ = stopped_ || (stop_ && stop_());
        }
        return !exhausted();
    }
    // Counts `bytes` as held until released; false once the memory limit is passed. Holding
    // nothing more never passes it: after a phase that ended over the limit, what was held for
    // the next one stays usable.
    bool hold(std::uint64_t bytes) {
        held_ += bytes;
        overMemory_ = overMemory_ || (bytes > 0 && held_ > memoryLimit_);
        return !exhausted();
    }
    void release(std::uint64_t bytes) { held_ -= std::min(held_, bytes); }

    // A new phase of the search with a work limit of its own: what was spent stays in total(),
    // and a memory limit passed before no longer ends the work.
    void startPhase(std::uint64_t limit) {
        limit_ = limit;
        spent_ = 0;
        overMemory_ = false;
    }

    bool exhausted() const { return spent_ > limit_ || overMemory_ || stopped_; }
    bool overMemory() const { return overMemory_; }
    bool stopped() const { return stopped_; }
    std::uint64_t total() const { return total_; }

  private:
    std::uint64_t limit_;
    std::uint64_t memoryLimit_;
    std::function<bool()> stop_;
    std::uint64_t spent_ = 0;
    std::uint64_t total_ = 0;
    std::uint64_t nextStopCheck_ = 0;
    std::uint64_t held_ = 0;
    bool overMemory_ = false;
    bool stopped_ = false;
};

}  // namespace nimbara::backup::carver
