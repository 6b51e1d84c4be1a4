// The page controllers' entry points while their pages show "not available yet".
#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QWidget>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app_test_support.h"
#include "backup/pages/pr_back_up_view_controller.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "browser/pages/pr_result_view_controller.h"
#include "cleanup/pages/pr_ads_remove_controller.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "cleanup/pages/pr_system_boost_view_controller.h"
#include "fake_page_host.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "filemanager/pages/pr_phone_system_view_controller.h"
#include "platform/notification_center.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "transfer/pages/pr_one_copy_view_controller.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "ui/page_call_log.h"

namespace {

using nimbara::ui::PageCallLog;
using nimbara::ui::PageControllerBase;

// The host of the pages made here: they ask it for nothing these tests check.
nimbara::test::FakePageHost& testHost() {
    static nimbara::test::FakePageHost host;
    return host;
}

class PageControllers : public ::testing::Test {
  protected:
    void SetUp() override {
        nimbara::test::ensureApplication();
        PageCallLog::clear();
    }
    void TearDown() override { PageCallLog::clear(); }

    static std::vector<std::unique_ptr<PageControllerBase>> everyPage() {
        std::vector<std::unique_ptr<PageControllerBase>> pages;
        pages.push_back(std::make_unique<PRBackUpViewController>(testHost()));
        pages.push_back(std::make_unique<PRResultViewController>(testHost()));
        pages.push_back(std::make_unique<PRPrivacyController>(testHost()));
        pages.push_back(std::make_unique<PRTansferViewController>(testHost()));
        pages.push_back(std::make_unique<PROneCopyViewController>(testHost()));
        pages.push_back(std::make_unique<PRDiskaManagerViewController>(testHost()));
        pages.push_back(std::make_unique<PRPhoneSystemViewController>(testHost()));
        pages.push_back(std::make_unique<PRCleanViewController>(testHost()));
        pages.push_back(std::make_unique<PRSystemBoostViewController>(testHost()));
        pages.push_back(std::make_unique<PRFindLargeFileViewController>(testHost()));
        pages.push_back(std::make_unique<PRAdsRemoveController>(testHost()));
        return pages;
    }
};

TEST_F(PageControllers, ShowViewFillsTheContainerOnceHoweverOftenItIsSent) {
    for (const auto& page : everyPage()) {
        SCOPED_TRACE(page->metaObject()->className());
        QWidget container;
        container.setObjectName("pageContainer");
        container.resize(480, 320);
        container.show();
        page->showView(&container);
        page->showView(&container);

        ASSERT_NE(container.layout(), nullptr);
        container.layout()->activate();
        EXPECT_EQ(container.layout()->count(), 1);
        EXPECT_EQ(page->view()->parentWidget(), &container);
        EXPECT_EQ(page->container(), &container);
        EXPECT_TRUE(page->view()->isVisible());
        EXPECT_EQ(page->view()->geometry(), container.rect());
        // The result, backup, privacy, clean-up, system boost, large-file, advertisement-removal,
        // one-click copy, transfer, storage and device file pages are built: they show their own
        // views, the others their placeholder.
        const bool built = qobject_cast<PRResultViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRDiskaManagerViewController*>(page.get()) != nullptr ||
                           qobject_cast<PROneCopyViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRTansferViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRAdsRemoveController*>(page.get()) != nullptr ||
                           qobject_cast<PRCleanViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRSystemBoostViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRFindLargeFileViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRBackUpViewController*>(page.get()) != nullptr ||
                           qobject_cast<PRPrivacyController*>(page.get()) != nullptr ||
                           qobject_cast<PRPhoneSystemViewController*>(page.get()) != nullptr;
        EXPECT_EQ(page->isShowingNotAvailable(), !built);

        const auto* title = page->notAvailableView()->findChild<QLabel*>("notAvailableTitlelab");
        const auto* text = page->notAvailableView()->findChild<QLabel*>("notAvailableTextlab");
        ASSERT_NE(title, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_FALSE(title->text().isEmpty());
        EXPECT_EQ(title->text(), page->pageTitle());
        EXPECT_EQ(text->text(), "This page is not available yet.");
    }
}

TEST_F(PageControllers, AnotherContainerTakesTheViewOver) {
    PRSystemBoostViewController page(testHost());
    QWidget first;
    QWidget second;
    page.showView(&first);
    page.showView(&second);
    EXPECT_EQ(page.view()->parentWidget(), &second);
    EXPECT_EQ(first.layout()->count(), 0);
    EXPECT_EQ(second.layout()->count(), 1);
    page.showView(nullptr);
    EXPECT_EQ(page.container(), &second);
}

TEST_F(PageControllers, AContainerWithALayoutKeepsIt) {
    PRFindLargeFileViewController page(testHost());
    QWidget container;
    auto* layout = new QHBoxLayout(&container);
    page.showView(&container);
    EXPECT_EQ(container.layout(), layout);
    EXPECT_EQ(layout->indexOf(page.view()), 0);
}

TEST_F(PageControllers, PrivacyPageChoosesTheNewBackupLayoutFromIOSTen) {
    PRPrivacyController page(testHost());
    page.setDeviceIndex(3, "9.3.5");
    EXPECT_EQ(page.deviceIndex(), 3);
    EXPECT_FALSE(page.bIOS10Version());
    page.setDeviceIndex(4, "8.4");
    EXPECT_FALSE(page.bIOS10Version());
    page.setDeviceIndex(5, "10.3");
    EXPECT_EQ(page.deviceIndex(), 5);
    EXPECT_TRUE(page.bIOS10Version());
    // Older or empty versions never set it back.
    page.setDeviceIndex(6, "9.3.5");
    EXPECT_TRUE(page.bIOS10Version());
    page.setDeviceIndex(7, "");
    EXPECT_EQ(page.deviceIndex(), 7);
    EXPECT_TRUE(page.bIOS10Version());

    for (const char* version : {"10", "11.4", "12.5.7", "13.1", "17.0.2", "26.1"}) {
        PRPrivacyController fresh(testHost());
        fresh.setDeviceIndex(0, version);
        EXPECT_TRUE(fresh.bIOS10Version()) << version;
    }
    for (const char* version : {"", "9.3.5", "1.0", "7", "abc", ".10"}) {
        PRPrivacyController fresh(testHost());
        fresh.setDeviceIndex(0, version);
        EXPECT_FALSE(fresh.bIOS10Version()) << version;
    }
}

TEST_F(PageControllers, ScanEntriesShowTheirStateAndPostNothing) {
    auto& center = nimbara::NotificationCenter::defaultCenter();
    std::vector<std::string> posted;
    std::vector<nimbara::ObserverToken> tokens;
    for (const char* name : {"AppScanFinished", "photoScanFinished", "musicScanFinished",
                             "SystemlibhasFinished", "CleanFilehasFinished", "contactScanFinished",
                             "messageScanFinished", "noteScanFinished"}) {
        tokens.push_back(center.addObserver(
            name, [&posted](const nimbara::Notification& n) { posted.push_back(n.name); }));
    }

    PRTansferViewController transfer(testHost());
    transfer.ShowApp(2);
    transfer.ShowPhoto(2);
    transfer.ShowMusic(2);
    transfer.showContact(2);
    transfer.showMessage(2);
    transfer.showNote(2);
    EXPECT_EQ(transfer.deviceIndex(), 2);
    // The transfer page is built: without a device at that index its music entry starts nothing.
    EXPECT_FALSE(transfer.isShowingNotAvailable());
    EXPECT_FALSE(transfer.bMusiceStartTransfer());

    PRPhoneSystemViewController files(testHost());
    files.LookupSystemTree(3);
    EXPECT_EQ(files.deviceIndex(), 3);
    // The device file page is built: without a device at that index it walks nothing.
    EXPECT_FALSE(files.isShowingNotAvailable());
    EXPECT_FALSE(files.bScanStart());
    EXPECT_FALSE(files.statusText().isEmpty());

    // The storage manager is built: without a device at its index no scan starts.
    PRDiskaManagerViewController storage(testHost());
    storage.setDiskManageDeviceIndex(9);
    storage.ScanDiskPhotoFiles();
    EXPECT_EQ(storage.shownView(), "table");
    storage.ScanDiskMusicFiles();
    storage.ScanDiskVideoFiles();
    storage.ScanDiskBooksFiles();
    storage.ScanDiskUserAppFiles();
    storage.ScanDiskSystemAppFiles();
    storage.ScanDiskUserDataFiles();
    EXPECT_EQ(storage.shownView(), "table");
    EXPECT_FALSE(storage.isShowingNotAvailable());
    EXPECT_EQ(storage.scanState(PRDiskaManagerViewController::Scan::UserData),
              PRDiskaManagerViewController::ScanState::Idle);

    PRCleanViewController clean(testHost());
    // No device at index 4: no scan starts, and the page says why.
    EXPECT_FALSE(clean.showDeviceClean(4));
    EXPECT_EQ(clean.cleanDevice(), 4);
    EXPECT_EQ(clean.scanRunning(), PRCleanViewController::ScanKind::None);
    EXPECT_FALSE(clean.statusText().isEmpty());

    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(PageCallLog::entries().size(), 16u);
}

TEST_F(PageControllers, DeviceChangeIsRecordedInCallOrder) {
    PRDiskaManagerViewController storage(testHost());
    PRFindLargeFileViewController largeFiles(testHost());
    PRCleanViewController clean(testHost());
    PRSystemBoostViewController boost(testHost());
    PRPrivacyController privacy(testHost());
    PROneCopyViewController oneCopy(testHost());
    QWidget container;
    container.setObjectName("diskManageView");

    storage.showView(&container);
    storage.setDiskManageDeviceIndex(2);
    storage.initAllDataAndAllView();
    largeFiles.setDeviceIndex(2);
    largeFiles.initAllDataAndAllView();
    clean.NimbaraShowDeviceClean(2);
    clean.initAllDataAndAllView();
    boost.setDeviceIndex(2);
    boost.initAllDataAndAllView();
    privacy.setDeviceIndex(2, "12.4.1");
    privacy.initAllDataAndAllView();
    oneCopy.setCopyIndex(2);
    oneCopy.initAllDataAndAllView();
    storage.ScanDiskBooksFiles(nullptr);
    storage.BackToDiskTalbeView(&container);

    const std::vector<std::string> expected = {
        "PRDiskaManagerViewController::showView(diskManageView)",
        "PRDiskaManagerViewController::setDiskManageDeviceIndex(2)",
        "PRDiskaManagerViewController::initAllDataAndAllView()",
        "PRFindLargeFileViewController::setDeviceIndex(2)",
        "PRFindLargeFileViewController::initAllDataAndAllView()",
        "PRCleanViewController::NimbaraShowDeviceClean(2)",
        "PRCleanViewController::initAllDataAndAllView()",
        "PRSystemBoostViewController::setDeviceIndex(2)",
        "PRSystemBoostViewController::initAllDataAndAllView()",
        "PRPrivacyController::setDeviceIndex(2, \"12.4.1\")",
        "PRPrivacyController::initAllDataAndAllView()",
        "PROneCopyViewController::setCopyIndex(2)",
        "PROneCopyViewController::initAllDataAndAllView()",
        "PRDiskaManagerViewController::ScanDiskBooksFiles(nullptr)",
        "PRDiskaManagerViewController::BackToDiskTalbeView(diskManageView)",
    };
    EXPECT_EQ(PageCallLog::entries(), expected);
    PageCallLog::clear();
    EXPECT_TRUE(PageCallLog::entries().empty());
}

TEST_F(PageControllers, CallLogKeepsEveryEntryFromConcurrentThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 1000; ++i) {
                PageCallLog::record("T" + std::to_string(t) + "::call(" + std::to_string(i) + ")");
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::vector<std::string> entries = PageCallLog::entries();
    ASSERT_EQ(entries.size(), 4000u);
    // Each thread's entries keep their order.
    std::vector<int> next(4, 0);
    for (const std::string& entry : entries) {
        const int t = entry[1] - '0';
        EXPECT_EQ(entry, "T" + std::to_string(t) + "::call(" + std::to_string(next[t]) + ")");
        ++next[t];
    }
}

TEST_F(PageControllers, ResetsRestoreTheStartState) {
    PROneCopyViewController oneCopy(testHost());
    oneCopy.setBBackup(true);
    oneCopy.setCategoryChosen(0, false);
    oneCopy.setCategoryChosen(11, false);
    oneCopy.initAllDataAndAllView();
    EXPECT_FALSE(oneCopy.bBackup());
    EXPECT_FALSE(oneCopy.bStartScan());
    for (int i = 0; i < PROneCopyViewController::kCopyCategoryCount; ++i) {
        EXPECT_TRUE(oneCopy.isCategoryChosen(i)) << i;
    }
    EXPECT_FALSE(oneCopy.isCategoryChosen(12));
    EXPECT_FALSE(oneCopy.isCategoryChosen(-1));

    PRCleanViewController clean(testHost());
    clean.NimbaraShowDeviceClean(5);
    clean.showCleanCookView();
    EXPECT_EQ(clean.shownView(), "cleanCookView");
    clean.showCleanMediaView();
    EXPECT_EQ(clean.shownView(), "cleanMediaView");
    clean.initAllDataAndAllView();
    EXPECT_EQ(clean.shownView(), "cleanDiskView");
    EXPECT_EQ(clean.cleanDevice(), 5);

    PRSystemBoostViewController boost(testHost());
    boost.setDeviceIndex(6);
    boost.initAllDataAndAllView();
    EXPECT_EQ(boost.deviceIndex(), 6);
}

TEST_F(PageControllers, StorageManagerShowingResetsItsDeviceIndex) {
    PRDiskaManagerViewController storage(testHost());
    QWidget container;
    storage.setDiskManageDeviceIndex(4);
    storage.ScanDiskVideoFiles();
    storage.showView(&container);
    EXPECT_EQ(storage.diskManageDeviceIndex(), 0);
    EXPECT_EQ(storage.shownView(), "overview");
    storage.setDiskManageDeviceIndex(4);
    storage.initAllDataAndAllView();
    EXPECT_EQ(storage.shownView(), "table");
    EXPECT_EQ(storage.diskManageDeviceIndex(), 4);
}

TEST_F(PageControllers, TransferPageSwitchesItsCategoryViews) {
    PRTansferViewController transfer(testHost());
    QWidget container;
    transfer.showMusicView();
    EXPECT_EQ(transfer.shownView(), "musicView");
    transfer.showView(&container);
    EXPECT_EQ(transfer.shownView(), "mainView");
    transfer.showNoteView();
    EXPECT_EQ(transfer.shownView(), "noteView");
}

TEST_F(PageControllers, BackupPageNamesTheLocalBackupFolder) {
    const QByteArray previous = qgetenv("NIMBARA_BACKUP_ROOT");
    qputenv("NIMBARA_BACKUP_ROOT", "/srv/backups-for-test");
    PRBackUpViewController backup(testHost());
    QWidget container;
    backup.showView(&container);
    EXPECT_EQ(backup.backupLocationText(), "/srv/backups-for-test");
    EXPECT_FALSE(backup.isMainViewShown());
    backup.ShowbackupView();
    EXPECT_TRUE(backup.isMainViewShown());
    // Each showing starts from the start view again, with one location text.
    backup.showView(&container);
    EXPECT_FALSE(backup.isMainViewShown());
    EXPECT_EQ(backup.state(), PRBackUpViewController::State::Ready);
    EXPECT_EQ(backup.view()->findChildren<QLineEdit*>("backupLocationlab").size(), 1);
    if (previous.isNull()) {
        qunsetenv("NIMBARA_BACKUP_ROOT");
    } else {
        qputenv("NIMBARA_BACKUP_ROOT", previous);
    }
}

TEST_F(PageControllers, BackupListStartsEmpty) {
    PRIOSDeviceController list;
    EXPECT_EQ(list.rowCount(), 0);
    list.removeAllObjects();
    EXPECT_EQ(list.rowCount(), 0);
}

}  // namespace
