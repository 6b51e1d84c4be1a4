// A launched application hub over a simulated library: each test gets a fresh library, a fresh
// home folder (the export folder lives there) and a hub whose windows exist but are not shown.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_ui.h"
#include "app/quennic_app_delegate.h"
#include "app_test_support.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "platform/mobiledevice/mobile_device.h"
#include "platform/mobiledevice/sim/simulated_library.h"
#include "sim_device_builder.h"
#include "simulated_home_fixture.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace nimbara::test {

// A simulated device to attach: Dev("Name").version("8.2").disk(total, free).metrics(...).
struct Dev {
    explicit Dev(std::string deviceName) : name(std::move(deviceName)) {}
    Dev& version(std::string v) {
        productVersion = std::move(v);
        return *this;
    }
    Dev& type(std::string t) {
        productType = std::move(t);
        return *this;
    }
    Dev& disk(std::uint64_t totalBytes, std::uint64_t freeBytes) {
        total = totalBytes;
        free = freeBytes;
        return *this;
    }
    // apps, music, movies, photo library, camera roll
    Dev& withMetrics(std::array<std::int64_t, 5> m) {
        metrics = m;
        return *this;
    }

    std::string name;
    std::string productVersion = "12.4.1";
    std::string productType = "iPhone10,4";
    std::uint64_t total = 64'000'000'000ULL;
    std::uint64_t free = 16'000'000'000ULL;
    // none: the device sends no metrics
    std::optional<std::array<std::int64_t, 5>> metrics;
};

class DelegateTest : public SimulatedHomeTest {
  protected:
    void SetUp() override {
        SimulatedHomeTest::SetUp();
        delegate_ = std::make_unique<QuennicAppDelegate>();
        delegate_->setBoardDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(1));
        delegate_->applicationDidFinishLaunching();
    }

    void TearDown() override {
        delegate_.reset();
        SimulatedHomeTest::TearDown();
    }

    QuennicAppDelegate& hub() { return *delegate_; }
    MainWindowUi& ui() { return *delegate_->mainUi(); }

    // Writes a device folder named after `udid` and returns it.
    std::string makeDevice(const std::string& udid, const Dev& dev) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity(dev.name, udid, dev.productType, dev.productVersion);
        b.setDiskUsage(dev.total, dev.free);
        if (dev.metrics) {
            const auto& m = *dev.metrics;
            b.setAssetMetrics(m[0], m[1], m[2], m[3], m[4]);
        }
        EXPECT_TRUE(b.write());
        return (tmp_ / udid).string();
    }

    // Attaches a device folder; the index the manager gave it (-1 when none). Returns once the
    // hub has read the device's values and listed it (or a generous limit passed).
    int attach(const std::string& dir) override {
        if (!library_->attach(dir)) {
            return -1;
        }
        waitForDeviceBinds();
        const auto indices = amd::DeviceManager::GetInstance().Indices();
        const int index = indices.empty() ? -1 : indices.back();
        if (index >= 0 && delegate_) {
            // Reading a device's values takes a while on a busy machine: up to half a minute.
            for (int round = 0; round < 8; ++round) {
                if (pumpUntil([&] {
                        const auto& list = hub().getDeviceArray();
                        return std::any_of(list.begin(), list.end(), [index](const auto& node) {
                            return node->deviceIndex() == index;
                        });
                    })) {
                    break;
                }
            }
        }
        return index;
    }
    int attachNew(const std::string& udid, const Dev& dev) { return attach(makeDevice(udid, dev)); }

    // Device indices of the hub's list and of the pop-up's items, in order.
    std::vector<int> listIndices() {
        std::vector<int> result;
        for (const auto& node : hub().getDeviceArray()) {
            result.push_back(node->deviceIndex());
        }
        return result;
    }
    std::vector<int> popupIndices() {
        std::vector<int> result;
        for (int i = 0; i < ui().deviceNamePopBtn->count(); ++i) {
            result.push_back(ui().deviceNamePopBtn->itemData(i).toInt());
        }
        return result;
    }
    int currentIndex() {
        const auto node = hub().currentIDevicenode();
        return node ? node->deviceIndex() : -1;
    }

    std::unique_ptr<QuennicAppDelegate> delegate_;
};

// A delegate with the README's demo device attached (demo_, index_).
class DemoDelegateTest : public DelegateTest {
  protected:
    void SetUp() override {
        DelegateTest::SetUp();
        demo_ = tmp_ / "demo";
        index_ = attachDemoDevice(demo_);
        ASSERT_GE(index_, 0);
    }

    std::filesystem::path demo_;
    int index_ = -1;
};

}  // namespace nimbara::test
