// File > Open archived app: an app archived to this computer earlier (the large-file page's
// Archive writes "<bundle id>.zip" into the export folder) is chosen in an open panel and
// installed on the current device, after the user was asked.
#include <QMainWindow>

#include "app/archived_app_install_flow.h"
#include "app/quennic_app_delegate.h"
#include "device/device_manager.h"
#include "device/pri_device_node.h"
#include "ui/alerts.h"
#include "ui/save_panel.h"

void QuennicAppDelegate::OpenArchiveAction(QObject* /*sender*/) {
    if (theArchiveOpenPanel_ || (archivedAppInstall_ && archivedAppInstall_->busy())) {
        return;  // one panel, one install at a time
    }
    if (!getDeviceConnected() || !currentIDevicenode()) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("Connect your device to install an archived app on it.");
        question.informativeText = QStringLiteral("No device is connected, so nothing was opened.");
        question.defaultButton = QStringLiteral("OK");
        nimbara::Alerts::ask(window(), question);
        return;
    }
    nimbara::ui::OpenPanel::Request request;
    request.title = QStringLiteral("Install the app archived last time.");
    request.nameFilter = QStringLiteral("App archives (*.zip)");
    theArchiveOpenPanel_ = true;
    const std::optional<QString> chosen = nimbara::ui::OpenPanel::chooseFile(window(), request);
    theArchiveOpenPanel_ = false;
    openPanelDidEnd1(chosen ? QStringList{*chosen} : QStringList(), chosen ? 1 : 0);
}

void QuennicAppDelegate::openPanelDidEnd1(const QStringList& chosenFiles, int returnCode1) {
    if (returnCode1 != 1 || chosenFiles.isEmpty() || chosenFiles.front().isEmpty()) {
        return;
    }
    if (!archivedAppInstall_) {
        archivedAppInstall_ = new nimbara::app::ArchivedAppInstallFlow(
            window(),
            [this]() -> std::optional<nimbara::app::ArchiveInstallDevice> {
                const std::shared_ptr<PRiDeviceNode> node = currentIDevicenode();
                if (!node || !getDeviceConnected() || manager_ == nullptr) {
                    return std::nullopt;
                }
                const int index = node->deviceIndex();
                const std::uint64_t serial = manager_->DeviceSerial(index);
                if (serial == 0) {
                    return std::nullopt;
                }
                return nimbara::app::ArchiveInstallDevice{{index, serial}, node->deviceName()};
            },
            this);
    }
    if (!archivedAppInstall_->start(chosenFiles.front())) {
        // The device went while the panel was up.
        nimbara::Alerts::Question question;
        question.message =
            QStringLiteral("No device is connected, so the archived app was not installed.");
        question.defaultButton = QStringLiteral("OK");
        nimbara::Alerts::ask(window(), question);
    }
}
