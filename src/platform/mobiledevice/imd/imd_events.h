// Device events from usbmuxd, and the hand-off that brings them from the library's thread to
// ours.
//
// libusbmuxd calls back on a thread of its own. That callback only copies the event into an
// EventInbox (plain values: what happened, the attachment's handle, the UniqueDeviceID) and
// returns; it never touches a device, a subscriber or anything else of ours. Our watcher thread
// takes the events from the inbox and acts on them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace nimbara::md::imd {

struct RawDeviceEvent {
    // Checked: not from usbmuxd; a trust check of ours ended with `result`.
    enum class Kind { Added, Removed, Paired, Checked };
    Kind kind = Kind::Added;
    std::uint32_t muxHandle = 0;  // new for every attachment
    std::string udid;
    int result = 0;
};

class EventInbox {
  public:
    // Any thread. Ignored once stopped.
    void post(RawDeviceEvent event);
    // The next event; nullopt when `until` passed first or the inbox was stopped.
    std::optional<RawDeviceEvent> take(std::chrono::steady_clock::time_point until);
    void stop();
    bool stopped() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<RawDeviceEvent> events_;
    bool stopped_ = false;
};

// Where events come from: usbmuxd, or a test's own source.
class EventSource {
  public:
    virtual ~EventSource() = default;
    // Starts posting into `inbox`; 0 on success.
    virtual int start(std::shared_ptr<EventInbox> inbox) = 0;
    // Stops posting; when it returns, the source posts nothing more.
    virtual void stop() = 0;
};

// Events of usbmuxd's USB devices (network devices are left out).
std::unique_ptr<EventSource> makeUsbmuxEventSource();

// A UniqueDeviceID as devices have them: 1 to 64 letters, digits and hyphens.
bool isPlausibleUdid(const std::string& udid);

}  // namespace nimbara::md::imd
