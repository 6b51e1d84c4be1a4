#include "filemanager/pages/export_reminder_dialog.h"

#include <QDebug>
#include <QSettings>

#include "filemanager/export_reminder.h"
#include "platform/log_categories.h"
#include "ui/alerts.h"

namespace nimbara::filemanager {

bool exportSourcePathRemind(QWidget* parent, const QString& exportFolder, QSettings& settings) {
    if (exportReminderSuppressed(settings)) {
        qCInfo(lcFileManager).noquote() << "CLPAlertSuppress suppressed";
        return false;
    }
    bool suppress = false;
    Alerts::Question question;
    question.message = exportReminderMessage();
    question.informativeText = exportReminderText(exportFolder);
    question.defaultButton = exportReminderButton();
    question.suppressionText = exportReminderSuppressionText();
    question.suppressionChecked = &suppress;
    if (Alerts::ask(parent, question) == Alerts::Answer::Default && suppress) {
        suppressExportReminder(settings);
    }
    return true;
}

}  // namespace nimbara::filemanager
