// The mobile-device library for real devices over USB: libimobiledevice and the usbmuxd daemon
// (which a test can replace with its own socket through USBMUXD_SOCKET_ADDRESS).
//
// Events reach the library's watcher thread through an EventInbox (imd_events.h). For a device
// that appears, the watcher opens it and has its trust checked (connect, pairing, a session: a
// device that doesn't know this computer is asked to trust it) on a thread of the device's own,
// so that a device that is slow to answer holds up no other; the watcher hears the result as an
// event. A device is reported connecting as soon as it appears, and attached once usable. A locked
// one, or one whose trust question is showing or was refused, is reported waiting with the reason,
// and the watcher asks again every `trustRetry`, then less and less often (twice the wait each
// time, up to 16 times `trustRetry` or half a minute), and at once when usbmuxd says it was paired,
// until it is usable; after a refusal it asks again only when usbmuxd says the device was paired,
// or on a new plug. A check stuck in the library's handshake on a device that went is not waited
// for: the watcher reaps it once it ended (within the library's own half-minute limit for a
// lockdown answer). A device that goes is marked detached before subscribers hear of it, which also
// ends a check still talking to it. The destructor marks every device detached before it joins the
// checks. Subscribers hear of all this through their own thread's event loop.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/mobiledevice/imd/imd_events.h"
#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::md::imd {

class WatchedDevice;
class WatchCore;

class ImdLibrary : public Library {
  public:
    struct Options {
        // Null: usbmuxd's events.
        std::unique_ptr<EventSource> source;
        // Makes the device of an attachment (the number is unique for the life of the library);
        // null: a real device through libimobiledevice. A null result leaves the event unused.
        using MakeDevice = std::function<std::shared_ptr<WatchedDevice>(const RawDeviceEvent& event,
                                                                        std::uint64_t serial)>;
        MakeDevice makeDevice;
        // How long a device may take to answer any one request.
        std::chrono::milliseconds timeout{30000};
        // How soon a device waiting for trust is first asked again.
        std::chrono::milliseconds trustRetry{2000};
        // How long what a device's trust check read (its global values and disk usage) serves
        // the reads of its attach, which ask the device nothing then; later reads ask it again.
        std::chrono::milliseconds diskUsageFresh{10000};
        // How long a device's lockdown connection and session stay open, unused, for the next
        // bracket (the trust check's for the attach's first ones).
        std::chrono::milliseconds sessionIdle{10000};
    };

    ImdLibrary();
    explicit ImdLibrary(Options options);
    ~ImdLibrary() override;

    // Starts the watcher on the first call. The callback needs its thread's event loop.
    int subscribe(NotificationCallback callback,
                  std::unique_ptr<Subscription>& subscription) override;
    std::unique_ptr<MediaSyncConnection> createMediaSyncConnection(
        const std::string& libraryId, const std::string& deviceId) override;

    // The devices reported attached now.
    std::vector<DeviceHandle> attachedDevices() const;

  private:
    void startWatching();

    const std::shared_ptr<WatchCore> core_;
    std::unique_ptr<EventSource> source_;
    std::mutex startMutex_;
    bool started_ = false;
    std::thread watcher_;
};

}  // namespace nimbara::md::imd
