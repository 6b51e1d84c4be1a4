// The backup page on the hub, with the real backup tool: its three states, a finished view that
// tells a failure as a failure, a result that names the device it was made of, and a running
// backup that ends with the page, and another folder checked while the window goes on.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedLayout>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "backup/backup_list.h"
#include "backup/pages/backup_view_ui.h"
#include "backup/pages/pr_back_up_view_controller.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "backup/pages/unlock_notice.h"
#include "backup_run_fixture.h"
#include "fake_page_host.h"
#include "ui/alerts.h"
#include "ui/flash_view.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using State = PRBackUpViewController::State;

constexpr const char* kPhone = "3c2b1a0f9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c4b";
constexpr const char* kTablet = "77aa66bb55cc44dd33ee22ff1100aa99bb88cc77";

class BackupPageTest : public BackupRunTest {
  protected:
    PRBackUpViewController& page() { return *hub().GetBackupDeviceController(); }
    const BackupViewUi& pageUi() { return *page().ui(); }

    // The sidebar's backup entry, then the page's button.
    void pressBackup() {
        hub().ClickBackupAction(nullptr);
        pageUi().backupBtn->click();
    }
    bool finished() {
        return pumpLong([&] { return page().state() == State::Finished; });
    }
    // The page's visible texts, to make sure of what is never said.
    std::string shownTexts() {
        return (pageUi().backupfinishlab->text() + "\n" + pageUi().backupDetaillab->text())
            .toStdString();
    }
    // Only the view of `state` is shown.
    void expectOnly(State state) {
        EXPECT_EQ(page().state(), state);
        EXPECT_EQ(shown(pageUi().startBackupView), state == State::Ready);
        EXPECT_EQ(shown(pageUi().BackupingView), state == State::BackingUp);
        EXPECT_EQ(shown(pageUi().finishBackupView), state == State::Finished);
        EXPECT_EQ(pageUi().backupProgresser->isFlashing(), state == State::BackingUp);
    }
};

TEST_F(BackupPageTest, TheSidebarEntryShowsTheReadyState) {
    hub().ClickBackupAction(nullptr);
    EXPECT_TRUE(shown(ui().BackupView));
    EXPECT_FALSE(page().isShowingNotAvailable());
    EXPECT_TRUE(page().isMainViewShown());
    expectOnly(State::Ready);
    EXPECT_EQ(page().backupLocationText().toStdString(), backupRoot().string());
    EXPECT_FALSE(pageUi().backupLocationlab->isEnabled());
    EXPECT_TRUE(pageUi().defaultLocationBtn->isChecked());
}

TEST_F(BackupPageTest, ABackupGoesFromBackingUpToFinished) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Ann's Phone", waitingFaults())), 0);
    pressBackup();
    // The button returned while the tool waits: the page shows the run going.
    ASSERT_TRUE(waitUntilToolHolds(kPhone));
    expectOnly(State::BackingUp);
    EXPECT_EQ(pageUi().backingUplab->text(), "Backing up \"Ann's Phone\"...");
    EXPECT_TRUE(spoken().empty());

    release(kPhone);
    ASSERT_TRUE(finished());
    expectOnly(State::Finished);
    EXPECT_EQ(pageUi().backupfinishlab->text(),
              "The backup of \"Ann's Phone\" has been completed.");
    EXPECT_EQ(pageUi().backupDetaillab->text().toStdString(),
              "It is kept in " + backupOf(kPhone).string() + ".");
    EXPECT_EQ(spoken(), std::vector<QString>{"The Backup operation has been completed"});
    const auto listed = backup::listLocalBackups(QString::fromStdString(backupRoot().string()));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0]->strDeviceName(), "Ann's Phone");

    // The finished view stays until the page is shown again.
    pumpEvents(5);
    expectOnly(State::Finished);
    hub().ClickBackupAction(nullptr);
    expectOnly(State::Ready);
}

TEST_F(BackupPageTest, AFailedBackupIsNeverCalledCompleted) {
    // Without a device.
    pressBackup();
    ASSERT_TRUE(finished());
    EXPECT_EQ(pageUi().backupfinishlab->text(), "The backup has failed.");
    EXPECT_EQ(pageUi().backupDetaillab->text(),
              "No device is connected. Connect the device and try again.");
    EXPECT_EQ(shownTexts().find("completed"), std::string::npos);

    // The tool fails.
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupError] = "The device is locked with a passcode.";
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone", faults)), 0);
    pressBackup();
    ASSERT_TRUE(finished());
    EXPECT_EQ(pageUi().backupfinishlab->text(), "The backup of \"Phone\" has failed.");
    EXPECT_EQ(pageUi().backupDetaillab->text(), "The device is locked with a passcode.");
    EXPECT_EQ(shownTexts().find("completed"), std::string::npos);
    EXPECT_EQ(spoken(), (std::vector<QString>{"The Backup operation has failed",
                                              "The Backup operation has failed"}));
    EXPECT_FALSE(fs::exists(backupOf(kPhone)));
}

TEST_F(BackupPageTest, TheOtherFolderGetsTheBackupAndTheBrowserListsIt) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone")), 0);
    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    hub().ClickBackupAction(nullptr);
    pageUi().otherLocationBtn->click();
    EXPECT_TRUE(pageUi().backupLocationlab->isEnabled());
    // A folder that can't take the backup is refused before anything starts.
    pageUi().backupLocationlab->setText(QStringLiteral("backups/here"));
    pageUi().backupBtn->click();
    ASSERT_TRUE(pumpLong([&] { return !page().isCheckingLocation(); }));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].informativeText.contains("is not a full path"));
    expectOnly(State::Ready);
    EXPECT_FALSE(page().isRunning());

    const fs::path elsewhere = tmp_ / "elsewhere" / "made";
    pageUi().backupLocationlab->setText(QString::fromStdString(elsewhere.string()));
    pageUi().backupBtn->click();
    ASSERT_TRUE(finished());
    ASSERT_TRUE(page().lastResult()->ok());
    EXPECT_EQ(pageUi().backupDetaillab->text().toStdString(),
              "It is kept in " + (elsewhere / kPhone).string() + ".");
    EXPECT_TRUE(backup::readBackupFolder(QString::fromStdString((elsewhere / kPhone).string())));
    EXPECT_FALSE(fs::exists(backupRoot()));
    // The finished view's button opens the browser, which lists it.
    pageUi().broswerBackupBtn->click();
    const PRIOSDeviceController* listed = hub().localBackups();
    ASSERT_TRUE(pumpLong([&] { return !listed->isLoading(); }));
    ASSERT_EQ(listed->content().size(), 1u);
    EXPECT_EQ(listed->nodeAt(0)->backUpFilePath().toStdString(), (elsewhere / kPhone).string());
}

TEST_F(BackupPageTest, AnotherFolderIsCheckedWhileTheWindowGoesOn) {
    // The check waits at a gate, as on a hung mount; a closed gate gives way by itself after a
    // while, so a check made on the GUI thread fails the test instead of hanging it.
    std::promise<std::thread::id> checking;  // set twice (a second check) it throws
    std::promise<void> open;
    const std::shared_future<void> opened = open.get_future().share();
    std::atomic<bool> gaveWay{false};
    FakePageHost host;
    QWidget container;
    PRBackUpViewController standalone(host);
    standalone.setLocationCheck([&](const QString&, const QString&) {
        checking.set_value(std::this_thread::get_id());
        gaveWay = opened.wait_for(std::chrono::seconds(3)) == std::future_status::timeout;
        return backup::BackupLocationCheck{{}, QStringLiteral("Refused.")};
    });
    std::vector<QString> told;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
        told.push_back(q.informativeText);
        return Alerts::Answer::Default;
    });
    standalone.showView(&container);
    standalone.ui()->otherLocationBtn->click();
    standalone.ui()->backupBtn->click();
    std::future<std::thread::id> checker = checking.get_future();
    ASSERT_EQ(checker.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(standalone.ui()->backupBtn->isEnabled());
    EXPECT_FALSE(standalone.ui()->locationChecklab->isHidden());
    standalone.BackupAction(nullptr);  // pressed again meanwhile: still one check
    bool turned = false;
    QTimer::singleShot(0, &container, [&turned] { turned = true; });
    EXPECT_TRUE(pumpUntil([&] { return turned; }));
    open.set_value();
    ASSERT_TRUE(pumpLong([&] { return !standalone.isCheckingLocation(); }));
    EXPECT_FALSE(gaveWay);
    EXPECT_NE(checker.get(), std::this_thread::get_id());
    EXPECT_EQ(told, std::vector<QString>{"Refused."});
    EXPECT_TRUE(standalone.ui()->backupBtn->isEnabled());
    EXPECT_TRUE(standalone.ui()->locationChecklab->isHidden());
    EXPECT_EQ(standalone.state(), State::Ready);
}

TEST_F(BackupPageTest, ARunningBackupStaysOnShowAndRunsOnce) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone", waitingFaults())), 0);
    pressBackup();
    ASSERT_TRUE(waitUntilToolHolds(kPhone));
    // Another press, and showing the page again, leave the one run going.
    page().BackupAction(nullptr);
    hub().ClickMainStatu(nullptr);
    hub().ClickBackupAction(nullptr);
    expectOnly(State::BackingUp);
    release(kPhone);
    ASSERT_TRUE(finished());
    pumpEvents(20);
    EXPECT_EQ(spoken().size(), 1u);
    EXPECT_TRUE(page().lastResult()->ok());
}

TEST_F(BackupPageTest, AResultNamesTheDeviceItWasMadeOf) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone", waitingFaults())), 0);
    const int tablet = attach(makeBackupDevice(kTablet, "Tablet"));
    ASSERT_GE(tablet, 0);
    ASSERT_EQ(hub().currentIDevicenode()->udidNumber(), kPhone);
    pressBackup();
    ASSERT_TRUE(waitUntilToolHolds(kPhone));
    hub().ChangeToAnotherDevice(tablet);
    ASSERT_EQ(hub().currentIDevicenode()->udidNumber(), kTablet);
    hub().ClickBackupAction(nullptr);
    release(kPhone);
    ASSERT_TRUE(finished());

    ASSERT_TRUE(page().lastResult());
    EXPECT_EQ(page().lastResult()->device.udid, kPhone);
    EXPECT_EQ(pageUi().backupfinishlab->text(), "The backup of \"Phone\" has been completed.");
    EXPECT_TRUE(fs::is_directory(backupOf(kPhone)));
    EXPECT_FALSE(fs::exists(backupOf(kTablet)));
}

TEST_F(BackupPageTest, ARunningBackupEndsWithThePage) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone", waitingFaults())), 0);
    pressBackup();
    ASSERT_TRUE(waitUntilToolHolds(kPhone));
    // The program ends with the backup running: the tool is ended with it, not left behind.
    delegate_.reset();
    EXPECT_TRUE(toolFree(kPhone));
    EXPECT_TRUE(spoken().empty());
    EXPECT_FALSE(fs::exists(backupOf(kPhone)));
    EXPECT_TRUE(!fs::exists(backupRoot()) || folderNames(backupRoot()).empty());
}

TEST_F(BackupPageTest, TheFinishedViewOpensTheBackupBrowser) {
    ASSERT_GE(attach(makeBackupDevice(kPhone, "Phone")), 0);
    pressBackup();
    ASSERT_TRUE(finished());
    pageUi().broswerBackupBtn->click();
    EXPECT_TRUE(shown(ui().iTunesBackupBroswerView));
    EXPECT_FALSE(shown(ui().BackupView));
}

TEST_F(BackupPageTest, TheUnlockNoticeIsShownWithoutWaitingForTheUser) {
    QMessageBox* box = backup::EnteriPhonePassCodetoUnlockScreen(ui().window);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), backup::unlockNoticeText());
    EXPECT_TRUE(box->informativeText().isEmpty());
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), " Ok ");
    QPointer<QMessageBox> guard(box);
    box->buttons().front()->click();
    EXPECT_FALSE(box->isVisible());
    pumpLong([&] { return guard.isNull(); });
    EXPECT_TRUE(guard.isNull());
}

}  // namespace
}  // namespace nimbara::test
