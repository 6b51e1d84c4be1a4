#include <gtest/gtest.h>

#include <QThread>

#include <filesystem>
#include <thread>

#include "platform/mobiledevice/sim/simulated_device.h"
#include "sim_test_device.h"

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::test::EventLoop;
using nimbara::test::Events;
using nimbara::test::SimTestDevice;
using nimbara::test::startSession;
using nimbara::test::TempDir;

namespace {

// The default test device, attached but not yet connected.
using SimDeviceHandle = nimbara::test::AttachedDeviceTest;

}  // namespace

TEST_F(SimDeviceHandle, CallsNeedAConnectionAndASession) {
    PlistValue value;
    std::unique_ptr<md::ServiceConnection> service;

    EXPECT_EQ(handle->validatePairing(), md::Error::NotConnected);
    EXPECT_EQ(handle->startSession(), md::Error::NotConnected);
    EXPECT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), md::Error::NotConnected);
    EXPECT_EQ(handle->disconnect(), md::Error::NotConnected);
    EXPECT_EQ(handle->isPaired(), 0);

    ASSERT_EQ(handle->connect(), 0);
    EXPECT_EQ(handle->validatePairing(), 0);
    EXPECT_EQ(handle->pair(), 0);
    EXPECT_NE(handle->isPaired(), 0);
    EXPECT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), md::Error::SessionInactive);
    EXPECT_EQ(handle->startService("com.apple.afc", service), md::Error::SessionInactive);
    EXPECT_EQ(handle->startHouseArrestService("com.example.app", service),
              md::Error::SessionInactive);
    EXPECT_EQ(handle->stopSession(), md::Error::SessionInactive);

    ASSERT_EQ(handle->startSession(), 0);
    ASSERT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), 0);
    EXPECT_EQ(value.toString(), "Test iPhone");
    ASSERT_EQ(handle->copyValue(std::string("com.apple.disk_usage"), std::nullopt, value), 0);
    EXPECT_EQ(value["TotalDiskCapacity"].toInt64(), 64000000000LL);
    ASSERT_EQ(handle->copyValue(std::nullopt, std::nullopt, value), 0);
    EXPECT_EQ(value["UniqueDeviceID"].toString(), "00008020-TEST");
    EXPECT_NE(handle->copyValue(std::nullopt, "NoSuchKey", value), 0);
    EXPECT_TRUE(value.isNull());
    EXPECT_NE(handle->copyValue(std::string("com.example.none"), std::nullopt, value), 0);

    // Values follow device.plist as it changes.
    device.config()["Lockdown"]["Global"]["DeviceName"] = "Renamed";
    device.write();
    ASSERT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), 0);
    EXPECT_EQ(value.toString(), "Renamed");

    ASSERT_EQ(handle->stopSession(), 0);
    EXPECT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), md::Error::SessionInactive);
    ASSERT_EQ(handle->disconnect(), 0);
    EXPECT_EQ(handle->validatePairing(), md::Error::NotConnected);
}

TEST(SimLibrary, UntrustedDevicesRefusePairingSessionsAndMediaSync) {
    TempDir tmp;
    SimTestDevice device(tmp / "device");
    device.config()["Trusted"] = false;
    device.write();
    md::sim::SimulatedLibrary library;
    auto handle = library.attach(device.str());
    ASSERT_TRUE(handle);
    ASSERT_EQ(handle->connect(), 0);
    EXPECT_EQ(handle->validatePairing(), md::Error::InvalidPairing);
    EXPECT_EQ(handle->pair(), md::Error::PairingRefused);
    EXPECT_EQ(handle->isPaired(), 0);
    EXPECT_NE(handle->startSession(), 0);
    EXPECT_FALSE(library.createMediaSyncConnection("5B0E2D94A7C31F68", "00008020-TEST"));
}

TEST_F(SimDeviceHandle, InjectedFaults) {
    device.fault("ConnectError", md::Error::ConnectionRefused);
    EXPECT_EQ(handle->connect(), md::Error::ConnectionRefused);
    EXPECT_EQ(handle->disconnect(), md::Error::NotConnected) << "a failed connect leaves none";
    device.config()["Faults"] = PlistValue::dict();
    device.write();
    startSession(handle);

    device.fault("RefusedServices", PlistValue(PlistValue::Array{"com.apple.afc"}));
    std::unique_ptr<md::ServiceConnection> service;
    EXPECT_EQ(handle->startService("com.apple.afc", service), md::Error::ServiceRefused);
    EXPECT_FALSE(service);
    EXPECT_EQ(handle->startService("com.apple.crashreportcopymobile", service), 0);

    device.app("com.example.app", "App");
    PlistValue result;
    device.fault("ShortReply",
                 PlistValue(PlistValue::Array{"com.apple.mobile.installation_proxy"}));
    EXPECT_EQ(md::lookupApplications(*handle, PlistValue::dict(), result),
              md::Error::ProtocolError);
    EXPECT_EQ(result.size(), 0u);
    device.config()["Faults"] = PlistValue::dict();
    device.fault("ClosedReply",
                 PlistValue(PlistValue::Array{"com.apple.mobile.installation_proxy"}));
    EXPECT_EQ(md::lookupApplications(*handle, PlistValue::dict(), result),
              md::Error::ProtocolError);
    device.config()["Faults"] = PlistValue::dict();
    device.write();
    EXPECT_EQ(md::lookupApplications(*handle, PlistValue::dict(), result), 0);
    EXPECT_EQ(result.size(), 1u);

    device.fault("RefuseMediaSync", true);
    EXPECT_FALSE(library.createMediaSyncConnection("1", "00008020-TEST"));
}

TEST_F(SimDeviceHandle, HandlesFailCleanlyAfterDetach) {
    device.media("DCIM/a.jpg", "a");
    startSession(handle);
    std::unique_ptr<md::ServiceConnection> afcService;
    std::unique_ptr<md::ServiceConnection> proxy;
    ASSERT_EQ(handle->startService("com.apple.afc", afcService), 0);
    ASSERT_EQ(handle->startService("com.apple.mobile.installation_proxy", proxy), 0);
    std::unique_ptr<md::AfcConnection> afc;
    ASSERT_EQ(afcService->openAfc(afc), 0);
    std::unique_ptr<md::AfcFile> file;
    ASSERT_EQ(afc->openFile("/DCIM/a.jpg", md::AfcMode::Read, file), 0);
    auto sync = library.createMediaSyncConnection("1", "00008020-TEST");
    ASSERT_TRUE(sync);
    const std::string identity = handle->identifier();

    ASSERT_TRUE(library.detach(device.str()));
    EXPECT_FALSE(library.detach(device.str()));
    EXPECT_FALSE(handle->attached());
    EXPECT_EQ(handle->identifier(), identity);
    PlistValue value;
    std::unique_ptr<md::ServiceConnection> service;
    EXPECT_EQ(handle->connect(), md::Error::DeviceGone);
    EXPECT_EQ(handle->disconnect(), md::Error::DeviceGone);
    EXPECT_EQ(handle->validatePairing(), md::Error::DeviceGone);
    EXPECT_EQ(handle->pair(), md::Error::DeviceGone);
    EXPECT_EQ(handle->isPaired(), 0);
    EXPECT_EQ(handle->startSession(), md::Error::DeviceGone);
    EXPECT_EQ(handle->stopSession(), md::Error::DeviceGone);
    EXPECT_EQ(handle->copyValue(std::nullopt, "DeviceName", value), md::Error::DeviceGone);
    EXPECT_EQ(handle->startService("com.apple.afc", service), md::Error::DeviceGone);
    EXPECT_EQ(handle->startHouseArrestService("com.example.app", service), md::Error::DeviceGone);

    std::vector<std::string> names;
    EXPECT_EQ(afc->readDirectory("/", names), md::AfcError::NotConnected);
    EXPECT_EQ(afc->makeDirectory("/New"), md::AfcError::NotConnected);
    EXPECT_FALSE(fs::exists(device.dir() / "media/New"));
    char buffer[4];
    std::size_t n = sizeof buffer;
    EXPECT_EQ(file->read(buffer, n), md::AfcError::NotConnected);
    std::unique_ptr<md::AfcConnection> another;
    EXPECT_EQ(afcService->openAfc(another), md::Error::DeviceGone);
    EXPECT_EQ(proxy->send(buffer, 4), -1);
    EXPECT_EQ(proxy->receive(buffer, 4), -1);
    EXPECT_FALSE(sync->readMessage());
    EXPECT_FALSE(library.createMediaSyncConnection("1", "00008020-TEST"));

    // The same folder attached again is a new attachment.
    auto again = library.attach(device.str());
    ASSERT_TRUE(again);
    EXPECT_NE(again->identifier(), identity);
    EXPECT_FALSE(handle->attached());
}

TEST(SimLibrary, SubscribersHearOfAttachAndDetach) {
    TempDir tmp;
    SimTestDevice first(tmp / "first", "UDID-1");
    SimTestDevice second(tmp / "second", "UDID-2");
    md::sim::SimulatedLibrary library;
    auto one = library.attach(first.str());
    ASSERT_TRUE(one);
    EXPECT_FALSE(library.attach(first.str())) << "attached already";
    EXPECT_FALSE(library.attach((tmp / "nothing").string()));

    Events a;
    Events b;
    std::unique_ptr<md::Subscription> subA;
    std::unique_ptr<md::Subscription> subB;
    ASSERT_EQ(library.subscribe(a.callback(), subA), 0);
    ASSERT_EQ(a.seen.size(), 1u) << "devices present are reported";
    EXPECT_EQ(a.seen[0].device, one);
    ASSERT_EQ(library.subscribe(b.callback(), subB), 0);

    auto two = library.attach(second.str() + "/");
    ASSERT_TRUE(two);
    EXPECT_EQ(library.findByUdid("UDID-2"), two);
    EXPECT_EQ(library.attachedDevices().size(), 2u);
    ASSERT_TRUE(library.detach(first.str()));
    EXPECT_EQ(a.count(md::kMessageAttached), 2);
    EXPECT_EQ(a.count(md::kMessageDetached), 1);
    EXPECT_EQ(a.seen.back().device, one);
    EXPECT_EQ(b.seen.size(), 3u);
    for (const auto& e : a.seen) {
        EXPECT_EQ(e.thread, QThread::currentThread());
    }

    subB.reset();
    ASSERT_TRUE(library.detach(second.str()));
    EXPECT_EQ(a.seen.size(), 4u);
    EXPECT_EQ(b.seen.size(), 3u) << "no events after unsubscribing";
    EXPECT_FALSE(library.findByUdid("UDID-2"));

    // A callback may end its own subscription.
    std::unique_ptr<md::Subscription> selfEnding;
    int calls = 0;
    ASSERT_EQ(library.subscribe(
                  [&](int, const md::DeviceHandle&) {
                      ++calls;
                      selfEnding.reset();
                  },
                  selfEnding),
              0);
    library.attach(first.str());
    library.attach(second.str());
    EXPECT_EQ(calls, 1);
}

TEST(SimLibrary, RescanFollowsTheFoldersUnderTheRoot) {
    TempDir tmp;
    SimTestDevice present(tmp / "present", "UDID-P");
    fs::create_directories(tmp / ".hidden");
    md::sim::SimulatedLibrary library(tmp.str());
    Events events;
    std::unique_ptr<md::Subscription> subscription;
    ASSERT_EQ(library.subscribe(events.callback(), subscription), 0);
    ASSERT_EQ(events.seen.size(), 1u);

    // A folder without device.plist is not a device yet.
    fs::create_directories(tmp / "arriving/media");
    library.rescan();
    EXPECT_EQ(events.seen.size(), 1u);
    SimTestDevice arriving(tmp / "arriving", "UDID-A");
    library.rescan();
    ASSERT_EQ(events.seen.size(), 2u);
    EXPECT_EQ(events.seen[1].message, md::kMessageAttached);
    EXPECT_TRUE(library.findByUdid("UDID-A"));
    library.rescan();
    EXPECT_EQ(events.seen.size(), 2u) << "nothing changed";

    fs::remove_all(tmp / "present");
    library.rescan();
    ASSERT_EQ(events.seen.size(), 3u);
    EXPECT_EQ(events.seen[2].message, md::kMessageDetached);
    EXPECT_FALSE(events.seen[2].device->attached());
    EXPECT_EQ(library.attachedDevices().size(), 1u);
}

TEST(SimLibrary, WatcherDeliversOnTheSubscribingThread) {
    EventLoop loop;
    TempDir tmp;
    md::sim::SimulatedLibrary library(tmp.str());
    Events events;
    std::unique_ptr<md::Subscription> subscription;
    ASSERT_EQ(library.subscribe(events.callback(), subscription), 0);
    EXPECT_TRUE(events.seen.empty());

    SimTestDevice device(tmp / "device", "UDID-W");
    ASSERT_TRUE(loop.runUntil([&] { return events.seen.size() == 1; }));
    EXPECT_EQ(events.seen[0].message, md::kMessageAttached);
    EXPECT_EQ(events.seen[0].thread, QThread::currentThread());

    fs::remove_all(device.dir());
    ASSERT_TRUE(loop.runUntil([&] { return events.seen.size() == 2; }));
    EXPECT_EQ(events.seen[1].message, md::kMessageDetached);
}

TEST(SimLibrary, DetachAfterOperationsReachesSubscribersThroughTheirLoop) {
    EventLoop loop;
    TempDir tmp;
    SimTestDevice device(tmp / "device", "UDID-F");
    device.fault("DetachAfterOperations", 3);
    md::sim::SimulatedLibrary library(tmp.str());
    Events events;
    std::unique_ptr<md::Subscription> subscription;
    ASSERT_EQ(library.subscribe(events.callback(), subscription), 0);
    ASSERT_TRUE(loop.runUntil([&] { return events.seen.size() == 1; }))
        << "the device arrives through the loop";
    auto handle = events.seen[0].device;

    // Counted: connect, service start, openAfc. The fourth operation finds the device gone.
    std::thread worker([&] {
        ASSERT_EQ(handle->connect(), 0);
        ASSERT_EQ(handle->startSession(), 0);
        std::unique_ptr<md::ServiceConnection> service;
        ASSERT_EQ(handle->startService("com.apple.afc", service), 0);
        std::unique_ptr<md::AfcConnection> afc;
        ASSERT_EQ(service->openAfc(afc), 0);
        std::vector<std::string> names;
        EXPECT_EQ(afc->readDirectory("/", names), md::AfcError::NotConnected);
        EXPECT_EQ(handle->connect(), md::Error::DeviceGone);
    });
    worker.join();
    EXPECT_FALSE(handle->attached());
    EXPECT_EQ(events.seen.size(), 1u) << "not delivered inside the failing call";
    ASSERT_TRUE(loop.runUntil([&] { return events.seen.size() == 2; }));
    EXPECT_EQ(events.seen[1].message, md::kMessageDetached);
    EXPECT_EQ(events.seen[1].device, handle);
    EXPECT_EQ(events.seen[1].thread, QThread::currentThread());

    // The folder is still there, but a rescan does not bring the failed device straight back.
    library.rescan();
    EXPECT_EQ(events.seen.size(), 2u);
    EXPECT_TRUE(library.attachedDevices().empty());
}
