#include "platform/text_format.h"

#include <charconv>
#include <system_error>

namespace nimbara {

std::string formatDouble(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string("nan");
}

std::string formatFixed(double value, int decimals) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return res.ec == std::errc() ? std::string(buf, res.ptr) : std::string("nan");
}

std::string formatHexUpper(std::uint64_t value) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, value, 16);
    std::string out(buf, res.ptr);
    for (char& c : out) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

std::optional<std::int64_t> parseInt64(std::string_view text) {
    std::int64_t v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> parseDouble(std::string_view text) {
    double v = 0;
    auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec != std::errc() || res.ptr != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return v;
}

}  // namespace nimbara
