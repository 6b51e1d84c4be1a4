// The clean-up page on the README's demo device: the app scan and the device scan filling their
// views, one scan at a time, a device change mid-scan, confirmations declined and accepted, and
// the main window's summary and one-click fix following what was really removed.
#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTreeView>

#include <QItemSelectionModel>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "clean_page_fixture.h"
#include "cleanup/clean_export.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "ui/core/text_utilities.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

TEST_F(CleanPageTest, AppScanFillsEveryCategoryWithTheDevicesFigures) {
    appScan();
    PRCleanViewController& p = page();
    const Tally caches = appFolders("Library/Caches");
    const Tally cookies = appFolders("Library/Cookies");
    const Tally junk = appFolders("tmp");
    EXPECT_EQ(p.cleanCacheFileController()->rowCount(), static_cast<int>(caches.count));
    EXPECT_EQ(p.cleanCookController()->rowCount(), static_cast<int>(cookies.count));
    EXPECT_EQ(p.cleanJunkController()->rowCount(), static_cast<int>(junk.count));
    EXPECT_GT(p.cleanDocumentController()->rowCount(), 0);
    CleanViewUi& ui = p.cleanUi();
    EXPECT_EQ(ui.cache.sizelab->text(), shell::size_to_unit(caches.bytes));
    EXPECT_EQ(ui.cook.sizelab->text(), shell::size_to_unit(cookies.bytes));
    EXPECT_EQ(ui.junk.sizelab->text(), shell::size_to_unit(junk.bytes));
    EXPECT_TRUE(ui.cache.button->isEnabled());
    // The refused container is said, with the sentence of the device layer.
    EXPECT_TRUE(p.statusText().contains(QString::fromLatin1(kRefusedApp)))
        << p.statusText().toStdString();

    // The category button opens its result view with the found-files line.
    p.ClickCacheFileAction();
    EXPECT_EQ(p.shownView(), "cleanCacheTableView");
    EXPECT_EQ(ui.cacheResult.infolab->text(), QStringLiteral("Files Found: %1 in  %2 file(s)")
                                                  .arg(shell::size_to_unit(caches.bytes))
                                                  .arg(caches.count));
    // The advertisement rows, larger counts first, "Live" ones among them.
    p.ClickAppAdsFileAction();
    EXPECT_EQ(p.shownView(), "cleanAppAdsView");
    const auto& rows = p.adsController()->content();
    ASSERT_GT(rows.size(), 1u);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_GE(rows[i - 1]->platformCount(), rows[i]->platformCount());
    }
    EXPECT_EQ(rows.front()->appAdsState(), QStringLiteral("Live"));
    // The app scan leaves the device scan's results alone, and posts no summary.
    EXPECT_EQ(p.deviceScanResult(), nullptr);
    EXPECT_EQ(finished_, 0);
}

TEST_F(CleanPageTest, DeviceScanFillsTheTreesAndTheSummary) {
    deviceScan();
    PRCleanViewController& p = page();
    const Tally caches = appFolders("Library/Caches");
    const Tally cookies = appFolders("Library/Cookies");
    const Tally junk = appFolders("tmp");
    const Tally sync = syncFolder();
    ASSERT_GT(sync.count, 0u);
    EXPECT_EQ(treeEntries(p.CacheTreeController()), caches.count);
    EXPECT_EQ(treeEntries(p.CookTreeController()), cookies.count);
    EXPECT_EQ(treeEntries(p.JunkTreeController()), junk.count);
    EXPECT_EQ(p.syncFailedController()->rowCount(), static_cast<int>(sync.count));
    EXPECT_EQ(p.GetCleanTaotalFileNumber(), caches.count + cookies.count + junk.count + sync.count);
    EXPECT_EQ(finished_, 1);

    // The summary: the count and size of the scan, the found state with the fix button.
    MainWindowUi& w = ui();
    EXPECT_TRUE(shown(w.cleanFinishView));
    EXPECT_FALSE(shown(w.cleanScanView));
    EXPECT_EQ(w.cleanprogressor->value(), 100);
    const QString total =
        shell::size_to_unit(caches.bytes + cookies.bytes + junk.bytes + sync.bytes);
    EXPECT_TRUE(w.cleanFilelab->text().contains(total));
    EXPECT_TRUE(w.cleanFilelab->text().contains(QString::number(p.GetCleanTaotalFileNumber())));
    EXPECT_EQ(hub().allCacheFileNumber(), caches.bytes);
    EXPECT_EQ(hub().allJunkFileNumber(), junk.bytes);

    // Choosing an app folder of the cache outline fills the table beside it.
    p.showCleanCacheview();
    QTreeView* outline = p.cleanUi().cacheView.outline;
    ASSERT_GT(outline->model()->rowCount(), 0);
    const QModelIndex app = outline->model()->index(0, 0);
    QModelIndex folder = app;
    while (outline->model()->rowCount(folder) > 0 && p.CacheFileController()->rowCount() == 0) {
        folder = outline->model()->index(0, 0, folder);
        outline->setCurrentIndex(folder);
    }
    EXPECT_GT(p.CacheFileController()->rowCount(), 0);
}

TEST_F(CleanPageTest, SecondScanIsRefusedWhileOneRuns) {
    hub().ClickAppCleaner();
    page().startScanPhoneApp();
    ASSERT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::App);
    // Neither the device scan nor another press of the start button starts anything.
    EXPECT_FALSE(page().showDeviceClean(index_));
    page().startScanPhoneApp();
    EXPECT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::App);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(page().deviceScanResult(), nullptr);
    // Once it ended, the device scan may run, and keeps its own results.
    const int documents = page().cleanDocumentController()->rowCount();
    EXPECT_TRUE(page().showDeviceClean(index_));
    EXPECT_FALSE(page().showDeviceClean(index_));
    ASSERT_TRUE(waitIdle());
    EXPECT_NE(page().deviceScanResult(), nullptr);
    EXPECT_EQ(page().cleanDocumentController()->rowCount(), documents);
}

TEST_F(CleanPageTest, DeviceChangeMidScanResetsAndDropsWhatTheScanStillSends) {
    hub().ClickAppCleaner();
    ASSERT_TRUE(page().showDeviceClean(index_));
    page().startScanPhoneApp();  // refused: one scan at a time
    // The delegate's device change, before anything the scan found reached the page.
    page().NimbaraShowDeviceClean(index_);
    page().initAllDataAndAllView();
    EXPECT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::None);
    pumpUntil([this] { return page().workersEnding() == 0; });
    pumpEvents(50);
    EXPECT_EQ(treeEntries(page().CacheTreeController()), 0u);
    EXPECT_EQ(page().syncFailedController()->rowCount(), 0);
    EXPECT_EQ(page().deviceScanResult(), nullptr);
    EXPECT_EQ(finished_, 0);
    EXPECT_EQ(page().shownView(), "cleanDiskView");
    // The page is usable again at once.
    EXPECT_TRUE(page().showDeviceClean(index_));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(finished_, 1);
}

TEST_F(CleanPageTest, DecliningTheRemovalChangesNothing) {
    appScan();
    const Tally before = appFolders("Library/Caches");
    int asked = 0;
    Alerts::ScopedHandler decline([&](QWidget*, const Alerts::Question& question) {
        ++asked;
        if (asked == 1) {
            EXPECT_TRUE(question.message.contains(QStringLiteral("files will be cleaned up")));
        }
        return Alerts::Answer::Alternate;
    });
    page().startScanPhoneApp();  // after a scan: asks before removing everything
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(page().removalRunning());
    pumpEvents(20);
    const Tally after = appFolders("Library/Caches");
    EXPECT_EQ(after.count, before.count);
    EXPECT_EQ(page().cleanCacheFileController()->rowCount(), static_cast<int>(before.count));

    // The one-click fix declined: nothing removed either.
    deviceScan();
    hub().CleanAlliPhoneFiles();
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(page().removalRunning());
    EXPECT_EQ(syncFolder().count, page().syncFailedFileArray().size());
    EXPECT_TRUE(shown(ui().cleanFinishView));
}

TEST_F(CleanPageTest, OneClickFixRemovesWhatWasFoundAndTellsWhatWentTruly) {
    deviceScan();
    const Tally caches = appFolders("Library/Caches");
    const Tally cookies = appFolders("Library/Cookies");
    const Tally junk = appFolders("tmp");
    const Tally sync = syncFolder();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    hub().CleanAlliPhoneFiles();
    ASSERT_TRUE(page().removalRunning());
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(pumpUntil([this] { return shown(ui().fixResultView); }));

    // The device's files changed accordingly (a protected file may stay; it is then reported).
    const Tally left = {appFolders("Library/Caches").count + appFolders("Library/Cookies").count +
                            appFolders("tmp").count + syncFolder().count,
                        appFolders("Library/Caches").bytes + appFolders("Library/Cookies").bytes +
                            appFolders("tmp").bytes + syncFolder().bytes};
    const std::uint64_t freed = caches.bytes + cookies.bytes + junk.bytes + sync.bytes - left.bytes;
    const std::uint64_t removed =
        caches.count + cookies.count + junk.count + sync.count - left.count;
    EXPECT_GT(removed, 0u);
    const QString text = ui().fixInfolab->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("%1 app issues have been fixed").arg(removed)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(shell::size_to_unit(freed))) << text.toStdString();
    // The page's trees and figures hold only what is left.
    EXPECT_EQ(treeEntries(page().CacheTreeController()) + treeEntries(page().CookTreeController()) +
                  treeEntries(page().JunkTreeController()) + page().syncFailedFileArray().size(),
              left.count);
    EXPECT_EQ(page().GetCleanTaotalFileSize(), left.bytes);
    // The sidebar's stored totals went down by what was removed, never below 0.
    EXPECT_EQ(hub().allCacheFileNumber(), appFolders("Library/Caches").bytes);
    EXPECT_EQ(hub().allJunkFileNumber(), appFolders("tmp").bytes);
}

TEST_F(CleanPageTest, MenusOpenDisabledBelowTheLastRow) {
    deviceScan();
    PRCleanViewController& p = page();
    p.showCleanMediaView();
    CleanViewUi& u = p.cleanUi();
    u.view->resize(900, 600);
    u.view->show();
    QTableView* table = u.syncFailedTableView;
    ASSERT_GT(table->model()->rowCount(), 0);
    emit table->customContextMenuRequested(QPoint(5, table->viewport()->height() - 2));
    ASSERT_FALSE(u.syncedMenu->actions().isEmpty());
    for (QAction* action : u.syncedMenu->actions()) {
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    }
    u.syncedMenu->hide();
    emit table->customContextMenuRequested(table->visualRect(table->model()->index(0, 0)).center());
    for (QAction* action : u.syncedMenu->actions()) {
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    }
    u.syncedMenu->hide();
}

TEST_F(CleanPageTest, FolderRowRemovesThatFolderOnlyAndTheSidebarFollows) {
    deviceScan();
    PRCleanViewController& p = page();
    p.showCleanCacheview();
    QTreeView* outline = p.cleanUi().cacheView.outline;
    QAbstractItemModel* model = outline->model();
    // The deepest first folder of the first app: below its "Library/Caches".
    QModelIndex at = model->index(0, 0);
    int depth = 0;
    while (model->rowCount(at) > 0) {
        at = model->index(0, 0, at);
        ++depth;
    }
    ASSERT_GE(depth, 3);  // app / Library / Caches / folder...
    outline->setCurrentIndex(at);
    const auto folder = p.CacheFileController()->folder();
    ASSERT_TRUE(folder);
    const QString appName = model->index(0, 0).data().toString();
    std::uint64_t folderBytes = 0;
    for (const auto& entry : ui::entriesBelow(folder)) {
        folderBytes += entry->fileSizeNumber();
    }
    ASSERT_GT(folderBytes, 0u);
    const Tally before = appFolders("Library/Caches");
    const std::uint64_t sidebarBefore = hub().allCacheFileNumber();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.cleanCacheDirFile();
    ASSERT_TRUE(waitIdle());
    const Tally after = appFolders("Library/Caches");
    // Only that folder's bytes left the device, the sidebar and the tree.
    EXPECT_EQ(before.bytes - after.bytes, folderBytes) << appName.toStdString();
    EXPECT_EQ(sidebarBefore - hub().allCacheFileNumber(), folderBytes);
    EXPECT_EQ(treeEntries(p.CacheTreeController()), after.count);
}

TEST_F(CleanPageTest, RemovingARowWithoutAdsOnlySaysSo) {
    appScan();
    PRCleanViewController& p = page();
    p.ClickAppAdsFileAction();
    const auto& rows = p.adsController()->content();
    int noAds = -1;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i]->appAdsState() == QStringLiteral("No Ads")) {
            noAds = static_cast<int>(i);
        }
    }
    ASSERT_GE(noAds, 0);
    p.cleanUi().AdsTableView->setCurrentIndex(p.adsController()->index(noAds, 0));
    QStringList asked;
    Alerts::ScopedHandler record([&](QWidget*, const Alerts::Question& question) {
        asked << question.message;
        return Alerts::Answer::Default;
    });
    p.RemoveAdsAction();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked.front().startsWith(QStringLiteral("No ads detected")));
    EXPECT_FALSE(p.removalRunning());
}

TEST_F(CleanPageTest, AnotherDeviceTakesAwayTheSummaryAndItsFix) {
    deviceScan();
    ASSERT_TRUE(shown(ui().cleanFinishView));
    // A second device, chosen in the pop-up: the page and the summary forget the first one.
    ASSERT_GE(attachNew("second", Dev("Second Phone")), 0);
    const int last = ui().deviceNamePopBtn->count() - 1;
    ui().deviceNamePopBtn->setCurrentIndex(last);
    hub().ChangeiOSDeviceAction();
    ASSERT_NE(currentIndex(), index_);
    EXPECT_EQ(page().deviceScanResult(), nullptr);
    EXPECT_TRUE(shown(ui().cleanScanView));
    EXPECT_FALSE(shown(ui().cleanFinishView));
    EXPECT_EQ(hub().allCacheFileNumber(), 0u);
    // The fix button of the old findings acts on nothing, and asks nothing.
    const Tally before = syncFolder();
    hub().CleanAlliPhoneFiles();
    EXPECT_FALSE(page().removalRunning());
    EXPECT_EQ(syncFolder().count, before.count);
}

// After the fix each tree lists only the folders that still hold a file (the device's own files
// stay), and no earlier removal's sentence stays under them.
TEST_F(CleanPageTest, AfterTheFixTheTreesShowWhatIsLeftWithoutAnOldNotice) {
    deviceScan();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    page().CleanAllSyncedMediaFile();
    ASSERT_TRUE(waitIdle());
    ASSERT_FALSE(page().statusText().isEmpty());
    hub().CleanAlliPhoneFiles();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(page().statusText().isEmpty());
    for (PRAppTreeController* tree : {&page().JunkTreeController(), &page().CacheTreeController(),
                                      &page().CookTreeController()}) {
        EXPECT_EQ(tree->cleanTree().pruneEmptyFolders(), 0u);  // none was left empty
    }
    EXPECT_EQ(page().cleanUi().junkView.outline->model()->rowCount(), 0);
}

TEST_F(CleanPageTest, OneFileOfATreeGoesAndTheSidebarDropsByItsBytes) {
    deviceScan();
    PRCleanViewController& p = page();
    p.showCleanJunkView();
    QTreeView* outline = p.cleanUi().junkView.outline;
    QAbstractItemModel* model = outline->model();
    QModelIndex at = model->index(0, 0);
    while (p.JunkFileController()->rowCount() == 0 && model->rowCount(at) > 0) {
        at = model->index(0, 0, at);
        outline->setCurrentIndex(at);
    }
    ASSERT_GT(p.JunkFileController()->rowCount(), 0);
    QTableView* table = p.cleanUi().junkView.table;
    table->setCurrentIndex(table->model()->index(0, 0));
    const auto entry = p.JunkFileController()->entryAt(0);
    const std::uint64_t bytes = entry->fileSizeNumber();
    const std::uint64_t sidebar = hub().allJunkFileNumber();
    const std::size_t entries = treeEntries(p.JunkTreeController());
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.CleanJunkFile();
    ASSERT_TRUE(waitIdle());
    // By the record's byte count, not a size text read back.
    EXPECT_EQ(sidebar - hub().allJunkFileNumber(), bytes);
    EXPECT_EQ(treeEntries(p.JunkTreeController()), entries - 1);
    EXPECT_EQ(appFolders("tmp").bytes, sidebar - bytes);
    EXPECT_EQ(p.JunkFileController()->entries().end(),
              std::find(p.JunkFileController()->entries().begin(),
                        p.JunkFileController()->entries().end(), entry));
}

TEST_F(CleanPageTest, ChosenDocumentsGoAndTheRestKeepTheirOrder) {
    appScan();
    PRCleanViewController& p = page();
    p.ClickDocumentFileAction();
    QTableView* table = p.cleanUi().documentResult.table;
    auto* list = p.cleanDocumentController();
    ASSERT_GE(list->rowCount(), 4);
    std::vector<std::shared_ptr<PRCleanDirNode>> kept = list->content();
    const auto first = kept[1];
    const auto second = kept[3];
    kept.erase(kept.begin() + 3);
    kept.erase(kept.begin() + 1);
    table->selectionModel()->select(list->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->select(list->index(3, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::uint64_t left = 0;
    for (const auto& record : kept) {
        left += record->fileSizeNumber();
    }
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.RemoveOneDocumentFile();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(list->content(), kept);
    EXPECT_EQ(p.cleanUi().document.sizelab->text(), shell::size_to_unit(left));
    EXPECT_EQ(p.cleanUi().documentResult.infolab->text(),
              QStringLiteral("Files Found: %1 in  %2 file(s)")
                  .arg(shell::size_to_unit(left))
                  .arg(kept.size()));
    for (const auto& gone : {first, second}) {
        const fs::path local = demo_ / md::sim::kAppsDir / gone->appBundleName().toStdString() /
                               md::sim::kAppContainer /
                               fs::path(gone->devicePath()).relative_path();
        EXPECT_FALSE(fs::exists(local)) << local;
    }
}

TEST_F(CleanPageTest, ExportsOfAFolderRowAndOfSyncMediaStayInTheChosenFolder) {
    deviceScan();
    PRCleanViewController& p = page();
    const fs::path target = tmp_ / "folder-export";
    bool cancel = true;
    ui::ScopedHandler<ui::SavePanel::Handler> panel(
        ui::SavePanel::handler(), [&](QWidget*, const ui::SavePanel::Request&) {
            return cancel ? std::optional<QString>()
                          : std::optional<QString>(QString::fromStdString(target.string()));
        });
    int reveals = 0;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(ui::FileViewer::handler(),
                                                      [&](const QString&) { ++reveals; });
    p.showCleanCookView();
    QTreeView* outline = p.cleanUi().cookView.outline;
    outline->setCurrentIndex(outline->model()->index(0, 0));  // an app: its cookie folder
    // Cancelled: nothing is written and nothing is shown.
    p.ExportCookieFilestoMac();
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(reveals, 0);

    cancel = false;
    p.ExportCookieFilestoMac();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(fs::is_directory(target / "Library" / "Cookies"));
    EXPECT_GT(tallyOf(target).count, 0u);
    const std::uint64_t before = tallyOf(target).count;
    // What was written and where, said once.
    const QString where = QString::fromStdString(fs::canonical(target).string());
    EXPECT_EQ(p.statusText(), cleanup::exportOutcomeText(cleanup::CleanRunStatus::Done, before,
                                                         tallyOf(target).bytes, where));
    p.showCleanMediaView();
    QTableView* media = p.cleanUi().syncFailedTableView;
    media->setCurrentIndex(media->model()->index(0, 0));
    p.ExportTheSyncedFiletoMac();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(tallyOf(target).count, before + 1);
    EXPECT_EQ(reveals, 2);
    EXPECT_TRUE(p.statusText().startsWith(QStringLiteral("Exported 1 file (")));
    EXPECT_TRUE(p.statusText().endsWith(QStringLiteral(" to %1.").arg(where)));
    // Nothing on the device changed.
    EXPECT_EQ(syncFolder().count, p.syncFailedFileArray().size());
}

TEST_F(CleanPageTest, ExportOfAChosenFileGoesToTheChosenFolderOnly) {
    appScan();
    PRCleanViewController& p = page();
    p.ClickCookieFileAction();
    QTableView* table = p.cleanUi().cookResult.table;
    ASSERT_GT(table->model()->rowCount(), 0);
    table->selectRow(0);
    const fs::path target = tmp_ / "export";
    ui::ScopedHandler<ui::SavePanel::Handler> panel(
        ui::SavePanel::handler(), [&](QWidget*, const ui::SavePanel::Request&) {
            return std::optional<QString>(QString::fromStdString(target.string()));
        });
    QString revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed = folder; });
    p.ExportTheCleanCookNode();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(fs::is_directory(target / "AppData"));
    EXPECT_EQ(tallyOf(target).count, 1u);
    EXPECT_FALSE(revealed.isEmpty());
    // Nothing on the device changed.
    EXPECT_EQ(p.cleanCookController()->rowCount(), table->model()->rowCount());
}

TEST_F(CleanPageTest, TheTipSheetOpensFromItsButtonAndCloses) {
    hub().ClickAppCleaner();
    CleanViewUi& u = page().cleanUi();
    ASSERT_NE(u.appCleaneTipWindow, nullptr);
    EXPECT_FALSE(u.appCleaneTipWindow->isVisible());
    u.appCleanTipBtn->click();
    EXPECT_TRUE(u.appCleaneTipWindow->isVisible());
    EXPECT_EQ(u.appCleaneTipWindow->windowModality(), Qt::WindowModal);
    // Its close button sends the closing action: the sheet ends and leaves the screen.
    u.closeCleanTipBtn->click();
    EXPECT_FALSE(u.appCleaneTipWindow->isVisible());
    EXPECT_EQ(u.appCleaneTipWindow->result(), QDialog::Accepted);
    page().showCleanTipWindow();
    page().closeCleanTipWindowAction();
    EXPECT_FALSE(u.appCleaneTipWindow->isVisible());
}

TEST_F(CleanPageTest, TheExportPanelProposesTheProgramsFolderName) {
    appScan();
    PRCleanViewController& p = page();
    p.ClickCookieFileAction();
    p.cleanUi().cookResult.table->selectRow(0);
    QString proposed;
    ui::ScopedHandler<ui::SavePanel::Handler> panel(
        ui::SavePanel::handler(), [&](QWidget*, const ui::SavePanel::Request& request) {
            proposed = request.proposedName;
            return std::optional<QString>();
        });
    p.ExportTheCleanCookNode();
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^Nimbara \\d{4}-\\d{2}-\\d{2} - \\d{2}\\.\\d{2}\\.\\d{2}$"))
                    .match(proposed)
                    .hasMatch())
        << proposed.toStdString();
}

class EmptyCleanPageTest : public DelegateTest {};

TEST_F(EmptyCleanPageTest, ADeviceWithNothingToCleanShowsZeroesAndAsksNothing) {
    ASSERT_GE(attachNew("empty", Dev("Empty Phone")), 0);
    PRCleanViewController& p = *hub().GetCleanViewController();
    const auto idle = [&p] {
        return p.scanRunning() == PRCleanViewController::ScanKind::None && !p.removalRunning();
    };
    hub().ClickAppCleaner();
    p.startScanPhoneApp();
    ASSERT_TRUE(pumpUntil(idle));
    EXPECT_EQ(p.cleanUi().cache.sizelab->text(), shell::size_to_unit(0));
    EXPECT_EQ(p.cleanUi().ads.sizelab->text(), QStringLiteral("0 built-in ads"));
    // Nothing to remove: no question (the fixture fails any), nothing started.
    p.startScanPhoneApp();
    EXPECT_FALSE(p.removalRunning());
    EXPECT_FALSE(p.statusText().isEmpty());

    hub().ClickCleanAction();
    ASSERT_TRUE(pumpUntil(idle));
    EXPECT_TRUE(shown(ui().cleanFinishView));
    EXPECT_TRUE(ui().cleanFilelab->text().contains(shell::size_to_unit(0)));
    EXPECT_FALSE(ui().fixIssueBtn->isEnabled());
}

}  // namespace
}  // namespace nimbara::test
