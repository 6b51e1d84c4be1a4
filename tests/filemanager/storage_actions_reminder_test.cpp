// The export reminder: its texts, and the suppression box kept in the settings.
#include <gtest/gtest.h>

#include <QSettings>

#include <vector>

#include "filemanager/export_reminder.h"
#include "filemanager/pages/export_reminder_dialog.h"
#include "test_support.h"
#include "ui/alerts.h"

namespace nimbara::test {
namespace {

class ExportReminderTest : public ::testing::Test {
  protected:
    QString settingsFile() const {
        return QString::fromStdString((tmp_ / "settings.ini").string());
    }

    TempDir tmp_;
    std::vector<Alerts::Question> asked;
    // Answers " Ok ", ticking the box when `tick`.
    Alerts::Handler answer(bool tick) {
        return [this, tick](QWidget*, const Alerts::Question& question) {
            asked.push_back(question);
            if (tick && question.suppressionChecked != nullptr) {
                *question.suppressionChecked = true;
            }
            return Alerts::Answer::Default;
        };
    }
};

TEST_F(ExportReminderTest, ShowsTheFolderUntilTheBoxIsTicked) {
    QSettings settings(settingsFile(), QSettings::IniFormat);
    {
        Alerts::ScopedHandler handler(answer(false));
        EXPECT_TRUE(
            filemanager::exportSourcePathRemind(nullptr, QStringLiteral("/home/u/Out"), settings));
        EXPECT_TRUE(
            filemanager::exportSourcePathRemind(nullptr, QStringLiteral("/home/u/Out"), settings));
    }
    ASSERT_EQ(asked.size(), 2u);
    const Alerts::Question& q = asked[0];
    EXPECT_EQ(q.message, QStringLiteral(" Export Location"));
    EXPECT_EQ(q.defaultButton, QStringLiteral(" Ok "));
    EXPECT_TRUE(q.alternateButton.isEmpty());
    EXPECT_EQ(q.informativeText,
              QStringLiteral("Default export location:  /home/u/Out\nIf you want to change it, "
                             "please reset the export path -> Preferences."));
    EXPECT_FALSE(q.suppressionText.isEmpty());
    EXPECT_FALSE(filemanager::exportReminderSuppressed(settings));

    // Ticked once: stored, and never shown again, in this run or the next.
    {
        Alerts::ScopedHandler handler(answer(true));
        EXPECT_TRUE(filemanager::exportSourcePathRemind(nullptr, QStringLiteral("/x"), settings));
        EXPECT_FALSE(filemanager::exportSourcePathRemind(nullptr, QStringLiteral("/x"), settings));
    }
    EXPECT_EQ(asked.size(), 3u);
    QSettings reread(settingsFile(), QSettings::IniFormat);
    EXPECT_TRUE(filemanager::exportReminderSuppressed(reread));
    EXPECT_TRUE(reread.value(QStringLiteral("CLPAlertSuppress")).toBool());
    LogRecorder log;
    Alerts::ScopedHandler handler(answer(false));
    EXPECT_FALSE(filemanager::exportSourcePathRemind(nullptr, QStringLiteral("/x"), reread));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(log.count(QStringLiteral("CLPAlertSuppress suppressed")), 1);
}

}  // namespace
}  // namespace nimbara::test
