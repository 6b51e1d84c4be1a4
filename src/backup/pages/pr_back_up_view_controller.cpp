#include "backup/pages/pr_back_up_view_controller.h"

#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include "backup/backup_location.h"
#include "backup/backup_root.h"
#include "backup/pages/backup_view_ui.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "device/pri_device_node.h"
#include "platform/speech.h"
#include "platform/worker_reaper.h"
#include "ui/alerts.h"
#include "ui/flash_view.h"
#include "ui/view_helpers.h"

using nimbara::backup::BackupRunResult;

namespace {

// Failures are told in the colour the application gives what went wrong.
const QColor kFailureColour{217, 81, 30};

}  // namespace

PRBackUpViewController::PRBackUpViewController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRBackUpViewController", QStringLiteral("Backup"), parent),
      reaper_(new nimbara::WorkerReaper(this)) {}

PRBackUpViewController::~PRBackUpViewController() {
    // A run still going is stopped, never waited for here; the reaper (a child of this page)
    // waits for its thread as it goes, which is at exit.
    retireRun();
}

QString PRBackUpViewController::localBackupFolder() {
    return nimbara::backup::localBackupRoot();
}

void PRBackUpViewController::buildPage() {
    if (ui_) {
        return;
    }
    ui_ = std::make_unique<BackupViewUi>(buildBackupView());
    showPageView(ui_->view);
    connect(ui_->backupBtn, &QPushButton::clicked, this, [this] { BackupAction(ui_->backupBtn); });
    connect(ui_->defaultLocationBtn, &QRadioButton::clicked, this,
            [this] { defaultBackupLocation(ui_->defaultLocationBtn); });
    connect(ui_->otherLocationBtn, &QRadioButton::clicked, this,
            [this] { ChangeBackupLocation(ui_->otherLocationBtn); });
    connect(ui_->broswerBackupBtn, &QPushButton::clicked, this,
            [this] { BroswerBackupAction(ui_->broswerBackupBtn); });
}

void PRBackUpViewController::viewShown() {
    buildPage();
    ui_->mainShowView->hide();
    ui_->backupLocationlab->setText(localBackupFolder());
    ui_->backupLocationlab->setEnabled(false);
    ui_->defaultLocationBtn->setChecked(true);
    // A running backup stays on show: the page is never ready for another one meanwhile.
    if (!isRunning()) {
        showState(State::Ready);
    }
}

void PRBackUpViewController::showState(State state) {
    state_ = state;
    ui_->startBackupView->setVisible(state == State::Ready);
    ui_->BackupingView->setVisible(state == State::BackingUp);
    ui_->finishBackupView->setVisible(state == State::Finished);
    if (state == State::BackingUp) {
        ui_->backupProgresser->startFlash();
    } else {
        ui_->backupProgresser->stopFlash();
    }
}

void PRBackUpViewController::ShowbackupView() {
    record(QStringLiteral("ShowbackupView()"));
    buildPage();
    ui_->mainShowView->show();
}

bool PRBackUpViewController::isMainViewShown() const {
    return ui_ && !ui_->mainShowView->isHidden();
}

void PRBackUpViewController::defaultBackupLocation(QObject* /*sender*/) {
    if (ui_) {
        ui_->backupLocationlab->setEnabled(false);
    }
}

void PRBackUpViewController::ChangeBackupLocation(QObject* /*sender*/) {
    if (ui_) {
        ui_->backupLocationlab->setEnabled(true);
    }
}

QString PRBackUpViewController::backupLocationText() const {
    return ui_ ? ui_->backupLocationlab->text() : QString();
}

nimbara::backup::BackupDevice PRBackUpViewController::deviceOnShow() const {
    if (const std::shared_ptr<PRiDeviceNode> node = host().currentDeviceNode()) {
        return nimbara::backup::backupDeviceFor(node->deviceIndex(), node->udidNumber(),
                                                node->deviceName());
    }
    return {};
}

void PRBackUpViewController::BackupAction(QObject* /*sender*/) {
    record(QStringLiteral("BackupAction()"));
    if (isRunning() || isCheckingLocation()) {
        return;
    }
    buildPage();
    const nimbara::backup::BackupDevice device = deviceOnShow();
    if (!ui_->otherLocationBtn->isChecked()) {
        startBackup(device, {});
        return;
    }
    // The folder may sit on a slow or hung mount: it is looked at on the job's thread, and the
    // button waits for the answer.
    ui_->backupBtn->setEnabled(false);
    ui_->locationChecklab->show();
    const QString text = ui_->backupLocationlab->text();
    locationJob_.start(
        [this, check = locationCheck_, text, device](const nimbara::JobRunner::StopCheck& /*stop*/,
                                                     const nimbara::JobRunner::Post& post) {
            post([this, device, location = check(text, device.udid)] {
                locationChecked(device, location);
            });
        });
}

void PRBackUpViewController::locationChecked(const nimbara::backup::BackupDevice& device,
                                             const nimbara::backup::BackupLocationCheck& location) {
    locationJob_.finish();
    ui_->backupBtn->setEnabled(true);
    ui_->locationChecklab->hide();
    const nimbara::backup::BackupDevice now = deviceOnShow();
    if (now.deviceIndex != device.deviceIndex || now.deviceSerial != device.deviceSerial) {
        return;  // another device is on show (or none any more): the press was not for it
    }
    if (!location.ok()) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("The backup can't go to this folder.");
        question.informativeText = location.refusal;
        question.defaultButton = QStringLiteral(" OK ");
        nimbara::Alerts::ask(ui_->view->window(), question);
        return;
    }
    nimbara::backup::BackupRunSettings settings;
    settings.backupRoot = location.folder;
    startBackup(device, settings);
}

void PRBackUpViewController::startBackup(const nimbara::backup::BackupDevice& device,
                                         const nimbara::backup::BackupRunSettings& settings) {
    ui_->mainShowView->show();
    ui_->backingUplab->setText(device.deviceName.isEmpty()
                                   ? QStringLiteral("Backing up...")
                                   : QStringLiteral("Backing up \"%1\"...").arg(device.deviceName));
    ui_->backupStatuslab->hide();
    ui_->backupProgressBar->hide();
    showState(State::BackingUp);

    nimbara::backup::BackupRunHooks hooks;
    QPointer<PRBackUpViewController> page(this);
    hooks.toolLine = [page](const nimbara::backup::ToolLine& line) {
        if (page && page->ui_) {
            page->showToolLine(line);
        }
    };
    hooks.report = [page](const BackupRunResult& result) {
        if (page) {
            page->FinisdBackupDeviceThread(result);
        }
    };
    run_ = nimbara::backup::DeviceBackupRun::start(nimbara::backup::BackupVariant::BackupPage,
                                                   device, std::move(hooks), settings);
}

void PRBackUpViewController::showToolLine(const nimbara::backup::ToolLine& line) {
    if (line.kind == nimbara::backup::ToolLine::Kind::Status) {
        ui_->backupStatuslab->setText(QString::fromStdString(line.text));
        ui_->backupStatuslab->setVisible(!line.text.empty());
        return;
    }
    if (line.kind != nimbara::backup::ToolLine::Kind::Progress) {
        return;  // a backup's lines say nothing else
    }
    ui_->backupProgressBar->setValue(static_cast<int>(line.progress * 10));
    ui_->backupProgressBar->show();
}

void PRBackUpViewController::FinisdBackupDeviceThread(const BackupRunResult& result) {
    buildPage();
    lastResult_ = result;
    ui_->backupfinishlab->setText(nimbara::backup::backupHeadline(result));
    const QString detail = nimbara::backup::backupDetail(result);
    ui_->backupDetaillab->setText(detail);
    ui_->backupDetaillab->setVisible(!detail.isEmpty());
    nimbara::ui::setLabelColour(ui_->backupDetaillab,
                                result.ok() ? nimbara::ui::kLabelSlate : kFailureColour);
    nimbara::ui::setImageViewImage(ui_->finishImageView, result.ok()
                                                             ? QStringLiteral("cleaniphone7")
                                                             : QStringLiteral("iphoneImage"));
    showState(State::Finished);
    // The run ends right after this report; its thread is let go without waiting for it.
    retireRun();
    nimbara::speak(nimbara::backup::backupSpokenNotice(result));
}

void PRBackUpViewController::BroswerBackupAction(QObject* /*sender*/) {
    if (lastResult_ && lastResult_->ok() && host().localBackups() != nullptr) {
        // A backup made outside the backup root is listed only when asked for.
        const QString folder = lastResult_->backupFolder;
        if (QFileInfo(folder).dir().absolutePath() != QDir(localBackupFolder()).absolutePath()) {
            host().localBackups()->includeBackupFolder(folder);
        }
    }
    host().navigateTo(nimbara::ui::PageHost::Destination::ScanBackups);
}

void PRBackUpViewController::retireRun() {
    if (!run_) {
        return;
    }
    std::shared_ptr<nimbara::backup::DeviceBackupRun> run = std::move(run_);
    run->stop();
    if (reaper_) {
        reaper_->retire(run, [run] { return run->ended(); });
    }
}
