// Where the offline map looks: the part of the world (in degrees) that shows a set of positions
// with room around them, and how a position lands on the widget. Plain longitude/latitude axes
// (an equirectangular view), which is all a map of a few photo positions needs.
#pragma once

#include <QPointF>
#include <QSizeF>

#include <optional>
#include <vector>

namespace nimbara::privacy {

struct GeoPosition {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
};

// A part of the world: west to east, south to north, in degrees.
struct GeoBox {
    double west = -180;
    double south = -90;
    double east = 180;
    double north = 90;

    double width() const { return east - west; }
    double height() const { return north - south; }
};

// A position is one when both values are finite and within the globe's ranges (a photo may
// carry nonsense).
bool isPlace(const GeoPosition& position);

// The part of the world that shows every place among `positions` with a margin around them, no
// smaller than `minimumSpan` degrees across and of the width-to-height ratio `aspect` (a
// degree of longitude as wide as one of latitude), kept inside the globe where it fits. With no
// place the whole world.
GeoBox viewOf(const std::vector<GeoPosition>& positions, double aspect, double minimumSpan = 30.0);

// Where `position` lands on a view of `box` drawn into `size` (top left is north-west).
QPointF projected(const GeoPosition& position, const GeoBox& box, const QSizeF& size);

}  // namespace nimbara::privacy
