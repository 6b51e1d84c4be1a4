// The privacy page's scan and clean: the start view with the scan button, the progress sheet
// while the flow works, the failure sheet, and the questions around the clean.
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

#include <algorithm>

#include "backup/pages/backup_replace_dialog.h"
#include "backup/pages/unlock_notice.h"
#include "device/pri_device_node.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "privacy/privacy_clean_flow.h"
#include "privacy/privacy_clean_selection.h"
#include "ui/alerts.h"
#include "ui/fonts.h"

namespace np = nimbara::privacy;

namespace {

QLabel* sheetLabel(const char* name, QWidget* parent, int size = 12) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setFont(nimbara::ui::appFont(size));
    return label;
}

// Sizes a sheet to its texts: wrapped at its width, every line shown.
void fitToTexts(QWidget* sheet) {
    sheet->adjustSize();
    if (QLayout* layout = sheet->layout(); layout && layout->hasHeightForWidth()) {
        sheet->resize(sheet->width(),
                      std::max(sheet->height(), layout->totalHeightForWidth(sheet->width())));
    }
}

}  // namespace

void PRPrivacyController::viewShown() {
    if (!privacyView) {
        buildStartView();
    }
    if (!isShowingResults()) {
        showStartView();
    }
}

void PRPrivacyController::buildStartView() {
    QWidget* root = view();
    privacyView = new QWidget(root);
    privacyView->setObjectName(QStringLiteral("privacyView"));
    auto* layout = new QVBoxLayout(privacyView);
    layout->setContentsMargins(40, 30, 40, 30);
    auto* title = sheetLabel("privacyTitlelab", privacyView, 16);
    title->setText(QStringLiteral("Privacy Cleaner"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    layout->addWidget(title);
    auto* explain = sheetLabel("privacyInfolab", privacyView);
    explain->setText(QStringLiteral(
        "Find the private records your device keeps: contacts, messages and their attachments, "
        "Safari history and cookies, Wi-Fi networks, the places your photos were taken, notes "
        "and calls. Tick what should go, and Nimbara removes it from the device.\n\n"
        "The scan backs the device up first and reads the fresh backup. The clean works on a "
        "copy of that backup and restores the copy onto the device; your backup itself is never "
        "changed."));
    layout->addWidget(explain);
    layout->addSpacing(16);
    scanButton = new QPushButton(QStringLiteral("Scan"), privacyView);
    scanButton->setObjectName(QStringLiteral("scanButton"));
    scanButton->setMinimumWidth(140);
    connect(scanButton, &QPushButton::clicked, this, [this] { StartPrivacyClean(scanButton); });
    layout->addWidget(scanButton, 0, Qt::AlignLeft);
    layout->addStretch(1);
    if (auto* stack = qobject_cast<QStackedLayout*>(root->layout())) {
        stack->addWidget(privacyView);
    }

    // The progress sheet.
    cleanupRemindWindow = new QDialog(root->window());
    cleanupRemindWindow->setObjectName(QStringLiteral("cleanupRemindWindow"));
    cleanupRemindWindow->setWindowTitle(QStringLiteral("Privacy Cleaner"));
    cleanupRemindWindow->setWindowModality(Qt::WindowModal);
    // Closing it would leave the flow working unseen: the sheet goes when the step ends.
    cleanupRemindWindow->setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto* sheet = new QVBoxLayout(cleanupRemindWindow);
    firstBackuplab = sheetLabel("firstBackuplab", cleanupRemindWindow);
    secondBackuplab = sheetLabel("secondBackuplab", cleanupRemindWindow);
    cleanupProgressor = new QProgressBar(cleanupRemindWindow);
    cleanupProgressor->setObjectName(QStringLiteral("cleanupProgressor"));
    cleanupProgressor->setRange(0, 0);  // busy: the steps have no known length
    cleanupProgressor->setTextVisible(false);
    sheet->addWidget(firstBackuplab);
    sheet->addWidget(secondBackuplab);
    sheet->addWidget(cleanupProgressor);
    cleanupRemindWindow->setMinimumWidth(460);

    // The failure sheet.
    findoffWindow = new QDialog(root->window());
    findoffWindow->setObjectName(QStringLiteral("findoffWindow"));
    findoffWindow->setWindowTitle(QStringLiteral("Privacy Cleaner"));
    findoffWindow->setWindowModality(Qt::WindowModal);
    auto* failure = new QVBoxLayout(findoffWindow);
    findoffTitlelab = sheetLabel("findoffTitlelab", findoffWindow);
    showErrorlab = sheetLabel("showErrorlab", findoffWindow);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, findoffWindow);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { endFindOffAction(nullptr); });
    failure->addWidget(findoffTitlelab);
    failure->addWidget(showErrorlab);
    failure->addWidget(buttons);
    findoffWindow->setMinimumWidth(460);
}

void PRPrivacyController::showStartView() {
    if (!privacyView) {
        return;
    }
    if (auto* stack = qobject_cast<QStackedLayout*>(view()->layout())) {
        stack->setCurrentWidget(privacyView);
    }
    const auto stage = flow_ ? flow_->stage() : np::PrivacyCleanFlow::Stage::Idle;
    scanButton->setEnabled(stage == np::PrivacyCleanFlow::Stage::Idle ||
                           stage == np::PrivacyCleanFlow::Stage::Scanned);
}

void PRPrivacyController::setBackupRunSettings(nimbara::backup::BackupRunSettings settings) {
    runSettings_ = std::move(settings);
    flow_.reset();
}

void PRPrivacyController::makeFlow() {
    if (flow_) {
        return;
    }
    np::PrivacyCleanFlow::Hooks hooks;
    hooks.unlockNotice = [this](const nimbara::backup::BackupDevice&) {
        nimbara::backup::EnteriPhonePassCodetoUnlockScreen(host().hostWindow());
    };
    hooks.scanEnded = [this](const np::PrivacyScanOutcome& outcome) { scanEnded(outcome); };
    hooks.cleanStep = [this](const QString& step) {
        if (secondBackuplab) {
            secondBackuplab->setText(
                QStringLiteral("Now %1. The Cleanup and Restore will be finished automatically, "
                               "please keep your device connected.")
                    .arg(step));
            fitToTexts(cleanupRemindWindow);
        }
    };
    hooks.cleanEnded = [this](const np::PrivacyCleanOutcome& outcome) { cleanEnded(outcome); };
    hooks.originalSettled = [this](bool ok, const QString& message) {
        originalSettled(ok, message);
    };
    flow_ = std::make_unique<np::PrivacyCleanFlow>(std::move(hooks), runSettings_);
}

std::optional<nimbara::backup::BackupDevice> PRPrivacyController::currentDevice() const {
    const auto node = host().currentDeviceNode();
    if (!node || node->deviceIndex() != deviceIndex_.load()) {
        return std::nullopt;
    }
    return nimbara::backup::backupDeviceFor(node->deviceIndex(), node->udidNumber(),
                                            node->deviceName());
}

void PRPrivacyController::showSheet(const QString& first, const QString& second) {
    firstBackuplab->setText(first);
    secondBackuplab->setText(second);
    cleanupRemindWindow->show();
}

void PRPrivacyController::hideSheet() {
    if (cleanupRemindWindow) {
        cleanupRemindWindow->hide();
    }
}

bool PRPrivacyController::cleaning() const {
    return flow_ && flow_->stage() == np::PrivacyCleanFlow::Stage::Cleaning;
}

void PRPrivacyController::showFailure(const QString& message, const QString& headline) {
    findoffTitlelab->setText(
        headline.isEmpty() ? QStringLiteral("The privacy clean could not be finished.") : headline);
    showErrorlab->setText(message.isEmpty() ? QStringLiteral(" ") : message);
    fitToTexts(findoffWindow);  // a long reason wraps onto more lines
    findoffWindow->show();
}

void PRPrivacyController::endFindOffAction(QObject*) {
    if (findoffWindow) {
        findoffWindow->hide();
    }
}

void PRPrivacyController::StartPrivacyClean(QObject*) {
    record(QStringLiteral("StartPrivacyClean()"));
    view();
    if (!privacyView) {
        buildStartView();
    }
    const auto device = currentDevice();
    if (!device) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("Connect your device to scan it for private data.");
        question.defaultButton = QStringLiteral(" OK ");
        nimbara::Alerts::ask(view()->window(), question);
        return;
    }
    makeFlow();
    const auto stage = flow_->stage();
    if (stage == np::PrivacyCleanFlow::Stage::Scanning ||
        stage == np::PrivacyCleanFlow::Stage::Cleaning ||
        stage == np::PrivacyCleanFlow::Stage::Settling) {
        return;  // a step is still running
    }
    // The scan's backup takes the place of the device's existing one: the user says so first.
    switch (nimbara::backup::confirmBackupReplace(view()->window(), *device, runSettings_,
                                                  QStringLiteral("read its private records"))) {
        case nimbara::backup::BackupReplaceAnswer::GoOn:
            break;
        case nimbara::backup::BackupReplaceAnswer::Cancelled:
            return;
        case nimbara::backup::BackupReplaceAnswer::DeviceGone:
            showFailure(nimbara::backup::backupReplaceDeviceGoneText(),
                        QStringLiteral("The scan did not start."));
            return;
    }
    if (const auto now = currentDevice(); !now || now->deviceIndex != device->deviceIndex ||
                                          now->deviceSerial != device->deviceSerial) {
        return;  // the device changed while the question showed: its answer is not this one's
    }
    if (!flow_->scan(*device)) {
        return;
    }
    clearResults();
    scanButton->setEnabled(false);
    showSheet(QStringLiteral("To prevent data corruption/loss due to unexpected situations, "
                             "Nimbara needs to back up your device, any iOS data recovery "
                             "software can’t recover your data after the cleanup is completed."),
              QStringLiteral("The Scan will start automatically, please keep your device "
                             "connected."));
}

void PRPrivacyController::scanEnded(const np::PrivacyScanOutcome& outcome) {
    hideSheet();
    if (!outcome.ok()) {
        showStartView();
        if (outcome.run.encrypted) {
            nimbara::Alerts::Question question;
            question.message = QStringLiteral(
                "Your iPhone private data has been encrypted by iTunes, please decrypt with "
                "iTunes.");
            question.informativeText = QStringLiteral(
                "Turn off the encryption of this device's backups, then go back and scan again.");
            question.defaultButton = QStringLiteral(" Ok ");
            nimbara::Alerts::ask(view()->window(), question);
            return;
        }
        showFailure(outcome.message);
        return;
    }
    showScanResults(*outcome.scan);
}

void PRPrivacyController::CleanUpSelectedPrivacyFiles(QObject*) {
    record(QStringLiteral("CleanUpSelectedPrivacyFiles()"));
    const np::PrivacyScanResult* scan = scanResult();
    if (!flow_ || !scan) {
        return;
    }
    np::PrivacyCleanSelection selection = np::snapshotPrivacySelection(*scan);
    if (selection.empty()) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("Tick what should be removed first.");
        question.defaultButton = QStringLiteral(" OK ");
        nimbara::Alerts::ask(view()->window(), question);
        return;
    }
    // The question names how many records of which kinds go.
    const np::PrivacyCleanQuestion asked = np::privacyCleanQuestion(selection);
    nimbara::Alerts::Question confirm;
    confirm.message = asked.message;
    confirm.informativeText = asked.informativeText;
    confirm.defaultButton = QStringLiteral("Clean Up");
    confirm.alternateButton = QStringLiteral("Cancel");
    if (nimbara::Alerts::ask(view()->window(), confirm) != nimbara::Alerts::Answer::Default) {
        return;
    }
    const auto device = currentDevice();
    if (!device) {
        showFailure(QStringLiteral("Connect the device that was scanned."));
        return;
    }
    if (const nimbara::Result<void> started = flow_->clean(std::move(selection), *device);
        !started) {
        showFailure(started.sentence());
        return;
    }
    cleanButton->setEnabled(false);
    backBtn->setEnabled(false);
    showSheet(QStringLiteral("To use the Privacy Clean module, Nimbara needs to restore the iOS "
                             "device after cleaning up the privacy data. Please don’t worry about "
                             "it if your device is under “Restore in Progress”."),
              QStringLiteral("The Cleanup and Restore will be finished automatically, please "
                             "keep your device connected."));
}

void PRPrivacyController::cleanEnded(const np::PrivacyCleanOutcome& outcome) {
    hideSheet();
    if (cleanButton) {
        cleanButton->setEnabled(true);
    }
    if (backBtn) {
        backBtn->setEnabled(true);
    }
    if (!outcome.ok()) {
        // The results stay as they were; the user's backup was not changed. A restore that was
        // not confirmed is never called a clean.
        showFailure(outcome.message, outcome.restored
                                         ? QStringLiteral("The restore could not be confirmed.")
                                         : QString());
        if (flow_ && flow_->stage() == np::PrivacyCleanFlow::Stage::Idle) {
            clearResults();
        }
        return;
    }
    nimbara::Alerts::Question question;
    question.message = QStringLiteral("The device has been cleaned.");
    question.informativeText = QStringLiteral(
        "Your original backup still holds the removed records. Replace it with the cleaned "
        "backup, or keep it as it is?");
    question.defaultButton = QStringLiteral("Replace It");
    question.alternateButton = QStringLiteral("Keep It");
    const bool replace =
        nimbara::Alerts::ask(view()->window(), question) == nimbara::Alerts::Answer::Default;
    if (!(replace ? flow_->replaceOriginal() : flow_->keepOriginal())) {
        clearResults();
    }
}

void PRPrivacyController::originalSettled(bool ok, const QString& message) {
    clearResults();
    if (!ok) {
        showFailure(message);
    }
}
