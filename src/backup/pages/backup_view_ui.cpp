#include "backup/pages/backup_view_ui.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;
constexpr int kTitlePoints = 16;
constexpr int kStripHeight = 36;

// A state view: a device picture beside its content, the background strip along its bottom.
struct StateView {
    QWidget* view;
    QVBoxLayout* content;
    QLabel* picture;
};

StateView makeStateView(QWidget* parent, const char* name, const char* stripName, QLabel*& strip) {
    auto* view = named(new QWidget(parent), name);
    auto* outer = new QVBoxLayout(view);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(48, 40, 48, 24);
    row->setSpacing(36);
    QLabel* picture = makeImageView(view, "", QStringLiteral("iphoneImage"), false);
    picture->setObjectName(QString());
    picture->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    row->addWidget(picture);
    auto* content = new QVBoxLayout();
    content->setSpacing(12);
    row->addLayout(content, 1);
    outer->addLayout(row, 1);
    strip = makeImageView(view, stripName, QStringLiteral("bottomGroundImage"));
    strip->setFixedHeight(kStripHeight);
    outer->addWidget(strip);
    return {view, content, picture};
}

QLabel* makeInfo(QWidget* parent, const char* name, const QString& text) {
    QLabel* label = makeLabel(parent, name, text, kInfoPoints);
    label->setWordWrap(true);
    return label;
}

}  // namespace

BackupViewUi buildBackupView() {
    BackupViewUi ui;
    ui.view = named(new QWidget(), "BackupViewRoot");
    auto* root = new QGridLayout(ui.view);
    root->setContentsMargins(0, 0, 0, 0);
    ui.groundImageView = makeImageView(ui.view, "groundImageView", QString());
    root->addWidget(ui.groundImageView, 0, 0);
    ui.mainShowView = named(new QWidget(ui.view), "mainShowView");
    root->addWidget(ui.mainShowView, 0, 0);
    auto* states = new QGridLayout(ui.mainShowView);
    states->setContentsMargins(0, 0, 0, 0);

    // Ready.
    StateView start =
        makeStateView(ui.mainShowView, "startBackupView", "backup1ImageView", ui.backup1ImageView);
    ui.startBackupView = start.view;
    ui.backupTitlelab =
        makeLabel(start.view, "backupTitlelab", QStringLiteral("Back up your device"), kTitlePoints,
                  nimbara::ui::build::kText, true);
    ui.backupinfolab1 = makeInfo(
        start.view, "backupinfolab1",
        QStringLiteral("Make a full backup of the connected device on this computer: its "
                       "contacts, messages, call history, notes, Safari data, calendars, photos "
                       "and settings. The backup browser can read it afterwards."));
    ui.backupinfolab2 = makeInfo(
        start.view, "backupinfolab2",
        QStringLiteral("Keep the device connected and unlocked until the backup has finished. "
                       "A new backup of a device replaces its earlier one."));
    ui.backupMatrix = named(new QWidget(start.view), "backupMatrix");
    ui.backupMatrix->setFont(nimbara::ui::appFont(kInfoPoints));
    auto* matrix = new QVBoxLayout(ui.backupMatrix);
    matrix->setContentsMargins(0, 4, 0, 0);
    ui.defaultLocationBtn =
        named(new QRadioButton(QStringLiteral("Default backup folder"), ui.backupMatrix),
              "defaultLocationBtn");
    ui.otherLocationBtn = named(new QRadioButton(QStringLiteral("Other folder"), ui.backupMatrix),
                                "otherLocationBtn");
    ui.backupMatrixGroup = new QButtonGroup(ui.backupMatrix);
    ui.backupMatrixGroup->addButton(ui.defaultLocationBtn, 0);
    ui.backupMatrixGroup->addButton(ui.otherLocationBtn, 1);
    ui.defaultLocationBtn->setChecked(true);
    matrix->addWidget(ui.defaultLocationBtn);
    matrix->addWidget(ui.otherLocationBtn);
    ui.backupLocationlab = named(new QLineEdit(start.view), "backupLocationlab");
    ui.backupLocationlab->setFont(nimbara::ui::appFont(kInfoPoints));
    ui.backupLocationlab->setEnabled(false);
    ui.backupBtn = named(new QPushButton(QStringLiteral("Back Up Now"), start.view), "backupBtn");
    ui.backupBtn->setDefault(true);
    ui.locationChecklab = named(new QLabel(QStringLiteral("Looking at the folder..."), start.view),
                                "locationChecklab");
    ui.locationChecklab->setFont(nimbara::ui::appFont(kInfoPoints));
    ui.locationChecklab->hide();
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addWidget(ui.locationChecklab);
    buttonRow->addStretch(1);
    buttonRow->addWidget(ui.backupBtn);
    start.content->addWidget(ui.backupTitlelab);
    start.content->addWidget(ui.backupinfolab1);
    start.content->addWidget(ui.backupinfolab2);
    start.content->addWidget(ui.backupMatrix);
    start.content->addWidget(ui.backupLocationlab);
    start.content->addStretch(1);
    start.content->addLayout(buttonRow);
    states->addWidget(ui.startBackupView, 0, 0);

    // Backing up.
    StateView busy =
        makeStateView(ui.mainShowView, "BackupingView", "backup2ImageView", ui.backup2ImageView);
    ui.BackupingView = busy.view;
    nimbara::ui::setImageViewImage(busy.picture, QStringLiteral("scaniphone1"));
    ui.backingUplab = makeLabel(busy.view, "backingUplab", QStringLiteral("Backing up..."),
                                kTitlePoints, nimbara::ui::build::kText, true);
    ui.backingUplab->setWordWrap(true);
    ui.backingUpNotelab = makeInfo(
        busy.view, "backingUpNotelab",
        QStringLiteral("Please keep the device connected until the backup has finished. This "
                       "may take a while."));
    ui.backupStatuslab = makeInfo(busy.view, "backupStatuslab", QString());
    ui.backupStatuslab->setWordWrap(true);
    ui.backupStatuslab->hide();
    ui.backupProgressBar = named(new QProgressBar(busy.view), "backupProgressBar");
    ui.backupProgressBar->setRange(0, 1000);
    ui.backupProgressBar->setTextVisible(false);
    ui.backupProgressBar->hide();
    ui.backupProgresser = named(new FlashView(busy.view), "backupProgresser");
    auto* spinnerRow = new QHBoxLayout();
    spinnerRow->addWidget(ui.backupProgresser);
    spinnerRow->addStretch(1);
    busy.content->addWidget(ui.backingUplab);
    busy.content->addWidget(ui.backingUpNotelab);
    busy.content->addWidget(ui.backupStatuslab);
    busy.content->addWidget(ui.backupProgressBar);
    busy.content->addLayout(spinnerRow);
    busy.content->addStretch(1);
    states->addWidget(ui.BackupingView, 0, 0);

    // Finished.
    StateView done =
        makeStateView(ui.mainShowView, "finishBackupView", "backup3ImageView", ui.backup3ImageView);
    ui.finishBackupView = done.view;
    ui.finishImageView = done.picture;
    ui.finishImageView->setObjectName(QStringLiteral("finishImageView"));
    ui.backupfinishlab =
        makeLabel(done.view, "backupfinishlab", QString(), kInfoPoints, nimbara::ui::kLabelSlate);
    ui.backupfinishlab->setWordWrap(true);
    ui.backupDetaillab = makeInfo(done.view, "backupDetaillab", QString());
    ui.backupDetaillab->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui.broswerBackupBtn =
        named(new QPushButton(QStringLiteral("View Backups"), done.view), "broswerBackupBtn");
    auto* browseRow = new QHBoxLayout();
    browseRow->addStretch(1);
    browseRow->addWidget(ui.broswerBackupBtn);
    done.content->addWidget(ui.backupfinishlab);
    done.content->addWidget(ui.backupDetaillab);
    done.content->addStretch(1);
    done.content->addLayout(browseRow);
    states->addWidget(ui.finishBackupView, 0, 0);
    return ui;
}
