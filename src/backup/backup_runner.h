// The device backup runner: runs the backup tool for one device on a thread of its own, in the
// order launch, notice, wait for the exit, report.
//
// Four places back a device up, each with its own small differences (BackupVariant): the backup
// page, the privacy cleaner before it reads the fresh backup, and the transfer and one-click copy
// pages before they read records. A variant may make a scratch folder before the launch and may
// show the unlock notice right after it; each reports on the GUI thread and waits until the
// report has run, and the privacy cleaner first reads the backup on the run's thread.
//
// A run is for the device it was started for, fixed at the start by its index, the serial the
// device manager gave that attachment and its UDID; its result carries them, so that nothing
// found by it is taken for another device that was picked, or got the same index, meanwhile.
//
// A run succeeds only when the tool exited with status 0, the very device it was started for is
// still attached, and a backup of that device written after the run started is in the backup
// root; anything else is a failure with its reason, never reported as done.
//
// The GUI thread never waits for a run: stop() asks it to end (the tool is told to stop, and
// killed if it does not; nothing more is shown or reported), and ended() tells when its thread
// is done, so an owner can hand the run to a reaper. Only the destructor waits for the thread,
// which owners leave to exit.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "backup/tool_line.h"

class QObject;
class QThread;

namespace nimbara::backup {

enum class BackupVariant { BackupPage, PrivacyCleaner, TransferPage, OneCopyPage };

struct BackupVariantTraits {
    const char* scratchFolder;  // made below the scratch root before the launch; null: none
    bool unlockNotice;          // the unlock notice is shown right after the launch
};
BackupVariantTraits backupVariantTraits(BackupVariant variant);

// The device a run is for.
struct BackupDevice {
    int deviceIndex = -1;
    std::uint64_t deviceSerial = 0;  // of the attachment at that index (DeviceManager)
    QString udid;
    QString deviceName;
};

enum class BackupOutcome {
    Completed,       // status 0, the device still attached, a new backup in place
    NoDevice,        // no device (or not that one) was attached at the start: nothing launched
    ToolNotStarted,  // the tool could not be started
    ToolFailed,      // the tool ended with a status other than 0, or by a signal
    DeviceGone,      // the device went away before the tool ended
    NoNewBackup,     // the tool said it was done, but no backup newer than the start is there
    Stopped,         // the run was stopped
};

struct BackupRunResult {
    BackupVariant variant = BackupVariant::BackupPage;
    BackupDevice device;
    BackupOutcome outcome = BackupOutcome::Stopped;
    int exitStatus = -1;     // the tool's exit status; -1 when it did not exit by itself
    QString toolMessage;     // the last line the tool wrote on its error output
    QString backupFolder;    // <backup root>/<UDID>
    bool encrypted = false;  // the new backup is encrypted (its records cannot be read)

    bool ok() const { return outcome == BackupOutcome::Completed; }
};

// One line for the user: "The backup of "NAME" has been completed." or "... has failed.".
QString backupHeadline(const BackupRunResult& result);
// What happened, in a sentence or two: why it failed, or where the backup is kept (with a note
// when it is encrypted).
QString backupDetail(const BackupRunResult& result);
// What is spoken at the end of a run.
QString backupSpokenNotice(const BackupRunResult& result);

// The backup tool: NIMBARA_BACKUP_TOOL when set, else nimbara-backup beside the running program.
QString backupToolPath();

// How one run of the tool ended.
struct ToolRun {
    bool started = false;
    QString startError;    // why it could not be started
    bool stopped = false;  // stop() was asked for: the tool was ended
    bool normalExit = false;
    int exitStatus = -1;
    QString message;  // the last non-empty line of its error output
};

// Runs `program` with `arguments` (never through a shell) and waits for it, looking at `stop`
// every 50 ms: when it says so, the tool is asked to end (SIGTERM), and killed when it has not
// within two seconds. `started` (may be empty) runs once the tool has started; `line` (may be
// empty) runs, on the calling thread, with each tool line (tool_line.h) of its standard output.
// For a worker thread.
ToolRun runTool(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment, const std::function<bool()>& stop,
                const std::function<void()>& started = {},
                const std::function<void(const ToolLine&)>& line = {});

struct BackupRunHooks {
    // The unlock notice, for the variants that show it: runs on the GUI thread right after the
    // launch, and the run waits until it returns (not until the user dismissed it). A window it
    // opens and hands to closeWithBackupRun() is closed when the tool has ended.
    std::function<void(const BackupDevice&)> unlockNotice;
    // Runs on the run's thread after the checks (the privacy cleaner reads the backup here).
    std::function<void(BackupRunResult&)> afterExit;
    // The report: runs on the GUI thread with the result, and the run waits until it returns.
    std::function<void(const BackupRunResult&)> report;
    // The tool's progress and status lines: run on the GUI thread, in order, without the run
    // waiting for them; none runs once the run was stopped.
    std::function<void(const ToolLine&)> toolLine;
};

struct BackupRunSettings {
    QString toolPath;    // empty: backupToolPath()
    QString backupRoot;  // empty: localBackupRoot()
    // The tool's environment: the program's own when empty; NIMBARA_BACKUP_ROOT is set to the
    // backup root either way, so the tool writes where the run looks.
    QProcessEnvironment environment;
};

class DeviceBackupRun {
  public:
    // Starts a run for `device` on a thread of its own; returns at once.
    static std::shared_ptr<DeviceBackupRun> start(BackupVariant variant, const BackupDevice& device,
                                                  BackupRunHooks hooks,
                                                  BackupRunSettings settings = {});
    // Stops the run and waits for its thread (at exit only, or once ended() said so).
    ~DeviceBackupRun();
    DeviceBackupRun(const DeviceBackupRun&) = delete;
    DeviceBackupRun& operator=(const DeviceBackupRun&) = delete;

    // Asks the run to end; never waits. Hooks that have not run yet never run.
    void stop();
    // The run's thread has done its last step.
    bool ended() const;
    const BackupDevice& device() const { return device_; }
    BackupVariant variant() const { return variant_; }

    struct State;

  private:
    DeviceBackupRun(BackupVariant variant, const BackupDevice& device);

    const BackupVariant variant_;
    const BackupDevice device_;
    std::shared_ptr<State> state_;
    QThread* thread_ = nullptr;
};

// Called by an unlock notice hook while it runs (GUI thread): `notice` belongs to that run's
// backup and is closed as soon as the backup tool has ended (whatever the outcome) or the run
// was stopped, before the run reports; a notice never outlives the backup it announces. Outside
// a hook it does nothing.
void closeWithBackupRun(QObject* notice);

// The device picked in the shell, as a run's target: its index, the serial of the attachment now
// at that index, its UDID and name.
BackupDevice backupDeviceFor(int deviceIndex, const QString& udid, const QString& deviceName);

}  // namespace nimbara::backup
