// The delegate's state: the process-wide instance, the guarded object values and the page
// controllers.
#include "app/quennic_app_delegate.h"

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <array>

#include "app/main_window_ui.h"
#include "cleanup/clean_removal.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "platform/main_thread.h"
#include "ui/alerts.h"
#include "ui/view_helpers.h"

std::atomic<QuennicAppDelegate*> QuennicAppDelegate::s_instance{nullptr};

QuennicAppDelegate* QuennicAppDelegate::GetAppControllor() {
    return s_instance.load();
}

QMainWindow* QuennicAppDelegate::window() const {
    return mainUi_ ? mainUi_->window : nullptr;
}

std::shared_ptr<PRIOSDeviceNode> QuennicAppDelegate::currentNode() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return currentNode_;
}

void QuennicAppDelegate::setCurrentNode(const std::shared_ptr<PRIOSDeviceNode>& node) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    currentNode_ = node;
}

std::shared_ptr<PRiDeviceNode> QuennicAppDelegate::currentIDevicenode() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return currentIDevicenode_;
}

void QuennicAppDelegate::setCurrentIDevicenode(const std::shared_ptr<PRiDeviceNode>& node) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    currentIDevicenode_ = node;
}

QString QuennicAppDelegate::allCleanFileNumber() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return allCleanFileNumber_;
}

void QuennicAppDelegate::setAllCleanFileNumber(const QString& value) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    allCleanFileNumber_ = value;
}

QString QuennicAppDelegate::allCleanFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return allCleanFileSize_;
}

void QuennicAppDelegate::setAllCleanFileSize(const QString& value) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    allCleanFileSize_ = value;
}

QString QuennicAppDelegate::nimbaraExportPath() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return nimbaraExportPath_;
}

void QuennicAppDelegate::setNimbaraExportPath(const QString& path) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    nimbaraExportPath_ = path;
}

QByteArray QuennicAppDelegate::messageContactData() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return messageContactData_;
}

void QuennicAppDelegate::setMessageContactData(const QByteArray& data) {
    std::lock_guard<std::mutex> lock(objectMutex_);
    messageContactData_ = data;
}

std::optional<std::uint64_t> QuennicAppDelegate::photolibFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return photolibFileSize_;
}

std::optional<std::uint64_t> QuennicAppDelegate::cameraFileSize() const {
    std::lock_guard<std::mutex> lock(objectMutex_);
    return cameraFileSize_;
}

std::uint64_t QuennicAppDelegate::currentDeviceSerial() const {
    const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
    if (!node || !manager_) {
        return 0;
    }
    return manager_->DeviceSerial(node->deviceIndex());
}

void QuennicAppDelegate::resetStorageFigures() {
    setTotalAppRemoveFileSize(0);
    setTotalBooksRemoveFileSize(0);
    setTotalMusicRemoveFileSize(0);
    setTotalPhotoRemoveFileSize(0);
    setTotalUserdataRemoveFileSize(0);
    setTotalVideoRemoveFileSize(0);
    setCurrentAppFileSize(0);
    setCurrentBooksFileSize(0);
    setCurrentMusicFileSize(0);
    setCurrentVideoFileSize(0);
    setCurrentPhotoFileSize(0);
    setCurrentUserDataFileSize(0);
}

// ------------------------------------------------------------------ clean-up summary

namespace {

void setTextUnlessNull(QLabel* label, const QString& text) {
    if (label != nullptr) {
        label->setText(text);
    }
}

using nimbara::ui::setShown;

}  // namespace

void QuennicAppDelegate::CleanFileProgressInfoHandle(const nimbara::Notification& n) {
    const int percent = n.objectAs<int>(0);
    nimbara::performOnMain([this, percent] {
        if (mainUi_ && mainUi_->cleanprogressor != nullptr) {
            mainUi_->cleanprogressor->setRange(0, 100);
            mainUi_->cleanprogressor->setValue(std::clamp(percent, 0, 100));
        }
    });
}

void QuennicAppDelegate::AddCleanFileSizeThreadProgressInfoHandle(const nimbara::Notification& n) {
    using Sizes = std::array<std::uint64_t, 3>;
    const Sizes sizes = n.objectAs<Sizes>(Sizes{});
    nimbara::performOnMain([this, sizes] {
        setAllJunkFileNumber(sizes[0]);
        setAllCacheFileNumber(sizes[1]);
        setAllCookFileNumber(sizes[2]);
        if (!mainUi_) {
            return;
        }
        const std::pair<QLabel*, const char*> labels[] = {
            {mainUi_->tempJunkFileTextlab, "Temp Files Cleaner (%1)"},
            {mainUi_->cacheTextlab, "Cache Cleaner (%1)"},
            {mainUi_->cookieTextlab, "Cookie Cleaner (%1)"},
        };
        for (std::size_t i = 0; i < 3; ++i) {
            if (sizes[i] > 0 && labels[i].first != nullptr) {
                nimbara::ui::setFittedText(
                    labels[i].first,
                    QString::fromLatin1(labels[i].second).arg(size_to_unit(sizes[i])));
            }
        }
    });
}

void QuennicAppDelegate::CleanFilehasFinishedHandle(const nimbara::Notification& n) {
    const std::uint64_t total = n.objectAs<std::uint64_t>(0);
    nimbara::performOnMain([this, total] { CleanFilehasFinishedOnMainThreadHanld(total); });
}

void QuennicAppDelegate::CleanFilehasFinishedOnMainThreadHanld(std::uint64_t total) {
    const QString size = size_to_unit(total);
    const std::uint64_t count =
        cleanViewController_ ? cleanViewController_->GetCleanTaotalFileNumber() : 0;
    setAllCleanFileSize(size);
    setAllCleanFileNumber(QString::number(count));
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;
    if (ui.cleanprogressor != nullptr) {
        ui.cleanprogressor->setRange(0, 100);
        ui.cleanprogressor->setValue(100);
    }
    if (ui.cleanFilelab != nullptr) {
        // The figures stand out in yellow, the rest of the sentence in white.
        const QString figure = QStringLiteral("<span style=\"color:rgb(253,240,9)\">%1</span>");
        ui.cleanFilelab->setTextFormat(Qt::RichText);
        ui.cleanFilelab->setText(
            QStringLiteral("<span style=\"color:white\">%1 app issues are affecting your iDevice "
                           "system performance and wasting %2 disk space on your iDevice, Fix now "
                           "to speed up and revive your iPhone.</span>")
                .arg(figure.arg(count), figure.arg(size.toHtmlEscaped())));
    }
    nimbara::ui::setFittedText(ui.tempJunkFileTextlab, QStringLiteral("Temp Files Cleaner"));
    nimbara::ui::setFittedText(ui.cacheTextlab, QStringLiteral("Cache Cleaner"));
    nimbara::ui::setFittedText(ui.cookieTextlab, QStringLiteral("Cookie Cleaner"));
    setShown(ui.cleanScanView, false);
    setShown(ui.fixResultView, false);
    setShown(ui.cleanFinishView, true);
    if (ui.fixIssueBtn != nullptr) {
        ui.fixIssueBtn->setEnabled(count > 0);
    }
}

void QuennicAppDelegate::resetCleanSummary() {
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;
    setShown(ui.cleanScanView, true);
    setShown(ui.cleanFinishView, false);
    setShown(ui.fixResultView, false);
    setTextUnlessNull(ui.cleanFilelab, QString());
    setTextUnlessNull(ui.fixInfolab, QString());
    if (ui.cleanprogressor != nullptr) {
        ui.cleanprogressor->setRange(0, 100);
        ui.cleanprogressor->setValue(0);
    }
    nimbara::ui::setFittedText(ui.tempJunkFileTextlab, QStringLiteral("Temp Files Cleaner"));
    nimbara::ui::setFittedText(ui.cacheTextlab, QStringLiteral("Cache Cleaner"));
    nimbara::ui::setFittedText(ui.cookieTextlab, QStringLiteral("Cookie Cleaner"));
    setAllJunkFileNumber(0);
    setAllCacheFileNumber(0);
    setAllCookFileNumber(0);
}

void QuennicAppDelegate::CleanAlliPhoneFiles(QObject* /*sender*/) {
    if (!cleanViewController_ || !mainUi_) {
        return;
    }
    if (cleanViewController_->deviceScanResult() == nullptr) {
        return;  // nothing found on the current device (yet): nothing to fix
    }
    PRCleanViewController& page = *cleanViewController_;
    const std::uint64_t files = page.foundFileCount();
    nimbara::Alerts::Question question;
    question.message = QStringLiteral("Remove the %1 files found (%2) from the device?")
                           .arg(files)
                           .arg(size_to_unit(page.GetCleanTaotalFileSize()));
    question.informativeText = QStringLiteral(
        "Caches, cookies and temporary files of the apps and media left by failed syncs are "
        "removed. This can't be undone.");
    question.defaultButton = QStringLiteral("Fix Now");
    question.alternateButton = QStringLiteral("Cancel");
    if (nimbara::Alerts::ask(mainUi_->window, question) != nimbara::Alerts::Answer::Default) {
        return;
    }
    QPointer<QuennicAppDelegate> self(this);
    const bool started =
        page.cleanAllFound([self](const nimbara::cleanup::CleanRemovalReport& report) {
            if (self) {
                self->showCleanFixResult(report);
            }
        });
    if (started && mainUi_->fixIssueBtn != nullptr) {
        mainUi_->fixIssueBtn->setEnabled(false);
    }
}

void QuennicAppDelegate::showCleanFixResult(const nimbara::cleanup::CleanRemovalReport& report) {
    if (!mainUi_) {
        return;
    }
    MainWindowUi& ui = *mainUi_;
    // What the removals really did: files removed and bytes freed, and what failed.
    std::uint64_t fixed = 0;
    for (const auto outcome : report.outcomes) {
        fixed += outcome == nimbara::cleanup::CleanItemOutcome::Removed ? 1 : 0;
    }
    QString text = QStringLiteral(
                       "%1 app issues have been fixed, Nimbara had successfully free up %2 space "
                       "on your device.")
                       .arg(fixed)
                       .arg(size_to_unit(report.freedBytes));
    // What stayed, and why: the device's own files are kept on purpose.
    const std::size_t unremoved = report.unremovedItems();
    const std::size_t kept = report.protectedKept.size();
    if (kept > 0) {
        text += QStringLiteral(" %1 file(s) the device itself needs were kept.").arg(kept);
    }
    if (unremoved > 0) {
        text += QStringLiteral(" %1 item(s) could not be removed.").arg(unremoved);
    }
    if (report.status == nimbara::cleanup::CleanRunStatus::DeviceGone) {
        text += QStringLiteral(" The device went away before everything was removed.");
    }
    setTextUnlessNull(ui.fixInfolab, text);
    setShown(ui.cleanScanView, false);
    setShown(ui.cleanFinishView, false);
    setShown(ui.fixResultView, true);
    if (ui.fixIssueBtn != nullptr) {
        ui.fixIssueBtn->setEnabled(true);
    }
}
