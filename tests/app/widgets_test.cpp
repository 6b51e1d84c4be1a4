// The notification-posting controls: what each posts, with which object, and when it stays
// silent.
#include <gtest/gtest.h>

#include <QPointer>
#include <QStandardItemModel>
#include <memory>

#include "app_test_support.h"
#include "ui/notification_buttons.h"
#include "ui/table_cell_views.h"
#include "widget_test_support.h"

namespace {

using nimbara::test::PostRecorder;
using nimbara::test::sendClick;
using nimbara::test::sendEnter;
using nimbara::test::sendLeave;
using nimbara::test::sendMouse;
using Names = std::vector<std::string>;

class WidgetsTest : public ::testing::Test {
  protected:
    void SetUp() override { nimbara::test::ensureApplication(); }
};

// Every mouse-down-only button posts its name once per press, with itself as object.
template <class Button>
void expectMouseDownOnly(const char* downName) {
    Button button;
    button.resize(40, 20);
    PostRecorder recorder({downName});
    sendEnter(&button);
    sendLeave(&button);
    EXPECT_TRUE(recorder.posts.empty()) << downName << ": hover posts nothing";
    sendClick(&button);
    ASSERT_EQ(recorder.posts.size(), 1u) << downName;
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(&button)) << downName;
}

TEST_F(WidgetsTest, MouseDownButtonsPostTheirNamesWithThemselves) {
    expectMouseDownOnly<PRScanButton>("MyScanbuttonMouseDown");
    expectMouseDownOnly<PRClosedButton>("MyClosebuttonMouseDown");
    expectMouseDownOnly<PROneCopyButton>("MyOneCopyButtonMouseDown");
    expectMouseDownOnly<PRAppCleanButton>("MyAppCleanbuttonMouseDown");
    expectMouseDownOnly<PRDiskManagButton>("MyDiskManagebuttonMouseDown");
    expectMouseDownOnly<PRLargeFileButton>("MyLargeFileButtonMouseDown");
    expectMouseDownOnly<PRLinkButton>("PRLinkButtonMouseDown");
}

TEST_F(WidgetsTest, ScanButtonPostsOnceAndSendsNoAction) {
    PRScanButton button;
    button.resize(40, 20);
    int clicked = 0;
    int pressed = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicked; });
    QObject::connect(&button, &QAbstractButton::pressed, [&] { ++pressed; });
    PostRecorder recorder({"MyScanbuttonMouseDown"});
    sendClick(&button);
    EXPECT_EQ(recorder.posts.size(), 1u);
    EXPECT_EQ(clicked, 0);
    EXPECT_EQ(pressed, 0);
    EXPECT_FALSE(button.isDown());
    // A right click is not a mouse-down of the button.
    sendMouse(&button, QEvent::MouseButtonPress, {2, 2}, Qt::RightButton);
    EXPECT_EQ(recorder.posts.size(), 1u);
}

TEST_F(WidgetsTest, TwoButtonsOfOneClassAreToldApartByObject) {
    PRScanButton first;
    PRScanButton second;
    PostRecorder recorder({"MyScanbuttonMouseDown"});
    sendClick(&second);
    sendClick(&first);
    ASSERT_EQ(recorder.posts.size(), 2u);
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(&second));
    EXPECT_EQ(recorder.posts[1].second, static_cast<QObject*>(&first));
}

TEST_F(WidgetsTest, PlainButtonPostsHoverAndKeepsItsClick) {
    PRButton button(QStringLiteral("Scan"));
    button.resize(60, 24);
    int clicked = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicked; });
    PostRecorder recorder({"PRbuttonMouseEntered", "PRbuttonMouseExited"});
    sendEnter(&button);
    sendClick(&button);
    sendLeave(&button);
    EXPECT_EQ(recorder.names(), (Names{"PRbuttonMouseEntered", "PRbuttonMouseExited"}));
    for (const auto& post : recorder.posts) {
        EXPECT_EQ(post.second, static_cast<QObject*>(&button));
    }
    EXPECT_EQ(clicked, 1);
}

TEST_F(WidgetsTest, TableButtonPostsEnterExitAndDown) {
    PRTableButton button;
    button.resize(60, 24);
    int clicked = 0;
    QObject::connect(&button, &QAbstractButton::clicked, [&] { ++clicked; });
    PostRecorder recorder(
        {"MyTablebuttonMouseEnter", "MyTablebuttonMouseExit", "MyTablebuttonMouseDown"});
    sendEnter(&button);
    sendClick(&button);
    sendLeave(&button);
    EXPECT_EQ(recorder.names(), (Names{"MyTablebuttonMouseEnter", "MyTablebuttonMouseDown",
                                       "MyTablebuttonMouseExit"}));
    EXPECT_EQ(clicked, 0);
}

TEST_F(WidgetsTest, BannerButtonIsSilentOnHoverWhileDown) {
    PRBannerButton tab;
    tab.resize(80, 30);
    PostRecorder recorder(
        {"PRBannerButtonMouseEntered", "PRBannerButtonMouseExited", "PRBannerButtonMouseDown"});
    EXPECT_FALSE(tab.btnDown());

    sendEnter(&tab);
    EXPECT_EQ(recorder.names(), (Names{"PRBannerButtonMouseEntered"}));

    // The button is already down when its observer runs.
    bool downDuringPost = false;
    auto token = nimbara::NotificationCenter::defaultCenter().addObserver(
        "PRBannerButtonMouseDown", [&](const nimbara::Notification& n) {
            downDuringPost = n.objectAs<QObject*>() == &tab && tab.btnDown();
        });
    sendClick(&tab);
    EXPECT_TRUE(downDuringPost);
    EXPECT_TRUE(tab.btnDown());

    sendLeave(&tab);
    sendEnter(&tab);
    sendLeave(&tab);
    EXPECT_EQ(recorder.names(), (Names{"PRBannerButtonMouseEntered", "PRBannerButtonMouseDown"}));

    // Pressing the tab that is already down posts again.
    sendClick(&tab);
    EXPECT_EQ(recorder.posts.size(), 3u);

    tab.setBtnDown(false);
    sendEnter(&tab);
    sendLeave(&tab);
    EXPECT_EQ(recorder.names(), (Names{"PRBannerButtonMouseEntered", "PRBannerButtonMouseDown",
                                       "PRBannerButtonMouseDown", "PRBannerButtonMouseEntered",
                                       "PRBannerButtonMouseExited"}));
}

TEST_F(WidgetsTest, PrivacyButtonFollowsTheSameDownRule) {
    PRPrivacyButton button;
    PostRecorder recorder(
        {"PRPrivacyButtonEntered", "PRPrivacyButtonExited", "PRPrivacyButtonMouseDown"});
    sendEnter(&button);
    sendLeave(&button);
    sendClick(&button);
    sendEnter(&button);
    sendLeave(&button);
    EXPECT_EQ(recorder.names(), (Names{"PRPrivacyButtonEntered", "PRPrivacyButtonExited",
                                       "PRPrivacyButtonMouseDown"}));
    EXPECT_TRUE(button.btnDown());
    EXPECT_EQ(recorder.posts.back().second, static_cast<QObject*>(&button));
}

TEST_F(WidgetsTest, LinkButtonShowsThePointingHandWhileHovered) {
    PRLinkButton link;
    sendEnter(&link);
    EXPECT_EQ(link.cursor().shape(), Qt::PointingHandCursor);
    sendLeave(&link);
    EXPECT_EQ(link.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WidgetsTest, RejectButtonSwapsItsImageBackAfterAClick) {
    PRRejectButton reject;
    reject.setTheIndex(3);
    EXPECT_EQ(reject.imageName(), QStringLiteral("reject.png"));
    PostRecorder recorder(
        {"PRRejectButtonMouseEnter", "PRRejectButtonMouseExit", "PRRejectButtonMouseDown"});
    QString imageDuringDown;
    int indexDuringDown = -1;
    auto token = nimbara::NotificationCenter::defaultCenter().addObserver(
        "PRRejectButtonMouseDown", [&](const nimbara::Notification& n) {
            auto* button = qobject_cast<PRRejectButton*>(n.objectAs<QObject*>());
            ASSERT_NE(button, nullptr);
            imageDuringDown = button->imageName();
            indexDuringDown = button->theIndex();
        });

    sendEnter(&reject);
    EXPECT_EQ(reject.imageName(), QStringLiteral("reject_down.png"));
    EXPECT_EQ(reject.cursor().shape(), Qt::PointingHandCursor);
    sendClick(&reject);
    EXPECT_EQ(imageDuringDown, QStringLiteral("reject_down.png"));
    EXPECT_EQ(indexDuringDown, 3);
    // Still hovered, yet back to the normal image once the post returned.
    EXPECT_EQ(reject.imageName(), QStringLiteral("reject.png"));
    sendLeave(&reject);
    EXPECT_EQ(reject.imageName(), QStringLiteral("reject.png"));
    EXPECT_EQ(reject.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(recorder.names(), (Names{"PRRejectButtonMouseEnter", "PRRejectButtonMouseDown",
                                       "PRRejectButtonMouseExit"}));
}

TEST_F(WidgetsTest, RejectButtonRemovedByItsObserverIsNotTouchedAfterThePost) {
    auto* reject = new PRRejectButton;
    auto token = nimbara::NotificationCenter::defaultCenter().addObserver(
        "PRRejectButtonMouseDown", [](const nimbara::Notification& n) {
            delete n.objectAs<QObject*>();  // the popover rebuilds its rows
        });
    const QPointer<PRRejectButton> watch(reject);
    sendMouse(reject, QEvent::MouseButtonPress);
    EXPECT_TRUE(watch.isNull());
}

TEST_F(WidgetsTest, CheckBoxTogglesByImageNameAndPostsEachTime) {
    PRCustomCellView cell;
    cell.setCurrentRow(4);
    cell.setBlargeFile(true);
    EXPECT_EQ(cell.checkBtn()->imageName(), QStringLiteral("unselectedstate.png"));

    std::vector<QString> imagesSeen;
    PostRecorder recorder({"tableCheckButtonNotification"});
    auto token = nimbara::NotificationCenter::defaultCenter().addObserver(
        "tableCheckButtonNotification", [&](const nimbara::Notification& n) {
            auto* view = qobject_cast<PRCustomCellView*>(n.objectAs<QObject*>());
            ASSERT_NE(view, nullptr);
            EXPECT_EQ(view->currentRow(), 4);
            EXPECT_TRUE(view->blargeFile());
            imagesSeen.push_back(view->checkBtn()->imageName());
        });

    cell.checkBtn()->click();
    EXPECT_EQ(cell.checkBtn()->imageName(), QStringLiteral("selectedstate.png"));
    cell.checkBtn()->click();
    EXPECT_EQ(cell.checkBtn()->imageName(), QStringLiteral("unselectedstate.png"));
    ASSERT_EQ(recorder.posts.size(), 2u);
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(&cell));
    EXPECT_EQ(imagesSeen, (std::vector<QString>{QStringLiteral("selectedstate.png"),
                                                QStringLiteral("unselectedstate.png")}));

    // Any image other than the unselected one counts as selected: the next click clears it.
    cell.checkBtn()->setImage(QStringLiteral("something-else.png"));
    cell.ClickCheckBtn();
    EXPECT_EQ(cell.checkBtn()->imageName(), QStringLiteral("unselectedstate.png"));
}

TEST_F(WidgetsTest, CheckBoxCanBeReplaced) {
    PRCustomCellView cell;
    auto* replacement = new nimbara::ui::ImageButton;
    replacement->setImage(QStringLiteral("selectedstate.png"));
    cell.setCheckBtn(replacement);
    EXPECT_EQ(cell.checkBtn(), replacement);
    EXPECT_EQ(replacement->parent(), &cell);
    PostRecorder recorder({"tableCheckButtonNotification"});
    replacement->click();
    EXPECT_EQ(replacement->imageName(), QStringLiteral("unselectedstate.png"));
    EXPECT_EQ(recorder.posts.size(), 1u);
    cell.setCheckBtn(nullptr);
    EXPECT_EQ(cell.checkBtn(), replacement);
}

TEST_F(WidgetsTest, TableViewPostsInsteadOfSelecting) {
    QStandardItemModel model(3, 1);
    for (int row = 0; row < 3; ++row) {
        model.setItem(row, 0, new QStandardItem(QStringLiteral("row %1").arg(row)));
    }
    PRTableView table;
    table.setModel(&model);
    table.resize(200, 150);
    table.show();
    PostRecorder recorder({"PRBackViewMouseDown"});
    const QRect cell = table.visualRect(model.index(1, 0));
    sendClick(table.viewport(), cell.center());
    ASSERT_EQ(recorder.posts.size(), 1u);
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(&table));
    EXPECT_FALSE(table.selectionModel()->hasSelection());
}

}  // namespace
