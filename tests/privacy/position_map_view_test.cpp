// The offline map draws land where land is and the photo pins where the photos were taken.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "../app/app_test_support.h"
#include "privacy/pages/position_map_view.h"

namespace nimbara::privacy {
namespace {

QColor pixelAt(const QImage& image, const GeoPosition& where, const GeoBox& view) {
    const QPointF at = projected(where, view, image.size());
    return image.pixelColor(at.toPoint());
}

bool isSea(const QColor& c) {
    return c.blue() > c.red() + 20;
}

TEST(PositionMapView, LandSeaAndPinsAreWhereTheyBelong) {
    test::ensureApplication();
    PositionMapView map;
    map.resize(720, 360);
    QImage image = map.grab().toImage();
    const GeoBox world = map.view();
    EXPECT_FALSE(isSea(pixelAt(image, {23.0, 10.0}, world)));    // the Sahara
    EXPECT_TRUE(isSea(pixelAt(image, {0.0, -150.0}, world)));    // the Pacific
    EXPECT_FALSE(isSea(pixelAt(image, {-25.0, 134.0}, world)));  // Australia

    // Two pins in Portugal: the view closes in on them and draws them in red.
    map.setPins({{{38.72, -9.14}, QStringLiteral("<b>IMG_0001.JPG</b>")},
                 {{41.15, -8.61}, QStringLiteral("IMG_0002.JPG")},
                 {{200.0, 0.0}, QStringLiteral("nowhere")}});
    EXPECT_EQ(map.pins().size(), 2u);
    EXPECT_LT(map.view().width(), 40.0);
    map.setChosenPin(1);
    image = map.grab().toImage();
    const QColor pin = pixelAt(image, {41.15, -8.61}, map.view());
    EXPECT_GT(pin.red(), 180);
    EXPECT_LT(pin.green(), 120);
    if (const QByteArray dir = qgetenv("NIMBARA_MAP_SHOT"); !dir.isEmpty()) {
        image.save(QString::fromLocal8Bit(dir) + QStringLiteral("/map.png"));
    }
    map.setChosenPin(7);
    EXPECT_EQ(map.chosenPin(), -1);
}

}  // namespace
}  // namespace nimbara::privacy
