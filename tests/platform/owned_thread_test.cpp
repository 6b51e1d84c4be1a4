// The owned thread: one body at a time, told to stop and joined by stop() and by its owner's end.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/owned_thread.h"

namespace nimbara {
namespace {

TEST(OwnedThread, StopAndTheEndTellTheBodyToStopAndJoinIt) {
    for (const bool byDestructor : {false, true}) {
        SCOPED_TRACE(byDestructor);
        std::atomic<int> rounds{0};
        std::atomic<bool> ended{false};
        auto owner = std::make_unique<OwnedThread>();
        const auto body = [&](const OwnedThread::StopCheck& stop) {
            while (!stop()) {
                ++rounds;
                std::this_thread::yield();
            }
            ended = true;
        };
        ASSERT_FALSE(owner->start(body));
        EXPECT_TRUE(owner->started());
        EXPECT_EQ(owner->start(body), std::errc::operation_in_progress) << "one body at a time";
        while (rounds == 0) {
            std::this_thread::yield();
        }
        if (byDestructor) {
            owner.reset();
        } else {
            owner->stop();
            EXPECT_FALSE(owner->started());
        }
        EXPECT_TRUE(ended) << "joined once it returned";
        if (owner) {
            ended = false;
            ASSERT_FALSE(owner->start(body)) << "stopped, it may start again";
            owner->stop();
            EXPECT_TRUE(ended);
        }
    }
}

}  // namespace
}  // namespace nimbara
