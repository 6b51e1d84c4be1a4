#include "backup/backup_scan_readers.h"

#include <QFile>

#include "backup/manifest_pass.h"

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
        }
        if (result.stopped) {
            return ScanStepReport{ScanStepOutcome::Stopped, QString(), false};
        }
        if (result.kind == ManifestKind::None) {
            return ScanStepReport{ScanStepOutcome::Failed,
                                  QStringLiteral("The backup holds no file list."), false};
        }
        if (!result.error.empty()) {
            return ScanStepReport{ScanStepOutcome::Failed, QString::fromStdString(result.error),
                                  false};
        }
        return ScanStepReport{};
    };
}

ScanStepRunner contactStepRunner(const std::shared_ptr<BackupScanRecords>& records) {
    return [records](const ScanStepContext& context) {
        const ContactReadResult result =
            scanContactThread(QFile::encodeName(context.folder()).toStdString(), &context.center());
        if (!result.ok) {
            // Unless the reader posted its end value, the scan posts it and goes on.
            return ScanStepReport{ScanStepOutcome::Failed, QString::fromStdString(result.error),
                                  result.progressPosted};
        }
        if (records) {
            records->setContacts(result.contacts);
        }
        return ScanStepReport{ScanStepOutcome::Done, QString(), true};
    };
}

BackupScanPlan wiredBackupScanPlan(const std::shared_ptr<BackupScanRecords>& records) {
    BackupScanPlan plan = BackupScanPlan::standard();
    plan.setRunner(ScanStepKind::Manifest, manifestStepRunner(records));
    plan.setRunner(ScanStepKind::Contacts, contactStepRunner(records));
    return plan;
}

}  // namespace nimbara::backup
