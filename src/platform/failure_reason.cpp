#include "platform/failure_reason.h"

namespace nimbara {

std::string failureReason(std::string_view reason, std::string_view step) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = reason.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return std::string(step) + " failed";
    }
    const std::size_t last = reason.find_last_not_of(kBlanks);
    return std::string(reason.substr(first, last - first + 1));
}

std::string failureText(std::string_view what, std::string_view reason, std::string_view step) {
    return std::string(what) + ": " + failureReason(reason, step);
}

}  // namespace nimbara
