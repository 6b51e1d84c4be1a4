// The result page's conversation notices on the demo backup: the line that tells where the
// picture of a conversation went goes with the conversation and the view it was saved from, and
// the count above the conversations says what a search shows.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>

#include <functional>
#include <memory>

#include "../app/app_test_support.h"
#include "backup/backup_list.h"
#include "backup_writer.h"
#include "browser/pages/pr_result_view_controller.h"
#include "event_loop.h"
#include "fake_page_host.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/alerts.h"
#include "ui/save_panel.h"

namespace {

namespace fs = std::filesystem;

using nimbara::test::pumpUntil;

// One scan of the demo backup for every test, on the conversations.
class ResultPageNoticesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        nimbara::test::ensureApplication();
        // What a scan tells the user is answered, never left waiting.
        alerts_ =
            new nimbara::Alerts::ScopedHandler([](QWidget*, const nimbara::Alerts::Question&) {
                return nimbara::Alerts::Answer::Alternate;
            });
        tmp_ = new nimbara::test::TempDir;
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(*tmp_ / "demo", &error)) << error;
        const auto backup = nimbara::simdev::writeBackup(*tmp_ / "demo", *tmp_ / "backups", {});
        ASSERT_TRUE(backup.ok) << backup.error;
        window_ = new QWidget;
        window_->resize(1000, 640);
        host_ = new nimbara::test::FakePageHost;
        page_ = new PRResultViewController(*host_);
        page_->showView(window_);
        window_->show();
        const fs::path desktop = *tmp_ / "Desktop";
        page_->setDesktopFolderProvider([desktop] { return QString::fromStdString(desktop); });
        const auto read = nimbara::backup::readBackupFolder(QString::fromStdString(backup.folder));
        ASSERT_TRUE(read) << read.sentence().toStdString();
        backup_ = read.value();
        page_->scanBackup(backup_, 0);
        ASSERT_TRUE(pumpUntil([] { return page_->scanFinished(); }, 15000));
    }
    static void TearDownTestSuite() {
        delete page_;
        delete host_;
        delete window_;
        delete tmp_;
        delete alerts_;
        backup_.reset();
    }
    void SetUp() override {
        ASSERT_NE(page_, nullptr);
        ASSERT_TRUE(page_->scanFinished());
        page_->categoryList->setCurrentRow(PRResultViewController::kMessages);
    }

    static PRResultViewController& page() { return *page_; }
    // The backup scanned.
    static inline std::shared_ptr<PRIOSDeviceNode> backup_;

  private:
    static inline nimbara::test::TempDir* tmp_ = nullptr;
    static inline nimbara::Alerts::ScopedHandler* alerts_ = nullptr;
    static inline QWidget* window_ = nullptr;
    static inline nimbara::test::FakePageHost* host_ = nullptr;
    static inline PRResultViewController* page_ = nullptr;
};

TEST_F(ResultPageNoticesTest, ThePictureSavedNoticeGoesWithItsConversationAndItsView) {
    nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
        nimbara::ui::FileViewer::handler(), [](const QString&) {});
    const struct {
        const char* what;
        std::function<void(PRResultViewController&)> act;
        bool kept;
    } rows[] = {
        {"nothing done", [](PRResultViewController&) {}, true},
        {"the same conversation chosen again",
         [](PRResultViewController& p) { p.messageTreeTableView->selectRow(0); }, true},
        {"the window minimised and back",
         [](PRResultViewController& p) {
             p.view()->window()->showMinimized();
             p.view()->window()->showNormal();
         },
         true},
        {"another conversation",
         [](PRResultViewController& p) { p.messageTreeTableView->selectRow(1); }, false},
        {"another category and back",
         [](PRResultViewController& p) {
             p.categoryList->setCurrentRow(PRResultViewController::kContacts);
             p.categoryList->setCurrentRow(PRResultViewController::kMessages);
             p.messageTreeTableView->selectRow(0);
         },
         false},
        {"the backup scanned again",
         [](PRResultViewController& p) {
             p.scanBackup(backup_, 0);
             ASSERT_TRUE(pumpUntil([&p] { return p.scanFinished(); }, 15000));
             p.categoryList->setCurrentRow(PRResultViewController::kMessages);
         },
         false},
        {"another page and back",
         [](PRResultViewController& p) {
             p.view()->hide();
             p.view()->show();
         },
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        page().messageTreeTableView->selectRow(0);
        page().exportBtn->click();
        ASSERT_TRUE(pumpUntil([] { return !page().exportingPicture(); }, 15000));
        ASSERT_TRUE(page().exportInfolab->text().startsWith(QLatin1String("The picture was saved")))
            << page().exportInfolab->text().toStdString();
        row.act(page());
        QCoreApplication::processEvents();
        EXPECT_EQ(page().exportInfolab->isVisibleTo(page().view()), row.kept);
        EXPECT_EQ(page().exportInfolab->text().isEmpty(), !row.kept);
    }
}

TEST_F(ResultPageNoticesTest, TheConversationCountSaysWhatTheSearchShows) {
    const QString all = QStringLiteral("10 conversations, 23 messages");
    const struct {
        const char* what;
        const char* typed;
        bool deletedOnly;
        const char* count;  // null: every conversation's
    } rows[] = {
        {"no search", "", false, nullptr},
        {"a name", "MOM", false, "2 conversations, 5 messages"},
        {"a name among the deleted", "MOM", true, "1 conversation, 1 message"},
        {"nothing found", "no such name", false, "No messages"},
        {"blanks only", "   ", false, nullptr},
        {"cleared", "", false, nullptr},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (page().checkBtn->isChecked() != row.deletedOnly) {
            page().checkBtn->click();
        }
        page().searchlab->setText(QString::fromLatin1(row.typed));
        EXPECT_EQ(page().messageTreeCountlab->text().toStdString(),
                  row.count != nullptr ? row.count : all.toStdString());
    }
    // Another category takes the search away, and the count back to every conversation's.
    page().searchlab->setText(QStringLiteral("MOM"));
    page().categoryList->setCurrentRow(PRResultViewController::kContacts);
    EXPECT_EQ(page().messageTreeCountlab->text().toStdString(), all.toStdString());
}

}  // namespace
