#include "device/air_traffic_host_helper.h"

#include "device/afc_service.h"
#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/value_conversions.h"
#include "platform/log_categories.h"
#include "platform/text_format.h"

namespace amd {

using nimbara::PlistValue;

namespace {

std::uint32_t littleEndianWord(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

// The identifier of each attachment, read from it once: the sessions opened while it stays
// attached (the attach's, the storage overview's) present the same library.
std::string libraryIdOnce(int deviceIndex, const std::shared_ptr<BaseDevice>& device) {
    static std::mutex mutex;
    static std::vector<std::pair<std::weak_ptr<nimbara::md::Device>, std::string>> known;
    const nimbara::md::DeviceHandle handle = device ? device->handle() : nullptr;
    if (!handle) {
        return CopyLibraryId(deviceIndex, device);
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::erase_if(known, [](const auto& entry) { return entry.first.expired(); });
        for (const auto& [attachment, id] : known) {
            if (attachment.lock() == handle) {
                return id;
            }
        }
    }
    // Read outside the lock: it runs a device bracket.
    const std::string id = CopyLibraryId(deviceIndex, device);
    if (handle->attached()) {
        std::lock_guard<std::mutex> lock(mutex);
        known.emplace_back(handle, id);
    }
    return id;
}

}  // namespace

std::string LibraryIdFromPrefs(const std::vector<std::uint8_t>& prefs) {
    if (prefs.size() < 104) {
        return kDefaultLibraryId;
    }
    const std::uint32_t high = littleEndianWord(prefs, 24) ^ littleEndianWord(prefs, 100);
    const std::uint32_t low = littleEndianWord(prefs, 20) ^ littleEndianWord(prefs, 96);
    return nimbara::formatHexUpper((static_cast<std::uint64_t>(high) << 32) | low);
}

PlistValue UnknownAssetMetrics() {
    const auto unknown = [] {
        PlistValue group = PlistValue::dict();
        group[nimbara::md::kMetricUnknown] = true;
        return group;
    };
    PlistValue metrics = PlistValue::dict();
    metrics["Application"] = unknown();
    metrics["Media"]["Music"] = unknown();
    metrics["Media"]["Movie"] = unknown();
    metrics["Photo"]["Photo"] = unknown();
    metrics["Photo"]["CameraRoll"] = unknown();
    return metrics;
}

std::string CopyLibraryId(int deviceIndex) {
    return CopyLibraryId(deviceIndex, DeviceManager::GetInstance().FindDevice(deviceIndex));
}

std::string CopyLibraryId(int deviceIndex, const std::shared_ptr<BaseDevice>& device) {
    std::vector<std::uint8_t> prefs;
    {
        AfcService afc;
        if (afc.InitOn(deviceIndex, device) == 0) {
            prefs = afc.ReadFile("/iTunes_Control/iTunes/iTunesPrefs");
        }
    }
    return LibraryIdFromPrefs(prefs);
}

AirTrafficHostHelper::AirTrafficHostHelper() = default;

AirTrafficHostHelper::~AirTrafficHostHelper() {
    Stop();
}

int AirTrafficHostHelper::Connect(const std::optional<std::string>& deviceId, int deviceIndex) {
    if (!deviceId) {
        return 1;
    }
    const std::shared_ptr<DeviceItem> item = DeviceManager::GetInstance().FindItem(deviceIndex);
    return Connect(deviceId, deviceIndex, item ? item->serial() : 0,
                   item ? item->device() : nullptr);
}

int AirTrafficHostHelper::Connect(const std::optional<std::string>& deviceId, int deviceIndex,
                                  std::uint64_t deviceSerial,
                                  const std::shared_ptr<BaseDevice>& device) {
    if (!deviceId) {
        return 1;
    }
    index_ = deviceIndex;
    serial_ = deviceSerial;
    const std::string libraryId = libraryIdOnce(deviceIndex, device);
    std::unique_ptr<nimbara::md::MediaSyncConnection> connection;
    if (nimbara::md::Library* library = nimbara::md::library()) {
        connection = library->createMediaSyncConnection(libraryId, *deviceId);
    }
    if (!connection) {
        qCWarning(lcDevice, "*** ATHostConnectionCreateWithLibrary failed(%s)", libraryId.c_str());
        return 1;
    }
    std::shared_ptr<nimbara::md::MediaSyncConnection> previous;
    {
        std::lock_guard<std::mutex> lock(connectionMutex_);
        previous = std::move(connection_);
        connection_ = std::move(connection);
    }
    if (previous) {
        previous->close();  // a reader on it ends; it keeps its own reference until then
    }
    return 0;
}

int AirTrafficHostHelper::StartReader() {
    if (reader_.started()) {
        return 0;
    }
    const std::error_code error =
        reader_.start([this](const nimbara::OwnedThread::StopCheck& stop) { ReaderMain(stop); });
    return error ? error.value() : 0;
}

void AirTrafficHostHelper::Stop() {
    // Close first: that wakes a reader blocked in readMessage. Then signal and join.
    if (std::shared_ptr<nimbara::md::MediaSyncConnection> connection = currentConnection()) {
        connection->close();
    }
    reader_.stop();
    std::lock_guard<std::mutex> lock(connectionMutex_);
    connection_.reset();
}

bool AirTrafficHostHelper::connected() const {
    return currentConnection() != nullptr;
}

std::shared_ptr<nimbara::md::MediaSyncConnection> AirTrafficHostHelper::currentConnection() const {
    std::lock_guard<std::mutex> lock(connectionMutex_);
    return connection_;
}

void AirTrafficHostHelper::ReaderMain(const nimbara::OwnedThread::StopCheck& stop) {
    for (;;) {
        if (stop()) {
            return;
        }
        std::shared_ptr<nimbara::md::MediaSyncConnection> connection = currentConnection();
        if (!connection) {
            return;
        }
        std::optional<PlistValue> message = connection->readMessage();
        if (!message) {
            return;
        }
        const std::string command = cfTypeToStdString(message->find("Command"));
        const PlistValue* params = message->find("Params");
        HandleMessage(command, params ? *params : PlistValue());
    }
}

void AirTrafficHostHelper::HandleMessage(const std::string& command, const PlistValue& params) {
    if (command != "AssetMetrics" || !params.isDict() || serial_ == 0) {
        return;
    }
    // The item keeps its values object alive while we hold it, even across a detach; and only
    // the device this session was opened for is fed, never a later one at the same index.
    std::shared_ptr<DeviceItem> item = DeviceManager::GetInstance().FindItem(index_);
    if (!item || item->serial() != serial_ || !item->info()) {
        return;
    }
    item->info()->SetValues(params);
}

}  // namespace amd
