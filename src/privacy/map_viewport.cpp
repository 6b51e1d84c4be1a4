#include "privacy/map_viewport.h"

#include <algorithm>
#include <cmath>

namespace nimbara::privacy {

bool isPlace(const GeoPosition& position) {
    return std::isfinite(position.latitude) && std::isfinite(position.longitude) &&
           std::fabs(position.latitude) <= 90.0 && std::fabs(position.longitude) <= 180.0;
}

namespace {

// Moves the span [low, high] inside [min, max] where it fits, else centres it there.
void keepInside(double& low, double& high, double min, double max) {
    const double span = high - low;
    if (span >= max - min) {
        const double middle = (min + max) / 2;
        low = middle - span / 2;
        high = middle + span / 2;
    } else if (low < min) {
        high += min - low;
        low = min;
    } else if (high > max) {
        low -= high - max;
        high = max;
    }
}

}  // namespace

GeoBox viewOf(const std::vector<GeoPosition>& positions, double aspect, double minimumSpan) {
    if (!(aspect > 0) || !std::isfinite(aspect)) {
        aspect = 2.0;
    }
    bool any = false;
    GeoBox box{180, 90, -180, -90};
    for (const GeoPosition& p : positions) {
        if (!isPlace(p)) {
            continue;
        }
        any = true;
        box.west = std::min(box.west, p.longitude);
        box.east = std::max(box.east, p.longitude);
        box.south = std::min(box.south, p.latitude);
        box.north = std::max(box.north, p.latitude);
    }
    if (!any) {
        // The whole world, at the asked shape around its middle.
        GeoBox world;
        if (world.width() / world.height() < aspect) {
            const double width = world.height() * aspect;
            world.west = -width / 2;
            world.east = width / 2;
        } else {
            const double height = world.width() / aspect;
            world.south = -height / 2;
            world.north = height / 2;
        }
        return world;
    }
    // A quarter of the spread on each side, and never less than the minimum span.
    double width = std::max(box.width() * 1.5, minimumSpan);
    double height = std::max(box.height() * 1.5, minimumSpan / aspect);
    if (width / height < aspect) {
        width = height * aspect;
    } else {
        height = width / aspect;
    }
    const double middleX = (box.west + box.east) / 2;
    const double middleY = (box.south + box.north) / 2;
    GeoBox view{middleX - width / 2, middleY - height / 2, middleX + width / 2,
                middleY + height / 2};
    keepInside(view.west, view.east, -180, 180);
    keepInside(view.south, view.north, -90, 90);
    return view;
}

QPointF projected(const GeoPosition& position, const GeoBox& box, const QSizeF& size) {
    const double x = (position.longitude - box.west) / box.width() * size.width();
    const double y = (box.north - position.latitude) / box.height() * size.height();
    return {x, y};
}

}  // namespace nimbara::privacy
