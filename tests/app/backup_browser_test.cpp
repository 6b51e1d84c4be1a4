// The backup browser opened from the sidebar: local backups are listed, the first is scanned and
// its contacts reach the result page; without a backup the page says so. Also the start page's
// backup table (read off the GUI thread) and the button beside it.
#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontInfo>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeView>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/contact_reader.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_ios_device_node.h"
#include "backup/record_notifications.h"
#include "backup/sqlite_db.h"
#include "backup_calls.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_files_view.h"
#include "browser/pages/pr_result_view_controller.h"
#include "browser/pages/recovery_export_sheet.h"
#include "delegate_fixture.h"
#include "demo_deleted_records.h"
#include "platform/plist_value.h"
#include "sparse_backup.h"
#include "test_support.h"
#include "ui/alerts.h"
#include "ui/chat_column_view.h"
#include "ui/named_image.h"
#include "ui/page_call_log.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

void writeListedBackupIn(const std::filesystem::path& root, const std::string& folder,
                         const std::string& name, const std::string& productType) {
    const auto dir = root / folder;
    std::filesystem::create_directories(dir);
    PlistValue info = PlistValue::dict();
    info.set("Device Name", name);
    info.set("Serial Number", "SER-" + name);
    info.set("Product Type", productType);
    info.set("Product Version", "12.4");
    EXPECT_TRUE(info.writeFile((dir / "Info.plist").string()));
    writeText(dir / "3d0d7e5fb2ce288813306e4d4636395e047a3d28", "stored file");
}

// Runs the event loop `rounds` times with a short pause in between.
void pumpFor(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Runs the event loop until the list's folders have been read (or a generous limit passes).
void waitForRows(const PRIOSDeviceController& list) {
    for (int i = 0; i < 2000 && list.isLoading(); ++i) {
        pumpFor(1);
    }
}

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
    simdev::BackupResult writeSmallBackup(const std::string& name, const std::string& udid) {
        return writeContactBackup(
            name, udid, {person("Ann", "Older", "+1 555 0100"), person("Bob", "", "+1 555 0101")});
    }
    simdev::BackupResult writeSecondBackup() {
        return writeSmallBackup("Second Phone", "second-udid");
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

    // A backup of `folders` folders of `files` one-byte files each, spread over `domains` app
    // domains ("AppDomain-com.example.app<n>", "Library/Caches/f<folder>/x<file>.dat").
    simdev::BackupResult writeManyFilesBackup(const std::string& name, int folders, int files,
                                              int domains) {
        const auto dir = tmp_ / name;
        simdev::SimDeviceBuilder b(dir);
        b.setIdentity("Large Phone", name + "-udid", "iPhone9,3", "12.4");
        b.setDiskUsage(16'000'000'000ULL, 4'000'000'000ULL);
        EXPECT_TRUE(b.write());
        for (int folder = 0; folder < folders; ++folder) {
            for (int file = 0; file < files; ++file) {
                simdev::addBackupFile(
                    b, "AppDomain-com.example.app" + std::to_string(folder % domains),
                    "Library/Caches/f" + std::to_string(folder) + "/x" + std::to_string(file) +
                        ".dat",
                    "x");
            }
        }
        return simdev::writeBackup(dir, backupRoot_);
    }

    simdev::SparseBackup writeSparse(const simdev::SparseBackupShape& shape = {}) {
        auto made = simdev::writeSparseBackup(tmp_ / "sparse", backupRoot_, shape);
        EXPECT_TRUE(made.written.ok) << made.written.error;
        return made;
    }

    static QString rowText(const PRResultViewController& page, int row) {
        return page.categoryList->item(row)->text();
    }

    // Opens the browser from the sidebar and waits until the backup list has been read (the
    // first backup is then being scanned).
    PRResultViewController* openBrowser() {
        hub().ClickScaniTunesBackup(nullptr);
        EXPECT_TRUE(waitForList());
        return hub().GetresultViewController();
    }
    bool waitForList() {
        return pumpUntil([this] { return !hub().GetPRIOSDeviceController()->isLoading(); });
    }

    static bool waitForScan(PRResultViewController& page) {
        const bool done = pumpUntil([&] { return page.scanFinished() && !page.isScanning(); });
        pumpEvents(5);
        return done;
    }

    // A folder of the backup root that lists (Info.plist and one stored file) but holds nothing.
    void writeListedBackup(const std::string& folder, const std::string& name,
                           const std::string& productType) {
        writeListedBackupIn(backupRoot_, folder, name, productType);
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
    openBrowser();

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
    const auto listed = page->records().contactArray();
    const int contacts = static_cast<int>(listed.size());
    // The demo's deleted contacts are listed too, and counted apart.
    const auto deletedContacts = static_cast<int>(
        std::count_if(listed.begin(), listed.end(), [](const auto& c) { return c->bDeleted(); }));
    EXPECT_GT(contacts, 0);
    EXPECT_GT(deletedContacts, 0);
    EXPECT_EQ(page->contactTableView->model()->rowCount(), contacts);
    EXPECT_EQ(page->contactNumlab->text(),
              QStringLiteral("Contacts:  %1").arg(contacts - deletedContacts));
    EXPECT_EQ(page->backupNameInfolab->text(),
              QStringLiteral("Name: %1").arg(node->strDeviceName()));
    EXPECT_GE(page->BackUpFilesNum(), contacts);
    // Every count label was filled while the scan ran and keeps its text; deleted photos read 0.
    EXPECT_EQ(page->photovideoNumlab->text(),
              QStringLiteral("Photo&Video:  %1").arg(page->records().photoAndVideoArray().size()));
    EXPECT_GT(page->records().photoAndVideoArray().size(), 0u);
    EXPECT_EQ(page->delPhotovideoNumlab->text(), QStringLiteral("Photo&Video:  0"));
    EXPECT_EQ(page->delContactNumlab->text(), QStringLiteral("Contacts:  %1").arg(deletedContacts));
    // The demo's calls arrive from the call history reader.
    EXPECT_EQ(page->callNumlab->text(),
              QStringLiteral("Call History:  %1").arg(simdev::demoCalls().size()));
    // At the end the file outline shows, holding every entry of the file list.
    EXPECT_EQ(page->categoryList->currentRow(), PRResultViewController::kBackupFiles);
    EXPECT_EQ(page->CustomView->currentWidget(), page->backupFilesView);
    EXPECT_TRUE(page->backupFilesView->isAncestorOf(page->treeView));
    EXPECT_GT(page->backupfiles(), 0u);
    auto* outline = qobject_cast<browser::BackupOutlineModel*>(page->treeView->model());
    ASSERT_NE(outline, nullptr);
    ASSERT_EQ(outline->rowCount(), 1);
    EXPECT_EQ(outline->index(0, 0).data().toString(), node->strDeviceName());
    EXPECT_GT(outline->fileCount(), 0);
    EXPECT_TRUE(page->getLogBtn->isEnabled());
    // Every family has its reader now: none says it is not available.
    for (int row : {PRResultViewController::kNotes, PRResultViewController::kMessages}) {
        EXPECT_FALSE(
            page->categoryList->item(row)->text().contains(QStringLiteral("not available yet")));
    }
    page->categoryList->setCurrentRow(PRResultViewController::kContacts);
    EXPECT_TRUE(page->CustomView->currentWidget()->isAncestorOf(page->contactTableView));

    // Opening the browser again rescans from scratch: nothing is counted twice.
    openBrowser();
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);
    EXPECT_EQ(hub().GetresultViewController(), page);
    EXPECT_EQ(static_cast<int>(page->records().contactArray().size()), contacts);
    EXPECT_EQ(page->contactTableView->model()->rowCount(), contacts);
}

TEST_F(BackupBrowserTest, EveryFamilyOfTheDemoBackupIsShownWithItsCount) {
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    ASSERT_TRUE(simdev::writeBackup(device, backupRoot_).ok);
    Alerts::ScopedHandler quiet(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));

    const auto& r = page->records();
    struct Family {
        int row;
        QTableView* table;
        std::size_t records;
    };
    const Family families[] = {
        {PRResultViewController::kContacts, page->contactTableView, r.contactArray().size()},
        {PRResultViewController::kMessages, page->messageTreeTableView,
         r.messageTreeArray().size()},
        {PRResultViewController::kCalls, page->callHistoryTableView, r.callHistoryArray().size()},
        {PRResultViewController::kNotes, page->noteTableView, r.noteArray().size()},
        {PRResultViewController::kBookmarks, page->bookMarkTableView, r.bookMarkArray().size()},
        {PRResultViewController::kCalendar, page->calenderTableView, r.calenderArray().size()},
    };
    for (const auto& family : families) {
        SCOPED_TRACE(family.row);
        EXPECT_GT(family.records, 0u);
        EXPECT_EQ(family.table->model()->rowCount(), static_cast<int>(family.records));
        page->categoryList->setCurrentRow(family.row);
        EXPECT_TRUE(page->CustomView->currentWidget()->isAncestorOf(family.table) ||
                    page->CustomView->currentWidget() == family.table);
        EXPECT_FALSE(rowText(*page, family.row).contains(QStringLiteral("not available")));
    }
    const auto calls = r.callHistoryArray();
    EXPECT_EQ(
        std::count_if(calls.begin(), calls.end(), [](const auto& c) { return !c->bDeleted(); }),
        static_cast<std::ptrdiff_t>(simdev::demoCalls().size()));

    // Messages: grouped by party, a number in two spellings in one conversation; the category
    // counts the messages and the conversations.
    const auto conversations = r.messageTreeArray();
    std::size_t grouped = 0;
    for (const auto& c : conversations) {
        grouped += c->messageCount();
    }
    EXPECT_EQ(grouped, r.messageArray().size());
    EXPECT_LT(conversations.size(), r.messageArray().size());
    EXPECT_EQ(rowText(*page, PRResultViewController::kMessages),
              QStringLiteral("Messages (%1)").arg(r.messageArray().size()));
    EXPECT_EQ(page->messageTreeCountlab->text(), QStringLiteral("%1 conversations, %2 messages")
                                                     .arg(conversations.size())
                                                     .arg(r.messageArray().size()));

    // The first conversation is chosen; choosing another shows its messages.
    page->categoryList->setCurrentRow(PRResultViewController::kMessages);
    ASSERT_NE(page->currentMessageTreeNode(), nullptr);
    EXPECT_EQ(page->currentMessageTreeNode(), conversations.front());
    page->messageTreeTableView->selectRow(1);
    EXPECT_EQ(page->currentMessageTreeNode(), conversations[1]);
    EXPECT_EQ(page->messageTreeScrollView->currentMessageTreeNode(), conversations[1]);
    EXPECT_EQ(page->messageTreeScrollView->haveAddChatNum(),
              static_cast<int>(conversations[1]->messageCount()));

    // A new scan of the same backup starts from empty tables: nothing is shown twice.
    openBrowser();
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_EQ(page->messageTreeTableView->model()->rowCount(),
              static_cast<int>(conversations.size()));
    EXPECT_EQ(page->noteTableView->model()->rowCount(), static_cast<int>(r.noteArray().size()));
}

TEST_F(BackupBrowserTest, WithoutBackupsTheUserIsToldHowToMakeOne) {
    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler record([&asked](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    // No device: only " OK " is offered.
    openBrowser();
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
    openBrowser();
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
    openBrowser();
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
    EXPECT_EQ(page->contactTableView->model()->rowCount(), 2);
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
    EXPECT_EQ(page->contactTableView->model()->rowCount(), static_cast<int>(firstContacts));
}

TEST_F(BackupBrowserTest, ALargeFileListReachesTheOutlineWhole) {
    // More entries than the page moves into the outline per turn, in many folders.
    const auto written = writeManyFilesBackup("large", 150, 30, 7);
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
    EXPECT_EQ(page->contactTableView->model()->rowCount(), 0);
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
    openBrowser();
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

TEST_F(BackupBrowserTest, TheStartPageTableShowsTheBackupsAndItsButtonFollowsTheSelection) {
    writeListedBackup("aaaa", "Anna's iPhone", "iPhone5,2");
    writeListedBackup("bbbb", "Ben's iPad", "iPad2,1");
    hub().showIphoneDiskView();
    ASSERT_TRUE(waitForList());

    QTableView* table = ui().diskTableView;
    auto* list = hub().GetPRIOSDeviceController();
    ASSERT_EQ(table->model(), list);
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(PRIOSDeviceController::columnIdentifier(0), QStringLiteral("Name"));
    const QModelIndex phone = table->model()->index(0, 0);
    const QModelIndex pad = table->model()->index(1, 0);
    EXPECT_EQ(phone.data().toString(), QStringLiteral("Anna's iPhone"));
    EXPECT_EQ(table->model()->index(0, PRIOSDeviceController::TypeColumn).data().toString(),
              QStringLiteral("iPhone 5"));
    // The "Name" column shows each row's device picture; the others show none.
    auto picture = [](const QVariant& icon) {
        return qvariant_cast<QIcon>(icon).pixmap(QSize(48, 48)).toImage();
    };
    const QImage iphone = picture(ui::namedIcon(QStringLiteral("iphoneImage.png")));
    const QImage ipad = picture(ui::namedIcon(QStringLiteral("ipadImage.png")));
    ASSERT_FALSE(iphone.isNull());
    ASSERT_NE(iphone, ipad);
    EXPECT_EQ(picture(phone.data(Qt::DecorationRole)), iphone);
    EXPECT_EQ(picture(pad.data(Qt::DecorationRole)), ipad);
    EXPECT_FALSE(table->model()->index(0, 1).data(Qt::DecorationRole).isValid());
    // Every cell: "Lucida Grande" at 11 points, drawn with DejaVu Sans.
    for (int column = 0; column < table->model()->columnCount(); ++column) {
        const QFont font =
            qvariant_cast<QFont>(table->model()->index(1, column).data(Qt::FontRole));
        EXPECT_EQ(font.family(), QStringLiteral("Lucida Grande"));
        EXPECT_EQ(font.pointSize(), 11);
        EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
    }

    // The button is enabled exactly while a row is selected.
    EXPECT_FALSE(ui().button->isEnabled());
    table->selectRow(1);
    EXPECT_TRUE(ui().button->isEnabled());
    table->clearSelection();
    EXPECT_FALSE(ui().button->isEnabled());

    // Rebuilding the list leaves no row selected and the button disabled; while the folders are
    // read the table is empty.
    table->selectRow(0);
    ASSERT_TRUE(ui().button->isEnabled());
    hub().showIphoneDiskView();
    EXPECT_EQ(table->model()->rowCount(), 0);
    EXPECT_FALSE(ui().button->isEnabled());
    ASSERT_TRUE(waitForList());
    EXPECT_EQ(table->model()->rowCount(), 2);
    EXPECT_FALSE(table->selectionModel()->hasSelection());
    EXPECT_FALSE(ui().button->isEnabled());
}

TEST_F(BackupBrowserTest, TheStartPageButtonOpensTheSelectedBackup) {
    ASSERT_TRUE(writeSmallBackup("First Phone", "a-udid").ok);
    ASSERT_TRUE(writeSecondBackup().ok);
    Alerts::ScopedHandler quiet(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    hub().showIphoneDiskView();
    ASSERT_TRUE(waitForList());
    ASSERT_EQ(hub().GetPRIOSDeviceController()->nodeAt(1)->strDeviceName(),
              QStringLiteral("Second Phone"));

    ui().diskTableView->selectRow(1);
    ui().button->click();
    ASSERT_NE(hub().currentNode(), nullptr);
    EXPECT_EQ(hub().currentNode()->strDeviceName(), QStringLiteral("Second Phone"));
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_EQ(page->currentSelect(), 1);
    EXPECT_EQ(page->backupNameInfolab->text(), QStringLiteral("Name: Second Phone"));
}

// The backup list read off the GUI thread: a listing that a newer one overtakes is never shown,
// and every caller waiting for the list is answered once, in call order, with the newest rows.
TEST(BackupListModel, OnlyTheNewestListingIsShownAndEveryWaiterRunsOnce) {
    ensureApplication();
    TempDir older;
    TempDir newer;
    writeListedBackupIn(older.path(), "x1", "Old One", "iPhone5,2");
    writeListedBackupIn(older.path(), "x2", "Old Two", "iPhone5,2");
    writeListedBackupIn(newer.path(), "y1", "New One", "iPad3,4");

    PRIOSDeviceController list;
    std::vector<std::pair<int, int>> answered;  // (caller, rows seen)
    list.loadDeviceNodes(QString::fromStdString(older.str()),
                         [&] { answered.emplace_back(1, list.rowCount()); });
    list.loadDeviceNodes(QString::fromStdString(newer.str()),
                         [&] { answered.emplace_back(2, list.rowCount()); });
    EXPECT_TRUE(list.isLoading());
    EXPECT_EQ(list.rowCount(), 0);
    waitForRows(list);
    ASSERT_FALSE(list.isLoading());
    // Let a stale listing arrive, if one was still on its way.
    pumpFor(20);
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.nodeAt(0)->strDeviceName(), QStringLiteral("New One"));
    EXPECT_EQ(answered, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));

    // Going away while a listing is read waits for it and answers nobody.
    bool late = false;
    {
        PRIOSDeviceController leaving;
        leaving.loadDeviceNodes(QString::fromStdString(older.str()), [&] { late = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(late);
}

TEST(BackupListModel, AFolderPathWithNothingBehindItIsLogged) {
    ensureApplication();
    TempDir root;
    writeListedBackupIn(root.path(), "good", "Good Phone", "iPhone5,2");
    std::filesystem::create_symlink(root.path() / "gone", root.path() / "dangling");
    const QString line = QStringLiteral("Filepath is not exist");
    LogRecorder log;

    PRIOSDeviceController list;
    list.addDeviceNodeByPath(QString::fromStdString((root.path() / "missing").string()));
    EXPECT_EQ(log.count(line), 1);
    EXPECT_EQ(list.rowCount(), 0);
    // A folder that is there but not a backup is left out silently.
    std::filesystem::create_directories(root.path() / "empty");
    list.addDeviceNodeByPath(QString::fromStdString((root.path() / "empty").string()));
    EXPECT_EQ(log.count(line), 1);
    EXPECT_EQ(list.rowCount(), 0);
    list.addDeviceNodeByPath(QString::fromStdString((root.path() / "good").string()));
    ASSERT_EQ(list.rowCount(), 1);
    EXPECT_EQ(list.nodeAt(0)->strDeviceName(), QStringLiteral("Good Phone"));

    // The whole listing: the link to nowhere is logged, the good folder listed.
    list.loadDeviceNodes(QString::fromStdString(root.str()));
    waitForRows(list);
    EXPECT_EQ(list.rowCount(), 1);
    EXPECT_EQ(log.count(line), 2);
}

// A scan step that blocks until the test lets it go (or a few seconds pass), then posts a
// contact and hands contacts on: what a replaced scan that is slow to end would still do.
struct BlockingStep {
    std::shared_ptr<std::atomic<bool>> release = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> entered = std::make_shared<std::atomic<bool>>(false);
    // Set as the step returns.
    std::shared_ptr<std::atomic<bool>> left = std::make_shared<std::atomic<bool>>(false);

    PRResultViewController::PlanMaker planMaker() const {
        return [release = release, entered = entered,
                left = left](const std::shared_ptr<backup::BackupScanRecords>& records) {
            backup::BackupScanPlan plan = backup::BackupScanPlan::standard();
            plan.setRunner(
                backup::ScanStepKind::Manifest,
                [release, entered, left, records](const backup::ScanStepContext& context) {
                    entered->store(true);
                    for (int i = 0; i < 5000 && !release->load(); ++i) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    }
                    auto stale = std::make_shared<PRContactNode>();
                    stale->setContactName(QStringLiteral("Stale Contact"));
                    context.center().post(backup::kScanContactInfo, stale);
                    records->setContacts({stale});
                    left->store(true);
                    return backup::ScanStepReport{};
                });
            return plan;
        };
    }
};

TEST_F(BackupBrowserTest, SwitchingBackupsMidScanNeverWaitsAndTheOldScanLeavesNoTrace) {
    ASSERT_TRUE(writeSmallBackup("First Phone", "first-udid").ok);
    ASSERT_TRUE(writeSecondBackup().ok);
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    const auto nodes = hub().GetPRIOSDeviceController()->content();
    ASSERT_EQ(nodes.size(), 2u);
    const int first = page->currentSelect();
    const int second = 1 - first;

    // A scan that does not end when asked to stop, until it is let go.
    BlockingStep blocking;
    page->setPlanMaker(blocking.planMaker());
    page->scanBackup(nodes[static_cast<std::size_t>(second)], second);
    ASSERT_TRUE(pumpUntil([&] { return blocking.entered->load(); }));
    ASSERT_TRUE(page->isScanning());

    // Switching returns at once: the old scan is still running, handed to the reaper.
    page->setPlanMaker({});
    page->scanBackup(nodes[static_cast<std::size_t>(first)], first);
    EXPECT_EQ(page->endingScans(), 1u) << "the GUI thread waited for the old scan";
    EXPECT_FALSE(blocking.release->load());

    // Let it go: it posts on its way out, but nothing of it lands in the new lists, and its
    // thread is joined later by the reaper.
    blocking.release->store(true);
    ASSERT_TRUE(waitForScan(*page));
    ASSERT_TRUE(pumpUntil([&] { return page->endingScans() == 0; }));
    EXPECT_EQ(page->currentSelect(), first);
    const auto contacts = page->records().contactArray();
    EXPECT_EQ(contacts.size(), 2u);
    for (const auto& contact : contacts) {
        EXPECT_NE(contact->contactName(), QStringLiteral("Stale Contact"));
    }
    for (const auto& contact : hub().contactArray()) {
        EXPECT_NE(contact->contactName(), QStringLiteral("Stale Contact"));
    }
    EXPECT_EQ(page->contactTableView->model()->rowCount(), 2);
}

TEST_F(BackupBrowserTest, ABackupWhoseFileListIsAnEndlessViewEndsAsDamage) {
    writeListedBackup("endless", "Endless Phone", "iPhone5,2");
    {
        auto db = SqliteDb::open((backupRoot_ / "endless" / "Manifest.db").string(),
                                 SqliteDb::Mode::ReadWriteCreate);
        ASSERT_TRUE(db);
        ASSERT_TRUE(db->exec(
            "CREATE VIEW Files AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
            "SELECT printf('%040x', x) AS fileID, 'HomeDomain' AS domain, 'f' || x AS "
            "relativePath, 1 AS flags, NULL AS file FROM r"));
    }
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front(), QStringLiteral("Part of this backup could not be read."));
    EXPECT_EQ(page->backupFileCount(), 0u);
}

TEST_F(BackupBrowserTest, DestroyingThePageMidScanNeverWaitsAndLeavesNoTrace) {
    ASSERT_TRUE(writeSmallBackup("First Phone", "first-udid").ok);
    PRResultViewController* shown = openBrowser();
    ASSERT_NE(shown, nullptr);
    ASSERT_TRUE(waitForScan(*shown));
    const auto node = hub().GetPRIOSDeviceController()->nodeAt(0);
    ASSERT_NE(node, nullptr);

    // A page of its own whose scan does not end when asked to stop, until it is let go.
    BlockingStep blocking;
    auto page = std::make_unique<PRResultViewController>(hub());
    page->setPlanMaker(blocking.planMaker());
    page->scanBackup(node, 0);
    ASSERT_TRUE(pumpUntil([&] { return blocking.entered->load(); }));
    const QObjectList before = QCoreApplication::instance()->children();
    page.reset();
    EXPECT_FALSE(blocking.left->load()) << "the GUI thread waited for the scan";
    // What the page left under the application: the reaper of the scan still ending.
    std::vector<QPointer<QObject>> leftBehind;
    for (QObject* child : QCoreApplication::instance()->children()) {
        if (!before.contains(child)) {
            leftBehind.emplace_back(child);
        }
    }
    EXPECT_FALSE(leftBehind.empty());

    // Let go, the scan ends on its own; its thread is joined and the reaper goes, and nothing
    // the scan posts on its way out reaches the application.
    blocking.release->store(true);
    ASSERT_TRUE(pumpUntil([&] {
        return blocking.left->load() && std::all_of(leftBehind.begin(), leftBehind.end(),
                                                    [](const auto& left) { return left.isNull(); });
    }));
    for (const auto& contact : hub().contactArray()) {
        EXPECT_NE(contact->contactName(), QStringLiteral("Stale Contact"));
    }
}

TEST_F(BackupBrowserTest, TheOutlineTakesAScanAsInsertedRowsWithoutAReset) {
    // Entries in many folders of several domains, more than the page files in one turn.
    const auto written = writeManyFilesBackup("rows", 60, 40, 5);
    ASSERT_TRUE(written.ok) << written.error;
    PRResultViewController* page = openBrowser();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(waitForScan(*page));
    page->actBackUpBoswer();
    auto* outline = qobject_cast<browser::BackupOutlineModel*>(page->treeView->model());
    ASSERT_NE(outline, nullptr);

    // Scanned again with the outline in view: one reset as the scan starts (a new backup's
    // outline), then only inserted rows, checked for consistency as they come.
    QAbstractItemModelTester tester(outline, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(outline, &QAbstractItemModel::modelReset);
    QSignalSpy inserted(outline, &QAbstractItemModel::rowsInserted);
    page->scanBackup(hub().GetPRIOSDeviceController()->nodeAt(0), 0);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(outline->rowCount(), 0);
    ASSERT_TRUE(waitForScan(*page));
    EXPECT_EQ(resets.count(), 1) << "the outline was reset during the scan";
    EXPECT_GE(inserted.count(), 1);
    EXPECT_EQ(outline->fileCount(), written.files);
    ASSERT_EQ(outline->rowCount(), 1);
    const QModelIndex device = outline->index(0, 0);
    EXPECT_EQ(outline->rowCount(device), 5);
    EXPECT_TRUE(page->treeView->isExpanded(device)) << "the device folder opens as it comes";
    EXPECT_EQ(page->backupFileCount(), static_cast<std::uint64_t>(written.files));
}

}  // namespace
}  // namespace nimbara::test

namespace nimbara::test {
namespace {

// A scan whose contact step posts five contacts, two of them recovered from deleted rows (one
// of which repeats a listed contact and is dropped).
PRResultViewController::PlanMaker contactsWithDeleted() {
    return [](const std::shared_ptr<backup::BackupScanRecords>&) {
        backup::BackupScanPlan plan = backup::BackupScanPlan::standard();
        plan.setRunner(backup::ScanStepKind::Contacts, [](const backup::ScanStepContext& context) {
            auto post = [&context](const char* name, const char* who, const char* phone) {
                auto contact = std::make_shared<PRContactNode>();
                contact->setContactName(QString::fromLatin1(who));
                contact->setContactPhone(QString::fromLatin1(phone));
                context.center().post(name, contact);
            };
            post(backup::kScanContactInfo, "Cleo", "1");
            post(backup::kScanContactInfo, "Abe", "2");
            post(backup::kScanContactInfo, "Bea", "3");
            post(backup::kScanDelContactInfo, "Dan", "4");
            post(backup::kScanDelContactInfo, "Abe", "2");
            post(backup::kScanDelContactInfo, "Eve", "5");
            return backup::ScanStepReport{};
        });
        return plan;
    };
}

QStringList contactNames(const QTableView& table) {
    QStringList names;
    for (int row = 0; row < table.model()->rowCount(); ++row) {
        names << table.model()->index(row, 1).data().toString();
    }
    return names;
}

TEST_F(BackupBrowserTest, TicksFiltersAndSelectAllKeepOneExactCount) {
    ASSERT_TRUE(writeSmallBackup("Tick Phone", "tick-udid").ok);
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_TRUE(waitForScan(*page));
    page->setPlanMaker(contactsWithDeleted());
    page->scanBackup(hub().currentNode(), 0);
    ASSERT_TRUE(waitForScan(*page));
    page->actContact();
    QTableView* table = page->contactTableView;
    ASSERT_EQ(contactNames(*table), (QStringList{"Cleo", "Abe", "Bea", "Dan", "Eve"}));
    // Recovered rows are marked for their colour.
    EXPECT_TRUE(table->model()->index(3, 1).data(browser::kDeletedRecordRole).toBool());
    EXPECT_FALSE(table->model()->index(0, 1).data(browser::kDeletedRecordRole).toBool());
    // The first record is chosen and its details shown.
    auto* name = page->contactTableView->window()->findChild<QLabel*>("contactNamelab");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("Cleo"));
    EXPECT_FALSE(page->saveBtn->isEnabled());

    // Three rows selected, one already ticked: a tick on one of them ticks all three (+2).
    auto* model = table->model();
    model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 1);
    table->selectionModel()->clearSelection();
    for (int row : {0, 1, 2}) {
        table->selectionModel()->select(model->index(row, 0),
                                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 3);
    EXPECT_EQ(page->selecteFilelab->text(),
              QStringLiteral("You select 3 files in the backup results."));
    EXPECT_TRUE(page->saveBtn->isEnabled());
    model->setData(model->index(2, 0), Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(page->selectedFilesNum(), 0);
    EXPECT_TRUE(page->selecteFilelab->isHidden());
    EXPECT_FALSE(page->saveBtn->isEnabled());

    // Only deleted records, then select all: only those are ticked.
    page->checkBtn->setChecked(true);
    page->actCheck();
    EXPECT_EQ(contactNames(*table), (QStringList{"Dan", "Eve"}));
    page->selectAllBtn->setChecked(true);
    page->ClickSelectAll();
    EXPECT_EQ(page->selectedFilesNum(), 2);
    EXPECT_EQ(page->selecteFilelab->text(),
              QStringLiteral("You select 2 files in the recovery results."));
    const auto contacts = page->records().contactArray();
    EXPECT_EQ(std::count_if(contacts.begin(), contacts.end(),
                            [](const auto& c) { return c->bSelected(); }),
              2);

    // Another category and back: the whole list again, the filter off, the select-all box as
    // this category left it.
    page->actCallHistory();
    EXPECT_FALSE(page->selectAllBtn->isChecked());
    page->actContact();
    EXPECT_FALSE(page->checkBtn->isChecked());
    EXPECT_TRUE(page->selectAllBtn->isChecked());
    EXPECT_EQ(model->rowCount(), 5);

    // Sorting by name: ascending, then descending; ticks travel with their records.
    table->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(contactNames(*table), (QStringList{"Abe", "Bea", "Cleo", "Dan", "Eve"}));
    table->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(contactNames(*table), (QStringList{"Eve", "Dan", "Cleo", "Bea", "Abe"}));
    EXPECT_EQ(model->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // The tick column sorts nothing.
    table->horizontalHeader()->sectionClicked(0);
    EXPECT_EQ(contactNames(*table).front(), QStringLiteral("Eve"));

    // Going home asks first; "Cancel" keeps everything.
    {
        Alerts::ScopedHandler cancel(
            [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Alternate; });
        page->actHome();
    }
    EXPECT_EQ(model->rowCount(), 5);
    {
        std::vector<QString> asked;
        Alerts::ScopedHandler back([&asked](QWidget*, const Alerts::Question& q) {
            asked.push_back(q.message);
            return Alerts::Answer::Default;
        });
        page->actHome();
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_TRUE(asked[0].startsWith(QStringLiteral("Are you sure you want to go back")));
    }
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_TRUE(page->records().contactArray().empty());
    EXPECT_EQ(page->selectedFilesNum(), 0);
    EXPECT_EQ(page->currentSelect(), 0);
    page->setPlanMaker({});
}

// The browser's place holds the list of backups and the results page, and shows exactly one of
// them whatever the way there: opening a backup (from the sidebar or the list), Home answered
// with Back or Cancel, another page and back.
TEST_F(BackupBrowserTest, OnePageOfTheBrowserShowsAfterEveryWayHomeAndBack) {
    ASSERT_TRUE(writeSmallBackup("Nav Phone", "nav-udid").ok);
    enum Step { Sidebar, OpenFromList, HomeBack, HomeCancel, AwayAndBack };
    enum Shown { List, Results };
    const struct {
        const char* what;
        std::vector<Step> steps;
        Shown shown;
    } rows[] = {
        {"opened", {Sidebar}, Results},
        {"home", {Sidebar, HomeBack}, List},
        {"home cancelled", {Sidebar, HomeCancel}, Results},
        {"home, then open again", {Sidebar, HomeBack, OpenFromList}, Results},
        {"home twice", {Sidebar, HomeBack, OpenFromList, HomeBack}, List},
        {"home, away and back", {Sidebar, HomeBack, AwayAndBack}, List},
        {"away and back, home, sidebar", {Sidebar, AwayAndBack, HomeBack, Sidebar}, Results},
    };
    std::vector<QString> alerts;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PRResultViewController* page = nullptr;
        for (const Step step : row.steps) {
            const bool back = step == HomeBack;
            Alerts::ScopedHandler answer([&alerts, back](QWidget*, const Alerts::Question& q) {
                alerts.push_back(q.message);
                return back ? Alerts::Answer::Default : Alerts::Answer::Alternate;
            });
            switch (step) {
                case Sidebar:
                    page = openBrowser();
                    break;
                case OpenFromList:
                    hub().actScanIOSBackupFile(nullptr);
                    page = hub().GetresultViewController();
                    break;
                case HomeBack:
                case HomeCancel:
                    page->actHome();
                    break;
                case AwayAndBack:
                    hub().ClickClean(nullptr);
                    hub().ClickiTunesBackupBroswer(nullptr);
                    break;
            }
            ASSERT_NE(page, nullptr);
            if (step == Sidebar || step == OpenFromList) {
                ASSERT_TRUE(waitForScan(*page));
            }
        }
        QWidget* place = ui().iTunesBackupBroswerView;
        QWidget* expected = row.shown == List ? ui().manageBroswerBackupView : page->view();
        std::vector<QWidget*> shown;
        for (QWidget* child : place->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisibleTo(place)) {
                shown.push_back(child);
            }
        }
        EXPECT_EQ(shown, std::vector<QWidget*>{expected});
    }
}

TEST_F(BackupBrowserTest, TheRecoverButtonExportsWhatIsTickedIntoTheChosenFolder) {
    const std::string device = (tmp_ / "demo").string();
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(device, &error)) << error;
    ASSERT_TRUE(simdev::writeBackup(device, backupRoot_).ok);
    std::vector<QString> alerts;
    Alerts::ScopedHandler record = recordAlerts(alerts);
    PRResultViewController* page = openBrowser();
    ASSERT_TRUE(waitForScan(*page));

    // Two contacts ticked, then the filter on: the export still takes what is ticked.
    page->actContact();
    auto* model = page->contactTableView->model();
    page->contactTableView->clearSelection();
    model->setData(model->index(0, 0), Qt::Checked, Qt::CheckStateRole);
    model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole);
    page->checkBtn->setChecked(true);
    page->actCheck();
    // Only the demo's deleted contacts are left on show; the ticked ones are not among them.
    EXPECT_EQ(model->rowCount(), static_cast<int>(simdev::demoDeletedContacts().size()));
    ASSERT_TRUE(page->saveBtn->isEnabled());

    const QString target = QString::fromStdString((tmp_ / "export").string());
    ui::ScopedHandler<ui::SavePanel::Handler> answer(
        ui::SavePanel::handler(),
        [&target](QWidget*, const ui::SavePanel::Request&) { return std::optional(target); });
    ui::ScopedHandler<ui::FileViewer::Handler> reveal(ui::FileViewer::handler(),
                                                      [](const QString&) {});
    page->actRecovery();
    ASSERT_TRUE(pumpUntil([&] {
        return std::filesystem::exists(tmp_ / "export" / "Contact") &&
               page->findChild<browser::RecoveryExport*>() != nullptr &&
               !page->findChild<browser::RecoveryExport*>()->isRunning();
    }));
    const auto contacts = page->records().contactArray();
    int cards = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tmp_ / "export" / "Contact")) {
        cards += entry.path().extension() == ".vcf" ? 1 : 0;
    }
    EXPECT_EQ(cards, 2);
    // A family with nothing ticked still has its folder, with a page of no conversation.
    EXPECT_TRUE(std::filesystem::is_directory(tmp_ / "export" / "Message"));
}

}  // namespace
}  // namespace nimbara::test
