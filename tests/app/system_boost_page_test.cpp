// The system boost page on the README's demo device: the scan filling the summary, the kind
// lists with single removal and export, remove all asked first and counted by what the device
// removed, and device changes that reset the page.
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cleanup/pages/pr_system_boost_view_controller.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

using cleanup::BoostKind;
using State = PRSystemBoostViewController::State;
using Tally = nimbara::test::FileTally;
using nimbara::test::tallyOf;

class SystemBoostPageTest : public DemoDelegateTest {
  protected:
    void SetUp() override {
        DemoDelegateTest::SetUp();
        hub().ClickAdsRemove();
        hub().setNimbaraExportPath(QString::fromStdString(exports_.string()));
    }

    PRSystemBoostViewController& page() { return *hub().systemBoostViewController(); }
    SystemBoostUi& ui() { return page().boostUi(); }
    fs::path media(const std::string& path) const { return demo_ / md::sim::kMediaDir / path; }
    Tally crashes() const { return tallyOf(demo_ / md::sim::kCrashesDir); }

    void clickScan() {
        NotificationCenter::defaultCenter().post("MyScanbuttonMouseDown",
                                                 static_cast<QObject*>(ui().scanButton));
    }
    bool waitIdle() {
        return pumpUntil([this] { return !page().busy() && page().state() != State::Scanning; });
    }
    void scan() {
        clickScan();
        ASSERT_EQ(page().state(), State::Scanning);
        ASSERT_TRUE(waitIdle());
        ASSERT_EQ(page().state(), State::Scanned);
    }
    CleanCategoryRowUi& row(BoostKind kind) { return ui().kinds[cleanup::boostSlot(kind)]; }
    void selectRow(int r) {
        ui().systemBoostTableview->clearSelection();
        ui().systemBoostTableview->selectRow(r);
    }
    std::shared_ptr<PRPhoneSystemFileNode> rowRecord(int r) {
        return page().systemBoostcontroller()->rowAt(r);
    }
    int selectedRow() {
        const auto rows = ui().systemBoostTableview->selectionModel()->selectedRows();
        return rows.isEmpty() ? -1 : rows.front().row();
    }

    fs::path exports_ = tmp_ / "home" / "Documents" / "Pellucor";
};

TEST_F(SystemBoostPageTest, ScanFillsEveryKindWithTheDevicesFiguresAndIgnoresASecondClick) {
    EXPECT_FALSE(page().isShowingNotAvailable());
    EXPECT_EQ(ui().scanButton->imageName(), "scanNom.png");
    EXPECT_TRUE(ui().theFalshView->isHidden());
    clickScan();
    ASSERT_EQ(page().state(), State::Scanning);
    EXPECT_EQ(ui().scanButton->imageName(), "scanDown.png");
    EXPECT_FALSE(ui().theFalshView->isHidden());
    clickScan();  // while scanning: nothing
    EXPECT_EQ(page().state(), State::Scanning);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(page().state(), State::Scanned);

    const Tally downloads = tallyOf(media("Downloads"));
    const Tally storage = tallyOf(media("general_storage"));
    const Tally sync = tallyOf(media("iTunes_Control/Sync/Media"));
    EXPECT_EQ(row(BoostKind::SystemLog).sizelab->text(), shell::size_to_unit(crashes().bytes));
    EXPECT_EQ(row(BoostKind::DownloadTemp).sizelab->text(), shell::size_to_unit(downloads.bytes));
    EXPECT_EQ(row(BoostKind::UserStorage).sizelab->text(), shell::size_to_unit(storage.bytes));
    EXPECT_EQ(row(BoostKind::SyncFailed).sizelab->text(), shell::size_to_unit(sync.bytes));
    const auto* found = page().result();
    ASSERT_NE(found, nullptr);
    // The upper-case twin of the edit's picture is no junk.
    for (const auto& node : found->kind(BoostKind::SyncCache).files) {
        EXPECT_NE(node->fileName(), "IMG_0009.JPG");
    }
    EXPECT_EQ(page().totalFileNumber(), crashes().count + downloads.count + storage.count +
                                            sync.count +
                                            found->kind(BoostKind::SyncCache).files.size());
    for (CleanCategoryRowUi& r : ui().kinds) {
        EXPECT_TRUE(r.button->isEnabled());
        EXPECT_FALSE(r.sizelab->isHidden());
        EXPECT_TRUE(r.pathlab->isHidden());
        EXPECT_FLOAT_EQ(r.progress->value(), 1.0f);
    }
    EXPECT_EQ(ui().scanButton->imageName(), "RemoveBtnNom.png");
    EXPECT_TRUE(ui().theFalshView->isHidden());
}

TEST_F(SystemBoostPageTest, AKindWithOnlyEmptyFilesKeepsItsButtonDisabled) {
    for (const auto& e : fs::recursive_directory_iterator(media("general_storage"))) {
        if (e.is_regular_file()) {
            fs::resize_file(e.path(), 0);
        }
    }
    scan();
    EXPECT_FALSE(row(BoostKind::UserStorage).button->isEnabled());
    EXPECT_FALSE(page().result()->kind(BoostKind::UserStorage).files.empty());
    EXPECT_TRUE(row(BoostKind::DownloadTemp).button->isEnabled());
}

TEST_F(SystemBoostPageTest, RemovingOneFileTakesItOffItsListAndTotals) {
    // More downloads, so that a file that may be removed lies at row 3 or below.
    fs::create_directories(media("Downloads/com.example.extra"));
    for (const char* name : {"one.part", "two.part", "three.part"}) {
        std::ofstream(media("Downloads/com.example.extra") / name) << name;
    }
    scan();
    row(BoostKind::DownloadTemp).button->click();
    ASSERT_EQ(page().shownKind(), BoostKind::DownloadTemp);
    EXPECT_TRUE(ui().mainView->isHidden());
    EXPECT_FALSE(ui().ResultView->isHidden());
    EXPECT_EQ(selectedRow(), -1);
    const int rows = page().systemBoostcontroller()->rowCount();
    ASSERT_GE(rows, 5);
    const std::uint64_t before = page().result()->kind(BoostKind::DownloadTemp).bytes;
    const std::uint64_t filesBefore = page().totalFileNumber();

    // Nothing selected: nothing happens.
    ui().removeButton->click();
    EXPECT_FALSE(page().busy());

    // Each removal asks first; a declined question leaves the file on the device and listed.
    bool accept = false;
    int questions = 0;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& question) {
        ++questions;
        EXPECT_TRUE(question.message.contains(QStringLiteral("remove")));
        EXPECT_FALSE(page().busy());
        return accept ? Alerts::Answer::Default : Alerts::Answer::Alternate;
    });
    selectRow(0);
    const auto declined = rowRecord(0);
    ui().removeButton->click();
    EXPECT_EQ(questions, 1);
    EXPECT_FALSE(page().busy());
    EXPECT_TRUE(fs::exists(media(declined->filePath().mid(1).toStdString())));
    EXPECT_EQ(page().systemBoostcontroller()->rowCount(), rows);
    accept = true;

    // The protected database is not asked about: it stays listed and counted, and the page
    // says why.
    int database = -1;
    for (int r = 0; r < rows; ++r) {
        if (rowRecord(r)->fileName() == "downloads.28.sqlitedb") {
            database = r;
        }
    }
    ASSERT_GE(database, 0);
    selectRow(database);
    ui().removeButton->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(page().systemBoostcontroller()->rowCount(), rows);
    EXPECT_TRUE(fs::exists(media("Downloads/downloads.28.sqlitedb")));
    EXPECT_EQ(questions, 1);
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("needs is kept: downloads.28")));
    EXPECT_EQ(page().totalFileNumber(), filesBefore);

    // A file at row 3 or below: gone from the device, the list and the totals; nothing is
    // selected after, so a second Remove takes nothing nobody chose.
    int at = 3;
    while (at < rows && rowRecord(at)->isProtected()) {
        ++at;
    }
    ASSERT_LT(at, rows);
    const auto third = rowRecord(at);
    selectRow(at);
    ui().removeButton->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_FALSE(fs::exists(media(third->filePath().mid(1).toStdString())));
    EXPECT_EQ(page().systemBoostcontroller()->rowCount(), rows - 1);
    EXPECT_EQ(selectedRow(), -1);
    EXPECT_EQ(page().totalFileNumber(), filesBefore - 1);
    const std::uint64_t after = page().result()->kind(BoostKind::DownloadTemp).bytes;
    EXPECT_EQ(after, before - third->fileSizeNumber());
    EXPECT_EQ(row(BoostKind::DownloadTemp).sizelab->text(), shell::size_to_unit(after));

    int top = 0;
    while (rowRecord(top)->isProtected()) {
        ++top;
    }
    ASSERT_EQ(top, 0) << "the list should not start with a database";
    const auto first = rowRecord(0);
    selectRow(0);
    ui().removeButton->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(selectedRow(), -1);

    // Shown again, the list no longer holds them.
    ui().backButton->click();
    EXPECT_FALSE(ui().mainView->isHidden());
    row(BoostKind::DownloadTemp).button->click();
    EXPECT_EQ(page().systemBoostcontroller()->rowCount(), rows - 2);
    for (int r = 0; r < rows - 2; ++r) {
        EXPECT_NE(rowRecord(r), third);
        EXPECT_NE(rowRecord(r), first);
    }
}

TEST_F(SystemBoostPageTest, EachViewSaysItsOwnLineAndItsButtonsStayPut) {
    scan();
    ui().view->window()->resize(1080, 660);  // the smallest window
    ui().view->window()->show();
    row(BoostKind::DownloadTemp).button->click();
    pumpEvents(5);
    const QPoint remove = ui().removeButton->mapTo(ui().view, QPoint());
    for (int r = 0; r < page().systemBoostcontroller()->rowCount(); ++r) {
        if (rowRecord(r)->fileName() == "downloads.28.sqlitedb") {
            selectRow(r);
        }
    }
    ui().removeButton->click();  // not asked about: the list says why it stays
    ASSERT_TRUE(page().statusText().contains(QStringLiteral("needs is kept")));
    pumpEvents(5);
    EXPECT_EQ(ui().removeButton->mapTo(ui().view, QPoint()), remove);  // still under the pointer
    // The line goes with its list: neither the summary nor another list says it.
    ui().backButton->click();
    EXPECT_EQ(page().statusText().toStdString(), "");
    row(BoostKind::SystemLog).button->click();
    EXPECT_EQ(page().statusText().toStdString(), "");
}

TEST_F(SystemBoostPageTest, ExportsRevealTheFolderOnlyWhenSomethingWasCopied) {
    scan();
    std::vector<QString> revealed;
    ui::ScopedHandler<ui::FileViewer::Handler> viewer(
        ui::FileViewer::handler(), [&](const QString& folder) { revealed.push_back(folder); });
    row(BoostKind::SystemLog).button->click();
    selectRow(0);
    const auto log = rowRecord(0);
    ui().exportButton->click();
    ASSERT_TRUE(waitIdle());
    ui().exportButton->click();  // the same again: numbered, never replaced
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(revealed.size(), 2u);
    EXPECT_EQ(revealed[0].toStdString(), exports_.string());
    const Tally copies = tallyOf(exports_);
    EXPECT_EQ(copies.count, 2u);
    EXPECT_EQ(copies.bytes, 2 * log->fileSizeNumber());
    // What was written and where, once.
    EXPECT_EQ(page().statusText(),
              QStringLiteral("Exported 1 file (%1) to %2.")
                  .arg(shell::size_to_unit(log->fileSizeNumber()),
                       QString::fromStdString(fs::canonical(exports_).string())));

    // A file gone from the device meanwhile: nothing copied, no folder shown, the page says so.
    row(BoostKind::UserStorage).button->click();
    ui().backButton->click();
    row(BoostKind::UserStorage).button->click();
    selectRow(0);
    fs::remove(media(rowRecord(0)->filePath().mid(1).toStdString()));
    ui().exportButton->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(revealed.size(), 2u);
    EXPECT_EQ(tallyOf(exports_).count, 2u);
    EXPECT_FALSE(page().statusText().isEmpty());
}

// What remove all removes and frees: never the download queue's databases.
std::pair<std::uint64_t, std::uint64_t> removable(const cleanup::SystemBoostScanResult& found) {
    std::pair<std::uint64_t, std::uint64_t> going{};
    for (const auto& item : cleanup::boostRemoveAllPlan(found)) {
        going = {going.first + 1, going.second + item.size};
    }
    return going;
}

TEST_F(SystemBoostPageTest, DecliningRemoveAllChangesNothing) {
    scan();
    const Tally downloads = tallyOf(media("Downloads"));
    const std::uint64_t files = page().totalFileNumber();
    const auto going = removable(*page().result());
    const std::uint64_t willGo = going.first;
    const std::uint64_t willFree = going.second;
    ASSERT_LT(willGo, files);
    int asked = 0;
    Alerts::ScopedHandler decline([&](QWidget*, const Alerts::Question& question) {
        ++asked;
        EXPECT_EQ(question.message, cleanup::boostRemoveAllText(willGo, willFree));
        EXPECT_TRUE(question.informativeText.contains(QStringLiteral("downloads.28.sqlitedb")));
        EXPECT_EQ(question.alternateButton, "Cancel");
        // Nothing starts before the answer.
        EXPECT_FALSE(page().busy());
        return Alerts::Answer::Alternate;
    });
    clickScan();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(page().busy());
    pumpEvents(20);
    EXPECT_EQ(page().state(), State::Scanned);
    EXPECT_EQ(ui().scanButton->imageName(), "RemoveBtnNom.png");
    EXPECT_TRUE(ui().removeWindow->isHidden());
    EXPECT_EQ(tallyOf(media("Downloads")).count, downloads.count);
    EXPECT_EQ(page().totalFileNumber(), files);
}

TEST_F(SystemBoostPageTest, RemoveAllCountsWhatTheDeviceRemovedAndEndsDone) {
    scan();
    const auto going = removable(*page().result());
    const std::uint64_t files = going.first;
    const std::uint64_t bytes = going.second;
    bool workerAtQuestion = true;
    Alerts::ScopedHandler accept([&](QWidget*, const Alerts::Question&) {
        workerAtQuestion = page().busy();
        return Alerts::Answer::Default;
    });
    clickScan();
    EXPECT_FALSE(workerAtQuestion);
    EXPECT_EQ(page().state(), State::Removing);
    EXPECT_EQ(ui().scanButton->imageName(), "RemoveBtnDown.png");
    EXPECT_EQ(ui().removeFileInfolab->text(),
              PRSystemBoostViewController::removeAllMessage(files, bytes));
    ASSERT_TRUE(pumpUntil([this] { return page().state() == State::Done && !page().busy(); }));
    EXPECT_TRUE(ui().removeWindow->isHidden());
    EXPECT_EQ(ui().removeProgress->value(), 100);

    // The download queue's databases are protected: they stay, listed and counted.
    EXPECT_TRUE(fs::exists(media("Downloads/downloads.28.sqlitedb")));
    const Tally left = tallyOf(media("Downloads"));
    EXPECT_EQ(page().result()->kind(BoostKind::DownloadTemp).files.size(), left.count);
    EXPECT_EQ(page().totalFileNumber(), left.count);
    EXPECT_EQ(ui().removeNumberInfolab->text(), cleanup::removeProgressText(files, files, bytes));
    EXPECT_EQ(crashes().count, 0u);
    EXPECT_EQ(tallyOf(media("general_storage")).count, 0u);
    EXPECT_EQ(row(BoostKind::SystemLog).sizelab->text(), "0 KB");
    EXPECT_FALSE(row(BoostKind::SystemLog).button->isEnabled());
    EXPECT_EQ(row(BoostKind::DownloadTemp).sizelab->text(), shell::size_to_unit(left.bytes));
    EXPECT_TRUE(page().statusText().startsWith(
        QStringLiteral("%1 files removed, %2 freed.").arg(files).arg(shell::size_to_unit(bytes))))
        << page().statusText().toStdString();
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("the device itself needs are kept")));
    EXPECT_EQ(ui().scanButton->imageName(), "doneNom.png");
    EXPECT_FALSE(ui().scanButton->isEnabled());
    // The summary's line is its own: a list never shows it, and it is there again after.
    const QString report = page().statusText();
    row(BoostKind::DownloadTemp).button->click();
    ASSERT_EQ(page().shownKind(), BoostKind::DownloadTemp);
    EXPECT_EQ(page().statusText().toStdString(), "");
    ui().backButton->click();
    EXPECT_EQ(page().statusText(), report);

    // A reset brings the scan button back, enabled.
    page().initAllDataAndAllView();
    EXPECT_EQ(page().state(), State::Ready);
    EXPECT_EQ(ui().scanButton->imageName(), "scanNom.png");
    EXPECT_TRUE(ui().scanButton->isEnabled());
    EXPECT_EQ(page().result(), nullptr);
    for (CleanCategoryRowUi& r : ui().kinds) {
        EXPECT_TRUE(r.sizelab->text().isEmpty());
        EXPECT_FALSE(r.button->isEnabled());
        EXPECT_FLOAT_EQ(r.progress->value(), 0.0f);
    }
}

TEST_F(SystemBoostPageTest, TheSheetShowsCountAndSizeInRed) {
    const QString html = PRSystemBoostViewController::removeAllMessage(3, 1500);
    EXPECT_EQ(html,
              "<span style=\"color: rgb(248, 54, 52);\">3</span> files will be cleaned up and "
              "<span style=\"color: rgb(248, 54, 52);\">1.50KB</span> of file system space will "
              "be freed up on your iDevice.");
}

TEST_F(SystemBoostPageTest, DeviceChangeMidScanResetsAndDropsWhatTheScanStillSends) {
    clickScan();
    ASSERT_EQ(page().state(), State::Scanning);
    // The delegate's device change, before the scan's end reached the page.
    page().setDeviceIndex(index_);
    page().initAllDataAndAllView();
    EXPECT_EQ(page().state(), State::Ready);
    EXPECT_FALSE(page().busy());
    pumpUntil([this] { return page().workersEnding() == 0; });
    pumpEvents(50);
    EXPECT_EQ(page().result(), nullptr);
    EXPECT_EQ(page().state(), State::Ready);
    for (CleanCategoryRowUi& r : ui().kinds) {
        EXPECT_TRUE(r.sizelab->text().isEmpty());
        EXPECT_FALSE(r.button->isEnabled());
    }
    EXPECT_EQ(ui().scanButton->imageName(), "scanNom.png");
    // The page is usable again at once and reads the device it was given: another one now.
    const std::string other = makeDevice("other", Dev{"Other Phone"});
    fs::create_directories(fs::path(other) / md::sim::kMediaDir / "Downloads");
    std::ofstream(fs::path(other) / md::sim::kMediaDir / "Downloads" / "only.tmp") << "x";
    const int otherIndex = attach(other);
    ASSERT_GE(otherIndex, 0);
    ASSERT_NE(otherIndex, index_);
    page().setDeviceIndex(otherIndex);
    page().initAllDataAndAllView();
    scan();
    EXPECT_EQ(page().result()->target.deviceIndex, otherIndex);
    EXPECT_EQ(page().totalFileNumber(), 1u);
    EXPECT_EQ(page().result()->kind(BoostKind::DownloadTemp).files.front()->fileName(), "only.tmp");
}

TEST_F(SystemBoostPageTest, ADeviceThatGoesMidScanLeavesNothingBehind) {
    clickScan();
    ASSERT_EQ(page().state(), State::Scanning);
    library_->detach(demo_.string());
    ASSERT_TRUE(pumpUntil([this] { return !page().busy(); }));
    pumpEvents(20);
    EXPECT_EQ(page().state(), State::Ready);
    EXPECT_EQ(page().result(), nullptr);
    EXPECT_EQ(ui().scanButton->imageName(), "scanNom.png");
}

TEST_F(SystemBoostPageTest, ADeviceThatGoesAfterTheScanTakesItsResultsWithIt) {
    scan();
    row(BoostKind::DownloadTemp).button->click();
    library_->detach(demo_.string());
    ASSERT_TRUE(pumpUntil([this] { return page().result() == nullptr; }));
    EXPECT_EQ(page().state(), State::Ready);
    EXPECT_EQ(page().systemBoostcontroller()->rowCount(), 0);
    EXPECT_FALSE(ui().mainView->isHidden());
    EXPECT_EQ(ui().scanButton->imageName(), "scanNom.png");
}

}  // namespace
}  // namespace nimbara::test
