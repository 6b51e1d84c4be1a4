// The advertisement-removal page on the README's demo device, rendered offscreen: its scan button,
// the list of user apps with their advertisement caches, the removal of one app's caches and of
// all of them (each asked first), and a device change that resets it.
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "cleanup/ad_caches.h"
#include "cleanup/pages/pr_ads_remove_controller.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

class AdsRemovePageTest : public DelegateTest {
  protected:
    void SetUp() override {
        DelegateTest::SetUp();
        demo_ = tmp_ / "demo";
        std::string error;
        ASSERT_TRUE(simdev::makeDemoDevice(demo_, &error)) << error;
        index_ = attach(demo_.string());
        ASSERT_GE(index_, 0);
        container_ = std::make_unique<QWidget>();
        container_->resize(900, 600);
        // Nothing in the main window leads here: whoever shows the page gives it its device.
        page().showView(container_.get());
        page().setDeviceIndex(index_);
    }
    void TearDown() override {
        DelegateTest::TearDown();
        container_.reset();
    }

    PRAdsRemoveController& page() { return *hub().adsRemoveController(); }

    // The advertisement-cache folders on the device, by bundle identifier (user apps whose
    // container opens).
    std::map<std::string, std::set<std::string>> adFolders() const {
        std::map<std::string, std::set<std::string>> found;
        for (const auto& app : fs::directory_iterator(demo_ / md::sim::kAppsDir)) {
            const fs::path caches = app.path() / md::sim::kAppContainer / "Library/Caches";
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(caches, ec)) {
                if (fs::is_directory(e.symlink_status()) &&
                    cleanup::adPlatformIndex(e.path().filename().string()) >= 0) {
                    found[app.path().filename().string()].insert(e.path().filename().string());
                }
            }
        }
        return found;
    }
    fs::path cachesOf(const QString& bundleId) const {
        return demo_ / md::sim::kAppsDir / bundleId.toStdString() / md::sim::kAppContainer /
               "Library/Caches";
    }

    void pressScan() {
        NotificationCenter::defaultCenter().post("MyScanbuttonMouseDown",
                                                 static_cast<QObject*>(page().adsUi().scanButton));
    }
    bool waitIdle() {
        return pumpUntil([this] { return !page().scanRunning() && !page().removalRunning(); });
    }
    void scan() {
        pressScan();
        ASSERT_TRUE(page().scanRunning());
        ASSERT_TRUE(waitIdle());
        ASSERT_EQ(page().shownView(), "adsRemoveSecondView");
    }
    int rowOf(const char* state) {
        const auto& rows = page().adsController()->content();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i]->appAdsState() == QLatin1String(state)) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    fs::path demo_;
    int index_ = -1;
    std::unique_ptr<QWidget> container_;
};

TEST_F(AdsRemovePageTest, ScanListsEachUserAppOnceWithItsCachesLargerCountsFirst) {
    PRAdsRemoveController& p = page();
    EXPECT_EQ(p.deviceIndex(), index_);
    EXPECT_EQ(p.shownView(), "adsRemoveFirstView");
    EXPECT_EQ(p.adPlatArray().size(), 53u);

    // Another page's scan button is not this page's.
    PRScanButton other;
    NotificationCenter::defaultCenter().post("MyScanbuttonMouseDown",
                                             static_cast<QObject*>(&other));
    EXPECT_FALSE(p.bStartScan());
    EXPECT_FALSE(p.scanRunning());

    pressScan();
    pressScan();  // a second press starts no second scan
    ASSERT_TRUE(p.scanRunning());
    EXPECT_TRUE(p.bStartScan());
    EXPECT_EQ(p.adsUi().scanButton->imageName(), "scanDown.png");
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(p.shownView(), "adsRemoveSecondView");

    const auto device = adFolders();
    const auto& rows = p.adsController()->content();
    ASSERT_FALSE(rows.empty());
    std::set<QString> seen;
    int live = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& row = rows[i];
        EXPECT_TRUE(seen.insert(row->appBundleID()).second) << "each app once";
        if (i > 0) {
            EXPECT_GE(rows[i - 1]->platformCount(), row->platformCount()) << "larger counts first";
        }
        const auto it = device.find(row->appBundleID().toStdString());
        const int onDevice = it == device.end() ? 0 : static_cast<int>(it->second.size());
        EXPECT_EQ(row->platformCount(), onDevice) << row->appBundleID().toStdString();
        EXPECT_EQ(row->appAdsState(), onDevice > 0 ? "Live" : "No Ads");
        live += onDevice > 0 ? 1 : 0;
    }
    EXPECT_GT(live, 0);
    EXPECT_GE(rowOf("No Ads"), 0);
    EXPECT_EQ(
        p.adsUi().adsInfolab->text(),
        QStringLiteral("%1 of %2 apps keep advertisement caches.").arg(live).arg(rows.size()));
    EXPECT_FALSE(p.adsUi().theFalshView->isVisible());
    EXPECT_FALSE(p.statusText().isEmpty()) << "the app that shares no files is named";

    // Back, then a new scan: each app once again, not twice.
    const std::size_t count = rows.size();
    p.BackToScanAdsAction();
    EXPECT_EQ(p.shownView(), "adsRemoveFirstView");
    EXPECT_FALSE(p.bStartScan());
    EXPECT_EQ(p.adsController()->rowCount(), 0);
    EXPECT_EQ(p.adsUi().scanButton->imageName(), "scanNom.png");
    scan();
    EXPECT_EQ(p.adsController()->content().size(), count);
}

TEST_F(AdsRemovePageTest, RemovingOneAppsCachesAsksFirstAndLeavesEmptyFilesInTheirPlace) {
    scan();
    PRAdsRemoveController& p = page();
    const int at = rowOf("Live");
    ASSERT_GE(at, 0);
    const auto row = p.adsController()->rowAt(at);
    const QString id = row->appBundleID();
    const auto before = adFolders();
    p.adsUi().adTableView->selectRow(at);
    EXPECT_EQ(p.currentRemoveNode(), row);

    // Declined: nothing changes.
    QStringList asked;
    {
        Alerts::ScopedHandler decline([&](QWidget*, const Alerts::Question& q) {
            asked << q.message;
            return Alerts::Answer::Alternate;
        });
        p.RemoveAdsAction();
    }
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.front(),
              QStringLiteral("Remove the advertisement caches of \"%1\"?").arg(row->appName()));
    EXPECT_FALSE(p.removalRunning());
    EXPECT_EQ(adFolders(), before);
    EXPECT_EQ(row->appAdsState(), "Live");

    {
        Alerts::ScopedHandler accept(
            [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
        p.RemoveAdsAction();
    }
    ASSERT_TRUE(p.removalRunning());
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(row->appAdsState(), "Removed");
    EXPECT_EQ(row->appPlatformCount(), "0");
    const auto after = adFolders();
    EXPECT_EQ(after.count(id.toStdString()), 0u);
    for (const std::string& name : before.at(id.toStdString())) {
        const fs::path placeholder = cachesOf(id) / name;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(placeholder))) << name;
        EXPECT_EQ(fs::file_size(placeholder), 0u);
    }
    auto others = before;
    others.erase(id.toStdString());
    EXPECT_EQ(after, others) << "the other apps keep theirs";
    EXPECT_TRUE(p.adsUi().adsInfolab->text().startsWith(
        QStringLiteral("%1 advertisement cache folder(s) removed")
            .arg(before.at(id.toStdString()).size())));

    // A row without caches only says so.
    asked.clear();
    Alerts::ScopedHandler record([&](QWidget*, const Alerts::Question& q) {
        asked << q.message + "|" + q.defaultButton;
        return Alerts::Answer::Default;
    });
    p.adsUi().adTableView->selectRow(at);  // now "Removed"
    p.RemoveAdsAction();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked.front(),
              QStringLiteral("No ads detected, please contact us for further assistance or choose "
                             "other ads to remove.| Ok "));
    EXPECT_FALSE(p.removalRunning());
}

TEST_F(AdsRemovePageTest, RemoveAllTakesEveryLiveRowAndCountsWhatWent) {
    scan();
    PRAdsRemoveController& p = page();
    // Apps without a row (built-in ones, one whose container is refused) are not touched.
    auto unlisted = adFolders();
    std::size_t folders = 0;
    for (const auto& row : p.adsController()->content()) {
        const auto it = unlisted.find(row->appBundleID().toStdString());
        if (it != unlisted.end()) {
            folders += it->second.size();
            unlisted.erase(it);
        }
    }
    ASSERT_GT(folders, 0u);
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.RemoveAllAdsAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(adFolders(), unlisted);
    for (const auto& row : p.adsController()->content()) {
        EXPECT_NE(row->appAdsState(), "Live");
    }
    EXPECT_TRUE(p.adsUi().adsInfolab->text().startsWith(
        QStringLiteral("%1 advertisement cache folder(s) removed").arg(folders)));
    EXPECT_TRUE(p.statusText().isEmpty());

    // Nothing left to remove: the page says so and starts nothing.
    QStringList asked;
    Alerts::ScopedHandler record([&](QWidget*, const Alerts::Question& q) {
        asked << q.message;
        return Alerts::Answer::Default;
    });
    p.RemoveAllAdsAction();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.front().startsWith("No ads detected"));
    EXPECT_FALSE(p.removalRunning());
}

TEST_F(AdsRemovePageTest, ADeviceChangeResetsThePageAndCancelsWhatWasAskedAbout) {
    scan();
    PRAdsRemoveController& p = page();
    const auto before = adFolders();
    const int other = attachNew("other-phone", Dev("Other"));
    ASSERT_GE(other, 0);
    EXPECT_EQ(p.adsController()->rowCount(), static_cast<int>(p.adsRemoveArray().size()))
        << "another device attaching changes nothing";

    // The page is given another device while the question is open: the answer no longer counts.
    const int at = rowOf("Live");
    ASSERT_GE(at, 0);
    p.adsUi().adTableView->selectRow(at);
    {
        Alerts::ScopedHandler switchAndAccept([&](QWidget*, const Alerts::Question&) {
            p.setDeviceIndex(other);
            return Alerts::Answer::Default;
        });
        p.RemoveAdsAction();
    }
    EXPECT_FALSE(p.removalRunning());
    pumpEvents(20);
    EXPECT_EQ(adFolders(), before) << "nothing removed from the old device";
    EXPECT_EQ(p.shownView(), "adsRemoveFirstView");
    EXPECT_EQ(p.adsController()->rowCount(), 0);
    EXPECT_TRUE(p.adsRemoveArray().empty());
    EXPECT_FALSE(p.bStartScan());

    // A scan running when the page is given another device leaves nothing behind.
    p.setDeviceIndex(index_);
    pressScan();
    ASSERT_TRUE(p.scanRunning());
    p.setDeviceIndex(other);
    EXPECT_FALSE(p.scanRunning());
    pumpEvents(200);
    EXPECT_EQ(p.shownView(), "adsRemoveFirstView");
    EXPECT_EQ(p.adsController()->rowCount(), 0);

    // The device whose rows are shown goes away: the page resets and says so.
    p.setDeviceIndex(index_);
    scan();
    ASSERT_GT(p.adsController()->rowCount(), 0);
    ASSERT_TRUE(library_->detach(demo_.string()));
    ASSERT_TRUE(pumpUntil([&] { return p.adsController()->rowCount() == 0; }));
    EXPECT_EQ(p.shownView(), "adsRemoveFirstView");
    EXPECT_TRUE(p.statusText().startsWith("The device whose apps were listed"));
    EXPECT_TRUE(p.adsUi().removeBtn->isEnabled());
}

}  // namespace
}  // namespace nimbara::test
