// The expectation the tests of a bound share: work on an input four times as large costs less
// than six times as much.
#pragma once

#include <functional>

#include "cost_meter.h"

namespace nimbara::test {

// Expects the work `prepare` makes for an input of size 4n to cost less than six times what the
// work for size n costs (each the least of `runs` runs): in CPU time, and in peak bytes unless
// `bytesToo` is false. `prepare` builds the input; only the work it returns is measured.
void expectCostFollowsSize(const std::function<std::function<void()>(int)>& prepare, int n,
                           bool bytesToo = true, int runs = 3);

}  // namespace nimbara::test
