// Header clicks and the sorts they start: which direction flag a click turns (the name flag is
// shared between tables), photos by number and by size, names, and calls by the moment they
// began whatever their date text says.
#include "browser/record_sorting.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <cmath>
#include <limits>
#include <random>

#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_photo_and_video_node.h"

namespace nimbara::browser {
namespace {

using Photos = std::vector<std::shared_ptr<PRPhotoAndVideoNode>>;
using Contacts = std::vector<std::shared_ptr<PRContactNode>>;
using Calls = std::vector<std::shared_ptr<PRCallHistoryNode>>;

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

std::shared_ptr<PRPhotoAndVideoNode> photo(const char* name, const char* size = "") {
    auto node = std::make_shared<PRPhotoAndVideoNode>();
    node->setFileNodeName(QString::fromUtf8(name));
    node->setFileNodeSize(QString::fromUtf8(size));
    return node;
}

std::shared_ptr<PRContactNode> contact(const char* name, int rowid = -1) {
    auto node = std::make_shared<PRContactNode>();
    node->setContactName(QString::fromUtf8(name));
    node->setRowid(rowid);
    return node;
}

std::shared_ptr<PRCallHistoryNode> call(double began, const char* dateText, int rowid = -1) {
    auto node = std::make_shared<PRCallHistoryNode>();
    node->setCallTimestamp(began);
    node->setCallDate(QString::fromUtf8(dateText));
    node->setRowid(rowid);
    return node;
}

QStringList photoNames(const Photos& photos) {
    QStringList names;
    for (const auto& p : photos) {
        names << p->fileNodeName();
    }
    return names;
}

QStringList contactNames(const Contacts& contacts) {
    QStringList names;
    for (const auto& c : contacts) {
        names << c->contactName();
    }
    return names;
}

std::vector<int> rowids(const Calls& calls) {
    std::vector<int> ids;
    for (const auto& c : calls) {
        ids.push_back(c->rowid());
    }
    return ids;
}

TEST(RecordSortClickTest, TheNameDirectionIsSharedBetweenTables) {
    RecordSortState state;
    const SortRequest first = state.columnClicked(SortableTable::Contact, u"Name");
    EXPECT_EQ(first.key, SortKey::Name);
    EXPECT_TRUE(first.ascending);
    const SortRequest second = state.columnClicked(SortableTable::Contact, u"Name");
    EXPECT_FALSE(second.ascending);
    // The call table's name column continues from the contact table's last direction.
    const SortRequest third = state.columnClicked(SortableTable::Call, u"Name");
    EXPECT_EQ(third.key, SortKey::Name);
    EXPECT_TRUE(third.ascending);
    const SortRequest photos = state.columnClicked(SortableTable::Photo, u"Name");
    EXPECT_FALSE(photos.ascending);
    // Contacts and messages sort by name whichever column is clicked.
    EXPECT_EQ(state.columnClicked(SortableTable::Message, u"Date").key, SortKey::Name);
    EXPECT_EQ(state.columnClicked(SortableTable::Contact, u"Phone").key, SortKey::Name);
    EXPECT_FALSE(state.nameAscending());
}

TEST(RecordSortClickTest, ClicksThatSortNothingTurnNoDirection) {
    RecordSortState state;
    for (SortableTable table : {SortableTable::Photo, SortableTable::Contact,
                                SortableTable::Message, SortableTable::Call}) {
        EXPECT_FALSE(state.columnClicked(table, u"bSelected").sorts());
    }
    EXPECT_FALSE(state.columnClicked(SortableTable::Photo, u"Type").sorts());
    EXPECT_FALSE(state.columnClicked(SortableTable::Other, u"Name").sorts());
    EXPECT_FALSE(state.nameAscending());
    EXPECT_FALSE(state.sizeAscending());
    EXPECT_FALSE(state.dateAscending());

    // Each key keeps its own direction.
    EXPECT_EQ(state.columnClicked(SortableTable::Photo, u"Size").key, SortKey::Size);
    const SortRequest date = state.columnClicked(SortableTable::Call, u"Date");
    EXPECT_EQ(date.key, SortKey::Date);
    EXPECT_TRUE(date.ascending);
    EXPECT_EQ(state.columnClicked(SortableTable::Call, u"Type").key, SortKey::Date);
    EXPECT_TRUE(state.sizeAscending());
    EXPECT_FALSE(state.dateAscending());
    EXPECT_FALSE(state.nameAscending());
}

TEST(RecordSortTest, ContactsByNameBothWaysKeepEqualNamesInOrder) {
    Contacts contacts{contact("bob", 1), contact("Ann", 2), contact("ann", 3),
                      contact("Bob", 4), contact("Ann", 5), contact("", 6)};
    RecordSortState state;
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Contact, u"Name"), contacts));
    // Plain text comparison: case counts, upper case first.
    EXPECT_EQ(contactNames(contacts), QStringList({"", "Ann", "Ann", "Bob", "ann", "bob"}));
    EXPECT_EQ(contacts[1]->rowid(), 2);
    EXPECT_EQ(contacts[2]->rowid(), 5);
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Contact, u"Name"), contacts));
    EXPECT_EQ(contactNames(contacts), QStringList({"bob", "ann", "Bob", "Ann", "Ann", ""}));
    // Stable in both directions: the two "Ann" keep their first order.
    EXPECT_EQ(contacts[3]->rowid(), 2);
    EXPECT_EQ(contacts[4]->rowid(), 5);
}

TEST(RecordSortTest, PhotosByTheNumberOfTheirName) {
    Photos photos{photo("10.jpg"), photo("9.jpg"), photo("100.jpg")};
    sortPhotosByName(photos, true);
    EXPECT_EQ(photoNames(photos), QStringList({"9.jpg", "10.jpg", "100.jpg"}));
    sortPhotosByName(photos, false);
    EXPECT_EQ(photoNames(photos), QStringList({"100.jpg", "10.jpg", "9.jpg"}));

    // Names without a leading number (all 0) order by their text; the extension is cut at the
    // last dot; numbers too long for an int don't wrap around.
    Photos mixed{photo("IMG_b.PNG"),          photo("2.5.jpg"), photo("IMG_a.PNG"),
                 photo("99999999999999.jpg"), photo("-1.mov"),  photo("3")};
    sortPhotosByName(mixed, true);
    EXPECT_EQ(photoNames(mixed), QStringList({"-1.mov", "IMG_a.PNG", "IMG_b.PNG", "2.5.jpg", "3",
                                              "99999999999999.jpg"}));
}

TEST(RecordSortTest, PhotosByTheByteCountOfTheirSizeText) {
    Photos photos{photo("a", "3.00MB"), photo("b", "12.50KB"), photo("c", "999.00bytes"),
                  photo("d", ""), photo("e", "1.00GB")};
    RecordSortState state;
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Photo, u"Size"), photos));
    // As texts "12.50KB" would come before "3.00MB" only by luck; "999.00bytes" would be last.
    EXPECT_EQ(photoNames(photos), QStringList({"d", "c", "b", "a", "e"}));
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Photo, u"Size"), photos));
    EXPECT_EQ(photoNames(photos), QStringList({"e", "a", "b", "c", "d"}));
}

// Date texts are month first where the reader made them, but a text made or read where the day
// comes first would order 01-02 (1 February) before 02-01 (2 January). The stored moment decides.
TEST(RecordSortTest, CallsByTheMomentTheyBeganAcrossTheYearAndLocales) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Calls calls{call(1675209600, "01-02-2023 00:00", 4),  // 2023-02-01, day-first text
                call(kUnknown, "", 9),                    // no date
                call(1672531260, "01-01-2023 00:01", 2),  // just after new year
                call(1672617600, "02-01-2023 00:00", 3),  // 2023-01-02, day-first text
                call(1672531140, "12-31-2022 23:59", 1),  // new year's eve
                call(kUnknown, " ", 10)};
    RecordSortState state;
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Call, u"Date"), calls));
    EXPECT_EQ(rowids(calls), (std::vector<int>{1, 2, 3, 4, 9, 10}));
    ASSERT_TRUE(applySort(state.columnClicked(SortableTable::Call, u"Date"), calls));
    // Calls without a date stay last, in their order.
    EXPECT_EQ(rowids(calls), (std::vector<int>{4, 3, 2, 1, 9, 10}));
    QLocale::setDefault(before);
}

// Many calls with repeated and unknown times: a comparator that is no strict weak ordering (NaN
// compared as a number) leaves unknown times mixed in or breaks stability.
TEST(RecordSortTest, ManyCallsWithRepeatedAndUnknownTimesSortSoundly) {
    std::mt19937 random(13);
    std::uniform_int_distribution<int> pick(0, 12);
    Calls calls;
    for (int i = 0; i < 500; ++i) {
        const int value = pick(random);
        calls.push_back(call(value == 0 ? kUnknown : 1.6e9 + value * 60.0, "", i));
    }
    for (const bool ascending : {true, false}) {
        sortCallsByDate(calls, ascending);
        ASSERT_EQ(calls.size(), 500u);
        std::size_t firstUnknown = 0;
        while (firstUnknown < calls.size() && !std::isnan(calls[firstUnknown]->callTimestamp())) {
            ++firstUnknown;
        }
        for (std::size_t i = firstUnknown; i < calls.size(); ++i) {
            EXPECT_TRUE(std::isnan(calls[i]->callTimestamp())) << i;
        }
        for (std::size_t i = 1; i < firstUnknown; ++i) {
            const double a = calls[i - 1]->callTimestamp();
            const double b = calls[i]->callTimestamp();
            EXPECT_TRUE(ascending ? a <= b : a >= b) << i;
        }
        if (ascending) {
            // The first sort started from row order: equal times keep it.
            for (std::size_t i = 1; i < calls.size(); ++i) {
                const bool same = calls[i - 1]->callTimestamp() == calls[i]->callTimestamp() ||
                                  (std::isnan(calls[i - 1]->callTimestamp()) &&
                                   std::isnan(calls[i]->callTimestamp()));
                if (same) {
                    EXPECT_LT(calls[i - 1]->rowid(), calls[i]->rowid()) << i;
                }
            }
        }
    }
}

// A call's name column sorts by name; a key a family has no sort for leaves it as it was.
TEST(RecordSortTest, EachFamilySortsOnlyByItsOwnKeys) {
    Calls calls{call(1, "", 1), call(2, "", 2)};
    calls[0]->setCallName(QStringLiteral("Zed"));
    calls[1]->setCallName(QStringLiteral("Amy"));
    EXPECT_TRUE(applySort(SortRequest{SortKey::Name, true}, calls));
    EXPECT_EQ(rowids(calls), (std::vector<int>{2, 1}));
    EXPECT_FALSE(applySort(SortRequest{SortKey::Size, true}, calls));
    Contacts contacts{contact("b"), contact("a")};
    EXPECT_FALSE(applySort(SortRequest{SortKey::Date, true}, contacts));
    EXPECT_EQ(contactNames(contacts), QStringList({"b", "a"}));
}

}  // namespace
}  // namespace nimbara::browser
