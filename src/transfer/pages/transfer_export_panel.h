// The transfer page's save panel for its exports to a folder on the computer: photos, tracks and
// videos, and the app-container files. One function for every export of the page, so they all
// ask the same way and propose the same new folder.
// GUI thread only.
#pragma once

#include <QString>

#include <filesystem>
#include <optional>

class QWidget;

namespace nimbara::transfer {

// Asks modally over `parent` where an export goes, proposing a new folder named after the
// current date and time (the name every export panel of the program proposes) and starting in
// `startFolder` while it is a folder (otherwise where every panel starts: ui::PanelStart). The
// chosen path, absolute, as a local path; nullopt when the user cancelled. The panel neither makes
// nor replaces anything: the export makes the folder (with its parents) and numbers what it writes
// beside what is there.
std::optional<std::filesystem::path> ExportOpenpanelAction(QWidget* parent,
                                                           const QString& startFolder = {});

}  // namespace nimbara::transfer
