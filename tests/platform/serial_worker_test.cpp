// The serial worker runs jobs in order off the calling thread, and its end waits for the job
// that runs but drops the ones not started.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "platform/serial_worker.h"

namespace nimbara {
namespace {

TEST(SerialWorker, RunsJobsInOrderOffTheCallerAndEndsWithoutRunningWhatIsQueued) {
    std::vector<int> order;
    std::promise<std::thread::id> ranOn;
    {
        SerialWorker worker;
        worker.post([&] { ranOn.set_value(std::this_thread::get_id()); });
        for (int i = 0; i < 5; ++i) {
            worker.post([&order, i] { order.push_back(i); });
        }
        EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());
        while (!worker.idle()) {
            std::this_thread::yield();
        }
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));

    std::atomic<bool> release{false};
    std::atomic<bool> firstEnded{false};
    std::atomic<int> laterRan{0};
    std::thread releaser;
    {
        SerialWorker worker;
        std::promise<void> started;
        worker.post([&] {
            started.set_value();
            while (!release.load()) {
                std::this_thread::yield();
            }
            firstEnded = true;
        });
        for (int i = 0; i < 3; ++i) {
            worker.post([&] { ++laterRan; });
        }
        started.get_future().wait();
        releaser = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            release = true;
        });
    }
    releaser.join();
    EXPECT_TRUE(firstEnded.load());  // the running job was waited for
    EXPECT_EQ(laterRan.load(), 0);   // the queued ones never ran
}

}  // namespace
}  // namespace nimbara
