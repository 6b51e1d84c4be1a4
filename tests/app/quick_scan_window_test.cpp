// The quick-scan window driven through its buttons against a simulated device: scan, ticks,
// clean-up with its confirmation, rescan, and a detach while the scan runs.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QTableView>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/pr_large_file_controller.h"
#include "app/quick_scan_window_ui.h"
#include "cleanup/pr_large_file_node.h"
#include "cleanup/quick_scan_engine.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "quick_scan_window_fixture.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/notification_buttons.h"
#include "ui/table_cell_views.h"
#include "widget_test_support.h"

namespace nimbara::test {
namespace {

TEST_F(QuickScanWindowTest, ScanFillsLabelsListsAndSortedTablesAndTicksNoProtectedFile) {
    attachDevice();
    EXPECT_TRUE(quick().quickScnDeviceBtn->isEnabled());
    scanThroughButton();

    // The download queue's database is listed but, kept by every clean-up, named apart.
    const std::uint64_t junk = kCrashLog + kDownload + kDownloadInFolder;
    EXPECT_EQ(hub().junkFileSize(), junk);
    EXPECT_FALSE(quick().junkInfoBtn->isHidden());
    EXPECT_EQ(quick().junkInfoBtn->toolTip(),
              "This file the device itself needs is kept: downloads.28.sqlitedb.");
    quick().quickScanWindow->show();
    sendEnter(quick().junkInfoBtn);  // its help says the same
    ASSERT_NE(hub().photoInfoPopver(), nullptr);
    EXPECT_EQ(hub().photoInfoPopver()->findChild<QLabel*>()->text(),
              quick().junkInfoBtn->toolTip());
    sendLeave(quick().junkInfoBtn);
    EXPECT_EQ(hub().bigFileSize(), kBook + kRecording + kPhotoLibrary);
    EXPECT_EQ(hub().bigAppFileSize(), kAppStatic + kAppDynamic);
    EXPECT_EQ(quick().deviceJunklab->text(), sizeText(junk));
    EXPECT_EQ(quick().deviceLargeFilelab->text(), sizeText(kBook + kRecording + kPhotoLibrary));
    EXPECT_EQ(quick().deviceLargeApplab->text(), sizeText(kAppStatic + kAppDynamic));
    ASSERT_EQ(hub().systemLogArray().size(), 1u);
    EXPECT_EQ(hub().downloadTempArray().size(), 3u);

    // The lists keep the engine's walk order; the tables get copies, largest first.
    QuickScanOptions options;
    options.deviceIndex = hub().theDevice();
    QuickScanEngine direct(options, {});
    const QuickScanResult expected = direct.run();
    EXPECT_EQ(paths(hub().userDataBigFileArray()), paths(expected.userDataBigFileArray));
    EXPECT_EQ(paths(hub().bigFileController()->arrangedObjects()),
              (std::vector<QString>{"/Recordings/zzz-meeting.m4a", "/PhotoData/Photos.sqlite",
                                    "/Books/aaa-handbook.pdf"}));
    EXPECT_EQ(paths(hub().appBigFileArray()), (std::vector<QString>{"com.example.bigapp"}));
    EXPECT_EQ(hub().numberOfRowsInTableView(quick().bigFileTableView), 3);
    EXPECT_EQ(hub().numberOfRowsInTableView(quick().bigAppTableView), 1);
    EXPECT_EQ(hub().numberOfRowsInTableView(nullptr), 0);

    // The protected photo database is listed but not ticked, in its record and in its cell; the
    // total counts only what a clean-up would remove.
    const auto photos = fileRecord("/PhotoData/Photos.sqlite");
    ASSERT_TRUE(photos);
    EXPECT_FALSE(photos->bSelectedSate());
    EXPECT_EQ(fileCell(1)->checkBtn()->imageName(), "unselectedstate.png");
    EXPECT_EQ(fileCell(0)->checkBtn()->imageName(), "selectedstate.png");
    EXPECT_EQ(fileCell(0)->textField()->text(), "zzz-meeting.m4a");
    EXPECT_TRUE(hub().bigAppController()->data(hub().bigAppController()->index(0, 1)) ==
                shell::size_to_unit(kAppStatic + kAppDynamic));
    const std::uint64_t total = junk + kBook + kRecording + kAppStatic + kAppDynamic;
    EXPECT_EQ(hub().totalCleanupFileSize(), total);
    EXPECT_EQ(quick().deviceTotallab->text(), sizeText(total));

    // After the scan: the row boxes and the open lists are shown, the animation stopped.
    EXPECT_FALSE(quick().quickJunkCheckBtn->isHidden());
    EXPECT_FALSE(quick().bigFileScrollView->isHidden());
    EXPECT_FALSE(quick().bigAppScrollView->isHidden());
    EXPECT_FALSE(hub().quickScanWorkerRunning());
}

TEST_F(QuickScanWindowTest, RowAndListTicksKeepTheTotalConsistent) {
    attachDevice();
    scanThroughButton();
    const std::uint64_t junk = kCrashLog + kDownload + kDownloadInFolder;
    const std::uint64_t start = hub().totalCleanupFileSize();

    // Unticking the junk row subtracts it but leaves its label; ticking restores both.
    sendClick(quick().quickJunkCheckBtn);
    EXPECT_EQ(quick().quickJunkCheckBtn->imageName(), "unselectedstate.png");
    EXPECT_EQ(hub().totalCleanupFileSize(), start - junk);
    EXPECT_EQ(quick().deviceJunklab->text(), sizeText(junk));
    sendClick(quick().quickJunkCheckBtn);
    EXPECT_EQ(hub().totalCleanupFileSize(), start);

    // A single row, then the whole list: each byte is counted once, and the list box never
    // ticks the protected database.
    sendClick(fileCell(2)->checkBtn(), {8, 8});  // the book
    EXPECT_FALSE(fileRecord("/Books/aaa-handbook.pdf")->bSelectedSate());
    EXPECT_EQ(hub().totalCleanupFileSize(), start - kBook);
    sendClick(quick().quickLargeFileCheckBtn);  // untick the list
    EXPECT_EQ(hub().totalCleanupFileSize(), start - kBook - kRecording);
    sendClick(quick().quickLargeFileCheckBtn);  // tick it again
    EXPECT_EQ(hub().totalCleanupFileSize(), start);
    EXPECT_FALSE(fileRecord("/PhotoData/Photos.sqlite")->bSelectedSate());

    // Ticking the protected row by hand is refused.
    sendClick(fileCell(1)->checkBtn(), {8, 8});
    EXPECT_FALSE(fileRecord("/PhotoData/Photos.sqlite")->bSelectedSate());
    EXPECT_EQ(fileCell(1)->checkBtn()->imageName(), "unselectedstate.png");
    EXPECT_EQ(hub().totalCleanupFileSize(), start);

    // A tick from a cell past the end of the list changes nothing.
    PRCustomCellView stray;
    stray.setBlargeFile(true);
    stray.setCurrentRow(99);
    stray.ClickCheckBtn();
    EXPECT_EQ(hub().totalCleanupFileSize(), start);

    // A share button changes nothing.
    hub().MyTablebuttonMouseDownHandle(
        Notification{"MyTablebuttonMouseDown", static_cast<QObject*>(quick().newShareFaceBookBtn)});
    EXPECT_EQ(hub().totalCleanupFileSize(), start);
    EXPECT_TRUE(barShown(quick().cleanupBottomView));
}

TEST_F(QuickScanWindowTest, CleanUpAfterConfirmationRemovesTickedItemsAndRescanShowsThemGone) {
    attachDevice();
    scanThroughButton();
    sendClick(quick().quickPhotoCheckBtn);       // no photo backup in this test
    sendClick(fileCell(2)->checkBtn(), {8, 8});  // keep the book

    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    sendClick(quick().quickCleanupDeviceBtn);
    ASSERT_TRUE(pumpUntil([&] { return barShown(quick().shareBottomView); }));
    ASSERT_EQ(asked.size(), 1u);  // asked once
    EXPECT_EQ(asked[0].alternateButton, "Cancel");

    // Freed: the junk but the protected download queue, the recording and the app.
    const std::uint64_t freed =
        kCrashLog + kDownload + kDownloadInFolder + kRecording + kAppStatic + kAppDynamic;
    EXPECT_EQ(hub().cleanupCompletedFileSize(), freed);
    EXPECT_EQ(quick().cleanupFileSizelab->text(), sizeText(freed));
    EXPECT_FALSE(quick().theInfoCleanFinishView->isHidden());
    EXPECT_FALSE(quick().cleanFinishInfolab->text().isEmpty());
    EXPECT_EQ(quick().cleanupProcesslab->text(), "Cleaning up device");
    EXPECT_TRUE(hub().userDataBigFileArray().empty());
    EXPECT_EQ(hub().bigFileController()->rowCount(), 0);

    EXPECT_FALSE(mediaExists("/Recordings/zzz-meeting.m4a"));
    EXPECT_FALSE(mediaExists("/Downloads/a.tmp"));
    EXPECT_TRUE(mediaExists("/Books/aaa-handbook.pdf"));
    EXPECT_TRUE(mediaExists("/Downloads/downloads.28.sqlitedb"));
    EXPECT_TRUE(mediaExists("/PhotoData/Photos.sqlite"));

    // The rescan of the done bar shows what is left.
    sendClick(quick().shareRescanDeviceBtn);
    EXPECT_TRUE(hub().startReScan());
    ASSERT_TRUE(pumpUntil([&] { return barShown(quick().cleanupBottomView); }));
    EXPECT_EQ(paths(hub().bigFileController()->arrangedObjects()),
              (std::vector<QString>{"/PhotoData/Photos.sqlite", "/Books/aaa-handbook.pdf"}));
    EXPECT_TRUE(hub().appBigFileArray().empty());
    EXPECT_EQ(hub().junkFileSize(), 0u);
    EXPECT_EQ(quick().deviceJunklab->text(), sizeText(0));
    EXPECT_FALSE(quick().junkInfoBtn->isHidden());
    EXPECT_TRUE(quick().theInfoCleanFinishView->isHidden());
}

TEST_F(QuickScanWindowTest, CancellingTheConfirmationChangesNothing) {
    attachDevice();
    scanThroughButton();
    const std::uint64_t total = hub().totalCleanupFileSize();
    int asked = 0;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question&) {
        ++asked;
        return Alerts::Answer::Alternate;
    });
    sendClick(quick().quickCleanupDeviceBtn);
    pumpEvents(20);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(barShown(quick().cleanupBottomView));
    EXPECT_FALSE(hub().quickScanWorkerRunning());
    EXPECT_EQ(hub().totalCleanupFileSize(), total);
    EXPECT_EQ(hub().bigFileController()->rowCount(), 3);
    for (const char* path : {"/Recordings/zzz-meeting.m4a", "/Books/aaa-handbook.pdf",
                             "/Downloads/a.tmp", "/Downloads/sub/b.tmp"}) {
        EXPECT_TRUE(mediaExists(path)) << path;
    }
    EXPECT_TRUE(fs::exists(device_->appPath("com.example.bigapp")));
}

TEST_F(QuickScanWindowTest, DetachDuringTheScanEndsItWithoutHanging) {
    attachDevice(1500);
    sendClick(quick().quickScnDeviceBtn);
    EXPECT_TRUE(hub().quickScanWorkerRunning());
    EXPECT_TRUE(barShown(quick().scanProcessBottomView));
    ASSERT_TRUE(detach("scan-phone"));
    ASSERT_TRUE(pumpUntil([&] { return !hub().getDeviceConnected(); }));
    // The scan was stopped on the detach and its thread joined once it had ended; the window is
    // back at its start.
    EXPECT_FALSE(hub().quickScanWorkerRunning());
    ASSERT_TRUE(pumpUntil([&] { return !hub().quickScanThreadJoinable(); }));
    EXPECT_FALSE(barShown(quick().scanProcessBottomView));
    EXPECT_TRUE(barShown(quick().scanButtonBottomView));
    EXPECT_EQ(hub().bigFileController()->rowCount(), 0);
    // Pressing scan without a device does nothing.
    sendClick(quick().quickScnDeviceBtn);
    EXPECT_FALSE(hub().quickScanWorkerRunning());
}

TEST_F(QuickScanWindowTest, ScanButtonDoesNothingWithoutADevice) {
    quick().quickScanWindow->show();
    sendClick(quick().quickScnDeviceBtn);
    EXPECT_FALSE(hub().quickScanWorkerRunning());
    EXPECT_TRUE(barShown(quick().scanButtonBottomView));
}

TEST_F(QuickScanWindowTest, ScanAnimationCyclesSevenTicksAndHelpFollowsTheHover) {
    hub().startScanGifImageView();
    std::vector<int> counts;
    for (int i = 0; i < 8; ++i) {
        hub().ChangeScanImageViewTimer();
        counts.push_back(hub().scanGifCount());
    }
    EXPECT_EQ(counts, (std::vector<int>{1, 2, 3, 4, 5, 6, 0, 1}));
    hub().StopScanGifImageView();

    quick().quickScanWindow->show();
    quick().photoInfoBtn->show();
    sendEnter(quick().photoInfoBtn);
    ASSERT_NE(hub().photoInfoPopver(), nullptr);
    EXPECT_TRUE(hub().photoInfoPopver()->isVisible());
    EXPECT_EQ(quick().photoInfoBtn->imageName(), "infodown.png");
    EXPECT_NE(hub().photoInfoPopver()->findChild<QLabel*>()->text().indexOf("backed up"), -1);
    sendLeave(quick().photoInfoBtn);
    EXPECT_FALSE(hub().photoInfoPopver()->isVisible());
    EXPECT_EQ(quick().photoInfoBtn->imageName(), "infonom.png");
}

TEST_F(QuickScanWindowTest, LargeFileHelpButtonShowsItsHelpNotAPlaceholder) {
    quick().quickScanWindow->show();
    quick().largeFileInfoBtn->show();
    hub().ClickLargeFileInfoAction(quick().largeFileInfoBtn);
    ASSERT_NE(hub().photoInfoPopver(), nullptr);
    EXPECT_TRUE(hub().photoInfoPopver()->isVisible());
    const QString text = hub().photoInfoPopver()->findChild<QLabel*>()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("large file size"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("sdfasdf")));
}

TEST_F(QuickScanWindowTest, AStepTheDeviceRefusesReadsAsNotCheckedWithASentence) {
    const std::string dir = writeDevice("scan-phone");
    device_->setFault(
        md::sim::kFaultRefusedServices,
        PlistValue(PlistValue::Array{PlistValue("com.apple.mobile.installation_proxy")}));
    ASSERT_TRUE(device_->write());
    ASSERT_GE(attach(dir), 0);
    ASSERT_TRUE(pumpUntil([&] { return hub().getDeviceConnected(); }));
    quick().quickScanWindow->show();
    scanThroughButton();

    EXPECT_EQ(quick().deviceLargeApplab->text(), " Not checked");
    EXPECT_FALSE(quick().scanRefusallab->isHidden());
    EXPECT_EQ(quick().scanRefusallab->text(),
              "The device refused its list of apps, so large apps were not checked.");
    // What the device did let the scan see is shown as usual.
    EXPECT_EQ(quick().deviceLargeFilelab->text(), sizeText(kBook + kRecording + kPhotoLibrary));
    // Unticked and ticked again, the row still says it was not checked.
    sendClick(quick().quickLargeAppCheckBtn);
    sendClick(quick().quickLargeAppCheckBtn);
    EXPECT_EQ(quick().deviceLargeApplab->text(), " Not checked");

    // A rescan starts without the old sentence.
    hub().resetQuickScanWindow();
    EXPECT_TRUE(quick().scanRefusallab->isHidden());
}

TEST(QuickScanRefusalText, NamesEachRefusedStepOnce) {
    QuickScanResult r;
    EXPECT_EQ(QuennicAppDelegate::quickScanRefusalText(r), "");
    r.crashLogsRefused = 1;
    EXPECT_EQ(QuennicAppDelegate::quickScanRefusalText(r),
              "The device refused its crash logs, so they were not counted as junk.");
    // Refused files cover the crash logs' sentence; the apps have their own.
    r.filesRefused = 1;
    r.appsRefused = 1;
    EXPECT_EQ(QuennicAppDelegate::quickScanRefusalText(r),
              "The device refused access to its files, so junk and large files were not "
              "checked. The device refused its list of apps, so large apps were not checked.");
}

}  // namespace
}  // namespace nimbara::test
