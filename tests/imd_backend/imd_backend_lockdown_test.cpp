// Lockdown requests of a real device that never get an answer: each ends at the device's timeout
// or at once when the device goes, and a device whose lockdown hangs holds up no other device,
// nor the library's end.
#include <future>

#include "app/quennic_app_delegate.h"
#include "filemanager/app_scan.h"
#include "filemanager/storage_scan.h"
#include "filemanager/user_data_scan.h"
#include "imd_backend_fixture.h"
#include "transfer/media_library.h"

namespace nimbara::test {
namespace {

constexpr const char* kTabletUdid = "00008027-000A11B22C33D44E";
// Far beyond every limit of these tests: only the library's own handling can end a wait.
constexpr std::chrono::minutes kEndless{10};
// How long a test lets a call take that must end at once or at the device's two seconds, and
// not at libimobiledevice's own half minute.
constexpr int kPromptMs = 10000;

// Runs `work` on a thread of its own: whether it ended within `limitMs` (it is waited for in
// any case, so that nothing outlives the test).
template <typename Work>
bool endsWithin(Work work, int limitMs = kPromptMs) {
    std::packaged_task<void()> task(std::move(work));
    auto ended = task.get_future();
    std::thread thread(std::move(task));
    const bool prompt = loopUntil(
        [&] { return ended.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        limitMs);
    thread.join();
    return prompt;
}

PlistValue stalled(const char* request) {
    return PlistValue(PlistValue::Array{request});
}
// A device that hangs from its first answer on.
PlistValue hung() {
    return PlistValue(PlistValue::Array{"QueryType", "GetValue"});
}

class ImdBackendLockdown : public ImdBackendTest {
  protected:
    md::DeviceHandle attachPhone(std::chrono::milliseconds timeout) {
        md::imd::ImdLibrary::Options options = shortLimits();
        options.timeout = timeout;
        startLibrary(std::move(options));
        subscribe();
        return waitForAttached();
    }
    static void closeBracket(md::Device& device) {
        device.stopSession();
        device.disconnect();
    }
};

TEST_F(ImdBackendLockdown, AnUnansweredRequestFailsAtTheTimeoutAndTheDeviceIsUsableAgain) {
    const md::DeviceHandle handle = attachPhone(std::chrono::milliseconds(2000));
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->connect(), 0);
    ASSERT_EQ(handle->startSession(), 0);
    setFault(usbmuxsim::kFaultStalledLockdown, stalled("GetValue"));
    int rc = 0;
    PlistValue value;
    EXPECT_TRUE(endsWithin([&] {
        rc = handle->copyValue(std::nullopt, std::string("DeviceName"), value);
        closeBracket(*handle);  // the goodbye of a hung connection costs nothing more
    }));
    EXPECT_EQ(rc, md::Error::Timeout);
    EXPECT_TRUE(value.isNull());

    // A session that can't start ends the same way.
    setFault(usbmuxsim::kFaultStalledLockdown, stalled("StartSession"));
    ASSERT_EQ(handle->connect(), 0);
    EXPECT_TRUE(endsWithin([&] { rc = handle->startSession(); }));
    EXPECT_EQ(rc, md::Error::Timeout);
    // The lost connection fails at once until the bracket opens a new one.
    EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value),
              md::Error::Timeout);
    handle->disconnect();

    clearFaults();
    ASSERT_EQ(handle->connect(), 0);
    ASSERT_EQ(handle->startSession(), 0);
    ASSERT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value), 0);
    EXPECT_EQ(value.toString(), "Test iPhone");
    EXPECT_EQ(handle->stopSession(), 0);
    EXPECT_EQ(handle->disconnect(), 0);
    EXPECT_TRUE(handle->attached());
}

TEST_F(ImdBackendLockdown, ARequestStuckOnAHungDeviceEndsAtOnceWhenTheDeviceGoes) {
    const md::DeviceHandle handle = attachPhone(kEndless);
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->connect(), 0);
    ASSERT_EQ(handle->startSession(), 0);
    // The device hangs in the middle of the request and its connection stays open after it
    // went: only the detach the library hears of can end the wait.
    setFault(usbmuxsim::kFaultStalledLockdown, stalled("GetValue"));
    std::atomic<int> rc{0};
    std::atomic<bool> done{false};
    std::thread call([&] {
        PlistValue value;
        rc = handle->copyValue(std::string("com.apple.disk_usage"), std::nullopt, value);
        done = true;
    });
    loopUntil([] { return false; }, 300);  // the request is out
    EXPECT_FALSE(done.load());
    unplugPhone();
    EXPECT_TRUE(loopUntil([&] { return done.load(); }, kPromptMs));
    call.join();
    EXPECT_EQ(rc.load(), md::Error::DeviceGone);
    EXPECT_FALSE(handle->attached());
    EXPECT_TRUE(endsWithin([&] { closeBracket(*handle); }));
    EXPECT_EQ(handle->connect(), md::Error::DeviceGone);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    EXPECT_TRUE(library->attachedDevices().empty());
}

TEST_F(ImdBackendLockdown, ADeviceWhoseLockdownHangsHoldsUpNeitherAnotherDeviceNorTheEnd) {
    // The phone hangs from its first answer on; the tablet comes after it and answers. (A hang
    // inside libimobiledevice's own handshake ends only at its half-minute limit.)
    phone.setFault(usbmuxsim::kFaultStalledLockdown, hung());
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = kEndless;
    startLibrary(std::move(options));
    subscribe();
    simdev::SimDeviceBuilder tablet(server.folder() / "tablet");
    tablet.setIdentity("Test iPad", kTabletUdid, "iPad8,1", "13.3");
    ASSERT_TRUE(tablet.write());
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageAttached) == 1; }, kPromptMs));
    const md::DeviceHandle tabletHandle = heard.last(md::kMessageAttached);
    EXPECT_NE(tabletHandle->identifier().find(kTabletUdid), std::string::npos);
    ASSERT_EQ(library->attachedDevices().size(), 1u);
    EXPECT_EQ(library->attachedDevices().front(), tabletHandle);

    // The hung phone goes away (reported only as connecting: whoever said so hears that it
    // went), and comes back healthy as a new attachment.
    clearFaults();
    unplugPhone();
    plugPhoneBackIn();
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageAttached) == 2; }, kPromptMs));
    EXPECT_EQ(heard.count(md::kMessageDetached), 1);
    EXPECT_EQ(heard.count(md::kMessageWaiting), 0);
    EXPECT_EQ(library->attachedDevices().size(), 2u);

    // A tablet hung in its check when the library ends: the end doesn't wait for it.
    ASSERT_EQ(server.control("SimDetach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 2; }, kPromptMs));
    tablet.setFault(usbmuxsim::kFaultStalledLockdown, hung());
    ASSERT_TRUE(tablet.write());
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    loopUntil([] { return false; }, 300);  // its check is under way
    subscription.reset();
    EXPECT_TRUE(endsWithin([&] { library.reset(); }));
    EXPECT_EQ(heard.count(md::kMessageAttached), 2);
}

// What the user reads when the device stops answering: that it did not answer in time, never a
// trust question nor a refusal.
struct Silence {
    const char* what;
    const char* fault;
    const char* stalled;
    bool atThePlug;  // stalled before the device is plugged in, else once it is listed
    enum Reader {
        Apps,
        Files,
        Music
    } reads;  // what is read then: the storage page's apps or
              // files, or the music list
};
void PrintTo(const Silence& silence, std::ostream* out) {
    *out << silence.what;
}

class ImdBackendSilence : public ImdBackendLockdown,
                          public ::testing::WithParamInterface<Silence> {};

TEST_P(ImdBackendSilence, ACallThatTimedOutSaysTheDeviceDidNotAnswerInTime) {
    const Silence& row = GetParam();
    md::imd::ImdLibrary::Options options = shortLimits();
    options.timeout = std::chrono::milliseconds(3000);
    options.trustRetry = std::chrono::minutes(10);  // one check: its reason stays on show
    QString shown;
    if (row.atThePlug) {
        // A question of the trust check goes unanswered: the device waits, and says why.
        phone.setFault(row.fault, stalled(row.stalled));
        startLibrary(std::move(options));
        subscribe();
        ASSERT_TRUE(loopUntil([&] {
            return heard.count(md::kMessageWaiting) + heard.count(md::kMessageAttached) > 0;
        }));
        EXPECT_EQ(heard.count(md::kMessageAttached), 0);
        shown = QuennicAppDelegate::waitingAdvice(heard.events.back().waitReason);
    } else {
        const int index = startWithDeviceManager(std::move(options));
        ASSERT_GE(index, 0);
        setFault(row.fault, stalled(row.stalled));
        const amd::DeviceTarget target{index,
                                       amd::DeviceManager::GetInstance().DeviceSerial(index)};
        const auto never = [] { return false; };
        switch (row.reads) {
            case Silence::Apps:
                shown = filemanager::storageScanStatusText(
                    filemanager::scanDeviceApps(target, never, {}).status);
                break;
            case Silence::Files:
                shown = filemanager::storageScanStatusText(
                    filemanager::scanDeviceUserData(target, never, {}, {}).status);
                break;
            case Silence::Music:
                shown = transfer::mediaLibraryStatusText(
                    transfer::MediaLibraryReader(target).read().status);
                break;
        }
    }
    EXPECT_EQ(shown.toStdString(), "The device did not answer in time.");
}

INSTANTIATE_TEST_SUITE_P(
    Calls, ImdBackendSilence,
    ::testing::Values(Silence{"GetValue", usbmuxsim::kFaultStalledLockdown, "GetValue", true,
                              Silence::Apps},
                      Silence{"InstallationProxy", usbmuxsim::kFaultStalledServices,
                              "com.apple.mobile.installation_proxy", false, Silence::Apps},
                      Silence{"ValuesAfterHandshake", usbmuxsim::kFaultStalledInSession, "GetValue",
                              true, Silence::Apps},
                      Silence{"FileServiceStart", usbmuxsim::kFaultStalledLockdown, "StartService",
                              false, Silence::Files},
                      Silence{"FileService", usbmuxsim::kFaultStalledServices, "com.apple.afc",
                              false, Silence::Files},
                      Silence{"MusicFileServiceStart", usbmuxsim::kFaultStalledLockdown,
                              "StartService", false, Silence::Music}),
    [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace nimbara::test
