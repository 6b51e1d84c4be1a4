#include "app/archived_app_install_flow.h"

#include <QFileInfo>
#include <QProgressDialog>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/job_runner.h"
#include "platform/log_categories.h"
#include "transfer/archived_app_install.h"
#include "ui/alerts.h"

namespace nimbara::app {

namespace {

// How often a running install looks at which device is current.

}  // namespace

// One run: its device and file, where it stands (GUI thread), and the user's answer, which the
// worker waits for.
struct ArchivedAppInstallFlow::Run {
    ArchiveInstallDevice device;
    QString file;
    QString appName;
    bool asking = false;
    bool installing = false;

    void give(bool yes) {
        {
            std::lock_guard lock(mutex);
            answer = yes;
        }
        answered.notify_all();
    }
    // Worker: the answer, or false once the run is stopped.
    bool await(const nimbara::JobRunner::StopCheck& stop) {
        std::unique_lock lock(mutex);
        while (!answer) {
            if (stop()) {
                return false;
            }
            answered.wait_for(lock, std::chrono::milliseconds(20));
        }
        return *answer;
    }

  private:
    std::mutex mutex;
    std::condition_variable answered;
    std::optional<bool> answer;
};

ArchivedAppInstallFlow::ArchivedAppInstallFlow(QWidget* window, CurrentDevice currentDevice,
                                               QObject* parent)
    : QObject(parent),
      window_(window),
      currentDevice_(std::move(currentDevice)),
      worker_(std::make_unique<nimbara::JobRunner>()) {}

ArchivedAppInstallFlow::~ArchivedAppInstallFlow() {
    if (run_) {
        run_->give(false);
    }
    worker_.reset();  // stops the run; its thread ends on its own
    delete progress_.data();
}

QProgressDialog* ArchivedAppInstallFlow::progress() const {
    return progress_.data();
}

std::size_t ArchivedAppInstallFlow::ending() const {
    return worker_->ending();
}

bool ArchivedAppInstallFlow::isCurrentDevice(const amd::DeviceTarget& target) const {
    const std::optional<ArchiveInstallDevice> current = currentDevice_();
    return current && current->target == target && target.stillAttached();
}

bool ArchivedAppInstallFlow::start(const QString& zipFile) {
    if (run_ || worker_->busy()) {
        return false;
    }
    const std::optional<ArchiveInstallDevice> device = currentDevice_();
    if (!device) {
        return false;
    }
    auto run = std::make_shared<Run>();
    run->device = *device;
    run->file = zipFile;
    const bool started = worker_->start([this, run](const nimbara::JobRunner::StopCheck& stop,
                                                    const nimbara::JobRunner::Post& post) {
        using Outcome = transfer::ArchiveCheckResult::Outcome;
        transfer::ArchiveCheckResult check =
            transfer::checkAppArchive(run->file, run->device.target, stop);
        if (check.outcome != Outcome::Ready) {
            const QString button = check.outcome == Outcome::NotAnArchive ? QStringLiteral(" OK ")
                                                                          : QStringLiteral("OK");
            post([this, message = check.message, button] { conclude(message, button); });
            return;
        }
        // The unpacked archive stays on this thread, and its scratch folder goes here.
        std::shared_ptr<transfer::CheckedAppArchive> archive = std::move(check.archive);
        const transfer::ArchiveInstallQuestion question =
            transfer::archiveInstallQuestion(*archive, run->device.name);
        post([this, run, question, name = archive->appName] {
            run->appName = name;
            ask(run, question.message, question.informativeText);
        });
        if (!run->await(stop)) {
            return;
        }
        const transfer::ArchiveInstallResult result =
            transfer::installCheckedArchive(*archive, run->device.target, stop);
        archive.reset();
        post([this, message = result.message] { conclude(message, QStringLiteral("OK")); });
    });
    if (!started) {
        return false;
    }
    run_ = run;
    showProgress(QStringLiteral("Checking %1...").arg(QFileInfo(zipFile).fileName()), true);
    return true;
}

void ArchivedAppInstallFlow::showProgress(const QString& text, bool stoppable) {
    if (!progress_) {
        progress_ = new QProgressDialog(window_);
        progress_->setObjectName(QStringLiteral("archiveInstallProgress"));
        progress_->setWindowTitle(QStringLiteral("Open archived app"));
        progress_->setWindowModality(Qt::WindowModal);
        progress_->setRange(0, 0);  // busy: the steps don't say how far they are
        progress_->setMinimumDuration(0);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setMinimumWidth(380);
        connect(progress_, &QProgressDialog::canceled, this, [this] {
            // Stopping is offered only before anything was sent to the device.
            if (run_ && !run_->installing && !run_->asking) {
                endRun(true);
            }
        });
    }
    progress_->setLabelText(text);
    progress_->setCancelButtonText(stoppable ? QStringLiteral("Cancel") : QString());
    progress_->show();
}

void ArchivedAppInstallFlow::ask(const std::shared_ptr<Run>& run, const QString& message,
                                 const QString& detail) {
    if (run_ != run) {
        return;
    }
    if (!isCurrentDevice(run->device.target)) {
        checkDevice();
        return;
    }
    if (progress_) {
        progress_->hide();
    }
    run->asking = true;
    Alerts::Question question;
    question.message = message;
    question.informativeText = detail;
    question.defaultButton = QStringLiteral("Install");
    question.alternateButton = QStringLiteral("Cancel");
    const Alerts::Answer answer = Alerts::ask(window_, question);
    if (run_ != run) {
        return;  // ended while the question was up
    }
    run->asking = false;
    if (answer != Alerts::Answer::Default) {
        run->give(false);
        endRun(false);
        return;
    }
    // The install goes to the device the question named, and to no other.
    if (!isCurrentDevice(run->device.target)) {
        checkDevice();
        return;
    }
    run->installing = true;
    showProgress(QStringLiteral("Installing %1 on %2...").arg(run->appName, run->device.name),
                 false);
    run->give(true);
}

void ArchivedAppInstallFlow::checkDevice() {
    if (!run_ || run_->asking || isCurrentDevice(run_->device.target)) {
        return;
    }
    const std::shared_ptr<Run> run = run_;
    const QString& device = run->device.name;
    const QString app = run->appName.isEmpty() ? QFileInfo(run->file).fileName() : run->appName;
    const bool attached = run->device.target.stillAttached();
    QString message;
    if (!run->installing) {
        message = attached ? QStringLiteral(
                                 "Another device was chosen, so nothing was installed "
                                 "on %1.")
                                 .arg(device)
                           : QStringLiteral("%1 was disconnected, so nothing was installed on it.")
                                 .arg(device);
    } else {
        message = attached ? QStringLiteral(
                                 "Another device was chosen while %1 was being "
                                 "installed on %2, so the install was stopped. Had it "
                                 "already reached the device, it may still complete "
                                 "there.")
                                 .arg(app, device)
                           : QStringLiteral(
                                 "%2 was disconnected while %1 was being installed on "
                                 "it; it may not have been installed.")
                                 .arg(app, device);
    }
    run->give(false);
    endRun(true);
    qCInfo(lcApp).noquote() << "archived app install:" << message;
    lastOutcome_ = message;
    Alerts::Question question;
    question.message = message;
    question.defaultButton = QStringLiteral("OK");
    Alerts::ask(window_, question);
}

void ArchivedAppInstallFlow::endRun(bool stopWorker) {
    if (progress_) {
        progress_->disconnect(this);
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
    if (stopWorker) {
        worker_->stop();
    } else {
        worker_->finish();
    }
    run_.reset();
}

void ArchivedAppInstallFlow::conclude(const QString& message, const QString& button) {
    endRun(false);
    qCInfo(lcApp).noquote() << "archived app install:" << message;
    lastOutcome_ = message;
    Alerts::Question question;
    question.message = message;
    question.defaultButton = button;
    Alerts::ask(window_, question);
}

}  // namespace nimbara::app
