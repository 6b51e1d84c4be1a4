// The cookie file parser on files made by its writer and on files made to hurt it: every count,
// offset and size is checked before use, a record of size 0 is left out instead of stalling, and
// a damaged page or record costs only itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "privacy/binary_cookies.h"

namespace {

using namespace nimbara::privacy;

std::vector<std::string> sampleRecords() {
    return {makeCookieRecord({.url = ".weather.example",
                              .name = "units",
                              .path = "/",
                              .value = "imperial",
                              .flags = 0,
                              .expiry = 850000000.5,
                              .creation = 818000000.25}),
            makeCookieRecord({.url = "kitchen.example",
                              .name = "session",
                              .path = "/recipes",
                              .value = "f3a9c2e17b6d4058",
                              .flags = 5,
                              .expiry = 0,
                              .creation = 0}),
            makeCookieRecord({.url = ".search.example",
                              .name = "empty",
                              .path = "/",
                              .value = "",
                              .flags = 1,
                              .expiry = 1,
                              .creation = 2})};
}

void putLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void putBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// The one page of a file made by the writer.
std::string pageOf(const std::string& file) {
    const std::uint32_t size =
        (static_cast<std::uint8_t>(file[8]) << 24) | (static_cast<std::uint8_t>(file[9]) << 16) |
        (static_cast<std::uint8_t>(file[10]) << 8) | static_cast<std::uint8_t>(file[11]);
    return file.substr(12, size);
}

// A file of several pages, assembled by hand (the writer makes one).
std::string filePages(const std::vector<std::string>& pages) {
    std::string out("cook", 4);
    putBigEndian(out, static_cast<std::uint32_t>(pages.size()));
    for (const std::string& page : pages) {
        putBigEndian(out, static_cast<std::uint32_t>(page.size()));
    }
    for (const std::string& page : pages) {
        out += page;
    }
    return out;
}

TEST(BinaryCookies, ReadBackWhatTheWriterWrote) {
    const std::string trailer = "bplist00-policy";
    const BinaryCookieFile file = parseBinaryCookies(writeBinaryCookies(sampleRecords(), trailer));
    ASSERT_TRUE(file.complete()) << file.error;
    ASSERT_EQ(file.cookies.size(), 3u);
    const BinaryCookie& first = file.cookies[0];
    EXPECT_EQ(first.url, ".weather.example");
    EXPECT_EQ(first.name, "units");
    EXPECT_EQ(first.path, "/");
    EXPECT_EQ(first.value, "imperial");
    EXPECT_EQ(first.expiry, 850000000.5);
    EXPECT_EQ(first.creation, 818000000.25);
    EXPECT_EQ(file.cookies[1].flags, 5u);
    EXPECT_EQ(file.cookies[1].path, "/recipes");
    EXPECT_EQ(file.cookies[2].value, "");
    for (std::size_t i = 0; i < file.cookies.size(); ++i) {
        EXPECT_EQ(file.cookies[i].ordinal, i);
        EXPECT_EQ(file.cookies[i].record, sampleRecords()[i]);
        EXPECT_EQ(file.cookies[i].digest().size(), 20);
    }
    EXPECT_NE(file.cookies[0].digest(), file.cookies[1].digest());
    EXPECT_EQ(file.trailer, trailer);

    // Written again from the records read, the file reads the same.
    std::vector<std::string> kept;
    for (const BinaryCookie& cookie : file.cookies) {
        kept.push_back(cookie.record);
    }
    EXPECT_EQ(writeBinaryCookies(kept, file.trailer), writeBinaryCookies(sampleRecords(), trailer));
}

TEST(BinaryCookies, AFileWithoutCookiesIsOneEmptyPage) {
    const std::string bytes = writeBinaryCookies({});
    const BinaryCookieFile file = parseBinaryCookies(bytes);
    EXPECT_TRUE(file.complete()) << file.error;
    EXPECT_TRUE(file.cookies.empty());
    EXPECT_EQ(file.pages, 1u);
    EXPECT_EQ(pageOf(bytes).size(), 12u);
}

TEST(BinaryCookies, WrongMarkAndImpossiblePageTablesAreRefused) {
    std::string bytes = writeBinaryCookies(sampleRecords());
    std::string wrong = bytes;
    wrong[0] = 'C';
    EXPECT_FALSE(parseBinaryCookies(wrong).ok);
    EXPECT_FALSE(parseBinaryCookies("").ok);
    EXPECT_FALSE(parseBinaryCookies(std::string("cook", 4)).ok);

    // A page count the file cannot hold is refused before any page is looked for.
    std::string huge = bytes;
    huge[4] = huge[5] = huge[6] = huge[7] = '\xFF';
    const BinaryCookieFile refused = parseBinaryCookies(huge);
    EXPECT_FALSE(refused.ok);
    EXPECT_TRUE(refused.cookies.empty());
}

TEST(BinaryCookies, EveryCutOfAFileReadsWithoutReadingPastItsEnd) {
    const std::string bytes = writeBinaryCookies(sampleRecords(), "trailer");
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        // Each cut is a buffer of its own, so a read past its end is caught by the sanitizers.
        const std::string cut = bytes.substr(0, length);
        const BinaryCookieFile file = parseBinaryCookies(cut);
        ASSERT_LE(file.cookies.size(), 3u) << length;
        if (file.ok && length < 12 + pageOf(bytes).size()) {
            EXPECT_FALSE(file.complete()) << length;
            EXPECT_TRUE(file.cookies.empty()) << length;
        }
    }
}

TEST(BinaryCookies, ARecordOfSizeZeroIsLeftOutAndTheOthersAreRead) {
    std::string bytes = writeBinaryCookies(sampleRecords());
    // The second record's offset, then its size field set to 0.
    const std::size_t page = 12;
    const std::uint32_t second = static_cast<std::uint8_t>(bytes[page + 12]) |
                                 (static_cast<std::uint8_t>(bytes[page + 13]) << 8);
    putLittleEndian(bytes, page + second, 0);
    const BinaryCookieFile file = parseBinaryCookies(bytes);
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.damagedCookies, 1u);
    ASSERT_EQ(file.cookies.size(), 2u);
    EXPECT_EQ(file.cookies[0].name, "units");
    EXPECT_EQ(file.cookies[1].name, "empty");
    EXPECT_EQ(file.cookies[1].ordinal, 1u);
    EXPECT_EQ(file.cookies[1].indexInPage, 2u);
}

TEST(BinaryCookies, DamagedRecordsAreLeftOutOneByOne) {
    const std::string good = writeBinaryCookies(sampleRecords());
    const std::size_t page = 12;
    // The page's header and count, its three offsets and the zero word, then the first record.
    const std::size_t firstRecord = page + 8 + 4 * 3 + 4;
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    };
    const Damage damages[] = {
        {"a size past the page", firstRecord, 0x7FFFFFFF},
        {"a size below the fixed part", firstRecord, 55},
        {"an offset into the page's table", page + 8, 4},
        {"an offset past the page", page + 8, 0xFFFFFF00},
        {"a text before the texts", firstRecord + 16, 8},
        {"a text past the record", firstRecord + 20, 0x10000},
    };
    for (const Damage& damage : damages) {
        std::string bytes = good;
        putLittleEndian(bytes, damage.at, damage.value);
        const BinaryCookieFile file = parseBinaryCookies(bytes);
        EXPECT_TRUE(file.ok) << damage.what;
        EXPECT_EQ(file.damagedCookies, 1u) << damage.what;
        EXPECT_EQ(file.cookies.size(), 2u) << damage.what;
        EXPECT_FALSE(file.complete()) << damage.what;
    }

    // The last text without its NUL: the record ends inside it.
    std::string open = good;
    open[page + pageOf(good).size() - 1] = 'x';
    EXPECT_EQ(parseBinaryCookies(open).damagedCookies, 1u);

    // Two table entries naming the same record: it is read once.
    std::string twice = good;
    const std::uint32_t first = static_cast<std::uint8_t>(good[page + 8]);
    putLittleEndian(twice, page + 12, first);
    const BinaryCookieFile file = parseBinaryCookies(twice);
    EXPECT_EQ(file.cookies.size(), 2u);
    EXPECT_EQ(file.damagedCookies, 1u);
}

TEST(BinaryCookies, ADamagedPageCostsOnlyItself) {
    const std::string page = pageOf(writeBinaryCookies(sampleRecords()));
    std::string badHeader = page;
    badHeader[2] = '\x02';
    std::string hugeCount = page;
    putLittleEndian(hugeCount, 4, 0xFFFFFFF0);
    const std::string tiny("\x00\x00\x01", 3);

    const BinaryCookieFile file = parseBinaryCookies(filePages({badHeader, page, hugeCount, tiny}));
    ASSERT_TRUE(file.ok) << file.error;
    EXPECT_EQ(file.pages, 4u);
    EXPECT_EQ(file.damagedPages, 3u);
    ASSERT_EQ(file.cookies.size(), 3u);
    EXPECT_EQ(file.cookies[0].page, 1u);
    EXPECT_EQ(file.cookies[2].ordinal, 2u);

    // A page larger than what is left: it and the pages after it cannot be found.
    std::string cut = filePages({page, page});
    cut.resize(cut.size() - 1);
    const BinaryCookieFile short_ = parseBinaryCookies(cut);
    EXPECT_TRUE(short_.ok);
    EXPECT_EQ(short_.cookies.size(), 3u);
    EXPECT_EQ(short_.damagedPages, 1u);
}

TEST(BinaryCookies, RecordTextsStopAtAnEmbeddedNul) {
    const std::string record = makeCookieRecord(
        {.url = std::string("a.example\0hidden", 16), .name = "n", .path = "/", .value = "v"});
    const BinaryCookieFile file = parseBinaryCookies(writeBinaryCookies({record}));
    ASSERT_EQ(file.cookies.size(), 1u);
    EXPECT_EQ(file.cookies[0].url, "a.example");
    EXPECT_EQ(file.cookies[0].name, "n");
}

}  // namespace
