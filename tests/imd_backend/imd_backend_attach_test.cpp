// The attach of a real device as each generation of iPhone answers it (the test device's
// profiles), through the real libimobiledevice: the pairing asked once per plug, TLS where the
// device speaks it, and the program still running when the device goes in the middle of it.
#include <signal.h>

#include <atomic>
#include <future>

#include "device/air_traffic_host_helper.h"
#include "device/base_info.h"
#include "filemanager/storage_count.h"
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
    // The attach as the program makes it: the device manager lists the device, the device list
    // reads the values it shows and the storage overview opens its media-sync session. The
    // device's values and disk usage as read; nullopt when the device was never listed.
    std::optional<PlistValue> attachAsTheProgramDoes(int limitMs = 60000) {
        md::setLibrary(library);
        auto& manager = amd::DeviceManager::GetInstance();
        subscribed_ = subscribed_ || manager.Subscribe() == 0;
        if (!subscribed_ || !loopUntil([&] { return !manager.Indices().empty(); }, limitMs)) {
            return std::nullopt;
        }
        const int index = manager.Indices().front();
        amd::BaseInfo& info = *manager.FindItem(index)->info();
        for (auto read : {&amd::BaseInfo::GetProductVersion, &amd::BaseInfo::GetPhoneNumber,
                          &amd::BaseInfo::GetProductType, &amd::BaseInfo::GetSerialNumber}) {
            (info.*read)();
        }
        PlistValue shown = PlistValue::dict();
        shown["DeviceName"] = info.GetDeviceName().value_or("");
        shown["BuildVersion"] = info.GetBuildVersion().value_or("");
        shown["Total"] = static_cast<std::int64_t>(info.GetDiskUsage().TotalDiskCapacity);
        amd::AirTrafficHostHelper overview;
        shown["Overview"] = overview.Connect(info.GetUniqueDeviceID(), index) == 0;
        return shown;
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
    bool subscribed_ = false;
};

struct Profile {
    const char* name;
    const char* version;
    const char* build;  // what the device serves with its version
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
        EXPECT_EQ(handle->copyValue(std::nullopt, std::string("BuildVersion"), value), 0);
        EXPECT_EQ(value.toString(), GetParam().build);
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
    // Per plug the handshake's session and the check's, which the test's bracket takes up: each
    // in TLS 1.2 or later.
    const PlistValue handshakes = server.tlsHandshakes();
    EXPECT_EQ(handshakes.size(), std::string(GetParam().name) == "legacy" ? 0u : 4u);
    for (const auto& handshake : handshakes.toArray()) {
        const std::string agreed = handshake["Version"].toString();
        EXPECT_TRUE(agreed == "TLSv1.2" || agreed == "TLSv1.3") << handshake.description();
    }
}

// The attach reads what it shows in the trust check's session: the library's handshake and
// that session are all, and a device whose every answer takes 3 s is listed within 30 s.
TEST_P(ImdBackendProfiles, AnAttachWithTheValuesItShowsTakesAtMostThreeSessions) {
    setProfile(GetParam().name, GetParam().version);
    startCounted();
    const auto shown = attachAsTheProgramDoes();
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)["DeviceName"].toString(), "Test iPhone");
    EXPECT_EQ((*shown)["BuildVersion"].toString(), GetParam().build);
    EXPECT_EQ((*shown)["Total"].toInt64(), static_cast<std::int64_t>(kDiskTotal));
    EXPECT_TRUE((*shown)["Overview"].toBool());
    EXPECT_LE(proxy->count("StartSession"), 3);
}

INSTANTIATE_TEST_SUITE_P(Generations, ImdBackendProfiles,
                         ::testing::Values(Profile{"legacy", "10.3.3", "14G60"},
                                           Profile{"ios11", "11.4", "15G77"},
                                           Profile{"ios17", "17.5", "21F90"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ImdBackendAttach, ADeviceAnsweringEveryRequestIn3SecondsIsListedWithin30Seconds) {
    setProfile("ios17", "17.5");
    startCounted();
    // Paired on its first plug; plugged in again while busy.
    ASSERT_TRUE(attachAsTheProgramDoes());
    setFault(usbmuxsim::kFaultLockdownDelayMs, 3000);
    unplugPhone();
    ASSERT_TRUE(loopUntil([] { return amd::DeviceManager::GetInstance().Indices().empty(); }));
    const auto started = std::chrono::steady_clock::now();
    plugPhoneBackIn();
    const auto shown = attachAsTheProgramDoes(30000);
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)["DeviceName"].toString(), "Test iPhone");
    EXPECT_LE(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
}

// What the status page starts once the device is listed (the storage count: photo folders, the
// media library and the apps' sizes) goes on in the attach's lockdown session: services asked
// for one after the other share it, each costing its own start only.
TEST_F(ImdBackendAttach, TheFirstPageStartsItsServicesInTheAttachsSession) {
    setProfile("ios17", "17.5");
    phone.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "photo");
    startCounted();
    ASSERT_TRUE(attachAsTheProgramDoes());
    EXPECT_EQ(proxy->count("StartSession"), 2);  // the handshake's and the check's
    auto& manager = amd::DeviceManager::GetInstance();
    const int index = manager.Indices().front();
    using C = filemanager::StorageCategory;
    std::vector<filemanager::StorageScanStatus> ended;
    filemanager::countStorageCategories(
        {index, manager.DeviceSerial(index)},
        {C::Apps, C::Music, C::Movies, C::PhotoLibrary, C::CameraRoll}, {},
        [&](const filemanager::StorageCountStep& step) { ended.push_back(step.status); });
    EXPECT_EQ(ended,
              std::vector<filemanager::StorageScanStatus>(3, filemanager::StorageScanStatus::Done));
    EXPECT_EQ(proxy->count("StartSession"), 2);
}

// Brackets that follow each other share the kept session; once idle it is closed (its goodbye
// goes out without any bracket), and the next bracket starts a new one.
TEST_F(ImdBackendAttach, AKeptSessionIsClosedWhenIdleAndStartedAgainWhenNeeded) {
    md::imd::ImdLibrary::Options options = shortLimits();
    options.sessionIdle = std::chrono::milliseconds(300);
    startCounted(std::move(options));  // the legacy profile: no TLS hides the requests
    subscribe();
    const md::DeviceHandle handle = waitForAttached();
    ASSERT_TRUE(handle);
    const auto bracket = [&] {
        PlistValue value;
        EXPECT_EQ(handle->connect(), 0);
        EXPECT_EQ(handle->startSession(), 0);
        EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value), 0);
        EXPECT_EQ(value.toString(), "Test iPhone");
        handle->stopSession();
        EXPECT_EQ(handle->disconnect(), 0);
    };
    bracket();
    const int sessions = proxy->count("StartSession");
    const int goodbyes = proxy->count("Goodbye");
    bracket();
    EXPECT_EQ(proxy->count("StartSession"), sessions);
    ASSERT_TRUE(loopUntil([&] { return proxy->count("Goodbye") > goodbyes; }, 5000));
    bracket();
    EXPECT_EQ(proxy->count("StartSession"), sessions + 1);
}

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
