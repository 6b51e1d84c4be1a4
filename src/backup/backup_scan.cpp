#include "backup/backup_scan.h"

#include <QFileInfo>
#include <QtGlobal>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <utility>

#include "backup/backup_list.h"
#include "platform/log_categories.h"
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

namespace {

// The scan whose job runs on this thread (null elsewhere).
thread_local const void* scanOfThisThread = nullptr;

}  // namespace

// What the scan's job shares with its owner.
struct BackupScan::Shared {
    explicit Shared(NotificationCenter& c) : center(c) {}

    NotificationCenter& center;
    std::atomic<bool> stop{false};
    FinishedHandler finished;
    mutable std::mutex mutex;
    std::condition_variable ended;
    bool running = false;       // under mutex
    BackupScanSummary summary;  // under mutex

    void post(int percent) { center.post(kScanProgressNotification, percent); }
};

BackupScan::BackupScan(NotificationCenter* center)
    : shared_(std::make_shared<Shared>(center != nullptr ? *center
                                                         : NotificationCenter::defaultCenter())) {}

BackupScan::~BackupScan() {
    requestStop();
    wait();
}

void BackupScan::setFinishedHandler(FinishedHandler handler) {
    shared_->finished = std::move(handler);
}

Result<void> BackupScan::start(const QString& folder, BackupScanPlan plan) {
    if (isRunning()) {
        return fail(QStringLiteral("A backup scan is already running."));
    }
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        return fail(QStringLiteral("The backup folder does not exist."));
    }
    if (isEncryptedBackup(folder)) {
        return fail(encryptedBackupMessage());
    }
    shared_->stop.store(false);
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->running = true;
    }
    // A queued job must be copyable: the plan goes in a shared block. The job hands what it
    // holds on to run(), which lets go of the plan (and the records its readers keep) on the
    // scan's thread.
    auto planned = std::make_shared<BackupScanPlan>(std::move(plan));
    jobs_.post([shared = shared_, folder, planned](const JobQueue::StopCheck&) mutable {
        run(std::move(shared), folder, std::move(planned));
    });
    return {};
}

void BackupScan::requestStop() {
    shared_->stop.store(true);
}

void BackupScan::wait() {
    if (scanOfThisThread == shared_.get()) {
        return;  // the finished handler: the scan is ending on this very thread
    }
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->ended.wait(lock, [this] { return !shared_->running; });
}

bool BackupScan::isRunning() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->running;
}

BackupScanSummary BackupScan::lastSummary() const {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    return shared_->summary;
}

void BackupScan::run(std::shared_ptr<Shared> shared, const QString& folder,
                     std::shared_ptr<BackupScanPlan> plan) {
    scanOfThisThread = shared.get();
    const std::atomic<bool>& stop = shared->stop;
    BackupScanSummary summary;
    summary.folder = folder;
    const ScanStepContext context(folder, stop, shared->center,
                                  [shared](int percent) { shared->post(percent); });
    for (const ScanStep& step : plan->steps()) {
        ScanStepReport report;
        if (stop.load()) {
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
                qCWarning(lcBackup, "Backup scan: %s: %s", qUtf8Printable(step.title), e.what());
                report = {ScanStepOutcome::Failed, unreadable};
            } catch (...) {
                qCWarning(lcBackup, "Backup scan: %s: the reader failed",
                          qUtf8Printable(step.title));
                report = {ScanStepOutcome::Failed, unreadable};
            }
            // A reader that returned early because of the stop did not finish its family.
            if (stop.load() && report.outcome == ScanStepOutcome::Done) {
                report = {ScanStepOutcome::Stopped, QStringLiteral("The scan was stopped."),
                          report.progressPosted, report.incomplete};
            }
        }
        if (report.outcome == ScanStepOutcome::Stopped && report.message.isEmpty()) {
            report.message = QStringLiteral("The scan was stopped.");
        }
        if (report.outcome != ScanStepOutcome::Stopped && !report.progressPosted &&
            step.progressAfter >= 0) {
            shared->post(step.progressAfter);
        }
        summary.steps.push_back({step.kind, report.outcome, report.message, report.incomplete});
    }
    summary.stopped = stop.load();
    plan.reset();
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->summary = summary;
    }
    if (shared->finished) {
        shared->finished(summary);
    }
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->running = false;
    }
    scanOfThisThread = nullptr;
    shared->ended.notify_all();
}

}  // namespace nimbara::backup
