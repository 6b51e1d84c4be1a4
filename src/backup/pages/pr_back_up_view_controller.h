// The backup page: backs the current device up on this computer with the backup tool, and shows
// one of three states: ready (an explanation, the backup folder and the backup button), backing
// up (a spinner while the tool runs, with the tool's progress and what the device waits for, such
// as its passcode, once the tool tells them) and finished (what came of it, spoken as well).
//
// The run is the device backup runner's (backup/backup_runner.h): it is for the device that was
// current when the button was pressed, and its result names that device whatever is current by
// then. A failed run is shown as failed, never as completed. The page never waits for the run:
// a run still going when the page goes is stopped (the tool is ended) and its thread is left to a
// reaper, which the page's end waits for at exit only. Another folder typed for the backup is
// checked on a job of the page's own (a folder on a slow or hung mount never holds up the
// window): the backup button stays disabled until the check is back, and its answer counts only
// while the device it was made for is still the one on show.
#pragma once

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "backup/backup_location.h"
#include "backup/backup_runner.h"
#include "platform/job_runner.h"
#include "ui/page_controller_base.h"

struct BackupViewUi;

namespace nimbara {
class WorkerReaper;
}

class PRBackUpViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    enum class State { Ready, BackingUp, Finished };

    explicit PRBackUpViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRBackUpViewController() override;

    // Unhides the page's main view.
    void ShowbackupView();
    // The location choice: the default folder (the text is disabled) or another one (the text
    // can be edited), which the next backup goes to once it passed its check (a folder that
    // can't take it is refused with why, and nothing starts).
    void defaultBackupLocation(QObject* sender = nullptr);
    void ChangeBackupLocation(QObject* sender = nullptr);
    // Backs the current device up: shows the backing-up state and starts the run. Ignored while
    // a run is going.
    void BackupAction(QObject* sender = nullptr);
    // The report of a run (GUI thread): the finished state with its outcome, and the spoken
    // notice.
    void FinisdBackupDeviceThread(const nimbara::backup::BackupRunResult& result);
    // Opens the backup browser on the local backups; a backup just made in another folder is
    // listed with them.
    void BroswerBackupAction(QObject* sender = nullptr);

    // How a folder typed for the backup is checked, off the GUI thread: prepareBackupLocation
    // unless replaced (tests replace it).
    using LocationCheck = std::function<nimbara::backup::BackupLocationCheck(const QString& text,
                                                                             const QString& udid)>;
    void setLocationCheck(LocationCheck check) { locationCheck_ = std::move(check); }

    State state() const { return state_; }
    bool isMainViewShown() const;
    bool isRunning() const { return run_ != nullptr; }
    // The folder typed for the backup is being checked.
    bool isCheckingLocation() const { return locationJob_.busy(); }
    // The text naming the local backup folder (empty before showView).
    QString backupLocationText() const;
    // The result of the last run that finished.
    const std::optional<nimbara::backup::BackupRunResult>& lastResult() const {
        return lastResult_;
    }
    // The widgets (null before the page's view was made).
    const BackupViewUi* ui() const { return ui_.get(); }

    // Where the local backups live: NIMBARA_BACKUP_ROOT when set, else MobileSync/Backup in the
    // user's data folder ($XDG_DATA_HOME, by default ~/.local/share).
    static QString localBackupFolder();

  protected:
    void viewShown() override;

  private:
    void buildPage();
    void showState(State state);
    // Shows the backing-up state and starts the run of `device`.
    void startBackup(const nimbara::backup::BackupDevice& device,
                     const nimbara::backup::BackupRunSettings& settings);
    // The check of the folder typed for a backup of `device` is back (GUI thread).
    void locationChecked(const nimbara::backup::BackupDevice& device,
                         const nimbara::backup::BackupLocationCheck& location);
    // The device on show, as a run's target.
    nimbara::backup::BackupDevice deviceOnShow() const;
    // A progress or status line of the tool, while backing up.
    void showToolLine(const nimbara::backup::ToolLine& line);
    // Hands a run that is over, or stopped, to the reaper.
    void retireRun();

    std::unique_ptr<BackupViewUi> ui_;
    State state_ = State::Ready;
    std::shared_ptr<nimbara::backup::DeviceBackupRun> run_;
    std::optional<nimbara::backup::BackupRunResult> lastResult_;
    QPointer<nimbara::WorkerReaper> reaper_;
    LocationCheck locationCheck_ = nimbara::backup::prepareBackupLocation;
    // Last: it goes first, so nothing it still posts reaches a page being taken apart.
    nimbara::JobRunner locationJob_;
};
