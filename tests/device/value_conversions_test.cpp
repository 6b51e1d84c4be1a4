// Conversions between property-list values and plain text, numbers, maps and vectors.
#include <gtest/gtest.h>

#include <array>

#include "device/value_conversions.h"
#include "test_support.h"

namespace {

using nimbara::PlistValue;

TEST(ValueConversions, TextKeepsUtf8AndEndsAtTheFirstNul) {
    EXPECT_EQ(amd::cfStringToStdString(PlistValue("Grüße, 東京")), "Grüße, 東京");
    EXPECT_EQ(amd::cfStringToStdString(PlistValue(std::string("ab\0cd", 5))), "ab");
    EXPECT_EQ(amd::stdStringToCFString("Grüße").toString(), "Grüße");
    EXPECT_EQ(amd::stdStringToCFString(std::string("ab\0cd", 5)).toString(), "ab");

    nimbara::test::LogRecorder log;
    EXPECT_EQ(amd::cfStringToStdString(PlistValue(42)), "");
    EXPECT_EQ(log.count("* CFStringGetCString"), 1);
}

TEST(ValueConversions, AnyValueAsText) {
    EXPECT_EQ(amd::cfTypeToStdString(static_cast<const PlistValue*>(nullptr)), "");
    EXPECT_EQ(amd::cfTypeToStdString(PlistValue()), "");
    EXPECT_EQ(amd::cfTypeToStdString(std::optional<PlistValue>()), "");
    EXPECT_EQ(amd::cfTypeToStdString(PlistValue("text")), "text");
    EXPECT_EQ(amd::cfTypeToStdString(PlistValue(42)), "42");
    EXPECT_EQ(amd::cfTypeToStdString(PlistValue(-7)), "-7");
    EXPECT_EQ(amd::cfTypeToStdString(std::optional<PlistValue>(PlistValue(true))), "true");
}

TEST(ValueConversions, NumbersAndNonNumbers) {
    EXPECT_EQ(amd::cfNumberToInt64(PlistValue("42")), 0);  // text is not a number
    EXPECT_EQ(amd::cfNumberToInt64(PlistValue(true)), 0);
    EXPECT_EQ(amd::cfNumberToInt64(PlistValue()), 0);
    EXPECT_EQ(amd::cfNumberToInt64(static_cast<const PlistValue*>(nullptr)), 0);
    EXPECT_EQ(amd::cfNumberToInt64(std::optional<PlistValue>()), 0);
    EXPECT_EQ(amd::cfNumberToInt64(PlistValue(std::int64_t(-9000000000LL))), -9000000000LL);
    EXPECT_EQ(amd::cfNumberToInt64(PlistValue(3600.75)), 3600);
    EXPECT_EQ(amd::cfNumberToInt64(amd::int64ToCFNumber(INT64_MIN)), INT64_MIN);
    EXPECT_EQ(amd::floatToCFNumber(0.1f).toDouble(), static_cast<double>(0.1f));
}

TEST(ValueConversions, DictionariesAndArrays) {
    EXPECT_TRUE(amd::cfDictionaryToMap(PlistValue("not a dictionary")).empty());
    EXPECT_TRUE(amd::cfDictionaryToMap(static_cast<const PlistValue*>(nullptr)).empty());
    EXPECT_TRUE(amd::cfArrayToVector(PlistValue::dict()).empty());
    EXPECT_TRUE(amd::cfArrayToVector(PlistValue()).empty());

    PlistValue dict = PlistValue::dict();
    dict[std::string("k\0b", 3)] = 1;
    dict[std::string("k\0c", 3)] = 2;  // the same key once cut at the NUL: the first stays
    dict["name"] = "x";
    amd::ValueMap map = amd::cfDictionaryToMap(dict);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map["k"].toInt64(), 1);
    EXPECT_EQ(map["name"].toString(), "x");

    PlistValue back = amd::mapToCFDictionary(map);
    ASSERT_TRUE(back.isDict());
    EXPECT_EQ(back["k"].toInt64(), 1);

    PlistValue array = PlistValue::array();
    array.append("a");
    array.append(2);
    array.append(PlistValue::dict());
    amd::ValueVector vector = amd::cfArrayToVector(array);
    ASSERT_EQ(vector.size(), 3u);
    EXPECT_EQ(vector[0].toString(), "a");
    EXPECT_EQ(vector[1].toInt64(), 2);
    EXPECT_EQ(amd::vectorToCFArray(vector), array);
}

TEST(ValueConversions, UuidText) {
    std::array<std::uint8_t, 16> zeros{};
    EXPECT_EQ(amd::uuidBytesToString(zeros), "00000000-0000-0000-0000-000000000000");
    std::array<std::uint8_t, 16> bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                                       0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(amd::uuidBytesToString(bytes), "01234567-89AB-CDEF-FEDC-BA9876543210");
    std::vector<std::uint8_t> shortBytes(15, 0);
    EXPECT_EQ(amd::uuidBytesToString(shortBytes), "");
}

}  // namespace
