// The export reminder: before an export, the storage manager tells where the copies go, until
// the user ticks "Do not show this message again" (kept under "CLPAlertSuppress" in the
// settings). The texts and the decision; the dialog is pages/export_reminder_dialog.h.
#pragma once

#include <QString>

class QSettings;

namespace nimbara::filemanager {

// The settings key of the suppression box.
inline constexpr const char* kExportReminderSuppressKey = "CLPAlertSuppress";

// " Export Location" (with its leading blank).
QString exportReminderMessage();
// " Ok " (blanks on both sides).
QString exportReminderButton();
// "Default export location:  <folder>\nIf you want to change it, please reset the export path
// -> Preferences." (two blanks after the colon).
QString exportReminderText(const QString& exportFolder);
// The suppression box's label.
QString exportReminderSuppressionText();

// Whether the user asked never to see the reminder again.
bool exportReminderSuppressed(const QSettings& settings);
// Stores that wish (written through at once).
void suppressExportReminder(QSettings& settings);

}  // namespace nimbara::filemanager
