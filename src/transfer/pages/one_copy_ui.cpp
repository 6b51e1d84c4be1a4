#include "transfer/pages/one_copy_ui.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "ui/flash_view.h"
#include "ui/image_button.h"
#include "ui/notification_buttons.h"
#include "ui/window_builders.h"

using nimbara::transfer::OneCopyRow;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

namespace {

constexpr int kInfoPoints = 11;

struct RowNames {
    OneCopyRow row;
    const char* check;
    const char* progress;
    const char* ok;
};

// Two columns: media on the left, records on the right.
constexpr RowNames kRows[] = {
    {OneCopyRow::CameraRoll, "carmeRolCheckBtn", "carmeRolProgress", "carmeRolOkBtn"},
    {OneCopyRow::PhotoLibrary, "photoLibCheckBtn", "photoLibProgress", "photoLibOkBtn"},
    {OneCopyRow::PhotoStream, "photoStreamCheckBtn", "photoStreamProgress", "photoStreamOkBtn"},
    {OneCopyRow::Music, "musicCheckBtn", "musicProgress", "musicOkBtn"},
    {OneCopyRow::Video, "videoCheckBtn", "videoProgress", "videoOkBtn"},
    {OneCopyRow::VoiceMemos, "voiceMemoCheckBtn", "voiceMemoProgress", "voiceMemoOkBtn"},
    {OneCopyRow::Contacts, "contactCheckBtn", "contactProgress", "contactOkBtn"},
    {OneCopyRow::Messages, "messageCheckBtn", "messageProgress", "messageOkBtn"},
    {OneCopyRow::Notes, "noteCheckBtn", "noteProgress", "noteOkBtn"},
    {OneCopyRow::Bookmarks, "bookMarkCheckBtn", "bookMarkProgress", "bookMarkOkBtn"},
    {OneCopyRow::Calendar, "reminderCheckBtn", "reminderProgress", "reminderOkBtn"},
    {OneCopyRow::CallLogs, "callLogCheckBtn", "callLogProgress", "callLogOkBtn"},
};

OneCopyRowUi makeRow(QWidget* parent, QGridLayout* grid, int line, int column,
                     const RowNames& names) {
    OneCopyRowUi ui;
    ui.checkBtn = named(new nimbara::ui::ImageButton(parent), names.check);
    ui.checkBtn->setFixedSize(18, 18);
    ui.checkBtn->setImage(QStringLiteral("button_off.png"));
    ui.checkBtn->setFocusPolicy(Qt::NoFocus);
    ui.titlelab = makeLabel(parent, "", oneCopyRowTitle(names.row), kInfoPoints + 1);
    ui.titlelab->setMinimumWidth(150);
    ui.progress = named(new QProgressBar(parent), names.progress);
    ui.progress->setRange(0, 0);  // busy
    ui.progress->setTextVisible(false);
    ui.progress->setFixedSize(60, 8);
    ui.okMark = makeImageView(parent, names.ok, QStringLiteral("copyDone.png"));
    ui.okMark->setFixedSize(18, 18);
    ui.failMark = makeImageView(parent, "", QStringLiteral("copyFailed.png"));
    ui.failMark->setFixedSize(18, 18);
    ui.failurelab = makeLabel(parent, "", QString(), kInfoPoints, QColor(192, 40, 40));
    ui.failurelab->setTextFormat(Qt::RichText);
    ui.failurelab->setTextInteractionFlags(Qt::LinksAccessibleByMouse |
                                           Qt::LinksAccessibleByKeyboard);
    ui.failurelab->hide();
    auto* title = new QVBoxLayout();
    title->setSpacing(2);
    title->addWidget(ui.titlelab);
    title->addWidget(ui.failurelab);
    const int base = column * 4;
    grid->addWidget(ui.checkBtn, line, base, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(title, line, base + 1, Qt::AlignTop);
    // The spinner and the marks share a strip as high as the title's line, at the row's top.
    auto* marks = new QWidget(parent);
    marks->setFixedHeight(ui.titlelab->sizeHint().height());
    auto* strip = new QHBoxLayout(marks);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->addWidget(ui.progress, 0, Qt::AlignVCenter);
    strip->addWidget(ui.okMark, 0, Qt::AlignVCenter);
    strip->addWidget(ui.failMark, 0, Qt::AlignVCenter);
    strip->addStretch(1);
    grid->addWidget(marks, line, base + 2, Qt::AlignTop);
    ui.progress->hide();
    ui.okMark->hide();
    ui.failMark->hide();
    return ui;
}

}  // namespace

QString oneCopyRowTitle(OneCopyRow row) {
    switch (row) {
        case OneCopyRow::CameraRoll:
            return QStringLiteral("Camera Roll");
        case OneCopyRow::PhotoLibrary:
            return QStringLiteral("Photo Library");
        case OneCopyRow::PhotoStream:
            return QStringLiteral("Photo Stream");
        case OneCopyRow::Music:
            return QStringLiteral("Music");
        case OneCopyRow::Video:
            return QStringLiteral("Video");
        case OneCopyRow::Contacts:
            return QStringLiteral("Contacts");
        case OneCopyRow::Messages:
            return QStringLiteral("Messages");
        case OneCopyRow::Notes:
            return QStringLiteral("Notes");
        case OneCopyRow::Bookmarks:
            return QStringLiteral("Safari Bookmarks");
        case OneCopyRow::Calendar:
            return QStringLiteral("Calendar & Reminders");
        case OneCopyRow::CallLogs:
            return QStringLiteral("Call Logs");
        case OneCopyRow::VoiceMemos:
            break;
    }
    return QStringLiteral("Voice Memos");
}

OneCopyUi buildOneCopyView() {
    OneCopyUi ui;
    ui.view = named(new QWidget(), "PROneCopyView");
    auto* outer = new QVBoxLayout(ui.view);
    outer->setContentsMargins(0, 0, 0, 0);
    ui.copyDiskView = named(new QWidget(ui.view), "copyDiskView");
    outer->addWidget(ui.copyDiskView);
    auto* layout = new QVBoxLayout(ui.copyDiskView);
    layout->setContentsMargins(28, 22, 28, 22);
    layout->setSpacing(14);
    layout->addWidget(makeLabel(ui.copyDiskView, "titlelab", QStringLiteral("One-Click Copy"), 16,
                                nimbara::ui::build::kText, true));
    auto* head = makeLabel(ui.copyDiskView, "headlab",
                           QStringLiteral("Copy everything that is switched on from your device "
                                          "to this computer with one click."),
                           kInfoPoints, QColor(96, 110, 128));
    head->setWordWrap(true);
    layout->addWidget(head);
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);
    grid->setColumnMinimumWidth(2, 70);
    grid->setColumnMinimumWidth(3, 40);
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const int column = i < 6 ? 0 : 1;
        const int line = static_cast<int>(i % 6);
        ui.row(kRows[i].row) = makeRow(ui.copyDiskView, grid, line, column, kRows[i]);
    }
    grid->setColumnStretch(7, 1);
    layout->addLayout(grid);
    ui.statuslab =
        makeLabel(ui.copyDiskView, "statuslab", QString(), kInfoPoints, QColor(96, 110, 128));
    ui.statuslab->setWordWrap(true);
    ui.statuslab->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui.statuslab->hide();
    layout->addWidget(ui.statuslab);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout();
    ui.theFalshView = named(new FlashView(ui.copyDiskView), "theFalshView");
    ui.theFalshView->setFixedSize(32, 32);
    ui.theFalshView->hide();
    ui.startScanBtn = named(new PROneCopyButton(ui.copyDiskView), "startScanBtn");
    ui.startScanBtn->setFixedSize(120, 40);
    ui.startScanBtn->setImage(QStringLiteral("startNom.png"));
    bottom->addStretch(1);
    bottom->addWidget(ui.theFalshView);
    bottom->addSpacing(10);
    bottom->addWidget(ui.startScanBtn);
    bottom->addStretch(1);
    layout->addLayout(bottom);
    return ui;
}
