// One real device attached over USB, through libimobiledevice (lockdown, pairing, sessions and
// services) and the usbmuxd daemon.
//
// The trust check attaches the device as libimobiledevice does, through its handshake
// (lockdownd_client_new_with_handshake): that stores the device's iOS version in the device
// handle (so TLS follows it), pairs when there is no pair record, and starts a session. A session
// that starts is the proof of pairing: ValidatePair, which iOS 7 made needless and iOS 11
// removed, is never sent by us. Pairing again happens when the device says it no longer knows
// the pair record, or the daemon lost it: while the device is locked or its trust question shows
// it is asked again (by the library's next check, or the next session); a refusal stands until
// it is plugged in again.
//
// After that, connect() opens a lockdown connection of our own (LockdownWire, imd_lockdown.h)
// and startSession() a session on it; both nest (the first call opens, the last matching call
// closes). The device has one such connection at a time, shared by the brackets that follow each
// other: when the last bracket closes, the connection and its session stay open, and the next
// bracket within `sessionIdle` takes them up (the trust check's, which read what the attach
// needs, included), so services asked for together cost one session. A thread of the device's
// closes the connection once it has been idle that long (its goodbye ends the session); a detach
// ends it at once. Every request on it waits at most the device's timeout, and a detach ends the
// one in progress at once; a request that ran out costs the connection, so later calls fail (as
// timed out) until the bracket closed it and connect() opened a new one. A connection the device
// closed while it was idle, or a session it ended, is opened again by the bracket that finds it
// so. validatePairing() fails only after a refusal (the session start pairs again where needed),
// isPaired() answers from the last proof, pair() pairs only a device whose proof failed. Started
// services are channels (imd_connection.h) that fail at once after the device detached:
// markDetached() shuts every one still open. Values from the device pass through our
// property-list reader, like a file's.
#pragma once

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/lockdown.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/mobiledevice/imd/imd_connection.h"
#include "platform/mobiledevice/imd/imd_lockdown.h"
#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md {
struct MediaSyncChannel;
}

namespace nimbara::md::imd {

class Channel;

// What the library's watcher needs of a device beyond the Device interface (tests give their
// own).
class WatchedDevice : public Device {
  public:
    // Connects, checks (or makes) the pairing and opens a session once: 0 when the device can be
    // used, else why not (PasswordProtected, PairingPending, PairingRefused, ...). Runs on a
    // thread of the library's, while markDetached() may come from the watcher: after that
    // nothing waits for the check, which ends by itself.
    virtual int checkTrust() = 0;
    // The device went away: every call fails from now on and open connections end.
    virtual void markDetached() = 0;
    virtual void setWaitReason(int reason) = 0;
    // A media-sync stand-in (see ImdDevice), or null once the device went.
    virtual std::unique_ptr<MediaSyncConnection> openMediaSync() = 0;
    virtual const std::string& udid() const = 0;
};

// The storage metrics a device without a media-sync session can give: from its disk-usage
// domain, with what that domain doesn't tell marked with kMetricUnknown.
PlistValue assetMetricsFromDiskUsage(const PlistValue& diskUsage);

// A property list of the library as our value (through our reader, with its limits); nullopt
// when it can't be read.
std::optional<PlistValue> valueFromPlist(void* node);

class ImdDevice : public WatchedDevice, public std::enable_shared_from_this<ImdDevice> {
  public:
    struct Limits {
        // How long the device may take to answer any one request.
        std::chrono::milliseconds timeout{30000};
        // How long the values a trust check read (the global domain and the disk usage) serve
        // the reads of the attach (see recentValue() and openMediaSync()).
        std::chrono::milliseconds diskUsageFresh{10000};
        // How long the lockdown connection and session stay open, unused, for the next bracket.
        std::chrono::milliseconds sessionIdle{10000};
    };
    // Makes the device of a usbmuxd attachment; null when the library can't find it.
    static std::shared_ptr<ImdDevice> open(const std::string& udid, std::uint32_t muxHandle,
                                           std::uint64_t serial, const Limits& limits);
    ~ImdDevice() override;

    std::string identifier() const override;
    bool attached() const override;
    int waitReason() const override;

    int connect() override;
    int disconnect() override;
    int validatePairing() override;
    int pair() override;
    int isPaired() override;
    int startSession() override;
    int stopSession() override;
    int copyValue(const std::optional<std::string>& domain, const std::optional<std::string>& key,
                  PlistValue& value) override;
    // Within `diskUsageFresh` of a successful trust check, the global domain (whole or by key) and
    // the disk-usage domain (whole) as that check read them; NotKnown for anything else, or later.
    Recent recentValue(const std::optional<std::string>& domain,
                       const std::optional<std::string>& key, PlistValue& value) const override;
    int startService(const std::string& name,
                     std::unique_ptr<ServiceConnection>& connection) override;
    int startHouseArrestService(const std::string& bundleId,
                                std::unique_ptr<ServiceConnection>& connection) override;

    int checkTrust() override;
    void markDetached() override;
    void setWaitReason(int reason) override;
    // A session that reports "SyncAllowed" and the "AssetMetrics" of the disk-usage domain,
    // then waits for close() or the detach; null once the device went. When the disk usage can't
    // be read, every figure of the metrics is unknown (kMetricUnknown). Sessions within
    // `diskUsageFresh` of a successful trust check take the disk usage that check read (on the
    // library's check thread), so those opened while the attach is handled ask the device
    // nothing; later ones ask the device again.
    std::unique_ptr<MediaSyncConnection> openMediaSync() override;
    const std::string& udid() const override { return udid_; }

  protected:
    // Takes ownership of `device`.
    ImdDevice(idevice_t device, std::string udid, std::uint32_t muxHandle, std::uint64_t serial,
              const Limits& limits);

    // lockdownd_pair on a client of the library's (it makes and stores the pair record), within
    // the library's own time limit. (Tests stand in for a device whose answer comes too late.)
    virtual int pairWithLibrary();

  private:
    int checkLocked(bool needSession) const;
    // A lockdown request in the bracket's session. A session taken up from an earlier bracket
    // that the device ended meanwhile is started again on a new connection, once.
    int requestLocked(const char* name, const PlistValue& message, PlistValue& reply);
    // Keeps the connection (and its session) for the next bracket; the idle closer ends it.
    void parkLocked();
    // The idle closer's thread: closes the kept connection once it has been idle for
    // `sessionIdle_`, until the device object goes.
    void closeWhenIdle();
    // Asks lockdown on our own connection, within our limit, what the library's handshake asks
    // it (its ProductVersion): a device that doesn't answer says so here, and not from inside
    // the handshake, which waits it out for as long as the device keeps the connection.
    int preflight();
    // The library's handshake; its session proves the pairing. When the device says it doesn't
    // know our pair record, asks it to pair (askToPair()) and tries once more. On success
    // `session` is the library's client, its session still open, for the caller to free.
    int handshake(lockdownd_client_t& session);
    // Asks the device to pair, unless it refused on this attachment: Ok once it paired (a new
    // pair record is with the daemon), else why not.
    int askToPair();
    // Keeps what the device answered to a pairing: a yes, a question to ask again (locked, the
    // trust question showing, no answer) or a refusal that stands for this attachment.
    void notePairAnswer(int rc);
    // A session started: the pairing holds.
    void provedBySession();
    // Starts a lockdown service and connects to it. Needs a session.
    int openService(const std::string& name, std::shared_ptr<Channel>& channel);
    // Asks house arrest for an app's container ("VendContainer") or its documents
    // ("VendDocuments") on a house-arrest connection of its own.
    int vend(const char* command, const std::string& bundleId,
             std::unique_ptr<ServiceConnection>& connection);
    // Lets the crash-report mover move new reports into the copy area: true once it said
    // "ping" (done), false (with a warning) when it was refused, answered something else or
    // said nothing within the timeout. Costs one timeout at the most.
    bool runCrashMover();
    // Connect, pairing, session around `body`, as the device layer's bracket does.
    int inSession(const std::function<int()>& body);
    // The values the trust check read, while they are fresh.
    std::optional<PlistValue> checkedValues(const char* which) const;

    idevice_t device_;
    const std::string udid_;
    const std::uint32_t muxHandle_;
    const std::uint64_t serial_;
    const std::chrono::milliseconds timeout_;
    const std::chrono::milliseconds diskUsageFresh_;
    const std::chrono::milliseconds sessionIdle_;
    std::atomic<bool> detached_{false};
    std::atomic<int> waitReason_{Error::Ok};

    mutable std::mutex mutex_;
    LockdownWire wire_;
    int connectDepth_ = 0;
    int sessionDepth_ = 0;
    // The connection kept open for the next bracket, since when; and whether this bracket took
    // up a session an earlier one started (which the device may have ended meanwhile).
    bool parked_ = false;
    std::chrono::steady_clock::time_point parkedAt_;
    bool takenUp_ = false;
    std::condition_variable idleWake_;  // with mutex_
    bool ending_ = false;
    std::thread idleCloser_;  // started with the first kept connection, joined by the destructor
    std::atomic<bool> proven_{false};          // the last session, handshake or pairing proved it
    std::atomic<int> pairRefusal_{Error::Ok};  // the refusal that stands for this attachment

    // What the last successful trust check read: {"Global": the global domain, "DiskUsage": the
    // disk-usage domain}, either missing when it could not be read.
    mutable std::mutex checkedMutex_;
    PlistValue checked_;
    std::chrono::steady_clock::time_point checkedAt_;

    std::mutex openMutex_;  // the channels and media-sync sessions still open
    std::vector<std::weak_ptr<Channel>> channels_;
    std::vector<std::weak_ptr<MediaSyncChannel>> mediaSync_;
};

}  // namespace nimbara::md::imd
