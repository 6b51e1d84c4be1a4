#include "cleanup/clean_removal_queue.h"

#include <utility>

#include "cleanup/camera_roll.h"

namespace nimbara::cleanup {

CleanJobQueue::CleanJobQueue() = default;
CleanJobQueue::~CleanJobQueue() = default;

std::uint64_t CleanJobQueue::post(CleanDeviceTarget target, Job job) {
    return queue_.post(std::move(job), [target] { return target.stillAttached(); });
}

std::uint64_t CleanJobQueue::postRemoval(CleanDeviceTarget target, std::vector<CleanItem> plan,
                                         CleanRemovalEngine::ProgressSink progress,
                                         RemovalDone done) {
    auto shared = std::make_shared<std::vector<CleanItem>>(std::move(plan));
    const std::uint64_t generation = queue_.generation();
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
    const std::uint64_t generation = queue_.generation();
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
    queue_.reset();
}

bool CleanJobQueue::isCurrent(std::uint64_t generation) const {
    return queue_.isCurrent(generation);
}

std::uint64_t CleanJobQueue::generation() const {
    return queue_.generation();
}

bool CleanJobQueue::idle() const {
    return queue_.idle();
}

}  // namespace nimbara::cleanup
