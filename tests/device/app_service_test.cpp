#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "attached_device_fixture.h"
#include "device/app_service.h"
#include "fake_service_connection.h"

namespace {

namespace fs = std::filesystem;
namespace md = nimbara::md;
using nimbara::PlistValue;
using nimbara::simdev::AppSpec;
using nimbara::test::AttachedDeviceTest;
using nimbara::test::FakeServiceConnection;
using nimbara::test::WithFakeConnection;

class AppServiceTest : public AttachedDeviceTest {
  protected:
    void SetUp() override {
        AttachedDeviceTest::SetUp();
        AppSpec notes;
        notes.bundleId = "com.example.notes";
        notes.displayName = "Notes Plus";
        notes.version = "2.1";
        notes.staticDiskUsage = 12345678;
        notes.dynamicDiskUsage = 4321;
        notes.fileSharing = true;
        notes.entitlements = PlistValue::dict();
        notes.entitlements["com.apple.developer.ubiquity-container-identifiers"].append(
            "iCloud.com.example.notes");
        notes.entitlements["com.apple.developer.ubiquity-kvstore-identifier"] =
            "TEAM.com.example.notes";
        device().addApp(notes);

        AppSpec settings;
        settings.bundleId = "com.apple.Preferences";
        settings.displayName = "Settings";
        settings.type = "System";
        device().addApp(settings);

        index_ = attach();
        ASSERT_GE(index_, 0);
    }

    // A minimal unpacked app package, as a reinstall hands over.
    std::string makePackage(const std::string& bundleId, const std::string& name) {
        return nimbara::test::writeAppPackage(localDir() / "Payload", bundleId, name,
                                              pattern(10000))
            .string();
    }

    bool archiveExists(const std::string& bundleId) {
        return fs::exists(device().mediaPath("/ApplicationArchives/" + bundleId + ".zip"));
    }

    int index_ = -1;
};

TEST_F(AppServiceTest, LooksUpAppsWithTheirAttributes) {
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index_), 0);
    auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup.has_value());
    ASSERT_TRUE(lookup->isDict());
    ASSERT_TRUE(lookup->contains("com.example.notes"));
    const PlistValue& notes = (*lookup)["com.example.notes"];
    EXPECT_EQ(notes["ApplicationType"].toString(), "User");
    EXPECT_EQ(notes["CFBundleShortVersionString"].toString(), "2.1");
    EXPECT_EQ(notes["StaticDiskUsage"].toInt64(), 12345678);
    EXPECT_EQ((*lookup)["com.apple.Preferences"]["ApplicationType"].toString(), "System");

    const PlistValue& wanted = amd::AppService::LookupOptions()["ReturnAttributes"];
    EXPECT_EQ(wanted.size(), 13u);
    EXPECT_EQ(&amd::AppService::LookupOptions(), &amd::AppService::LookupOptions());
}

TEST_F(AppServiceTest, AppListCarriesCopiesOfTheAttributes) {
    std::vector<amd::AppRecord> list;
    {
        amd::AppService apps;
        ASSERT_EQ(apps.Init(index_), 0);
        nimbara::test::LogRecorder log;
        list = apps.GetAppList();
        EXPECT_EQ(log.count("App list count = 2"), 1);
        EXPECT_EQ(apps.GetAppIdentifiers().size(), 2u);
    }
    // The records outlive the service that made them.
    ASSERT_EQ(list.size(), 2u);
    const auto notes = std::find_if(list.begin(), list.end(), [](const amd::AppRecord& r) {
        return r.bundleId == "com.example.notes";
    });
    ASSERT_NE(notes, list.end());
    EXPECT_EQ(notes->displayName, "Notes Plus");
    EXPECT_EQ(notes->iconName, "iTunesArtwork");
    EXPECT_EQ(notes->applicationType, "User");
    EXPECT_FALSE(notes->path.empty());
    EXPECT_TRUE(notes->fileSharingEnabled);
    EXPECT_EQ(notes->ubiquityContainerIdentifiers,
              std::vector<std::string>{"iCloud.com.example.notes"});
    EXPECT_EQ(notes->ubiquityKvstoreIdentifier, "TEAM.com.example.notes");
    EXPECT_EQ(notes->staticDiskUsage, 12345678);
    EXPECT_EQ(notes->dynamicDiskUsage, 4321);

    const auto settings = std::find_if(list.begin(), list.end(), [](const amd::AppRecord& r) {
        return r.bundleId == "com.apple.Preferences";
    });
    ASSERT_NE(settings, list.end());
    EXPECT_EQ(settings->applicationType, "System");
    EXPECT_FALSE(settings->fileSharingEnabled);
    EXPECT_TRUE(settings->ubiquityContainerIdentifiers.empty());
}

TEST_F(AppServiceTest, InstallsAndUninstalls) {
    const std::string package = makePackage("com.example.reborn", "Reborn");
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index_), 0);

    std::vector<PlistValue> transferSteps;
    std::vector<PlistValue> installSteps;
    EXPECT_EQ(apps.InstallApplication(
                  package, [&](const PlistValue& s) { transferSteps.push_back(s); },
                  [&](const PlistValue& s) { installSteps.push_back(s); }),
              0);
    EXPECT_FALSE(transferSteps.empty());
    EXPECT_FALSE(installSteps.empty());
    EXPECT_TRUE(fs::exists(device().mediaPath("/PublicStaging/Reborn.app")));
    auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup.has_value());
    EXPECT_TRUE(lookup->contains("com.example.reborn"));

    std::vector<PlistValue> uninstallSteps;
    EXPECT_EQ(apps.UninstallApplication(std::string("com.example.reborn"),
                                        [&](const PlistValue& s) { uninstallSteps.push_back(s); }),
              0);
    lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup.has_value());
    EXPECT_FALSE(lookup->contains("com.example.reborn"));

    EXPECT_NE(apps.UninstallApplication(std::string("com.example.never"), nullptr), 0);
}

TEST_F(AppServiceTest, InstallWithoutBindingTransfersNothing) {
    const std::string package = makePackage("com.example.reborn", "Reborn");
    amd::AppService unbound;
    EXPECT_EQ(unbound.Init(index_ + 100), 1);
    bool called = false;
    EXPECT_EQ(unbound.InstallApplication(
                  package, [&](const PlistValue&) { called = true; },
                  [&](const PlistValue&) { called = true; }),
              1);
    EXPECT_FALSE(called);
    EXPECT_FALSE(fs::exists(device().mediaPath("/PublicStaging/Reborn.app")));
    EXPECT_EQ(unbound.UninstallApplication(std::string("com.example.notes"), nullptr), 1);
    EXPECT_EQ(unbound.ArchiveApplication("com.example.notes", true, true), 1);
    EXPECT_FALSE(unbound.LookupApplications().has_value());
}

TEST_F(AppServiceTest, ArchivesAndRemovesTheArchive) {
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index_), 0);
    ASSERT_FALSE(archiveExists("com.example.notes"));

    EXPECT_EQ(apps.ArchiveApplication("com.example.notes", true, true), 0);
    EXPECT_TRUE(archiveExists("com.example.notes"));
    auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup.has_value());
    EXPECT_TRUE(lookup->contains("com.example.notes")) << "archiving keeps the app installed";

    EXPECT_EQ(apps.RemoveApplicationArchive("com.example.notes"), 0);
    EXPECT_FALSE(archiveExists("com.example.notes"));
}

TEST(AppServiceRequests, ArchiveTypesFollowTheFlags) {
    struct Case {
        bool documents;
        bool application;
        const char* type;
    };
    for (const Case& c : {Case{true, true, "All"}, Case{true, false, "DocumentsOnly"},
                          Case{false, true, "ApplicationOnly"}}) {
        SCOPED_TRACE(c.type);
        WithFakeConnection<amd::AppService> apps;
        FakeServiceConnection* proxy = apps.useFakeConnection();
        PlistValue done = PlistValue::dict();
        done["Status"] = "Complete";
        proxy->queueReply(done);
        EXPECT_EQ(apps.ArchiveApplication("com.example.notes", c.documents, c.application), 0);
        auto sent = proxy->sentMessages();
        ASSERT_TRUE(sent.has_value());
        ASSERT_EQ(sent->size(), 1u);
        const PlistValue& request = sent->front();
        EXPECT_EQ(request["ApplicationIdentifier"].toString(), "com.example.notes");
        EXPECT_EQ(request["ClientOptions"]["ArchiveType"].toString(), c.type);
        EXPECT_TRUE(request["ClientOptions"]["SkipUninstall"].toBool());
    }
}

TEST(AppServiceRequests, NothingToDoSendsNothing) {
    WithFakeConnection<amd::AppService> apps;
    FakeServiceConnection* proxy = apps.useFakeConnection();
    EXPECT_EQ(apps.ArchiveApplication("com.example.notes", false, false), 0);
    EXPECT_EQ(apps.UninstallApplication(std::nullopt, nullptr), 1);
    EXPECT_EQ(proxy->sendCalls, 0);
}

TEST(AppServiceRequests, LookupArchivesAsksOnceAndReturnsTheReply) {
    WithFakeConnection<amd::AppService> apps;
    FakeServiceConnection* proxy = apps.useFakeConnection();
    PlistValue reply = PlistValue::dict();
    reply["Status"] = "Complete";
    reply["LookupResult"] = PlistValue::dict();
    proxy->queueReply(reply);
    auto got = apps.LookupArchives();
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, reply);
    auto sent = proxy->sentMessages();
    ASSERT_TRUE(sent.has_value());
    ASSERT_EQ(sent->size(), 1u);
    EXPECT_EQ(sent->front()["Command"].toString(), "LookupArchives");

    WithFakeConnection<amd::AppService> refused;
    refused.useFakeConnection()->sendsAllowed = 0;
    EXPECT_FALSE(refused.LookupArchives().has_value());
}

}  // namespace
