// Drawing helpers shared by the bars.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace nimbara::ui {

// `value` with NaN as 0.
inline float finiteOrZero(float value) {
    return value == value ? value : 0.0f;
}

// `value` clamped to [0, 1], NaN as 0.
inline float clampedFraction(float value) {
    const float v = finiteOrZero(value);
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// Fills `rect` (rounded by `radius`) with a vertical gradient from `start` at the bottom to
// `end` at the top.
void fillGradientRect(QPainter& painter, const QRectF& rect, const QColor& start, const QColor& end,
                      double radius = 0.0);

// The light edge and the track every bar draws first: a white (alpha 0.2) outline at (0.5, 0),
// (W - 1) x (H - 1), kept to the lower half, then a filled track at (1, -0.5), W x (H - 1).
void drawBarBezel(QPainter& painter, const QSizeF& size, double radius, const QColor& track);

}  // namespace nimbara::ui
