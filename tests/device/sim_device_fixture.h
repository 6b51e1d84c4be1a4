// A simulated library with small devices for the device-layer tests: each test gets a fresh
// library and temporary folder, and leaves the device manager empty and unsubscribed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/device_manager.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace nimbara::test {

// Records what the device manager tells its sink; an optional hook runs inside each call.
class RecordingNotify : public amd::DeviceNotify {
  public:
    void DeviceAdded(int index) override {
        record('+', index);
        if (onAdded) {
            onAdded(index);
        }
    }
    void DeviceRemoved(int index) override {
        record('-', index);
        if (onRemoved) {
            onRemoved(index);
        }
    }
    std::vector<std::pair<char, int>> events() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::function<void(int)> onAdded;
    std::function<void(int)> onRemoved;

  private:
    void record(char kind, int index) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.emplace_back(kind, index);
    }
    mutable std::mutex mutex_;
    std::vector<std::pair<char, int>> events_;
};

// Polls `condition` until it holds or a generous limit passes; returns its last value.
inline bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class SimDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        library_ = std::make_shared<md::sim::SimulatedLibrary>();
        md::setLibrary(library_);
    }

    void TearDown() override {
        // Sinks are often locals of the test body, gone by now.
        amd::DeviceManager::GetInstance().SetNotify(nullptr);
        amd::DeviceManager::GetInstance().Reset();
        waitForDeviceBinds();  // a bind dropped by the reset may still be using the library
        md::setLibrary(nullptr);
    }

    std::filesystem::path deviceDir(const std::string& udid) const { return tmp_ / udid; }

    // A trusted iPhone named after its identifier; adjust it and call write().
    simdev::SimDeviceBuilder builder(const std::string& udid) {
        simdev::SimDeviceBuilder b(deviceDir(udid));
        b.setIdentity("Phone " + udid, udid);
        return b;
    }
    // Writes a device as builder() makes it and returns its folder.
    std::string makeDevice(const std::string& udid) {
        simdev::SimDeviceBuilder b = builder(udid);
        EXPECT_TRUE(b.write());
        return deviceDir(udid).string();
    }

    // Subscribes the device manager with `sink` (may be null).
    void subscribe(amd::DeviceNotify* sink) {
        amd::DeviceManager::GetInstance().SetNotify(sink);
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }

    // Attaches a device folder and returns the index the manager gave it (-1 when none).
    int attach(const std::string& dir) {
        const std::list<int> before = amd::DeviceManager::GetInstance().Indices();
        library_->attach(dir);
        waitForDeviceBinds();
        const std::list<int> after = amd::DeviceManager::GetInstance().Indices();
        if (after.size() == before.size()) {
            return -1;
        }
        return after.back();
    }

    TempDir tmp_;
    std::shared_ptr<md::sim::SimulatedLibrary> library_;
};

}  // namespace nimbara::test
