#include "backup/backup_scan.h"

#include <QFileInfo>
#include <QtGlobal>

#include <exception>
#include <utility>

#include "backup/backup_list.h"
#include "platform/notification_center.h"

namespace nimbara::backup {

QString scanStepTitle(ScanStepKind kind) {
    switch (kind) {
        case ScanStepKind::Manifest:
            return QStringLiteral("Backup files");
        case ScanStepKind::Contacts:
            return QStringLiteral("Contacts");
        case ScanStepKind::Messages:
            return QStringLiteral("Messages");
        case ScanStepKind::Notes:
            return QStringLiteral("Notes");
        case ScanStepKind::CallHistory:
            return QStringLiteral("Call history");
        case ScanStepKind::Bookmarks:
            return QStringLiteral("Bookmarks");
        case ScanStepKind::Calendar:
            return QStringLiteral("Calendar");
    }
    return QString();
}

BackupScanPlan BackupScanPlan::standard() {
    BackupScanPlan plan;
    const std::pair<ScanStepKind, int> order[] = {
        {ScanStepKind::Manifest, 20},    {ScanStepKind::Contacts, 40},
        {ScanStepKind::Messages, 50},    {ScanStepKind::Notes, 70},
        {ScanStepKind::CallHistory, 60}, {ScanStepKind::Bookmarks, -1},
        {ScanStepKind::Calendar, -1},
    };
    for (const auto& [kind, progress] : order) {
        plan.steps_.push_back(ScanStep{kind, scanStepTitle(kind), progress, {}});
    }
    return plan;
}

void BackupScanPlan::setRunner(ScanStepKind kind, ScanStepRunner runner) {
    for (ScanStep& step : steps_) {
        if (step.kind == kind) {
            step.runner = std::move(runner);
            return;
        }
    }
}

bool BackupScanPlan::hasRunner(ScanStepKind kind) const {
    for (const ScanStep& step : steps_) {
        if (step.kind == kind) {
            return static_cast<bool>(step.runner);
        }
    }
    return false;
}

BackupScan::BackupScan(NotificationCenter* center)
    : center_(center != nullptr ? *center : NotificationCenter::defaultCenter()) {}

BackupScan::~BackupScan() {
    requestStop();
    wait();
}

void BackupScan::setFinishedHandler(FinishedHandler handler) {
    finished_ = std::move(handler);
}

bool BackupScan::start(const QString& folder, BackupScanPlan plan, QString* whyNot) {
    auto refuse = [whyNot](const QString& reason) {
        if (whyNot != nullptr) {
            *whyNot = reason;
        }
        return false;
    };
    if (running_.load()) {
        return refuse(QStringLiteral("A backup scan is already running."));
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return refuse(QStringLiteral("The backup folder does not exist."));
    }
    if (isEncryptedBackup(folder)) {
        return refuse(encryptedBackupMessage());
    }
    wait();  // the thread of the previous scan has ended; reap it
    stop_.store(false);
    running_.store(true);
    thread_ = std::thread(&BackupScan::run, this, folder, std::move(plan));
    return true;
}

void BackupScan::requestStop() {
    stop_.store(true);
}

void BackupScan::wait() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
        thread_.join();
    }
}

BackupScanSummary BackupScan::lastSummary() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return summary_;
}

void BackupScan::post(int percent) {
    center_.post(kScanProgressNotification, percent);
}

void BackupScan::run(QString folder, BackupScanPlan plan) {
    BackupScanSummary summary;
    summary.folder = folder;
    const ScanStepContext context(folder, stop_, center_, [this](int percent) { post(percent); });
    for (const ScanStep& step : plan.steps()) {
        ScanStepReport report;
        if (stop_.load()) {
            report = {ScanStepOutcome::Stopped, QStringLiteral("The scan was stopped.")};
        } else if (!step.runner) {
            report = {ScanStepOutcome::NotAvailable,
                      QStringLiteral("Reading %1 is not available yet.").arg(step.title)};
        } else {
            // A reader's fault ends its own step, not the scan or the program; the log keeps
            // its text, the user reads plain words.
            const QString unreadable = QStringLiteral("%1 could not be read.").arg(step.title);
            try {
                report = step.runner(context);
            } catch (const std::exception& e) {
                qWarning("Backup scan: %s: %s", qUtf8Printable(step.title), e.what());
                report = {ScanStepOutcome::Failed, unreadable};
            } catch (...) {
                qWarning("Backup scan: %s: the reader failed", qUtf8Printable(step.title));
                report = {ScanStepOutcome::Failed, unreadable};
            }
            // A reader that returned early because of the stop did not finish its family.
            if (stop_.load() && report.outcome == ScanStepOutcome::Done) {
                report = {ScanStepOutcome::Stopped, QStringLiteral("The scan was stopped."),
                          report.progressPosted, report.incomplete};
            }
        }
        if (report.outcome == ScanStepOutcome::Stopped && report.message.isEmpty()) {
            report.message = QStringLiteral("The scan was stopped.");
        }
        if (report.outcome != ScanStepOutcome::Stopped && !report.progressPosted &&
            step.progressAfter >= 0) {
            post(step.progressAfter);
        }
        summary.steps.push_back({step.kind, report.outcome, report.message, report.incomplete});
    }
    summary.stopped = stop_.load();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        summary_ = summary;
    }
    if (finished_) {
        finished_(summary);
    }
    running_.store(false);
}

}  // namespace nimbara::backup
