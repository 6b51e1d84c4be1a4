#include "platform/mobiledevice/imd/imd_library.h"

#include <QDebug>

#include <algorithm>
#include <atomic>

#include "platform/log_categories.h"
#include "platform/mobiledevice/event_subscriber.h"
#include "platform/mobiledevice/imd/imd_device.h"
#include "platform/mobiledevice/imd/imd_errors.h"
#include "platform/mobiledevice/imd/trust_wait.h"

namespace nimbara::md::imd {

using Clock = std::chrono::steady_clock;

// A device's trust check, on a thread of its own: it talks to the device, which may take up to
// the device's timeout (or hang until the device is marked detached), while the watcher goes on
// with the other devices. Its result comes back to the watcher as a Checked event.
struct TrustCheck {
    std::thread thread;
    std::atomic<bool> done{false};
};

// The watcher's state. Entries change only on the watcher thread; others read them under the
// mutex. Every check thread is joined by the watcher once it is done, or by finish().
class WatchCore {
  public:
    using Factory =
        std::function<std::shared_ptr<WatchedDevice>(const RawDeviceEvent&, std::uint64_t)>;

    WatchCore(Factory factory, std::chrono::milliseconds trustRetry)
        : factory_(std::move(factory)), trustRetry_(trustRetry) {}

    const std::shared_ptr<EventInbox>& inbox() const { return inbox_; }

    void run();
    void addSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    void removeSubscriber(const std::shared_ptr<Subscriber>& subscriber);
    std::vector<DeviceHandle> attachedDevices() const;
    std::shared_ptr<WatchedDevice> findAttached(const std::string& udid) const;
    // Marks every device detached (ending their checks' calls), forgets them and joins the
    // checks. After the watcher stopped.
    void finish();

  private:
    enum class State { Waiting, Attached };
    struct Entry {
        std::uint32_t handle = 0;
        std::shared_ptr<WatchedDevice> device;
        State state = State::Waiting;
        bool reported = false;  // subscribers heard that it is connecting or waiting
        int reason = Error::Ok;
        bool retry = false;
        Clock::time_point retryAt;
        std::chrono::milliseconds retryDelay{0};  // grows while the reason stays the same
        std::shared_ptr<TrustCheck> check;        // the latest one; running or done
        bool again = false;  // asked again while the check ran: check once more after it
    };

    void handle(const RawDeviceEvent& event);
    void added(const RawDeviceEvent& event);
    void removed(std::uint32_t handle);
    // Starts a trust check of the device (unless one is running).
    void tryUse(std::uint32_t handle);
    // Reports what came of a check.
    void checked(std::uint32_t handle, int rc);
    // Joins the checks of removed devices that are done.
    void reapChecks();
    Entry* findLocked(std::uint32_t handle);
    // Queues an event for every subscriber; returns them for delivery outside the lock.
    std::vector<std::shared_ptr<Subscriber>> broadcastLocked(int message,
                                                             const DeviceHandle& device);
    static void deliver(const std::vector<std::shared_ptr<Subscriber>>& subscribers);

    const Factory factory_;
    const std::chrono::milliseconds trustRetry_;
    const std::shared_ptr<EventInbox> inbox_ = std::make_shared<EventInbox>();
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
    std::vector<std::shared_ptr<TrustCheck>> ending_;  // of removed devices; watcher thread only
    std::vector<std::shared_ptr<Subscriber>> subscribers_;
    std::uint64_t serial_ = 0;
};

namespace {

QString shown(const std::string& udid) {
    return QString::fromStdString(udid);
}

}  // namespace

void WatchCore::run() {
    for (;;) {
        Clock::time_point until = Clock::now() + std::chrono::hours(1);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (const Entry& entry : entries_) {
                if (entry.retry) {
                    until = std::min(until, entry.retryAt);
                }
            }
        }
        if (auto event = inbox_->take(until)) {
            handle(*event);
        }
        if (inbox_->stopped()) {
            return;
        }
        reapChecks();
        std::vector<std::uint32_t> due;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const auto now = Clock::now();
            for (const Entry& entry : entries_) {
                if (entry.retry && entry.retryAt <= now) {
                    due.push_back(entry.handle);
                }
            }
        }
        for (std::uint32_t handle : due) {
            tryUse(handle);
        }
    }
}

void WatchCore::handle(const RawDeviceEvent& event) {
    switch (event.kind) {
        case RawDeviceEvent::Kind::Added:
            added(event);
            break;
        case RawDeviceEvent::Kind::Removed:
            removed(event.muxHandle);
            break;
        case RawDeviceEvent::Kind::Checked:
            checked(event.muxHandle, event.result);
            break;
        case RawDeviceEvent::Kind::Paired: {
            bool waiting = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                const Entry* entry = findLocked(event.muxHandle);
                waiting = entry && entry->state == State::Waiting;
            }
            if (waiting) {
                tryUse(event.muxHandle);
            }
            break;
        }
    }
}

WatchCore::Entry* WatchCore::findLocked(std::uint32_t handle) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& entry) { return entry.handle == handle; });
    return it == entries_.end() ? nullptr : &*it;
}

void WatchCore::added(const RawDeviceEvent& event) {
    if (!isPlausibleUdid(event.udid)) {
        qCWarning(lcPlatform).noquote()
            << "A USB device with an unusable identifier is left alone.";
        return;
    }
    std::vector<std::uint32_t> stale;
    std::uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (findLocked(event.muxHandle)) {
            return;  // reported twice
        }
        // The same device under another attachment: its removal was missed.
        for (const Entry& entry : entries_) {
            if (entry.device->udid() == event.udid) {
                stale.push_back(entry.handle);
            }
        }
        serial = ++serial_;
    }
    for (std::uint32_t handle : stale) {
        removed(handle);
    }
    std::shared_ptr<WatchedDevice> device = factory_ ? factory_(event, serial) : nullptr;
    if (!device) {
        qCWarning(lcPlatform).noquote()
            << "The device" << shown(event.udid) << "could not be opened.";
        return;
    }
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // Its check may take a while (each of a slow device's answers): it is said to be
        // connecting meanwhile.
        Entry entry;
        entry.handle = event.muxHandle;
        entry.device = std::move(device);
        entry.reported = true;
        subscribers = broadcastLocked(kMessageConnecting, entry.device);
        entries_.push_back(std::move(entry));
    }
    deliver(subscribers);
    tryUse(event.muxHandle);
}

void WatchCore::removed(std::uint32_t handle) {
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(entries_.begin(), entries_.end(),
                               [&](const Entry& entry) { return entry.handle == handle; });
        if (it == entries_.end()) {
            return;
        }
        Entry entry = std::move(*it);
        entries_.erase(it);
        if (entry.check) {
            ending_.push_back(std::move(entry.check));  // its call ends with the detach below
        }
        // Calls on the device fail from here on, before anybody hears that it went.
        entry.device->markDetached();
        if (entry.state == State::Attached || entry.reported) {
            subscribers = broadcastLocked(kMessageDetached, entry.device);
        }
    }
    deliver(subscribers);
}

void WatchCore::tryUse(std::uint32_t handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* entry = findLocked(handle);
    if (!entry || entry->state == State::Attached) {
        return;
    }
    entry->retry = false;
    if (entry->check && !entry->check->done.load()) {
        entry->again = true;  // what it finds may be stale by now
        return;
    }
    if (entry->check) {
        entry->check->thread.join();  // done: returns at once
    }
    entry->again = false;
    auto check = std::make_shared<TrustCheck>();
    // The thread holds the device and the inbox, never this core; the check outlives it (joined
    // before it goes).
    check->thread =
        std::thread([device = entry->device, inbox = inbox_, handle, done = &check->done] {
            RawDeviceEvent event;
            event.kind = RawDeviceEvent::Kind::Checked;
            event.muxHandle = handle;
            event.result = device->checkTrust();
            done->store(true);  // before the watcher hears of it: it may start the next check
            inbox->post(std::move(event));
        });
    entry->check = std::move(check);
}

void WatchCore::checked(std::uint32_t handle, int rc) {
    std::vector<std::shared_ptr<Subscriber>> subscribers;
    bool again = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        Entry* entry = findLocked(handle);
        if (!entry || entry->state == State::Attached) {
            return;  // gone meanwhile
        }
        const std::shared_ptr<WatchedDevice>& device = entry->device;
        again = entry->again && rc != Error::Ok && rc != Error::DeviceGone;
        if (rc == Error::Ok) {
            device->setWaitReason(Error::Ok);
            entry->state = State::Attached;
            entry->reason = Error::Ok;
            subscribers = broadcastLocked(kMessageAttached, device);
        } else if (rc != Error::DeviceGone) {
            device->setWaitReason(rc);
            const bool changed = !entry->reported || entry->reason != rc;
            entry->reason = rc;
            entry->reported = true;
            // A device that waits for its user is asked less and less often: every question
            // may reach its screen. A refusal is asked again only on a new plug (or when usbmuxd
            // says another program paired it).
            entry->retryDelay = nextTrustWait(trustRetry_, entry->retryDelay, changed);
            entry->retry = rc != Error::PairingRefused;
            entry->retryAt = Clock::now() + entry->retryDelay;
            if (changed) {
                qCWarning(lcPlatform).noquote()
                    << "The device" << shown(device->udid())
                    << "can't be used yet:" << QString::fromStdString(errorText(rc));
                subscribers = broadcastLocked(kMessageWaiting, device);
            }
        }
    }
    deliver(subscribers);
    if (again) {
        tryUse(handle);
    }
}

void WatchCore::reapChecks() {
    std::erase_if(ending_, [](const std::shared_ptr<TrustCheck>& check) {
        if (!check->done.load()) {
            return false;
        }
        check->thread.join();
        return true;
    });
}

std::vector<std::shared_ptr<Subscriber>> WatchCore::broadcastLocked(int message,
                                                                    const DeviceHandle& device) {
    for (const auto& subscriber : subscribers_) {
        subscriber->enqueue(message, device);
    }
    return subscribers_;
}

void WatchCore::deliver(const std::vector<std::shared_ptr<Subscriber>>& subscribers) {
    for (const auto& subscriber : subscribers) {
        subscriber->deliver(false);  // through the subscriber's own event loop
    }
}

void WatchCore::addSubscriber(const std::shared_ptr<Subscriber>& subscriber) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        subscribers_.push_back(subscriber);
        for (const Entry& entry : entries_) {
            if (entry.state == State::Attached) {
                subscriber->enqueue(kMessageAttached, entry.device);
            } else if (entry.reported) {
                // Not checked yet: still connecting.
                subscriber->enqueue(
                    entry.reason == Error::Ok ? kMessageConnecting : kMessageWaiting, entry.device);
            }
        }
    }
    subscriber->deliver(true);
}

void WatchCore::removeSubscriber(const std::shared_ptr<Subscriber>& subscriber) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(subscribers_, subscriber);
}

std::vector<DeviceHandle> WatchCore::attachedDevices() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<DeviceHandle> devices;
    for (const Entry& entry : entries_) {
        if (entry.state == State::Attached) {
            devices.push_back(entry.device);
        }
    }
    return devices;
}

std::shared_ptr<WatchedDevice> WatchCore::findAttached(const std::string& udid) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.state == State::Attached && entry.device->udid() == udid) {
            return entry.device;
        }
    }
    return nullptr;
}

void WatchCore::finish() {
    std::vector<std::shared_ptr<TrustCheck>> checks = std::move(ending_);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Entry& entry : entries_) {
            entry.device->markDetached();  // a check talking to it returns now
            if (entry.check) {
                checks.push_back(std::move(entry.check));
            }
        }
        entries_.clear();
        subscribers_.clear();
    }
    for (const auto& check : checks) {
        check->thread.join();
    }
}

ImdLibrary::ImdLibrary() : ImdLibrary(Options{}) {}

ImdLibrary::ImdLibrary(Options options)
    : core_(std::make_shared<WatchCore>(
          options.makeDevice ? std::move(options.makeDevice)
                             : [limits = ImdDevice::Limits{options.timeout, options.diskUsageFresh,
                                                           options.sessionIdle}](
                                   const RawDeviceEvent& event,
                                   std::uint64_t serial) -> std::shared_ptr<WatchedDevice> {
              return ImdDevice::open(event.udid, event.muxHandle, serial, limits);
          },
          options.trustRetry)),
      source_(options.source ? std::move(options.source) : makeUsbmuxEventSource()) {}

ImdLibrary::~ImdLibrary() {
    source_->stop();  // nothing is posted any more
    core_->inbox()->stop();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    core_->finish();
}

void ImdLibrary::startWatching() {
    std::lock_guard<std::mutex> lock(startMutex_);
    if (started_) {
        return;
    }
    started_ = true;
    watcher_ = std::thread([core = core_] { core->run(); });
    if (int rc = source_->start(core_->inbox())) {
        qCWarning(lcPlatform).noquote() << "Device events could not be subscribed to (" << rc
                                        << "): is the usbmuxd service running?";
    }
}

int ImdLibrary::subscribe(NotificationCallback callback,
                          std::unique_ptr<Subscription>& subscription) {
    subscription.reset();
    if (!callback) {
        return Error::InvalidArgument;
    }
    auto subscriber = std::make_shared<Subscriber>(std::move(callback));
    core_->addSubscriber(subscriber);
    startWatching();
    subscription = std::make_unique<RegistrySubscription<WatchCore>>(core_, std::move(subscriber));
    return Error::Ok;
}

std::unique_ptr<MediaSyncConnection> ImdLibrary::createMediaSyncConnection(
    const std::string& /*libraryId*/, const std::string& deviceId) {
    auto device = core_->findAttached(deviceId);
    return device ? device->openMediaSync() : nullptr;
}

std::vector<DeviceHandle> ImdLibrary::attachedDevices() const {
    return core_->attachedDevices();
}

}  // namespace nimbara::md::imd
