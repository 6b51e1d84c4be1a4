#include "app/preferences_window_ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <QWindow>

#include "app/core/preferences_settings.h"
#include "ui/image_button.h"
#include "ui/notification_buttons.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kWindowWidth = 540;
constexpr int kWindowHeight = 420;

// Pressing on the title strip moves the window (it has no system title bar).
class MoveByStrip : public QObject {
  public:
    explicit MoveByStrip(QWidget* window) : QObject(window), window_(window) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && window_->windowHandle() != nullptr) {
                window_->windowHandle()->startSystemMove();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QWidget* window_;
};

nimbara::ui::ImageButton* makeTab(QWidget* parent, const char* objectName, const QString& image,
                                  const QString& toolTip) {
    auto* tab = named(new nimbara::ui::ImageButton(parent), objectName);
    tab->setImage(image);
    tab->setFixedSize(96, 36);
    tab->setFocusPolicy(Qt::NoFocus);
    tab->setToolTip(toolTip);
    return tab;
}

QLabel* makeNote(QWidget* parent, const char* objectName, const QString& text) {
    QLabel* note = makeLabel(parent, objectName, text, 11, nimbara::ui::kLabelSlate);
    note->setWordWrap(true);
    return note;
}

QSlider* makeSlider(QWidget* parent, const char* objectName, int maximum) {
    auto* slider = named(new QSlider(Qt::Horizontal, parent), objectName);
    slider->setRange(0, maximum);
    slider->setSingleStep(1);
    slider->setPageStep(std::max(1, maximum / 10));
    return slider;
}

// A schedule box: the check box, then the label and the pop-up of intervals (both disabled until
// the box is ticked), then the note saying that nothing runs on a schedule.
void addSchedule(QVBoxLayout* column, QWidget* parent, QCheckBox*& check, const char* checkName,
                 const QString& checkText, QLabel*& label, const char* labelName, QComboBox*& popup,
                 const char* popupName, QLabel*& note, const char* noteName,
                 const QString& noteText) {
    check = named(new QCheckBox(checkText, parent), checkName);
    check->setFont(nimbara::ui::appFont(12));
    label = makeLabel(parent, labelName, QStringLiteral("Interval:"), 12);
    popup = named(new QComboBox(parent), popupName);
    popup->setFont(nimbara::ui::appFont(11));
    popup->clear();
    popup->addItems(
        {QStringLiteral("Every Day"), QStringLiteral("Every Week"), QStringLiteral("Every Month")});
    label->setEnabled(false);
    popup->setEnabled(false);
    note = makeNote(parent, noteName, noteText);

    auto* row = new QHBoxLayout();
    row->addSpacing(22);
    row->addWidget(label);
    row->addWidget(popup);
    row->addStretch(1);
    column->addWidget(check);
    column->addLayout(row);
    column->addWidget(note);
}

void buildGeneral(PreferencesWindowUi& ui) {
    QWidget* view = ui.preferenceGeneraView;
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(20, 18, 20, 16);
    column->setSpacing(8);
    column->addWidget(makeLabel(view, "exportFolderTitlelab", QStringLiteral("Export folder"), 13,
                                nimbara::ui::build::kText, true));
    column->addWidget(makeNote(view, "exportFolderInfolab",
                               QStringLiteral("Exports, copies and app archives are saved in this "
                                              "folder. It is made when you apply it.")));
    ui.nimbaraPathlab = named(new QLineEdit(view), "nimbaraPathlab");
    ui.nimbaraPathlab->setFont(nimbara::ui::appFont(12));
    ui.nimbaraPathlab->setToolTip(QStringLiteral("The folder exports go to"));
    ui.changePathBtn = named(new QPushButton(QStringLiteral("Change..."), view), "changePathBtn");
    ui.changePathBtn->setFont(nimbara::ui::appFont(12));
    auto* row = new QHBoxLayout();
    row->addWidget(ui.nimbaraPathlab, 1);
    row->addWidget(ui.changePathBtn);
    column->addLayout(row);
    column->addStretch(1);
}

void buildCleanup(PreferencesWindowUi& ui) {
    QWidget* view = ui.preferenceCleanupView;
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(20, 14, 20, 12);
    column->setSpacing(6);
    ui.fileSizeSliderInfolab = makeLabel(view, "fileSizeSliderInfolab", QString(), 12);
    ui.fileSizeSlider = makeSlider(view, "fileSizeSlider", nimbara::app::kLargeFileSliderMegabytes);
    ui.appSizeSliderlab = makeLabel(view, "appSizeSliderlab", QString(), 12);
    ui.appSizeSlider = makeSlider(view, "appSizeSlider", nimbara::app::kLargeAppSliderMegabytes);
    column->addWidget(ui.fileSizeSliderInfolab);
    column->addWidget(ui.fileSizeSlider);
    column->addWidget(ui.appSizeSliderlab);
    column->addWidget(ui.appSizeSlider);
    column->addWidget(makeNote(view, "sizeLimitInfolab",
                               QStringLiteral("Files and apps above these sizes are listed as "
                                              "large; a file limit below 2 MB counts as 2 MB.")));
    column->addSpacing(6);
    addSchedule(column, view, ui.cleanUpCheckBtn, "cleanUpCheckBtn",
                QStringLiteral("Clean up on a schedule"), ui.cheanupSchedullab, "cheanupSchedullab",
                ui.cleanUpSchedulButton, "cleanUpSchedulButton", ui.cleanUpScheduleNotelab,
                "cleanUpScheduleNotelab",
                QStringLiteral("Nothing runs on a schedule: the interval is not used, and a "
                               "clean-up runs only when you start it."));
    column->addStretch(1);
}

void buildOneCopy(PreferencesWindowUi& ui) {
    QWidget* view = ui.preferenceOneCopyView;
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(20, 18, 20, 16);
    column->setSpacing(8);
    column->addWidget(makeNote(view, "oneCopyInfolab",
                               QStringLiteral("One-click copy saves into the export folder chosen "
                                              "under General.")));
    addSchedule(column, view, ui.onecopyCheckBtn, "onecopyCheckBtn",
                QStringLiteral("Copy on a schedule"), ui.onecopySchedullab, "onecopySchedullab",
                ui.oneCopySchedulButton, "oneCopySchedulButton", ui.oneCopyScheduleNotelab,
                "oneCopyScheduleNotelab",
                QStringLiteral("Nothing runs on a schedule: the interval is not used, and a "
                               "one-click copy runs only when you start it."));
    column->addStretch(1);
}

}  // namespace

std::unique_ptr<PreferencesWindowUi> buildPreferencesWindowUi(QWidget* parent) {
    auto ui = std::make_unique<PreferencesWindowUi>();
    auto* window = named(new QDialog(parent), "preferenceWindow");
    ui->preferenceWindow = window;
    window->setWindowTitle(QStringLiteral("Preferences"));
    window->setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    window->setFixedSize(kWindowWidth, kWindowHeight);
    nimbara::ui::fillBackground(window, nimbara::ui::kWindowBlue);

    auto* column = new QVBoxLayout(window);
    column->setContentsMargins(16, 0, 16, 14);
    column->setSpacing(8);

    // Title strip: the close button at the left, the title in the middle.
    ui->titleBarView = named(new QWidget(window), "preferenceTitleBarView");
    ui->titleBarView->setFixedHeight(36);
    ui->titleBarView->installEventFilter(new MoveByStrip(window));
    ui->closedPreferenceButton =
        named(new PRClosedButton(ui->titleBarView), "closedPreferenceButton");
    ui->closedPreferenceButton->setImage(QStringLiteral("Close_Nom.png"));
    ui->closedPreferenceButton->setToolTip(QStringLiteral("Close"));
    ui->closedPreferenceButton->setFocusPolicy(Qt::NoFocus);
    ui->closedPreferenceButton->setGeometry(0, 11, 14, 14);
    QLabel* title = makeLabel(ui->titleBarView, "preferenceTitlelab", QStringLiteral("Preferences"),
                              13, Qt::white, true);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(0, 0, kWindowWidth - 32, 36);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->closedPreferenceButton->raise();
    column->addWidget(ui->titleBarView);

    // A light card: the tab buttons (drawn for a light ground) over the three tab views, which
    // share one place in preferenceMainView; General shows first.
    auto* card = named(new QWidget(window), "preferenceCardView");
    nimbara::ui::fillBackground(card, QColor(244, 247, 251));
    auto* cardColumn = new QVBoxLayout(card);
    cardColumn->setContentsMargins(0, 6, 0, 0);
    cardColumn->setSpacing(6);
    auto* tabs = new QHBoxLayout();
    tabs->setSpacing(6);
    tabs->addStretch(1);
    ui->generaBtn =
        makeTab(card, "generaBtn", QStringLiteral("generalDown.png"), QStringLiteral("General"));
    ui->cleanupBtn =
        makeTab(card, "cleanupBtn", QStringLiteral("cleanupNom.png"), QStringLiteral("Cleanup"));
    ui->oneCopyBtn = makeTab(card, "oneCopyBtn", QStringLiteral("oneclickcopySmallNom.png"),
                             QStringLiteral("One-click copy"));
    tabs->addWidget(ui->generaBtn);
    tabs->addWidget(ui->cleanupBtn);
    tabs->addWidget(ui->oneCopyBtn);
    tabs->addStretch(1);
    cardColumn->addLayout(tabs);

    ui->preferenceMainView = named(new QWidget(card), "preferenceMainView");
    nimbara::ui::fillBackground(ui->preferenceMainView, Qt::white);
    auto* stack = new QGridLayout(ui->preferenceMainView);
    stack->setContentsMargins(0, 0, 0, 0);
    ui->preferenceGeneraView = named(new QWidget(ui->preferenceMainView), "preferenceGeneraView");
    ui->preferenceCleanupView = named(new QWidget(ui->preferenceMainView), "preferenceCleanupView");
    ui->preferenceOneCopyView = named(new QWidget(ui->preferenceMainView), "preferenceOneCopyView");
    for (QWidget* view :
         {ui->preferenceGeneraView, ui->preferenceCleanupView, ui->preferenceOneCopyView}) {
        stack->addWidget(view, 0, 0);
    }
    buildGeneral(*ui);
    buildCleanup(*ui);
    buildOneCopy(*ui);
    ui->preferenceCleanupView->hide();
    ui->preferenceOneCopyView->hide();
    cardColumn->addWidget(ui->preferenceMainView, 1);
    column->addWidget(card, 1);

    auto* bottom = new QHBoxLayout();
    ui->preferenceStatuslab = makeLabel(window, "preferenceStatuslab", QString(), 11, Qt::white);
    ui->preferenceStatuslab->setWordWrap(true);
    ui->applyButton = named(new QPushButton(QStringLiteral("Apply"), window), "applyButton");
    ui->applyButton->setFont(nimbara::ui::appFont(12));
    ui->applyButton->setDefault(true);
    bottom->addWidget(ui->preferenceStatuslab, 1);
    bottom->addWidget(ui->applyButton);
    column->addLayout(bottom);
    return ui;
}
