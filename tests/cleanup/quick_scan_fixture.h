// A simulated library with devices to scan: build a device with builder(), attach it with
// attachDevice(), then run a QuickScanEngine against its index.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "cleanup/quick_scan_engine.h"

namespace nimbara::test {

class QuickScanTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
    }

    // Writes the device and attaches it: its index (the test fails when it can't attach).
    int attachDevice(simdev::SimDeviceBuilder& b) {
        EXPECT_TRUE(b.write());
        const int index = attach(b.dir().string());
        EXPECT_GE(index, 0);
        return index;
    }

    static QuickScanOptions optionsFor(int index, std::uint64_t fileLimit = 5000000,
                                       std::uint64_t appLimit = 100000000) {
        QuickScanOptions options;
        options.deviceIndex = index;
        options.limitLargeFileSize = fileLimit;
        options.limitLargeAppSize = appLimit;
        return options;
    }

    template <class Node>
    static std::vector<std::string> paths(const std::vector<std::shared_ptr<Node>>& list) {
        std::vector<std::string> out;
        for (const auto& node : list) {
            out.push_back(node->filePath().toStdString());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    template <class Node>
    static std::uint64_t sumOf(const std::vector<std::shared_ptr<Node>>& list) {
        std::uint64_t sum = 0;
        for (const auto& node : list) {
            sum += node->fileSizeNumber();
        }
        return sum;
    }
};

}  // namespace nimbara::test
