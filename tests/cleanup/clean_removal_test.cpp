// Removals of the clean-up page: what is removed, what is counted, and what is refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>

#include "clean_removal_fixture.h"
#include "cleanup/clean_removal.h"
#include "cleanup/clean_removal_queue.h"

namespace nimbara::test {
namespace {

using cleanup::CleanCategory;
using cleanup::CleanItem;
using cleanup::CleanItemOutcome;
using cleanup::CleanRemovalEngine;
using cleanup::CleanRunStatus;

class CleanRemovalEngineTest : public CleanRemovalTest {
  protected:
    void SetUp() override {
        CleanRemovalTest::SetUp();
        addApp(kMail, "Mail");
        addApp(kGame, "Game");
    }
};

TEST_F(CleanRemovalEngineTest, RemoveAllCountsOnlyWhatTheDeviceRemoved) {
    device().addContainerFile(kMail, "/Library/Caches/a.bin", 100);
    device().addContainerFile(kMail, "/Library/Caches/b.bin", 200);
    device().addContainerFile(kMail, "/Documents/report.pdf", 300);
    device().addContainerFile(kGame, "/Library/Caches/level.bin", 50);
    // The game's container is refused: its cache stays and is reported.
    device().setFault(md::sim::kFaultRefusedContainers, PlistValue(PlistValue::Array{kGame}));
    const auto target = attachDevice();

    std::vector<CleanItem> plan = cleanup::itemsOfRecords(
        CleanCategory::Cache, {record(kMail, "/Library/Caches/a.bin", 100),
                               record(kGame, "/Library/Caches/level.bin", 50),
                               // The record is stale: the device holds 200 bytes now.
                               record(kMail, "/Library/Caches/b.bin", 999)});
    for (auto& item : cleanup::itemsOfRecords(CleanCategory::Document,
                                              {record(kMail, "/Documents/report.pdf", 300)})) {
        plan.push_back(item);
    }
    std::vector<int> percents;
    CleanRemovalEngine engine(target, plan, [&](const cleanup::CleanProgress& progress) {
        percents.push_back(progress.percent);
        EXPECT_EQ(progress.total, 4u);
    });
    // Taking the plan and making the engine (before the user confirmed) changes nothing.
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/a.bin"));
    EXPECT_TRUE(percents.empty());
    const auto report = engine.run();

    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(report.freedBytes, 600u);
    EXPECT_EQ(report.freed(CleanCategory::Cache), 300u);
    EXPECT_EQ(report.freed(CleanCategory::Document), 300u);
    EXPECT_EQ(report.removedFiles, 3u);
    EXPECT_EQ(report.outcomes[1], CleanItemOutcome::Failed);
    EXPECT_EQ(report.settledItems(), (std::vector<std::size_t>{0, 2, 3}));
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].path, "/Library/Caches/level.bin");
    EXPECT_EQ(percents, (std::vector<int>{25, 50, 75, 100}));
    EXPECT_TRUE(report.message.contains(QStringLiteral("could not be removed")));

    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/a.bin"));
    EXPECT_FALSE(inContainer(kMail, "/Documents/report.pdf"));
    EXPECT_TRUE(inContainer(kGame, "/Library/Caches/level.bin"));
}

TEST_F(CleanRemovalEngineTest, ChosenRowsLeaveTheListOnlyWhenRemoved) {
    device().addContainerFile(kMail, "/Documents/a.pdf", 1000);
    device().addContainerFile(kMail, "/Documents/b.pdf", 2000);
    device().addContainerFile(kMail, "/Documents/c.pdf", 500);
    device().addContainerFile(kMail, "/Documents/d.pdf", 6500);
    device().addContainerFile(kGame, "/Documents/saved.pdf", 10);
    device().setFault(md::sim::kFaultRefusedContainers, PlistValue(PlistValue::Array{kGame}));
    const auto target = attachDevice();
    std::vector<std::shared_ptr<PRCleanDirNode>> list{
        record(kMail, "/Documents/a.pdf", 1000), record(kMail, "/Documents/b.pdf", 2000),
        record(kMail, "/Documents/c.pdf", 500), record(kMail, "/Documents/d.pdf", 6500),
        // Listed, but refused by the device: it stays listed and counted.
        record(kGame, "/Documents/saved.pdf", 0)};
    std::uint64_t listed = 10000;

    // Two rows, then one more: the total drops by each removal in turn.
    auto plan = cleanup::itemsOfRecords(CleanCategory::Document, {list[0], list[1], list[4]});
    auto report = CleanRemovalEngine(target, plan).run();
    auto settled = cleanup::settleRecords(list, plan, report);
    listed -= settled.bytes;
    EXPECT_EQ(settled.files, 2u);
    EXPECT_EQ(listed, 7000u);
    plan = cleanup::itemsOfRecords(CleanCategory::Document, {list[0]});
    report = CleanRemovalEngine(target, plan).run();
    listed -= cleanup::settleRecords(list, plan, report).bytes;
    EXPECT_EQ(listed, 6500u);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]->filePath(), QStringLiteral("/Documents/d.pdf"));
    EXPECT_EQ(list[1]->appBundleName().toStdString(), kGame);
}

TEST_F(CleanRemovalEngineTest, RefusesWhatLiesOutsideItsCategoryOrIsProtected) {
    device().addContainerFile(kMail, "/Library/Preferences/mail.plist", 10);
    device().addContainerFile(kMail, "/Library/Caches/Cache.db", 10);
    device().addContainerFile(kMail, "/Library/Caches/ok.bin", 10);
    device().addContainerFile(kMail, "/Library/Caches/nested/x", 10);
    device().addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "photo");
    const auto target = attachDevice();

    std::vector<CleanItem> plan = cleanup::itemsOfRecords(
        CleanCategory::Cache, {record(kMail, "/Library/Preferences/mail.plist", 10),
                               record(kMail, "/Library/Caches/../Preferences/mail.plist", 10),
                               record(kMail, "/Library/Caches/Cache.db", 10),
                               record("../evil", "/Library/Caches/ok.bin", 10),
                               // A file when found, a folder with contents now.
                               record(kMail, "/Library/Caches/nested", 10)});
    auto media = std::make_shared<PRCleanFileNode>();
    media->setFilePath(QStringLiteral("/DCIM/100APPLE/IMG_0001.JPG"));
    plan.push_back(cleanup::itemOfEntry(CleanCategory::SyncFailed, *media));
    CleanItem unknown = plan.front();
    unknown.kind = static_cast<CleanItem::Kind>(42);
    plan.push_back(unknown);

    const auto report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(report.freedBytes, 0u);
    for (std::size_t i = 0; i < plan.size(); ++i) {
        EXPECT_EQ(report.outcomes[i], CleanItemOutcome::Kept) << i;
    }
    EXPECT_EQ(report.failedItems(), plan.size());
    EXPECT_EQ(report.protectedKept, (std::vector<std::string>{"/Library/Caches/Cache.db"}));
    // The file the device needs was kept on purpose: it is not one that could not be removed.
    EXPECT_TRUE(report.message.contains(
        QStringLiteral("%1 item(s) could not be removed.").arg(plan.size() - 1)))
        << report.message.toStdString();
    EXPECT_TRUE(inContainer(kMail, "/Library/Preferences/mail.plist"));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/Cache.db"));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/ok.bin"));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/nested/x"));
    EXPECT_TRUE(onDevice("phone", "/DCIM/100APPLE/IMG_0001.JPG"));
}

TEST_F(CleanRemovalEngineTest, AFolderRowRemovesThatFolderOnly) {
    device().addContainerFile(kMail, "/Library/Caches/sub1/f1", 10);
    device().addContainerFile(kMail, "/Library/Caches/sub1/deeper/unlisted", 20);
    device().addContainerFile(kMail, "/Library/Caches/sub2/f2", 30);
    device().addContainerFile(kMail, "/Library/Caches/.hidden/h", 40);
    device().addContainerFile(kMail, "/Library/Caches/hidden/plain", 50);
    device().addContainerFile(kMail, "/Library/Preferences/keep.plist", 60);
    const auto target = attachDevice();

    Tree tree;
    tree.add("Mail", kMail, "/Library/Caches/sub1/f1", 10);
    tree.add("Mail", kMail, "/Library/Caches/sub2/f2", 30);
    tree.add("Mail", kMail, "/Library/Caches/.hidden/h", 40);

    // The row of sub1: that folder with everything in it, listed or not.
    auto plan = cleanup::itemsOfTreeFolder(CleanCategory::Cache,
                                           tree.folder({"Mail", "Library", "Caches", "sub1"}));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].kind, CleanItem::Kind::Folder);
    auto report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.freedBytes, 30u);
    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/sub1"));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/sub2/f2"));

    // The tree shows ".hidden" as "hidden": the row stands for the device's ".hidden" only.
    plan = cleanup::itemsOfTreeFolder(CleanCategory::Cache,
                                      tree.folder({"Mail", "Library", "Caches", "hidden"}));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].devicePath, "/Library/Caches/.hidden");
    report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.freedBytes, 40u);
    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/.hidden"));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/hidden/plain"));

    // The app's row empties the app's cache folder and keeps the folder; the rest of the
    // container is not touched.
    plan = cleanup::itemsOfTreeFolder(CleanCategory::Cache, tree.folder({"Mail"}));
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].kind, CleanItem::Kind::CategoryContents);
    report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.freedBytes, 80u);
    EXPECT_TRUE(std::filesystem::is_directory(containerFile(kMail, "/Library/Caches")));
    EXPECT_TRUE(std::filesystem::is_empty(containerFile(kMail, "/Library/Caches")));
    EXPECT_TRUE(inContainer(kMail, "/Library/Preferences/keep.plist"));
}

TEST_F(CleanRemovalEngineTest, AProtectedFileKeepsOnlyTheFoldersAboveIt) {
    device().addContainerFile(kMail, "/Library/Caches/top/a/Cache.db", 5);
    device().addContainerFile(kMail, "/Library/Caches/top/a/x", 10);
    device().addContainerFile(kMail, "/Library/Caches/top/b/y", 20);
    device().addContainerFile(kMail, "/Library/Caches/top/c/z", 40);
    const auto target = attachDevice();
    Tree tree;
    tree.add("Mail", kMail, "/Library/Caches/top/b/y", 20);
    const auto plan = cleanup::itemsOfTreeFolder(CleanCategory::Cache,
                                                 tree.folder({"Mail", "Library", "Caches", "top"}));
    const auto report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::DoneWithFailures);
    EXPECT_EQ(report.outcomes[0], CleanItemOutcome::Kept);
    EXPECT_EQ(report.freedBytes, 70u);
    EXPECT_EQ(report.protectedKept, (std::vector<std::string>{"/Library/Caches/top/a/Cache.db"}));
    EXPECT_FALSE(report.message.contains(QStringLiteral("could not be removed")))
        << report.message.toStdString();
    EXPECT_TRUE(report.message.contains(QStringLiteral("1 file(s) the device itself needs were")));
    EXPECT_TRUE(inContainer(kMail, "/Library/Caches/top/a/Cache.db"));
    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/top/a/x"));
    // The folders beside the kept file's go.
    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/top/b"));
    EXPECT_FALSE(inContainer(kMail, "/Library/Caches/top/c"));
}

TEST_F(CleanRemovalEngineTest, WhatAFolderRemovedInPartTookLeavesTheListsToo) {
    device().addContainerFile(kMail, "/Library/Caches/top/Cache.db", 5);
    device().addContainerFile(kMail, "/Library/Caches/top/x", 10);
    device().addContainerFile(kMail, "/Library/Caches/top/sub/y", 20);
    device().addContainerFile(kMail, "/Library/Caches/other", 40);
    device().addContainerFile(kGame, "/Library/Caches/top/x", 80);
    const auto target = attachDevice();
    Tree tree;
    tree.add("Mail", kMail, "/Library/Caches/top/x", 10);
    const auto plan = cleanup::itemsOfTreeFolder(CleanCategory::Cache,
                                                 tree.folder({"Mail", "Library", "Caches", "top"}));
    const auto report = CleanRemovalEngine(target, plan).run();
    ASSERT_EQ(report.outcomes[0], CleanItemOutcome::Kept);
    std::vector<std::string> removed;
    for (const auto& [item, path] : report.removedPaths) {
        EXPECT_EQ(item, 0u);
        removed.push_back(path);
    }
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed,
              (std::vector<std::string>{"/Library/Caches/top/sub/y", "/Library/Caches/top/x"}));
    // The records of what went leave the list; the kept one, the one beside the folder and
    // another app's file of the same path stay.
    std::vector<std::shared_ptr<PRCleanDirNode>> records{
        record(kMail, "/Library/Caches/top/Cache.db", 5),
        record(kMail, "/Library/Caches/top/x", 10), record(kMail, "/Library/Caches/top/sub/y", 20),
        record(kMail, "/Library/Caches/other", 40), record(kGame, "/Library/Caches/top/x", 80)};
    const auto settled = cleanup::settleRecords(records, plan, report);
    EXPECT_EQ(settled.files, 2u);
    EXPECT_EQ(settled.bytes, 30u);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0]->devicePath(), "/Library/Caches/top/Cache.db");
    EXPECT_EQ(records[1]->devicePath(), "/Library/Caches/other");
    EXPECT_EQ(records[2]->appBundleName().toStdString(), kGame);
    EXPECT_TRUE(inContainer(kGame, "/Library/Caches/top/x"));
}

TEST(CleanSettledSet, AFolderRemovedOrGoneCoversWhatLayBelowItOnly) {
    std::vector<CleanItem> plan(2);
    plan[0].kind = CleanItem::Kind::AdCacheFolder;
    plan[0].bundleId = "a";
    plan[0].devicePath = "/Library/Caches/com.mopub";
    plan[1].kind = CleanItem::Kind::File;
    plan[1].bundleId = "a";
    plan[1].devicePath = "/Library/Caches/one";
    cleanup::CleanRemovalReport report;
    report.outcomes = {CleanItemOutcome::Removed, CleanItemOutcome::Failed};
    const cleanup::CleanSettledSet settled(plan, report);
    EXPECT_TRUE(settled.covers("a", "/Library/Caches/com.mopub/x/y"));
    EXPECT_FALSE(settled.covers("a", "/Library/Caches/com.mopub"));
    EXPECT_FALSE(settled.covers("a", "/Library/Caches/com.mopubber/x"));
    EXPECT_FALSE(settled.covers("b", "/Library/Caches/com.mopub/x"));
    EXPECT_FALSE(settled.covers("a", "/Library/Caches/one"));  // its removal failed
}

TEST_F(CleanRemovalEngineTest, CleanAllRemovesEveryFoundFileOnceAndNothingElse) {
    device().addContainerFile(kMail, "/tmp/a", 1);
    device().addContainerFile(kMail, "/tmp/deep/b", 2);
    device().addContainerFile(kGame, "/tmp/c", 4);
    device().addContainerFile(kGame, "/tmp/not-found", 8);
    const auto target = attachDevice();

    Tree tree;
    tree.add("Mail", kMail, "/tmp/a", 1);
    tree.add("Mail", kMail, "/tmp/deep/b", 2);
    tree.add("Game", kGame, "/tmp/c", 4);
    // The same entry reached twice (one app shown under two rows) is removed once.
    tree.top.push_back(tree.top.front());

    const auto plan = cleanup::itemsOfTree(CleanCategory::Junk, tree.top);
    EXPECT_EQ(plan.size(), 3u);
    const auto report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.freed(CleanCategory::Junk), 7u);
    EXPECT_FALSE(inContainer(kMail, "/tmp/a"));
    EXPECT_FALSE(inContainer(kMail, "/tmp/deep/b"));
    EXPECT_FALSE(inContainer(kGame, "/tmp/c"));
    EXPECT_TRUE(inContainer(kGame, "/tmp/not-found"));
}

TEST_F(CleanRemovalEngineTest, FailedSyncMediaAndAdCachesUseTheirOwnPlaces) {
    device().addMediaFileOfSize("/iTunes_Control/Sync/Media/song.mp3", 700);
    device().addContainerFile(kGame, "/Library/Caches/com.adnet.sdk/ads/banner.png", 90);
    device().addContainerFile(kGame, "/Library/Caches/com.adnet.sdk/index", 10);
    const auto target = attachDevice();

    auto media = std::make_shared<PRCleanFileNode>();
    media->setFilePath(QStringLiteral("/iTunes_Control/Sync/Media/song.mp3"));
    media->setFileSizeNumber(700);
    std::vector<CleanItem> plan{cleanup::itemOfEntry(CleanCategory::SyncFailed, *media),
                                cleanup::adCacheItem(kGame, "/Library/Caches/com.adnet.sdk")};
    const auto report = CleanRemovalEngine(target, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::Done);
    EXPECT_EQ(report.freed(CleanCategory::SyncFailed), 700u);
    EXPECT_EQ(report.freed(CleanCategory::AdCache), 100u);
    EXPECT_FALSE(onDevice("phone", "/iTunes_Control/Sync/Media/song.mp3"));
    // The folder is gone, with everything in it, and an empty file stands in its place.
    const auto placeholder = containerFile(kGame, "/Library/Caches/com.adnet.sdk");
    EXPECT_TRUE(std::filesystem::is_regular_file(placeholder));
    EXPECT_EQ(std::filesystem::file_size(placeholder), 0u);
}

TEST_F(CleanRemovalEngineTest, ANewDeviceAtTheSameIndexIsNeverTouched) {
    device().addContainerFile(kMail, "/tmp/a", 1);
    const auto target = attachDevice();
    // A plan of another device that had this index before: its serial differs.
    const cleanup::CleanDeviceTarget stale{target.deviceIndex, target.deviceSerial + 1000};
    const auto plan = cleanup::itemsOfRecords(CleanCategory::Junk, {record(kMail, "/tmp/a", 1)});
    const auto report = CleanRemovalEngine(stale, plan).run();
    EXPECT_EQ(report.status, CleanRunStatus::DeviceGone);
    EXPECT_EQ(report.outcomes[0], CleanItemOutcome::NotTried);
    EXPECT_EQ(report.freedBytes, 0u);
    EXPECT_TRUE(inContainer(kMail, "/tmp/a"));
}

// The device leaves after N operations, for many N: each run ends with a report whose freed
// figure is never more than what is missing from the device afterwards.
TEST_F(CleanRemovalEngineTest, ADeviceLeavingMidRunCountsOnlyWhatWent) {
    const std::vector<std::pair<std::string, std::uint64_t>> files{
        {"/Library/Caches/a", 1}, {"/Library/Caches/d/b", 2}, {"/tmp/c", 4}, {"/Documents/e", 8}};
    bool sawDeviceGone = false;
    for (int limit = 2; limit <= 90; limit += 4) {
        const std::string udid = "detach" + std::to_string(limit);
        auto device = builder(udid);
        simdev::AppSpec app;
        app.bundleId = kMail;
        app.displayName = "Mail";
        device.addApp(app);
        for (const auto& [path, size] : files) {
            device.addContainerFile(kMail, path, size);
        }
        device.setFault(md::sim::kFaultDetachAfter, PlistValue(static_cast<std::int64_t>(limit)));
        const int index = attachBuilt(device);
        if (index < 0 || !amd::DeviceManager::GetInstance().IsAttached(index, serialOf(index))) {
            continue;  // the limit ran out while attaching
        }
        std::vector<CleanItem> plan =
            cleanup::itemsOfRecords(CleanCategory::Cache, {record(kMail, "/Library/Caches/a", 1)});
        plan.push_back(
            cleanup::itemsOfRecords(CleanCategory::Junk, {record(kMail, "/tmp/c", 4)})[0]);
        plan.push_back(cleanup::itemsOfRecords(CleanCategory::Document,
                                               {record(kMail, "/Documents/e", 8)})[0]);
        Tree tree;
        tree.add("Mail", kMail, "/Library/Caches/d/b", 2);
        plan.push_back(cleanup::itemsOfTreeFolder(
            CleanCategory::Cache, tree.folder({"Mail", "Library", "Caches", "d"}))[0]);
        const auto report = CleanRemovalEngine({index, serialOf(index)}, plan).run();

        std::uint64_t missing = 0;
        const auto container = deviceDir(udid) / "apps" / kMail / "container";
        for (const auto& [path, size] : files) {
            if (!std::filesystem::exists(container / path.substr(1))) {
                missing += size;
            }
        }
        EXPECT_LE(report.freedBytes, missing) << limit;
        if (report.status == CleanRunStatus::DeviceGone) {
            sawDeviceGone = true;
        } else {
            EXPECT_EQ(report.status, CleanRunStatus::Done) << limit;
            EXPECT_EQ(report.freedBytes, missing) << limit;
        }
        amd::DeviceManager::GetInstance().Reset();
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }
    EXPECT_TRUE(sawDeviceGone);
}

TEST_F(CleanRemovalEngineTest, AStopEndsTheRunAndLeavesTheRestUntried) {
    device().addContainerFile(kMail, "/tmp/a", 1);
    device().addContainerFile(kMail, "/tmp/b", 2);
    device().addContainerFile(kMail, "/tmp/c", 4);
    const auto target = attachDevice();
    const auto plan = cleanup::itemsOfRecords(
        CleanCategory::Junk,
        {record(kMail, "/tmp/a", 1), record(kMail, "/tmp/b", 2), record(kMail, "/tmp/c", 4)});
    bool stop = false;
    const auto report =
        CleanRemovalEngine(
            target, plan,
            [&](const cleanup::CleanProgress& progress) { stop = progress.handled == 1; },
            [&] { return stop; })
            .run();
    EXPECT_EQ(report.status, CleanRunStatus::Cancelled);
    EXPECT_EQ(report.outcomes,
              (std::vector<CleanItemOutcome>{CleanItemOutcome::Removed, CleanItemOutcome::NotTried,
                                             CleanItemOutcome::NotTried}));
    EXPECT_EQ(report.freedBytes, 1u);
    EXPECT_TRUE(inContainer(kMail, "/tmp/b"));
}

TEST_F(CleanRemovalEngineTest, AnEmptyPlanIsNothingToDo) {
    const auto target = attachDevice();
    const auto report = CleanRemovalEngine(target, {}).run();
    EXPECT_EQ(report.status, CleanRunStatus::NothingToDo);
    // A folder row with nothing found below it gives no plan at all.
    auto empty = std::make_shared<PRCleanDirNode>();
    EXPECT_TRUE(cleanup::itemsOfTreeFolder(CleanCategory::Cache, empty).empty());
}

TEST(CleanPercent, NeverDividesByZeroNorOverflows) {
    EXPECT_EQ(cleanup::cleanPercent(0, 0), 100);
    EXPECT_EQ(cleanup::cleanPercent(1, 3), 33);
    EXPECT_EQ(cleanup::cleanPercent(2, 3), 66);
    EXPECT_EQ(cleanup::cleanPercent(5, 4), 100);  // more handled than counted
    EXPECT_EQ(cleanup::cleanPercent(UINT64_MAX / 2, UINT64_MAX), 49);
    EXPECT_EQ(cleanup::cleanPercent(UINT64_MAX - 1, UINT64_MAX), 99);
}

TEST(CleanTexts, KeepTheirExactWording) {
    EXPECT_EQ(cleanup::removeProgressText(4, 4, 2048),
              QStringLiteral("Has remove 4 files of 4 files, 2.05KB "));
    EXPECT_TRUE(cleanup::filesFoundText(0, 0).startsWith(QStringLiteral("Files Found: ")));
    EXPECT_TRUE(cleanup::filesFoundText(0, 0).endsWith(QStringLiteral(" in  0 file(s)")));
}

// ------------------------------------------------------------------------------ the queue

class CleanJobQueueTest : public CleanRemovalEngineTest {};

TEST_F(CleanJobQueueTest, AResetBeforeItsTurnKeepsAJobOffTheDevice) {
    device().addContainerFile(kMail, "/tmp/a", 1);
    device().addContainerFile(kMail, "/tmp/b", 2);
    const auto target = attachDevice();

    cleanup::CleanJobQueue queue;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    queue.post(target, [released](const cleanup::CleanJobQueue::StopCheck&) { released.wait(); });
    std::atomic<bool> staleRan{false};
    const std::uint64_t first = queue.postRemoval(
        target, cleanup::itemsOfRecords(CleanCategory::Junk, {record(kMail, "/tmp/a", 1)}), {},
        [&](const cleanup::CleanRemovalReport&, std::uint64_t) { staleRan = true; });
    queue.reset();
    EXPECT_FALSE(queue.isCurrent(first));

    std::promise<cleanup::CleanRemovalReport> done;
    const std::uint64_t second = queue.postRemoval(
        target, cleanup::itemsOfRecords(CleanCategory::Junk, {record(kMail, "/tmp/b", 2)}), {},
        [&](const cleanup::CleanRemovalReport& report, std::uint64_t generation) {
            EXPECT_EQ(generation, second);
            done.set_value(report);
        });
    release.set_value();
    const auto report = done.get_future().get();
    EXPECT_TRUE(queue.isCurrent(second));
    EXPECT_EQ(report.freedBytes, 2u);
    EXPECT_FALSE(staleRan);
    EXPECT_TRUE(inContainer(kMail, "/tmp/a"));
    EXPECT_FALSE(inContainer(kMail, "/tmp/b"));
}

}  // namespace
}  // namespace nimbara::test
