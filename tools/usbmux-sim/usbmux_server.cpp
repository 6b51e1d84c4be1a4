#include "usbmux_server.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device_services.h"
#include "lockdown.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/sim/simulated_device.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "socket_io.h"

namespace fs = std::filesystem;

namespace nimbara::usbmuxsim {

namespace {

constexpr std::chrono::milliseconds kReapInterval{500};
constexpr std::uint16_t kFirstServicePort = 49152;
// Services started but never connected to are dropped past this many per server.
constexpr std::size_t kMaxPendingServices = 256;
// How long a look at the handshakes waits for those under way.
constexpr std::chrono::milliseconds kHandshakeWait{10000};

PlistValue result(int number) {
    PlistValue reply = PlistValue::dict();
    reply["MessageType"] = "Result";
    reply["Number"] = number;
    return reply;
}

}  // namespace

struct UsbmuxServer::Connection {
    explicit Connection(int f) : fd(f) {}
    const int fd;
    std::thread thread;
    std::atomic<bool> finished{false};
    std::atomic<std::uint32_t> deviceId{0};  // the device a tunnel leads to
    std::mutex writeMutex;  // answers of a listener versus events; guards closing fd
    bool closed = false;    // fd closed (its number may name another socket by now)
};

UsbmuxServer::UsbmuxServer(ServerOptions options)
    : options_(std::move(options)), pairRecords_(options_.pairRecordsDir) {}

UsbmuxServer::~UsbmuxServer() {
    stop();
}

void UsbmuxServer::log(const std::string& line) const {
    if (options_.verbose) {
        static const auto started = std::chrono::steady_clock::now();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started)
                            .count();
        std::fprintf(stderr, "usbmux-sim %6lld ms: %s\n", static_cast<long long>(ms), line.c_str());
    }
}

bool UsbmuxServer::start(std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        if (listenFd_ >= 0) {
            ::close(listenFd_);
            listenFd_ = -1;
        }
        return false;
    };
    const std::string path = options_.socketPath.string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        return fail("the socket path is empty or too long: " + path);
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) {
            return fail(path + " exists and is not a socket");
        }
        ::unlink(path.c_str());  // left by an earlier run
    }
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listenFd_ < 0) {
        return fail(std::string("socket: ") + std::strerror(errno));
    }
    if (::bind(listenFd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return fail("cannot bind " + path + ": " + std::strerror(errno));
    }
    if (::listen(listenFd_, 64) != 0) {
        ::unlink(path.c_str());
        return fail(std::string("listen: ") + std::strerror(errno));
    }

    library_ = std::make_unique<md::sim::SimulatedLibrary>(options_.devicesDir.string());
    library_->subscribe(
        [this](int message, const md::DeviceHandle& handle) { deviceEvent(message, handle); },
        subscription_);
    // The devices there now are attached before the server says it is ready.
    library_->rescan();

    acceptNotifier_ = std::make_unique<QSocketNotifier>(listenFd_, QSocketNotifier::Read);
    QObject::connect(acceptNotifier_.get(), &QSocketNotifier::activated,
                     [this] { acceptConnections(); });
    reapTimer_ = std::make_unique<QTimer>();
    QObject::connect(reapTimer_.get(), &QTimer::timeout, [this] { reapConnections(false); });
    reapTimer_->start(kReapInterval);
    log("listening on " + path);
    return true;
}

void UsbmuxServer::stop() {
    if (listenFd_ < 0 || stopping_.exchange(true)) {
        return;
    }
    // A connection thread waiting for the main thread is released now.
    shutdownMainThreadCalls();
    acceptNotifier_.reset();
    reapTimer_.reset();
    ::close(listenFd_);
    ::unlink(options_.socketPath.c_str());
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const auto& connection : connections_) {
            ::shutdown(connection->fd, SHUT_RDWR);
        }
    }
    reapConnections(true);
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        pending_.clear();
    }
    subscription_.reset();
    library_.reset();
    listenFd_ = -1;
}

void UsbmuxServer::acceptConnections() {
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            return;  // EAGAIN: no more for now
        }
        auto connection = std::make_shared<Connection>(fd);
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        connections_.push_back(connection);
        connection->thread = std::thread([this, connection] {
            serveConnection(connection);
            // The peer sees the end at once; the descriptor is closed when the thread is reaped.
            ::shutdown(connection->fd, SHUT_RDWR);
            connection->finished = true;
        });
    }
}

void UsbmuxServer::reapConnections(bool all) {
    std::vector<std::shared_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        std::erase_if(connections_, [&](const std::shared_ptr<Connection>& connection) {
            if (all || connection->finished) {
                done.push_back(connection);
                return true;
            }
            return false;
        });
    }
    for (const auto& connection : done) {
        if (connection->thread.joinable()) {
            connection->thread.join();
        }
        std::lock_guard<std::mutex> lock(connection->writeMutex);
        ::close(connection->fd);
        connection->closed = true;
    }
}

void UsbmuxServer::serveConnection(const std::shared_ptr<Connection>& connection) {
    while (!stopping_) {
        auto packet = readMuxPacket(connection->fd);
        if (!packet || packet->message != kMuxMessagePlist) {
            return;  // closed, malformed, or the binary protocol this server does not speak
        }
        auto request = PlistValue::parse(packet->payload.data(), packet->payload.size());
        if (!request || !request->isDict()) {
            return;
        }
        if (!handleRequest(connection, packet->tag, *request)) {
            return;
        }
    }
}

bool UsbmuxServer::handleRequest(const std::shared_ptr<Connection>& connection, std::uint32_t tag,
                                 const PlistValue& request) {
    const std::string& type = request["MessageType"].toString();
    log("usbmux request " + type);
    const int fd = connection->fd;
    if (type == "ListDevices") {
        PlistValue reply = PlistValue::dict();
        PlistValue& list = reply["DeviceList"];
        list = PlistValue::array();
        {
            std::lock_guard<std::mutex> lock(devicesMutex_);
            for (const auto& device : devices_) {
                list.append(attachedMessage(device));
            }
        }
        return writeMuxPlist(fd, tag, reply);
    }
    if (type == "Listen") {
        listen(connection, tag);
        return true;
    }
    if (type == "Connect") {
        return connectToPort(connection, tag, request);
    }
    if (type == "ReadBUID") {
        PlistValue reply = PlistValue::dict();
        reply["BUID"] = pairRecords_.systemBuid();
        return writeMuxPlist(fd, tag, reply);
    }
    const std::string& recordId = request["PairRecordID"].toString();
    if (type == "ReadPairRecord") {
        auto record = pairRecords_.read(recordId);
        if (!record) {
            return writeMuxPlist(fd, tag, result(ENOENT));
        }
        PlistValue reply = PlistValue::dict();
        reply["PairRecordData"] = PlistValue(std::move(*record));
        return writeMuxPlist(fd, tag, reply);
    }
    if (type == "SavePairRecord") {
        const bool saved = pairRecords_.save(recordId, request["PairRecordData"].toData());
        if (saved && request["DeviceID"].isInteger()) {
            devicePaired(static_cast<std::uint32_t>(request["DeviceID"].toInt64()));
        }
        return writeMuxPlist(fd, tag, result(saved ? MuxResult::Ok : EINVAL));
    }
    if (type == "DeletePairRecord") {
        return writeMuxPlist(fd, tag,
                             result(pairRecords_.remove(recordId) ? MuxResult::Ok : ENOENT));
    }
    if (type == "SimRescan") {
        const bool done = onMainThread([this] { library_->rescan(); });
        return writeMuxPlist(fd, tag, result(done ? MuxResult::Ok : MuxResult::BadCommand));
    }
    if (type == "SimAttach" || type == "SimDetach") {
        const std::string& path = request["Path"].toString();
        bool changed = false;
        const bool done = !path.empty() && onMainThread([&] {
            changed =
                type == "SimAttach" ? library_->attach(path) != nullptr : library_->detach(path);
        });
        return writeMuxPlist(fd, tag,
                             result(done && changed ? MuxResult::Ok : MuxResult::BadDevice));
    }
    if (type == "SimTlsHandshakes") {
        PlistValue reply = result(MuxResult::Ok);
        reply["Handshakes"] = handshakes_.records(kHandshakeWait);
        return writeMuxPlist(fd, tag, reply);
    }
    return writeMuxPlist(fd, tag, result(MuxResult::BadCommand));
}

void UsbmuxServer::listen(const std::shared_ptr<Connection>& connection, std::uint32_t tag) {
    // Under the device lock: no event is missed or told twice between the list and the events.
    std::lock_guard<std::mutex> lock(devicesMutex_);
    std::lock_guard<std::mutex> writeLock(connection->writeMutex);
    if (!writeMuxPlist(connection->fd, tag, result(MuxResult::Ok))) {
        return;
    }
    for (const auto& device : devices_) {
        writeMuxPlist(connection->fd, 0, attachedMessage(device));
    }
    listeners_.push_back(connection);
}

bool UsbmuxServer::connectToPort(const std::shared_ptr<Connection>& connection, std::uint32_t tag,
                                 const PlistValue& request) {
    const auto id = static_cast<std::uint32_t>(request["DeviceID"].toInt64());
    // The port travels in network byte order.
    const auto raw = static_cast<std::uint16_t>(request["PortNumber"].toInt64());
    const auto port = static_cast<std::uint16_t>((raw >> 8) | (raw << 8));
    const int fd = connection->fd;
    auto device = findDevice(id);
    if (!device) {
        return writeMuxPlist(fd, tag, result(MuxResult::BadDevice));
    }
    // The tunnel belongs to the device from now on, so that its detach closes it.
    auto claim = [&] {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        for (const auto& attached : devices_) {
            if (attached.id == id) {
                connection->deviceId = id;
                return true;
            }
        }
        return false;
    };
    if (port == kLockdownPort) {
        if (int rc = device->device->connect()) {
            log("lockdown connection to device " + std::to_string(id) + " refused (" +
                std::to_string(rc) + ")");
            return writeMuxPlist(fd, tag, result(MuxResult::ConnectionRefused));
        }
        if (!claim() || !writeMuxPlist(fd, tag, result(MuxResult::Ok))) {
            device->device->disconnect();
            return false;
        }
        LockdownSession(*this, fd, *device).run();
        return false;
    }
    auto service = takePendingService(id, port);
    if (!service) {
        return writeMuxPlist(fd, tag, result(MuxResult::ConnectionRefused));
    }
    // A TLS service's handshake is under way from the moment the client may start it.
    if (service->tls) {
        service->handshake = handshakes_.begin(service->name);
    }
    if (!claim() || !writeMuxPlist(fd, tag, result(MuxResult::Ok))) {
        return false;
    }
    serveService(*this, fd, std::move(*service), *device);
    return false;
}

bool UsbmuxServer::onMainThread(const std::function<void()>& work) {
    // The library delivers the events of work done on the subscriber's thread at once.
    return performOnMain(work);
}

void UsbmuxServer::restartDevice(const AttachedDevice& device) {
    const std::string dir = device.device->dir().string();
    log("restarting device " + std::to_string(device.id));
    onMainThread([this, &dir] { library_->detach(dir); });
}

void UsbmuxServer::keepPastDetach(int fd) {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    for (const auto& connection : connections_) {
        if (connection->fd == fd) {  // listed connections are open: the number is theirs
            connection->deviceId = 0;
        }
    }
}

std::optional<AttachedDevice> UsbmuxServer::findDevice(std::uint32_t id) const {
    std::lock_guard<std::mutex> lock(devicesMutex_);
    for (const auto& device : devices_) {
        if (device.id == id) {
            return device;
        }
    }
    return std::nullopt;
}

std::uint16_t UsbmuxServer::addPendingService(PendingService service) {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    if (pending_.size() >= kMaxPendingServices) {
        pending_.erase(pending_.begin());
    }
    std::uint16_t port = nextPort_;
    while (pending_.count(port) || port == kLockdownPort || port < kFirstServicePort) {
        port = port == 65535 ? kFirstServicePort : static_cast<std::uint16_t>(port + 1);
    }
    nextPort_ = port == 65535 ? kFirstServicePort : static_cast<std::uint16_t>(port + 1);
    pending_[port] = std::move(service);
    return port;
}

std::optional<PendingService> UsbmuxServer::takePendingService(std::uint32_t deviceId,
                                                               std::uint16_t port) {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    auto it = pending_.find(port);
    if (it == pending_.end() || it->second.deviceId != deviceId) {
        return std::nullopt;
    }
    PendingService service = std::move(it->second);
    pending_.erase(it);
    return service;
}

PlistValue UsbmuxServer::attachedMessage(const AttachedDevice& device) const {
    PlistValue properties = PlistValue::dict();
    properties["ConnectionSpeed"] = 480000000;
    properties["ConnectionType"] = "USB";
    properties["DeviceID"] = static_cast<std::int64_t>(device.id);
    properties["LocationID"] = static_cast<std::int64_t>(0x01100000 + device.id);
    properties["ProductID"] = 0x12a8;
    properties["SerialNumber"] = device.udid;
    properties["USBSerialNumber"] = device.udid;
    PlistValue message = PlistValue::dict();
    message["MessageType"] = "Attached";
    message["DeviceID"] = static_cast<std::int64_t>(device.id);
    message["Properties"] = std::move(properties);
    return message;
}

void UsbmuxServer::sendEventLocked(const PlistValue& event) {
    const auto packet = encodeMuxPlist(0, event);
    std::erase_if(listeners_, [&](const std::weak_ptr<Connection>& weak) {
        auto listener = weak.lock();
        if (!listener) {
            return true;
        }
        // Never waits on a listener that does not read: it is dropped instead.
        std::lock_guard<std::mutex> lock(listener->writeMutex);
        if (listener->closed || listener->finished) {
            return true;
        }
        std::size_t done = 0;
        while (done < packet.size()) {
            const ssize_t n = ::send(listener->fd, packet.data() + done, packet.size() - done,
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n <= 0 && errno != EINTR) {
                ::shutdown(listener->fd, SHUT_RDWR);
                return true;
            }
            done += n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        return false;
    });
}

void UsbmuxServer::devicePaired(std::uint32_t id) {
    std::lock_guard<std::mutex> lock(devicesMutex_);
    for (const auto& device : devices_) {
        if (device.id == id) {
            PlistValue event = PlistValue::dict();
            event["MessageType"] = "Paired";
            event["DeviceID"] = static_cast<std::int64_t>(id);
            sendEventLocked(event);
            return;
        }
    }
}

void UsbmuxServer::deviceEvent(int message, const md::DeviceHandle& handle) {
    if (message == md::kMessageAttached) {
        auto device = std::dynamic_pointer_cast<md::sim::SimulatedDevice>(handle);
        if (!device) {
            return;
        }
        std::lock_guard<std::mutex> lock(devicesMutex_);
        AttachedDevice attached{nextDeviceId_++, device, device->udid()};
        devices_.push_back(attached);
        sendEventLocked(attachedMessage(attached));
        log("attached device " + std::to_string(attached.id) + " " + attached.udid);
        return;
    }
    std::uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(devicesMutex_);
        auto it = std::find_if(devices_.begin(), devices_.end(), [&](const AttachedDevice& d) {
            return d.device.get() == handle.get();
        });
        if (it == devices_.end()) {
            return;
        }
        id = it->id;
        devices_.erase(it);
        PlistValue event = PlistValue::dict();
        event["MessageType"] = "Detached";
        event["DeviceID"] = static_cast<std::int64_t>(id);
        sendEventLocked(event);
    }
    log("detached device " + std::to_string(id));
    {
        // A device that goes away drops every connection to it.
        std::lock_guard<std::mutex> lock(connectionsMutex_);
        for (const auto& connection : connections_) {
            if (connection->deviceId == id) {
                ::shutdown(connection->fd, SHUT_RDWR);
            }
        }
    }
    std::lock_guard<std::mutex> lock(pendingMutex_);
    std::erase_if(pending_, [&](const auto& item) { return item.second.deviceId == id; });
}

}  // namespace nimbara::usbmuxsim
