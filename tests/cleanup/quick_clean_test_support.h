// Shared pieces of the camera-roll and quick clean-up tests: a subscribed simulated library,
// record makers and a look at the simulated device's files.
#pragma once

#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "cleanup/pr_large_file_node.h"
#include "cleanup/quick_clean_engine.h"
#include "cleanup/quick_scan_engine.h"
#include "device/device_manager.h"
#include "ui/core/device_file_nodes.h"

namespace nimbara::test {

class QuickCleanTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
    }

    // Writes the device and attaches it; its index (-1 on failure).
    int attachBuilt(simdev::SimDeviceBuilder& device) {
        EXPECT_TRUE(device.write());
        return attach(device.dir().string());
    }

    std::filesystem::path mediaFile(const std::string& udid, const std::string& devicePath) const {
        return deviceDir(udid) / "media" / devicePath.substr(1);
    }
    bool onDevice(const std::string& udid, const std::string& devicePath) const {
        return std::filesystem::exists(mediaFile(udid, devicePath));
    }

    static std::uint64_t serialOf(int index) {
        return amd::DeviceManager::GetInstance().DeviceSerial(index);
    }

    cleanup::QuickCleanOptions optionsFor(int index, const std::filesystem::path& exportFolder) {
        cleanup::QuickCleanOptions options;
        options.deviceIndex = index;
        options.deviceSerial = serialOf(index);
        options.exportFolder = exportFolder.string();
        return options;
    }
    // optionsFor with the photo and the junk row ticked.
    cleanup::QuickCleanOptions tickedOptionsFor(int index,
                                                const std::filesystem::path& exportFolder) {
        cleanup::QuickCleanOptions options = optionsFor(index, exportFolder);
        options.photosTicked = true;
        options.junkTicked = true;
        return options;
    }

    static std::shared_ptr<PRPhoneSystemFileNode> junk(const std::string& path,
                                                       std::uint64_t size) {
        auto node = std::make_shared<PRPhoneSystemFileNode>();
        node->setFilePath(QString::fromStdString(path));
        node->setFileName(QString::fromStdString(path.substr(path.rfind('/') + 1)));
        node->setFileSizeNumber(size);
        return node;
    }
    static std::shared_ptr<PRLargeFileNode> largeFile(const std::string& path, std::uint64_t size,
                                                      bool ticked = true) {
        auto node = std::make_shared<PRLargeFileNode>();
        node->setFilePath(QString::fromStdString(path));
        node->setFileName(QString::fromStdString(path.substr(path.rfind('/') + 1)));
        node->setFileSizeNumber(size);
        node->setBSelectedSate(ticked);
        return node;
    }
    static std::shared_ptr<PRLargeFileNode> largeApp(const std::string& bundleId,
                                                     std::uint64_t size, bool ticked = true) {
        auto node = std::make_shared<PRLargeFileNode>();
        node->setAppBundId(QString::fromStdString(bundleId));
        node->setFileName(QString::fromStdString(bundleId) + QStringLiteral(".app"));
        node->setAppFileSizeNumber(size);
        node->setBSelectedSate(ticked);
        return node;
    }

    // The progress texts in the order they first appeared, and whether the fractions never fell.
    struct ProgressLog {
        std::vector<std::string> texts;
        std::vector<double> fractions;
        bool monotonic() const {
            for (std::size_t i = 1; i < fractions.size(); ++i) {
                if (fractions[i] < fractions[i - 1]) {
                    return false;
                }
            }
            return true;
        }
    };
    static cleanup::QuickCleanEngine::ProgressSink recordInto(ProgressLog& log) {
        return [&log](const QString& text, double fraction) {
            const std::string t = text.toStdString();
            if (log.texts.empty() || log.texts.back() != t) {
                log.texts.push_back(t);
            }
            log.fractions.push_back(fraction);
        };
    }

    static std::vector<std::string> failedPaths(const cleanup::QuickCleanReport& report) {
        std::vector<std::string> paths;
        for (const auto& failure : report.failures) {
            paths.push_back(failure.path);
        }
        return paths;
    }
};

}  // namespace nimbara::test
