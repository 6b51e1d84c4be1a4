// The clean-up page's one worker for removals and exports: jobs run one after the other on one
// owned thread, each bound to its device. The page posts a job from the GUI thread with the plan
// it took there; post() never waits. Results come back through the job's own callbacks, on the
// worker thread: the page hands them to the GUI thread and, there, drops them unless
// isCurrent(generation) still holds.
//
// reset() (a device change, the page's reset) makes every job posted so far stale: the running
// one stops at its next check and the queued ones end without touching the device. Destroying
// the queue does the same and never waits: a job still running ends on its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "cleanup/clean_export.h"
#include "cleanup/clean_removal.h"
#include "platform/job_queue.h"

namespace nimbara::cleanup {

class CleanJobQueue {
  public:
    // The job's stop check: true once the job is stale, the queue is going, or the job's device
    // is no longer attached (the device with that index AND serial).
    using StopCheck = std::function<bool()>;
    using Job = std::function<void(const StopCheck& stop)>;

    CleanJobQueue();
    ~CleanJobQueue();
    CleanJobQueue(const CleanJobQueue&) = delete;
    CleanJobQueue& operator=(const CleanJobQueue&) = delete;

    // Queues `job` for `target`; the generation it belongs to. A job that is stale when its turn
    // comes is not run.
    std::uint64_t post(CleanDeviceTarget target, Job job);

    // A removal plan: `done` gets the report (always, also when the run stopped early; not for
    // a job that was stale before it started). Both callbacks run on the worker.
    using RemovalDone = std::function<void(const CleanRemovalReport&, std::uint64_t generation)>;
    std::uint64_t postRemoval(CleanDeviceTarget target, std::vector<CleanItem> plan,
                              CleanRemovalEngine::ProgressSink progress, RemovalDone done);

    // An export plan into `folder` (see clean_export.h); as postRemoval.
    using ExportDone = std::function<void(const CleanExportReport&, std::uint64_t generation)>;
    std::uint64_t postExport(CleanDeviceTarget target, std::vector<CleanItem> plan,
                             std::filesystem::path folder, CleanExportLayout layout,
                             CleanExportEngine::ProgressSink progress, ExportDone done);

    // Makes every job posted so far stale.
    void reset();
    bool isCurrent(std::uint64_t generation) const;
    std::uint64_t generation() const;
    // Nothing queued or running.
    bool idle() const;

  private:
    JobQueue queue_;
};

}  // namespace nimbara::cleanup
