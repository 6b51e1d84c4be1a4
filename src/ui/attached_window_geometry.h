// The attached window's shape, without widgets: where the window goes for a side, which side
// is chosen when none is given, the outline with its arrow, and the limits its style setters
// keep. Lengths are in logical pixels, y grows downward, and positions are screen coordinates.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace nimbara::ui {

// Where the window lies relative to its point, and on which edge its arrow sits.
enum class AttachedSide : int {
    Left = 0,             // left of the point, centred vertically; arrow on the right edge
    Below = 1,            // below, centred horizontally; arrow on the top edge
    Right = 2,            // right, centred vertically; arrow on the left edge
    Above = 3,            // above, centred horizontally; arrow on the bottom edge
    LeftUpward = 4,       // left, extending upward; arrow on the right edge near the bottom
    LeftDownward = 5,     // left, extending downward; arrow on the right edge near the top
    RightUpward = 6,      // right, extending upward; arrow on the left edge near the bottom
    RightDownward = 7,    // right, extending downward; arrow on the left edge near the top
    AboveLeftward = 8,    // above, extending left; arrow on the bottom edge near the right
    AboveRightward = 9,   // above, extending right; arrow on the bottom edge near the left
    BelowLeftward = 10,   // below, extending left; arrow on the top edge near the right
    BelowRightward = 11,  // below, extending right; arrow on the top edge near the left
    Automatic = 12,       // chosen from the room around the point when the window is made
};

struct AttachedWindowStyle {
    double borderWidth = 2;
    double viewMargin = 2;  // between the view and the edge of the bubble
    double arrowBaseWidth = 20;
    double arrowHeight = 16;
    bool hasArrow = true;
    double cornerRadius = 8;
    bool drawsRoundCornerBesideArrow = true;
};

// The style setters: each stores its value within the limits the shape needs around a view of
// `viewSize`, and re-applies the values that depend on it.
namespace attached {
// At most the view margin.
void setBorderWidth(AttachedWindowStyle& style, double value);
// At least 0; then the corner radius is applied again.
void setViewMargin(AttachedWindowStyle& style, const QSizeF& viewSize, double value);
// Between 0 and (2 * margin + the view's shorter side - arrow base width) / 2, and 0 when that
// is negative; then the arrow base width is applied again.
void setCornerRadius(AttachedWindowStyle& style, const QSizeF& viewSize, double value);
// At most 2 * margin + the view's shorter side - the corner radius, less the radius once more
// while the corner beside the arrow is round; never below 0.
void setArrowBaseWidth(AttachedWindowStyle& style, const QSizeF& viewSize, double value);
}  // namespace attached

// How far along its edge the arrow's tip stands from the corner it starts at, for the sides
// whose arrow sits near a corner.
double arrowInset(const AttachedWindowStyle& style);

struct AttachedGeometry {
    QRectF frame;      // the window, in screen coordinates
    QRectF viewFrame;  // the view, in the window's coordinates
};

// The window around a view of `viewSize` whose arrow's tip touches `point` (screen coordinates)
// from `side` (not Automatic) at `distance`. When `available` (the screen's available area) is
// valid, the window is then moved to lie inside it, as far as it fits.
AttachedGeometry attachedGeometry(const QSizeF& viewSize, const AttachedWindowStyle& style,
                                  const QPointF& point, AttachedSide side, double distance,
                                  const QRectF& available = QRectF());

// The side Automatic stands for: below when the window fits under the point within
// `available`, else right, else left, else above, else below. A centred side then becomes its
// corner variant when the centred window would stick out of `parentFrame` (of `available` when
// that is not valid) and the variant fits on the screen.
AttachedSide automaticSide(const QSizeF& viewSize, const AttachedWindowStyle& style,
                           const QPointF& point, double distance, const QRectF& available,
                           const QRectF& parentFrame = QRectF());

// The bubble's outline in the window's coordinates: the view's frame grown by the margin and
// snapped to whole pixels, corners rounded (the one beside a corner arrow square when the style
// says so), and the arrow on the side's edge when the style has one. Runs clockwise from the
// top-left.
QPainterPath attachedBubblePath(const QRectF& viewFrame, const AttachedWindowStyle& style,
                                AttachedSide side);

}  // namespace nimbara::ui
