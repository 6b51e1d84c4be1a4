// The app scan against simulated devices: what each category keeps, the advertisement rows,
// refused containers, progress, and stopping when the device goes.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cleanup/app_clean_scan.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_scan_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::cleanup;
using nimbara::PlistValue;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;

AppSpec app(const std::string& id, const std::string& name, const std::string& type = "User") {
    AppSpec a;
    a.bundleId = id;
    a.displayName = name;
    a.type = type;
    a.withIcon = false;
    return a;
}

class AppCleanScanTest : public nimbara::test::QuickScanTest {
  protected:
    // "a" (user): caches at two depths, two advertisement folders and a file named like a
    // network, a cookie, temporary files and documents of listed and unlisted kinds.
    // "b" (system): one cache file. "c" (user): its container is refused.
    SimDeviceBuilder smallDevice(const std::string& udid) {
        SimDeviceBuilder b = builder(udid);
        b.addApp(app("com.example.a", "Alpha"));
        b.addContainerFile("com.example.a", "/Library/Caches/Cache.db", 1000);
        b.addContainerFile("com.example.a", "/Library/Caches/img/1/2/pic.bin", 2000);
        b.addContainerFile("com.example.a", "/Library/Caches/com.MoPub.cache/c.dat", 300);
        b.addContainerFile("com.example.a", "/Library/Caches/AdMobFlurry/d.dat", 400);
        b.addContainerFile("com.example.a", "/Library/Caches/flurry.db", 50);
        b.addContainerFile("com.example.a", "/Library/Cookies/Cookies.binarycookies", 77);
        b.addContainerFile("com.example.a", "/Library/Preferences/com.example.a.plist", 9);
        b.addContainerFile("com.example.a", "/tmp/upload.part", 5000);
        b.addContainerDir("com.example.a", "/tmp/empty");
        b.addContainerFile("com.example.a", "/Documents/song.Mp3", 600);
        b.addContainerFile("com.example.a", "/Documents/report.PDF", 700);
        b.addContainerFile("com.example.a", "/Documents/noext", 800);
        b.addContainerFile("com.example.a", "/Documents/.mp3", 900);
        b.addContainerFile("com.example.a", "/Documents/Media/deep/photo.jpg", 1100);
        b.addContainerDir("com.example.a", "/Documents/Empty");
        b.addApp(app("com.example.b", "Beta", "System"));
        b.addContainerFile("com.example.b", "/Library/Caches/snap.ktx", 4000);
        b.addContainerDir("com.example.b", "/Library/Caches/GoogleAds");
        b.addApp(app("com.example.c", "Gamma"));
        b.addContainerFile("com.example.c", "/Library/Caches/mopub/x.dat", 123);
        PlistValue refused = PlistValue::array();
        refused.append(PlistValue("com.example.c"));
        b.setFault(nimbara::md::sim::kFaultRefusedContainers, refused);
        return b;
    }

    static std::vector<std::string> pathsOf(const CleanCategoryList& list) {
        std::vector<std::string> out;
        for (const auto& node : list.files) {
            out.push_back(node->appBundleName().toStdString() + ":" + node->devicePath());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(AppCleanScanTest, CategoriesKeepWhatTheyShouldWithTheirSizes) {
    SimDeviceBuilder b = smallDevice("cats");
    const int index = attachDevice(b);
    AppCleanScanEngine engine({index, 0, true, true});
    std::map<CleanCategory, int> labels;
    engine.onPathSeen = [&](CleanCategory category, const QString&) { ++labels[category]; };
    const AppCleanScanResult r = engine.run();

    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.appCount, 3);
    EXPECT_EQ(pathsOf(r.caches),
              (std::vector<std::string>{"com.example.a:/Library/Caches/AdMobFlurry/d.dat",
                                        "com.example.a:/Library/Caches/Cache.db",
                                        "com.example.a:/Library/Caches/com.MoPub.cache/c.dat",
                                        "com.example.a:/Library/Caches/flurry.db",
                                        "com.example.a:/Library/Caches/img/1/2/pic.bin",
                                        "com.example.b:/Library/Caches/snap.ktx"}));
    EXPECT_EQ(r.caches.bytes, 1000u + 2000 + 300 + 400 + 50 + 4000);
    EXPECT_EQ(pathsOf(r.cookies),
              (std::vector<std::string>{"com.example.a:/Library/Cookies/Cookies.binarycookies"}));
    EXPECT_EQ(r.cookies.bytes, 77u);
    EXPECT_EQ(pathsOf(r.junk), (std::vector<std::string>{"com.example.a:/tmp/upload.part"}));
    EXPECT_EQ(r.junk.bytes, 5000u);
    // Listed kinds only, whatever their case; no hidden name without extension, no folders.
    EXPECT_EQ(pathsOf(r.documents),
              (std::vector<std::string>{"com.example.a:/Documents/Media/deep/photo.jpg",
                                        "com.example.a:/Documents/song.Mp3"}));
    EXPECT_EQ(r.documents.bytes, 1700u);
    EXPECT_EQ(r.totalFileNumber, 10u);
    EXPECT_EQ(r.totalFileSize, r.caches.bytes + r.cookies.bytes + r.junk.bytes + r.documents.bytes);
    EXPECT_EQ(labels[CleanCategory::Cache], 6);
    EXPECT_EQ(labels[CleanCategory::Document], 2);

    // The records carry what the tables and trees show.
    const auto& song = *std::find_if(r.documents.files.begin(), r.documents.files.end(),
                                     [](const auto& n) { return n->fileName() == "song.Mp3"; });
    EXPECT_EQ(song->appDisplayName(), QStringLiteral("Alpha"));
    EXPECT_EQ(song->fileSizeNumber(), 600u);
    EXPECT_EQ(song->fileType(), QStringLiteral("FILE"));
    EXPECT_TRUE(song->isFile());
    EXPECT_EQ(r.containersRefused, (std::vector<std::string>{"com.example.c"}));
}

TEST_F(AppCleanScanTest, AdvertisementRowsForUserAppsWhoseContainersOpened) {
    SimDeviceBuilder b = smallDevice("ads");
    const int index = attachDevice(b);
    const AppCleanScanResult r = AppCleanScanEngine({index, 0, true, true}).run();
    ASSERT_EQ(r.adsRemoveArray.size(), 1u);  // b is a system app, c can't be opened
    const auto& row = r.adsRemoveArray[0];
    EXPECT_EQ(row->appBundleID(), QStringLiteral("com.example.a"));
    EXPECT_EQ(row->appAdsState(), QStringLiteral("Live"));
    EXPECT_EQ(row->appPlatformCount(), QStringLiteral("2"));  // AdMobFlurry once, no flurry.db
    std::vector<std::string> folders = row->appAdsPlatArray();
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"/Library/Caches/AdMobFlurry",
                                                 "/Library/Caches/com.MoPub.cache"}));
    EXPECT_EQ(r.totalAdsCount, 2);
}

TEST_F(AppCleanScanTest, AppWithoutCachesIsNoAds) {
    SimDeviceBuilder b = builder("bare");
    AppSpec bare = app("com.example.bare", "Bare");
    b.addApp(bare);
    fs::remove_all(b.containerPath("com.example.bare", "/Library/Caches"));
    const int index = attachDevice(b);
    const AppCleanScanResult r = AppCleanScanEngine({index, 0, true, true}).run();
    ASSERT_EQ(r.adsRemoveArray.size(), 1u);
    EXPECT_EQ(r.adsRemoveArray[0]->appAdsState(), QStringLiteral("No Ads"));
    EXPECT_EQ(r.adsRemoveArray[0]->appPlatformCount(), QStringLiteral("0"));
    EXPECT_EQ(r.totalAdsCount, 0);
}

TEST_F(AppCleanScanTest, ProgressCountsEveryAppAndNamesIt) {
    SimDeviceBuilder b = smallDevice("progress");
    const int index = attachDevice(b);
    AppCleanScanEngine engine({index, 0, true, true});
    std::vector<float> fractions;
    std::vector<QString> visited;
    engine.onProgress = [&](float f) { fractions.push_back(f); };
    engine.onAppVisited = [&](const QString& id) { visited.push_back(id); };
    engine.run();
    ASSERT_EQ(fractions.size(), 3u);  // the refused and the system app move it too
    EXPECT_FLOAT_EQ(fractions[0], 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(fractions[2], 1.0f);
    EXPECT_EQ(visited, (std::vector<QString>{QStringLiteral("com.example.a"),
                                             QStringLiteral("com.example.b"),
                                             QStringLiteral("com.example.c")}));
}

TEST_F(AppCleanScanTest, DeviceWithoutAppsFindsNothingAndDividesByNothing) {
    SimDeviceBuilder b = builder("empty");
    const int index = attachDevice(b);
    AppCleanScanEngine engine({index, 0, true, true});
    int progress = 0;
    engine.onProgress = [&](float) { ++progress; };
    const AppCleanScanResult r = engine.run();
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(r.appCount, 0);
    EXPECT_EQ(progress, 0);
    EXPECT_EQ(r.totalFileSize, 0u);
    EXPECT_TRUE(r.adsRemoveArray.empty());
}

TEST_F(AppCleanScanTest, OnlyAdvertisementsWhenAskedSo) {
    SimDeviceBuilder b = smallDevice("adsonly");
    const int index = attachDevice(b);
    const AppCleanScanResult r = AppCleanScanEngine({index, 0, false, true}).run();
    EXPECT_EQ(r.totalFileNumber, 0u);
    EXPECT_TRUE(r.caches.files.empty());
    EXPECT_EQ(r.totalAdsCount, 2);
}

TEST_F(AppCleanScanTest, NewDeviceAtTheSameIndexIsNotScannedByTheOldScan) {
    SimDeviceBuilder first = smallDevice("first");
    const int index = attachDevice(first);
    SimDeviceBuilder second = smallDevice("second");
    second.addContainerFile("com.example.b", "/Library/Caches/second-only.bin", 10);
    ASSERT_TRUE(second.write());
    int secondIndex = -1;
    int checks = 0;
    AppCleanScanEngine engine({index, 0, true, true}, [&] {
        if (++checks == 6) {
            library_->detach(first.dir().string());
            secondIndex = attach(second.dir().string());
        }
        return false;
    });
    const AppCleanScanResult r = engine.run();
    EXPECT_EQ(secondIndex, index);
    EXPECT_TRUE(r.stopped);
    for (const auto& node : r.caches.files) {
        EXPECT_NE(node->fileName(), QStringLiteral("second-only.bin"));
    }
    // The page drops a result that belongs to another device.
    EXPECT_FALSE(r.belongsTo(secondIndex, amd::DeviceManager::GetInstance().DeviceSerial(index)));
}

TEST_F(AppCleanScanTest, CancelStopsBeforeAnyApp) {
    SimDeviceBuilder b = smallDevice("cancel");
    const int index = attachDevice(b);
    AppCleanScanEngine engine({index, 0, true, true}, [] { return true; });
    int visited = 0;
    engine.onAppVisited = [&](const QString&) { ++visited; };
    const AppCleanScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(visited, 0);
    EXPECT_EQ(r.totalFileNumber, 0u);
    EXPECT_EQ(r.appsRefused, 0);  // stopped, not refused
}

}  // namespace
