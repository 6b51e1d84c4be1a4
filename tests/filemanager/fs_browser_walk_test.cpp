// The walk of the device file-system browser: the core walk on a small deep device (folders after
// their contents, a detach at any point), and the page's walk of the demo device with the shell's
// busy indicator, a second visit, a device gone mid-walk and a retry.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../device/sim_device_fixture.h"
#include "filemanager/device_fs_walk.h"
#include "fs_browser_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "ui/core/pr_system_lib_tree_controller.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using filemanager::DeviceFsWalk;
using filemanager::FsEntryRecord;
using filemanager::FsWalkStatus;

class FsWalkCoreTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        subscribe(nullptr);
    }
    simdev::SimDeviceBuilder deepDevice(const std::string& udid) {
        simdev::SimDeviceBuilder b = builder(udid);
        std::string deep;
        for (int level = 0; level < 12; ++level) {
            deep += "/level" + std::to_string(level);
        }
        b.addMediaFile(deep + "/bottom.txt", "at the bottom");
        b.addMediaFile("/level0/.hidden/inside.txt", "hidden");
        b.addMediaFile("/level0/empty.bin", "");
        b.addMediaDir("/Empty");
        b.addMediaFile("/top.txt", "top");
        return b;
    }
    filemanager::CleanDeviceTarget attachTarget(simdev::SimDeviceBuilder& b) {
        EXPECT_TRUE(b.write());
        const int index = attach(b.dir().string());
        return {index, index < 0 ? 0 : amd::DeviceManager::GetInstance().DeviceSerial(index)};
    }
};

TEST_F(FsWalkCoreTest, EveryFolderComesAfterItsContentsAndBuildsTheSameTree) {
    simdev::SimDeviceBuilder b = deepDevice("deep");
    const auto target = attachTarget(b);
    ASSERT_GE(target.deviceIndex, 0);
    std::vector<FsEntryRecord> seen;
    std::size_t batches = 0;
    DeviceFsWalk walk(
        target,
        [&](std::vector<FsEntryRecord> batch) {
            ++batches;
            seen.insert(seen.end(), batch.begin(), batch.end());
        },
        {}, 4);
    const auto result = walk.run();
    ASSERT_EQ(result.status, FsWalkStatus::Done);
    EXPECT_GT(batches, 3u);
    const FileTally tally = tallyOf(deviceDir("deep") / md::sim::kMediaDir);
    EXPECT_EQ(result.files, tally.count);
    EXPECT_EQ(result.bytes, tally.bytes);
    EXPECT_EQ(result.files + result.folders, seen.size());
    // A folder's record comes after every record below it: children arrive first.
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        at[seen[i].path] = i;
    }
    for (const FsEntryRecord& r : seen) {
        for (std::size_t slash = r.path.find('/', 1); slash != std::string::npos;
             slash = r.path.find('/', slash + 1)) {
            const std::string folder = r.path.substr(0, slash);
            ASSERT_TRUE(at.count(folder)) << folder;
            EXPECT_GT(at[folder], at[r.path]) << folder << " before " << r.path;
        }
    }
    const auto empty = std::find_if(seen.begin(), seen.end(), [](const FsEntryRecord& r) {
        return r.path == "/level0/empty.bin";
    });
    ASSERT_NE(empty, seen.end());
    EXPECT_TRUE(empty->isFile);
    EXPECT_EQ(empty->size, 0u);

    // Filed in walk order, the tree holds the deep chain, the empty folder as an entry only and
    // the hidden folder under its name without the dot.
    PRSystemLibTreeController tree;
    for (const FsEntryRecord& r : seen) {
        auto record = std::make_shared<PRPhoneSystemDirNode>();
        record->setFilePath(QString::fromStdString(r.path));
        if (r.isFile) {
            record->setFileSize(QStringLiteral("%1 bytes").arg(r.size));
        }
        tree.addTreeNode(record);
    }
    ASSERT_EQ(tree.content().size(), 1u);
    auto folder = tree.content().front();
    for (int level = 0; level < 12; ++level) {
        const auto children = folder->children();
        const auto next = std::find_if(children.begin(), children.end(), [&](const auto& c) {
            return c->fileDirName() == QStringLiteral("level%1").arg(level);
        });
        ASSERT_NE(next, children.end()) << level;
        folder = *next;
    }
    ASSERT_EQ(folder->fileChildrenCount(), 1u);
    EXPECT_EQ(folder->fileChildren().front()->fileType(), "File");
    const auto rootEntries = tree.content().front()->fileChildren();
    const auto emptyEntry = std::find_if(rootEntries.begin(), rootEntries.end(),
                                         [](const auto& e) { return e->fileName() == "Empty"; });
    ASSERT_NE(emptyEntry, rootEntries.end());
    EXPECT_EQ((*emptyEntry)->fileType(), "Folder");
    for (const auto& top : tree.content().front()->children()) {
        EXPECT_NE(top->fileDirName(), "Empty");
    }
}

TEST_F(FsWalkCoreTest, ADetachAtAnyPointEndsTheWalkAsGoneWithWhatWasHandedOver) {
    bool sawMidWalk = false;
    bool sawDone = false;
    for (int limit = 4; limit <= 64; limit += 6) {
        simdev::SimDeviceBuilder b = deepDevice("d" + std::to_string(limit));
        b.setFault(md::sim::kFaultDetachAfter, PlistValue(static_cast<std::int64_t>(limit + 8)));
        const auto target = attachTarget(b);
        if (target.deviceIndex < 0 || target.deviceSerial == 0) {
            continue;  // the limit ran out while attaching
        }
        std::size_t handed = 0;
        DeviceFsWalk walk(
            target, [&](std::vector<FsEntryRecord> batch) { handed += batch.size(); }, {}, 2);
        const auto result = walk.run();
        EXPECT_EQ(handed, result.files + result.folders) << limit;
        if (result.status == FsWalkStatus::Done) {
            sawDone = true;
            EXPECT_TRUE(result.message.isEmpty());
        } else {
            EXPECT_TRUE(result.status == FsWalkStatus::DeviceGone ||
                        result.status == FsWalkStatus::BindFailed)
                << limit;
            EXPECT_FALSE(result.message.isEmpty());
            sawMidWalk = sawMidWalk || (result.status == FsWalkStatus::DeviceGone && handed > 0);
        }
        amd::DeviceManager::GetInstance().Reset();
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }
    EXPECT_TRUE(sawMidWalk);
    EXPECT_TRUE(sawDone);
}

TEST_F(FsWalkCoreTest, AStopRequestEndsTheWalkAsCancelled) {
    simdev::SimDeviceBuilder b = deepDevice("stop");
    const auto target = attachTarget(b);
    int checks = 0;
    DeviceFsWalk walk(target, {}, [&checks] { return ++checks > 3; });
    EXPECT_EQ(walk.run().status, FsWalkStatus::Cancelled);
}

TEST_F(FsWalkCoreTest, EachTopLevelEntryIsReportedOnceItsRecordsWereHandedOver) {
    simdev::SimDeviceBuilder b = deepDevice("top");
    const auto target = attachTarget(b);
    std::vector<std::string> handed;
    std::vector<std::pair<std::size_t, std::size_t>> reports;
    std::vector<std::size_t> handedAtReport;
    DeviceFsWalk walk(
        target,
        [&](std::vector<FsEntryRecord> batch) {
            for (const FsEntryRecord& record : batch) {
                handed.push_back(record.path);
            }
        },
        {}, 1000);
    walk.onTopLevelDone([&](std::size_t done, std::size_t total) {
        reports.emplace_back(done, total);
        handedAtReport.push_back(handed.size());
    });
    const auto result = walk.run();
    ASSERT_EQ(result.status, FsWalkStatus::Done);
    // "/Empty", "/level0" and "/top.txt", in the device's order, each with all below it.
    ASSERT_EQ(reports.size(), 3u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i], std::make_pair(i + 1, std::size_t{3}));
    }
    EXPECT_EQ(handedAtReport.back(), handed.size());
    const auto level0 = std::find(handed.begin(), handed.end(), "/level0") - handed.begin();
    EXPECT_TRUE(std::find(handedAtReport.begin(), handedAtReport.end(),
                          static_cast<std::size_t>(level0) + 1) != handedAtReport.end());

    // A stop inside an entry ends the walk without reporting that entry.
    reports.clear();
    int checks = 0;
    DeviceFsWalk stopped(target, {}, [&checks] { return ++checks > 5; });
    stopped.onTopLevelDone(
        [&](std::size_t done, std::size_t total) { reports.emplace_back(done, total); });
    EXPECT_EQ(stopped.run().status, FsWalkStatus::Cancelled);
    EXPECT_LT(reports.size(), 3u);
}

TEST_F(FsWalkCoreTest, AMediaRootTheDeviceWontListIsNoEmptyDevice) {
    simdev::SimDeviceBuilder b = deepDevice("unlisted");
    const auto target = attachTarget(b);
    fs::remove_all(b.dir() / "media");
    std::size_t handed = 0;
    DeviceFsWalk walk(target, [&](std::vector<FsEntryRecord> batch) { handed += batch.size(); });
    const auto result = walk.run();
    EXPECT_EQ(result.status, FsWalkStatus::Unreadable);
    EXPECT_FALSE(result.message.isEmpty());
    EXPECT_EQ(handed, 0u);
}

// ------------------------------------------------------------------ the page

TEST_F(FsBrowserTest, TheWalkFilesTheWholeDemoDeviceAndStopsTheIndicatorOnce) {
    clickSystemLib();
    EXPECT_TRUE(page().bScanStart());
    EXPECT_TRUE(spinning());
    EXPECT_FALSE(page().systemUi().infolab->isHidden());
    ASSERT_TRUE(waitWalked());
    EXPECT_TRUE(page().bLoadFinished());
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(spinning());
    EXPECT_TRUE(page().systemUi().infolab->isHidden());
    EXPECT_FALSE(page().isShowingNotAvailable());

    // Every regular file of the media root is one "File" entry, every folder one "Folder" entry.
    const FileTally tally = tallyOf(demo_ / md::sim::kMediaDir);
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t folders = 0;
    forEachEntry([&](const PRPhoneSystemFileNode& e) {
        if (e.fileType() == "File") {
            ++files;
            bytes += e.fileSizeNumber();
        } else {
            ++folders;
        }
    });
    EXPECT_EQ(files, tally.count);
    EXPECT_EQ(bytes, tally.bytes);
    std::uint64_t realFolders = 0;
    for (const auto& e : fs::recursive_directory_iterator(demo_ / md::sim::kMediaDir)) {
        realFolders += e.is_directory() ? 1 : 0;
    }
    EXPECT_EQ(folders, realFolders);

    // The deep chain, its hidden zero-byte lock (true path kept) and the empty folders.
    const auto deep =
        folderAt({"MediaAnalysis", "Fingerprints", "v2", "0A", "1B", "2C", "3D", "4E", "5F"});
    ASSERT_NE(deep, nullptr);
    const auto lock = entryNamed(deep, "lock");
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(lock->filePath(), "/MediaAnalysis/Fingerprints/v2/0A/1B/2C/3D/4E/5F/.lock");
    EXPECT_EQ(lock->fileType(), "File");
    EXPECT_EQ(lock->fileSizeNumber(), 0u);
    EXPECT_EQ(folderAt({"Purchases"}), nullptr);
    const auto purchases = entryNamed(folderAt({}), "Purchases");
    ASSERT_NE(purchases, nullptr);
    EXPECT_EQ(purchases->fileType(), "Folder");
    // ".cache" and "cache" share one outline folder; their entries keep their own paths.
    const auto cache = folderAt({"MediaAnalysis", "cache"});
    ASSERT_NE(cache, nullptr);
    std::set<QString> paths;
    for (const auto& e : cache->fileChildren()) {
        paths.insert(e->filePath());
    }
    EXPECT_EQ(paths, (std::set<QString>{"/MediaAnalysis/.cache/model.bin",
                                        "/MediaAnalysis/cache/model.bin"}));

    // A second visit reads nothing again.
    clickSystemLib();
    EXPECT_FALSE(page().bScanStart());
    pumpEvents(10);
    EXPECT_EQ(finished_, 1);
}

TEST_F(FsBrowserTest, ChoosingAFolderShowsItsEntriesInArrivalOrder) {
    walk();
    selectFolder(folderAt({"Radio"}));
    const auto* model = page().libFileController();
    ASSERT_EQ(model->rowCount(), 2);
    std::set<QString> names{model->entryAt(0)->fileName(), model->entryAt(1)->fileName()};
    EXPECT_EQ(names, (std::set<QString>{"Radio.plist", "empty"}));
}

TEST_F(FsBrowserTest, ADeviceGoneMidWalkStopsTheIndicatorAndMayBeWalkedAgain) {
    clickSystemLib();
    ASSERT_TRUE(page().bScanStart());
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(pumpUntil([this] { return !page().bScanStart(); }));
    ASSERT_TRUE(
        pumpUntil([this] { return amd::DeviceManager::GetInstance().DeviceSerial(index_) == 0; }));
    pumpEvents(20);
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(spinning());
    // Whatever the walk got to, the page holds no part of a departed device and may walk again.
    if (!page().bLoadFinished()) {
        EXPECT_TRUE(page().GetLibTreeController()->content().empty());
        EXPECT_FALSE(page().statusText().isEmpty());
    }
    EXPECT_TRUE(page().GetLibTreeController()->content().empty());
    EXPECT_FALSE(page().bLoadFinished());
    EXPECT_FALSE(page().bScanStart());

    const int again = attach(demo_.string());
    ASSERT_GE(again, 0);
    page().LookupSystemTree(again);
    EXPECT_TRUE(page().bScanStart());
    ASSERT_TRUE(waitWalked());
    EXPECT_TRUE(page().bLoadFinished());
    EXPECT_EQ(finished_, 2);
    EXPECT_NE(folderAt({"DCIM", "100APPLE"}), nullptr);
}

TEST_F(FsBrowserTest, AFileServiceThatIsRefusedEndsTheWalkWithAReason) {
    setFault(md::sim::kFaultRefusedServices,
             PlistValue(PlistValue::Array{PlistValue("com.apple.afc")}));
    clickSystemLib();
    ASSERT_TRUE(pumpUntil([this] { return !page().bScanStart(); }));
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(spinning());
    EXPECT_FALSE(page().bLoadFinished());
    EXPECT_TRUE(page().statusText().contains("could not be reached"));
    setFault(nullptr);
    clickSystemLib();
    ASSERT_TRUE(waitWalked());
    EXPECT_TRUE(page().bLoadFinished());
    EXPECT_EQ(finished_, 2);
}

TEST_F(FsBrowserTest, ADeviceChangeResetsThePageAndStopsItsIndicator) {
    clickSystemLib();
    ASSERT_TRUE(page().bScanStart());
    page().deviceChanged(host_.currentDeviceTarget());
    EXPECT_FALSE(page().bScanStart());
    EXPECT_EQ(finished_, 1);
    EXPECT_FALSE(spinning());
    pumpEvents(20);
    EXPECT_TRUE(page().GetLibTreeController()->content().empty());
    EXPECT_EQ(finished_, 1);
}

}  // namespace
}  // namespace nimbara::test
