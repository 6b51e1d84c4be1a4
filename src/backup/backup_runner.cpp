#include "backup/backup_runner.h"

#include <sys/stat.h>
#include <time.h>

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "backup/backup_list.h"
#include "backup/backup_root.h"
#include "device/device_manager.h"
#include "platform/scratch_dir.h"

namespace nimbara::backup {

namespace {

// How often a waiting run looks at its stop flag, and how long a tool asked to end may take.
constexpr int kStopLookMilliseconds = 50;
constexpr int kEndGraceMilliseconds = 2000;
// The error output kept of a tool: its last line is all that is shown.
constexpr qsizetype kMaxToolOutput = 64 * 1024;
constexpr qsizetype kMaxMessageLength = 500;

// What a backup's description file looked like: any change means it was written again.
struct DescriptionStamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtimeNs = 0;
    friend bool operator==(const DescriptionStamp&, const DescriptionStamp&) = default;
};

std::int64_t nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Info.plist of the backup, else its Manifest.plist (the file the backup list dates it by).
std::optional<DescriptionStamp> descriptionStamp(const QString& folder) {
    for (const char* name : {"/Info.plist", "/Manifest.plist"}) {
        struct stat st {};
        const QByteArray path = QFile::encodeName(folder + QLatin1String(name));
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode)) {
            return DescriptionStamp{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim)};
        }
    }
    return std::nullopt;
}

// The clock the file system dates files by: a file written after this moment is never dated
// before it.
std::int64_t fileClockNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return nanoseconds(now);
}

// The last non-empty line of the tool's error output, cut to a readable length.
QString lastLine(const QByteArray& output) {
    const QStringList lines = QString::fromUtf8(output).split(QLatin1Char('\n'));
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString line = it->trimmed();
        if (!line.isEmpty()) {
            return line.left(kMaxMessageLength);
        }
    }
    return {};
}

QString quotedName(const BackupDevice& device) {
    return device.deviceName.isEmpty() ? QString()
                                       : QStringLiteral(" of \"%1\"").arg(device.deviceName);
}

}  // namespace

// Shared by the run and its thread; the hooks that touch the GUI run only while not stopped.
struct DeviceBackupRun::State {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopRequested = false;
    std::atomic<bool> stopFlag{false};
    std::atomic<bool> ended{false};
    BackupRunHooks hooks;
    BackupRunSettings settings;

    bool stopped() const { return stopFlag.load(); }

    // Runs `fn` on the GUI thread and waits until it has run; false, without running it, once
    // the run was stopped (the waiting ends then too, unless `fn` is running: it may stop the
    // run itself, and still uses what the waiting thread holds).
    bool onMainAndWait(const std::function<void()>& fn) {
        QCoreApplication* app = QCoreApplication::instance();
        std::shared_ptr<State> keep = self.lock();
        if (app == nullptr || !keep) {
            return false;
        }
        struct Call {
            bool running = false;
            bool done = false;
        };
        auto call = std::make_shared<Call>();
        // The queued call holds the state: it may come after the run object has gone.
        QMetaObject::invokeMethod(
            app,
            [keep, call, fn] {
                {
                    std::lock_guard<std::mutex> lock(keep->mutex);
                    if (keep->stopRequested) {
                        return;
                    }
                    call->running = true;
                }
                fn();
                {
                    std::lock_guard<std::mutex> lock(keep->mutex);
                    call->running = false;
                    call->done = true;
                }
                keep->wake.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return call->done || (stopRequested && !call->running); });
        return call->done;
    }

    // Hands a tool line to its hook on the GUI thread, without waiting.
    void passOn(const ToolLine& line) {
        QCoreApplication* app = QCoreApplication::instance();
        std::shared_ptr<State> keep = self.lock();
        if (app == nullptr || !keep || !hooks.toolLine || stopped()) {
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [keep, line] {
                {
                    std::lock_guard<std::mutex> lock(keep->mutex);
                    if (keep->stopRequested) {
                        return;
                    }
                }
                keep->hooks.toolLine(line);
            },
            Qt::QueuedConnection);
    }

    // Closes the windows the notice hook handed over, on the GUI thread, without waiting; also
    // after a stop.
    void closeNotices() {
        QCoreApplication* app = QCoreApplication::instance();
        std::shared_ptr<State> keep = self.lock();
        if (app == nullptr || !keep) {
            return;
        }
        QMetaObject::invokeMethod(
            app,
            [keep] {
                for (const QPointer<QObject>& notice : std::exchange(keep->notices, {})) {
                    if (notice) {
                        QMetaObject::invokeMethod(notice, "close", Qt::DirectConnection);
                    }
                }
            },
            Qt::QueuedConnection);
    }

    std::weak_ptr<State> self;
    // The unlock notices of this run (GUI thread only).
    std::vector<QPointer<QObject>> notices;
};

namespace {

// The run whose notice hook is running (GUI thread only).
DeviceBackupRun::State* g_noticeRun = nullptr;

}  // namespace

void closeWithBackupRun(QObject* notice) {
    if (g_noticeRun != nullptr && notice != nullptr) {
        g_noticeRun->notices.emplace_back(notice);
    }
}

BackupVariantTraits backupVariantTraits(BackupVariant variant) {
    switch (variant) {
        case BackupVariant::BackupPage:
            return {nullptr, false};
        case BackupVariant::PrivacyCleaner:
            return {"tmp/Backup", true};
        case BackupVariant::TransferPage:
            return {"Backup", true};
        case BackupVariant::OneCopyPage:
            return {"tmp/Backup", true};
    }
    return {nullptr, false};
}

QString backupHeadline(const BackupRunResult& result) {
    return result.ok()
               ? QStringLiteral("The backup%1 has been completed.").arg(quotedName(result.device))
               : QStringLiteral("The backup%1 has failed.").arg(quotedName(result.device));
}

QString backupDetail(const BackupRunResult& result) {
    switch (result.outcome) {
        case BackupOutcome::Completed: {
            const QString kept = QStringLiteral("It is kept in %1.").arg(result.backupFolder);
            return result.encrypted ? kept + QLatin1Char('\n') + encryptedBackupMessage() : kept;
        }
        case BackupOutcome::NoDevice:
            return QStringLiteral("No device is connected. Connect the device and try again.");
        case BackupOutcome::ToolNotStarted:
            return QStringLiteral("The backup tool could not be started: %1")
                .arg(result.toolMessage);
        case BackupOutcome::ToolFailed:
            if (!result.toolMessage.isEmpty()) {
                return result.toolMessage;
            }
            return result.exitStatus >= 0 ? QStringLiteral("The backup tool ended with status %1.")
                                                .arg(result.exitStatus)
                                          : QStringLiteral("The backup tool stopped unexpectedly.");
        case BackupOutcome::DeviceGone:
            return QStringLiteral("The device was disconnected before the backup was finished.");
        case BackupOutcome::NoNewBackup:
            return QStringLiteral("The backup tool ended without writing a new backup.");
        case BackupOutcome::Stopped:
            return QStringLiteral("The backup was stopped.");
    }
    return {};
}

QString backupSpokenNotice(const BackupRunResult& result) {
    return result.ok() ? QStringLiteral("The Backup operation has been completed")
                       : QStringLiteral("The Backup operation has failed");
}

QString backupToolPath() {
    const QString overridden = qEnvironmentVariable("NIMBARA_BACKUP_TOOL");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    if (QCoreApplication::instance() == nullptr) {
        return QStringLiteral("nimbara-backup");
    }
    return QCoreApplication::applicationDirPath() + QStringLiteral("/nimbara-backup");
}

ToolRun runTool(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment, const std::function<bool()>& stop,
                const std::function<void()>& started,
                const std::function<void(const ToolLine&)>& line) {
    ToolRun run;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted(-1)) {
        run.startError = process.errorString();
        return run;
    }
    run.started = true;
    if (started) {
        started();
    }
    QByteArray errors;
    QByteArray output;
    auto collect = [&] {
        output += process.readAllStandardOutput();
        for (qsizetype end = output.indexOf('\n'); end >= 0; end = output.indexOf('\n')) {
            const QByteArray text = output.left(end);
            output.remove(0, end + 1);
            if (line) {
                if (const auto parsed = parseToolLine(text.toStdString())) {
                    line(*parsed);
                }
            }
        }
        if (output.size() > kMaxToolOutput) {
            output.clear();  // no tool line is this long
        }
        errors += process.readAllStandardError();
        if (errors.size() > kMaxToolOutput) {
            errors = errors.right(kMaxToolOutput);
        }
    };
    while (process.state() != QProcess::NotRunning) {
        if (stop && stop()) {
            run.stopped = true;
            process.terminate();
            if (!process.waitForFinished(kEndGraceMilliseconds)) {
                process.kill();
                process.waitForFinished(-1);
            }
            break;
        }
        process.waitForFinished(kStopLookMilliseconds);
        collect();
    }
    collect();
    run.normalExit = process.exitStatus() == QProcess::NormalExit;
    run.exitStatus = run.normalExit ? process.exitCode() : -1;
    run.message = lastLine(errors);
    return run;
}

BackupDevice backupDeviceFor(int deviceIndex, const QString& udid, const QString& deviceName) {
    BackupDevice device;
    device.deviceIndex = deviceIndex;
    device.deviceSerial =
        deviceIndex >= 0 ? amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex) : 0;
    device.udid = udid;
    device.deviceName = deviceName;
    return device;
}

DeviceBackupRun::DeviceBackupRun(BackupVariant variant, const BackupDevice& device)
    : variant_(variant), device_(device), state_(std::make_shared<State>()) {
    state_->self = state_;
}

namespace {

// The body of a run's thread, up to its report.
void runBackup(const std::shared_ptr<DeviceBackupRun::State>& state, BackupVariant variant,
               const BackupDevice& device) {
    BackupRunResult result;
    result.variant = variant;
    result.device = device;
    const BackupRunSettings& settings = state->settings;
    const QString root = settings.backupRoot.isEmpty() ? localBackupRoot() : settings.backupRoot;
    result.backupFolder = root + QLatin1Char('/') + device.udid;

    auto isThere = [&device] {
        return device.deviceIndex >= 0 && device.deviceSerial != 0 &&
               amd::DeviceManager::GetInstance().IsAttached(device.deviceIndex,
                                                            device.deviceSerial);
    };
    auto finish = [&] {
        if (state->stopped()) {
            return;
        }
        if (state->hooks.afterExit) {
            state->hooks.afterExit(result);
        }
        if (state->hooks.report && !state->stopped()) {
            state->onMainAndWait([&] { state->hooks.report(result); });
        }
    };

    // The UDID names a folder of the backup root: only a plain one is handed on.
    const bool plainUdid =
        !device.udid.isEmpty() && device.udid.size() <= 64 &&
        std::all_of(device.udid.cbegin(), device.udid.cend(), [](QChar c) {
            return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('-');
        });
    if (!plainUdid || !isThere()) {
        result.outcome = BackupOutcome::NoDevice;
        finish();
        return;
    }
    const BackupVariantTraits traits = backupVariantTraits(variant);
    if (traits.scratchFolder != nullptr) {
        scratchFolder(traits.scratchFolder);  // a folder that cannot be made is no reason to stop
    }

    const std::optional<DescriptionStamp> before = descriptionStamp(result.backupFolder);
    const std::int64_t startedAt = fileClockNow();
    QProcessEnvironment environment = settings.environment.isEmpty()
                                          ? QProcessEnvironment::systemEnvironment()
                                          : settings.environment;
    environment.insert(QStringLiteral("NIMBARA_BACKUP_ROOT"), root);
    const QString tool = settings.toolPath.isEmpty() ? backupToolPath() : settings.toolPath;

    const ToolRun run = runTool(
        tool, {QStringLiteral("--backup"), QStringLiteral("--target"), device.udid}, environment,
        [&state] { return state->stopped(); },
        [&] {
            if (traits.unlockNotice && state->hooks.unlockNotice) {
                state->onMainAndWait([&] {
                    g_noticeRun = state.get();
                    state->hooks.unlockNotice(device);
                    g_noticeRun = nullptr;
                });
            }
        },
        [&state](const ToolLine& line) { state->passOn(line); });
    // The tool has ended: what the notice announced is over.
    state->closeNotices();
    result.exitStatus = run.exitStatus;
    result.toolMessage = run.started ? run.message : run.startError;
    if (run.stopped || state->stopped()) {
        result.outcome = BackupOutcome::Stopped;
        return;
    }
    if (!run.started) {
        result.outcome = BackupOutcome::ToolNotStarted;
    } else if (!run.normalExit || run.exitStatus != 0) {
        result.outcome = BackupOutcome::ToolFailed;
    } else if (!isThere()) {
        result.outcome = BackupOutcome::DeviceGone;
    } else {
        const std::optional<DescriptionStamp> after = descriptionStamp(result.backupFolder);
        const bool written = after && (!before || *after != *before) &&
                             after->mtimeNs >= startedAt &&
                             readBackupFolder(result.backupFolder).ok();
        if (!written) {
            result.outcome = BackupOutcome::NoNewBackup;
        } else {
            result.outcome = BackupOutcome::Completed;
            result.encrypted = isEncryptedBackup(result.backupFolder);
        }
    }
    finish();
}

}  // namespace

std::shared_ptr<DeviceBackupRun> DeviceBackupRun::start(BackupVariant variant,
                                                        const BackupDevice& device,
                                                        BackupRunHooks hooks,
                                                        BackupRunSettings settings) {
    std::shared_ptr<DeviceBackupRun> run(new DeviceBackupRun(variant, device));
    run->state_->hooks = std::move(hooks);
    run->state_->settings = std::move(settings);
    std::shared_ptr<State> state = run->state_;
    // A QThread, not a bare thread: the tool's process watches its pipes through the thread's
    // event dispatcher.
    run->thread_ = QThread::create([state, variant, device] {
        runBackup(state, variant, device);
        state->ended.store(true);
    });
    run->thread_->start();
    return run;
}

DeviceBackupRun::~DeviceBackupRun() {
    stop();
    if (thread_ != nullptr) {
        thread_->wait();
        delete thread_;
    }
}

void DeviceBackupRun::stop() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stopRequested = true;
        state_->stopFlag.store(true);
    }
    state_->wake.notify_all();
}

bool DeviceBackupRun::ended() const {
    return state_->ended.load();
}

}  // namespace nimbara::backup
