// The recovery export as the user meets it: nothing ticked, the save panel cancelled, a folder
// that is not empty, the progress sheet and its end (success revealed, failures listed), Escape
// while it runs, and the owner going while its worker still runs.
#include "browser/pages/recovery_export_sheet.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../app/app_test_support.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_photo_and_video_node.h"
#include "platform/worker_reaper.h"
#include "test_support.h"
#include "ui/alerts.h"
#include "ui/progress_view.h"
#include "ui/save_panel.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::browser;
using nimbara::Alerts;
using nimbara::test::readText;
using nimbara::test::TempDir;
using nimbara::test::writeText;

bool pumpUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 3000 && !condition(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    return condition();
}

class RecoveryExportSheetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(backup_);
        selection_.deviceName = QStringLiteral("Phone");
        selection_.backupFolder = QString::fromStdString(backup_.string());
    }

    // A ticked photo stored in the backup (or only named, when `bytes` is empty).
    void tickPhoto(const std::string& name, const std::string& bytes) {
        if (!bytes.empty()) {
            writeText(backup_ / name, bytes);
        }
        auto node = std::make_shared<PRPhotoAndVideoNode>();
        node->setFileNodeName(QString::fromStdString(name));
        node->setFilePath(QString::fromStdString((backup_ / name).string()));
        node->setBSelected(true);
        selection_.photoAndVideoArray.push_back(node);
    }

    QApplication& app_ = nimbara::test::ensureApplication();  // before the first widget
    TempDir tmp_;
    const fs::path backup_ = tmp_ / "backup";
    const fs::path chosen_ = tmp_ / "chosen";
    ExportSelection selection_;
    QWidget window_;
    std::vector<Alerts::Question> asked_;
    Alerts::Answer answer_ = Alerts::Answer::Default;
    Alerts::ScopedHandler alerts_{[this](QWidget*, const Alerts::Question& q) {
        asked_.push_back(q);
        return answer_;
    }};
    int panels_ = 0;
    std::optional<QString> choice_ = QString::fromStdString(chosen_.string());
    nimbara::ui::ScopedHandler<nimbara::ui::SavePanel::Handler> panel_{
        nimbara::ui::SavePanel::handler(),
        [this](QWidget*, const nimbara::ui::SavePanel::Request& request) {
            ++panels_;
            EXPECT_TRUE(request.proposedName.startsWith(QStringLiteral("Nimbara ")));
            return choice_;
        }};
    std::vector<QString> revealed_;
    nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> viewer_{
        nimbara::ui::FileViewer::handler(),
        [this](const QString& folder) { revealed_.push_back(folder); }};
};

TEST_F(RecoveryExportSheetTest, NothingTickedSaysSoAndAsksForNoFolder) {
    tickPhoto("a.jpg", "a");
    selection_.photoAndVideoArray[0]->setBSelected(false);
    RecoveryExport exporter;
    EXPECT_FALSE(exporter.startRecoveryExport(&window_, selection_));
    EXPECT_EQ(panels_, 0);
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_EQ(asked_[0].message, QStringLiteral("Please select the files you want to recover."));
    EXPECT_EQ(exporter.sheet(), nullptr);
    EXPECT_FALSE(fs::exists(chosen_));
}

TEST_F(RecoveryExportSheetTest, ACancelledPanelWritesNothing) {
    tickPhoto("a.jpg", "a");
    choice_.reset();
    RecoveryExport exporter;
    EXPECT_FALSE(exporter.startRecoveryExport(&window_, selection_));
    EXPECT_EQ(panels_, 1);
    EXPECT_FALSE(exporter.isRunning());
    EXPECT_EQ(exporter.sheet(), nullptr);
    EXPECT_FALSE(fs::exists(chosen_));
}

TEST_F(RecoveryExportSheetTest, AFolderThatIsNotEmptyIsOnlyUsedOnceConfirmed) {
    tickPhoto("a.jpg", "new");
    writeText(chosen_ / "a.jpg", "kept");
    RecoveryExport exporter;
    answer_ = Alerts::Answer::Alternate;
    EXPECT_FALSE(exporter.startRecoveryExport(&window_, selection_));
    ASSERT_EQ(asked_.size(), 1u);
    EXPECT_TRUE(asked_[0].message.contains(QStringLiteral("is not empty")));
    EXPECT_EQ(asked_[0].defaultButton, QStringLiteral("Export"));
    EXPECT_EQ(asked_[0].alternateButton, QStringLiteral("Cancel"));
    EXPECT_EQ(nimbara::test::folderNames(chosen_), std::vector<std::string>{"a.jpg"});

    answer_ = Alerts::Answer::Default;
    ASSERT_TRUE(exporter.startRecoveryExport(&window_, selection_));
    ASSERT_TRUE(pumpUntil([&] { return exporter.lastSummary().has_value(); }));
    EXPECT_EQ(readText(chosen_ / "a.jpg"), "kept");
    EXPECT_EQ(readText(chosen_ / "Photo&Video" / "a.jpg"), "new");
}

TEST_F(RecoveryExportSheetTest, ASuccessfulExportEndsAtAHundredAndShowsTheFolder) {
    tickPhoto("a.jpg", "a");
    tickPhoto("b.jpg", "b");
    auto contact = std::make_shared<PRContactNode>();
    contact->setContactName(QStringLiteral("Anna"));
    contact->setBSelected(true);
    selection_.contactArray = {contact};
    RecoveryExport exporter;
    ASSERT_TRUE(exporter.startRecoveryExport(&window_, selection_));
    EXPECT_TRUE(asked_.empty());  // a new folder: no question
    PRRecoveryExportSheet* sheet = exporter.sheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    ASSERT_TRUE(pumpUntil([&] { return exporter.lastSummary().has_value(); }));
    EXPECT_FALSE(exporter.isRunning());
    EXPECT_EQ(sheet->savepercentlab->text(), QStringLiteral("100%"));
    EXPECT_FLOAT_EQ(sheet->saveProgressor->value(), 1.0f);
    EXPECT_EQ(sheet->saveinfoTextlab->text(), QStringLiteral("3 items have been exported."));
    EXPECT_TRUE(sheet->failureList->isHidden());
    EXPECT_TRUE(sheet->stopBtn->isHidden());
    EXPECT_FALSE(sheet->doneBtn->isHidden());
    EXPECT_EQ(revealed_, std::vector<QString>{QString::fromStdString(chosen_.string())});
    EXPECT_TRUE(fs::is_regular_file(chosen_ / "Contact" / "Anna.vcf"));
    sheet->doneBtn->click();
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(RecoveryExportSheetTest, FailuresAreListedInsteadOfSuccess) {
    tickPhoto("there.jpg", "x");
    tickPhoto("missing.jpg", "");
    RecoveryExport exporter;
    ASSERT_TRUE(exporter.startRecoveryExport(&window_, selection_));
    ASSERT_TRUE(pumpUntil([&] { return exporter.lastSummary().has_value(); }));
    PRRecoveryExportSheet* sheet = exporter.sheet();
    EXPECT_EQ(sheet->saveinfoTextlab->text(), QStringLiteral("1 item could not be exported"));
    EXPECT_EQ(sheet->savepercentlab->text(), QStringLiteral("100%"));
    ASSERT_FALSE(sheet->failureList->isHidden());
    ASSERT_EQ(sheet->failureList->count(), 1);
    EXPECT_TRUE(sheet->failureList->item(0)->text().startsWith(
        QStringLiteral("Photo&Video/missing.jpg: ")));
    EXPECT_TRUE(revealed_.empty());
    // The one good copy and the six family lists, written empty.
    EXPECT_EQ(exporter.lastSummary()->written, 7u);
}

TEST_F(RecoveryExportSheetTest, EscapeWhileRunningStopsInsteadOfLeaving) {
    for (int i = 0; i < 300; ++i) {
        tickPhoto("p" + std::to_string(i) + ".jpg", std::string(64 * 1024, 'p'));
    }
    RecoveryExport exporter;
    ASSERT_TRUE(exporter.startRecoveryExport(&window_, selection_));
    PRRecoveryExportSheet* sheet = exporter.sheet();
    sheet->reject();
    EXPECT_TRUE(sheet->isVisible());  // it stays until the worker has ended
    ASSERT_TRUE(pumpUntil([&] { return exporter.lastSummary().has_value(); }));
    const RecoveryExportSummary& summary = *exporter.lastSummary();
    if (summary.stopped) {
        EXPECT_LT(summary.done, 300u);
        EXPECT_TRUE(
            sheet->saveinfoTextlab->text().startsWith(QStringLiteral("The export was stopped: ")));
    }
    sheet->reject();
    EXPECT_FALSE(sheet->isVisible());
}

TEST_F(RecoveryExportSheetTest, TheOwnerGoingLeavesTheWorkerToEndOnItsOwn) {
    for (int i = 0; i < 300; ++i) {
        tickPhoto("p" + std::to_string(i) + ".jpg", std::string(64 * 1024, 'p'));
    }
    const auto reapers = [] {
        int n = 0;
        for (QObject* child : QCoreApplication::instance()->children()) {
            n += dynamic_cast<nimbara::WorkerReaper*>(child) != nullptr;
        }
        return n;
    };
    const int before = reapers();
    auto exporter = std::make_unique<RecoveryExport>();
    ASSERT_TRUE(exporter->startRecoveryExport(&window_, selection_));
    QPointer<PRRecoveryExportSheet> sheet = exporter->sheet();
    exporter.reset();  // asks the worker to stop; never joins it here
    EXPECT_TRUE(sheet.isNull());
    // A worker still running was left to a reaper under the application, which lets it go once
    // it has ended; then nothing is left over.
    ASSERT_TRUE(pumpUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return reapers() == before;
    }));
    EXPECT_TRUE(revealed_.empty());
}

}  // namespace
