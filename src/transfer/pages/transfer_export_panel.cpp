#include "transfer/pages/transfer_export_panel.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cleanup/clean_export.h"
#include "ui/save_panel.h"

namespace nimbara::transfer {

std::optional<std::filesystem::path> ExportOpenpanelAction(QWidget* parent,
                                                           const QString& startFolder) {
    const std::optional<QString> chosen = nimbara::ui::SavePanel::chooseFolder(
        parent, {QStringLiteral("Export"), startFolder,
                 nimbara::cleanup::cleanExportFolderName(QDateTime::currentDateTime())});
    if (!chosen || chosen->trimmed().isEmpty()) {
        return std::nullopt;
    }
    // The user's own folder is used as it is: only names that come from the device are changed.
    return std::filesystem::path(
        QFile::encodeName(QFileInfo(*chosen).absoluteFilePath()).toStdString());
}

}  // namespace nimbara::transfer
