#include "platform/mobiledevice/imd/imd_device.h"

#include <QDebug>

#include <plist/plist.h>
#include <usbmuxd.h>

#include <cstdlib>
#include <cstring>

#include "platform/device_path.h"
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
// The largest pair record read from usbmuxd.
constexpr std::uint32_t kMaxPairRecordBytes = 1024 * 1024;

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

// The HostID of this computer's pair record for the device, or empty.
std::string hostIdFor(const std::string& udid) {
    char* data = nullptr;
    std::uint32_t size = 0;
    if (usbmuxd_read_pair_record(udid.c_str(), &data, &size) < 0 || !data) {
        return {};
    }
    std::optional<PlistValue> record;
    if (size > 0 && size <= kMaxPairRecordBytes) {
        record = PlistValue::parse(data, size);
    }
    std::free(data);
    if (!record || !record->isDict()) {
        return {};
    }
    const PlistValue* hostId = record->find("HostID");
    return hostId && hostId->isString() ? hostId->toString() : std::string();
}

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
                                           std::uint64_t serial, std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds diskUsageFresh) {
    idevice_t device = nullptr;
    if (idevice_new_with_options(&device, udid.c_str(), IDEVICE_LOOKUP_USBMUX) !=
            IDEVICE_E_SUCCESS ||
        !device) {
        return nullptr;
    }
    return std::shared_ptr<ImdDevice>(
        new ImdDevice(device, udid, muxHandle, serial, timeout, diskUsageFresh));
}

ImdDevice::ImdDevice(idevice_t device, std::string udid, std::uint32_t muxHandle,
                     std::uint64_t serial, std::chrono::milliseconds timeout,
                     std::chrono::milliseconds diskUsageFresh)
    : device_(device),
      udid_(std::move(udid)),
      muxHandle_(muxHandle),
      serial_(serial),
      timeout_(timeout),
      diskUsageFresh_(diskUsageFresh),
      line_(timeout) {}

ImdDevice::~ImdDevice() {
    markDetached();
    if (lockdown_) {
        lockdownd_client_free(lockdown_);  // its goodbye fails at once: the line was cut
        line_.release();
    }
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
    if (connectDepth_ == 0 || !lockdown_) {
        return Error::NotConnected;
    }
    if (line_.broken()) {
        return Error::Timeout;  // an earlier request ran out: the connection is lost
    }
    if (needSession && sessionDepth_ == 0) {
        return Error::SessionInactive;
    }
    return Error::Ok;
}

int ImdDevice::lockdownRequest(const std::function<lockdownd_error_t()>& call) {
    lockdownd_error_t rc = LOCKDOWN_E_UNKNOWN_ERROR;
    if (int ended = line_.request([&] { rc = call(); })) {
        return ended;
    }
    return fromLockdown(rc, detached_.load());
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
    lockdownd_client_t client = nullptr;
    const lockdownd_error_t rc = lockdownd_client_new(device_, &client, kLabel);
    if (rc != LOCKDOWN_E_SUCCESS || !client) {
        return rc == LOCKDOWN_E_SUCCESS ? Error::ConnectionRefused
                                        : fromLockdown(rc, detached_.load());
    }
    lockdown_ = client;
    line_.attach(client);  // cut at once when the device went meanwhile
    connectDepth_ = 1;
    return Error::Ok;  // the calls fail from here on when it went; disconnect() frees it
}

int ImdDevice::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (connectDepth_ == 0) {
        return detached_.load() ? Error::DeviceGone : Error::NotConnected;
    }
    if (--connectDepth_ > 0) {
        return detached_.load() ? Error::DeviceGone : Error::Ok;
    }
    lockdownd_client_t closing = lockdown_;
    lockdown_ = nullptr;
    sessionDepth_ = 0;
    sessionId_.clear();  // freeing the client ends its session
    // Freeing says goodbye and waits for the answer: within the limit too.
    lockdownRequest([&] {
        lockdownd_client_free(closing);
        return LOCKDOWN_E_SUCCESS;
    });
    line_.release();
    return detached_.load() ? Error::DeviceGone : Error::Ok;
}

int ImdDevice::validatePairing() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    const int rc = lockdownRequest([&] { return lockdownd_validate_pair(lockdown_, nullptr); });
    paired_ = rc == Error::Ok;
    return rc;
}

int ImdDevice::pair() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    const int rc = lockdownRequest([&] { return lockdownd_pair(lockdown_, nullptr); });
    paired_ = rc == Error::Ok;
    if (rc != Error::Ok) {
        waitReason_.store(rc);
    }
    return rc;
}

int ImdDevice::isPaired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return checkLocked(false) == Error::Ok && paired_ ? 1 : 0;
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
    const std::string hostId = hostIdFor(udid_);
    if (hostId.empty()) {
        return Error::InvalidPairing;
    }
    char* sessionId = nullptr;
    int ssl = 0;
    const int rc = lockdownRequest(
        [&] { return lockdownd_start_session(lockdown_, hostId.c_str(), &sessionId, &ssl); });
    if (rc != Error::Ok) {
        std::free(sessionId);
        return rc;
    }
    sessionId_ = sessionId ? sessionId : "";
    std::free(sessionId);
    sessionDepth_ = 1;
    return Error::Ok;
}

int ImdDevice::stopSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    if (--sessionDepth_ > 0) {
        return Error::Ok;
    }
    const int rc =
        lockdownRequest([&] { return lockdownd_stop_session(lockdown_, sessionId_.c_str()); });
    sessionId_.clear();
    return rc;
}

int ImdDevice::copyValue(const std::optional<std::string>& domain,
                         const std::optional<std::string>& key, PlistValue& value) {
    value = PlistValue();
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    plist_t node = nullptr;
    const int rc = lockdownRequest([&] {
        return lockdownd_get_value(lockdown_, domain ? domain->c_str() : nullptr,
                                   key ? key->c_str() : nullptr, &node);
    });
    if (rc != Error::Ok || !node) {
        plist_free(node);
        return rc == Error::Ok ? Error::InvalidArgument : rc;
    }
    std::optional<PlistValue> converted = valueFromPlist(node);
    plist_free(node);
    if (!converted) {
        return Error::ProtocolError;
    }
    value = std::move(*converted);
    return Error::Ok;
}

int ImdDevice::openService(const std::string& name, std::shared_ptr<Channel>& channel) {
    channel.reset();
    lockdownd_service_descriptor_t service = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (int rc = checkLocked(true)) {
            return rc;
        }
        const int rc = lockdownRequest(
            [&] { return lockdownd_start_service(lockdown_, name.c_str(), &service); });
        if (rc != Error::Ok || !service || service->port == 0) {
            lockdownd_service_descriptor_free(service);
            return rc == Error::Ok ? Error::ServiceRefused : rc;
        }
    }
    idevice_connection_t connection = nullptr;
    idevice_error_t rc = idevice_connect(device_, service->port, &connection);
    const bool ssl = service->ssl_enabled != 0;
    lockdownd_service_descriptor_free(service);
    if (rc != IDEVICE_E_SUCCESS || !connection) {
        return rc == IDEVICE_E_SUCCESS ? Error::ConnectionRefused
                                       : fromIdevice(rc, detached_.load());
    }
    auto made = std::make_shared<Channel>(connection, timeout_);
    if (ssl) {
        rc = idevice_connection_enable_ssl(connection);
        if (rc != IDEVICE_E_SUCCESS) {
            return fromIdevice(rc, detached_.load());  // `made` frees the connection
        }
    }
    {
        std::lock_guard<std::mutex> lock(openMutex_);
        std::erase_if(channels_, [](const auto& weak) { return weak.expired(); });
        channels_.push_back(made);
    }
    if (detached_.load()) {
        made->shutDown();  // the device went while we connected
        return Error::DeviceGone;
    }
    channel = std::move(made);
    return Error::Ok;
}

bool ImdDevice::runCrashMover() {
    std::shared_ptr<Channel> mover;
    if (int rc = openService(kCrashMoverService, mover)) {
        qWarning().noquote() << "The crash-report mover did not start:"
                             << QString::fromStdString(errorText(rc));
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
        qWarning().noquote() << "The crash-report mover did not say it was done"
                             << (got == 0 ? "in time" : "as it should")
                             << ": the newest crash logs may be missing.";
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
        if (rc == Error::Ok) {
            rc = validatePairing();
        }
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

int ImdDevice::checkTrust() {
    PlistValue diskUsage;
    bool read = false;
    const int rc = inSession([&] {
        // A device that keeps its disk usage to itself is still usable.
        read = copyValue(std::string(kDiskUsageDomain), std::nullopt, diskUsage) == Error::Ok;
        return Error::Ok;
    });
    {
        std::lock_guard<std::mutex> lock(checkedMutex_);
        checkedDiskUsage_.reset();
        if (rc == Error::Ok && read) {
            checkedDiskUsage_ = std::move(diskUsage);
            checkedAt_ = std::chrono::steady_clock::now();
        }
    }
    waitReason_.store(rc);
    return rc;
}

std::unique_ptr<MediaSyncConnection> ImdDevice::openMediaSync() {
    std::optional<PlistValue> checked;
    {
        std::lock_guard<std::mutex> lock(checkedMutex_);
        if (checkedDiskUsage_ && std::chrono::steady_clock::now() - checkedAt_ <= diskUsageFresh_) {
            checked = std::move(checkedDiskUsage_);
        }
        checkedDiskUsage_.reset();  // taken once at the most
    }
    if (detached_.load()) {
        return nullptr;
    }
    PlistValue diskUsage;
    if (checked) {
        diskUsage = std::move(*checked);
    } else if (inSession([&] {
                   return copyValue(std::string(kDiskUsageDomain), std::nullopt, diskUsage);
               })) {
        return nullptr;
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
    line_.cut();  // a lockdown request in progress ends now
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
