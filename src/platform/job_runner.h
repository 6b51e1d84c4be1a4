// The one background job of an owner at a time. The job's body runs on a thread the runner owns;
// what the body posts runs on the GUI thread, in order, and only while that job is still the
// runner's current one: once it was stopped (a device change resets the owner), replaced, its
// binding no longer holds, or the runner is gone, whatever it still posts is dropped. The GUI
// thread never waits for a job: a stopped one is handed to a reaper and ends on its own.
// GUI thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace nimbara {

class WorkerReaper;

class JobRunner {
  public:
    using StopCheck = std::function<bool()>;                  // true: stop now
    using Post = std::function<void(std::function<void()>)>;  // a step for the GUI thread
    using Body = std::function<void(const StopCheck& stop, const Post& post)>;
    // What the job was started for still holds (for a device job: that very device is still
    // attached). Asked by the job's stop check and before each posted step; any thread.
    using Binding = std::function<bool()>;

    JobRunner();
    // Stops the current job; its thread ends on its own.
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // A job runs (started and neither finished nor stopped).
    bool busy() const { return job_ != nullptr; }
    // Starts `body` on a new thread; false (and nothing started) while a job runs.
    bool start(Body body, Binding binding = {});
    // Stops the running job, if any, and starts `body` in its place.
    void replace(Body body, Binding binding = {});
    // From the job's last posted step: the job is over.
    void finish();
    // Stops the current job and discards what it still posts.
    void stop();
    // Threads stopped or finished that have not ended yet.
    std::size_t ending() const;

  private:
    struct Job;
    void retire();

    std::shared_ptr<Job> job_;
    std::shared_ptr<JobRunner*> self_;  // what posted steps check the runner by
    std::unique_ptr<WorkerReaper> reaper_;
};

}  // namespace nimbara
