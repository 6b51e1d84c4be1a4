// Where the view layouts put views: wrapped rows (one at a time and all at once), the circle,
// the figure of eight and the scatter, with their edge cases.
#include "browser/view_layouts.h"

#include <gtest/gtest.h>

#include <vector>

namespace nimbara::browser {
namespace {

TEST(WrappedViewLayoutTest, OneAtATimeFillsRowsAndWraps) {
    const struct {
        const char* what;
        QRectF bounds;
        std::vector<QSizeF> sizes;
        std::vector<QPointF> origins;
        double rowHeight;
    } cases[] = {
        {"three fit, the fourth starts a row 140 lower",
         {0, 0, 460, 600},
         std::vector<QSizeF>(4, QSizeF(120, 120)),
         {{20, 20}, {160, 20}, {300, 20}, {20, 160}},
         120},
        {"a lower view sits on the row's line; the row is as high as its tallest",
         {0, 0, 320, 600},
         {{120, 100}, {120, 120}, {120, 50}},
         {{20, 40}, {160, 20}, {20, 230}},
         50},
        {"a view wider than the area takes a row of its own each time",
         {0, 0, 300, 600},
         std::vector<QSizeF>(3, QSizeF(280, 50)),
         {{20, 90}, {20, 160}, {20, 230}},
         50},
    };
    for (const auto& row : cases) {
        WrappedViewLayout layout;
        layout.initPointRect(row.bounds);
        std::vector<QPointF> placed;
        for (const QSizeF& size : row.sizes) {
            placed.push_back(layout.layoutSubView(size));
        }
        EXPECT_EQ(placed, row.origins) << row.what;
        EXPECT_EQ(layout.origin(), row.origins.back()) << row.what;
        EXPECT_EQ(layout.rowHeight(), row.rowHeight) << row.what;
    }
}

TEST(WrappedViewLayoutTest, AllAtOnceFromTheTopDownEachTimeAfresh) {
    WrappedViewLayout layout;
    EXPECT_TRUE(layout.layoutSubviews({}, {0, 0, 460, 300}).empty());
    // A tall view placed before must not push the rows of the next placing down.
    layout.layoutSubviews({{120, 250}}, {0, 0, 460, 300});
    const auto placed =
        layout.layoutSubviews(std::vector<QSizeF>(4, QSizeF(120, 120)), {0, 0, 460, 300});
    const QPointF expected[] = {{20, 160}, {160, 160}, {300, 160}, {20, 20}};
    for (std::size_t i = 0; i < placed.size() && i < std::size(expected); ++i) {
        EXPECT_EQ(placed[i].origin, expected[i]) << i;
    }
}

TEST(ViewLayoutTest, CircleAndLoopStayInsideAndNeverGoNegative) {
    CircularViewLayout circle;
    LoopViewLayout loop;
    const std::vector<QSizeF> small(4, QSizeF(20, 20));
    const QRectF square(0, 0, 240, 240);
    const double radius = 100 - std::hypot(10.0, 10.0);
    const auto ring = circle.layoutSubviews(small, square);
    ASSERT_EQ(ring.size(), 4u);
    // Centres on the circle at a quarter turn each, every view turned along it.
    const QPointF centres[] = {{radius, 0}, {0, radius}, {-radius, 0}, {0, -radius}};
    const double turns[] = {270, 0, 90, 180};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        EXPECT_NEAR(ring[i].origin.x() - 110, centres[i].x(), 1e-9) << i;
        EXPECT_NEAR(ring[i].origin.y() - 110, centres[i].y(), 1e-9) << i;
        EXPECT_NEAR(ring[i].rotation, turns[i], 1e-9) << i;
    }
    const auto eight = loop.layoutSubviews(small, square);
    const double across = (200 - 2 * std::hypot(10.0, 10.0)) / 2;
    EXPECT_NEAR(eight[0].origin.x(), 120 + across - 10, 1e-9);
    EXPECT_NEAR(eight[1].origin.x(), 110, 1e-9);  // a quarter turn: the crossing point
    EXPECT_NEAR(eight[1].origin.y(), 110, 1e-9);

    // Views larger than the area meet at its centre instead of crossing over.
    const std::vector<QSizeF> large(3, QSizeF(40, 40));
    for (ViewLayout* layout :
         {static_cast<ViewLayout*>(&circle), static_cast<ViewLayout*>(&loop)}) {
        for (const PlacedView& view : layout->layoutSubviews(large, {0, 0, 60, 60})) {
            EXPECT_NEAR(view.origin.x(), 10, 1e-9);
            EXPECT_NEAR(view.origin.y(), 10, 1e-9);
        }
        EXPECT_TRUE(layout->layoutSubviews({}, square).empty());
    }
}

TEST(ViewLayoutTest, ScatterDrawsPlaceAndTurnFromItsGenerator) {
    const std::vector<double> draws{0.5, 0.25, 0.75, 0.9, 0.9, 0.0};
    ScatterViewLayout scatter([&, next = std::size_t{0}]() mutable { return draws.at(next++); });
    const auto placed = scatter.layoutSubviews({{40, 20}, {300, 300}}, {0, 0, 240, 240});
    EXPECT_EQ(placed[0].origin, QPointF(100, 65));
    EXPECT_EQ(placed[0].rotation, 15);
    EXPECT_EQ(placed[1].origin, QPointF(20, 20));  // larger than the area: at its corner
    EXPECT_EQ(placed[1].rotation, -30);
    EXPECT_TRUE(scatter.layoutSubviews({}, {0, 0, 240, 240}).empty());
}

}  // namespace
}  // namespace nimbara::browser
