// Lockdown values of a real device by domain, through the device layer's value reader and the
// handle itself, and the storage metrics the library makes of the disk-usage domain for a device
// without a media-sync session.
#include "device/base_info.h"
#include "imd_backend_fixture.h"

namespace nimbara::test {
namespace {

class ImdBackendValues : public ImdBackendTest {
  protected:
    // The apps' figure of a media-sync session's first messages ("SyncAllowed", then
    // "AssetMetrics"); -1 when they are not those.
    static std::int64_t appUsageOf(md::MediaSyncConnection* session) {
        if (!session) {
            return -1;
        }
        auto allowed = session->readMessage();
        auto metrics = session->readMessage();
        if (!allowed || (*allowed)["Command"].toString() != "SyncAllowed" || !metrics ||
            (*metrics)["Command"].toString() != "AssetMetrics") {
            return -1;
        }
        return (*metrics)["Params"]["Application"]["_PhysicalSize"].toInt64(-1);
    }
    std::shared_ptr<amd::BaseInfo> infoOf(int index) {
        auto item = amd::DeviceManager::GetInstance().FindItem(index);
        return item ? item->sharedInfo() : nullptr;
    }
    // Leaves `key` out of the global domain.
    void dropGlobalValue(const std::string& key) {
        PlistValue& lockdown = phone.editDevicePlist()[md::sim::kKeyLockdown];
        PlistValue global = PlistValue::dict();
        for (const auto& [name, value] : lockdown[md::sim::kGlobalDomain].toDict()) {
            if (name != key) {
                global[name] = value;
            }
        }
        lockdown[md::sim::kGlobalDomain] = std::move(global);
    }
};

TEST_F(ImdBackendValues, TheDeviceLayerReadsIdentityAndDiskUsageByDomain) {
    phone.setValue("com.apple.mobile.battery", "BatteryCurrentCapacity", 81);
    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    auto info = infoOf(index);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetDeviceName(), "Test iPhone");
    EXPECT_EQ(info->GetUniqueDeviceID(), kUdid);
    EXPECT_EQ(info->GetProductType(), "iPhone12,1");
    EXPECT_EQ(info->GetProductVersion(), "14.2");
    const amd::DiskUsage usage = info->GetDiskUsage();
    EXPECT_EQ(usage.TotalDiskCapacity, kDiskTotal);
    EXPECT_EQ(usage.AmountDataAvailable, kDiskFree);
    EXPECT_GT(usage.TotalDataCapacity, 0u);
    const auto battery = info->GetBatteryInfo();
    ASSERT_TRUE(battery);
    EXPECT_EQ((*battery)["BatteryCurrentCapacity"].toInt64(), 81);
    // A whole domain comes as a dictionary.
    const auto domain = info->CopyValue(std::string("com.apple.disk_usage"), std::nullopt);
    ASSERT_TRUE(domain && domain->isDict());
    EXPECT_EQ((*domain)["TotalDiskCapacity"].toInt64(), static_cast<std::int64_t>(kDiskTotal));
}

TEST_F(ImdBackendValues, MissingValuesAreReportedMissingRatherThanEmpty) {
    dropGlobalValue("PhoneNumber");  // an iPod touch, or a newer device that keeps it to itself
    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    auto info = infoOf(index);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->GetPhoneNumber(), std::nullopt);
    EXPECT_EQ(info->CopyValue(std::string("com.apple.no.such.domain"), std::string("Key")),
              std::nullopt);
    EXPECT_EQ(info->GetDeviceName(), "Test iPhone");  // the session survived the misses

    // The handle says why: a value it does not have, a call outside its session.
    const md::DeviceHandle handle = amd::DeviceManager::GetInstance().FindDevice(index)->handle();
    PlistValue value;
    EXPECT_EQ(handle->connect(), 0);
    EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value),
              md::Error::SessionInactive);
    ASSERT_EQ(handle->startSession(), 0);
    const int missing = handle->copyValue(std::nullopt, std::string("PhoneNumber"), value);
    EXPECT_NE(missing, 0);
    EXPECT_EQ(md::errorText(missing), "The device does not have this information.");
    EXPECT_TRUE(value.isNull());
    EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value), 0);
    EXPECT_EQ(value.toString(), "Test iPhone");
    EXPECT_EQ(handle->stopSession(), 0);
    EXPECT_EQ(handle->disconnect(), 0);
    EXPECT_EQ(handle->copyValue(std::nullopt, std::string("DeviceName"), value),
              md::Error::NotConnected);
}

TEST_F(ImdBackendValues, StorageMetricsComeFromTheDiskUsageDomainWithTheRestUnknown) {
    phone.setValue("com.apple.disk_usage", "MobileApplicationUsage", std::int64_t{7000000000});
    phone.setValue("com.apple.disk_usage", "PhotoUsage", std::int64_t{3000000000});
    // No "CameraUsage": the camera roll's share can't be known.
    const int index = startWithDeviceManager();
    ASSERT_GE(index, 0);
    auto info = infoOf(index);
    ASSERT_TRUE(info);
    ASSERT_TRUE(loopUntil([&] { return info->GetValues() != nullptr; }));
    const PlistValue metrics = *info->GetValues();
    EXPECT_EQ(metrics["Application"]["_PhysicalSize"].toInt64(), 7000000000);
    EXPECT_FALSE(metrics["Application"].contains(md::kMetricUnknown));
    EXPECT_EQ(metrics["Photo"]["Photo"]["_PhysicalSize"].toInt64(), 3000000000);
    EXPECT_TRUE(metrics["Photo"]["CameraRoll"][md::kMetricUnknown].toBool(false));
    EXPECT_FALSE(metrics["Photo"]["CameraRoll"].contains("_PhysicalSize"));
    // Music and films are never told apart by lockdown: unknown, never zero.
    EXPECT_TRUE(metrics["Media"]["Music"][md::kMetricUnknown].toBool(false));
    EXPECT_TRUE(metrics["Media"]["Movie"][md::kMetricUnknown].toBool(false));
    EXPECT_FALSE(metrics["Media"]["Music"].contains("_PhysicalSize"));
}

TEST_F(ImdBackendValues, TheSessionOpenedForAnAttachTakesTheDiskUsageTheTrustCheckRead) {
    phone.setValue("com.apple.disk_usage", "MobileApplicationUsage", std::int64_t{5000});
    md::imd::ImdLibrary::Options options = shortLimits();
    options.diskUsageFresh = std::chrono::minutes(10);  // whatever the machine's pace
    startLibrary(std::move(options));
    subscribe();
    ASSERT_TRUE(waitForAttached());
    // The device's figure changes after the check: the sessions opened while the attach is
    // handled (the device manager's, the storage overview's) ask the device nothing.
    phone.setValue("com.apple.disk_usage", "MobileApplicationUsage", std::int64_t{6000});
    ASSERT_TRUE(phone.write());
    EXPECT_EQ(appUsageOf(library->createMediaSyncConnection("library", kUdid).get()), 5000);
    EXPECT_EQ(appUsageOf(library->createMediaSyncConnection("library", kUdid).get()), 5000);
    // Later ones ask afresh: MediaSyncSessionsAskTheDeviceAndEndWithItsDetach.
}

TEST_F(ImdBackendValues, MediaSyncSessionsAskTheDeviceAndEndWithItsDetach) {
    phone.setValue("com.apple.disk_usage", "MobileApplicationUsage", std::int64_t{5000});
    md::imd::ImdLibrary::Options options = shortLimits();
    options.diskUsageFresh = std::chrono::milliseconds(0);  // every session asks
    startLibrary(std::move(options));
    subscribe();
    ASSERT_TRUE(waitForAttached());
    EXPECT_EQ(library->createMediaSyncConnection("library", "no-such-device"), nullptr);
    phone.setValue("com.apple.disk_usage", "MobileApplicationUsage", std::int64_t{6000});
    ASSERT_TRUE(phone.write());
    auto session = library->createMediaSyncConnection("library", kUdid);
    EXPECT_EQ(appUsageOf(session.get()), 6000);
    auto second = library->createMediaSyncConnection("library", kUdid);
    ASSERT_TRUE(second);

    // Unplugged: a reader blocked on the session wakes with nothing.
    std::filesystem::remove_all(phone.dir());
    ASSERT_EQ(server.control("SimRescan"), 0);
    ASSERT_TRUE(loopUntil([&] { return heard.count(md::kMessageDetached) == 1; }));
    EXPECT_EQ(session->readMessage(), std::nullopt);
    EXPECT_EQ(second->readMessage(), std::nullopt);
    EXPECT_EQ(library->createMediaSyncConnection("library", kUdid), nullptr);
}

}  // namespace
}  // namespace nimbara::test
