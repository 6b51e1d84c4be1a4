// The hub's rules by device and system version: the feature banner's layout, the iOS 10 flag,
// the device image, the system version parse, and the start values of a run.
#include <QDir>
#include <QFileInfo>
#include <QLabel>

#include <fstream>

#include "app/main_window_ui.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "delegate_fixture.h"
#include "ui/alerts.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"

namespace nimbara::test {
namespace {

TEST(DeviceRules, AppCleanIsForVersionsAboveEightPointTwo) {
    EXPECT_TRUE(QuennicAppDelegate::bIOSVersionAppClean("8.3"));
    EXPECT_TRUE(QuennicAppDelegate::bIOSVersionAppClean("10.0"));
    EXPECT_TRUE(QuennicAppDelegate::bIOSVersionAppClean("12.4.1"));
    EXPECT_FALSE(QuennicAppDelegate::bIOSVersionAppClean("8.2"));
    EXPECT_FALSE(QuennicAppDelegate::bIOSVersionAppClean("7.1.2"));
    EXPECT_FALSE(QuennicAppDelegate::bIOSVersionAppClean("9"));
    EXPECT_FALSE(QuennicAppDelegate::bIOSVersionAppClean(""));
    EXPECT_FALSE(QuennicAppDelegate::bIOSVersionAppClean(QString()));
}

TEST(DeviceRules, IOSTenAndLater) {
    EXPECT_TRUE(QuennicAppDelegate::isIOS10OrLater("10.3"));
    EXPECT_TRUE(QuennicAppDelegate::isIOS10OrLater("11.0.1"));
    EXPECT_TRUE(QuennicAppDelegate::isIOS10OrLater("12.4.1"));
    EXPECT_TRUE(QuennicAppDelegate::isIOS10OrLater("16.2"));
    EXPECT_FALSE(QuennicAppDelegate::isIOS10OrLater("9.3.5"));
    EXPECT_FALSE(QuennicAppDelegate::isIOS10OrLater("1.0"));
    EXPECT_FALSE(QuennicAppDelegate::isIOS10OrLater(""));
}

TEST(DeviceRules, DeviceImageByModelText) {
    EXPECT_EQ(QuennicAppDelegate::deviceImageName("iPhone10,4"), "iphoneImage.png");
    EXPECT_EQ(QuennicAppDelegate::deviceImageName("iphone9,1"), "iphoneImage.png");
    EXPECT_EQ(QuennicAppDelegate::deviceImageName("iPad7,1"), "ipadImage.png");
    EXPECT_EQ(QuennicAppDelegate::deviceImageName(QString()), "ipadImage.png");
}

TEST(DeviceRules, SystemVersionTextNeedsThreeParts) {
    int major = 10;
    int minor = 10;
    QuennicAppDelegate::parseSystemVersionText("Version 10.13.6 (Build 17G65)", major, minor);
    EXPECT_EQ(major, 10);
    EXPECT_EQ(minor, 13);

    major = 10;
    minor = 10;
    QuennicAppDelegate::parseSystemVersionText("Version 11.2 (Build 20D64)", major, minor);
    EXPECT_EQ(major, 10);
    EXPECT_EQ(minor, 10);

    QuennicAppDelegate::parseSystemVersionText("nonsense", major, minor);
    EXPECT_EQ(major, 10);
    EXPECT_EQ(minor, 10);
}

class DelegateStateTest : public DelegateTest {};

TEST_F(DelegateStateTest, ARunStartsWithTheDocumentedValues) {
    EXPECT_EQ(QuennicAppDelegate::GetAppControllor(), &hub());
    EXPECT_EQ(hub().GetLimitLargeFileSize(), 5'000'000u);
    EXPECT_EQ(hub().limitLargeAppSize(), 100'000'000u);
    EXPECT_EQ(hub().nimbaraExportPath(), QDir::homePath() + "/Documents/Pellucor");
    EXPECT_TRUE(QFileInfo(hub().nimbaraExportPath()).isDir()) << "made at launch";
    EXPECT_FALSE(hub().bIOS10Version());
    EXPECT_FALSE(hub().bdeepOpenPhoto());
    EXPECT_EQ(hub().currentNode(), nullptr);
    EXPECT_EQ(hub().GetresultViewController(), nullptr);
    EXPECT_NE(hub().GetCleanViewController(), nullptr);
    EXPECT_NE(hub().GetDiskManageViewController(), nullptr);
    EXPECT_EQ(hub().currentDeviceSerial(), 0u);
    EXPECT_NE(hub().window(), nullptr);

    delegate_.reset();
    EXPECT_EQ(QuennicAppDelegate::GetAppControllor(), nullptr);
}

TEST_F(DelegateStateTest, TheBackupBrowserOpensEmptyAndMakesItsPageOnce) {
    int asked = 0;
    Alerts::ScopedHandler answer([&asked](QWidget*, const Alerts::Question&) {
        ++asked;
        return Alerts::Answer::Default;
    });
    hub().showIphoneDiskView();
    EXPECT_EQ(hub().GetPRIOSDeviceController()->rowCount(), 0);
    hub().actScanIOSBackupFile();
    EXPECT_EQ(hub().currentNode(), nullptr);
    auto* page = hub().GetresultViewController();
    ASSERT_NE(page, nullptr);
    hub().actScanIOSBackupFile();
    EXPECT_EQ(hub().GetresultViewController(), page);
    // Each opening says once that there is no backup.
    EXPECT_EQ(asked, 2);
}

TEST_F(DelegateStateTest, AnExportFolderThatCannotBeMadeIsReported) {
    delegate_.reset();
    // A file where the folder "Documents" should be.
    std::filesystem::remove_all(tmp_ / "home" / "Documents");
    std::ofstream(tmp_ / "home" / "Documents") << "not a folder";
    std::vector<QString> asked;
    Alerts::ScopedHandler answer([&asked](QWidget*, const Alerts::Question& question) {
        asked.push_back(question.message);
        return Alerts::Answer::Default;
    });
    delegate_ = std::make_unique<QuennicAppDelegate>();
    delegate_->applicationDidFinishLaunching();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked.front().contains("Pellucor"));
}

class BannerLayoutTest : public DelegateTest {};

TEST_F(BannerLayoutTest, EightPointTwoKeepsTheAppCleanTab) {
    attachNew("dev-a", Dev("Old").version("8.2"));
    EXPECT_FALSE(ui().appCleanBannerBtn->isHidden());
    EXPECT_EQ(ui().mainStatusBannerBtn->x(), 103);
    EXPECT_EQ(ui().appCleanBannerBtn->x(), 249);
    EXPECT_EQ(ui().adsRemoveBannerBtn->x(), 382);
    EXPECT_EQ(ui().privacyBannerBtn->x(), 529);
    EXPECT_EQ(ui().findLargeBannerBtn->x(), 665);
    EXPECT_EQ(ui().oneClickCopyBannerBtn->x(), 802);
    EXPECT_FALSE(ui().diskManageBannerBtn->isHidden());
    EXPECT_TRUE(ui().mainStatusBannerBtn->btnDown());
    EXPECT_FALSE(ui().StatuView->isHidden());
}

TEST_F(BannerLayoutTest, EightPointThreeHidesTheAppCleanTabAndMovesTheOthers) {
    attachNew("dev-a", Dev("New").version("8.3"));
    EXPECT_TRUE(ui().appCleanBannerBtn->isHidden());
    EXPECT_EQ(ui().mainStatusBannerBtn->x(), 176);
    EXPECT_EQ(ui().adsRemoveBannerBtn->x(), 322);
    EXPECT_EQ(ui().privacyBannerBtn->x(), 468);
    EXPECT_EQ(ui().findLargeBannerBtn->x(), 614);
    EXPECT_EQ(ui().oneClickCopyBannerBtn->x(), 760);
    EXPECT_FALSE(ui().oneClickCopyBannerBtn->isHidden());
}

TEST_F(BannerLayoutTest, SwitchingDevicesRelaysTheBanner) {
    attachNew("dev-a", Dev("New").version("12.4.1"));
    const int b = attachNew("dev-b", Dev("Old").version("8.2"));
    EXPECT_TRUE(ui().appCleanBannerBtn->isHidden());
    hub().ChangeToAnotherDevice(b);
    EXPECT_FALSE(ui().appCleanBannerBtn->isHidden());
    EXPECT_EQ(ui().appCleanBannerBtn->x(), 249);
}

class IOSTenFlagTest : public DelegateTest {};

TEST_F(IOSTenFlagTest, SetByAnAttachingCurrentDeviceAndNeverCleared) {
    attachNew("dev-a", Dev("A").version("9.3.5"));
    EXPECT_FALSE(hub().bIOS10Version());
    ASSERT_TRUE(detach("dev-a"));

    attachNew("dev-b", Dev("B").version("10.3"));
    EXPECT_TRUE(hub().bIOS10Version());
    ASSERT_TRUE(detach("dev-b"));

    attachNew("dev-c", Dev("C").version("9.3.5"));
    EXPECT_TRUE(hub().bIOS10Version()) << "an older device doesn't clear it";
}

TEST_F(IOSTenFlagTest, ASecondDeviceDoesNotSetIt) {
    attachNew("dev-a", Dev("A").version("9.3.5"));
    attachNew("dev-b", Dev("B").version("10.3"));
    EXPECT_FALSE(hub().bIOS10Version());
}

TEST_F(DelegateStateTest, DeviceImageFollowsTheModel) {
    attachNew("dev-a", Dev("Pad").type("iPad7,1"));
    EXPECT_EQ(ui::imageViewImageName(ui().deviceImageView), "ipadImage.png");
    const int b = attachNew("dev-b", Dev("Phone").type("iPhone9,1"));
    hub().ChangeToAnotherDevice(b);
    EXPECT_EQ(ui::imageViewImageName(ui().deviceImageView), "iphoneImage.png");
}

}  // namespace
}  // namespace nimbara::test
