// Attach and detach events of the real-device library, and the states of a device that can't be
// used yet (locked, the trust question showing, trust refused), end to end: libusbmuxd's event
// thread, the library's watcher, the hand-off to the subscriber's event loop, and the device's
// own pairing and session through libimobiledevice.
#include <QThread>

#include "imd_backend_fixture.h"

namespace nimbara::test {
namespace {

constexpr const char* kTabletUdid = "00008027-000A11B22C33D44E";

class ImdBackendEvents : public ImdBackendTest {
  protected:
    // A tablet in a folder outside the devices folder: it comes and goes only when told.
    simdev::SimDeviceBuilder makeTablet() {
        simdev::SimDeviceBuilder tablet(server.folder() / "tablet");
        tablet.setIdentity("Test iPad", kTabletUdid, "iPad8,1", "13.3");
        tablet.addMediaFile("/Downloads/a.txt", "a");
        EXPECT_TRUE(tablet.write());
        return tablet;
    }
    // Unplugs the phone (its folder leaves the devices folder), calls `meanwhile`, plugs it in
    // again.
    template <typename Action>
    void replugPhone(Action meanwhile) {
        const auto away = server.folder() / "unplugged";
        std::filesystem::rename(phone.dir(), away);
        ASSERT_EQ(server.control("SimRescan"), 0);
        meanwhile();
        std::filesystem::rename(away, phone.dir());
        ASSERT_EQ(server.control("SimRescan"), 0);
    }
    // Waits for the phone to be reported waiting with `reason`.
    bool waitForWaiting(int reason) {
        return loopUntil([&] {
            for (const auto& event : heard.events) {
                if (event.message == md::kMessageWaiting && event.waitReason == reason) {
                    return true;
                }
            }
            return false;
        });
    }
    // Connects and opens a session on `device`: the first failure, or 0.
    static int openSession(md::Device& device) {
        if (int rc = device.connect()) {
            return rc;
        }
        return device.startSession();
    }
};

TEST_F(ImdBackendEvents, AttachAndDetachReachTheSubscriberOnItsOwnThreadWithAUsableHandle) {
    startLibrary();
    QThread* const ours = QThread::currentThread();
    std::vector<QThread*> threads;
    ASSERT_EQ(library->subscribe(
                  [&](int message, const md::DeviceHandle& device) {
                      threads.push_back(QThread::currentThread());
                      heard.events.push_back({message, device, device->waitReason()});
                  },
                  subscription),
              0);
    const md::DeviceHandle phoneHandle = waitForAttached();
    ASSERT_TRUE(phoneHandle);
    EXPECT_TRUE(phoneHandle->attached());
    EXPECT_EQ(phoneHandle->waitReason(), md::Error::Ok);
    EXPECT_NE(phoneHandle->identifier().find(kUdid), std::string::npos);

    simdev::SimDeviceBuilder tablet = makeTablet();
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    const md::DeviceHandle tabletHandle = waitForAttached(2);
    ASSERT_TRUE(tabletHandle);
    EXPECT_NE(tabletHandle, phoneHandle);
    EXPECT_EQ(library->attachedDevices().size(), 2u);

    ASSERT_EQ(server.control("SimDetach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(heard.last(md::kMessageDetached), tabletHandle);
    EXPECT_FALSE(tabletHandle->attached());
    EXPECT_EQ(tabletHandle->connect(), md::Error::DeviceGone);
    EXPECT_TRUE(phoneHandle->attached());
    EXPECT_EQ(library->attachedDevices(), std::vector<md::DeviceHandle>{phoneHandle});
    for (QThread* thread : threads) {
        EXPECT_EQ(thread, ours);
    }
    EXPECT_EQ(heard.count(md::kMessageWaiting), 0);
}

TEST_F(ImdBackendEvents, DevicesAttachedBeforeSubscribingAreReportedToEachNewSubscriber) {
    startLibrary();
    subscribe();
    const md::DeviceHandle first = waitForAttached();
    ASSERT_TRUE(first);

    HeardEvents later;
    std::unique_ptr<md::Subscription> laterSubscription;
    ASSERT_EQ(library->subscribe(later.callback(), laterSubscription), 0);
    ASSERT_TRUE(loopUntil([&] { return later.count(md::kMessageAttached) == 1; }));
    EXPECT_EQ(later.last(md::kMessageAttached), first);  // the same attachment, not a new one

    // A subscription that ended hears nothing more.
    laterSubscription.reset();
    std::filesystem::remove_all(phone.dir());
    ASSERT_EQ(server.control("SimRescan"), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(later.count(md::kMessageDetached), 0);
}

TEST_F(ImdBackendEvents, ADeviceDetachedMidOperationFailsItsOldHandleAndComesBackAsANewOne) {
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForAttached());
    simdev::SimDeviceBuilder tablet = makeTablet();
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    const md::DeviceHandle old = waitForAttached(2);
    ASSERT_TRUE(old);

    ASSERT_EQ(openSession(*old), 0);
    std::unique_ptr<md::ServiceConnection> service;
    ASSERT_EQ(old->startService("com.apple.afc", service), 0);
    std::unique_ptr<md::AfcConnection> afc;
    ASSERT_EQ(service->openAfc(afc), 0);
    std::vector<std::string> names;
    ASSERT_EQ(afc->readDirectory("/Downloads", names), 0);

    ASSERT_EQ(server.control("SimDetach", tablet.dir()), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    EXPECT_NE(afc->readDirectory("/Downloads", names), 0);
    EXPECT_TRUE(names.empty());
    PlistValue value;
    EXPECT_EQ(old->copyValue(std::nullopt, std::string("DeviceName"), value),
              md::Error::DeviceGone);
    std::unique_ptr<md::ServiceConnection> another;
    EXPECT_EQ(old->startService("com.apple.afc", another), md::Error::DeviceGone);
    EXPECT_FALSE(another);
    // The bracket still ends cleanly on the old handle, whatever the calls answer.
    old->stopSession();
    old->disconnect();
    afc.reset();
    service.reset();

    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    const md::DeviceHandle again = waitForAttached(3);
    ASSERT_TRUE(again);
    EXPECT_NE(again, old);
    EXPECT_NE(again->identifier(), old->identifier());
    ASSERT_EQ(openSession(*again), 0);
    EXPECT_EQ(again->copyValue(std::nullopt, std::string("DeviceName"), value), 0);
    EXPECT_EQ(value.toString(), "Test iPad");
    EXPECT_EQ(again->stopSession(), 0);
    EXPECT_EQ(again->disconnect(), 0);
}

TEST_F(ImdBackendEvents, ALockedDeviceWaitsWithItsReasonAndIsAttachedOnceUnlocked) {
    phone.setFault(usbmuxsim::kFaultPasscodeLocked, true);
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PasswordProtected));
    const md::DeviceHandle waiting = heard.last(md::kMessageWaiting);
    EXPECT_EQ(waiting->waitReason(), md::Error::PasswordProtected);
    EXPECT_EQ(md::errorText(waiting->waitReason()),
              "The device is locked. Unlock it with its passcode and try again.");
    EXPECT_EQ(heard.count(md::kMessageAttached), 0);
    EXPECT_TRUE(library->attachedDevices().empty());

    clearFaults();
    const md::DeviceHandle attached = waitForAttached();
    ASSERT_TRUE(attached);
    EXPECT_EQ(attached, waiting);  // the same attachment, now usable
    EXPECT_EQ(attached->waitReason(), md::Error::Ok);
    // The reason was told once, not at every retry.
    EXPECT_EQ(heard.count(md::kMessageWaiting), 1);
}

TEST_F(ImdBackendEvents, ADeviceShowingTheTrustQuestionWaitsAndIsAttachedOnceTrusted) {
    phone.setFault(usbmuxsim::kFaultTrustPending, true);
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingPending));
    EXPECT_EQ(md::errorText(heard.last(md::kMessageWaiting)->waitReason()),
              md::errorText(md::Error::PairingPending));
    EXPECT_FALSE(std::filesystem::exists(server.pairRecords() / (std::string(kUdid) + ".plist")));

    clearFaults();  // the user chose Trust
    ASSERT_TRUE(waitForAttached());
    // The pair record the library made is kept for the next attachment.
    EXPECT_TRUE(std::filesystem::exists(server.pairRecords() / (std::string(kUdid) + ".plist")));
}

TEST_F(ImdBackendEvents, ARefusedPairingWaitsUntilTheDeviceIsPluggedInAgainAndTrusted) {
    phone.setTrusted(false);
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingRefused));
    const md::DeviceHandle refused = heard.last(md::kMessageWaiting);
    EXPECT_EQ(md::errorText(refused->waitReason()), md::errorText(md::Error::PairingRefused));
    EXPECT_TRUE(library->attachedDevices().empty());

    // Trusted from now on, but a refusal is not asked again by itself (the device would show
    // its question again and again): only plugging it in again asks.
    phone.setTrusted(true);
    ASSERT_TRUE(phone.write());
    loopUntil([] { return false; }, 500);
    EXPECT_EQ(heard.count(md::kMessageAttached), 0);

    replugPhone([&] {
        ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
        EXPECT_EQ(heard.last(md::kMessageDetached), refused);  // a waiting device is told gone
    });
    const md::DeviceHandle attached = waitForAttached();
    ASSERT_TRUE(attached);
    EXPECT_NE(attached, refused);
    EXPECT_EQ(attached->waitReason(), md::Error::Ok);
}

TEST_F(ImdBackendEvents, ARefusedDeviceIsAskedAgainWhenAnotherProgramPairedIt) {
    phone.setTrusted(false);
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::PairingRefused));

    // Trusted now, and another client pairs it: usbmuxd's "paired" event brings it in.
    phone.setTrusted(true);
    ASSERT_TRUE(phone.write());
    connect();
    ASSERT_TRUE(waitForAttached());
    EXPECT_EQ(heard.count(md::kMessageDetached), 0);
}

TEST_F(ImdBackendEvents, ADeviceWhoseLockdownCanNotBeReachedWaitsAndIsAskedAgain) {
    phone.setFault(md::sim::kFaultConnectError, md::Error::ConnectionRefused);
    startLibrary();
    subscribe();
    ASSERT_TRUE(waitForWaiting(md::Error::ConnectionRefused));
    clearFaults();
    ASSERT_TRUE(waitForAttached());
}

}  // namespace
}  // namespace nimbara::test
