// A connection to a started service of a real device, over libimobiledevice.
//
// The connection (TLS-wrapped when the service asks for it) is freed exactly once, when the last
// holder lets go. Every receive waits at most the connection's timeout, and sends time out as
// well (the socket's send timeout). shutDown() (called when the device detaches, from another
// thread) ends the socket at once, so a call blocked on it returns instead of waiting out its
// timeout; the connection is freed later, by its holders.
#pragma once

#include <libimobiledevice/libimobiledevice.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>

#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::imd {

class AfcWire;

class Channel : public ServiceConnection, public std::enable_shared_from_this<Channel> {
  public:
    // Takes ownership of `connection`.
    Channel(idevice_connection_t connection, std::chrono::milliseconds timeout);
    ~Channel() override;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    long send(const void* data, std::size_t length) override;
    long receive(void* buffer, std::size_t length) override;
    // An AFC client over this connection. Clients opened on one connection share its requests
    // and replies, one request at a time.
    int openAfc(std::unique_ptr<AfcConnection>& afc) override;
    void close() override;

    // Ends the socket (see above). Safe from any thread, any number of times.
    void shutDown();
    bool isShut() const { return shut_.load(); }

  private:
    idevice_connection_t connection_;
    int fd_ = -1;
    const std::chrono::milliseconds timeout_;
    std::atomic<bool> shut_{false};
    std::mutex afcMutex_;
    std::weak_ptr<AfcWire> afcWire_;  // held by the clients; the wire holds this channel
};

// What a caller of startService() holds: the channel, shared with an AFC client made from it.
class ImdService : public ServiceConnection {
  public:
    explicit ImdService(std::shared_ptr<Channel> channel) : channel_(std::move(channel)) {}
    ~ImdService() override { channel_->close(); }

    long send(const void* data, std::size_t length) override {
        return channel_->send(data, length);
    }
    long receive(void* buffer, std::size_t length) override {
        return channel_->receive(buffer, length);
    }
    int openAfc(std::unique_ptr<AfcConnection>& afc) override { return channel_->openAfc(afc); }
    void close() override { channel_->close(); }

  private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace nimbara::md::imd
