// The one-click copy page: copies, with one press, everything of the current device that the
// user left switched on (camera roll, photo stream, photo library, music, videos, contacts,
// messages, notes, bookmarks, calendar and reminders, call logs, voice memos) into a new folder
// inside the host's export folder, which is shown when the copy ends. The device's identifier
// and name come from the host's device on show.
//
// States: idle (start button "startNom.png", every row switched on) -> running ("startDown.png",
// the disk spinning, the spinners of the rows that are on turning, each row marked as its step
// ends) -> finished ("doneNom.png"; one run per device selection). initAllDataAndAllView (a
// device change) goes back to idle, stopping a run and dropping what it still reports.
//
// The run is one job on a worker the page owns, bound to the device (index AND serial) it was
// started for; a detach of that device ends it with a message and no spinner left turning.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "platform/job_runner.h"
#include "platform/notification_center.h"
#include "transfer/one_copy_job.h"
#include "transfer/pages/one_copy_ui.h"
#include "ui/page_controller_base.h"

class PRiDeviceNode;

class PROneCopyViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    enum class State { Idle, Running, Finished };
    static constexpr int kCopyCategoryCount = static_cast<int>(nimbara::transfer::kOneCopyRowCount);

    explicit PROneCopyViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PROneCopyViewController() override;

    // Stores the device index of the page's device services.
    void setCopyIndex(int index);
    // Back to the start for another device: every row on (flags and check images), no run, no
    // backup, no marks; a running copy is stopped and what it still reports is dropped.
    void initAllDataAndAllView();
    // The shell shows `target` (none: no device is left): its index, then the reset above.
    void deviceChanged(const amd::DeviceTarget& target) override;

    // The row toggles: each flips its flag and its check image together.
    void PhotoCameraAction(QObject* sender = nullptr);
    void PhotoLibraryAction(QObject* sender = nullptr);
    void PhotoStreamAction(QObject* sender = nullptr);
    void MusicAction(QObject* sender = nullptr);
    void VideoAction(QObject* sender = nullptr);
    void ContactAction(QObject* sender = nullptr);
    void MessageAction(QObject* sender = nullptr);
    void NoteAction(QObject* sender = nullptr);
    void BookMarkAction(QObject* sender = nullptr);
    void CalendarAction(QObject* sender = nullptr);
    void CallLogsAction(QObject* sender = nullptr);
    void VoiceMemoAction(QObject* sender = nullptr);
    // Starts a run unless one was started for this device selection.
    void StartOneCopyAction(QObject* sender = nullptr);
    // The start button's notification.
    void MyOneCopyButtonMouseDownHandle(const nimbara::Notification& notification);

    int copyIndex() const { return copyIndex_.load(); }
    bool bBackup() const { return bBackup_; }
    void setBBackup(bool made) { bBackup_ = made; }
    bool bStartScan() const { return state_ != State::Idle; }
    bool bEncypted() const { return bEncypted_; }
    State state() const { return state_; }
    bool busy() const { return worker_.busy(); }
    std::size_t workersEnding() const { return worker_.ending(); }
    // Whether copy category `category` (0 to 11, in the order of OneCopyRow) is on; false
    // outside that range.
    bool isCategoryChosen(int category) const;
    // Sets category `category` on or off, its check image with it; nothing outside 0 to 11.
    void setCategoryChosen(int category, bool chosen);
    bool isOn(nimbara::transfer::OneCopyRow row) const { return toggles_->isOn(row); }
    // The last finished run's report (none before one finished, and after a reset).
    const std::optional<nimbara::transfer::OneCopyReport>& lastReport() const { return report_; }
    QString statusText() const;

    // The page's widgets (built on first use).
    OneCopyUi& copyUi();
    // Lists the items of `row` that could not be copied, in a sheet on the page's window (the
    // link under the row's title opens it); null when the row has none.
    QWidget* showCopyFailures(nimbara::transfer::OneCopyRow row);

    // Called after each run ended and its result was shown (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

    // The texts of the encryption notice at the end of a run.
    static QString encryptedMessage();
    static QString encryptedInformative();

  protected:
    void viewShown() override;

  private:
    void ensureBuilt();
    void wireControls();
    void toggle(nimbara::transfer::OneCopyRow row);
    void showToggles();
    void resetViews();
    void setStatus(const QString& text);
    void markRow(const nimbara::transfer::OneCopyRowEnd& end);
    void stopSpinners();
    void finishOneClickCopyOnMainThread(nimbara::transfer::OneCopyReport report);
    void showUnlockNotice();
    void endRunDeviceGone();
    void deviceDetached(int index) override;

    std::atomic<int> copyIndex_{0};
    std::unique_ptr<OneCopyUi> ui_;
    QPointer<QWidget> uiRoot_;
    nimbara::ObserverBag observers_;
    // Shared with the run: it reads each toggle when it reaches that step.
    std::shared_ptr<nimbara::transfer::OneCopyToggles> toggles_;

    State state_ = State::Idle;
    bool bBackup_ = false;
    bool bEncypted_ = false;
    std::optional<nimbara::transfer::OneCopyReport> report_;
    // How each row's step of the current or last run ended, as the rows were marked.
    std::array<std::optional<nimbara::transfer::OneCopyRowEnd>, nimbara::transfer::kOneCopyRowCount>
        rowEnds_;
    nimbara::transfer::OneCopyDevice jobDevice_;
    nimbara::JobRunner worker_;
    std::function<void()> jobEnded_;
};
