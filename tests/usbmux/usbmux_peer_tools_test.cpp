// libimobiledevice-utils' own tools against the protocol-level device on its newest profile, as
// child processes finding it through USBMUXD_SOCKET_ADDRESS: what a user's tools do with a
// current iPhone (TLS sessions, pairing through the daemon's records) works with this one.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

struct ToolRun {
    bool exitedZero = false;
    std::string out;
};

// The tool's path on PATH, empty when it is not installed.
std::string findTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::filesystem::path candidate =
            std::filesystem::path(dirs.substr(start, end - start)) / name;
        std::error_code ec;
        if (::access(candidate.c_str(), X_OK) == 0 &&
            std::filesystem::is_regular_file(candidate, ec)) {
            return candidate.string();
        }
        start = end + 1;
    }
    return {};
}

// Runs the tool with `args`, its standard output collected (its errors go to the test's). A
// generous limit, only so that a hung tool fails the test instead of hanging it.
ToolRun runTool(const std::string& program, const std::vector<std::string>& args) {
    ToolRun run;
    std::vector<const char*> argv = {program.c_str()};
    for (const auto& arg : args) {
        argv.push_back(arg.c_str());
    }
    int output = -1;
    const pid_t pid = spawnWithOutput(argv, output);
    if (pid < 0) {
        return run;
    }
    pollfd reading{output, POLLIN, 0};
    while (::poll(&reading, 1, 30000) > 0) {
        char buffer[4096];
        const ssize_t n = ::read(output, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        run.out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(output);
    ::kill(pid, SIGKILL);  // harmless once it ended; ends one that hangs
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitedZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

class UsbmuxPeerTools : public UsbmuxTest {
  protected:
    void SetUp() override {
        ideviceinfo = findTool("ideviceinfo");
        idevicepair = findTool("idevicepair");
        if (ideviceinfo.empty() || idevicepair.empty()) {
            GTEST_SKIP() << "libimobiledevice-utils is not installed";
        }
    }
    ToolRun pair(const char* command) { return runTool(idevicepair, {"-u", kUdid, command}); }

    std::string ideviceinfo;
    std::string idevicepair;
};

TEST_F(UsbmuxPeerTools, DeviceInfoReadsTheDevicesValuesThroughATlsSession) {
    startServer();
    const ToolRun all = runTool(ideviceinfo, {"-u", kUdid});
    ASSERT_TRUE(all.exitedZero) << all.out;
    EXPECT_NE(all.out.find("DeviceName: Test iPhone\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("ProductVersion: 17.5.1\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find(std::string("UniqueDeviceID: ") + kUdid + "\n"), std::string::npos);
    // The build of that version, the device.plist's own values where it has them, and what a
    // current iPhone's domain holds besides.
    EXPECT_NE(all.out.find("BuildVersion: 21F90\n"), std::string::npos) << all.out;
    EXPECT_NE(all.out.find("HardwareModel: D201AP\n"), std::string::npos) << all.out;
    const std::string lines = "\n" + all.out;
    for (const char* key :
         {"DeviceName",      "DeviceClass",           "ProductType",         "HardwareModel",
          "SerialNumber",    "UniqueChipID",          "CPUArchitecture",     "ActivationState",
          "TimeZone",        "TimeZoneOffsetFromUTC", "Uses24HourClock",     "PhoneNumber",
          "WiFiAddress",     "BluetoothAddress",      "DeviceColor",         "ProductName",
          "HostAttached",    "PasswordProtected",     "TrustedHostAttached", "FirmwareVersion",
          "BasebandVersion", "ModelNumber",           "RegionInfo",          "SIMStatus"}) {
        EXPECT_NE(lines.find(std::string("\n") + key + ": "), std::string::npos) << key;
    }

    const ToolRun version = runTool(ideviceinfo, {"-u", kUdid, "-k", "ProductVersion"});
    EXPECT_TRUE(version.exitedZero);
    EXPECT_EQ(version.out, "17.5.1\n");
    const ToolRun capacity = runTool(
        ideviceinfo, {"-u", kUdid, "-q", "com.apple.disk_usage", "-k", "TotalDiskCapacity"});
    EXPECT_TRUE(capacity.exitedZero);
    EXPECT_EQ(capacity.out, "128000000000\n");

    // Each run paired once (the first) and opened its session in TLS 1.2 or later.
    const PlistValue handshakes = server.tlsHandshakes();
    ASSERT_EQ(handshakes.size(), 3u);
    for (const auto& handshake : handshakes.toArray()) {
        const std::string agreed = handshake["Version"].toString();
        EXPECT_TRUE(agreed == "TLSv1.2" || agreed == "TLSv1.3") << handshake.description();
    }
}

TEST_F(UsbmuxPeerTools, PairingIsRefusedWhileLockedPendingOrDeniedThenPairsAndValidates) {
    struct Row {
        const char* fault;  // null: the device is not trusted
        const char* said;
    };
    startServer();
    for (const Row& row :
         {Row{usbmuxsim::kFaultPasscodeLocked, "passcode"},
          Row{usbmuxsim::kFaultTrustPending, "trust dialog"}, Row{nullptr, "denied"}}) {
        SCOPED_TRACE(row.said);
        clearFaults();
        if (row.fault) {
            setFault(row.fault, true);
        } else {
            phone.setTrusted(false);
            ASSERT_TRUE(phone.write());
        }
        const ToolRun refused = pair("pair");
        EXPECT_FALSE(refused.exitedZero);
        EXPECT_NE(refused.out.find(row.said), std::string::npos) << refused.out;
        EXPECT_FALSE(
            std::filesystem::exists(server.pairRecords() / (std::string(kUdid) + ".plist")));
    }
    clearFaults();
    phone.setTrusted(true);
    ASSERT_TRUE(phone.write());
    const ToolRun paired = pair("pair");
    EXPECT_TRUE(paired.exitedZero) << paired.out;
    EXPECT_NE(paired.out.find("SUCCESS"), std::string::npos) << paired.out;
    // The record the tool made went to the daemon's store and opens sessions from then on.
    EXPECT_TRUE(std::filesystem::exists(server.pairRecords() / (std::string(kUdid) + ".plist")));
    const ToolRun validated = pair("validate");
    EXPECT_TRUE(validated.exitedZero) << validated.out;
    EXPECT_NE(validated.out.find("SUCCESS"), std::string::npos) << validated.out;
}

// A device that forgot this computer, as the newest ones answer the peers: no session for the old
// record, the trust question or the lock in the way of a new pairing, then a new record that
// validates and opens sessions.
TEST_F(UsbmuxPeerTools, AForgottenHostIsRefusedUntilItPairsAgainWithANewRecord) {
    startServer();
    ASSERT_TRUE(pair("pair").exitedZero);
    const std::string forgotten = hostId();
    unpairOnDevice();
    // The old record handed to the daemon once more earns no trust: only a Pair does.
    const auto recordFile = server.pairRecords() / (std::string(kUdid) + ".plist");
    std::ifstream in(recordFile, std::ios::binary);
    const std::string record((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    ASSERT_EQ(usbmuxd_save_pair_record(kUdid, record.data(), static_cast<uint32_t>(record.size())),
              0);
    EXPECT_FALSE(pair("validate").exitedZero);
    EXPECT_FALSE(runTool(ideviceinfo, {"-u", kUdid, "-k", "DeviceName"}).exitedZero);
    for (const char* fault : {usbmuxsim::kFaultTrustPending, usbmuxsim::kFaultPasscodeLocked}) {
        SCOPED_TRACE(fault);
        clearFaults();
        setFault(fault, true);
        EXPECT_FALSE(pair("pair").exitedZero);
        EXPECT_EQ(hostId(), forgotten);  // nothing saved
    }
    clearFaults();
    const ToolRun paired = pair("pair");
    EXPECT_TRUE(paired.exitedZero) << paired.out;
    EXPECT_NE(hostId(), forgotten);
    EXPECT_TRUE(pair("validate").exitedZero);
    const ToolRun name = runTool(ideviceinfo, {"-u", kUdid, "-k", "DeviceName"});
    EXPECT_TRUE(name.exitedZero);
    EXPECT_EQ(name.out, "Test iPhone\n");
}

}  // namespace
}  // namespace nimbara::test
