// The real-device library (ImdLibrary, with its own devices through libimobiledevice) against the
// protocol-level device: one simulated iPhone served by its own nimbara-usbmux-sim, the library
// made with short limits so that failures show quickly, and the device layer on top of it where a
// test needs it.
//
// The library hands its events to the subscriber's event loop: tests wait for them by turning
// the loop (with a generous limit, only so that a broken test fails instead of hanging).
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../usbmux/usbmux_fixture.h"
#include "device/device_manager.h"
#include "platform/mobiledevice/imd/imd_library.h"
#include "platform/mobiledevice/mobile_device.h"

namespace nimbara::test {

// The application object the library's hand-off needs.
class TestApplication {
  public:
    TestApplication() : app_(argc_, argv_) {}

  private:
    int argc_ = 1;
    char name_[20] = "imd_backend_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

// Turns the event loop until `done` holds or `limitMs` passed; its last value.
template <typename Predicate>
bool loopUntil(Predicate done, int limitMs = 60000) {
    QDeadlineTimer limit(limitMs);
    while (!done() && !limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        // Some conditions change without an event (a file grows, a thread ends): look again
        // soon, without taking the processor from the device's server.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

// What a subscriber heard, in order.
struct HeardEvents {
    struct Event {
        int message;
        md::DeviceHandle device;
        int waitReason;  // the device's reason when the event arrived
    };
    std::vector<Event> events;

    md::NotificationCallback callback() {
        return [this](int message, const md::DeviceHandle& device) {
            events.push_back({message, device, device ? device->waitReason() : 0});
        };
    }
    int count(int message) const {
        int n = 0;
        for (const auto& event : events) {
            n += event.message == message;
        }
        return n;
    }
    // The device of the last event of that kind; null when there was none.
    md::DeviceHandle last(int message) const {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->message == message) {
                return it->device;
            }
        }
        return nullptr;
    }
};

// The phone of UsbmuxTest (its server, faults and apps), reached through ImdLibrary.
class ImdBackendTest : public UsbmuxTest {
  protected:
    // The phone's disk usage as UsbmuxTest sets it.
    static constexpr std::uint64_t kDiskTotal = 128000000000ULL;
    static constexpr std::uint64_t kDiskFree = 50000000000ULL;

    // The backend still validates its pairing, which devices since iOS 11 no longer know: the
    // phone answers as an older one.
    ImdBackendTest() { server.setProfile("legacy"); }

    void TearDown() override {
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        amd::DeviceManager::GetInstance().Reset();
        md::setLibrary(nullptr);
        subscription.reset();
        library.reset();
    }

    // The library's limits for these tests: a device gets six seconds for any one answer (short
    // enough for the tests of devices that never answer, long enough that a healthy answer on a
    // loaded machine or under the sanitizers is never taken for silence), and a device waiting
    // for trust is asked again ten times a second.
    static md::imd::ImdLibrary::Options shortLimits() {
        md::imd::ImdLibrary::Options options;
        options.timeout = std::chrono::milliseconds(6000);
        options.trustRetry = std::chrono::milliseconds(100);
        return options;
    }

    // Writes the phone, starts the server and makes the library (not yet subscribed).
    void startLibrary(md::imd::ImdLibrary::Options options = shortLimits()) {
        startServer();
        library = std::make_shared<md::imd::ImdLibrary>(std::move(options));
    }
    // Subscribes `heard` to the library directly.
    void subscribe() { ASSERT_EQ(library->subscribe(heard.callback(), subscription), 0); }
    // Waits until the library reported the phone attached; its handle (null when it never was).
    md::DeviceHandle waitForAttached(int times = 1) {
        loopUntil([&] { return heard.count(md::kMessageAttached) >= times; });
        return heard.count(md::kMessageAttached) >= times ? heard.last(md::kMessageAttached)
                                                          : nullptr;
    }

    // Starts the server, installs the library for the device layer and waits until the device
    // manager has the phone: its index (-1 when it never came).
    int startWithDeviceManager(md::imd::ImdLibrary::Options options = shortLimits()) {
        startLibrary(std::move(options));
        if (HasFatalFailure()) {
            return -1;
        }
        md::setLibrary(library);
        auto& manager = amd::DeviceManager::GetInstance();
        if (manager.Subscribe() != 0) {
            return -1;
        }
        loopUntil([&] { return !manager.Indices().empty(); });
        const auto indices = manager.Indices();
        return indices.empty() ? -1 : indices.front();
    }

    // Unplugs the phone (its folder leaves the devices folder), and plugs it in again.
    void unplugPhone() {
        std::filesystem::rename(phone.dir(), server.folder() / "unplugged");
        ASSERT_EQ(server.control("SimRescan"), 0);
    }
    void plugPhoneBackIn() {
        std::filesystem::rename(server.folder() / "unplugged", phone.dir());
        ASSERT_EQ(server.control("SimRescan"), 0);
    }

    // Bytes that change from chunk to chunk, so a shifted or repeated chunk shows.
    static std::string pattern(std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        }
        return bytes;
    }

    TestApplication app;
    TempDir tmp;
    HeardEvents heard;
    std::shared_ptr<md::imd::ImdLibrary> library;
    std::unique_ptr<md::Subscription> subscription;
};

}  // namespace nimbara::test
