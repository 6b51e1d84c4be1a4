// The job queue: jobs one after another off the owner's thread, each bound to what it was posted
// for; a reset or a binding gone keeps a job from running, and the owner never waits for one.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "event_loop.h"
#include "platform/job_queue.h"

namespace nimbara {
namespace {

int g_argc = 1;
char g_arg0[] = "job_queue_test";
char* g_argv[] = {g_arg0, nullptr};

using test::pumpUntil;

// A job that runs until released (or a generous limit) and notes what its stop check said.
struct Blocker {
    struct State {
        std::atomic<bool> release{false};
        std::atomic<bool> started{false};
        std::atomic<bool> sawStop{false};
        std::atomic<bool> ended{false};
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    JobQueue::Job job() const {
        return [state = state](const JobQueue::StopCheck& stop) {
            state->started = true;
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!state->release && std::chrono::steady_clock::now() < limit) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            state->sawStop = stop();
            state->ended = true;
        };
    }
};

// A job waiting behind another runs only when nothing made it stale or unbound before its turn;
// a reset also tells the running job to stop.
TEST(JobQueue, AStaleOrUnboundJobNeverRuns) {
    QCoreApplication app(g_argc, g_argv);
    enum class Before { Nothing, Reset, BindingGone };
    for (const Before before : {Before::Nothing, Before::Reset, Before::BindingGone}) {
        SCOPED_TRACE(static_cast<int>(before));
        JobQueue queue;
        Blocker blocker;
        const std::uint64_t generation = queue.post(blocker.job());
        auto bound = std::make_shared<std::atomic<bool>>(true);
        auto ran = std::make_shared<std::atomic<bool>>(false);
        queue.post([ran](const JobQueue::StopCheck&) { *ran = true; },
                   [bound] { return bound->load(); });
        ASSERT_TRUE(pumpUntil([&] { return blocker.state->started.load(); }));

        if (before == Before::Reset) {
            queue.reset();
        } else if (before == Before::BindingGone) {
            bound->store(false);
        }
        EXPECT_EQ(queue.isCurrent(generation), before != Before::Reset);
        blocker.state->release = true;
        ASSERT_TRUE(pumpUntil([&] { return queue.idle(); }));
        EXPECT_EQ(blocker.state->sawStop.load(), before == Before::Reset);
        EXPECT_EQ(ran->load(), before == Before::Nothing);
    }
}

TEST(JobQueue, GoingWhileAJobRunsNeverWaitsForIt) {
    QCoreApplication app(g_argc, g_argv);
    auto queue = std::make_unique<JobQueue>();
    Blocker blocker;
    auto later = std::make_shared<std::atomic<bool>>(false);
    queue->post(blocker.job());
    queue->post([later](const JobQueue::StopCheck&) { *later = true; });
    ASSERT_TRUE(pumpUntil([&] { return blocker.state->started.load(); }));

    queue.reset();
    EXPECT_FALSE(blocker.state->ended) << "the owner waited for the running job";
    blocker.state->release = true;
    ASSERT_TRUE(pumpUntil([&] { return blocker.state->ended.load(); }));
    EXPECT_TRUE(blocker.state->sawStop) << "the running job is told to stop";
    EXPECT_FALSE(*later) << "what was queued behind it never runs";
}

}  // namespace
}  // namespace nimbara
