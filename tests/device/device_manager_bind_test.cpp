// The device manager binds an attached device off the thread that heard of it and announces it
// there afterwards: devices that go, several at once, and resets while a bind is under way.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/base_info.h"
#include "device/device_manager.h"
#include "gated_library.h"
#include "sim_device_fixture.h"

namespace {

using amd::DeviceManager;
using nimbara::test::GatedLibrary;
using nimbara::test::RecordingNotify;
using nimbara::test::SimDeviceTest;
using nimbara::test::waitForDeviceBinds;
using Events = std::vector<std::pair<char, int>>;

class DeviceManagerBindTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        app_ = std::make_unique<QCoreApplication>(argc_, argv_);
        SimDeviceTest::SetUp();
        gate_ = std::make_shared<GatedLibrary>(library_);
        nimbara::md::setLibrary(gate_);
        sink_.onAdded = [this](int) { addedOn_.insert(std::this_thread::get_id()); };
        subscribe(&sink_);
    }
    void TearDown() override {
        gate_->open();
        SimDeviceTest::TearDown();
        app_.reset();
    }

    DeviceManager& manager() { return DeviceManager::GetInstance(); }
    // Attaches without waiting for the bind; false when the library refused the folder.
    bool plugIn(const std::string& udid) { return library_->attach(makeDevice(udid)) != nullptr; }
    bool unplug(const std::string& udid) { return library_->detach(deviceDir(udid).string()); }

    static inline int argc_ = 1;
    static inline char name_[] = "device_tests";
    static inline char* argv_[] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
    std::shared_ptr<GatedLibrary> gate_;
    RecordingNotify sink_;
    std::set<std::thread::id> addedOn_;
};

TEST_F(DeviceManagerBindTest, TheAttachReturnsAtOnceAndTheDeviceIsAnnouncedOnThisThreadOnceBound) {
    ASSERT_TRUE(plugIn("aaaa"));
    // Still binding: neither listed nor announced, and the caller did not wait for it.
    EXPECT_TRUE(sink_.events().empty());
    EXPECT_TRUE(manager().Indices().empty());
    EXPECT_EQ(manager().BindsPending(), 1u);
    EXPECT_FALSE(manager().FindItem(0));
    ASSERT_TRUE(gate_->waitEntered(1));

    gate_->open();
    ASSERT_TRUE(waitForDeviceBinds());
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}}));
    EXPECT_EQ(manager().Indices(), (std::list<int>{0}));
    EXPECT_EQ(manager().FindItem(0)->info()->GetDeviceName(), "Phone aaaa");
    EXPECT_EQ(gate_->threads().count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(addedOn_, (std::set<std::thread::id>{std::this_thread::get_id()}));
}

TEST_F(DeviceManagerBindTest, ADeviceThatGoesWhileBindingIsNeverAnnouncedNorRemoved) {
    ASSERT_TRUE(plugIn("aaaa"));
    ASSERT_TRUE(gate_->waitEntered(1));
    {
        nimbara::test::LogRecorder log;
        ASSERT_TRUE(unplug("aaaa"));
        EXPECT_EQ(manager().BindsPending(), 0u);

        gate_->open();
        ASSERT_TRUE(waitForDeviceBinds());
        EXPECT_TRUE(sink_.events().empty());
        EXPECT_TRUE(manager().Indices().empty());
        // Neither an unknown device nor a refusal: it simply went.
        EXPECT_EQ(log.countContaining("unknown"), 0);
        EXPECT_EQ(log.countContaining("may not trust"), 0);
    }

    // The index it had is free again.
    ASSERT_EQ(attach(makeDevice("bbbb")), 0);
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}}));
}

TEST_F(DeviceManagerBindTest, DevicesAttachedAtOnceGetTheirOwnIndexAndSerial) {
    ASSERT_TRUE(plugIn("aaaa"));
    ASSERT_TRUE(plugIn("bbbb"));
    ASSERT_TRUE(plugIn("cccc"));
    EXPECT_EQ(manager().BindsPending(), 3u);
    // One leaves while they are all still being bound.
    ASSERT_TRUE(unplug("bbbb"));

    gate_->open();
    ASSERT_TRUE(waitForDeviceBinds());
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}, {'+', 2}}));
    EXPECT_EQ(manager().Indices(), (std::list<int>{0, 2}));
    EXPECT_EQ(manager().FindItem(0)->info()->GetDeviceName(), "Phone aaaa");
    EXPECT_EQ(manager().FindItem(2)->info()->GetDeviceName(), "Phone cccc");
    EXPECT_NE(manager().DeviceSerial(0), manager().DeviceSerial(2));

    // A newcomer follows the last one; removals name only announced devices.
    ASSERT_EQ(attach(makeDevice("dddd")), 3);
    ASSERT_TRUE(unplug("aaaa"));
    ASSERT_TRUE(unplug("cccc"));
    ASSERT_TRUE(unplug("dddd"));
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}, {'+', 2}, {'+', 3}, {'-', 0}, {'-', 2}, {'-', 3}}));
}

TEST_F(DeviceManagerBindTest, AResetWhileBindingDropsTheDeviceWithoutATrace) {
    ASSERT_TRUE(plugIn("aaaa"));
    ASSERT_TRUE(gate_->waitEntered(1));
    manager().Reset();
    EXPECT_EQ(manager().BindsPending(), 0u);

    gate_->open();
    ASSERT_TRUE(waitForDeviceBinds());
    EXPECT_TRUE(sink_.events().empty());
    EXPECT_TRUE(manager().Indices().empty());

    // Subscribed again, the device is reported afresh and bound from the start.
    subscribe(&sink_);
    ASSERT_TRUE(waitForDeviceBinds());
    EXPECT_EQ(sink_.events(), (Events{{'+', 0}}));
}

TEST_F(DeviceManagerBindTest, AFailedBindLeavesNoItemAndSaysWhy) {
    auto untrusted = builder("uuuu");
    untrusted.setTrusted(false);
    ASSERT_TRUE(untrusted.write());
    gate_->open();
    nimbara::test::LogRecorder log;
    ASSERT_TRUE(library_->attach(deviceDir("uuuu").string()));
    ASSERT_TRUE(waitForDeviceBinds());
    EXPECT_EQ(log.count("The device may not trust"), 1);
    EXPECT_TRUE(sink_.events().empty());
    EXPECT_EQ(attach(makeDevice("aaaa")), 0);
}

}  // namespace
