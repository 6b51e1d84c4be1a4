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
#include "cost_bound.h"

namespace nimbara::browser {
namespace {

// The work of listing a found record, then n recovered ones, all different (each filled by `fill`
// with its number), in a fresh list: many times over, lists small enough to stay in the
// processor's caches.
template <class Node>
std::function<std::function<void()>(int)> listingOf(
    void (ResultRecords::*found)(std::shared_ptr<Node>),
    bool (ResultRecords::*deleted)(const std::shared_ptr<Node>&),
    void (*fill)(Node&, const QString&)) {
    return [=](int n) {
        std::vector<std::shared_ptr<Node>> nodes;
        for (int i = 0; i <= n; ++i) {
            nodes.push_back(std::make_shared<Node>());
            fill(*nodes.back(), QString::number(i));
        }
        return [=] {
            for (int round = 0; round < 60; ++round) {
                ResultRecords records;
                (records.*found)(nodes.front());
                for (int i = 1; i <= n; ++i) {
                    EXPECT_TRUE((records.*deleted)(nodes[i]));
                }
            }
        };
    };
}

TEST(ResultRecordsCostTest, FourTimesTheRecoveredRecordsCostLessThanSixTimesAsMuch) {
    using R = ResultRecords;
    struct Shape {
        const char* name;
        std::function<std::function<void()>(int)> prepare;
    };
    const Shape shapes[] = {
        {"calls from one address",
         listingOf<PRCallHistoryNode>(&R::addCallHistory, &R::addDeletedCallHistory,
                                      [](PRCallHistoryNode& c, const QString& i) {
                                          c.setCallPhone(QStringLiteral("+15550001111"));
                                          c.setCallDate(i);
                                      })},
        {"bookmarks", listingOf<PRBookMarkNode>(&R::addBookMark, &R::addDeletedBookMark,
                                                [](PRBookMarkNode& b, const QString& i) {
                                                    b.setBookMarkURL(i);
                                                    b.setBookMarkTitle(QStringLiteral("Page"));
                                                })},
        {"events", listingOf<PRCalenderNode>(&R::addCalender, &R::addDeletedCalender,
                                             [](PRCalenderNode& e, const QString& i) {
                                                 e.setCalTitle(i);
                                                 e.setStartDate(QStringLiteral("2024-01-01"));
                                             })},
        {"people with two numbers",
         listingOf<PRContactNode>(&R::addContact, &R::addDeletedContact,
                                  [](PRContactNode& p, const QString& i) {
                                      p.setContactName(i);
                                      p.setContactPhone(QStringLiteral(" 555%1 556%1").arg(i));
                                  })},
        {"notes",
         listingOf<PRNoteNode>(&R::addNote, &R::addDeletedNote,
                               [](PRNoteNode& n, const QString& i) { n.setNoteContent(i); })},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        test::expectCostFollowsSize(shape.prepare, 500);
    }
}

}  // namespace
}  // namespace nimbara::browser
