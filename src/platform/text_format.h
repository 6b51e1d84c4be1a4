// Number formatting and parsing that never depends on the user's locale: texts always use a
// decimal point, whatever LC_NUMERIC says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nimbara {

// Shortest text that reads back as the same double ("42", "0.5", "1e+20").
std::string formatDouble(double value);
// Fixed notation with the given number of decimals, like printf's "%.Nf" in the C locale.
std::string formatFixed(double value, int decimals);
// Upper-case hexadecimal without prefix or leading zeros, like printf's "%llX".
std::string formatHexUpper(std::uint64_t value);

std::optional<std::int64_t> parseInt64(std::string_view text);
std::optional<double> parseDouble(std::string_view text);

}  // namespace nimbara
