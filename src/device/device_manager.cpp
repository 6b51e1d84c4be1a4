#include "device/device_manager.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "platform/scratch_dir.h"

namespace amd {

namespace {

void printLine(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

}  // namespace

DeviceItem::DeviceItem(int index, std::uint64_t serial, std::shared_ptr<BaseDevice> device)
    : index_(index), serial_(serial), device_(std::move(device)) {}

DeviceItem::~DeviceItem() {
    // The reader must be gone before the values it feeds are released.
    if (mediaSync_) {
        mediaSync_->Stop();
    }
}

DeviceManager& DeviceManager::GetInstance() {
    static DeviceManager* instance = new DeviceManager();  // lives until exit
    return *instance;
}

void DeviceManager::SetNotify(DeviceNotify* notify) {
    std::lock_guard<std::mutex> lock(mutex_);
    notify_ = notify;
}

DeviceNotify* DeviceManager::notify() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return notify_;
}

int DeviceManager::Subscribe() {
    if (!notify()) {
        printLine("* Subscibe without notify set");
    }
    nimbara::md::Library* library = nimbara::md::library();
    if (!library) {
        return 1;
    }
    std::unique_ptr<nimbara::md::Subscription> subscription;
    // Devices already attached may be reported within the call: no lock is held here.
    const int rc = library->subscribe(
        [this](int message, const nimbara::md::DeviceHandle& device) {
            OnNotification(message, device);
        },
        subscription);
    if (rc == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(subscription_, subscription);
    }
    return rc;  // a replaced subscription is released here, outside the lock
}

int DeviceManager::Unsubscribe() {
    std::unique_ptr<nimbara::md::Subscription> subscription;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(subscription_, subscription);
    }
    return 0;
}

std::shared_ptr<DeviceItem> DeviceManager::FindItem(int deviceIndex) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::shared_ptr<DeviceItem>& item : items_) {
        if (item->index() == deviceIndex) {
            return item;
        }
    }
    return nullptr;
}

std::shared_ptr<BaseDevice> DeviceManager::FindDevice(int deviceIndex) const {
    std::shared_ptr<DeviceItem> item = FindItem(deviceIndex);
    return item ? item->device() : nullptr;
}

std::uint64_t DeviceManager::DeviceSerial(int deviceIndex) const {
    std::shared_ptr<DeviceItem> item = FindItem(deviceIndex);
    return item ? item->serial() : 0;
}

bool DeviceManager::IsAttached(int deviceIndex, std::uint64_t serial) const {
    std::shared_ptr<DeviceItem> item = FindItem(deviceIndex);
    if (serial == 0 || !item || item->serial() != serial) {
        return false;
    }
    // A device that dropped off in the middle of a call is gone at once, though the detach event
    // reaches the manager only later, on its own event loop.
    const std::shared_ptr<BaseDevice>& device = item->device();
    return device && device->handle() && device->handle()->attached();
}

std::list<int> DeviceManager::Indices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::list<int> indices;
    for (const std::shared_ptr<DeviceItem>& item : items_) {
        indices.push_back(item->index());
    }
    return indices;
}

std::string DeviceManager::GetLocalDir(int deviceIndex) {
    std::shared_ptr<DeviceItem> item = FindItem(deviceIndex);
    if (!item) {
        std::lock_guard<std::mutex> lock(mutex_);
        return localBase_;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!item->localDir_.empty()) {
            return item->localDir_;
        }
    }
    const std::filesystem::path base = nimbara::scratchFolder("tmp");
    if (base.empty()) {
        return {};
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        localBase_ = base.string() + "/";
    }
    // Read outside the list lock: it runs a device bracket.
    std::optional<std::string> udid =
        item->info() ? item->info()->GetUniqueDeviceID() : std::nullopt;
    if (!udid || !nimbara::isSafePathComponent(*udid)) {
        return {};
    }
    const std::filesystem::path folder = nimbara::scratchFolder("tmp/" + *udid);
    if (folder.empty()) {
        return {};
    }
    const std::string path = folder.string() + "/";
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!item->localDir_.empty()) {
            return item->localDir_;  // another thread was first
        }
        item->localDir_ = path;
    }
    std::printf("make local dir: %s\n", path.c_str());
    std::fflush(stdout);
    return path;
}

void DeviceManager::OnNotification(int message, const nimbara::md::DeviceHandle& device) {
    if (message == nimbara::md::kMessageAttached) {
        OnDeviceAttached(device);
    } else if (message == nimbara::md::kMessageDetached) {
        OnDeviceDetached(device);
    }
}

void DeviceManager::OnDeviceAttached(const nimbara::md::DeviceHandle& device) {
    auto holder = std::make_shared<BaseDevice>(device);
    std::shared_ptr<DeviceItem> item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const int index = items_.empty() ? 0 : items_.back()->index() + 1;
        item = std::make_shared<DeviceItem>(index, nextSerial_++, holder);
        // Every member is in place before the item can be found; only binding and connecting
        // happen afterwards (binding looks the device up by index in this list).
        item->info_ = std::make_shared<BaseInfo>();
        item->mediaSync_ = std::make_unique<AirTrafficHostHelper>();
        items_.push_back(item);
    }
    const int index = item->index();

    if (item->info_->Init(index) != 0) {
        printLine("New device add failed");
        unlink(item);
        return;
    }
    if (item->mediaSync_->Connect(item->info_->GetUniqueDeviceID(), index) != 0) {
        printLine("The device may not trust");
        unlink(item);
        return;
    }
    item->mediaSync_->StartReader();

    if (DeviceNotify* sink = notify()) {
        sink->DeviceAdded(index);
    }
    printLine("A device added");
}

void DeviceManager::OnDeviceDetached(const nimbara::md::DeviceHandle& device) {
    std::shared_ptr<DeviceItem> item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::shared_ptr<DeviceItem>& candidate : items_) {
            if (candidate->device() && candidate->device()->handle() == device) {
                item = candidate;
                break;
            }
        }
    }
    if (!item) {
        printLine("* Remove an unknown device");
        return;
    }
    removeItem(item);
}

void DeviceManager::removeItem(const std::shared_ptr<DeviceItem>& item) {
    // Handlers may still find and use the item while they are told.
    if (DeviceNotify* sink = notify()) {
        sink->DeviceRemoved(item->index());
    }
    unlink(item);
}

void DeviceManager::unlink(const std::shared_ptr<DeviceItem>& item) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.remove(item);
    }
    // Wake and join the reader now, whoever else still holds the item; what remains is released
    // with the last reference.
    if (item->mediaSync_) {
        item->mediaSync_->Stop();
    }
}

void DeviceManager::Reset() {
    Unsubscribe();
    for (;;) {
        std::shared_ptr<DeviceItem> item;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (items_.empty()) {
                break;
            }
            item = items_.front();
        }
        removeItem(item);
    }
}

}  // namespace amd
