// Listing, pairing, sessions and values of the protocol-level device, through libimobiledevice.
#include <fstream>

#include "lockdown.h"

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

using UsbmuxLockdown = UsbmuxTest;

std::vector<std::string> listedDevices() {
    char** list = nullptr;
    int count = 0;
    std::vector<std::string> udids;
    if (idevice_get_device_list(&list, &count) == IDEVICE_E_SUCCESS) {
        for (int i = 0; i < count; ++i) {
            udids.emplace_back(list[i]);
        }
        idevice_device_list_free(list);
    }
    return udids;
}

TEST_F(UsbmuxLockdown, ListsTheDevicePairsAndReadsValuesByDomain) {
    startServer();
    EXPECT_EQ(listedDevices(), std::vector<std::string>{kUdid});
    connect();

    EXPECT_EQ(getValue(lockdown.get(), nullptr, "DeviceName").toString(), "Test iPhone");
    // The newest profile's devices run iOS 17: the phone's older version is raised to it.
    EXPECT_EQ(getValue(lockdown.get(), nullptr, "ProductVersion").toString(), "17.5.1");
    const PlistValue usage = getValue(lockdown.get(), "com.apple.disk_usage", nullptr);
    EXPECT_EQ(usage["TotalDiskCapacity"].toInt64(), 128000000000LL);
    EXPECT_EQ(usage["AmountDataAvailable"].toInt64(), 50000000000LL);
    EXPECT_EQ(
        getValue(lockdown.get(), "com.apple.mobile.battery", "BatteryCurrentCapacity").toInt64(),
        76);
    lockdownd_error_t rc = LOCKDOWN_E_SUCCESS;
    EXPECT_TRUE(getValue(lockdown.get(), nullptr, "NoSuchValue", &rc).isNull());
    EXPECT_NE(rc, LOCKDOWN_E_SUCCESS);

    // The pairing left the host's record with the server, the way the daemon keeps it.
    auto record =
        PlistValue::readFile((server.pairRecords() / (std::string(kUdid) + ".plist")).string());
    ASSERT_TRUE(record);
    EXPECT_FALSE((*record)["HostID"].toString().empty());
}

TEST_F(UsbmuxLockdown, ASavedPairRecordOpensLaterSessionsWithoutPairingAgain) {
    startServer();
    connect();
    lockdown.reset();
    // A trust question on screen now would stop any new pairing: the saved record must be used.
    setFault(usbmuxsim::kFaultTrustPending, true);
    LockdownPtr again;
    EXPECT_EQ(handshake(device.get(), again), LOCKDOWN_E_SUCCESS);
}

TEST_F(UsbmuxLockdown, APairRecordOfTheTestsOwnMakingIsTrusted) {
    PlistValue record = PlistValue::dict();
    record["HostID"] = "5A1C0FFE-0000-4000-8000-00000000CAFE";
    record["SystemBUID"] = "5A1C0FFE-0000-4000-8000-000000000B1D";
    ASSERT_TRUE(
        record.writeFile((server.pairRecords() / (std::string(kUdid) + ".plist")).string()));
    phone.setFault(usbmuxsim::kFaultTrustPending, true);
    startServer();
    connect();
    EXPECT_EQ(getValue(lockdown.get(), nullptr, "DeviceName").toString(), "Test iPhone");
}

TEST_F(UsbmuxLockdown, PairingIsRefusedWhileLockedPendingOrDeniedAndPassesOnceTrusted) {
    phone.setFault(usbmuxsim::kFaultPasscodeLocked, true);
    startServer();
    device = openDevice(kUdid);
    ASSERT_TRUE(device);
    EXPECT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_PASSWORD_PROTECTED);

    clearFaults();
    setFault(usbmuxsim::kFaultTrustPending, true);
    EXPECT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_PAIRING_DIALOG_RESPONSE_PENDING);

    clearFaults();
    phone.setTrusted(false);
    ASSERT_TRUE(phone.write());
    EXPECT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_USER_DENIED_PAIRING);
    EXPECT_FALSE(std::filesystem::exists(server.pairRecords() / (std::string(kUdid) + ".plist")));

    phone.setTrusted(true);
    ASSERT_TRUE(phone.write());
    EXPECT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_SUCCESS);

    // Trust taken back on the device: the record no longer opens a session.
    lockdown.reset();
    phone.setTrusted(false);
    ASSERT_TRUE(phone.write());
    EXPECT_NE(handshake(device.get(), lockdown), LOCKDOWN_E_SUCCESS);
}

TEST_F(UsbmuxLockdown, WithoutASessionOnlyPublicValuesAreAnswered) {
    startServer();
    device = openDevice(kUdid);
    ASSERT_TRUE(device);
    lockdownd_client_t raw = nullptr;
    ASSERT_EQ(lockdownd_client_new(device.get(), &raw, "nimbara-tests"), LOCKDOWN_E_SUCCESS);
    lockdown.reset(raw);
    char* type = nullptr;
    ASSERT_EQ(lockdownd_query_type(lockdown.get(), &type), LOCKDOWN_E_SUCCESS);
    EXPECT_STREQ(type, "com.apple.mobile.lockdown");
    free(type);

    EXPECT_EQ(getValue(lockdown.get(), nullptr, "UniqueDeviceID").toString(), kUdid);
    EXPECT_TRUE(getValue(lockdown.get(), nullptr, "DevicePublicKey").isData());
    lockdownd_error_t rc = LOCKDOWN_E_SUCCESS;
    EXPECT_TRUE(getValue(lockdown.get(), nullptr, "PhoneNumber", &rc).isNull());
    EXPECT_NE(rc, LOCKDOWN_E_SUCCESS);
    EXPECT_TRUE(getValue(lockdown.get(), "com.apple.disk_usage", nullptr, &rc).isNull());
    EXPECT_NE(rc, LOCKDOWN_E_SUCCESS);

    lockdownd_service_descriptor_t service = nullptr;
    EXPECT_NE(lockdownd_start_service(lockdown.get(), "com.apple.afc", &service),
              LOCKDOWN_E_SUCCESS);
    EXPECT_EQ(service, nullptr);
}

TEST_F(UsbmuxLockdown, UnknownAndRefusedServicesAreAnsweredAsADeviceDoes) {
    phone.setFault(md::sim::kFaultRefusedServices, PlistValue(PlistValue::Array{"com.apple.afc"}));
    startServer();
    connect();
    lockdownd_service_descriptor_t service = nullptr;
    EXPECT_EQ(lockdownd_start_service(lockdown.get(), "com.example.nothing", &service),
              LOCKDOWN_E_INVALID_SERVICE);
    EXPECT_EQ(lockdownd_start_service(lockdown.get(), "com.apple.afc", &service),
              LOCKDOWN_E_SERVICE_PROHIBITED);
    EXPECT_EQ(service, nullptr);
    // The session is still good for the services the device does offer.
    EXPECT_TRUE(startAfc("com.apple.crashreportcopymobile"));
}

TEST_F(UsbmuxLockdown, AFailingConnectRefusesTheLockdownConnection) {
    phone.setFault(md::sim::kFaultConnectError, static_cast<int>(0xE8000019u));
    startServer();
    device = openDevice(kUdid);
    ASSERT_TRUE(device);
    EXPECT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_MUX_ERROR);
}

// Whether `fd` has something to read (an answer, or its end) within `ms`.
bool readable(int fd, int ms) {
    pollfd waiting{fd, POLLIN, 0};
    return ::poll(&waiting, 1, ms) > 0;
}

PlistValue lockdownRequest(const char* name) {
    PlistValue request = PlistValue::dict();
    request["Label"] = "nimbara-tests";
    request["Request"] = name;
    return request;
}

TEST_F(UsbmuxLockdown, AStalledRequestIsNeverAnsweredAndItsConnectionOutlivesTheDetach) {
    startServer();
    const int stuck = server.tunnel(1, usbmuxsim::kLockdownPort);
    const int other = server.tunnel(1, usbmuxsim::kLockdownPort);
    ASSERT_GE(stuck, 0);
    ASSERT_GE(other, 0);
    ASSERT_TRUE(usbmuxsim::writeFrame(stuck, lockdownRequest("QueryType")));
    auto type = usbmuxsim::readRequest(stuck);
    ASSERT_TRUE(type);
    EXPECT_EQ((*type)["Type"].toString(), "com.apple.mobile.lockdown");

    setFault(usbmuxsim::kFaultStalledLockdown, PlistValue(PlistValue::Array{"GetValue"}));
    PlistValue get = lockdownRequest("GetValue");
    get["Key"] = "DeviceName";
    ASSERT_TRUE(usbmuxsim::writeFrame(stuck, get));
    EXPECT_FALSE(readable(stuck, 300));
    // Other requests are still answered.
    ASSERT_TRUE(usbmuxsim::writeFrame(other, lockdownRequest("QueryType")));
    EXPECT_TRUE(usbmuxsim::readRequest(other));

    // The device goes: its other connections end, the stalled one stays open and silent.
    std::filesystem::remove_all(phone.dir());
    ASSERT_EQ(server.control("SimRescan"), 0);
    ASSERT_TRUE(readable(other, 10000));
    EXPECT_FALSE(usbmuxsim::readRequest(other));
    EXPECT_FALSE(readable(stuck, 300));
    ::close(other);
    ::close(stuck);
}

}  // namespace
}  // namespace nimbara::test
