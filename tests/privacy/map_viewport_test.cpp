// The offline map's view: fitted around the photo positions with room to spare, of the widget's
// shape, inside the globe, and nonsense positions left out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "privacy/map_viewport.h"
#include "privacy/world_land_outline.h"

namespace nimbara::privacy {
namespace {

void expectInside(const GeoPosition& p, const GeoBox& box) {
    EXPECT_GT(p.longitude, box.west);
    EXPECT_LT(p.longitude, box.east);
    EXPECT_GT(p.latitude, box.south);
    EXPECT_LT(p.latitude, box.north);
}

TEST(MapViewport, AViewShowsEveryPlaceWithRoomAndKeepsTheWidgetsShape) {
    const GeoPosition lisbon{38.72, -9.14};
    const GeoPosition porto{41.15, -8.61};
    const GeoBox box = viewOf({lisbon, porto}, 2.0);
    expectInside(lisbon, box);
    expectInside(porto, box);
    EXPECT_NEAR(box.width() / box.height(), 2.0, 1e-9);
    EXPECT_GE(box.width(), 30.0);  // two close places still show their surroundings

    // Far apart: the view spans them both.
    const GeoPosition sydney{-33.87, 151.21};
    const GeoBox wide = viewOf({lisbon, sydney}, 1.5);
    expectInside(lisbon, wide);
    expectInside(sydney, wide);
    EXPECT_NEAR(wide.width() / wide.height(), 1.5, 1e-9);
}

TEST(MapViewport, TheViewStaysOnTheGlobe) {
    const GeoBox polar = viewOf({{89.0, 179.0}}, 2.0);
    EXPECT_LE(polar.north, 90.0);
    EXPECT_LE(polar.east, 180.0);
    EXPECT_GT(polar.width(), 0.0);
}

TEST(MapViewport, NonsensePositionsAreNoPlaces) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(isPlace({nan, 0}));
    EXPECT_FALSE(isPlace({91, 0}));
    EXPECT_FALSE(isPlace({0, -181}));
    EXPECT_TRUE(isPlace({-90, 180}));
    // With no place at all, the whole world at the asked shape.
    const GeoBox world = viewOf({{nan, nan}, {100, 400}}, 2.0);
    EXPECT_DOUBLE_EQ(world.west, -180);
    EXPECT_DOUBLE_EQ(world.east, 180);
    EXPECT_NEAR(world.width() / world.height(), 2.0, 1e-9);
}

TEST(MapViewport, PlacesLandWhereTheAxesSay) {
    const GeoBox world;
    const QPointF centre = projected({0, 0}, world, QSizeF(360, 180));
    EXPECT_DOUBLE_EQ(centre.x(), 180);
    EXPECT_DOUBLE_EQ(centre.y(), 90);
    const QPointF northWest = projected({90, -180}, world, QSizeF(360, 180));
    EXPECT_DOUBLE_EQ(northWest.x(), 0);
    EXPECT_DOUBLE_EQ(northWest.y(), 0);
}

TEST(MapViewport, TheBundledOutlineIsWhole) {
    const auto sizes = worldLandRingSizes();
    const auto points = worldLandPoints();
    std::size_t total = 0;
    for (auto size : sizes) {
        EXPECT_GE(size, 3u);
        total += size;
    }
    EXPECT_EQ(points.size(), 2 * total);
    for (std::size_t i = 0; i < points.size(); i += 2) {
        ASSERT_LE(std::abs(points[i]), 1800);
        ASSERT_LE(std::abs(points[i + 1]), 900);
    }
    EXPECT_GT(sizes.size(), 100u);  // continents and islands
}

}  // namespace
}  // namespace nimbara::privacy
