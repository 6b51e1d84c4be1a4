#include "app/core/gui_hand_off.h"

#include "platform/main_thread.h"

namespace nimbara::shell {

GuiHandOff::GuiHandOff() : state_(std::make_shared<State>()) {}

bool GuiHandOff::run(const std::function<void()>& step) const {
    if (isMainThread()) {
        if (cancelled()) {
            return false;
        }
        step();
        return true;
    }
    struct Call {
        bool done = false;
    };
    auto call = std::make_shared<Call>();
    std::shared_ptr<State> state = state_;
    const bool queued = postToMain([state, call, step] {
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->cancelled) {
                return;
            }
        }
        // cancel() runs on this same thread, so it can't happen while the step runs.
        step();
        std::lock_guard<std::mutex> lock(state->mutex);
        call->done = true;
        state->wake.notify_all();
    });
    if (!queued) {
        return false;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    state->wake.wait(lock, [&] { return call->done || state->cancelled; });
    return call->done;
}

void GuiHandOff::cancel() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->cancelled = true;
    state_->wake.notify_all();
}

bool GuiHandOff::cancelled() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->cancelled;
}

}  // namespace nimbara::shell
