// The storage manager page on simulated devices: the load-once rule per category, the lists and
// totals after a scan, a second click while scanning, a scan cut short by a detach and its
// retry, a device change, the scan-all and the overview figures.
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include <memory>

#include "../support/fake_page_host.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "storage_fixture.h"
#include "ui/core/text_utilities.h"
#include "ui/progress_view.h"

namespace {

using Scan = PRDiskaManagerViewController::Scan;
using ScanState = PRDiskaManagerViewController::ScanState;
using nimbara::simdev::SimDeviceBuilder;

class StoragePage : public nimbara::test::StorageTest {
  protected:
    void SetUp() override {
        nimbara::test::ensureApplication();
        StorageTest::SetUp();
        container_ = std::make_unique<QWidget>();
        container_->resize(960, 640);
        page_ = std::make_unique<PRDiskaManagerViewController>(host_);
        page_->showView(container_.get());
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        StorageTest::TearDown();
    }
    PRDiskaManagerViewController& page() { return *page_; }
    DiskManagerUi& ui() { return page_->diskUi(); }

    bool waitFor(Scan scan) {
        return pumpUntil([&] {
            return !page().scanRunning(scan) && page().scanState(scan) != ScanState::Scanning;
        });
    }

    nimbara::test::FakePageHost host_;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRDiskaManagerViewController> page_;
};

TEST_F(StoragePage, EachCategoryScansOnceAndShowsItsListAndTotal) {
    const int index = attachDemo();
    page().setDiskManageDeviceIndex(index);
    EXPECT_EQ(page().shownView(), "overview");

    page().ScanDiskBooksFiles();
    EXPECT_EQ(page().shownView(), "table");
    EXPECT_EQ(page().scanState(Scan::Books), ScanState::Scanning);
    // A second click while it runs only shows the table again.
    page().ScanDiskBooksFiles();
    EXPECT_EQ(page().shownView(), "table");
    ASSERT_TRUE(waitFor(Scan::Books));
    EXPECT_EQ(page().scanState(Scan::Books), ScanState::Done);
    EXPECT_EQ(page().shownView(), "books");
    EXPECT_EQ(page().booksFileController()->rowCount(), 2);
    EXPECT_EQ(page().categoryBytes(DiskCategory::Books),
              page().bookFilesArray()[0]->fileSizeNumber() +
                  page().bookFilesArray()[1]->fileSizeNumber());
    const DiskCategoryRowUi& row = ui().row(DiskCategory::Books);
    EXPECT_TRUE(row.button->isEnabled());
    EXPECT_FALSE(row.sizelab->isHidden());
    EXPECT_EQ(row.sizelab->text(),
              nimbara::shell::size_to_unit(page().categoryBytes(DiskCategory::Books)));

    // Later clicks show the stored list without scanning again.
    page().BackToDiskTalbeView();
    page().ScanDiskBooksFiles();
    EXPECT_EQ(page().shownView(), "books");
    EXPECT_FALSE(page().scanRunning(Scan::Books));

    // Music and videos are one scan; the last click decides which list shows.
    page().ScanDiskMusicFiles();
    page().ScanDiskVideoFiles();
    EXPECT_FALSE(page().bClickMusic());
    ASSERT_TRUE(waitFor(Scan::Media));
    EXPECT_EQ(page().shownView(), "video");
    EXPECT_EQ(page().musicFilesArray().size(), 5u);
    EXPECT_EQ(page().videoFileController()->rowCount(), 2);
    EXPECT_EQ(page().categoryBytes(DiskCategory::Video), 33000000u);

    // Apps: the system-app size label shows a single blank.
    page().ScanDiskSystemAppFiles();
    ASSERT_TRUE(waitFor(Scan::Apps));
    EXPECT_EQ(page().shownView(), "systemApps");
    EXPECT_EQ(page().systemAppFileController()->rowCount(), 7);
    EXPECT_EQ(ui().row(DiskCategory::SystemApps).sizelab->text(), " ");
    page().ScanDiskUserAppFiles();
    EXPECT_EQ(page().shownView(), "userApps");
    EXPECT_EQ(page().appFileController()->rowCount(), 13);

    // Choosing a row fills the preview.
    ui().apps.table->selectRow(0);
    EXPECT_EQ(ui().apps.previewName->text(), page().appFilesArray()[0]->appDisplayName());
    EXPECT_EQ(ui().apps.previewSize->text(), page().appFilesArray()[0]->appVersion());

    // The action buttons act on the chosen row: without one, they say so and ask nothing.
    ui().apps.table->clearSelection();
    ui().apps.actions[1]->click();
    EXPECT_EQ(page().statusText(), "Choose the app to uninstall first.");
}

TEST_F(StoragePage, UserDataFillsTheTreeAndPhotosListTheirBytes) {
    const int index = attachDemo();
    page().setDiskManageDeviceIndex(index);
    page().ScanDiskUserDataFiles();
    ASSERT_TRUE(waitFor(Scan::UserData));
    EXPECT_EQ(page().shownView(), "userData");
    ASSERT_EQ(page().libTreeController().content().size(), 1u);
    EXPECT_GT(page().categoryBytes(DiskCategory::UserData), 100000000u);
    EXPECT_GT(page().libOutlineModel()->rowCount(), 0);

    page().ScanDiskPhotoFiles();
    ASSERT_TRUE(waitFor(Scan::Photo));
    EXPECT_EQ(page().shownView(), "photo");
    EXPECT_EQ(page().photoFileController()->rowCount(), 20);
    std::uint64_t sum = 0;
    for (const auto& photo : page().photoFilesArray()) {
        sum += photo->fileSizeNumber();
    }
    EXPECT_EQ(page().categoryBytes(DiskCategory::Photo), sum);
    ui().photo.table->selectRow(0);
    EXPECT_EQ(ui().photo.previewName->text(), page().photoFilesArray()[0]->fileNodeName());
}

TEST_F(StoragePage, ADetachMidScanStopsItsBarAndTheNextClickScansAgain) {
    SimDeviceBuilder b = builder("leaving");
    for (int i = 0; i < 300; ++i) {
        b.addMediaFile("/d" + std::to_string(i % 7) + "/f" + std::to_string(i), "x");
    }
    const int index = attachDevice(b);
    page().setDiskManageDeviceIndex(index);
    setFault(deviceDir("leaving"), nimbara::md::sim::kFaultDetachAfter,
             nimbara::PlistValue(std::int64_t{60}));
    page().ScanDiskUserDataFiles();
    ASSERT_TRUE(waitFor(Scan::UserData));
    EXPECT_EQ(page().scanState(Scan::UserData), ScanState::Idle);
    const DiskCategoryRowUi& row = ui().row(DiskCategory::UserData);
    EXPECT_TRUE(row.progress->isHidden());
    EXPECT_FALSE(row.statelab->isHidden());
    EXPECT_FALSE(page().statusText().isEmpty());
    EXPECT_EQ(page().shownView(), "table");

    // The device comes back (a new index): the category scans again and finishes.
    EXPECT_FALSE(library_->detach(deviceDir("leaving").string()));  // gone already
    nimbara::test::waitForDeviceBinds();
    setFault(deviceDir("leaving"), nimbara::md::sim::kFaultDetachAfter, nimbara::PlistValue());
    const int again = attach(deviceDir("leaving").string());
    ASSERT_GE(again, 0);
    page().setDiskManageDeviceIndex(again);
    page().ScanDiskUserDataFiles();
    ASSERT_TRUE(waitFor(Scan::UserData));
    EXPECT_EQ(page().scanState(Scan::UserData), ScanState::Done);
    EXPECT_EQ(page().categoryBytes(DiskCategory::UserData), 300u);
    EXPECT_TRUE(row.statelab->isHidden());
}

TEST_F(StoragePage, ABindFailureLeavesTheCategoryIdleForARetry) {
    SimDeviceBuilder b = builder("refusing");
    b.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "one");
    const int index = attachDevice(b);
    setFault(deviceDir("refusing"), nimbara::md::sim::kFaultRefusedServices,
             nimbara::PlistValue(nimbara::PlistValue::Array{nimbara::PlistValue("com.apple.afc")}));
    page().setDiskManageDeviceIndex(index);
    page().ScanDiskPhotoFiles();
    ASSERT_TRUE(waitFor(Scan::Photo));
    EXPECT_EQ(page().scanState(Scan::Photo), ScanState::Idle);
    EXPECT_TRUE(ui().row(DiskCategory::Photo).progress->isHidden());

    setFault(deviceDir("refusing"), nimbara::md::sim::kFaultRefusedServices,
             nimbara::PlistValue(nimbara::PlistValue::Array{}));
    page().ScanDiskPhotoFiles();
    ASSERT_TRUE(waitFor(Scan::Photo));
    EXPECT_EQ(page().scanState(Scan::Photo), ScanState::Done);
    EXPECT_EQ(page().photoFileController()->rowCount(), 1);
    EXPECT_TRUE(page().statusText().isEmpty());
}

TEST_F(StoragePage, ADeviceChangeStopsTheScansAndForgetsEveryList) {
    const int index = attachDemo();
    page().setDiskManageDeviceIndex(index);
    page().ScanDiskBooksFiles();
    ASSERT_TRUE(waitFor(Scan::Books));
    page().ScanDiskUserDataFiles();  // still running when the device changes
    page().initAllDataAndAllView();
    EXPECT_EQ(page().shownView(), "table");
    for (const Scan scan : {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
        EXPECT_EQ(page().scanState(scan), ScanState::Idle);
    }
    EXPECT_TRUE(page().bookFilesArray().empty());
    EXPECT_EQ(page().booksFileController()->rowCount(), 0);
    EXPECT_EQ(page().categoryBytes(DiskCategory::Books), 0u);
    EXPECT_TRUE(ui().row(DiskCategory::Books).sizelab->isHidden());
    EXPECT_FALSE(ui().row(DiskCategory::Books).button->isEnabled());
    // Whatever the stopped walk still hands over is dropped.
    pumpUntil([&] { return page().workersEnding() == 0; });
    EXPECT_TRUE(page().libTreeController().content().empty());

    // The next click scans afresh.
    page().ScanDiskBooksFiles();
    EXPECT_EQ(page().scanState(Scan::Books), ScanState::Scanning);
    ASSERT_TRUE(waitFor(Scan::Books));
    EXPECT_EQ(page().booksFileController()->rowCount(), 2);
}

// The shell's device change: a device on show hands its index before the reset; none left (an
// empty target) resets only, keeping the last index.
TEST_F(StoragePage, ADeviceChangeTakesTheNewIndexBeforeForgettingTheLists) {
    const int index = attachDemo();
    const int before = index + 7;  // the index the page holds when the change comes
    struct Row {
        nimbara::filemanager::StorageDeviceTarget target;
        int indexAfter;
    };
    const Row rows[] = {{targetOf(index), index}, {{}, before}};
    for (const Row& row : rows) {
        page().setDiskManageDeviceIndex(index);
        page().ScanDiskBooksFiles();
        ASSERT_TRUE(waitFor(Scan::Books));
        ASSERT_EQ(page().booksFileController()->rowCount(), 2);
        page().setDiskManageDeviceIndex(before);
        page().deviceChanged(row.target);
        EXPECT_EQ(page().diskManageDeviceIndex(), row.indexAfter);
        EXPECT_EQ(page().shownView(), "table");
        EXPECT_EQ(page().scanState(Scan::Books), ScanState::Idle);
        EXPECT_EQ(page().booksFileController()->rowCount(), 0);
    }
}

TEST_F(StoragePage, ScanAllRunsEveryCategoryAndEndsOnTheUserData) {
    const int index = attachDemo();
    page().setDiskManageDeviceIndex(index);
    page().ScanDiskUsage();
    ASSERT_TRUE(pumpUntil([&] {
        for (const Scan scan :
             {Scan::Photo, Scan::Media, Scan::Books, Scan::Apps, Scan::UserData}) {
            if (page().scanState(scan) != ScanState::Done) {
                return false;
            }
        }
        return true;
    }));
    EXPECT_EQ(page().shownView(), "userData");
    EXPECT_EQ(page().booksFileController()->rowCount(), 0);  // shown only when chosen
    EXPECT_EQ(page().bookFilesArray().size(), 2u);
    EXPECT_EQ(page().musicFilesArray().size(), 5u);
}

TEST_F(StoragePage, WithoutADeviceNothingStartsAndThePageSaysWhy) {
    page().setDiskManageDeviceIndex(7);
    page().ScanDiskPhotoFiles();
    EXPECT_EQ(page().scanState(Scan::Photo), ScanState::Idle);
    EXPECT_FALSE(page().scanRunning(Scan::Photo));
    EXPECT_FALSE(page().statusText().isEmpty());
}

TEST_F(StoragePage, OverviewFiguresNeverDivideByZero) {
    page().setDiskManageDeviceWithAllUserData(0, 0, 0, 0);
    EXPECT_EQ(ui().userDataProgress->value(), 0.0f);
    EXPECT_EQ(ui().systemProgress->value(), 0.0f);
    EXPECT_EQ(ui().userUsedlab->text(), "User Used:   0.00bytes");
    // More free than there is: nothing used.
    page().setDiskManageDeviceWithAllUserData(1000, 4000, 2000, 500);
    EXPECT_EQ(ui().userDataProgress->value(), 0.0f);
    EXPECT_FLOAT_EQ(ui().systemProgress->value(), 0.75f);
    EXPECT_EQ(ui().iOSUsedlab->text(), "iOS Used:   1.50KB");
    EXPECT_EQ(ui().iOSFreelab->text(), "iOS Free:   500.00bytes");
    EXPECT_EQ(ui().userFreelab->text(), "User Free:   4.00KB");
    page().setDiskManageDeviceWithAllUserData(-5, -1, 100, 100);
    EXPECT_EQ(ui().userDataProgress->value(), 0.0f);
    EXPECT_EQ(ui().systemProgress->value(), 0.0f);
}

}  // namespace
