// What a device refuses about its apps reaches the caller as its own code and sentence: a
// container of an app that doesn't share its files, an app that went, an archive the device no
// longer makes. None of them looks like an empty container or a finished archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "attached_device_fixture.h"
#include "device/app_dir_service.h"
#include "device/app_service.h"
#include "device/device_status.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace {

using nimbara::PlistValue;
using nimbara::simdev::AppSpec;
using nimbara::test::AttachedDeviceTest;
namespace Code = amd::DeviceCode;

class AppRefusalsTest : public AttachedDeviceTest {
  protected:
    void addApp(const std::string& bundleId) {
        AppSpec app;
        app.bundleId = bundleId;
        app.displayName = bundleId;
        device().addApp(app);
        device().addContainerText(bundleId, "/Documents/note.txt", "kept");
    }
};

TEST_F(AppRefusalsTest, ARefusedContainerIsToldApartFromAnEmptyOrAMissingOne) {
    addApp("com.example.shared");
    addApp("com.example.private");
    device().setFault(nimbara::md::sim::kFaultRefusedContainers,
                      PlistValue(PlistValue::Array{PlistValue("com.example.private")}));
    const int index = attach();
    ASSERT_GE(index, 0);

    amd::AppDirService shared;
    ASSERT_EQ(shared.Init(index, "com.example.shared"), 0);
    EXPECT_TRUE(shared.ReadDirectory("/Documents").has_value());

    amd::AppDirService refused;
    const int rc = refused.Init(index, "com.example.private");
    EXPECT_EQ(rc, Code::ContainerRefused);
    EXPECT_FALSE(refused.hasConnection());
    EXPECT_FALSE(refused.ReadDirectory("/").has_value()) << "no listing, not an empty one";
    EXPECT_EQ(amd::ContainerRefusalText(rc),
              "This app doesn't share its files with computers, so its container can't be "
              "opened.");

    amd::AppDirService missing;
    const int gone = missing.Init(index, "com.example.gone");
    EXPECT_EQ(gone, Code::AppNotInstalled);
    EXPECT_NE(amd::ContainerRefusalText(gone), amd::ContainerRefusalText(rc));
    EXPECT_EQ(amd::ContainerRefusalText(0), "");
}

TEST_F(AppRefusalsTest, AnArchiveTheDeviceNoLongerMakesIsARefusalWithItsSentence) {
    addApp("com.example.notes");
    device().setFault(nimbara::md::sim::kFaultNoAppArchives, PlistValue(true));
    const int index = attach();
    ASSERT_GE(index, 0);

    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    const int rc = apps.ArchiveApplication("com.example.notes", false, true);
    EXPECT_EQ(rc, Code::Refused);
    EXPECT_FALSE(
        std::filesystem::exists(device().mediaPath("/ApplicationArchives/com.example.notes.zip")));
    EXPECT_NE(amd::ArchiveRefusalText(rc).find("doesn't make app archives"), std::string::npos);
    EXPECT_EQ(amd::ArchiveRefusalText(0), "");
}

TEST(ContainersRefusedText, NamesAFewAndCountsTheRest) {
    EXPECT_EQ(amd::ContainersRefusedText({}), "");
    EXPECT_EQ(amd::ContainersRefusedText({"Maps"}),
              "Maps doesn't share its files with computers, so its files were not looked at.");
    EXPECT_EQ(amd::ContainersRefusedText({"Maps", "Chat"}),
              "Maps and Chat don't share their files with computers, so their files were not "
              "looked at.");
    EXPECT_EQ(amd::ContainersRefusedText({"Maps", "Chat", "News"}),
              "Maps, Chat and News don't share their files with computers, so their files were "
              "not looked at.");
    EXPECT_EQ(amd::ContainersRefusedText({"Maps", "Chat", "News", "Mail", "Notes"}),
              "Maps, Chat and 3 other apps don't share their files with computers, so their "
              "files were not looked at.");
}

}  // namespace
