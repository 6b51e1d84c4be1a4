#include "backup/attributed_body.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace nimbara::backup {

namespace {

using Bytes = std::span<const std::uint8_t>;

// 0x04, then the 11-byte signature, then the archiver version 1000 as a two-byte integer.
constexpr std::array<std::uint8_t, 16> kHeader{0x04, 0x0B, 's', 't', 'r', 'e',  'a',  'm',
                                               't',  'y',  'p', 'e', 'd', 0x81, 0xE8, 0x03};

// A class name as the archive records it: its length byte, then the name.
constexpr std::string_view kAttributedStringClass = "\x12NSAttributedString";
constexpr std::string_view kStringClass = "\x08NSString";

// How far past the string class's name the '+' of its bytes may lie: the class version, the
// end of the class chain and the type's introduction.
constexpr std::size_t kTypeWindow = 8;

constexpr std::uint8_t kBytesType = '+';
constexpr std::uint8_t kInt16 = 0x81;
constexpr std::uint8_t kInt32 = 0x82;

// The offset of `needle` in `bytes` at or after `from`, or nothing.
std::optional<std::size_t> find(Bytes bytes, std::size_t from, std::string_view needle) {
    if (from > bytes.size()) {
        return std::nullopt;
    }
    const auto it = std::search(
        bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(), needle.begin(),
        needle.end(), [](std::uint8_t b, char c) { return b == static_cast<std::uint8_t>(c); });
    if (it == bytes.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - bytes.begin());
}

// The little-endian unsigned integer of `width` bytes at `at`; nothing past the end.
std::optional<std::uint64_t> littleEndian(Bytes bytes, std::size_t at, std::size_t width) {
    if (at > bytes.size() || bytes.size() - at < width) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
    }
    return value;
}

// A byte count at `at`: one byte below 0x80, or 0x81 and two bytes, or 0x82 and four. `at`
// moves past it.
std::optional<std::uint64_t> byteCount(Bytes bytes, std::size_t& at) {
    if (at >= bytes.size()) {
        return std::nullopt;
    }
    const std::uint8_t tag = bytes[at++];
    if (tag < 0x80) {
        return tag;
    }
    const std::size_t width = tag == kInt16 ? 2 : tag == kInt32 ? 4 : 0;
    if (width == 0) {
        return std::nullopt;
    }
    const auto value = littleEndian(bytes, at, width);
    at += width;
    return value;
}

// Well-formed UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool validUtf8(Bytes text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::uint8_t lead = text[i];
        std::size_t extra = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - i - 1 < extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const std::uint8_t next = text[i + k];
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

}  // namespace

std::optional<std::string> attributedBodyText(Bytes archive) {
    if (archive.size() > kMaxAttributedBodyBytes || archive.size() < kHeader.size() ||
        !std::equal(kHeader.begin(), kHeader.end(), archive.begin())) {
        return std::nullopt;
    }
    // The root object is an attributed string; its first member is the string holding the text.
    const auto root = find(archive, kHeader.size(), kAttributedStringClass);
    if (!root) {
        return std::nullopt;
    }
    const auto string = find(archive, *root + kAttributedStringClass.size(), kStringClass);
    if (!string) {
        return std::nullopt;
    }
    const std::size_t afterName = *string + kStringClass.size();
    const std::size_t windowEnd = std::min(archive.size(), afterName + kTypeWindow);
    std::size_t at = afterName;
    while (at < windowEnd && archive[at] != kBytesType) {
        ++at;
    }
    if (at >= windowEnd) {
        return std::nullopt;
    }
    ++at;
    const auto count = byteCount(archive, at);
    if (!count || at > archive.size() || *count > archive.size() - at) {
        return std::nullopt;
    }
    const Bytes text = archive.subspan(at, static_cast<std::size_t>(*count));
    if (!validUtf8(text)) {
        return std::nullopt;
    }
    return std::string(text.begin(), text.end());
}

}  // namespace nimbara::backup
