// The notice shown while a backup of the privacy cleaner, the transfer page or the one-click copy
// page starts: the device may ask to be unlocked and to trust this computer. A sheet on the main
// window with one button; it returns as soon as it is shown (nothing waits for the user), and the
// button closes it. Shown from a backup run's notice hook, it belongs to that backup: the run
// closes it when the backup tool has ended, so it never stays up after the backup it announces.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace nimbara::backup {

QString unlockNoticeText();
QString unlockNoticeButton();

// Shows the notice over `window` (a free-standing box when null) and returns it.
QMessageBox* EnteriPhonePassCodetoUnlockScreen(QWidget* window);

}  // namespace nimbara::backup
