// The protocol-level device's profiles and its TLS, through libimobiledevice: pairing checks a
// device no longer knows, sessions in TLS 1.2 or later, and the way back to plain text.
#include <libimobiledevice/house_arrest.h>

#include <utility>

#include "sim_profile.h"

#include "usbmux_fixture.h"

namespace nimbara::test {
namespace {

class UsbmuxTls : public UsbmuxTest {
  protected:
    // A lockdown client without the library's handshake: it never learns the iOS version.
    LockdownPtr plainClient(idevice_t on) {
        lockdownd_client_t raw = nullptr;
        lockdownd_client_new(on, &raw, "nimbara-tests");
        return LockdownPtr(raw);
    }
    // The HostID of the pair record the handshake left with the server.
    std::string hostId() {
        auto record =
            PlistValue::readFile((server.pairRecords() / (std::string(kUdid) + ".plist")).string());
        return record ? (*record)["HostID"].toString() : std::string();
    }
    void setProfile(const char* profile) {
        phone.editDevicePlist()[usbmuxsim::kKeySimProfile] = profile;
        ASSERT_TRUE(phone.write());
    }
};

TEST_F(UsbmuxTls, EachProfileAnswersAsItsGenerationOfDevices) {
    struct Row {
        const char* profile;
        bool validatePair;
        bool sessionTls;
        const char* productVersion;
    };
    const Row rows[] = {
        {"legacy", true, false, "14.2"},
        {"ios11", false, true, "14.2"},
        {"ios17", false, true, "17.5.1"},
    };
    startServer();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.profile);
        setProfile(row.profile);
        connect();
        EXPECT_EQ(getValue(lockdown.get(), nullptr, "ProductVersion").toString(),
                  row.productVersion);
        lockdown.reset();

        LockdownPtr client = plainClient(device.get());
        ASSERT_TRUE(client);
        EXPECT_EQ(getValue(client.get(), nullptr, "ProductVersion").toString(), row.productVersion);
        // Devices since iOS 11 answer ValidatePair as a request they do not know: an error.
        EXPECT_EQ(lockdownd_validate_pair(client.get(), nullptr) == LOCKDOWN_E_SUCCESS,
                  row.validatePair);
        char* session = nullptr;
        int ssl = -1;
        // This device learnt its iOS version in the handshake above: TLS passes.
        EXPECT_EQ(lockdownd_start_session(client.get(), hostId().c_str(), &session, &ssl),
                  LOCKDOWN_E_SUCCESS);
        EXPECT_EQ(ssl != 0, row.sessionTls);
        EXPECT_EQ(getValue(client.get(), nullptr, "DeviceName").toString(), "Test iPhone");
        free(session);
    }
}

TEST_F(UsbmuxTls, OnlyAClientThatKnowsTheIosVersionGetsPastTheTls10Cap) {
    startServer();
    // lockdownd_client_new alone never learns the version: the library offers TLS 1.0 only.
    connect();
    lockdown.reset();
    DevicePtr unknowing = openDevice(kUdid);
    ASSERT_TRUE(unknowing);
    LockdownPtr client = plainClient(unknowing.get());
    ASSERT_TRUE(client);
    char* session = nullptr;
    int ssl = 0;
    EXPECT_EQ(lockdownd_start_session(client.get(), hostId().c_str(), &session, &ssl),
              LOCKDOWN_E_SSL_ERROR);
    free(session);

    const PlistValue handshakes = server.tlsHandshakes();
    ASSERT_EQ(handshakes.size(), 2u);
    // The library's handshake: TLS 1.2 or later.
    const std::string version = handshakes.toArray()[0]["Version"].toString();
    EXPECT_TRUE(version == "TLSv1.2" || version == "TLSv1.3") << version;
    EXPECT_EQ(handshakes.toArray()[1]["Link"].toString(), "lockdown");
    EXPECT_FALSE(handshakes.toArray()[1]["Error"].toString().empty());
    EXPECT_FALSE(handshakes.toArray()[1].contains("Version"));
}

TEST_F(UsbmuxTls, AStoppedSessionGoesBackToPlainTextAndCanStartAgain) {
    startServer();
    connect();
    LockdownPtr client = plainClient(device.get());
    ASSERT_TRUE(client);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        char* session = nullptr;
        int ssl = 0;
        ASSERT_EQ(lockdownd_start_session(client.get(), hostId().c_str(), &session, &ssl),
                  LOCKDOWN_E_SUCCESS);
        EXPECT_NE(ssl, 0);
        const PlistValue usage = getValue(client.get(), "com.apple.disk_usage", nullptr);
        EXPECT_EQ(usage["TotalDiskCapacity"].toInt64(), 128000000000LL);
        // The answer comes in TLS, the library leaves TLS with a close_notify: what follows is
        // plain text, without a session.
        EXPECT_EQ(lockdownd_stop_session(client.get(), session), LOCKDOWN_E_SUCCESS);
        free(session);
        EXPECT_EQ(getValue(client.get(), nullptr, "UniqueDeviceID").toString(), kUdid);
        lockdownd_error_t rc = LOCKDOWN_E_SUCCESS;
        EXPECT_TRUE(getValue(client.get(), "com.apple.disk_usage", nullptr, &rc).isNull());
        EXPECT_NE(rc, LOCKDOWN_E_SUCCESS);
    }
}

// The port of a service started in the session, with whether it speaks TLS; port 0 when it
// could not be started.
std::pair<std::uint16_t, bool> startService(lockdownd_client_t client, const char* name) {
    lockdownd_service_descriptor_t descriptor = nullptr;
    if (lockdownd_start_service(client, name, &descriptor) != LOCKDOWN_E_SUCCESS) {
        return {0, false};
    }
    const std::pair<std::uint16_t, bool> started{descriptor->port, descriptor->ssl_enabled != 0};
    lockdownd_service_descriptor_free(descriptor);
    return started;
}

TEST_F(UsbmuxTls, OnlyTheNewestProfileSpeaksTlsOnItsServices) {
    struct Row {
        const char* profile;
        const char* service;
        bool tls;
    };
    const Row rows[] = {
        {"ios17", "com.apple.mobile.house_arrest", true},
        {"ios17", "com.apple.springboardservices", true},
        {"ios17", "com.apple.crashreportmover", true},
        {"ios17", "com.apple.afc", false},
        {"ios17", "com.apple.mobile.installation_proxy", false},
        {"ios11", "com.apple.mobile.house_arrest", false},
        {"legacy", "com.apple.crashreportmover", false},
    };
    startServer();
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profile) + " " + row.service);
        setProfile(row.profile);
        connect();
        const auto [port, tls] = startService(lockdown.get(), row.service);
        EXPECT_NE(port, 0);
        EXPECT_EQ(tls, row.tls);
    }
}

TEST_F(UsbmuxTls, ClientsThatVanishInTheMiddleOfTlsLeaveTheServerServing) {
    addApp("com.example.notes", "Notes", true);
    startServer();
    connect();
    // Gone before the handshake, in the middle of it, and with an answer on its way.
    const std::uint16_t silent =
        startService(lockdown.get(), "com.apple.mobile.house_arrest").first;
    const int closed = server.tunnel(1, silent);
    ASSERT_GE(closed, 0);
    ::close(closed);
    const std::uint16_t halfway = startService(lockdown.get(), "com.apple.crashreportmover").first;
    const int half = server.tunnel(1, halfway);
    ASSERT_GE(half, 0);
    const std::uint8_t partialRecord[] = {0x16, 0x03, 0x01, 0x02, 0x00, 0x01};
    ASSERT_TRUE(usbmuxsim::writeAll(half, partialRecord, sizeof partialRecord));
    ::close(half);
    house_arrest_client_t vanishing = nullptr;
    ASSERT_EQ(house_arrest_client_start_service(device.get(), &vanishing, "nimbara-tests"),
              HOUSE_ARREST_E_SUCCESS);
    EXPECT_EQ(house_arrest_send_command(vanishing, "VendDocuments", "com.example.notes"),
              HOUSE_ARREST_E_SUCCESS);
    house_arrest_client_free(vanishing);

    // The server goes on: a new session and TLS service work, and it ends cleanly.
    lockdown.reset();
    connect();
    EXPECT_TRUE(startAfc("com.apple.afc"));
    const std::uint16_t again = startService(lockdown.get(), "com.apple.crashreportmover").first;
    EXPECT_NE(again, 0);
    const PlistValue handshakes = server.tlsHandshakes();
    int failed = 0;
    for (const auto& handshake : handshakes.toArray()) {
        failed += handshake.contains("Error");
    }
    EXPECT_EQ(failed, 2) << handshakes.description();
    server.stop();
    EXPECT_TRUE(WIFEXITED(server.exitStatus()));
    EXPECT_EQ(WEXITSTATUS(server.exitStatus()), 0);
}

}  // namespace
}  // namespace nimbara::test
