// The settings of the run: read from the user's settings file at start-up, changed through the
// preferences window.
#include <QDir>
#include <QFileDialog>
#include <QMainWindow>
#include <QSettings>

#include "app/core/preferences_settings.h"
#include "app/preferences_controller.h"
#include "app/quennic_app_delegate.h"
#include "ui/alerts.h"
#include "ui/core/panel_start_folder.h"

namespace {

// The hub as the preferences window sees it.
class HubPreferencesHost : public PreferencesHost {
  public:
    explicit HubPreferencesHost(QuennicAppDelegate& hub) : hub_(hub) {}

    nimbara::app::RunSettings runSettings() const override {
        nimbara::app::RunSettings run;
        run.exportFolder = hub_.nimbaraExportPath();
        run.limitLargeFileSize = hub_.limitLargeFileSize();
        run.limitLargeAppSize = hub_.limitLargeAppSize();
        return run;
    }

    void setRunSettings(const nimbara::app::RunSettings& run) override {
        hub_.setNimbaraExportPath(run.exportFolder);
        hub_.setLimitLargeFileSize(run.limitLargeFileSize);
        hub_.setLimitLargeAppSize(run.limitLargeAppSize);
    }

    // A sheet on the main window that chooses one folder.
    std::optional<QString> chooseFolder() override {
        QFileDialog panel(hub_.window(), QStringLiteral("Choose the Export Folder"));
        panel.setFileMode(QFileDialog::Directory);
        panel.setOption(QFileDialog::ShowDirsOnly);
        panel.setDirectory(
            nimbara::ui::panelStartFolder(QString(), hub_.nimbaraExportPath(), QDir::homePath()));
        panel.setWindowModality(Qt::WindowModal);
        if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
            return std::nullopt;
        }
        return panel.selectedFiles().front();
    }

    void tell(QWidget* window, const QString& sentence) override {
        nimbara::Alerts::Question question;
        question.message = sentence;
        question.defaultButton = QStringLiteral("OK");
        nimbara::Alerts::ask(window, question);
    }

  private:
    QuennicAppDelegate& hub_;
};

}  // namespace

void QuennicAppDelegate::loadSavedSettings() {
    const QSettings saved(nimbara::app::userSettingsFile(), QSettings::IniFormat);
    const nimbara::app::RunSettings run =
        nimbara::app::loadRunSettings(saved, nimbara::app::defaultRunSettings(QDir::homePath()));
    setNimbaraExportPath(run.exportFolder);
    setLimitLargeFileSize(run.limitLargeFileSize);
    setLimitLargeAppSize(run.limitLargeAppSize);
}

void QuennicAppDelegate::buildPreferences() {
    if (preferences_ != nullptr) {
        return;
    }
    preferences_ = new PreferencesController(std::make_shared<HubPreferencesHost>(*this),
                                             nimbara::app::userSettingsFile(), window(), this);
}

void QuennicAppDelegate::OpenPreferenceWindow(QObject* sender) {
    if (preferences_ != nullptr) {
        preferences_->OpenPreferenceWindow(sender);
    }
}
