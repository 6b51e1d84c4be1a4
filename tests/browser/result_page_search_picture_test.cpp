// The result page on the demo backup: the search field narrows the shown category as it is typed
// and is cleared by another category; the conversation on show is saved as a PNG picture on the
// Desktop, the folder revealed, and a failure is told on the page.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QThread>

#include <functional>
#include <vector>

#include "../app/app_test_support.h"
#include "backup/backup_list.h"
#include "backup_writer.h"
#include "browser/conversation_picture.h"
#include "browser/pages/pr_result_view_controller.h"
#include "fake_page_host.h"
#include "sim_device_builder.h"
#include "test_support.h"
#include "ui/chat_column_view.h"
#include "ui/save_panel.h"

namespace {

namespace fs = std::filesystem;

bool pumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 10000 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return done();
}

TEST(ResultPageSearchPictureTest, SearchNarrowsAsTypedAndThePictureIsSavedOrTheFailureTold) {
    nimbara::test::ensureApplication();
    nimbara::test::TempDir tmp;
    std::string error;
    ASSERT_TRUE(nimbara::simdev::makeDemoDevice(tmp / "demo", &error)) << error;
    const auto backup = nimbara::simdev::writeBackup(tmp / "demo", tmp / "backups", {});
    ASSERT_TRUE(backup.ok) << backup.error;
    QWidget window;
    window.resize(1000, 640);
    nimbara::test::FakePageHost host;
    PRResultViewController page(host);
    page.showView(&window);
    window.show();
    fs::path desktop = tmp / "Desktop";
    fs::create_directories(desktop);
    page.setDesktopFolderProvider([&] { return QString::fromStdString(desktop.string()); });
    std::vector<QString> revealed;
    nimbara::ui::ScopedHandler<nimbara::ui::FileViewer::Handler> reveal(
        nimbara::ui::FileViewer::handler(), [&](const QString& f) { revealed.push_back(f); });
    const auto read = nimbara::backup::readBackupFolder(QString::fromStdString(backup.folder));
    ASSERT_TRUE(read) << read.sentence().toStdString();
    page.scanBackup(read.value(), 0);
    ASSERT_TRUE(pumpUntil([&] { return page.scanFinished(); }));

    EXPECT_FALSE(page.searchlab->isEnabled()) << "the backup's files are not searched";
    page.categoryList->setCurrentRow(PRResultViewController::kMessages);
    ASSERT_TRUE(page.searchlab->isEnabled());
    // Mom's live conversation, and one of a deleted message from her number written otherwise.
    page.searchlab->setText(QStringLiteral("MOM"));
    EXPECT_EQ(page.messageTreeTableView->model()->rowCount(), 2);
    page.checkBtn->click();  // the search finds among the deleted ones only
    EXPECT_EQ(page.messageTreeTableView->model()->rowCount(), 1);
    page.checkBtn->click();
    page.searchlab->setText(QStringLiteral("no such name"));
    EXPECT_EQ(page.messageTreeTableView->model()->rowCount(), 0);
    EXPECT_FALSE(page.exportBtn->isEnabled()) << "no conversation on show";
    page.searchlab->setText(QStringLiteral("MOM"));
    // The live conversation is the long one.
    for (int row = 0; row < 2; ++row) {
        page.messageTreeTableView->selectRow(row);
        if (page.messageTreeScrollView->documentView()->height() >
            page.messageTreeScrollView->viewport()->height()) {
            break;
        }
    }
    ASSERT_EQ(page.currentMessageTreeNode()->messageTreeNodeName(), QStringLiteral("Mom"));
    const QSize column = page.messageTreeScrollView->documentView()->size();
    ASSERT_GT(column.height(), page.messageTreeScrollView->viewport()->height());

    for (const bool writable : {true, false}) {
        if (!writable) {
            // A Desktop that is a file can't be made into a folder.
            desktop = tmp / "desktop-file";
            nimbara::test::writeText(desktop, "x");
        }
        page.exportBtn->click();
        EXPECT_FALSE(page.exportBtn->isEnabled()) << "one picture at a time";
        ASSERT_TRUE(pumpUntil([&] { return !page.exportingPicture(); }));
        EXPECT_EQ(page.exportInfolab->text().startsWith(QLatin1String("The picture was saved")),
                  writable)
            << page.exportInfolab->text().toStdString();
    }
    const fs::path file = tmp / "Desktop" / "Ozzaro" / "Mom_MessageImage.png";
    EXPECT_TRUE(
        nimbara::browser::isPngData(QByteArray::fromStdString(nimbara::test::readText(file))));
    EXPECT_EQ(QImage(QString::fromStdString(file.string())).size(), column)
        << "the whole column, also what is out of sight";
    EXPECT_EQ(revealed, std::vector{QString::fromStdString(file.parent_path().string())});

    // Another category clears the search; the conversations come back whole.
    page.categoryList->setCurrentRow(PRResultViewController::kContacts);
    EXPECT_TRUE(page.searchlab->text().isEmpty());
    page.categoryList->setCurrentRow(PRResultViewController::kMessages);
    EXPECT_EQ(page.messageTreeTableView->model()->rowCount(), 10);
}

}  // namespace
