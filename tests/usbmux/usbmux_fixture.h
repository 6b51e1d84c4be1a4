// One simulated iPhone served by its own protocol-level device server, reached through
// libimobiledevice.
#pragma once

#include <gtest/gtest.h>

#include <usbmuxd.h>

#include <filesystem>
#include <fstream>

#include "device_extras.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "usbmux_server.h"
#include "usbmux_test_support.h"

namespace nimbara::test {

class UsbmuxTest : public ::testing::Test {
  protected:
    static constexpr const char* kUdid = "00008030-001A2B3C4D5E6F70";

    UsbmuxTest() : phone(server.devices() / "phone") {
        phone.setIdentity("Test iPhone", kUdid, "iPhone12,1", "14.2");
        phone.setDiskUsage(128000000000ULL, 50000000000ULL);
    }

    // Writes the device and starts the server.
    void startServer() {
        ASSERT_TRUE(phone.write());
        ASSERT_TRUE(server.start());
    }
    // Opens the device and a lockdown session on it.
    void connect() {
        device = openDevice(kUdid);
        ASSERT_TRUE(device);
        ASSERT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_SUCCESS);
    }
    // A fault of device.plist, written at once (the server reads it on the next request).
    void setFault(const std::string& key, PlistValue value) {
        phone.setFault(key, std::move(value));
        ASSERT_TRUE(phone.write());
    }
    void clearFaults() {
        phone.editDevicePlist()[md::sim::kKeyFaults] = PlistValue::dict();
        ASSERT_TRUE(phone.write());
    }
    // An app of the phone (1000 bytes of bundle, 2000 of data).
    void addApp(const std::string& id, const std::string& name, bool fileSharing = false,
                bool developerSigned = false, const std::string& type = "User") {
        simdev::AppSpec app;
        app.bundleId = id;
        app.displayName = name;
        app.type = type;
        app.staticDiskUsage = 1000;
        app.dynamicDiskUsage = 2000;
        app.fileSharing = fileSharing;
        if (developerSigned) {
            app.entitlements = PlistValue::dict();
            app.entitlements["get-task-allow"] = true;
        }
        phone.addApp(app);
    }
    // A crash report the phone wrote that its crash-report mover has not moved yet.
    void addNewCrashLog(const std::string& devicePath, const std::string& text) {
        const auto path = phone.dir() / usbmuxsim::kNewCrashesDir /
                          std::filesystem::path(devicePath).relative_path();
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    // The HostID of the host's pair record with the daemon; empty when there is none.
    std::string hostId() const {
        const auto record =
            PlistValue::readFile((server.pairRecords() / (std::string(kUdid) + ".plist")).string());
        return record ? (*record)["HostID"].toString() : std::string();
    }
    // The device forgets the host, as after "Reset Location & Privacy": lockdown's Unpair.
    void unpairOnDevice() {
        usbmuxd_device_info_t attached{};
        ASSERT_EQ(usbmuxd_get_device_by_udid(kUdid, &attached), 1);
        const int fd = server.tunnel(attached.handle, usbmuxsim::kLockdownPort);
        ASSERT_GE(fd, 0);
        PlistValue request = PlistValue::dict();
        request["Request"] = "Unpair";
        request["PairRecord"] = PlistValue::dict();
        request["PairRecord"]["HostID"] = hostId();
        ASSERT_TRUE(usbmuxsim::writeFrame(fd, request));
        const auto answer = usbmuxsim::readRequest(fd);
        ::close(fd);
        ASSERT_TRUE(answer);
        ASSERT_FALSE(answer->contains("Error"));
    }
    AfcPtr startAfc(const char* service = "com.apple.afc") {
        lockdownd_service_descriptor_t descriptor = nullptr;
        if (lockdownd_start_service(lockdown.get(), service, &descriptor) != LOCKDOWN_E_SUCCESS) {
            return nullptr;
        }
        afc_client_t afc = nullptr;
        afc_client_new(device.get(), descriptor, &afc);
        lockdownd_service_descriptor_free(descriptor);
        return AfcPtr(afc);
    }

    UsbmuxServerProcess server;
    simdev::SimDeviceBuilder phone;
    DevicePtr device;
    LockdownPtr lockdown;
};

}  // namespace nimbara::test
