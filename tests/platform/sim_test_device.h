// Small simulated device folders for the tests of the simulated library, written with the same
// builder as the demo device.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::test {

class SimTestDevice {
  public:
    explicit SimTestDevice(std::filesystem::path dir, const std::string& udid = "00008020-TEST")
        : builder_(std::move(dir)) {
        builder_.setIdentity("Test iPhone", udid, "iPhone10,4", "12.4.1");
        builder_.setDiskUsage(64000000000ULL, 20000000000ULL);
        write();
    }

    const std::filesystem::path& dir() const { return builder_.dir(); }
    std::string str() const { return builder_.dir().string(); }
    // The device.plist dictionary; call write() after changing it.
    PlistValue& config() { return builder_.editDevicePlist(); }

    SimTestDevice& fault(const std::string& key, PlistValue value) {
        builder_.setFault(key, std::move(value));
        return write();
    }
    SimTestDevice& write() {
        builder_.write();
        return *this;
    }
    SimTestDevice& media(const std::string& path, const std::string& contents) {
        builder_.addMediaFile("/" + path, contents);
        return *this;
    }
    SimTestDevice& app(const std::string& id, const std::string& name,
                       const std::string& type = "User") {
        simdev::AppSpec spec;
        spec.bundleId = id;
        spec.displayName = name;
        spec.type = type;
        spec.withIcon = false;
        builder_.addApp(spec);
        return *this;
    }
    std::filesystem::path container(const std::string& id) const {
        return builder_.dir() / md::sim::kAppsDir / id / md::sim::kAppContainer;
    }

  private:
    simdev::SimDeviceBuilder builder_;
};

// Records attach and detach events with the thread they arrived on.
struct Events {
    struct Event {
        int message;
        md::DeviceHandle device;
        QThread* thread;
    };
    std::vector<Event> seen;
    md::NotificationCallback callback() {
        return [this](int message, const md::DeviceHandle& device) {
            seen.push_back({message, device, QThread::currentThread()});
        };
    }
    int count(int message) const {
        int n = 0;
        for (const auto& e : seen) {
            n += e.message == message;
        }
        return n;
    }
};

// An application object for the tests that need an event loop.
class EventLoop {
  public:
    EventLoop() : app_(argc_, argv_) {}
    // Runs the loop until `done` holds (or a generous limit passes, for a failing test).
    template <typename Predicate>
    bool runUntil(Predicate done) {
        QDeadlineTimer limit(20000);
        while (!done() && !limit.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return done();
    }

  private:
    int argc_ = 1;
    char name_[16] = "platform_tests";
    char* argv_[2] = {name_, nullptr};
    QCoreApplication app_;
};

// Connects to the device and starts a session.
inline void startSession(const md::DeviceHandle& device) {
    ASSERT_EQ(device->connect(), 0);
    ASSERT_EQ(device->startSession(), 0);
}

// One test device attached to its own library; with `inSession`, also connected and in a session.
class AttachedDeviceTest : public ::testing::Test {
  protected:
    explicit AttachedDeviceTest(bool inSession = false)
        : device(tmp / "device"), inSession_(inSession) {}

    void SetUp() override {
        handle = library.attach(device.str());
        ASSERT_TRUE(handle);
        if (inSession_) {
            ASSERT_EQ(handle->connect(), 0);
            ASSERT_EQ(handle->startSession(), 0);
        }
    }

    TempDir tmp;
    SimTestDevice device;
    md::sim::SimulatedLibrary library;
    md::DeviceHandle handle;

  private:
    const bool inSession_;
};

}  // namespace nimbara::test
