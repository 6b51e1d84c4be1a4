#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/worker_reaper.h"

namespace {

int g_argc = 1;
char g_arg0[] = "worker_reaper_test";
char* g_argv[] = {g_arg0, nullptr};

// A worker that runs until it is let go, then marks itself done as its last step.
struct HeldWorker {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
    std::thread start() {
        return std::thread([release = release, done = done] {
            while (!release->load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            done->store(true);
        });
    }
};

bool pumpUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return condition();
}

}  // namespace

TEST(WorkerReaperTest, ARetiredThreadIsJoinedOnlyOnceItHasEnded) {
    QCoreApplication app(g_argc, g_argv);
    nimbara::WorkerReaper reaper;
    HeldWorker held;
    std::thread thread = held.start();
    const std::thread::id id = thread.get_id();

    reaper.retire(std::move(thread), held.done);  // returns at once although the thread runs
    EXPECT_EQ(reaper.pending(), 1u);
    reaper.reap();
    EXPECT_EQ(reaper.pending(), 1u) << "a running thread is never waited for";
    EXPECT_NE(id, std::thread::id());

    held.release->store(true);
    EXPECT_TRUE(pumpUntil([&] { return reaper.pending() == 0; }));
}

TEST(WorkerReaperTest, AnyOwnerIsReleasedWhenItSaysItEndedAndTheRestAtExit) {
    QCoreApplication app(g_argc, g_argv);
    auto released = std::make_shared<int>(0);
    struct Owner {
        std::shared_ptr<int> count;
        ~Owner() { ++*count; }
    };
    std::atomic<bool> ended{false};
    HeldWorker held;
    std::thread stillRunning = held.start();
    {
        nimbara::WorkerReaper reaper;
        reaper.retire(std::shared_ptr<Owner>(new Owner{released}),
                      [&ended] { return ended.load(); });
        reaper.retire(std::move(stillRunning), held.done);
        reaper.reap();
        EXPECT_EQ(*released, 0);
        ended.store(true);
        EXPECT_TRUE(pumpUntil([&] { return *released == 1; }));
        EXPECT_EQ(reaper.pending(), 1u);
        // At exit the rest is waited for (its worker was told to stop).
        held.release->store(true);
    }
    EXPECT_TRUE(held.done->load());
}
