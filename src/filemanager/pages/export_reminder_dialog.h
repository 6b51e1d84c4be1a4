// The export reminder as a question of the Alerts interface (tests answer it).
#pragma once

#include <QString>

class QSettings;
class QWidget;

namespace nimbara::filemanager {

// Called by every export before it starts: unless suppressed in `settings`, tells the user where
// the copies go (`exportFolder`), with the suppression box; a tick in it is stored. True when
// the reminder was shown. The export goes on whatever the answer.
bool exportSourcePathRemind(QWidget* parent, const QString& exportFolder, QSettings& settings);

}  // namespace nimbara::filemanager
