// The decoder of message bodies on archives laid out the way the device writes them, and on
// archives cut short or damaged in every place that matters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "attributed_body_archive.h"
#include "backup/attributed_body.h"

namespace {

using nimbara::backup::attributedBodyText;
using nimbara::backup::kMaxAttributedBodyBytes;
using nimbara::test::archive;
using Bytes = std::vector<std::uint8_t>;

// Where `part` last lies in `bytes`: the text follows every class name.
std::size_t offsetOf(const Bytes& bytes, const std::string& part) {
    const Bytes needle(part.begin(), part.end());
    const auto it = std::find_end(bytes.begin(), bytes.end(), needle.begin(), needle.end());
    return static_cast<std::size_t>(it - bytes.begin());
}

std::size_t textEnd(const Bytes& bytes, const std::string& text) {
    return offsetOf(bytes, text) + text.size();
}

TEST(AttributedBodyTest, ArchivesGiveTheirTextOrNothing) {
    const std::string longText(300, 'x');
    const std::string emoji = "Bis gleich \xF0\x9F\x98\x80 \xC3\xA4\xE2\x82\xAC";
    Bytes wrongHeader = archive("hello");
    wrongHeader[2] = 'S';
    Bytes pastEnd = archive("hello");
    pastEnd[textEnd(pastEnd, "hello") - 6] = 0x7F;  // the count byte, far beyond the buffer
    Bytes wideCountPastEnd = archive(longText);
    wideCountPastEnd[textEnd(wideCountPastEnd, longText) - longText.size() - 1] = 0xFF;
    Bytes overlong = archive("ab");
    overlong[textEnd(overlong, "ab") - 2] = 0xC0;
    overlong[textEnd(overlong, "ab") - 1] = 0x81;
    Bytes surrogate = archive("abc");
    const std::size_t s = textEnd(surrogate, "abc") - 3;
    surrogate[s] = 0xED;
    surrogate[s + 1] = 0xA0;
    surrogate[s + 2] = 0x80;
    Bytes badCountTag = archive("hello");
    badCountTag[textEnd(badCountTag, "hello") - 6] = 0x83;
    Bytes tooLarge = archive("hi");
    tooLarge.resize(kMaxAttributedBodyBytes + 1, 0);
    Bytes noString = archive("hello");
    noString[offsetOf(noString, "NSString") + 7] = 'X';

    struct Case {
        const char* name;
        Bytes bytes;
        std::optional<std::string> text;
    };
    const std::vector<Case> cases{
        {"short", archive("Hello there"), "Hello there"},
        {"immutable string", archive("ok", false), "ok"},
        {"empty", archive(""), ""},
        {"over 127 bytes", archive(longText), longText},
        {"four-byte count", archive(std::string(70000, 'y')), std::string(70000, 'y')},
        {"emoji and accents", archive(emoji), emoji},
        {"empty input", {}, std::nullopt},
        {"wrong header", wrongHeader, std::nullopt},
        {"count past the end", pastEnd, std::nullopt},
        {"two-byte count past the end", wideCountPastEnd, std::nullopt},
        {"unknown count tag", badCountTag, std::nullopt},
        {"overlong UTF-8", overlong, std::nullopt},
        {"surrogate", surrogate, std::nullopt},
        {"over the size cap", tooLarge, std::nullopt},
        {"no string class", noString, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(attributedBodyText(c.bytes), c.text) << c.name;
    }
}

TEST(AttributedBodyTest, EveryCutBeforeTheTextsEndGivesNothing) {
    for (const std::string& text : {std::string("Hi \xF0\x9F\x91\x8B"), std::string(200, 'z')}) {
        const Bytes full = archive(text);
        const std::size_t end = textEnd(full, text);
        for (std::size_t size = 0; size <= full.size(); ++size) {
            // A copy of exactly `size` bytes, so reading past it is caught by the sanitizers.
            const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
            const auto decoded = attributedBodyText(cut);
            if (size < end) {
                EXPECT_EQ(decoded, std::nullopt) << size;
            } else {
                EXPECT_EQ(decoded, text) << size;
            }
        }
    }
}

TEST(AttributedBodyTest, ACharacterCutAtTheTextsEndGivesNothing) {
    for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
        const std::string text = "a" + character;
        const Bytes whole = archive(text);
        EXPECT_EQ(attributedBodyText(whole), text) << character.size() << "-byte whole";
        const std::size_t start = textEnd(whole, text) - text.size();
        for (std::size_t kept = 1; kept < character.size(); ++kept) {
            // The count ends the text inside the character, whose rest still follows it.
            Bytes cut = whole;
            cut[start - 1] = static_cast<std::uint8_t>(1 + kept);
            EXPECT_EQ(attributedBodyText(cut), std::nullopt) << character.size() << "/" << kept;
            // And with the buffer ending there too, for the sanitizers.
            cut.resize(start + 1 + kept);
            EXPECT_EQ(attributedBodyText(cut), std::nullopt) << character.size() << "/" << kept;
        }
    }
}

}  // namespace
