// What a piece of work costs on the calling thread: its CPU time and the most bytes it held at
// once. Tests of a bound run the same work on inputs of two sizes and compare the two costs, so the
// figures never depend on how fast or how loaded the machine is.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace nimbara::test {

struct WorkCost {
    double cpuSeconds = 0;      // the calling thread's CPU time (CLOCK_THREAD_CPUTIME_ID)
    std::size_t peakBytes = 0;  // the most bytes allocated through operator new and not yet freed
};

// The calling thread's CPU time so far, in seconds.
double threadCpuSeconds();

// Runs `work` `runs` times on this thread and keeps the least CPU time and the highest peak.
// Counting covers operator new and delete in the test program that links this file.
WorkCost measureCost(const std::function<void()>& work, int runs = 1);

// "12.3 ms, 4.5 MiB", for the message of a failed expectation.
std::string describe(const WorkCost& cost);

}  // namespace nimbara::test
