// A connection to a started service of a real device, over libimobiledevice.
//
// The connection (TLS-wrapped when the service asks for it) is freed exactly once, when the last
// holder lets go. Every receive waits at most the connection's timeout, and sends time out as
// well (the socket's send timeout). shutDown() (called when the device detaches, from another
// thread) ends the socket at once, so a call blocked on it returns instead of waiting out its
// timeout; the connection is freed later, by its holders.
#pragma once

#include <libimobiledevice/libimobiledevice.h>

#include <libimobiledevice/lockdown.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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
    // A receive that waits at most `limit` (at most the connection's timeout).
    long receiveWithin(void* buffer, std::size_t length, std::chrono::milliseconds limit);
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

// The socket under a device's lockdown client. libimobiledevice waits half a minute for any
// lockdown answer, and as long again for the goodbye when the client is freed; a lockdown
// request bracketed by request() waits at most `timeout` instead, and cut() (when the device
// detaches, from any thread) ends the one in progress at once. Either ends the socket's reading
// side: the request blocked on it returns, and the client fails every later request at once,
// its goodbye included. The line holds a duplicate of the socket from attach() to release(), so
// that it never ends a socket number the library has closed and reused meanwhile. One watch
// thread per line, started by the first request and joined by the destructor.
class LockdownLine {
  public:
    explicit LockdownLine(std::chrono::milliseconds timeout);
    ~LockdownLine();
    LockdownLine(const LockdownLine&) = delete;
    LockdownLine& operator=(const LockdownLine&) = delete;

    // Watches the socket of a new client; ends it at once when the line was cut already.
    void attach(lockdownd_client_t client);
    // Lets the socket go (after its client was freed).
    void release();
    // Runs `call` with the limit armed: Ok, Timeout when the limit ended the socket, DeviceGone
    // when cut() did (then or before).
    int request(const std::function<void()>& call);
    // The socket was ended by the limit: the client is of no more use.
    bool broken() const;
    // The device went: ends the socket now and every later one when attached.
    void cut();

  private:
    void watch();
    void endLocked();

    const std::chrono::milliseconds timeout_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::thread watcher_;
    int fd_ = -1;  // our duplicate of the client's socket
    bool ended_ = false;
    bool timedOut_ = false;
    bool cut_ = false;
    bool stopping_ = false;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace nimbara::md::imd
