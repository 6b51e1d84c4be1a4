// Listing a recovered record costs the same however many are listed already: for each shape a
// crafted database can take, four times the records cost less than six times as much.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "backup/pr_book_mark_node.h"
#include "backup/pr_calender_node.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_contact_node.h"
#include "backup/pr_note_node.h"
#include "browser/result_records.h"
#include "cost_meter.h"

namespace nimbara::browser {
namespace {

// A found record, then n recovered ones, all different, listed in a fresh list.
using Listing = std::function<void(ResultRecords&)>;

template <class Node>
std::function<Listing(int)> listingOf(
    std::function<std::shared_ptr<Node>(int)> make,
    void (ResultRecords::*found)(std::shared_ptr<Node>),
    bool (ResultRecords::*deleted)(const std::shared_ptr<Node>&)) {
    return [=](int n) -> Listing {
        std::vector<std::shared_ptr<Node>> nodes;
        for (int i = 0; i <= n; ++i) {
            nodes.push_back(make(i));
        }
        return [=](ResultRecords& records) {
            (records.*found)(nodes.front());
            for (int i = 1; i <= n; ++i) {
                EXPECT_TRUE((records.*deleted)(nodes[i]));
            }
        };
    };
}

TEST(ResultRecordsCostTest, FourTimesTheRecoveredRecordsCostLessThanSixTimesAsMuch) {
    struct Shape {
        const char* name;
        int n;
        std::function<Listing(int)> prepare;
    };
    const Shape shapes[] = {
        {"calls from one address", 1000,
         listingOf<PRCallHistoryNode>(
             [](int i) {
                 auto node = std::make_shared<PRCallHistoryNode>();
                 node->setCallPhone(QStringLiteral("+15550001111"));
                 node->setCallDate(QStringLiteral("2024-01-01 %1").arg(i));
                 return node;
             },
             &ResultRecords::addCallHistory, &ResultRecords::addDeletedCallHistory)},
        {"bookmarks", 1000,
         listingOf<PRBookMarkNode>(
             [](int i) {
                 auto node = std::make_shared<PRBookMarkNode>();
                 node->setBookMarkURL(QStringLiteral("https://example.com/%1").arg(i));
                 node->setBookMarkTitle(QStringLiteral("Page"));
                 return node;
             },
             &ResultRecords::addBookMark, &ResultRecords::addDeletedBookMark)},
        {"events", 1000,
         listingOf<PRCalenderNode>(
             [](int i) {
                 auto node = std::make_shared<PRCalenderNode>();
                 node->setCalTitle(QStringLiteral("Event %1").arg(i));
                 node->setStartDate(QStringLiteral("2024-01-01"));
                 return node;
             },
             &ResultRecords::addCalender, &ResultRecords::addDeletedCalender)},
        {"people with two numbers", 1000,
         listingOf<PRContactNode>(
             [](int i) {
                 auto node = std::make_shared<PRContactNode>();
                 node->setContactName(QStringLiteral("P%1").arg(i));
                 node->setContactPhone(QStringLiteral(" 555%1 556%1").arg(i));
                 return node;
             },
             &ResultRecords::addContact, &ResultRecords::addDeletedContact)},
        {"notes", 1000,
         listingOf<PRNoteNode>(
             [](int i) {
                 auto node = std::make_shared<PRNoteNode>();
                 node->setNoteContent(QStringLiteral("Body %1").arg(i));
                 return node;
             },
             &ResultRecords::addNote, &ResultRecords::addDeletedNote)},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const auto cost = [&](int n, int runs) {
            const Listing listing = shape.prepare(n);
            return test::measureCost(
                [&] {
                    // Lists small enough to stay in the processor's caches, many times over.
                    for (int round = 0; round < 60; ++round) {
                        ResultRecords records;
                        listing(records);
                    }
                },
                runs);
        };
        const test::WorkCost small = cost(shape.n, 1);
        const test::WorkCost large = cost(4 * shape.n, 1);
        EXPECT_LT(large.cpuSeconds, 6 * small.cpuSeconds)
            << test::describe(small) << " against " << test::describe(large);
        EXPECT_LT(large.peakBytes, 6 * small.peakBytes)
            << test::describe(small) << " against " << test::describe(large);
    }
}

}  // namespace
}  // namespace nimbara::browser
