// Takes workers that were asked to stop and lets them end on their own: the thread that owns the
// reaper (the GUI thread) never waits for one. A timer looks at the retired workers every few
// milliseconds and releases each that has ended, so its join returns at once. What is still
// running when the reaper goes is waited for then, which is at exit only.
#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace nimbara {

class WorkerReaper : public QObject {
  public:
    explicit WorkerReaper(QObject* parent = nullptr);
    ~WorkerReaper() override;
    WorkerReaper(const WorkerReaper&) = delete;
    WorkerReaper& operator=(const WorkerReaper&) = delete;

    // Keeps `worker` until `ended` says releasing it no longer waits, then drops it (its last
    // owner's destructor joins). The worker must already have been asked to stop.
    void retire(std::shared_ptr<void> worker, std::function<bool()> ended);
    // A thread whose body sets `done` as its very last step.
    void retire(std::thread thread, std::shared_ptr<std::atomic<bool>> done);

    // Releases the workers that have ended (the timer calls this).
    void reap();
    // Releases every worker, waiting for those still running: at exit only.
    void releaseAll();
    // Workers not yet released.
    std::size_t pending() const { return retired_.size(); }

  private:
    struct Retired {
        std::shared_ptr<void> worker;
        std::function<bool()> ended;
    };
    std::vector<Retired> retired_;
    QTimer timer_;
};

// For the owner of a reaper that goes before the application does: a reaper whose workers have
// all ended is released at once; otherwise it goes on under the application until they have (at
// exit at the latest) and then releases itself. Nothing here waits.
void outliveOwner(std::unique_ptr<WorkerReaper> reaper);

// Waits for every worker handed to the application by outliveOwner (or by a reaper made its
// child). At exit only, after main-thread calls were shut down: what a job still touches (the
// device library, the scratch folder) goes after this.
void waitForRetiredWorkers();

}  // namespace nimbara
