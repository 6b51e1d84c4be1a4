#include "backup/backup_scan_readers.h"

#include <QFile>
#include <QtGlobal>

#include "backup/bookmark_reader.h"
#include "backup/calendar_reader.h"
#include "backup/call_history_reader.h"
#include "backup/deleted_records.h"
#include "backup/manifest_pass.h"
#include "backup/message_reader.h"
#include "backup/note_reader.h"
#include "platform/log_categories.h"

namespace nimbara::backup {

ScanStepRunner manifestStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        ManifestPassHooks hooks;
        hooks.stopRequested = [&context] { return context.stopRequested(); };
        hooks.postProgress = [&context](int percent) { context.postProgress(percent); };
        ManifestPassResult result = runManifestPass(context.folder(), context.center(), hooks);
        if (records) {
            // Whatever was read before damage or a stop is still of use to the later steps.
            records->setTreeFiles(std::move(result.treeFileArray));
            records->setListedFiles(std::move(result.listedFileKeys));
        }
        ScanStepReport report;
        report.incomplete = result.missingFiles > 0;
        if (result.stopped) {
            report.outcome = ScanStepOutcome::Stopped;
        } else if (result.kind == ManifestKind::None) {
            report.outcome = ScanStepOutcome::Failed;
            report.message = QStringLiteral("This backup has no list of its files.");
        } else if (!result.error.empty()) {
            qCWarning(lcBackup, "Backup scan: file list: %s", result.error.c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message =
                QStringLiteral("The list of files in this backup could not be read in full.");
        } else if (result.refusedPaths > 0) {
            qCWarning(lcBackup, "Backup scan: file list: %s",
                      refusedPathsText(result.refusedPaths).c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message = QStringLiteral(
                                 "The list of files in this backup is damaged: %1 of its entries "
                                 "name paths too deep or too long for any device, and were left "
                                 "out.")
                                 .arg(result.refusedPaths);
        }
        return report;
    };
}

// A backup without an address book has no contacts: that is no damage. One that lists the
// address book (or its pictures) without holding it is incomplete. Only a database that is
// there and cannot be read fails the step.
ScanStepRunner contactStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const ContactReadResult result =
            scanContactThread(QFile::encodeName(context.folder()).toStdString(), &context.center(),
                              [&context] { return context.stopRequested(); });
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString()};
        }
        auto listed = [&records](const char* key) { return records && records->isListed(key); };
        // Unless the reader posted its end value, the scan posts it and goes on.
        ScanStepReport report{ScanStepOutcome::Done, QString(), result.progressPosted};
        if (!result.addressBookFound) {
            report.incomplete = listed(kAddressBookKey);
        } else if (!result.ok) {
            qCWarning(lcBackup, "Backup scan: address book: %s", result.error.c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message = QStringLiteral("The address book in this backup could not be read.");
        } else if (!result.imagesFound) {
            report.incomplete = listed(kContactImagesKey);
        } else if (!result.imageError.empty()) {
            qCWarning(lcBackup, "Backup scan: contact pictures: %s", result.imageError.c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message =
                QStringLiteral("The contact pictures in this backup could not be read.");
        }
        if (records) {
            records->setContacts(result.contacts);
        }
        return report;
    };
}

// Messages are named from the contact step's contacts and find their attachments among the
// manifest pass's entries. As with contacts, a backup without a message database has none.
ScanStepRunner messageStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        MessageScanInputs inputs;
        if (records) {
            inputs.contacts = records->contacts();
            inputs.treeFiles = records->treeFiles();
            inputs.isListed = [records](const std::string& key) { return records->isListed(key); };
        }
        const MessageReadResult result =
            scanMessageThread(QFile::encodeName(context.folder()).toStdString(), &context.center(),
                              inputs, [&context] { return context.stopRequested(); });
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString()};
        }
        ScanStepReport report{ScanStepOutcome::Done, QString(), result.progressPosted};
        if (!result.databaseFound) {
            report.incomplete = records && records->isListed(kMessageDatabaseKey);
        } else if (!result.ok) {
            qCWarning(lcBackup, "Backup scan: messages: %s", result.error.c_str());
            report.outcome = ScanStepOutcome::Failed;
            report.message = QStringLiteral("The messages in this backup could not be read.");
        }
        return report;
    };
}

BackupScanPlan wiredBackupScanPlan(const std::shared_ptr<BackupScanRecords>& records) {
    BackupScanPlan plan = BackupScanPlan::standard();
    plan.setRunner(ScanStepKind::Manifest, manifestStepRunner(records));
    plan.setRunner(ScanStepKind::Contacts, contactStepRunner(records));
    plan.setRunner(ScanStepKind::Messages, messageStepRunner(records));
    plan.setRunner(ScanStepKind::Bookmarks, bookMarkStepRunner(records));
    plan.setRunner(ScanStepKind::Calendar, calenderStepRunner(records));
    plan.setRunner(ScanStepKind::Notes, noteStepRunner(records));
    plan.setRunner(ScanStepKind::CallHistory, callHistoryStepRunner(records));
    // Once every reader has run, the records deleted from the same databases.
    appendDeletedRecordSteps(plan, records);
    return plan;
}

}  // namespace nimbara::backup
