// The check after a restore: the removed records of each kind are found in a backup that still
// holds them and missed in one that was cleaned; a read-back that could not be read confirms
// nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "privacy/privacy_clean_selection.h"
#include "privacy/privacy_cleaner.h"
#include "privacy/privacy_restore_check.h"
#include "privacy/privacy_working_copy.h"
#include "privacy_clean_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace nimbara::privacy;

using Pick = std::function<bool(const PRPrivacyNode&)>;

void tickFirst(
    const PrivacyList& list, const Pick& which = [](const PRPrivacyNode&) { return true; }) {
    for (const auto& node : list) {
        if (which(*node)) {
            node->setBSelected(true);
            return;
        }
    }
    ADD_FAILURE() << "no such record";
}

bool fromDatabase(const PRPrivacyNode& n) {
    return n.recordSource()->format == PrivacyFileFormat::Sqlite;
}
bool inArray(const PRPrivacyNode& n) {
    return !n.recordSource()->listKey.empty();
}

TEST(PrivacyRestoreCheck, EachKindIsFoundWhereItStaysAndMissedWhereItWent) {
    using S = PrivacyScanResult;
    using C = PrivacyCleanCounts;
    struct Row {
        const char* kind;
        std::function<void(S&)> tick;
        std::size_t C::*counted;
    } rows[] = {
        {"message", [](S& s) { s.messages.messages.at(2)->setBSelected(true); }, &C::messages},
        {"contact", [](S& s) { s.contacts.records.at(1)->setBSelected(true); }, &C::contacts},
        {"call", [](S& s) { s.calls.records.at(3)->setBSelected(true); }, &C::calls},
        {"note", [](S& s) { s.notes.records.at(0)->setBSelected(true); }, &C::notes},
        {"history row", [](S& s) { tickFirst(s.safariBroswerHistoryArray, fromDatabase); },
         &C::historyEntries},
        {"history list entry",
         [](S& s) { tickFirst(s.safariBroswerHistoryArray, std::not_fn(fromDatabase)); },
         &C::historyEntries},
        {"cookie", [](S& s) { tickFirst(s.safariSearchHistoryArray); }, &C::cookies},
        {"listed network", [](S& s) { tickFirst(s.wifiConnectArray, inArray); }, &C::wifiNetworks},
        {"known network", [](S& s) { tickFirst(s.wifiConnectArray, std::not_fn(inArray)); },
         &C::wifiNetworks},
        {"web cache file", [](S& s) { tickFirst(s.files.safariWebCacheArray); }, &C::emptiedFiles},
        {"attachment file", [](S& s) { tickFirst(s.files.messageAttachmentArray); },
         &C::emptiedFiles},
        {"photo position", [](S& s) { tickFirst(s.gpsLocationArray); }, &C::photoPositions},
    };
    nimbara::test::PrivacyCleanBackup backup;
    const fs::path folder = backup.write(false);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        PrivacyScanResult scan = readPrivacyBackup(folder.string());
        nimbara::test::untickAll(scan);
        row.tick(scan);
        const PrivacyCleanSelection removed = snapshotPrivacySelection(scan);

        // The device wrote nothing: every removed record is still there, and nothing else is
        // counted.
        const RestoreCheck unchanged = checkRemovedRecords(removed, scan);
        EXPECT_FALSE(unchanged.confirmed());
        EXPECT_TRUE(unchanged.unread.isEmpty()) << unchanged.unread.join(", ").toStdString();
        PrivacyCleanCounts only;
        only.*row.counted = 1;
        EXPECT_EQ(privacyCountsText(unchanged.stillThere), privacyCountsText(only));

        // The cleaned backup, as a device that took the restore gives it back.
        WorkingCopyResult made = PrivacyWorkingCopy::create(folder.string());
        ASSERT_TRUE(made.copy) << made.error;
        ASSERT_TRUE(cleanPrivacyWorkingCopy(*made.copy, removed).ok);
        const RestoreCheck cleaned =
            checkRemovedRecords(removed, readPrivacyBackup(made.copy->path().string()));
        EXPECT_TRUE(cleaned.confirmed()) << privacyCountsText(cleaned.stillThere).toStdString()
                                         << cleaned.unread.join(", ").toStdString();

        // A read-back that is not a backup, or whose reader of the kind failed, confirms nothing.
        const PrivacyScanResult nothing;
        EXPECT_FALSE(checkRemovedRecords(removed, nothing).confirmed());
        PrivacyScanResult broken = readPrivacyBackup(made.copy->path().string());
        for (PrivacyReadReport& report : broken.reports) {
            report.fail("damaged");
        }
        EXPECT_FALSE(checkRemovedRecords(removed, broken).unread.isEmpty());
    }
}

TEST(PrivacyRestoreCheck, OnlyTheDatabaseTheRowsWereRemovedFromConfirmsTheirRemoval) {
    struct Row {
        const char* readBackFrom;
        std::function<void(PrivacySource&)> move;  // null: no messages database read back
        bool confirmed;
    } rows[] = {
        {"the cleaned file", [](PrivacySource&) {}, true},
        {"the same name in another domain",
         [](PrivacySource& s) {
             s.domain = "AppDomain-com.example.chat";
             s.fileKey.assign(40, 'e');
         },
         false},
        {"the same key in another domain",
         [](PrivacySource& s) { s.domain = "AppDomain-com.example.chat"; }, false},
        {"another database of the same domain, its key unknown",
         [](PrivacySource& s) {
             s.relativePath = "Library/SMS/sms-archive.db";
             s.fileKey.clear();
         },
         false},
        {"no file", nullptr, false},
    };
    nimbara::test::PrivacyCleanBackup backup;
    PrivacyScanResult scan = readPrivacyBackup(backup.write(false).string());
    nimbara::test::untickAll(scan);
    scan.messages.messages.at(2)->setBSelected(true);
    const PrivacyCleanSelection removed = snapshotPrivacySelection(scan);
    WorkingCopyResult made = PrivacyWorkingCopy::create(scan.backupFolder);
    ASSERT_TRUE(made.copy) << made.error;
    ASSERT_TRUE(cleanPrivacyWorkingCopy(*made.copy, removed).ok);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.readBackFrom);
        PrivacyScanResult readBack = readPrivacyBackup(made.copy->path().string());
        ASSERT_TRUE(readBack.messages.source);
        if (row.move) {
            PrivacySource moved = *readBack.messages.source;
            row.move(moved);
            readBack.messages.source = std::make_shared<const PrivacySource>(moved);
        } else {
            readBack.messages.source = nullptr;
            readBack.messages.messages.clear();
            for (PrivacyReadReport& report : readBack.reports) {
                report.found = report.found && report.family != "messages";
            }
        }
        const RestoreCheck check = checkRemovedRecords(removed, readBack);
        EXPECT_EQ(check.confirmed(), row.confirmed) << check.unread.join(", ").toStdString();
        EXPECT_EQ(check.unread.contains("messages"), !row.confirmed);
    }
}

}  // namespace
