// The system boost jobs on simulated devices: what the scan finds per kind and how it reports,
// what removal really removes and counts, and where exports land.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cleanup/system_boost.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_clean_test_support.h"

namespace {

namespace fs = std::filesystem;
using nimbara::PlistValue;
using nimbara::cleanup::BoostItem;
using nimbara::cleanup::BoostKind;
using nimbara::cleanup::BoostProgress;
using nimbara::cleanup::CleanDeviceTarget;
using nimbara::cleanup::CleanItemOutcome;
using nimbara::cleanup::CleanRunStatus;
using nimbara::cleanup::SystemBoostRemovalEngine;
using nimbara::cleanup::SystemBoostScanEngine;
using nimbara::cleanup::SystemBoostScanResult;

class SystemBoostTest : public nimbara::test::QuickCleanTest {
  protected:
    // A device with files of every kind; the photo-edit folder also holds names the filter
    // must pass over.
    nimbara::simdev::SimDeviceBuilder& device() {
        if (!device_) {
            device_ = std::make_unique<nimbara::simdev::SimDeviceBuilder>(builder("phone"));
            device_->addCrashLog("/Panics/panic-1.ips", 700);
            device_->addCrashLog("/Mail-2026-12-01.crash", 300);
            device_->addMediaFileOfSize("/Downloads/direct.tmp", 1000);
            device_->addMediaFileOfSize("/Downloads/a/deep/er/part.download", 2000);
            device_->addMediaFileOfSize("/general_storage/kvs.cache", 400);
            device_->addMediaFileOfSize("/iTunes_Control/Sync/Media/F01/song.mp3", 5000);
            const std::string edits = "/PhotoData/Mutations/DCIM/100APPLE/IMG_1/Adjustments/";
            device_->addMediaFileOfSize(edits + "IMG_1.JPG", 90);
            device_->addMediaFileOfSize(edits + "IMG_1.jpg", 80);
            device_->addMediaFileOfSize(edits + "FullSizeRender.png", 70);
            device_->addMediaFileOfSize(edits + "render.jpeg", 60);
            device_->addMediaFileOfSize(edits + "nodotjpg", 50);
            device_->addMediaFileOfSize(edits + "Adjustments.plist", 40);
        }
        return *device_;
    }
    CleanDeviceTarget attachDevice() {
        const int index = attachBuilt(device());
        EXPECT_GE(index, 0);
        return {index, serialOf(index)};
    }
    fs::path crashFile(const std::string& devicePath) const {
        return deviceDir("phone") / "crashes" / devicePath.substr(1);
    }
    static std::vector<std::string> names(const nimbara::cleanup::BoostKindList& list) {
        std::vector<std::string> out;
        for (const auto& node : list.files) {
            out.push_back(node->fileName().toStdString());
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::vector<std::string> folderNames(const fs::path& folder) {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(folder)) {
            out.push_back(entry.path().filename().string());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    std::unique_ptr<nimbara::simdev::SimDeviceBuilder> device_;
    nimbara::test::TempDir exports_;
};

TEST_F(SystemBoostTest, ScanFindsEachKindWithItsFilterAndReportsInOrder) {
    const CleanDeviceTarget target = attachDevice();
    std::vector<float> progress;
    std::vector<std::pair<BoostKind, std::string>> seen;
    SystemBoostScanEngine engine(target);
    engine.onProgress = [&](float f) { progress.push_back(f); };
    engine.onPathSeen = [&](BoostKind k, const QString& p) {
        seen.push_back({k, p.toStdString()});
    };
    const SystemBoostScanResult r = engine.run();

    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(progress, (std::vector<float>{0.1f, 0.4f, 0.6f, 0.7f, 0.8f, 1.0f}));
    EXPECT_EQ(names(r.kind(BoostKind::SystemLog)),
              (std::vector<std::string>{"Mail-2026-12-01.crash", "panic-1.ips"}));
    // A file right in the root is listed like one deep below it.
    EXPECT_EQ(names(r.kind(BoostKind::DownloadTemp)),
              (std::vector<std::string>{"direct.tmp", "part.download"}));
    EXPECT_EQ(names(r.kind(BoostKind::UserStorage)), (std::vector<std::string>{"kvs.cache"}));
    EXPECT_EQ(names(r.kind(BoostKind::SyncFailed)), (std::vector<std::string>{"song.mp3"}));
    // Exact, case-sensitive endings, no dot needed: IMG_1.JPG and the plist stay out.
    EXPECT_EQ(
        names(r.kind(BoostKind::SyncCache)),
        (std::vector<std::string>{"FullSizeRender.png", "IMG_1.jpg", "nodotjpg", "render.jpeg"}));

    EXPECT_EQ(r.kind(BoostKind::SystemLog).bytes, 1000u);
    EXPECT_EQ(r.kind(BoostKind::DownloadTemp).bytes, 3000u);
    EXPECT_EQ(r.kind(BoostKind::SyncCache).bytes, 260u);
    EXPECT_EQ(r.totalFileNumber(), 10u);
    EXPECT_EQ(r.totalBytes(), 1000u + 3000u + 400u + 5000u + 260u);
    for (const auto& node : r.kind(BoostKind::SystemLog).files) {
        EXPECT_EQ(node->fileType(), QStringLiteral("Log"));
    }
    for (const auto& node : r.kind(BoostKind::DownloadTemp).files) {
        EXPECT_TRUE(node->fileType().isEmpty());
        EXPECT_TRUE(node->filePath().startsWith(QStringLiteral("/Downloads/")));
    }
    // Every recorded file's path is reported once, with its kind, the kinds in scan order.
    ASSERT_EQ(seen.size(), 10u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }));
    EXPECT_EQ(r.target.deviceSerial, target.deviceSerial);
}

TEST_F(SystemBoostTest, ScanStopsWhenItsDeviceGoesAndFindsNothingMore) {
    const CleanDeviceTarget target = attachDevice();
    int checks = 0;
    SystemBoostScanEngine engine(target, [&] {
        if (++checks == 4) {
            library_->detach(device().dir().string());
        }
        return false;
    });
    const SystemBoostScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_LT(r.totalFileNumber(), 10u);
    EXPECT_TRUE(r.kind(BoostKind::SyncCache).files.empty());

    // A scan for a device that is gone finds nothing at all.
    const SystemBoostScanResult again = SystemBoostScanEngine(target).run();
    EXPECT_TRUE(again.stopped);
    EXPECT_EQ(again.totalFileNumber(), 0u);
}

TEST_F(SystemBoostTest, RemoveAllReportsEvenPercentsAndRemovesFromTheDevice) {
    nimbara::simdev::SimDeviceBuilder three = builder("three");
    three.addMediaFileOfSize("/Downloads/a.tmp", 10);
    three.addMediaFileOfSize("/general_storage/b.cache", 20);
    three.addCrashLog("/c.ips", 30);
    const int index = attachBuilt(three);
    ASSERT_GE(index, 0);
    const CleanDeviceTarget target{index, serialOf(index)};
    SystemBoostScanResult found = SystemBoostScanEngine(target).run();
    const std::vector<BoostItem> plan = nimbara::cleanup::boostRemoveAllPlan(found);
    ASSERT_EQ(plan.size(), 3u);
    // Crash logs first, then downloads, then user storage.
    EXPECT_EQ(plan[0].kind, BoostKind::SystemLog);
    EXPECT_EQ(plan[1].devicePath, "/Downloads/a.tmp");

    std::vector<int> percents;
    SystemBoostRemovalEngine engine(target, plan,
                                    [&](const BoostProgress& p) { percents.push_back(p.percent); });
    const auto report = engine.run();
    EXPECT_EQ(percents, (std::vector<int>{33, 66, 100}));
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.removedFiles, 3u);
    EXPECT_EQ(report.freedBytes, 60u);
    EXPECT_EQ(report.message, QStringLiteral("3 files removed, 60.00bytes freed."));
    EXPECT_FALSE(onDevice("three", "/Downloads/a.tmp"));
    EXPECT_FALSE(fs::exists(deviceDir("three") / "crashes" / "c.ips"));
    nimbara::cleanup::settleBoostResult(found, plan, report);
    EXPECT_EQ(found.totalFileNumber(), 0u);
    EXPECT_EQ(found.totalBytes(), 0u);
}

TEST_F(SystemBoostTest, OnlyRemovalsTheDeviceConfirmedCount) {
    device().addMediaFileOfSize("/Downloads/downloads.28.sqlitedb", 4096);
    const CleanDeviceTarget target = attachDevice();
    SystemBoostScanResult found = SystemBoostScanEngine(target).run();
    ASSERT_EQ(found.totalFileNumber(), 11u);
    // After the scan: the crash-report service is refused, and one download became a folder.
    device().setFault(nimbara::md::sim::kFaultRefusedServices,
                      PlistValue(PlistValue::Array{"com.apple.crashreportcopymobile"}));
    ASSERT_TRUE(device().write());
    fs::remove(mediaFile("phone", "/Downloads/direct.tmp"));
    fs::create_directories(mediaFile("phone", "/Downloads/direct.tmp/inside"));

    const auto plan = nimbara::cleanup::boostRemoveAllPlan(found);
    // The download queue's database stays listed but is never planned, so never promised.
    EXPECT_EQ(plan.size(), 10u);
    EXPECT_EQ(nimbara::cleanup::boostKeptNames(found),
              std::vector<QString>{QStringLiteral("downloads.28.sqlitedb")});
    std::vector<std::uint64_t> removedSoFar;
    const auto report = SystemBoostRemovalEngine(target, plan, [&](const BoostProgress& p) {
                            removedSoFar.push_back(p.removed);
                        }).run();
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    // Two logs refused, the folder kept: 7 of 10 removed, and the message counts only those.
    EXPECT_EQ(report.removedFiles, 7u);
    EXPECT_EQ(report.failures.size(), 3u);
    EXPECT_TRUE(report.message.contains(QStringLiteral("3 of 10 files could not be removed")));
    EXPECT_EQ(removedSoFar.back(), 7u);
    EXPECT_EQ(removedSoFar.front(), 0u);  // the first item, a refused log, counted nothing
    EXPECT_TRUE(fs::exists(crashFile("/Panics/panic-1.ips")));
    EXPECT_TRUE(onDevice("phone", "/Downloads/downloads.28.sqlitedb"));
    EXPECT_TRUE(onDevice("phone", "/Downloads/direct.tmp/inside"));
    EXPECT_FALSE(onDevice("phone", "/general_storage/kvs.cache"));
    EXPECT_FALSE(report.message.isEmpty());

    nimbara::cleanup::settleBoostResult(found, plan, report);
    EXPECT_EQ(found.totalFileNumber(), 4u);
    EXPECT_EQ(found.kind(BoostKind::SystemLog).files.size(), 2u);
    EXPECT_EQ(found.kind(BoostKind::SystemLog).bytes, 1000u);
    EXPECT_EQ(found.kind(BoostKind::DownloadTemp).bytes, 1000u + 4096u);
    EXPECT_TRUE(found.kind(BoostKind::UserStorage).files.empty());
}

TEST_F(SystemBoostTest, PathsOutsideTheirKindsFolderNeverReachTheDevice) {
    device().addMediaFileOfSize("/DCIM/100APPLE/IMG_0001.JPG", 500);
    const CleanDeviceTarget target = attachDevice();
    const std::vector<BoostItem> plan = {
        {BoostKind::DownloadTemp, "/DCIM/100APPLE/IMG_0001.JPG", 500},
        {BoostKind::DownloadTemp, "/Downloads/../DCIM/100APPLE/IMG_0001.JPG", 500},
        {BoostKind::UserStorage, "/general_storage", 0},
        {BoostKind::SyncCache, "relative.jpg", 0},
    };
    const auto report = SystemBoostRemovalEngine(target, plan).run();
    EXPECT_EQ(report.removedFiles, 0u);
    EXPECT_EQ(report.failures.size(), 4u);
    for (const CleanItemOutcome outcome : report.outcomes) {
        EXPECT_EQ(outcome, CleanItemOutcome::Kept);
    }
    EXPECT_TRUE(onDevice("phone", "/DCIM/100APPLE/IMG_0001.JPG"));
    EXPECT_TRUE(onDevice("phone", "/general_storage/kvs.cache"));
}

TEST_F(SystemBoostTest, ExportsNeverOverwriteAndKeepHostileNamesInTheFolder) {
    device().addMediaFile("/Downloads/one/same.tmp", "first");
    device().addMediaFile("/Downloads/two/same.tmp", "second");
    device().addMediaFile("/Downloads/..hidden", "dots");
    device().addMediaFile("/Downloads/a:b*c?.tmp", "odd");
    const CleanDeviceTarget target = attachDevice();
    const fs::path folder = exports_ / "Pellucor";
    fs::create_directories(folder);
    std::ofstream(folder / "kvs.cache") << "mine";

    const auto exportOne = [&](BoostKind kind, const std::string& path) {
        return nimbara::cleanup::exportBoostFile(target, {kind, path, 0}, folder);
    };
    EXPECT_TRUE(exportOne(BoostKind::DownloadTemp, "/Downloads/one/same.tmp").exported);
    const auto second = exportOne(BoostKind::DownloadTemp, "/Downloads/two/same.tmp");
    ASSERT_TRUE(second.exported);
    EXPECT_EQ(second.written.filename(), "same (2).tmp");
    const auto user = exportOne(BoostKind::UserStorage, "/general_storage/kvs.cache");
    ASSERT_TRUE(user.exported);
    EXPECT_EQ(user.written.filename(), "kvs (2).cache");
    EXPECT_TRUE(exportOne(BoostKind::DownloadTemp, "/Downloads/..hidden").exported);
    EXPECT_TRUE(exportOne(BoostKind::DownloadTemp, "/Downloads/a:b*c?.tmp").exported);
    // A crash log comes through the crash-report service.
    const auto log = exportOne(BoostKind::SystemLog, "/Panics/panic-1.ips");
    ASSERT_TRUE(log.exported);
    EXPECT_EQ(fs::file_size(log.written), 700u);

    EXPECT_EQ(folderNames(folder),
              (std::vector<std::string>{"_.hidden", "a_b_c_.tmp", "kvs (2).cache", "kvs.cache",
                                        "panic-1.ips", "same (2).tmp", "same.tmp"}));
    std::ifstream mine(folder / "kvs.cache");
    std::string text;
    mine >> text;
    EXPECT_EQ(text, "mine");

    // A file gone from the device exports nothing and says so; so does a path outside its kind.
    const auto gone = exportOne(BoostKind::DownloadTemp, "/Downloads/vanished.tmp");
    EXPECT_FALSE(gone.exported);
    EXPECT_FALSE(gone.message.isEmpty());
    EXPECT_FALSE(exportOne(BoostKind::DownloadTemp, "/DCIM/../Downloads/direct.tmp").exported);
    EXPECT_EQ(folderNames(folder).size(), 7u);
}

}  // namespace

// A removal asks only about what will go: files the device itself needs are named as staying
// before the question, and a choice of only such files asks nothing and says why.
TEST(SystemBoostPrompt, AsksOnlyAboutWhatWillGoAndNamesWhatStays) {
    using nimbara::cleanup::BoostChosenFile;
    const auto file = [](BoostKind kind, const char* path) {
        auto record = std::make_shared<PRPhoneSystemFileNode>();
        record->setDevicePath(path);
        record->setFileName(QString::fromUtf8(path).section(QLatin1Char('/'), -1));
        return BoostChosenFile{kind, record};
    };
    const BoostChosenFile queue = file(BoostKind::DownloadTemp, "/Downloads/downloads.28.sqlitedb");
    const BoostChosenFile part = file(BoostKind::DownloadTemp, "/Downloads/a.part");
    const BoostChosenFile log = file(BoostKind::SystemLog, "/Panics/log.db");  // a log, not a store
    const BoostChosenFile cache = file(BoostKind::UserStorage, "/general_storage/kvs.cache");
    struct Row {
        std::vector<BoostChosenFile> chosen;
        std::size_t planned;
        const char* details;
    };
    const Row rows[] = {
        {{queue},
         0,
         "Nothing is removed. This file the device itself needs is kept: downloads.28.sqlitedb."},
        {{part, queue, cache},
         2,
         "The files are removed from the device for good. This file the device itself needs is "
         "kept: downloads.28.sqlitedb."},
        {{part}, 1, "The file is removed from the device for good."},
        {{log, cache}, 2, "The files are removed from the device for good."},
        {{}, 0, "Nothing was found to remove."},
    };
    for (const Row& row : rows) {
        const auto prompt = nimbara::cleanup::boostRemovalPrompt(row.chosen);
        EXPECT_EQ(prompt.asks(), row.planned > 0) << row.details;
        EXPECT_EQ(prompt.plan.size(), row.planned) << row.details;
        EXPECT_EQ(prompt.details, QString::fromUtf8(row.details));
    }
}
