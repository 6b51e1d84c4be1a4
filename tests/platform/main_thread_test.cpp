#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <thread>

#include "platform/main_thread.h"

namespace {

int g_argc = 1;
char g_arg0[] = "main_thread_test";
char* g_argv[] = {g_arg0, nullptr};

}  // namespace

TEST(PerformOnMain, RunsOnTheMainThreadAndWaits) {
    QCoreApplication app(g_argc, g_argv);
    nimbara::resetMainThreadCalls();
    const auto mainId = std::this_thread::get_id();
    std::thread::id ranOn;
    bool returned = false;
    std::thread worker([&] {
        returned = nimbara::performOnMain([&] { ranOn = std::this_thread::get_id(); });
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(ranOn, mainId);
    // Already on the main thread: a direct call.
    bool direct = false;
    EXPECT_TRUE(nimbara::performOnMain([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(PerformOnMain, ShutdownReleasesAWaitingWorker) {
    QCoreApplication app(g_argc, g_argv);
    nimbara::resetMainThreadCalls();
    std::atomic<bool> ran{false};
    std::atomic<bool> started{false};
    bool result = true;
    // The main thread never runs its event loop: without shutdown the worker would wait forever.
    std::thread worker([&] {
        started = true;
        result = nimbara::performOnMain([&] { ran = true; });
    });
    while (!started) {
        std::this_thread::yield();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    nimbara::shutdownMainThreadCalls();
    worker.join();
    EXPECT_FALSE(result);
    // The queued call is dropped when the loop runs later.
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_FALSE(nimbara::postToMain([] {}));
    nimbara::resetMainThreadCalls();
}
