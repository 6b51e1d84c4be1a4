#include "transfer/pages/pr_one_copy_view_controller.h"

#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStringList>

#include <utility>

#include "backup/pages/backup_replace_dialog.h"
#include "backup/pages/unlock_notice.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "ui/alerts.h"
#include "ui/flash_view.h"
#include "ui/image_button.h"
#include "ui/notification_buttons.h"
#include "ui/save_panel.h"

using nimbara::transfer::OneCopyReport;
using nimbara::transfer::OneCopyRow;
using nimbara::transfer::OneCopyRowEnd;
using nimbara::transfer::OneCopyStatus;

namespace {

constexpr const char* kNoDeviceText = "Connect a device to copy it.";
constexpr const char* kNoFolderText = "No export folder is set: nothing was copied.";
constexpr const char* kNotCopiedText =
    "Nothing was copied and no record was read: the device's existing backup was kept.";
constexpr const char* kGoneText =
    "The device was disconnected: the copy stopped. What was copied so far is in the export "
    "folder.";

// The order in which the spinners of the rows that are on start turning.
constexpr OneCopyRow kSpinnerOrder[] = {
    OneCopyRow::CameraRoll,  OneCopyRow::PhotoLibrary, OneCopyRow::Music,
    OneCopyRow::Messages,    OneCopyRow::Calendar,     OneCopyRow::CallLogs,
    OneCopyRow::PhotoStream, OneCopyRow::Video,        OneCopyRow::Contacts,
    OneCopyRow::Notes,       OneCopyRow::Bookmarks,    OneCopyRow::VoiceMemos,
};

constexpr std::size_t slot(OneCopyRow row) {
    return nimbara::transfer::oneCopySlot(row);
}

// How many of a row's failed items its tooltip and its sheet list (the sheet's details hold all).
constexpr std::size_t kTipLines = 10;
constexpr std::size_t kSheetLines = 12;

// The first `count` failed items of `end`, one line each, and a line for the rest.
QStringList failureLines(const OneCopyRowEnd& end, std::size_t count) {
    QStringList lines;
    for (std::size_t i = 0; i < end.failed.size() && i < count; ++i) {
        lines << QStringLiteral("%1: %2").arg(end.failed[i].item, end.failed[i].reason);
    }
    if (end.failures > static_cast<std::size_t>(lines.size())) {
        lines << QStringLiteral("... and %1 more").arg(end.failures - lines.size());
    }
    return lines;
}

}  // namespace

PROneCopyViewController::PROneCopyViewController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PROneCopyViewController", QStringLiteral("One-Click Copy"), parent),
      toggles_(std::make_shared<nimbara::transfer::OneCopyToggles>()) {
    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyOneCopyButtonMouseDown",
        [this](const nimbara::Notification& n) { MyOneCopyButtonMouseDownHandle(n); }));
    watchDeviceDetach();
}

PROneCopyViewController::~PROneCopyViewController() {
    observers_.clear();
    worker_.stop();
    delete uiRoot_.data();
    ui_.reset();
}

QString PROneCopyViewController::encryptedMessage() {
    return QStringLiteral(
        "Some part of your iPhone private data has been encrypted by iTunes, please decrypt with "
        "iTunes.");
}

QString PROneCopyViewController::encryptedInformative() {
    return QStringLiteral(
        "Open the iTunes and access your device summary setting, check Encrypt iPhone backup "
        "button to unlock your iPhone private data. Then restart Pellucor and make a backup "
        "again.");
}

// ------------------------------------------------------------------ widgets

OneCopyUi& PROneCopyViewController::copyUi() {
    ensureBuilt();
    return *ui_;
}

void PROneCopyViewController::viewShown() {
    ensureBuilt();
}

void PROneCopyViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    // First use, or the container took the views with it when it went.
    ui_ = std::make_unique<OneCopyUi>(buildOneCopyView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    wireControls();
    showToggles();
    resetViews();
}

void PROneCopyViewController::wireControls() {
    using Action = void (PROneCopyViewController::*)(QObject*);
    const std::pair<OneCopyRow, Action> actions[] = {
        {OneCopyRow::CameraRoll, &PROneCopyViewController::PhotoCameraAction},
        {OneCopyRow::PhotoLibrary, &PROneCopyViewController::PhotoLibraryAction},
        {OneCopyRow::PhotoStream, &PROneCopyViewController::PhotoStreamAction},
        {OneCopyRow::Music, &PROneCopyViewController::MusicAction},
        {OneCopyRow::Video, &PROneCopyViewController::VideoAction},
        {OneCopyRow::Contacts, &PROneCopyViewController::ContactAction},
        {OneCopyRow::Messages, &PROneCopyViewController::MessageAction},
        {OneCopyRow::Notes, &PROneCopyViewController::NoteAction},
        {OneCopyRow::Bookmarks, &PROneCopyViewController::BookMarkAction},
        {OneCopyRow::Calendar, &PROneCopyViewController::CalendarAction},
        {OneCopyRow::CallLogs, &PROneCopyViewController::CallLogsAction},
        {OneCopyRow::VoiceMemos, &PROneCopyViewController::VoiceMemoAction},
    };
    for (const auto& [row, action] : actions) {
        nimbara::ui::ImageButton* button = ui_->row(row).checkBtn;
        connect(button, &QPushButton::clicked, this,
                [this, button, action = action] { (this->*action)(button); });
    }
}

void PROneCopyViewController::showToggles() {
    if (!ui_) {
        return;
    }
    for (std::size_t i = 0; i < ui_->rows.size(); ++i) {
        // The image names are the reverse of the state they show.
        ui_->rows[i].checkBtn->setImage(toggles_->isOn(static_cast<OneCopyRow>(i))
                                            ? QStringLiteral("button_off.png")
                                            : QStringLiteral("button_on.png"));
    }
}

void PROneCopyViewController::resetViews() {
    if (!ui_ || !uiRoot_) {
        return;
    }
    ui_->theFalshView->stopFlash();
    ui_->theFalshView->hide();
    ui_->startScanBtn->setImage(QStringLiteral("startNom.png"));
    for (OneCopyRowUi& row : ui_->rows) {
        row.progress->hide();
        row.okMark->hide();
        row.failMark->hide();
        row.failurelab->hide();
    }
    rowEnds_ = {};
    setStatus(QString());
}

void PROneCopyViewController::setStatus(const QString& text) {
    if (ui_ && uiRoot_) {
        ui_->statuslab->setText(text);
        ui_->statuslab->setVisible(!text.isEmpty());
    }
}

QString PROneCopyViewController::statusText() const {
    return ui_ && uiRoot_ ? ui_->statuslab->text() : QString();
}

// ------------------------------------------------------------------ state

void PROneCopyViewController::setCopyIndex(int index) {
    record(QStringLiteral("setCopyIndex(%1)").arg(argument(index)));
    copyIndex_ = index;
}

void PROneCopyViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    // Whatever the old run still reports belongs to the device that was current before.
    worker_.stop();
    toggles_->setAll(true);
    state_ = State::Idle;
    bBackup_ = false;
    bEncypted_ = false;
    report_.reset();
    jobDevice_ = {};
    showToggles();
    resetViews();
}

void PROneCopyViewController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        setCopyIndex(target.deviceIndex);
    }
    initAllDataAndAllView();
}

bool PROneCopyViewController::isCategoryChosen(int category) const {
    return category >= 0 && category < kCopyCategoryCount &&
           toggles_->isOn(static_cast<OneCopyRow>(category));
}

void PROneCopyViewController::setCategoryChosen(int category, bool chosen) {
    if (category >= 0 && category < kCopyCategoryCount && isCategoryChosen(category) != chosen) {
        toggle(static_cast<OneCopyRow>(category));
    }
}

void PROneCopyViewController::toggle(OneCopyRow row) {
    // Also while a run goes: it reads each toggle when it reaches that step.
    toggles_->set(row, !toggles_->isOn(row));
    if (ui_ && uiRoot_) {
        ui_->row(row).checkBtn->setImage(toggles_->isOn(row) ? QStringLiteral("button_off.png")
                                                             : QStringLiteral("button_on.png"));
    }
}

void PROneCopyViewController::PhotoCameraAction(QObject*) {
    toggle(OneCopyRow::CameraRoll);
}
void PROneCopyViewController::PhotoLibraryAction(QObject*) {
    toggle(OneCopyRow::PhotoLibrary);
}
void PROneCopyViewController::PhotoStreamAction(QObject*) {
    toggle(OneCopyRow::PhotoStream);
}
void PROneCopyViewController::MusicAction(QObject*) {
    toggle(OneCopyRow::Music);
}
void PROneCopyViewController::VideoAction(QObject*) {
    toggle(OneCopyRow::Video);
}
void PROneCopyViewController::ContactAction(QObject*) {
    toggle(OneCopyRow::Contacts);
}
void PROneCopyViewController::MessageAction(QObject*) {
    toggle(OneCopyRow::Messages);
}
void PROneCopyViewController::NoteAction(QObject*) {
    toggle(OneCopyRow::Notes);
}
void PROneCopyViewController::BookMarkAction(QObject*) {
    toggle(OneCopyRow::Bookmarks);
}
void PROneCopyViewController::CalendarAction(QObject*) {
    toggle(OneCopyRow::Calendar);
}
void PROneCopyViewController::CallLogsAction(QObject*) {
    toggle(OneCopyRow::CallLogs);
}
void PROneCopyViewController::VoiceMemoAction(QObject*) {
    toggle(OneCopyRow::VoiceMemos);
}

// ------------------------------------------------------------------ run

void PROneCopyViewController::MyOneCopyButtonMouseDownHandle(
    const nimbara::Notification& notification) {
    if (ui_ && uiRoot_ && notification.objectAs<QObject*>(nullptr) == ui_->startScanBtn) {
        StartOneCopyAction(ui_->startScanBtn);
    }
}

void PROneCopyViewController::StartOneCopyAction(QObject*) {
    ensureBuilt();
    // One run per device selection: only initAllDataAndAllView starts afresh.
    if (state_ != State::Idle || worker_.busy()) {
        return;
    }
    nimbara::transfer::OneCopyDevice device;
    device.deviceIndex = copyIndex();
    device.deviceSerial = amd::DeviceManager::GetInstance().DeviceSerial(device.deviceIndex);
    const std::shared_ptr<PRiDeviceNode> node = host().currentDeviceNode();
    if (node && node->deviceIndex() == device.deviceIndex) {
        device.udid = node->udidNumber();
        device.deviceName = node->deviceName();
    }
    if (device.deviceSerial == 0 || device.udid.isEmpty()) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return;
    }
    const QString folder = host().exportFolder();
    if (folder.isEmpty()) {
        setStatus(QString::fromLatin1(kNoFolderText));
        return;
    }
    // The run's backup takes the place of the device's existing one: the user says so first.
    const nimbara::backup::BackupReplaceAnswer answer = nimbara::backup::confirmBackupReplace(
        view() != nullptr ? view()->window() : nullptr,
        {device.deviceIndex, device.deviceSerial, device.udid, device.deviceName}, {},
        QStringLiteral("copy its contacts, conversations, notes, bookmarks, calendar and "
                       "call logs"));
    if (answer == nimbara::backup::BackupReplaceAnswer::Cancelled) {
        setStatus(QString::fromLatin1(kNotCopiedText));
        return;
    }
    if (answer == nimbara::backup::BackupReplaceAnswer::DeviceGone) {
        setStatus(nimbara::backup::backupReplaceDeviceGoneText());
        return;
    }
    if (state_ != State::Idle || copyIndex() != device.deviceIndex ||
        amd::DeviceManager::GetInstance().DeviceSerial(device.deviceIndex) != device.deviceSerial) {
        return;  // the device changed while the question showed: its answer is not this one's
    }
    state_ = State::Running;
    jobDevice_ = device;
    setStatus(QString());
    ui_->theFalshView->show();
    ui_->theFalshView->startFlash();
    ui_->startScanBtn->setImage(QStringLiteral("startDown.png"));
    for (OneCopyRowUi& row : ui_->rows) {
        row.okMark->hide();
        row.failMark->hide();
        row.failurelab->hide();
    }
    rowEnds_ = {};
    for (const OneCopyRow row : kSpinnerOrder) {
        ui_->row(row).progress->setVisible(toggles_->isOn(row));
    }

    nimbara::transfer::OneCopySettings settings;
    settings.exportFolder = folder.toStdString();
    std::shared_ptr<const nimbara::transfer::OneCopyToggles> toggles = toggles_;
    worker_.start([this, device, settings, toggles](const nimbara::JobRunner::StopCheck& stop,
                                                    const nimbara::JobRunner::Post& post) {
        nimbara::transfer::OneCopySink sink;
        sink.rowEnded = [this, post](const OneCopyRowEnd& end) {
            post([this, end] { markRow(end); });
        };
        // Shown on the GUI thread while the backup starts; the run's stop check keeps it from
        // showing for a run that was dropped (the page going stops it).
        sink.unlockNotice = [this, stop](const nimbara::backup::BackupDevice&) {
            if (!stop()) {
                showUnlockNotice();
            }
        };
        nimbara::transfer::OneCopyJob job(device, settings, toggles, std::move(sink), stop);
        auto report = std::make_shared<OneCopyReport>(job.run());
        post([this, report] { finishOneClickCopyOnMainThread(std::move(*report)); });
    });
}

void PROneCopyViewController::showUnlockNotice() {
    if (ui_ && uiRoot_ && state_ == State::Running) {
        QWidget* window = view() != nullptr ? view()->window() : nullptr;
        nimbara::backup::EnteriPhonePassCodetoUnlockScreen(window);
    }
}

void PROneCopyViewController::markRow(const OneCopyRowEnd& end) {
    rowEnds_[slot(end.row)] = end;
    if (!ui_ || !uiRoot_) {
        return;
    }
    OneCopyRowUi& row = ui_->row(end.row);
    row.progress->hide();
    // Done only when every item was copied: a step with failures is marked as failed.
    row.okMark->setVisible(end.complete());
    row.failMark->setVisible(!end.complete());
    const QString failures = nimbara::transfer::oneCopyFailureText(end);
    QStringList tip;
    for (const QString& line : {end.message, failures}) {
        if (!line.isEmpty()) {
            tip << line;
        }
    }
    row.failMark->setToolTip(tip.join(QLatin1Char('\n')));
    row.failurelab->setVisible(!failures.isEmpty());
    if (!failures.isEmpty()) {
        row.failurelab->setText(failures.toHtmlEscaped() +
                                QStringLiteral(" <a href='failures'>Show them</a>"));
        row.failurelab->setToolTip(failureLines(end, kTipLines).join(QLatin1Char('\n')));
        row.failurelab->disconnect(this);
        const OneCopyRow which = end.row;
        connect(row.failurelab, &QLabel::linkActivated, this,
                [this, which] { showCopyFailures(which); });
    }
}

QWidget* PROneCopyViewController::showCopyFailures(OneCopyRow row) {
    const std::optional<OneCopyRowEnd>& end = rowEnds_[slot(row)];
    if (!end || end->failures == 0) {
        return nullptr;
    }
    auto* box = new QMessageBox(view() != nullptr ? view()->window() : nullptr);
    box->setObjectName(QStringLiteral("oneCopyFailures"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(oneCopyRowTitle(row));
    box->setText(QStringLiteral("%1: %2").arg(oneCopyRowTitle(row),
                                              nimbara::transfer::oneCopyFailureText(*end)));
    box->setInformativeText(failureLines(*end, kSheetLines).join(QLatin1Char('\n')));
    if (end->failures > kSheetLines) {
        box->setDetailedText(failureLines(*end, end->failed.size()).join(QLatin1Char('\n')));
    }
    box->addButton(QStringLiteral(" Ok "), QMessageBox::AcceptRole);
    box->setWindowModality(box->parentWidget() != nullptr ? Qt::WindowModal : Qt::NonModal);
    box->open();
    return box;
}

void PROneCopyViewController::stopSpinners() {
    for (OneCopyRowUi& row : ui_->rows) {
        row.progress->hide();
    }
    ui_->theFalshView->stopFlash();
    ui_->theFalshView->hide();
}

void PROneCopyViewController::finishOneClickCopyOnMainThread(OneCopyReport report) {
    worker_.finish();
    state_ = State::Finished;
    bBackup_ = report.backup.has_value();
    bEncypted_ = report.encrypted;
    if (ui_ && uiRoot_) {
        ui_->startScanBtn->setImage(QStringLiteral("doneNom.png"));
        stopSpinners();
        QString status = report.message;
        std::size_t failures = 0;
        for (const OneCopyRowEnd& end : report.rows) {
            failures += end.failures;
        }
        if (failures > 0) {
            const QString some =
                QStringLiteral("%1 %2 could not be copied: the rows marked in red list them.")
                    .arg(failures)
                    .arg(failures == 1 ? QStringLiteral("item") : QStringLiteral("items"));
            status = status.isEmpty() ? some : status + QLatin1Char('\n') + some;
        }
        if (!report.runFolder.empty()) {
            const QString where = QStringLiteral("The copies are in \"%1\".")
                                      .arg(QString::fromStdString(report.runFolder.string()));
            status = status.isEmpty() ? where : status + QLatin1Char('\n') + where;
        }
        setStatus(status);
    }
    const std::filesystem::path folder = report.runFolder;
    const bool encrypted = report.encrypted;
    report_ = std::move(report);
    if (!folder.empty()) {
        nimbara::ui::FileViewer::reveal(QString::fromStdString(folder.string()));
    }
    if (encrypted) {
        nimbara::Alerts::Question question;
        question.message = encryptedMessage();
        question.informativeText = encryptedInformative();
        question.defaultButton = QStringLiteral(" Ok ");
        nimbara::Alerts::ask(view() != nullptr ? view()->window() : nullptr, question);
    }
    if (jobEnded_) {
        jobEnded_();
    }
}

void PROneCopyViewController::endRunDeviceGone() {
    worker_.stop();
    state_ = State::Finished;
    if (ui_ && uiRoot_) {
        ui_->startScanBtn->setImage(QStringLiteral("doneNom.png"));
        stopSpinners();
        setStatus(QString::fromLatin1(kGoneText));
    }
    if (jobEnded_) {
        jobEnded_();
    }
}

void PROneCopyViewController::deviceDetached(int index) {
    if (state_ == State::Running && worker_.busy() && jobDevice_.deviceIndex == index &&
        !amd::DeviceManager::GetInstance().IsAttached(jobDevice_.deviceIndex,
                                                      jobDevice_.deviceSerial)) {
        endRunDeviceGone();
    }
}
