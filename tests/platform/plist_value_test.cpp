#include <gtest/gtest.h>

#include <clocale>

#include "platform/plist_value.h"
#include "platform/text_format.h"

using nimbara::PlistValue;

TEST(PlistValue, RoundTripsThroughXmlAndBinary) {
    PlistValue v = PlistValue::dict();
    v["name"] = "iPhone ß";
    v["size"] = std::int64_t(128000000000LL);
    v["negative"] = -42;
    v["ratio"] = 0.25;
    v["flag"] = true;
    v["blob"] = PlistValue::Bytes{0, 1, 2, 255};
    v["when"] = PlistValue::date(600000000.0);  // XML dates keep whole seconds
    v["list"].append("a");
    v["list"].append(PlistValue::dict());

    auto fromXml = PlistValue::parse(v.toXml());
    ASSERT_TRUE(fromXml);
    EXPECT_EQ(*fromXml, v);

    auto bin = v.toBinary();
    auto fromBin = PlistValue::parse(bin.data(), bin.size());
    ASSERT_TRUE(fromBin);
    EXPECT_EQ((*fromBin)["size"].toInt64(), 128000000000LL);
    EXPECT_EQ((*fromBin)["negative"].toInt64(), -42);
    EXPECT_EQ((*fromBin)["name"].toString(), "iPhone ß");
}

TEST(PlistValue, RejectsGarbageAndTruncatedInput) {
    EXPECT_FALSE(PlistValue::parse(std::string("not a plist at all")));
    EXPECT_FALSE(PlistValue::parse(std::string()));
    PlistValue v = PlistValue::dict();
    v["k"] = "value";
    std::string xml = v.toXml();
    EXPECT_FALSE(PlistValue::parse(xml.substr(0, xml.size() / 2)));
    auto bin = v.toBinary();
    EXPECT_FALSE(PlistValue::parse(bin.data(), bin.size() - 10));
}

TEST(PlistValue, TypedReadsFallBackOnOtherTypes) {
    PlistValue s("12");
    EXPECT_EQ(s.toInt64(), 0);
    EXPECT_EQ(s.toArray().size(), 0u);
    PlistValue n(7);
    EXPECT_EQ(n.toString(), "");
    EXPECT_EQ(n.description(), "7");
    const PlistValue d = PlistValue::dict();
    EXPECT_TRUE(d["missing"].isNull());
}

TEST(PlistValue, CopiesAreIndependent) {
    PlistValue a = PlistValue::dict();
    a["inner"]["x"] = 1;
    PlistValue b = a;
    b["inner"]["x"] = 2;
    EXPECT_EQ(a["inner"]["x"].toInt64(), 1);
}

TEST(TextFormat, IgnoresTheLocaleDecimalComma) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = old ? old : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // may be missing; the C locale is fine too
    EXPECT_EQ(nimbara::formatFixed(1.005e3, 2), "1005.00");
    EXPECT_EQ(nimbara::formatFixed(0.5, 2), "0.50");
    EXPECT_EQ(nimbara::parseDouble("2.5").value_or(0), 2.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(nimbara::formatHexUpper(0), "0");
    EXPECT_EQ(nimbara::formatHexUpper(0x5B0E2D94A7C31F68ULL), "5B0E2D94A7C31F68");
    EXPECT_FALSE(nimbara::parseInt64("12x"));
}
