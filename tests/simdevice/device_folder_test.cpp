// Putting a new device in place: what may be replaced, what is refused, and that a failure
// leaves everything as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "device_folder.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
using nimbara::simdev::installDevice;
using nimbara::simdev::isSimulatedDevice;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

namespace {

// A small device with one marker file, so a test can tell which device is in place.
nimbara::simdev::DeviceMaker deviceWithMarker(const std::string& marker) {
    return [marker](const fs::path& dir, std::string*) {
        SimDeviceBuilder b(dir);
        b.addMediaFile("/marker.txt", marker);
        return b.write();
    };
}

std::size_t entriesIn(const fs::path& dir) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(InstallDevice, CreatesAMissingFolderAndReplacesAnEarlierDevice) {
    TempDir tmp;
    std::string error;
    ASSERT_TRUE(installDevice(tmp / "root/dev", deviceWithMarker("first"), &error)) << error;
    EXPECT_TRUE(isSimulatedDevice(tmp / "root/dev"));
    EXPECT_EQ(readText(tmp / "root/dev/media/marker.txt"), "first");

    writeText(tmp / "root/dev/media/stale.txt", "left from the first device");
    ASSERT_TRUE(installDevice(tmp / "root/dev", deviceWithMarker("second"), &error)) << error;
    EXPECT_EQ(readText(tmp / "root/dev/media/marker.txt"), "second");
    EXPECT_FALSE(fs::exists(tmp / "root/dev/media/stale.txt"));
    EXPECT_EQ(entriesIn(tmp / "root"), 1u);  // no staging or old folders left behind
}

TEST(InstallDevice, FillsAnEmptyFolderGivenWithATrailingSlash) {
    TempDir tmp;
    fs::create_directories(tmp / "dev");
    std::string error;
    ASSERT_TRUE(installDevice(tmp.str() + "/dev/", deviceWithMarker("x"), &error)) << error;
    EXPECT_TRUE(isSimulatedDevice(tmp / "dev"));
}

TEST(InstallDevice, RefusesFoldersThatAreNotDevices) {
    TempDir tmp;
    writeText(tmp / "photos/holiday.jpg", "precious");
    writeText(tmp / "afile", "text");
    fs::create_directories(tmp / "real");
    fs::create_directory_symlink(tmp / "real", tmp / "link");
    writeText(tmp / "broken/device.plist", "not a property list");

    for (const char* name : {"photos", "afile", "link", "broken"}) {
        std::string error;
        EXPECT_FALSE(installDevice(tmp / name, deviceWithMarker("x"), &error)) << name;
        EXPECT_FALSE(error.empty()) << name;
    }
    EXPECT_EQ(readText(tmp / "photos/holiday.jpg"), "precious");
    EXPECT_EQ(readText(tmp / "afile"), "text");
    EXPECT_TRUE(fs::is_empty(tmp / "real"));
    EXPECT_EQ(entriesIn(tmp.path()), 5u);
}

TEST(InstallDevice, FailedBuildLeavesTheOldDeviceInPlace) {
    TempDir tmp;
    ASSERT_TRUE(installDevice(tmp / "dev", deviceWithMarker("old"), nullptr));

    std::string error;
    EXPECT_FALSE(installDevice(
        tmp / "dev",
        [](const fs::path&, std::string* why) {
            *why = "no space";
            return false;
        },
        &error));
    EXPECT_EQ(error, "no space");
    EXPECT_FALSE(installDevice(
        tmp / "dev",
        [](const fs::path& dir, std::string*) -> bool {
            SimDeviceBuilder b(dir);
            b.addMediaFile("/../escape", "x");  // throws
            return true;
        },
        &error));
    EXPECT_NE(error.find("leaves"), std::string::npos) << error;

    EXPECT_EQ(readText(tmp / "dev/media/marker.txt"), "old");
    EXPECT_EQ(entriesIn(tmp.path()), 1u);
}
