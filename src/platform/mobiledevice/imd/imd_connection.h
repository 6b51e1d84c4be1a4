// A connection to a real device (a started service, or our own lockdown connection), over
// libimobiledevice.
//
// The connection (TLS-wrapped when the service asks for it) is freed exactly once, when the last
// holder lets go, so never while a send or receive runs on it. Every receive waits at most the
// connection's timeout, and sends time out as well (the socket's send timeout). shutDown()
// (called when the device detaches, from another thread) ends the socket at once, so a call
// blocked on it returns instead of waiting out its timeout. The free follows what happened: a
// connection still whole says its TLS goodbye (close_notify) before the socket closes; one whose
// socket was shut drops its TLS state without writing to it.
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
    // A receive that waits at most `limit` (at most the connection's timeout).
    long receiveWithin(void* buffer, std::size_t length, std::chrono::milliseconds limit);
    // An AFC client over this connection. Clients opened on one connection share its requests
    // and replies, one request at a time.
    int openAfc(std::unique_ptr<AfcConnection>& afc) override;
    // No more sends or receives; one running on another thread ends at once (the socket is shut
    // for it). The connection itself is freed by the last holder.
    void close() override;

    // TLS on this connection (as the peer asked), with the TLS versions libimobiledevice allows
    // for the device's iOS version; and off again, saying goodbye in TLS. From the thread that
    // uses the connection, between its sends and receives.
    bool enableTls();
    void disableTls();

    // Ends the socket (see above). Safe from any thread, any number of times.
    void shutDown();
    bool isShut() const { return shut_.load(); }
    // Nothing to read and no hang-up from the peer, right now (true when that can't be told).
    bool quiet() const;
    bool timedOut() const override { return timedOut_.load(); }

  private:
    // Counts a send or receive in progress, for close().
    struct InFlight;

    idevice_connection_t connection_;
    int fd_ = -1;
    const std::chrono::milliseconds timeout_;
    std::atomic<bool> shut_{false};
    std::atomic<bool> closed_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<bool> timedOut_{false};  // the last receive waited its limit out
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
    bool timedOut() const override { return channel_->timedOut(); }

  private:
    std::shared_ptr<Channel> channel_;
};

}  // namespace nimbara::md::imd
