#include "ui/save_panel.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace nimbara::ui {

SavePanel::Handler& SavePanel::handler() {
    static Handler current;
    return current;
}

std::optional<QString> SavePanel::chooseFolder(QWidget* parent, const Request& request) {
    // Copied, so a handler that replaces itself while it runs stays alive until it returns.
    const Handler current = handler();
    return current ? current(parent, request) : fileDialog(parent, request);
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
    return current ? current(parent, request) : fileDialog(parent, request);
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
