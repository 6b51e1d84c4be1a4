// Small helpers shared by the delegate's quick-scan sources.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include <cstdint>

#include "app/core/text_utilities.h"

namespace nimbara::app::quick {

inline constexpr const char* kTicked = "selectedstate.png";
inline constexpr const char* kUnticked = "unselectedstate.png";

inline void setShown(QWidget* widget, bool shown) {
    if (widget != nullptr) {
        widget->setVisible(shown);
    }
}

// A byte count as the window's labels show it: a blank, then the size text.
inline QString sizeLabelText(std::uint64_t bytes) {
    return QStringLiteral(" ") + nimbara::shell::size_to_unit(bytes);
}

inline void showBytes(QLabel* label, std::uint64_t bytes) {
    if (label != nullptr) {
        label->setText(sizeLabelText(bytes));
    }
}

// The sum, held at the 64-bit maximum instead of wrapping.
inline std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace nimbara::app::quick
