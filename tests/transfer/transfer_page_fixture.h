// The transfer page on a fake host showing the demo device: the sidebar's entries as the shell
// takes them, the page's widgets, the finish notifications it posts and the host's indicators.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../filemanager/device_page_fixture.h"
#include "fake_media_player.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pr_tran_music_node.h"

namespace nimbara::test {

class TransferPageTest : public DevicePageTest {
  protected:
    void SetUp() override {
        DevicePageTest::SetUp();
        demo_ = tmp_ / "demo";
        index_ = attachDemoDevice(demo_);
        ASSERT_GE(index_, 0);
        container_ = std::make_unique<QWidget>();
        container_->resize(1080, 660);
        page_ = std::make_unique<PRTansferViewController>(host_);
        // Players that need no sound hardware.
        page().setMediaPlayerFactory(fakePlayerFactory());
        finishedToken_ = NotificationCenter::defaultCenter().addObserver(
            "musicScanFinished", [this](const Notification& n) {
                ++musicFinished_;
                EXPECT_FALSE(n.object.has_value());
            });
    }
    void TearDown() override {
        page_.reset();
        container_.reset();
        finishedToken_ = {};
        DevicePageTest::TearDown();
    }

    PRTansferViewController& page() { return *page_; }
    TransferUi& tui() { return page().transferUi(); }

    // The sidebar's entries, as the shell takes them: the page shows, then the category's view,
    // then the category reads the device on show.
    void clickTansfer() { page().showView(container_.get()); }
    void clickMusic() {
        clickTansfer();
        page().showMusicView();
        page().ShowMusic(currentIndex());
    }
    void clickVideo() {
        clickTansfer();
        page().showVideoView();
    }
    void clickPhoto() {
        clickTansfer();
        page().showPhotoView();
        page().ShowPhoto(currentIndex());
    }
    void clickApp() {
        clickTansfer();
        page().showAppView();
        page().ShowApp(currentIndex());
    }
    // The host shows another device and tells the page.
    void changeToDevice(int index) {
        showDevice(index);
        page().deviceChanged(host_.currentDeviceTarget());
    }

    // Waits until the music load has ended (whatever its outcome).
    bool waitForMusic() {
        return pumpUntil(
            [this] { return !page().musicLoading() && !page().bMusiceStartTransfer(); });
    }
    // The music and video indicators of the sidebar (one busy mark) are on.
    bool musicSpinning() const { return host_.indicatorOn(BusyMark::Music); }
    bool musicSpinnersOff() const { return !host_.indicatorOn(BusyMark::Music); }

    static std::vector<std::string> titles(const PRTransferMusicController& model) {
        std::vector<std::string> result;
        for (const auto& node : model.content()) {
            result.push_back(node->musicTitle().toStdString());
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    void refuseFileService() {
        setFault(demo_, md::sim::kFaultRefusedServices,
                 PlistValue(PlistValue::Array{PlistValue("com.apple.afc")}));
    }

    std::filesystem::path demo_;
    int index_ = -1;
    std::unique_ptr<QWidget> container_;
    std::unique_ptr<PRTansferViewController> page_;
    int musicFinished_ = 0;
    ObserverToken finishedToken_;
};

}  // namespace nimbara::test
