// The arithmetic of the backup browser's thumbnail strip: a grid of 140-point cells (a 120-point
// item and a 20-point gap), as many columns as the visible width holds and never fewer than one,
// and the range of items whose thumbnails are made: the rows in sight and one row below them.
// Pure functions, no widgets.
#pragma once

#include <QRect>

namespace nimbara::browser {

inline constexpr int kThumbCell = 140;
inline constexpr int kThumbGap = 20;
inline constexpr int kThumbItem = kThumbCell - kThumbGap;
// The longest side a thumbnail is made at.
inline constexpr int kThumbPixels = 128;

// Columns of a grid `width` points wide: its whole cells, at least one.
int stripColumns(double width);
// Whole rows a view `height` points high shows at once, at least one.
int stripRowsPerScreen(double height);
// Height of the grid holding `count` items in `columns` columns: its rows, or the visible height
// when the rows are lower.
int stripGridHeight(int count, int columns, int visibleHeight);
// The row at the top of the view, with its fraction, for a scroll offset in points.
double stripRowPosition(int scrollOffset);
// The cell of item `index`.
QRect stripCellRect(int index, int columns);

struct IndexRange {
    int start = 0;
    int length = 0;
    int end() const { return start + length; }
    bool contains(int index) const { return index >= start && index < end(); }
    friend bool operator==(const IndexRange&, const IndexRange&) = default;
};

// The items of `count` whose thumbnails are wanted when the view's top is at row `position`: from
// the first item of that row up to the rows in sight (`rowsPerScreen` whole rows and the one cut
// at the bottom) and one row further; empty when nothing is there.
IndexRange getArrayRange(int count, double position, int columns, int rowsPerScreen);

}  // namespace nimbara::browser
