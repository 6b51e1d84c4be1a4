#include "platform/owned_thread.h"

#include <utility>

namespace nimbara {

OwnedThread::~OwnedThread() {
    stop();
}

std::error_code OwnedThread::start(Body body) {
    if (thread_.joinable()) {
        return std::make_error_code(std::errc::operation_in_progress);
    }
    auto stop = std::make_shared<std::atomic<bool>>(false);
    try {
        thread_ =
            std::thread([stop, body = std::move(body)] { body([stop] { return stop->load(); }); });
    } catch (const std::system_error& e) {
        return e.code() ? e.code()
                        : std::make_error_code(std::errc::resource_unavailable_try_again);
    }
    stop_ = std::move(stop);
    return {};
}

void OwnedThread::stop() {
    if (stop_) {
        stop_->store(true);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    stop_.reset();
}

}  // namespace nimbara
