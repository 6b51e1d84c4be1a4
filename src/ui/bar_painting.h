// Drawing helpers shared by the bars.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

#include <concepts>

namespace nimbara::ui {

// `value` with NaN as 0.
template <std::floating_point T>
T finiteOrZero(T value) {
    return value == value ? value : T(0);
}

// `value` clamped to [0, 1], NaN as 0.
template <std::floating_point T>
T clampedFraction(T value) {
    const T v = finiteOrZero(value);
    return v < T(0) ? T(0) : (v > T(1) ? T(1) : v);
}

// Fills `rect` (rounded by `radius`) with a vertical gradient from `start` at the bottom to
// `end` at the top.
void fillGradientRect(QPainter& painter, const QRectF& rect, const QColor& start, const QColor& end,
                      double radius = 0.0);

// The light edge and the track every bar draws first: a white (alpha 0.2) outline at (0.5, 0),
// (W - 1) x (H - 1), kept to the lower half, then a filled track at (1, -0.5), W x (H - 1).
void drawBarBezel(QPainter& painter, const QSizeF& size, double radius, const QColor& track);

}  // namespace nimbara::ui
