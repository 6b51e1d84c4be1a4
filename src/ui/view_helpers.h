// Small helpers shared by the window and page builders: the windows' colours, null-safe showing
// of optional outlets, background fills, image views and label colours.
#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QWidget>

#include "ui/core/byte_arithmetic.h"

class QPushButton;

namespace nimbara::ui {

// Colours of the main window (0-255 RGB).
inline const QColor kSelectedBlue{157, 181, 212};
inline const QColor kEntryGrey{227, 234, 239};
inline const QColor kLabelSlate{121, 139, 167};
inline const QColor kTitleOrange{217, 81, 30};
inline const QColor kSuccessYellow{253, 240, 9};
inline const QColor kWindowBlue{54, 107, 220};

// Shows the named image in an image view (a QLabel) and remembers the name in the property
// "imageName"; an unknown name leaves the view empty.
void setImageViewImage(QLabel* view, const QString& imageName);
// The name last given to setImageViewImage (empty when none).
QString imageViewImageName(const QLabel* view);

// Colours a sidebar entry's button background (also kept in the property "entryBackground").
void setEntryBackground(QPushButton* button, const QColor& colour);
QColor entryBackground(const QPushButton* button);

// Sets the text colour of a label (also kept in the property "textColour").
void setLabelColour(QLabel* label, const QColor& colour);
QColor labelColour(const QLabel* label);

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

}  // namespace nimbara::ui
