// Started services of a simulated device: AFC areas and property-list peers.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/sim_area.h"

namespace nimbara::md::sim {

class SimulatedDevice;

// An AFC service: no property-list traffic, openAfc() gives a client over `area`.
class SimAfcService : public ServiceConnection {
  public:
    SimAfcService(std::shared_ptr<SimulatedDevice> device, Area area);
    ~SimAfcService() override;

    long send(const void* data, std::size_t length) override;
    long receive(void* buffer, std::size_t length) override;
    int openAfc(std::unique_ptr<AfcConnection>& afc) override;
    void close() override;

  private:
    std::mutex mutex_;
    std::shared_ptr<SimulatedDevice> device_;
    const Area area_;
    bool closed_ = false;
};

// The device side of a property-list service: answers one request with its replies.
class PlistHandler {
  public:
    virtual ~PlistHandler() = default;
    virtual void handle(const PlistValue& request, std::vector<PlistValue>& replies) = 0;
};

// A property-list peer. Requests arrive through send() as length-prefixed frames; each whole
// frame is answered at once, and the reply frames wait for receive(). receive() hands them out
// in pieces (the 4-byte length alone, then the body in chunks of at most kReplyChunk bytes) and
// returns 0 when nothing is queued: an idle peer reads as a closed one, so nobody waits forever.
class SimPlistService : public ServiceConnection {
  public:
    enum class ReplyMode {
        Normal,
        Short,   // the first reply stops mid-body, then the peer is closed
        Closed,  // the peer closes instead of replying
    };
    static constexpr std::size_t kReplyChunk = 1000;

    SimPlistService(std::shared_ptr<SimulatedDevice> device, std::unique_ptr<PlistHandler> handler,
                    ReplyMode mode);
    ~SimPlistService() override;

    long send(const void* data, std::size_t length) override;
    long receive(void* buffer, std::size_t length) override;
    int openAfc(std::unique_ptr<AfcConnection>& afc) override;
    void close() override;

  private:
    // Handles every whole frame in the inbox. Needs mutex_.
    void processInboxLocked();
    void queueReplyLocked(const PlistValue& reply);

    std::mutex mutex_;
    std::shared_ptr<SimulatedDevice> device_;
    std::unique_ptr<PlistHandler> handler_;
    const ReplyMode mode_;
    std::vector<std::uint8_t> inbox_;
    std::deque<std::vector<std::uint8_t>> pieces_;
    std::size_t pieceOffset_ = 0;
    bool closed_ = false;      // closed by the caller
    bool peerClosed_ = false;  // closed by the device side
};

}  // namespace nimbara::md::sim
