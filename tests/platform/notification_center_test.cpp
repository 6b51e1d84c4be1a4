#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/notification_center.h"

using nimbara::Notification;
using nimbara::NotificationCenter;
using nimbara::ObserverToken;

TEST(NotificationCenter, DeliversObjectSynchronouslyToObserversOfThatName) {
    NotificationCenter center;
    std::vector<int> seen;
    auto a = center.addObserver(
        "DeviceConnect", [&](const Notification& n) { seen.push_back(n.objectAs<int>(-1)); });
    auto b = center.addObserver("Other", [&](const Notification&) { seen.push_back(99); });
    center.post("DeviceConnect", 3);
    center.post("DeviceConnect");  // no object
    EXPECT_EQ(seen, (std::vector<int>{3, -1}));
}

TEST(NotificationCenter, HandlersMayPostRegisterAndRemoveDuringDelivery) {
    NotificationCenter center;
    std::vector<std::string> log;
    ObserverToken late;
    ObserverToken self;
    auto first = center.addObserver("A", [&](const Notification&) {
        log.push_back("A1");
        center.post("B");
        if (!late.active()) {  // only on the first post
            late = center.addObserver("A", [&](const Notification&) { log.push_back("late"); });
        }
    });
    self = center.addObserver("A", [&](const Notification&) {
        log.push_back("A2");
        self.reset();  // removes itself while being delivered
    });
    auto b = center.addObserver("B", [&](const Notification&) { log.push_back("B"); });

    center.post("A");
    // The observer added during the delivery gets the next post, not this one.
    EXPECT_EQ(log, (std::vector<std::string>{"A1", "B", "A2"}));
    log.clear();
    center.post("A");
    EXPECT_EQ(log, (std::vector<std::string>{"A1", "B", "late"}));
    EXPECT_EQ(center.observerCount("A"), 2u);
}

TEST(NotificationCenter, RemovalWaitsForADeliveryRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> inside{false};
    std::atomic<bool> finished{false};
    auto token =
        std::make_unique<ObserverToken>(center.addObserver("slow", [&](const Notification&) {
            inside = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            finished = true;
        }));
    std::thread poster([&] { center.post("slow"); });
    while (!inside) {
        std::this_thread::yield();
    }
    token.reset();  // must not return while the handler still runs
    EXPECT_TRUE(finished);
    poster.join();
    center.post("slow");  // removed: nothing runs
}

TEST(NotificationCenter, ConcurrentPostsAndRegistrationsAreSafe) {
    NotificationCenter center;
    std::atomic<int> count{0};
    auto keep = center.addObserver("n", [&](const Notification&) { ++count; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                auto tmp = center.addObserver("n", [](const Notification&) {});
                center.post("n");
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(count.load(), 2000);
}
