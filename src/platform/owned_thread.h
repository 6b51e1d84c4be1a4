// A thread that lives exactly as long as its owner: for a worker that uses its owner's members
// (a connection reader). stop() and the destructor tell the body to stop and join it, so the
// owner must first wake a body blocked on something (close the connection it reads from) for
// the join to return at once. Unlike JobRunner it may be started and stopped on any thread, but
// never stopped from its own body.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <system_error>
#include <thread>

namespace nimbara {

class OwnedThread {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now
    using Body = std::function<void(const StopCheck& stop)>;

    OwnedThread() = default;
    // stop().
    ~OwnedThread();
    OwnedThread(const OwnedThread&) = delete;
    OwnedThread& operator=(const OwnedThread&) = delete;

    // Runs `body` on a new thread. An error, and nothing started, when one was started and not
    // stopped yet or no thread could be made.
    std::error_code start(Body body);
    // Tells the body to stop and joins it; nothing when none was started. Later start() calls
    // may start another.
    void stop();
    // Started and not stopped yet (the body may have returned).
    bool started() const { return thread_.joinable(); }

  private:
    std::shared_ptr<std::atomic<bool>> stop_;
    std::thread thread_;
};

}  // namespace nimbara
