#include "app/preferences_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSlider>

#include <array>

#include "app/preferences_window_ui.h"
#include "platform/log_categories.h"
#include "ui/image_button.h"
#include "ui/notification_buttons.h"

namespace {

// The tab buttons' images: shown, then when another tab is shown.
struct TabImages {
    const char* down;
    const char* normal;
};
constexpr std::array<TabImages, 3> kTabImages{{
    {"generalDown.png", "generalNom.png"},
    {"cleanupDown.png", "cleanupNom.png"},
    {"oneclickcopySmallDown.png", "oneclickcopySmallNom.png"},
}};

}  // namespace

PreferencesController::PreferencesController(std::shared_ptr<PreferencesHost> host,
                                             QString settingsFile, QWidget* parentWindow,
                                             QObject* parent)
    : QObject(parent),
      host_(std::move(host)),
      settingsFile_(std::move(settingsFile)),
      ui_(buildPreferencesWindowUi(parentWindow)),
      window_(ui_->preferenceWindow) {
    PreferencesWindowUi& ui = *ui_;
    connect(ui.generaBtn, &QPushButton::clicked, this, [this] { ActPreferenceGeneral(); });
    connect(ui.cleanupBtn, &QPushButton::clicked, this, [this] { ActPreferenceCleanup(); });
    connect(ui.oneCopyBtn, &QPushButton::clicked, this, [this] { ActPreferenceOneClickCopy(); });
    connect(ui.changePathBtn, &QPushButton::clicked, this, [this] { ChangeExportFilePath(); });
    connect(ui.fileSizeSlider, &QSlider::valueChanged, this, [this] { TragTheLimttedAction(); });
    connect(ui.appSizeSlider, &QSlider::valueChanged, this, [this] { TragAppLimttedAction(); });
    connect(ui.cleanUpCheckBtn, &QCheckBox::stateChanged, this,
            [this] { ActCleanUpSchedulAction(); });
    connect(ui.onecopyCheckBtn, &QCheckBox::stateChanged, this,
            [this] { ActOneCopySchedulAction(); });
    connect(ui.applyButton, &QPushButton::clicked, this, [this] { ResetPreferenceSetting(); });
    // Escape and the window manager's close only hide the window, as the close button does.
    connect(ui.preferenceWindow, &QDialog::rejected, this, [this] { ClosedPreferenceWindow(); });

    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyClosebuttonMouseDown",
        [this](const nimbara::Notification& n) { MyClosebuttonMouseDownHandle(n); }));
}

PreferencesController::~PreferencesController() {
    observers_.clear();
    // The window goes with its parent when that went first.
    delete window_.data();
}

QDialog* PreferencesController::preferenceWindow() const {
    return window_.data();
}

void PreferencesController::OpenPreferenceWindow(QObject* /*sender*/) {
    if (!window_) {
        return;
    }
    if (!controlsLoaded_) {
        loadControls();
    }
    ui_->preferenceStatuslab->clear();
    window_->show();
    QRect frame = window_->frameGeometry();
    if (QWidget* parent = window_->parentWidget(); parent != nullptr && parent->isVisible()) {
        frame.moveCenter(parent->frameGeometry().center());
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        frame.moveCenter(screen->availableGeometry().center());
    }
    window_->move(frame.topLeft());
    window_->raise();
    window_->activateWindow();
}

void PreferencesController::ClosedPreferenceWindow(QObject* /*sender*/) {
    if (window_) {
        window_->hide();
    }
}

void PreferencesController::showPreferenceGeneraView() {
    ui_->preferenceGeneraView->show();
    ui_->preferenceCleanupView->hide();
    ui_->preferenceOneCopyView->hide();
}

void PreferencesController::showPreferenceCleanupView() {
    ui_->preferenceGeneraView->hide();
    ui_->preferenceCleanupView->show();
    ui_->preferenceOneCopyView->hide();
}

void PreferencesController::showPreferenceOneCopyView() {
    ui_->preferenceGeneraView->hide();
    ui_->preferenceCleanupView->hide();
    ui_->preferenceOneCopyView->show();
}

void PreferencesController::ActPreferenceGeneral(QObject* /*sender*/) {
    showPreferenceGeneraView();
    setTabImages(0);
}

void PreferencesController::ActPreferenceCleanup(QObject* /*sender*/) {
    showPreferenceCleanupView();
    setTabImages(1);
}

void PreferencesController::ActPreferenceOneClickCopy(QObject* /*sender*/) {
    showPreferenceOneCopyView();
    setTabImages(2);
}

void PreferencesController::setTabImages(int shown) {
    const std::array<nimbara::ui::ImageButton*, 3> tabs{ui_->generaBtn, ui_->cleanupBtn,
                                                        ui_->oneCopyBtn};
    for (int i = 0; i < 3; ++i) {
        tabs[i]->setImage(QLatin1String(i == shown ? kTabImages[i].down : kTabImages[i].normal));
    }
}

void PreferencesController::ChangeExportFilePath(QObject* /*sender*/) {
    openPanelDidEnd(host_->chooseFolder());
}

void PreferencesController::openPanelDidEnd(const std::optional<QString>& chosen) {
    if (chosen && !chosen->isEmpty()) {
        ui_->nimbaraPathlab->setText(*chosen);
    }
}

void PreferencesController::TragTheLimttedAction(QObject* /*sender*/) {
    const QSlider* slider = ui_->fileSizeSlider;
    ui_->fileSizeSliderInfolab->setText(nimbara::app::largeFileSliderText(
        nimbara::app::largeFileMegabytes(slider->value(), slider->maximum())));
}

void PreferencesController::TragAppLimttedAction(QObject* /*sender*/) {
    ui_->appSizeSliderlab->setText(nimbara::app::largeAppSliderText(ui_->appSizeSlider->value()));
}

void PreferencesController::followScheduleBox(QCheckBox* box, QComboBox* popup, QLabel* label) {
    const Qt::CheckState state = box->checkState();
    if (state == Qt::PartiallyChecked) {
        return;
    }
    const bool on = state == Qt::Checked;
    popup->setEnabled(on);
    label->setEnabled(on);
}

void PreferencesController::ActCleanUpSchedulAction(QObject* /*sender*/) {
    followScheduleBox(ui_->cleanUpCheckBtn, ui_->cleanUpSchedulButton, ui_->cheanupSchedullab);
}

void PreferencesController::ActOneCopySchedulAction(QObject* /*sender*/) {
    followScheduleBox(ui_->onecopyCheckBtn, ui_->oneCopySchedulButton, ui_->onecopySchedullab);
}

void PreferencesController::loadControls() {
    const nimbara::app::RunSettings run = host_->runSettings();
    PreferencesWindowUi& ui = *ui_;
    ui.nimbaraPathlab->setText(run.exportFolder);
    ui.fileSizeSlider->setValue(nimbara::app::largeFileSliderPosition(
        run.limitLargeFileSize, ui.fileSizeSlider->maximum()));
    ui.appSizeSlider->setValue(
        nimbara::app::largeAppSliderPosition(run.limitLargeAppSize, ui.appSizeSlider->maximum()));
    // The texts, also when a slider kept its value.
    TragTheLimttedAction();
    TragAppLimttedAction();
    controlsLoaded_ = true;
}

bool PreferencesController::ResetPreferenceSetting(QObject* /*sender*/) {
    PreferencesWindowUi& ui = *ui_;
    if (!controlsLoaded_) {
        // The controls don't hold the settings yet: applying them would replace the settings
        // with whatever the window was built with.
        qCWarning(lcApp) << "Apply before the preferences were loaded: ignored";
        return false;
    }
    ui.preferenceStatuslab->clear();
    const int fileMegabytes =
        nimbara::app::largeFileMegabytes(ui.fileSizeSlider->value(), ui.fileSizeSlider->maximum());
    const int appMegabytes = ui.appSizeSlider->value();

    const nimbara::app::ExportFolderCheck folder =
        nimbara::app::prepareExportFolder(ui.nimbaraPathlab->text());
    if (!folder.ok()) {
        qCWarning(lcApp).noquote() << "export folder refused:" << folder.refusal;
        host_->tell(window_, folder.refusal + QStringLiteral(" The settings were not changed."));
        return false;
    }

    nimbara::app::RunSettings run;
    run.exportFolder = folder.folder;
    run.limitLargeFileSize = nimbara::app::largeFileLimit(fileMegabytes);
    run.limitLargeAppSize = nimbara::app::largeAppLimit(appMegabytes);
    host_->setRunSettings(run);
    ui.nimbaraPathlab->setText(run.exportFolder);

    QSettings settings(settingsFile_, QSettings::IniFormat);
    QString error;
    if (!nimbara::app::storeRunSettings(settings, run, &error)) {
        host_->tell(window_,
                    QStringLiteral("The settings are in effect until Nimbara quits, but they "
                                   "could not be saved: %1.")
                        .arg(error));
        ui.preferenceStatuslab->setText(QStringLiteral("Applied for this run only (not saved)."));
        return false;
    }
    ui.preferenceStatuslab->setText(QStringLiteral("Applied and saved."));
    return true;
}

void PreferencesController::MyClosebuttonMouseDownHandle(
    const nimbara::Notification& notification) {
    PRClosedButton* close = ui_->closedPreferenceButton;
    if (!window_ || notification.objectAs<QObject*>(nullptr) != close) {
        return;
    }
    close->setImage(QStringLiteral("Close_Down.png"));
    ClosedPreferenceWindow();
    close->setImage(QStringLiteral("Close_Nom.png"));
}
