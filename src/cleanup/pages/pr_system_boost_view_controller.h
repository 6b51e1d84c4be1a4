// The system boost page: finds the five kinds of junk the system leaves on the current device
// (crash logs, downloads, general storage, media that failed to sync, pictures left by photo
// edits), shows how much each takes, lists each kind, removes or exports single files, and
// removes everything found in one go after the user confirmed it.
//
// States: ready (scan button "scanNom.png") -> scanning ("scanDown.png", spinner) -> scanned
// ("RemoveBtnNom.png": the button now removes everything) -> removing ("RemoveBtnDown.png",
// the remove-all sheet) -> done ("doneNom.png", disabled); initAllDataAndAllView goes back to
// ready with the button enabled.
//
// One job of the page runs at a time (scan, remove all, a single removal or an export), on a
// worker the page owns, bound to the device (index AND serial) it started for. A device change
// (initAllDataAndAllView) stops it and discards whatever it still reports; a job whose device
// went away ends early and its results are dropped. Lists and totals change only on the GUI
// thread, and only by what the device confirmed.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "cleanup/pages/clean_list_models.h"
#include "cleanup/pages/system_boost_ui.h"
#include "cleanup/system_boost.h"
#include "platform/job_runner.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

// The list controller of the kind being shown: Name, Size, Path.
using PRSystemBoostController = nimbara::cleanup::CleanRowsModel<PRPhoneSystemFileNode>;

class QLabel;

class PRSystemBoostViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    enum class State { Ready, Scanning, Scanned, Removing, Done };

    explicit PRSystemBoostViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRSystemBoostViewController() override;

    // Stores the device index of the page.
    void setDeviceIndex(int index);
    // Back to the start with nothing found, for another device; stops the page's job and
    // discards its results; keeps the device index.
    void initAllDataAndAllView();
    // The shell shows `target` (empty: no device is left): the page takes its index, if any,
    // and resets.
    void deviceChanged(const amd::DeviceTarget& target) override;
    int deviceIndex() const { return deviceIndex_.load(); }

    // The scan button's notification: scans when ready, removes everything after a scan.
    void MyScanbuttonMouseDownHandle(const nimbara::Notification& notification);
    void StartSystemCleanupAction();
    void showMainView();
    void showResultView();
    // The kind buttons: each shows its kind's list.
    void ClickSystemLogAction(QObject* sender = nullptr);
    void ClickDownloadAction(QObject* sender = nullptr);
    void ClickUsesStorageAction(QObject* sender = nullptr);
    void ClickiTunesSyncfailedAction(QObject* sender = nullptr);
    void ClickiTunesCacheAction(QObject* sender = nullptr);
    void BackAction(QObject* sender = nullptr);
    // The selected file of the list: removed from the device, or copied to the export folder.
    void RemoveOneFileAction(QObject* sender = nullptr);
    void ExportOneFileAction(QObject* sender = nullptr);
    // Asks first; removes everything found only when the user says so.
    void RemoveAllFilesAction(QObject* sender = nullptr);

    State state() const { return state_; }
    bool bStartScan() const { return state_ == State::Scanning; }
    bool bScanFinished() const {
        return state_ == State::Scanned || state_ == State::Removing || state_ == State::Done;
    }
    // A job of the page runs.
    bool busy() const { return worker_.busy(); }
    std::size_t workersEnding() const { return worker_.ending(); }
    // The last scan's result, as settled by removals (null before a scan finished).
    const nimbara::cleanup::SystemBoostScanResult* result() const {
        return result_ ? &*result_ : nullptr;
    }
    std::uint64_t totalFileNumber() const { return result_ ? result_->totalFileNumber() : 0; }
    // The kind whose list is shown (none: the summary).
    std::optional<nimbara::cleanup::BoostKind> shownKind() const { return shownKind_; }
    PRSystemBoostController* systemBoostcontroller() const { return list_; }
    QString statusText() const;

    // The page's widgets (built on first use).
    SystemBoostUi& boostUi();

    // Called after each job of the page ended and its result was taken (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

    // The remove-all sheet's message with the count and the size in red, as rich text.
    static QString removeAllMessage(std::uint64_t files, std::uint64_t bytes);

  protected:
    void viewShown() override;

  private:
    void ensureBuilt();
    void wireControls();
    void showKind(nimbara::cleanup::BoostKind kind);
    // The status line of the view on show (the summary's or the list's); `problem` shows it red.
    void setStatus(const QString& text, bool problem = true);
    QLabel* shownStatusLine() const;
    void setScanButton(const char* image, bool enabled);
    void showSizes();
    nimbara::cleanup::CleanDeviceTarget currentTarget() const;
    // The shown list's selected record; null when none.
    std::shared_ptr<PRPhoneSystemFileNode> selectedRecord(int* row) const;
    bool refuseWhileBusy();

    void scanProgress(float fraction);
    void scanPathSeen(nimbara::cleanup::BoostKind kind, const QString& path);
    void FinishScanSystemThreadOnMainThread(nimbara::cleanup::SystemBoostScanResult found);
    void sendRemoveProgressInfoOnMainThread(const nimbara::cleanup::BoostProgress& progress,
                                            std::uint64_t foundBytes);
    void removeAllFilesFinishOnMainThread(std::vector<nimbara::cleanup::BoostItem> plan,
                                          nimbara::cleanup::SystemBoostRemovalReport report);
    void oneFileRemoved(std::shared_ptr<PRPhoneSystemFileNode> record,
                        nimbara::cleanup::BoostKind kind, int row,
                        nimbara::cleanup::SystemBoostRemovalReport report);
    void jobDone();
    void resetPage();
    // The device of the page's results or job went away: the page is reset (true) and says so.
    bool dropIfDeviceGone();
    void deviceDetached(int index) override;

    std::atomic<int> deviceIndex_{0};
    std::unique_ptr<SystemBoostUi> ui_;
    QPointer<QWidget> uiRoot_;
    PRSystemBoostController* list_ = nullptr;
    nimbara::ObserverBag observers_;

    State state_ = State::Ready;
    std::optional<nimbara::cleanup::SystemBoostScanResult> result_;
    std::optional<nimbara::cleanup::BoostKind> shownKind_;
    // The device the running job works on.
    nimbara::cleanup::CleanDeviceTarget jobTarget_;
    // Bumped by every reset: a question answered after a reset acts on nothing.
    std::uint64_t generation_ = 0;
    nimbara::JobRunner worker_;
    std::function<void()> jobEnded_;
};
