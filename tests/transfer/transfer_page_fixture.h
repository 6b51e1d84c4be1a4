// The transfer page inside a launched hub with the demo device attached: sidebar clicks, the
// page's widgets, the finish notifications it posts and the shell's spinners.
#pragma once

#include <QLabel>
#include <QProgressBar>
#include <QTableView>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../app/delegate_fixture.h"
#include "fake_media_player.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/flash_view.h"

namespace nimbara::test {

class TransferPageTest : public DemoDelegateTest {
  protected:
    void SetUp() override {
        DemoDelegateTest::SetUp();
        // Players that need no sound hardware.
        page().setMediaPlayerFactory(fakePlayerFactory());
        finishedToken_ = NotificationCenter::defaultCenter().addObserver(
            "musicScanFinished", [this](const Notification& n) {
                ++musicFinished_;
                EXPECT_FALSE(n.object.has_value());
            });
    }
    void TearDown() override {
        finishedToken_ = {};
        DemoDelegateTest::TearDown();
    }

    PRTansferViewController& page() { return *hub().GetTansferViewController(); }
    TransferUi& tui() { return page().transferUi(); }

    // Waits until the music load has ended (whatever its outcome).
    bool waitForMusic() {
        return pumpUntil(
            [this] { return !page().musicLoading() && !page().bMusiceStartTransfer(); });
    }
    // The music and video spinners of the sidebar turn.
    bool musicSpinning() {
        auto busy = [](FlashView* s) { return shown(s) && s->isFlashing(); };
        return busy(ui().circleMusicProgress) && busy(ui().circleVideoProgress);
    }
    bool musicSpinnersOff() {
        return !shown(ui().circleMusicProgress) && !shown(ui().circleVideoProgress) &&
               !ui().circleMusicProgress->isFlashing() && !ui().circleVideoProgress->isFlashing();
    }

    static std::vector<std::string> titles(const PRTransferMusicController& model) {
        std::vector<std::string> result;
        for (const auto& node : model.content()) {
            result.push_back(node->musicTitle().toStdString());
        }
        std::sort(result.begin(), result.end());
        return result;
    }

    // Sets (or with a null key clears) the one fault of a device folder; an attached simulated
    // device reads it at its next operation.
    static void setFault(const std::filesystem::path& device, const char* key,
                         const PlistValue& value = {}) {
        const std::string file = (device / md::sim::kDevicePlist).string();
        auto plist = PlistValue::readFile(file);
        ASSERT_TRUE(plist);
        (*plist)[md::sim::kKeyFaults] = PlistValue::dict();
        if (key != nullptr) {
            (*plist)[md::sim::kKeyFaults][key] = value;
        }
        ASSERT_TRUE(plist->writeFile(file));
    }
    void refuseFileService() {
        setFault(demo_, md::sim::kFaultRefusedServices,
                 PlistValue(PlistValue::Array{PlistValue("com.apple.afc")}));
    }

    int musicFinished_ = 0;
    ObserverToken finishedToken_;
};

}  // namespace nimbara::test
