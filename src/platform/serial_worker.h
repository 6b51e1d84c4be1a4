// One owned worker thread that runs queued jobs one after the other, for short device calls that
// must not run on the GUI thread. post() never waits. The destructor drops the jobs not yet
// started and waits for the one running, so no job outlives its owner.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace nimbara {

class SerialWorker {
  public:
    SerialWorker() = default;
    ~SerialWorker();
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;

    // Queues `job`; the thread starts with the first job. Ignored once stopping.
    void post(std::function<void()> job);
    // No job is queued or running.
    bool idle() const;

  private:
    void loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;  // a job is running
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace nimbara
