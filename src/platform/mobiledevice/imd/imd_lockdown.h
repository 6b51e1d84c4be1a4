// Our own lockdown connection to a real device: idevice_connect() to lockdown's port, our own
// framing (a 4-byte big-endian length, then an XML property list), and the session as the
// library makes it (StartSession with the pair record's HostID and SystemBUID, TLS when the
// device answers EnableSessionSSL, off again after StopSession). Owning the connection is what
// bounds its requests: each one (its answer included) waits at most the timeout, after which the
// connection is lost (every later request fails at once, until close() and open() make a new
// one), and cut() (when the device detaches, from any thread) ends the one in progress at once.
// TLS follows the iOS version the library's handshake stored in the device handle.
//
// One owner thread at a time calls everything but cut() (the device's lock serialises them).
#pragma once

#include <libimobiledevice/libimobiledevice.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/mobiledevice/imd/imd_connection.h"
#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::imd {

// The parts of this computer's pair record for a device that a session needs.
struct PairIdentity {
    std::string hostId;
    std::string systemBuid;
};

// From usbmuxd; nullopt when there is no pair record (or it names no HostID).
std::optional<PairIdentity> readPairIdentity(const std::string& udid);

class LockdownWire {
  public:
    LockdownWire(idevice_t device, std::string udid, std::chrono::milliseconds timeout);
    ~LockdownWire();
    LockdownWire(const LockdownWire&) = delete;
    LockdownWire& operator=(const LockdownWire&) = delete;

    int open();
    // Sends `message` (as request "Request", with our label) and reads its answer into `reply`:
    // Ok, the device's "Error" as a code, Timeout (the connection is lost), DeviceGone after
    // cut().
    int request(const char* name, PlistValue message, PlistValue& reply);
    // A session: Ok with TLS on when the device asked for it (at once when one is still open on
    // the connection); InvalidPairing when there is no pair record.
    int startSession();
    int stopSession();
    bool inSession() const { return !sessionId_.empty(); }
    // The HostID the session started with (empty without one).
    const std::string& sessionHostId() const { return sessionHostId_; }
    // Says goodbye (when the connection is whole), which ends a session still open, and closes
    // it without waiting for the answer. Returns the closed connection for its caller to free:
    // freeing a TLS one ends TLS, which waits (up to the timeout) for a silent device's answer.
    std::shared_ptr<Channel> close();
    bool isOpen() const;
    // Open, whole and quiet (the device neither closed it nor sent anything unasked): fit to be
    // taken up by the next bracket.
    bool reusable() const;
    // A request ran out of time: the connection is of no more use.
    bool broken() const { return broken_; }
    // The device went: ends the request in progress, and every later one fails.
    void cut();

  private:
    int failed();
    // Sends `message` as request `name` on the connection (`channel`), waiting for nothing.
    int send(const char* name, PlistValue message, std::shared_ptr<Channel>& channel);

    idevice_t device_;
    const std::string udid_;
    const std::chrono::milliseconds timeout_;
    mutable std::mutex mutex_;  // channel_ and cut_, for cut()
    std::shared_ptr<Channel> channel_;
    bool cut_ = false;
    bool broken_ = false;
    bool tls_ = false;
    std::string sessionId_;
    std::string sessionHostId_;
};

}  // namespace nimbara::md::imd
