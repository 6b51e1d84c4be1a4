// What joining carved rows into records costs follows the rows: for each shape a crafted database
// can take (rows whose keys join nothing, people with their numbers, one contact with many
// values), four times the rows cost less than six times as much. And the joins end where the stop
// or their work budget says, wherever they are.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "backup/contact_reader.h"
#include "backup/deleted_families.h"
#include "backup/record_notifications.h"
#include "cost_bound.h"
#include "platform/notification_center.h"

namespace {

using namespace nimbara;
using namespace nimbara::backup;
using deleted::DeletedRowSource;
using deleted::FamilyRun;

carver::Value text(const std::string& bytes) {
    return carver::Value{carver::Value::Kind::Text, 0, 0, bytes};
}
carver::Value integer(std::int64_t value) {
    return carver::Value{carver::Value::Kind::Integer, value, 0, {}};
}

carver::Table table(const std::string& name, const std::vector<std::string>& columns) {
    carver::Table made{name, 2, {}};
    for (const std::string& column : columns) {
        made.columns.push_back({column, column == "Z_PK" ? "INTEGER" : "", column == "Z_PK"});
    }
    return made;
}

// A carved row of `schema` with the given values by column name.
carver::CarvedRow row(const carver::Table& schema, std::int64_t rowid,
                      const std::vector<std::pair<std::string, carver::Value>>& values) {
    carver::CarvedRow made{schema.name, rowid, {}, carver::Origin::Freeblock, 0};
    made.values.resize(schema.columns.size());
    for (const auto& [name, value] : values) {
        made.values[schema.columnIndex(name)] = value;
    }
    return made;
}

// Carved tables and their rows, as a family's join takes them.
struct Carved {
    std::vector<carver::Table> tables;
    std::vector<carver::CarvedRow> rows;
};

// Carved rows of n records of each shape, none joined by a key unless the shape says so.
Carved notesAndBodiesNoKeyJoins(int n) {
    Carved c{{table("ZNOTE", {"Z_PK", "ZBODY", "ZTITLE", "ZMODIFICATIONDATE"}),
              table("ZNOTEBODY", {"Z_PK", "ZOWNER", "ZCONTENT"})},
             {}};
    for (int i = 0; i < n; ++i) {
        c.rows.push_back(row(c.tables[0], 1 + i,
                             {{"ZBODY", integer(1000000 + i)},
                              {"ZTITLE", text("Title " + std::to_string(i))},
                              {"ZMODIFICATIONDATE", integer(700000000 + i)}}));
        c.rows.push_back(row(c.tables[1], 2000000 + i,
                             {{"ZOWNER", integer(3000000 + i)},
                              {"ZCONTENT", text("Body " + std::to_string(i) + "\nwords")}}));
    }
    return c;
}

Carved messagesWithoutHandles(int n) {
    Carved c{{table("message", {"ROWID", "guid", "text", "handle_id", "date", "is_from_me"}),
              table("handle", {"ROWID", "id", "service"})},
             {}};
    for (int i = 0; i < n; ++i) {
        c.rows.push_back(row(c.tables[0], 1 + i,
                             {{"text", text("Words " + std::to_string(i))},
                              {"handle_id", integer(1000000 + i)},
                              {"date", integer(i)},
                              {"is_from_me", integer(0)}}));
        c.rows.push_back(
            row(c.tables[1], 1 + i, {{"id", text("+1555" + std::to_string(1000000 + i))}}));
    }
    return c;
}

Carved peopleWithTwoNumbers(int n) {
    Carved c{{table("ABPerson", {"ROWID", "First", "Last"}),
              table("ABMultiValue", {"UID", "record_id", "property", "label", "value"})},
             {}};
    for (int i = 0; i < n; ++i) {
        c.rows.push_back(row(c.tables[0], 1 + i, {{"First", text("P" + std::to_string(i))}}));
        for (int k = 0; k < 2; ++k) {
            c.rows.push_back(row(c.tables[1], 1 + 2 * i + k,
                                 {{"record_id", integer(1 + i)},
                                  {"property", integer(3)},
                                  {"value", text(std::to_string(5550000 + 2 * i + k))}}));
        }
    }
    return c;
}

Carved eventsWithoutPlaces(int n) {
    Carved c{{table("CalendarItem", {"ROWID", "summary", "start_date", "location_id"}),
              table("Location", {"ROWID", "title"})},
             {}};
    for (int i = 0; i < n; ++i) {
        c.rows.push_back(row(c.tables[0], 1 + i,
                             {{"summary", text("Event " + std::to_string(i))},
                              {"start_date", integer(700000000 + i)},
                              {"location_id", integer(1000000 + i)}}));
        c.rows.push_back(row(c.tables[1], 1 + i, {{"title", text("Place " + std::to_string(i))}}));
    }
    return c;
}

// Runs a family's join over the rows; returns what it posted.
std::size_t join(const Carved& carved, std::size_t (*post)(FamilyRun&),
                 const std::function<bool()>& stop = {},
                 std::uint64_t work = std::uint64_t{1} << 40,
                 const DeletedScanInputs& inputs = {}) {
    DeletedRowSource source(carved.tables, carved.rows, work);
    NotificationCenter center;
    FamilyRun run{source, inputs, center, stop};
    return post(run);
}

// Each family's join, over carved rows of n records of a shape (n: the cost test's small size).
struct JoinShape {
    const char* name;
    int n;
    Carved (*make)(int);
    std::size_t (*post)(FamilyRun&);
};
const JoinShape kJoins[] = {
    {"notes and bodies that no key joins", 2000, &notesAndBodiesNoKeyJoins,
     &deleted::postDeletedNotes},
    {"messages whose handles are gone", 3000, &messagesWithoutHandles,
     &deleted::postDeletedMessages},
    {"people with two numbers each", 2000, &peopleWithTwoNumbers, &deleted::postDeletedContacts},
    {"events whose places are gone", 3000, &eventsWithoutPlaces,
     &deleted::postDeletedCalendarItems},
};

TEST(DeletedJoinsCostTest, FourTimesTheRowsCostLessThanSixTimesAsMuch) {
    for (const JoinShape& shape : kJoins) {
        SCOPED_TRACE(shape.name);
        test::expectCostFollowsSize(
            [&shape](int n) {
                return [carved = shape.make(n), &shape] { join(carved, shape.post); };
            },
            shape.n);
    }
    SCOPED_TRACE("one contact with many values (the reader's too)");
    test::expectCostFollowsSize(
        [](int n) {
            return [n] {
                PRContactNode contact;
                ContactValues values(contact);
                for (int i = 0; i < n; ++i) {
                    values.add(i % 2 == 0 ? 3 : 4, QString(), QString::number(5550000 + i));
                }
            };
        },
        120000);
}

TEST(DeletedJoinsCostTest, TheStopOrASpentBudgetEndsAJoinWhereItIs) {
    for (const JoinShape& shape : kJoins) {
        SCOPED_TRACE(shape.name);
        const Carved carved = shape.make(50);
        EXPECT_EQ(join(carved, shape.post), shape.post == &deleted::postDeletedNotes ? 100u : 50u);
        // Stopped after a few looks: next to nothing more.
        int looks = 0;
        EXPECT_LE(join(carved, shape.post, [&looks] { return ++looks > 3; }), 3u);
        EXPECT_LT(looks, 10);
        // A budget spent early: the join ends short of the rows.
        EXPECT_LT(join(carved, shape.post, {}, 20), 10u);
    }
}

// Naming the other party compares its address with every contact: each such look-up counts.
TEST(DeletedJoinsCostTest, NamingThePartiesCountsTheContactsCompared) {
    Carved calls{{table("call", {"ROWID", "address", "date"})}, {}};
    for (int i = 0; i < 50; ++i) {
        calls.rows.push_back(row(calls.tables[0], 1 + i,
                                 {{"address", text("+1555" + std::to_string(1000000 + i))},
                                  {"date", integer(700000000 + i)}}));
    }
    DeletedScanInputs inputs;
    for (int i = 0; i < 1000; ++i) {
        inputs.contacts.push_back(std::make_shared<PRContactNode>());
        inputs.contacts.back()->setContactPhone(QString::number(9000000 + i));
    }
    Carved messages = messagesWithoutHandles(50);
    for (carver::CarvedRow& handle : messages.rows) {
        if (handle.table == "handle") {
            *handle.rowid += 1000000 - 1;  // the handle each message names
        }
    }
    using Join = std::pair<const Carved*, std::size_t (*)(FamilyRun&)>;
    for (const auto& [carved, post] : {Join{&calls, &deleted::postDeletedCalls},
                                       Join{&messages, &deleted::postDeletedMessages}}) {
        EXPECT_EQ(join(*carved, post, {}, 5000), 50u);  // without contacts
        EXPECT_LT(join(*carved, post, {}, 5000, inputs), 10u);
    }
}

}  // namespace
