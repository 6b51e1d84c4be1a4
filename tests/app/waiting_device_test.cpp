// A device that is plugged in but can't be used yet (locked, the trust question showing or
// refused): the hub says why, and the sentence goes once the device attaches or leaves.
#include <QLabel>

#include <string>

#include "app/quick_scan_window_ui.h"
#include "delegate_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"

namespace nimbara::test {
namespace {

namespace E = md::Error;

class WaitingDeviceTest : public DelegateTest {
  protected:
    // Writes a device that waits for `reason` (0: none) and returns its folder.
    std::string writeWaiting(const std::string& udid, int reason) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity("Phone " + udid, udid);
        if (reason != 0) {
            b.setFault(md::sim::kFaultWaitReason, PlistValue(reason));
        }
        EXPECT_TRUE(b.write());
        return (tmp_ / udid).string();
    }
    // Changes what the attached device waits for and lets the library look again.
    void nowWaits(const std::string& udid, int reason) {
        writeWaiting(udid, reason);
        ASSERT_TRUE(library_->recheck((tmp_ / udid).string()));
        waitForDeviceBinds();
        pumpUntil([&] { return reason != 0 || !hub().getDeviceArray().empty(); });
    }
    QString title() { return ui().noDeviceTitlelab->text(); }
    QString bottom() { return shown(ui().waitingDevicelab) ? ui().waitingDevicelab->text() : ""; }
};

TEST_F(WaitingDeviceTest, ALockedDeviceIsExplainedUntilItIsUnlockedAndTrusted) {
    ASSERT_TRUE(library_->attach(writeWaiting("lock", E::PasswordProtected)));
    EXPECT_TRUE(hub().getDeviceArray().empty());
    EXPECT_TRUE(amd::DeviceManager::GetInstance().Indices().empty());
    EXPECT_TRUE(shown(ui().noDeviceView));
    EXPECT_EQ(title(), "Unlock your device to continue");
    EXPECT_TRUE(ui().noDeviceInfolab->text().contains("passcode"));
    EXPECT_EQ(bottom(), "A device is waiting: Unlock your device to continue");
    // The quick scan window, which has no device either, says the same.
    EXPECT_EQ(hub().quickScanUi()->connectNoDevicelab->text(), "Unlock your device to continue");

    // Unlocked, it asks the trust question.
    nowWaits("lock", E::PairingPending);
    EXPECT_EQ(title(), "Tap Trust on your device");
    EXPECT_TRUE(hub().getDeviceArray().empty());

    // Trusted: the sentence gives way to the device.
    nowWaits("lock", 0);
    ASSERT_EQ(hub().getDeviceArray().size(), 1u);
    EXPECT_EQ(ui().deviceNamelab->text(), "Phone lock");
    EXPECT_EQ(bottom(), "");
    EXPECT_EQ(title(), MainWindowUi::noDeviceTitleText());
    EXPECT_EQ(ui().noDeviceInfolab->text(), MainWindowUi::noDeviceInfoText());
    EXPECT_TRUE(hub().waitingDevices().empty());
    EXPECT_EQ(hub().quickScanUi()->connectNoDevicelab->text(),
              QuickScanWindowUi::connectNoDeviceText());

    // Unplugged later, it leaves like any device, with nothing said about waiting.
    ASSERT_TRUE(detach("lock"));
    EXPECT_TRUE(hub().getDeviceArray().empty());
    EXPECT_EQ(title(), MainWindowUi::noDeviceTitleText());
}

TEST_F(WaitingDeviceTest, ARefusalBesideAListedDeviceShowsInTheBottomBarAndOnThePageOnceAlone) {
    ASSERT_EQ(attachNew("ready", Dev("Ready")), 0);
    ASSERT_TRUE(library_->attach(writeWaiting("nope", E::PairingRefused)));
    ASSERT_TRUE(library_->attach(writeWaiting("lock", E::PasswordProtected)));
    // The listed device stays current; the others are only mentioned.
    EXPECT_EQ(hub().getDeviceArray().size(), 1u);
    EXPECT_EQ(ui().deviceNamelab->text(), "Ready");
    EXPECT_EQ(bottom(), "2 more devices are waiting: Unlock your device to continue");

    ASSERT_TRUE(detach("lock"));
    EXPECT_EQ(bottom(), "Another device is waiting: Your device refused to trust this computer");
    ASSERT_TRUE(detach("ready"));
    EXPECT_EQ(bottom(), "A device is waiting: Your device refused to trust this computer");
    EXPECT_EQ(title(), "Your device refused to trust this computer");
    ASSERT_TRUE(detach("nope"));
    EXPECT_EQ(bottom(), "");
    EXPECT_EQ(title(), MainWindowUi::noDeviceTitleText());
}

// From its plug until it is listed, a device is said to be connecting: while the device layer
// binds it and while the hub reads what it shows of it.
TEST_F(WaitingDeviceTest, APluggedDeviceIsSaidToBeConnectingUntilItIsListed) {
    std::vector<std::string> titles;
    auto& center = NotificationCenter::defaultCenter();
    const auto seen = [&](const Notification&) {
        titles.push_back(title().toStdString());
        EXPECT_EQ(bottom(), "A device is connecting\u2026");
    };
    const auto waiting = center.addObserver(amd::kDeviceWaitingNotification, seen);
    const auto added = center.addObserver(amd::kDeviceConnectNotification, seen);
    ASSERT_GE(attach(writeWaiting("slow", 0)), 0);
    const std::string connecting = "Connecting to your device\u2026";
    // Its bind, its addition, the end of its bind.
    EXPECT_EQ(titles, std::vector<std::string>(3, connecting));
    EXPECT_EQ(hub().getDeviceArray().size(), 1u);
    EXPECT_EQ(title(), MainWindowUi::noDeviceTitleText());
    EXPECT_EQ(bottom(), "");
}

TEST_F(WaitingDeviceTest, EveryReasonHasItsOwnSentence) {
    EXPECT_EQ(QuennicAppDelegate::waitingTitle(E::PairingRefused),
              "Your device refused to trust this computer");
    EXPECT_TRUE(QuennicAppDelegate::waitingAdvice(E::PairingRefused).contains("Trust"));
    EXPECT_EQ(QuennicAppDelegate::waitingTitle(E::InvalidPairing),
              "Your device doesn't trust this computer yet");
    // An unexpected reason still reads as a sentence, never as a bare number.
    EXPECT_EQ(QuennicAppDelegate::waitingTitle(E::Timeout), "Your device isn't ready yet");
    EXPECT_EQ(QuennicAppDelegate::waitingAdvice(E::Timeout).toStdString(),
              md::errorText(E::Timeout));
}

}  // namespace
}  // namespace nimbara::test
