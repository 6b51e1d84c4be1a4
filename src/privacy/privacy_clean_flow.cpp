#include "privacy/privacy_clean_flow.h"

#include <QStringList>

#include <atomic>
#include <utility>

#include "backup/backup_root.h"
#include "platform/worker_reaper.h"
#include "privacy/privacy_working_copy.h"

namespace nimbara::privacy {

struct PrivacyCleanFlow::State {
    Hooks hooks;
    backup::BackupRunSettings settings;
    ReadBackSettings readBack;
    // GUI thread only.
    Stage stage = Stage::Idle;
    backup::BackupDevice device;
    std::shared_ptr<backup::DeviceBackupRun> run;
    std::shared_ptr<const PrivacyScanResult> scan;
    std::unique_ptr<PrivacyWorkingCopy> copy;
    bool alive = true;
    int generation = 0;
    // Any thread: the scan's reading of the fresh backup stops.
    std::atomic<bool> stop{false};
};

namespace {

using Copy = std::unique_ptr<PrivacyWorkingCopy>;

// What the backup run's thread hands to the report: the records and the working copy.
struct ScanHandOff {
    std::shared_ptr<const PrivacyScanResult> scan;
    Copy copy;
    QString message;
};

QString scanFailure(const PrivacyScanResult& scan, const backup::BackupDevice& device) {
    if (scan.stopped) {
        return QStringLiteral("The scan was stopped.");
    }
    if (scan.refused()) {
        return QStringLiteral(
                   "The backup of \"%1\" is encrypted, so its private records can't be read or "
                   "cleaned. Turn off the encryption of this device's backups and scan again.")
            .arg(device.deviceName);
    }
    if (!scan.backup.belongsTo(device.udid)) {
        return QStringLiteral("The backup that was read is not of \"%1\". Nothing was cleaned.")
            .arg(device.deviceName);
    }
    return {};
}

QString workingCopyFailure(const WorkingCopyResult& made) {
    if (made.notEnoughSpace) {
        return QStringLiteral(
            "There is not enough free disk space beside the backup to clean a copy of it. Free "
            "some space and scan again.");
    }
    return QStringLiteral("A working copy of the backup could not be made (%1).")
        .arg(QString::fromStdString(made.error));
}

QProcessEnvironment toolEnvironment(const backup::BackupRunSettings& settings) {
    QProcessEnvironment environment = settings.environment.isEmpty()
                                          ? QProcessEnvironment::systemEnvironment()
                                          : settings.environment;
    const QString root =
        settings.backupRoot.isEmpty() ? backup::localBackupRoot() : settings.backupRoot;
    environment.insert(QStringLiteral("NIMBARA_BACKUP_ROOT"), root);
    return environment;
}

bool sameDevice(const backup::BackupDevice& a, const backup::BackupDevice& b) {
    return a.deviceIndex >= 0 && a.deviceIndex == b.deviceIndex &&
           a.deviceSerial == b.deviceSerial && a.udid.compare(b.udid, Qt::CaseInsensitive) == 0;
}

}  // namespace

PrivacyCleanFlow::PrivacyCleanFlow(Hooks hooks, backup::BackupRunSettings settings,
                                   ReadBackSettings readBack)
    : state_(std::make_shared<State>()), reaper_(std::make_unique<WorkerReaper>()) {
    state_->hooks = std::move(hooks);
    state_->settings = std::move(settings);
    state_->readBack = std::move(readBack);
}

PrivacyCleanFlow::~PrivacyCleanFlow() {
    reset();
    state_->alive = false;
    outliveOwner(std::move(reaper_));
}

PrivacyCleanFlow::Stage PrivacyCleanFlow::stage() const {
    return state_->stage;
}

const backup::BackupDevice& PrivacyCleanFlow::scannedDevice() const {
    return state_->device;
}

void PrivacyCleanFlow::reset() {
    State& s = *state_;
    ++s.generation;
    s.stop.store(true);
    if (s.run) {
        s.run->stop();
        auto run = std::move(s.run);
        reaper_->retire(run, [run] { return run->ended(); });
    }
    // A running clean or settling is told to stop; what it reports is dropped.
    steps_.stop();
    s.scan.reset();
    discardLater(std::move(s.copy));
    s.stage = Stage::Idle;
}

// Removing a working copy of a large backup takes its time: it is done in the background, and
// runs to its end even when a later removal takes the runner over or the flow goes.
void PrivacyCleanFlow::discardLater(std::unique_ptr<PrivacyWorkingCopy> copy) {
    if (!copy) {
        return;
    }
    auto held = std::make_shared<Copy>(std::move(copy));
    discards_.replace(
        [held](const JobRunner::StopCheck&, const JobRunner::Post&) { held->reset(); });
}

bool PrivacyCleanFlow::scan(const backup::BackupDevice& device) {
    State& s = *state_;
    if (s.stage == Stage::Scanning || s.stage == Stage::Cleaning || s.stage == Stage::Settling) {
        return false;
    }
    reset();
    s.stop.store(false);
    s.stage = Stage::Scanning;
    s.device = device;
    const int generation = s.generation;
    std::weak_ptr<State> weak = state_;
    auto handOff = std::make_shared<ScanHandOff>();

    backup::BackupRunHooks hooks;
    hooks.unlockNotice = s.hooks.unlockNotice;
    // On the run's thread, after the backup was checked: read it and make the working copy.
    hooks.afterExit = [weak, handOff, device](backup::BackupRunResult& run) {
        auto state = weak.lock();
        if (!state || !run.ok()) {
            return;
        }
        PrivacyScanOptions options;
        options.stop = [state] { return state->stop.load(); };
        auto scan = std::make_shared<PrivacyScanResult>(
            readPrivacyBackup(run.backupFolder.toStdString(), options));
        handOff->message = scanFailure(*scan, device);
        if (handOff->message.isEmpty() && !state->stop.load()) {
            WorkingCopyResult made = PrivacyWorkingCopy::create(scan->backupFolder);
            if (made.copy) {
                handOff->copy = std::move(made.copy);
            } else {
                handOff->message = workingCopyFailure(made);
            }
        }
        handOff->scan = std::move(scan);
    };
    // On the GUI thread; the run waits until it has returned.
    hooks.report = [weak, handOff, generation](const backup::BackupRunResult& run) {
        auto state = weak.lock();
        if (!state || !state->alive || state->generation != generation) {
            return;  // the flow went or was reset: the copy is discarded with the hand-off
        }
        PrivacyScanOutcome outcome;
        outcome.run = run;
        if (!run.ok()) {
            outcome.message =
                backup::backupHeadline(run) + QLatin1Char(' ') + backup::backupDetail(run);
        } else if (!handOff->scan) {
            outcome.message = QStringLiteral("The backup could not be read.");
        } else {
            outcome.message = handOff->message;
            outcome.scan = handOff->scan;
        }
        if (outcome.ok()) {
            state->scan = outcome.scan;
            state->copy = std::move(handOff->copy);
            state->stage = Stage::Scanned;
        } else {
            // No working copy is made for a scan that failed.
            state->stage = Stage::Idle;
        }
        if (state->hooks.scanEnded) {
            state->hooks.scanEnded(outcome);
        }
    };
    s.run = backup::DeviceBackupRun::start(backup::BackupVariant::PrivacyCleaner, device,
                                           std::move(hooks), s.settings);
    return true;
}

Result<void> PrivacyCleanFlow::clean(PrivacyCleanSelection selection,
                                     const backup::BackupDevice& attachedNow) {
    State& s = *state_;
    if (s.stage != Stage::Scanned || !s.copy || !s.copy->isOpen() || !s.scan) {
        return fail(QStringLiteral("Scan the device before cleaning it."));
    }
    if (!sameDevice(attachedNow, s.device)) {
        return fail(QStringLiteral("\"%1\", which was scanned, is not connected any more. "
                                   "Connect it and scan it again.")
                        .arg(s.device.deviceName));
    }
    if (!s.scan->backup.belongsTo(s.device.udid)) {
        return fail(QStringLiteral("The backup that was read is not of this device."));
    }
    if (selection.empty()) {
        return fail(QStringLiteral("Tick what should be removed first."));
    }
    s.stage = Stage::Cleaning;
    auto copy = std::make_shared<Copy>(std::move(s.copy));
    const QString tool =
        s.settings.toolPath.isEmpty() ? backup::backupToolPath() : s.settings.toolPath;
    const QProcessEnvironment environment = toolEnvironment(s.settings);
    const QString udid = s.device.udid;
    const std::uint64_t serial = s.device.deviceSerial;
    const ReadBackSettings readBack = s.readBack;

    // The job is not bound to the device's attachment: the restore restarts the device, and the
    // read-back follows it by its UDID. Its steps run only while it is the flow's current job.
    steps_.start([this, copy, selection = std::move(selection), tool, environment, udid, serial,
                  readBack](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        auto report = [this, post, copy](PrivacyCleanOutcome outcome) {
            post([this, copy, outcome] {
                steps_.finish();
                State& state = *state_;
                if (outcome.ok()) {
                    state.copy = std::move(*copy);
                    state.stage = Stage::Restored;
                } else {
                    copy->reset();
                    state.stage = Stage::Idle;
                    state.scan.reset();
                }
                if (state.hooks.cleanEnded) {
                    state.hooks.cleanEnded(outcome);
                }
            });
        };
        auto tellStep = [this, post](const QString& text) {
            post([this, text] {
                if (state_->hooks.cleanStep) {
                    state_->hooks.cleanStep(text);
                }
            });
        };
        PrivacyCleanOptions options;
        options.stepStarted = [tellStep](PrivacyCleanStep step) {
            tellStep(privacyCleanStepText(step));
        };
        if (stop()) {
            (*copy)->discard();  // the flow went before the clean began: nothing to report
            return;
        }
        PrivacyCleanOutcome outcome;
        const PrivacyCleanResult cleaned = cleanPrivacyWorkingCopy(**copy, selection, options);
        outcome.removed = cleaned.removed;
        if (!cleaned.ok) {
            outcome.message = cleaned.message;
            report(outcome);
            return;
        }
        outcome.cleaned = true;
        if (stop()) {
            outcome.message = QStringLiteral("The clean was stopped before the restore.");
            (*copy)->discard();
            report(outcome);
            return;
        }
        const QStringList arguments{QStringLiteral("--restore"), QStringLiteral("--target"), udid,
                                    QStringLiteral("--source"),
                                    QString::fromStdString((*copy)->path().string())};
        bool restarts = false;
        const backup::ToolRun restore = backup::runTool(
            tool, arguments, environment, stop, {}, [&restarts](const backup::ToolLine& line) {
                restarts = restarts || line.kind == backup::ToolLine::Kind::Restarting;
            });
        if (!restore.started) {
            outcome.message = QStringLiteral(
                                  "The restore could not be started (%1). Your "
                                  "backup is unchanged.")
                                  .arg(restore.startError);
        } else if (restore.stopped) {
            outcome.message = QStringLiteral("The restore was stopped. Your backup is unchanged.");
        } else if (!restore.normalExit || restore.exitStatus != 0) {
            QString said = restore.message;
            if (said.endsWith(QLatin1Char('.'))) {
                said.chop(1);  // the sentence goes on
            }
            outcome.message =
                QStringLiteral(
                    "The cleaned backup could not be restored onto the device%1. Your "
                    "backup is unchanged.")
                    .arg(said.isEmpty() ? QString() : QStringLiteral(": ") + said);
        } else {
            outcome.restored = true;
            ReadBackRequest request;
            request.tool = tool;
            request.environment = environment;
            request.udid = udid;
            request.serialBefore = serial;
            request.restarts = restarts;
            request.copy = (*copy)->path();
            const ReadBackResult read =
                readBackRestore(request, selection, readBack, stop, tellStep);
            outcome.confirmed = read.confirmed;
            outcome.stillOnDevice = read.stillThere;
            if (!read.confirmed) {
                outcome.message =
                    read.why + QStringLiteral(
                                   " Your backup was kept as it was and the cleaned copy was "
                                   "discarded. Scan the device again to see what it holds now.");
            }
        }
        if (!outcome.ok()) {
            (*copy)->discard();  // here, not on the GUI thread
        }
        report(outcome);
    });
    return {};
}

bool PrivacyCleanFlow::keepOriginal() {
    return settle(false);
}

bool PrivacyCleanFlow::replaceOriginal() {
    return settle(true);
}

bool PrivacyCleanFlow::settle(bool replace) {
    State& s = *state_;
    if (s.stage != Stage::Restored || !s.copy) {
        return false;
    }
    s.stage = Stage::Settling;
    auto copy = std::make_shared<Copy>(std::move(s.copy));
    steps_.start([this, copy, replace](const JobRunner::StopCheck&, const JobRunner::Post& post) {
        std::string error;
        const bool ok = replace ? (*copy)->replaceOriginal(error) : (*copy)->keepOriginal(error);
        copy->reset();
        const QString message = ok ? QString()
                                   : QStringLiteral("The backups could not be tidied up (%1).")
                                         .arg(QString::fromStdString(error));
        post([this, ok, message] {
            steps_.finish();
            State& state = *state_;
            state.stage = Stage::Idle;
            state.scan.reset();
            if (state.hooks.originalSettled) {
                state.hooks.originalSettled(ok, message);
            }
        });
    });
    return true;
}

}  // namespace nimbara::privacy
