// Small helpers shared by the application hub's sources and window builders: null-safe showing
// of optional outlets and background fills; the byte arithmetic comes from app/core.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
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

// Sets a one-line label's text, making its font smaller (down to `smallest` points) until the
// text fits the label's width: a sidebar entry with its size must show the size whole.
inline void setFittedText(QLabel* label, const QString& text, int smallest = 8) {
    if (label == nullptr) {
        return;
    }
    if (!label->property("fittedPointSize").isValid()) {
        label->setProperty("fittedPointSize", label->font().pointSize());
    }
    QFont font = label->font();
    int size = label->property("fittedPointSize").toInt();
    font.setPointSize(size);
    while (size > smallest && QFontMetrics(font).horizontalAdvance(text) > label->width()) {
        font.setPointSize(--size);
    }
    label->setFont(font);
    label->setText(text);
}

}  // namespace nimbara::app
