// Preferences: the window that changes the settings of a run (the export folder, the large-file
// and the large-app limit), keeps them in the user's settings file and puts them into effect.
//
// The controls are loaded from the settings in effect when the window first opens and keep
// their positions between openings; a moved slider or a chosen folder has no effect until Apply.
// Apply makes and checks the export folder first: a folder that is empty, not a full path or
// can't be made or written into is refused with a sentence and nothing changes. Otherwise the
// settings go into effect and are saved; a save that fails is said, never shown as success.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

#include "app/core/preferences_settings.h"
#include "platform/notification_center.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
struct PreferencesWindowUi;

// What the window needs of the application: the settings in effect, the folder chooser and a
// way to tell the user.
class PreferencesHost {
  public:
    virtual ~PreferencesHost() = default;
    virtual nimbara::app::RunSettings runSettings() const = 0;
    virtual void setRunSettings(const nimbara::app::RunSettings& settings) = 0;
    // Asks for one folder; nullopt when the user cancelled.
    virtual std::optional<QString> chooseFolder() = 0;
    // Tells the user, over `window`, what went wrong.
    virtual void tell(QWidget* window, const QString& sentence) = 0;
};

class PreferencesController : public QObject {
    Q_OBJECT
  public:
    // The window is built at once (hidden) as a child window of `parentWindow`; `settingsFile`
    // is the file Apply saves into.
    PreferencesController(std::shared_ptr<PreferencesHost> host, QString settingsFile,
                          QWidget* parentWindow, QObject* parent = nullptr);
    ~PreferencesController() override;
    PreferencesController(const PreferencesController&) = delete;
    PreferencesController& operator=(const PreferencesController&) = delete;

    PreferencesWindowUi& ui() { return *ui_; }
    QDialog* preferenceWindow() const;

    // Shows the window centred over its parent (loading the controls on the first opening).
    void OpenPreferenceWindow(QObject* sender = nullptr);
    void ClosedPreferenceWindow(QObject* sender = nullptr);

    // Show that tab's view and hide the other two.
    void showPreferenceGeneraView();
    void showPreferenceCleanupView();
    void showPreferenceOneCopyView();
    // The same, with the tab buttons' images following.
    void ActPreferenceGeneral(QObject* sender = nullptr);
    void ActPreferenceCleanup(QObject* sender = nullptr);
    void ActPreferenceOneClickCopy(QObject* sender = nullptr);

    // Opens the folder chooser; a chosen folder goes into the export-folder field.
    void ChangeExportFilePath(QObject* sender = nullptr);
    // The chooser's answer: a chosen folder becomes the field's text; a cancel changes nothing.
    void openPanelDidEnd(const std::optional<QString>& chosen);

    // The texts beside the sliders follow them.
    void TragTheLimttedAction(QObject* sender = nullptr);
    void TragAppLimttedAction(QObject* sender = nullptr);

    // A schedule box enables or disables its pop-up and label (a mixed state changes nothing).
    void ActCleanUpSchedulAction(QObject* sender = nullptr);
    void ActOneCopySchedulAction(QObject* sender = nullptr);

    // Apply. True when the settings are in effect and saved. Refused before the controls were
    // loaded and for an export folder that can't be used.
    bool ResetPreferenceSetting(QObject* sender = nullptr);

    // The controls hold the settings (loaded at the first opening).
    bool controlsLoaded() const { return controlsLoaded_; }

  private:
    void loadControls();
    void setTabImages(int shown);
    static void followScheduleBox(QCheckBox* box, QComboBox* popup, QLabel* label);
    void MyClosebuttonMouseDownHandle(const nimbara::Notification& notification);

    std::shared_ptr<PreferencesHost> host_;
    QString settingsFile_;
    std::unique_ptr<PreferencesWindowUi> ui_;
    QPointer<QDialog> window_;
    bool controlsLoaded_ = false;
    nimbara::ObserverBag observers_;
};
