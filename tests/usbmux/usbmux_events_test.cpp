// Attach and detach events of the protocol-level device, through libimobiledevice's event
// subscription (which runs on a thread of libusbmuxd's own).
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "usbmux_fixture.h"
#include "usbmux_server.h"

namespace nimbara::test {
namespace {

constexpr const char* kTabletUdid = "00008027-000A11B22C33D44E";

// The events the library delivered, in order.
struct EventLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<int, std::string>> events;

    static void record(const idevice_event_t* event, void* data) {
        auto* log = static_cast<EventLog*>(data);
        std::lock_guard<std::mutex> lock(log->mutex);
        log->events.emplace_back(event->event, event->udid ? event->udid : "");
        log->changed.notify_all();
    }
    // Waits until the event was seen `times` times (a generous limit only guards against a
    // broken server).
    bool waitFor(int type, const std::string& udid, int times = 1) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(20),
                                [&] { return countLocked(type, udid) >= times; });
    }
    int count(int type, const std::string& udid) {
        std::lock_guard<std::mutex> lock(mutex);
        return countLocked(type, udid);
    }

  private:
    int countLocked(int type, const std::string& udid) const {
        int n = 0;
        for (const auto& [seen, which] : events) {
            n += seen == type && which == udid;
        }
        return n;
    }
};
class UsbmuxEvents : public UsbmuxTest {
  protected:
    void TearDown() override { idevice_event_unsubscribe(); }
    void subscribe() { ASSERT_EQ(idevice_event_subscribe(EventLog::record, &log), 0); }
    EventLog log;
};

TEST_F(UsbmuxEvents, DevicesAttachAndDetachWithTheirFolders) {
    startServer();
    subscribe();
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_ADD, kUdid));  // told at once to a new listener

    simdev::SimDeviceBuilder tablet(server.devices() / "tablet");
    tablet.setIdentity("Test iPad", kTabletUdid, "iPad8,1", "13.3");
    ASSERT_TRUE(tablet.write());
    ASSERT_EQ(server.control("SimRescan"), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_ADD, kTabletUdid));

    std::filesystem::remove_all(tablet.dir());
    ASSERT_EQ(server.control("SimRescan"), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_REMOVE, kTabletUdid));

    // Without being asked, the server sees a folder go away by itself.
    std::filesystem::remove_all(phone.dir());
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_REMOVE, kUdid));
    EXPECT_EQ(log.count(IDEVICE_DEVICE_ADD, kUdid), 1);
    EXPECT_EQ(log.count(IDEVICE_DEVICE_ADD, kTabletUdid), 1);
}

TEST_F(UsbmuxEvents, ADetachClosesOpenConnectionsAndTheDeviceComesBackAsANewAttachment) {
    // A device folder outside the devices folder comes and goes only when told.
    simdev::SimDeviceBuilder tablet(server.folder() / "tablet");
    tablet.setIdentity("Test iPad", kTabletUdid, "iPad8,1", "13.3");
    tablet.addMediaFile("/Downloads/a.txt", "a");
    ASSERT_TRUE(tablet.write());
    startServer();
    subscribe();
    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_ADD, kTabletUdid));
    device = openDevice(kTabletUdid);
    ASSERT_TRUE(device);
    ASSERT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_SUCCESS);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_PAIRED, kTabletUdid));
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);
    EXPECT_EQ(log.count(IDEVICE_DEVICE_REMOVE, kTabletUdid), 0);

    ASSERT_EQ(server.control("SimDetach", tablet.dir()), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_REMOVE, kTabletUdid));
    afc_error_t rc = AFC_E_SUCCESS;
    EXPECT_TRUE(listFolder(afc.get(), "/Downloads", &rc).empty());
    EXPECT_NE(rc, AFC_E_SUCCESS);
    EXPECT_EQ(server.control("SimDetach", tablet.dir()), usbmuxsim::MuxResult::BadDevice);

    ASSERT_EQ(server.control("SimAttach", tablet.dir()), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_ADD, kTabletUdid, 2));
    // The host's pair record outlives the attachment: no pairing is needed again.
    tablet.setFault(usbmuxsim::kFaultTrustPending, true);
    ASSERT_TRUE(tablet.write());
    afc.reset();
    lockdown.reset();
    device = openDevice(kTabletUdid);
    ASSERT_TRUE(device);
    ASSERT_EQ(handshake(device.get(), lockdown), LOCKDOWN_E_SUCCESS);
    afc = startAfc();
    ASSERT_TRUE(afc);
    EXPECT_EQ(listFolder(afc.get(), "/Downloads"), std::vector<std::string>{"a.txt"});
}

TEST_F(UsbmuxEvents, TheServerStopsCleanlyWithListenersAndTunnelsOpen) {
    startServer();
    subscribe();
    connect();
    AfcPtr afc = startAfc();
    ASSERT_TRUE(afc);
    server.stop();
    EXPECT_TRUE(WIFEXITED(server.exitStatus()));
    EXPECT_EQ(WEXITSTATUS(server.exitStatus()), 0);
    EXPECT_TRUE(log.waitFor(IDEVICE_DEVICE_REMOVE, kUdid));  // the library's view of a lost daemon
}

}  // namespace
}  // namespace nimbara::test
