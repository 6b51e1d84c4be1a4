#include "ui/core/panel_start_folder.h"

#include <QFileInfo>

namespace nimbara::ui {

QString panelStartFolder(const QString& lastFolder, const QString& exportFolder,
                         const QString& homeFolder) {
    for (const QString& folder : {lastFolder, exportFolder}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return homeFolder;
}

}  // namespace nimbara::ui
