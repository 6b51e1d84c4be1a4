#include <gtest/gtest.h>

#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "device/afc_service.h"
#include "device/device_status.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_scan_fixture.h"
#include "ui/core/text_utilities.h"

namespace {

using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;
using nimbara::test::QuickScanTest;
using Paths = std::vector<std::string>;

class QuickScanEngineTest : public QuickScanTest {
  protected:
    QuickScanResult scanLargeFiles(SimDeviceBuilder& b, std::uint64_t limit) {
        const int index = attachDevice(b);
        QuickScanEngine engine(optionsFor(index, limit), {});
        engine.QuickScanLargeFileFromUserData();
        return engine.takeResult();
    }
    QuickScanResult scanJunk(SimDeviceBuilder& b) {
        const int index = attachDevice(b);
        QuickScanEngine engine(optionsFor(index), {});
        engine.QuickScanJunkFileFromDevie();
        return engine.takeResult();
    }
    static AppSpec app(const std::string& id, const std::string& type, std::int64_t bundle,
                       std::int64_t data) {
        AppSpec spec;
        spec.bundleId = id;
        spec.displayName = "App " + id;
        spec.type = type;
        spec.staticDiskUsage = bundle;
        spec.dynamicDiskUsage = data;
        spec.withIcon = false;
        spec.withContainer = false;
        return spec;
    }
};

TEST_F(QuickScanEngineTest, LargeFilesAtTheDefaultLimitNeedOneByteMore) {
    SimDeviceBuilder b = builder("limits");
    b.addMediaFileOfSize("/at-limit.mov", 5000000)
        .addMediaFileOfSize("/over.mov", 5000001)
        .addMediaFileOfSize("/DCIM/100APPLE/at-limit.MOV", 5000000)
        .addMediaFileOfSize("/DCIM/100APPLE/over.MOV", 5000001)
        .addMediaFileOfSize("/DCIM/small.jpg", 1000);
    const QuickScanResult r = scanLargeFiles(b, 5000000);
    EXPECT_EQ(paths(r.userDataBigFileArray), (Paths{"/DCIM/100APPLE/over.MOV", "/over.mov"}));
    EXPECT_EQ(r.bigFileSize, 10000002u);
    for (const auto& node : r.userDataBigFileArray) {
        EXPECT_EQ(node->fileSizeNumber(), 5000001u);
        EXPECT_EQ(node->fileSize(), nimbara::shell::size_to_unit(5000001));
        EXPECT_EQ(node->fileName(), node->filePath().section('/', -1));
        EXPECT_TRUE(node->bSelectedSate());
    }
}

// The photo step's figures for the clean-up's question: camera-roll items (copied, then
// deleted) apart from the pictures it only copies; sidecars and other folders count nowhere.
TEST_F(QuickScanEngineTest, ThePhotoStepsPicturesAreCountedByWhatTheStepDoes) {
    SimDeviceBuilder b = builder("photos");
    b.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "a")
        .addMediaFile("/DCIM/101apple/IMG_0002.MOV", "b")
        .addMediaFile("/DCIM/100APPLE/IMG_0001.AAE", "sidecar")
        .addMediaFile("/DCIM/.MISC/Info.jpg", "not a camera folder")
        .addMediaFile("/PhotoStreamsData/123/100APPLE/IMG_5.JPG", "stream")
        .addMediaFile("/PhotoData/Sync/100SYNCD/IMG_6.HEIC", "synced")
        .addMediaFile("/Photos/Sync/200syncd/IMG_7.png", "synced")
        .addMediaFile("/Downloads/picture.jpg", "elsewhere");
    const QuickScanResult r = scanLargeFiles(b, 5000000);
    EXPECT_EQ(r.cameraRollItems, 2u);
    EXPECT_EQ(r.copyOnlyPictures, 3u);
}

TEST_F(QuickScanEngineTest, LowerLimitAppliesAtTheRootOnlyAndHigherLimitEverywhere) {
    SimDeviceBuilder b = builder("lower");
    b.addMediaFileOfSize("/at-low-limit.bin", 2000000)
        .addMediaFileOfSize("/root.bin", 3000000)
        .addMediaFileOfSize("/DCIM/sub/mid.bin", 3000000)
        .addMediaFileOfSize("/DCIM/sub/at-floor.bin", 5000000)
        .addMediaFileOfSize("/DCIM/sub/over-floor.bin", 5000001);
    QuickScanResult r = scanLargeFiles(b, 2000000);
    EXPECT_EQ(paths(r.userDataBigFileArray), (Paths{"/DCIM/sub/over-floor.bin", "/root.bin"}));
    EXPECT_EQ(r.bigFileSize, 8000001u);
    library_->detach(b.dir().string());

    SimDeviceBuilder h = builder("higher");
    h.addMediaFileOfSize("/at.bin", 8000000)
        .addMediaFileOfSize("/over.bin", 8000001)
        .addMediaFileOfSize("/a/b/c/below.bin", 7999999)
        .addMediaFileOfSize("/a/b/c/over.bin", 8000001);
    r = scanLargeFiles(h, 8000000);
    EXPECT_EQ(paths(r.userDataBigFileArray), (Paths{"/a/b/c/over.bin", "/over.bin"}));
}

TEST_F(QuickScanEngineTest, ThumbnailCachesAreSkippedOnlyByTheExactExtension) {
    SimDeviceBuilder b = builder("ithmb");
    b.addMediaFileOfSize("/thumb.ithmb", 6000000)
        .addMediaFileOfSize("/thumb.ITHMB", 6000000)
        .addMediaFileOfSize("/Photos/Thumbs/F1.ithmb", 6000000)
        .addMediaFileOfSize("/Photos/Thumbs/ithmb", 6000000)
        .addMediaFileOfSize("/Photos/Thumbs/a.ithmb.mov", 6000000);
    const QuickScanResult r = scanLargeFiles(b, 5000000);
    EXPECT_EQ(paths(r.userDataBigFileArray),
              (Paths{"/Photos/Thumbs/a.ithmb.mov", "/Photos/Thumbs/ithmb", "/thumb.ITHMB"}));
}

TEST_F(QuickScanEngineTest, ProtectedLargeFilesAreListedButNotTicked) {
    SimDeviceBuilder b = builder("protected");
    b.addMediaFileOfSize("/PhotoData/Photos.sqlite", 9000000)
        .addMediaFileOfSize("/DCIM/clip.mov", 9000000);
    const QuickScanResult r = scanLargeFiles(b, 5000000);
    ASSERT_EQ(r.userDataBigFileArray.size(), 2u);
    for (const auto& node : r.userDataBigFileArray) {
        const bool database = node->filePath() == "/PhotoData/Photos.sqlite";
        EXPECT_EQ(node->isProtected(), database);
        EXPECT_EQ(node->bSelectedSate(), !database);
    }
    EXPECT_EQ(r.bigFileSize, 18000000u);
}

TEST_F(QuickScanEngineTest, WalksStopAtTheDepthBound) {
    SimDeviceBuilder b = builder("deep");
    std::string shallow;
    for (int i = 0; i < QuickScanEngine::kMaxWalkDepth; ++i) {
        shallow += "/d";
    }
    const std::string deep = shallow + "/d";
    b.addMediaFileOfSize(shallow + "/last.bin", 6000000)
        .addMediaFileOfSize(deep + "/beyond.bin", 6000000)
        .addMediaFileOfSize("/Downloads" + shallow + "/last.txt", 10)
        .addMediaFileOfSize("/Downloads" + deep + "/beyond.txt", 10);
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index), {});
    engine.QuickScanLargeFileFromUserData();
    engine.QuickScanJunkFileFromDevie();
    EXPECT_EQ(paths(engine.result().userDataBigFileArray), (Paths{shallow + "/last.bin"}));
    EXPECT_EQ(paths(engine.result().downloadTempArray),
              (Paths{"/Downloads" + shallow + "/last.txt"}));
    EXPECT_FALSE(engine.result().stopped);
}

TEST_F(QuickScanEngineTest, CrashLogsAreListedWithTheirKindAndSizeEvenWhenEmpty) {
    SimDeviceBuilder b = builder("crashes");
    b.addCrashLog("/top.ips", 1200).addCrashLog("/empty.ips", 0);
    b.addCrashLog("/Retired/2020/old.ips", 300);
    const QuickScanResult r = scanJunk(b);
    EXPECT_EQ(paths(r.systemLogArray), (Paths{"/Retired/2020/old.ips", "/empty.ips", "/top.ips"}));
    for (const auto& node : r.systemLogArray) {
        EXPECT_EQ(node->fileType(), "Log");
        EXPECT_EQ(node->fileSize(), nimbara::shell::size_to_unit(node->fileSizeNumber()));
        if (node->fileName() == "empty.ips") {
            EXPECT_EQ(node->fileSizeNumber(), 0u);
            EXPECT_EQ(node->fileSize(), nimbara::shell::size_to_unit(0));
        }
    }
    EXPECT_EQ(r.junkFileSize, 1500u);
}

TEST_F(QuickScanEngineTest, JunkRootsFillTheirListsWithTheirFilters) {
    SimDeviceBuilder b = builder("junk");
    b.addMediaFileOfSize("/Downloads/top.bin", 100)
        .addMediaFileOfSize("/Downloads/nested/deeper/inner.bin", 200)
        .addMediaFileOfSize("/Downloads/downloads.28.sqlitedb", 50)
        .addMediaFileOfSize("/general_storage/store.dat", 300)
        .addMediaFileOfSize("/iTunes_Control/Sync/Media/track.m4a", 400)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/100APPLE/IMG_1.jpg", 10)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/100APPLE/IMG_1.JPG", 1000)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/100APPLE/xjpg", 20)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/a.png", 30)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/b/c.jpeg", 40)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/d.Png", 1000)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/e.plist", 1000)
        .addMediaFileOfSize("/DCIM/100APPLE/IMG_9.jpg", 5000);
    b.addMediaDir("/general_storage/empty");
    b.addCrashLog("/Analytics/counts.db", 7);  // a crash log, whatever its name: removed
    const QuickScanResult r = scanJunk(b);
    EXPECT_EQ(paths(r.downloadTempArray),
              (Paths{"/Downloads/downloads.28.sqlitedb", "/Downloads/nested/deeper/inner.bin",
                     "/Downloads/top.bin"}));
    EXPECT_EQ(paths(r.userStorageArray), (Paths{"/general_storage/store.dat"}));
    EXPECT_EQ(paths(r.iTunesSyncFailedArray), (Paths{"/iTunes_Control/Sync/Media/track.m4a"}));
    EXPECT_EQ(paths(r.iTunesSyncCacheArray),
              (Paths{"/PhotoData/Mutations/DCIM/100APPLE/IMG_1.jpg",
                     "/PhotoData/Mutations/DCIM/100APPLE/xjpg", "/PhotoData/Mutations/DCIM/a.png",
                     "/PhotoData/Mutations/DCIM/b/c.jpeg"}));
    ASSERT_EQ(r.systemLogArray.size(), 1u);
    EXPECT_FALSE(r.systemLogArray[0]->isProtected());
    // What a clean-up removes: the download queue's database is listed but kept.
    EXPECT_EQ(r.junkFileSize, 7u + 100 + 200 + 300 + 400 + 10 + 20 + 30 + 40);
    for (const auto* list : {&r.downloadTempArray, &r.userStorageArray, &r.iTunesSyncFailedArray,
                             &r.iTunesSyncCacheArray}) {
        for (const auto& node : *list) {
            EXPECT_TRUE(node->fileType().isEmpty());
            EXPECT_FALSE(node->fileType().isNull());
            EXPECT_EQ(node->isProtected(), node->fileName() == "downloads.28.sqlitedb");
        }
    }
}

TEST_F(QuickScanEngineTest, LargeFileWalkTakesTheJunkRootsFromTheJunkStepOnce) {
    SimDeviceBuilder b = builder("reuse");
    b.addMediaFileOfSize("/Downloads/big.bin", 6000000)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/sub/edit.jpg", 7000000)
        .addMediaFileOfSize("/Movies/film.m4v", 8000000);
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index), {});
    engine.QuickScanJunkFileFromDevie();
    EXPECT_EQ(paths(engine.result().downloadTempArray), (Paths{"/Downloads/big.bin"}));
    EXPECT_EQ(paths(engine.result().iTunesSyncCacheArray),
              (Paths{"/PhotoData/Mutations/DCIM/sub/edit.jpg"}));

    // Gone from the device after the junk step: the walk did not read that folder again.
    std::filesystem::remove(deviceDir("reuse") / "media" / "Downloads" / "big.bin");
    engine.QuickScanLargeFileFromUserData();
    EXPECT_EQ(paths(engine.result().userDataBigFileArray),
              (Paths{"/Downloads/big.bin", "/Movies/film.m4v",
                     "/PhotoData/Mutations/DCIM/sub/edit.jpg"}));
    EXPECT_EQ(engine.result().bigFileSize, 21000000u);

    // The reads were taken once: a second walk asks the device.
    engine.takeResult();
    engine.QuickScanLargeFileFromUserData();
    EXPECT_EQ(paths(engine.result().userDataBigFileArray),
              (Paths{"/Movies/film.m4v", "/PhotoData/Mutations/DCIM/sub/edit.jpg"}));
}

TEST_F(QuickScanEngineTest, WalkerEntryPointsAddToTheirOwnLists) {
    SimDeviceBuilder b = builder("walkers");
    b.addMediaFileOfSize("/Downloads/sub/a.bin", 10)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/sub/a.JPG", 10)
        .addMediaFileOfSize("/PhotoData/Mutations/DCIM/sub/b.jpg", 10)
        .addMediaFileOfSize("/Big/sub/big.bin", 6000000)
        .addMediaFileOfSize("/Big/sub/mid.bin", 4000000);
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index, 1000000), {});
    amd::AfcService afc;
    ASSERT_EQ(afc.Init(index), 0);
    engine.traverseDirWithpath("/Downloads/sub", afc);
    engine.traverseiTunesSyncCacheFilesDirWithpath("/PhotoData/Mutations/DCIM/sub", afc);
    engine.userdatatraverseDirWithpath("/Big/sub", afc);  // a sub-folder: the 5 MB floor holds
    EXPECT_EQ(paths(engine.result().downloadTempArray), (Paths{"/Downloads/sub/a.bin"}));
    EXPECT_EQ(paths(engine.result().iTunesSyncCacheArray),
              (Paths{"/PhotoData/Mutations/DCIM/sub/b.jpg"}));
    EXPECT_EQ(paths(engine.result().userDataBigFileArray), (Paths{"/Big/sub/big.bin"}));
    EXPECT_TRUE(engine.result().userStorageArray.empty());
}

TEST_F(QuickScanEngineTest, LargeAppsAreUserAppsStrictlyOverTheLimit) {
    SimDeviceBuilder b = builder("apps");
    b.addApp(app("com.example.at", "User", 60000000, 40000000));
    b.addApp(app("com.example.over", "User", 60000000, 40000001));
    b.addApp(app("com.example.system", "System", 900000000, 1));
    AppSpec noShortVersion = app("com.example.bundleonly", "User", 200000000, 0);
    noShortVersion.version.clear();
    noShortVersion.bundleVersion = "77";
    b.addApp(noShortVersion);
    const int index = attachDevice(b);
    QuickScanEngine engine(optionsFor(index), {});
    engine.QuickScanLargeAppFromAppData();
    const QuickScanResult& r = engine.result();

    ASSERT_EQ(r.appBigFileArray.size(), 2u);
    EXPECT_EQ(r.bigAppFileSize, 300000001u);
    for (const auto& node : r.appBigFileArray) {
        EXPECT_NE(node->appBundId(), "com.example.system");
        EXPECT_NE(node->appBundId(), "com.example.at");
        EXPECT_EQ(node->fileName(), node->appDisplayName() + ".app");
        EXPECT_TRUE(node->filePath().isEmpty());
        EXPECT_EQ(node->fileSizeNumber(), 0u);
    }
    const auto over = r.appBigFileArray[0]->appBundId() == "com.example.over"
                          ? r.appBigFileArray[0]
                          : r.appBigFileArray[1];
    EXPECT_EQ(over->appDisplayName(), "App com.example.over");
    EXPECT_EQ(over->appFileSizeNumber(), 100000001u);
    EXPECT_EQ(over->totalSize(), nimbara::shell::size_to_unit(100000001));
    EXPECT_EQ(over->fileSize(), nimbara::shell::size_to_unit(60000000));
    EXPECT_EQ(over->documentSize(), nimbara::shell::size_to_unit(40000001));
    EXPECT_EQ(over->appVersion(), "1.0");
    const auto bundleOnly =
        over == r.appBigFileArray[0] ? r.appBigFileArray[1] : r.appBigFileArray[0];
    EXPECT_EQ(bundleOnly->appVersion(), "77");
    EXPECT_EQ(bundleOnly->documentSize(), nimbara::shell::size_to_unit(0));
}

TEST_F(QuickScanEngineTest, RunFillsEveryListAndSortedCopiesLeaveScanOrderAlone) {
    SimDeviceBuilder b = builder("full");
    b.addCrashLog("/a.ips", 5);
    b.addMediaFileOfSize("/Downloads/d.bin", 7)
        .addMediaFileOfSize("/A/small-first.bin", 6000000)
        .addMediaFileOfSize("/B/huge.bin", 9000000)
        .addMediaFileOfSize("/C/middle.bin", 7000000)
        .addMediaFileOfSize("/D/same-as-middle.bin", 7000000);
    b.addApp(app("com.example.one", "User", 150000000, 0));
    b.addApp(app("com.example.two", "User", 150000000, 90000000));
    const int index = attachDevice(b);
    std::vector<std::uint64_t> junkSteps;
    std::vector<std::uint64_t> largeSteps;
    QuickScanEngine engine(optionsFor(index), {});
    engine.onJunkDone = [&](std::uint64_t bytes) { junkSteps.push_back(bytes); };
    engine.onLargeFilesDone = [&](std::uint64_t bytes) { largeSteps.push_back(bytes); };
    const QuickScanResult r = engine.run();

    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(junkSteps, (std::vector<std::uint64_t>{12}));
    EXPECT_EQ(largeSteps, (std::vector<std::uint64_t>{29000000}));
    EXPECT_EQ(r.junkFileSize, 12u);
    EXPECT_EQ(r.bigFileSize, sumOf(r.userDataBigFileArray));
    EXPECT_EQ(r.bigAppFileSize, 390000000u);
    EXPECT_EQ(r.totalCleanupFileSize(1000), 1000u + 12 + 29000000 + 390000000);
    EXPECT_EQ(r.totalCleanupFileSize(UINT64_MAX), UINT64_MAX);

    const auto sorted = QuickScanEngine::sortedBySizeDescending(r.userDataBigFileArray, false);
    ASSERT_EQ(sorted.size(), 4u);
    for (std::size_t i = 1; i < sorted.size(); ++i) {
        EXPECT_GE(sorted[i - 1]->fileSizeNumber(), sorted[i]->fileSizeNumber());
    }
    EXPECT_EQ(sorted[0]->fileName(), "huge.bin");
    EXPECT_EQ(sorted[3]->fileName(), "small-first.bin");
    // The list itself keeps the walk order (the folders are read in name order).
    EXPECT_EQ(r.userDataBigFileArray[0]->fileName(), "small-first.bin");
    EXPECT_EQ(r.userDataBigFileArray[1]->fileName(), "huge.bin");

    const auto apps = QuickScanEngine::sortedBySizeDescending(r.appBigFileArray, true);
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0]->appBundId(), "com.example.two");
    EXPECT_EQ(r.appBigFileArray[0]->appBundId(), "com.example.one");

    PRLargeFileNode small;
    PRLargeFileNode large;
    small.setFileSizeNumber(1);
    large.setFileSizeNumber(2);
    EXPECT_GT(QuickScanEngine::compareFileSizeDescending(small, large), 0);
    EXPECT_LT(QuickScanEngine::compareFileSizeDescending(large, small), 0);
    EXPECT_EQ(QuickScanEngine::compareFileSizeDescending(small, small), 0);
    EXPECT_EQ(QuickScanEngine::compareAppFileSizeDescending(small, large), 0);
}

// A device that refuses a step leaves an empty list marked as refused, never one that reads as
// "nothing found".
TEST_F(QuickScanEngineTest, RefusedStepsAreMarkedAndTheRestStillRuns) {
    namespace Code = amd::DeviceCode;
    const auto refusing = [](std::initializer_list<const char*> services) {
        nimbara::PlistValue::Array names;
        for (const char* service : services) {
            names.emplace_back(service);
        }
        return nimbara::PlistValue(names);
    };

    SimDeviceBuilder noApps = builder("noapps");
    noApps.addApp(app("com.example.big", "User", 900000000, 0));
    noApps.addMediaFileOfSize("/Downloads/left.bin", 1000);
    noApps.setFault(nimbara::md::sim::kFaultRefusedServices,
                    refusing({"com.apple.mobile.installation_proxy"}));
    QuickScanEngine apps(optionsFor(attachDevice(noApps)), {});
    const QuickScanResult a = apps.run();
    EXPECT_EQ(a.appsRefused, Code::ServiceRefused);
    EXPECT_TRUE(a.appBigFileArray.empty());
    EXPECT_EQ(a.filesRefused, 0);
    EXPECT_EQ(a.crashLogsRefused, 0);
    EXPECT_EQ(a.downloadTempArray.size(), 1u);  // the other steps ran

    SimDeviceBuilder noFiles = builder("nofiles");
    noFiles.addApp(app("com.example.big", "User", 900000000, 0));
    noFiles.addCrashLog("/app-2024-01-01.ips", 10);
    noFiles.setFault(nimbara::md::sim::kFaultRefusedServices, refusing({"com.apple.afc"}));
    QuickScanEngine files(optionsFor(attachDevice(noFiles)), {});
    const QuickScanResult f = files.run();
    EXPECT_EQ(f.filesRefused, Code::ServiceRefused);
    EXPECT_EQ(f.crashLogsRefused, 0);
    EXPECT_EQ(f.systemLogArray.size(), 1u);
    EXPECT_EQ(f.appsRefused, 0);
    EXPECT_EQ(f.appBigFileArray.size(), 1u);

    SimDeviceBuilder noLogs = builder("nologs");
    noLogs.setFault(nimbara::md::sim::kFaultRefusedServices,
                    refusing({"com.apple.crashreportcopymobile"}));
    QuickScanEngine logs(optionsFor(attachDevice(noLogs)), {});
    EXPECT_EQ(logs.run().crashLogsRefused, Code::ServiceRefused);
}

TEST_F(QuickScanEngineTest, AStoppedScanIsNoRefusal) {
    SimDeviceBuilder b = builder("gone");
    b.addApp(app("com.example.big", "User", 900000000, 0));
    QuickScanEngine engine(optionsFor(attachDevice(b)), [] { return true; });
    const QuickScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.appsRefused, 0);
    EXPECT_EQ(r.filesRefused, 0);
    EXPECT_EQ(r.crashLogsRefused, 0);
}

}  // namespace
