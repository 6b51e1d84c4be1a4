// The land of the world as outline rings, for the offline map of photo positions: Natural
// Earth's 1:110m land polygons, in tenths of a degree.
#pragma once

#include <cstdint>
#include <span>

namespace nimbara::privacy {

// The number of points of each ring, in order.
std::span<const std::uint16_t> worldLandRingSizes();
// Every ring's points one after the other: longitude then latitude, in tenths of a degree.
std::span<const std::int16_t> worldLandPoints();

}  // namespace nimbara::privacy
