#include "platform/mobiledevice/imd/imd_events.h"

#include <usbmuxd.h>

#include <cstring>

namespace nimbara::md::imd {

void EventInbox::post(RawDeviceEvent event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) {
            return;
        }
        events_.push_back(std::move(event));
    }
    wake_.notify_all();
}

std::optional<RawDeviceEvent> EventInbox::take(std::chrono::steady_clock::time_point until) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_until(lock, until, [&] { return stopped_ || !events_.empty(); });
    if (stopped_ || events_.empty()) {
        return std::nullopt;
    }
    RawDeviceEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

void EventInbox::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        events_.clear();
    }
    wake_.notify_all();
}

bool EventInbox::stopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

bool isPlausibleUdid(const std::string& udid) {
    if (udid.empty() || udid.size() > 64) {
        return false;
    }
    for (char c : udid) {
        const bool ok =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-';
        if (!ok) {
            return false;
        }
    }
    return true;
}

namespace {

class UsbmuxEventSource : public EventSource {
  public:
    ~UsbmuxEventSource() override { stop(); }

    int start(std::shared_ptr<EventInbox> inbox) override {
        if (context_) {
            return 0;
        }
        inbox_ = std::move(inbox);
        // The inbox outlives the subscription: stop() ends it before letting the inbox go.
        const int rc =
            usbmuxd_events_subscribe(&context_, &UsbmuxEventSource::callback, inbox_.get());
        if (rc != 0) {
            context_ = nullptr;
            inbox_.reset();
        }
        return rc;
    }

    void stop() override {
        if (context_) {
            usbmuxd_events_unsubscribe(context_);  // no callback runs after this returns
            context_ = nullptr;
        }
        inbox_.reset();
    }

  private:
    // On libusbmuxd's thread: copies the event into the inbox, nothing else.
    static void callback(const usbmuxd_event_t* event, void* userData) {
        if (!event || !userData || event->device.conn_type != CONNECTION_TYPE_USB) {
            return;
        }
        RawDeviceEvent raw;
        switch (event->event) {
            case UE_DEVICE_ADD:
                raw.kind = RawDeviceEvent::Kind::Added;
                break;
            case UE_DEVICE_REMOVE:
                raw.kind = RawDeviceEvent::Kind::Removed;
                break;
            case UE_DEVICE_PAIRED:
                raw.kind = RawDeviceEvent::Kind::Paired;
                break;
            default:
                return;
        }
        raw.muxHandle = event->device.handle;
        raw.udid.assign(event->device.udid, strnlen(event->device.udid, sizeof event->device.udid));
        static_cast<EventInbox*>(userData)->post(std::move(raw));
    }

    usbmuxd_subscription_context_t context_ = nullptr;
    std::shared_ptr<EventInbox> inbox_;
};

}  // namespace

std::unique_ptr<EventSource> makeUsbmuxEventSource() {
    return std::make_unique<UsbmuxEventSource>();
}

}  // namespace nimbara::md::imd
