#include "transfer/pages/transfer_media_menus.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QListView>
#include <QMenu>
#include <QTableView>

#include <algorithm>
#include <utility>

#include "transfer/pages/pr_media_preview_controller.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
#include "transfer/pages/transfer_export_panel.h"
#include "transfer/pages/transfer_record_exports.h"
#include "transfer/pages/transfer_ui.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/save_panel.h"

namespace nimbara::transfer {

namespace fs = std::filesystem;
using nimbara::JobRunner;

namespace {

const QString kExportBusyText =
    QStringLiteral("An export is still running. Try again when it has finished.");
const QString kNoListText =
    QStringLiteral("Choose Music to read the device's music and videos first.");

QString filesText(std::size_t count) {
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

// The rows of `indexes`, each once, in order.
std::vector<int> rowsOf(const QModelIndexList& indexes) {
    std::vector<int> rows;
    for (const QModelIndex& index : indexes) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

}  // namespace

TransferMediaMenus::TransferMediaMenus(PRTansferViewController& page, StatusLine status)
    : QObject(&page), page_(page), status_(std::move(status)) {}

TransferMediaMenus::~TransferMediaMenus() {
    exportWorker_.stop();
    libraryWorker_.stop();
}

// ------------------------------------------------------------------ menus

void TransferMediaMenus::attach(TransferUi& ui) {
    musicTable_ = ui.musicTableView;
    videoTable_ = ui.videoTableView;
    using Action = void (TransferMediaMenus::*)(QObject*);
    const auto item = [this](QMenu* menu, const QString& text, Action action) {
        QAction* added = menu->addAction(text);
        connect(added, &QAction::triggered, this, [this, action] { (this->*action)(nullptr); });
    };

    auto* music = new QMenu(ui.musicTableView);
    music->setObjectName(QStringLiteral("musicMenu"));
    item(music, QStringLiteral("Play"), &TransferMediaMenus::musicPlay);
    music->addSeparator();
    item(music, QStringLiteral("Export Selected to Mac..."),
         &TransferMediaMenus::ExportSelectedMusicToMac);
    item(music, QStringLiteral("Export All to Mac..."), &TransferMediaMenus::musicExporttoMac);
    item(music, QStringLiteral("Export to Documents"), &TransferMediaMenus::musicExporttoDocument);
    music->addSeparator();
    item(music, QStringLiteral("Copy to Music Library"), &TransferMediaMenus::musicCopytoiTunes);
    item(music, QStringLiteral("Copy All to Music Library"),
         &TransferMediaMenus::musicCopyAlltoiTunes);
    item(music, QStringLiteral("Add Selected to Music Library"),
         &TransferMediaMenus::ExportSelectedMusicToITuneslib);
    music->addSeparator();
    item(music, QStringLiteral("Select All"), &TransferMediaMenus::musicSelectAll);
    item(music, QStringLiteral("Unselect All"), &TransferMediaMenus::musicUnSelecteAll);
    musicMenu_ = music;

    auto* video = new QMenu(ui.videoTableView);
    video->setObjectName(QStringLiteral("videoMenu"));
    item(video, QStringLiteral("Play"), &TransferMediaMenus::videoPlay);
    video->addSeparator();
    item(video, QStringLiteral("Export All to Mac..."), &TransferMediaMenus::videoExporttoMac);
    item(video, QStringLiteral("Export Selected to Documents"),
         &TransferMediaMenus::videoExporttoDocument);
    video->addSeparator();
    item(video, QStringLiteral("Copy to Music Library"), &TransferMediaMenus::videoCopytoiTunes);
    item(video, QStringLiteral("Copy All to Music Library"),
         &TransferMediaMenus::videoCopyAlltoiTunes);
    video->addSeparator();
    item(video, QStringLiteral("Select All"), &TransferMediaMenus::videoSelecteAll);
    item(video, QStringLiteral("Unselect All"), &TransferMediaMenus::videoUnSelectAll);
    videoMenu_ = video;

    for (QTableView* view : {ui.musicTableView, ui.videoTableView}) {
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this,
                [this, view = QPointer<QTableView>(view)](const QPoint& at) {
                    if (view) {
                        tableMenuRequested(view, at);
                    }
                });
    }

    QListView* browser = ui.imageBroswerView;
    browser->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(browser, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { imageBrowserMenuRequested(at); });
    // The menu's keys work in the browser too.
    const auto key = [this, browser](const QKeySequence& keys, Action action) {
        auto* shortcut = new QAction(browser);
        shortcut->setShortcut(keys);
        shortcut->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QAction::triggered, this, [this, action] { (this->*action)(nullptr); });
        browser->addAction(shortcut);
    };
    key(QKeySequence(QStringLiteral("Ctrl+Shift+E")),
        &TransferMediaMenus::ExportSelectedPhotoToMac);
    key(QKeySequence(QStringLiteral("Ctrl+E")), &TransferMediaMenus::ExportAllPhotoToMac);
}

QMenu* TransferMediaMenus::tableMenuRequested(QTableView* view, const QPoint& at, bool popup) {
    const bool video = view == videoTable_;
    QMenu* menu = video ? videoMenu_.data() : musicMenu_.data();
    if (menu == nullptr || (view != musicTable_ && view != videoTable_)) {
        return nullptr;
    }
    const QModelIndex clicked = view->indexAt(at);
    (video ? videoClicked_ : musicClicked_) = clicked.isValid() ? clicked.row() : -1;
    menuNeedsUpdate(menu);
    if (popup) {
        menu->popup(view->viewport()->mapToGlobal(at));
    }
    return menu;
}

QMenu* TransferMediaMenus::imageBrowserMenuRequested(const QPoint& at, bool popup) {
    QListView* browser = page_.transferUi().imageBroswerView;
    const QModelIndex cell = browser->indexAt(at);
    if (cell.isValid() && !browser->selectionModel()->isSelected(cell)) {
        browser->selectionModel()->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
    }
    auto* menu = new QMenu(browser);
    menu->setTitle(QStringLiteral("menu"));
    menu->setObjectName(QStringLiteral("photoMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* selected = menu->addAction(QStringLiteral("Export Selected to Mac..."), this,
                                        [this] { ExportSelectedPhotoToMac(); });
    selected->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    QAction* all = menu->addAction(QStringLiteral("Export All to Mac..."), this,
                                   [this] { ExportAllPhotoToMac(); });
    all->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    menuNeedsUpdate(menu);
    if (popup) {
        menu->popup(browser->viewport()->mapToGlobal(at));
    }
    return menu;
}

void TransferMediaMenus::menuNeedsUpdate(QMenu* menu) {
    if (menu == nullptr) {
        return;
    }
    if (menu == musicMenu_ || menu == videoMenu_) {
        const bool onRow = clickedRow(menu == videoMenu_) >= 0;
        for (QAction* item : menu->actions()) {
            item->setEnabled(onRow);
        }
        return;
    }
    if (menu->objectName() == QLatin1String("photoMenu")) {
        const QListView* browser = page_.transferUi().imageBroswerView;
        const QList<QAction*> items = menu->actions();
        if (items.size() == 2) {
            items[0]->setEnabled(browser->selectionModel()->hasSelection());
            items[1]->setEnabled(page_.photos().model()->rowCount() > 0);
        }
    }
}

// ------------------------------------------------------------------ what the actions work on

QTableView* TransferMediaMenus::table(bool video) const {
    return video ? videoTable_.data() : musicTable_.data();
}

std::vector<TransferMediaMenus::Track> TransferMediaMenus::tracks(bool video) const {
    const auto& content =
        video ? page_.videoController()->content() : page_.musicController()->content();
    return {content.begin(), content.end()};
}

TransferMediaMenus::Track TransferMediaMenus::clickedTrack(bool video) const {
    const int row = clickedRow(video);
    return row < 0 ? nullptr
           : video ? page_.videoController()->rowAt(row)
                   : page_.musicController()->rowAt(row);
}

std::vector<TransferMediaMenus::Track> TransferMediaMenus::selectedTracks(bool video) const {
    std::vector<Track> chosen;
    QTableView* view = table(video);
    if (view == nullptr) {
        return chosen;
    }
    for (const int row : rowsOf(view->selectionModel()->selectedRows())) {
        if (Track track =
                video ? page_.videoController()->rowAt(row) : page_.musicController()->rowAt(row)) {
            chosen.push_back(std::move(track));
        }
    }
    return chosen;
}

std::optional<amd::DeviceTarget> TransferMediaMenus::listDevice() {
    const amd::DeviceTarget device = page_.musicDevice();
    if (device.deviceSerial == 0) {
        status_(kNoListText, true);
        return std::nullopt;
    }
    return device;
}

// ------------------------------------------------------------------ exports

bool TransferMediaMenus::exportBusy() {
    if (exportWorker_.busy()) {
        status_(kExportBusyText, true);
        return true;
    }
    return false;
}

void TransferMediaMenus::ExportSelectedPhotoToMac(QObject*) {
    const TransferPhotos& photos = page_.photos();
    std::vector<MediaExportItem> plan;
    const QListView* browser = page_.transferUi().imageBroswerView;
    for (const int row : rowsOf(browser->selectionModel()->selectedIndexes())) {
        if (const auto item = photos.model()->itemAtIndex(row)) {
            plan.push_back(mediaExportItem(*item));
        }
    }
    exportToMac(photos.target(), std::move(plan),
                QStringLiteral("Choose the photos to export first."));
}

void TransferMediaMenus::ExportAllPhotoToMac(QObject*) {
    const TransferPhotos& photos = page_.photos();
    std::vector<MediaExportItem> plan;
    for (int row = 0; row < photos.model()->numberOfItemsInImageBrowser(); ++row) {
        plan.push_back(mediaExportItem(*photos.model()->itemAtIndex(row)));
    }
    exportToMac(photos.target(), std::move(plan), QStringLiteral("There are no photos to export."));
}

void TransferMediaMenus::ExportSelectedMusicToMac(QObject*) {
    exportTracksToMac(selectedTracks(false), QStringLiteral("Choose the tracks to export first."));
}

void TransferMediaMenus::musicExporttoMac(QObject*) {
    exportTracksToMac(tracks(false), QStringLiteral("There are no tracks to export."));
}

void TransferMediaMenus::videoExporttoMac(QObject*) {
    exportTracksToMac(tracks(true), QStringLiteral("There are no videos to export."));
}

void TransferMediaMenus::exportTracksToMac(std::vector<Track> chosen, const QString& nothingText) {
    if (chosen.empty()) {
        status_(nothingText, false);
        return;
    }
    const std::optional<amd::DeviceTarget> device = listDevice();
    if (!device) {
        return;
    }
    std::vector<MediaExportItem> plan;
    for (const Track& track : chosen) {
        plan.push_back(mediaExportItem(*track));
    }
    exportToMac(*device, std::move(plan), nothingText);
}

void TransferMediaMenus::exportToMac(amd::DeviceTarget device, std::vector<MediaExportItem> plan,
                                     const QString& nothingText) {
    if (plan.empty()) {
        status_(nothingText, false);
        return;
    }
    if (exportBusy()) {
        return;
    }
    const std::uint64_t asked = generation_;
    const QString start = exportPath_.isEmpty() ? QString() : QFileInfo(exportPath_).absolutePath();
    const std::optional<fs::path> folder = ExportOpenpanelAction(page_.view(), start);
    if (!folder || asked != generation_ || exportBusy()) {
        return;  // cancelled, or the page was reset meanwhile
    }
    exportPath_ = QFile::decodeName(folder->c_str());
    runExport(device, std::move(plan), *folder);
}

void TransferMediaMenus::musicExporttoDocument(QObject*) {
    if (Track track = clickedTrack(false)) {
        exportTracksToDocuments({std::move(track)}, QString());
    }
}

void TransferMediaMenus::videoExporttoDocument(QObject*) {
    exportTracksToDocuments(selectedTracks(true),
                            QStringLiteral("Choose the videos to export first."));
}

void TransferMediaMenus::exportTracksToDocuments(std::vector<Track> chosen,
                                                 const QString& nothingText) {
    if (chosen.empty()) {
        status_(nothingText, false);
        return;
    }
    const std::optional<amd::DeviceTarget> device = listDevice();
    if (!device || exportBusy()) {
        return;
    }
    std::vector<MediaExportItem> plan;
    for (const Track& track : chosen) {
        plan.push_back(mediaExportItem(*track));
    }
    runExport(*device, std::move(plan), documents_.empty() ? documentsFolder() : documents_);
}

void TransferMediaMenus::runExport(amd::DeviceTarget device, std::vector<MediaExportItem> plan,
                                   fs::path folder) {
    status_(QStringLiteral("Exporting %1…").arg(filesText(plan.size())), false);
    exportWorker_.start([this, device, plan = std::move(plan), folder = std::move(folder)](
                            const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        const auto progress = [this, &post](std::size_t handled, std::size_t total) {
            post([this, handled, total] {
                status_(QStringLiteral("Exporting: %1 of %2 done…").arg(handled).arg(total), false);
            });
        };
        auto report = std::make_shared<MediaExportReport>(
            exportMediaItems(device, plan, folder, progress, stop));
        post([this, report] { exportEnded(*report); });
    });
}

void TransferMediaMenus::exportEnded(const MediaExportReport& report) {
    exportWorker_.finish();
    lastExport_ = report;
    status_(mediaExportOutcomeText(report), report.status != cleanup::CleanRunStatus::Done);
    if (report.revealFolder()) {
        nimbara::ui::FileViewer::reveal(QFile::decodeName(report.folder.c_str()));
    }
}

// ------------------------------------------------------------------ play

void TransferMediaMenus::musicPlay(QObject*) {
    play(false);
}

void TransferMediaMenus::videoPlay(QObject*) {
    play(true);
}

void TransferMediaMenus::play(bool video) {
    if (Track track = clickedTrack(video)) {
        page_.playTrack(track, video);
    }
}

// ------------------------------------------------------------------ the music library

void TransferMediaMenus::musicCopytoiTunes(QObject*) {
    if (Track track = clickedTrack(false)) {
        copyToLibrary(false, {std::move(track)}, true, QString());
    }
}

void TransferMediaMenus::videoCopytoiTunes(QObject*) {
    if (Track track = clickedTrack(true)) {
        copyToLibrary(true, {std::move(track)}, true, QString());
    }
}

void TransferMediaMenus::musicCopyAlltoiTunes(QObject*) {
    copyToLibrary(false, tracks(false), true, QStringLiteral("There are no tracks to copy."));
}

void TransferMediaMenus::videoCopyAlltoiTunes(QObject*) {
    copyToLibrary(true, tracks(true), true, QStringLiteral("There are no videos to copy."));
}

void TransferMediaMenus::ExportSelectedMusicToITuneslib(QObject*) {
    copyToLibrary(false, selectedTracks(false), false,
                  QStringLiteral("Choose the tracks to add to the music library first."));
}

void TransferMediaMenus::copyToLibrary(bool video, std::vector<Track> chosen, bool fetchMissing,
                                       const QString& nothingText) {
    if (chosen.empty()) {
        if (!nothingText.isEmpty()) {
            status_(nothingText, false);
        }
        return;
    }
    const std::optional<amd::DeviceTarget> device = listDevice();
    if (!device) {
        return;
    }
    LibraryCopyRequest request;
    request.device = *device;
    request.tracks = std::move(chosen);
    request.fetchMissing = fetchMissing;
    request.videos = video;
    if (!library_.empty()) {
        request.libraryFolder = library_;
    }
    libraryWaiting_.push_back(std::move(request));
    if (libraryWorker_.busy()) {
        status_(QStringLiteral("This copy to the music library starts when the one under way has "
                               "finished."),
                false);
        return;
    }
    startNextLibraryCopy();
}

void TransferMediaMenus::startNextLibraryCopy() {
    if (libraryWorker_.busy() || libraryWaiting_.empty()) {
        return;
    }
    LibraryCopyRequest request = std::move(libraryWaiting_.front());
    libraryWaiting_.pop_front();
    status_(QStringLiteral("Copying %1 to the music library…")
                .arg(request.tracks.size() == 1
                         ? QStringLiteral("1 item")
                         : QStringLiteral("%1 items").arg(request.tracks.size())),
            false);
    const iTunesScriptHandler::ErrorAlert alert = scriptErrorAlert(page_.view());
    libraryWorker_.start([this, request = std::move(request), alert](
                             const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        const auto progress = [this, &post](std::size_t handled, std::size_t total) {
            post([this, handled, total] {
                status_(QStringLiteral("Copying to the music library: %1 of %2 done…")
                            .arg(handled)
                            .arg(total),
                        false);
            });
        };
        auto report = std::make_shared<LibraryCopyReport>(
            copyTracksToLibrary(request, alert, progress, stop));
        post([this, report] { libraryCopyEnded(*report); });
    });
}

void TransferMediaMenus::libraryCopyEnded(const LibraryCopyReport& report) {
    libraryWorker_.finish();
    lastLibraryCopy_ = report;
    status_(libraryCopyOutcomeText(report), !report.complete());
    startNextLibraryCopy();
}

// ------------------------------------------------------------------ selection

void TransferMediaMenus::musicSelectAll(QObject*) {
    if (QTableView* view = table(false)) {
        view->selectAll();
    }
}

void TransferMediaMenus::videoSelecteAll(QObject*) {
    if (QTableView* view = table(true)) {
        view->selectAll();
    }
}

void TransferMediaMenus::musicUnSelecteAll(QObject*) {
    if (QTableView* view = table(false)) {
        view->clearSelection();
    }
}

void TransferMediaMenus::videoUnSelectAll(QObject*) {
    if (QTableView* view = table(true)) {
        view->clearSelection();
    }
}

void TransferMediaMenus::reset() {
    ++generation_;
    exportWorker_.stop();
    libraryWorker_.stop();
    libraryWaiting_.clear();
    musicClicked_ = -1;
    videoClicked_ = -1;
}

}  // namespace nimbara::transfer
