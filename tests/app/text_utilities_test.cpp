// Size texts, C texts, durations and the contact look-up.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <climits>
#include <memory>
#include <vector>

#include "backup/pr_contact_node.h"
#include "ui/core/text_utilities.h"

namespace nimbara::shell {
namespace {

TEST(SizeText, EachUnitStartsAtItsBoundary) {
    EXPECT_EQ(size_to_unit(0), "0.00bytes");
    EXPECT_EQ(size_to_unit(999), "999.00bytes");
    EXPECT_EQ(size_to_unit(1000), "1.00KB");
    EXPECT_EQ(size_to_unit(1500), "1.50KB");
    EXPECT_EQ(size_to_unit(1'000'000), "1.00MB");
    EXPECT_EQ(size_to_unit(1'000'000'000), "1.00GB");
    EXPECT_EQ(size_to_unit(1'000'000'000'000ULL), "1.00TB");
    EXPECT_EQ(size_to_unit(1'500'000'000'000ULL), "1.50TB");
    EXPECT_EQ(size_to_unit(250'000'000'000'000ULL), "250.00TB");
}

TEST(SizeText, UnitFollowsTheByteCountNotTheRoundedValue) {
    // The last count of each unit rounds up to 1000 of that unit.
    EXPECT_EQ(size_to_unit(999'999), "1000.00KB");
    EXPECT_EQ(size_to_unit(999'999'999), "1000.00MB");
    EXPECT_EQ(size_to_unit(999'999'999'999ULL), "1000.00GB");
}

TEST(SizeText, QuotientIsWorkedOutInSinglePrecision) {
    // 16,777,217 is not a single-precision value; it reads as 16,777,216.
    EXPECT_EQ(size_to_unit(16'777'217), "16.78MB");
    // 2,675 / 1000 lies just below 2.675 and rounds down.
    EXPECT_EQ(size_to_unit(2'675), "2.67KB");
    EXPECT_EQ(size_to_unit(UINT64_MAX), "18446744.00TB");
}

TEST(SizeParse, ReadsTheUnitsOfTheSizeText) {
    EXPECT_EQ(sizeFormString("1.00KB"), 1000u);
    EXPECT_EQ(sizeFormString("512.00bytes"), 512u);
    EXPECT_EQ(sizeFormString("2.50GB"), 2'500'000'000u);
    EXPECT_EQ(sizeFormString("7TB"), 7'000'000'000'000u);
    EXPECT_EQ(sizeFormString("3.25MB"), 3'250'000u);
    EXPECT_EQ(sizeFormString("1.50 KB"), 1500u);
    EXPECT_EQ(sizeFormString("  4.00MB"), 4'000'000u);
    EXPECT_EQ(sizeFormString("999.99bytes"), 999u);
}

TEST(SizeParse, AnythingElseGivesZero) {
    EXPECT_EQ(sizeFormString(""), 0u);
    EXPECT_EQ(sizeFormString(QString()), 0u);
    EXPECT_EQ(sizeFormString("12kb"), 0u);
    EXPECT_EQ(sizeFormString("3 B"), 0u);
    EXPECT_EQ(sizeFormString("5"), 0u);
    EXPECT_EQ(sizeFormString("bytes"), 0u);
    EXPECT_EQ(sizeFormString("abcbytes"), 0u);
    EXPECT_EQ(sizeFormString("junkKB"), 0u);
    EXPECT_EQ(sizeFormString("12.5 Bytes"), 0u);
    // Values no byte count can hold.
    EXPECT_EQ(sizeFormString("-5KB"), 0u);
    EXPECT_EQ(sizeFormString("-5bytes"), 0u);
    EXPECT_EQ(sizeFormString("1e400TB"), 0u);
    EXPECT_EQ(sizeFormString("20000000TB"), 0u);
}

TEST(SizeParse, ReadsBackWhatTheSizeTextWrote) {
    const std::uint64_t counts[] = {
        0, 7, 999, 1000, 123'000, 45'600'000, 7'890'000'000ULL, 2'000'000'000'000ULL};
    for (std::uint64_t n : counts) {
        EXPECT_EQ(sizeFormString(size_to_unit(n)), n) << n;
    }
    // Two decimals keep three significant figures of the unit.
    EXPECT_EQ(sizeFormString(size_to_unit(1234)), 1230u);
}

TEST(LeadingNumber, ReadsLikeAStringToNumberReader) {
    EXPECT_DOUBLE_EQ(leadingDouble(u" 2.5xyz"), 2.5);
    EXPECT_DOUBLE_EQ(leadingDouble(u"-.5"), -0.5);
    EXPECT_DOUBLE_EQ(leadingDouble(u"3."), 3.0);
    EXPECT_DOUBLE_EQ(leadingDouble(u"1e3KB"), 1000.0);
    EXPECT_DOUBLE_EQ(leadingDouble(u"2eKB"), 2.0);
    EXPECT_DOUBLE_EQ(leadingDouble(u"."), 0.0);
    EXPECT_DOUBLE_EQ(leadingDouble(u"abc"), 0.0);
    EXPECT_DOUBLE_EQ(leadingDouble(u""), 0.0);
    EXPECT_EQ(leadingInt(u" 12abc"), 12);
    EXPECT_EQ(leadingInt(u"+7"), 7);
    EXPECT_EQ(leadingInt(u"-3.9"), -3);
    EXPECT_EQ(leadingInt(u"x1"), 0);
    EXPECT_EQ(leadingInt(u"99999999999"), INT_MAX);
    EXPECT_EQ(leadingInt(u"-99999999999"), INT_MIN);
}

TEST(FullName, PadsToEightDigits) {
    EXPECT_EQ(getFullName(42), "00000042");
    EXPECT_EQ(getFullName(0), "00000000");
    EXPECT_EQ(getFullName(12'345'678), "12345678");
    EXPECT_EQ(getFullName(123'456'789), "123456789");
}

TEST(CText, DecodesUtf8) {
    EXPECT_EQ(GetStringFormChar("plain"), "plain");
    EXPECT_EQ(GetStringFormChar("h\xC3\xA9llo"), QString::fromUtf8("h\xC3\xA9llo"));
    // A character outside the basic plane is one unit in the buffer and two in the string.
    const QString emoji = GetStringFormChar("a\xF0\x9F\x98\x80");
    EXPECT_EQ(emoji.size(), 3);
    EXPECT_EQ(emoji.toUcs4().at(1), 0x1F600u);
    const QString empty = GetStringFormChar("");
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_FALSE(empty.isNull());
}

TEST(CText, InvalidUtf8GivesAnEmptyStringNotNull) {
    for (const char* bad : {"\xFF", "ab\xC3", "\xC0\xAF", "\xED\xA0\x80", "ok\xE2\x82"}) {
        const QString text = GetStringFormChar(bad);
        EXPECT_TRUE(text.isEmpty()) << bad;
        EXPECT_FALSE(text.isNull()) << bad;
    }
    EXPECT_FALSE(GetStringFormChar(nullptr).isNull());
}

TEST(CText, Char2UnicodeClearsAndBoundsTheBuffer) {
    char32_t units[6];
    std::fill(std::begin(units), std::end(units), U'#');
    EXPECT_EQ(Char2Unicode("abcdefgh", units, 4), 3);
    EXPECT_EQ(std::u32string(units, 3), U"abc");
    EXPECT_EQ(units[3], 0u);
    EXPECT_EQ(units[4], U'#');  // beyond the capacity given

    std::fill(std::begin(units), std::end(units), U'#');
    EXPECT_EQ(Char2Unicode("\xFF", units, 6), 0);
    for (char32_t unit : units) {
        EXPECT_EQ(unit, 0u);
    }
    EXPECT_EQ(Char2Unicode("a", nullptr, 6), 0);
    EXPECT_EQ(Char2Unicode("a", units, 0), 0);
}

TEST(WideText, NullGivesOneBlank) {
    EXPECT_EQ(GetNSStringDate(static_cast<const char32_t*>(nullptr)), " ");
    EXPECT_EQ(GetNSStringDate(std::optional<std::u32string>()), " ");
    EXPECT_EQ(GetNSStringDate(U"12-31-2004 12:00"), "12-31-2004 12:00");
    const char32_t cut[] = {U'a', U'b', 0, U'c', 0};
    EXPECT_EQ(GetNSStringDate(cut), "ab");
}

TEST(CallTime, PadsHoursMinutesAndSeconds) {
    EXPECT_EQ(getCallHistoryDate(0), "00:00:00");
    EXPECT_EQ(getCallHistoryDate(999), "00:00:00");
    EXPECT_EQ(getCallHistoryDate(59'999), "00:00:59");
    EXPECT_EQ(getCallHistoryDate(60'000), "00:01:00");
    EXPECT_EQ(getCallHistoryDate(3'599'999), "00:59:59");
    EXPECT_EQ(getCallHistoryDate(3'723'000), "01:02:03");
    EXPECT_EQ(getCallHistoryDate(36'000'000), "10:00:00");
    EXPECT_EQ(getCallHistoryDate(360'000'000), "100:00:00");
}

TEST(CallDuration, ShowsTheLargestUnitOnly) {
    EXPECT_EQ(getCallHistoryDuration(0), "0 second");
    EXPECT_EQ(getCallHistoryDuration(1), "1 second");
    EXPECT_EQ(getCallHistoryDuration(2), "2 seconds");
    EXPECT_EQ(getCallHistoryDuration(59), "59 seconds");
    EXPECT_EQ(getCallHistoryDuration(60), "1 minute");
    EXPECT_EQ(getCallHistoryDuration(61), "1 minute");
    EXPECT_EQ(getCallHistoryDuration(119), "1 minute");
    EXPECT_EQ(getCallHistoryDuration(120), "2 minutes");
    EXPECT_EQ(getCallHistoryDuration(3599), "59 minutes");
    EXPECT_EQ(getCallHistoryDuration(3600), "1 hour");
    EXPECT_EQ(getCallHistoryDuration(7199), "1 hour");
    EXPECT_EQ(getCallHistoryDuration(7200), "2 hours");
    EXPECT_EQ(getCallHistoryDuration(90'000), "25 hours");
}

std::shared_ptr<PRContactNode> contact(const QString& name, const QString& phone,
                                       const QByteArray& image = QByteArray()) {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(name);
    node->setContactPhone(phone);
    node->setImageData(image);
    return node;
}

TEST(ContactNode, StartsWithTheDefaults) {
    const PRContactNode node;
    EXPECT_EQ(node.rowid(), -1);
    for (const QString& text :
         {node.contactName(), node.contactPhone(), node.contactEmail(), node.contactHomepage(),
          node.contactCompany(), node.contactBirthday(), node.contactJobtitle(), node.contactNote(),
          node.contactAdress()}) {
        EXPECT_TRUE(text.isEmpty());
        EXPECT_FALSE(text.isNull());
    }
    EXPECT_TRUE(node.imageData().isNull());
    EXPECT_FALSE(node.bDeleted());
    EXPECT_FALSE(node.bSelected());
}

TEST(ContactLookup, FindsANumberWrittenWithFormattingCharacters) {
    const ContactList contacts = {contact("Ann", "(555) 123-4567", "ann.png")};
    QByteArray picture;
    EXPECT_EQ(getNameByPhoneNumber("5551234567", contacts), "Ann");
    EXPECT_EQ(getNameByPhoneNumber("5551234567", contacts, picture), "Ann");
    EXPECT_EQ(picture, "ann.png");
    picture.clear();
    EXPECT_EQ(getTransNameByPhoneNumber("555-123-4567", contacts, picture), "Ann");
    EXPECT_EQ(picture, "ann.png");
    // With a country code in front, the stored number is the shorter one.
    EXPECT_EQ(getNameByPhoneNumber("+1 555 123 4567", contacts), "Ann");
}

TEST(ContactLookup, ComparesTheMiddleOfTheShorterNumber) {
    const ContactList contacts = {contact("Ann", "5551234567")};
    // The fragment is characters 2 to 8 ("5123456"): the ends of the number don't count.
    EXPECT_EQ(getNameByPhoneNumber("9551234560", contacts), "Ann");
    EXPECT_TRUE(getNameByPhoneNumber("0001234999", contacts).isNull());
    // Letters in a number compare without regard to case.
    const ContactList lettered = {contact("Shop", "1-800-FLOWERS")};
    EXPECT_EQ(getNameByPhoneNumber("1800flowers", lettered), "Shop");
}

TEST(ContactLookup, PictureFormsNeedAFragmentOfSixCharacters) {
    const ContactList contacts = {contact("Ann", "5551234567", "ann.png")};
    QByteArray picture("kept");
    // Five digits: the plain form finds the middle "234"; the picture forms need six.
    EXPECT_EQ(getNameByPhoneNumber("12345", contacts), "Ann");
    EXPECT_TRUE(getNameByPhoneNumber("12345", contacts, picture).isNull());
    EXPECT_TRUE(getTransNameByPhoneNumber("12345", contacts, picture).isNull());
    EXPECT_EQ(picture, "kept");
    // Seven characters give a fragment of four, eight a fragment of six.
    EXPECT_TRUE(getNameByPhoneNumber("5123456", contacts, picture).isNull());
    EXPECT_EQ(getNameByPhoneNumber("51234567", contacts, picture), "Ann");
    EXPECT_EQ(picture, "ann.png");
}

TEST(ContactLookup, FirstMatchWinsAndUnusableEntriesAreSkipped) {
    const ContactList contacts = {nullptr, contact("No phone", ""),
                                  contact("Null phone", QString()),
                                  contact("First", "555 123 4567", "first.png"),
                                  contact("Second", "5551234567", "second.png")};
    QByteArray picture;
    EXPECT_EQ(getNameByPhoneNumber("5551234567", contacts), "First");
    EXPECT_EQ(getNameByPhoneNumber("5551234567", contacts, picture), "First");
    EXPECT_EQ(picture, "first.png");
}

TEST(ContactLookup, EmptyListsAndEmptyNumbersMatchNobody) {
    QByteArray picture("kept");
    EXPECT_TRUE(getNameByPhoneNumber("5551234567", ContactList()).isNull());
    EXPECT_TRUE(getNameByPhoneNumber("5551234567", ContactList(), picture).isNull());
    EXPECT_TRUE(getTransNameByPhoneNumber("5551234567", ContactList(), picture).isNull());
    const ContactList contacts = {contact("Ann", "5551234567")};
    EXPECT_TRUE(getNameByPhoneNumber("", contacts).isNull());
    EXPECT_TRUE(getNameByPhoneNumber("( ) - ", contacts).isNull());
    EXPECT_TRUE(getNameByPhoneNumber("7", contacts).isNull());
    EXPECT_EQ(picture, "kept");
}

}  // namespace
}  // namespace nimbara::shell
