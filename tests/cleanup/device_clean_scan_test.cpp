// The device clean-up scan against simulated devices (the README's demo iPhone among them):
// per-category counts and sizes, every found file reaching its tree, failed-sync media,
// notifications' figures, and stopping when the device goes.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "cleanup/app_clean_scan.h"
#include "cleanup/device_clean_scan.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_scan_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::cleanup;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;

using Tally = nimbara::test::FileTally;
using nimbara::test::tallyOf;

class DeviceCleanScanTest : public nimbara::test::QuickScanTest {
  protected:
    SimDeviceBuilder appsAndSync(const std::string& udid, int apps) {
        SimDeviceBuilder b = builder(udid);
        for (int i = 0; i < apps; ++i) {
            AppSpec a;
            a.bundleId = "com.example.app" + std::to_string(i);
            a.displayName = "App " + std::to_string(i);
            a.withIcon = i % 2 == 0;
            b.addApp(a);
            b.addContainerFile(a.bundleId, "/Library/Caches/c/" + std::to_string(i) + ".bin",
                               1000 + i);
            b.addContainerFile(a.bundleId, "/Library/Cookies/Cookies.binarycookies", 10);
            b.addContainerFile(a.bundleId, "/tmp/t/u/junk.part", 100);
            b.addContainerFile(a.bundleId, "/Documents/song.mp3", 5);  // not scanned here
        }
        b.addMediaFileOfSize("/iTunes_Control/Sync/pending.m4a", 1900);
        b.addMediaFileOfSize("/iTunes_Control/Sync/Media/F05/ABCD.mp3", 3700000);
        b.addMediaDir("/iTunes_Control/Sync/Empty");
        return b;
    }
};

TEST_F(DeviceCleanScanTest, DemoDeviceCategoriesMatchItsContainers) {
    const fs::path dir = tmp_ / "demo";
    std::string error;
    ASSERT_TRUE(nimbara::simdev::makeDemoDevice(dir, &error)) << error;
    library_->attach(dir.string());
    nimbara::test::waitForDeviceBinds();
    const std::list<int> indices = amd::DeviceManager::GetInstance().Indices();
    ASSERT_EQ(indices.size(), 1u);
    const int index = indices.front();

    DeviceCleanScanEngine engine(index, 0);
    std::map<CleanCategory, std::uint64_t> treeFiles;
    engine.onTreeFile = [&](CleanCategory c, const auto&) { ++treeFiles[c]; };
    const DeviceCleanScanResult r = engine.run();
    ASSERT_FALSE(r.stopped);

    // The expected figures straight from the demo's folders, leaving out the refused app.
    Tally caches, cookies, junk;
    const fs::path apps = dir / nimbara::md::sim::kAppsDir;
    for (const auto& e : fs::directory_iterator(apps)) {
        if (e.path().filename() == "com.northgate.vault") {
            continue;
        }
        const fs::path container = e.path() / nimbara::md::sim::kAppContainer;
        for (auto [tally, sub] :
             {std::pair{&caches, "Library/Caches"}, std::pair{&cookies, "Library/Cookies"},
              std::pair{&junk, "tmp"}}) {
            const Tally t = tallyOf(container / sub);
            tally->count += t.count;
            tally->bytes += t.bytes;
        }
    }
    EXPECT_EQ(r.caches.count(), caches.count);
    EXPECT_EQ(r.caches.bytes, caches.bytes);
    EXPECT_EQ(r.cookies.count(), cookies.count);
    EXPECT_EQ(r.cookies.bytes, cookies.bytes);
    EXPECT_EQ(r.junk.count(), junk.count);
    EXPECT_EQ(r.junk.bytes, junk.bytes);
    EXPECT_GT(r.caches.count(), 12u);
    EXPECT_GT(r.junk.count(), 0u);
    // Every file found reached its tree.
    EXPECT_EQ(treeFiles[CleanCategory::Cache], caches.count);
    EXPECT_EQ(treeFiles[CleanCategory::Cookie], cookies.count);
    EXPECT_EQ(treeFiles[CleanCategory::Junk], junk.count);
    EXPECT_EQ(r.containersRefused, (std::vector<std::string>{"com.northgate.vault"}));

    const Tally sync = tallyOf(dir / nimbara::md::sim::kMediaDir / "iTunes_Control/Sync");
    EXPECT_EQ(r.syncFailedFileArray.size(), sync.count);
    EXPECT_EQ(r.syncfailedFileSize, sync.bytes);
    EXPECT_EQ(r.totalFileNumber, caches.count + cookies.count + junk.count + sync.count);
    EXPECT_EQ(r.totalFileSize, caches.bytes + cookies.bytes + junk.bytes + sync.bytes);
}

TEST_F(DeviceCleanScanTest, DemoDeviceAppScanFillsEveryCategory) {
    const fs::path dir = tmp_ / "demo-apps";
    ASSERT_TRUE(nimbara::simdev::makeDemoDevice(dir));
    library_->attach(dir.string());
    nimbara::test::waitForDeviceBinds();
    const int index = amd::DeviceManager::GetInstance().Indices().front();
    const AppCleanScanResult r = AppCleanScanEngine({index, 0, true, true}).run();
    ASSERT_FALSE(r.stopped);
    EXPECT_GT(r.caches.count(), 0u);
    EXPECT_GT(r.cookies.count(), 0u);
    EXPECT_GT(r.junk.count(), 0u);
    std::set<std::string> documents;
    for (const auto& node : r.documents.files) {
        if (node->appBundleName() == QStringLiteral("io.quietnotes.app")) {
            documents.insert(node->devicePath());
        }
    }
    EXPECT_EQ(documents,
              (std::set<std::string>{"/Documents/.../dots.log", "/Documents/.notes.zip",
                                     "/Documents/Archive/2025/old memo.MP3", "/Documents/notes.zip",
                                     "/Documents/voice note.m4a"}));
    int live = 0;
    for (const auto& row : r.adsRemoveArray) {
        EXPECT_NE(row->appBundleID(), QStringLiteral("com.northgate.vault"));
        live += row->appAdsState() == QStringLiteral("Live") ? 1 : 0;
    }
    EXPECT_GE(live, 4);
    EXPECT_GT(r.totalAdsCount, live);
}

TEST_F(DeviceCleanScanTest, ProgressSizesAndFinishCarryTheFigures) {
    SimDeviceBuilder b = appsAndSync("figures", 7);
    const int index = attachDevice(b);
    DeviceCleanScanEngine engine(index, 0);
    std::vector<int> progress;
    std::vector<std::array<std::uint64_t, 3>> sizes;
    std::vector<std::uint64_t> finished;
    engine.onProgress = [&](int p) { progress.push_back(p); };
    engine.onSizes = [&](const std::array<std::uint64_t, 3>& s) { sizes.push_back(s); };
    engine.onFinished = [&](std::uint64_t total) { finished.push_back(total); };
    const DeviceCleanScanResult r = engine.run();
    EXPECT_EQ(progress, (std::vector<int>{12, 25, 38, 51, 64, 77, 90}));
    ASSERT_EQ(sizes.size(), 7u);
    EXPECT_EQ(sizes[0], (std::array<std::uint64_t, 3>{100, 1000, 10}));  // junk, cache, cookie
    EXPECT_EQ(sizes.back(), r.categorySizes());
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0], r.totalFileSize);
    EXPECT_EQ(r.totalFileSize, 7 * 1000 + 21 + 7 * 10 + 7 * 100 + 1900 + 3700000u);
}

TEST_F(DeviceCleanScanTest, FailedSyncRecordsAndTheirSizeTexts) {
    SimDeviceBuilder b = appsAndSync("sync", 0);
    const int index = attachDevice(b);
    DeviceCleanScanEngine engine(index, 0);
    int handed = 0;
    int progress = 0;
    engine.onSyncFailedFile = [&](const auto&) { ++handed; };
    engine.onProgress = [&](int) { ++progress; };
    const DeviceCleanScanResult r = engine.run();
    EXPECT_EQ(progress, 0);  // no apps: no progress, but the media are still looked at
    ASSERT_EQ(r.syncFailedFileArray.size(), 2u);
    EXPECT_EQ(handed, 2);
    std::map<std::string, QString> texts;
    for (const auto& node : r.syncFailedFileArray) {
        texts[node->devicePath()] = node->fileSize();
        EXPECT_TRUE(node->appBundleName().isNull());
    }
    EXPECT_EQ(texts["/iTunes_Control/Sync/pending.m4a"], QStringLiteral("1900"));
    EXPECT_NE(texts["/iTunes_Control/Sync/Media/F05/ABCD.mp3"], QStringLiteral("3700000"));
    EXPECT_EQ(r.syncfailedFileSize, 3701900u);
}

TEST_F(DeviceCleanScanTest, RecordsCarryAppNamesAndIcons) {
    SimDeviceBuilder b = appsAndSync("icons", 2);
    const int index = attachDevice(b);
    const DeviceCleanScanResult r = DeviceCleanScanEngine(index, 0).run();
    ASSERT_EQ(r.caches.count(), 2u);
    for (const auto& node : r.caches.files) {
        EXPECT_EQ(node->fileType(), QStringLiteral("FILE"));
        EXPECT_FALSE(node->appDisplayName().isEmpty());
        if (node->appBundleName() == QStringLiteral("com.example.app0")) {
            EXPECT_FALSE(node->appIcon().isEmpty());  // made with an icon
        } else {
            EXPECT_EQ(node->nodeIcon(), QStringLiteral("NULLImage.png"));
        }
    }
}

TEST_F(DeviceCleanScanTest, DetachMidScanEndsWithoutFinishAndKeepsWhatWasFound) {
    SimDeviceBuilder b = appsAndSync("leaving", 6);
    const int index = attachDevice(b);
    int found = 0;
    DeviceCleanScanEngine engine(index, 0);
    bool finished = false;
    engine.onTreeFile = [&](CleanCategory, const auto&) {
        if (++found == 4) {
            library_->detach(b.dir().string());
        }
    };
    engine.onFinished = [&](std::uint64_t) { finished = true; };
    const DeviceCleanScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(finished);
    EXPECT_TRUE(r.syncFailedFileArray.empty());
    EXPECT_GE(r.totalFileNumber, 4u);
    EXPECT_LT(r.totalFileNumber, 18u);
    EXPECT_EQ(r.totalFileSize, r.caches.bytes + r.cookies.bytes + r.junk.bytes);
}

TEST_F(DeviceCleanScanTest, AppListRefusedStillLooksAtFailedSyncMedia) {
    SimDeviceBuilder b = appsAndSync("noapps", 2);
    nimbara::PlistValue refused = nimbara::PlistValue::array();
    refused.append(nimbara::PlistValue("com.apple.mobile.installation_proxy"));
    b.setFault(nimbara::md::sim::kFaultRefusedServices, refused);
    const int index = attachDevice(b);
    bool finished = false;
    DeviceCleanScanEngine engine(index, 0);
    engine.onFinished = [&](std::uint64_t) { finished = true; };
    const DeviceCleanScanResult r = engine.run();
    EXPECT_NE(r.appsRefused, 0);
    EXPECT_EQ(r.caches.count(), 0u);
    EXPECT_EQ(r.syncFailedFileArray.size(), 2u);
    EXPECT_TRUE(finished);
}

}  // namespace
