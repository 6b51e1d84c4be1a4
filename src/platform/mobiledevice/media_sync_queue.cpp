#include "platform/mobiledevice/media_sync_queue.h"

namespace nimbara::md {

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

QueuedMediaSyncConnection::QueuedMediaSyncConnection(std::shared_ptr<MediaSyncChannel> channel)
    : channel_(std::move(channel)) {}

QueuedMediaSyncConnection::~QueuedMediaSyncConnection() {
    close();
}

std::optional<PlistValue> QueuedMediaSyncConnection::readMessage() {
    std::unique_lock<std::mutex> lock(channel_->mutex);
    channel_->wake.wait(lock, [&] { return channel_->closed || !channel_->messages.empty(); });
    if (channel_->closed) {
        return std::nullopt;
    }
    PlistValue message = std::move(channel_->messages.front());
    channel_->messages.pop_front();
    return message;
}

void QueuedMediaSyncConnection::close() {
    channel_->shut();
}

}  // namespace nimbara::md
