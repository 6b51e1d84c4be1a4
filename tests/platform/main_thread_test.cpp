#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>
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

// A call that belongs to a context is dropped when the context goes before its turn, whether the
// context was named by its address (a caller sure it lives) or by a guard taken on this thread
// (a worker whose context may go while it runs).
TEST(PostToMain, ACallIsDroppedWhenItsContextGoesFirst) {
    QCoreApplication app(g_argc, g_argv);
    nimbara::resetMainThreadCalls();
    for (const bool guarded : {false, true}) {
        for (const bool contextGoes : {false, true}) {
            SCOPED_TRACE(testing::Message() << "guarded " << guarded << ", goes " << contextGoes);
            auto context = std::make_unique<QObject>();
            const QPointer<QObject> guard(context.get());
            bool ran = false;
            std::thread worker([&] {
                if (guarded) {
                    EXPECT_TRUE(nimbara::postToMain(guard, [&] { ran = true; }));
                } else {
                    EXPECT_TRUE(nimbara::postToMain(context.get(), [&] { ran = true; }));
                }
            });
            worker.join();
            if (contextGoes) {
                context.reset();
            }
            QCoreApplication::processEvents();
            EXPECT_EQ(ran, !contextGoes);
        }
    }
}
