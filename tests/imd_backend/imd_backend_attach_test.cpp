// The attach of a real device as each generation of iPhone answers it (the test device's
// profiles), through the real libimobiledevice: the pairing asked once per plug, TLS where the
// device speaks it, and the program still running when the device goes in the middle of it.
#include <signal.h>

#include <atomic>
#include <future>

#include "imd_backend_fixture.h"
#include "request_counting_proxy.h"

namespace nimbara::test {
namespace {

// Counts SIGPIPE while a test runs (in place of ending the process, as the default would).
class SigpipeCounter {
  public:
    SigpipeCounter() {
        seen().store(0);
        struct sigaction counting {};
        counting.sa_handler = [](int) { seen().fetch_add(1); };
        sigemptyset(&counting.sa_mask);
        sigaction(SIGPIPE, &counting, &previous_);
    }
    ~SigpipeCounter() { sigaction(SIGPIPE, &previous_, nullptr); }
    SigpipeCounter(const SigpipeCounter&) = delete;
    SigpipeCounter& operator=(const SigpipeCounter&) = delete;
    int count() const { return seen().load(); }

  private:
    static std::atomic<int>& seen() {
        static std::atomic<int> counter{0};
        return counter;
    }
    struct sigaction previous_ {};
};

class ImdBackendAttach : public ImdBackendTest {
  protected:
    // The server, the counting proxy in front of it, and the library (not yet subscribed).
    void startCounted(md::imd::ImdLibrary::Options options = shortLimits()) {
        startServer();
        ASSERT_FALSE(HasFatalFailure());
        proxy = std::make_unique<RequestCountingProxy>(server.socket(),
                                                       server.folder() / "counted-socket");
        ASSERT_TRUE(proxy->started());
        library = std::make_shared<md::imd::ImdLibrary>(std::move(options));
    }
    void setProfile(const char* profile, const char* version) {
        phone.setIdentity("Test iPhone", kUdid, "iPhone12,1", version);
        phone.editDevicePlist()["SimProfile"] = profile;
    }
    bool waitForWaiting(int reason, int times = 1) {
        return loopUntil([&] {
            int n = 0;
            for (const auto& event : heard.events) {
                n += event.message == md::kMessageWaiting && event.waitReason == reason;
            }
            return n >= times;
        });
    }

    std::unique_ptr<RequestCountingProxy> proxy;
};

struct Profile {
    const char* name;
    const char* version;
};
void PrintTo(const Profile& profile, std::ostream* out) {
    *out << profile.name;
}

class ImdBackendProfiles : public ImdBackendAttach,
                           public ::testing::WithParamInterface<Profile> {};

// On ios11 and ios17 the device takes TLS 1.2 and later only: a session that carries requests
// proves that the version the handshake stored lifted libimobiledevice's TLS 1.0 cap.
TEST_P(ImdBackendProfiles, AFreshDeviceIsPairedOnceAndServesSessionsAndServicesOnEveryPlug) {
    setProfile(GetParam().name, GetParam().version);
    phone.addMediaFile("/Downloads/a.txt", "a");
    startCounted();
    subscribe();
    for (int plug = 1; plug <= 2; ++plug) {
        SCOPED_TRACE(plug);
        const md::DeviceHandle handle = waitForAttached(plug);
        ASSERT_TRUE(handle);
        EXPECT_EQ(handle->waitReason(), md::Error::Ok);
        ASSERT_EQ(handle->connect(), 0);
        EXPECT_EQ(handle->validatePairing(), 0);
        EXPECT_NE(handle->isPaired(), 0);
        ASSERT_EQ(handle->startSession(), 0);
        PlistValue value;
        EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value), 0);
        EXPECT_EQ(value.toString(), "Test iPhone");
        {
            std::unique_ptr<md::ServiceConnection> service;
            ASSERT_EQ(handle->startService("com.apple.afc", service), 0);
            std::unique_ptr<md::AfcConnection> afc;
            ASSERT_EQ(service->openAfc(afc), 0);
            std::vector<std::string> names;
            EXPECT_EQ(afc->readDirectory("/Downloads", names), 0);
            EXPECT_NE(std::find(names.begin(), names.end(), "a.txt"), names.end());
        }
        EXPECT_EQ(handle->stopSession(), 0);
        EXPECT_EQ(handle->disconnect(), 0);
        // The pair record made on the first plug serves the second.
        EXPECT_EQ(proxy->count("Pair"), 1);
        EXPECT_EQ(proxy->count("ValidatePair"), 0);
        if (plug == 1) {
            unplugPhone();
            ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
            plugPhoneBackIn();
        }
    }
    // Per plug the handshake's session, the check's and the test's: each in TLS 1.2 or later.
    const PlistValue handshakes = server.tlsHandshakes();
    EXPECT_EQ(handshakes.size(), std::string(GetParam().name) == "legacy" ? 0u : 6u);
    for (const auto& handshake : handshakes.toArray()) {
        const std::string agreed = handshake["Version"].toString();
        EXPECT_TRUE(agreed == "TLSv1.2" || agreed == "TLSv1.3") << handshake.description();
    }
}

INSTANTIATE_TEST_SUITE_P(Generations, ImdBackendProfiles,
                         ::testing::Values(Profile{"legacy", "10.3.3"}, Profile{"ios11", "11.4"},
                                           Profile{"ios17", "17.5"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImdBackendAttach, ARefusedTrustQuestionIsAskedOncePerPlug) {
    phone.setTrusted(false);
    startCounted();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingRefused));
    // Long past many retry periods of a waiting device.
    loopUntil([] { return false; }, 1000);
    EXPECT_EQ(proxy->count("Pair"), 1);

    unplugPhone();
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    plugPhoneBackIn();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingRefused, 2));
    loopUntil([] { return false; }, 500);
    EXPECT_EQ(proxy->count("Pair"), 2);
    EXPECT_EQ(heard.count(md::kMessageAttached), 0);
}

TEST_F(ImdBackendAttach, APendingTrustQuestionIsLookedAtLessAndLessOftenUntilAnswered) {
    phone.setFault(usbmuxsim::kFaultTrustPending, true);
    startCounted();  // the first look again after 100 ms, then 200, 400, 800, ...
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingPending));
    loopUntil([] { return false; }, 1400);
    // Within 1.5 s the doubling waits allow five questions at the most (a fixed 100 ms, fifteen).
    const int asked = proxy->count("Pair");
    EXPECT_GE(asked, 1);
    EXPECT_LE(asked, 5);
    clearFaults();
    ASSERT_TRUE(waitForAttached());
    const int answered = proxy->count("Pair");
    loopUntil([] { return false; }, 500);
    EXPECT_EQ(proxy->count("Pair"), answered);  // nothing asked once trusted
    EXPECT_EQ(heard.count(md::kMessageWaiting), 1);
}

TEST_F(ImdBackendAttach, ADetachDuringARequestOrAServiceCloseLeavesTheProcessRunning) {
    const SigpipeCounter sigpipes;
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = std::chrono::minutes(10);  // only the detach can end the request
    startCounted(std::move(options));
    subscribe();
    const md::DeviceHandle handle = waitForAttached();
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->connect(), 0);
    ASSERT_EQ(handle->startSession(), 0);
    // SpringBoard's service speaks TLS on the newest profile, as the lockdown session does.
    constexpr const char* kTlsService = "com.apple.springboardservices";
    std::unique_ptr<md::ServiceConnection> closedWhole;
    ASSERT_EQ(handle->startService(kTlsService, closedWhole), 0);
    closedWhole.reset();  // says its TLS goodbye to a device still there
    std::unique_ptr<md::ServiceConnection> closedAfter;
    ASSERT_EQ(handle->startService(kTlsService, closedAfter), 0);

    setFault(usbmuxsim::kFaultStalledLockdown, PlistValue(PlistValue::Array{"GetValue"}));
    std::promise<int> result;
    std::thread call([&] {
        PlistValue value;
        result.set_value(handle->copyValue(std::nullopt, std::string("DeviceName"), value));
    });
    auto ended = result.get_future();
    loopUntil([] { return false; }, 300);  // the request is out
    unplugPhone();
    ASSERT_TRUE(loopUntil(
        [&] { return ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    call.join();
    EXPECT_EQ(ended.get(), md::Error::DeviceGone);
    EXPECT_EQ(closedAfter->send("x", 1), -1);
    closedAfter.reset();  // after the detach: nothing written to the shut socket
    handle->stopSession();
    handle->disconnect();
    EXPECT_EQ(sigpipes.count(), 0);
}

TEST_F(ImdBackendAttach, AFailedDiskUsageReadGivesASessionWithEveryFigureUnknown) {
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = std::chrono::milliseconds(2000);
    options.diskUsageFresh = std::chrono::milliseconds(0);  // the session asks the device
    startCounted(std::move(options));
    subscribe();
    ASSERT_TRUE(waitForAttached());
    setFault(usbmuxsim::kFaultStalledLockdown, PlistValue(PlistValue::Array{"GetValue"}));
    auto session = library->createMediaSyncConnection("library", kUdid);
    ASSERT_TRUE(session);
    EXPECT_EQ((*session->readMessage())["Command"].toString(), "SyncAllowed");
    const auto metrics = session->readMessage();
    ASSERT_TRUE(metrics);
    const PlistValue& params = (*metrics)["Params"];
    for (const PlistValue* group :
         {&params["Application"], &params["Media"]["Music"], &params["Media"]["Movie"],
          &params["Photo"]["Photo"], &params["Photo"]["CameraRoll"]}) {
        EXPECT_TRUE((*group)[md::kMetricUnknown].toBool());
        EXPECT_EQ(group->find("_PhysicalSize"), nullptr);
    }
}

}  // namespace
}  // namespace nimbara::test
