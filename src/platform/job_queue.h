// The background queue of an owner: jobs run one after another on one thread the queue owns,
// each bound to what it was posted for (for a device job, that very device). A reset makes every
// job posted so far stale: one not started yet never runs, a running one is told to stop at its
// next check. Going away resets too, and the owner's thread never waits for the running job: it
// is handed to a reaper and ends on its own.
// post, reset and idle may be called from any thread; the queue is destroyed on the thread that
// made it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace nimbara {

class SerialWorker;

class JobQueue {
  public:
    // True once the job is stale, the queue is going, or its binding no longer holds.
    using StopCheck = std::function<bool()>;
    using Job = std::function<void(const StopCheck& stop)>;
    // What the job was posted for still holds; asked before it starts and by its stop check.
    using Binding = std::function<bool()>;

    JobQueue();
    ~JobQueue();
    JobQueue(const JobQueue&) = delete;
    JobQueue& operator=(const JobQueue&) = delete;

    // Queues `job`; the generation it belongs to. A job that is stale or unbound when its turn
    // comes is not run.
    std::uint64_t post(Job job, Binding binding = {});
    // Makes every job posted so far stale.
    void reset();
    bool isCurrent(std::uint64_t generation) const;
    std::uint64_t generation() const;
    // Nothing queued or running.
    bool idle() const;

  private:
    struct Shared {
        std::atomic<std::uint64_t> generation{1};
        std::atomic<bool> going{false};
    };
    std::shared_ptr<Shared> shared_;
    std::shared_ptr<SerialWorker> worker_;
};

}  // namespace nimbara
