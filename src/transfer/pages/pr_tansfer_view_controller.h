// The transfer page: what the device holds, category by category (photos, music, videos, apps,
// contacts, messages, notes), one view per category under a start view.
//
// Each category loads once: its entry does nothing while its load runs or after it finished.
// The music entry reads the device's media library (music and videos in one read) on the page's
// worker, bound to the device (index AND serial) it was started for, and tells the host when it
// starts (the music busy mark) and when it ends ("musicScanFinished", which stops the mark).
// Every end posts it: a load that failed (a refused file service, a library that can't be
// copied or read) or whose device went away also clears its flags, so the category can be
// entered again, and says why on the page. A device change (initAllDataAndAllView) stops the
// load, drops whatever it still hands over, empties the lists and shows the start view.
//
// The video entry only shows the video view: its list fills when the music load finishes.
// A track or video chosen plays from a local copy (PRMediaPreviewController).
// Contacts, messages and notes are read from a backup made for them (TransferRecordsPane) and
// show their lists through UpContactDataSource and its siblings, during which the tables'
// selection does not rebuild the detail views (bPreviewTag). Photos: TransferPhotos; apps:
// TransferAppPane.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

#include "cleanup/pages/clean_list_models.h"
#include "platform/job_runner.h"
#include "transfer/media_library.h"
#include "transfer/pages/media_player_view.h"
#include "transfer/pages/transfer_photos.h"
#include "transfer/pages/transfer_ui.h"
#include "ui/page_controller_base.h"

class PRContactNode;
class PRMessageTreeNode;
class PRNoteNode;
class PRTranMusicNode;
class QTableView;

namespace nimbara::transfer {
class TransferAppPane;
}

namespace nimbara::ui {
class ChatPictureLoader;
}
namespace nimbara::transfer {
class TransferRecordsPane;
class PRMediaPreviewController;
class TransferMediaMenus;
}  // namespace nimbara::transfer

// The list controllers of the page's tables.
using PRTransferMusicController = nimbara::cleanup::CleanRowsModel<PRTranMusicNode>;
using PRTransferVideoContoller = nimbara::cleanup::CleanRowsModel<PRTranMusicNode>;
using PRContactController = nimbara::cleanup::CleanRowsModel<PRContactNode>;
using PRMessageTreeController = nimbara::cleanup::CleanRowsModel<PRMessageTreeNode>;
using PRNoteController = nimbara::cleanup::CleanRowsModel<PRNoteNode>;

// The track and video lists with their columns (Name, Artist, Album, Time, Size / Name, Time,
// Size), shared by the pages that list the media library.
PRTransferMusicController* makeTrackListModel(QObject* parent);
PRTransferVideoContoller* makeVideoListModel(QObject* parent);

class PRTansferViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    using Tracks = std::vector<std::shared_ptr<PRTranMusicNode>>;

    explicit PRTansferViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRTansferViewController() override;

    // Show one category view and hide the start view and the others.
    void showAppView();
    void showPhotoView();
    void showMusicView();
    void showVideoView();
    void showContactView();
    void showMessageView();
    void showNoteView();
    // Shows the start view and hides the seven category views.
    void showMianView();

    // Category entries taking the device index. ShowMusic loads music and videos once,
    // ShowPhoto the photos (TransferPhotos), ShowApp the app list (TransferAppPane), showContact,
    // showMessage and showNote their records.
    void ShowApp(int deviceIndex);
    void ShowPhoto(int deviceIndex);
    void ShowMusic(int deviceIndex);
    void showContact(int deviceIndex);
    void showMessage(int deviceIndex);
    void showNote(int deviceIndex);

    // Sent after the app tree was re-arranged: folds the app outline while the list loads.
    void refreshOutlineView();

    // Another device became current: stops the page's load (its spinners stop), empties the
    // lists and detail views, clears every load flag and shows the start view.
    void initAllDataAndAllView();
    // The shell shows another device or none: the reset above.
    void deviceChanged(const amd::DeviceTarget& target) override;

    // Moves a load's lists into the tables (replacing what they showed). GUI thread.
    void UpMusiceDataSource(Tracks music, Tracks videos);
    void UpContactDataSource(std::vector<std::shared_ptr<PRContactNode>> contacts);
    void UpMessageDataSource(std::vector<std::shared_ptr<PRMessageTreeNode>> conversations);
    void UpNoteDataSource(std::vector<std::shared_ptr<PRNoteNode>> notes);
    // The music load ended with its lists shown: the category counts as loaded.
    void ScanMusicFinishHandle();

    // The selection of `table` changed: shows the chosen record's details.
    void tableViewSelectionDidChange(QTableView* table);
    // Plays `track` of the music list (`video` false) or the video list, showing a track's title
    // and artist; one not copied yet is copied from the device first.
    void playTrack(const std::shared_ptr<PRTranMusicNode>& track, bool video);

    // Device index of the last category entry.
    int deviceIndex() const { return tranferDevice_; }
    // "mainView", "appView", "photoView", "musicView", "videoView", "contactView",
    // "messageView" or "noteView".
    QString shownView() const { return shownView_; }
    bool bMusiceStartTransfer() const { return musicLoad_.started; }
    bool bMusicLoadFinished() const { return musicLoad_.finished; }
    bool bPreviewTag() const { return bPreviewTag_; }
    // The device the music and video lists were read from (none: serial 0).
    nimbara::transfer::MediaDeviceTarget musicDevice() const { return musicTarget_; }
    // The music load's worker runs.
    bool musicLoading() const { return musicWorker_.busy(); }
    std::size_t workersEnding() const { return musicWorker_.ending(); }
    // The status line under the views (empty when hidden).
    QString statusText() const;

    // The photo category: its load, flags and image browser.
    TransferPhotos& photos() const { return *photos_; }

    PRTransferMusicController* musicController() const { return musicController_; }
    PRTransferVideoContoller* videoController() const { return videoController_; }
    PRContactController* contactController() const { return contactController_; }
    PRMessageTreeController* messageController() const { return messageController_; }
    PRNoteController* noteController() const { return noteController_; }

    // The page's widgets (built on first use).
    TransferUi& transferUi();
    // Contacts, messages and notes: their loads and exports.
    nimbara::transfer::TransferRecordsPane& records() const { return *records_; }
    // Plays the chosen track or video (made with the widgets).
    nimbara::transfer::PRMediaPreviewController* mediaPreview();
    // What the players play through (tests give one that needs no sound hardware); applies to
    // players made from now on.
    void setMediaPlayerFactory(nimbara::transfer::MediaPlayerFactory factory);
    // The app category (its widgets are built with the page's).
    nimbara::transfer::TransferAppPane& appPane();
    // The photo, music and video menus with their exports and music-library copies.
    nimbara::transfer::TransferMediaMenus& mediaMenus();

  protected:
    void viewShown() override;
    void deviceDetached(int index) override;

  private:
    // A category's load: running (started) or done (finished); neither: it may be entered.
    struct LoadFlags {
        bool started = false;
        bool finished = false;
        bool idle() const { return !started && !finished; }
    };

    void ensureBuilt();
    void wireTables();
    void showOnly(QWidget* view, const char* method, const QString& name);
    void enterLaterCategory(const char* method, int deviceIndex);
    // `problem`: the line says what went wrong (coloured as such).
    void setStatus(const QString& text, bool problem = true);

    void musicLoadEnded(const nimbara::transfer::MediaLibraryResult& result);
    // The music load ended without its lists: flags cleared, spinners stopped, `text` shown.
    void musicLoadFailed(const QString& text);
    void showMusicCounts();
    void clearTrackDetails();
    void showTrackDetails(const PRTranMusicNode& track);
    void clearContactDetails();
    void showContactDetails(const PRContactNode& contact);
    template <class Model, class Node>
    void moveRecords(Model* model, QTableView* table, std::vector<std::shared_ptr<Node>> rows);
    // The record of the single selected row of `table`, or null.
    template <class Model>
    auto selectedRecord(Model* model, QTableView* table) const -> typename Model::Ptr;

    std::unique_ptr<TransferUi> ui_;
    QPointer<QWidget> uiRoot_;
    QString shownView_ = QStringLiteral("mainView");

    PRTransferMusicController* musicController_ = nullptr;
    PRTransferVideoContoller* videoController_ = nullptr;
    PRContactController* contactController_ = nullptr;
    PRMessageTreeController* messageController_ = nullptr;
    PRNoteController* noteController_ = nullptr;
    nimbara::ui::ChatPictureLoader* pictureLoader_ = nullptr;
    nimbara::transfer::TransferRecordsPane* records_ = nullptr;
    TransferPhotos* photos_ = nullptr;
    nimbara::transfer::PRMediaPreviewController* preview_ = nullptr;
    nimbara::transfer::MediaPlayerFactory playerFactory_;
    nimbara::transfer::TransferAppPane* appPane_ = nullptr;
    nimbara::transfer::TransferMediaMenus* menus_ = nullptr;

    int tranferDevice_ = 0;
    LoadFlags musicLoad_;
    bool bPreviewTag_ = false;
    // The device the music load ran on, and what it found.
    nimbara::transfer::MediaDeviceTarget musicTarget_;
    bool musicRead_ = false;  // the lists shown were read (possibly empty)
    nimbara::transfer::MediaLibraryStatus musicStatus_ =
        nimbara::transfer::MediaLibraryStatus::Done;
    nimbara::JobRunner musicWorker_;
};
