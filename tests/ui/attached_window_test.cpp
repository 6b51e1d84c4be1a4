// The attached window: on every side its arrow's tip touches the point, the automatic side
// follows the room around the point, the window stays on the screen, and the style setters keep
// their limits (a corner radius never below zero).
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <memory>

#include "../app/app_test_support.h"
#include "ui/attached_window.h"
#include "ui/attached_window_geometry.h"

namespace {

using nimbara::ui::AttachedSide;
using nimbara::ui::AttachedWindowStyle;
namespace attached = nimbara::ui::attached;

// The outermost point of the outline on the arrow's edge: the arrow's tip.
QPointF arrowTip(const QPainterPath& path, AttachedSide side) {
    const int s = static_cast<int>(side);
    const bool right = s == 0 || s == 4 || s == 5;
    const bool left = s == 2 || s == 6 || s == 7;
    const bool bottom = s == 3 || s == 8 || s == 9;
    QPointF tip = path.elementAt(0);
    auto further = [&](const QPointF& p) {
        return right    ? p.x() > tip.x()
               : left   ? p.x() < tip.x()
               : bottom ? p.y() > tip.y()
                        : p.y() < tip.y();
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        if (further(path.elementAt(i))) {
            tip = path.elementAt(i);
        }
    }
    return tip;
}

TEST(AttachedWindow, OnEverySideTheArrowTouchesThePointAndTheWindowLiesThatWay) {
    struct Row {
        AttachedSide side;
        QPointF gap;  // from the point to the tip, for a distance of 5
        int towardX;  // where the window's centre lies from the point: -1, 0, +1
        int towardY;
    };
    using S = AttachedSide;
    const Row rows[] = {
        {S::Left, {-5, 0}, -1, 0},
        {S::Below, {0, 5}, 0, 1},
        {S::Right, {5, 0}, 1, 0},
        {S::Above, {0, -5}, 0, -1},
        {S::LeftUpward, {-5, 0}, -1, -1},
        {S::LeftDownward, {-5, 0}, -1, 1},
        {S::RightUpward, {5, 0}, 1, -1},
        {S::RightDownward, {5, 0}, 1, 1},
        {S::AboveLeftward, {0, -5}, -1, -1},
        {S::AboveRightward, {0, -5}, 1, -1},
        {S::BelowLeftward, {0, 5}, -1, 1},
        {S::BelowRightward, {0, 5}, 1, 1},
    };
    const QPointF point(500, 400);
    const QSizeF view(100, 50);
    auto sign = [](double v) { return v > 0.5 ? 1 : v < -0.5 ? -1 : 0; };
    for (const bool roundBesideArrow : {true, false}) {
        AttachedWindowStyle style;
        style.drawsRoundCornerBesideArrow = roundBesideArrow;
        for (const Row& row : rows) {
            SCOPED_TRACE(static_cast<int>(row.side));
            SCOPED_TRACE(roundBesideArrow);
            const auto g = nimbara::ui::attachedGeometry(view, style, point, row.side, 5);
            EXPECT_EQ(g.viewFrame.size(), view);
            const QPainterPath path = nimbara::ui::attachedBubblePath(g.viewFrame, style, row.side);
            EXPECT_TRUE(path.boundingRect().contains(g.viewFrame));
            EXPECT_EQ(g.frame.topLeft() + arrowTip(path, row.side), point + row.gap);
            EXPECT_EQ(sign(g.frame.center().x() - point.x()), row.towardX);
            EXPECT_EQ(sign(g.frame.center().y() - point.y()), row.towardY);
        }
    }

    // A 100 by 50 view below the point: 104 by 70, the top at the point, the bubble 16 lower.
    const auto below = nimbara::ui::attachedGeometry(view, AttachedWindowStyle(), {200, 100},
                                                     AttachedSide::Below, 0);
    EXPECT_EQ(below.frame, QRectF(148, 100, 104, 70));
    EXPECT_EQ(below.viewFrame, QRectF(2, 18, 100, 50));
}

TEST(AttachedWindow, TheAutomaticSideFollowsTheRoomAroundThePoint) {
    using S = AttachedSide;
    struct Row {
        const char* name;
        QSizeF view;
        QPointF point;
        QRectF screen;
        QRectF parent;
        AttachedSide side;
    };
    const QRectF screen(0, 0, 1000, 800);
    const Row rows[] = {
        {"room below", {100, 50}, {500, 100}, screen, {}, S::Below},
        {"near the left edge", {100, 50}, {30, 100}, screen, {}, S::BelowRightward},
        {"near the right edge", {100, 50}, {980, 100}, screen, {}, S::BelowLeftward},
        {"beyond the parent", {100, 50}, {500, 100}, screen, {480, 0, 300, 300}, S::BelowRightward},
        {"no room below", {100, 500}, {500, 400}, screen, {}, S::Right},
        {"at the bottom", {100, 50}, {500, 780}, screen, {}, S::RightUpward},
        {"bottom right corner", {100, 50}, {950, 780}, screen, {}, S::LeftUpward},
        {"narrow screen", {100, 50}, {75, 790}, {0, 0, 150, 800}, {}, S::Above},
        {"no room at all", {100, 50}, {50, 30}, {0, 0, 100, 60}, {}, S::Below},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nimbara::ui::automaticSide(row.view, AttachedWindowStyle(), row.point, 0,
                                             row.screen, row.parent),
                  row.side)
            << row.name;
    }
}

TEST(AttachedWindow, TheWindowIsKeptInsideTheScreensAvailableArea) {
    const QRectF available(0, 30, 800, 570);
    struct Row {
        AttachedSide side;
        QPointF point;
        QSizeF view;
    };
    const Row rows[] = {
        {AttachedSide::Right, {790, 300}, {100, 50}},
        {AttachedSide::Below, {400, 590}, {100, 50}},
        {AttachedSide::Above, {5, 40}, {100, 50}},
        {AttachedSide::Below, {400, 300}, {900, 700}},  // larger than the screen
    };
    for (const Row& row : rows) {
        const QRectF frame = nimbara::ui::attachedGeometry(row.view, AttachedWindowStyle(),
                                                           row.point, row.side, 0, available)
                                 .frame;
        if (row.view.width() < available.width()) {
            EXPECT_TRUE(available.contains(frame)) << static_cast<int>(row.side);
        } else {
            EXPECT_EQ(frame.topLeft(), available.topLeft());
        }
    }
}

TEST(AttachedWindow, StyleSettersKeepTheirLimits) {
    enum Setter { Border, Margin, Radius, ArrowBase };
    struct Row {
        const char* name;
        QSizeF view;
        bool roundBesideArrow;
        Setter setter;
        double value;
        double border, margin, radius, arrowBase;  // afterwards
    };
    const Row rows[] = {
        {"border within the margin", {100, 50}, true, Border, 5, 2, 2, 8, 20},
        {"thin border", {100, 50}, true, Border, 1, 1, 2, 8, 20},
        {"negative margin", {100, 50}, true, Margin, -3, 2, 0, 8, 20},
        {"margin narrows the radius", {30, 30}, true, Margin, 0, 2, 0, 5, 20},
        {"large radius", {100, 50}, true, Radius, 100, 2, 2, 17, 20},
        {"negative radius", {100, 50}, true, Radius, -5, 2, 2, 0, 20},
        {"view narrower than the arrow", {10, 10}, true, Radius, 8, 2, 2, 0, 14},
        {"wide arrow, round corner", {100, 50}, true, ArrowBase, 100, 2, 2, 8, 38},
        {"wide arrow, square corner", {100, 50}, false, ArrowBase, 100, 2, 2, 8, 46},
        {"arrow never negative", {2, 2}, true, ArrowBase, 10, 2, 2, 8, 0},
    };
    for (const Row& row : rows) {
        AttachedWindowStyle style;
        style.drawsRoundCornerBesideArrow = row.roundBesideArrow;
        switch (row.setter) {
            case Border:
                attached::setBorderWidth(style, row.value);
                break;
            case Margin:
                attached::setViewMargin(style, row.view, row.value);
                break;
            case Radius:
                attached::setCornerRadius(style, row.view, row.value);
                break;
            case ArrowBase:
                attached::setArrowBaseWidth(style, row.view, row.value);
                break;
        }
        EXPECT_EQ(style.borderWidth, row.border) << row.name;
        EXPECT_EQ(style.viewMargin, row.margin) << row.name;
        EXPECT_EQ(style.cornerRadius, row.radius) << row.name;
        EXPECT_EQ(style.arrowBaseWidth, row.arrowBase) << row.name;
    }
}

TEST(AttachedWindow, TheWindowHoldsItsViewWhereTheShapeSays) {
    nimbara::test::ensureApplication();
    EXPECT_EQ(MAAttachedWindow::create(nullptr, {400, 100}), nullptr);
    auto* label = new QLabel(QStringLiteral("Attached"));
    label->resize(100, 50);
    std::unique_ptr<MAAttachedWindow> window(MAAttachedWindow::create(label, {400, 100}));
    ASSERT_NE(window, nullptr);
    const QRectF available = QGuiApplication::primaryScreen()->availableGeometry();
    const auto g = nimbara::ui::attachedGeometry({100, 50}, window->style(), {400, 100},
                                                 window->side(), 0, available);
    EXPECT_EQ(window->side(), AttachedSide::Below);
    EXPECT_EQ(window->geometry(), g.frame.toAlignedRect());
    EXPECT_EQ(label->parentWidget(), window.get());
    EXPECT_EQ(label->geometry(), QRect(2, 18, 100, 50));
}

}  // namespace
