// A 5x7 block font for letters and digits, so icons can carry an initial without a font
// database (QFont needs a running application; the builder works without one).
#pragma once

#include <array>
#include <cstdint>

namespace nimbara::simdev {

inline constexpr int kGlyphColumns = 5;
inline constexpr int kGlyphRows = 7;
// One row per entry, bit 4 the leftmost column.
using Glyph = std::array<std::uint8_t, kGlyphRows>;

// The glyph of an ASCII letter (either case) or digit; null for anything else.
const Glyph* blockGlyph(char c);

}  // namespace nimbara::simdev
