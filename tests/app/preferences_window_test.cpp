// The preferences window through a small fake of the application, and the settings surviving a
// restart of the hub and reaching its pages.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QTableView>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/core/preferences_settings.h"
#include "app/preferences_controller.h"
#include "app/preferences_window_ui.h"
#include "app_test_support.h"
#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "delegate_fixture.h"
#include "platform/notification_center.h"
#include "test_support.h"
#include "ui/notification_buttons.h"

namespace nimbara::test {
namespace {

using app::RunSettings;

QString qpath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

class FakeHost : public PreferencesHost {
  public:
    RunSettings runSettings() const override { return run; }
    void setRunSettings(const RunSettings& settings) override {
        run = settings;
        ++applied;
    }
    std::optional<QString> chooseFolder() override {
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void tell(QWidget*, const QString& sentence) override { told.push_back(sentence); }

    RunSettings run;
    int applied = 0;
    std::deque<std::optional<QString>> answers;
    std::vector<QString> told;
};

class PreferencesWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ensureApplication();
        host_->run.exportFolder = qpath(tmp_ / "exports");
        host_->run.limitLargeFileSize = 7'000'000;
        host_->run.limitLargeAppSize = 300'000'000;
        controller_ = std::make_unique<PreferencesController>(host_, settingsFile(), nullptr);
    }

    QString settingsFile() const { return qpath(tmp_ / "Nimbara" / "Nimbara.ini"); }
    PreferencesWindowUi& ui() { return controller_->ui(); }
    RunSettings saved() const {
        const QSettings settings(settingsFile(), QSettings::IniFormat);
        return app::loadRunSettings(settings, app::defaultRunSettings(QStringLiteral("/none")));
    }

    TempDir tmp_;
    std::shared_ptr<FakeHost> host_ = std::make_shared<FakeHost>();
    std::unique_ptr<PreferencesController> controller_;
};

TEST_F(PreferencesWindow, ControlsStartFromTheSettingsAndApplyKeepsWhatTheyShow) {
    controller_->OpenPreferenceWindow();
    EXPECT_TRUE(controller_->preferenceWindow()->isVisible());
    EXPECT_EQ(ui().nimbaraPathlab->text(), host_->run.exportFolder);
    EXPECT_EQ(ui().fileSizeSliderInfolab->text(), "Mimimum Large File Size: 7MB");
    EXPECT_EQ(ui().appSizeSliderlab->text(), "Mimimum Large App File Size: 300MB");

    // A cancelled chooser leaves the field; a chosen folder fills it.
    host_->answers = {std::nullopt, qpath(tmp_ / "chosen")};
    controller_->ChangeExportFilePath();
    EXPECT_EQ(ui().nimbaraPathlab->text(), host_->run.exportFolder);
    controller_->ChangeExportFilePath();
    EXPECT_EQ(ui().nimbaraPathlab->text(), qpath(tmp_ / "chosen"));
    ui().fileSizeSlider->setValue(12);
    ui().appSizeSlider->setValue(40);
    EXPECT_EQ(ui().fileSizeSliderInfolab->text(), "Mimimum Large File Size: 12MB");
    EXPECT_EQ(ui().appSizeSliderlab->text(), "Mimimum Large App File Size: 40MB");
    EXPECT_EQ(host_->applied, 0);  // nothing until Apply

    EXPECT_TRUE(controller_->ResetPreferenceSetting());
    const RunSettings expected{qpath(tmp_ / "chosen"), 12'000'000, 40'000'000};
    EXPECT_EQ(host_->run, expected);
    EXPECT_EQ(saved(), expected);
    EXPECT_TRUE(std::filesystem::is_directory(tmp_ / "chosen"));
    EXPECT_TRUE(host_->told.empty());
    EXPECT_TRUE(controller_->preferenceWindow()->isVisible());  // the window stays open

    NotificationCenter::defaultCenter().post("MyClosebuttonMouseDown",
                                             static_cast<QObject*>(ui().closedPreferenceButton));
    EXPECT_FALSE(controller_->preferenceWindow()->isVisible());
}

TEST_F(PreferencesWindow, NothingChangesWhenApplyCantUseWhatTheWindowShows) {
    // Before the controls were loaded from the settings, Apply would store the window's own
    // start values.
    EXPECT_FALSE(controller_->ResetPreferenceSetting());
    EXPECT_EQ(host_->applied, 0);
    EXPECT_FALSE(QFile::exists(settingsFile()));

    std::ofstream(tmp_ / "a-file") << "x";
    controller_->OpenPreferenceWindow();
    for (const QString& folder :
         {QString(), QStringLiteral("relative/exports"), qpath(tmp_ / "a-file" / "below")}) {
        SCOPED_TRACE(folder.toStdString());
        host_->told.clear();
        ui().nimbaraPathlab->setText(folder);
        ui().fileSizeSlider->setValue(40);
        EXPECT_FALSE(controller_->ResetPreferenceSetting());
        ASSERT_EQ(host_->told.size(), 1u);
        EXPECT_TRUE(host_->told.front().endsWith("The settings were not changed."));
        EXPECT_EQ(host_->applied, 0);
        EXPECT_FALSE(QFile::exists(settingsFile()));
    }
}

TEST_F(PreferencesWindow, ASettingsFileThatCantBeWrittenIsSaid) {
    std::ofstream(tmp_ / "plain") << "x";
    controller_ = std::make_unique<PreferencesController>(
        host_, qpath(tmp_ / "plain" / "Nimbara.ini"), nullptr);
    controller_->OpenPreferenceWindow();
    ui().appSizeSlider->setValue(10);
    EXPECT_FALSE(controller_->ResetPreferenceSetting());
    EXPECT_EQ(host_->run.limitLargeAppSize, 10'000'000u);  // in effect for this run
    ASSERT_EQ(host_->told.size(), 1u);
    EXPECT_TRUE(host_->told.front().contains("could not be saved"));
    EXPECT_FALSE(ui().preferenceStatuslab->text().contains("saved."));
}

TEST_F(PreferencesWindow, ScheduleBoxesOnlyEnableTheirPopups) {
    for (auto [box, popup] : {std::pair{ui().cleanUpCheckBtn, ui().cleanUpSchedulButton},
                              std::pair{ui().onecopyCheckBtn, ui().oneCopySchedulButton}}) {
        SCOPED_TRACE(box->objectName().toStdString());
        EXPECT_FALSE(popup->isEnabled());
        box->setCheckState(Qt::Checked);
        EXPECT_TRUE(popup->isEnabled());
        box->setCheckState(Qt::PartiallyChecked);  // a mixed state changes nothing
        EXPECT_TRUE(popup->isEnabled());
        box->setCheckState(Qt::Unchecked);
        EXPECT_FALSE(popup->isEnabled());
    }
}

// The hub reads its settings from the user's settings file under the test's home folder.
class PreferencesRestart : public DelegateTest {
  protected:
    void SetUp() override {
        if (const char* config = std::getenv("XDG_CONFIG_HOME")) {
            savedConfig_ = config;
        }
        ::unsetenv("XDG_CONFIG_HOME");
        DelegateTest::SetUp();
    }
    void TearDown() override {
        DelegateTest::TearDown();
        if (savedConfig_) {
            ::setenv("XDG_CONFIG_HOME", savedConfig_->c_str(), 1);
        }
    }

    void restart() {
        delegate_.reset();
        delegate_ = std::make_unique<QuennicAppDelegate>();
        delegate_->applicationDidFinishLaunching();
    }

    std::optional<std::string> savedConfig_;
};

TEST_F(PreferencesRestart, AppliedSettingsSurviveARestartAndReachThePages) {
    EXPECT_EQ(app::userSettingsFile(), qpath(tmp_ / "home" / ".config/Nimbara/Nimbara.ini"));
    ASSERT_TRUE(ui().preferencesItem->isVisible());
    ui().preferencesItem->trigger();
    PreferencesController* preferences = hub().preferencesController();
    ASSERT_NE(preferences, nullptr);
    ASSERT_TRUE(preferences->preferenceWindow()->isVisible());
    PreferencesWindowUi& window = preferences->ui();
    EXPECT_EQ(window.nimbaraPathlab->text(), qpath(tmp_ / "home/Documents/Pellucor"));
    EXPECT_EQ(window.fileSizeSliderInfolab->text(), "Mimimum Large File Size: 5MB");
    EXPECT_EQ(window.appSizeSliderlab->text(), "Mimimum Large App File Size: 100MB");

    const QString folder = qpath(tmp_ / "home" / "Exports here");
    window.nimbaraPathlab->setText(folder);
    window.fileSizeSlider->setValue(20);
    window.appSizeSlider->setValue(250);
    window.applyButton->click();
    EXPECT_EQ(hub().nimbaraExportPath(), folder);

    restart();
    EXPECT_EQ(hub().nimbaraExportPath(), folder);
    EXPECT_EQ(hub().limitLargeFileSize(), 20'000'000u);
    EXPECT_EQ(hub().limitLargeAppSize(), 250'000'000u);
    // The large-file finder takes the limit when it starts a scan (here without a device).
    hub().findLargerFileViewController()->startScanFindLargeFileAction();
    EXPECT_EQ(hub().findLargerFileViewController()->largeFileSize(), 20'000'000u);
    hub().OpenPreferenceWindow();
    PreferencesWindowUi& reopened = hub().preferencesController()->ui();
    EXPECT_EQ(reopened.nimbaraPathlab->text(), folder);
    EXPECT_EQ(reopened.fileSizeSliderInfolab->text(), "Mimimum Large File Size: 20MB");
    EXPECT_EQ(reopened.appSizeSliderlab->text(), "Mimimum Large App File Size: 250MB");
}

}  // namespace
}  // namespace nimbara::test
