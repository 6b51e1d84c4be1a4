// Removals of the clean-up page on the demo device: what stays listed when the device refused a
// file, the bars and finished states of a category's removal, the selection after a removal, the
// cache list after advertisement caches went, totals that keep agreeing with the trees, questions
// declined, and device changes while a scan or a removal runs.
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTextDocument>
#include <QTreeView>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "clean_page_fixture.h"
#include "cleanup/clean_removal.h"
#include "cleanup/protected_files.h"
#include "ui/core/text_utilities.h"
#include "ui/folder_tree_models.h"

namespace nimbara::test {
namespace {

using Records = std::vector<std::shared_ptr<PRCleanDirNode>>;

std::uint64_t bytesOf(const Records& records) {
    std::uint64_t bytes = 0;
    for (const auto& record : records) {
        bytes += record->fileSizeNumber();
    }
    return bytes;
}

bool below(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

class CleanPageRemovalTest : public CleanPageTest {
  protected:
    // One category of the app clean-up view with its parts.
    struct Category {
        const char* name;
        cleanup::PRCleanRecordsModel* list;
        CleanResultViewUi* view;
        CleanCategoryRowUi* row;
        void (PRCleanViewController::*open)(QObject*);
        void (PRCleanViewController::*removeAll)(QObject*);
        const char* finished;
    };
    std::vector<Category> categories() {
        PRCleanViewController& p = page();
        CleanViewUi& u = p.cleanUi();
        using C = PRCleanViewController;
        return {
            {"cache", p.cleanCacheFileController(), &u.cacheResult, &u.cache,
             &C::ClickCacheFileAction, &C::RemoveAllCacheFiles,
             "All cache files have been removed."},
            {"document", p.cleanDocumentController(), &u.documentResult, &u.document,
             &C::ClickDocumentFileAction, &C::RemoveAllDocumentFiles,
             "All document files have been removed."},
            {"cookie", p.cleanCookController(), &u.cookResult, &u.cook, &C::ClickCookieFileAction,
             &C::RemoveAllCookFiles, "All cook files have been removed."},
            {"junk", p.cleanJunkController(), &u.junkResult, &u.junk, &C::ClickJunkFileAction,
             &C::RemoveAllJunkFiles, "All junk files have been removed."},
        };
    }

    fs::path localOf(const std::string& bundleId, const std::string& devicePath) const {
        return demo_ / md::sim::kAppsDir / bundleId / md::sim::kAppContainer /
               fs::path(devicePath).relative_path();
    }
    fs::path localOf(const PRCleanFileNode& entry) const {
        return localOf(entry.appBundleName().toStdString(), entry.devicePath());
    }

    // Everything the demo device holds in the folders the device scan reads.
    std::uint64_t deviceBytes() const {
        return appFolders("Library/Caches").bytes + appFolders("Library/Cookies").bytes +
               appFolders("tmp").bytes + syncFolder().bytes;
    }
    std::uint64_t deviceFiles() const {
        return appFolders("Library/Caches").count + appFolders("Library/Cookies").count +
               appFolders("tmp").count + syncFolder().count;
    }
    static std::uint64_t treeBytes(PRAppTreeController& tree) {
        std::uint64_t n = 0;
        for (const auto& top : tree.cleanContent()) {
            for (const auto& entry : ui::entriesBelow(top)) {
                n += entry->fileSizeNumber();
            }
        }
        return n;
    }

    // The outline row of the folder `wanted` holds (depth first).
    static QModelIndex rowOf(QAbstractItemModel* model, const QModelIndex& parent,
                             const std::function<bool(const QModelIndex&)>& wanted) {
        for (int r = 0; r < model->rowCount(parent); ++r) {
            const QModelIndex at = model->index(r, 0, parent);
            if (wanted(at)) {
                return at;
            }
            const QModelIndex deeper = rowOf(model, at, wanted);
            if (deeper.isValid()) {
                return deeper;
            }
        }
        return {};
    }

    std::uint64_t removedCredit() { return hub().totalAppRemoveFileSize(); }
};

TEST_F(CleanPageRemovalTest, RemoveAllWithARefusedFileKeepsExactlyWhatStayed) {
    appScan();
    PRCleanViewController& p = page();
    // A cache file that became a folder after the scan: the device keeps it.
    Records cacheBefore = p.cleanCacheFileController()->content();
    const auto refused = std::find_if(cacheBefore.begin(), cacheBefore.end(), [](const auto& r) {
        return r->devicePath().find("/Snapshots/") != std::string::npos;
    });
    ASSERT_NE(refused, cacheBefore.end());
    const std::shared_ptr<PRCleanDirNode> kept = *refused;
    const fs::path keptLocal = localOf(kept->appBundleName().toStdString(), kept->devicePath());
    fs::remove(keptLocal);
    fs::create_directories(keptLocal);

    std::vector<Records> expected;
    std::uint64_t found = 0;
    std::uint64_t stays = 0;
    std::uint64_t files = 0;  // what the sheet promises: never the files the device needs
    std::uint64_t promised = 0;
    for (const Category& c : categories()) {
        Records left;
        for (const auto& record : c.list->content()) {
            found += record->fileSizeNumber();
            const bool needed = cleanup::isProtectedDeviceFile(record->devicePath());
            if (!needed) {
                ++files;
                promised += record->fileSizeNumber();
            }
            if (record == kept || needed) {
                left.push_back(record);
                stays += record->fileSizeNumber();
            }
        }
        expected.push_back(left);
    }
    ASSERT_LT(files, p.appScanResult()->totalFileNumber);
    const std::uint64_t creditBefore = removedCredit();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.startScanPhoneApp();
    ASSERT_TRUE(p.removalRunning());
    ASSERT_TRUE(waitIdle());

    const auto categoryList = categories();
    for (std::size_t i = 0; i < categoryList.size(); ++i) {
        const Category& c = categoryList[i];
        EXPECT_EQ(c.list->content(), expected[i]) << c.name;
        EXPECT_EQ(c.row->sizelab->text(), expected[i].empty()
                                              ? QStringLiteral("0 KB")
                                              : shell::size_to_unit(bytesOf(expected[i])))
            << c.name;
        EXPECT_EQ(c.row->button->isEnabled(), !expected[i].empty()) << c.name;
        for (const auto& record : expected[i]) {
            EXPECT_TRUE(
                fs::exists(localOf(record->appBundleName().toStdString(), record->devicePath())));
        }
    }
    EXPECT_FALSE(expected[0].empty());
    // The storage overview takes exactly what left the lists off the apps.
    EXPECT_EQ(removedCredit() - creditBefore, found - stays);
    // The sheet said what was to go, the count and the size in red.
    auto* sheet = p.view()->findChild<QDialog*>(QStringLiteral("removeWindow"));
    ASSERT_NE(sheet, nullptr);
    EXPECT_FALSE(sheet->isVisible());
    const QString headline = sheet->findChild<QLabel*>(QStringLiteral("removeNumberlab"))->text();
    QTextDocument document;
    document.setHtml(headline);
    EXPECT_EQ(document.toPlainText(), cleanup::removeAllSheetText(files, promised));
    EXPECT_TRUE(
        headline.contains(QStringLiteral("<span style=\"color:#f83634\">%1</span>").arg(files)))
        << headline.toStdString();
    EXPECT_TRUE(headline.contains(QStringLiteral("<span style=\"color:#f83634\">%1</span>")
                                      .arg(shell::size_to_unit(promised))))
        << headline.toStdString();
    EXPECT_FALSE(p.statusText().isEmpty());
}

// Documents are the user's own: the question counts them per app apart from the rest, and the
// ones unticked in the documents view stay on the device through the start button's removal.
TEST_F(CleanPageRemovalTest, UntickedDocumentsStayAndTheQuestionCountsTheRestPerApp) {
    appScan();
    PRCleanViewController& p = page();
    auto* documents = p.cleanDocumentController();
    ASSERT_GE(documents->rowCount(), 3);
    for (int row : {0, 2}) {
        documents->setData(documents->index(row, 0), Qt::Unchecked, Qt::CheckStateRole);
    }
    const Records kept = {documents->rowAt(0), documents->rowAt(2)};
    const std::uint64_t going = documents->rowCount() - 2;
    QString asked;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        asked = q.informativeText;
        return Alerts::Answer::Default;
    });
    p.startScanPhoneApp();
    ASSERT_TRUE(waitIdle());

    EXPECT_TRUE(
        asked.startsWith(QStringLiteral("%1 documents of these apps will be removed: ").arg(going)))
        << asked.toStdString();
    EXPECT_TRUE(asked.contains(QStringLiteral("2 documents you unticked will be kept.")));
    EXPECT_EQ(documents->content(), kept);
    for (const auto& record : kept) {
        EXPECT_TRUE(
            fs::exists(localOf(record->appBundleName().toStdString(), record->devicePath())));
    }
    EXPECT_EQ(appFolders("tmp").count, 0u);
}

TEST_F(CleanPageRemovalTest, ACategoryRemovedWholeMovesItsBarAndEndsFinished) {
    appScan();
    PRCleanViewController& p = page();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    for (const Category& c : categories()) {
        (p.*c.open)(nullptr);
        ASSERT_GT(c.list->rowCount(), 2) << c.name;
        const Records before = c.list->content();
        std::vector<int> values;
        auto watch = QObject::connect(c.view->progressor, &QProgressBar::valueChanged,
                                      [&values](int value) { values.push_back(value); });
        const std::uint64_t creditBefore = removedCredit();
        (p.*c.removeAll)(nullptr);
        ASSERT_TRUE(p.removalRunning()) << c.name;
        EXPECT_TRUE(shown(c.view->progressor));
        EXPECT_FALSE(shown(c.view->infolab));
        for (QPushButton* button : {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
            EXPECT_FALSE(button->isEnabled()) << c.name;
        }
        ASSERT_TRUE(waitIdle());
        QObject::disconnect(watch);
        ASSERT_FALSE(values.empty()) << c.name;
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << c.name;
        EXPECT_GT(values.size(), 2u) << c.name;
        EXPECT_EQ(values.back(), 100) << c.name;
        EXPECT_FALSE(shown(c.view->progressor));
        EXPECT_TRUE(shown(c.view->infolab));
        const Records left = c.list->content();
        EXPECT_EQ(removedCredit() - creditBefore, bytesOf(before) - bytesOf(left)) << c.name;
        if (left.empty()) {
            // Everything went: the finished state.
            EXPECT_EQ(c.view->infolab->text(), QString::fromLatin1(c.finished));
            for (QPushButton* button :
                 {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
                EXPECT_TRUE(button->isHidden()) << c.name;
            }
            EXPECT_EQ(c.row->sizelab->text(), QStringLiteral("0 KB"));
            EXPECT_FALSE(c.row->button->isEnabled());
        } else {
            // The device kept some (its own databases): they stay, and can be acted on.
            EXPECT_EQ(std::string(c.name), "cache");
            EXPECT_EQ(c.view->infolab->text(), cleanup::filesFoundText(bytesOf(left), left.size()));
            for (QPushButton* button :
                 {c.view->exportBtn, c.view->removeBtn, c.view->removeAllBtn}) {
                EXPECT_TRUE(shown(button) && button->isEnabled()) << c.name;
            }
            EXPECT_EQ(c.row->sizelab->text(), shell::size_to_unit(bytesOf(left)));
        }
    }
    EXPECT_EQ(appFolders("tmp").count, 0u);
    EXPECT_EQ(appFolders("Library/Cookies").count, 0u);
    // A new scan brings the buttons back.
    p.initAllDataAndAllView();
    p.NimbaraShowDeviceClean(index_);
    appScan();
    for (const Category& c : categories()) {
        EXPECT_FALSE(c.view->removeAllBtn->isHidden()) << c.name;
    }
}

// The question names the chosen files; afterwards nothing is selected, so a second Remove
// never takes a row nobody chose.
TEST_F(CleanPageRemovalTest, ARemovalNamesItsFilesAndLeavesNothingSelected) {
    appScan();
    PRCleanViewController& p = page();
    QString informative;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        informative = q.informativeText;
        return Alerts::Answer::Default;
    });
    p.ClickDocumentFileAction();
    QTableView* table = p.cleanUi().documentResult.table;
    auto* list = p.cleanDocumentController();
    ASSERT_GE(list->rowCount(), 5);
    table->selectionModel()->select(list->index(1, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table->selectionModel()->setCurrentIndex(
        list->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const auto second = list->rowAt(1), third = list->rowAt(2), fourth = list->rowAt(3);
    p.RemoveOneDocumentFile();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(informative,
              QStringLiteral("These 2 documents will be removed from the device: %1 (%2) and %3 "
                             "(%4). This can't be undone.")
                  .arg(second->fileName(), second->appDisplayName(), fourth->fileName(),
                       fourth->appDisplayName()));
    // Rows 1 and 3 went, the others keep their order, and nothing is selected.
    EXPECT_TRUE(table->selectionModel()->selectedRows().isEmpty());
    EXPECT_FALSE(table->currentIndex().isValid());
    EXPECT_EQ(list->rowAt(1), third);
    // One chosen row alike.
    p.ClickCookieFileAction();
    p.cleanUi().cookResult.table->selectRow(2);
    p.RemoveOneCookFiles();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(p.cleanUi().cookResult.table->selectionModel()->selectedRows().isEmpty());
}

TEST_F(CleanPageRemovalTest, AdvertisementCachesTakeTheirFilesOffTheCacheList) {
    appScan();
    PRCleanViewController& p = page();
    p.ClickAppAdsFileAction();
    const auto rows = p.adsController()->content();
    ASSERT_FALSE(rows.empty());
    const auto row = rows.front();
    ASSERT_EQ(row->appAdsState(), QStringLiteral("Live"));
    const std::vector<std::string> folders = row->appAdsPlatArray();
    const std::string bundle = row->appBundleID().toStdString();
    auto underAds = [](const Records& records, const std::string& app,
                       const std::vector<std::string>& adFolders) {
        Records out;
        for (const auto& record : records) {
            for (const std::string& folder : adFolders) {
                if (record->appBundleName().toStdString() == app &&
                    below(record->devicePath(), folder)) {
                    out.push_back(record);
                }
            }
        }
        return out;
    };
    const Records before = p.cleanCacheFileController()->content();
    const Records going = underAds(before, bundle, folders);
    ASSERT_FALSE(going.empty());
    const std::uint64_t creditBefore = removedCredit();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.cleanUi().AdsTableView->setCurrentIndex(p.adsController()->index(0, 0));
    p.RemoveAdsAction();
    ASSERT_TRUE(waitIdle());
    const Records after = p.cleanCacheFileController()->content();
    EXPECT_TRUE(underAds(after, bundle, folders).empty());
    EXPECT_EQ(after.size(), before.size() - going.size());
    EXPECT_EQ(p.cleanUi().cache.sizelab->text(), shell::size_to_unit(bytesOf(after)));
    EXPECT_EQ(p.appScanResult()->caches.bytes, bytesOf(after));
    EXPECT_EQ(removedCredit() - creditBefore, bytesOf(going));

    // All of them: no cache file below any advertisement folder stays listed.
    p.RemoveAllAdsAction();
    ASSERT_TRUE(waitIdle());
    for (const auto& ads : p.adsController()->content()) {
        EXPECT_TRUE(underAds(p.cleanCacheFileController()->content(),
                             ads->appBundleID().toStdString(), ads->appAdsPlatArray())
                        .empty());
    }
    for (const auto& record : p.cleanCacheFileController()->content()) {
        EXPECT_TRUE(fs::is_regular_file(
            localOf(record->appBundleName().toStdString(), record->devicePath())))
            << record->devicePath();
    }
    EXPECT_EQ(p.cleanUi().cache.sizelab->text(),
              shell::size_to_unit(bytesOf(p.cleanCacheFileController()->content())));
}

TEST_F(CleanPageRemovalTest, AFolderRemovedInPartLeavesTheTreeAndTotalsAgreeing) {
    deviceScan();
    PRCleanViewController& p = page();
    p.showCleanCacheview();
    auto* model = static_cast<ui::PRCleanOutlineModel*>(p.cleanUi().cacheView.outline->model());
    // The app's own cache folder: its database stays (the device needs it), the rest goes.
    const QModelIndex folder = rowOf(model, QModelIndex(), [model](const QModelIndex& at) {
        const auto dir = model->folderAt(at);
        for (const auto& entry : dir->fileChildren()) {
            if (entry->fileName() == QStringLiteral("Cache.db")) {
                return !dir->children().empty();
            }
        }
        return false;
    });
    ASSERT_TRUE(folder.isValid());
    p.cleanUi().cacheView.outline->setCurrentIndex(folder);
    const std::uint64_t cacheFilesBefore = appFolders("Library/Caches").count;
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.cleanCacheDirFile();
    ASSERT_TRUE(waitIdle());
    const Tally caches = appFolders("Library/Caches");
    ASSERT_LT(caches.count, cacheFilesBefore);  // some went
    // The tree, the label, the totals and the sidebar say what the device holds.
    EXPECT_EQ(treeEntries(p.CacheTreeController()), caches.count);
    EXPECT_EQ(treeBytes(p.CacheTreeController()), caches.bytes);
    EXPECT_EQ(p.cleanUi().cacheView.infolab->text(),
              QStringLiteral("Files Found: %1 in  %2 file(s)")
                  .arg(shell::size_to_unit(caches.bytes))
                  .arg(caches.count));
    EXPECT_EQ(p.GetCleanTaotalFileSize(), deviceBytes());
    EXPECT_EQ(p.GetCleanTaotalFileNumber(), deviceFiles());
    EXPECT_EQ(hub().allCacheFileNumber(), caches.bytes);
}

TEST_F(CleanPageRemovalTest, AFileGoneMeanwhileLeavesTheTotalsByItsBytes) {
    deviceScan();
    PRCleanViewController& p = page();
    p.showCleanMediaView();
    QTableView* media = p.cleanUi().syncFailedTableView;
    media->setCurrentIndex(media->model()->index(0, 0));
    const auto record = p.syncFailedController()->rowAt(0);
    ASSERT_GT(record->fileSizeNumber(), 0u);
    fs::remove(demo_ / md::sim::kMediaDir / fs::path(record->devicePath()).relative_path());
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    p.CleanSyncedMediaFile();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(p.syncFailedFileArray().size(), syncFolder().count);
    EXPECT_EQ(p.GetCleanTaotalFileSize(), deviceBytes());
    EXPECT_EQ(p.GetCleanTaotalFileNumber(), deviceFiles());
}

TEST_F(CleanPageRemovalTest, DeclinedQuestionsChangeNothing) {
    appScan();
    PRCleanViewController& p = page();
    int asked = 0;
    Alerts::ScopedHandler decline([&asked](QWidget*, const Alerts::Question&) {
        ++asked;
        return Alerts::Answer::Alternate;
    });
    const std::uint64_t files = deviceFiles() + appFolders("Documents").count;
    auto unchanged = [&](const char* what) {
        EXPECT_FALSE(p.removalRunning()) << what;
        pumpEvents(20);
        EXPECT_EQ(deviceFiles() + appFolders("Documents").count, files) << what;
    };
    // A category's remove-all.
    p.ClickJunkFileAction();
    const Records junk = p.cleanJunkController()->content();
    p.RemoveAllJunkFiles();
    EXPECT_EQ(asked, 1);
    unchanged("junk");
    EXPECT_EQ(p.cleanJunkController()->content(), junk);
    EXPECT_TRUE(p.cleanUi().junkResult.removeAllBtn->isEnabled());
    EXPECT_TRUE(shown(p.cleanUi().junkResult.infolab));
    // An app's advertisement caches, and every app's.
    p.ClickAppAdsFileAction();
    p.cleanUi().AdsTableView->setCurrentIndex(p.adsController()->index(0, 0));
    p.RemoveAdsAction();
    p.RemoveAllAdsAction();
    EXPECT_EQ(asked, 3);
    unchanged("ads");
    EXPECT_EQ(p.adsController()->content().front()->appAdsState(), QStringLiteral("Live"));

    deviceScan();
    const std::size_t cacheEntries = treeEntries(p.CacheTreeController());
    // A folder row of a tree, and the whole tree.
    p.showCleanCacheview();
    QTreeView* outline = p.cleanUi().cacheView.outline;
    outline->setCurrentIndex(outline->model()->index(0, 0));
    p.cleanCacheDirFile();
    p.cleanAllCacheFiles();
    // A sync-failed file, and all of them.
    p.showCleanMediaView();
    QTableView* media = p.cleanUi().syncFailedTableView;
    media->setCurrentIndex(media->model()->index(0, 0));
    p.CleanSyncedMediaFile();
    p.CleanAllSyncedMediaFile();
    EXPECT_EQ(asked, 7);
    unchanged("device");
    EXPECT_EQ(treeEntries(p.CacheTreeController()), cacheEntries);
    EXPECT_EQ(p.syncFailedFileArray().size(), syncFolder().count);
    EXPECT_EQ(p.GetCleanTaotalFileNumber(), deviceFiles());
}

// A second device holding the same app as the demo device.
class CleanPageTwoDevicesTest : public CleanPageRemovalTest {
  protected:
    static constexpr const char* kSharedApp = "io.quietnotes.app";

    void SetUp() override {
        CleanPageRemovalTest::SetUp();
        simdev::SimDeviceBuilder b(tmp_ / "second");
        b.setIdentity("Second Phone", "second", "iPhone7,2", "8.4");
        simdev::AppSpec app;
        app.bundleId = kSharedApp;
        app.displayName = "Quiet Notes";
        b.addApp(app);
        b.addContainerFile(kSharedApp, "/Library/Caches/" + std::string(kSharedApp) + "/blob",
                           40000);
        b.addContainerFile(kSharedApp, "/tmp/upload-1.part", 30000);
        b.addContainerFile(kSharedApp, "/Documents/song.mp3", 20000);
        ASSERT_TRUE(b.write());
        second_ = attach((tmp_ / "second").string());
        ASSERT_GE(second_, 0);
        ASSERT_NE(second_, index_);
    }
    fs::path secondContainer() const {
        return tmp_ / "second" / md::sim::kAppsDir / kSharedApp / md::sim::kAppContainer;
    }
    Tally secondFiles() const { return tallyOf(secondContainer()); }
    void switchToSecond() {
        page().NimbaraShowDeviceClean(second_);
        page().initAllDataAndAllView();
    }

    int second_ = -1;
};

TEST_F(CleanPageTwoDevicesTest, ADeviceChangeDuringTheAppScanDropsItsResults) {
    const Tally before = secondFiles();
    hub().ClickAppCleaner();
    page().NimbaraShowDeviceClean(index_);
    page().startScanPhoneApp();
    ASSERT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::App);
    switchToSecond();
    EXPECT_EQ(page().scanRunning(), PRCleanViewController::ScanKind::None);
    ASSERT_TRUE(pumpUntil([this] { return page().workersEnding() == 0; }));
    pumpEvents(50);
    EXPECT_EQ(page().appScanResult(), nullptr);
    EXPECT_FALSE(page().bAppCleanerFinish());
    EXPECT_EQ(page().cleanCacheFileController()->rowCount(), 0);
    EXPECT_TRUE(page().cleanUi().cache.sizelab->text().isEmpty());
    // The next press scans the second device, and only what it holds.
    page().startScanPhoneApp();
    ASSERT_TRUE(waitIdle());
    ASSERT_NE(page().appScanResult(), nullptr);
    EXPECT_EQ(page().cleanCacheFileController()->rowCount(), 1);
    EXPECT_EQ(page().cleanJunkController()->rowCount(), 1);
    EXPECT_EQ(secondFiles().count, before.count);
}

TEST_F(CleanPageTwoDevicesTest, ADeviceChangeDuringARemovalTouchesNothingOnTheOtherDevice) {
    hub().ClickAppCleaner();
    page().NimbaraShowDeviceClean(index_);
    page().startScanPhoneApp();
    ASSERT_TRUE(waitIdle());
    ASSERT_TRUE(page().bAppCleanerFinish());
    ASSERT_GT(page().cleanCacheFileController()->rowCount(), 1);
    const Tally before = secondFiles();
    const std::uint64_t creditBefore = removedCredit();
    Alerts::ScopedHandler accept(
        [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    page().startScanPhoneApp();  // remove everything found on the first device
    ASSERT_TRUE(page().removalRunning());
    switchToSecond();
    EXPECT_FALSE(page().removalRunning());
    pumpEvents(200);
    // The run's end is dropped: nothing is settled, credited or shown for it.
    EXPECT_EQ(page().appScanResult(), nullptr);
    EXPECT_EQ(page().cleanCacheFileController()->rowCount(), 0);
    EXPECT_EQ(removedCredit(), creditBefore);
    auto* sheet = page().view()->findChild<QDialog*>(QStringLiteral("removeWindow"));
    EXPECT_TRUE(sheet == nullptr || !sheet->isVisible());
    EXPECT_EQ(secondFiles().count, before.count);
    EXPECT_EQ(secondFiles().bytes, before.bytes);
    // The second device's scan and removal work on it alone.
    page().startScanPhoneApp();
    ASSERT_TRUE(waitIdle());
    page().startScanPhoneApp();
    ASSERT_TRUE(waitIdle());
    for (const char* path :
         {"Library/Caches/io.quietnotes.app/blob", "tmp/upload-1.part", "Documents/song.mp3"}) {
        EXPECT_FALSE(fs::exists(secondContainer() / path)) << path;
    }
}

}  // namespace
}  // namespace nimbara::test
