#include "browser/thumbnail_strip_geometry.h"

#include <algorithm>
#include <cmath>

namespace nimbara::browser {

int stripColumns(double width) {
    return std::max(1, static_cast<int>(std::floor(std::max(0.0, width) / kThumbCell)));
}

int stripRowsPerScreen(double height) {
    return std::max(1, static_cast<int>(std::floor(std::max(0.0, height) / kThumbCell)));
}

int stripGridHeight(int count, int columns, int visibleHeight) {
    const int perRow = std::max(1, columns);
    const int rows = std::max(0, count) / perRow + (std::max(0, count) % perRow != 0 ? 1 : 0);
    return std::max(rows * kThumbCell, visibleHeight);
}

double stripRowPosition(int scrollOffset) {
    return static_cast<double>(std::max(0, scrollOffset)) / kThumbCell;
}

QRect stripCellRect(int index, int columns) {
    const int perRow = std::max(1, columns);
    return {(index % perRow) * kThumbCell, (index / perRow) * kThumbCell, kThumbCell, kThumbCell};
}

IndexRange getArrayRange(int count, double position, int columns, int rowsPerScreen) {
    if (count <= 0 || !std::isfinite(position)) {
        return {};
    }
    const double perRow = std::max(1, columns);
    const double top = std::max(0.0, position);
    // The first row in sight is loaded whole, however little of it shows; the row cut at the
    // bottom is covered by ceil(top) + rowsPerScreen, and one row more lies just below.
    const double first = std::floor(top) * perRow;
    const double last = (std::ceil(top) + std::max(0, rowsPerScreen) + 1) * perRow;
    const int end = static_cast<int>(std::min<double>(count, last));
    if (first >= end) {
        return {};
    }
    const int start = static_cast<int>(first);
    return {start, end - start};
}

}  // namespace nimbara::browser
