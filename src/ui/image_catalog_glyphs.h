#pragma once

#include "ui/image_catalog.h"

#include <QColor>
#include <QRectF>

class QPainter;

namespace nimbara::ui {

// Draws `glyph` as an outline icon centred in the largest square that fits `box`. Closed shapes
// are also filled with `colour` at `fillAlpha` (0 to 1), which gives the flat two-tone look.
void drawGlyph(QPainter& painter, Glyph glyph, const QRectF& box, const QColor& colour,
               qreal fillAlpha = 0.18);

}  // namespace nimbara::ui
