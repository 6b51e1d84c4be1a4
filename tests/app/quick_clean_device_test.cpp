// The quick clean-up acts on the device that was scanned and nothing else: a device switch or a
// detach takes the results off the window, the ticks are those of the confirmation, and the
// status figures come from the device afterwards.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>

#include <string>
#include <vector>

#include "app/core/camera_item.h"
#include "app/main_window_ui.h"
#include "quick_scan_window_fixture.h"
#include "ui/alerts.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

// Every file and app the fixture's device is written with.
const std::vector<std::string> kMediaFiles = {
    "/Downloads/a.tmp",        "/Downloads/sub/b.tmp",        "/Downloads/downloads.28.sqlitedb",
    "/Books/aaa-handbook.pdf", "/Recordings/zzz-meeting.m4a", "/PhotoData/Photos.sqlite",
};

class QuickCleanDeviceTest : public QuickScanWindowTest {
  protected:
    // Device A ("scan-phone", current and scanned) and device B ("other-phone"), both attached.
    void attachTwoDevices() {
        attachDevice();
        a_ = *device_;
        aIndex_ = hub().theDevice();
        bIndex_ = attach(writeDevice("other-phone"));
        b_ = *device_;
        ASSERT_GE(bIndex_, 0);
        ASSERT_TRUE(pumpUntil([&] { return hub().getDeviceArray().size() == 2; }));
        ASSERT_EQ(hub().theDevice(), aIndex_);
    }

    void choosePopupDevice(int deviceIndex) {
        QComboBox* popup = ui().deviceNamePopBtn;
        const int position = popup->findData(deviceIndex);
        ASSERT_GE(position, 0);
        popup->setCurrentIndex(position);
        emit popup->activated(position);
    }

    static void expectUntouched(const simdev::SimDeviceBuilder& device) {
        for (const std::string& path : kMediaFiles) {
            EXPECT_TRUE(fs::exists(device.mediaPath(path))) << path;
        }
        EXPECT_TRUE(fs::exists(device.appPath("com.example.bigapp")));
    }

    void expectWindowAtItsStart() {
        EXPECT_TRUE(barShown(quick().scanButtonBottomView));
        EXPECT_FALSE(barShown(quick().cleanupBottomView));
        EXPECT_EQ(hub().quickResultDeviceIndex(), -1);
        EXPECT_EQ(hub().bigFileController()->rowCount(), 0);
        EXPECT_EQ(hub().bigAppController()->rowCount(), 0);
        EXPECT_TRUE(hub().userDataBigFileArray().empty());
        EXPECT_EQ(quick().deviceJunklab->text(), "Unkown");
    }

    // Presses Clean Up and answers every question with its default button; the questions asked.
    std::vector<Alerts::Question> pressCleanUp() {
        std::vector<Alerts::Question> asked;
        Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& q) {
            asked.push_back(q);
            return Alerts::Answer::Default;
        });
        hub().QuickCleanUpDeviceAction();
        pumpUntil([&] { return !hub().quickScanWorkerRunning(); });
        pumpEvents(10);
        return asked;
    }

    std::optional<simdev::SimDeviceBuilder> a_;
    std::optional<simdev::SimDeviceBuilder> b_;
    int aIndex_ = -1;
    int bIndex_ = -1;
};

TEST_F(QuickCleanDeviceTest, ResultsOfOneDeviceNeverCleanAnotherAfterASwitchOrADetach) {
    attachTwoDevices();
    scanThroughButton();
    EXPECT_EQ(hub().quickResultDeviceIndex(), aIndex_);
    EXPECT_NE(hub().quickResultDeviceSerial(), 0u);

    // Switching to B takes A's results off the window.
    choosePopupDevice(bIndex_);
    ASSERT_EQ(hub().theDevice(), bIndex_);
    expectWindowAtItsStart();

    // Clean Up pressed anyway is refused, with a message, and removes nothing anywhere.
    const auto asked = pressCleanUp();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message, "Scan the device again before cleaning it up.");
    expectUntouched(*a_);
    expectUntouched(*b_);

    // Back on A, scanned again, A detaches: B becomes current and A's results go with A.
    choosePopupDevice(aIndex_);
    scanThroughButton();
    ASSERT_TRUE(detach("scan-phone"));
    ASSERT_TRUE(pumpUntil([&] { return hub().theDevice() == bIndex_; }));
    expectWindowAtItsStart();
    const auto afterDetach = pressCleanUp();
    ASSERT_EQ(afterDetach.size(), 1u);
    EXPECT_EQ(afterDetach[0].message, "Scan the device again before cleaning it up.");
    expectUntouched(*b_);
}

TEST_F(QuickCleanDeviceTest, ASwitchWhileTheQuestionIsOpenCleansNothing) {
    attachTwoDevices();
    scanThroughButton();
    int asked = 0;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question&) {
        if (++asked == 1) {
            choosePopupDevice(bIndex_);  // the user switches before answering
        }
        return Alerts::Answer::Default;
    });
    sendClick(quick().quickCleanupDeviceBtn);
    pumpEvents(20);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(hub().quickScanWorkerRunning());
    expectWindowAtItsStart();
    expectUntouched(*a_);
    expectUntouched(*b_);
}

TEST_F(QuickCleanDeviceTest, TicksAreTakenAtTheConfirmationAndLockedWhileTheCleanUpRuns) {
    attachDevice();
    scanThroughButton();
    sendClick(quick().quickPhotoCheckBtn);
    sendClick(quick().quickJunkCheckBtn);  // large files and apps only
    const auto book = fileRecord("/Books/aaa-handbook.pdf");
    const auto recording = fileRecord("/Recordings/zzz-meeting.m4a");
    ASSERT_TRUE(book && recording);
    book->setBSelectedSate(false);
    recording->setBSelectedSate(true);

    Alerts::ScopedHandler answer(
        [&](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    sendClick(quick().quickCleanupDeviceBtn);
    // Running: its steps wait for this thread, so nothing has finished yet.
    ASSERT_TRUE(hub().quickCleanUpRunning());
    EXPECT_FALSE(quick().bigFileTableView->isEnabled());
    EXPECT_FALSE(quick().bigAppTableView->isEnabled());
    for (QWidget* check : quick().rowCheckButtons()) {
        EXPECT_FALSE(check->isEnabled());
    }
    // Ticks changed now change nothing.
    book->setBSelectedSate(true);
    recording->setBSelectedSate(false);
    ASSERT_TRUE(pumpUntil([&] { return barShown(quick().shareBottomView); }));

    EXPECT_TRUE(mediaExists("/Books/aaa-handbook.pdf"));
    EXPECT_FALSE(mediaExists("/Recordings/zzz-meeting.m4a"));
    EXPECT_TRUE(mediaExists("/Downloads/a.tmp"));  // junk row unticked
    EXPECT_TRUE(quick().bigFileTableView->isEnabled());
    for (QWidget* check : quick().rowCheckButtons()) {
        EXPECT_TRUE(check->isEnabled());
    }
}

// The question says what each ticked row does, naming the files and apps; declined, it changes
// nothing.
TEST_F(QuickCleanDeviceTest, TheQuestionSaysWhatEachTickedRowDoes) {
    attachDevice();
    scanThroughButton();
    QString informative;
    Alerts::ScopedHandler decline([&](QWidget*, const Alerts::Question& q) {
        informative = q.informativeText;
        return Alerts::Answer::Alternate;
    });
    sendClick(quick().quickCleanupDeviceBtn);
    pumpEvents(10);
    // The download queue's database is junk the device needs: neither counted nor removed.
    for (const QString& line :
         {QStringLiteral("3 junk files (%1) will be deleted.")
              .arg(shell::size_to_unit(kCrashLog + kDownload + kDownloadInFolder)),
          QStringLiteral("This app will be uninstalled with its data: Big App."),
          QStringLiteral("1 file the device itself needs will be kept.")}) {
        EXPECT_TRUE(informative.contains(line)) << informative.toStdString();
    }
    EXPECT_TRUE(informative.contains("These 2 large files will be deleted: "));
    EXPECT_TRUE(informative.contains("aaa-handbook.pdf") && informative.contains("zzz-meeting"));
    EXPECT_FALSE(hub().quickScanWorkerRunning());
    expectUntouched(*device_);
}

TEST_F(QuickCleanDeviceTest, StatusFiguresAfterTheCleanUpComeFromTheDevice) {
    attachDevice();
    ASSERT_TRUE(pumpUntil([&] { return !ui().usedSizelab->text().isEmpty(); }));
    const QString usedBefore = ui().usedSizelab->text();
    scanThroughButton();
    sendClick(quick().quickPhotoCheckBtn);

    // What the device reports once the clean-up has freed its space.
    const std::uint64_t total = 64'000'000'000ULL;
    const std::uint64_t freeAfter = 40'000'000'000ULL;
    device_->setDiskUsage(total, freeAfter);
    ASSERT_TRUE(device_->write());

    Alerts::ScopedHandler answer(
        [&](QWidget*, const Alerts::Question&) { return Alerts::Answer::Default; });
    sendClick(quick().quickCleanupDeviceBtn);
    ASSERT_TRUE(pumpUntil([&] { return barShown(quick().shareBottomView); }));

    EXPECT_EQ(ui().usedSizelab->text(), " " + shell::size_to_unit(total - freeAfter));
    EXPECT_EQ(ui().freeSizelab->text(), " " + shell::size_to_unit(freeAfter));
    EXPECT_EQ(ui().percentStoragelab->text(), "37%");
    EXPECT_NE(ui().usedSizelab->text(), usedBefore);
    EXPECT_EQ(hub().currentIDevicenode()->freeFileSizeNumber(), freeAfter);
}

class CameraRollSessionTest : public DelegateTest {};

TEST_F(CameraRollSessionTest, TheSessionListsOnAWorkerAndTheListArrivesAfterwards) {
    simdev::SimDeviceBuilder device(tmp_ / "roll-phone");
    device.setIdentity("Roll Phone", "roll-phone");
    device.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "one")
        .addMediaFile("/DCIM/100APPLE/IMG_0002.MOV", "two")
        .addMediaFile("/DCIM/100APPLE/IMG_0002.AAE", "sidecar");
    ASSERT_TRUE(device.write());
    ASSERT_GE(attach((tmp_ / "roll-phone").string()), 0);
    ASSERT_TRUE(pumpUntil([&] { return hub().getDeviceConnected(); }));

    hub().OpenDevicePhoto();
    EXPECT_TRUE(hub().bdeepOpenPhoto());
    // The device was not asked on this thread: nothing is listed before the list arrives.
    EXPECT_TRUE(hub().getPhotoCameralArray().empty());
    ASSERT_TRUE(pumpUntil([&] { return hub().getPhotoCameralArray().size() == 2; }));
    EXPECT_EQ(hub().getPhotoCameralArray()[0]->name(), "IMG_0001.JPG");
}

}  // namespace
}  // namespace nimbara::test
