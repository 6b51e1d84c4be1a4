// Small helpers shared by the application hub's sources and window builders: null-safe showing
// of optional outlets and background fills; the byte arithmetic comes from app/core.
#pragma once

#include <QColor>
#include <QPalette>
#include <QWidget>

#include "app/core/byte_arithmetic.h"

namespace nimbara::app {

inline void setShown(QWidget* widget, bool shown) {
    if (widget != nullptr) {
        widget->setVisible(shown);
    }
}

// Fills the widget's background with one colour.
inline void fillBackground(QWidget* widget, const QColor& colour) {
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
}

}  // namespace nimbara::app
