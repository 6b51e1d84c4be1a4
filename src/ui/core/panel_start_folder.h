// Where the computer's save and open panels start. Widget-free; the panels (ui/save_panel.h) and
// the preferences' folder chooser ask it.
#pragma once

#include <QString>

namespace nimbara::ui {

// The folder last used in a panel while it is still a folder, otherwise the export folder while
// it is one, otherwise the home folder. Empty texts count as missing.
QString panelStartFolder(const QString& lastFolder, const QString& exportFolder,
                         const QString& homeFolder);

}  // namespace nimbara::ui
