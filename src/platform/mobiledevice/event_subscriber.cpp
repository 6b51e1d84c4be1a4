#include "platform/mobiledevice/event_subscriber.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace nimbara::md {

Subscriber::Subscriber(NotificationCallback callback)
    : callback_(std::move(callback)), thread_(QThread::currentThread()), context_(new QObject) {}

Subscriber::~Subscriber() {
    // Normally released by shutdown(); a subscriber dropped without it still frees its object.
    if (context_) {
        if (QThread::currentThread() == context_->thread()) {
            delete context_;
        } else {
            context_->deleteLater();
        }
    }
}

void Subscriber::enqueue(int message, DeviceHandle device) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (active_) {
        queue_.emplace_back(message, std::move(device));
    }
}

void Subscriber::deliver(bool direct) {
    if (direct && QThread::currentThread() == thread_) {
        drain(false);
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!active_ || !context_ || posted_ || queue_.empty()) {
        return;
    }
    posted_ = true;
    QMetaObject::invokeMethod(
        context_,
        [weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->drain(true);
            }
        },
        Qt::QueuedConnection);
}

void Subscriber::drain(bool queued) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (queued) {
            posted_ = false;
        }
        if (draining_) {
            return;  // a callback delivered more events: the running loop takes them
        }
        draining_ = true;
        inQueuedDrain_ = queued;
    }
    for (;;) {
        std::pair<int, DeviceHandle> event;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!active_ || queue_.empty()) {
                draining_ = false;
                inQueuedDrain_ = false;
                return;
            }
            event = std::move(queue_.front());
            queue_.pop_front();
        }
        callback_(event.first, event.second);
    }
}

void Subscriber::shutdown() {
    QObject* context = nullptr;
    bool deferred = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        active_ = false;
        queue_.clear();
        context = context_;
        context_ = nullptr;
        deferred = inQueuedDrain_;
    }
    if (!context) {
        return;
    }
    // Inside a queued call the context object is on the stack: it goes once that call returns.
    if (!deferred && QThread::currentThread() == context->thread()) {
        delete context;
    } else {
        context->deleteLater();
    }
}

}  // namespace nimbara::md
