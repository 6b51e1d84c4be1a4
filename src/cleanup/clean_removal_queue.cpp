#include "cleanup/clean_removal_queue.h"

#include <utility>

#include "cleanup/camera_roll.h"
#include "platform/serial_worker.h"
#include "platform/worker_reaper.h"

namespace nimbara::cleanup {

CleanJobQueue::CleanJobQueue()
    : shared_(std::make_shared<Shared>()), worker_(std::make_shared<SerialWorker>()) {}

CleanJobQueue::~CleanJobQueue() {
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

std::uint64_t CleanJobQueue::post(CleanDeviceTarget target, Job job) {
    const std::uint64_t generation = shared_->generation.load();
    if (!job) {
        return generation;
    }
    worker_->post([shared = shared_, target, generation, job = std::move(job)] {
        const StopCheck stop = [shared, target, generation] {
            return shared->going.load() || shared->generation.load() != generation ||
                   !target.stillAttached();
        };
        if (shared->going.load() || shared->generation.load() != generation) {
            return;  // stale before its turn: the device is never touched
        }
        job(stop);
    });
    return generation;
}

std::uint64_t CleanJobQueue::postRemoval(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                         CleanRemovalEngine::ProgressSink progress,
                                         RemovalDone done) {
    auto shared = std::make_shared<std::vector<CleanItem>>(std::move(plan));
    const std::uint64_t generation = shared_->generation.load();
    post(target, [target, shared, generation, progress = std::move(progress),
                  done = std::move(done)](const StopCheck& stop) {
        CleanRemovalEngine engine(target, std::move(*shared), progress, stop);
        const CleanRemovalReport report = engine.run();
        if (done) {
            done(report, generation);
        }
    });
    return generation;
}

std::uint64_t CleanJobQueue::postExport(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                        std::filesystem::path folder, CleanExportLayout layout,
                                        CleanExportEngine::ProgressSink progress, ExportDone done) {
    auto shared = std::make_shared<std::vector<CleanItem>>(std::move(plan));
    const std::uint64_t generation = shared_->generation.load();
    post(target, [target, shared, generation, folder = std::move(folder), layout,
                  progress = std::move(progress), done = std::move(done)](const StopCheck& stop) {
        CleanExportEngine engine(target, std::move(*shared), folder, layout, progress, stop);
        const CleanExportReport report = engine.run();
        if (done) {
            done(report, generation);
        }
    });
    return generation;
}

void CleanJobQueue::reset() {
    shared_->generation.fetch_add(1);
}

bool CleanJobQueue::isCurrent(std::uint64_t generation) const {
    return !shared_->going.load() && shared_->generation.load() == generation;
}

std::uint64_t CleanJobQueue::generation() const {
    return shared_->generation.load();
}

bool CleanJobQueue::idle() const {
    return !worker_ || worker_->idle();
}

}  // namespace nimbara::cleanup
