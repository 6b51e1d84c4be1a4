#include "transfer/pages/pr_tansfer_view_controller.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include <utility>

#include "backup/pr_contact_node.h"
#include "backup/pr_message_tree_node.h"
#include "backup/pr_note_node.h"
#include "browser/record_details.h"
#include "cleanup/pages/clean_view_ui.h"
#include "device/device_manager.h"
#include "platform/notification_center.h"
#include "transfer/pages/pr_media_preview_controller.h"
#include "transfer/pages/transfer_app_pane.h"
#include "transfer/pages/transfer_media_menus.h"
#include "transfer/pages/transfer_records_pane.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/chat_column_view.h"
#include "ui/chat_picture_loader.h"
#include "ui/read_only_text.h"
#include "ui/view_helpers.h"

using nimbara::transfer::MediaDeviceTarget;
using nimbara::transfer::MediaLibraryResult;
using nimbara::transfer::MediaLibraryStatus;
using nimbara::ui::setImageViewImage;

namespace {

constexpr const char* kMusicFinished = "musicScanFinished";
constexpr const char* kMusicImage = "defaultMuisc";
constexpr QSize kContactPictureBox{96, 96};

const QString kNoDeviceText = QStringLiteral("Connect a device to see its music and videos.");
const QString kReadingText = QStringLiteral("Reading the device's music and videos…");
const QString kGoneWhileReadingText =
    QStringLiteral("The device went away before its music and videos were read.");
const QString kGoneAfterReadingText =
    QStringLiteral("The device went away: its music and videos are no longer shown.");
const QString kVideosWithMusicText =
    QStringLiteral("Videos are read with the music: choose Music to read them.");

QString countText(std::size_t count, const char* one, const char* many) {
    return count == 1 ? QStringLiteral("1 %1").arg(QLatin1String(one))
                      : QStringLiteral("%1 %2").arg(count).arg(QLatin1String(many));
}

using nimbara::cleanup::textColumn;

}  // namespace

PRTransferMusicController* makeTrackListModel(QObject* parent) {
    using Track = PRTranMusicNode;
    return new PRTransferMusicController(
        {textColumn("Name", &Track::musicTitle), textColumn("Artist", &Track::musicArtist),
         textColumn("Album", &Track::musicAlbm), textColumn("Time", &Track::musicTime),
         textColumn("Size", &Track::musicFileSize)},
        parent);
}

PRTransferVideoContoller* makeVideoListModel(QObject* parent) {
    using Track = PRTranMusicNode;
    return new PRTransferVideoContoller(
        {textColumn("Name", &Track::musicTitle), textColumn("Time", &Track::musicTime),
         textColumn("Size", &Track::musicFileSize)},
        parent);
}

PRTansferViewController::PRTansferViewController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRTansferViewController", QStringLiteral("Transfer"), parent) {
    musicController_ = makeTrackListModel(this);
    videoController_ = makeVideoListModel(this);
    contactController_ =
        new PRContactController({textColumn("Name", &PRContactNode::contactName),
                                 textColumn("Phone", &PRContactNode::contactPhone)},
                                this);
    messageController_ = new PRMessageTreeController(
        {textColumn("Name", &PRMessageTreeNode::messageTreeNodeName),
         textColumn("Address", &PRMessageTreeNode::messageTreeNodeAdress)},
        this);
    noteController_ = new PRNoteController(
        {textColumn("Title", &PRNoteNode::noteTitle), textColumn("Date", &PRNoteNode::noteDate)},
        this);
    pictureLoader_ = new nimbara::ui::ChatPictureLoader(this);
    records_ = new nimbara::transfer::TransferRecordsPane(
        *this, host, [this](const QString& text) { setStatus(text); });
    photos_ = new TransferPhotos(host, this);
    connect(photos_, &TransferPhotos::statusChanged, this, [this](const QString& text) {
        ensureBuilt();
        setStatus(text);
    });
    playerFactory_ = nimbara::transfer::qtMediaPlayerFactory();
    appPane_ = new nimbara::transfer::TransferAppPane(host, this);
    menus_ = new nimbara::transfer::TransferMediaMenus(
        *this, [this](const QString& text, bool problem) { setStatus(text, problem); });
    watchDeviceDetach();
}

PRTansferViewController::~PRTansferViewController() {
    musicWorker_.stop();
    delete menus_;
    delete preview_;
    delete uiRoot_.data();
    delete appPane_;
    ui_.reset();
}

// ------------------------------------------------------------------ widgets

TransferUi& PRTansferViewController::transferUi() {
    ensureBuilt();
    return *ui_;
}

nimbara::transfer::PRMediaPreviewController* PRTansferViewController::mediaPreview() {
    ensureBuilt();
    return preview_;
}

void PRTansferViewController::setMediaPlayerFactory(nimbara::transfer::MediaPlayerFactory factory) {
    playerFactory_ = std::move(factory);
}

nimbara::transfer::TransferAppPane& PRTansferViewController::appPane() {
    ensureBuilt();
    return *appPane_;
}

nimbara::transfer::TransferMediaMenus& PRTansferViewController::mediaMenus() {
    ensureBuilt();
    return *menus_;
}

void PRTansferViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    // First use, or the container took the views with it when it went.
    ui_ = std::make_unique<TransferUi>(buildTransferView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    delete preview_;
    preview_ = new nimbara::transfer::PRMediaPreviewController(
        *ui_, [this](bool video) { return playerFactory_(video); },
        [this](const QString& text) { setStatus(text); }, this);
    wireTables();
    records_->attachMenus(*ui_);
    photos_->attach(*ui_);
    appPane_->attach(ui_->appView);
    menus_->attach(*ui_);
    setImageViewImage(ui_->musicImageView, QLatin1String(kMusicImage));
    clearTrackDetails();
    clearContactDetails();
    showMusicCounts();
    // Rebuilt views show the category that was shown.
    QWidget* shown = ui_->tranMainView;
    for (QWidget* candidate : ui_->views()) {
        if (candidate->objectName() == shownView_) {
            shown = candidate;
        }
    }
    showOnly(shown, nullptr, shown == ui_->tranMainView ? QStringLiteral("mainView") : shownView_);
}

void PRTansferViewController::wireTables() {
    const std::pair<QTableView*, QAbstractItemModel*> tables[] = {
        {ui_->musicTableView, musicController_},     {ui_->videoTableView, videoController_},
        {ui_->contactTableView, contactController_}, {ui_->messageTableView, messageController_},
        {ui_->noteTableView, noteController_},
    };
    for (const auto& [table, model] : tables) {
        table->setModel(model);
        QTableView* const view = table;
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, view] { tableViewSelectionDidChange(view); });
        // A click on the row that was chosen while its list was moved in shows it too.
        connect(table, &QTableView::clicked, this,
                [this, view] { tableViewSelectionDidChange(view); });
    }
    // Name, artist, album and time fit beside the track's card; the size takes the rest.
    const int musicWidths[] = {165, 115, 105, 82};
    for (int column = 0; column < 4; ++column) {
        ui_->musicTableView->setColumnWidth(column, musicWidths[column]);
    }
    ui_->videoTableView->setColumnWidth(0, 320);
    ui_->contactTableView->setColumnWidth(0, 200);
    ui_->noteTableView->setColumnWidth(0, 200);
}

void PRTansferViewController::viewShown() {
    ensureBuilt();
    showMianView();
}

void PRTansferViewController::setStatus(const QString& text, bool problem) {
    if (ui_) {
        cleanview::setStatusLine(ui_->statuslab, text, problem);
    }
}

QString PRTansferViewController::statusText() const {
    return ui_ && uiRoot_ && !ui_->statuslab->isHidden() ? ui_->statuslab->text() : QString();
}

// ------------------------------------------------------------------ views

void PRTansferViewController::showOnly(QWidget* view, const char* method, const QString& name) {
    if (method != nullptr) {
        record(QStringLiteral("%1()").arg(QString::fromLatin1(method)));
    }
    shownView_ = name;
    for (QWidget* candidate : ui_->views()) {
        candidate->setVisible(candidate == view);
    }
}

void PRTansferViewController::showMianView() {
    ensureBuilt();
    showOnly(ui_->tranMainView, nullptr, QStringLiteral("mainView"));
}

void PRTansferViewController::showAppView() {
    ensureBuilt();
    showOnly(ui_->appView, "showAppView", QStringLiteral("appView"));
}
void PRTansferViewController::showPhotoView() {
    ensureBuilt();
    showOnly(ui_->photoView, "showPhotoView", QStringLiteral("photoView"));
}
void PRTansferViewController::showMusicView() {
    ensureBuilt();
    showOnly(ui_->musicView, "showMusicView", QStringLiteral("musicView"));
}
void PRTansferViewController::showVideoView() {
    ensureBuilt();
    showOnly(ui_->videoView, "showVideoView", QStringLiteral("videoView"));
}
void PRTansferViewController::showContactView() {
    ensureBuilt();
    showOnly(ui_->contactView, "showContactView", QStringLiteral("contactView"));
}
void PRTansferViewController::showMessageView() {
    ensureBuilt();
    showOnly(ui_->messageView, "showMessageView", QStringLiteral("messageView"));
}
void PRTansferViewController::showNoteView() {
    ensureBuilt();
    showOnly(ui_->noteView, "showNoteView", QStringLiteral("noteView"));
}

// ------------------------------------------------------------------ entries

void PRTansferViewController::enterLaterCategory(const char* method, int deviceIndex) {
    record(QStringLiteral("%1(%2)").arg(QString::fromLatin1(method), argument(deviceIndex)));
    tranferDevice_ = deviceIndex;
}

void PRTansferViewController::ShowApp(int deviceIndex) {
    record(QStringLiteral("ShowApp(%1)").arg(argument(deviceIndex)));
    ensureBuilt();
    tranferDevice_ = deviceIndex;
    appPane_->ShowApp(deviceIndex);
}
void PRTansferViewController::ShowPhoto(int deviceIndex) {
    record(QStringLiteral("ShowPhoto(%1)").arg(argument(deviceIndex)));
    ensureBuilt();
    if (photos_->bImageStartTransfer() || photos_->bPhotoLoadFinished()) {
        return;
    }
    tranferDevice_ = deviceIndex;
    photos_->ShowPhoto(deviceIndex);
}
void PRTansferViewController::showContact(int deviceIndex) {
    enterLaterCategory("showContact", deviceIndex);
    records_->show(nimbara::transfer::RecordKind::Contacts, deviceIndex);
}
void PRTansferViewController::showMessage(int deviceIndex) {
    enterLaterCategory("showMessage", deviceIndex);
    records_->show(nimbara::transfer::RecordKind::Messages, deviceIndex);
}
void PRTansferViewController::showNote(int deviceIndex) {
    enterLaterCategory("showNote", deviceIndex);
    records_->show(nimbara::transfer::RecordKind::Notes, deviceIndex);
}

void PRTansferViewController::refreshOutlineView() {
    record(QStringLiteral("refreshOutlineView()"));
    appPane_->refreshOutlineView();
}

// ------------------------------------------------------------------ music and videos

void PRTansferViewController::ShowMusic(int deviceIndex) {
    record(QStringLiteral("ShowMusic(%1)").arg(argument(deviceIndex)));
    ensureBuilt();
    if (!musicLoad_.idle()) {
        return;  // loading, or loaded
    }
    tranferDevice_ = deviceIndex;
    const MediaDeviceTarget target{deviceIndex,
                                   amd::DeviceManager::GetInstance().DeviceSerial(deviceIndex)};
    if (target.deviceSerial == 0) {
        setStatus(kNoDeviceText);
        return;
    }
    setImageViewImage(ui_->musicImageView, QLatin1String(kMusicImage));
    // Marked at once, on this thread: a second click before the worker got going starts nothing.
    musicLoad_.started = true;
    musicTarget_ = target;
    musicRead_ = false;
    UpMusiceDataSource({}, {});
    setStatus(QString());
    ui_->musicInfolab->setText(kReadingText);
    ui_->videoInfolab->setText(kReadingText);
    host().markBusy(nimbara::ui::PageHost::BusyMark::Music, true);
    musicWorker_.start([this, target](const nimbara::JobRunner::StopCheck& stop,
                                      const nimbara::JobRunner::Post& post) {
        // This load's own sink: what it finds goes to this load's end and nowhere else.
        nimbara::transfer::MediaLibrarySink sink;
        sink.finished = [this, post](const MediaLibraryResult& result) {
            auto found = std::make_shared<MediaLibraryResult>(result);
            post([this, found] { musicLoadEnded(*found); });
        };
        nimbara::transfer::MediaLibraryReader(target, {}, stop).read(sink);
    });
}

void PRTansferViewController::musicLoadEnded(const MediaLibraryResult& result) {
    musicWorker_.finish();
    const bool attached = musicTarget_.stillAttached();
    switch (result.status) {
        case MediaLibraryStatus::Done:
        case MediaLibraryStatus::NoLibrary:
            if (attached) {
                musicStatus_ = result.status;
                UpMusiceDataSource(result.music, result.videos);
                ScanMusicFinishHandle();
                return;
            }
            musicLoadFailed(kGoneWhileReadingText);
            return;
        case MediaLibraryStatus::DeviceGone:
        case MediaLibraryStatus::Stopped:
            musicLoadFailed(kGoneWhileReadingText);
            return;
        case MediaLibraryStatus::CopyFailed:
        case MediaLibraryStatus::Unreadable:
        case MediaLibraryStatus::ServiceRefused:
        case MediaLibraryStatus::NoAnswer:
        case MediaLibraryStatus::WaitingForUnlock:
        case MediaLibraryStatus::WaitingForTrust:
            break;
    }
    musicLoadFailed(nimbara::transfer::mediaLibraryStatusText(result.status) +
                    QStringLiteral(" Choose Music to try again."));
}

void PRTansferViewController::musicLoadFailed(const QString& text) {
    musicWorker_.stop();
    musicLoad_ = {};
    musicRead_ = false;
    UpMusiceDataSource({}, {});
    showMusicCounts();
    setStatus(text);
    nimbara::NotificationCenter::defaultCenter().post(kMusicFinished);
}

void PRTansferViewController::UpMusiceDataSource(Tracks music, Tracks videos) {
    ensureBuilt();
    // The lists are replaced, never added to: a list shown twice has no row twice.
    videoController_->setContent(std::move(videos));
    musicController_->setContent(std::move(music));
    ui_->musicTableView->clearSelection();
    ui_->videoTableView->clearSelection();
    clearTrackDetails();
    preview_->reset();
}

void PRTansferViewController::ScanMusicFinishHandle() {
    musicLoad_.started = false;
    musicLoad_.finished = true;
    musicRead_ = true;
    showMusicCounts();
    nimbara::NotificationCenter::defaultCenter().post(kMusicFinished);
}

void PRTansferViewController::showMusicCounts() {
    if (!ui_) {
        return;
    }
    if (musicLoad_.started) {
        ui_->musicInfolab->setText(kReadingText);
        ui_->videoInfolab->setText(kReadingText);
    } else if (!musicRead_) {
        ui_->musicInfolab->setText(QString());
        ui_->videoInfolab->setText(kVideosWithMusicText);
    } else if (musicStatus_ == MediaLibraryStatus::NoLibrary) {
        const QString none = nimbara::transfer::mediaLibraryStatusText(musicStatus_);
        ui_->musicInfolab->setText(none);
        ui_->videoInfolab->setText(none);
    } else {
        ui_->musicInfolab->setText(
            countText(static_cast<std::size_t>(musicController_->rowCount()), "song", "songs"));
        ui_->videoInfolab->setText(
            countText(static_cast<std::size_t>(videoController_->rowCount()), "video", "videos"));
    }
}

void PRTansferViewController::clearTrackDetails() {
    if (!ui_) {
        return;
    }
    ui_->musicTitlelab->setText(QString());
    ui_->musicArtistlab->setText(QString());
}

void PRTansferViewController::showTrackDetails(const PRTranMusicNode& track) {
    const QString title = track.musicTitle();
    const QString artist = track.musicArtist();
    if (!title.isNull()) {
        ui_->musicTitlelab->setText(title);
    }
    if (!artist.isNull()) {
        ui_->musicArtistlab->setText(artist);
    }
    setImageViewImage(ui_->musicImageView, QLatin1String(kMusicImage));
}

// ------------------------------------------------------------------ device changes

void PRTansferViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    const bool wasLoading = musicLoad_.started;
    photos_->initAllDataAndAllView();
    menus_->reset();
    musicWorker_.stop();
    records_->reset();
    if (preview_ != nullptr) {
        preview_->reset();
    }
    musicLoad_ = {};
    musicRead_ = false;
    musicTarget_ = {};
    bPreviewTag_ = false;
    appPane_->reset();
    musicController_->clear();
    videoController_->clear();
    contactController_->clear();
    messageController_->clear();
    noteController_->clear();
    if (ui_ && uiRoot_) {
        clearTrackDetails();
        clearContactDetails();
        ui_->messageTreeScrollView->showConversation(nullptr);
        ui_->noteContentlab->setString(QString());
        setImageViewImage(ui_->musicImageView, QLatin1String(kMusicImage));
        showMusicCounts();
        setStatus(QString());
        showMianView();
    } else {
        shownView_ = QStringLiteral("mainView");
    }
    if (wasLoading) {
        // The spinners of the stopped load never stay on.
        nimbara::NotificationCenter::defaultCenter().post(kMusicFinished);
    }
}

void PRTansferViewController::deviceChanged(const amd::DeviceTarget& /*target*/) {
    initAllDataAndAllView();
}

void PRTansferViewController::deviceDetached(int index) {
    records_->deviceDetached(index);
    photos_->deviceDetached(index);
    appPane_->deviceDetached(index);
    if (musicTarget_.deviceIndex != index || (!musicLoad_.started && !musicRead_) ||
        musicTarget_.stillAttached()) {
        return;
    }
    if (musicLoad_.started) {
        musicLoadFailed(kGoneWhileReadingText);
        return;
    }
    // What was read from it goes with it.
    musicLoad_ = {};
    musicRead_ = false;
    UpMusiceDataSource({}, {});
    showMusicCounts();
    setStatus(kGoneAfterReadingText);
}

// ------------------------------------------------------------------ records

template <class Model, class Node>
void PRTansferViewController::moveRecords(Model* model, QTableView* table,
                                          std::vector<std::shared_ptr<Node>> rows) {
    ensureBuilt();
    // While the list moves in, choosing its first row does not rebuild the detail view.
    bPreviewTag_ = true;
    model->setContent(std::move(rows));
    if (model->rowCount() > 0) {
        table->clearSelection();
        table->selectRow(0);
    }
    bPreviewTag_ = false;
}

void PRTansferViewController::UpContactDataSource(
    std::vector<std::shared_ptr<PRContactNode>> contacts) {
    clearContactDetails();
    moveRecords(contactController_, transferUi().contactTableView, std::move(contacts));
}

void PRTansferViewController::UpMessageDataSource(
    std::vector<std::shared_ptr<PRMessageTreeNode>> conversations) {
    transferUi().messageTreeScrollView->showConversation(nullptr);
    moveRecords(messageController_, ui_->messageTableView, std::move(conversations));
}

void PRTansferViewController::UpNoteDataSource(std::vector<std::shared_ptr<PRNoteNode>> notes) {
    transferUi().noteContentlab->setString(QString());
    moveRecords(noteController_, ui_->noteTableView, std::move(notes));
}

template <class Model>
auto PRTansferViewController::selectedRecord(Model* model, QTableView* table) const ->
    typename Model::Ptr {
    const QModelIndexList rows = table->selectionModel()->selectedRows();
    return rows.size() == 1 ? model->rowAt(rows.front().row()) : nullptr;
}

void PRTansferViewController::tableViewSelectionDidChange(QTableView* table) {
    if (!ui_ || table == nullptr) {
        return;
    }
    if (table == ui_->musicTableView || table == ui_->videoTableView) {
        const bool video = table == ui_->videoTableView;
        if (const auto track = video ? selectedRecord(videoController_, table)
                                     : selectedRecord(musicController_, table)) {
            playTrack(track, video);
        }
        return;
    }
    if (bPreviewTag_) {
        return;
    }
    if (table == ui_->contactTableView) {
        if (const auto contact = selectedRecord(contactController_, table)) {
            showContactDetails(*contact);
        }
    } else if (table == ui_->messageTableView) {
        if (auto conversation = selectedRecord(messageController_, table)) {
            ui_->messageTreeScrollView->showConversation(std::move(conversation));
        }
    } else if (table == ui_->noteTableView) {
        if (const auto note = selectedRecord(noteController_, table)) {
            ui_->noteContentlab->setString(note->noteContent());
        }
    }
}

void PRTansferViewController::playTrack(const std::shared_ptr<PRTranMusicNode>& track, bool video) {
    if (!ui_ || !track) {
        return;
    }
    if (!video) {
        showTrackDetails(*track);
    }
    preview_->trackChosen(track, video, musicTarget_);
}

void PRTansferViewController::clearContactDetails() {
    if (!ui_) {
        return;
    }
    pictureLoader_->cancelAll();
    ui_->contactImageView->hide();
    for (QLabel* label : ui_->contactLabels()) {
        label->clear();
        label->hide();
    }
}

void PRTansferViewController::showContactDetails(const PRContactNode& contact) {
    // The card's lines are the browser's; each goes to the label of the same name.
    for (const nimbara::browser::DetailLine& line : nimbara::browser::contactDetails(contact)) {
        const QString outlet = QString::fromLatin1(line.outlet);
        for (QLabel* label : ui_->contactLabels()) {
            if (label->objectName().compare(outlet, Qt::CaseInsensitive) == 0) {
                label->setText(line.text);
                label->setVisible(line.shown);
            }
        }
    }
    QLabel* picture = ui_->contactImageView;
    picture->show();
    pictureLoader_->cancelAll();
    const QByteArray data = contact.imageData();
    const QString standIn = QLatin1String(nimbara::browser::kContactPlaceholderImage);
    if (data.isEmpty()) {
        setImageViewImage(picture, standIn);
        return;
    }
    // Decoded off the GUI thread; until it arrives the card shows the stand-in.
    setImageViewImage(picture, standIn);
    pictureLoader_->loadData(data, kContactPictureBox,
                             [target = QPointer<QLabel>(picture), standIn](const QImage& image) {
                                 if (target.isNull()) {
                                     return;
                                 }
                                 if (image.isNull()) {
                                     setImageViewImage(target, standIn);
                                 } else {
                                     target->setProperty("imageName", QString());
                                     target->setPixmap(QPixmap::fromImage(image));
                                 }
                             });
}
