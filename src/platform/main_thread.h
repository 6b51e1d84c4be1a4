// Running work on the GUI thread from a worker, waiting until it is done.
#pragma once

#include <QPointer>

#include <functional>

class QObject;

namespace nimbara {

// Runs `fn` on the application's main thread and waits for it. Called on the main thread (or
// before a QCoreApplication exists) it runs `fn` directly. Returns false, without running `fn`,
// once `shutdownMainThreadCalls()` was called: a worker that the main thread is about to join
// never waits for a main thread that is no longer running its event loop.
bool performOnMain(const std::function<void()>& fn);

// Queues `fn` on the main thread and returns at once (false after shutdown).
bool postToMain(std::function<void()> fn);
// The same for a call that belongs to `context`: it is dropped, never run, when `context` is
// destroyed before its turn comes. Any thread, while `context` surely lives (a JobRunner's job
// posts through its runner instead).
bool postToMain(const QObject* context, std::function<void()> fn);
// The same from a worker whose context may go while it runs (a JobQueue's job): `guard` was
// taken on the main thread, where the context lives and goes, so the worker never touches the
// context itself.
template <class T>
bool postToMain(QPointer<T> guard, std::function<void()> fn) {
    return postToMain([guard = std::move(guard), fn = std::move(fn)] {
        if (guard) {
            fn();
        }
    });
}

// Wakes every worker waiting in performOnMain and refuses later calls. Called at exit, before
// worker threads are joined.
void shutdownMainThreadCalls();
// Allows calls again (tests that create several applications in one process).
void resetMainThreadCalls();

bool isMainThread();

// Counts, per thread, the locks under which waiting for the main thread would deadlock (the
// device lock). performOnMain reports a call made while one is held.
void noteMainWaitForbidden(int delta);

}  // namespace nimbara
