// Lockdown values, disk usage, the kept storage metrics and the model family.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "device/base_info.h"
#include "device/device_manager.h"
#include "device/device_space.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_device_fixture.h"

namespace {

using amd::BaseInfo;
using nimbara::PlistValue;
using nimbara::test::RecordingNotify;
using nimbara::test::SimDeviceTest;

class BaseInfoTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(&sink_);
    }
    RecordingNotify sink_;
};

TEST_F(BaseInfoTest, ReadsTheLockdownValues) {
    auto b = builder("0123abcd");
    b.setIdentity("Anna's iPad", "0123abcd", "iPad2,5", "12.4.1");
    b.setValue(nimbara::md::sim::kGlobalDomain, "PhoneNumber", std::int64_t(5550100));
    b.setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 42);
    ASSERT_TRUE(b.write());
    ASSERT_EQ(attach(deviceDir("0123abcd").string()), 0);

    BaseInfo info;
    ASSERT_EQ(info.Init(0), 0);
    EXPECT_EQ(info.GetDeviceName(), "Anna's iPad");
    EXPECT_EQ(info.GetUniqueDeviceID(), "0123abcd");
    EXPECT_EQ(info.GetProductType(), "iPad2,5");
    EXPECT_EQ(info.GetProductVersion(), "12.4.1");
    EXPECT_EQ(info.GetBuildVersion(), "16G102");
    EXPECT_TRUE(info.GetSerialNumber().has_value());
    EXPECT_FALSE(info.GetPhoneNumber().has_value());  // not text
    EXPECT_EQ(info.GetProductFamily(), 6);
    EXPECT_EQ(info.GetTimeZoneOffset(), 3600);

    std::optional<PlistValue> battery = info.GetBatteryInfo();
    ASSERT_TRUE(battery && battery->isDict());
    EXPECT_EQ((*battery)["BatteryCurrentCapacity"].toInt64(), 42);

    std::optional<PlistValue> global = info.CopyValue(std::nullopt, std::nullopt);
    ASSERT_TRUE(global && global->isDict());
    EXPECT_EQ((*global)["DeviceName"].toString(), "Anna's iPad");
    EXPECT_FALSE(info.CopyValue(std::nullopt, std::string("NoSuchKey")));
    EXPECT_FALSE(info.CopyValue(std::string("com.example.none"), std::string("x")));
}

TEST_F(BaseInfoTest, DiskUsageReadsSixCountsOrGivesZeros) {
    auto b = builder("aaaa");
    b.setValue("com.apple.disk_usage", "TotalDiskCapacity", std::int64_t(64000000000));
    b.setValue("com.apple.disk_usage", "TotalDataCapacity", std::int64_t(58000000000));
    b.setValue("com.apple.disk_usage", "TotalSystemCapacity", std::int64_t(6000000000));
    b.setValue("com.apple.disk_usage", "AmountDataAvailable", std::int64_t(21000000000));
    b.setValue("com.apple.disk_usage", "TotalSystemAvailable", "not a number");
    b.setValue("com.apple.disk_usage", "TotalDataAvailable", std::int64_t(-5));
    ASSERT_TRUE(b.write());
    const std::string dir = deviceDir("aaaa").string();
    ASSERT_EQ(attach(dir), 0);

    BaseInfo info;
    ASSERT_EQ(info.Init(0), 0);
    amd::DiskUsage usage = info.GetDiskUsage();
    EXPECT_EQ(usage.TotalDiskCapacity, 64000000000u);
    EXPECT_EQ(usage.TotalDataCapacity, 58000000000u);
    EXPECT_EQ(usage.TotalSystemCapacity, 6000000000u);
    EXPECT_EQ(usage.AmountDataAvailable, 21000000000u);
    EXPECT_EQ(usage.TotalSystemAvailable, 0u);
    EXPECT_EQ(usage.TotalDataAvailable, 0u);  // never a wrapped-around negative

    // Unreachable: gone, or never bound.
    ASSERT_TRUE(library_->detach(dir));
    auto zeros = [](const amd::DiskUsage& u) {
        return u.TotalDiskCapacity == 0 && u.TotalDataCapacity == 0 && u.TotalSystemCapacity == 0 &&
               u.AmountDataAvailable == 0 && u.TotalSystemAvailable == 0 &&
               u.TotalDataAvailable == 0;
    };
    EXPECT_TRUE(zeros(info.GetDiskUsage()));
    BaseInfo unbound;
    EXPECT_EQ(unbound.Init(3), 1);
    EXPECT_TRUE(zeros(unbound.GetDiskUsage()));
    EXPECT_FALSE(unbound.GetDeviceName());
    EXPECT_EQ(unbound.GetTimeZoneOffset(), 0);
    EXPECT_EQ(unbound.GetProductFamily(), 0);
}

TEST(BaseInfoValues, NullUntilSetThenReplacedWhileHoldersKeepTheirCopy) {
    BaseInfo info;
    EXPECT_EQ(info.GetValues(), nullptr);

    PlistValue first = PlistValue::dict();
    first["Application"]["_PhysicalSize"] = 100;
    info.SetValues(first);
    first["Application"]["_PhysicalSize"] = 555;  // the object kept a copy
    nimbara::PlistRef held = info.GetValues();
    ASSERT_TRUE(held);
    EXPECT_EQ((*held)["Application"]["_PhysicalSize"].toInt64(), 100);

    PlistValue second = PlistValue::dict();
    second["Application"]["_PhysicalSize"] = 200;
    info.SetValues(second);
    EXPECT_EQ((*info.GetValues())["Application"]["_PhysicalSize"].toInt64(), 200);
    EXPECT_EQ((*held)["Application"]["_PhysicalSize"].toInt64(), 100);
}

TEST(BaseInfoValues, ConcurrentWritersAndReaders) {
    BaseInfo info;
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int w = 0; w < 2; ++w) {
        threads.emplace_back([&, w] {
            for (int i = 0; i < 2000; ++i) {
                PlistValue v = PlistValue::dict();
                v["n"] = w * 10000 + i;
                info.SetValues(v);
            }
        });
    }
    std::atomic<long> seen{0};
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&] {
            while (!stop.load()) {
                if (nimbara::PlistRef v = info.GetValues()) {
                    seen += (*v)["n"].toInt64() >= 0 ? 1 : 0;
                }
            }
        });
    }
    threads[0].join();
    threads[1].join();
    stop = true;
    threads[2].join();
    threads[3].join();
    ASSERT_TRUE(info.GetValues());
    const std::int64_t last = (*info.GetValues())["n"].toInt64();
    EXPECT_TRUE(last == 1999 || last == 11999);
}

TEST(ProductFamily, FirstContainedModelCodeDecides) {
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPad2,5"), 6);  // "iPad2,1" is not contained in it
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPad2,1"), 2);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPad1,1"), 1);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPad3,6"), 4);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPad4,5"), 7);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPhone3,3"), 11);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPhone6,2"), 14);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPod5,1"), 19);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPhone10,4"), 0);
    EXPECT_EQ(BaseInfo::ProductFamilyOf("iPhone11,1"), 0);
    EXPECT_EQ(BaseInfo::ProductFamilyOf(""), 0);
}

// The parts of "used" never add up to more than used, whatever the device reports: what it frees
// on demand is part of the user's used space, never more.
TEST(DeviceSpace, PartsStayWithinWhatIsUsed) {
    constexpr std::uint64_t G = 1000000000ULL;
    const struct {
        const char* what;
        amd::DiskUsage usage;  // total, data, system capacity; free; system free; data free
        std::uint64_t userUsed, reclaimable;
    } rows[] = {
        {"as reported", {64 * G, 56 * G, 8 * G, 40 * G, G, 42 * G}, 16 * G, 2 * G},
        {"more freed on demand than used",
         {64 * G, 56 * G, 8 * G, 40 * G, G, 60 * G},
         16 * G,
         16 * G},
        {"more free than the whole", {64 * G, 56 * G, 8 * G, 70 * G, G, 80 * G}, 0, 0},
        {"a system larger than used", {64 * G, 56 * G, 30 * G, 40 * G, 2 * G, 41 * G}, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const amd::DeviceSpace space = amd::deviceSpace(row.usage);
        EXPECT_EQ(space.used, space.total - space.free);
        EXPECT_EQ(space.systemUsed + space.systemFree + space.userUsed, space.used);
        EXPECT_EQ(space.userUsed, row.userUsed);
        EXPECT_EQ(space.reclaimable, row.reclaimable);
    }
}

}  // namespace
