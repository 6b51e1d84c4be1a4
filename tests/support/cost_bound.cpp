#include "cost_bound.h"

#include <gtest/gtest.h>

namespace nimbara::test {

void expectCostFollowsSize(const std::function<std::function<void()>(int)>& prepare, int n,
                           bool bytesToo, int runs) {
    const WorkCost small = measureCost(prepare(n), runs);
    const WorkCost large = measureCost(prepare(4 * n), runs);
    const std::string both = describe(small) + " against " + describe(large);
    EXPECT_LT(large.cpuSeconds, 6 * small.cpuSeconds) << both;
    if (bytesToo) {
        EXPECT_LT(large.peakBytes, 6 * small.peakBytes) << both;
    }
}

}  // namespace nimbara::test
