#include "platform/mobiledevice/sim/simulated_library.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/sim_subscriber.h"
#include "platform/mobiledevice/sim/simulated_device.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

constexpr int kPollIntervalMs = 1000;

fs::path normalised(const fs::path& dir) {
    std::error_code ec;
    fs::path path = fs::absolute(dir, ec).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path();
    }
    return path;
}

}  // namespace

// The library's state, shared with the watchers and the devices' fault handlers, which reach it
// through weak pointers.
class LibraryCore : public std::enable_shared_from_this<LibraryCore> {
  public:
    explicit LibraryCore(fs::path root) : root_(std::move(root)) {}

    const fs::path& root() const { return root_; }

    DeviceHandle attach(const fs::path& dir, bool direct);
    bool detach(const fs::path& dir, bool direct);
    void rescan(bool direct);
    void faultDetach(const SimulatedDevice* device);
    void addSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    void removeSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    std::vector<DeviceHandle> devices() const;
    std::shared_ptr<SimulatedDevice> findByUdid(const std::string& udid) const;
    void detachAllSilently();

  private:
    struct Entry {
        fs::path dir;
        std::shared_ptr<SimulatedDevice> device;
    };

    // Queues the event for every subscriber; returns them for delivery outside the lock.
    std::vector<std::shared_ptr<Subscriber>> broadcastLocked(int message,
                                                             const DeviceHandle& device);
    static void deliver(const std::vector<std::shared_ptr<Subscriber>>& subscribers, bool direct);

    const fs::path root_;
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::set<fs::path> suppressed_;  // detached by a fault: not attached again by a rescan
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    std::uint64_t serial_ = 0;
};

std::vector<std::shared_ptr<Subscriber>> LibraryCore::broadcastLocked(int message,
                                                                      const DeviceHandle& device) {
    for (const auto& subscriber : subscribers_) {
        subscriber->enqueue(message, device);
    }
    return subscribers_;
}

void LibraryCore::deliver(const std::vector<std::shared_ptr<Subscriber>>& subscribers,
                          bool direct) {
    for (const auto& subscriber : subscribers) {
        subscriber->deliver(direct);
    }
}

DeviceHandle LibraryCore::attach(const fs::path& dirGiven, bool direct) {
    const fs::path dir = normalised(dirGiven);
    auto config = PlistValue::readFile((dir / kDevicePlist).string());
    if (!config || !config->isDict()) {
        return nullptr;
    }
    std::shared_ptr<SimulatedDevice> device;
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.dir == dir) {
                return nullptr;
            }
        }
        device = std::make_shared<SimulatedDevice>(dir, std::move(*config), ++serial_);
        device->setFaultDetachHandler([weak = weak_from_this(), raw = device.get()] {
            if (auto core = weak.lock()) {
                core->faultDetach(raw);
            }
        });
        suppressed_.erase(dir);
        entries_.push_back({dir, device});
        subscribers = broadcastLocked(kMessageAttached, device);
    }
    deliver(subscribers, direct);
    return device;
}

bool LibraryCore::detach(const fs::path& dirGiven, bool direct) {
    const fs::path dir = normalised(dirGiven);
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.dir == dir; });
        if (it == entries_.end()) {
            return false;
        }
        auto device = it->device;
        entries_.erase(it);
        device->markDetached();
        subscribers = broadcastLocked(kMessageDetached, device);
    }
    deliver(subscribers, direct);
    return true;
}

void LibraryCore::faultDetach(const SimulatedDevice* raw) {
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.device.get() == raw; });
        if (it == entries_.end()) {
            return;
        }
        auto device = it->device;
        suppressed_.insert(it->dir);
        entries_.erase(it);
        device->markDetached();
        subscribers = broadcastLocked(kMessageDetached, device);
    }
    // The device went away in the middle of some call: subscribers hear of it on their own
    // thread's event loop, never inside that call.
    deliver(subscribers, false);
}

void LibraryCore::rescan(bool direct) {
    if (root_.empty()) {
        return;
    }
    std::set<fs::path> present;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (!name.empty() && name.front() != '.' && it->is_directory(typeError) &&
            fs::is_regular_file(it->path() / kDevicePlist, typeError)) {
            present.insert(root_ / name);
        }
    }
    std::vector<fs::path> gone;
    std::vector<fs::path> fresh;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::set<fs::path> attached;
        for (const auto& entry : entries_) {
            attached.insert(entry.dir);
            if (entry.dir.parent_path() == root_ && !present.count(entry.dir)) {
                gone.push_back(entry.dir);
            }
        }
        for (auto it = suppressed_.begin(); it != suppressed_.end();) {
            it = present.count(*it) ? std::next(it) : suppressed_.erase(it);
        }
        for (const auto& dir : present) {
            if (!attached.count(dir) && !suppressed_.count(dir)) {
                fresh.push_back(dir);
            }
        }
    }
    for (const auto& dir : gone) {
        detach(dir, direct);
    }
    for (const auto& dir : fresh) {
        attach(dir, direct);
    }
}

void LibraryCore::addSubscriber(const std::shared_ptr<Subscriber>& subscriber) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        subscribers_.push_back(subscriber);
        for (const auto& entry : entries_) {
            subscriber->enqueue(kMessageAttached, entry.device);
        }
    }
    subscriber->deliver(true);
}

void LibraryCore::removeSubscriber(const std::shared_ptr<Subscriber>& subscriber) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(subscribers_, subscriber);
}

std::vector<DeviceHandle> LibraryCore::devices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeviceHandle> handles;
    for (const auto& entry : entries_) {
        handles.push_back(entry.device);
    }
    return handles;
}

std::shared_ptr<SimulatedDevice> LibraryCore::findByUdid(const std::string& udid) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : entries_) {
        if (entry.device->udid() == udid) {
            return entry.device;
        }
    }
    return nullptr;
}

void LibraryCore::detachAllSilently() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& entry : entries_) {
        entry.device->markDetached();
    }
    entries_.clear();
    subscribers_.clear();
}

namespace {

class SimSubscription : public Subscription {
  public:
    SimSubscription(std::weak_ptr<LibraryCore> core, std::shared_ptr<Subscriber> subscriber)
        : core_(std::move(core)), subscriber_(std::move(subscriber)) {}
    ~SimSubscription() override {
        if (auto core = core_.lock()) {
            core->removeSubscriber(subscriber_);
        }
        subscriber_->shutdown();
    }

  private:
    std::weak_ptr<LibraryCore> core_;
    std::shared_ptr<Subscriber> subscriber_;
};

// Watches the root from the subscriber's thread: a change of the folder, or the poll that
// catches what the watcher misses (a device.plist written after its folder appeared).
void startWatching(const std::shared_ptr<LibraryCore>& core, QObject* context) {
    const QString root = QFile::decodeName(core->root().c_str());
    auto* watcher = new QFileSystemWatcher(context);
    if (QFileInfo(root).isDir()) {
        watcher->addPath(root);
    }
    std::weak_ptr<LibraryCore> weak = core;
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, context, [weak] {
        if (auto c = weak.lock()) {
            c->rescan(false);
        }
    });
    auto* timer = new QTimer(context);
    timer->setInterval(kPollIntervalMs);
    QObject::connect(timer, &QTimer::timeout, context, [weak, watcher, root] {
        if (watcher->directories().isEmpty() && QFileInfo(root).isDir()) {
            watcher->addPath(root);
        }
        if (auto c = weak.lock()) {
            c->rescan(false);
        }
    });
    timer->start();
}

}  // namespace

SimulatedLibrary::SimulatedLibrary(std::string root)
    : core_(std::make_shared<LibraryCore>(root.empty() ? fs::path() : normalised(root))) {}

SimulatedLibrary::~SimulatedLibrary() {
    core_->detachAllSilently();
}

int SimulatedLibrary::subscribe(NotificationCallback callback,
                                std::unique_ptr<Subscription>& subscription) {
    subscription.reset();
    if (!callback) {
        return Error::InvalidArgument;
    }
    auto subscriber = std::make_shared<Subscriber>(std::move(callback));
    if (!core_->root().empty()) {
        core_->rescan(true);
        if (QThread::currentThread()->eventDispatcher()) {
            startWatching(core_, subscriber->context());
        }
    }
    core_->addSubscriber(subscriber);
    subscription = std::make_unique<SimSubscription>(core_, std::move(subscriber));
    return Error::Ok;
}

std::unique_ptr<MediaSyncConnection> SimulatedLibrary::createMediaSyncConnection(
    const std::string& /*libraryId*/, const std::string& deviceId) {
    auto device = core_->findByUdid(deviceId);
    return device ? device->openMediaSync() : nullptr;
}

DeviceHandle SimulatedLibrary::attach(const std::string& deviceDir) {
    return core_->attach(deviceDir, true);
}

bool SimulatedLibrary::detach(const std::string& deviceDir) {
    return core_->detach(deviceDir, true);
}

void SimulatedLibrary::rescan() {
    core_->rescan(true);
}

std::vector<DeviceHandle> SimulatedLibrary::attachedDevices() const {
    return core_->devices();
}

std::shared_ptr<SimulatedDevice> SimulatedLibrary::findByUdid(const std::string& udid) const {
    return core_->findByUdid(udid);
}

void SimulatedLibrary::pushMediaSyncMessage(const std::string& udid, const PlistValue& message) {
    if (auto device = core_->findByUdid(udid)) {
        device->pushMediaSyncMessage(message);
    }
}

}  // namespace nimbara::md::sim
