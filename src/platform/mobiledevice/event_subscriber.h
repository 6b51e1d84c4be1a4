// One subscriber of attach and detach events, bound to the thread that subscribed.
//
// Events wait in a queue and reach the callback in order, always on the subscriber's thread:
// directly when the delivering code runs on that thread and asks for it, otherwise through a
// queued call on the subscriber's context object (which needs that thread's event loop).
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/mobiledevice/mobile_device.h"

class QObject;
class QThread;

namespace nimbara::md {

class Subscriber : public std::enable_shared_from_this<Subscriber> {
  public:
    explicit Subscriber(NotificationCallback callback);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // The object that lives on the subscriber's thread; parent of its watchers.
    QObject* context() const { return context_; }

    void enqueue(int message, DeviceHandle device);
    // Hands the queued events to the callback (see above).
    void deliver(bool direct);
    // Stops deliveries and releases the context object; call on the subscriber's thread.
    void shutdown();

  private:
    void drain(bool queued);

    const NotificationCallback callback_;
    QThread* const thread_;
    std::mutex mutex_;
    QObject* context_;
    std::deque<std::pair<int, DeviceHandle>> queue_;
    bool active_ = true;
    bool draining_ = false;
    bool inQueuedDrain_ = false;
    bool posted_ = false;
};

// What subscribe() hands out: ends the subscriber's deliveries and takes it off its registry
// (any object with removeSubscriber(), held weakly: the subscription may outlive it).
template <typename Registry>
class RegistrySubscription : public Subscription {
  public:
    RegistrySubscription(std::weak_ptr<Registry> registry, std::shared_ptr<Subscriber> subscriber)
        : registry_(std::move(registry)), subscriber_(std::move(subscriber)) {}
    ~RegistrySubscription() override {
        if (auto registry = registry_.lock()) {
            registry->removeSubscriber(subscriber_);
        }
        subscriber_->shutdown();
    }

  private:
    std::weak_ptr<Registry> registry_;
    std::shared_ptr<Subscriber> subscriber_;
};

}  // namespace nimbara::md
