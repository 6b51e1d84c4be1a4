// The one-click copy page on the README's demo device, driven offscreen on a fake host: a
// whole run compared with the device, the start button pressed twice, the toggles and their
// images, an encrypted backup, a detach during a run and a reset by a device change.
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QUrl>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "backup_page_fixture.h"
#include "transfer/pages/pr_one_copy_view_controller.h"
#include "ui/flash_view.h"
#include "ui/image_button.h"
#include "ui/notification_buttons.h"
#include "ui/save_panel.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::OneCopyRow;
using State = PROneCopyViewController::State;

constexpr std::size_t kRows = transfer::kOneCopyRowCount;

std::set<std::string> namesIn(const fs::path& folder) {
    const std::vector<std::string> names = folderNames(folder);
    return {names.begin(), names.end()};
}

class OneCopyPageTest : public BackupToolPageTest {
  protected:
    void SetUp() override {
        BackupToolPageTest::SetUp();
        revealed_.emplace(ui::FileViewer::handler(),
                          [this](const QString& folder) { reveals_.push_back(folder); });
        container_ = std::make_unique<QWidget>();
        page_ = std::make_unique<PROneCopyViewController>(host_);
        page().setJobEndedCallback([this] { ++ended_; });
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        revealed_.reset();
        BackupToolPageTest::TearDown();
    }

    int attachDemo() {
        demo_ = tmp_ / "demo";
        const int index = attachDemoDevice(demo_);
        clickOneCopy();
        return index;
    }
    // The banner's tab, as the shell takes it: the page shows with the device on show.
    void clickOneCopy() {
        page().showView(container_.get());
        page().setCopyIndex(currentIndex());
    }
    PROneCopyViewController& page() { return *page_; }
    OneCopyUi& ui() { return page().copyUi(); }
    void clickStart() {
        NotificationCenter::defaultCenter().post("MyOneCopyButtonMouseDown",
                                                 static_cast<QObject*>(ui().startScanBtn));
    }
    bool waitEnded(int count = 1) {
        return pumpLong([&] { return ended_ >= count && !page().busy(); });
    }
    // An unlock notice is showing.
    static bool noticeUp() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("unlockNotice") && w->isVisible()) {
                return true;
            }
        }
        return false;
    }
    // Closes the unlock notice of a run's backup.
    void closeNotices() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == QLatin1String("unlockNotice")) {
                w->close();
            }
        }
    }
    bool anySpinnerShown() {
        for (const OneCopyRowUi& row : ui().rows) {
            if (shown(row.progress)) {
                return true;
            }
        }
        return shown(ui().theFalshView);
    }
    fs::path exports() const { return tmp_ / "home" / "Documents" / "Pellucor"; }
    fs::path media(const std::string& path) const { return demo_ / md::sim::kMediaDir / path; }

    // The device files a run copies straight into its folder: name and size.
    std::multiset<std::pair<std::string, std::uintmax_t>> expectedPhotos() const {
        std::multiset<std::pair<std::string, std::uintmax_t>> files;
        const auto add = [&](const fs::path& folder) {
            for (const auto& e : fs::directory_iterator(folder)) {
                if (e.is_regular_file()) {
                    files.insert({e.path().filename().string(), e.file_size()});
                }
            }
        };
        const auto folders = [&](const fs::path& root, const std::string& part) {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(root, ec)) {
                QString name = QString::fromStdString(e.path().filename().string());
                if (e.is_directory() &&
                    name.contains(QString::fromStdString(part), Qt::CaseInsensitive)) {
                    add(e.path());
                }
            }
        };
        folders(media("DCIM"), "APPLE");
        for (const auto& stream : fs::directory_iterator(media("PhotoStreamsData"))) {
            folders(stream.path(), "APPLE");
        }
        folders(media("PhotoData/Sync"), "SYNCD");
        folders(media("Photos/Sync"), "SYNCD");
        return files;
    }

    fs::path demo_;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PROneCopyViewController> page_;
    int ended_ = 0;
    std::vector<QString> reveals_;
    std::optional<ui::ScopedHandler<ui::FileViewer::Handler>> revealed_;
};

TEST_F(OneCopyPageTest, ACopyOfTheDemoDeviceHoldsWhatTheDeviceHolds) {
    ASSERT_GE(attachDemo(), 0);
    EXPECT_EQ(ui().startScanBtn->imageName(), "startNom.png");
    EXPECT_FALSE(anySpinnerShown());
    clickStart();
    ASSERT_EQ(page().state(), State::Running);
    EXPECT_EQ(ui().startScanBtn->imageName(), "startDown.png");
    EXPECT_TRUE(ui().theFalshView->isFlashing());
    for (const OneCopyRowUi& row : ui().rows) {
        EXPECT_TRUE(shown(row.progress));
    }
    clickStart();  // while running: nothing more
    // The unlock notice is up while the backup runs, before any record was read, and goes with
    // the backup: the finished page has none.
    bool noticeBeforeRecords = false;
    bool recordMarked = false;
    ASSERT_TRUE(pumpLong([&] {
        recordMarked = recordMarked || !shown(ui().row(OneCopyRow::Contacts).progress);
        noticeBeforeRecords = noticeBeforeRecords || (!recordMarked && noticeUp());
        return ended_ >= 1 && !page().busy();
    }));
    EXPECT_TRUE(noticeBeforeRecords);
    EXPECT_TRUE(pumpLong([&] { return !noticeUp(); }));
    EXPECT_EQ(ended_, 1);
    ASSERT_TRUE(page().lastReport());
    const transfer::OneCopyReport& report = *page().lastReport();
    ASSERT_EQ(report.status, transfer::OneCopyStatus::Finished) << report.message.toStdString();
    EXPECT_EQ(ui().startScanBtn->imageName(), "doneNom.png");
    EXPECT_FALSE(anySpinnerShown());
    // One track's file is not on the device: its row is marked failed, with the count and the
    // list; every other row is done.
    for (std::size_t i = 0; i < kRows; ++i) {
        const OneCopyRowUi& row = ui().rows[i];
        const bool music = static_cast<OneCopyRow>(i) == OneCopyRow::Music;
        EXPECT_EQ(shown(row.okMark), !music) << row.okMark->objectName().toStdString();
        EXPECT_EQ(shown(row.failMark), music);
        EXPECT_EQ(shown(row.failurelab), music);
    }
    const transfer::OneCopyRowEnd* music = report.rowEnd(OneCopyRow::Music);
    ASSERT_NE(music, nullptr);
    EXPECT_TRUE(music->ok);
    EXPECT_EQ(music->failures, 1u);
    EXPECT_TRUE(
        ui().row(OneCopyRow::Music)
            .failurelab->text()
            .startsWith(QStringLiteral("1 of %1 items could not be copied.").arg(music->items + 1)))
        << ui().row(OneCopyRow::Music).failurelab->text().toStdString();
    EXPECT_TRUE(page().statusText().contains(QLatin1String("1 item could not be copied")));
    QPointer<QWidget> list = page().showCopyFailures(OneCopyRow::Music);
    ASSERT_TRUE(list);
    const QString listed = static_cast<QMessageBox*>(list.data())->informativeText();
    EXPECT_TRUE(
        listed.contains(QLatin1String("Lost Tapes.m4a (/iTunes_Control/Music/F30/GONE.m4a): "
                                      "the device file could not be opened")))
        << listed.toStdString();
    delete list.data();
    EXPECT_EQ(page().showCopyFailures(OneCopyRow::Video), nullptr);
    EXPECT_TRUE(page().bBackup());
    // The run's own folder, and only it, is shown.
    ASSERT_EQ(reveals_.size(), 1u);
    EXPECT_EQ(reveals_[0].toStdString(), report.runFolder.string());
    EXPECT_EQ(report.runFolder.parent_path(), exports());
    const fs::path run = report.runFolder;

    // Photos: every file of the camera, stream and synced folders, byte counts alike.
    std::multiset<std::pair<std::string, std::uintmax_t>> copied;
    for (const auto& e : fs::directory_iterator(run)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && name.rfind("IMG_", 0) == 0) {
            copied.insert({name, e.file_size()});
        }
    }
    EXPECT_EQ(copied, expectedPhotos());
    // Tracks whose file is on the device, the hostile title kept inside the folder.
    EXPECT_TRUE(fs::exists(run / "Harbour Lights.m4a"));
    EXPECT_TRUE(fs::exists(run / "Paper Kites.mp3"));
    EXPECT_TRUE(fs::exists(run / "Trail Run (Director's Cut).m4v"));
    EXPECT_TRUE(fs::exists(run / "Summer Recital.mp4"));
    EXPECT_FALSE(fs::exists(run / "Lost Tapes.m4a"));
    bool barn = false;
    for (const std::string& name : namesIn(run)) {
        barn = barn || (name.find("Live at the Barn") != std::string::npos &&
                        name.find('/') == std::string::npos);
    }
    EXPECT_TRUE(barn);
    EXPECT_EQ(namesIn(exports()), std::set<std::string>{run.filename().string()});
    // Voice memos: the m4a files of the recordings, sizes alike.
    std::set<std::string> memos;
    for (const auto& e : fs::directory_iterator(media("Recordings"))) {
        const std::string name = e.path().filename().string();
        if (name.size() > 3 && name.substr(name.size() - 3) == "m4a") {
            memos.insert(name);
            EXPECT_EQ(fs::file_size(run / "Voice Memo" / name), e.file_size()) << name;
        }
    }
    EXPECT_EQ(namesIn(run / "Voice Memo"), memos);
    // Records: a card per contact, a page per conversation, the lists.
    EXPECT_GT(report.contacts, 0u);
    EXPECT_EQ(namesIn(run / "Contact").size(), report.contacts);
    EXPECT_GT(report.conversations, 0u);
    std::size_t pages = 0;
    std::size_t links = 0;
    for (const std::string& name : namesIn(run / "Message")) {
        if (name.size() <= 5 || name.substr(name.size() - 5) != ".html") {
            continue;
        }
        ++pages;
        // The pages link their attachments' copies beside them, never the backup.
        const QString page = QString::fromStdString(readText(run / "Message" / name));
        EXPECT_FALSE(page.contains(QLatin1String("file:"))) << name;
        EXPECT_FALSE(page.contains(QString::fromStdString(backupRoot().string()))) << name;
        static const QRegularExpression link(QStringLiteral("(?:src|href)='([^']+)'"));
        for (auto it = link.globalMatch(page); it.hasNext(); ++links) {
            const QString target = QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
            EXPECT_TRUE(fs::is_regular_file(run / "Message" / target.toStdString())) << name;
        }
    }
    EXPECT_EQ(pages, report.conversations);
    EXPECT_GE(links, 4u) << "the demo's conversations hold a picture, a card, a place, a movie";
    EXPECT_GT(fs::file_size(run / "Note" / "Notes.txt"), 0u);
    EXPECT_GT(fs::file_size(run / "BookMark" / "BookMark.txt"), 0u);
    EXPECT_GT(fs::file_size(run / "Calendar&Reminder" / "Calendar&Reminder.txt"), 0u);
    EXPECT_GT(fs::file_size(run / "CallLogs" / "Call History.txt"), 0u);

    // Finished: the button does nothing until the page is reset for a device.
    clickStart();
    pumpEvents(20);
    EXPECT_EQ(page().state(), State::Finished);
    EXPECT_FALSE(page().busy());
    EXPECT_EQ(namesIn(exports()).size(), 1u);
}

TEST_F(OneCopyPageTest, TogglesFlipFlagAndImageAndAResetTurnsBothBackOn) {
    ASSERT_GE(attachDemo(), 0);
    for (std::size_t i = 0; i < kRows; ++i) {
        EXPECT_EQ(ui().rows[i].checkBtn->imageName(), "button_off.png");
        EXPECT_TRUE(page().isCategoryChosen(static_cast<int>(i)));
    }
    ui().row(OneCopyRow::Music).checkBtn->click();
    page().NoteAction();
    EXPECT_FALSE(page().isOn(OneCopyRow::Music));
    EXPECT_EQ(ui().row(OneCopyRow::Music).checkBtn->imageName(), "button_on.png");
    EXPECT_FALSE(page().isOn(OneCopyRow::Notes));
    EXPECT_EQ(ui().row(OneCopyRow::Notes).checkBtn->imageName(), "button_on.png");
    page().NoteAction();
    EXPECT_TRUE(page().isOn(OneCopyRow::Notes));
    EXPECT_EQ(ui().row(OneCopyRow::Notes).checkBtn->imageName(), "button_off.png");
    page().initAllDataAndAllView();
    EXPECT_TRUE(page().isOn(OneCopyRow::Music));
    EXPECT_EQ(ui().row(OneCopyRow::Music).checkBtn->imageName(), "button_off.png");
}

TEST_F(OneCopyPageTest, ARowSwitchedOffKeepsItsSpinnerStillAndGetsNoMark) {
    ASSERT_GE(attachDemo(), 0);
    for (std::size_t i = 0; i < kRows; ++i) {
        ui().rows[i].checkBtn->click();  // everything off
    }
    page().VoiceMemoAction();  // only the voice memos on
    clickStart();
    EXPECT_TRUE(shown(ui().row(OneCopyRow::VoiceMemos).progress));
    EXPECT_FALSE(shown(ui().row(OneCopyRow::CameraRoll).progress));
    ASSERT_TRUE(waitEnded());
    closeNotices();
    EXPECT_TRUE(shown(ui().row(OneCopyRow::VoiceMemos).okMark));
    EXPECT_FALSE(shown(ui().row(OneCopyRow::CameraRoll).okMark));
    const fs::path run = page().lastReport()->runFolder;
    EXPECT_EQ(namesIn(run), std::set<std::string>{"Voice Memo"});
}

TEST_F(OneCopyPageTest, AnEncryptedBackupShowsTheNoticeAtTheEnd) {
    const std::string udid = "0000000000000000000000000000000000000e2c";
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupEncrypted] = true;
    const int index = attach(makeBackupDevice(udid, "Locked Phone", faults));
    ASSERT_GE(index, 0);
    clickOneCopy();
    std::vector<Alerts::Question> asked;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return Alerts::Answer::Default;
    });
    clickStart();
    ASSERT_TRUE(waitEnded());
    closeNotices();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message, PROneCopyViewController::encryptedMessage());
    EXPECT_EQ(asked[0].informativeText, PROneCopyViewController::encryptedInformative());
    EXPECT_EQ(asked[0].defaultButton, QStringLiteral(" Ok "));
    EXPECT_TRUE(page().bEncypted());
    EXPECT_EQ(page().lastReport()->contacts, 0u);
    EXPECT_TRUE(shown(ui().row(OneCopyRow::Contacts).failMark));
    EXPECT_TRUE(shown(ui().row(OneCopyRow::CameraRoll).okMark));
    EXPECT_FALSE(anySpinnerShown());
}

TEST_F(OneCopyPageTest, AFailingBackupMarksTheRecordRowsFailedAndSaysSo) {
    const std::string udid = "0000000000000000000000000000000000000bad";
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupError] = "no space left";
    const int index = attach(makeBackupDevice(udid, "Full Phone", faults));
    ASSERT_GE(index, 0);
    clickOneCopy();
    clickStart();
    ASSERT_TRUE(waitEnded());
    closeNotices();
    EXPECT_FALSE(anySpinnerShown());
    for (const OneCopyRow row :
         {OneCopyRow::Contacts, OneCopyRow::Messages, OneCopyRow::Notes, OneCopyRow::Bookmarks,
          OneCopyRow::Calendar, OneCopyRow::CallLogs}) {
        EXPECT_TRUE(shown(ui().row(row).failMark));
        EXPECT_FALSE(shown(ui().row(row).okMark));
    }
    EXPECT_TRUE(shown(ui().row(OneCopyRow::CameraRoll).okMark));
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("failed")))
        << page().statusText().toStdString();
}

TEST_F(OneCopyPageTest, ADetachDuringARunEndsItWithAMessageAndNoSpinner) {
    const std::string udid = "0000000000000000000000000000000000000d7a";
    const int index = attach(makeBackupDevice(udid, "Leaving Phone", waitingFaults()));
    ASSERT_GE(index, 0);
    clickOneCopy();
    clickStart();
    ASSERT_TRUE(waitUntilToolHolds(udid));
    closeNotices();
    ASSERT_TRUE(detach(udid));
    ASSERT_TRUE(pumpLong([&] { return page().state() == State::Finished; }));
    EXPECT_FALSE(anySpinnerShown());
    EXPECT_FALSE(page().statusText().isEmpty());
    release(udid);
    ASSERT_TRUE(pumpLong([&] { return page().workersEnding() == 0; }));
}

TEST_F(OneCopyPageTest, ADeviceChangeResetsThePageAndDropsTheOldRun) {
    const std::string udid = "0000000000000000000000000000000000000c4a";
    const int index = attach(makeBackupDevice(udid, "Old Phone", waitingFaults()));
    ASSERT_GE(index, 0);
    clickOneCopy();
    page().MusicAction();
    clickStart();
    ASSERT_TRUE(waitUntilToolHolds(udid));
    closeNotices();
    page().deviceChanged(host_.currentDeviceTarget());
    EXPECT_EQ(page().copyIndex(), index);
    EXPECT_EQ(page().state(), State::Idle);
    EXPECT_FALSE(anySpinnerShown());
    EXPECT_TRUE(page().isOn(OneCopyRow::Music));
    EXPECT_EQ(ui().startScanBtn->imageName(), "startNom.png");
    release(udid);
    ASSERT_TRUE(pumpLong([&] { return page().workersEnding() == 0; }));
    pumpEvents(20);
    // Nothing the old run still had to say reaches the page.
    EXPECT_EQ(ended_, 0);
    EXPECT_FALSE(page().lastReport());
    for (const OneCopyRowUi& row : ui().rows) {
        EXPECT_FALSE(shown(row.okMark));
        EXPECT_FALSE(shown(row.failMark));
    }
    EXPECT_TRUE(reveals_.empty());
}

}  // namespace
}  // namespace nimbara::test
