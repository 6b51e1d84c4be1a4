#include "platform/mobiledevice/sim/sim_media_sync.h"

namespace nimbara::md::sim {

void MediaSyncChannel::push(PlistValue message) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (closed) {
            return;
        }
        messages.push_back(std::move(message));
    }
    wake.notify_all();
}

void MediaSyncChannel::shut() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        messages.clear();
    }
    wake.notify_all();
}

SimMediaSyncConnection::SimMediaSyncConnection(std::shared_ptr<MediaSyncChannel> channel)
    : channel_(std::move(channel)) {}

SimMediaSyncConnection::~SimMediaSyncConnection() {
    close();
}

std::optional<PlistValue> SimMediaSyncConnection::readMessage() {
    std::unique_lock<std::mutex> lock(channel_->mutex);
    channel_->wake.wait(lock, [&] { return channel_->closed || !channel_->messages.empty(); });
    if (channel_->closed) {
        return std::nullopt;
    }
    PlistValue message = std::move(channel_->messages.front());
    channel_->messages.pop_front();
    return message;
}

void SimMediaSyncConnection::close() {
    channel_->shut();
}

}  // namespace nimbara::md::sim
