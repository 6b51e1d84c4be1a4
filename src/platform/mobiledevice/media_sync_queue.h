// Media-sync sessions whose messages a backend queues (the simulated device, and the stand-in
// of a real device that has no such session).
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md {

// The queue between the device (which pushes messages) and one session (which reads them).
struct MediaSyncChannel {
    void push(PlistValue message);
    // Ends every read, now and later (close() or a detach).
    void shut();

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<PlistValue> messages;
    bool closed = false;
};

class QueuedMediaSyncConnection : public MediaSyncConnection {
  public:
    explicit QueuedMediaSyncConnection(std::shared_ptr<MediaSyncChannel> channel);
    ~QueuedMediaSyncConnection() override;

    std::optional<PlistValue> readMessage() override;
    void close() override;

  private:
    std::shared_ptr<MediaSyncChannel> channel_;
};

}  // namespace nimbara::md
