#include "filemanager/export_reminder.h"

#include <QSettings>

namespace nimbara::filemanager {

QString exportReminderMessage() {
    return QStringLiteral(" Export Location");
}

QString exportReminderButton() {
    return QStringLiteral(" Ok ");
}

QString exportReminderText(const QString& exportFolder) {
    return QStringLiteral(
               "Default export location:  %1\nIf you want to change it, please reset the export "
               "path -> Preferences.")
        .arg(exportFolder);
}

QString exportReminderSuppressionText() {
    return QStringLiteral("Do not show this message again");
}

bool exportReminderSuppressed(const QSettings& settings) {
    return settings.value(QLatin1String(kExportReminderSuppressKey), false).toBool();
}

void suppressExportReminder(QSettings& settings) {
    settings.setValue(QLatin1String(kExportReminderSuppressKey), true);
    settings.sync();
}

}  // namespace nimbara::filemanager
