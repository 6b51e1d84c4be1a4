// Pairing again on the newest profile: a device that forgot this computer (its HostID unpaired on
// the device, the record still with the daemon) and a record the daemon lost while the device was
// attached. A device that is locked or shows its trust question is asked again until it answers;
// a refusal is asked once per plug.
#include <usbmuxd.h>

#include "device/afc_service.h"
#include "filemanager/photo_scan.h"
#include "imd_backend_fixture.h"
#include "platform/mobiledevice/imd/imd_device.h"
#include "request_counting_proxy.h"

namespace nimbara::test {
namespace {

// A device whose first answers to a pairing come too late: the library gives up on them (after
// its own half minute, which this stands in for).
class LateToPair : public md::imd::ImdDevice {
  public:
    static std::shared_ptr<md::imd::WatchedDevice> open(const md::imd::RawDeviceEvent& event,
                                                        std::uint64_t serial, int late) {
        idevice_t device = nullptr;
        if (idevice_new_with_options(&device, event.udid.c_str(), IDEVICE_LOOKUP_USBMUX) !=
            IDEVICE_E_SUCCESS) {
            return nullptr;
        }
        return std::shared_ptr<LateToPair>(new LateToPair(device, event, serial, late));
    }

  protected:
    int pairWithLibrary() override {
        return late_.fetch_sub(1) > 0 ? md::Error::Timeout : ImdDevice::pairWithLibrary();
    }

  private:
    LateToPair(idevice_t device, const md::imd::RawDeviceEvent& event, std::uint64_t serial,
               int late)
        : ImdDevice(device, event.udid, event.muxHandle, serial,
                    {std::chrono::seconds(6), std::chrono::seconds(10), std::chrono::seconds(10)}),
          late_(late) {}
    std::atomic<int> late_;
};

class ImdBackendRepair : public ImdBackendTest {
  protected:
    ImdBackendRepair() {
        phone.setIdentity("Test iPhone", kUdid, "iPhone15,2", "17.5");
        phone.editDevicePlist()["SimProfile"] = "ios17";
        phone.addMediaFile("/Downloads/a.txt", "a");
    }

    // The server, the counting proxy, the library and the device manager on it: the phone's
    // index once the manager has it (-1 when it never came).
    int startCounted(std::chrono::milliseconds trustRetry) {
        startServer();
        proxy = std::make_unique<RequestCountingProxy>(server.socket(),
                                                       server.folder() / "counted-socket");
        md::imd::ImdLibrary::Options options = shortLimits();
        options.trustRetry = trustRetry;
        options.makeDevice = makeDevice;
        library = std::make_shared<md::imd::ImdLibrary>(std::move(options));
        md::setLibrary(library);
        subscribe();
        if (HasFatalFailure() || !proxy->started() ||
            amd::DeviceManager::GetInstance().Subscribe() != 0) {
            return -1;
        }
        return managedIndex();
    }
    int managedIndex() {
        auto& manager = amd::DeviceManager::GetInstance();
        loopUntil([&] { return !manager.Indices().empty(); });
        const auto indices = manager.Indices();
        return indices.empty() ? -1 : indices.back();
    }

    void replug() {
        const int gone = heard.count(md::kMessageDetached);
        unplugPhone();
        ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) > gone; }));
        plugPhoneBackIn();
    }
    bool waitForWaiting(int reason) {
        return loopUntil([&] {
            return !heard.events.empty() && heard.events.back().message == md::kMessageWaiting &&
                   heard.events.back().waitReason == reason;
        });
    }
    // A listing through the device layer, as a page's scan starts: 0 or the binding's code.
    static int scan(int index) {
        amd::AfcService afc;
        if (const int rc = afc.Init(index)) {
            return rc;
        }
        const auto names = afc.ReadDirectory("/Downloads");
        return names && *names == std::vector<std::string>{"a.txt"} ? 0 : -2;
    }

    std::unique_ptr<RequestCountingProxy> proxy;
    md::imd::ImdLibrary::Options::MakeDevice makeDevice;  // null: the library's own
};

struct Answer {
    const char* fault;
    int reason;
    bool pairedByAnotherProgram;
};
void PrintTo(const Answer& answer, std::ostream* out) {
    *out << answer.fault << (answer.pairedByAnotherProgram ? ", paired by another program" : "");
}

class ImdBackendForgotten : public ImdBackendRepair,
                            public ::testing::WithParamInterface<Answer> {};

// The user taps Trust (or unlocks) after a while: the library's next question finds it, at the
// latest after the longest wait. Or another program pairs it (as the daemon does by itself once
// Trust was tapped): the daemon's event brings it in at once, where no wait would.
TEST_P(ImdBackendForgotten, AForgottenHostIsAskedUntilTheDeviceAnswersAndThenAttaches) {
    const Answer row = GetParam();
    // Waits of 50 ms growing to 800 ms; none worth the name where only the event may help.
    ASSERT_GE(startCounted(row.pairedByAnotherProgram ? std::chrono::minutes(10)
                                                      : std::chrono::milliseconds(50)),
              0);
    const std::string forgotten = hostId();
    unpairOnDevice();
    setFault(row.fault, true);
    replug();
    ASSERT_TRUE(waitForWaiting(row.reason));
    // The first plug's question, then this plug's again and again while it waits, until the
    // waits reached their longest (with waits of ten minutes: once).
    if (row.pairedByAnotherProgram) {
        loopUntil([] { return false; }, 1000);
        EXPECT_EQ(proxy->count("Pair"), 2);
    } else {
        EXPECT_TRUE(loopUntil([&] { return proxy->count("Pair") >= 5; }));
    }
    EXPECT_EQ(heard.count(md::kMessageAttached), 1);

    clearFaults();
    if (row.pairedByAnotherProgram) {
        device = openDevice(kUdid);
        ASSERT_TRUE(device);
        lockdownd_client_t raw = nullptr;
        ASSERT_EQ(lockdownd_client_new(device.get(), &raw, "another"), LOCKDOWN_E_SUCCESS);
        lockdown.reset(raw);
        ASSERT_EQ(lockdownd_pair(lockdown.get(), nullptr), LOCKDOWN_E_SUCCESS);
    }
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageAttached) == 2; }, 5000));
    EXPECT_EQ(heard.last(md::kMessageAttached)->waitReason(), md::Error::Ok);
    EXPECT_NE(hostId(), forgotten);  // a new record, kept by the daemon
    EXPECT_EQ(scan(managedIndex()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ImdBackendForgotten,
    ::testing::Values(Answer{usbmuxsim::kFaultTrustPending, md::Error::PairingPending, false},
                      Answer{usbmuxsim::kFaultPasscodeLocked, md::Error::PasswordProtected, false},
                      Answer{usbmuxsim::kFaultTrustPending, md::Error::PairingPending, true}));

// A pairing whose answer never came in time is asked again on the same plug, as a device that
// is slow, not one that refused: it attaches once it answers.
TEST_F(ImdBackendRepair, APairingThatTimedOutIsAskedAgainUntilTheDeviceAnswers) {
    std::atomic<int> plugs{0};
    makeDevice = [&plugs](const md::imd::RawDeviceEvent& event, std::uint64_t serial) {
        return LateToPair::open(event, serial, plugs++ == 0 ? 0 : 2);
    };
    ASSERT_GE(startCounted(std::chrono::milliseconds(50)), 0);
    unpairOnDevice();
    replug();
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageAttached) == 2; }, 5000));
    EXPECT_EQ(heard.count(md::kMessageWaiting), 1);
    EXPECT_EQ(scan(managedIndex()), 0);
}

// The daemon loses the record (another tool's "unpair" deletes it, after its Unpair or alone):
// the next scan pairs again and goes on, each time it happens; while the trust question shows,
// the scan says so and asks again.
TEST_F(ImdBackendRepair, ARecordDeletedWhileAttachedIsMadeAgainByTheNextScan) {
    struct Row {
        bool unpairedToo;
        bool trustPending;
    };
    const int index = startCounted(std::chrono::milliseconds(50));
    ASSERT_GE(index, 0);
    ASSERT_EQ(scan(index), 0);
    for (const Row row : {Row{false, false}, Row{true, false}, Row{true, true}}) {
        SCOPED_TRACE(std::string(row.unpairedToo ? "unpaired, " : "") +
                     (row.trustPending ? "trust question" : "trusted"));
        const int asked = proxy->count("Pair");
        if (row.unpairedToo) {
            unpairOnDevice();
        }
        ASSERT_EQ(usbmuxd_delete_pair_record(kUdid), 0);
        if (row.trustPending) {
            setFault(usbmuxsim::kFaultTrustPending, true);
            EXPECT_EQ(scan(index), md::Error::PairingPending);
            // Asked again by the storage page's scan, which says what the device waits for.
            const auto photos = nimbara::filemanager::scanDevicePhotos({index, 0}, {}, {});
            EXPECT_EQ(nimbara::filemanager::storageScanStatusText(photos.status).toStdString(),
                      md::errorText(md::Error::PairingPending));
            clearFaults();
        }
        EXPECT_EQ(scan(index), 0);
        EXPECT_EQ(scan(index), 0);  // with the new record: no more questions
        EXPECT_EQ(heard.last(md::kMessageAttached)->waitReason(), md::Error::Ok);
        EXPECT_EQ(proxy->count("Pair") - asked, row.trustPending ? 3 : 1);
    }
    EXPECT_EQ(heard.count(md::kMessageDetached), 0);
}

// A refusal stands for the plug: one Pair, whether the library's check or a scan asked; the next
// plug asks again.
TEST_F(ImdBackendRepair, ARefusalSendsOnePairUntilTheNextPlug) {
    ASSERT_GE(startCounted(std::chrono::milliseconds(50)), 0);
    for (const bool attached : {false, true}) {
        SCOPED_TRACE(attached ? "record deleted while attached" : "forgotten host plugged in");
        const int asked = proxy->count("Pair");
        const int plugs = heard.count(md::kMessageAttached);
        unpairOnDevice();
        phone.setTrusted(false);
        ASSERT_TRUE(phone.write());
        if (attached) {
            ASSERT_EQ(usbmuxd_delete_pair_record(kUdid), 0);
            const int index = managedIndex();
            EXPECT_EQ(scan(index), md::Error::PairingRefused);
            for (int again = 0; again < 3; ++again) {
                EXPECT_NE(scan(index), 0);
            }
        } else {
            replug();
            ASSERT_TRUE(waitForWaiting(md::Error::PairingRefused));
            loopUntil([] { return false; }, 1000);  // many retry periods
        }
        EXPECT_EQ(proxy->count("Pair") - asked, 1);

        phone.setTrusted(true);
        ASSERT_TRUE(phone.write());
        replug();
        ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageAttached) == plugs + 1; }));
        EXPECT_EQ(proxy->count("Pair") - asked, 2);
        EXPECT_EQ(scan(managedIndex()), 0);
    }
}

}  // namespace
}  // namespace nimbara::test
