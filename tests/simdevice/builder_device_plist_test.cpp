// device.plist as the simulated backend reads it: keys where the layout puts them.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace fs = std::filesystem;
namespace layout = nimbara::md::sim;
using nimbara::PlistValue;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::TempDir;

namespace {

PlistValue readDevice(const fs::path& dir) {
    auto v = PlistValue::readFile((dir / layout::kDevicePlist).string());
    EXPECT_TRUE(v.has_value());
    return v ? *v : PlistValue();
}

bool isLowerHex(const std::string& s) {
    return s.find_first_not_of("0123456789abcdef") == std::string::npos;
}

}  // namespace

TEST(SimDeviceBuilderPlist, DefaultsDescribeATrustedIPhone) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    ASSERT_TRUE(b.write());
    EXPECT_TRUE(fs::is_directory(tmp / "dev" / layout::kMediaDir));
    EXPECT_TRUE(fs::is_directory(tmp / "dev" / layout::kAppsDir));
    EXPECT_TRUE(fs::is_directory(tmp / "dev" / layout::kCrashesDir));

    const PlistValue d = readDevice(tmp / "dev");
    EXPECT_TRUE(d[layout::kKeyTrusted].toBool());
    EXPECT_FALSE(d.contains(layout::kKeyAssetMetrics));
    EXPECT_FALSE(d.contains(layout::kKeyFaults));

    const PlistValue& global = d[layout::kKeyLockdown][layout::kGlobalDomain];
    for (const char* key : {"DeviceName", "UniqueDeviceID", "ProductType", "ProductVersion",
                            "BuildVersion", "SerialNumber", "PhoneNumber"}) {
        EXPECT_TRUE(global[key].isString() && !global[key].toString().empty()) << key;
    }
    const std::string udid = global["UniqueDeviceID"].toString();
    EXPECT_EQ(udid.size(), 40u);
    EXPECT_TRUE(isLowerHex(udid)) << udid;
    EXPECT_TRUE(global["TimeZoneOffsetFromUTC"].isNumber());

    const PlistValue& battery = d[layout::kKeyLockdown]["com.apple.mobile.battery"];
    EXPECT_TRUE(battery["BatteryCurrentCapacity"].isInteger());
    EXPECT_TRUE(battery["BatteryIsCharging"].isBool());
}

TEST(SimDeviceBuilderPlist, TwoFoldersGetDifferentDeviceIdentifiers) {
    TempDir tmp;
    SimDeviceBuilder a(tmp / "a");
    SimDeviceBuilder b(tmp / "b");
    const auto udid = [](const SimDeviceBuilder& x) {
        return x.devicePlist()[layout::kKeyLockdown][layout::kGlobalDomain]["UniqueDeviceID"]
            .toString();
    };
    EXPECT_NE(udid(a), udid(b));
}

TEST(SimDeviceBuilderPlist, DiskUsageKeysAreConsistent) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.setDiskUsage(128000000000ULL, 50000000000ULL);
    ASSERT_TRUE(b.write());
    const PlistValue d = readDevice(tmp / "dev");
    const PlistValue& du = d[layout::kKeyLockdown]["com.apple.disk_usage"];
    for (const char* key : {"TotalDiskCapacity", "TotalDataCapacity", "TotalSystemCapacity",
                            "AmountDataAvailable", "TotalSystemAvailable", "TotalDataAvailable"}) {
        EXPECT_TRUE(du[key].isInteger()) << key;
    }
    EXPECT_EQ(du["TotalDiskCapacity"].toInt64(), 128000000000LL);
    EXPECT_EQ(du["AmountDataAvailable"].toInt64(), 50000000000LL);
    EXPECT_EQ(du["TotalDataCapacity"].toInt64() + du["TotalSystemCapacity"].toInt64(),
              128000000000LL);
    EXPECT_LE(du["TotalSystemAvailable"].toInt64(), du["TotalSystemCapacity"].toInt64());
    EXPECT_GE(du["TotalDataAvailable"].toInt64(), du["AmountDataAvailable"].toInt64());
    EXPECT_LE(du["TotalDataAvailable"].toInt64(), du["TotalDataCapacity"].toInt64());

    EXPECT_THROW(b.setDiskUsage(1000, 2000), std::invalid_argument);
}

TEST(SimDeviceBuilderPlist, SettingsRoundTripAndRewriteLeavesNoTemporaryFile) {
    TempDir tmp;
    SimDeviceBuilder b(tmp / "dev");
    b.setIdentity("Test Phone", "00008030-001A2C3E0C41802E", "iPhone12,1", "13.3")
        .setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 15)
        .setValue("com.example.domain", "Answer", 42)
        .setTrusted(false)
        .setAssetMetrics(100, 200, 300, 400, 500)
        .setFault(layout::kFaultConnectError, -402653083);
    PlistValue refused = PlistValue::array();
    refused.append("com.apple.afc");
    b.setFault(layout::kFaultRefusedServices, refused);
    ASSERT_TRUE(b.write());
    b.setValue(layout::kGlobalDomain, "DeviceName", "Renamed");
    ASSERT_TRUE(b.write());

    const PlistValue d = readDevice(tmp / "dev");
    EXPECT_EQ(d, b.devicePlist());
    const PlistValue& global = d[layout::kKeyLockdown][layout::kGlobalDomain];
    EXPECT_EQ(global["DeviceName"].toString(), "Renamed");
    EXPECT_EQ(global["UniqueDeviceID"].toString(), "00008030-001A2C3E0C41802E");
    EXPECT_EQ(global["ProductType"].toString(), "iPhone12,1");
    EXPECT_EQ(global["BuildVersion"].toString(), "17C54");  // follows the version
    EXPECT_EQ(d[layout::kKeyLockdown]["com.example.domain"]["Answer"].toInt64(), 42);
    EXPECT_FALSE(d[layout::kKeyTrusted].toBool(true));

    const PlistValue& m = d[layout::kKeyAssetMetrics];
    EXPECT_EQ(m["Application"]["_PhysicalSize"].toInt64(), 100);
    EXPECT_EQ(m["Media"]["Music"]["_PhysicalSize"].toInt64(), 200);
    EXPECT_EQ(m["Media"]["Movie"]["_PhysicalSize"].toInt64(), 300);
    EXPECT_EQ(m["Photo"]["Photo"]["_PhysicalSize"].toInt64(), 400);
    EXPECT_EQ(m["Photo"]["CameraRoll"]["_PhysicalSize"].toInt64(), 500);

    EXPECT_EQ(d[layout::kKeyFaults][layout::kFaultConnectError].toInt64(), -402653083);
    EXPECT_EQ(d[layout::kKeyFaults][layout::kFaultRefusedServices], refused);

    for (const auto& e : fs::directory_iterator(tmp / "dev")) {
        EXPECT_EQ(e.path().string().find(".partial"), std::string::npos) << e.path();
    }
}
