// The job runner: one job per owner off the GUI thread, its posted steps run on the GUI thread
// only while it is the current job and its binding holds, and the GUI thread never waits for it.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "event_loop.h"
#include "platform/job_runner.h"

namespace nimbara {
namespace {

int g_argc = 1;
char g_arg0[] = "job_runner_test";
char* g_argv[] = {g_arg0, nullptr};

using test::pumpUntil;

// A body held until released (or a generous limit), which then notes its stop check and posts
// a step. Shared, so a body that outlives its runner touches nothing of the test.
struct HeldJob {
    struct State {
        std::atomic<bool> release{false};
        std::atomic<bool> started{false};
        std::atomic<bool> sawStop{false};
        std::atomic<bool> ended{false};
        std::atomic<int> stepsRun{0};
        std::thread::id ranOn;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    JobRunner::Body body() const {
        return [state = state](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
            state->ranOn = std::this_thread::get_id();
            state->started = true;
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!state->release && std::chrono::steady_clock::now() < limit) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            state->sawStop = stop();
            post([state] { ++state->stepsRun; });
            state->ended = true;
        };
    }
};

TEST(JobRunner, RunsOffTheGuiThreadPostsStepsInOrderAndRefusesASecondJob) {
    QCoreApplication app(g_argc, g_argv);
    JobRunner runner;
    std::vector<int> steps;
    std::atomic<bool> release{false};
    ASSERT_TRUE(runner.start([&](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        while (!release) {
            std::this_thread::yield();
        }
        EXPECT_FALSE(stop());
        for (int i = 0; i < 3; ++i) {
            post([&steps, i] { steps.push_back(i); });
        }
        post([&] { runner.finish(); });
    }));
    EXPECT_TRUE(runner.busy());
    EXPECT_FALSE(runner.start([](const JobRunner::StopCheck&, const JobRunner::Post&) {}));
    release = true;
    ASSERT_TRUE(pumpUntil([&] { return !runner.busy() && runner.ending() == 0; }));
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2}));
}

// Whatever ends a job's turn, the job sees its stop check turn true, what it still posts is
// dropped, and the GUI thread did not wait for it.
TEST(JobRunner, AJobThatIsNoLongerCurrentIsToldToStopAndItsStepsAreDropped) {
    QCoreApplication app(g_argc, g_argv);
    enum class End { Stop, Replace, BindingGone, RunnerGone };
    for (const End end : {End::Stop, End::Replace, End::BindingGone, End::RunnerGone}) {
        SCOPED_TRACE(static_cast<int>(end));
        auto runner = std::make_unique<JobRunner>();
        auto bound = std::make_shared<std::atomic<bool>>(true);
        HeldJob job;
        HeldJob next;
        ASSERT_TRUE(runner->start(job.body(), [bound] { return bound->load(); }));
        ASSERT_TRUE(pumpUntil([&] { return job.state->started.load(); }));
        EXPECT_NE(job.state->ranOn, std::this_thread::get_id());

        switch (end) {
            case End::Stop:
                runner->stop();
                EXPECT_FALSE(runner->busy());
                break;
            case End::Replace:
                next.state->release = true;
                runner->replace(next.body());
                EXPECT_TRUE(runner->busy());
                break;
            case End::BindingGone:
                bound->store(false);
                break;
            case End::RunnerGone:
                runner.reset();
                break;
        }
        EXPECT_FALSE(job.state->ended) << "the GUI thread waited for the job";

        job.state->release = true;
        ASSERT_TRUE(pumpUntil([&] { return job.state->ended.load(); }));
        pumpUntil([&] { return !runner || runner->ending() == 0; });
        QCoreApplication::processEvents();
        EXPECT_TRUE(job.state->sawStop);
        EXPECT_EQ(job.state->stepsRun, 0);
        if (end == End::Replace) {
            EXPECT_TRUE(pumpUntil([&] { return next.state->stepsRun == 1; }))
                << "the job in its place posts as usual";
            EXPECT_FALSE(next.state->sawStop);
        }
        if (runner) {
            runner->stop();
            ASSERT_TRUE(pumpUntil([&] { return runner->ending() == 0; }));
        }
    }
}

}  // namespace
}  // namespace nimbara
