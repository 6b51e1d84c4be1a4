// A fixture for the service tests: the simulated library installed, the device manager
// subscribed to it, and one simulated device to fill with the builder and then attach.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "sim_device_fixture.h"

namespace nimbara::test {

class AttachedDeviceTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
        builder_.emplace(tmp_ / "device");
        localDir_ = tmp_ / "local";
        std::filesystem::create_directories(localDir_);
    }

    // Writes the device and attaches it; its index, or -1.
    int attach() {
        if (!builder_->write() || !library_->attach(builder_->dir().string())) {
            return -1;
        }
        waitForDeviceBinds();
        const auto indices = amd::DeviceManager::GetInstance().Indices();
        return indices.empty() ? -1 : indices.back();
    }

    simdev::SimDeviceBuilder& device() { return *builder_; }
    std::string local(const std::string& name) const { return (localDir_ / name).string(); }
    const std::filesystem::path& localDir() const { return localDir_; }

  public:
    // Bytes that change from chunk to chunk, so a shifted or repeated chunk shows.
    static std::string pattern(std::size_t size) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) {
            bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
        }
        return bytes;
    }
    static std::optional<std::string> fileBytes(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return std::nullopt;
        }
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    // The names in a local folder, sorted (to see that nothing stray was left behind).
    static std::vector<std::string> folderNames(const std::filesystem::path& dir) {
        return test::folderNames(dir);
    }

  protected:
    std::optional<simdev::SimDeviceBuilder> builder_;
    std::filesystem::path localDir_;
};

}  // namespace nimbara::test
