// The quick clean-up as a whole: protected files, freed-size arithmetic, progress texts, and an
// end with a clear result on every path (nothing to do, refused services, a departed device).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/camera_roll.h"
#include "cleanup/quick_clean_engine.h"
#include "platform/plist_value.h"
#include "quick_clean_test_support.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using cleanup::QuickCleanEngine;
using cleanup::QuickCleanStatus;

// A camera roll whose session never opens, or never even answers.
class BrokenRoll : public cleanup::CameraRoll {
  public:
    explicit BrokenRoll(bool answers) : answers_(answers) {}
    void openSession(const ReadyCallback& ready) override {
        if (answers_) {
            ready(cleanup::CameraRollResult::ServiceRefused, {});
        }
    }
    bool isOpen() const override { return false; }
    std::vector<cleanup::CameraRollItem> items() const override { return {}; }
    void deleteItems(const std::vector<cleanup::CameraRollItem>&, const DeleteCallback&) override {
        ++deleteRequests;
    }
    void close() override {}
    int deleteRequests = 0;

  private:
    bool answers_;
};

bool contains(const std::vector<std::string>& list, const std::string& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

class QuickCleanFlowTest : public QuickCleanTest {
  protected:
    // A device with junk, large files, a large app and a photo; the scan result that lists them.
    void fillDevice(simdev::SimDeviceBuilder& device) {
        device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "photo")
            .addMediaFile("/Downloads/a.tmp", "aaaa")
            .addMediaFile("/general_storage/b.bin", "bbbbbb")
            .addMediaFileOfSize("/Movies/big.m4v", 6000000)
            .addMediaFileOfSize("/Movies/other.m4v", 7000000)
            .addCrashLog("/Panic-1.ips", 100);
        amd_app.bundleId = "com.example.huge";
        amd_app.displayName = "Huge";
        amd_app.staticDiskUsage = 150000000;
        amd_app.dynamicDiskUsage = 50000000;
        device.addApp(amd_app);
    }
    QuickScanResult scanOf() const {
        QuickScanResult scan;
        scan.systemLogArray.push_back(junk("/Panic-1.ips", 100));
        scan.downloadTempArray.push_back(junk("/Downloads/a.tmp", 4));
        scan.userStorageArray.push_back(junk("/general_storage/b.bin", 6));
        scan.userDataBigFileArray.push_back(largeFile("/Movies/big.m4v", 6000000));
        scan.userDataBigFileArray.push_back(largeFile("/Movies/other.m4v", 7000000));
        scan.appBigFileArray.push_back(largeApp("com.example.huge", 200000000));
        return scan;
    }
    simdev::AppSpec amd_app;
};

TEST_F(QuickCleanFlowTest, ProtectedFilesSurviveEvenWhenTicked) {
    auto device = builder("prot");
    device.addMediaFileOfSize("/PhotoData/Photos.sqlite", 6000000)
        .addMediaFile("/PhotoData/Photos.sqlite-wal", "wal")
        .addMediaFile("/Downloads/downloads.28.sqlitedb", "queue")
        .addMediaFileOfSize("/iTunes_Control/iTunes/MediaLibrary.sqlitedb", 6000000)
        .addMediaFile("/Downloads/junk.tmp", "junk");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    QuickScanResult scan;
    scan.downloadTempArray.push_back(junk("/Downloads/downloads.28.sqlitedb", 5));
    scan.downloadTempArray.push_back(junk("/Downloads/junk.tmp", 4));
    scan.iTunesSyncCacheArray.push_back(junk("/PhotoData/Photos.sqlite-wal", 3));
    scan.userDataBigFileArray.push_back(largeFile("/PhotoData/Photos.sqlite", 6000000));
    scan.userDataBigFileArray.push_back(
        largeFile("/iTunes_Control/iTunes/MediaLibrary.sqlitedb", 6000000));
    // A path that only normalises to a protected one.
    scan.userDataBigFileArray.push_back(largeFile("/PhotoData//./Photos.sqlite", 6000000));
    auto options = optionsFor(index, tmp_ / "Export");
    options.junkTicked = true;
    const auto report = QuickCleanEngine(options, scan).run();

    for (const std::string path :
         {"/PhotoData/Photos.sqlite", "/PhotoData/Photos.sqlite-wal",
          "/Downloads/downloads.28.sqlitedb", "/iTunes_Control/iTunes/MediaLibrary.sqlitedb"}) {
        EXPECT_TRUE(onDevice("prot", path)) << path;
        EXPECT_TRUE(contains(report.protectedSkipped, path)) << path;
    }
    EXPECT_TRUE(contains(report.protectedSkipped, "/PhotoData//./Photos.sqlite"));
    EXPECT_FALSE(onDevice("prot", "/Downloads/junk.tmp"));
    EXPECT_EQ(report.freedJunk, 4u);
    EXPECT_EQ(report.freedLargeFiles, 0u);
    EXPECT_EQ(report.removedCount, 1);
    // Keeping what the device needs is not a failure, but the message says it was kept.
    EXPECT_EQ(report.status, QuickCleanStatus::Done);
    EXPECT_EQ(report.failedCount, 0);
    EXPECT_TRUE(report.message.contains(QStringLiteral("the device itself needs were kept")));
}

// The question's figures follow the run's rules: files the device needs and camera-roll names
// stay, a path in two lists goes once, unticked rows and apps are left out.
TEST_F(QuickCleanFlowTest, ThePreviewCountsWhatTheRunWillRemove) {
    QuickScanResult scan;
    scan.systemLogArray.push_back(junk("/Panic-1.ips", 100));
    scan.downloadTempArray.push_back(junk("/Downloads/downloads.28.sqlitedb", 5));
    scan.userStorageArray.push_back(junk("/general_storage/b.bin", 6));
    for (const char* path : {"/general_storage/b.bin", "/Movies/big.m4v",
                             "/DCIM/100APPLE/IMG_0001.MOV", "/PhotoData/Photos.sqlite"}) {
        scan.userDataBigFileArray.push_back(largeFile(path, 1000));
    }
    scan.userDataBigFileArray.push_back(largeFile("/Movies/unticked.m4v", 1000, false));
    scan.appBigFileArray.push_back(largeApp("com.example.huge", 200000000));
    scan.appBigFileArray.push_back(largeApp("com.example.unticked", 300000000, false));
    scan.cameraRollItems = 12;
    auto options = tickedOptionsFor(0, tmp_ / "Export");
    auto roll = std::make_shared<BrokenRoll>(true);

    const auto all = QuickCleanEngine(options, scan, roll).preview();
    EXPECT_EQ(all.cameraRollItems, 12u);
    EXPECT_EQ(all.junkFiles, 2u);
    EXPECT_EQ(all.junkBytes, 106u);
    EXPECT_EQ(all.largeFiles, std::vector<QString>{QStringLiteral("big.m4v")});
    EXPECT_EQ(all.keptFiles, 2u);
    EXPECT_EQ(all.apps, std::vector<QString>{QStringLiteral("com.example.huge")});
    // Without the junk row, the file found in both lists is a large file to delete.
    options.junkTicked = false;
    const auto some = QuickCleanEngine(options, scan, roll).preview();
    EXPECT_EQ(some.junkFiles, 0u);
    EXPECT_EQ(some.largeFiles,
              (std::vector<QString>{QStringLiteral("b.bin"), QStringLiteral("big.m4v")}));
}

TEST_F(QuickCleanFlowTest, TicksChangedAfterTheEngineIsMadeChangeNothing) {
    auto device = builder("frozen");
    fillDevice(device);
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    QuickScanResult scan = scanOf();
    const auto big = scan.userDataBigFileArray[0];
    const auto other = scan.userDataBigFileArray[1];
    const auto app = scan.appBigFileArray[0];
    other->setBSelectedSate(false);
    auto options = optionsFor(index, tmp_ / "Export");
    options.photosTicked = false;
    options.junkTicked = false;
    QuickCleanEngine engine(options, scan);
    // The user's ticks after the confirmation: none of them counts.
    big->setBSelectedSate(false);
    other->setBSelectedSate(true);
    app->setBSelectedSate(false);
    const auto report = engine.run();
    EXPECT_FALSE(onDevice("frozen", "/Movies/big.m4v"));
    EXPECT_TRUE(onDevice("frozen", "/Movies/other.m4v"));
    EXPECT_FALSE(fs::exists(device.appPath("com.example.huge")));
    EXPECT_EQ(report.freedLargeFiles, 6000000u);
    EXPECT_EQ(report.freedLargeApps, 200000000u);
}

TEST_F(QuickCleanFlowTest, AFileInTwoListsIsRemovedAndCountedOnce) {
    auto device = builder("twice");
    device.addMediaFileOfSize("/iTunes_Control/Sync/Media/F12/TYUI.m4v", 6000000);
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    QuickScanResult scan;
    scan.iTunesSyncFailedArray.push_back(junk("/iTunes_Control/Sync/Media/F12/TYUI.m4v", 6000000));
    scan.userDataBigFileArray.push_back(
        largeFile("/iTunes_Control/Sync/Media/F12/TYUI.m4v", 6000000));
    auto options = optionsFor(index, tmp_ / "Export");
    options.junkTicked = true;
    const auto report = QuickCleanEngine(options, scan).run();
    EXPECT_FALSE(onDevice("twice", "/iTunes_Control/Sync/Media/F12/TYUI.m4v"));
    EXPECT_EQ(report.freedTotal(), 6000000u);
    EXPECT_EQ(report.failedCount, 0);
    EXPECT_EQ(report.status, QuickCleanStatus::Done);
}

TEST_F(QuickCleanFlowTest, FreedSizesCountOnlyWhatWasReallyRemoved) {
    auto device = builder("sizes");
    fillDevice(device);
    device.addMediaFileOfSize("/Movies/IMG_0042.MOV", 9000000)
        .addMediaFileOfSize("/Movies/unticked.m4v", 8000000)
        .addMediaFile("/Folder.bundle/inside", "not empty");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);

    QuickScanResult scan = scanOf();
    scan.userDataBigFileArray.push_back(largeFile("/Movies/IMG_0042.MOV", 9000000));
    scan.userDataBigFileArray.push_back(largeFile("/Movies/unticked.m4v", 8000000, false));
    scan.userDataBigFileArray.push_back(largeFile("/Folder.bundle", 5500000));  // not empty
    scan.appBigFileArray.push_back(largeApp("com.example.absent", 300000000));
    // Gone before the clean-up reaches it.
    fs::remove(mediaFile("sizes", "/Movies/other.m4v"));
    fs::remove(mediaFile("sizes", "/general_storage/b.bin"));

    auto options = optionsFor(index, tmp_ / "Export");
    options.junkTicked = true;
    const auto report = QuickCleanEngine(options, scan).run();

    EXPECT_EQ(report.status, QuickCleanStatus::DoneWithFailures);
    EXPECT_EQ(report.freedJunk, 100u + 4u);
    EXPECT_EQ(report.freedLargeFiles, 6000000u);
    EXPECT_EQ(report.freedLargeApps, 200000000u);
    EXPECT_EQ(report.freedPhotos, 0u);
    EXPECT_EQ(report.freedTotal(), 104u + 6000000u + 200000000u);
    EXPECT_EQ(report.removedCount, 4);
    EXPECT_EQ(report.failedCount, 4);
    const auto failed = failedPaths(report);
    for (const std::string path :
         {"/Movies/other.m4v", "/general_storage/b.bin", "/Folder.bundle", "com.example.absent"}) {
        EXPECT_TRUE(contains(failed, path)) << path;
    }
    for (const auto& failure : report.failures) {
        EXPECT_NE(failure.code, 0) << failure.path;
    }
    // Camera files and unticked rows are neither removed nor counted nor failures.
    EXPECT_TRUE(onDevice("sizes", "/Movies/IMG_0042.MOV"));
    EXPECT_TRUE(onDevice("sizes", "/Movies/unticked.m4v"));
    EXPECT_TRUE(onDevice("sizes", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_FALSE(fs::exists(deviceDir("sizes") / "apps" / "com.example.huge"));

    // Junk unticked: none removed, none counted.
    auto again = builder("untickedjunk");
    fillDevice(again);
    const int second = attachBuilt(again);
    ASSERT_GE(second, 0);
    QuickScanResult junkOnly;
    junkOnly.downloadTempArray.push_back(junk("/Downloads/a.tmp", 4));
    const auto none = QuickCleanEngine(optionsFor(second, tmp_ / "E2"), junkOnly).run();
    EXPECT_TRUE(onDevice("untickedjunk", "/Downloads/a.tmp"));
    EXPECT_EQ(none.freedTotal(), 0u);
    EXPECT_EQ(none.status, QuickCleanStatus::Done);
}

TEST_F(QuickCleanFlowTest, ProgressTextsComeInOrder) {
    auto device = builder("texts");
    fillDevice(device);
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto options = tickedOptionsFor(index, tmp_ / "Export");
    options.photoLibrarySize = 5;
    ProgressLog log;
    const auto report = QuickCleanEngine(options, scanOf(), nullptr, recordInto(log)).run();

    EXPECT_EQ(report.status, QuickCleanStatus::Done) << report.message.toStdString();
    EXPECT_EQ(log.texts,
              (std::vector<std::string>{"Backing up photos...", "Deleting junk files...",
                                        "Deleting photos...", "Deleting large files...",
                                        "Deleting large apps...", "Cleaning up device"}));
    EXPECT_TRUE(log.monotonic());
    EXPECT_DOUBLE_EQ(log.fractions.back(), 1.0);
    EXPECT_FALSE(report.message.isEmpty());

    // Without a photo-library size there is no backup text; the rest is unchanged.
    auto plain = builder("plain");
    const int other = attachBuilt(plain);
    ASSERT_GE(other, 0);
    ProgressLog plainLog;
    QuickCleanEngine(optionsFor(other, tmp_ / "E2"), QuickScanResult{}, nullptr,
                     recordInto(plainLog))
        .run();
    EXPECT_EQ(plainLog.texts,
              (std::vector<std::string>{"Deleting junk files...", "Deleting large files...",
                                        "Deleting large apps...", "Cleaning up device"}));
}

TEST_F(QuickCleanFlowTest, FinishesWhenTheCameraRollIsEmptyOrNeverOpens) {
    auto device = builder("nophotos");
    device.addMediaFile("/Downloads/a.tmp", "aaaa");
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto options = tickedOptionsFor(index, tmp_ / "Export");
    QuickScanResult scan;
    scan.downloadTempArray.push_back(junk("/Downloads/a.tmp", 4));

    const auto empty = QuickCleanEngine(options, scan).run();
    EXPECT_EQ(empty.status, QuickCleanStatus::Done);
    EXPECT_EQ(empty.freedJunk, 4u);

    for (const bool answers : {true, false}) {
        auto roll = std::make_shared<BrokenRoll>(answers);
        ProgressLog log;
        const auto report =
            QuickCleanEngine(options, QuickScanResult{}, roll, recordInto(log)).run();
        EXPECT_EQ(report.status, QuickCleanStatus::CameraRollUnavailable) << answers;
        EXPECT_FALSE(report.message.isEmpty());
        EXPECT_EQ(roll->deleteRequests, 0);
        EXPECT_EQ(log.texts.back(), "Cleaning up device");
    }
}

TEST_F(QuickCleanFlowTest, AStopRequestEndsTheCleanUpBeforeAnyRemoval) {
    auto device = builder("stopped");
    fillDevice(device);
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto options = tickedOptionsFor(index, tmp_ / "Export");
    ProgressLog log;
    const auto report =
        QuickCleanEngine(options, scanOf(), nullptr, recordInto(log), [] { return true; }).run();
    EXPECT_EQ(report.status, QuickCleanStatus::Cancelled);
    EXPECT_EQ(report.removedCount, 0);
    EXPECT_TRUE(onDevice("stopped", "/Downloads/a.tmp"));
    EXPECT_TRUE(onDevice("stopped", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_EQ(log.texts.back(), "Cleaning up device");
}

TEST_F(QuickCleanFlowTest, FinishesWhenTheFileServiceIsRefused) {
    auto device = builder("refused");
    fillDevice(device);
    device.setFault("RefusedServices", PlistValue(PlistValue::Array{"com.apple.afc"}));
    const int index = attachBuilt(device);
    ASSERT_GE(index, 0);
    auto options = tickedOptionsFor(index, tmp_ / "Export");
    ProgressLog log;
    const auto report = QuickCleanEngine(options, scanOf(), nullptr, recordInto(log)).run();

    EXPECT_NE(report.status, QuickCleanStatus::Done);
    EXPECT_NE(report.status, QuickCleanStatus::DeviceGone);
    EXPECT_FALSE(report.message.isEmpty());
    EXPECT_EQ(log.texts.back(), "Cleaning up device");
    EXPECT_TRUE(onDevice("refused", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("refused", "/Downloads/a.tmp"));
    // What other services reach is still done and counted: the crash log and the app.
    EXPECT_EQ(report.freedJunk, 100u);
    EXPECT_EQ(report.freedLargeApps, 200000000u);
    EXPECT_EQ(report.freedLargeFiles, 0u);
    EXPECT_TRUE(contains(failedPaths(report), "/Downloads/a.tmp"));
}

// The device leaves after N operations, for many N: each run ends with a report whose freed
// figure is the size of what is missing from the device afterwards.
TEST_F(QuickCleanFlowTest, ADeviceLeavingMidRunEndsTheCleanUpWithTrueFigures) {
    bool sawDeviceGone = false;
    bool sawPartialRun = false;
    for (int limit = 2; limit <= 200; limit += 3) {
        const std::string udid = "detach" + std::to_string(limit);
        auto device = builder(udid);
        fillDevice(device);
        device.setFault("DetachAfterOperations", PlistValue(static_cast<std::int64_t>(limit)));
        const int index = attachBuilt(device);
        if (index < 0 || !amd::DeviceManager::GetInstance().IsAttached(index, serialOf(index))) {
            continue;  // the limit ran out while attaching
        }
        auto options = tickedOptionsFor(index, tmp_ / ("Export" + std::to_string(limit)));
        ProgressLog log;
        const auto report = QuickCleanEngine(options, scanOf(), nullptr, recordInto(log)).run();

        ASSERT_FALSE(log.texts.empty());
        EXPECT_EQ(log.texts.back(), "Cleaning up device") << limit;
        EXPECT_FALSE(report.message.isEmpty()) << limit;
        if (report.status == QuickCleanStatus::DeviceGone) {
            sawDeviceGone = true;
            sawPartialRun = sawPartialRun || report.removedCount > 0;
        }

        std::uint64_t missing = 0;
        if (!onDevice(udid, "/Downloads/a.tmp")) {
            missing += 4;
        }
        if (!onDevice(udid, "/general_storage/b.bin")) {
            missing += 6;
        }
        if (!onDevice(udid, "/Movies/big.m4v")) {
            missing += 6000000;
        }
        if (!onDevice(udid, "/Movies/other.m4v")) {
            missing += 7000000;
        }
        if (!onDevice(udid, "/DCIM/100APPLE/IMG_0001.JPG")) {
            missing += 5;
            EXPECT_EQ(report.photosCopied.size(), 1u) << limit;
        }
        if (!fs::exists(deviceDir(udid) / "crashes" / "Panic-1.ips")) {
            missing += 100;
        }
        if (!fs::exists(deviceDir(udid) / "apps" / "com.example.huge")) {
            missing += 200000000;
        }
        // Never more than went; exactly that unless the device left while answering (an
        // uninstall it carried out but could no longer confirm is reported, not counted).
        EXPECT_LE(report.freedTotal(), missing) << limit;
        if (report.status != QuickCleanStatus::DeviceGone) {
            EXPECT_EQ(report.freedTotal(), missing) << limit;
        }
        amd::DeviceManager::GetInstance().Reset();
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }
    EXPECT_TRUE(sawDeviceGone);
    EXPECT_TRUE(sawPartialRun);
}

TEST_F(QuickCleanFlowTest, ActsOnlyOnItsOwnDevice) {
    auto first = builder("mine");
    fillDevice(first);
    const int index = attachBuilt(first);
    ASSERT_GE(index, 0);
    auto options = tickedOptionsFor(index, tmp_ / "Export");
    ASSERT_TRUE(library_->detach(first.dir().string()));

    auto second = builder("theirs");
    fillDevice(second);
    ASSERT_EQ(attachBuilt(second), index) << "the test needs the index to be given again";
    const auto report = QuickCleanEngine(options, scanOf()).run();

    EXPECT_EQ(report.status, QuickCleanStatus::DeviceGone);
    EXPECT_EQ(report.freedTotal(), 0u);
    EXPECT_EQ(report.removedCount, 0);
    EXPECT_TRUE(onDevice("theirs", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("theirs", "/Downloads/a.tmp"));
    EXPECT_TRUE(onDevice("theirs", "/Movies/big.m4v"));
    EXPECT_TRUE(fs::exists(deviceDir("theirs") / "apps" / "com.example.huge"));
    EXPECT_TRUE(fs::exists(deviceDir("theirs") / "crashes" / "Panic-1.ips"));
}

}  // namespace
}  // namespace nimbara::test
