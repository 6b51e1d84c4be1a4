// Feature tabs, sidebar, status page arithmetic, busy indicators and the clean-up size labels of
// the main window.
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_ui.h"
#include "delegate_fixture.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "ui/color_progress_view.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "ui/page_call_log.h"
#include "widget_test_support.h"

namespace nimbara::test {
namespace {

using ui::PageCallLog;

// The page views that are not hidden, by object name.
std::vector<std::string> shownPages(const MainWindowUi& ui) {
    std::vector<std::string> result;
    for (QWidget* page : ui.pageViews()) {
        if (shown(page)) {
            result.push_back(page->objectName().toStdString());
        }
    }
    return result;
}

class NavigationTest : public DelegateTest {
  protected:
    // Attaches an iOS 12 device and returns its index.
    int attachPhone(const std::string& version = "12.4.1") {
        const int index = attachNew("nav-phone", Dev("Nav Phone").version(version));
        EXPECT_GE(index, 0);
        PageCallLog::clear();
        return index;
    }
};

TEST_F(NavigationTest, FeatureTabsSetUpTheirPageOnFirstShowOnly) {
    const int index = attachPhone();
    const std::string i = std::to_string(index);
    struct Case {
        void (QuennicAppDelegate::*action)(QObject*);
        bool QuennicAppDelegate::*flag;
        QWidget* MainWindowUi::*page;
        std::vector<std::string> firstCalls;
    };
    const std::vector<Case> cases = {
        {&QuennicAppDelegate::ClickPrivacyClean,
         &QuennicAppDelegate::bPrivacyClean,
         &MainWindowUi::privacyCleanView,
         {"PRPrivacyController::showView(privacyCleanView)",
          "PRPrivacyController::setDeviceIndex(" + i + ", \"12.4.1\")"}},
        {&QuennicAppDelegate::ClickAdsRemove,
         &QuennicAppDelegate::bAdsRemove,
         &MainWindowUi::adsRemoveView,
         {"PRSystemBoostViewController::showView(adsRemoveView)",
          "PRSystemBoostViewController::setDeviceIndex(" + i + ")"}},
        {&QuennicAppDelegate::ClickOneCopy,
         &QuennicAppDelegate::bOneClickCopy,
         &MainWindowUi::oneCopyView,
         {"PROneCopyViewController::showView(oneCopyView)",
          "PROneCopyViewController::setCopyIndex(" + i + ")"}},
        {&QuennicAppDelegate::FindLargerFile,
         &QuennicAppDelegate::bFindLargeFiles,
         &MainWindowUi::findLargerView,
         {"PRFindLargeFileViewController::showView(findLargerView)",
          "PRFindLargeFileViewController::setDeviceIndex(" + i + ")"}},
        {&QuennicAppDelegate::ClickAppCleaner,
         &QuennicAppDelegate::bAppClean,
         &MainWindowUi::ClearnView,
         {"PRCleanViewController::showView(ClearnView)",
          "PRCleanViewController::NimbaraShowDeviceClean(" + i + ")"}},
        {&QuennicAppDelegate::ClickDiskManage,
         &QuennicAppDelegate::bDiskManage,
         &MainWindowUi::diskManageView,
         {"PRDiskaManagerViewController::showView(diskManageView)",
          "PRDiskaManagerViewController::setDiskManageDeviceIndex(" + i + ")"}},
    };
    for (const Case& c : cases) {
        QWidget* page = ui().*c.page;
        SCOPED_TRACE(page->objectName().toStdString());
        EXPECT_FALSE(hub().*c.flag);
        PageCallLog::clear();
        (hub().*c.action)(nullptr);
        EXPECT_EQ(PageCallLog::entries(), c.firstCalls);
        EXPECT_TRUE(hub().*c.flag);
        EXPECT_EQ(shownPages(ui()), std::vector<std::string>{page->objectName().toStdString()});

        // Away and back: the page is only shown again.
        hub().ClickMainStatu(nullptr);
        EXPECT_FALSE(shown(page));
        PageCallLog::clear();
        (hub().*c.action)(nullptr);
        EXPECT_TRUE(PageCallLog::entries().empty());
        EXPECT_TRUE(shown(page));
    }
}

TEST_F(NavigationTest, StorageCategoriesOpenTheStorageManagerEveryTimeWithoutSettingItUp) {
    const int index = attachPhone();
    const std::string i = std::to_string(index);
    const std::vector<std::pair<void (QuennicAppDelegate::*)(QObject*), std::string>> cases = {
        {&QuennicAppDelegate::ClickPhotoDiskManage, "ScanDiskPhotoFiles"},
        {&QuennicAppDelegate::ClickMusicDiskManage, "ScanDiskMusicFiles"},
        {&QuennicAppDelegate::ClickVideoDiskManage, "ScanDiskVideoFiles"},
        {&QuennicAppDelegate::ClickBooksDiskManage, "ScanDiskBooksFiles"},
        {&QuennicAppDelegate::ClickAppsDiskManage, "ScanDiskUserAppFiles"},
        {&QuennicAppDelegate::ClickSystemAppsDiskManage, "ScanDiskSystemAppFiles"},
        {&QuennicAppDelegate::ClickUserDataDiskManage, "ScanDiskUserDataFiles"},
    };
    for (const auto& [action, scan] : cases) {
        SCOPED_TRACE(scan);
        for (int round = 0; round < 2; ++round) {
            PageCallLog::clear();
            (hub().*action)(nullptr);
            const std::vector<std::string> expected = {
                "PRDiskaManagerViewController::showView(diskManageView)",
                "PRDiskaManagerViewController::setDiskManageDeviceIndex(" + i + ")",
                "PRDiskaManagerViewController::" + scan + "(nullptr)"};
            EXPECT_EQ(PageCallLog::entries(), expected);
            EXPECT_EQ(shownPages(ui()), std::vector<std::string>{"diskManageView"});
        }
    }
    // The category actions never mark the page as set up: the tab still sets it up once.
    EXPECT_FALSE(hub().bDiskManage);
    PageCallLog::clear();
    hub().ClickDiskManage(nullptr);
    EXPECT_EQ(PageCallLog::entries().size(), 2u);
    EXPECT_TRUE(hub().bDiskManage);
}

TEST_F(NavigationTest, TabPressesAndHoverChangeImagesAndDownStates) {
    attachPhone();
    MainWindowUi& w = ui();
    ASSERT_TRUE(shown(w.diskManageBannerBtn));

    sendMouse(w.diskManageBannerBtn, QEvent::MouseButtonPress);
    sendMouse(w.diskManageBannerBtn, QEvent::MouseButtonRelease);
    EXPECT_EQ(w.diskManageBannerBtn->imageName(), "diskmanagerDown.png");
    EXPECT_TRUE(w.diskManageBannerBtn->btnDown());
    EXPECT_FALSE(w.mainStatusBannerBtn->btnDown());
    EXPECT_EQ(w.mainStatusBannerBtn->imageName(), "DeviceManager_Nom.png");
    EXPECT_EQ(w.privacyBannerBtn->imageName(), "privacyclean_Nom.png");
    EXPECT_EQ(shownPages(w), std::vector<std::string>{"diskManageView"});

    sendMouse(w.privacyBannerBtn, QEvent::MouseButtonPress);
    EXPECT_EQ(w.privacyBannerBtn->imageName(), "privacyclean_Down.png");
    EXPECT_TRUE(w.privacyBannerBtn->btnDown());
    EXPECT_FALSE(w.diskManageBannerBtn->btnDown());
    EXPECT_EQ(w.diskManageBannerBtn->imageName(), "diskmanagerNom.png");
    EXPECT_EQ(shownPages(w), std::vector<std::string>{"privacyCleanView"});

    // Hover looks on a tab that is up; a tab that is down keeps its look.
    sendEnter(w.findLargeBannerBtn);
    EXPECT_EQ(w.findLargeBannerBtn->imageName(), "findlargefilesEnter.png");
    sendLeave(w.findLargeBannerBtn);
    EXPECT_EQ(w.findLargeBannerBtn->imageName(), "findlargefilesNom.png");
    sendEnter(w.privacyBannerBtn);
    EXPECT_EQ(w.privacyBannerBtn->imageName(), "privacyclean_Down.png");

    // Pressing the tab that is down runs its page action again.
    hub().ClickMainStatu(nullptr);
    sendMouse(w.privacyBannerBtn, QEvent::MouseButtonPress);
    EXPECT_EQ(shownPages(w), std::vector<std::string>{"privacyCleanView"});

    // The status tab shows the status page with its down look.
    sendMouse(w.mainStatusBannerBtn, QEvent::MouseButtonPress);
    EXPECT_EQ(w.mainStatusBannerBtn->imageName(), "DeviceManager_Down.png");
    EXPECT_EQ(shownPages(w), std::vector<std::string>{"StatuView"});
}

TEST_F(NavigationTest, SidebarSelectionStylesExactlyOneEntry) {
    attachPhone();
    auto expectSelected = [&](int selected) {
        int position = 0;
        for (const MainWindowUi::SidebarEntry& entry : ui().sidebarEntries()) {
            SCOPED_TRACE(entry.button->objectName().toStdString());
            const bool on = position == selected;
            EXPECT_EQ(ui::entryBackground(entry.button), on ? ui::kSelectedBlue : ui::kEntryGrey);
            EXPECT_EQ(ui::imageViewImageName(entry.imageView),
                      QLatin1String(on ? entry.selectedImage : entry.unselectedImage));
            EXPECT_EQ(ui::labelColour(entry.label), on ? QColor(Qt::white) : QColor(Qt::black));
            ++position;
        }
    };
    hub().ClickMusic(nullptr);
    expectSelected(4);
    hub().ClickNote(nullptr);
    expectSelected(14);
    hub().ClickCleanCache(nullptr);
    expectSelected(7);
    // The plain page switches leave the styling alone.
    hub().ClickTansfer(nullptr);
    hub().ClickBackup(nullptr);
    expectSelected(7);
    hub().ClickBackupAction(nullptr);
    expectSelected(10);
    hub().ClickMainStatu(nullptr);
    expectSelected(0);
}

TEST_F(NavigationTest, SidebarSwitchesOnlyTheSidebarPages) {
    const int index = attachPhone();
    hub().ClickOneCopy(nullptr);
    PageCallLog::clear();
    hub().ClickPhoto(nullptr);
    // A feature page left over the sidebar would hide the page asked for.
    EXPECT_EQ(shownPages(ui()), std::vector<std::string>{"TansferView"});
    const std::string i = std::to_string(index);
    EXPECT_EQ(PageCallLog::entries(),
              (std::vector<std::string>{"PRTansferViewController::showView(TansferView)",
                                        "PRTansferViewController::showPhotoView()",
                                        "PRTansferViewController::ShowPhoto(" + i + ")"}));
    hub().ClickMainStatu(nullptr);
    EXPECT_EQ(shownPages(ui()), std::vector<std::string>{"StatuView"});

    PageCallLog::clear();
    hub().ClickSystemLib(nullptr);
    EXPECT_EQ(shownPages(ui()), std::vector<std::string>{"systemlibView"});
    EXPECT_EQ(
        PageCallLog::entries(),
        (std::vector<std::string>{"PRPhoneSystemViewController::showPhoneSystemView(systemlibView)",
                                  "PRPhoneSystemViewController::LookupSystemTree(" + i + ")"}));
}

// The tabs that look pressed, by object name, and the sidebar entries that look selected, by
// position.
std::vector<std::string> currentTabs(const MainWindowUi& ui) {
    std::vector<std::string> result;
    for (PRBannerButton* tab : ui.bannerButtons()) {
        if (tab->btnDown() || tab->imageName().contains(QLatin1String("Down"))) {
            result.push_back(tab->objectName().toStdString());
        }
    }
    return result;
}

std::vector<int> selectedEntries(const MainWindowUi& ui) {
    std::vector<int> result;
    int position = 0;
    for (const MainWindowUi::SidebarEntry& entry : ui.sidebarEntries()) {
        if (ui::entryBackground(entry.button) == ui::kSelectedBlue ||
            ui::imageViewImageName(entry.imageView) == QLatin1String(entry.selectedImage)) {
            result.push_back(position);
        }
        ++position;
    }
    return result;
}

TEST_F(NavigationTest, OneTabIsCurrentAndOneEntryChosenWhicheverWayAPageIsReached) {
    attachPhone();
    const int second = attachNew("nav-second", Dev("Second Phone"));
    ASSERT_GE(second, 0);
    struct Case {
        const char* name;
        std::function<void()> go;
        const char* tab;
        std::vector<int> entries;  // the sidebar entries chosen (none: no entry is that page)
    };
    const std::vector<Case> cases = {
        {"tab press",
         [&] { sendMouse(ui().diskManageBannerBtn, QEvent::MouseButtonPress); },
         "diskManageBannerBtn",
         {0}},
        {"device change", [&] { hub().ChangeToAnotherDevice(second); }, "mainStatusBannerBtn", {0}},
        {"storage category", [&] { hub().ClickMusicDiskManage(); }, "diskManageBannerBtn", {0}},
        {"sidebar over a feature page", [&] { hub().ClickMusic(); }, "mainStatusBannerBtn", {4}},
        {"large files", [&] { hub().FindLargerFile(); }, "findLargeBannerBtn", {4}},
        {"backup", [&] { hub().ClickBackupAction(); }, "mainStatusBannerBtn", {10}},
        // iOS 12 has no app clean-up tab: the page shows beside the sidebar.
        {"app clean-up", [&] { hub().ClickAppCleaner(); }, "mainStatusBannerBtn", {}},
        {"clean-up summary", [&] { hub().ClickCleanAction(); }, "mainStatusBannerBtn", {}},
        {"device files", [&] { hub().ClickSystemLib(); }, "mainStatusBannerBtn", {1}},
        {"privacy", [&] { hub().ClickPrivacyClean(); }, "privacyBannerBtn", {1}},
        {"status", [&] { hub().ClickMainStatu(); }, "mainStatusBannerBtn", {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.go();
        EXPECT_EQ(currentTabs(ui()), std::vector<std::string>{c.tab});
        EXPECT_EQ(selectedEntries(ui()), c.entries);
        EXPECT_EQ(shownPages(ui()).size(), 1u);
    }
}

TEST_F(NavigationTest, BusyIndicatorsShowWhileTheirScanRuns) {
    attachPhone();
    MainWindowUi& w = ui();
    auto busy = [](FlashView* spinner) { return shown(spinner) && spinner->isFlashing(); };

    hub().SystemlibhasStartHandle();
    EXPECT_TRUE(busy(w.circleSystemProgress));
    NotificationCenter::defaultCenter().post("SystemlibhasFinished");
    EXPECT_FALSE(shown(w.circleSystemProgress));
    EXPECT_FALSE(w.circleSystemProgress->isFlashing());

    // Music and videos share one scan.
    hub().musicScanhasStartHandle();
    EXPECT_TRUE(busy(w.circleMusicProgress));
    EXPECT_TRUE(busy(w.circleVideoProgress));
    EXPECT_FALSE(shown(w.circlePhotoProgress));
    NotificationCenter::defaultCenter().post("musicScanFinished");
    EXPECT_FALSE(shown(w.circleMusicProgress));
    EXPECT_FALSE(shown(w.circleVideoProgress));

    hub().contactScanhasStartHandle();
    hub().messageScanhasStartHandle();
    EXPECT_TRUE(busy(w.circleContactProgress));
    EXPECT_TRUE(busy(w.circleMessageProgress));
    hub().contactScanFinishedHandle();
    EXPECT_FALSE(shown(w.circleContactProgress));
    EXPECT_TRUE(busy(w.circleMessageProgress));
    hub().messageScanFinishedHandle();
    hub().noteScanhasStartHandle();
    hub().noteScanFinishedHandle();
    EXPECT_FALSE(shown(w.circleNoteProgress));

    // A page's worker starts and finishes its scan: the views change on the GUI thread.
    std::atomic<bool> done{false};
    std::thread worker([&] {
        hub().photoScanhasStartHandle();
        hub().AppScanhasStartHandle();
        NotificationCenter::defaultCenter().post("AppScanFinished");
        done = true;
    });
    // The worker waits for the GUI thread at each step, so the GUI thread keeps running events.
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(busy(w.circlePhotoProgress));
    EXPECT_FALSE(shown(w.circleAppProgress));
}

class StatusPageTest : public NavigationTest {
  protected:
    PRColorProgressView* bar() { return ui().iDeviceColorView; }
};

TEST_F(StatusPageTest, RemovedBytesNeverWrapTheUsedSpace) {
    attachNew("status-phone", Dev("Status Phone").disk(64'000'000'000ULL, 16'000'000'000ULL));
    hub().setTotalAppRemoveFileSize(60'000'000'000ULL);
    hub().ClickMainStatu(nullptr);
    ASSERT_FALSE(bar()->getShowMore());
    // used = 48 GB - 60 GB is taken as 0; the free space shown grows by what was removed.
    EXPECT_EQ(bar()->usedValue(), 0.0f);
    EXPECT_FLOAT_EQ(bar()->freevalue(), 76.0f / 64.0f);
    EXPECT_EQ(ui().usedSpaceLab->text(), "0.00bytes of 64.00GB");
    EXPECT_EQ(ui().freeSpacelab->text(), "76.00GB free");

    // Books are not part of the removed total; the others add up.
    hub().setTotalAppRemoveFileSize(0);
    hub().setTotalBooksRemoveFileSize(8'000'000'000ULL);
    hub().setTotalPhotoRemoveFileSize(4'000'000'000ULL);
    hub().setTotalMusicRemoveFileSize(4'000'000'000ULL);
    hub().ClickMainStatu(nullptr);
    EXPECT_EQ(ui().usedSpaceLab->text(), "40.00GB of 64.00GB");
    EXPECT_EQ(ui().freeSpacelab->text(), "24.00GB free");
    EXPECT_FLOAT_EQ(bar()->usedValue(), 40.0f / 64.0f);

    // Removed totals that would overflow their sum count as everything.
    hub().setTotalUserdataRemoveFileSize(UINT64_MAX);
    hub().ClickMainStatu(nullptr);
    EXPECT_EQ(bar()->usedValue(), 0.0f);
    EXPECT_TRUE(ui().usedSpaceLab->text().startsWith("0.00bytes of"));
}

// Device Status and the Storage page read one disk usage the same way: the same used and free,
// the Storage page's rows adding up to that used space, and its line naming what "used" holds.
TEST_F(StatusPageTest, UsedAndFreeAgreeWithTheStoragePage) {
    const char* keys[] = {"TotalDiskCapacity", "TotalSystemCapacity", "TotalSystemAvailable",
                          "TotalDataCapacity", "AmountDataAvailable", "TotalDataAvailable"};
    struct Row {
        std::array<std::int64_t, 6> usage;  // in the order of `keys`
        std::vector<const char*> shown;     // status used, status free, the page's rows and line
    };
    const Row rows[] = {
        {{64'000'000'000, 4'000'000'000, 800'000'000, 60'000'000'000, 53'690'000'000,
          53'940'000'000},
         {"10.31GB of 64.00GB", "53.69GB free", "iOS Used:   3.20GB", "iOS Free:   800.00MB",
          "User Used:   6.31GB", "User Free:   53.69GB",
          "10.31GB used and 53.69GB free of 64.00GB. Used holds the system's 800.00MB free, which "
          "never takes your data, and 250.00MB the device frees when it needs the space."}},
        // A system partition reported larger than the used space, and more free than there is.
        {{1000, 900, 100, 100, 2000, 0},
         {"0.00bytes of 1.00KB", "1.00KB free", "iOS Used:   0.00bytes", "iOS Free:   0.00bytes",
          "User Used:   0.00bytes", "User Free:   1.00KB",
          "0.00bytes used and 1.00KB free of 1.00KB."}},
    };
    PRDiskaManagerViewController& storage = *hub().GetDiskManageViewController();
    DiskManagerUi& page = storage.diskUi();
    int n = 0;
    for (const Row& row : rows) {
        const std::string udid = "space-" + std::to_string(++n);
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity("Space", udid, "iPhone10,4", "12.4.1");
        for (std::size_t k = 0; k < std::size(keys); ++k) {
            b.setValue("com.apple.disk_usage", keys[k], PlistValue(row.usage[k]));
        }
        ASSERT_TRUE(b.write());
        const int index = attach((tmp_ / udid).string());
        ASSERT_GE(index, 0);
        hub().ChangeToAnotherDevice(index);
        hub().ClickMainStatu(nullptr);
        storage.showDeviceSpace({});
        storage.setDiskManageDeviceIndex(index);
        ASSERT_TRUE(pumpUntil([&] { return !page.deviceSpacelab->text().isEmpty(); }));
        const QLabel* labels[] = {ui().usedSpaceLab,  ui().freeSpacelab, page.iOSUsedlab,
                                  page.iOSFreelab,    page.userUsedlab,  page.userFreelab,
                                  page.deviceSpacelab};
        for (std::size_t i = 0; i < std::size(labels); ++i) {
            EXPECT_EQ(labels[i]->text(), QString::fromUtf8(row.shown[i])) << udid;
        }
    }
}

TEST_F(StatusPageTest, CategoryBarSubtractsRemovedBytesPerCategory) {
    attachNew("status-phone", Dev("Status Phone").disk(64'000'000'000ULL, 16'000'000'000ULL));
    bar()->setProgressValueWithMusicValue(0.1f, 0.1f, 0.1f, 0.1f, 0.1f);
    hub().setCurrentPhotoFileSize(8'000'000'000ULL);
    hub().setTotalPhotoRemoveFileSize(2'000'000'000ULL);
    // Metrics not there yet: the current size is 0 and the removed bytes must not wrap it.
    hub().setCurrentMusicFileSize(0);
    hub().setTotalMusicRemoveFileSize(5'000'000'000ULL);
    hub().setCurrentAppFileSize(6'400'000'000ULL);
    hub().ClickMainStatu(nullptr);
    ASSERT_TRUE(bar()->getShowMore());
    EXPECT_EQ(bar()->musicValue(), 0.0f);
    EXPECT_FLOAT_EQ(bar()->photoValue(), 6.0f / 64.0f);
    EXPECT_FLOAT_EQ(bar()->appValue(), 0.1f);
    EXPECT_EQ(bar()->videoValue(), 0.0f);
}

TEST_F(StatusPageTest, ZeroCapacityGivesEmptyBarsWithoutDividingByZero) {
    attachNew("empty-phone", Dev("Empty Phone").disk(0, 0));
    hub().setTotalPhotoRemoveFileSize(1000);
    hub().ClickMainStatu(nullptr);
    EXPECT_EQ(bar()->usedValue(), 0.0f);
    EXPECT_EQ(bar()->freevalue(), 0.0f);
    EXPECT_EQ(ui().usedSpaceLab->text(), "0.00bytes of 0.00bytes");
    bar()->setProgressValueWithMusicValue(0.5f, 0.5f, 0.5f, 0.5f, 0.5f);
    hub().setCurrentPhotoFileSize(5000);
    hub().ClickMainStatu(nullptr);
    EXPECT_EQ(bar()->photoValue(), 0.0f);
}

TEST_F(NavigationTest, CleanUpSizeLabelsCountDownAndShowTheirPlainTitleWhenEmptied) {
    struct Case {
        const char* notification;
        void (QuennicAppDelegate::*setTotal)(std::uint64_t);
        std::uint64_t (QuennicAppDelegate::*total)() const;
        QLabel* MainWindowUi::*label;
        const char* text;
    };
    const Case cases[] = {
        {"CleanCacheFilesSize", &QuennicAppDelegate::setAllCacheFileNumber,
         &QuennicAppDelegate::allCacheFileNumber, &MainWindowUi::cacheTextlab, "Cache Cleaner"},
        {"CleanJunkFilesSize", &QuennicAppDelegate::setAllJunkFileNumber,
         &QuennicAppDelegate::allJunkFileNumber, &MainWindowUi::tempJunkFileTextlab,
         "Temp Files Cleaner"},
        {"CleanCookFilesSize", &QuennicAppDelegate::setAllCookFileNumber,
         &QuennicAppDelegate::allCookFileNumber, &MainWindowUi::cookieTextlab, "Cookie Cleaner"},
    };
    auto& center = NotificationCenter::defaultCenter();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notification);
        QLabel* label = ui().*c.label;
        const QString name = QLatin1String(c.text);
        (hub().*c.setTotal)(10'000'000);
        center.post(c.notification, std::uint64_t{2'000'000});
        EXPECT_EQ(label->text(), name + " (8.00MB)");
        center.post(c.notification, std::uint64_t{1'000'000});
        EXPECT_EQ(label->text(), name + " (7.00MB)");
        EXPECT_EQ((hub().*c.total)(), 7'000'000u);
        // More than is left: the total stops at 0 and the label shows its plain title, not
        // the size that is gone.
        center.post(c.notification, std::uint64_t{9'000'000});
        EXPECT_EQ((hub().*c.total)(), 0u);
        EXPECT_EQ(label->text(), name);
    }
    // From a worker thread, the label changes on the GUI thread.
    hub().setAllCacheFileNumber(5'000'000);
    std::atomic<bool> done{false};
    std::thread worker([&] {
        center.post("CleanCacheFilesSize", std::uint64_t{1'000'000});
        done = true;
    });
    EXPECT_TRUE(pumpUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(ui().cacheTextlab->text(), "Cache Cleaner (4.00MB)");

    // A long size still fits the entry whole: the font gives way instead.
    hub().setAllJunkFileNumber(999'990'000'000);
    center.post("CleanJunkFilesSize", std::uint64_t{1});
    QLabel* junk = ui().tempJunkFileTextlab;
    EXPECT_EQ(junk->text(), "Temp Files Cleaner (999.99GB)");
    EXPECT_LE(QFontMetrics(junk->font()).horizontalAdvance(junk->text()), junk->width());
}

TEST_F(NavigationTest, CategoryButtonsHoverWithTheirOwnImages) {
    attachPhone();
    sendEnter(ui().videoButton);
    EXPECT_EQ(ui().videoButton->imageName(), "videos_Enter.png");
    EXPECT_EQ(ui().photoButton->imageName(), "photos_Nom.png");
    sendLeave(ui().videoButton);
    EXPECT_EQ(ui().videoButton->imageName(), "videos_Nom.png");

    // A category button of another page posts the same names and is left alone.
    PRButton other;
    other.setImage(QStringLiteral("photos_Nom.png"));
    sendEnter(&other);
    EXPECT_EQ(other.imageName(), "photos_Nom.png");
    EXPECT_EQ(ui().photoButton->imageName(), "photos_Nom.png");
}

}  // namespace
}  // namespace nimbara::test
