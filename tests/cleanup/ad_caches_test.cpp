// Advertisement-cache removal against simulated devices: folders removed with their contents
// and replaced by empty files, protected files kept, rows that were not "Live" or paths that are
// no cache left alone, failures reported, and no action on a device that took the index later.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cleanup/ad_caches.h"
#include "cleanup/app_clean_scan.h"
#include "device/device_status.h"
#include "quick_scan_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::cleanup;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;

class AdCachesTest : public nimbara::test::QuickScanTest {
  protected:
    // Three user apps: "one" with two cache folders (one nested), "none" without, "two" with
    // one holding a database file, which is protected, and one plain.
    SimDeviceBuilder adsDevice(const std::string& udid) {
        SimDeviceBuilder b = builder(udid);
        for (const char* id : {"com.example.one", "com.example.none", "com.example.two"}) {
            AppSpec a;
            a.bundleId = id;
            a.displayName = id;
            a.withIcon = false;
            b.addApp(a);
        }
        b.addContainerFile("com.example.one", "/Library/Caches/com.MoPub.cache/a.dat", 300);
        b.addContainerFile("com.example.one", "/Library/Caches/com.MoPub.cache/sub/b.dat", 200);
        b.addContainerFile("com.example.one", "/Library/Caches/Chartboost/c.dat", 50);
        b.addContainerFile("com.example.one", "/Library/Caches/keep.bin", 10);
        b.addContainerFile("com.example.none", "/Library/Caches/plain/x.bin", 10);
        b.addContainerFile("com.example.two", "/Library/Caches/tapjoy/state.db", 70);
        b.addContainerFile("com.example.two", "/Library/Caches/flurry/f.dat", 40);
        return b;
    }

    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> scanRows(int index) {
        return AppCleanScanEngine({index, 0, false, true}).run().adsRemoveArray;
    }

    static std::shared_ptr<PRAppAdsRemoveNode> row(
        const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& rows, const char* id) {
        for (const auto& r : rows) {
            if (r->appBundleID() == QLatin1String(id)) {
                return r;
            }
        }
        return nullptr;
    }
};

TEST_F(AdCachesTest, RemovingOneAppReplacesEachFolderByAnEmptyFile) {
    SimDeviceBuilder b = adsDevice("one");
    const int index = attachDevice(b);
    const auto rows = scanRows(index);
    const auto one = row(rows, "com.example.one");
    ASSERT_TRUE(one);
    ASSERT_EQ(one->appPlatformCount(), QStringLiteral("2"));

    AdCacheRemover remover(index, 0, {one});
    int done = 0;
    remover.onAppDone = [&](const auto& node) {
        EXPECT_EQ(node, one);
        ++done;
    };
    const AdRemovalReport report = remover.run();
    EXPECT_EQ(done, 1);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_EQ(report.foldersRemoved, 2);
    EXPECT_EQ(report.bytesFreed, 550u);
    EXPECT_EQ(report.appsRemoved, 1);
    EXPECT_EQ(one->appAdsState(), QStringLiteral("Removed"));
    EXPECT_EQ(one->appPlatformCount(), QStringLiteral("0"));
    for (const char* name : {"com.MoPub.cache", "Chartboost"}) {
        const fs::path p =
            b.containerPath("com.example.one", std::string("/Library/Caches/") + name);
        EXPECT_TRUE(fs::is_regular_file(p)) << name;
        EXPECT_EQ(fs::file_size(p), 0u) << name;
    }
    EXPECT_TRUE(fs::exists(b.containerPath("com.example.one", "/Library/Caches/keep.bin")));
    // The other apps are untouched.
    EXPECT_TRUE(fs::is_directory(b.containerPath("com.example.two", "/Library/Caches/flurry")));
}

TEST_F(AdCachesTest, ProtectedFileKeepsItsFolderAndTheRowStaysLive) {
    SimDeviceBuilder b = adsDevice("protected");
    const int index = attachDevice(b);
    const auto two = row(scanRows(index), "com.example.two");
    ASSERT_TRUE(two);
    const AdRemovalReport report = AdCacheRemover(index, 0, {two}).run();
    EXPECT_EQ(report.foldersRemoved, 1);
    EXPECT_EQ(report.bytesFreed, 40u);
    EXPECT_EQ(report.appsRemoved, 0);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].path, "/Library/Caches/tapjoy");
    EXPECT_TRUE(
        fs::is_regular_file(b.containerPath("com.example.two", "/Library/Caches/tapjoy/state.db")));
    EXPECT_EQ(two->appAdsState(), QStringLiteral("Live"));
    EXPECT_EQ(two->appPlatformCount(), QStringLiteral("1"));
    EXPECT_EQ(two->appAdsPlatArray(), (std::vector<std::string>{"/Library/Caches/tapjoy"}));
}

TEST_F(AdCachesTest, RemoveAllWorksOnLiveRowsOnly) {
    SimDeviceBuilder b = adsDevice("all");
    const int index = attachDevice(b);
    auto rows = scanRows(index);
    ASSERT_EQ(rows.size(), 3u);
    const auto none = row(rows, "com.example.none");
    EXPECT_EQ(none->appAdsState(), QStringLiteral("No Ads"));
    std::vector<QString> done;
    AdCacheRemover remover(index, 0, rows);
    remover.onAppDone = [&](const auto& node) { done.push_back(node->appBundleID()); };
    const AdRemovalReport report = remover.run();
    EXPECT_EQ(done.size(), 2u);  // the "No Ads" row is passed over
    EXPECT_EQ(report.foldersRemoved, 3);
    EXPECT_EQ(none->appAdsState(), QStringLiteral("No Ads"));
    EXPECT_TRUE(fs::is_directory(b.containerPath("com.example.none", "/Library/Caches/plain")));
    // A second run over the same rows does nothing for the removed row.
    int again = 0;
    AdCacheRemover second(index, 0, rows);
    second.onAppDone = [&](const auto&) { ++again; };
    second.run();
    EXPECT_EQ(again, 1);  // only the row that kept its protected folder
}

TEST_F(AdCachesTest, PathsThatAreNoCacheFolderAreRefused) {
    SimDeviceBuilder b = adsDevice("tampered");
    const int index = attachDevice(b);
    auto node = std::make_shared<PRAppAdsRemoveNode>();
    node->setAppBundleID(QStringLiteral("com.example.one"));
    node->setAppAdsState(QStringLiteral("Live"));
    node->setAppAdsPlatArray({"/Library/Preferences", "/Library/Caches/../Preferences",
                              "/Library/Caches/mopub/../../Preferences", "/Library/Caches/plain"});
    const AdRemovalReport report = AdCacheRemover(index, 0, {node}).run();
    EXPECT_EQ(report.foldersRemoved, 0);
    EXPECT_EQ(report.failures.size(), 4u);
    EXPECT_EQ(node->appAdsState(), QStringLiteral("Live"));
    EXPECT_TRUE(fs::is_directory(b.containerPath("com.example.one", "/Library/Preferences")));
}

TEST_F(AdCachesTest, RefusedContainerIsAFailureNotARemoval) {
    SimDeviceBuilder b = adsDevice("refused");
    const int index = attachDevice(b);
    const auto one = row(scanRows(index), "com.example.one");
    nimbara::PlistValue refused = nimbara::PlistValue::array();
    refused.append(nimbara::PlistValue("com.example.one"));
    b.setFault("RefusedContainers", refused);
    ASSERT_TRUE(b.write());
    const AdRemovalReport report = AdCacheRemover(index, 0, {one}).run();
    EXPECT_EQ(report.foldersRemoved, 0);
    ASSERT_EQ(report.failures.size(), 2u);  // each of the app's two folders
    for (const AdRemovalFailure& failure : report.failures) {
        EXPECT_EQ(failure.code, amd::DeviceCode::ContainerRefused);
    }
    EXPECT_EQ(one->appAdsState(), QStringLiteral("Live"));
}

TEST_F(AdCachesTest, NothingIsRemovedOnADeviceThatTookTheIndexLater) {
    SimDeviceBuilder first = adsDevice("first");
    const int index = attachDevice(first);
    const auto rows = scanRows(index);
    const std::uint64_t serial = amd::DeviceManager::GetInstance().DeviceSerial(index);
    library_->detach(first.dir().string());
    SimDeviceBuilder second = adsDevice("second");
    ASSERT_TRUE(second.write());
    ASSERT_EQ(attach(second.dir().string()), index);

    const AdRemovalReport report = AdCacheRemover(index, serial, rows).run();
    EXPECT_TRUE(report.stopped);
    EXPECT_EQ(report.foldersRemoved, 0);
    EXPECT_TRUE(fs::is_directory(
        second.containerPath("com.example.one", "/Library/Caches/com.MoPub.cache")));
    EXPECT_EQ(row(rows, "com.example.one")->appAdsState(), QStringLiteral("Live"));
}

}  // namespace

namespace {

// The pages' settling of a removal report: rows keep what stayed, only removals are counted.
TEST(AdRowsSettling, RowsKeepWhatStayedAndOnlyRemovalsCount) {
    auto makeRow = [](const char* id, std::vector<std::string> folders) {
        auto r = std::make_shared<PRAppAdsRemoveNode>();
        r->setAppBundleID(QString::fromLatin1(id));
        r->setAppAdsPlatArray(std::move(folders));
        r->setAppAdsState(QLatin1String(PRAppAdsRemoveNode::kStateLive));
        return r;
    };
    const auto gone = makeRow("com.example.a", {"/Library/Caches/mopub", "/Library/Caches/flurry"});
    const auto kept = makeRow("com.example.b", {"/Library/Caches/tapjoy", "/Library/Caches/admob"});
    const std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows = {gone, kept};
    const std::vector<CleanItem> plan = adCachePlan(rows);
    ASSERT_EQ(plan.size(), 4u);
    EXPECT_EQ(plan[2].bundleId, "com.example.b");
    EXPECT_EQ(plan[2].kind, CleanItem::Kind::AdCacheFolder);

    CleanRemovalReport report;
    report.outcomes = {CleanItemOutcome::Removed, CleanItemOutcome::Gone, CleanItemOutcome::Failed,
                       CleanItemOutcome::Removed};
    EXPECT_EQ(settleAdRows(rows, plan, report), 2) << "a folder already gone is not counted";
    EXPECT_EQ(gone->appAdsState(), QStringLiteral("Removed"));
    EXPECT_EQ(gone->appPlatformCount(), QStringLiteral("0"));
    EXPECT_EQ(kept->appAdsState(), QStringLiteral("Live"));
    EXPECT_EQ(kept->appAdsPlatArray(), std::vector<std::string>{"/Library/Caches/tapjoy"});

    // A run that stopped before the rest: what was not tried stays.
    const auto late = makeRow("com.example.c", {"/Library/Caches/inmobi"});
    CleanRemovalReport stopped;
    EXPECT_EQ(settleAdRows({late}, adCachePlan({late}), stopped), 0);
    EXPECT_EQ(late->appAdsState(), QStringLiteral("Live"));
    EXPECT_EQ(late->platformCount(), 1);
}

}  // namespace
