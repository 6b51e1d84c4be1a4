#include "platform/mobiledevice/sim/simulated_library.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QObject>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "platform/log_categories.h"
#include "platform/mobiledevice/event_subscriber.h"
#include "platform/mobiledevice/sim/sim_folder.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_device.h"

namespace fs = std::filesystem;

namespace nimbara::md::sim {

namespace {

constexpr std::chrono::milliseconds kPollInterval{1000};

fs::path normalised(const fs::path& dir) {
    std::error_code ec;
    fs::path path = fs::absolute(dir, ec).lexically_normal();
    if (!path.has_filename() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path();
    }
    return path;
}

QString shown(const fs::path& dir) {
    return QFile::decodeName(dir.c_str());
}

// What a device folder looked like: the folder's stamp (which changes with its entries, so
// with a link put in place of an area) and its device.plist's (zero when it has none). A folder
// refused once is not read again while it looks the same.
struct FolderLook {
    FileStamp folder;
    FileStamp config;
    FolderId id() const { return {folder.dev, folder.ino}; }
    friend bool operator==(const FolderLook&, const FolderLook&) = default;
};

std::optional<FolderLook> lookAt(const fs::path& dir) {
    const auto folder = folderStampAt(dir);
    if (!folder) {
        return std::nullopt;
    }
    return FolderLook{*folder, fileStampAt(dir / kDevicePlist).value_or(FileStamp{})};
}

}  // namespace

// The library's state, shared with the worker and the devices' detach handlers, which reach it
// through weak pointers.
class LibraryCore : public std::enable_shared_from_this<LibraryCore> {
  public:
    explicit LibraryCore(fs::path root) : root_(std::move(root)) {}

    const fs::path& root() const { return root_; }

    DeviceHandle attach(const fs::path& dir, bool direct);
    bool detach(const fs::path& dir, bool direct);
    bool recheck(const fs::path& dir, bool direct);
    void rescan(bool direct);
    void deviceGone(const SimulatedDevice* device, bool keepOut);
    void addSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    void removeSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    std::vector<DeviceHandle> devices() const;
    std::shared_ptr<SimulatedDevice> findByUdid(const std::string& udid) const;
    void detachAllSilently();
    void setReadObserver(std::function<void(const std::string&)> observer);

  private:
    struct Entry {
        fs::path dir;
        std::shared_ptr<SimulatedDevice> device;
        FileStamp configSeen;  // the device.plist stamp the library looked at last
    };

    // Queues the event for every subscriber; returns them for delivery outside the lock.
    std::vector<std::shared_ptr<Subscriber>> broadcastLocked(int message,
                                                             const DeviceHandle& device);
    static void deliver(const std::vector<std::shared_ptr<Subscriber>>& subscribers, bool direct);
    void noteRead(const fs::path& dir);
    // Whether the device.plist of an attached device now names another device.
    bool namesAnotherDevice(const std::shared_ptr<SimulatedDevice>& device);

    const fs::path root_;
    std::mutex rescanMutex_;  // one look at the root at a time
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    // Detached by a fault: not attached again while the same folder is there.
    std::map<fs::path, FolderId> suppressed_;
    // Refused, and how the folder looked then.
    std::map<fs::path, FolderLook> refused_;
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    std::function<void(const std::string&)> readObserver_;
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

void LibraryCore::noteRead(const fs::path& dir) {
    std::function<void(const std::string&)> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        observer = readObserver_;
    }
    if (observer) {
        observer(dir.string());
    }
}

DeviceHandle LibraryCore::attach(const fs::path& dirGiven, bool direct) {
    const fs::path dir = normalised(dirGiven);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.dir == dir) {
                return nullptr;
            }
        }
    }
    std::string why;
    auto folder = DeviceFolder::open(dir, &why);
    if (!folder) {
        qCWarning(lcPlatform).noquote() << "Simulated device folder" << shown(dir)
                                        << "is refused:" << QString::fromStdString(why);
        return nullptr;
    }
    noteRead(dir);
    FileStamp stamp;
    auto config = folder->readConfig(&why, &stamp);
    if (config) {
        const std::string area = folder->linkedArea();
        if (!area.empty()) {
            why = "its " + area +
                  " folder is a link, and a device's areas must lie inside its folder";
            config.reset();
        }
    }
    if (!config) {
        qCWarning(lcPlatform).noquote() << "Simulated device folder" << shown(dir)
                                        << "is refused:" << QString::fromStdString(why);
        std::lock_guard<std::mutex> lock(mutex_);
        refused_[dir] = FolderLook{folder->openedAs(), stamp};
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
        device = std::make_shared<SimulatedDevice>(dir, std::move(*folder), std::move(*config),
                                                   stamp, ++serial_);
        device->setDetachHandler([weak = weak_from_this(), raw = device.get()](bool keepOut) {
            if (auto core = weak.lock()) {
                core->deviceGone(raw, keepOut);
            }
        });
        suppressed_.erase(dir);
        refused_.erase(dir);
        entries_.push_back({dir, device, stamp});
        subscribers = broadcastLocked(
            device->waitReason() != Error::Ok ? kMessageWaiting : kMessageAttached, device);
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

bool LibraryCore::recheck(const fs::path& dirGiven, bool direct) {
    const fs::path dir = normalised(dirGiven);
    std::shared_ptr<SimulatedDevice> device;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : entries_) {
            if (entry.dir == dir) {
                device = entry.device;
            }
        }
    }
    if (!device) {
        return false;
    }
    if (device->refreshWaitReason()) {
        std::vector<std::shared_ptr<Subscriber>> subscribers;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            subscribers = broadcastLocked(
                device->waitReason() != Error::Ok ? kMessageWaiting : kMessageAttached, device);
        }
        deliver(subscribers, direct);
    }
    return true;
}

void LibraryCore::deviceGone(const SimulatedDevice* raw, bool keepOut) {
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& e) { return e.device.get() == raw; });
        if (it == entries_.end()) {
            return;
        }
        auto device = it->device;
        if (keepOut) {
            suppressed_[it->dir] = device->folderId();
        }
        entries_.erase(it);
        device->markDetached();
        subscribers = broadcastLocked(kMessageDetached, device);
    }
    // The device went away in the middle of some call: subscribers hear of it on their own
    // thread's event loop, never inside that call.
    deliver(subscribers, false);
}

bool LibraryCore::namesAnotherDevice(const std::shared_ptr<SimulatedDevice>& device) {
    noteRead(device->dir());
    FileStamp seen;
    auto config = device->folder().readConfig(nullptr, &seen);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& entry : entries_) {
            if (entry.device == device) {
                entry.configSeen = seen;  // a broken file is not read again until it changes
            }
        }
    }
    // An unreadable file may be half-written: the device stays as it is.
    return config && udidOf(*config, device->dir().filename().string()) != device->udid();
}

void LibraryCore::rescan(bool direct) {
    if (root_.empty()) {
        return;
    }
    std::lock_guard<std::mutex> rescanLock(rescanMutex_);
    std::map<fs::path, FolderLook> present;
    std::error_code ec;
    for (fs::directory_iterator it(root_, ec); !ec && it != fs::directory_iterator();
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') {
            continue;
        }
        const fs::path dir = root_ / name;
        auto look = lookAt(dir);
        if (look && look->config != FileStamp{}) {  // a folder without device.plist is no device
            present.emplace(dir, *look);
        }
    }

    std::vector<fs::path> gone;
    std::vector<std::shared_ptr<SimulatedDevice>> changed;
    std::vector<fs::path> fresh;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::set<fs::path> staying;
        for (const auto& entry : entries_) {
            if (entry.dir.parent_path() != root_) {
                staying.insert(entry.dir);
                continue;
            }
            auto it = present.find(entry.dir);
            if (it == present.end() || it->second.id() != entry.device->folderId()) {
                gone.push_back(entry.dir);  // removed, or another folder under its name
                continue;
            }
            staying.insert(entry.dir);
            if (it->second.config != entry.configSeen) {
                changed.push_back(entry.device);
            }
        }
        std::erase_if(suppressed_, [&](const auto& item) {
            auto it = present.find(item.first);
            return it == present.end() || it->second.id() != item.second;
        });
        std::erase_if(refused_, [&](const auto& item) { return !present.count(item.first); });
        for (const auto& [dir, look] : present) {
            auto refused = refused_.find(dir);
            if (!staying.count(dir) && !suppressed_.count(dir) &&
                (refused == refused_.end() || refused->second != look)) {
                fresh.push_back(dir);
            }
        }
    }
    for (const auto& device : changed) {
        if (namesAnotherDevice(device)) {
            detach(device->dir(), direct);
            fresh.push_back(device->dir());
        } else {
            recheck(device->dir(), direct);
        }
    }
    for (const auto& dir : gone) {
        detach(dir, direct);
    }
    for (const auto& dir : fresh) {
        attach(dir, direct);
    }
}

void LibraryCore::setReadObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    readObserver_ = std::move(observer);
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

// Wakes the worker early: set by a watcher, taken by the worker.
struct PollSignal {
    std::mutex mutex;
    std::condition_variable wake;
    bool woken = true;  // the first look comes at once
    bool stopping = false;

    void poke() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            woken = true;
        }
        wake.notify_all();
    }
};

// The worker that looks at the root: every kPollInterval, and at once when poked.
class Poller {
  public:
    explicit Poller(std::weak_ptr<LibraryCore> core)
        : signal_(std::make_shared<PollSignal>()),
          thread_([core = std::move(core), signal = signal_] { run(core, *signal); }) {}

    ~Poller() {
        {
            std::lock_guard<std::mutex> lock(signal_->mutex);
            signal_->stopping = true;
        }
        signal_->wake.notify_all();
        thread_.join();
    }

    const std::shared_ptr<PollSignal>& signal() const { return signal_; }

  private:
    static void run(const std::weak_ptr<LibraryCore>& weak, PollSignal& signal) {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(signal.mutex);
                signal.wake.wait_for(lock, kPollInterval,
                                     [&] { return signal.woken || signal.stopping; });
                if (signal.stopping) {
                    return;
                }
                signal.woken = false;
            }
            if (auto core = weak.lock()) {
                core->rescan(false);
            }
        }
    }

    const std::shared_ptr<PollSignal> signal_;
    std::thread thread_;
};

namespace {

// Watches the root from the subscriber's thread; a change only pokes the worker, which does the
// looking. What the watcher misses (a root made later, a device.plist written after its folder
// appeared) the worker's regular look catches.
void startWatching(const fs::path& root, const std::weak_ptr<PollSignal>& signal,
                   QObject* context) {
    auto* watcher = new QFileSystemWatcher(context);
    const QString path = QFile::decodeName(root.c_str());
    if (QFileInfo(path).isDir()) {
        watcher->addPath(path);
    }
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, context, [signal] {
        if (auto s = signal.lock()) {
            s->poke();
        }
    });
}

}  // namespace

SimulatedLibrary::SimulatedLibrary(std::string root)
    : core_(std::make_shared<LibraryCore>(root.empty() ? fs::path() : normalised(root))) {}

SimulatedLibrary::~SimulatedLibrary() {
    {
        std::lock_guard<std::mutex> lock(pollerMutex_);
        poller_.reset();  // joins the worker
    }
    core_->detachAllSilently();
}

int SimulatedLibrary::subscribe(NotificationCallback callback,
                                std::unique_ptr<Subscription>& subscription) {
    subscription.reset();
    if (!callback) {
        return Error::InvalidArgument;
    }
    auto subscriber = std::make_shared<Subscriber>(std::move(callback));
    std::shared_ptr<PollSignal> signal;
    if (!core_->root().empty()) {
        if (QThread::currentThread()->eventDispatcher()) {
            std::lock_guard<std::mutex> lock(pollerMutex_);
            if (!poller_) {
                poller_ = std::make_unique<Poller>(core_);
            }
            signal = poller_->signal();
            startWatching(core_->root(), signal, subscriber->context());
        } else {
            core_->rescan(true);
        }
    }
    core_->addSubscriber(subscriber);
    if (signal) {
        signal->poke();  // what is under the root arrives through the subscriber's loop
    }
    subscription =
        std::make_unique<RegistrySubscription<LibraryCore>>(core_, std::move(subscriber));
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

bool SimulatedLibrary::recheck(const std::string& deviceDir) {
    return core_->recheck(deviceDir, true);
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

void SimulatedLibrary::setConfigReadObserver(std::function<void(const std::string&)> observer) {
    core_->setReadObserver(std::move(observer));
}

}  // namespace nimbara::md::sim
