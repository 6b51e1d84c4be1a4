// The text of a message's `attributedBody`: an NSAttributedString archived in the "typedstream"
// format, the only place most messages of newer devices keep their words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nimbara::backup {

// The largest archive the decoder looks at; a message body is a few kilobytes at most.
inline constexpr std::size_t kMaxAttributedBodyBytes = 1024 * 1024;

// The attributed string's text (UTF-8), or nothing when `archive` is not a typedstream archive
// of an attributed string, is larger than kMaxAttributedBodyBytes, is cut short, or holds a text
// that is not valid UTF-8. Never reads outside `archive`.
std::optional<std::string> attributedBodyText(std::span<const std::uint8_t> archive);

}  // namespace nimbara::backup
