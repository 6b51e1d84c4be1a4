// The device popover on the hub: its size and rows by number of devices, switching devices from
// it, dropping a device from it, and dragging it off into a window of its own.
#include <QListWidget>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window_ui.h"
#include "app/quick_scan_window_ui.h"
#include "delegate_fixture.h"
#include "ui/color_progress_view.h"
#include "ui/device_popover.h"
#include "ui/notification_buttons.h"
#include "ui/page_call_log.h"
#include "widget_test_support.h"

namespace nimbara::test {
namespace {

using ui::PageCallLog;

TEST(DevicePopoverPlace, BelowItsAnchorAboveWithoutRoomAndAlwaysOnTheScreen) {
    const QRect screen(0, 0, 1000, 700);
    const QSize size(305, 157);
    struct Case {
        const char* what;
        QRect anchor;
        QPoint expected;
    };
    const Case cases[] = {
        {"centred below a title-strip button", {686, 11, 22, 22}, {544, 33}},
        {"above a tray icon at the bottom", {900, 676, 24, 24}, {695, 519}},
        {"pushed in from the left edge", {0, 0, 24, 24}, {0, 24}},
        {"no room above or below: kept on the screen", {500, 100, 20, 560}, {357, 543}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ui::popoverPosition(c.anchor, size, screen), c.expected);
    }
}

class DevicePopoverTest : public DelegateTest {
  protected:
    void TearDown() override {
        if (QWidget* popover = hub().thePopover()) {
            popover->close();
        }
        DelegateTest::TearDown();
    }

    PPopoverviewConterller& popView() { return *hub().thePopViewController(); }
    void openPopover() { hub().ClickStateBanner(ui().stateBannerBtn); }

    std::vector<std::string> rowNames() {
        std::vector<std::string> names;
        for (int row = 0; row < popView().theTableView()->count(); ++row) {
            names.push_back(popView().cellViewAtRow(row)->textField()->text().toStdString());
        }
        return names;
    }
    std::vector<int> rowIndices() {
        std::vector<int> indices;
        for (int row = 0; row < popView().theTableView()->count(); ++row) {
            indices.push_back(popView().cellViewAtRow(row)->rejectBtn()->theIndex());
        }
        return indices;
    }
    int selectedRow() {
        const auto selected = popView().theTableView()->selectedItems();
        return selected.isEmpty() ? -1 : popView().theTableView()->row(selected.first());
    }
    void reject(int row) {
        sendMouse(popView().cellViewAtRow(row)->rejectBtn(), QEvent::MouseButtonPress);
        pumpEvents(5);  // the old rows go later
    }
};

TEST_F(DevicePopoverTest, SizedAndFilledByTheNumberOfDevices) {
    struct Case {
        Dev dev;
        int viewHeight;
        int scrollHeight;
        bool scrolls;
        const char* image;
    };
    const Case cases[] = {
        {Dev("Anna's iPhone").disk(64'000'000'000ULL, 16'000'000'000ULL), 84, 101, false,
         "iphoneImage.png"},
        {Dev("Studio iPad").type("iPad7,5"), 157, 174, false, "ipadImage.png"},
        {Dev("Old phone").type("iphone9,1").disk(0, 0), 230, 247, false, "iphoneImage.png"},
        {Dev("Fourth"), 230, 247, true, "iphoneImage.png"},
    };

    // Without a device the click does nothing.
    openPopover();
    EXPECT_EQ(hub().thePopover(), nullptr);

    std::vector<std::string> names;
    std::vector<int> indices;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev.name);
        indices.push_back(attachNew("dev-" + std::to_string(names.size()), c.dev));
        names.push_back(c.dev.name);
        openPopover();
        QWidget* popover = hub().thePopover();
        ASSERT_NE(popover, nullptr);
        EXPECT_TRUE(popover->isVisible());
        EXPECT_EQ(popover->size(), QSize(305, c.viewHeight));
        EXPECT_EQ(popView().size(), QSize(305, c.viewHeight));
        EXPECT_EQ(popView().theScrollView()->size(), QSize(305, c.scrollHeight));
        EXPECT_EQ(rowNames(), names);
        EXPECT_EQ(rowIndices(), indices);
        EXPECT_EQ(selectedRow(), 0);  // the first device stays current
        const int last = static_cast<int>(names.size()) - 1;
        EXPECT_EQ(ui::imageViewImageName(popView().cellViewAtRow(last)->imageView()), c.image);
        EXPECT_EQ(popView().theTableView()->verticalScrollBar()->maximum() > 0, c.scrolls);
        popover->close();
        pumpEvents(3);
        EXPECT_EQ(hub().thePopover(), nullptr);
    }
    // 48 GB used of 64; a device without figures draws no used part.
    openPopover();
    EXPECT_FLOAT_EQ(popView().cellViewAtRow(0)->iDeviceColorView()->usedValue(), 0.75f);
    EXPECT_FLOAT_EQ(popView().cellViewAtRow(0)->iDeviceColorView()->freevalue(), 0.25f);
    EXPECT_FLOAT_EQ(popView().cellViewAtRow(2)->iDeviceColorView()->usedValue(), 0.0f);
}

TEST_F(DevicePopoverTest, ARowMakesItsDeviceCurrent) {
    const int a = attachNew("dev-a", Dev("A"));
    const int b = attachNew("dev-b", Dev("B"));
    openPopover();
    PageCallLog::clear();
    popView().theTableView()->setCurrentRow(0);  // the current one: nothing changes
    EXPECT_EQ(currentIndex(), a);
    EXPECT_TRUE(PageCallLog::entries().empty());

    popView().theTableView()->setCurrentRow(1);
    EXPECT_EQ(currentIndex(), b);
    EXPECT_EQ(ui().deviceNamePopBtn->currentData().toInt(), b);
    EXPECT_EQ(ui().deviceNamelab->text(), "B");
}

TEST_F(DevicePopoverTest, ADroppedDeviceLeavesTheListThePopupAndThePages) {
    struct Case {
        const char* what;
        int devices;
        int dropRow;
        std::vector<int> left;  // positions (in attach order) of the devices left listed
        int current;            // position of the current device after, -1 for none
        bool pagesReset;
    };
    const Case cases[] = {
        {"the current device of three", 3, 0, {1, 2}, 1, true},
        {"another device of three", 3, 2, {0, 1}, 0, false},
        {"the only device", 1, 0, {}, -1, true},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (round++ > 0) {  // a fresh hub for each case
            TearDown();
            SetUp();
        }
        std::vector<int> attached;
        for (int i = 0; i < c.devices; ++i) {
            const std::string name = std::to_string(round) + "-" + std::to_string(i);
            attached.push_back(attachNew("dev-" + name, Dev("D" + name)));
        }
        openPopover();
        PageCallLog::clear();
        reject(c.dropRow);

        std::vector<int> left;
        for (int position : c.left) {
            left.push_back(attached[static_cast<std::size_t>(position)]);
        }
        EXPECT_EQ(listIndices(), left);
        EXPECT_EQ(popupIndices(), left);
        // The device is still plugged in: only the list let it go.
        EXPECT_TRUE(amd::DeviceManager::GetInstance().FindItem(
                        attached[static_cast<std::size_t>(c.dropRow)]) != nullptr);
        const auto log = PageCallLog::entries();
        for (const char* page :
             {"PRDiskaManagerViewController", "PRFindLargeFileViewController",
              "PRCleanViewController", "PRSystemBoostViewController", "PRPrivacyController",
              "PROneCopyViewController", "PRTansferViewController"}) {
            const std::string reset = std::string(page) + "::initAllDataAndAllView()";
            EXPECT_EQ(std::find(log.begin(), log.end(), reset) != log.end(), c.pagesReset) << page;
        }
        if (c.current < 0) {
            EXPECT_FALSE(hub().getDeviceConnected());
            EXPECT_TRUE(ui().manageHasDeviceView->isHidden());
            EXPECT_FALSE(ui().noDeviceView->isHidden());
            EXPECT_EQ(hub().thePopover(), nullptr);  // nothing left to list
            // Quick Scan shows nothing of it and can't start; plugged in again, it can.
            const QuickScanWindowUi& quick = *hub().quickScanUi();
            const std::string udid = "dev-" + std::to_string(round) + "-0";
            for (const bool chosen : {false, true}) {
                EXPECT_EQ(quick.theContentResultView->isHidden(), !chosen);
                EXPECT_EQ(quick.quickScnDeviceBtn->isEnabled(), chosen);
                EXPECT_EQ(quick.scanNoDevicelab->isHidden(), chosen);
                ASSERT_TRUE(detach(udid) &&
                            pumpUntil([this] { return !hub().getDeviceConnected(); }));
                ASSERT_GE(attach((tmp_ / udid).string()), 0);
            }
            continue;
        }
        EXPECT_TRUE(hub().quickScanUi()->quickScnDeviceBtn->isEnabled());
        const int current = attached[static_cast<std::size_t>(c.current)];
        EXPECT_EQ(currentIndex(), current);
        EXPECT_EQ(ui().deviceNamePopBtn->currentData().toInt(), current);
        EXPECT_EQ(rowIndices(), left);
        ASSERT_NE(hub().thePopover(), nullptr);
        EXPECT_EQ(hub().thePopover()->height(), 157);
        ASSERT_GE(selectedRow(), 0);
        EXPECT_EQ(rowIndices()[static_cast<std::size_t>(selectedRow())], current);
    }
}

TEST_F(DevicePopoverTest, DraggedOffTheListGoesOnInAWindowOfItsOwn) {
    attachNew("dev-a", Dev("A"));
    attachNew("dev-b", Dev("B"));
    openPopover();
    QWidget& view = popView();
    sendMouse(&view, QEvent::MouseButtonPress, {150, 150});
    sendMouse(&view, QEvent::MouseMove, {150, 190});
    pumpEvents(5);
    QWidget* window = hub().detachableWindowForPopover();
    EXPECT_EQ(hub().thePopover(), nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(view.window(), window);
    EXPECT_EQ(window->size(), QSize(305, 157));
    EXPECT_EQ(rowNames(), (std::vector<std::string>{"A", "B"}));

    // Opening the popover again takes the list back.
    openPopover();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(view.window(), hub().thePopover());
}

}  // namespace
}  // namespace nimbara::test
