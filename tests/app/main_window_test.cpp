// The windows built in code (every outlet named after itself), the launch layout, the exit
// question, the close button, sheet placement and the other chrome of the main window.
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTextEdit>
#include <QWidget>

#include <string>
#include <utility>
#include <vector>

#include "app/main_window_ui.h"
#include "app/quick_scan_window_ui.h"
#include "delegate_fixture.h"
#include "ui/alerts.h"
#include "ui/color_progress_view.h"
#include "ui/custom_view.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "widget_test_support.h"

namespace nimbara::test {
namespace {

#define OUTLET(ui, name) std::pair<const QObject*, const char*>(ui.name, #name)

std::vector<std::pair<const QObject*, const char*>> mainOutlets(const MainWindowUi& u) {
    return {
        OUTLET(u, window),
        OUTLET(u, aboutWindow),
        OUTLET(u, leadWindow),
        OUTLET(u, cryWindow),
        OUTLET(u, topWindowImageView),
        OUTLET(u, logoImageView),
        OUTLET(u, closedButton),
        OUTLET(u, minButton),
        OUTLET(u, maxButton),
        OUTLET(u, backQuickScanModeBtn),
        OUTLET(u, deviceNamePopBtn),
        OUTLET(u, checkUpdateItem),
        OUTLET(u, mainwindowbackImageView),
        OUTLET(u, mainStatusBannerBtn),
        OUTLET(u, diskManageBannerBtn),
        OUTLET(u, appCleanBannerBtn),
        OUTLET(u, adsRemoveBannerBtn),
        OUTLET(u, privacyBannerBtn),
        OUTLET(u, findLargeBannerBtn),
        OUTLET(u, oneClickCopyBannerBtn),
        OUTLET(u, mainShowView),
        OUTLET(u, StatuView),
        OUTLET(u, TansferView),
        OUTLET(u, BackupView),
        OUTLET(u, ClearnView),
        OUTLET(u, iTunesBackupBroswerView),
        OUTLET(u, musicView),
        OUTLET(u, cleanLogView),
        OUTLET(u, systemlibView),
        OUTLET(u, appView),
        OUTLET(u, noDeviceView),
        OUTLET(u, diskManageView),
        OUTLET(u, findLargerView),
        OUTLET(u, oneCopyView),
        OUTLET(u, adsRemoveView),
        OUTLET(u, privacyCleanView),
        OUTLET(u, manageDeviceView),
        OUTLET(u, manageHasDeviceView),
        OUTLET(u, manageNoDeviceView),
        OUTLET(u, iDeviceStatuBtn),
        OUTLET(u, iDeviceImageView),
        OUTLET(u, iDeviceTextlab),
        OUTLET(u, systemlibBtn),
        OUTLET(u, systemlibImageView),
        OUTLET(u, systemlibTextlab),
        OUTLET(u, appBtn),
        OUTLET(u, appImageView),
        OUTLET(u, appTextlab),
        OUTLET(u, photoBtn),
        OUTLET(u, photoImageView),
        OUTLET(u, photoTextlab),
        OUTLET(u, musicBtn),
        OUTLET(u, musicImageView),
        OUTLET(u, musicTextlab),
        OUTLET(u, videoBtn),
        OUTLET(u, videoImageView),
        OUTLET(u, videoTextlab),
        OUTLET(u, tempJunkFileBtn),
        OUTLET(u, tempJunkFileImageView),
        OUTLET(u, tempJunkFileTextlab),
        OUTLET(u, cacheBtn),
        OUTLET(u, cacheImageView),
        OUTLET(u, cacheTextlab),
        OUTLET(u, cookieBtn),
        OUTLET(u, cookieImageView),
        OUTLET(u, cookieTextlab),
        OUTLET(u, syncBtn),
        OUTLET(u, syncImageView),
        OUTLET(u, syncTextlab),
        OUTLET(u, backupBtn),
        OUTLET(u, backupImageView),
        OUTLET(u, backupTextlab),
        OUTLET(u, broswerBtn),
        OUTLET(u, broswerImageView),
        OUTLET(u, broswerTextlab),
        OUTLET(u, transContactBtn),
        OUTLET(u, transContactImageView),
        OUTLET(u, transContactTextlab),
        OUTLET(u, transMessageBtn),
        OUTLET(u, transMessageImageView),
        OUTLET(u, transMessageTextlab),
        OUTLET(u, transNoteBtn),
        OUTLET(u, transNoteImageView),
        OUTLET(u, transNoteTextlab),
        OUTLET(u, transferBtn),
        OUTLET(u, cleanBtn),
        OUTLET(u, backupDeviceBtn),
        OUTLET(u, broswerMainBtn),
        OUTLET(u, circleSystemProgress),
        OUTLET(u, circleAppProgress),
        OUTLET(u, circlePhotoProgress),
        OUTLET(u, circleMusicProgress),
        OUTLET(u, circleVideoProgress),
        OUTLET(u, circleContactProgress),
        OUTLET(u, circleMessageProgress),
        OUTLET(u, circleNoteProgress),
        OUTLET(u, connectDeviceBtn),
        OUTLET(u, connectDeviceImageView),
        OUTLET(u, connectDevicelab),
        OUTLET(u, disConnectBroswerMainBtn),
        OUTLET(u, disConnectBroswerBtn),
        OUTLET(u, disConnectBroswerImageView),
        OUTLET(u, disConnectTextlab),
        OUTLET(u, topInfoImageView),
        OUTLET(u, topInfolab1),
        OUTLET(u, topInfolab2),
        OUTLET(u, topInfolab3),
        OUTLET(u, topInfoAnytlab),
        OUTLET(u, deviceImageView),
        OUTLET(u, deviceNamelab),
        OUTLET(u, theCustomView),
        OUTLET(u, percentStoragelab),
        OUTLET(u, usedSizelab),
        OUTLET(u, freeSizelab),
        OUTLET(u, iDeviceCapacitylab),
        OUTLET(u, iDeviceSoftwareVersionlab),
        OUTLET(u, iDeviceFirmlab),
        OUTLET(u, iDeviceIDlab),
        OUTLET(u, iDeviceSeriallab),
        OUTLET(u, iDevicepPhonelab),
        OUTLET(u, iDeviceCapacityValuelab),
        OUTLET(u, iDeviceSoftwareVersionValuelab),
        OUTLET(u, iDeviceFirmValuelab),
        OUTLET(u, iDeviceIDValuelab),
        OUTLET(u, iDeviceSerialValuelab),
        OUTLET(u, iDevicepPhoneValuelab),
        OUTLET(u, iDeviceColorView),
        OUTLET(u, usedSpaceLab),
        OUTLET(u, freeSpacelab),
        OUTLET(u, photoSizelab),
        OUTLET(u, musicSizelab),
        OUTLET(u, movieSizelab),
        OUTLET(u, appSizelab),
        OUTLET(u, otherSizelab),
        OUTLET(u, photoButton),
        OUTLET(u, musicButton),
        OUTLET(u, bookButton),
        OUTLET(u, videoButton),
        OUTLET(u, userAppsButton),
        OUTLET(u, systemAppsButton),
        OUTLET(u, userDataButton),
        OUTLET(u, manageBroswerBackupView),
        OUTLET(u, manageHasBackupView),
        OUTLET(u, manageNoBackUpView),
        OUTLET(u, imageView),
        OUTLET(u, button),
        OUTLET(u, tableScrolleView),
        OUTLET(u, diskTableView),
        OUTLET(u, infoTextlab),
        OUTLET(u, notelab),
        OUTLET(u, helpBtn),
        OUTLET(u, titleline),
        OUTLET(u, backupBroswerBt),
        OUTLET(u, cleanShowView),
        OUTLET(u, cleanScanView),
        OUTLET(u, cleanFinishView),
        OUTLET(u, fixResultView),
        OUTLET(u, scanAppImageView),
        OUTLET(u, scanAppFinishImageView),
        OUTLET(u, cleanprogressor),
        OUTLET(u, cleanFilelab),
        OUTLET(u, scanResultlab),
        OUTLET(u, fixIssueBtn),
        OUTLET(u, fixSuccesslab),
        OUTLET(u, fixInfolab),
        OUTLET(u, bottomImageView),
        OUTLET(u, bottomMainImageView),
        OUTLET(u, mainBottomImageView),
        OUTLET(u, noDeveiceBottomImageView),
        OUTLET(u, mainTextlab),
        OUTLET(u, logotuImageView),
        OUTLET(u, weclcomeField),
        OUTLET(u, tipField),
        OUTLET(u, tiponeField),
        OUTLET(u, tipOneValueField),
        OUTLET(u, tipTwoField),
        OUTLET(u, tipTwoValueField),
        OUTLET(u, tipThreeField),
        OUTLET(u, masterlab),
        OUTLET(u, goodlab),
        OUTLET(u, cryInfolab),
        OUTLET(u, suggestionView),
        OUTLET(u, senderIndicator),
    };
}

std::vector<std::pair<const QObject*, const char*>> quickOutlets(const QuickScanWindowUi& u) {
    return {
        OUTLET(u, quickScanWindow),
        OUTLET(u, errorwarnWindow),
        OUTLET(u, quickDeepScanBtn),
        OUTLET(u, theContentView),
        OUTLET(u, theConnectNoDeviceView),
        OUTLET(u, theContentResultView),
        OUTLET(u, scanGifImageView),
        OUTLET(u, cleanGifImageView),
        OUTLET(u, deviceTotallab),
        OUTLET(u, lineImageView),
        OUTLET(u, theInfoContentView),
        OUTLET(u, theInfoTableDisplayView),
        OUTLET(u, theInfoCleanFinishView),
        OUTLET(u, cleanupFileSizelab),
        OUTLET(u, quickPhotoCheckBtn),
        OUTLET(u, quickJunkCheckBtn),
        OUTLET(u, quickLargeFileCheckBtn),
        OUTLET(u, quickLargeAppCheckBtn),
        OUTLET(u, quickPhotoImageView),
        OUTLET(u, quickJunkImageView),
        OUTLET(u, quickLargeFileImageView),
        OUTLET(u, quickLargeAppImageView),
        OUTLET(u, quickPhotolab),
        OUTLET(u, quickJunklab),
        OUTLET(u, quickLargeFilelab),
        OUTLET(u, quickLargeApplab),
        OUTLET(u, devicephotolab),
        OUTLET(u, deviceJunklab),
        OUTLET(u, deviceLargeFilelab),
        OUTLET(u, deviceLargeApplab),
        OUTLET(u, photoInfoBtn),
        OUTLET(u, largeFileInfoBtn),
        OUTLET(u, largeAppInfoBtn),
        OUTLET(u, expandLargeFileBtn),
        OUTLET(u, expandLargeAppBtn),
        OUTLET(u, theLargeFileView),
        OUTLET(u, theLargeAppView),
        OUTLET(u, bigFileScrollView),
        OUTLET(u, bigAppScrollView),
        OUTLET(u, bigFileTableView),
        OUTLET(u, bigAppTableView),
        OUTLET(u, contentBottomView),
        OUTLET(u, scanButtonBottomView),
        OUTLET(u, quickScnDeviceBtn),
        OUTLET(u, scanProcessBottomView),
        OUTLET(u, scanProgressor),
        OUTLET(u, cleanupBottomView),
        OUTLET(u, quickCleanupDeviceBtn),
        OUTLET(u, quickRescanDeviceBtn),
        OUTLET(u, cleanUpProcessBottomView),
        OUTLET(u, cleanupProgressor),
        OUTLET(u, cleanupProcesslab),
        OUTLET(u, shareBottomView),
        OUTLET(u, newShareFaceBookBtn),
        OUTLET(u, newShareTwitterBtn),
        OUTLET(u, newShareMessageBtn),
        OUTLET(u, quickSmallDeepScanBtn),
    };
}

#undef OUTLET

class MainWindowTest : public DelegateTest {};

TEST_F(MainWindowTest, EveryOutletExistsUnderItsOwnName) {
    for (const auto& [outlet, name] : mainOutlets(ui())) {
        SCOPED_TRACE(name);
        ASSERT_NE(outlet, nullptr);
        EXPECT_EQ(outlet->objectName(), QLatin1String(name));
    }
    for (const auto& [outlet, name] : quickOutlets(*hub().quickScanUi())) {
        SCOPED_TRACE(name);
        ASSERT_NE(outlet, nullptr);
        EXPECT_EQ(outlet->objectName(), QLatin1String(name));
    }
    // The fifteen pages sit in the container in their order, the sidebar entries in theirs.
    const std::vector<QString> pageNames = {"StatuView",
                                            "TansferView",
                                            "BackupView",
                                            "ClearnView",
                                            "iTunesBackupBroswerView",
                                            "musicView",
                                            "cleanLogView",
                                            "systemlibView",
                                            "appView",
                                            "noDeviceView",
                                            "diskManageView",
                                            "findLargerView",
                                            "oneCopyView",
                                            "adsRemoveView",
                                            "privacyCleanView"};
    std::vector<QString> pages;
    for (QWidget* page : ui().pageViews()) {
        EXPECT_EQ(page->parentWidget(), ui().mainShowView);
        pages.push_back(page->objectName());
    }
    EXPECT_EQ(pages, pageNames);
    EXPECT_EQ(hub().quickScanUi()->quickScanWindow->size(), QSize(414, 755));
}

TEST_F(MainWindowTest, LaunchLayoutShowsTheNoDeviceState) {
    MainWindowUi& w = ui();
    for (QWidget* page : w.pageViews()) {
        EXPECT_EQ(shown(page), page == w.noDeviceView) << page->objectName().toStdString();
    }
    for (QWidget* tab : {static_cast<QWidget*>(w.mainStatusBannerBtn),
                         static_cast<QWidget*>(w.diskManageBannerBtn),
                         static_cast<QWidget*>(w.oneClickCopyBannerBtn)}) {
        EXPECT_FALSE(shown(tab));
    }
    EXPECT_FALSE(shown(w.manageHasDeviceView));
    EXPECT_TRUE(shown(w.manageNoDeviceView));
    EXPECT_TRUE(shown(w.cleanScanView));
    EXPECT_FALSE(shown(w.cleanFinishView));
    EXPECT_FALSE(shown(w.circleNoteProgress));
    EXPECT_FALSE(shown(w.senderIndicator));
    EXPECT_FALSE(hub().bDiskManage || hub().bPrivacyClean || hub().bOneClickCopy);
    EXPECT_TRUE(w.checkUpdateItem->isEnabled());
    EXPECT_EQ(w.cleanprogressor->value(), 1);
    EXPECT_EQ(w.window->palette().color(QPalette::Window), ui::kWindowBlue);
    EXPECT_EQ(ui::entryBackground(w.connectDeviceBtn), ui::kSelectedBlue);
    EXPECT_EQ(ui::labelColour(w.iDeviceCapacityValuelab), ui::kLabelSlate);
    EXPECT_EQ(ui::imageViewImageName(w.mainBottomImageView), "mainBottomImage.png");

    // The back-to-quick-scan button sits 920 to the right of the close button, at its height.
    EXPECT_EQ(w.backQuickScanModeBtn->parentWidget(), w.closedButton->parentWidget());
    EXPECT_EQ(w.backQuickScanModeBtn->x(), w.closedButton->x() + 920);
    EXPECT_EQ(w.backQuickScanModeBtn->y(), w.closedButton->y());

    QuickScanWindowUi& q = *hub().quickScanUi();
    EXPECT_TRUE(shown(q.theConnectNoDeviceView));
    EXPECT_FALSE(shown(q.theContentResultView));
    EXPECT_TRUE(shown(q.theInfoTableDisplayView));
    EXPECT_FALSE(shown(q.theInfoCleanFinishView));
    EXPECT_TRUE(q.bigFileTableView->horizontalHeader()->isHidden());
    EXPECT_FALSE(q.quickScnDeviceBtn->isEnabled());
    EXPECT_TRUE(shown(q.scanNoDevicelab));
}

TEST_F(MainWindowTest, QuickScanBottomBarIsPreparedWhenADeviceBecomesCurrent) {
    QuickScanWindowUi& q = *hub().quickScanUi();
    q.shareBottomView->show();
    q.bigAppScrollView->show();
    q.photoInfoBtn->show();
    ASSERT_GE(attachNew("quick-phone", Dev("Quick Phone")), 0);
    EXPECT_TRUE(shown(q.scanButtonBottomView));
    for (QWidget* bar : {q.scanProcessBottomView, q.cleanupBottomView, q.cleanUpProcessBottomView,
                         q.shareBottomView}) {
        EXPECT_FALSE(shown(bar)) << bar->objectName().toStdString();
    }
    EXPECT_FALSE(shown(q.bigFileScrollView));
    EXPECT_FALSE(shown(q.bigAppScrollView));
    EXPECT_FALSE(shown(q.photoInfoBtn));
    EXPECT_FALSE(shown(q.quickJunkCheckBtn));
    EXPECT_EQ(q.theLargeAppView->pos(), q.theLargeFileView->pos() + QPoint(0, 48));
    EXPECT_TRUE(shown(q.theContentResultView));
}

TEST_F(MainWindowTest, ExitQuestionCancelKeepsTheWindowOpen) {
    std::vector<Alerts::Question> asked;
    Alerts::Answer answer = Alerts::Answer::Alternate;
    Alerts::ScopedHandler handler([&](QWidget*, const Alerts::Question& q) {
        asked.push_back(q);
        return answer;
    });
    ui().window->show();
    EXPECT_FALSE(ui().window->close());
    EXPECT_TRUE(ui().window->isVisible());
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].message, "Are you sure you want to Exit ?");
    EXPECT_EQ(asked[0].defaultButton, " Exit ");
    EXPECT_EQ(asked[0].alternateButton, "Cancel");
    EXPECT_TRUE(asked[0].otherButton.isEmpty());
    EXPECT_TRUE(asked[0].informativeText.isEmpty());

    EXPECT_FALSE(hub().windowShouldClose(ui().window));
    answer = Alerts::Answer::Default;
    EXPECT_TRUE(hub().windowShouldClose(ui().window));
    EXPECT_EQ(asked.size(), 3u);
    ui().window->hide();
}

TEST_F(MainWindowTest, CloseButtonShowsItsPressedLookDuringTheQuestion) {
    for (int version : {10, 9}) {
        SCOPED_TRACE(version);
        hub().setMacOsVer(version);
        QString imageWhileAsked;
        Alerts::ScopedHandler handler([&](QWidget*, const Alerts::Question&) {
            imageWhileAsked = ui().closedButton->imageName();
            return Alerts::Answer::Alternate;
        });
        sendMouse(ui().closedButton, QEvent::MouseButtonPress);
        sendMouse(ui().closedButton, QEvent::MouseButtonRelease);
        EXPECT_EQ(imageWhileAsked, version > 9 ? "Close_Down.png" : "titlebarreddown.png");
        EXPECT_EQ(ui().closedButton->imageName(),
                  version > 9 ? "Close_Nom.png" : "titlebarred.png");
    }
    // The same notification from another control asks nothing.
    int questions = 0;
    Alerts::ScopedHandler counting([&](QWidget*, const Alerts::Question&) {
        ++questions;
        return Alerts::Answer::Alternate;
    });
    PRClosedButton stranger;
    sendMouse(&stranger, QEvent::MouseButtonPress);
    EXPECT_EQ(questions, 0);
}

TEST_F(MainWindowTest, SheetsGoOnePointOrAWholeBannerBelow) {
    const QRectF given(40.0, 200.0, 300.0, 120.0);
    EXPECT_EQ(QuennicAppDelegate::positionSheet(559.0, given), QRectF(40.0, 201.0, 300.0, 120.0));
    EXPECT_EQ(QuennicAppDelegate::positionSheet(537.0, given), QRectF(40.0, 201.0, 300.0, 120.0));
    for (double height : {558.0, 559.5, 538.0, 0.0, 660.0}) {
        EXPECT_EQ(QuennicAppDelegate::positionSheet(height, given),
                  QRectF(40.0, 313.0, 300.0, 120.0))
            << height;
    }
    // The delegate's form reads the main window's height.
    EXPECT_EQ(hub().window(ui().window, nullptr, given), QRectF(40.0, 313.0, 300.0, 120.0));
}

TEST_F(MainWindowTest, ChromeOperations) {
    // The backup start page's controls hide and show together.
    hub().hideMainView();
    for (QWidget* view : {static_cast<QWidget*>(ui().imageView), ui().tableScrolleView,
                          static_cast<QWidget*>(ui().helpBtn), ui().titleline}) {
        EXPECT_FALSE(shown(view));
    }
    hub().showMainView();
    for (QWidget* view : {static_cast<QWidget*>(ui().imageView), ui().tableScrolleView,
                          static_cast<QWidget*>(ui().notelab), ui().titleline}) {
        EXPECT_TRUE(shown(view));
    }

    ui().mainBottomImageView->hide();
    hub().HiddenMainBottomImageView();
    EXPECT_FALSE(shown(ui().mainBottomImageView));
    hub().showMainBottomImageview();
    EXPECT_TRUE(shown(ui().mainBottomImageView));

    // A picture of a view, none for no view.
    EXPECT_TRUE(hub().cacheImageForView(nullptr).isNull());
    QLabel view(QStringLiteral("picture"));
    view.resize(60, 30);
    const QImage picture = hub().cacheImageForView(&view);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size() / picture.devicePixelRatio(), QSize(60, 30));

    // The about window opens once and stays open on a second request.
    hub().ClickAbout(nullptr);
    EXPECT_TRUE(ui().aboutWindow->isVisible());
    hub().ClickAbout(nullptr);
    EXPECT_TRUE(ui().aboutWindow->isVisible());
    ui().aboutWindow->hide();

    // The welcome sheet and the feedback sheet close; cancelling feedback keeps the program.
    ui().leadWindow->show();
    hub().ClickStart(nullptr);
    EXPECT_FALSE(ui().leadWindow->isVisible());
    ui().cryWindow->show();
    hub().Cancel(nullptr);
    EXPECT_FALSE(ui().cryWindow->isVisible());
}

TEST_F(MainWindowTest, SidebarControlsRunTheirActions) {
    ASSERT_GE(attachNew("click-phone", Dev("Click Phone")), 0);
    ui().musicBtn->click();
    EXPECT_TRUE(shown(ui().TansferView));
    EXPECT_EQ(ui::entryBackground(ui().musicBtn), ui::kSelectedBlue);
    ui().cacheBtn->click();
    EXPECT_TRUE(shown(ui().ClearnView));
    EXPECT_EQ(ui::entryBackground(ui().cacheBtn), ui::kSelectedBlue);
    ui().iDeviceStatuBtn->click();
    EXPECT_TRUE(shown(ui().StatuView));
    ui().userAppsButton->click();
    EXPECT_TRUE(shown(ui().diskManageView));
}

// Pages take a larger window: their tables and lists grow with it, beside the sidebar and over
// the whole width; the designed size is the smallest the window gets.
TEST_F(MainWindowTest, PagesGrowWithTheWindow) {
    ASSERT_GE(attachNew("grow-phone", Dev("Grow Phone")), 0);
    QMainWindow* window = ui().window;
    window->show();
    const struct {
        const char* name;
        void (QuennicAppDelegate::*open)(QObject*);
        const char* table;
    } pages[] = {
        {"beside the sidebar", &QuennicAppDelegate::ClickMusic, "musicTableView"},
        {"beside the sidebar, with a picture", &QuennicAppDelegate::ClickApp, "appTableView"},
        {"over the whole width", &QuennicAppDelegate::ClickPhotoDiskManage, "photoFileTableview"},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.name);
        window->resize(app::kMainWindowWidth, app::kMainWindowHeight);
        (hub().*page.open)(nullptr);
        auto* table = window->findChild<QTableView*>(QLatin1String(page.table));
        ASSERT_NE(table, nullptr);
        pumpEvents(5);
        ASSERT_TRUE(table->isVisible());
        const QSize designed = table->size();
        window->resize(app::kMainWindowWidth + 500, app::kMainWindowHeight + 300);
        pumpEvents(5);
        // Most of what the window gained.
        EXPECT_GE(table->width() - designed.width(), 300);
        EXPECT_GE(table->height() - designed.height(), 250);
    }
    window->resize(400, 300);
    EXPECT_EQ(window->size(), QSize(app::kMainWindowWidth, app::kMainWindowHeight));
}

}  // namespace
}  // namespace nimbara::test
