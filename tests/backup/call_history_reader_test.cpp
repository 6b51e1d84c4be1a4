// The call history readers over backups holding each of the device's call databases, over
// reduced and damaged ones, and over calls still in a database's write-ahead log.
#include "backup/call_history_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "backup/record_dates.h"
#include "backup/record_notifications.h"
#include "backup/shah.h"
#include "backup_calls.h"
#include "backup_snapshot.h"
#include "record_backup_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara;
using namespace nimbara::backup;
using nimbara::simdev::BackupCall;
using nimbara::simdev::CallHistoryKind;
using nimbara::test::localDateText;
using nimbara::test::Posted;
using nimbara::test::RecordBackup;

using CallPtr = std::shared_ptr<PRCallHistoryNode>;

constexpr std::int64_t k2024 = 1717236000;  // 2024-06-01 10:00 UTC
constexpr std::int64_t k1995 = 795000000;   // 1995-03-12 09:20 UTC, Unix seconds

// Answered, dialled, missed and cancelled calls; the last lasted 12.7 seconds.
std::vector<BackupCall> everyKind() {
    return {{"+1 (415) 555-0188", k2024, 312, true},
            {"+14155550199", k2024 + 60, 0, false},
            {"5550123", k2024 + 120, 0, true},
            {"", k2024 + 180, 3725, false},
            {"+16505550123", k2024 + 240, 12.7, false}};
}

ContactList oneContact() {
    auto ann = std::make_shared<PRContactNode>();
    ann->setContactName(QStringLiteral("Ann Lee"));
    ann->setContactPhone(QStringLiteral(" +1 415 555 0188"));
    return {ann};
}

void expectEveryKind(const CallList& calls) {
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0]->callPhone(), QStringLiteral("+1 (415) 555-0188"));
    EXPECT_EQ(calls[0]->callType(), QStringLiteral("Outgoing"));
    EXPECT_EQ(calls[0]->callTime(), 312);
    EXPECT_EQ(calls[0]->callDuration(), QStringLiteral("5 minutes"));
    EXPECT_EQ(calls[0]->callName(), QStringLiteral("Ann Lee"));
    EXPECT_EQ(calls[0]->callDate(), localDateText(k2024));
    EXPECT_EQ(calls[0]->rowid(), 1);
    // Missed: incoming without a duration; cancelled: outgoing without one.
    EXPECT_EQ(calls[1]->callType(), QStringLiteral("Incoming"));
    EXPECT_EQ(calls[1]->callDuration(), QStringLiteral("Missed"));
    EXPECT_EQ(calls[1]->callTime(), 0);
    EXPECT_EQ(calls[1]->callName(), QString());
    EXPECT_EQ(calls[2]->callType(), QStringLiteral("Outgoing"));
    EXPECT_EQ(calls[2]->callDuration(), QStringLiteral("Cancelled"));
    // A withheld number.
    EXPECT_EQ(calls[3]->callPhone(), QString());
    EXPECT_EQ(calls[3]->callDuration(), QStringLiteral("1 hour"));
    EXPECT_EQ(calls[3]->callDate(), localDateText(k2024 + 180));
    EXPECT_EQ(calls[4]->callTime(), 12);
    EXPECT_EQ(calls[4]->callDuration(), QStringLiteral("12 seconds"));
    EXPECT_EQ(calls[4]->rowid(), 5);
}

class CallHistoryReaderTest : public ::testing::TestWithParam<bool> {
  protected:
    bool legacy() const { return GetParam(); }
    NotificationCenter center_;
    RecordBackup backup_;
};

TEST_P(CallHistoryReaderTest, EachCallDatabaseGivesEveryKindOfCallToBothReaders) {
    for (CallHistoryKind kind : {CallHistoryKind::CallStore, CallHistoryKind::CallDatabase,
                                 CallHistoryKind::HomeCallDatabase}) {
        RecordBackup backup;
        simdev::addBackupCallHistory(backup.builder(), everyKind(), kind);
        const fs::path folder = backup.write(legacy());
        const auto before = test::folderSnapshot(folder);

        Posted plain(center_, {kScanCallHistoryInfo, kScanProgressInfo});
        const CallHistoryReadResult read =
            scanCallHistoryThread(folder.string(), oneContact(), &center_);
        EXPECT_TRUE(read.ok) << read.error;
        expectEveryKind(read.records);
        ASSERT_EQ(plain.seen.size(), 6u);
        EXPECT_EQ(plain.objects<CallPtr>(kScanCallHistoryInfo), read.records);
        EXPECT_EQ(plain.seen.back().name, kScanProgressInfo);
        EXPECT_EQ(plain.seen.back().objectAs<int>(), 60);
        plain.tokens.clear();

        Posted copy(center_, {kScanCopyCallLogInfo, kScanCopyCallLogInfoFinished});
        const CallHistoryReadResult copied =
            scanTransferCallLogThread(folder.string(), oneContact(), &center_);
        expectEveryKind(copied.records);
        ASSERT_EQ(copy.seen.size(), 6u);
        EXPECT_EQ(copy.seen.back().name, kScanCopyCallLogInfoFinished);
        EXPECT_FALSE(copy.seen.back().object.has_value());
        // Reading never changes the backup.
        EXPECT_EQ(test::folderSnapshot(folder), before);
    }
}

TEST_P(CallHistoryReaderTest, TheNewestDatabaseWinsAndLogRowsAreRead) {
    // An upgraded device may keep its old call database beside the store.
    simdev::addBackupCallHistory(backup_.builder(), {{"111", k2024, 1, false}},
                                 CallHistoryKind::CallDatabase);
    // Two of these calls were still in the store's log when the backup was taken.
    simdev::addBackupCallHistory(backup_.builder(), everyKind(), CallHistoryKind::CallStore, 2);
    const fs::path folder = backup_.write(legacy());
    // The backup holds the log under its own key.
    EXPECT_FALSE(
        locateStoredFile(BackupFolder::open(folder.string()), kCallStoreSource.walKey()).empty());

    const CallHistoryReadResult read = scanCallHistoryThread(folder.string(), oneContact());
    EXPECT_EQ(read.fileKey, "5a4935c78a5255723f707230a451d79c540d2741");
    expectEveryKind(read.records);
}

INSTANTIATE_TEST_SUITE_P(Layouts, CallHistoryReaderTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Flat" : "Sharded"; });

TEST(CallHistoryKeysTest, TheDatabasesAreFoundUnderTheDevicesKeys) {
    EXPECT_EQ(kCallStoreSource.key(), "5a4935c78a5255723f707230a451d79c540d2741");
    EXPECT_EQ(kCallDatabaseSource.key(), "2b2b0084a1bc3a5ac8c27afdf14afb42c61a19ca");
    EXPECT_EQ(kHomeCallDatabaseSource.key(), "ff1324e6b949111b2fb449ecddb50c89c3699a78");
}

// A call of the 1990s in Unix seconds is shown in its own year, not moved three decades on.
TEST(CallHistoryDatesTest, AnOldCallKeepsItsYear) {
    RecordBackup backup;
    simdev::addBackupCallHistory(backup.builder(), {{"5550100", k1995, 30, true}},
                                 CallHistoryKind::CallDatabase);
    const CallHistoryReadResult read = scanCallHistoryThread(backup.write().string(), {});
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(read.records[0]->callDate(), localDateText(k1995));
    EXPECT_TRUE(read.records[0]->callDate().contains(QStringLiteral("1995")));
}

TEST(CallHistoryDatesTest, DisplayTextsOfKnownMoments) {
    EXPECT_EQ(recordDateText(unixSeconds(k1995), QTimeZone::utc()),
              QStringLiteral("03-12-1995 09:20"));
    // A store date, counted from 2001, in seconds and in nanoseconds.
    EXPECT_EQ(recordDateText(referenceDateSeconds(738000000.5), QTimeZone::utc()),
              QStringLiteral("05-21-2024 16:00"));
    EXPECT_EQ(recordDateText(referenceDateSeconds(738000000.5e9), QTimeZone::utc()),
              QStringLiteral("05-21-2024 16:00"));
    EXPECT_EQ(recordDateText(std::nullopt), QStringLiteral(" "));
}

// A stopped scan posts no more calls and not its end value.
TEST(CallHistoryStopTest, AStopEndsTheReadQuietly) {
    RecordBackup backup;
    simdev::addBackupCallHistory(backup.builder(), everyKind());
    NotificationCenter center;
    Posted posted(center, {kScanCallHistoryInfo, kScanProgressInfo});
    const CallHistoryReadResult read =
        scanCallHistoryThread(backup.write().string(), {}, &center, [] { return true; });
    EXPECT_TRUE(read.stopped);
    EXPECT_FALSE(read.progressPosted);
    EXPECT_TRUE(posted.seen.empty());
}

// Real call databases: addresses as BLOBs, fewer columns, NULLs and text where numbers belong.
TEST(CallHistoryShapesTest, ReducedTablesBlobAddressesAndNulls) {
    RecordBackup backup;
    backup.writeDatabase(
        "WirelessDomain", "Library/CallHistory/call_history.db",
        "CREATE TABLE call (ROWID INTEGER PRIMARY KEY, address, date, flags, extra TEXT);"
        "INSERT INTO call VALUES (7, CAST('+15105550164' AS BLOB), 1717236000, 5, 'x');"
        "INSERT INTO call VALUES (8, NULL, NULL, NULL, NULL);"
        "INSERT INTO call VALUES (9, X'35353530313030', '1717236060', '4', NULL);");
    const CallHistoryReadResult read = scanCallHistoryThread(backup.write().string(), {});
    ASSERT_TRUE(read.ok) << read.error;
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(read.records[0]->callPhone(), QStringLiteral("+15105550164"));
    EXPECT_EQ(read.records[0]->callType(), QStringLiteral("Outgoing"));
    EXPECT_EQ(read.records[0]->rowid(), 7);
    // Without a duration column the duration stays unknown.
    EXPECT_EQ(read.records[0]->callTime(), -1);
    EXPECT_EQ(read.records[0]->callDuration(), QString());
    EXPECT_EQ(read.records[1]->callPhone(), QString());
    EXPECT_EQ(read.records[1]->callDate(), QString());
    EXPECT_EQ(read.records[1]->callType(), QStringLiteral("Incoming"));
    EXPECT_EQ(read.records[2]->callPhone(), QStringLiteral("5550100"));
    EXPECT_EQ(read.records[2]->callDate(), localDateText(1717236060));
}

TEST(CallHistoryShapesTest, AStoreWithoutItsTableHasNoCalls) {
    RecordBackup backup;
    backup.writeDatabase("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
                         "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY);");
    NotificationCenter center;
    Posted posted(center, {kScanCallHistoryInfo, kScanProgressInfo});
    const CallHistoryReadResult read = scanCallHistoryThread(backup.write().string(), {}, &center);
    EXPECT_TRUE(read.ok);
    EXPECT_TRUE(read.records.empty());
    EXPECT_EQ(posted.names(), std::vector<std::string>{kScanProgressInfo});
}

TEST(CallHistoryFailureTest, MissingIsQuietDamageIsReportedAndTheCopyReaderAlwaysEnds) {
    NotificationCenter center;
    {
        RecordBackup backup;
        const fs::path folder = backup.write();
        Posted posted(center, {kScanCallHistoryInfo, kScanProgressInfo, kScanCopyCallLogInfo,
                               kScanCopyCallLogInfoFinished});
        const CallHistoryReadResult read = scanCallHistoryThread(folder.string(), {}, &center);
        EXPECT_TRUE(read.ok);
        EXPECT_FALSE(read.databaseFound);
        // The plain reader posts nothing; the copy reader its end.
        scanTransferCallLogThread(folder.string(), {}, &center);
        scanTransferCallLogThread("", {}, &center);
        EXPECT_EQ(posted.names(), (std::vector<std::string>{kScanCopyCallLogInfoFinished,
                                                            kScanCopyCallLogInfoFinished}));
        // In a scan the step is done: the backup simply has no calls.
        const ScanStepReport report = test::runStep(callHistoryStepRunner(nullptr), folder, center);
        EXPECT_EQ(report.outcome, ScanStepOutcome::Done);
        EXPECT_FALSE(report.incomplete);
        EXPECT_FALSE(report.progressPosted);
    }
    for (const std::string& damage :
         {std::string("SQLite format 3\0garbage that is not a database", 47),
          std::string("CREATE VIEW")}) {
        RecordBackup backup;
        if (damage == "CREATE VIEW") {
            // A view where the table belongs could run forever.
            backup.writeDatabase("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata",
                                 "CREATE VIEW ZCALLRECORD AS WITH RECURSIVE r(x) AS (SELECT 1 "
                                 "UNION ALL SELECT x + 1 FROM r) SELECT x AS Z_PK FROM r;");
        } else {
            simdev::addBackupFile(backup.builder(), "HomeDomain",
                                  "Library/CallHistoryDB/CallHistory.storedata", damage);
        }
        const fs::path folder = backup.write();
        Posted posted(center, {kScanCallHistoryInfo, kScanProgressInfo, kScanCopyCallLogInfo,
                               kScanCopyCallLogInfoFinished});
        const CallHistoryReadResult read = scanCallHistoryThread(folder.string(), {}, &center);
        EXPECT_TRUE(read.databaseFound);
        EXPECT_FALSE(read.ok);
        EXPECT_FALSE(read.error.empty());
        const CallHistoryReadResult copied =
            scanTransferCallLogThread(folder.string(), {}, &center);
        EXPECT_FALSE(copied.ok);
        EXPECT_EQ(posted.names(), std::vector<std::string>{kScanCopyCallLogInfoFinished});

        // In a scan the step fails in plain words and the scan goes on.
        const ScanStepReport report = test::runStep(callHistoryStepRunner(nullptr), folder, center);
        EXPECT_EQ(report.outcome, ScanStepOutcome::Failed);
        EXPECT_EQ(report.message,
                  QStringLiteral("The call history in this backup could not be read."));
    }
}

}  // namespace
