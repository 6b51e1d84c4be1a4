#include "platform/main_thread.h"
#include "platform/log_categories.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

namespace nimbara {

namespace {

std::mutex g_waitMutex;
std::condition_variable g_waitCondition;
std::atomic<bool> g_shutdown{false};
thread_local int t_forbiddenDepth = 0;

struct PendingCall {
    std::function<void()> fn;
    bool done = false;
    bool running = false;    // the main thread is inside fn: the waiter must stay
    bool abandoned = false;  // the waiter left (shutdown): do not run
};

}  // namespace

bool isMainThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

void noteMainWaitForbidden(int delta) {
    t_forbiddenDepth += delta;
}

bool performOnMain(const std::function<void()>& fn) {
    if (isMainThread()) {
        fn();
        return true;
    }
    if (g_shutdown.load()) {
        return false;
    }
    if (t_forbiddenDepth > 0) {
        qCCritical(lcPlatform, "* performOnMain called while holding the device lock");
    }
    auto call = std::make_shared<PendingCall>();
    call->fn = fn;
    QCoreApplication* app = QCoreApplication::instance();
    QMetaObject::invokeMethod(
        app,
        [call] {
            {
                std::lock_guard<std::mutex> lock(g_waitMutex);
                if (call->abandoned) {
                    return;
                }
                call->running = true;
            }
            call->fn();
            {
                std::lock_guard<std::mutex> lock(g_waitMutex);
                call->done = true;
            }
            g_waitCondition.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(g_waitMutex);
    g_waitCondition.wait(lock, [&] { return call->done || (g_shutdown.load() && !call->running); });
    if (!call->done) {
        call->abandoned = true;
        return false;
    }
    return true;
}

bool postToMain(std::function<void()> fn) {
    if (g_shutdown.load()) {
        return false;
    }
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        fn();
        return true;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
    return true;
}

bool postToMain(const QObject* context, std::function<void()> fn) {
    if (context == nullptr) {
        return false;
    }
    // Contexts live on the main thread and are destroyed there, so the guard is read where it
    // can't change under the call.
    return postToMain([guard = QPointer<const QObject>(context), fn = std::move(fn)] {
        if (guard) {
            fn();
        }
    });
}

void shutdownMainThreadCalls() {
    {
        std::lock_guard<std::mutex> lock(g_waitMutex);
        g_shutdown = true;
    }
    g_waitCondition.notify_all();
}

void resetMainThreadCalls() {
    std::lock_guard<std::mutex> lock(g_waitMutex);
    g_shutdown = false;
}

}  // namespace nimbara
