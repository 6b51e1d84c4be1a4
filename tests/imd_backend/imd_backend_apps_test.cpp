// Apps and crash logs of a real device through the device layer: the installation proxy's lookup
// with the attributes the pages read, install and uninstall, SpringBoard icons, app containers
// opened (and refused) through house arrest, and the crash-report copy service with its mover.
#include "device/app_dir_service.h"
#include "device/app_service.h"
#include "device/crash_report_service.h"
#include "device/device_status.h"
#include "device/sb_service.h"
#include "imd_backend_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

class ImdBackendApps : public ImdBackendTest {
  protected:
    ImdBackendApps() {
        addApp("com.example.notes", "Notes Plus", /*fileSharing=*/true, false);
        addApp("com.example.devtool", "Dev Tool", false, /*developerSigned=*/true);
        addApp("com.example.game", "Game", false, false);
        addApp("com.apple.Preferences", "Settings", false, false, "System");
        phone.addContainerText("com.example.notes", "/Documents/todo.txt", "milk");
        phone.addContainerText("com.example.game", "/Documents/save.dat", "level 3");
    }
    void start() {
        index = startWithDeviceManager();
        ASSERT_GE(index, 0);
    }
    // A minimal unpacked app package.
    std::string makePackage(const std::string& bundleId, const std::string& name) {
        return writeAppPackage(tmp / "Payload", bundleId, name, pattern(100000)).string();
    }

    int index = -1;
};

TEST_F(ImdBackendApps, TheLookupAnswersEveryAppWithTheAttributesThePagesRead) {
    start();
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    const auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup);
    ASSERT_TRUE(lookup->contains("com.example.notes"));
    EXPECT_TRUE(lookup->contains("com.example.game"));
    const PlistValue& notes = (*lookup)["com.example.notes"];
    EXPECT_EQ(notes["CFBundleDisplayName"].toString(), "Notes Plus");
    EXPECT_EQ(notes["ApplicationType"].toString(), "User");
    EXPECT_EQ(notes["StaticDiskUsage"].toInt64(), 1000);
    EXPECT_EQ(notes["DynamicDiskUsage"].toInt64(), 2000);
    EXPECT_TRUE(notes["UIFileSharingEnabled"].toBool(false));
    EXPECT_FALSE(notes["Path"].toString().empty());
    // Only what was asked for comes back.
    for (const auto& [key, value] : notes.toDict()) {
        const PlistValue& asked = amd::AppService::LookupOptions()["ReturnAttributes"];
        bool found = false;
        for (const auto& name : asked.toArray()) {
            found = found || name.toString() == key;
        }
        EXPECT_TRUE(found) << key;
    }
    const auto list = apps.GetAppList();
    EXPECT_GE(list.size(), 3u);
}

TEST_F(ImdBackendApps, InstallsAndUninstallsThroughTheInstallationProxy) {
    start();
    const std::string package = makePackage("com.example.reborn", "Reborn");
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    std::vector<PlistValue> transferSteps;
    std::vector<PlistValue> installSteps;
    ASSERT_EQ(apps.InstallApplication(
                  package, [&](const PlistValue& s) { transferSteps.push_back(s); },
                  [&](const PlistValue& s) { installSteps.push_back(s); }),
              0);
    EXPECT_FALSE(transferSteps.empty());
    ASSERT_FALSE(installSteps.empty());
    EXPECT_EQ(installSteps.back()["Status"].toString(), "Complete");
    EXPECT_EQ(readText(phone.mediaPath("/PublicStaging/Reborn.app/Reborn")), pattern(100000));
    auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup);
    EXPECT_TRUE(lookup->contains("com.example.reborn"));

    ASSERT_EQ(apps.UninstallApplication(std::string("com.example.game"), nullptr), 0);
    EXPECT_FALSE(fs::exists(phone.appPath("com.example.game")));
    lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup);
    EXPECT_FALSE(lookup->contains("com.example.game"));
    // An app the device doesn't have is refused, not reported removed.
    EXPECT_NE(apps.UninstallApplication(std::string("com.example.never"), nullptr), 0);
}

// Whether a name of `names` starts with `prefix`.
bool anyStartsWith(const std::set<std::string>& names, const std::string& prefix) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& name) { return name.starts_with(prefix); });
}

TEST_F(ImdBackendApps, ArchivesAnAppWholeOrWithoutItsDocumentsFindsAndRemovesTheArchive) {
    start();
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    const fs::path zip = phone.mediaPath("/ApplicationArchives/com.example.notes.zip");
    const int whole = apps.ArchiveApplication("com.example.notes", true, true);
    ASSERT_EQ(whole, 0);
    auto names = zipNames(zip);
    EXPECT_TRUE(names.count("Container/Documents/todo.txt"));
    EXPECT_TRUE(anyStartsWith(names, "Payload/"));
    // The app stays installed.
    auto lookup = apps.LookupApplications();
    ASSERT_TRUE(lookup);
    EXPECT_TRUE(lookup->contains("com.example.notes"));

    const int bare = apps.ArchiveApplication("com.example.notes", false, true);
    ASSERT_EQ(bare, 0);
    names = zipNames(zip);
    EXPECT_TRUE(anyStartsWith(names, "Payload/"));
    EXPECT_FALSE(anyStartsWith(names, "Container/"));

    const auto archives = apps.LookupArchives();
    ASSERT_TRUE(archives);
    EXPECT_TRUE((*archives)["LookupResult"].contains("com.example.notes"));
    EXPECT_FALSE((*archives)["LookupResult"].contains("com.example.game"));

    EXPECT_EQ(apps.RemoveApplicationArchive("com.example.notes"), 0);
    // One that isn't there is not reported removed.
    EXPECT_NE(apps.RemoveApplicationArchive("com.example.notes"), 0);
    EXPECT_FALSE(fs::exists(zip));
    const auto none = apps.LookupArchives();
    ASSERT_TRUE(none);
    EXPECT_FALSE((*none)["LookupResult"].contains("com.example.notes"));
}

TEST_F(ImdBackendApps, ADeviceThatNoLongerMakesArchivesRefusesWithTheSentence) {
    phone.setFault(md::sim::kFaultNoAppArchives, true);
    start();
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    const int rc = apps.ArchiveApplication("com.example.notes", true, true);
    EXPECT_EQ(rc, amd::DeviceCode::Refused);
    EXPECT_FALSE(fs::exists(phone.mediaPath("/ApplicationArchives/com.example.notes.zip")));
    EXPECT_EQ(amd::ArchiveRefusalText(rc),
              "The device doesn't make app archives (newer iOS versions no longer do), so this "
              "app can't be copied from it.");
    // The refusal left the proxy usable.
    EXPECT_TRUE(apps.LookupApplications());
}

TEST_F(ImdBackendApps, SpringBoardHandsOutTheHomeScreenIcon) {
    start();
    amd::SBService sb;
    ASSERT_EQ(sb.Init(index), 0);
    std::vector<std::uint8_t> png;
    ASSERT_EQ(sb.GetIconPNGData("com.example.notes", png), 0);
    EXPECT_EQ(std::string(png.begin(), png.end()),
              readText(phone.appPath("com.example.notes") / "icon.png"));
    EXPECT_NE(sb.GetIconPNGData("com.example.absent", png), 0);
    EXPECT_TRUE(png.empty());
}

TEST_F(ImdBackendApps, HouseArrestOpensAContainerAndTellsARefusalFromAMissingApp) {
    start();
    amd::AppDirService notes;
    ASSERT_EQ(notes.Init(index, "com.example.notes"), 0);
    EXPECT_EQ(notes.ReadFile("/Documents/todo.txt"),
              (std::vector<std::uint8_t>{'m', 'i', 'l', 'k'}));
    ASSERT_EQ(notes.WriteFile("/Documents/new.txt", {'n'}), 0);
    EXPECT_EQ(readText(phone.containerPath("com.example.notes", "/Documents/new.txt")), "n");

    amd::AppDirService missing;
    EXPECT_EQ(missing.Init(index, "com.example.never"), md::Error::AppNotInstalled);
    EXPECT_FALSE(missing.hasConnection());
    amd::AppDirService hostile;
    EXPECT_EQ(hostile.Init(index, "../com.example.notes"), md::Error::InvalidArgument);
    EXPECT_FALSE(hostile.hasConnection());
}

TEST_F(ImdBackendApps, RestrictedContainersAreRefusedWithTheirOwnErrorAndSentence) {
    phone.setFault(usbmuxsim::kFaultRestrictedContainers, true);
    start();
    amd::AppDirService game;
    const int refused = game.Init(index, "com.example.game");
    EXPECT_EQ(refused, md::Error::ContainerRefused);
    EXPECT_FALSE(game.hasConnection());
    EXPECT_EQ(game.ReadDirectory("/Documents"), std::nullopt);
    EXPECT_NE(md::errorText(refused), md::errorText(md::Error::AppNotInstalled));
    EXPECT_NE(md::errorText(refused).find("share their files"), std::string::npos);

    // An app that shares its files still hands out its documents.
    amd::AppDirService notes;
    ASSERT_EQ(notes.Init(index, "com.example.notes"), 0);
    EXPECT_EQ(notes.ReadFile("/Documents/todo.txt"),
              (std::vector<std::uint8_t>{'m', 'i', 'l', 'k'}));
    // A developer-signed app's container still opens.
    amd::AppDirService devtool;
    ASSERT_EQ(devtool.Init(index, "com.example.devtool"), 0);
    EXPECT_TRUE(devtool.ReadDirectory("/Documents"));
    // The refusal left the device usable.
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    EXPECT_TRUE(apps.LookupApplications());
}

TEST_F(ImdBackendApps, ContainersRefusedBeforeTheFirstUnlockSaySoAndOpenOnceUnlocked) {
    writeText(phone.dir() / "not-unlocked", "");
    phone.setFault(usbmuxsim::kFaultBeforeFirstUnlock, "not-unlocked");
    start();
    amd::AppDirService locked;
    const int refused = locked.Init(index, "com.example.notes");
    EXPECT_EQ(refused, md::Error::PasswordProtected);
    EXPECT_FALSE(locked.hasConnection());
    EXPECT_NE(md::errorText(refused).find("Unlock it with its passcode and try again"),
              std::string::npos);
    // The device stays there, its other services at hand.
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    EXPECT_TRUE(apps.LookupApplications());

    fs::remove(phone.dir() / "not-unlocked");  // unlocked
    amd::AppDirService notes;
    ASSERT_EQ(notes.Init(index, "com.example.notes"), 0);
    EXPECT_EQ(notes.ReadFile("/Documents/todo.txt"),
              (std::vector<std::uint8_t>{'m', 'i', 'l', 'k'}));
}

TEST_F(ImdBackendApps, CrashLogsAreMovedThenListedAndCopied) {
    phone.addCrashLog("/Game-2024-01-02-030405.ips", 5000);
    start();
    // Written after the last move: only the next one brings it into the crash area.
    addNewCrashLog("/Retired/Old-2023-01-01-000000.ips", pattern(70000));
    amd::CrashReportService crashes;
    ASSERT_EQ(crashes.Init(index), 0);
    auto files = crashes.ListAllFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"/Game-2024-01-02-030405.ips",
                                               "/Retired/Old-2023-01-01-000000.ips"}));
    ASSERT_EQ(crashes.CopyToLocal("/Retired/Old-2023-01-01-000000.ips", (tmp / "old.ips").string()),
              0);
    EXPECT_EQ(readText(tmp / "old.ips"), pattern(70000));
    ASSERT_EQ(crashes.RemovePath("/Game-2024-01-02-030405.ips"), 0);
    EXPECT_FALSE(fs::exists(phone.crashPath("/Game-2024-01-02-030405.ips")));
}

TEST_F(ImdBackendApps, AMoverThatIsRefusedAnswersWronglyOrSaysNothingIsReportedAndTheOldLogsStay) {
    phone.addCrashLog("/Game-2024-01-02-030405.ips", 100);
    phone.setFault(md::sim::kFaultRefusedServices,
                   PlistValue(PlistValue::Array{"com.apple.crashreportmover"}));
    start();
    addNewCrashLog("/Maps-2024-05-02-101010.ips", "new");
    const std::vector<std::string> old{"/Game-2024-01-02-030405.ips"};
    LogRecorder log;
    amd::CrashReportService refused;
    ASSERT_EQ(refused.Init(index), 0);
    EXPECT_EQ(refused.ListAllFiles(), old);  // the new log was never moved
    EXPECT_EQ(log.countContaining("The crash-report mover did not start"), 1);

    // An answer that isn't "ping" is no word that the move was done.
    clearFaults();
    setFault(usbmuxsim::kFaultMoverAnswer, "pong");
    amd::CrashReportService wrong;
    ASSERT_EQ(wrong.Init(index), 0);
    EXPECT_EQ(wrong.ListAllFiles(), old);
    EXPECT_EQ(log.countContaining("did not say it was done as it should"), 1);
    // Nor is half of one that never comes whole: the wait ends with the timeout.
    setFault(usbmuxsim::kFaultMoverAnswer, "pi");
    amd::CrashReportService half;
    ASSERT_EQ(half.Init(index), 0);
    EXPECT_EQ(half.ListAllFiles(), old);
    EXPECT_EQ(log.countContaining("did not say it was done as it should"), 2);

    // A mover that never says it is done delays the copy service by the library's limit only.
    clearFaults();
    setFault(usbmuxsim::kFaultStalledServices,
             PlistValue(PlistValue::Array{"com.apple.crashreportmover"}));
    amd::CrashReportService stalled;
    ASSERT_EQ(stalled.Init(index), 0);
    EXPECT_EQ(stalled.ListAllFiles(), old);
    EXPECT_EQ(log.countContaining("did not say it was done in time"), 1);

    // A mover that does its work brings the new log in.
    clearFaults();
    amd::CrashReportService moved;
    ASSERT_EQ(moved.Init(index), 0);
    EXPECT_EQ(moved.ListAllFiles().size(), 2u);
}

TEST_F(ImdBackendApps, ServicesThatCloseCutShortOrStallFailTheCallInsteadOfHangingIt) {
    phone.setFault(md::sim::kFaultClosedReply,
                   PlistValue(PlistValue::Array{"com.apple.springboardservices"}));
    phone.setFault(md::sim::kFaultShortReply,
                   PlistValue(PlistValue::Array{"com.apple.mobile.installation_proxy"}));
    phone.setFault(usbmuxsim::kFaultStalledServices,
                   PlistValue(PlistValue::Array{"com.apple.mobile.house_arrest"}));
    start();
    amd::SBService sb;
    ASSERT_EQ(sb.Init(index), 0);
    std::vector<std::uint8_t> png{1};
    EXPECT_NE(sb.GetIconPNGData("com.example.notes", png), 0);
    EXPECT_TRUE(png.empty());
    amd::AppService apps;
    ASSERT_EQ(apps.Init(index), 0);
    EXPECT_EQ(apps.LookupApplications(), std::nullopt);
    // House arrest that never answers: refused after the library's limit, not opened.
    amd::AppDirService notes;
    EXPECT_NE(notes.Init(index, "com.example.notes"), 0);
    EXPECT_FALSE(notes.hasConnection());

    // The device is still there and answers once its services do.
    clearFaults();
    amd::AppService again;
    ASSERT_EQ(again.Init(index), 0);
    EXPECT_TRUE(again.LookupApplications());
    ASSERT_EQ(notes.Init(index, "com.example.notes"), 0);
    EXPECT_EQ(amd::DeviceManager::GetInstance().Indices().size(), 1u);
}

}  // namespace
}  // namespace nimbara::test
