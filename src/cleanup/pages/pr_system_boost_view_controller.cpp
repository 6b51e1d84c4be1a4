#include "cleanup/pages/pr_system_boost_view_controller.h"

#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

#include <algorithm>
#include <utility>
#include <vector>

#include "cleanup/app_clean_scan_walk.h"
#include "cleanup/removal_texts.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "ui/alerts.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/save_panel.h"

using nimbara::cleanup::BoostItem;
using nimbara::cleanup::BoostKind;
using nimbara::cleanup::BoostProgress;
using nimbara::cleanup::CleanDeviceTarget;
using nimbara::cleanup::CleanItemOutcome;
using nimbara::cleanup::SystemBoostRemovalReport;
using nimbara::cleanup::SystemBoostScanResult;
using nimbara::shell::size_to_unit;

namespace {

constexpr const char* kNoDeviceText = "Connect a device to scan it.";
constexpr const char* kBusyText = "Please wait until the page's current job has finished.";
constexpr const char* kStoppedText = "The scan stopped before it finished: the device went away.";

constexpr BoostKind kKinds[] = {BoostKind::SystemLog, BoostKind::DownloadTemp,
                                BoostKind::UserStorage, BoostKind::SyncFailed,
                                BoostKind::SyncCache};

QString kindTitle(BoostKind kind) {
    switch (kind) {
        case BoostKind::SystemLog:
            return QStringLiteral("System Logs");
        case BoostKind::DownloadTemp:
            return QStringLiteral("Download Temp Files");
        case BoostKind::UserStorage:
            return QStringLiteral("User Storage Files");
        case BoostKind::SyncFailed:
            return QStringLiteral("Sync Failed Files");
        case BoostKind::SyncCache:
            break;
    }
    return QStringLiteral("Sync Cache Files");
}

QString refusalText(const SystemBoostScanResult& found) {
    QStringList lines;
    if (found.crashLogsRefused != 0) {
        lines << QStringLiteral("The device did not open its crash logs: %1")
                     .arg(QString::fromStdString(amd::DeviceCodeText(found.crashLogsRefused)));
    }
    if (found.filesRefused != 0) {
        lines << QStringLiteral("The device did not open its files: %1")
                     .arg(QString::fromStdString(amd::DeviceCodeText(found.filesRefused)));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

PRSystemBoostViewController::PRSystemBoostViewController(nimbara::ui::PageHost& host,
                                                         QObject* parent)
    : PageControllerBase(host, "PRSystemBoostViewController", QStringLiteral("System Boost"),
                         parent) {
    using M = PRSystemBoostController;
    list_ = new M(
        {
            M::Column{"Name",
                      [](const PRPhoneSystemFileNode& n) { return QVariant(n.fileName()); }},
            M::Column{"Size",
                      [](const PRPhoneSystemFileNode& n) {
                          return QVariant(size_to_unit(n.fileSizeNumber()));
                      }},
            M::Column{"Path",
                      [](const PRPhoneSystemFileNode& n) { return QVariant(n.filePath()); }},
        },
        this);
    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyScanbuttonMouseDown",
        [this](const nimbara::Notification& n) { MyScanbuttonMouseDownHandle(n); }));
    // A departed device takes its results with it, whatever the delegate does next.
    watchDeviceDetach();
}

PRSystemBoostViewController::~PRSystemBoostViewController() {
    observers_.clear();
    worker_.stop();
    delete uiRoot_.data();
    ui_.reset();
}

// ------------------------------------------------------------------ widgets

SystemBoostUi& PRSystemBoostViewController::boostUi() {
    ensureBuilt();
    return *ui_;
}

void PRSystemBoostViewController::viewShown() {
    ensureBuilt();
}

void PRSystemBoostViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    // First use, or the container took the views with it when it went.
    ui_ = std::make_unique<SystemBoostUi>(buildSystemBoostView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    wireControls();
    showSizes();
    if (state_ == State::Ready) {
        for (CleanCategoryRowUi& row : ui_->kinds) {
            row.sizelab->hide();
            row.pathlab->setText(QString());
            row.progress->setProgressValue(0.0f);
        }
    }
    ui_->theFalshView->hide();
    setScanButton("scanNom.png", true);
    showMainView();
}

void PRSystemBoostViewController::wireControls() {
    SystemBoostUi& ui = *ui_;
    ui.systemBoostTableview->setModel(list_);
    ui.systemBoostTableview->setColumnWidth(0, 220);
    ui.systemBoostTableview->setColumnWidth(1, 100);
    using Action = void (PRSystemBoostViewController::*)(QObject*);
    const Action kindActions[] = {
        &PRSystemBoostViewController::ClickSystemLogAction,
        &PRSystemBoostViewController::ClickDownloadAction,
        &PRSystemBoostViewController::ClickUsesStorageAction,
        &PRSystemBoostViewController::ClickiTunesSyncfailedAction,
        &PRSystemBoostViewController::ClickiTunesCacheAction,
    };
    const auto click = [this](QPushButton* button, Action action) {
        connect(button, &QPushButton::clicked, this,
                [this, button, action] { (this->*action)(button); });
    };
    for (std::size_t i = 0; i < ui.kinds.size(); ++i) {
        click(ui.kinds[i].button, kindActions[i]);
    }
    click(ui.backButton, &PRSystemBoostViewController::BackAction);
    click(ui.removeButton, &PRSystemBoostViewController::RemoveOneFileAction);
    click(ui.exportButton, &PRSystemBoostViewController::ExportOneFileAction);
    // The sheet stays while the removal runs: closing it would hide work still going on.
    connect(ui.removeWindow, &QDialog::rejected, this, [this] {
        if (state_ == State::Removing && ui_) {
            ui_->removeWindow->open();
        }
    });
}

void PRSystemBoostViewController::showMainView() {
    if (!ui_) {
        return;
    }
    ui_->ResultView->hide();
    ui_->mainView->show();
}

void PRSystemBoostViewController::showResultView() {
    if (!ui_) {
        return;
    }
    // What the list said was about the list shown then only.
    cleanview::setStatusLine(ui_->resultStatuslab, QString(), false);
    ui_->mainView->hide();
    ui_->ResultView->show();
}

QLabel* PRSystemBoostViewController::shownStatusLine() const {
    return ui_->ResultView->isHidden() ? ui_->statuslab : ui_->resultStatuslab;
}

void PRSystemBoostViewController::setStatus(const QString& text, bool problem) {
    if (ui_) {
        cleanview::setStatusLine(shownStatusLine(), text, problem);
    }
}

QString PRSystemBoostViewController::statusText() const {
    return ui_ && !shownStatusLine()->isHidden() ? shownStatusLine()->text() : QString();
}

void PRSystemBoostViewController::setScanButton(const char* image, bool enabled) {
    ui_->scanButton->setImage(QString::fromLatin1(image));
    ui_->scanButton->setEnabled(enabled);
}

// The size label and button of every kind from the current result.
void PRSystemBoostViewController::showSizes() {
    for (const BoostKind kind : kKinds) {
        CleanCategoryRowUi& row = ui_->kinds[nimbara::cleanup::boostSlot(kind)];
        const std::uint64_t bytes = result_ ? result_->kind(kind).bytes : 0;
        // A kind whose files are all empty has nothing to free: its button stays disabled.
        row.button->setEnabled(result_ && bytes != 0 && state_ != State::Removing);
        if (!result_) {
            row.sizelab->setText(QString());
        } else {
            row.sizelab->setText(bytes == 0 && state_ == State::Done ? QStringLiteral("0 KB")
                                                                     : size_to_unit(bytes));
        }
    }
    if (ui_ && shownKind_ && result_) {
        const auto& list = result_->kind(*shownKind_);
        ui_->resultTitlelab->setText(QStringLiteral("%1: %2 file(s), %3")
                                         .arg(kindTitle(*shownKind_))
                                         .arg(list.files.size())
                                         .arg(size_to_unit(list.bytes)));
    }
}

// ------------------------------------------------------------------ life cycle

void PRSystemBoostViewController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}

void PRSystemBoostViewController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        setDeviceIndex(target.deviceIndex);
    }
    initAllDataAndAllView();
}

void PRSystemBoostViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    resetPage();
}

void PRSystemBoostViewController::resetPage() {
    // Whatever a job of the old device still sends is dropped: it is no longer the page's.
    ++generation_;
    worker_.stop();
    state_ = State::Ready;
    result_.reset();
    shownKind_.reset();
    list_->clear();
    if (!ui_ || !uiRoot_) {
        return;
    }
    ui_->removeWindow->hide();
    BackAction();
    ui_->theFalshView->stopFlash();
    ui_->theFalshView->hide();
    setScanButton("scanNom.png", true);
    for (CleanCategoryRowUi& row : ui_->kinds) {
        row.sizelab->setText(QString());
        row.sizelab->hide();
        row.pathlab->setText(QString());
        row.pathlab->show();
        row.progress->setProgressValue(0.0f);
        row.button->setEnabled(false);
    }
    setStatus(QString());
}

CleanDeviceTarget PRSystemBoostViewController::currentTarget() const {
    const int index = deviceIndex();
    return {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
}

bool PRSystemBoostViewController::refuseWhileBusy() {
    if (worker_.busy()) {
        setStatus(QString::fromLatin1(kBusyText));
        return true;
    }
    return false;
}

bool PRSystemBoostViewController::dropIfDeviceGone() {
    if (!result_ && !worker_.busy()) {
        return false;
    }
    const CleanDeviceTarget target = worker_.busy() ? jobTarget_ : result_->target;
    if (target.stillAttached()) {
        return false;
    }
    resetPage();
    setStatus(QStringLiteral("The device went away: what was found on it is no longer shown."));
    return true;
}

void PRSystemBoostViewController::deviceDetached(int index) {
    const bool ours = worker_.busy() ? jobTarget_.deviceIndex == index
                                     : result_ && result_->target.deviceIndex == index;
    if (ours) {
        dropIfDeviceGone();
    }
}

void PRSystemBoostViewController::jobDone() {
    worker_.finish();
    if (jobEnded_) {
        jobEnded_();
    }
}

// ------------------------------------------------------------------ scan

void PRSystemBoostViewController::MyScanbuttonMouseDownHandle(
    const nimbara::Notification& notification) {
    if (!ui_ || !uiRoot_ || notification.objectAs<QObject*>(nullptr) != ui_->scanButton ||
        bStartScan()) {
        return;
    }
    if (state_ == State::Scanned) {
        RemoveAllFilesAction(ui_->scanButton);
        return;
    }
    if (state_ != State::Ready || refuseWhileBusy()) {
        return;  // removing, or done until the next reset
    }
    if (currentTarget().deviceSerial == 0) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return;
    }
    setStatus(QString());
    state_ = State::Scanning;
    for (CleanCategoryRowUi& row : ui_->kinds) {
        row.progress->setProgressValue(0.02f);
        row.pathlab->setText(QString());
        row.pathlab->show();
        row.sizelab->hide();
        row.button->setEnabled(false);
    }
    setScanButton("scanDown.png", true);
    ui_->theFalshView->show();
    ui_->theFalshView->startFlash();
    StartSystemCleanupAction();
}

void PRSystemBoostViewController::StartSystemCleanupAction() {
    const CleanDeviceTarget target = currentTarget();
    jobTarget_ = target;
    worker_.start([this, target](const nimbara::JobRunner::StopCheck& stop,
                                 const nimbara::JobRunner::Post& post) {
        nimbara::cleanup::SystemBoostScanEngine engine(target, stop);
        engine.onProgress = [this, post](float f) { post([this, f] { scanProgress(f); }); };
        engine.onPathSeen = [this, post](BoostKind kind, const QString& path) {
            post([this, kind, path] { scanPathSeen(kind, path); });
        };
        auto found = std::make_shared<SystemBoostScanResult>(engine.run());
        post([this, found] { FinishScanSystemThreadOnMainThread(std::move(*found)); });
    });
}

void PRSystemBoostViewController::scanProgress(float fraction) {
    for (CleanCategoryRowUi& row : ui_->kinds) {
        row.progress->setProgressValue(fraction);
    }
}

void PRSystemBoostViewController::scanPathSeen(BoostKind kind, const QString& path) {
    ui_->kinds[nimbara::cleanup::boostSlot(kind)].pathlab->setText(
        nimbara::cleanup::cleanPathLabelText(path));
}

void PRSystemBoostViewController::FinishScanSystemThreadOnMainThread(SystemBoostScanResult found) {
    ui_->theFalshView->stopFlash();
    ui_->theFalshView->hide();
    if (found.stopped) {
        // Another device, or none: nothing found on the way is kept.
        resetPage();
        setStatus(QString::fromLatin1(kStoppedText));
        if (jobEnded_) {
            jobEnded_();
        }
        return;
    }
    state_ = State::Scanned;
    result_ = std::move(found);
    for (CleanCategoryRowUi& row : ui_->kinds) {
        row.pathlab->hide();
        row.sizelab->show();
        row.progress->setProgressValue(1.0f);
    }
    showSizes();
    setScanButton("RemoveBtnNom.png", true);
    setStatus(refusalText(*result_));
    jobDone();
}

// ------------------------------------------------------------------ lists

void PRSystemBoostViewController::showKind(BoostKind kind) {
    if (!ui_ || !result_ || state_ == State::Scanning || state_ == State::Removing ||
        dropIfDeviceGone()) {
        return;
    }
    shownKind_ = kind;
    list_->setContent(result_->kind(kind).files);
    ui_->systemBoostTableview->clearSelection();
    showSizes();
    showResultView();
}

void PRSystemBoostViewController::ClickSystemLogAction(QObject*) {
    showKind(BoostKind::SystemLog);
}
void PRSystemBoostViewController::ClickDownloadAction(QObject*) {
    showKind(BoostKind::DownloadTemp);
}
void PRSystemBoostViewController::ClickUsesStorageAction(QObject*) {
    showKind(BoostKind::UserStorage);
}
void PRSystemBoostViewController::ClickiTunesSyncfailedAction(QObject*) {
    showKind(BoostKind::SyncFailed);
}
void PRSystemBoostViewController::ClickiTunesCacheAction(QObject*) {
    showKind(BoostKind::SyncCache);
}

void PRSystemBoostViewController::BackAction(QObject*) {
    shownKind_.reset();
    showMainView();
}

std::shared_ptr<PRPhoneSystemFileNode> PRSystemBoostViewController::selectedRecord(int* row) const {
    if (!ui_ || !shownKind_ || !result_) {
        return nullptr;
    }
    const QModelIndexList rows = ui_->systemBoostTableview->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return nullptr;
    }
    *row = rows.front().row();
    return list_->rowAt(*row);
}

// ------------------------------------------------------------------ single file

void PRSystemBoostViewController::RemoveOneFileAction(QObject*) {
    int row = -1;
    const std::shared_ptr<PRPhoneSystemFileNode> record = selectedRecord(&row);
    if (!record || refuseWhileBusy() || dropIfDeviceGone()) {
        return;
    }
    // A change of the device asks first, like every other removal of the page; a file the
    // device itself needs is not asked about, the page says why it stays.
    const nimbara::cleanup::BoostRemovalPrompt prompt =
        nimbara::cleanup::boostRemovalPrompt({{*shownKind_, record}});
    if (!prompt.asks()) {
        setStatus(prompt.details, false);
        return;
    }
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        view(), {QStringLiteral("Are you sure you want to remove \"%1\" from your iDevice?")
                     .arg(record->fileName()),
                 prompt.details, QStringLiteral("Remove"), QStringLiteral("Cancel"), QString()});
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ || !result_ ||
        !shownKind_ || worker_.busy() || selectedRecord(&row) != record) {
        return;
    }
    const BoostKind kind = *shownKind_;
    const CleanDeviceTarget target = result_->target;
    jobTarget_ = target;
    worker_.start(
        [this, target, plan = prompt.plan, record, kind, row](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            auto report = std::make_shared<SystemBoostRemovalReport>(
                nimbara::cleanup::SystemBoostRemovalEngine(target, plan, {}, stop).run());
            post([this, record, kind, row, report] {
                oneFileRemoved(record, kind, row, std::move(*report));
            });
        });
}

void PRSystemBoostViewController::oneFileRemoved(std::shared_ptr<PRPhoneSystemFileNode> record,
                                                 BoostKind kind, int row,
                                                 SystemBoostRemovalReport report) {
    const CleanItemOutcome outcome =
        report.outcomes.empty() ? CleanItemOutcome::NotTried : report.outcomes.front();
    if (outcome == CleanItemOutcome::Removed || outcome == CleanItemOutcome::Gone) {
        // Off the kind's list and totals: it is not shown again nor removed twice.
        result_->drop(kind, record.get());
        if (shownKind_ == kind) {
            const auto& rows = list_->content();
            const auto at = std::find(rows.begin(), rows.end(), record);
            if (at != rows.end()) {
                row = static_cast<int>(at - rows.begin());
                list_->removeRowAt(row);
            }
            // Nothing is chosen afterwards: a second Remove never takes a row nobody chose.
            ui_->systemBoostTableview->clearSelection();
            ui_->systemBoostTableview->setCurrentIndex(QModelIndex());
        }
        showSizes();
        setStatus(outcome == CleanItemOutcome::Gone
                      ? QStringLiteral("The file was no longer on the device.")
                      : QString());
    } else {
        setStatus(!report.message.isEmpty() ? report.message
                  : report.failures.empty() ? QStringLiteral("The file could not be removed.")
                                            : report.failures.front().reason);
    }
    jobDone();
}

void PRSystemBoostViewController::ExportOneFileAction(QObject*) {
    int row = -1;
    const std::shared_ptr<PRPhoneSystemFileNode> record = selectedRecord(&row);
    if (!record || refuseWhileBusy() || dropIfDeviceGone()) {
        return;
    }
    const QString folder = host().exportFolder();
    if (folder.isEmpty()) {
        setStatus(QStringLiteral("No export folder is set: nothing was exported."));
        return;
    }
    const CleanDeviceTarget target = result_->target;
    jobTarget_ = target;
    const BoostItem item = nimbara::cleanup::boostItemOf(*shownKind_, *record);
    worker_.start([this, target, item, folder](const nimbara::JobRunner::StopCheck& stop,
                                               const nimbara::JobRunner::Post& post) {
        auto report = std::make_shared<nimbara::cleanup::BoostExportReport>(
            nimbara::cleanup::exportBoostFile(target, item, folder.toStdString(), stop));
        post([this, report, folder] {
            // What was written and where, once (or what went wrong).
            setStatus(report->message, !report->exported);
            if (report->exported) {
                nimbara::ui::FileViewer::reveal(folder);
            }
            jobDone();
        });
    });
}

// ------------------------------------------------------------------ remove all

QString PRSystemBoostViewController::removeAllMessage(std::uint64_t files, std::uint64_t bytes) {
    const QString text = nimbara::cleanup::boostRemoveAllText(files, bytes);
    // The first occurrence of the count's text and of the size's text, in red.
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    for (const QString& part : {QString::number(files), size_to_unit(bytes)}) {
        const qsizetype at = text.indexOf(part);
        if (at >= 0) {
            spans.emplace_back(at, part.size());
        }
    }
    std::sort(spans.begin(), spans.end());
    QString html;
    qsizetype at = 0;
    for (const auto& [start, length] : spans) {
        if (start < at) {
            continue;  // overlaps the span before it
        }
        html += text.mid(at, start - at).toHtmlEscaped();
        html += QStringLiteral("<span style=\"color: rgb(248, 54, 52);\">") +
                text.mid(start, length).toHtmlEscaped() + QStringLiteral("</span>");
        at = start + length;
    }
    html += text.mid(at).toHtmlEscaped();
    return html;
}

void PRSystemBoostViewController::RemoveAllFilesAction(QObject*) {
    if (!ui_ || !result_ || state_ != State::Scanned || refuseWhileBusy() || dropIfDeviceGone()) {
        return;
    }
    // Only what will be removed is counted: the files the device itself needs stay listed.
    nimbara::cleanup::BoostRemovalPrompt prompt =
        nimbara::cleanup::boostRemovalPrompt(nimbara::cleanup::boostEveryFile(*result_));
    std::vector<BoostItem> plan = std::move(prompt.plan);
    const std::uint64_t files = plan.size();
    std::uint64_t bytes = 0;
    for (const BoostItem& item : plan) {
        bytes = nimbara::ui::addSaturating(bytes, item.size);
    }
    if (plan.empty()) {
        state_ = State::Done;
        showSizes();
        setScanButton("doneNom.png", false);
        setStatus(prompt.details, false);
        return;
    }
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        view(), {nimbara::cleanup::boostRemoveAllText(files, bytes), prompt.details,
                 QStringLiteral("Remove"), QStringLiteral("Cancel"), QString()});
    // A reset while the question was open (another device) cancels what was asked about.
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ ||
        state_ != State::Scanned || !result_ || worker_.busy()) {
        return;
    }
    BackAction();
    state_ = State::Removing;
    showSizes();
    ui_->removeNumberInfolab->setText(QString());
    ui_->removeFileInfolab->setText(removeAllMessage(files, bytes));
    ui_->removeProgress->setValue(0);
    setScanButton("RemoveBtnDown.png", true);
    setStatus(QString());
    const CleanDeviceTarget target = result_->target;
    jobTarget_ = target;
    worker_.start([this, target, plan = std::move(plan), bytes](
                      const nimbara::JobRunner::StopCheck& stop,
                      const nimbara::JobRunner::Post& post) {
        nimbara::cleanup::SystemBoostRemovalEngine engine(
            target, plan,
            [this, post, bytes](const BoostProgress& p) {
                post([this, p, bytes] { sendRemoveProgressInfoOnMainThread(p, bytes); });
            },
            stop);
        auto report = std::make_shared<SystemBoostRemovalReport>(engine.run());
        post([this, plan, report] { removeAllFilesFinishOnMainThread(plan, std::move(*report)); });
    });
    ui_->removeWindow->open();
}

void PRSystemBoostViewController::sendRemoveProgressInfoOnMainThread(const BoostProgress& progress,
                                                                     std::uint64_t bytes) {
    ui_->removeProgress->setValue(progress.percent);
    // Files removed so far of the files found, and the size of everything found.
    ui_->removeNumberInfolab->setText(
        nimbara::cleanup::removeProgressText(progress.removed, progress.total, bytes));
}

void PRSystemBoostViewController::removeAllFilesFinishOnMainThread(
    std::vector<BoostItem> plan, SystemBoostRemovalReport report) {
    ui_->removeWindow->hide();
    nimbara::cleanup::settleBoostResult(*result_, plan, report);
    state_ = State::Done;
    showSizes();
    setScanButton("doneNom.png", false);
    // What the device removed and freed, and the files it needs that stayed.
    const QString kept =
        nimbara::cleanup::keptFilesText(nimbara::cleanup::boostKeptNames(*result_));
    setStatus(kept.isEmpty() ? report.message : report.message + QLatin1Char(' ') + kept,
              report.status != nimbara::cleanup::CleanRunStatus::Done);
    jobDone();
}
