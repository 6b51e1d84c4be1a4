#include "transfer/pages/transfer_ui.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTableView>
#include <QVBoxLayout>

#include "cleanup/pages/clean_view_ui.h"
#include "ui/chat_column_view.h"
#include "ui/fonts.h"
#include "ui/read_only_text.h"
#include "ui/status_line_views.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::hiddenView;
using nimbara::ui::build::infoLine;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;
const QColor kSlate{96, 110, 128};
// The background of a note's text: a pale yellow, like a paper note.
const QColor kNoteYellow{223, 224, 101};

QProgressBar* busyBar(QWidget* view, const char* name) {
    auto* bar = named(new QProgressBar(view), name);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    bar->setFixedHeight(8);
    bar->hide();
    return bar;
}

QWidget* playPlace(QWidget* view, const char* name) {
    auto* place = named(new QWidget(view), name);
    place->setMinimumHeight(40);
    place->hide();
    return place;
}

void buildMainView(TransferUi& ui) {
    ui.tranMainView = named(new QWidget(ui.view), "tranMainView");
    QVBoxLayout* layout = cleanview::headedView(ui.tranMainView, "", QStringLiteral("Transfer"));
    QLabel* text = makeLabel(
        ui.tranMainView, "tranMainInfolab",
        QStringLiteral("Choose a category in the sidebar to see what your device holds: photos, "
                       "music, videos, apps, contacts, messages and notes."),
        12);
    text->setWordWrap(true);
    layout->addWidget(text);
    layout->addStretch(1);
}

void buildPhotoView(TransferUi& ui) {
    ui.photoView = hiddenView(ui.view, "photoView");
    QVBoxLayout* layout = cleanview::headedView(ui.photoView, "", QStringLiteral("Photos"));
    ui.photoInfolab = infoLine(ui.photoView, "photoInfolab");
    auto* browser = named(new QListView(ui.photoView), "imageBroswerView");
    browser->setViewMode(QListView::IconMode);
    browser->setResizeMode(QListView::Adjust);
    browser->setMovement(QListView::Static);
    browser->setTextElideMode(Qt::ElideMiddle);
    browser->setSelectionMode(QAbstractItemView::ExtendedSelection);
    browser->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.imageBroswerView = browser;
    auto* zoomRow = new QHBoxLayout();
    zoomRow->addStretch(1);
    zoomRow->addWidget(
        makeLabel(ui.photoView, "zoomlab", QStringLiteral("Zoom"), kInfoPoints, kSlate));
    ui.zoomSlider = named(new QSlider(Qt::Horizontal, ui.photoView), "zoomSlider");
    ui.zoomSlider->setRange(0, 100);
    ui.zoomSlider->setFixedWidth(160);
    zoomRow->addWidget(ui.zoomSlider);
    layout->addWidget(ui.photoInfolab);
    layout->addWidget(browser, 1);
    layout->addLayout(zoomRow);
}

void buildMusicView(TransferUi& ui) {
    ui.musicView = hiddenView(ui.view, "musicView");
    QVBoxLayout* layout = cleanview::headedView(ui.musicView, "", QStringLiteral("Music"));
    auto* row = new QHBoxLayout();
    row->setSpacing(16);
    auto* list = new QVBoxLayout();
    ui.musicInfolab = infoLine(ui.musicView, "musicInfolab");
    ui.musicTableView = cleanview::makeTable(ui.musicView, "musicTableView", false);
    list->addWidget(ui.musicInfolab);
    list->addWidget(ui.musicTableView, 1);

    auto* track = new QVBoxLayout();
    ui.musicImageView =
        makeImageView(ui.musicView, "musicImageView", QStringLiteral("defaultMuisc"));
    ui.musicImageView->setFixedSize(128, 128);
    ui.musicTitlelab = makeLabel(ui.musicView, "musicTitlelab", QString(), 18);
    ui.musicTitlelab->setWordWrap(true);
    ui.musicArtistlab = makeLabel(ui.musicView, "musicArtistlab", QString(), 13);
    ui.musicArtistlab->setFont(QFont(QStringLiteral("Arial"), 13));
    ui.musicArtistlab->setWordWrap(true);
    ui.musicProgress = busyBar(ui.musicView, "musicProgress");
    ui.musicPlayView = playPlace(ui.musicView, "musicPlayView");
    track->addWidget(ui.musicImageView, 0, Qt::AlignHCenter);
    track->addWidget(ui.musicTitlelab);
    track->addWidget(ui.musicArtistlab);
    track->addWidget(ui.musicProgress);
    track->addWidget(ui.musicPlayView);
    track->addStretch(1);

    auto* side = new QWidget(ui.musicView);
    side->setFixedWidth(220);
    side->setLayout(track);
    track->setContentsMargins(0, 0, 0, 0);
    row->addLayout(list, 1);
    row->addWidget(side);
    layout->addLayout(row, 1);
}

void buildVideoView(TransferUi& ui) {
    ui.videoView = hiddenView(ui.view, "videoView");
    QVBoxLayout* layout = cleanview::headedView(ui.videoView, "", QStringLiteral("Videos"));
    ui.videoInfolab = infoLine(ui.videoView, "videoInfolab");
    ui.videoTableView = cleanview::makeTable(ui.videoView, "videoTableView", false);
    ui.videoProgress = busyBar(ui.videoView, "videoProgress");
    ui.videoPlayView = playPlace(ui.videoView, "videoPlayView");
    layout->addWidget(ui.videoInfolab);
    layout->addWidget(ui.videoTableView, 1);
    layout->addWidget(ui.videoProgress);
    layout->addWidget(ui.videoPlayView);
}

void buildAppView(TransferUi& ui) {
    ui.appView = hiddenView(ui.view, "appView");
    cleanview::headedView(ui.appView, "", QStringLiteral("Apps"));
}

QLabel* cardLine(QWidget* view, const char* name, int points = kInfoPoints) {
    QLabel* label = makeLabel(view, name, QString(), points);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->hide();
    return label;
}

// A record category: its title and a row with its table beside the chosen record's details
// (`details`, stretched by `detailStretch`).
void buildRecordView(TransferUi& ui, QWidget*& view, const char* name, const QString& title,
                     QTableView*& table, const char* tableName, QWidget* details,
                     int detailStretch) {
    view = hiddenView(ui.view, name);
    QVBoxLayout* layout = cleanview::headedView(view, "", title);
    auto* row = new QHBoxLayout();
    row->setSpacing(14);
    table = cleanview::makeTable(view, tableName, false);
    details->setParent(view);
    row->addWidget(table, 2);
    row->addWidget(details, detailStretch);
    layout->addLayout(row, 1);
}

void buildContactView(TransferUi& ui) {
    auto* card = new QWidget();
    card->setObjectName(QStringLiteral("contactCardView"));
    card->setFixedWidth(260);
    auto* lines = new QVBoxLayout(card);
    lines->setContentsMargins(0, 0, 0, 0);
    ui.contactImageView = makeImageView(card, "contactImageView", QString(), false);
    ui.contactImageView->setFixedSize(96, 96);
    ui.contactImageView->hide();
    ui.contactNamelab = cardLine(card, "contactNamelab", 14);
    ui.contactPhonelab = cardLine(card, "contactPhonelab");
    ui.contactEmaillab = cardLine(card, "contactEmaillab");
    ui.contactHomepagelab = cardLine(card, "contactHomepagelab");
    ui.contactCompanylab = cardLine(card, "contactCompanylab");
    ui.contactJobtitlelab = cardLine(card, "contactJobtitlelab");
    ui.contactBirthdaylab = cardLine(card, "contactBirthdaylab");
    ui.contactNotelab = cardLine(card, "contactNotelab");
    ui.contactAddresslab = cardLine(card, "contactAddresslab");
    lines->addWidget(ui.contactImageView, 0, Qt::AlignLeft);
    for (QLabel* label : ui.contactLabels()) {
        lines->addWidget(label);
    }
    lines->addWidget(ui.contactAddresslab);
    lines->addStretch(1);
    buildRecordView(ui, ui.contactView, "contactView", QStringLiteral("Contacts"),
                    ui.contactTableView, "contactTableView", card, 0);
}

void buildMessageView(TransferUi& ui) {
    ui.messageTreeScrollView = named(new ChatColumnView(), "messageTreeScrollView");
    buildRecordView(ui, ui.messageView, "messageView", QStringLiteral("Messages"),
                    ui.messageTableView, "messageTableView", ui.messageTreeScrollView, 3);
}

void buildNoteView(TransferUi& ui) {
    // A note reads as a page: several lines, never edited here.
    ui.noteContentlab = named(new PRTextView(), "noteContentlab");
    ui.noteContentlab->setFont(nimbara::ui::appFont(12));
    ui.noteContentlab->setFrameShape(QFrame::NoFrame);
    QPalette palette = ui.noteContentlab->palette();
    palette.setColor(QPalette::Base, kNoteYellow);
    palette.setColor(QPalette::Window, kNoteYellow);
    ui.noteContentlab->setPalette(palette);
    ui.noteContentlab->setAutoFillBackground(true);
    buildRecordView(ui, ui.noteView, "noteView", QStringLiteral("Notes"), ui.noteTableView,
                    "noteTableView", ui.noteContentlab, 2);
}

}  // namespace

TransferUi buildTransferView() {
    TransferUi ui;
    ui.view = named(new QWidget(), "TransfView");
    auto* layout = new QVBoxLayout(ui.view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildMainView(ui);
    buildPhotoView(ui);
    buildMusicView(ui);
    buildVideoView(ui);
    buildAppView(ui);
    buildContactView(ui);
    buildMessageView(ui);
    buildNoteView(ui);
    for (QWidget* view : ui.views()) {
        layout->addWidget(view, 1);
    }
    ui.statuslab = cleanview::makeStatusLine(ui.view, "statuslab");
    // It quotes names from the device (track titles): shown as they are, never as markup.
    ui.statuslab->setTextFormat(Qt::PlainText);
    layout->addWidget(ui.statuslab);
    const auto views = ui.views();
    nimbara::ui::keepStatusPerView(ui.statuslab, {views.begin(), views.end()});
    return ui;
}
