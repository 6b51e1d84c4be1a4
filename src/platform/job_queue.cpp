#include "platform/job_queue.h"

#include <utility>

#include "platform/serial_worker.h"
#include "platform/worker_reaper.h"

namespace nimbara {

JobQueue::JobQueue()
    : shared_(std::make_shared<Shared>()), worker_(std::make_shared<SerialWorker>()) {}

JobQueue::~JobQueue() {
    shared_->going.store(true);
    shared_->generation.fetch_add(1);
    if (worker_->idle()) {
        return;  // its thread only waits for work: releasing it ends it at once
    }
    // The running job stops at its next check; its thread is joined once it has ended, away
    // from the thread that owned the queue.
    auto reaper = std::make_unique<WorkerReaper>();
    SerialWorker* running = worker_.get();
    reaper->retire(std::move(worker_), [running] { return running->idle(); });
    outliveOwner(std::move(reaper));
}

std::uint64_t JobQueue::post(Job job, Binding binding) {
    const std::uint64_t generation = shared_->generation.load();
    if (!job) {
        return generation;
    }
    if (!binding) {
        binding = [] { return true; };
    }
    worker_->post([shared = shared_, binding = std::move(binding), generation,
                   job = std::move(job)] {
        const auto stale = [&shared, generation] {
            return shared->going.load() || shared->generation.load() != generation;
        };
        if (stale() || !binding()) {
            return;  // stale before its turn: what it was for is never touched
        }
        const StopCheck stop = [shared, binding, generation] {
            return shared->going.load() || shared->generation.load() != generation || !binding();
        };
        job(stop);
    });
    return generation;
}

void JobQueue::reset() {
    shared_->generation.fetch_add(1);
}

bool JobQueue::isCurrent(std::uint64_t generation) const {
    return !shared_->going.load() && shared_->generation.load() == generation;
}

std::uint64_t JobQueue::generation() const {
    return shared_->generation.load();
}

bool JobQueue::idle() const {
    return worker_->idle();
}

}  // namespace nimbara
