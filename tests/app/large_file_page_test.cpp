// The large-file finder page on a small simulated device: the scan filling the entries and the
// four tables, removals of exactly the chosen rows with the selection moving back, cancelled
// questions, the big tables acting on their own selection, uninstall taking every row of its app,
// protected files kept, exports that never overwrite, app archives and reinstalls (and a device
// that makes no archives), and a device change mid-scan.
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "cleanup/pr_large_file_node.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "ui/control_notifications.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHugeApp = "com.example.huge";
constexpr const char* kSmallApp = "com.example.small";

simdev::AppSpec appSpec(const char* id, const char* name, std::int64_t bundle, std::int64_t data) {
    simdev::AppSpec a;
    a.bundleId = id;
    a.displayName = name;
    a.staticDiskUsage = bundle;
    a.dynamicDiskUsage = data;
    return a;
}

class LargeFilePageTest : public DelegateTest {
  protected:
    void SetUp() override {
        DelegateTest::SetUp();
        hub().setLimitLargeFileSize(2000000);
        exportDir_ = tmp_ / "export";
        hub().setNimbaraExportPath(QString::fromStdString(exportDir_.string()));
    }

    // Six large downloads d0 (3.0 MB) to d5 (3.5 MB), two big recordings, a protected database,
    // a small app and a huge one with two large files in its container.
    // With `noArchives`, its installation proxy refuses app archives, as later iOS versions do.
    std::string makeFinderDevice(const std::string& udid, int extraFiles = 0,
                                 bool noArchives = false) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        if (noArchives) {
            b.setFault(md::sim::kFaultNoAppArchives, PlistValue(true));
        }
        for (int i = 0; i < 6; ++i) {
            b.addMediaFileOfSize("/Downloads/d" + std::to_string(i) + ".bin",
                                 3000000 + 100000 * static_cast<std::uint64_t>(i));
        }
        b.addMediaFileOfSize("/Recordings/big1.m4a", 120000000);
        b.addMediaFileOfSize("/Recordings/big2.m4a", 130000000);
        b.addMediaFileOfSize("/PhotoData/Photos.sqlite", 2500000);
        for (int i = 0; i < extraFiles; ++i) {
            b.addMediaFileOfSize("/Many/F" + std::to_string(i / 10) + "/m" + std::to_string(i),
                                 2100000);
        }
        b.addApp(appSpec(kSmallApp, "Small", 20000000, 1000000));
        b.addApp(appSpec(kHugeApp, "Huge", 200000000, 400000000));
        b.addContainerFile(kHugeApp, "/Documents/maps.pdf", 150000000);
        b.addContainerFile(kHugeApp, "/Library/Caches/tiles.bin", 6000000);
        EXPECT_TRUE(b.write());
        return (tmp_ / udid).string();
    }

    PRFindLargeFileViewController& page() { return *hub().findLargerFileViewController(); }
    FindLargeFileUi& ui() { return page().finderUi(); }
    fs::path media(const std::string& udid) const { return tmp_ / udid / md::sim::kMediaDir; }

    int attachAndScan(const std::string& udid, int extraFiles = 0) {
        const int index = attach(makeFinderDevice(udid, extraFiles));
        EXPECT_GE(index, 0);
        page().setDeviceIndex(index);
        page().StartScanAction();
        EXPECT_TRUE(waitIdle());
        return index;
    }

    bool waitIdle() {
        return pumpUntil([this] { return !page().busy(); });
    }

    static void select(QTableView* table, std::initializer_list<int> rows) {
        table->clearSelection();
        for (const int row : rows) {
            table->selectionModel()->select(
                table->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    static std::vector<int> selected(QTableView* table) {
        std::vector<int> rows;
        for (const QModelIndex& index : table->selectionModel()->selectedRows()) {
            rows.push_back(index.row());
        }
        std::sort(rows.begin(), rows.end());
        return rows;
    }
    static std::vector<std::string> names(const PRLargeFileRecordsController* controller) {
        std::vector<std::string> out;
        for (const auto& record : controller->arrangedObjects()) {
            out.push_back(record->fileName().toStdString());
        }
        return out;
    }

    fs::path exportDir_;
};

TEST_F(LargeFilePageTest, TheScanFillsBothEntriesAndTheTablesLargestFirst) {
    attachAndScan("scan");
    ASSERT_TRUE(page().bScanFinished());
    EXPECT_EQ(ui().startScanBtn->imageName(), "doneNom.png");
    EXPECT_TRUE(ui().userBtn->isEnabled());
    EXPECT_TRUE(ui().appBtn->isEnabled());
    const std::uint64_t userBytes =
        6 * 3000000ull + 100000ull * 15 + 120000000ull + 130000000ull + 2500000ull;
    EXPECT_EQ(page().allDocumentFileSize(), userBytes);
    EXPECT_EQ(ui().userDataFileSizelab->text(), " " + shell::size_to_unit(userBytes));
    EXPECT_EQ(page().allAppFileSize(), 21000000u + 600000000u);

    page().ClickUserDataFileAction();
    EXPECT_EQ(page().shownView(), "userDataLargerFileView");
    EXPECT_EQ(names(page().userLargeFileController()),
              (std::vector<std::string>{"d5.bin", "d4.bin", "d3.bin", "d2.bin", "d1.bin", "d0.bin",
                                        "Photos.sqlite"}));
    EXPECT_EQ(names(page().userBigFileController()),
              (std::vector<std::string>{"big2.m4a", "big1.m4a"}));

    // The info image shows the row's advice; the same row again hides it.
    select(ui().userDataLargeTableView, {0});
    NotificationCenter::defaultCenter().post("TheImageTextCellHavebeenDown",
                                             static_cast<QObject*>(ui().userDataLargeTableView));
    EXPECT_FALSE(ui().showlargeuserdatatip->isHidden());
    EXPECT_EQ(ui().showlargeuserdatatip->text(),
              "The file is downloaded file via your browser or other tools, you can remove it.");
    NotificationCenter::defaultCenter().post("TheImageTextCellHavebeenDown",
                                             static_cast<QObject*>(ui().userDataLargeTableView));
    EXPECT_TRUE(ui().showlargeuserdatatip->isHidden());

    page().ClickAppDataFileAction();
    EXPECT_EQ(page().shownView(), "appLargerFileView");
    EXPECT_EQ(names(page().appLargeFileController()),
              (std::vector<std::string>{"Small.app", "tiles.bin"}));
    EXPECT_EQ(names(page().appBigFileController()),
              (std::vector<std::string>{"Huge.app", "maps.pdf"}));

    // Shown again, the page keeps offering what it found.
    QWidget container;
    page().showView(&container);
    EXPECT_EQ(page().shownView(), "mainTableView");
    EXPECT_TRUE(ui().userBtn->isEnabled());
    EXPECT_FALSE(ui().userDataFileSizelab->isHidden());

    // A second scan for the same device is refused until the device is chosen again.
    page().StartScanAction();
    EXPECT_FALSE(page().busy());
}

TEST_F(LargeFilePageTest, DeletingThreeSelectedRowsRemovesExactlyThoseAndLeavesNothingSelected) {
    attachAndScan("three");
    page().ClickUserDataFileAction();
    QTableView* table = ui().userDataLargeTableView;
    select(table, {1, 3, 5});  // d4, d2, d0
    ASSERT_EQ(page().currentTableView(), table);
    std::vector<QString> asked;
    std::vector<QString> named;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q.message);
        named.push_back(q.informativeText);
        EXPECT_EQ(q.defaultButton, "Deleted");
        EXPECT_EQ(q.alternateButton, "Cancel");
        return Alerts::Answer::Default;
    });
    page().ClickuserDataRemoveAction();
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0],
              "Are you sure you want to permanently delete the selected file(s) from your device?");
    EXPECT_EQ(named[0],
              "These 3 files will be deleted from the device: d4.bin, d2.bin and d0.bin.");
    EXPECT_EQ(names(page().userLargeFileController()),
              (std::vector<std::string>{"d5.bin", "d3.bin", "d1.bin", "Photos.sqlite"}));
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(fs::exists(media("three") / "Downloads" / ("d" + std::to_string(i) + ".bin")),
                  i % 2 == 1);
    }
    // Nothing is selected: a second Delete takes nothing nobody chose.
    EXPECT_TRUE(selected(table).empty());
    EXPECT_FALSE(table->currentIndex().isValid());
    EXPECT_EQ(hub().totalUserdataRemoveFileSize(), 3400000u + 3200000u + 3000000u);
    EXPECT_EQ(page().userDataLargeFileArray().size(), 4u);  // the scan list follows

    select(table, {0});
    page().ClickuserDataRemoveAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(named[1], "This file will be deleted from the device: d5.bin.");
    EXPECT_TRUE(selected(table).empty());
    EXPECT_FALSE(fs::exists(media("three") / "Downloads" / "d5.bin"));

    // Opening the view again shows what is really left.
    page().ClickUserDataFileAction();
    EXPECT_EQ(names(page().userLargeFileController()),
              (std::vector<std::string>{"d3.bin", "d1.bin", "Photos.sqlite"}));
}

TEST_F(LargeFilePageTest, AFileTheDeviceNeedsIsNamedAsKeptAndStays) {
    attachAndScan("five");
    page().ClickUserDataFileAction();
    QTableView* table = ui().userDataLargeTableView;
    select(table, {5, 6});  // d0 and the protected database
    QString named;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        named = q.informativeText;
        return Alerts::Answer::Default;
    });
    page().ClickuserDataRemoveAction();
    ASSERT_TRUE(waitIdle());
    // The protected database is never removed and stays listed.
    EXPECT_TRUE(fs::exists(media("five") / "PhotoData" / "Photos.sqlite"));
    EXPECT_FALSE(fs::exists(media("five") / "Downloads" / "d0.bin"));
    EXPECT_EQ(names(page().userLargeFileController()).back(), "Photos.sqlite");
    EXPECT_NE(page().resultText().indexOf("kept"), -1);
    EXPECT_EQ(named,
              "This file will be deleted from the device: d0.bin. This file the device itself "
              "needs is kept: Photos.sqlite.");
    EXPECT_TRUE(selected(table).empty());
}

TEST_F(LargeFilePageTest, CancelledQuestionsChangeNothing) {
    attachAndScan("cancel");
    page().ClickUserDataFileAction();
    page().ClickAppDataFileAction();
    int asked = 0;
    Alerts::ScopedHandler cancel([&](QWidget*, const Alerts::Question&) {
        ++asked;
        return Alerts::Answer::Alternate;
    });
    const auto userBefore = names(page().userLargeFileController());
    const auto appBefore = names(page().appBigFileController());

    select(ui().userDataLargeTableView, {0, 1});
    page().ClickuserDataRemoveAction();
    select(ui().appBigTableView, {1});
    page().ClickAppRemoveAction();
    select(ui().appBigTableView, {0});
    page().ClickAppUninstallAction();
    page().ClickAppReinstallAction();
    EXPECT_EQ(asked, 4);
    EXPECT_FALSE(page().busy());
    pumpEvents(50);
    EXPECT_EQ(names(page().userLargeFileController()), userBefore);
    EXPECT_EQ(names(page().appBigFileController()), appBefore);
    EXPECT_TRUE(fs::exists(media("cancel") / "Downloads" / "d5.bin"));
    EXPECT_TRUE(fs::exists(tmp_ / "cancel" / md::sim::kAppsDir / kHugeApp));
    EXPECT_TRUE(fs::exists(tmp_ / "cancel" / md::sim::kAppsDir / kHugeApp / md::sim::kAppContainer /
                           "Documents" / "maps.pdf"));
    EXPECT_EQ(page().appBigFileController()->recordAt(0)->totalSize(),
              shell::size_to_unit(600000000));
}

TEST_F(LargeFilePageTest, TheBigTablesActOnTheirOwnSelection) {
    attachAndScan("big");
    page().ClickUserDataFileAction();
    QStringList revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed << folder; });
    select(ui().userDataLargeTableView, {0});
    select(ui().userDataBigTableView, {1});  // big1.m4a, the current table now
    page().ExportUserDataAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(fs::exists(exportDir_ / "big1.m4a"));
    EXPECT_FALSE(fs::exists(exportDir_ / "d5.bin"));
    ASSERT_EQ(revealed.size(), 1);
    // The same file again never replaces the first copy.
    page().ExportUserDataAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(fs::exists(exportDir_ / "big1 (2).m4a"));
    EXPECT_EQ(fs::file_size(exportDir_ / "big1.m4a"), 120000000u);
    EXPECT_TRUE(ui().userDataExportprogressor->isHidden());

    // A file gone from the device meanwhile: nothing is copied and the folder is not shown.
    fs::remove(media("big") / "Recordings" / "big2.m4a");
    select(ui().userDataBigTableView, {0});
    page().ExportUserDataAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(revealed.size(), 2);
    EXPECT_FALSE(page().resultText().isEmpty());
}

TEST_F(LargeFilePageTest, UninstallRemovesEveryRowOfThatAppOnly) {
    attachAndScan("uninstall");
    page().ClickAppDataFileAction();
    select(ui().appLargeTableView, {0});  // Small.app
    select(ui().appBigTableView, {0});    // Huge.app, the current table
    QString asked;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        asked = q.message;
        EXPECT_EQ(q.defaultButton, "Uninstall");
        return Alerts::Answer::Default;
    });
    page().ClickAppUninstallAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(asked,
              "Are you sure you want to permanently uninstall the Huge.app from your device?");
    EXPECT_FALSE(fs::exists(tmp_ / "uninstall" / md::sim::kAppsDir / kHugeApp));
    EXPECT_TRUE(fs::exists(tmp_ / "uninstall" / md::sim::kAppsDir / kSmallApp));
    // The app and the files of its container leave both tables; the other app stays.
    EXPECT_TRUE(page().appBigFileController()->arrangedObjects().empty());
    EXPECT_EQ(names(page().appLargeFileController()), (std::vector<std::string>{"Small.app"}));
    EXPECT_EQ(hub().totalAppRemoveFileSize(), 600000000u);
    EXPECT_EQ(page().allAppFileSize(), 21000000u);
    EXPECT_NE(page().resultText().indexOf("uninstalled"), -1);
}

TEST_F(LargeFilePageTest, ArchiveWritesTheAppIntoTheExportFolderAndReinstallKeepsThatArchive) {
    attachAndScan("archive");
    page().ClickAppDataFileAction();
    QStringList revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed << folder; });
    const fs::path apps = tmp_ / "archive" / md::sim::kAppsDir;
    const fs::path deviceArchives = media("archive") / "ApplicationArchives";

    // Archive: the app with its documents lands in the export folder under its bundle id, the
    // device keeps no archive, the app stays, and the folder is shown.
    select(ui().appLargeTableView, {0});  // Small.app
    page().ClickAppArchiveAction();
    EXPECT_TRUE(page().busy());
    ASSERT_TRUE(waitIdle());
    const fs::path zip = exportDir_ / (std::string(kSmallApp) + ".zip");
    ASSERT_TRUE(fs::exists(zip)) << page().resultText().toStdString();
    const std::set<std::string> entries = zipNames(zip);
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const std::string& e) {
        return e.rfind("Payload/", 0) == 0 && e.find(".app/") != std::string::npos;
    }));
    EXPECT_FALSE(fs::exists(deviceArchives / (std::string(kSmallApp) + ".zip")));
    EXPECT_TRUE(fs::exists(apps / kSmallApp));
    EXPECT_EQ(revealed.size(), 1);
    EXPECT_TRUE(ui().appDataExportProgressor->isHidden());
    const std::uintmax_t archiveBytes = fs::file_size(zip);

    // Reinstall: asked first; "reinstalling..." while it runs; the app is back afterwards with
    // new size texts, and the user's archive of it is left as it was.
    int asked = 0;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        ++asked;
        EXPECT_EQ(q.defaultButton, "Reinstall");
        return Alerts::Answer::Default;
    });
    select(ui().appLargeTableView, {0});
    const auto record = page().appLargeFileController()->recordAt(0);
    ASSERT_EQ(record->appBundId().toStdString(), kSmallApp);
    page().ClickAppReinstallAction();
    EXPECT_EQ(asked, 1);
    if (page().busy()) {
        EXPECT_EQ(record->totalSize(), "reinstalling...");
    }
    ASSERT_TRUE(waitIdle());
    EXPECT_NE(record->totalSize(), "reinstalling...");
    EXPECT_NE(record->documentSize(), "reinstalling...");
    EXPECT_TRUE(fs::exists(apps / kSmallApp)) << page().resultText().toStdString();
    EXPECT_EQ(fs::file_size(zip), archiveBytes);
    EXPECT_FALSE(fs::exists(exportDir_ / (std::string(kSmallApp) + " (2).zip")));
    EXPECT_FALSE(fs::exists(deviceArchives / (std::string(kSmallApp) + ".zip")));
    EXPECT_FALSE(page().resultText().isEmpty());
}

TEST_F(LargeFilePageTest, ADeviceThatMakesNoArchivesSaysSoAndKeepsTheApp) {
    const int index = attach(makeFinderDevice("noarchive", 0, true));
    ASSERT_GE(index, 0);
    page().setDeviceIndex(index);
    page().StartScanAction();
    ASSERT_TRUE(waitIdle());
    page().ClickAppDataFileAction();
    QStringList revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed << folder; });
    Alerts::ScopedHandler accept(
        [&](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });

    select(ui().appLargeTableView, {0});
    page().ClickAppArchiveAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_NE(page().resultText().indexOf("archive"), -1) << page().resultText().toStdString();
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_FALSE(fs::exists(exportDir_ / (std::string(kSmallApp) + ".zip")));

    const auto record = page().appLargeFileController()->recordAt(0);
    const QString before = record->totalSize();
    page().ClickAppReinstallAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(record->totalSize(), before);
    EXPECT_TRUE(fs::exists(tmp_ / "noarchive" / md::sim::kAppsDir / kSmallApp));
    EXPECT_FALSE(page().resultText().isEmpty());
}

TEST_F(LargeFilePageTest, CleaningAppFilesRemovesThemFromTheContainerAndLeavesTheApp) {
    attachAndScan("clean");
    page().ClickAppDataFileAction();
    select(ui().appBigTableView, {0, 1});  // Huge.app and maps.pdf
    QString informative;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question& q) {
        informative = q.informativeText;
        EXPECT_EQ(q.otherButton, "Uninstall");
        return Alerts::Answer::Default;
    });
    page().ClickAppRemoveAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(informative,
              "This file will be deleted from the device: maps.pdf. You may not run the app "
              "correctly after deleting partial app files, we suggest you to uninstall the app "
              "completely. Uninstall removes Huge with all its data.");
    const fs::path container =
        tmp_ / "clean" / md::sim::kAppsDir / kHugeApp / md::sim::kAppContainer;
    EXPECT_FALSE(fs::exists(container / "Documents" / "maps.pdf"));
    EXPECT_TRUE(fs::exists(container / "Library" / "Caches" / "tiles.bin"));
    EXPECT_TRUE(fs::exists(tmp_ / "clean" / md::sim::kAppsDir / kHugeApp));
    EXPECT_EQ(names(page().appBigFileController()), (std::vector<std::string>{"Huge.app"}));
    EXPECT_EQ(hub().totalAppRemoveFileSize(), 150000000u);
}

TEST_F(LargeFilePageTest, AppFilesExportIntoAFolderPerAppInsideAppData) {
    attachAndScan("appdata");
    page().ClickAppDataFileAction();
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(ui::FileViewer::handler(),
                                                      [](const QString&) {});
    select(ui().appLargeTableView, {1});  // tiles.bin
    select(ui().appBigTableView, {1});    // maps.pdf
    page().ExportAppDataAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(fs::exists(exportDir_ / "AppData" / kHugeApp / "tiles.bin"));
    EXPECT_TRUE(fs::exists(exportDir_ / "AppData" / kHugeApp / "maps.pdf"));
}

TEST_F(LargeFilePageTest, ADeviceChangeMidScanDropsItsResults) {
    const int index = attach(makeFinderDevice("midscan", 300));
    ASSERT_GE(index, 0);
    page().setDeviceIndex(index);
    page().StartScanAction();
    ASSERT_TRUE(page().bScanStarted());
    pumpUntil([this] { return !ui().userDataFilelab->text().isEmpty(); });
    page().initAllDataAndAllView();  // what a device change does
    EXPECT_FALSE(page().bScanStarted());
    EXPECT_FALSE(page().busy());
    pumpEvents(300);
    EXPECT_FALSE(page().bScanFinished());
    EXPECT_TRUE(page().userDataLargeFileArray().empty());
    EXPECT_TRUE(page().appLargeFileArray().empty());
    EXPECT_FALSE(ui().userBtn->isEnabled());
    // The device chosen again scans afresh.
    page().StartScanAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(page().bScanFinished());
    EXPECT_EQ(page().userDataLargeFileArray().size(), 7u + 300u);
}

TEST_F(LargeFilePageTest, AJobOfTheDeviceBeforeAChangeReportsNothing) {
    attachAndScan("stale");
    page().ClickUserDataFileAction();
    QStringList revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed << folder; });
    select(ui().userDataBigTableView, {0});
    page().ExportUserDataAction();
    ASSERT_TRUE(page().busy());
    page().initAllDataAndAllView();  // another device was chosen meanwhile
    pumpEvents(300);
    EXPECT_TRUE(revealed.isEmpty());
    EXPECT_TRUE(page().resultText().isEmpty());
    EXPECT_FALSE(page().busy());
    EXPECT_TRUE(ui().userDataExportprogressor->isHidden());
    EXPECT_TRUE(page().userBigFileController()->arrangedObjects().empty());
}

TEST_F(LargeFilePageTest, ADetachMidScanEndsItWithoutOfferingTheUnfinishedLists) {
    const int index = attach(makeFinderDevice("detach", 300));
    ASSERT_GE(index, 0);
    page().setDeviceIndex(index);
    page().StartScanAction();
    pumpUntil([this] { return !ui().userDataFilelab->text().isEmpty(); });
    detach("detach");
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(ui().userBtn->isEnabled());
    EXPECT_FALSE(ui().appBtn->isEnabled());
}

TEST_F(LargeFilePageTest, TheOnlyDeviceUnpluggedAfterTheScanTakesItsListsAndCanBeScannedAgain) {
    attachAndScan("replug");
    ASSERT_TRUE(page().bScanFinished());
    page().ClickUserDataFileAction();
    ASSERT_FALSE(page().userLargeFileController()->arrangedObjects().empty());

    ASSERT_TRUE(detach("replug"));
    ASSERT_TRUE(pumpUntil([this] { return !page().bScanFinished(); }));
    EXPECT_TRUE(page().userLargeFileController()->arrangedObjects().empty());
    EXPECT_TRUE(page().appBigFileController()->arrangedObjects().empty());
    EXPECT_FALSE(ui().userBtn->isEnabled());
    EXPECT_FALSE(ui().scanStatuslab->isHidden());

    // Plugged in again: the page scans it afresh.
    const int again = attach((tmp_ / "replug").string());
    ASSERT_GE(again, 0);
    page().setDeviceIndex(again);
    page().StartScanAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(page().bScanFinished());
    page().ClickUserDataFileAction();
    EXPECT_FALSE(page().userLargeFileController()->arrangedObjects().empty());
}

// A notice stays with its list and moment: the spinner goes when the scan ends, a result shows
// only on its own detail view, and an advice line goes with its file.
TEST_F(LargeFilePageTest, NoticesBelongToTheirListAndGoWithWhatTheyTellOf) {
    struct Case {
        const char* udid;
        bool app;            // an app file is deleted, else the big table's first user file
        bool adviceOfLarge;  // the advice asked for is of a large file's row, else a big one's
        int adviceRow;
        bool adviceStays;
    };
    for (const Case& c :
         {Case{"own-advice", false, false, 0, false}, Case{"other-advice", false, true, 2, true},
          Case{"app-file", true, true, 0, true}}) {
        SCOPED_TRACE(c.udid);
        page().initAllDataAndAllView();
        page().setDeviceIndex(attach(makeFinderDevice(c.udid)));
        page().StartScanAction();
        ASSERT_TRUE(waitIdle());
        EXPECT_TRUE(ui().theFlashView->isHidden() && !ui().theFlashView->isFlashing());
        page().ClickUserDataFileAction();
        QTableView* advised =
            c.adviceOfLarge ? ui().userDataLargeTableView : ui().userDataBigTableView;
        select(advised, {c.adviceRow});
        NotificationCenter::defaultCenter().post("TheImageTextCellHavebeenDown",
                                                 static_cast<QObject*>(advised));
        Alerts::ScopedHandler accept(
            [](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
        if (c.app) {
            page().ClickAppDataFileAction();
        }
        select(c.app ? ui().appLargeTableView : ui().userDataBigTableView, {c.app ? 1 : 0});
        c.app ? page().ClickAppRemoveAction() : page().ClickuserDataRemoveAction();
        ASSERT_TRUE(waitIdle());
        EXPECT_EQ(ui().userDataResultlab->text().isEmpty(), c.app);
        EXPECT_EQ(ui().appDataResultlab->text().isEmpty(), !c.app);
        EXPECT_EQ(!ui().showlargeuserdatatip->isHidden() || !ui().showbiguserdatatip->isHidden(),
                  c.adviceStays);
    }
}

}  // namespace
}  // namespace nimbara::test
