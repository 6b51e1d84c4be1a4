// The backup browser opened from the sidebar: local backups are listed, the first is scanned and
// its contacts reach the result page; without a backup the page says so.
#include <QComboBox>
#include <QLabel>
#include <QStackedLayout>
#include <QTableWidget>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/alerts.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pr_ios_device_node.h"
#include "backup_writer.h"
#include "browser/pages/pr_result_view_controller.h"
#include "delegate_fixture.h"

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
    EXPECT_EQ(page->backupPopBtn->count(), 1);
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
    const int contacts = static_cast<int>(page->contactArray().size());
    EXPECT_GT(contacts, 0);
    EXPECT_EQ(page->contactTable->rowCount(), contacts);
    EXPECT_EQ(page->contactNumlab->text(), QStringLiteral("Contacts:  %1").arg(contacts));
    EXPECT_EQ(page->backupNameInfolab->text(),
              QStringLiteral("Name: %1").arg(node->strDeviceName()));
    EXPECT_GE(page->BackUpFilesNum(), contacts);

    // Opening the browser again rescans from scratch: nothing is counted twice.
    hub().ClickScaniTunesBackup(nullptr);
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);
    EXPECT_EQ(hub().GetresultViewController(), page);
    EXPECT_EQ(static_cast<int>(page->contactArray().size()), contacts);
    EXPECT_EQ(page->contactTable->rowCount(), contacts);
}

TEST_F(BackupBrowserTest, AnEmptyBackupRootShowsTheEmptyView) {
    hub().ClickScaniTunesBackup(nullptr);
    EXPECT_EQ(hub().GetPRIOSDeviceController()->rowCount(), 0);
    EXPECT_EQ(hub().currentNode(), nullptr);
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(showsWidget(*page, page->emptyView));
    EXPECT_TRUE(
        page->emptyTextlab->text().startsWith(QStringLiteral("No backups have been found.")));
    EXPECT_FALSE(page->isScanning());
    EXPECT_TRUE(page->contactArray().empty());
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
    Alerts::ScopedHandler record([&alerts](QWidget*, const Alerts::Question& q) {
        alerts.push_back(q.message);
        return Alerts::Answer::Default;
    });
    hub().ClickScaniTunesBackup(nullptr);
    PRResultViewController* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return page->scanFinished() && !page->isScanning(); }));
    pumpEvents(5);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts.front(), QStringLiteral("Part of this backup could not be read."));
    EXPECT_TRUE(page->backupPopBtn->isEnabled());
}

}  // namespace
}  // namespace nimbara::test
