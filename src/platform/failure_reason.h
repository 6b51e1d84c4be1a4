// The reason part of a failure text "<what failed>: <reason>". Reasons come from libraries and the
// system (a database's message, an error code's text, a reader's note) and may be empty; a text
// that ends in a colon tells the user nothing, so an empty reason becomes the failing step.
#pragma once

#include <string>
#include <string_view>

namespace nimbara {

// `reason` without surrounding blanks when it says anything, else "<step> failed".
std::string failureReason(std::string_view reason, std::string_view step);

// "<what>: <reason>", the reason as failureReason gives it.
std::string failureText(std::string_view what, std::string_view reason, std::string_view step);

}  // namespace nimbara
