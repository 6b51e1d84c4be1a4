// Media-sync sessions of a simulated device.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::sim {

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

class SimMediaSyncConnection : public MediaSyncConnection {
  public:
    explicit SimMediaSyncConnection(std::shared_ptr<MediaSyncChannel> channel);
    ~SimMediaSyncConnection() override;

    std::optional<PlistValue> readMessage() override;
    void close() override;

  private:
    std::shared_ptr<MediaSyncChannel> channel_;
};

}  // namespace nimbara::md::sim
