// Application fonts. The interface is designed around "Lucida Grande"; on Linux that family is
// drawn with DejaVu Sans through a font substitution installed at start-up.
#pragma once

#include <QFont>
#include <QString>

namespace nimbara::ui {

// The family every control of the application asks for.
inline constexpr const char* kAppFontFamily = "Lucida Grande";
// The family it is drawn with.
inline constexpr const char* kAppFontSubstitute = "DejaVu Sans";
// Where a character that family lacks (an emoji in a message) is looked for next, before the
// system's own fallbacks: the colour emoji font the install script brings.
inline constexpr const char* kEmojiFontFamily = "Noto Color Emoji";

// Makes "Lucida Grande" resolve to DejaVu Sans, and to the emoji font for what DejaVu Sans
// lacks. Idempotent; called once at start-up (appFont calls it too, so fonts made before
// start-up finished resolve the same way).
void installFontSubstitutions();

// The application font at `pointSize` points (sizes below 1 are taken as 1).
QFont appFont(int pointSize, bool bold = false);

}  // namespace nimbara::ui
