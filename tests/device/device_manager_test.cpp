// The device manager: indices, attach and detach events, look-ups while devices come and go,
// and the local scratch folder.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "device/device_target.h"
#include "device/pr_device_notify.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "platform/scratch_dir.h"
#include "sim_device_fixture.h"

namespace {

using amd::DeviceManager;
using nimbara::test::eventually;
using nimbara::test::LogRecorder;
using nimbara::test::RecordingNotify;
using nimbara::test::SimDeviceTest;
using Events = std::vector<std::pair<char, int>>;

class DeviceManagerTest : public SimDeviceTest {
  protected:
    DeviceManager& manager() { return DeviceManager::GetInstance(); }
    RecordingNotify sink_;
};

TEST_F(DeviceManagerTest, IndicesFollowTheLastItem) {
    subscribe(&sink_);
    const std::string a = makeDevice("aaaa");
    const std::string b = makeDevice("bbbb");
    const std::string c = makeDevice("cccc");
    const std::string d = makeDevice("dddd");

    {
        LogRecorder log;
        EXPECT_EQ(attach(a), 0);
        EXPECT_EQ(attach(b), 1);
        EXPECT_EQ(log.count("A device added"), 2);
    }

    // The last one leaves: its index is given again.
    ASSERT_TRUE(library_->detach(b));
    EXPECT_EQ(attach(c), 1);

    // One in the middle leaves: numbering continues after the last item.
    ASSERT_TRUE(library_->detach(a));
    EXPECT_EQ(attach(d), 2);
    EXPECT_EQ(manager().Indices(), (std::list<int>{1, 2}));

    // All gone: back to 0.
    ASSERT_TRUE(library_->detach(c));
    ASSERT_TRUE(library_->detach(d));
    EXPECT_TRUE(manager().Indices().empty());
    EXPECT_EQ(attach(a), 0);

    EXPECT_EQ(sink_.events(), (Events{{'+', 0},
                                      {'+', 1},
                                      {'-', 1},
                                      {'+', 1},
                                      {'-', 0},
                                      {'+', 2},
                                      {'-', 1},
                                      {'-', 2},
                                      {'+', 0}}));
}

TEST_F(DeviceManagerTest, OnlyADeviceThatRefusesTheSessionStaysOut) {
    // A device that opens no media sync but starts a session trusts us: it is kept, with every
    // storage figure unknown. One that refuses the session does not trust us.
    const struct {
        const char* udid;
        bool untrusted;
        bool kept;
        const char* logged;
    } rows[] = {
        {"rrrr", false, true, "No storage metrics from the device: its figures are unknown"},
        {"uuuu", true, false, "The device may not trust"},
    };
    subscribe(&sink_);
    EXPECT_EQ(attach(makeDevice("aaaa")), 0);
    int next = 1;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.udid);
        auto b = builder(row.udid);
        b.setFault(nimbara::md::sim::kFaultRefuseMediaSync, true).setTrusted(!row.untrusted);
        ASSERT_TRUE(b.write());
        auto log = std::make_unique<LogRecorder>();
        const int index = attach(deviceDir(row.udid).string());
        EXPECT_EQ(log->count(row.logged), 1);
        EXPECT_EQ(log->count("A device added"), row.kept ? 1 : 0);
        log.reset();
        if (!row.kept) {
            EXPECT_EQ(index, -1);
            // Its detach is unknown to the manager.
            LogRecorder detachLog;
            ASSERT_TRUE(library_->detach(deviceDir(row.udid).string()));
            EXPECT_EQ(detachLog.lines(), QStringList{"* Remove an unknown device"});
            continue;
        }
        ASSERT_EQ(index, next++);
        const std::shared_ptr<amd::DeviceItem> item = manager().FindItem(index);
        ASSERT_TRUE(item && item->info());
        const nimbara::PlistRef metrics = item->info()->GetValues();
        ASSERT_TRUE(metrics);
        for (const nimbara::PlistValue* figure :
             {&(*metrics)["Application"], &(*metrics)["Media"]["Music"],
              &(*metrics)["Media"]["Movie"], &(*metrics)["Photo"]["Photo"],
              &(*metrics)["Photo"]["CameraRoll"]}) {
            EXPECT_TRUE((*figure)[amd::kMetricUnknown].toBool(false));
        }
        EXPECT_TRUE(item->info()->GetUniqueDeviceID()) << "the device stays usable";
    }

    EXPECT_EQ(attach(makeDevice("bbbb")), next);  // as if the refused one never came
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}, {'+', 1}, {'+', 2}}));
}

TEST_F(DeviceManagerTest, NotificationsCarryTheIndexAndDisconnectSeesTheItem) {
    amd::PRDeviceNotify notify;
    subscribe(&notify);
    auto& center = nimbara::NotificationCenter::defaultCenter();
    std::vector<int> connected;
    std::vector<int> disconnected;
    bool itemDuringRemoval = false;
    bool valuesDuringRemoval = false;
    nimbara::ObserverBag observers;
    observers.add(center.addObserver(
        amd::kDeviceConnectNotification,
        [&](const nimbara::Notification& n) { connected.push_back(n.objectAs<int>(-1)); }));
    observers.add(
        center.addObserver(amd::kDeviceDisConnectNotification, [&](const nimbara::Notification& n) {
            const int index = n.objectAs<int>(-1);
            disconnected.push_back(index);
            std::shared_ptr<amd::DeviceItem> item = DeviceManager::GetInstance().FindItem(index);
            itemDuringRemoval = item != nullptr;
            valuesDuringRemoval = item && item->info() && item->info()->GetValues();
        }));

    auto b = builder("aaaa");
    b.setAssetMetrics(1000, 2000, 3000, 4000, 5000);
    ASSERT_TRUE(b.write());
    const std::string dir = deviceDir("aaaa").string();
    EXPECT_EQ(attach(dir), 0);
    EXPECT_EQ(connected, std::vector<int>{0});
    std::shared_ptr<amd::DeviceItem> item = manager().FindItem(0);
    ASSERT_TRUE(item);
    ASSERT_TRUE(eventually([&] { return item->info()->GetValues() != nullptr; }));
    item.reset();

    ASSERT_TRUE(library_->detach(dir));
    EXPECT_EQ(disconnected, std::vector<int>{0});
    EXPECT_TRUE(itemDuringRemoval);
    EXPECT_TRUE(valuesDuringRemoval);
    EXPECT_FALSE(manager().FindItem(0));
    EXPECT_FALSE(manager().FindDevice(0));
}

TEST_F(DeviceManagerTest, SubscribeReportsAttachedDevicesAndResetDropsEverything) {
    library_->attach(makeDevice("aaaa"));
    {
        LogRecorder log;
        ASSERT_EQ(manager().Subscribe(), 0);  // no sink set
        EXPECT_EQ(log.count("* Subscibe without notify set"), 1);
    }
    EXPECT_TRUE(eventually([&] { return manager().FindItem(0) != nullptr; }));

    manager().SetNotify(&sink_);
    EXPECT_EQ(attach(makeDevice("bbbb")), 1);
    manager().Reset();
    EXPECT_TRUE(manager().Indices().empty());
    EXPECT_EQ(sink_.events(), (Events{{'+', 1}, {'-', 0}, {'-', 1}}));

    // No longer subscribed.
    library_->attach(makeDevice("cccc"));
    EXPECT_TRUE(manager().Indices().empty());
    EXPECT_EQ(manager().Unsubscribe(), 0);
}

TEST_F(DeviceManagerTest, WorkBoundToADepartedDeviceNeverReachesItsSuccessor) {
    subscribe(&sink_);
    const std::string a = makeDevice("aaaa");
    ASSERT_EQ(attach(a), 0);
    const std::uint64_t first = manager().DeviceSerial(0);
    EXPECT_NE(first, 0u);
    EXPECT_TRUE(manager().IsAttached(0, first));
    const amd::DeviceTarget firstTarget{0, first};
    EXPECT_TRUE(firstTarget.stillAttached());

    std::shared_ptr<amd::DeviceItem> kept = manager().FindItem(0);
    ASSERT_TRUE(library_->detach(a));
    EXPECT_FALSE(manager().IsAttached(0, first));
    EXPECT_FALSE(firstTarget.stillAttached());
    EXPECT_EQ(manager().DeviceSerial(0), 0u);

    ASSERT_EQ(attach(makeDevice("bbbb")), 0);
    const std::uint64_t second = manager().DeviceSerial(0);
    EXPECT_NE(second, first);
    EXPECT_FALSE(manager().IsAttached(0, first));
    EXPECT_TRUE(manager().IsAttached(0, second));
    EXPECT_FALSE(manager().IsAttached(0, 0));
    // A target of the departed device never names the one that took its index.
    EXPECT_FALSE(firstTarget.stillAttached());
    EXPECT_TRUE((amd::DeviceTarget{0, second}.stillAttached()));
    EXPECT_FALSE(firstTarget == (amd::DeviceTarget{0, second}));
    EXPECT_FALSE(amd::DeviceTarget{}.stillAttached());

    // The departed item is still a valid object for its holder; its device just fails now.
    ASSERT_TRUE(kept && kept->info());
    EXPECT_EQ(kept->serial(), first);
    EXPECT_FALSE(kept->info()->GetDeviceName());
    EXPECT_EQ(manager().FindItem(0)->info()->GetDeviceName(), "Phone bbbb");
}

// Workers look devices up and read values while the main thread attaches and detaches and the
// media-sync readers deliver metrics. Meant to be run under AddressSanitizer as well.
TEST_F(DeviceManagerTest, DetachWhileWorkersAndReadersRun) {
    subscribe(&sink_);
    std::vector<std::string> dirs;
    for (const char* udid : {"aaaa", "bbbb", "cccc"}) {
        auto b = builder(udid);
        b.setAssetMetrics(1, 2, 3, 4, 5);
        ASSERT_TRUE(b.write());
        dirs.push_back(deviceDir(udid).string());
    }

    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            while (!stop.load()) {
                const int index = w % 3;
                if (std::shared_ptr<amd::DeviceItem> item =
                        DeviceManager::GetInstance().FindItem(index)) {
                    const std::uint64_t serial = item->serial();
                    if (w % 2 == 0) {
                        item->info()->GetDeviceName();
                    }
                    if (nimbara::PlistRef values = item->info()->GetValues()) {
                        reads += static_cast<long>(values->size());
                    }
                    DeviceManager::GetInstance().IsAttached(index, serial);
                }
                amd::BaseInfo bound;
                if (bound.Init(index) == 0) {
                    bound.GetDiskUsage();
                }
            }
        });
    }
    for (int round = 0; round < 15; ++round) {
        for (const std::string& dir : dirs) {
            library_->attach(dir);
        }
        for (const char* udid : {"aaaa", "bbbb", "cccc"}) {
            library_->pushMediaSyncMessage(
                udid, nimbara::PlistValue(nimbara::PlistValue::Dict{
                          {"Command", "AssetMetrics"},
                          {"Params", nimbara::PlistValue(
                                         nimbara::PlistValue::Dict{{"Application", round}})}}));
        }
        for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
            library_->detach(*it);
        }
    }
    stop = true;
    for (std::thread& t : workers) {
        t.join();
    }
    EXPECT_TRUE(manager().Indices().empty());
    EXPECT_EQ(sink_.events().size(), 15u * 6u);
}

TEST_F(DeviceManagerTest, LocalDirIsAPrivateFolderNamedAfterTheDevice) {
    subscribe(&sink_);
    auto odd = builder("odd");
    odd.setValue(nimbara::md::sim::kGlobalDomain, "UniqueDeviceID", "../../escape");
    ASSERT_TRUE(odd.write());

    ASSERT_EQ(attach(makeDevice("0123abcd")), 0);
    LogRecorder log;
    const std::string dir = manager().GetLocalDir(0);
    const std::string again = manager().GetLocalDir(0);

    const std::filesystem::path base = nimbara::scratchRoot() / "tmp";
    EXPECT_EQ(dir, (base / "0123abcd").string() + "/");
    EXPECT_EQ(again, dir);
    EXPECT_EQ(log.lines(), QStringList{QString::fromStdString("make local dir: " + dir)});  // once
    struct stat st {};
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(manager().GetLocalDir(7), base.string() + "/");

    // An identifier that is not a plain name never makes a folder.
    ASSERT_EQ(attach(deviceDir("odd").string()), 1);
    EXPECT_EQ(manager().GetLocalDir(1), "");
    EXPECT_FALSE(std::filesystem::exists(nimbara::scratchRoot().parent_path() / "escape"));
    EXPECT_FALSE(std::filesystem::exists(base.parent_path().parent_path() / "escape"));
}

// Records what the manager says about waiting devices, as "identifier=reason".
class WaitingNotify : public RecordingNotify {
  public:
    void DeviceWaiting(const std::string& identifier, int reason) override {
        told.push_back(identifier + "=" + std::to_string(reason));
    }
    std::vector<std::string> told;
};

TEST_F(DeviceManagerTest, AWaitingDeviceIsToldAboutUntilItAttachesOrGoes) {
    namespace E = nimbara::md::Error;
    WaitingNotify sink;
    subscribe(&sink);
    auto locked = builder("wwww");
    locked.setFault(nimbara::md::sim::kFaultWaitReason, nimbara::PlistValue(E::PasswordProtected));
    ASSERT_TRUE(locked.write());
    const std::string dir = deviceDir("wwww").string();
    nimbara::md::DeviceHandle handle = library_->attach(dir);
    ASSERT_TRUE(handle);
    const std::string id = handle->identifier();
    EXPECT_TRUE(manager().Indices().empty());
    ASSERT_EQ(sink.told, std::vector<std::string>{id + "=" + std::to_string(E::PasswordProtected)});

    // The same reason again says nothing new; a new one does.
    manager().OnNotification(nimbara::md::kMessageWaiting, handle);
    EXPECT_EQ(sink.told.size(), 1u);
    locked.setFault(nimbara::md::sim::kFaultWaitReason, nimbara::PlistValue(E::PairingPending));
    ASSERT_TRUE(locked.write());
    ASSERT_TRUE(library_->recheck(dir));
    ASSERT_EQ(sink.told.size(), 2u);
    EXPECT_EQ(sink.told.back(), id + "=" + std::to_string(E::PairingPending));

    // Usable now: it is connecting while it is bound like any device, then waits no more.
    locked.setFault(nimbara::md::sim::kFaultWaitReason, nimbara::PlistValue(0));
    ASSERT_TRUE(locked.write());
    ASSERT_TRUE(library_->recheck(dir));
    ASSERT_EQ(sink.told.size(), 4u);
    EXPECT_EQ(sink.told[2], id + "=" + std::to_string(E::Connecting));
    EXPECT_EQ(sink.told.back(), id + "=0");
    EXPECT_EQ(sink.events(), (Events{{'+', 0}}));
    // A waiting report for a device in use changes nothing.
    manager().OnDeviceWaiting(handle);
    EXPECT_EQ(sink.told.size(), 4u);

    // A device that goes while waiting is no unknown device, and is not removed.
    auto refused = builder("rrrr");
    refused.setFault(nimbara::md::sim::kFaultWaitReason, nimbara::PlistValue(E::PairingRefused));
    ASSERT_TRUE(refused.write());
    nimbara::md::DeviceHandle other = library_->attach(deviceDir("rrrr").string());
    ASSERT_TRUE(other);
    {
        LogRecorder log;
        ASSERT_TRUE(library_->detach(deviceDir("rrrr").string()));
        EXPECT_EQ(log.lines(), QStringList{});
    }
    EXPECT_EQ(sink.told.back(), other->identifier() + "=0");
    EXPECT_EQ(sink.events(), (Events{{'+', 0}}));

    // A reset ends every wait it knew of.
    ASSERT_TRUE(library_->attach(deviceDir("rrrr").string()));
    const std::size_t before = sink.told.size();
    manager().Reset();
    ASSERT_EQ(sink.told.size(), before + 1);
    EXPECT_EQ(sink.told.back().substr(sink.told.back().size() - 2), "=0");
}

}  // namespace
