// Byte-count arithmetic for storage figures: sums that hold at the 64-bit maximum, differences
// that stop at zero, and fractions of an empty whole that are 0.
#pragma once

#include <cstdint>

namespace nimbara::ui {

// The sum, held at the 64-bit maximum instead of wrapping.
inline std::uint64_t addSaturating(std::uint64_t a, std::uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// The difference, 0 instead of wrapping below zero.
inline std::uint64_t subtractSaturating(std::uint64_t from, std::uint64_t amount) {
    return amount > from ? 0 : from - amount;
}

// The fraction part / whole, 0 for an empty whole.
inline float fractionOf(std::uint64_t part, std::uint64_t whole) {
    return whole == 0 ? 0.0f : static_cast<float>(part) / static_cast<float>(whole);
}

}  // namespace nimbara::ui
