// Simulated devices for the storage manager's scans and page: the demo iPhone or a small device
// of the test's own, attached to a simulated library.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../app/app_test_support.h"
#include "../device/sim_device_fixture.h"
#include "../support/simulated_home_fixture.h"
#include "device/device_manager.h"
#include "filemanager/storage_scan.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"

namespace nimbara::test {

class StorageTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
    }

    // Writes the demo iPhone and attaches it; its index.
    int attachDemo() {
        std::string error;
        EXPECT_TRUE(simdev::makeDemoDevice(deviceDir("demo"), &error)) << error;
        const int index = attach(deviceDir("demo").string());
        EXPECT_GE(index, 0);
        return index;
    }
    int attachDevice(simdev::SimDeviceBuilder& b) {
        EXPECT_TRUE(b.write());
        const int index = attach(b.dir().string());
        EXPECT_GE(index, 0);
        return index;
    }
    static filemanager::StorageDeviceTarget targetOf(int index) {
        return {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
    }
    // Sets the one fault of a device folder; an attached device reads it at its next operation.
    static void setFault(const std::filesystem::path& device, const char* key,
                         const PlistValue& value) {
        setDeviceFault(device, key, value);
    }

    static bool pumpUntil(const std::function<bool()>& condition) {
        for (int i = 0; i < 3000; ++i) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (condition()) {
                return true;
            }
            if (i % 8 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        }
        return condition();
    }
};

}  // namespace nimbara::test
