// The usbmux side of the protocol-level device: a UNIX socket speaking the usbmux daemon's
// property-list protocol, with the simulated devices under a folder as the attached devices.
//
// Each accepted connection has a thread of its own. A connection asks for the device list,
// listens for attach and detach events, reads and saves pair records, or connects to a port of a
// device: port 62078 is lockdown (lockdown.h), other ports are the services lockdown started
// (device_services.h), each good for one connection. Once connected, the socket is that port's
// until either side closes it; a device that detaches closes every connection to it.
//
// The devices come from a SimulatedLibrary subscribed on the thread that calls start(), which
// must run a Qt event loop: a folder that appears under the devices folder is an attach, one that
// goes away a detach (seen within a second); a pair record saved for an attached device is a
// "Paired" event. Besides the daemon's messages, a connection may send
// "SimRescan" (look at the folder now), "SimAttach" and "SimDetach" (with "Path", a device
// folder); each is answered by a "Result" (0, or 2 when nothing was attached or detached) once
// the events it caused have gone out. "SimTlsHandshakes" is answered, once no handshake is under
// way, by a "Result" with "Handshakes": the TLS handshakes so far (tls_link.h). Attach and detach
// by path are meant for device folders outside the devices folder: one inside it follows its
// folder, and comes back at the next look when it is still there.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "pair_records.h"
#include "platform/mobiledevice/mobile_device.h"
#include "sim_profile.h"
#include "tls_link.h"

class QSocketNotifier;
class QTimer;

namespace nimbara::md::sim {
class SimulatedDevice;
class SimulatedLibrary;
}  // namespace nimbara::md::sim

namespace nimbara::usbmuxsim {

// Result numbers of the usbmux protocol.
namespace MuxResult {
constexpr int Ok = 0;
constexpr int BadCommand = 1;
constexpr int BadDevice = 2;
constexpr int ConnectionRefused = 3;
constexpr int BadVersion = 6;
}  // namespace MuxResult

inline constexpr std::uint16_t kLockdownPort = 62078;

struct ServerOptions {
    std::filesystem::path socketPath;
    std::filesystem::path devicesDir;
    std::filesystem::path pairRecordsDir;  // empty: pair records in memory only
    Profile profile = kNewestProfile;      // of devices without a "SimProfile" of their own
    bool verbose = false;
};

struct AttachedDevice {
    std::uint32_t id = 0;
    std::shared_ptr<md::sim::SimulatedDevice> device;
    std::string udid;
};

enum class ServiceKind {
    Afc,
    PlistRelay,
    InstallationProxy,
    HouseArrest,
    Mover,
    NotificationProxy,
    MobileBackup2
};

// A service lockdown started, waiting for its connection.
struct PendingService {
    std::uint32_t deviceId = 0;
    std::string name;
    ServiceKind kind = ServiceKind::Afc;
    std::unique_ptr<md::ServiceConnection> connection;  // null for house arrest and the mover
    bool tls = false;                 // the client speaks TLS on it from the start
    HandshakeLog::Pending handshake;  // that handshake, from the client's connection on
};

class UsbmuxServer {
  public:
    explicit UsbmuxServer(ServerOptions options);
    ~UsbmuxServer();
    UsbmuxServer(const UsbmuxServer&) = delete;
    UsbmuxServer& operator=(const UsbmuxServer&) = delete;

    // Binds the socket and subscribes to the devices. False (with the reason) when the socket
    // cannot be made; an existing socket file at the path is replaced, anything else is not.
    bool start(std::string* error);
    // Closes the socket and every connection, and waits for their threads. Also done by the
    // destructor.
    void stop();

    // For the connection handlers (any thread).
    std::optional<AttachedDevice> findDevice(std::uint32_t id) const;
    PairRecords& pairRecords() { return pairRecords_; }
    Profile profile() const { return options_.profile; }
    HandshakeLog& handshakes() { return handshakes_; }
    // Keeps a started service until its connection comes; its port.
    std::uint16_t addPendingService(PendingService service);
    std::optional<PendingService> takePendingService(std::uint32_t deviceId, std::uint16_t port);
    // The connection on `fd` is no longer closed when its device detaches.
    void keepPastDetach(int fd);
    // The device restarts, as one does after a restore: it detaches now (every connection to it
    // drops) and, its folder still there, attaches again at the next look at the devices folder
    // (within a second; "SimRescan" at once) with a new device number.
    void restartDevice(const AttachedDevice& device);
    bool verbose() const { return options_.verbose; }
    // One line on standard error when verbose.
    void log(const std::string& line) const;

  private:
    struct Connection;

    void acceptConnections();
    void reapConnections(bool all);
    void serveConnection(const std::shared_ptr<Connection>& connection);
    // Handles one usbmux request; false when the connection is done with the daemon's protocol
    // (it became a tunnel and ended, or failed).
    bool handleRequest(const std::shared_ptr<Connection>& connection, std::uint32_t tag,
                       const PlistValue& request);
    void listen(const std::shared_ptr<Connection>& connection, std::uint32_t tag);
    bool connectToPort(const std::shared_ptr<Connection>& connection, std::uint32_t tag,
                       const PlistValue& request);
    // Runs `work` on the main thread, then waits there until the events it caused went out.
    bool onMainThread(const std::function<void()>& work);
    void deviceEvent(int message, const md::DeviceHandle& handle);
    // Tells the listeners that a host saved its pair record for the device.
    void devicePaired(std::uint32_t id);
    void sendEventLocked(const PlistValue& event);
    PlistValue attachedMessage(const AttachedDevice& device) const;

    const ServerOptions options_;
    PairRecords pairRecords_;
    HandshakeLog handshakes_;
    int listenFd_ = -1;
    std::atomic<bool> stopping_{false};

    std::unique_ptr<md::sim::SimulatedLibrary> library_;
    std::unique_ptr<md::Subscription> subscription_;
    std::unique_ptr<QSocketNotifier> acceptNotifier_;
    std::unique_ptr<QTimer> reapTimer_;

    mutable std::mutex devicesMutex_;  // devices_, listeners_, nextDeviceId_
    std::vector<AttachedDevice> devices_;
    std::vector<std::weak_ptr<Connection>> listeners_;
    std::uint32_t nextDeviceId_ = 1;

    std::mutex connectionsMutex_;
    std::vector<std::shared_ptr<Connection>> connections_;

    std::mutex pendingMutex_;
    std::map<std::uint16_t, PendingService> pending_;
    std::uint16_t nextPort_ = 49152;
};

}  // namespace nimbara::usbmuxsim
