#include "device/device_manager.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>
#include <utility>

#include <QCoreApplication>

#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "device/device_status.h"
#include "platform/job_queue.h"
#include "platform/log_categories.h"
#include "platform/main_thread.h"
#include "platform/scratch_dir.h"

namespace amd {

DeviceItem::DeviceItem(int index, std::uint64_t serial, std::shared_ptr<BaseDevice> device)
    : index_(index), serial_(serial), device_(std::move(device)) {}

DeviceItem::~DeviceItem() {
    // The reader must be gone before the values it feeds are released.
    if (mediaSync_) {
        mediaSync_->Stop();
    }
}

DeviceManager::DeviceManager() = default;
DeviceManager::~DeviceManager() = default;

DeviceManager& DeviceManager::GetInstance() {
    static DeviceManager* instance = new DeviceManager();  // lives until exit
    // Its binding worker does not: it is joined as the process ends, if nobody did earlier.
    static struct JoinAtExit {
        ~JoinAtExit() { instance->Shutdown(); }
    } joinAtExit;
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
        qCWarning(lcDevice, "* Subscibe without notify set");
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

std::uint64_t DeviceManager::SerialOfDevice(const std::string& udid) const {
    if (udid.empty()) {
        return 0;
    }
    auto same = [&udid](const std::string& other) {
        return other.size() == udid.size() &&
               std::equal(other.begin(), other.end(), udid.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) ==
                          std::tolower(static_cast<unsigned char>(b));
               });
    };
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::shared_ptr<DeviceItem>& item : items_) {
        const std::shared_ptr<BaseDevice>& device = item->device();
        if (same(item->udid()) && device && device->handle() && device->handle()->attached()) {
            return item->serial();
        }
    }
    return 0;
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
    qCInfo(lcDevice, "make local dir: %s", path.c_str());
    return path;
}

void DeviceManager::OnNotification(int message, const nimbara::md::DeviceHandle& device) {
    if (message == nimbara::md::kMessageAttached) {
        OnDeviceAttached(device);
    } else if (message == nimbara::md::kMessageDetached) {
        OnDeviceDetached(device);
    } else if (message == nimbara::md::kMessageWaiting) {
        OnDeviceWaiting(device);
    } else if (message == nimbara::md::kMessageConnecting && device) {
        noteWaiting(device, DeviceCode::Connecting);
    }
}

int DeviceManager::nextIndexLocked() const {
    int next = items_.empty() ? 0 : items_.back()->index() + 1;
    for (const std::shared_ptr<DeviceItem>& item : binding_) {
        next = std::max(next, item->index() + 1);
    }
    return next;
}

bool DeviceManager::knownLocked(const nimbara::md::DeviceHandle& device) const {
    for (const auto* list : {&items_, &binding_}) {
        for (const std::shared_ptr<DeviceItem>& known : *list) {
            if (known->device()->handle() == device) {
                return true;
            }
        }
    }
    return false;
}

void DeviceManager::OnDeviceAttached(const nimbara::md::DeviceHandle& device) {
    if (!device) {
        return;
    }
    // Said to be connecting until it is added (or refused): its values are read first.
    noteWaiting(device, DeviceCode::Connecting);
    auto holder = std::make_shared<BaseDevice>(device);
    std::shared_ptr<DeviceItem> item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (knownLocked(device)) {
            return;  // told twice
        }
        item = std::make_shared<DeviceItem>(nextIndexLocked(), nextSerial_++, holder);
        // Every member is in place before the item is listed; binding fills them in.
        item->info_ = std::make_shared<BaseInfo>();
        item->mediaSync_ = std::make_unique<AirTrafficHostHelper>();
        binding_.push_back(item);
    }

    // Off the main thread when it runs an event loop to hear the result on; otherwise (tests
    // without an application, a subscriber on another thread) right here.
    if (!QCoreApplication::instance() || !nimbara::isMainThread()) {
        finishBind(item, bindItem(item));
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!binder_) {
        binder_ = std::make_unique<nimbara::JobQueue>();
    }
    // Not run when the device detached or the manager was reset before its turn.
    binder_->post(
        [this, item](const nimbara::JobQueue::StopCheck&) {
            const int rc = bindItem(item);
            // Dropped at exit, when the main thread takes no more calls.
            nimbara::postToMain([this, item, rc] { finishBind(item, rc); });
        },
        [this, item] { return isBinding(item); });
}

int DeviceManager::bindItem(const std::shared_ptr<DeviceItem>& item) {
    const int index = item->index();
    if (item->info_->Bind(index, item->device()) != 0) {
        return 1;
    }
    const std::optional<std::string> udid = item->info_->GetUniqueDeviceID();
    if (!udid) {
        return 2;  // not even its values: it does not let us in
    }
    // Not listed yet: nobody reads it before finishBind lists the item under the lock.
    item->udid_ = *udid;
    if (item->mediaSync_->Connect(udid, index, item->serial(), item->device()) == 0) {
        return 0;
    }
    // No media-sync session. A device that still starts a session with us trusts this computer:
    // it is kept, with storage figures nobody reported. Only one that refuses it stays out.
    if (!SessionStarts(*item->device())) {
        return 2;
    }
    item->info_->SetValues(UnknownAssetMetrics());
    qCInfo(lcDevice, "No storage metrics from the device: its figures are unknown");
    return 0;
}

bool DeviceManager::isBinding(const std::shared_ptr<DeviceItem>& item) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(binding_.begin(), binding_.end(), item) != binding_.end();
}

void DeviceManager::finishBind(const std::shared_ptr<DeviceItem>& item, int rc) {
    bool wanted = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::find(binding_.begin(), binding_.end(), item);
        if (it != binding_.end()) {
            binding_.erase(it);
            wanted = true;
            if (rc == 0) {
                items_.push_back(item);
            }
        }
    }
    if (!wanted || rc != 0) {
        if (wanted) {
            qCWarning(lcDevice, "%s",
                      rc == 1 ? "New device add failed" : "The device may not trust");
        }
        // No reader was started: this only closes the session.
        item->mediaSync_->Stop();
        endWaiting(item->device()->handle());
        return;
    }
    if (item->mediaSync_->connected()) {
        item->mediaSync_->StartReader();
    }
    if (DeviceNotify* sink = notify()) {
        sink->DeviceAdded(item->index());
    }
    endWaiting(item->device()->handle());  // after the add: the sink hears of no gap
    qCInfo(lcDevice, "A device added");
}

void DeviceManager::OnDeviceDetached(const nimbara::md::DeviceHandle& device) {
    const bool wasWaiting = endWaiting(device);
    std::shared_ptr<DeviceItem> item;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const std::shared_ptr<DeviceItem>& candidate : items_) {
            if (candidate->device() && candidate->device()->handle() == device) {
                item = candidate;
                break;
            }
        }
        if (!item) {
            // Gone before it was ready: never announced, so nothing to tell.
            const auto before = binding_.size();
            binding_.remove_if([&](const std::shared_ptr<DeviceItem>& candidate) {
                return candidate->device()->handle() == device;
            });
            if (binding_.size() != before) {
                return;
            }
        }
    }
    if (!item) {
        if (!wasWaiting) {
            qCWarning(lcDevice, "* Remove an unknown device");
        }
        return;
    }
    removeItem(item);
}

void DeviceManager::OnDeviceWaiting(const nimbara::md::DeviceHandle& device) {
    if (!device) {
        return;
    }
    noteWaiting(device, device->waitReason());
}

void DeviceManager::noteWaiting(const nimbara::md::DeviceHandle& device, int reason) {
    if (reason == nimbara::md::Error::Ok) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // A device in use stays in use; it is told about when it goes.
        if (knownLocked(device)) {
            return;
        }
        auto it = std::find_if(waiting_.begin(), waiting_.end(),
                               [&](const auto& entry) { return entry.first == device; });
        if (it == waiting_.end()) {
            waiting_.emplace_back(device, reason);
        } else if (it->second == reason) {
            return;
        } else {
            it->second = reason;
        }
    }
    if (DeviceNotify* sink = notify()) {
        sink->DeviceWaiting(device->identifier(), reason);
    }
}

bool DeviceManager::endWaiting(const nimbara::md::DeviceHandle& device) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(waiting_.begin(), waiting_.end(),
                               [&](const auto& entry) { return entry.first == device; });
        if (it == waiting_.end()) {
            return false;
        }
        waiting_.erase(it);
    }
    if (DeviceNotify* sink = notify()) {
        sink->DeviceWaiting(device->identifier(), 0);
    }
    return true;
}

std::size_t DeviceManager::BindsPending() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return binding_.size();
}

bool DeviceManager::BindingIdle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return binding_.empty() && (!binder_ || binder_->idle());
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
    std::list<std::pair<nimbara::md::DeviceHandle, int>> waiting;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        binding_.clear();  // their binds end unheard
        std::swap(waiting, waiting_);
    }
    if (DeviceNotify* sink = notify()) {
        for (const auto& entry : waiting) {
            sink->DeviceWaiting(entry.first->identifier(), 0);
        }
    }
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

void DeviceManager::Shutdown() {
    std::unique_ptr<nimbara::JobQueue> binder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::swap(binder, binder_);
    }
    if (!binder) {
        return;
    }
    binder->reset();  // queued binds never run
    // At exit only: the bind in progress talks to the library, which goes next.
    while (!binder->idle()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace amd
