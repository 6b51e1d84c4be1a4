// The privacy cleaner's flow on a simulated device with the real backup tool: back up, read,
// clean a working copy, restore; the device loses exactly what was ticked, the user's backup is
// never edited, and a clean is refused for a device that is not the scanned one. With the other
// pages that back a device up to read it: the question before its backup is replaced, for a
// device that goes or is no longer chosen while it shows.
#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "../backup/backup_snapshot.h"
#include "backup/pr_call_history_node.h"
#include "backup/pr_note_node.h"
#include "backup_run_fixture.h"
#include "backup_writer.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/privacy_clean_flow.h"
#include "sim_device_builder.h"
#include "transfer/pages/pr_one_copy_view_controller.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_records_pane.h"
#include "ui/alerts.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using privacy::PrivacyCleanFlow;
using privacy::PrivacyCleanOutcome;
using privacy::PrivacyScanOutcome;

// Leaves every record of a scan unticked.
void untickAll(const privacy::PrivacyScanResult& scan) {
    auto untick = [](const auto& list) {
        for (const auto& node : list) {
            node->setBSelected(false);
        }
    };
    untick(scan.contacts.records);
    untick(scan.messages.messages);
    untick(scan.messages.conversations);
    untick(scan.notes.records);
    untick(scan.calls.records);
    untick(scan.safariBroswerHistoryArray);
    untick(scan.safariSearchHistoryArray);
    untick(scan.wifiConnectArray);
    untick(scan.gpsLocationArray);
    untick(scan.files.safariWebCacheArray);
    untick(scan.files.messageAttachmentArray);
    untick(scan.files.PhotoPrivacyArray);
}

class PrivacyFlowTest : public BackupRunTest {
  protected:
    struct Seen {
        std::optional<PrivacyScanOutcome> scan;
        std::optional<PrivacyCleanOutcome> clean;
        std::optional<std::pair<bool, QString>> settled;
    };

    PrivacyCleanFlow::Hooks hooks(Seen& seen) {
        PrivacyCleanFlow::Hooks h;
        h.scanEnded = [&seen](const PrivacyScanOutcome& o) { seen.scan = o; };
        h.cleanEnded = [&seen](const PrivacyCleanOutcome& o) { seen.clean = o; };
        h.originalSettled = [&seen](bool ok, const QString& m) { seen.settled.emplace(ok, m); };
        return h;
    }

    // The demo device, attached; its backup device.
    backup::BackupDevice attachDemo() {
        const fs::path dir = tmp_ / "demo-phone";
        std::string error;
        EXPECT_TRUE(simdev::makeDemoDevice(dir, &error)) << error;
        const int index = attach(dir.string());
        EXPECT_GE(index, 0);
        const auto node = hub().currentIDevicenode();
        EXPECT_NE(node, nullptr);
        return backup::backupDeviceFor(index, node->udidNumber(), node->deviceName());
    }

    // Replaces the demo device's faults.
    void setDemoFaults(const PlistValue& faults) {
        const fs::path plist = tmp_ / "demo-phone" / md::sim::kDevicePlist;
        auto values = PlistValue::readFile(plist.string());
        ASSERT_TRUE(values);
        (*values)[md::sim::kKeyFaults] = faults;
        ASSERT_TRUE(values->writeFile(plist.string()));
    }

    // No working copy, nor a read-back of one, is left beside the backups.
    void expectNoWorkingCopy() {
        for (const auto& entry : fs::directory_iterator(backupRoot())) {
            EXPECT_EQ(entry.path().filename().string().find(".nimbara"), std::string::npos)
                << entry.path();
        }
    }

    std::shared_ptr<const privacy::PrivacyScanResult> scanned(PrivacyCleanFlow& flow,
                                                              const backup::BackupDevice& device,
                                                              Seen& seen) {
        EXPECT_TRUE(flow.scan(device));
        EXPECT_TRUE(pumpLong([&] { return seen.scan.has_value(); }));
        if (!seen.scan) {
            return nullptr;
        }
        EXPECT_TRUE(seen.scan->ok()) << seen.scan->message.toStdString();
        return seen.scan->scan;
    }
};

TEST_F(PrivacyFlowTest, TheDeviceLosesExactlyWhatWasTickedAndTheBackupIsNeverEdited) {
    const backup::BackupDevice device = attachDemo();
    Seen seen;
    PrivacyCleanFlow flow(hooks(seen));
    auto scan = scanned(flow, device, seen);
    ASSERT_NE(scan, nullptr);
    EXPECT_EQ(flow.stage(), PrivacyCleanFlow::Stage::Scanned);
    ASSERT_GE(scan->calls.records.size(), 2u);
    ASSERT_GE(scan->notes.records.size(), 2u);
    const fs::path original = backupOf(device.udid.toStdString());
    const auto before = folderSnapshot(original);

    untickAll(*scan);
    const QString goneCall = scan->calls.records[0]->callPhone();
    const QString goneNote = scan->notes.records[1]->noteTitle();
    scan->calls.records[0]->setBSelected(true);
    scan->notes.records[1]->setBSelected(true);
    const std::size_t calls = scan->calls.records.size();
    const std::size_t notes = scan->notes.records.size();

    const auto started = flow.clean(privacy::snapshotPrivacySelection(*scan), device);
    ASSERT_TRUE(started) << started.sentence().toStdString();
    ASSERT_TRUE(pumpLong([&] { return seen.clean.has_value(); }));
    ASSERT_TRUE(seen.clean->ok()) << seen.clean->message.toStdString();
    EXPECT_EQ(seen.clean->removed.calls, 1u);
    EXPECT_EQ(seen.clean->removed.notes, 1u);
    // The device was read back to confirm it, and the read-back is gone from the working copy.
    for (const auto& entry : fs::directory_iterator(backupRoot())) {
        EXPECT_FALSE(fs::exists(entry.path() / privacy::kReadBackFolder)) << entry.path();
    }
    // The user's backup was never touched by the clean.
    EXPECT_EQ(folderSnapshot(original), before);

    // Keeping the original removes the working copy and leaves the original as it was.
    ASSERT_TRUE(flow.keepOriginal());
    ASSERT_TRUE(pumpLong([&] { return seen.settled.has_value(); }));
    EXPECT_TRUE(seen.settled->first) << seen.settled->second.toStdString();
    EXPECT_EQ(folderSnapshot(original), before);
    for (const auto& entry : fs::directory_iterator(backupRoot())) {
        EXPECT_EQ(entry.path().filename().string().find(".nimbara"), std::string::npos)
            << "a working copy was left: " << entry.path();
    }

    // A new scan reads what the device holds now: the ticked call and note are gone, the rest
    // is there.
    seen = {};
    auto again = scanned(flow, device, seen);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->calls.records.size(), calls - 1);
    EXPECT_EQ(again->notes.records.size(), notes - 1);
    for (const auto& note : again->notes.records) {
        EXPECT_NE(note->noteTitle(), goneNote);
    }
    int sameNumber = 0;
    for (const auto& call : scan->calls.records) {
        sameNumber += call->callPhone() == goneCall ? 1 : 0;
    }
    int sameNumberAfter = 0;
    for (const auto& call : again->calls.records) {
        sameNumberAfter += call->callPhone() == goneCall ? 1 : 0;
    }
    EXPECT_EQ(sameNumberAfter, sameNumber - 1);
}

TEST_F(PrivacyFlowTest, ARestoreTheReadBackDoesNotConfirmIsNeverReportedAsDone) {
    const backup::BackupDevice device = attachDemo();
    const fs::path original = backupOf(device.udid.toStdString());
    const auto noRoom = [](const fs::path&) { return std::optional<std::uint64_t>(0); };
    struct Row {
        const char* fault;  // set once the device was scanned; null: none
        PlistValue value;
        privacy::FreeSpaceProbe freeSpace;
        const char* says;
    } rows[] = {
        {md::sim::kFaultRestoreWritesNothing,
         PlistValue(true),
         {},
         "still holds 1 call and 1 note that the clean removed"},
        {md::sim::kFaultBackupError,
         PlistValue("The device is locked."),
         {},
         "could not be read back: The device is locked."},
        {nullptr, PlistValue(), noRoom, "not enough free disk space to read the device back"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.says);
        setDemoFaults(PlistValue::dict());
        Seen seen;
        privacy::ReadBackSettings readBack;
        readBack.freeSpace = row.freeSpace;
        PrivacyCleanFlow flow(hooks(seen), {}, readBack);
        auto scan = scanned(flow, device, seen);
        ASSERT_NE(scan, nullptr);
        untickAll(*scan);
        scan->calls.records[0]->setBSelected(true);
        scan->notes.records[0]->setBSelected(true);
        const auto backupBefore = folderSnapshot(original);
        PlistValue faults = PlistValue::dict();
        if (row.fault) {
            faults[row.fault] = row.value;
        }
        setDemoFaults(faults);

        ASSERT_TRUE(flow.clean(privacy::snapshotPrivacySelection(*scan), device).ok());
        ASSERT_TRUE(pumpLong([&] { return seen.clean.has_value(); }));
        EXPECT_TRUE(seen.clean->restored);
        EXPECT_FALSE(seen.clean->confirmed);
        EXPECT_FALSE(seen.clean->ok());
        EXPECT_TRUE(seen.clean->message.contains(QString::fromLatin1(row.says)))
            << seen.clean->message.toStdString();
        // Nothing is left to keep or replace: the original backup stays as it was.
        EXPECT_EQ(flow.stage(), PrivacyCleanFlow::Stage::Idle);
        EXPECT_FALSE(flow.replaceOriginal());
        EXPECT_EQ(folderSnapshot(original), backupBefore);
        expectNoWorkingCopy();
    }
}

TEST_F(PrivacyFlowTest, ACleanIsRefusedForAnotherDeviceOrWithNothingTicked) {
    const backup::BackupDevice device = attachDemo();
    Seen seen;
    PrivacyCleanFlow flow(hooks(seen));
    auto scan = scanned(flow, device, seen);
    ASSERT_NE(scan, nullptr);
    const auto deviceFiles = folderSnapshot(tmp_ / "demo-phone" / "backup-source");

    untickAll(*scan);
    const auto nothingTicked = flow.clean(privacy::snapshotPrivacySelection(*scan), device);
    ASSERT_FALSE(nothingTicked);
    EXPECT_FALSE(nothingTicked.sentence().isEmpty());

    scan->calls.records[0]->setBSelected(true);
    // The same device attached again (a new serial), or another index: refused.
    backup::BackupDevice reattached = device;
    reattached.deviceSerial += 1;
    const auto gone = flow.clean(privacy::snapshotPrivacySelection(*scan), reattached);
    ASSERT_FALSE(gone);
    EXPECT_TRUE(gone.sentence().contains(QStringLiteral("not connected")));
    backup::BackupDevice other = device;
    other.udid = QStringLiteral("00000000000000000000000000000000000000ff");
    EXPECT_FALSE(flow.clean(privacy::snapshotPrivacySelection(*scan), other).ok());
    EXPECT_EQ(folderSnapshot(tmp_ / "demo-phone" / "backup-source"), deviceFiles);
    EXPECT_EQ(flow.stage(), PrivacyCleanFlow::Stage::Scanned);
}

TEST_F(PrivacyFlowTest, AFailedBackupStopsTheScanAndNothingOlderIsRead) {
    const std::string udid = "1a2b3c4d5e6f708192a3b4c5d6e7f8091a2b3c4d";
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultBackupWritesNothing] = true;
    const int index = attach(makeBackupDevice(udid, "Phone", faults));
    ASSERT_GE(index, 0);
    // An older backup of the device is there: it must not be read as if it were new.
    fs::create_directories(backupOf(udid));
    writeText(backupOf(udid) / "Info.plist", "<plist/>");
    Seen seen;
    PrivacyCleanFlow flow(hooks(seen));
    ASSERT_TRUE(flow.scan(
        backup::backupDeviceFor(index, QString::fromStdString(udid), QStringLiteral("Phone"))));
    ASSERT_TRUE(pumpLong([&] { return seen.scan.has_value(); }));
    EXPECT_FALSE(seen.scan->ok());
    EXPECT_EQ(seen.scan->scan, nullptr);
    EXPECT_FALSE(seen.scan->message.isEmpty());
    EXPECT_EQ(flow.stage(), PrivacyCleanFlow::Stage::Idle);
}

TEST_F(PrivacyFlowTest, AFlowThatGoesMidScanNeverWaits) {
    const std::string udid = "99887766554433221100aabbccddeeff00112233";
    const int index = attach(makeBackupDevice(udid, "Tablet", waitingFaults()));
    ASSERT_GE(index, 0);
    Seen seen;
    {
        PrivacyCleanFlow flow(hooks(seen));
        ASSERT_TRUE(flow.scan(backup::backupDeviceFor(index, QString::fromStdString(udid),
                                                      QStringLiteral("Tablet"))));
        ASSERT_TRUE(waitUntilToolHolds(udid));
    }  // gone while the tool runs: nothing waits, nothing is reported
    release(udid);
    pumpLong([&] { return toolFree(udid); });
    pumpEvents(20);
    EXPECT_FALSE(seen.scan.has_value());
}

TEST_F(PrivacyFlowTest, ThePageScansCleansAndComesBackToItsStart) {
    const backup::BackupDevice device = attachDemo();
    hub().ClickPrivacyClean(nullptr);
    PRPrivacyController* page = hub().privacyController();
    ASSERT_NE(page, nullptr);
    ASSERT_NE(page->scanButton, nullptr);
    EXPECT_FALSE(page->isShowingNotAvailable());

    std::vector<QString> asked;
    Alerts::ScopedHandler answer([&asked](QWidget*, const Alerts::Question& q) {
        asked.push_back(q.message);
        // "Clean Up" when asked to confirm; "Keep It" for the original backup.
        return q.alternateButton == QStringLiteral("Keep It") ? Alerts::Answer::Alternate
                                                              : Alerts::Answer::Default;
    });
    page->scanButton->click();
    EXPECT_TRUE(page->cleanupRemindWindow->isVisible());
    ASSERT_TRUE(pumpLong([&] { return page->isShowingResults(); }));
    EXPECT_FALSE(page->cleanupRemindWindow->isVisible());
    const auto* scan = page->scanResult();
    ASSERT_NE(scan, nullptr);
    untickAll(*scan);
    ASSERT_FALSE(scan->notes.records.empty());
    scan->notes.records[0]->setBSelected(true);
    const std::size_t notes = scan->notes.records.size();
    const fs::path original = backupOf(device.udid.toStdString());
    const auto before = folderSnapshot(original);

    page->cleanButton->click();
    ASSERT_TRUE(pumpLong([&] { return !page->isShowingResults(); }));
    ASSERT_TRUE(
        pumpLong([&] { return page->flow()->stage() == privacy::PrivacyCleanFlow::Stage::Idle; }));
    EXPECT_FALSE(page->findoffWindow->isVisible()) << page->showErrorlab->text().toStdString();
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(folderSnapshot(original), before);  // kept as it was
    EXPECT_TRUE(page->scanButton->isEnabled());

    // The next scan finds one note fewer.
    page->scanButton->click();
    ASSERT_TRUE(pumpLong([&] { return page->isShowingResults(); }));
    EXPECT_EQ(page->scanResult()->notes.records.size(), notes - 1);

    // A restore the device takes without writing anything is never called a clean.
    untickAll(*page->scanResult());
    page->scanResult()->notes.records[0]->setBSelected(true);
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultRestoreWritesNothing] = true;
    setDemoFaults(faults);
    asked.clear();
    page->cleanButton->click();
    ASSERT_TRUE(pumpLong([&] { return page->findoffWindow->isVisible(); }));
    EXPECT_EQ(page->findoffTitlelab->text(), QStringLiteral("The restore could not be confirmed."));
    EXPECT_TRUE(page->showErrorlab->text().contains(QStringLiteral("still holds 1 note")))
        << page->showErrorlab->text().toStdString();
    EXPECT_EQ(asked.size(), 1u);  // only whether to clean: no "cleaned", no "Replace It"
}

TEST_F(PrivacyFlowTest, ACancelledReplaceStartsNeitherTheScanNorAQuickCopy) {
    const backup::BackupDevice device = attachDemo();
    ASSERT_TRUE(simdev::writeBackup(tmp_ / "demo-phone", backupRoot()).ok);
    const auto before = folderSnapshot(backupOf(device.udid.toStdString()));
    int asked = 0;
    Alerts::ScopedHandler cancel([&asked](QWidget*, const Alerts::Question&) {
        ++asked;
        return Alerts::Answer::Alternate;
    });
    hub().ClickPrivacyClean(nullptr);
    hub().privacyController()->scanButton->click();
    EXPECT_EQ(hub().privacyController()->flow()->stage(), PrivacyCleanFlow::Stage::Idle);
    hub().ClickOneCopy(nullptr);
    hub().oneCopyViewController()->StartOneCopyAction(nullptr);
    EXPECT_EQ(hub().oneCopyViewController()->state(), PROneCopyViewController::State::Idle);
    EXPECT_TRUE(hub().oneCopyViewController()->statusText().contains("Nothing was copied"));
    EXPECT_EQ(asked, 2);
    pumpEvents(20);
    EXPECT_EQ(folderSnapshot(backupOf(device.udid.toStdString())), before);
}

// The pages that ask before a backup replaces the device's: starting each, what it then says,
// and whether it started anything.
struct ReplaceAsker {
    const char* page;
    std::function<void(QuennicAppDelegate&)> start;
    std::function<QString(QuennicAppDelegate&)> said;
    std::function<bool(QuennicAppDelegate&)> started;
};
const ReplaceAsker kAskers[] = {
    {"quick copy",
     [](auto& hub) {
         hub.ClickOneCopy(nullptr);
         hub.oneCopyViewController()->StartOneCopyAction(nullptr);
     },
     [](auto& hub) { return hub.oneCopyViewController()->statusText(); },
     [](auto& hub) {
         return hub.oneCopyViewController()->state() != PROneCopyViewController::State::Idle;
     }},
    {"privacy scan",
     [](auto& hub) {
         hub.ClickPrivacyClean(nullptr);
         hub.privacyController()->scanButton->click();
     },
     [](auto& hub) { return hub.privacyController()->showErrorlab->text(); },
     [](auto& hub) {
         return hub.privacyController()->flow()->stage() != PrivacyCleanFlow::Stage::Idle;
     }},
    {"contacts", [](auto& hub) { hub.ClickContact(nullptr); },
     [](auto& hub) { return hub.GetTansferViewController()->statusText(); },
     [](auto& hub) { return hub.GetTansferViewController()->records().loading(); }},
};

TEST_F(PrivacyFlowTest, TheReplaceQuestionClosesWhenItsDeviceGoes) {
    char name = 'a';
    for (const ReplaceAsker& asker : kAskers) {
        SCOPED_TRACE(asker.page);
        const std::string udid(40, name++);  // a device of its own, with a backup to ask about
        const std::string dir = makeBackupDevice(udid, "Phone");
        ASSERT_GE(attach(dir), 0);
        fs::create_directories(backupOf(udid));
        bool closed = false;
        Alerts::ScopedHandler unplug([&](QWidget*, const Alerts::Question& q) {
            library_->detach(dir);
            closed = test::pumpUntil([&] { return q.dismissal && q.dismissal->dismissed(); }, 500);
            // Left open, the user's answer would come for a device that is gone.
            return closed ? Alerts::Answer::Alternate : Alerts::Answer::Default;
        });
        asker.start(hub());
        EXPECT_TRUE(closed);
        EXPECT_EQ(asker.said(hub()), QStringLiteral("The device was disconnected."));
        EXPECT_FALSE(asker.started(hub()));
    }
}

TEST_F(PrivacyFlowTest, AnAnswerForADeviceNoLongerChosenStartsNothing) {
    const int first = attach(makeBackupDevice(std::string(40, 'a'), "Asked"));
    const int other = attach(makeBackupDevice(std::string(40, 'b'), "Other"));
    ASSERT_GE(std::min(first, other), 0);
    fs::create_directories(backupOf(std::string(40, 'a')));
    Alerts::ScopedHandler change([&](QWidget*, const Alerts::Question&) {
        hub().ChangeToAnotherDevice(other);  // picked while the question shows
        return Alerts::Answer::Default;
    });
    for (const ReplaceAsker& asker : {kAskers[0], kAskers[1]}) {
        SCOPED_TRACE(asker.page);
        hub().ChangeToAnotherDevice(first);
        asker.start(hub());
        EXPECT_FALSE(asker.started(hub()));
    }
}

TEST_F(PrivacyFlowTest, ThePageWithoutADeviceSaysSo) {
    hub().ClickPrivacyClean(nullptr);
    PRPrivacyController* page = hub().privacyController();
    ASSERT_NE(page, nullptr);
    std::vector<QString> asked;
    Alerts::ScopedHandler answer([&asked](QWidget*, const Alerts::Question& q) {
        asked.push_back(q.message);
        return Alerts::Answer::Default;
    });
    page->StartPrivacyClean();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_TRUE(asked[0].startsWith(QStringLiteral("Connect your device")));
    EXPECT_EQ(page->flow(), nullptr);
}

TEST_F(PrivacyFlowTest, AFailedRestoreLeavesTheDeviceAndTheBackupAsTheyWere) {
    const backup::BackupDevice device = attachDemo();
    Seen seen;
    PrivacyCleanFlow flow(hooks(seen));
    auto scan = scanned(flow, device, seen);
    ASSERT_NE(scan, nullptr);
    // From now on the device refuses a restore.
    PlistValue faults = PlistValue::dict();
    faults[md::sim::kFaultRestoreError] = "The device refused the restore.";
    setDemoFaults(faults);

    untickAll(*scan);
    scan->calls.records[0]->setBSelected(true);
    const fs::path original = backupOf(device.udid.toStdString());
    const auto backupBefore = folderSnapshot(original);
    const auto deviceBefore = folderSnapshot(tmp_ / "demo-phone" / "backup-source");
    ASSERT_TRUE(flow.clean(privacy::snapshotPrivacySelection(*scan), device).ok());
    ASSERT_TRUE(pumpLong([&] { return seen.clean.has_value(); }));
    EXPECT_FALSE(seen.clean->ok());
    EXPECT_TRUE(seen.clean->cleaned);
    EXPECT_FALSE(seen.clean->restored);
    EXPECT_TRUE(seen.clean->message.endsWith(
        QStringLiteral("refused the restore. Your backup is unchanged.")))
        << seen.clean->message.toStdString();
    EXPECT_EQ(flow.stage(), PrivacyCleanFlow::Stage::Idle);
    EXPECT_EQ(folderSnapshot(original), backupBefore);
    EXPECT_EQ(folderSnapshot(tmp_ / "demo-phone" / "backup-source"), deviceBefore);
    expectNoWorkingCopy();  // it went with the failure
}

}  // namespace
}  // namespace nimbara::test
