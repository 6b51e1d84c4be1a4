#include "platform/mobiledevice/sim/simulated_device.h"

#include <QDebug>
#include <QFile>

#include "platform/log_categories.h"
#include "platform/mobiledevice/media_sync_queue.h"
#include "platform/mobiledevice/sim/sim_apps.h"
#include "platform/mobiledevice/sim/sim_area.h"
#include "platform/mobiledevice/sim/sim_installation_proxy.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/sim_services.h"
#include "platform/mobiledevice/sim/sim_springboard.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

constexpr const char* kAfcService = "com.apple.afc";
constexpr const char* kCrashReportService = "com.apple.crashreportcopymobile";
constexpr const char* kInstallationProxyService = "com.apple.mobile.installation_proxy";
constexpr const char* kSpringBoardService = "com.apple.springboardservices";
constexpr const char* kHouseArrestService = "com.apple.mobile.house_arrest";

std::set<std::string> nameSet(const PlistValue& list) {
    std::set<std::string> names;
    for (const auto& item : list.toArray()) {
        if (item.isString()) {
            names.insert(item.toString());
        }
    }
    return names;
}

DeviceFaults faultsOf(const PlistValue& config) {
    DeviceFaults faults;
    faults.trusted = config[kKeyTrusted].toBool(true);
    const PlistValue& f = config[kKeyFaults];
    if (f[kFaultConnectError].isNumber()) {
        faults.connectError = static_cast<int>(f[kFaultConnectError].toInt64());
        if (*faults.connectError == 0) {
            faults.connectError.reset();
        }
    }
    faults.refusedServices = nameSet(f[kFaultRefusedServices]);
    faults.shortReply = nameSet(f[kFaultShortReply]);
    faults.closedReply = nameSet(f[kFaultClosedReply]);
    if (f[kFaultDetachAfter].isNumber()) {
        faults.detachAfterOperations = f[kFaultDetachAfter].toInt64();
    }
    faults.refuseMediaSync = f[kFaultRefuseMediaSync].toBool(false);
    faults.refusedContainers = nameSet(f[kFaultRefusedContainers]);
    faults.noAppArchives = f[kFaultNoAppArchives].toBool(false);
    faults.refusedRemovals = nameSet(f[kFaultRefusedRemovals]);
    if (f[kFaultLookupWaitsFor].isString()) {
        faults.lookupWaitsFor = f[kFaultLookupWaitsFor].toString();
    }
    if (f[kFaultWaitReason].isNumber()) {
        faults.waitReason = static_cast<int>(f[kFaultWaitReason].toInt64());
    }
    return faults;
}

}  // namespace

SimulatedDevice::SimulatedDevice(fs::path dir, DeviceFolder folder, PlistValue config,
                                 FileStamp configStamp, std::uint64_t serial)
    : dir_(std::move(dir)),
      folder_(std::move(folder)),
      serial_(serial),
      config_(std::move(config)),
      configStamp_(configStamp) {
    faults_ = faultsOf(config_);
    udid_ = udidOf(config_, dir_.filename().string());
    waitReason_ = faults_.waitReason;
}

SimulatedDevice::~SimulatedDevice() = default;

std::string SimulatedDevice::identifier() const {
    return "sim:" + udid_ + "#" + std::to_string(serial_);
}

bool SimulatedDevice::attached() const {
    return !detached_.load();
}

DeviceFaults SimulatedDevice::currentFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    refreshConfigLocked();
    return faults_;
}

int SimulatedDevice::waitReason() const {
    return waitReason_.load();
}

bool SimulatedDevice::refreshWaitReason() {
    std::lock_guard<std::mutex> lock(mutex_);
    refreshConfigLocked();
    return waitReason_.exchange(faults_.waitReason) != faults_.waitReason;
}

void SimulatedDevice::refreshConfigLocked() {
    const auto stamp = folder_.configStamp();
    if (!stamp || *stamp == configStamp_) {
        return;
    }
    FileStamp seen = *stamp;
    auto config = folder_.readConfig(nullptr, &seen);
    configStamp_ = seen;  // a file that failed is not read again until it changes
    // A half-written file keeps what was read last; so does another device's identity, which
    // the library's next look at the folder turns into a detach and an attach.
    if (!config || udidOf(*config, dir_.filename().string()) != udid_) {
        return;
    }
    config_ = std::move(*config);
    faults_ = faultsOf(config_);
}

int SimulatedDevice::checkLocked(bool needSession) const {
    if (detached_.load()) {
        return Error::DeviceGone;
    }
    if (connectDepth_ == 0) {
        return Error::NotConnected;
    }
    if (needSession && sessionDepth_ == 0) {
        return Error::SessionInactive;
    }
    return Error::Ok;
}

bool SimulatedDevice::countOperation(bool attributeRead) {
    if (detached_.load()) {
        return false;
    }
    if (!stillInItsFolder(attributeRead)) {
        qCWarning(lcPlatform).noquote() << "Simulated device" << QFile::decodeName(dir_.c_str())
                                        << "is gone: its folder was moved away or replaced.";
        goAway(false);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_.load()) {
            return false;
        }
        if (!faults_.detachAfterOperations || operations_ < *faults_.detachAfterOperations) {
            ++operations_;
            return true;
        }
    }
    goAway(true);
    return false;
}

bool SimulatedDevice::stillInItsFolder(bool mayWait) {
    std::lock_guard<std::mutex> lock(lookMutex_);
    const bool fullLookTurn = looks_++ % kFullLookEvery == 0;
    const auto now = std::chrono::steady_clock::now();
    if (mayWait && !fullLookTurn && !fullLookDue_ && now - lastLook_ < kLookAtLeastEvery) {
        return true;
    }
    lastLook_ = now;
    // Changes in the parent folder are drained before the look, so none can slip in unseen.
    switch (folder_.parentChanges()) {
        case DeviceFolder::ParentChange::Folder:
            fullLookDue_ = true;
            [[fallthrough]];
        case DeviceFolder::ParentChange::Names:
            lookDue_ = true;
            break;
        case DeviceFolder::ParentChange::None:
            break;
    }
    bool here = true;
    if (fullLookDue_ || fullLookTurn) {
        here = folder_.isAt(dir_);
    } else if (lookDue_) {
        here = folder_.isInItsParent() || folder_.isAt(dir_);
    }
    if (here) {
        lookDue_ = false;
        fullLookDue_ = false;
    }
    return here;
}

void SimulatedDevice::goAway(bool keepOut) {
    std::function<void(bool)> handler;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handler = detachHandler_;
    }
    if (handler) {
        handler(keepOut);  // the library marks the device gone and tells the subscribers
    }
    markDetached();
}

int SimulatedDevice::connect() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (detached_.load()) {
            return Error::DeviceGone;
        }
        refreshConfigLocked();
    }
    if (!countOperation()) {
        return Error::DeviceGone;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (faults_.connectError) {
        return *faults_.connectError;
    }
    ++connectDepth_;
    return Error::Ok;
}

int SimulatedDevice::disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    if (--connectDepth_ == 0) {
        sessionDepth_ = 0;
    }
    return Error::Ok;
}

int SimulatedDevice::validatePairing() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    return faults_.trusted ? Error::Ok : Error::InvalidPairing;
}

int SimulatedDevice::pair() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    return faults_.trusted ? Error::Ok : Error::PairingRefused;
}

int SimulatedDevice::isPaired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return checkLocked(false) == Error::Ok && faults_.trusted ? 1 : 0;
}

int SimulatedDevice::startSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(false)) {
        return rc;
    }
    if (!faults_.trusted) {
        return Error::InvalidPairing;
    }
    ++sessionDepth_;
    return Error::Ok;
}

int SimulatedDevice::stopSession() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    --sessionDepth_;
    return Error::Ok;
}

int SimulatedDevice::copyValue(const std::optional<std::string>& domain,
                               const std::optional<std::string>& key, PlistValue& value) {
    value = PlistValue();
    std::lock_guard<std::mutex> lock(mutex_);
    if (int rc = checkLocked(true)) {
        return rc;
    }
    refreshConfigLocked();
    const PlistValue* values = config_[kKeyLockdown].find(domain.value_or(kGlobalDomain));
    if (!values || !values->isDict()) {
        return Error::InvalidArgument;
    }
    if (!key) {
        value = *values;
        return Error::Ok;
    }
    const PlistValue* found = values->find(*key);
    if (!found) {
        return Error::InvalidArgument;
    }
    value = *found;
    return Error::Ok;
}

int SimulatedDevice::beginServiceStart(DeviceFaults& faults) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (int rc = checkLocked(true)) {
            return rc;
        }
        refreshConfigLocked();
        faults = faults_;
    }
    return countOperation() ? Error::Ok : Error::DeviceGone;
}

int SimulatedDevice::startService(const std::string& name,
                                  std::unique_ptr<ServiceConnection>& connection) {
    connection.reset();
    DeviceFaults faults;
    if (int rc = beginServiceStart(faults)) {
        return rc;
    }
    if (faults.refusedServices.count(name)) {
        return Error::ServiceRefused;
    }
    auto self = shared_from_this();
    const auto mode = faults.closedReply.count(name)  ? SimPlistService::ReplyMode::Closed
                      : faults.shortReply.count(name) ? SimPlistService::ReplyMode::Short
                                                      : SimPlistService::ReplyMode::Normal;
    if (name == kAfcService || name == kCrashReportService) {
        Area area(anchor(), name == kAfcService ? kMediaDir : kCrashesDir);
        if (area.check() == AfcError::PermissionDenied) {
            qCWarning(lcPlatform).noquote()
                << "Simulated device" << QFile::decodeName(dir_.c_str()) << "refuses"
                << QString::fromStdString(name)
                << "because its area is a link out of the device's folder.";
            return Error::ServiceRefused;
        }
        connection = std::make_unique<SimAfcService>(self, std::move(area));
    } else if (name == kInstallationProxyService) {
        connection = std::make_unique<SimPlistService>(
            self, std::make_unique<InstallationProxyHandler>(self), mode);
    } else if (name == kSpringBoardService) {
        connection = std::make_unique<SimPlistService>(
            self, std::make_unique<SpringBoardHandler>(self), mode);
    } else {
        return Error::ServiceRefused;
    }
    return Error::Ok;
}

int SimulatedDevice::startHouseArrestService(const std::string& bundleId,
                                             std::unique_ptr<ServiceConnection>& connection) {
    connection.reset();
    DeviceFaults faults;
    if (int rc = beginServiceStart(faults)) {
        return rc;
    }
    if (faults.refusedServices.count(kHouseArrestService)) {
        return Error::ServiceRefused;
    }
    if (!isValidBundleId(bundleId)) {
        return Error::InvalidArgument;
    }
    // The container, and every folder above it up to the device's folder, must be real folders.
    Area container(anchor(), fs::path(kAppsDir) / bundleId / kAppContainer);
    if (!installedAppDir(anchor(), bundleId) || container.check() != AfcError::Ok) {
        return Error::AppNotInstalled;
    }
    if (faults.refusedContainers.count(bundleId)) {
        return Error::ContainerRefused;
    }
    connection = std::make_unique<SimAfcService>(shared_from_this(), std::move(container));
    return Error::Ok;
}

std::unique_ptr<MediaSyncConnection> SimulatedDevice::openMediaSync() {
    auto channel = std::make_shared<MediaSyncChannel>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        refreshConfigLocked();
        if (detached_.load() || !faults_.trusted || faults_.refuseMediaSync) {
            return nullptr;
        }
        PlistValue allowed = PlistValue::dict();
        allowed["Command"] = "SyncAllowed";
        allowed["Params"] = PlistValue::dict();
        channel->push(std::move(allowed));
        if (const PlistValue* metrics = config_.find(kKeyAssetMetrics)) {
            PlistValue message = PlistValue::dict();
            message["Command"] = kKeyAssetMetrics;
            message["Params"] = *metrics;
            channel->push(std::move(message));
        }
        std::erase_if(mediaSync_, [](const auto& weak) { return weak.expired(); });
        mediaSync_.push_back(channel);
    }
    return std::make_unique<QueuedMediaSyncConnection>(std::move(channel));
}

void SimulatedDevice::pushMediaSyncMessage(const PlistValue& message) {
    std::vector<std::shared_ptr<MediaSyncChannel>> channels;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& weak : mediaSync_) {
            if (auto channel = weak.lock()) {
                channels.push_back(std::move(channel));
            }
        }
    }
    for (const auto& channel : channels) {
        channel->push(message);
    }
}

void SimulatedDevice::markDetached() {
    std::vector<std::shared_ptr<MediaSyncChannel>> channels;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        detached_.store(true);
        for (const auto& weak : mediaSync_) {
            if (auto channel = weak.lock()) {
                channels.push_back(std::move(channel));
            }
        }
        mediaSync_.clear();
    }
    for (const auto& channel : channels) {
        channel->shut();
    }
}

void SimulatedDevice::setDetachHandler(std::function<void(bool keepOut)> handler) {
    std::lock_guard<std::mutex> lock(mutex_);
    detachHandler_ = std::move(handler);
}

}  // namespace nimbara::md::sim
