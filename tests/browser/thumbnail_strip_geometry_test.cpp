// The thumbnail strip's arithmetic: item titles, columns, grid height and the loading range.
#include <gtest/gtest.h>

#include "browser/thumbnail_strip_geometry.h"
#include "browser/thumbnail_strip_title.h"

namespace nimbara::browser {
namespace {

TEST(ThumbnailTitleTest, ShortNamesWholeLongOnesCutInTheMiddle) {
    const struct {
        const char* name;
        const char* title;
    } rows[] = {
        {"IMG_0001.JPG", "IMG_0001.JPG"},       // 12 bytes
        {"IMG_00001.JPG", "IMG_00001.JPG"},     // 13 bytes: still whole
        {"IMG_000001.JPG", "IMG_0...1.JPG"},    // 14 bytes
        {"IMG_Abcdefgh.JPG", "IMG_A...h.JPG"},  // first five and last five
        // A two-byte character among the first five keeps four of them.
        {"Fot\xc3\xa9_sommer_2026.jpg", "Fot\xc3\xa9...6.jpg"},
        // Five three-byte characters: 15 bytes, but nothing would be left out.
        {"\xe7\x85\xa7\xe7\x89\x87\xe4\xb8\x80\xe4\xba\x8c\xe4\xb8\x89",
         "\xe7\x85\xa7\xe7\x89\x87\xe4\xb8\x80\xe4\xba\x8c\xe4\xb8\x89"},
        // Characters outside the basic plane are counted, and cut, whole.
        {"\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7"
         "\xf0\x9f\x93\xb7.png",
         "\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7\xf0\x9f\x93\xb7...\xf0\x9f\x93\xb7.png"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(thumbnailTitle(QString::fromUtf8(row.name)), QString::fromUtf8(row.title))
            << row.name;
    }
}

TEST(ThumbnailStripGeometryTest, ColumnsRowsAndGridHeight) {
    const struct {
        double width;
        int columns;
    } widths[] = {{700, 5}, {699, 4}, {280, 2}, {140, 1}, {139, 1}, {0, 1}, {-5, 1}};
    for (const auto& row : widths) {
        EXPECT_EQ(stripColumns(row.width), row.columns) << row.width;
    }
    EXPECT_EQ(stripRowsPerScreen(100), 1);  // a low view still loads a row

    const struct {
        int count, columns, visible, height;
    } grids[] = {
        {23, 5, 420, 700},  // five rows, higher than the view
        {23, 5, 900, 900},  // lower rows: the view's height
        {25, 5, 0, 700},   {0, 5, 420, 420}, {3, 0, 0, 420},
    };
    for (const auto& row : grids) {
        EXPECT_EQ(stripGridHeight(row.count, row.columns, row.visible), row.height)
            << row.count << " in " << row.columns;
    }
    EXPECT_EQ(stripCellRect(7, 5), QRect(280, 140, 140, 140));
    EXPECT_EQ(stripCellRect(7, 1), QRect(0, 980, 140, 140));
}

TEST(ThumbnailStripGeometryTest, LoadingRangeCoversTheRowsInSightAndOneBelow) {
    const struct {
        int count;
        double position;
        int columns, rows;
        IndexRange range;
    } cases[] = {
        {100, 0.0, 5, 3, {0, 20}},
        {8, 0.0, 5, 3, {0, 8}},
        // The first row in sight is loaded whole, though only part of it shows.
        {100, 2.4, 5, 3, {10, 25}},
        {30, 2.4, 5, 3, {10, 20}},
        // The real column count, not five.
        {100, 2.4, 3, 3, {6, 15}},
        {100, 2.4, 1, 3, {2, 5}},
        {100, 2.0, 7, 4, {14, 35}},
        {23, 10.0, 5, 3, {}},  // scrolled past the end
        {0, 0.0, 5, 3, {}},
        {100, -1.0, 5, 3, {0, 20}},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(getArrayRange(row.count, row.position, row.columns, row.rows), row.range)
            << row.count << " at " << row.position << " in " << row.columns;
    }
}

}  // namespace
}  // namespace nimbara::browser
