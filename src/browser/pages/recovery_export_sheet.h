// The recovery export as the user sees it: the save panel, the warning before exporting into a
// folder that is not empty, and the progress sheet over the main window, fed by a timer from the
// worker's counters, with a stop button; it ends with what happened (every item exported, or
// how many could not be and which, or how far a stopped export got).
//
// RecoveryExport is owned by the result page. It takes the export plan on the GUI thread when
// the export starts and owns the job; the GUI thread never waits for it: the sheet polls it, and
// an export still running when its owner goes is asked to stop and ends on its own.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "browser/recovery_export.h"

class PRProgressView;
class QLabel;
class QListWidget;
class QPushButton;

// The progress sheet (window-modal over the main window).
class PRRecoveryExportSheet : public QDialog {
    Q_OBJECT

  public:
    // How often the sheet reads the worker's counters.
    static constexpr int kRefreshIntervalMs = 250;

    explicit PRRecoveryExportSheet(QWidget* parent = nullptr);
    ~PRRecoveryExportSheet() override;

    // Follows `job` (started) until it ends, then shows its summary and calls `ended` with it.
    void watch(std::shared_ptr<nimbara::browser::RecoveryExportJob> job,
               std::function<void(const nimbara::browser::RecoveryExportSummary&)> ended = {});
    // The bar and the percentage for `done` of `total` steps.
    void showProgress(std::uint64_t done, std::uint64_t total);
    // The end: the summary in place of the progress.
    void showSummary(const nimbara::browser::RecoveryExportSummary& summary);
    // Reads the counters now (the timer's step).
    void refresh();
    bool isWatching() const { return job_ != nullptr; }

    // Outlets.
    QLabel* saveinfoTextlab = nullptr;
    PRProgressView* saveProgressor = nullptr;
    QLabel* savepercentlab = nullptr;
    QLabel* summaryDetaillab = nullptr;
    QListWidget* failureList = nullptr;
    QPushButton* stopBtn = nullptr;
    QPushButton* doneBtn = nullptr;

  public slots:
    // Escape or the window's close button: stops a running export instead of leaving it.
    void reject() override;

  private:
    void stop();

    QTimer timer_;
    std::shared_ptr<nimbara::browser::RecoveryExportJob> job_;
    std::function<void(const nimbara::browser::RecoveryExportSummary&)> ended_;
};

namespace nimbara::browser {

// The headline of an export's end: "12 items have been exported.", "2 items could not be
// exported", "The export was stopped: 3 of 12 items exported."
QString recoveryExportHeadline(const RecoveryExportSummary& summary);

class RecoveryExport : public QObject {
    Q_OBJECT

  public:
    explicit RecoveryExport(QObject* parent = nullptr);
    ~RecoveryExport() override;

    // The recover button's action. Takes the plan of what `selection` has ticked (GUI thread),
    // asks for the folder (nothing ticked: says so instead; a folder that is not empty: asks
    // first), makes it when new and starts the worker under the progress sheet over `window`.
    // False when nothing was started (nothing ticked, cancelled, the folder unusable, or an
    // export still running).
    bool startRecoveryExport(QWidget* window, const ExportSelection& selection);

    bool isRunning() const;
    // The sheet of the last export (null before the first).
    PRRecoveryExportSheet* sheet() const { return sheet_; }
    // The summary of the last export that ended.
    const std::optional<RecoveryExportSummary>& lastSummary() const { return lastSummary_; }

  private:
    void ended(const RecoveryExportSummary& summary);

    std::shared_ptr<RecoveryExportJob> job_;
    QPointer<PRRecoveryExportSheet> sheet_;
    std::optional<RecoveryExportSummary> lastSummary_;
};

}  // namespace nimbara::browser
