// Hands steps of a worker thread to the GUI thread, waiting for each, in a way the GUI thread
// can always break: the owner of the worker calls cancel() before it joins it, so a worker that
// waits for the GUI thread wakes up at once, and a step that was queued but not yet run never
// runs. Without this a join on the GUI thread would wait for a worker that waits for the GUI
// thread.
//
// One object per worker run; cancel() and the queued steps run on the GUI thread, run() on the
// worker.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace nimbara::shell {

class GuiHandOff {
  public:
    GuiHandOff();

    // Runs `step` on the GUI thread and waits for it. Called on the GUI thread it runs the step
    // directly. False when the step did not run: after cancel(), or once the application no
    // longer runs main-thread calls.
    bool run(const std::function<void()>& step) const;

    // GUI thread: wakes a waiting worker and drops every step not yet run. Final.
    void cancel();
    bool cancelled() const;

  private:
    struct State {
        std::mutex mutex;
        std::condition_variable wake;
        bool cancelled = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace nimbara::shell
