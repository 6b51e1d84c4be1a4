// The context menus of the transfer page's photos, music and videos, and what they do: exports to
// a folder chosen in the save panel or to the Documents folder (media_export.h), playing a track
// or video, and copies into the music library (music_library_copy.h).
//
// The music and video menus act on the row under the right click (the clicked row) or on the
// table's selection; opened over empty space every item is disabled. The photo browser's menu
// ("menu") is made afresh for each right click: "Export Selected to Mac..." and "Export All to
// Mac...", each enabled only when it has something to export.
//
// What an action works on is taken on the GUI thread when it is chosen, with the device (index
// AND serial) the lists were read from; an action with nothing to work on says so and asks
// nothing. Exports run one at a time on the page's export worker: the status line shows their
// progress, and at their end what was written, where, and what failed; the folder is shown once,
// and only when something was written. Library copies run on one worker, one track after
// another, queued when one runs. A device change (reset) stops both and drops what they still
// hand over. GUI thread only.
#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTableView>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/job_runner.h"
#include "transfer/media_export.h"
#include "transfer/music_library_copy.h"

class PRTansferViewController;
class PRTranMusicNode;
class QPoint;
struct TransferUi;

namespace nimbara::transfer {

class TransferMediaMenus : public QObject {
  public:
    // Shows a sentence on the page's status line; `problem` colours it as one.
    using StatusLine = std::function<void(const QString& text, bool problem)>;
    using Track = std::shared_ptr<PRTranMusicNode>;

    TransferMediaMenus(PRTansferViewController& page, StatusLine status);
    ~TransferMediaMenus() override;

    // Hooks the menus to the tables and the image browser of (re)built page widgets.
    void attach(TransferUi& ui);

    // The tables' menus (null before attach).
    QMenu* musicMenu() const { return musicMenu_.data(); }
    QMenu* videoMenu() const { return videoMenu_.data(); }
    // A right click at `at` (viewport coordinates) on the music or video table: notes the
    // clicked row, enables the menu's items and pops it up unless `popup` is false.
    QMenu* tableMenuRequested(QTableView* table, const QPoint& at, bool popup = true);
    // A right click at `at` on the image browser: a cell under it that is not chosen becomes the
    // selection; the browser's new menu, popped up unless `popup` is false.
    QMenu* imageBrowserMenuRequested(const QPoint& at, bool popup = true);
    // Enables the items of `menu` before it opens: every item of the music or video menu when
    // its table's clicked row is 0 or more, none otherwise.
    void menuNeedsUpdate(QMenu* menu);
    int clickedRow(bool video) const { return video ? videoClicked_ : musicClicked_; }

    // Exports to a folder chosen in the save panel.
    void ExportSelectedPhotoToMac(QObject* sender = nullptr);
    void ExportAllPhotoToMac(QObject* sender = nullptr);
    void ExportSelectedMusicToMac(QObject* sender = nullptr);
    void musicExporttoMac(QObject* sender = nullptr);  // every track
    void videoExporttoMac(QObject* sender = nullptr);  // every video
    // Exports into the Documents folder: the clicked track; the selected videos.
    void musicExporttoDocument(QObject* sender = nullptr);
    void videoExporttoDocument(QObject* sender = nullptr);

    // Plays the clicked row's track or video (copied from the device first when needed).
    void musicPlay(QObject* sender = nullptr);
    void videoPlay(QObject* sender = nullptr);
    // Copies into the music library: the clicked row, every row, or the selected tracks that
    // were copied already (nothing is fetched for those).
    void musicCopytoiTunes(QObject* sender = nullptr);
    void videoCopytoiTunes(QObject* sender = nullptr);
    void musicCopyAlltoiTunes(QObject* sender = nullptr);
    void videoCopyAlltoiTunes(QObject* sender = nullptr);
    void ExportSelectedMusicToITuneslib(QObject* sender = nullptr);

    void musicSelectAll(QObject* sender = nullptr);
    void videoSelecteAll(QObject* sender = nullptr);
    void musicUnSelecteAll(QObject* sender = nullptr);
    void videoUnSelectAll(QObject* sender = nullptr);

    // Another device became current: stops the export and the library copies, forgets the
    // clicked rows.
    void reset();

    bool exporting() const { return exportWorker_.busy(); }
    bool copyingToLibrary() const { return libraryWorker_.busy(); }
    std::size_t libraryCopiesWaiting() const { return libraryWaiting_.size(); }
    std::size_t workersEnding() const { return exportWorker_.ending() + libraryWorker_.ending(); }
    // The folder chosen in the last save panel.
    QString exportPath() const { return exportPath_; }
    // The outcome of the last export and of the last library copy.
    const std::optional<MediaExportReport>& lastExport() const { return lastExport_; }
    const std::optional<LibraryCopyReport>& lastLibraryCopy() const { return lastLibraryCopy_; }

    // Where Documents exports and library copies go (the user's folders unless set).
    void setDocumentsFolder(std::filesystem::path folder) { documents_ = std::move(folder); }
    void setLibraryFolder(std::filesystem::path folder) { library_ = std::move(folder); }

  private:
    QTableView* table(bool video) const;
    std::vector<Track> tracks(bool video) const;
    Track clickedTrack(bool video) const;
    std::vector<Track> selectedTracks(bool video) const;
    // The device the music and video lists were read from, or none (said on the page).
    std::optional<amd::DeviceTarget> listDevice();

    void exportToMac(amd::DeviceTarget device, std::vector<MediaExportItem> plan,
                     const QString& nothingText);
    void exportTracksToMac(std::vector<Track> chosen, const QString& nothingText);
    void exportTracksToDocuments(std::vector<Track> chosen, const QString& nothingText);
    void runExport(amd::DeviceTarget device, std::vector<MediaExportItem> plan,
                   std::filesystem::path folder);
    void exportEnded(const MediaExportReport& report);
    bool exportBusy();

    void play(bool video);
    void copyToLibrary(bool video, std::vector<Track> chosen, bool fetchMissing,
                       const QString& nothingText);
    void startNextLibraryCopy();
    void libraryCopyEnded(const LibraryCopyReport& report);

    PRTansferViewController& page_;
    StatusLine status_;
    QPointer<QMenu> musicMenu_;
    QPointer<QMenu> videoMenu_;
    QPointer<QTableView> musicTable_;
    QPointer<QTableView> videoTable_;
    int musicClicked_ = -1;
    int videoClicked_ = -1;
    std::uint64_t generation_ = 0;  // counts resets: a panel answered after one starts nothing
    QString exportPath_;
    std::filesystem::path documents_;
    std::filesystem::path library_;
    std::optional<MediaExportReport> lastExport_;
    std::optional<LibraryCopyReport> lastLibraryCopy_;
    std::deque<LibraryCopyRequest> libraryWaiting_;
    nimbara::JobRunner exportWorker_;
    nimbara::JobRunner libraryWorker_;
};

}  // namespace nimbara::transfer
