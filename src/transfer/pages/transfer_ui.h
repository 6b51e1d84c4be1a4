// The layout of the transfer page ("TransfView"): the start view (tranMainView) and one view per
// category (photos, music, videos, apps, contacts, messages, notes), of which one shows at a
// time, above a status line. Every widget carries its outlet's name as objectName; tables use
// "Lucida Grande" 11.
#pragma once

#include <array>

class ChatColumnView;
class PRTextView;
class QLabel;
class QListView;
class QProgressBar;
class QSlider;
class QTableView;
class QWidget;

struct TransferUi {
    QWidget* view = nullptr;

    // The category views, each hidden but the one shown.
    QWidget* tranMainView = nullptr;
    QWidget* photoView = nullptr;
    QWidget* musicView = nullptr;
    QWidget* videoView = nullptr;
    QWidget* appView = nullptr;
    QWidget* contactView = nullptr;
    QWidget* messageView = nullptr;
    QWidget* noteView = nullptr;

    // Photos: the image browser and its zoom slider.
    QListView* imageBroswerView = nullptr;
    QSlider* zoomSlider = nullptr;
    QLabel* photoInfolab = nullptr;

    // Music: the track list and the chosen track.
    QTableView* musicTableView = nullptr;
    QLabel* musicInfolab = nullptr;  // what the load found, or why it found nothing
    QLabel* musicImageView = nullptr;
    QLabel* musicTitlelab = nullptr;
    QLabel* musicArtistlab = nullptr;
    QProgressBar* musicProgress = nullptr;  // hidden until a track is fetched to play
    QWidget* musicPlayView = nullptr;       // hidden: where the player goes

    // Videos.
    QTableView* videoTableView = nullptr;
    QLabel* videoInfolab = nullptr;
    QProgressBar* videoProgress = nullptr;
    QWidget* videoPlayView = nullptr;

    // Contacts: the list and the chosen contact's card.
    QTableView* contactTableView = nullptr;
    QLabel* contactImageView = nullptr;
    QLabel* contactNamelab = nullptr;
    QLabel* contactPhonelab = nullptr;
    QLabel* contactEmaillab = nullptr;
    QLabel* contactHomepagelab = nullptr;
    QLabel* contactCompanylab = nullptr;
    QLabel* contactJobtitlelab = nullptr;
    QLabel* contactBirthdaylab = nullptr;
    QLabel* contactNotelab = nullptr;
    QLabel* contactAddresslab = nullptr;

    // Messages: the conversations and the chosen one as chat bubbles.
    QTableView* messageTableView = nullptr;
    ChatColumnView* messageTreeScrollView = nullptr;

    // Notes: the list and the chosen note's text.
    QTableView* noteTableView = nullptr;
    PRTextView* noteContentlab = nullptr;

    // A line under every view: what went wrong (hidden when empty).
    QLabel* statuslab = nullptr;

    // The contact card's text labels, in card order.
    std::array<QLabel*, 8> contactLabels() const {
        return {contactNamelab,    contactPhonelab,    contactEmaillab,    contactHomepagelab,
                contactCompanylab, contactJobtitlelab, contactBirthdaylab, contactNotelab};
    }
    // The eight views in the order tranMainView, photo, music, video, app, contact, message, note.
    std::array<QWidget*, 8> views() const {
        return {tranMainView, photoView,   musicView,   videoView,
                appView,      contactView, messageView, noteView};
    }
};

// Builds the page's widgets under a new view (parentless; the caller places it). Only
// tranMainView is shown.
TransferUi buildTransferView();
