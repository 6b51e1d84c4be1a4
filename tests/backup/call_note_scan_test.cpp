// A whole backup scan of the demo iPhone, in both storage layouts, posts every call and every
// note on the scan's own centre, names the callers from the address book, and gives the same
// records whichever layout the backup has.
#include <gtest/gtest.h>

#include <QStringList>

#include <memory>

#include "backup/call_history_reader.h"
#include "backup/note_reader.h"
#include "backup/record_notifications.h"
#include "backup_calls.h"
#include "backup_notes.h"
#include "backup_writer.h"
#include "record_backup_fixture.h"
#include "scan_posts.h"
#include "sim_device_builder.h"

namespace {

using namespace nimbara;
using namespace nimbara::backup;
using nimbara::test::Posted;

struct ScanRecords {
    QStringList calls;
    QStringList notes;
    std::vector<int> progress;
};

ScanRecords scanDemo(const std::string& version) {
    test::TempDir tmp;
    std::string error;
    EXPECT_TRUE(simdev::makeDemoDevice(tmp / "device", &error)) << error;
    simdev::BackupOptions options;
    options.iosVersionOverride = version;
    const simdev::BackupResult backup =
        simdev::writeBackup(tmp / "device", tmp / "backups", options);
    EXPECT_TRUE(backup.ok) << backup.error;

    NotificationCenter center;
    Posted posted(center, {kScanCallHistoryInfo, kScanNoteInfo, kScanProgressInfo});
    auto records = std::make_shared<BackupScanRecords>();
    const BackupScanSummary summary = test::runWiredScan(backup.folder, center, records);
    EXPECT_EQ(test::resultOf(summary, ScanStepKind::Notes).outcome, ScanStepOutcome::Done);
    EXPECT_EQ(test::resultOf(summary, ScanStepKind::CallHistory).outcome, ScanStepOutcome::Done);

    ScanRecords out;
    for (const auto& call :
         posted.objects<std::shared_ptr<PRCallHistoryNode>>(kScanCallHistoryInfo)) {
        out.calls << QStringList{call->callName(), call->callPhone(), call->callDate(),
                                 call->callType(), call->callDuration()}
                         .join(u'|');
    }
    for (const auto& note : posted.objects<std::shared_ptr<PRNoteNode>>(kScanNoteInfo)) {
        out.notes << QStringList{note->noteTitle(), note->noteDate(), note->noteContent()}.join(
            u'|');
    }
    out.progress = posted.objects<int>(kScanProgressInfo);
    return out;
}

TEST(CallNoteScanTest, TheDemoBackupGivesTheSameCallsAndNotesInBothLayouts) {
    const ScanRecords legacy = scanDemo("9.3.5");
    const ScanRecords current = scanDemo("12.4");
    ASSERT_EQ(current.calls.size(), static_cast<qsizetype>(simdev::demoCalls().size()));
    ASSERT_EQ(current.notes.size(), static_cast<qsizetype>(simdev::demoNotes().size()));
    EXPECT_EQ(legacy.calls, current.calls);
    EXPECT_EQ(legacy.notes, current.notes);
    // Callers are named from the address book; every kind of call is there.
    EXPECT_TRUE(current.calls[0].startsWith(QStringLiteral("Amelia Hartwell|+14155550188|")));
    for (const char* kind : {"|Incoming|Missed", "|Outgoing|Cancelled", "|Outgoing|5 minutes"}) {
        EXPECT_TRUE(current.calls.join(u'\n').contains(QLatin1String(kind))) << kind;
    }
    EXPECT_TRUE(current.notes.join(u'\n').contains(QStringLiteral("Birthday ideas 🎂")));
    // The notes end at 70 and the call history at 60, in scan order; the deleted records follow.
    ASSERT_GE(current.progress.size(), 8u);
    EXPECT_EQ(std::vector<int>(current.progress.end() - 8, current.progress.end() - 6),
              (std::vector<int>{70, 60}));
}

// A backup whose file list names the note store and the call store without holding them is
// incomplete, not damaged: the steps are done and say so.
TEST(CallNoteScanTest, ListedButMissingDatabasesMakeTheBackupIncomplete) {
    test::TempDir tmp;
    simdev::SimDeviceBuilder b(tmp / "device");
    b.setIdentity("Test Phone", "77aa1c0d9e6b4a7f2c5d8e1b0a9c7f6e5d4c3b2a", "iPhone10,4", "12.4.1");
    simdev::addBackupFile(b, "HomeDomain", "Library/Preferences/x.plist", "x");
    ASSERT_TRUE(b.write());
    simdev::BackupOptions options;
    options.listedOnly = {{kNoteStoreSource.domain, kNoteStoreSource.relativePath, false, 4096},
                          {kCallStoreSource.domain, kCallStoreSource.relativePath, false, 4096}};
    const simdev::BackupResult backup =
        simdev::writeBackup(tmp / "device", tmp / "backups", options);
    ASSERT_TRUE(backup.ok) << backup.error;

    NotificationCenter center;
    const BackupScanSummary summary =
        test::runWiredScan(backup.folder, center, std::make_shared<BackupScanRecords>());
    for (ScanStepKind kind : {ScanStepKind::Notes, ScanStepKind::CallHistory}) {
        const ScanStepResult step = test::resultOf(summary, kind);
        EXPECT_EQ(step.outcome, ScanStepOutcome::Done);
        EXPECT_TRUE(step.incomplete);
    }
}

}  // namespace
