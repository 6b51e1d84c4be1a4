// Small helpers shared by the delegate's quick-scan sources.
#pragma once

#include <QLabel>
#include <QString>

#include <cstdint>

#include "ui/core/text_utilities.h"
#include "ui/image_button.h"
#include "ui/view_helpers.h"

namespace nimbara::app::quick {

inline constexpr const char* kTicked = "selectedstate.png";
inline constexpr const char* kUnticked = "unselectedstate.png";

// A row's check box shows the ticked image.
inline bool isTicked(const QWidget* checkButton) {
    const auto* button = qobject_cast<const nimbara::ui::ImageButton*>(checkButton);
    return button != nullptr && button->imageName() == QLatin1String(kTicked);
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

}  // namespace nimbara::app::quick
