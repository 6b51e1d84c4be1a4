// Helpers shared by the window builders (main_window_ui.cpp, quick_scan_window_ui.cpp): every
// widget they make carries its outlet's name as objectName.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "app/main_window_ui.h"
#include "app/view_helpers.h"
#include "ui/fonts.h"

namespace nimbara::app::build {

// The text colour of the windows' ordinary labels.
inline const QColor kText{40, 44, 52};

template <class T>
T* named(T* widget, const char* objectName) {
    widget->setObjectName(QLatin1String(objectName));
    return widget;
}

inline QLabel* makeLabel(QWidget* parent, const char* objectName, const QString& text,
                         int pointSize, const QColor& colour = kText, bool bold = false) {
    auto* label = named(new QLabel(text, parent), objectName);
    label->setFont(ui::appFont(pointSize, bold));
    setLabelColour(label, colour);
    return label;
}

inline QLabel* makeImageView(QWidget* parent, const char* objectName, const QString& imageName,
                             bool scaled = true) {
    auto* view = named(new QLabel(parent), objectName);
    view->setScaledContents(scaled);
    view->setAlignment(Qt::AlignCenter);
    if (!imageName.isEmpty()) {
        setImageViewImage(view, imageName);
    }
    return view;
}

}  // namespace nimbara::app::build
