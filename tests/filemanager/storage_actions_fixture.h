// Shared pieces of the storage manager's action tests: a small simulated device, its target, and
// a look at its files and at an export folder.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../cleanup/quick_clean_test_support.h"
#include "filemanager/storage_items.h"

namespace nimbara::test {

class StorageActionsTest : public QuickCleanTest {
  protected:
    static constexpr const char* kUdid = "store";

    simdev::SimDeviceBuilder& device() {
        if (!device_) {
            device_ = std::make_unique<simdev::SimDeviceBuilder>(builder(kUdid));
        }
        return *device_;
    }
    // Writes and attaches the device; its target.
    filemanager::StorageTarget attachDevice() {
        const int index = attachBuilt(device());
        EXPECT_GE(index, 0);
        return {index, serialOf(index)};
    }
    void detachDevice() { library_->detach(deviceDir(kUdid).string()); }

    bool onDevice(const std::string& devicePath) const {
        return QuickCleanTest::onDevice(kUdid, devicePath);
    }
    std::string deviceText(const std::string& devicePath) const {
        return readText(mediaFile(kUdid, devicePath));
    }

    static filemanager::StorageItem fileItem(filemanager::StorageKind kind, const std::string& path,
                                             std::uint64_t size) {
        filemanager::StorageItem item;
        item.kind = kind;
        item.devicePath = path;
        item.name = QString::fromStdString(path.substr(path.rfind('/') + 1));
        item.size = size;
        return item;
    }
    static std::vector<filemanager::StorageOutcome> outcomesOf(
        const filemanager::StorageReport& report) {
        std::vector<filemanager::StorageOutcome> outcomes;
        for (const auto& item : report.items) {
            outcomes.push_back(item.outcome);
        }
        return outcomes;
    }

    std::unique_ptr<simdev::SimDeviceBuilder> device_;
};

}  // namespace nimbara::test
