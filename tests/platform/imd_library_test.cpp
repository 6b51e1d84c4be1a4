// The real-device library's event hand-off, with an event source and devices of the test's own:
// events posted from a foreign thread reach subscribers on their own thread, devices are
// checked on the library's watcher thread, and a device waiting for trust is reported as such.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <atomic>
#include <mutex>
#include <thread>

#include "platform/mobiledevice/imd/imd_device.h"
#include "platform/mobiledevice/imd/imd_library.h"
#include "platform/mobiledevice/imd/trust_wait.h"
#include "platform/mobiledevice/media_sync_queue.h"
#include "sim_test_device.h"

namespace md = nimbara::md;
namespace imd = nimbara::md::imd;
using nimbara::PlistValue;
using nimbara::test::EventLoop;
using nimbara::test::Events;
using Kind = imd::RawDeviceEvent::Kind;

namespace {

// Turns the event loop for a while, for what must not happen.
void spin(int milliseconds) {
    QDeadlineTimer limit(milliseconds);
    while (!limit.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Posts events from a thread of its own, as libusbmuxd does.
class ForeignThreadSource : public imd::EventSource {
  public:
    int start(std::shared_ptr<imd::EventInbox> inbox) override {
        std::lock_guard<std::mutex> lock(mutex_);
        inbox_ = std::move(inbox);
        return 0;
    }
    void stop() override {
        std::lock_guard<std::mutex> lock(mutex_);
        inbox_.reset();
        *stopped = true;
    }
    void post(Kind kind, std::uint32_t handle, const std::string& udid) {
        std::thread([this, kind, handle, udid] {
            std::lock_guard<std::mutex> lock(mutex_);
            if (inbox_) {
                inbox_->post({kind, handle, udid});
            }
        }).join();
    }
    const std::shared_ptr<std::atomic<bool>> stopped = std::make_shared<std::atomic<bool>>(false);

  private:
    std::mutex mutex_;
    std::shared_ptr<imd::EventInbox> inbox_;
};

// A device whose trust answers come from a script; the last answer repeats.
class ScriptedDevice : public imd::WatchedDevice {
  public:
    ScriptedDevice(std::string udid, std::vector<int> answers)
        : udid_(std::move(udid)), answers_(std::move(answers)) {}

    std::string identifier() const override { return "test:" + udid_; }
    bool attached() const override { return !detached_.load(); }
    int waitReason() const override { return reason_.load(); }
    int connect() override { return 0; }
    int disconnect() override { return 0; }
    int validatePairing() override { return 0; }
    int pair() override { return 0; }
    int isPaired() override { return 1; }
    int startSession() override { return 0; }
    int stopSession() override { return 0; }
    int copyValue(const std::optional<std::string>&, const std::optional<std::string>&,
                  PlistValue&) override {
        return md::Error::InvalidArgument;
    }
    int startService(const std::string&, std::unique_ptr<md::ServiceConnection>&) override {
        return md::Error::ServiceRefused;
    }
    int startHouseArrestService(const std::string&,
                                std::unique_ptr<md::ServiceConnection>&) override {
        return md::Error::ServiceRefused;
    }

    int checkTrust() override {
        std::lock_guard<std::mutex> lock(mutex_);
        trustThreads.push_back(std::this_thread::get_id());
        const int answer = answers_[std::min(checks_, answers_.size() - 1)];
        ++checks_;
        return answer;
    }
    void markDetached() override { detached_.store(true); }
    void setWaitReason(int reason) override { reason_.store(reason); }
    std::unique_ptr<md::MediaSyncConnection> openMediaSync() override {
        auto channel = std::make_shared<md::MediaSyncChannel>();
        PlistValue message = PlistValue::dict();
        message["Command"] = "AssetMetrics";
        channel->push(message);
        return std::make_unique<md::QueuedMediaSyncConnection>(channel);
    }
    const std::string& udid() const override { return udid_; }

    std::size_t checks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return checks_;
    }
    std::vector<std::thread::id> trustThreads;

  private:
    const std::string udid_;
    const std::vector<int> answers_;
    mutable std::mutex mutex_;
    std::size_t checks_ = 0;
    std::atomic<bool> detached_{false};
    std::atomic<int> reason_{0};
};

class ImdLibraryTest : public ::testing::Test {
  protected:
    ImdLibraryTest() {
        auto owned = std::make_unique<ForeignThreadSource>();
        source = owned.get();
        imd::ImdLibrary::Options options;
        options.source = std::move(owned);
        options.trustRetry = std::chrono::milliseconds(20);
        options.makeDevice = [this](const imd::RawDeviceEvent& event, std::uint64_t) {
            std::lock_guard<std::mutex> lock(mutex);
            auto it = scripts.find(event.udid);
            auto device = std::make_shared<ScriptedDevice>(
                event.udid, it == scripts.end() ? std::vector<int>{0} : it->second);
            made.push_back(device);
            return device;
        };
        library = std::make_unique<imd::ImdLibrary>(std::move(options));
    }

    std::shared_ptr<ScriptedDevice> lastMade() {
        std::lock_guard<std::mutex> lock(mutex);
        return made.empty() ? nullptr : made.back();
    }

    EventLoop loop;
    ForeignThreadSource* source = nullptr;
    std::mutex mutex;
    std::map<std::string, std::vector<int>> scripts;
    std::vector<std::shared_ptr<ScriptedDevice>> made;
    std::unique_ptr<imd::ImdLibrary> library;
    Events events;
    std::unique_ptr<md::Subscription> subscription;
};

}  // namespace

TEST_F(ImdLibraryTest, EventsFromTheLibrarysThreadReachSubscribersOnTheirOwn) {
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 7, "00008020-AAAA");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    const auto device = lastMade();
    ASSERT_TRUE(device);
    EXPECT_EQ(events.seen[0].device, device);
    EXPECT_EQ(events.seen[0].thread, QThread::currentThread());
    // The trust check ran on the watcher: neither on the source's thread nor on ours.
    ASSERT_EQ(device->trustThreads.size(), 1u);
    EXPECT_NE(device->trustThreads[0], std::this_thread::get_id());
    EXPECT_EQ(library->attachedDevices().size(), 1u);

    source->post(Kind::Removed, 7, "00008020-AAAA");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(events.seen[1].device, device);
    EXPECT_EQ(events.seen[1].thread, QThread::currentThread());
    EXPECT_FALSE(device->attached());
    EXPECT_TRUE(library->attachedDevices().empty());
}

TEST_F(ImdLibraryTest, ADepartedDeviceFailsBeforeSubscribersHearOfIt) {
    bool attachedWhenTold = true;
    ASSERT_EQ(library->subscribe(
                  [&](int message, const md::DeviceHandle& device) {
                      events.seen.push_back({message, device, QThread::currentThread()});
                      if (message == md::kMessageDetached) {
                          attachedWhenTold = device->attached();
                      }
                  },
                  subscription),
              0);
    source->post(Kind::Added, 1, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    source->post(Kind::Removed, 1, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageDetached) == 1; }));
    EXPECT_FALSE(attachedWhenTold);
}

TEST_F(ImdLibraryTest, DevicesAlreadyThereAreReportedToALaterSubscriber) {
    Events first;
    std::unique_ptr<md::Subscription> firstSubscription;
    ASSERT_EQ(library->subscribe(first.callback(), firstSubscription), 0);
    source->post(Kind::Added, 1, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return first.count(md::kMessageAttached) == 1; }));

    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    EXPECT_EQ(events.count(md::kMessageAttached), 1);  // within the call
    // A cancelled subscription hears nothing more.
    firstSubscription.reset();
    source->post(Kind::Removed, 1, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(first.count(md::kMessageDetached), 0);
}

TEST_F(ImdLibraryTest, ALockedDeviceWaitsWithItsReasonAndAppearsOnceUnlocked) {
    scripts["DEV-LOCKED"] = {md::Error::PasswordProtected, md::Error::PasswordProtected,
                             md::Error::PairingPending, md::Error::Ok};
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 3, "DEV-LOCKED");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    const auto device = lastMade();
    EXPECT_EQ(device->checks(), 4u);
    // Connecting at once, then waiting once per reason (the reason readable when it was).
    ASSERT_EQ(events.count(md::kMessageWaiting), 2);
    EXPECT_EQ(events.seen[0].message, md::kMessageConnecting);
    EXPECT_EQ(events.seen[1].message, md::kMessageWaiting);
    EXPECT_EQ(events.seen[2].message, md::kMessageWaiting);
    EXPECT_EQ(events.seen[3].message, md::kMessageAttached);
    EXPECT_EQ(device->waitReason(), md::Error::Ok);
}

TEST(TrustWait, DoublesWhileTheReasonStaysUpToItsLongestAndStartsAgainOnANewOne) {
    using std::chrono::milliseconds;
    const struct {
        long first;
        std::vector<long> waits;  // one question after another, for the same reason
    } rows[] = {
        {2000, {2000, 4000, 8000, 16000, 30000, 30000}},
        {50, {50, 100, 200, 400, 800, 800}},
        {60000, {60000, 60000}},
    };
    for (const auto& row : rows) {
        milliseconds last{0};
        for (std::size_t i = 0; i < row.waits.size(); ++i) {
            last = imd::nextTrustWait(milliseconds(row.first), last, i == 0);
            EXPECT_EQ(last.count(), row.waits[i]) << row.first << " #" << i;
        }
        EXPECT_EQ(imd::nextTrustWait(milliseconds(row.first), last, true).count(), row.first);
    }
}

TEST_F(ImdLibraryTest, ARefusedDeviceIsAskedAgainOnlyWhenItWasPaired) {
    scripts["DEV-NO"] = {md::Error::PairingRefused, md::Error::Ok};
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 4, "DEV-NO");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageWaiting) == 1; }));
    const auto device = lastMade();
    EXPECT_EQ(device->waitReason(), md::Error::PairingRefused);
    // Many retry periods later it has not been asked again.
    spin(200);
    EXPECT_EQ(device->checks(), 1u);
    EXPECT_EQ(events.count(md::kMessageAttached), 0);
    EXPECT_TRUE(library->attachedDevices().empty());
    EXPECT_EQ(library->createMediaSyncConnection("0", "DEV-NO"), nullptr);

    source->post(Kind::Paired, 4, "DEV-NO");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    EXPECT_EQ(device->checks(), 2u);

    // A waiting device that goes is reported gone too, so whoever showed its reason can stop.
    scripts["DEV-WAIT"] = {md::Error::PairingPending};
    source->post(Kind::Added, 5, "DEV-WAIT");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageWaiting) == 2; }));
    source->post(Kind::Removed, 5, "DEV-WAIT");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(events.seen.back().device->identifier(), "test:DEV-WAIT");
}

TEST_F(ImdLibraryTest, DoubledUnknownAndImplausibleEventsChangeNothing) {
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Removed, 99, "NEVER-SEEN");
    source->post(Kind::Paired, 98, "NEVER-SEEN");
    source->post(Kind::Added, 10, "../../etc/passwd");
    source->post(Kind::Added, 11, "DEV-1");
    source->post(Kind::Added, 11, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    spin(100);
    EXPECT_EQ(events.seen.size(), 2u);  // connecting, attached
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(made.size(), 1u);
}

TEST_F(ImdLibraryTest, AReplugWhoseRemovalWasLostReplacesTheOldAttachment) {
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 20, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    const auto first = lastMade();
    source->post(Kind::Added, 21, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 2; }));
    EXPECT_FALSE(first->attached());
    ASSERT_EQ(events.seen.size(), 5u);  // each attachment connecting first
    EXPECT_EQ(events.seen[2].message, md::kMessageDetached);
    EXPECT_EQ(events.seen[2].device, first);
    EXPECT_EQ(library->attachedDevices().size(), 1u);
}

TEST_F(ImdLibraryTest, MediaSyncIsOpenedForTheAttachedDeviceOfThatIdentifier) {
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 30, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    auto session = library->createMediaSyncConnection("5B0E2D94A7C31F68", "DEV-1");
    ASSERT_TRUE(session);
    auto message = session->readMessage();
    ASSERT_TRUE(message);
    EXPECT_EQ((*message)["Command"].toString(), "AssetMetrics");
    EXPECT_EQ(library->createMediaSyncConnection("5B0E2D94A7C31F68", "DEV-2"), nullptr);
}

TEST_F(ImdLibraryTest, DestroyingTheLibraryStopsItsSourceAndDetachesSilently) {
    ASSERT_EQ(library->subscribe(events.callback(), subscription), 0);
    source->post(Kind::Added, 40, "DEV-1");
    ASSERT_TRUE(loop.runUntil([&] { return events.count(md::kMessageAttached) == 1; }));
    const auto device = lastMade();
    const auto stopped = source->stopped;
    library.reset();
    EXPECT_TRUE(stopped->load());
    EXPECT_FALSE(device->attached());
    spin(100);
    EXPECT_EQ(events.count(md::kMessageDetached), 0);
    subscription.reset();  // after its library: harmless
}
