// Image cells, button cells, read-only text, the popover content and image resizing.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>

#include "app_test_support.h"
#include "ui/button_cells.h"
#include "ui/custom_window.h"
#include "ui/image_resize.h"
#include "ui/image_text_cells.h"
#include "ui/pop_view_controller.h"
#include "ui/read_only_text.h"
#include "ui/table_cell_views.h"
#include "widget_test_support.h"

namespace {

using nimbara::test::PostRecorder;
using nimbara::test::sendClick;
using nimbara::test::sendMouse;

class CellsTest : public ::testing::Test {
  protected:
    void SetUp() override { nimbara::test::ensureApplication(); }
};

TEST_F(CellsTest, ImageCellRectanglesSplitOffTheImageSlice) {
    const QRect frame(10, 40, 200, 20);
    const QSize icon(16, 16);
    EXPECT_EQ(PRImageCellBase::imageRectForBounds(frame, icon), QRect(13, 42, 16, 16));
    EXPECT_EQ(PRImageCellBase::titleRectForBounds(frame, icon), QRect(29, 40, 181, 20));
    // An odd difference rounds up: (21 - 16) / 2 = 2.5 -> 3.
    EXPECT_EQ(PRImageCellBase::imageRectForBounds(QRect(0, 0, 50, 21), icon).y(), 3);
    EXPECT_EQ(PRImageCellBase::editingRect(frame, icon), QRect(29, 40, 181, 20));
    // Without an image both rectangles are empty and editing loses only 3 points.
    EXPECT_EQ(PRImageCellBase::imageRectForBounds(frame, QSize()), QRect());
    EXPECT_EQ(PRImageCellBase::titleRectForBounds(frame, QSize()), QRect());
    EXPECT_EQ(PRImageCellBase::editingRect(frame, QSize()), QRect(13, 40, 197, 20));
}

TEST_F(CellsTest, EachImageCellDrawsItsImageAndTextAtItsOwnOffsets) {
    PRImageAndTextCell tick;
    PRAppImageAndTextCell app;
    PRImageNoTextCell noText;
    const QRect row(0, 100, 300, 20);
    const QSize icon(16, 16);

    // A 16-point image in a 20-point row ends at row y + 17 (ceil(36 / 2) - 1).
    for (const PRImageCellBase* cell :
         {static_cast<PRImageCellBase*>(&tick), static_cast<PRImageCellBase*>(&app),
          static_cast<PRImageCellBase*>(&noText)}) {
        const QRect drawn = cell->imageDrawRect(row, icon);
        EXPECT_EQ(drawn.y() + drawn.height(), 117);
        EXPECT_EQ(drawn.size(), icon);
    }
    EXPECT_EQ(tick.imageDrawRect(row, icon).x(), 3);
    EXPECT_EQ(app.imageDrawRect(row, icon).x(), 13);
    EXPECT_EQ(noText.imageDrawRect(row, icon).x(), 83);

    EXPECT_EQ(tick.textRect(row, icon), QRect(19, 100, 281, 20));
    EXPECT_EQ(app.textRect(row, icon), QRect(29, 118, 281, 2));
    EXPECT_EQ(noText.textRect(row, icon), QRect(19, 100, 281, 20));

    // Without an image the text moves down: 5 points, 18 for the app cell.
    EXPECT_EQ(tick.textRect(row, QSize()), QRect(0, 105, 300, 15));
    EXPECT_EQ(app.textRect(row, QSize()), QRect(0, 118, 300, 2));
    EXPECT_EQ(noText.textRect(row, QSize()), QRect(0, 105, 300, 15));
    EXPECT_EQ(tick.imageDrawRect(row, QSize()), QRect());
}

TEST_F(CellsTest, ImageCellHitTestFavoursTheImage) {
    const QRect frame(0, 0, 200, 20);
    const QSize icon(16, 16);
    EXPECT_EQ(PRImageCellBase::hitTest({5, 5}, frame, icon), PRCellHit::Content);
    EXPECT_EQ(PRImageCellBase::hitTest({100, 10}, frame, icon), PRCellHit::Content);
    EXPECT_EQ(PRImageCellBase::hitTest({250, 10}, frame, icon), PRCellHit::None);
    EXPECT_EQ(PRImageCellBase::hitTest({1, 10}, frame, QSize()), PRCellHit::Content);
}

TEST_F(CellsTest, CellImageComesFromTheRowDecorationFirst) {
    PRImageAndTextCell cell;
    QPixmap own(10, 10);
    own.fill(Qt::red);
    cell.setImage(own);
    QStandardItemModel model(2, 1);
    model.setItem(0, 0, new QStandardItem(QStringLiteral("plain")));
    QPixmap rowIcon(24, 24);
    rowIcon.fill(Qt::blue);
    auto* decorated = new QStandardItem(QStringLiteral("decorated"));
    decorated->setData(rowIcon, Qt::DecorationRole);
    model.setItem(1, 0, decorated);
    EXPECT_EQ(cell.imageFor(model.index(0, 0)).size(), QSize(10, 10));
    EXPECT_EQ(cell.imageFor(model.index(1, 0)).size(), QSize(24, 24));
    // Wider by the image and its 3-point margin.
    QStyleOptionViewItem option;
    const int plainWidth = cell.sizeHint(option, model.index(0, 0)).width();
    cell.setImage(QPixmap());
    EXPECT_EQ(cell.sizeHint(option, model.index(0, 0)).width(), plainWidth - 10);
}

TEST_F(CellsTest, TickFlagFollowsTheClickPosition) {
    // x - w / 2 - f - 264 <= 0
    EXPECT_TRUE(PRImageAndTextCell::tickHitFor(272, 0, 16));
    EXPECT_FALSE(PRImageAndTextCell::tickHitFor(273, 0, 16));
    EXPECT_TRUE(PRImageAndTextCell::tickHitFor(300, 40, 0));
    EXPECT_FALSE(PRImageAndTextCell::tickHitFor(305, 40, 0));
}

class CellTableTest : public CellsTest {
  protected:
    void SetUp() override {
        CellsTest::SetUp();
        model = std::make_unique<QStandardItemModel>(3, 1);
        for (int row = 0; row < 3; ++row) {
            model->setItem(row, 0, new QStandardItem(QStringLiteral("row %1").arg(row)));
        }
        table = std::make_unique<QTableView>();
        table->setModel(model.get());
        table->resize(400, 200);
        table->setColumnWidth(0, 380);
        table->show();
    }
    void TearDown() override {
        table.reset();
        model.reset();
    }
    QPoint cellPoint(int row, int dx) const {
        const QRect rect = table->visualRect(model->index(row, 0));
        return {rect.x() + dx, rect.center().y()};
    }

    std::unique_ptr<QStandardItemModel> model;
    std::unique_ptr<QTableView> table;
};

TEST_F(CellTableTest, ClickOnATickCellSetsTheProcessFlag) {
    PRImageAndTextCell cell;
    table->setItemDelegate(&cell);
    setImageTextCellTickHit(false);
    sendMouse(table->viewport(), QEvent::MouseButtonPress, cellPoint(1, 5));
    EXPECT_TRUE(imageTextCellTickHit());
    sendMouse(table->viewport(), QEvent::MouseButtonRelease, cellPoint(1, 5));
    sendMouse(table->viewport(), QEvent::MouseButtonPress, cellPoint(1, 370));
    EXPECT_FALSE(imageTextCellTickHit());
    sendMouse(table->viewport(), QEvent::MouseButtonRelease, cellPoint(1, 370));
    table->setItemDelegate(nullptr);
}

TEST_F(CellTableTest, ImageNoTextCellPostsItsTable) {
    PRImageNoTextCell cell;
    table->setItemDelegate(&cell);
    PostRecorder recorder({"TheImageTextCellHavebeenDown"});
    sendClick(table->viewport(), cellPoint(2, 10));
    ASSERT_EQ(recorder.posts.size(), 1u);
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(table.get()));
    table->setItemDelegate(nullptr);
}

TEST_F(CellTableTest, NoCellSeesAPressInAPostingTable) {
    PRTableView postingTable;
    postingTable.setModel(model.get());
    postingTable.resize(300, 150);
    postingTable.show();
    PRImageNoTextCell cell;
    postingTable.setItemDelegate(&cell);
    PostRecorder recorder({"TheImageTextCellHavebeenDown", "PRBackViewMouseDown"});
    const QRect rect = postingTable.visualRect(model->index(0, 0));
    sendClick(postingTable.viewport(), rect.center());
    EXPECT_EQ(recorder.names(), (std::vector<std::string>{"PRBackViewMouseDown"}));
    postingTable.setItemDelegate(nullptr);
}

TEST_F(CellTableTest, ButtonCellPostsWhenTheMouseEntersAndLeavesItsRows) {
    PRButtonCell cell;
    table->setItemDelegate(&cell);
    cell.watchView(table.get());
    EXPECT_TRUE(table->hasMouseTracking());
    PostRecorder recorder({"PRbuttonCellMouseEntered", "PRbuttonCellMouseExited"});
    QWidget* viewport = table->viewport();
    auto move = [&](QPoint pos) {
        QMouseEvent event(QEvent::MouseMove, pos, viewport->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    };
    move(cellPoint(0, 5));
    EXPECT_EQ(cell.hoveredIndex(), model->index(0, 0));
    EXPECT_TRUE(cell.showsBorderOnlyWhileMouseInside());
    EXPECT_EQ(cell.imageName(), QStringLiteral("uninstall.png"));
    move(cellPoint(0, 30));  // same row: nothing new
    move(cellPoint(1, 5));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(cell.hoveredIndex().isValid());
    EXPECT_FALSE(cell.showsBorderOnlyWhileMouseInside());
    EXPECT_EQ(recorder.names(),
              (std::vector<std::string>{"PRbuttonCellMouseEntered", "PRbuttonCellMouseExited",
                                        "PRbuttonCellMouseEntered", "PRbuttonCellMouseExited"}));
    EXPECT_EQ(recorder.posts[0].second, static_cast<QObject*>(&cell));
    table->setItemDelegate(nullptr);
}

TEST_F(CellsTest, ButtonCellLeftSquareIsTrackable) {
    const QRect frame(100, 20, 120, 24);
    EXPECT_EQ(PRButtonCell::hitTest({100, 20}, frame), PRCellHit::Trackable);
    EXPECT_EQ(PRButtonCell::hitTest({123, 43}, frame), PRCellHit::Trackable);
    EXPECT_EQ(PRButtonCell::hitTest({124, 30}, frame), PRCellHit::Content);
    EXPECT_EQ(PRButtonCell::hitTest({99, 30}, frame), PRCellHit::None);
    EXPECT_EQ(PRButtonCell::hitTest({150, 44}, frame), PRCellHit::None);
}

TEST_F(CellsTest, TipCellTypeFollowsTheDownloadState) {
    PRButtonTipCell cell;
    cell.setImage(QStringLiteral("download.png"));
    cell.setButtonCellType();
    EXPECT_EQ(cell.actionName(), QStringLiteral("StartDownloadiCloudBackup"));
    EXPECT_EQ(cell.imageName(), QStringLiteral("download.png"));
    cell.setHasDownload(true);
    cell.setButtonCellType();
    EXPECT_EQ(cell.actionName(), QStringLiteral("StartScaniCloudBackup"));
    EXPECT_EQ(cell.imageName(), QStringLiteral("download_Down.png"));
}

TEST_F(CellsTest, ReadOnlyTextCannotBeSelectedOrEdited) {
    PRTextView view;
    view.setString(QStringLiteral("log line"));
    view.resize(200, 80);
    view.show();
    sendMouse(view.viewport(), QEvent::MouseButtonPress, {5, 5});
    sendMouse(view.viewport(), QEvent::MouseButtonDblClick, {5, 5});
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    QCoreApplication::sendEvent(&view, &selectAll);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QCoreApplication::sendEvent(&view, &typed);
    EXPECT_FALSE(view.textCursor().hasSelection());
    EXPECT_EQ(view.string(), QStringLiteral("log line"));
    EXPECT_EQ(view.contextMenuPolicy(), Qt::NoContextMenu);

    PRTextFiled field;
    field.setStringValue(QStringLiteral("value"));
    QCoreApplication::sendEvent(&field, &selectAll);
    QCoreApplication::sendEvent(&field, &typed);
    EXPECT_FALSE(field.hasSelectedText());
    EXPECT_EQ(field.stringValue(), QStringLiteral("value"));
}

TEST_F(CellsTest, FeedbackPlaceholderClearsOnClickButUserTextStays) {
    for (const QString& placeholder : {QStringLiteral("Provide any suggestions or problems to us."),
                                       QStringLiteral("write something.")}) {
        PRFeedBackView view;
        view.setString(placeholder);
        view.resize(200, 80);
        view.show();
        sendMouse(view.viewport(), QEvent::MouseButtonPress, {5, 5});
        EXPECT_TRUE(view.string().isEmpty());
        EXPECT_EQ(view.currentFont().pointSize(), 11);
        EXPECT_EQ(view.textColor(), QColor(Qt::black));
    }
    PRFeedBackView edited;
    edited.setString(QStringLiteral("write something. please"));
    sendMouse(edited.viewport(), QEvent::MouseButtonPress, {5, 5});
    EXPECT_EQ(edited.string(), QStringLiteral("write something. please"));
}

TEST_F(CellsTest, PopoverTextChangesOnlyForARealText) {
    PRPopViewController pop;
    pop.ChangeText(QStringLiteral("Information"));
    EXPECT_EQ(pop.theShowTextLab()->text(), QStringLiteral("Information"));
    pop.ChangeText(QString());
    EXPECT_EQ(pop.theShowTextLab()->text(), QStringLiteral("Information"));
    pop.ChangeText(QStringLiteral(""));
    EXPECT_TRUE(pop.theShowTextLab()->text().isEmpty());
}

TEST_F(CellsTest, ResizeFillsTransparencyWithWhite) {
    QImage source(8, 8, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    {
        QPainter painter(&source);
        painter.fillRect(0, 0, 4, 8, Qt::red);  // left half red, right half transparent
    }
    const QImage resized = nimbara::ui::resizeTo(source, QSize(32, 32));
    ASSERT_EQ(resized.size(), QSize(32, 32));
    EXPECT_EQ(resized.pixelColor(4, 16), QColor(Qt::red));
    EXPECT_EQ(resized.pixelColor(28, 16), QColor(Qt::white));
    EXPECT_EQ(resized.pixelColor(28, 16).alpha(), 255);
    EXPECT_TRUE(nimbara::ui::resizeTo(source, QSize(0, 10)).isNull());
    EXPECT_EQ(nimbara::ui::resizeTo(QImage(), QSize(4, 4)).pixelColor(1, 1), QColor(Qt::white));

    const QImage thumb = nimbara::ui::thumbnailImage(source, QSize(16, 16));
    EXPECT_EQ(thumb.size(), QSize(16, 16));
    EXPECT_EQ(thumb.pixelColor(14, 8).alpha(), 0);
    EXPECT_TRUE(nimbara::ui::thumbnailImage(QImage(), QSize(16, 16)).isNull());
}

TEST_F(CellsTest, CustomWindowKeepsItsStripAcrossTheTop) {
    PRCustomeWindow window;
    window.resize(300, 200);
    window.show();
    EXPECT_EQ(window.headerView()->geometry(), QRect(0, 0, 300, PRCustomeWindow::kHeaderHeight));
    window.resize(500, 240);
    EXPECT_EQ(window.headerView()->geometry(), QRect(0, 0, 500, PRCustomeWindow::kHeaderHeight));
    QPixmap image(10, 4);
    image.fill(Qt::green);
    window.UpdateWindowImage(image);
    EXPECT_EQ(window.headerView()->headImage().size(), QSize(10, 4));
    window.UpdateWindowImage(QPixmap());
    EXPECT_NE(window.headerView()->headImage().size(), QSize(10, 4));
}

}  // namespace
