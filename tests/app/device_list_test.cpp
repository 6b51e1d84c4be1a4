// The hub's device list against attach, detach, device switches and devices of the same name.
#include <QComboBox>
#include <QLabel>
#include <QWidget>

#include <string>
#include <vector>

#include "app/quick_scan_window_ui.h"
#include "delegate_fixture.h"
#include "ui/color_progress_view.h"
#include "ui/notification_buttons.h"
#include "ui/page_call_log.h"

namespace nimbara::test {
namespace {

using ui::PageCallLog;

// What telling the pages about device `index` (with iOS `version`) records, in order.
std::vector<std::string> pageCalls(int index, const std::string& version) {
    const std::string i = std::to_string(index);
    return {
        "PRDiskaManagerViewController::setDiskManageDeviceIndex(" + i + ")",
        "PRDiskaManagerViewController::initAllDataAndAllView()",
        "PRFindLargeFileViewController::setDeviceIndex(" + i + ")",
        "PRFindLargeFileViewController::initAllDataAndAllView()",
        "PRCleanViewController::NimbaraShowDeviceClean(" + i + ")",
        "PRCleanViewController::initAllDataAndAllView()",
        "PRSystemBoostViewController::setDeviceIndex(" + i + ")",
        "PRSystemBoostViewController::initAllDataAndAllView()",
        "PRPrivacyController::setDeviceIndex(" + i + ", \"" + version + "\")",
        "PRPrivacyController::initAllDataAndAllView()",
        "PROneCopyViewController::setCopyIndex(" + i + ")",
        "PROneCopyViewController::initAllDataAndAllView()",
        "PRTansferViewController::initAllDataAndAllView()",
    };
}

// The calls of the log that tell a page about a device (setters and initAllDataAndAllView).
std::vector<std::string> deviceCalls() {
    std::vector<std::string> result;
    for (const std::string& entry : PageCallLog::entries()) {
        if (entry.find("initAllDataAndAllView") != std::string::npos ||
            entry.find("setDiskManageDeviceIndex") != std::string::npos ||
            entry.find("::setDeviceIndex") != std::string::npos ||
            entry.find("NimbaraShowDeviceClean") != std::string::npos ||
            entry.find("setCopyIndex") != std::string::npos) {
            result.push_back(entry);
        }
    }
    return result;
}

class DeviceListTest : public DelegateTest {};

TEST_F(DeviceListTest, StartsWithoutDeviceAndFirstAttachBecomesCurrent) {
    EXPECT_FALSE(hub().getDeviceConnected());
    EXPECT_EQ(hub().currentIDevicenode(), nullptr);
    EXPECT_TRUE(listIndices().empty());
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 0);

    const int a = attachNew("dev-a", Dev("Anna's iPhone"));
    ASSERT_GE(a, 0);
    EXPECT_TRUE(hub().getDeviceConnected());
    EXPECT_EQ(listIndices(), std::vector<int>{a});
    EXPECT_EQ(popupIndices(), std::vector<int>{a});
    EXPECT_EQ(currentIndex(), a);
    EXPECT_EQ(hub().theDevice(), a);
    EXPECT_EQ(ui().deviceNamePopBtn->currentText(), "Anna's iPhone");
    EXPECT_EQ(ui().deviceNamelab->text(), "Anna's iPhone");
    EXPECT_EQ(ui().iDeviceSoftwareVersionValuelab->text(), "12.4.1");
    EXPECT_EQ(ui().iDeviceIDValuelab->text(), "dev-a");
    EXPECT_FALSE(ui().manageHasDeviceView->isHidden());
    EXPECT_TRUE(ui().manageNoDeviceView->isHidden());
    // 48 GB used of 64 GB.
    EXPECT_EQ(ui().percentStoragelab->text(), "75%");
    EXPECT_EQ(ui().usedSpaceLab->text(), "48.00GB of 64.00GB");
    EXPECT_EQ(ui().freeSpacelab->text(), "16.00GB free");
    EXPECT_EQ(hub().currentDeviceSerial(), amd::DeviceManager::GetInstance().DeviceSerial(a));

    const int b = attachNew("dev-b", Dev("Ben's iPad").type("iPad7,1"));
    ASSERT_GE(b, 0);
    EXPECT_EQ(listIndices(), (std::vector<int>{a, b}));
    EXPECT_EQ(popupIndices(), (std::vector<int>{a, b}));
    EXPECT_EQ(ui().deviceNamePopBtn->itemText(1), "Ben's iPad");
    EXPECT_EQ(currentIndex(), a) << "a second device doesn't take over";
    EXPECT_EQ(ui().deviceNamePopBtn->currentText(), "Anna's iPhone");
}

TEST_F(DeviceListTest, PopupAndListStayInStepWithSharedNames) {
    const int a = attachNew("dev-a", Dev("iPhone"));
    const int b = attachNew("dev-b", Dev("iPhone"));
    const int c = attachNew("dev-c", Dev("iPhone"));
    ASSERT_GE(c, 0);
    EXPECT_EQ(popupIndices(), (std::vector<int>{a, b, c}));

    // Removing the middle one of three equally named devices removes its own item.
    ASSERT_TRUE(detach("dev-b"));
    EXPECT_EQ(listIndices(), (std::vector<int>{a, c}));
    EXPECT_EQ(popupIndices(), (std::vector<int>{a, c}));
    EXPECT_EQ(currentIndex(), a);

    // Choosing the second item picks the device at that position, not the first of that name.
    ui().deviceNamePopBtn->setCurrentIndex(1);
    hub().ChangeiOSDeviceAction();
    EXPECT_EQ(currentIndex(), c);
    EXPECT_EQ(hub().theDevice(), c);

    ASSERT_TRUE(detach("dev-c"));
    EXPECT_EQ(listIndices(), std::vector<int>{a});
    EXPECT_EQ(popupIndices(), std::vector<int>{a});
    EXPECT_EQ(currentIndex(), a);
    EXPECT_EQ(ui().deviceNamePopBtn->currentIndex(), 0);
}

TEST_F(DeviceListTest, PopupChoiceOfTheCurrentDeviceChangesNothing) {
    const int a = attachNew("dev-a", Dev("A"));
    attachNew("dev-b", Dev("B"));
    PageCallLog::clear();
    ui().deviceNamePopBtn->setCurrentIndex(0);
    hub().ChangeiOSDeviceAction();
    EXPECT_EQ(currentIndex(), a);
    EXPECT_TRUE(deviceCalls().empty());

    ui().deviceNamePopBtn->setCurrentIndex(-1);
    hub().ChangeiOSDeviceAction();
    EXPECT_EQ(currentIndex(), a);
}

TEST_F(DeviceListTest, DetachingTheCurrentOfTwoTellsThePagesInOrder) {
    attachNew("dev-a", Dev("A").version("12.4.1"));
    const int b = attachNew("dev-b", Dev("B").version("9.3.5"));
    PageCallLog::clear();

    ASSERT_TRUE(detach("dev-a"));
    EXPECT_EQ(currentIndex(), b);
    EXPECT_EQ(hub().theDevice(), b);
    EXPECT_TRUE(hub().getDeviceConnected());
    EXPECT_EQ(deviceCalls(), pageCalls(b, "9.3.5"));
    EXPECT_EQ(ui().deviceNamelab->text(), "B");
    EXPECT_EQ(ui().iDeviceSoftwareVersionValuelab->text(), "9.3.5");
}

TEST_F(DeviceListTest, DetachingANonCurrentDeviceKeepsTheCurrentOne) {
    const int a = attachNew("dev-a", Dev("A"));
    attachNew("dev-b", Dev("B"));
    PageCallLog::clear();

    ASSERT_TRUE(detach("dev-b"));
    EXPECT_EQ(currentIndex(), a);
    EXPECT_TRUE(deviceCalls().empty()) << "the current device did not change";
    EXPECT_EQ(popupIndices(), std::vector<int>{a});
}

TEST_F(DeviceListTest, DetachingANonCurrentDeviceMakesTheFirstRemainingCurrent) {
    const int a = attachNew("dev-a", Dev("A"));
    attachNew("dev-b", Dev("B"));
    const int c = attachNew("dev-c", Dev("C"));
    hub().ChangeToAnotherDevice(c);
    PageCallLog::clear();

    ASSERT_TRUE(detach("dev-b"));
    EXPECT_EQ(currentIndex(), a);
    EXPECT_EQ(deviceCalls(), pageCalls(a, "12.4.1"));
}

TEST_F(DeviceListTest, LastDetachResetsEveryFigureAndShowsTheNoDeviceState) {
    attachNew("dev-a", Dev("A"));
    auto& h = hub();
    h.setTotalPhotoRemoveFileSize(1);
    h.setTotalMusicRemoveFileSize(2);
    h.setTotalVideoRemoveFileSize(3);
    h.setTotalAppRemoveFileSize(4);
    h.setTotalBooksRemoveFileSize(5);
    h.setTotalUserdataRemoveFileSize(6);
    h.setCurrentPhotoFileSize(7);
    h.setCurrentMusicFileSize(8);
    h.setCurrentVideoFileSize(9);
    h.setCurrentAppFileSize(10);
    h.setCurrentBooksFileSize(11);
    h.setCurrentUserDataFileSize(12);
    h.setJunkFileSize(13);
    h.setBigFileSize(14);

    ASSERT_TRUE(detach("dev-a"));
    EXPECT_FALSE(h.getDeviceConnected());
    for (std::uint64_t figure :
         {h.totalPhotoRemoveFileSize(), h.totalMusicRemoveFileSize(), h.totalVideoRemoveFileSize(),
          h.totalAppRemoveFileSize(), h.totalBooksRemoveFileSize(), h.totalUserdataRemoveFileSize(),
          h.currentPhotoFileSize(), h.currentMusicFileSize(), h.currentVideoFileSize(),
          h.currentAppFileSize(), h.currentBooksFileSize(), h.currentUserDataFileSize(),
          h.junkFileSize(), h.bigFileSize(), h.photoVideoFileSize()}) {
        EXPECT_EQ(figure, 0u);
    }
    EXPECT_TRUE(listIndices().empty());
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 0);
    EXPECT_FALSE(ui().noDeviceView->isHidden());
    EXPECT_TRUE(ui().StatuView->isHidden());
    EXPECT_TRUE(ui().mainStatusBannerBtn->isHidden());
    EXPECT_TRUE(ui().oneClickCopyBannerBtn->isHidden());
    EXPECT_TRUE(ui().manageHasDeviceView->isHidden());
    EXPECT_FALSE(ui().manageNoDeviceView->isHidden());
    EXPECT_FALSE(hub().quickScanUi()->theConnectNoDeviceView->isHidden());
    EXPECT_TRUE(hub().quickScanUi()->theContentResultView->isHidden());
    // The record of the last device stays; its values object goes with the device once the
    // jobs that were reading it let go.
    ASSERT_NE(h.currentIDevicenode(), nullptr);
    EXPECT_TRUE(pumpUntil([&] { return h.currentIDevicenode()->getBi() == nullptr; }));
}

TEST_F(DeviceListTest, ReattachAfterTheLastDetachStartsOver) {
    attachNew("dev-a", Dev("A"));
    ASSERT_TRUE(detach("dev-a"));
    const int b = attachNew("dev-b", Dev("B"));
    EXPECT_TRUE(hub().getDeviceConnected());
    EXPECT_EQ(currentIndex(), b);
    EXPECT_EQ(popupIndices(), std::vector<int>{b});
    EXPECT_FALSE(ui().mainStatusBannerBtn->isHidden());
}

TEST_F(DeviceListTest, NotificationsForUnknownIndicesChangeNothing) {
    NotificationCenter::defaultCenter().post("DeviceConnect", 42);
    EXPECT_FALSE(hub().getDeviceConnected());
    EXPECT_TRUE(listIndices().empty());
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 0);

    const int a = attachNew("dev-a", Dev("A"));
    NotificationCenter::defaultCenter().post("DeviceDisConnect", 42);
    EXPECT_EQ(listIndices(), std::vector<int>{a});
    EXPECT_EQ(currentIndex(), a);
    EXPECT_TRUE(hub().getDeviceConnected());
}

TEST_F(DeviceListTest, RemovingTheCurrentDeviceFromTheListKeepsThePopupInStep) {
    const int a = attachNew("dev-a", Dev("A"));
    const int b = attachNew("dev-b", Dev("B"));
    PageCallLog::clear();

    auto& list = hub().getDeviceArray();
    list.erase(list.begin());
    hub().RemoveTheDeviceWithIndex(a);
    EXPECT_EQ(popupIndices(), std::vector<int>{b});
    EXPECT_EQ(currentIndex(), b);
    EXPECT_EQ(deviceCalls(), pageCalls(b, "12.4.1"));

    list.clear();
    hub().RemoveTheDeviceWithIndex(b);
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 0);
    EXPECT_FALSE(hub().getDeviceConnected());
    EXPECT_TRUE(ui().manageHasDeviceView->isHidden());
}

TEST_F(DeviceListTest, DevicesAttachedBeforeLaunchAreShownAtLaunch) {
    delegate_.reset();
    amd::DeviceManager::GetInstance().Reset();
    const int a = attachNew("dev-a", Dev("Early"));
    // Not subscribed: the device is not known yet. The hub's subscription reports it.
    EXPECT_EQ(a, -1);
    delegate_ = std::make_unique<QuennicAppDelegate>();
    delegate_->setBoardDelays(std::chrono::milliseconds(0), std::chrono::milliseconds(1));
    delegate_->applicationDidFinishLaunching();
    // The device's values are read on a worker: it is listed once they have arrived.
    ASSERT_TRUE(pumpUntil([&] { return listIndices().size() == 1u; }));
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 1);
    EXPECT_EQ(ui().deviceNamelab->text(), "Early");
    EXPECT_FALSE(ui().manageHasDeviceView->isHidden());
}

TEST_F(DeviceListTest, AnAttachingDeviceIsReadOnAWorkerAndAGoneOneIsNeverListed) {
    // The attach event reaches the hub on this thread; the device's values are not read here.
    ASSERT_TRUE(library_->attach(makeDevice("dev-a", Dev("Slow Reader"))));
    EXPECT_TRUE(hub().getDeviceArray().empty());
    ASSERT_TRUE(pumpUntil([&] { return listIndices().size() == 1u; }));
    EXPECT_EQ(ui().deviceNamelab->text(), "Slow Reader");

    // A device that goes before its values arrive never shows up.
    ASSERT_TRUE(library_->attach(makeDevice("dev-b", Dev("Gone Soon"))));
    ASSERT_TRUE(detach("dev-b"));
    pumpEvents(50);
    EXPECT_EQ(listIndices().size(), 1u);
    EXPECT_EQ(ui().deviceNamePopBtn->count(), 1);
    EXPECT_EQ(ui().deviceNamelab->text(), "Slow Reader");
}

TEST_F(DeviceListTest, StatusFiguresNeverWrapOrDivideByZero) {
    attachNew("dev-a", Dev("Empty").disk(0, 0));
    EXPECT_EQ(ui().percentStoragelab->text(), "0%");
    EXPECT_EQ(ui().usedSizelab->text(), " 0.00bytes");
    EXPECT_FALSE(ui().iDeviceColorView->getShowMore());
    EXPECT_EQ(ui().iDeviceColorView->usedValue(), 0.0f);
}

}  // namespace
}  // namespace nimbara::test
