#include "ui/save_panel.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>

#include "ui/core/panel_start_folder.h"

namespace nimbara::ui {

namespace {

QString& lastFolder() {
    static QString folder;
    return folder;
}

// Asks `handler` (or the file dialog) with the request starting where the panels start, and
// remembers where the answer lies.
template <class Request, class Dialog>
std::optional<QString> askFromStart(
    const std::function<std::optional<QString>(QWidget*, const Request&)>& handler, QWidget* parent,
    Request request, Dialog dialog) {
    request.directory = PanelStart::folder(request.directory);
    std::optional<QString> chosen = handler ? handler(parent, request) : dialog(parent, request);
    if (chosen && !chosen->isEmpty()) {
        PanelStart::chose(*chosen);
    }
    return chosen;
}

}  // namespace

PanelStart::ExportFolder& PanelStart::exportFolder() {
    static ExportFolder current;
    return current;
}

QString PanelStart::folder(const QString& callerFolder) {
    const ExportFolder source = exportFolder();
    return panelStartFolder(callerFolder.isEmpty() ? lastFolder() : callerFolder,
                            source ? source() : QString(), QDir::homePath());
}

void PanelStart::chose(const QString& chosen) {
    lastFolder() = QFileInfo(chosen).absolutePath();
}

void PanelStart::forget() {
    lastFolder().clear();
}

SavePanel::Handler& SavePanel::handler() {
    static Handler current;
    return current;
}

std::optional<QString> SavePanel::chooseFolder(QWidget* parent, const Request& request) {
    // Copied, so a handler that replaces itself while it runs stays alive until it returns.
    const Handler current = handler();
    return askFromStart(current, parent, request, &SavePanel::fileDialog);
}

std::optional<QString> SavePanel::fileDialog(QWidget* parent, const Request& request) {
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // What is there already is the caller's to ask about: an export never replaces a file.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(request.proposedName);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return chosen.front();
}

OpenPanel::Handler& OpenPanel::handler() {
    static Handler current;
    return current;
}

std::optional<QString> OpenPanel::chooseFile(QWidget* parent, const Request& request) {
    const Handler current = handler();
    return askFromStart(current, parent, request, &OpenPanel::fileDialog);
}

std::optional<QString> OpenPanel::fileDialog(QWidget* parent, const Request& request) {
    QFileDialog dialog(parent, request.title, request.directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!request.nameFilter.isEmpty()) {
        dialog.setNameFilter(request.nameFilter);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) {
        return std::nullopt;
    }
    return chosen.front();
}

FileViewer::Handler& FileViewer::handler() {
    static Handler current;
    return current;
}

void FileViewer::reveal(const QString& folder) {
    const Handler current = handler();
    if (current) {
        current(folder);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

}  // namespace nimbara::ui
