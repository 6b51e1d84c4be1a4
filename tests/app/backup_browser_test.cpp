// The backup browser opened from the sidebar: local backups are listed, the first is scanned and
// its contacts reach the result page; without a backup the page says so.
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTreeView>

#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/alerts.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_ios_device_node.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/pr_result_view_controller.h"
#include "delegate_fixture.h"
#include "sparse_backup.h"
#include "ui/page_call_log.h"

namespace nimbara::test {
namespace {

class BackupBrowserTest : public DelegateTest {
  protected:
    void SetUp() override {
        if (const char* root = std::getenv("NIMBARA_BACKUP_ROOT")) {
            savedRoot_ = root;
        }
        backupRoot_ = tmp_ / "backups";
        std::filesystem::create_directories(backupRoot_);
        ::setenv("NIMBARA_BACKUP_ROOT", backupRoot_.c_str(), 1);
        DelegateTest::SetUp();
    }
    void TearDown() override {
        DelegateTest::TearDown();
        if (savedRoot_) {
            ::setenv("NIMBARA_BACKUP_ROOT", savedRoot_->c_str(), 1);
        } else {
            ::unsetenv("NIMBARA_BACKUP_ROOT");
        }
    }

    static bool showsWidget(PRResultViewController& page, QWidget* widget) {
        auto* stack = qobject_cast<QStackedLayout*>(page.view()->layout());
        return stack != nullptr && stack->currentWidget() == widget;
    }

    // The backup of an older device (flat backup layout) whose address book holds `people`.
    simdev::BackupResult writeContactBackup(const std::string& name, const std::string& udid,
                                            const std::vector<simdev::BackupContact>& people) {
        const auto dir = tmp_ / udid;
        simdev::SimDeviceBuilder b(dir);
        b.setIdentity(name, udid, "iPhone8,1", "9.3.5");
        b.setDiskUsage(16'000'000'000ULL, 4'000'000'000ULL);
        EXPECT_TRUE(b.write());
        simdev::addBackupAddressBook(b, people);
        return simdev::writeBackup(dir, backupRoot_);
    }

    static simdev::BackupContact person(const char* first, const char* last, const char* phone) {
        simdev::BackupContact contact;
        contact.first = first;
        contact.last = last;
        contact.phones = {phone};
        return contact;
    }

    // A small older device with two contacts and its backup.
    simdev::BackupResult writeSecondBackup() {
        return writeContactBackup(
            "Second Phone", "second-udid",
            {person("Ann", "Older", "+1 555 0100"), person("Bob", "", "+1 555 0101")});
    }

    // Answers every question with its default button and keeps its message.
    static Alerts::Handler recording(std::vector<QString>& alerts) {
        return [&alerts](QWidget*, const Alerts::Question& q) {
            alerts.push_back(q.message);
            return Alerts::Answer::Default;
        };
    }
    static Alerts::ScopedHandler recordAlerts(std::vector<QString>& alerts) {
        return Alerts::ScopedHandler(recording(alerts));
    }

    // Contacts whose numbers the name look-up is asked for in other spellings.
    simdev::BackupResult writeBackupWithPhones() {
        return writeContactBackup(
            "Address Phone", "address-udid",
            {person("Carla", "Mendes", "+44 20 7946 0958"), person("Dev", "", "(415) 555-0133")});
    }

    simdev::SparseBackup writeSparse(const simdev::SparseBackupShape& shape = {}) {
        auto made = simdev::writeSparseBackup(tmp_ / "sparse", backupRoot_, shape);
        EXPECT_TRUE(made.written.ok) << made.written.error;
        return made;
    }

    static QString rowText(const PRResultViewController& page, int row) {
        return page.categoryList->item(row)->text();
    }

    PRResultViewController* openBrowser() {
        hub().ClickScaniTunesBackup(nullptr);
        return hub().GetresultViewController();
    }

    static bool waitForScan(PRResultViewController& page) {
        const bool done = pumpUntil([&] { return page.scanFinished() && !page.isScanning(); });
        pumpEvents(5);
        return done;
    }

    std::filesystem::path backupRoot_;
    std::optional<std::string> savedRoot_;
};

TEST_F(BackupBrowserTest, AGeneratedBackupIsListedScannedAndItsContactsShown) {
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    const auto written = simdev::writeBackup(device, backupRoot_);
    ASSERT_TRUE(written.ok) << written.error;

    std::vector<QString> alerts;
    Alerts::ScopedHandler record([&alerts](QWidget*, const Alerts::Question& q) {
        alerts.push_back(q.message + QLatin1Char(' ') + q.informativeText);
        return Alerts::Answer::Default;
    });
    hub().ClickScaniTunesBackup(nullptr);

    ASSERT_EQ(hub().GetPRIOSDeviceController()->rowCount(), 1);
    const auto node = hub().currentNode();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->backUpFilePath(), QString::fromStdString(written.folder.string()));
    EXPECT_TRUE(hub().currentNodeIsiOS6Version());
    EXPECT_TRUE(hub().bIOS7DeviceNode());

    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);

    EXPECT_TRUE(alerts.empty()) << alerts.front().toStdString();
    EXPECT_TRUE(showsWidget(*page, page->resultView));
    EXPECT_TRUE(page->incompleteNoticelab->isHidden()) << "every listed file is stored";
    EXPECT_EQ(page->backupPopBtn->count(), 1);
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    const int contacts = static_cast<int>(page->records().contactArray().size());
    EXPECT_GT(contacts, 0);
    EXPECT_EQ(page->contactTable->rowCount(), contacts);
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  %1").arg(contacts));
    EXPECT_EQ(page->backupNameInfolab->text(),
              QStringLiteral("Name: %1").arg(node->strDeviceName()));
    EXPECT_GE(page->BackUpFilesNum(), contacts);
    // Every count label was filled while the scan ran and keeps its text; deleted photos read 0.
    EXPECT_EQ(page->photovideoNumlab->text(),
              QStringLiteral("Photo&Video:  %1").arg(page->records().photoAndVideoArray().size()));
    EXPECT_GT(page->records().photoAndVideoArray().size(), 0u);
    EXPECT_EQ(page->delPhotovideoNumlab->text(), QStringLiteral("Photo&Video:  0"));
    EXPECT_EQ(page->delContactNumlab->text(), QStringLiteral("Contacts:  0"));
    EXPECT_EQ(page->callNumlab->text(), QStringLiteral("Call History:  0"));
    // At the end the file outline shows, holding every entry of the file list.
    EXPECT_EQ(page->categoryList->currentRow(), PRResultViewController::kBackupFiles);
    EXPECT_EQ(page->CustomView->currentWidget(), page->treeView);
    EXPECT_GT(page->backupfiles(), 0u);
    auto* outline = qobject_cast<browser::BackupOutlineModel*>(page->treeView->model());
    ASSERT_NE(outline, nullptr);
    ASSERT_EQ(outline->rowCount(), 1);
    EXPECT_EQ(outline->index(0, 0).data().toString(), node->strDeviceName());
    EXPECT_GT(outline->fileCount(), 0);
    EXPECT_TRUE(page->getLogBtn->isEnabled());
    // Readers that are not built say so instead of showing an empty list.
    EXPECT_TRUE(page->categoryList->item(PRResultViewController::kMessages)
                    ->text()
                    .contains(QStringLiteral("not available yet")));
    page->categoryList->setCurrentRow(PRResultViewController::kContacts);
    EXPECT_EQ(page->CustomView->currentWidget(), page->contactTable);

    // Opening the browser again rescans from scratch: nothing is counted twice.
    hub().ClickScaniTunesBackup(nullptr);
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);
    EXPECT_EQ(hub().GetresultViewController(), page);
    EXPECT_EQ(static_cast<int>(page->records().contactArray().size()), contacts);
    EXPECT_EQ(page->contactTable->rowCount(), contacts);
}

TEST_F(BackupBrowserTest, WithoutBackupsTheUserIsToldHowToMakeOne) {
    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler record([&asked](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    // No device: only " OK " is offered.
    hub().ClickScaniTunesBackup(nullptr);
    EXPECT_EQ(hub().GetPRIOSDeviceController()->rowCount(), 0);
    EXPECT_EQ(hub().currentNode(), nullptr);
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(showsWidget(*page, page->emptyView));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message,
              QStringLiteral("No backups have been found. Please connect your iOS device to the "
                             "computer and backup with Nimbara/iTunes."));
    EXPECT_EQ(asked[0].defaultButton, QStringLiteral(" OK "));
    EXPECT_TRUE(asked[0].alternateButton.isEmpty());
    EXPECT_EQ(page->backupPopBtn->count(), 1);
    EXPECT_EQ(page->backupPopBtn->itemText(0), QStringLiteral("No Device"));
    EXPECT_FALSE(page->isScanning());
    EXPECT_TRUE(page->records().contactArray().empty());

    // A device attached: the default button opens the backup page.
    ASSERT_GE(attachNew("dev-a", Dev("Phone A")), 0);
    ASSERT_TRUE(pumpUntil([&] { return hub().getDeviceConnected(); }));
    ui::PageCallLog::clear();
    hub().ClickScaniTunesBackup(nullptr);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].message, QStringLiteral("No backups have been found. Do you want to "
                                               "backup your device with Nimbara?"));
    EXPECT_EQ(asked[1].defaultButton, QStringLiteral(" Backup "));
    EXPECT_EQ(asked[1].alternateButton, QStringLiteral("Cancel"));
    bool backupPageShown = false;
    for (const std::string& call : ui::PageCallLog::entries()) {
        backupPageShown = backupPageShown || call.find("ShowbackupView") != std::string::npos;
    }
    EXPECT_TRUE(backupPageShown);
}

TEST_F(BackupBrowserTest, PickingAnotherBackupRescansOnlyWhenItChanges) {
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    ASSERT_TRUE(simdev::writeBackup(device, backupRoot_).ok);
    const auto second = writeSecondBackup();
    ASSERT_TRUE(second.ok) << second.error;
    ASSERT_TRUE(second.legacyLayout);

    Alerts::ScopedHandler quiet(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    hub().ClickScaniTunesBackup(nullptr);
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    ASSERT_EQ(page->backupPopBtn->count(), 2);
    const auto nodes = hub().GetPRIOSDeviceController()->content();
    ASSERT_EQ(nodes.size(), 2u);
    const int secondRow = nodes[0]->strDeviceName() == QStringLiteral("Second Phone") ? 0 : 1;
    const int firstRow = 1 - secondRow;
    const auto firstContacts = page->records().contactArray().size();

    // Choosing the item scanned last starts nothing.
    page->backupPopBtn->setCurrentIndex(page->currentSelect());
    page->actSelectBackUpBtn(page->backupPopBtn);
    EXPECT_FALSE(page->isScanning());
    EXPECT_EQ(page->records().contactArray().size(), firstContacts);

    // Another item clears the records and scans that backup; the pop-up keeps its items.
    if (page->currentSelect() != secondRow) {
        page->backupPopBtn->setCurrentIndex(secondRow);
        page->actSelectBackUpBtn(page->backupPopBtn);
        ASSERT_TRUE(waitForScan(*page));
    }
    EXPECT_EQ(page->currentSelect(), secondRow);
    EXPECT_EQ(hub().currentNode()->strDeviceName(), QStringLiteral("Second Phone"));
    ASSERT_EQ(page->records().contactArray().size(), 2u);
    EXPECT_EQ(page->contactTable->rowCount(), 2);
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  2"));
    EXPECT_EQ(page->backupNameInfolab->text(), QStringLiteral("Name: Second Phone"));
    EXPECT_EQ(page->iOSTypeInfolab->text(), QStringLiteral("iOS: 9.3.5"));
    EXPECT_EQ(page->backupPopBtn->count(), 2);
    EXPECT_TRUE(page->backupPopBtn->isEnabled());

    // And back: the first backup's records again, nothing left over from the second.
    page->backupPopBtn->setCurrentIndex(firstRow);
    page->actSelectBackUpBtn(page->backupPopBtn);
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_EQ(page->records().contactArray().size(), firstContacts);
    EXPECT_EQ(page->contactTable->rowCount(), static_cast<int>(firstContacts));
}

TEST_F(BackupBrowserTest, ALargeFileListReachesTheOutlineWhole) {
    // More entries than the page moves into the outline per turn, in many folders.
    const auto dir = tmp_ / "large";
    simdev::SimDeviceBuilder b(dir);
    b.setIdentity("Large Phone", "large-udid", "iPhone9,3", "12.4");
    b.setDiskUsage(16'000'000'000ULL, 4'000'000'000ULL);
    ASSERT_TRUE(b.write());
    constexpr int kFolders = 150;
    constexpr int kFilesPerFolder = 30;
    for (int folder = 0; folder < kFolders; ++folder) {
        for (int file = 0; file < kFilesPerFolder; ++file) {
            simdev::addBackupFile(
                b, "AppDomain-com.example.app" + std::to_string(folder % 7),
                "Library/Caches/f" + std::to_string(folder) + "/x" + std::to_string(file) + ".dat",
                "x");
        }
    }
    const auto written = simdev::writeBackup(dir, backupRoot_);
    ASSERT_TRUE(written.ok) << written.error;

    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    // Every entry but the domains themselves (they have no path).
    EXPECT_EQ(page->backupfiles(), static_cast<std::uint64_t>(written.files + written.folders - 7));
    auto* outline = qobject_cast<browser::BackupOutlineModel*>(page->treeView->model());
    ASSERT_NE(outline, nullptr);
    // Folder entries show as their folders only.
    EXPECT_EQ(outline->fileCount(), written.files);
    // The device, then its seven app domains.
    ASSERT_EQ(outline->rowCount(), 1);
    EXPECT_EQ(outline->rowCount(outline->index(0, 0)), 7);
}

TEST_F(BackupBrowserTest, ASparseBackupWithoutAddressBookIsScannedWithoutAlarm) {
    const simdev::SparseBackup made = writeSparse();
    const int listedFiles = made.written.files + made.written.listedOnlyFiles;

    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    // Listed through its binary Info.plist alone.
    ASSERT_EQ(hub().GetPRIOSDeviceController()->rowCount(), 1);
    ASSERT_TRUE(waitForScan(*page));

    EXPECT_TRUE(alerts.empty()) << alerts.front().toStdString();
    EXPECT_EQ(page->backupNameInfolab->text(), QStringLiteral("Name: Sparse Phone"));
    EXPECT_EQ(rowText(*page, PRResultViewController::kContacts), QStringLiteral("Contacts (0)"));
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  0"));
    EXPECT_EQ(page->contactTable->rowCount(), 0);
    // Pictures and movies listed without their files: said once, quietly.
    EXPECT_FALSE(page->incompleteNoticelab->isHidden());
    EXPECT_TRUE(page->incompleteNoticelab->text().contains(QStringLiteral("incomplete")));
    // Only files are photos, and only files are counted and listed as backup files.
    const int photos = made.storedMedia + made.listedOnlyMedia;
    EXPECT_EQ(static_cast<int>(page->records().photoAndVideoArray().size()), photos);
    EXPECT_EQ(rowText(*page, PRResultViewController::kPhotos),
              QStringLiteral("Photos & Videos (%1)").arg(photos));
    EXPECT_EQ(page->photovideoNumlab->text(), QStringLiteral("Photo&Video:  %1").arg(photos));
    EXPECT_EQ(page->backupFileCount(), static_cast<std::uint64_t>(listedFiles));
    EXPECT_EQ(rowText(*page, PRResultViewController::kBackupFiles),
              QStringLiteral("Backup files (%1)").arg(listedFiles));
    auto* outline = qobject_cast<browser::BackupOutlineModel*>(page->treeView->model());
    ASSERT_NE(outline, nullptr);
    EXPECT_EQ(outline->fileCount(), listedFiles);
}

TEST_F(BackupBrowserTest, AnAddressBookListedButNotStoredGivesOnlyTheQuietNotice) {
    simdev::SparseBackupShape shape;
    shape.listedOnlyFiles = 0;
    shape.listAddressBook = true;
    writeSparse(shape);
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_TRUE(alerts.empty()) << alerts.front().toStdString();
    EXPECT_EQ(rowText(*page, PRResultViewController::kContacts), QStringLiteral("Contacts (0)"));
    EXPECT_FALSE(page->incompleteNoticelab->isHidden());
}

TEST_F(BackupBrowserTest, AnUnreadableAddressBookIsReportedInPlainWords) {
    simdev::SparseBackupShape shape;
    shape.listedOnlyFiles = 0;
    const simdev::SparseBackup made = writeSparse(shape);
    const std::string key = "31bb7ba8914766d4ba40d6dfb6113c8b614be442";
    const auto book = made.written.folder / key.substr(0, 2) / key;
    std::filesystem::create_directories(book.parent_path());
    writeText(book, "not a database");
    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler record([&asked](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message, QStringLiteral("Part of this backup could not be read."));
    EXPECT_EQ(asked[0].informativeText,
              QStringLiteral("The address book in this backup could not be read."));
    EXPECT_TRUE(page->incompleteNoticelab->isHidden());
}

TEST_F(BackupBrowserTest, TheDelegateNamesNumbersFromTheScannedBackupOnly) {
    ASSERT_TRUE(writeBackupWithPhones().ok);
    const simdev::SparseBackup sparse = writeSparse();
    Alerts::ScopedHandler quiet(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    EXPECT_TRUE(hub().getNameByPhoneNumber(QStringLiteral("020 7946 0958")).isNull());

    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    const auto nodes = hub().GetPRIOSDeviceController()->content();
    ASSERT_EQ(nodes.size(), 2u);
    ASSERT_EQ(nodes[0]->strDeviceName(), QStringLiteral("Address Phone"));
    // The GUI thread looks names up while the scan thread fills the list.
    const bool done = pumpUntil([&] {
        hub().getNameByPhoneNumber(QStringLiteral("+44 20 7946 0958"));
        return page->scanFinished() && !page->isScanning();
    });
    ASSERT_TRUE(done);
    pumpEvents(5);
    ASSERT_EQ(hub().contactArray().size(), 2u);
    // Other spellings of the numbers find their people, with and without the length rule.
    EXPECT_EQ(hub().getNameByPhoneNumber(QStringLiteral("020 7946 0958")),
              QStringLiteral("Carla Mendes"));
    EXPECT_EQ(hub().getNameByPhoneNumber(QStringLiteral("1-415-555-0133"), QByteArray()),
              QStringLiteral("Dev"));
    EXPECT_TRUE(hub().getNameByPhoneNumber(QStringLiteral("+1 202 555 0199")).isNull());
    // The look-up a reader on the scan thread makes finds them too.
    QString fromWorker;
    std::thread worker([&] {
        fromWorker = hub().getNameByPhoneNumber(QStringLiteral("0044-20-7946-0958"), QByteArray());
    });
    worker.join();
    EXPECT_EQ(fromWorker, QStringLiteral("Carla Mendes"));

    // Another backup without an address book: its scan names nobody from the first one.
    page->backupPopBtn->setCurrentIndex(1);
    page->actSelectBackUpBtn(page->backupPopBtn);
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_TRUE(hub().contactArray().empty());
    EXPECT_TRUE(hub().getNameByPhoneNumber(QStringLiteral("020 7946 0958")).isNull());
    // The file count is this backup's alone.
    const int listedFiles = sparse.written.files + sparse.written.listedOnlyFiles;
    EXPECT_EQ(rowText(*page, PRResultViewController::kBackupFiles),
              QStringLiteral("Backup files (%1)").arg(listedFiles));
}

TEST_F(BackupBrowserTest, TheGuideSheetWalksThreeStepsAndCloses) {
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    ASSERT_TRUE(simdev::writeBackup(device, backupRoot_).ok);
    hub().ClickScaniTunesBackup(nullptr);
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_TRUE(page->getLogBtn->isEnabled());

    page->getLogBtn->click();
    ASSERT_NE(page->guidWindow, nullptr);
    EXPECT_TRUE(page->guidWindow->isVisible());
    EXPECT_EQ(page->currentStep(), 0);
    EXPECT_EQ(page->firstTiplab->text(),
              QStringLiteral("Step1: Reboot your iPhone or other i-device."));
    page->nextBtn->click();
    EXPECT_EQ(page->currentStep(), 1);
    EXPECT_EQ(page->firstTiplab->text(),
              QStringLiteral("Step2: Backup with iTunes to obtain the latest database file."));
    page->nextBtn->click();
    EXPECT_EQ(page->currentStep(), 2);
    EXPECT_EQ(page->firstTiplab->text(), QStringLiteral("Strep3: Run Nimbara and rescan."));
    EXPECT_EQ(page->nextBtn->accessibleName(), QStringLiteral("doneNom"));
    page->nextBtn->click();
    EXPECT_EQ(page->currentStep(), 0);
    EXPECT_FALSE(page->guidWindow->isVisible());
    EXPECT_EQ(page->nextBtn->accessibleName(), QStringLiteral("nextBtn"));
}

TEST_F(BackupBrowserTest, ADamagedFileListIsReported) {
    // A folder that lists but whose file list is damaged.
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    const auto written = simdev::writeBackup(device, backupRoot_);
    ASSERT_TRUE(written.ok) << written.error;
    for (const char* name : {"Manifest.db", "Manifest.mbdb"}) {
        const auto list = written.folder / name;
        if (std::filesystem::exists(list)) {
            std::filesystem::resize_file(list, 7);
        }
    }
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front(), QStringLiteral("Part of this backup could not be read."));
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
}

}  // namespace
}  // namespace nimbara::test
