// The moment each call began, kept beside its date text so that lists sort by time and not by a
// text whose day and month order depends on where it was made.
#include <gtest/gtest.h>

#include <cmath>

#include "backup/call_history_reader.h"
#include "backup/pr_call_history_node.h"
#include "backup_calls.h"
#include "record_backup_fixture.h"

namespace {

using namespace nimbara;
using namespace nimbara::backup;
using nimbara::simdev::CallHistoryKind;
using nimbara::test::RecordBackup;

constexpr std::int64_t kNewYearsEve = 1672531140;  // 2022-12-31 23:59 UTC
constexpr std::int64_t kNewYear = 1672531260;      // 2023-01-01 00:01 UTC

TEST(CallTimestampTest, AFreshCallHasNoTimestamp) {
    EXPECT_TRUE(std::isnan(PRCallHistoryNode().callTimestamp()));
}

TEST(CallTimestampTest, EachCallDatabaseGivesUnixSeconds) {
    for (CallHistoryKind kind : {CallHistoryKind::CallStore, CallHistoryKind::CallDatabase,
                                 CallHistoryKind::HomeCallDatabase}) {
        RecordBackup backup;
        simdev::addBackupCallHistory(
            backup.builder(),
            {{"5550100", kNewYearsEve, 30, true}, {"5550101", kNewYear, 0, false}}, kind);
        const CallHistoryReadResult read = scanCallHistoryThread(backup.write().string(), {});
        ASSERT_TRUE(read.ok) << read.error;
        ASSERT_EQ(read.records.size(), 2u);
        EXPECT_DOUBLE_EQ(read.records[0]->callTimestamp(), kNewYearsEve) << int(kind);
        EXPECT_DOUBLE_EQ(read.records[1]->callTimestamp(), kNewYear) << int(kind);
    }
}

// A date stored as text still counts; NULL or a text that is no number leaves the time unknown.
TEST(CallTimestampTest, MissingAndMalformedDatesLeaveItUnknown) {
    RecordBackup backup;
    backup.writeDatabase("WirelessDomain", "Library/CallHistory/call_history.db",
                         "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address, date, flags);"
                         "INSERT INTO call VALUES (1, '5550100', NULL, 4);"
                         "INSERT INTO call VALUES (2, '5550101', 'soon', 4);"
                         "INSERT INTO call VALUES (3, '5550102', '1672531260', 4);");
    const CallHistoryReadResult read = scanCallHistoryThread(backup.write().string(), {});
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_TRUE(std::isnan(read.records[0]->callTimestamp()));
    EXPECT_TRUE(std::isnan(read.records[1]->callTimestamp()));
    EXPECT_DOUBLE_EQ(read.records[2]->callTimestamp(), kNewYear);
}

}  // namespace
