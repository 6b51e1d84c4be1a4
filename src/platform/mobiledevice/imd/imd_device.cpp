#include "platform/mobiledevice/imd/imd_device.h"

#include <QDebug>

#include <libimobiledevice/lockdown.h>
#include <plist/plist.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/device_path.h"
#include "platform/log_categories.h"
#include "platform/mobiledevice/imd/imd_connection.h"
#include "platform/mobiledevice/imd/imd_errors.h"
#include "platform/mobiledevice/media_sync_queue.h"

namespace nimbara::md::imd {

namespace {

constexpr const char* kLabel = "Nimbara";
constexpr const char* kCrashReportService = "com.apple.crashreportcopymobile";
constexpr const char* kCrashMoverService = "com.apple.crashreportmover";
constexpr const char* kHouseArrestService = "com.apple.mobile.house_arrest";
constexpr const char* kVendContainer = "VendContainer";
constexpr const char* kVendDocuments = "VendDocuments";
constexpr const char* kDiskUsageDomain = "com.apple.disk_usage";
// The parts of what the trust check read.
constexpr const char* kCheckedGlobal = "Global";
constexpr const char* kCheckedDiskUsage = "DiskUsage";

// {"_PhysicalSize": n} for a non-negative number under `key`, else {kMetricUnknown: true}.
PlistValue sizeOrUnknown(const PlistValue& usage, const char* key) {
    PlistValue group = PlistValue::dict();
    const PlistValue* value = usage.find(key);
    if (value && value->isNumber() && value->toInt64() >= 0) {
        group["_PhysicalSize"] = value->toInt64();
    } else {
        group[kMetricUnknown] = true;
    }
    return group;
}

PlistValue unknownGroup() {
    PlistValue group = PlistValue::dict();
    group[kMetricUnknown] = true;
    return group;
}

// Frees a client of the library's on a thread of its own: its StopSession and Goodbye each wait
// for the device's answer, which our own session, on a connection of its own, need not wait for.
// Joined when it goes out of scope.
class ClientFarewell {
  public:
    ClientFarewell() = default;
    ~ClientFarewell() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    ClientFarewell(const ClientFarewell&) = delete;
    ClientFarewell& operator=(const ClientFarewell&) = delete;

    void start(lockdownd_client_t client) {
        if (client) {
            thread_ = std::thread([client] { lockdownd_client_free(client); });
        }
    }

  private:
    std::thread thread_;
};

}  // namespace

PlistValue assetMetricsFromDiskUsage(const PlistValue& diskUsage) {
    PlistValue metrics = PlistValue::dict();
    metrics["Application"] = sizeOrUnknown(diskUsage, "MobileApplicationUsage");
    PlistValue media = PlistValue::dict();
    // No lockdown domain tells music and films apart from the rest.
    media["Music"] = unknownGroup();
    media["Movie"] = unknownGroup();
    metrics["Media"] = std::move(media);
    PlistValue photo = PlistValue::dict();
    photo["Photo"] = sizeOrUnknown(diskUsage, "PhotoUsage");
    photo["CameraRoll"] = sizeOrUnknown(diskUsage, "CameraUsage");
    metrics["Photo"] = std::move(photo);
    return metrics;
}

std::optional<PlistValue> valueFromPlist(void* node) {
    if (!node) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(static_cast<plist_t>(node), &bytes, &length);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<PlistValue> value = PlistValue::parse(bytes, length);
    plist_to_bin_free(bytes);
    return value;
}

std::shared_ptr<ImdDevice> ImdDevice::open(const std::string& udid, std::uint32_t muxHandle,
                                           std::uint64_t serial, const Limits& limits) {
    idevice_t device = nullptr;
    if (idevice_new_with_options(&device, udid.c_str(), IDEVICE_LOOKUP_USBMUX) !=
            IDEVICE_E_SUCCESS ||
        !device) {
        return nullptr;
    }
    return std::shared_ptr<ImdDevice>(new ImdDevice(device, udid, muxHandle, serial, limits));
}

ImdDevice::ImdDevice(idevice_t device, std::string udid, std::uint32_t muxHandle,
                     std::uint64_t serial, const Limits& limits)
    : device_(device),
      udid_(std::move(udid)),
      muxHandle_(muxHandle),
      serial_(serial),
      timeout_(limits.timeout),
      diskUsageFresh_(limits.diskUsageFresh),
      sessionIdle_(limits.sessionIdle),
      wire_(device, udid_, limits.timeout) {}

ImdDevice::~ImdDevice() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    idleWake_.notify_all();
    if (idleCloser_.joinable()) {
        idleCloser_.join();
    }
    markDetached();
    wire_.close();  // before the device handle it was made from goes
    idevice_free(device_);
}

std::string ImdDevice::identifier() const {
    return "usb:" + udid_ + "#" + std::to_string(serial_);
}

bool ImdDevice::attached() const {
    return !detached_.load();
}

int ImdDevice::waitReason() const {
    return waitReason_.load();
}

void ImdDevice::setWaitReason(int reason) {
    waitReason_.store(reason);
}

int ImdDevice::checkLocked(bool needSession) const {
    if (detached_.load()) {
        return Error::DeviceGone;
    }
    if (connectDepth_ == 0 || !wire_.isOpen()) {
        return Error::NotConnected;
    }
    if (wire_.broken()) {
        return Error::Timeout;  // an earlier request ran out: the connection is lost
    }
    if (needSession && sessionDepth_ == 0) {
        return Error::SessionInactive;
    }
    return Error::Ok;
}

int ImdDevice::connect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (detached_.load()) {
        return Error::DeviceGone;
    }
    if (connectDepth_ > 0) {
        ++connectDepth_;
        return Error::Ok;
    }
    takenUp_ = false;
    if (std::exchange(parked_, false)) {
        // A session goes on only under the pair record it started with: one the daemon lost
        // or replaced meanwhile is proven (or made) again by a new session.
        const auto stillPaired = [this] {
            const std::optional<PairIdentity> identity = readPairIdentity(udid_);
            return identity && identity->hostId == wire_.sessionHostId();
        };
        if (wire_.reusable() && std::chrono::steady_clock::now() - parkedAt_ <= sessionIdle_ &&
            (!wire_.inSession() || stillPaired())) {
            takenUp_ = wire_.inSession();  // the session an earlier bracket left goes on
        } else {
            wire_.close();  // lost, closed by the device, or kept too long: a new one
        }
    }
    if (int rc = wire_.open()) {
        return rc;
    }
    connectDepth_ = 1;
    return Error::Ok;  // the calls fail from here on when it went; disconnect() closes it
}

int ImdDevice::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connectDepth_ == 0) {
        return detached_.load() ? Error::DeviceGone : Error::NotConnected;
    }
    if (--connectDepth_ > 0) {
        return detached_.load() ? Error::DeviceGone : Error::Ok;
    }
    sessionDepth_ = 0;
    takenUp_ = false;
    if (!detached_.load() && !wire_.broken()) {
        parkLocked();  // for the next bracket, session and all
        return Error::Ok;
    }
    wire_.close();  // its goodbye ends a session still open
    return detached_.load() ? Error::DeviceGone : Error::Ok;
}

void ImdDevice::parkLocked() {
    parked_ = true;
    parkedAt_ = std::chrono::steady_clock::now();
    if (!idleCloser_.joinable()) {
        idleCloser_ = std::thread([this] { closeWhenIdle(); });
    }
    idleWake_.notify_all();
}

void ImdDevice::closeWhenIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!ending_) {
        if (!parked_) {
            idleWake_.wait(lock);
            continue;
        }
        const auto due = parkedAt_ + sessionIdle_;
        if (std::chrono::steady_clock::now() < due && !detached_.load()) {
            idleWake_.wait_until(lock, due);
            continue;
        }
        parked_ = false;
        // Its goodbye ends the session (nothing is sent once the device went). The connection
        // is freed without the lock: a silent device holds up no bracket meanwhile.
        std::shared_ptr<Channel> closed = wire_.close();
        lock.unlock();
        closed.reset();
        lock.lock();
    }
}

int ImdDevice::requestLocked(const char* name, const PlistValue& message, PlistValue& reply) {
    int rc = wire_.request(name, message, reply);
    if (rc == Error::SessionInactive && std::exchange(takenUp_, false) && !detached_.load()) {
        // The device ended the session while it was kept: a new connection and session, and
        // the request once more.
        wire_.close();
        rc = wire_.open();
        if (rc == Error::Ok) {
            rc = wire_.startSession();
        }
        if (rc == Error::Ok) {
            rc = wire_.request(name, message, reply);
        }
    }
    takenUp_ = false;  // the session answered (or is gone): it is this bracket's now
    return rc;
}

int ImdDevice::validatePairing() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    // Devices since iOS 11 don't know ValidatePair: the session is the proof, and its start
    // pairs again where the device or the daemon forgot the pairing. Only a device that
    // refused to pair on this attachment fails here.
    return pairRefusal_.load() == Error::Ok ? Error::Ok : Error::InvalidPairing;
}

int ImdDevice::pair() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    if (proven_.load()) {
        return Error::Ok;  // nothing to ask the user
    }
    return askToPair();
}

int ImdDevice::isPaired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return checkLocked(false) == Error::Ok && proven_.load() ? 1 : 0;
}

int ImdDevice::startSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    if (sessionDepth_ > 0) {
        ++sessionDepth_;
        return Error::Ok;
    }
    int rc = wire_.startSession();
    if (rc == Error::InvalidPairing) {
        // The device forgot this computer, or the daemon its pair record: pair again and go on.
        proven_.store(false);
        rc = askToPair();
        if (rc == Error::Ok) {
            rc = wire_.startSession();
        }
    }
    if (rc == Error::Ok) {
        provedBySession();
        sessionDepth_ = 1;
    } else if (rc == Error::InvalidPairing) {
        proven_.store(false);
    }
    return rc;
}

int ImdDevice::stopSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    if (--sessionDepth_ > 0) {
        return Error::Ok;
    }
    if (connectDepth_ == 1) {
        // The connection ends next, and its goodbye ends the session; until then the next
        // session on it takes this one up.
        return Error::Ok;
    }
    return wire_.stopSession();
}

int ImdDevice::copyValue(const std::optional<std::string>& domain,
                         const std::optional<std::string>& key, PlistValue& value) {
    value = PlistValue();
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    PlistValue message = PlistValue::dict();
    if (domain) {
        message["Domain"] = *domain;
    }
    if (key) {
        message["Key"] = *key;
    }
    PlistValue reply;
    if (int rc = requestLocked("GetValue", message, reply)) {
        return rc;
    }
    const PlistValue* found = reply.find("Value");
    if (!found) {
        return Error::InvalidArgument;
    }
    value = *found;
    return Error::Ok;
}

std::optional<PlistValue> ImdDevice::checkedValues(const char* which) const {
    if (detached_.load()) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> lock(checkedMutex_);
    const PlistValue* values = checked_.find(which);
    if (!values || std::chrono::steady_clock::now() - checkedAt_ > diskUsageFresh_) {
        return std::nullopt;
    }
    return *values;
}

Device::Recent ImdDevice::recentValue(const std::optional<std::string>& domain,
                                      const std::optional<std::string>& key,
                                      PlistValue& value) const {
    value = PlistValue();
    const bool global = !domain || domain->empty();
    const bool diskUsage = domain && *domain == kDiskUsageDomain && !key;
    if (!global && !diskUsage) {
        return Recent::NotKnown;
    }
    std::optional<PlistValue> values = checkedValues(global ? kCheckedGlobal : kCheckedDiskUsage);
    if (!values || !values->isDict()) {
        return Recent::NotKnown;
    }
    if (!key) {
        value = std::move(*values);
        return Recent::Found;
    }
    const PlistValue* found = values->find(*key);
    if (!found) {
        return Recent::Missing;  // the whole domain is known: the device has none
    }
    value = *found;
    return Recent::Found;
}

int ImdDevice::openService(const std::string& name, std::shared_ptr<Channel>& channel) {
    channel.reset();
    std::uint16_t port = 0;
    bool ssl = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (int rc = checkLocked(true)) {
            return rc;
        }
        PlistValue message = PlistValue::dict();
        message["Service"] = name;
        PlistValue reply;
        if (int rc = requestLocked("StartService", message, reply)) {
            return rc;
        }
        const PlistValue* number = reply.find("Port");
        if (!number || !number->isNumber() || number->toInt64() <= 0 ||
            number->toInt64() > 0xFFFF) {
            return Error::ServiceRefused;
        }
        port = static_cast<std::uint16_t>(number->toInt64());
        const PlistValue* tls = reply.find("EnableServiceSSL");
        ssl = tls && tls->isBool() && tls->toBool();
    }
    idevice_connection_t connection = nullptr;
    const idevice_error_t rc = idevice_connect(device_, port, &connection);
    if (rc != IDEVICE_E_SUCCESS || !connection) {
        return rc == IDEVICE_E_SUCCESS ? Error::ConnectionRefused
                                       : fromIdevice(rc, detached_.load());
    }
    auto made = std::make_shared<Channel>(connection, timeout_);
    {
        std::lock_guard<std::mutex> lock(openMutex_);
        std::erase_if(channels_, [](const auto& weak) { return weak.expired(); });
        channels_.push_back(made);
    }
    if (detached_.load()) {
        made->shutDown();  // the device went while we connected
        return Error::DeviceGone;
    }
    if (ssl && !made->enableTls()) {
        made->shutDown();  // a handshake that failed leaves nothing to say goodbye to
        return detached_.load() ? Error::DeviceGone : Error::ConnectionRefused;
    }
    channel = std::move(made);
    return Error::Ok;
}

bool ImdDevice::runCrashMover() {
    std::shared_ptr<Channel> mover;
    if (int rc = openService(kCrashMoverService, mover)) {
        qCWarning(lcPlatform).noquote()
            << "The crash-report mover did not start:" << QString::fromStdString(errorText(rc));
        return false;
    }
    // The mover says "ping" once it has moved the reports; the whole answer within one timeout.
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    char said[4];
    std::size_t got = 0;
    while (got < sizeof said) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const long n = mover->receiveWithin(said + got, sizeof said - got, left);
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    mover->close();
    if (got != sizeof said || std::memcmp(said, "ping", sizeof said) != 0) {
        qCWarning(lcPlatform).noquote()
            << "The crash-report mover did not say it was done"
            << (got == 0 ? "in time" : "as it should") << ": the newest crash logs may be missing.";
        return false;
    }
    return true;
}

int ImdDevice::startService(const std::string& name,
                            std::unique_ptr<ServiceConnection>& connection) {
    connection.reset();
    if (name == kCrashReportService) {
        runCrashMover();
    }
    std::shared_ptr<Channel> channel;
    if (int rc = openService(name, channel)) {
        return rc;
    }
    connection = std::make_unique<ImdService>(std::move(channel));
    return Error::Ok;
}

int ImdDevice::vend(const char* command, const std::string& bundleId,
                    std::unique_ptr<ServiceConnection>& connection) {
    std::shared_ptr<Channel> channel;
    if (int rc = openService(kHouseArrestService, channel)) {
        return rc;
    }
    auto service = std::make_unique<ImdService>(channel);
    PlistValue request = PlistValue::dict();
    request["Command"] = command;
    request["Identifier"] = bundleId;
    if (int rc = sendFrame(*service, request)) {
        return detached_.load() ? Error::DeviceGone : rc;
    }
    const std::optional<PlistValue> reply = receiveFrame(*service);
    if (!reply || !reply->isDict()) {
        return detached_.load() ? Error::DeviceGone : Error::ProtocolError;
    }
    if (const PlistValue* error = reply->find("Error")) {
        return fromHouseArrest(error->isString() ? error->toString() : std::string());
    }
    if ((*reply)["Status"].toString() != "Complete") {
        return Error::ProtocolError;
    }
    connection = std::move(service);
    return Error::Ok;
}

int ImdDevice::startHouseArrestService(const std::string& bundleId,
                                       std::unique_ptr<ServiceConnection>& connection) {
    connection.reset();
    if (!isValidBundleId(bundleId)) {
        return Error::InvalidArgument;
    }
    const int rc = vend(kVendContainer, bundleId, connection);
    if (rc != Error::ContainerRefused) {
        return rc;
    }
    // Since iOS 8.3 the whole container is vended only for developer-signed apps; an app that
    // shares its files with a computer still hands out its documents, at the same paths
    // ("/Documents/..."). A refusal of that too stays a refusal.
    return vend(kVendDocuments, bundleId, connection);
}

int ImdDevice::inSession(const std::function<int()>& body) {
    int rc = connect();
    if (rc) {
        return rc;
    }
    rc = validatePairing();
    if (rc && rc != Error::DeviceGone) {
        rc = pair();
    }
    if (rc == Error::Ok) {
        rc = startSession();
        if (rc == Error::Ok) {
            rc = body();
            stopSession();
        }
    }
    disconnect();
    return rc;
}

int ImdDevice::pairWithLibrary() {
    lockdownd_client_t client = nullptr;
    lockdownd_error_t rc = lockdownd_client_new(device_, &client, kLabel);
    if (rc == LOCKDOWN_E_SUCCESS) {
        rc = lockdownd_pair(client, nullptr);
        lockdownd_client_free(client);
    }
    return fromLockdown(rc, detached_.load());
}

int ImdDevice::askToPair() {
    if (const int refusal = pairRefusal_.load()) {
        return refusal;  // the device said no on this attachment: not asked again
    }
    const int rc = pairWithLibrary();
    notePairAnswer(rc);
    return rc;
}

void ImdDevice::notePairAnswer(int rc) {
    if (rc == Error::Ok) {
        proven_.store(true);
        return;
    }
    // A locked device, a trust question still showing or a device that did not answer is
    // asked again; any other answer stands until the device is plugged in again.
    const bool askAgain = rc == Error::PasswordProtected || rc == Error::PairingPending ||
                          rc == Error::Timeout || rc == Error::ConnectionRefused ||
                          rc == Error::DeviceGone;
    if (!askAgain) {
        pairRefusal_.store(rc);
    }
    waitReason_.store(rc);
}

void ImdDevice::provedBySession() {
    proven_.store(true);
    waitReason_.store(Error::Ok);  // an attached device asked to pair again waits no more
}

int ImdDevice::handshake(lockdownd_client_t& session) {
    session = nullptr;
    for (int attempt = 0;; ++attempt) {
        if (detached_.load()) {
            return Error::DeviceGone;
        }
        // Without a pair record the handshake pairs by itself: the trust question.
        const bool hadRecord = readPairIdentity(udid_).has_value();
        lockdownd_client_t client = nullptr;
        const lockdownd_error_t rc = lockdownd_client_new_with_handshake(device_, &client, kLabel);
        if (rc == LOCKDOWN_E_SUCCESS) {
            session = client;  // its session ends when it is freed
            // Proven; why the device waits changes only with what the whole check finds, so
            // that a waiting device's reason stays on show while it is checked again.
            proven_.store(true);
            return Error::Ok;
        }
        if (attempt > 0 || !hadRecord || !isForgottenPairing(rc)) {
            return fromLockdown(rc, detached_.load());
        }
        // The device forgot this computer: ask it to pair (again while it is locked or its
        // trust question shows), then try once more.
        if (int paired = askToPair()) {
            return paired;
        }
    }
}

int ImdDevice::preflight() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::exchange(parked_, false)) {
        wire_.close();  // the check asks on a connection of its own
    }
    int rc = wire_.open();
    if (rc == Error::Ok) {
        // What the library's handshake asks first of a device it doesn't know yet; answered
        // before a session.
        PlistValue message = PlistValue::dict();
        message["Key"] = "ProductVersion";
        PlistValue reply;
        rc = wire_.request("GetValue", std::move(message), reply);
        if (rc != Error::Ok && reply.isDict()) {
            rc = Error::Ok;  // it answers, which is all this asks
        }
        wire_.close();
    }
    return rc;
}

int ImdDevice::checkTrust() {
    // A device that hangs from its first answer on costs our own limit, and a detach or the
    // library's end stops the wait at once; the library's handshake can only be waited out.
    ClientFarewell farewell;  // joined before the check ends
    int rc = preflight();
    if (rc == Error::Ok) {
        lockdownd_client_t session = nullptr;
        rc = handshake(session);
        farewell.start(session);
    }
    PlistValue checked = PlistValue::dict();
    if (rc == Error::Ok) {
        // The version the handshake stored makes our own session's TLS what the device
        // speaks. What the attach reads comes in this one session: the global domain whole and
        // the disk usage. A device that keeps either to itself is still usable, and one that
        // does not answer in time says so.
        rc = inSession([&] {
            for (const auto& [part, domain] :
                 {std::pair{kCheckedGlobal, std::optional<std::string>()},
                  std::pair{kCheckedDiskUsage, std::optional<std::string>(kDiskUsageDomain)}}) {
                PlistValue values;
                const int read = copyValue(domain, std::nullopt, values);
                if (read == Error::Timeout || read == Error::DeviceGone) {
                    return read;
                }
                if (read == Error::Ok && values.isDict()) {
                    checked[part] = std::move(values);
                }
            }
            // The device layer's first brackets of the attach go on in this session.
            return Error::Ok;
        });
    }
    {
        std::lock_guard<std::mutex> lock(checkedMutex_);
        checked_ = rc == Error::Ok ? std::move(checked) : PlistValue::dict();
        checkedAt_ = std::chrono::steady_clock::now();
    }
    waitReason_.store(rc);
    return rc;
}

std::unique_ptr<MediaSyncConnection> ImdDevice::openMediaSync() {
    std::optional<PlistValue> checked = checkedValues(kCheckedDiskUsage);
    if (detached_.load()) {
        return nullptr;
    }
    PlistValue diskUsage = PlistValue::dict();
    if (checked) {
        diskUsage = std::move(*checked);
    } else if (int rc = inSession([&] {
                   return copyValue(std::string(kDiskUsageDomain), std::nullopt, diskUsage);
               })) {
        if (rc == Error::DeviceGone || detached_.load()) {
            return nullptr;
        }
        qCWarning(lcPlatform).noquote()
            << "The disk usage of" << QString::fromStdString(udid_)
            << "could not be read:" << QString::fromStdString(errorText(rc));
        diskUsage = PlistValue::dict();  // every figure unknown
    }
    auto channel = std::make_shared<MediaSyncChannel>();
    PlistValue allowed = PlistValue::dict();
    allowed["Command"] = "SyncAllowed";
    allowed["Params"] = PlistValue::dict();
    channel->push(std::move(allowed));
    PlistValue metrics = PlistValue::dict();
    metrics["Command"] = "AssetMetrics";
    metrics["Params"] = assetMetricsFromDiskUsage(diskUsage);
    channel->push(std::move(metrics));
    {
        std::lock_guard<std::mutex> lock(openMutex_);
        std::erase_if(mediaSync_, [](const auto& weak) { return weak.expired(); });
        mediaSync_.push_back(channel);
    }
    if (detached_.load()) {
        channel->shut();
    }
    return std::make_unique<QueuedMediaSyncConnection>(std::move(channel));
}

void ImdDevice::markDetached() {
    detached_.store(true);
    wire_.cut();  // a lockdown request in progress ends now
    std::vector<std::shared_ptr<Channel>> channels;
    std::vector<std::shared_ptr<MediaSyncChannel>> sessions;
    {
        std::lock_guard<std::mutex> lock(openMutex_);
        for (const auto& weak : channels_) {
            if (auto channel = weak.lock()) {
                channels.push_back(std::move(channel));
            }
        }
        for (const auto& weak : mediaSync_) {
            if (auto session = weak.lock()) {
                sessions.push_back(std::move(session));
            }
        }
        channels_.clear();
        mediaSync_.clear();
    }
    for (const auto& channel : channels) {
        channel->shutDown();
    }
    for (const auto& session : sessions) {
        session->shut();
    }
}

}  // namespace nimbara::md::imd
