#include "platform/notification_center.h"

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace nimbara {

struct NotificationCenter::Observer {
    std::uint64_t id = 0;
    std::string name;
    Handler handler;

    std::mutex mutex;
    std::condition_variable idle;
    bool removed = false;
    std::vector<std::thread::id> running;  // threads inside the handler now
};

ObserverToken& ObserverToken::operator=(ObserverToken&& o) noexcept {
    if (this != &o) {
        reset();
        center_ = o.center_;
        id_ = o.id_;
        o.center_ = nullptr;
    }
    return *this;
}

void ObserverToken::reset() {
    if (center_) {
        center_->remove(id_);
        center_ = nullptr;
    }
}

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter() {
    // Never destroyed: observers owned by static objects may unregister during exit.
    static NotificationCenter* center = new NotificationCenter;
    return *center;
}

ObserverToken NotificationCenter::addObserver(const std::string& name, Handler handler) {
    auto observer = std::make_shared<Observer>();
    observer->name = name;
    observer->handler = std::move(handler);
    std::lock_guard<std::mutex> lock(mutex_);
    observer->id = nextId_++;
    observers_.push_back(observer);
    return ObserverToken(this, observer->id);
}

void NotificationCenter::post(const std::string& name, std::any object) {
    post(Notification{name, std::move(object)});
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Observer>> targets;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& o : observers_) {
            if (o->name == notification.name) {
                targets.push_back(o);
            }
        }
    }
    const auto self = std::this_thread::get_id();
    for (const auto& o : targets) {
        {
            std::lock_guard<std::mutex> lock(o->mutex);
            if (o->removed) {
                continue;
            }
            o->running.push_back(self);
        }
        o->handler(notification);
        {
            std::lock_guard<std::mutex> lock(o->mutex);
            o->running.erase(std::find(o->running.begin(), o->running.end(), self));
        }
        o->idle.notify_all();
    }
}

void NotificationCenter::remove(std::uint64_t id) {
    std::shared_ptr<Observer> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = std::find_if(observers_.begin(), observers_.end(),
                               [id](const auto& o) { return o->id == id; });
        if (it == observers_.end()) {
            return;
        }
        observer = *it;
        observers_.erase(it);
    }
    const auto self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(observer->mutex);
    observer->removed = true;
    // Wait for deliveries on other threads; a handler that removes itself does not wait for
    // itself.
    observer->idle.wait(lock, [&] {
        return std::all_of(observer->running.begin(), observer->running.end(),
                           [&](std::thread::id t) { return t == self; });
    });
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(observers_.begin(), observers_.end(),
                                                  [&](const auto& o) { return o->name == name; }));
}

}  // namespace nimbara
