// The message step of a whole backup scan over backups of simulated devices: the demo iPhone's
// conversations in every backup form (iOS 5 with the older message layout, iOS 9 with
// Manifest.mbdb, iOS 12 with Manifest.db), rows still in the companion "-wal", and a damaged
// database.
#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "backup/backup_scan.h"
#include "backup/backup_scan_readers.h"
#include "backup/conversations.h"
#include "backup/message_reader.h"
#include "backup/record_notifications.h"
#include "backup/sqlite_db.h"
#include "backup_messages.h"
#include "backup_snapshot.h"
#include "backup_source.h"
#include "backup_writer.h"
#include "platform/notification_center.h"
#include "scan_posts.h"
#include "sim_device_builder.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::backup;
using nimbara::Notification;
using nimbara::NotificationCenter;
using nimbara::test::TempDir;

using Messages = std::vector<std::shared_ptr<PRMessageNode>>;

struct ScanResult {
    BackupScanSummary summary;
    Messages messages;
    std::vector<int> progress;
};

ScanResult scanBackup(const fs::path& folder) {
    NotificationCenter center;
    ScanResult result;
    auto token = center.addObserver(kScanMessageInfo, [&](const Notification& n) {
        result.messages.push_back(n.objectAs<std::shared_ptr<PRMessageNode>>());
    });
    auto progress = center.addObserver(kScanProgressNotification, [&](const Notification& n) {
        result.progress.push_back(n.objectAs<int>(-1));
    });
    result.summary =
        nimbara::test::runWiredScan(folder, center, std::make_shared<BackupScanRecords>());
    return result;
}

// What a message is, whichever layout it was read from.
using Essence = std::tuple<std::string, std::string, std::string, std::string, std::string>;

std::vector<Essence> essence(const Messages& messages) {
    std::vector<Essence> out;
    for (const auto& m : messages) {
        out.emplace_back(m->messagePhone().toStdString(), m->messageContent().toStdString(),
                         m->messageDate().toStdString(), m->messageType().toStdString(),
                         m->messageName().toStdString());
    }
    return out;
}

class DemoMessagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(nimbara::simdev::makeDemoDevice(device_, &error)) << error;
    }
    fs::path backup(const std::string& version) {
        nimbara::simdev::BackupOptions options;
        options.iosVersionOverride = version;
        const auto written =
            nimbara::simdev::writeBackup(device_, tmp_ / ("backups-" + version), options);
        EXPECT_TRUE(written.ok) << written.error;
        return written.folder;
    }

    TempDir tmp_;
    const fs::path device_ = tmp_ / "demo";
};

TEST_F(DemoMessagesTest, EveryBackupFormGivesTheSameConversations) {
    const auto demo = nimbara::simdev::demoMessages();
    std::map<std::string, ScanResult> scans;
    for (const char* version : {"5.1.1", "9.3.5", "12.4"}) {
        const fs::path folder = backup(version);
        const auto before = nimbara::test::folderSnapshot(folder);
        scans[version] = scanBackup(folder);
        EXPECT_EQ(nimbara::test::folderSnapshot(folder), before) << version;
        const ScanResult& scan = scans[version];
        EXPECT_EQ(nimbara::test::resultOf(scan.summary, ScanStepKind::Messages).outcome,
                  ScanStepOutcome::Done)
            << version;
        EXPECT_NE(std::find(scan.progress.begin(), scan.progress.end(), kMessageScanProgress),
                  scan.progress.end())
            << version;
        ASSERT_EQ(scan.messages.size(), demo.size()) << version;
    }
    // The same records, read from both layouts and both file lists.
    EXPECT_EQ(essence(scans["5.1.1"].messages), essence(scans["12.4"].messages));
    EXPECT_EQ(essence(scans["9.3.5"].messages), essence(scans["12.4"].messages));

    const Messages& messages = scans["12.4"].messages;
    // Names come from the address book whatever the number's spelling; the e-mail address and
    // the short code have none.
    std::map<std::string, std::string> names;
    for (const auto& m : messages) {
        names[m->messagePhone().toStdString()] = m->messageName().toStdString();
    }
    EXPECT_EQ(names["+14155550188"], "Amelia Hartwell");
    EXPECT_EQ(names["+1 707 555 0119"], "Mom");
    EXPECT_EQ(names["6285550131"], "Bruno Castellane");
    EXPECT_EQ(names["(510) 555-0164"], "Dmitri Volkonsky");
    EXPECT_EQ(names["+390255501187"], "Chiara Lucia Ventimiglia");
    EXPECT_EQ(names["priya.raman@mailbox.example"], "");
    EXPECT_EQ(names["72404"], "");
    // Mom's picture comes with her messages.
    for (const auto& m : messages) {
        if (m->messageName() == QStringLiteral("Mom")) {
            EXPECT_FALSE(m->contactImageData().isEmpty());
        }
    }

    // Attachments (iOS 6 and later only): each kind, stored in the backup.
    for (const char* version : {"9.3.5", "12.4"}) {
        std::map<QString, std::shared_ptr<PRMessageNode>> byType;
        for (const auto& m : scans[version].messages) {
            if (m->isHasAttach()) {
                byType[m->attachType()] = m;
            }
        }
        ASSERT_EQ(byType.size(), 4u) << version;
        for (const auto& [type, m] : byType) {
            ASSERT_FALSE(m->attachmentPath().isEmpty()) << version << type.toStdString();
            EXPECT_TRUE(fs::is_regular_file(m->attachmentPath().toStdString()));
        }
        EXPECT_EQ(
            nimbara::test::readText(byType["Image"]->attachmentPath().toStdString()).substr(0, 3),
            "\xFF\xD8\xFF");
        EXPECT_TRUE(byType["Contact"]->contactImageData().startsWith("BEGIN:VCARD"));
        EXPECT_TRUE(byType["Contact"]->contactImageData().contains("Garrison Plumbing"));
        EXPECT_TRUE(byType["Location"]->contactImageData().contains("maps.apple.com"));
        // A movie carries no card: its picture is the sender's, from the address book.
        EXPECT_EQ(byType["Mov"]->messageName(), QStringLiteral("Bruno Castellane"));
        EXPECT_FALSE(byType["Mov"]->contactImageData().startsWith("BEGIN:VCARD"));
    }
    for (const auto& m : scans["5.1.1"].messages) {
        EXPECT_TRUE(m->attachmentPath().isNull());
    }

    // Grouped: one conversation per other party.
    ConversationGrouping grouping;
    for (const auto& m : messages) {
        grouping.addMessage(m);
    }
    EXPECT_EQ(grouping.conversations().size(), 7u);
    EXPECT_EQ(grouping.messageCount(), static_cast<int>(demo.size()));
}

TEST_F(DemoMessagesTest, RowsStillInTheCompanionLogAreRead) {
    const fs::path database =
        nimbara::simdev::backupSourcePath(device_, "HomeDomain", "Library/SMS/sms.db");
    // A device that has not checkpointed its log: the new rows are only in "sms.db-wal".
    auto writer = nimbara::SqliteDb::open(database.string(), nimbara::SqliteDb::Mode::ReadWrite);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(
        writer->exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                     "INSERT INTO message (guid, text, handle_id, date, is_from_me) "
                     "VALUES ('wal-1', 'only in the log', 1, 644241600000000000, 1);"));
    ASSERT_TRUE(fs::exists(database.string() + "-wal"));
    for (const char* version : {"9.3.5", "12.4"}) {
        const fs::path folder = backup(version);
        const ScanResult scan = scanBackup(folder);
        ASSERT_EQ(scan.messages.size(), nimbara::simdev::demoMessages().size() + 1) << version;
        EXPECT_EQ(scan.messages.back()->messageContent(), QStringLiteral("only in the log"));
        EXPECT_EQ(scan.messages.back()->messagePhone(), QStringLiteral("+14155550188"));

        // The copy reader finds the same companion through the backup's list.
        NotificationCenter center;
        int copied = 0;
        auto token =
            center.addObserver(kScanTransferMessageInfo, [&](const Notification&) { ++copied; });
        const auto result = scanTransferMessageThread(folder.string(), {}, &center);
        EXPECT_TRUE(result.walCompanion) << version;
        EXPECT_EQ(copied, static_cast<int>(scan.messages.size())) << version;
    }
}

TEST_F(DemoMessagesTest, ADamagedMessageDatabaseFailsOnlyItsStep) {
    const fs::path database =
        nimbara::simdev::backupSourcePath(device_, "HomeDomain", "Library/SMS/sms.db");
    nimbara::test::writeText(database, std::string(8192, '\x17'));
    const ScanResult scan = scanBackup(backup("12.4"));
    const auto step = nimbara::test::resultOf(scan.summary, ScanStepKind::Messages);
    EXPECT_EQ(step.outcome, ScanStepOutcome::Failed);
    EXPECT_EQ(step.message, QStringLiteral("The messages in this backup could not be read."));
    EXPECT_TRUE(scan.messages.empty());
    // The scan went on past it.
    EXPECT_EQ(nimbara::test::resultOf(scan.summary, ScanStepKind::Contacts).outcome,
              ScanStepOutcome::Done);
    EXPECT_NE(std::find(scan.progress.begin(), scan.progress.end(), kMessageScanProgress),
              scan.progress.end());
}

TEST_F(DemoMessagesTest, ABackupWithoutMessagesIsQuietlyEmpty) {
    fs::remove(nimbara::simdev::backupSourcePath(device_, "HomeDomain", "Library/SMS/sms.db"));
    const ScanResult scan = scanBackup(backup("12.4"));
    const auto step = nimbara::test::resultOf(scan.summary, ScanStepKind::Messages);
    EXPECT_EQ(step.outcome, ScanStepOutcome::Done);
    EXPECT_TRUE(step.message.isEmpty());
    EXPECT_FALSE(step.incomplete);
    EXPECT_TRUE(scan.messages.empty());

    // Listed without being stored: still no failure, but the backup is incomplete.
    nimbara::simdev::BackupOptions options;
    options.listedOnly.push_back({"HomeDomain", "Library/SMS/sms.db", false, 4096});
    const auto written = nimbara::simdev::writeBackup(device_, tmp_ / "listed", options);
    ASSERT_TRUE(written.ok) << written.error;
    const ScanResult listed = scanBackup(written.folder);
    const auto listedStep = nimbara::test::resultOf(listed.summary, ScanStepKind::Messages);
    EXPECT_EQ(listedStep.outcome, ScanStepOutcome::Done);
    EXPECT_TRUE(listedStep.incomplete);
}

}  // namespace
