// The device bracket and the process-wide device lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "device/base_device.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_fixture.h"

namespace {

using amd::BaseDevice;
using amd::RunInBracket;
using nimbara::test::SimDeviceTest;

// True when another thread can take the device lock right now.
bool lockIsFree() {
    return std::async(std::launch::async,
                      [] {
                          if (!amd::g_deviceLock.try_lock()) {
                              return false;
                          }
                          amd::g_deviceLock.unlock();
                          return true;
                      })
        .get();
}

class BracketTest : public SimDeviceTest {
  protected:
    struct Outcome {
        int rc = 0;
        bool ran = false;  // the operation was called
    };
    // One bracket around an operation returning 0.
    static Outcome runOnce(BaseDevice& device) {
        Outcome outcome;
        outcome.rc = RunInBracket(device, [&] {
            outcome.ran = true;
            return 0;
        });
        return outcome;
    }
};

TEST_F(BracketTest, HolderWithoutHandleFailsWithoutTouchingTheLock) {
    BaseDevice none(nullptr);
    EXPECT_EQ(none.Connect(), -1);
    EXPECT_TRUE(lockIsFree());
    EXPECT_EQ(none.Disconnect(), -1);
    EXPECT_EQ(none.ValidatePairing(), -1);
    EXPECT_EQ(none.StartSession(), -1);
    EXPECT_EQ(none.StopSession(), -1);
    const Outcome outcome = runOnce(none);
    EXPECT_EQ(outcome.rc, -1);
    EXPECT_FALSE(outcome.ran);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(BracketTest, BracketHoldsTheLockAndReturnsTheOperationResult) {
    auto handle = library_->attach(makeDevice("aaaa"));
    ASSERT_TRUE(handle);
    BaseDevice device(handle);
    bool heldInside = false;
    const int rc = RunInBracket(device, [&] {
        heldInside = !lockIsFree();
        // Recursive: the same thread may open a nested bracket.
        BaseDevice again(handle);
        EXPECT_EQ(RunInBracket(again, [] { return 0; }), 0);
        return 42;
    });
    EXPECT_EQ(rc, 42);
    EXPECT_TRUE(heldInside);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(BracketTest, NoTwoBracketsOverlapAcrossThreadsAndDevices) {
    auto first = library_->attach(makeDevice("aaaa"));
    auto second = library_->attach(makeDevice("bbbb"));
    ASSERT_TRUE(first && second);

    std::atomic<int> inside{0};
    std::atomic<int> maxInside{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&, t] {
            BaseDevice device(t % 2 ? first : second);
            for (int i = 0; i < 40; ++i) {
                const int rc = RunInBracket(device, [&] {
                    const int now = ++inside;
                    int seen = maxInside.load();
                    while (now > seen && !maxInside.compare_exchange_weak(seen, now)) {
                    }
                    std::this_thread::yield();
                    --inside;
                    return 0;
                });
                if (rc == 0) {
                    ++done;
                }
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(done.load(), 6 * 40);
    EXPECT_EQ(maxInside.load(), 1);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(BracketTest, FailedConnectLogsItsCodeAndLeavesTheLockFree) {
    const int code = nimbara::md::Error::ConnectionRefused;
    auto b = builder("cccc");
    b.setFault(nimbara::md::sim::kFaultConnectError, code);
    ASSERT_TRUE(b.write());
    auto handle = library_->attach(deviceDir("cccc").string());
    ASSERT_TRUE(handle);

    BaseDevice device(handle);
    nimbara::test::LogRecorder log;
    const Outcome outcome = runOnce(device);
    EXPECT_EQ(outcome.rc, code);
    EXPECT_FALSE(outcome.ran);
    EXPECT_EQ(log.count(QStringLiteral("* Can't connect (%1)").arg(code)), 1);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(BracketTest, PairingFailureReturnsOneDisconnectsAndLeavesTheLockFree) {
    auto b = builder("dddd");
    b.setTrusted(false);
    ASSERT_TRUE(b.write());
    auto handle = library_->attach(deviceDir("dddd").string());
    ASSERT_TRUE(handle);

    BaseDevice device(handle);
    nimbara::test::LogRecorder log;
    const Outcome outcome = runOnce(device);
    EXPECT_EQ(outcome.rc, 1);
    EXPECT_FALSE(outcome.ran);
    EXPECT_EQ(log.count(QStringLiteral("* Invalid pair")), 1);
    EXPECT_TRUE(lockIsFree());
    // Disconnected: a fresh bracket on the same device connects again (and fails pairing again).
    EXPECT_EQ(runOnce(device).rc, 1);
    EXPECT_TRUE(lockIsFree());
}

TEST_F(BracketTest, DepartedDeviceFailsCleanlyAndLeavesTheLockFree) {
    const std::string dir = makeDevice("eeee");
    auto handle = library_->attach(dir);
    ASSERT_TRUE(handle);
    ASSERT_TRUE(library_->detach(dir));

    BaseDevice device(handle);
    EXPECT_NE(runOnce(device).rc, 0);
    EXPECT_TRUE(lockIsFree());
}

}  // namespace
