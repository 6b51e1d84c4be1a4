// The storage manager's actions: the photo preview copy, exports, removals, the uninstall and the
// export of an app's container. Each runs on a page worker bound to the device its list was
// scanned from; what it hands back is dropped once the page moved on to another device.
#include <QAction>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStringList>
#include <QTableView>

#include <algorithm>
#include <filesystem>
#include <utility>

#include "device/device_manager.h"
#include "filemanager/action_texts.h"
#include "filemanager/pages/export_reminder_dialog.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "filemanager/storage_export.h"
#include "filemanager/storage_items.h"
#include "filemanager/storage_preview.h"
#include "filemanager/storage_removal.h"
#include "ui/alerts.h"
#include "ui/chat_picture_loader.h"
#include "ui/core/device_file_nodes.h"
#include "ui/save_panel.h"

namespace fm = nimbara::filemanager;
using fm::StorageDeviceTarget;
using fm::StorageItem;
using fm::StorageOutcome;
using fm::StorageReport;
using nimbara::JobRunner;

namespace {

constexpr const char* kBusyText = "Please wait until the current export or removal has ended.";
constexpr const char* kGoneText =
    "The device went away. Connect it again and scan the category anew.";
constexpr const char* kNotScannedText = "Scan the category first.";
constexpr const char* kNoExportFolderText =
    "There is no export folder. Choose one in Preferences first.";
constexpr QSize kPhotoPreviewBox{128, 128};

bool sameTarget(const StorageDeviceTarget& a, const StorageDeviceTarget& b) {
    return a.deviceIndex == b.deviceIndex && a.deviceSerial == b.deviceSerial;
}

// The scans' and the actions' names for the same device.
fm::StorageTarget actionTarget(const StorageDeviceTarget& target) {
    return {target.deviceIndex, target.deviceSerial};
}

bool attached(const StorageDeviceTarget& target) {
    return target.deviceSerial != 0 &&
           amd::DeviceManager::GetInstance().IsAttached(target.deviceIndex, target.deviceSerial);
}

std::filesystem::path localPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QString displayPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

std::uint64_t lessBy(std::uint64_t total, std::uint64_t bytes) {
    return total > bytes ? total - bytes : 0;
}

// No row chosen and no current row: the next action takes only what the user chooses anew.
void clearSelectionOf(QTableView* table) {
    if (table != nullptr && table->selectionModel() != nullptr) {
        table->selectionModel()->clear();
    }
}

bool isFolderEntry(const PRPhoneSystemFileNode& entry) {
    return entry.fileType() == QLatin1String("Folder");
}

// The shell's running total a removal of `category` adds to.
nimbara::ui::PageHost::RemovedCategory removedCategoryOf(DiskCategory category) {
    using Removed = nimbara::ui::PageHost::RemovedCategory;
    switch (category) {
        case DiskCategory::Photo:
            return Removed::Photos;
        case DiskCategory::Music:
            return Removed::Music;
        case DiskCategory::Video:
            return Removed::Videos;
        case DiskCategory::Books:
            return Removed::Books;
        case DiskCategory::UserApps:
        case DiskCategory::SystemApps:
            return Removed::Apps;
        case DiskCategory::UserData:
            break;
    }
    return Removed::UserData;
}

// The folder an export shows when done: where something was written, else nothing.
QString revealedFolder(const StorageReport& report) {
    const bool wrote = std::any_of(report.items.begin(), report.items.end(), [](const auto& item) {
        return item.outcome == StorageOutcome::Done && !item.written.empty();
    });
    return wrote && !report.folder.empty() ? displayPath(report.folder) : QString();
}

// "Exporting 3 of 10…" and the like.
QString progressText(const char* doing, const nimbara::cleanup::CleanProgress& progress) {
    return QStringLiteral("%1 %2 of %3…")
        .arg(QLatin1String(doing))
        .arg(progress.handled)
        .arg(progress.total);
}

}  // namespace

// ------------------------------------------------------------------ wiring

void PRDiskaManagerViewController::wireActions() {
    using Self = PRDiskaManagerViewController;
    using Action = void (Self::*)(QObject*);
    const std::pair<QPushButton*, Action> buttons[] = {
        {ui_->photo.actions[0], &Self::ExportPhotoItem},
        {ui_->photo.actions[1], &Self::ExportAllPhotoItem},
        {ui_->photo.actions[2], &Self::RemovePhotoItem},
        {ui_->music.actions[0], &Self::ExportMusicItem},
        {ui_->music.actions[1], &Self::ExportAllMusicItem},
        {ui_->music.actions[2], &Self::RemoveMusicItem},
        {ui_->video.actions[0], &Self::ExportVideoItem},
        {ui_->video.actions[1], &Self::ExportAllMoviesItem},
        {ui_->video.actions[2], &Self::RemoveVideoItem},
        {ui_->books.actions[0], &Self::ExportBookItem},
        {ui_->books.actions[1], &Self::ExportAllBookItem},
        {ui_->books.actions[2], &Self::RemoveBookItem},
        {ui_->apps.actions[0], &Self::ExportAppData},
        {ui_->apps.actions[1], &Self::UninStallAppData},
        {ui_->userLibDataActions[0], &Self::ExportUserData},
        {ui_->userLibDataActions[1], &Self::RemoveUerDataFile},
    };
    for (const auto& [button, action] : buttons) {
        if (button == nullptr) {
            continue;
        }
        QPushButton* const source = button;
        connect(button, &QPushButton::clicked, this,
                [this, source, action = action] { (this->*action)(source); });
        // The same actions on the table's context menu.
        QWidget* const list = source->parentWidget();
        QTableView* const table = list == ui_->userLibDataView ? ui_->userLibDataFileTableView
                                                               : list->findChild<QTableView*>();
        if (table != nullptr) {
            auto* item = new QAction(source->text(), table);
            connect(item, &QAction::triggered, this,
                    [this, source, action = action] { (this->*action)(source); });
            table->addAction(item);
            table->setContextMenuPolicy(Qt::ActionsContextMenu);
        }
    }
}

void PRDiskaManagerViewController::setSettings(std::shared_ptr<QSettings> settings) {
    settings_ = std::move(settings);
}

QSettings& PRDiskaManagerViewController::settings() {
    if (!settings_) {
        settings_ =
            std::make_shared<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                        QStringLiteral("Nimbara"), QStringLiteral("Nimbara"));
    }
    return *settings_;
}

QString PRDiskaManagerViewController::exportFolder() const {
    return host().exportFolder();
}

void PRDiskaManagerViewController::actionEnded() {
    if (actionEnded_) {
        actionEnded_();
    }
}

// ------------------------------------------------------------------ photo preview

void PRDiskaManagerViewController::PreviewCopyOnThread(
    const std::shared_ptr<PRPhotoAndVideoNode>& photo) {
    previewer_.stop();
    previewPhoto_ = photo;
    const StorageDeviceTarget target = targets_[static_cast<std::size_t>(Scan::Photo)];
    if (!photo || !attached(target)) {
        return;
    }
    const std::string devicePath = photo->devicePath();
    const bool movie = photo->bmov();
    previewer_.start([this, photo, target, devicePath, movie](const JobRunner::StopCheck& stop,
                                                              const JobRunner::Post& post) {
        const fm::PreviewCopy copy =
            fm::copyForPreview(actionTarget(target), devicePath, fm::kPreviewSizeLimit, stop);
        // Decoded here, scaled into the preview: the GUI thread only shows it.
        QImage picture;
        if (copy.copied() && !movie) {
            picture = nimbara::ui::decodeChatPictureFile(displayPath(copy.path), kPhotoPreviewBox);
        }
        post([this, photo, picture, copied = copy.copied(), target] {
            PreviewCopyOnMainThreadHanld(photo, picture, copied, target);
        });
    });
}

void PRDiskaManagerViewController::PreviewCopyOnMainThreadHanld(
    const std::shared_ptr<PRPhotoAndVideoNode>& photo, const QImage& picture, bool copied,
    const StorageDeviceTarget& target) {
    previewer_.finish();
    if (copied) {
        photo->setBhasCopy(true);  // exports copy the local file from now on
    }
    // Shown only while the photo is still the chosen one of the same device's list.
    bool chosen = false;
    if (ui_ && uiRoot_ && photo == previewPhoto_ &&
        sameTarget(target, targets_[static_cast<std::size_t>(Scan::Photo)])) {
        const QModelIndexList rows = ui_->photo.table->selectionModel()->selectedRows();
        chosen = !rows.isEmpty() && photoController_->rowAt(rows.front().row()) == photo;
    }
    if (chosen && !picture.isNull()) {
        setPhotoPreviewPicture(QPixmap::fromImage(picture));
    }
    actionEnded();
}

// ------------------------------------------------------------------ shared steps

QTableView* PRDiskaManagerViewController::tableOf(DiskCategory category) const {
    switch (category) {
        case DiskCategory::Photo:
            return ui_->photo.table;
        case DiskCategory::Music:
            return ui_->music.table;
        case DiskCategory::Video:
            return ui_->video.table;
        case DiskCategory::Books:
            return ui_->books.table;
        case DiskCategory::UserApps:
            return ui_->apps.table;
        case DiskCategory::SystemApps:
            return ui_->system.table;
        case DiskCategory::UserData:
            break;
    }
    return ui_->userLibDataFileTableView;
}

std::vector<int> PRDiskaManagerViewController::chosenRows(DiskCategory category) const {
    std::vector<int> rows;
    for (const QModelIndex& index : tableOf(category)->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<StorageItem> PRDiskaManagerViewController::itemsOf(
    DiskCategory category, const std::vector<int>& rows, const StorageDeviceTarget& target) const {
    const auto track = [](const PRTranMusicNode& node) { return fm::itemOfTrack(node); };
    switch (category) {
        case DiskCategory::Photo:
            return fm::itemsAtRows(photoController_->content(), rows,
                                   [&target](const PRPhotoAndVideoNode& node) {
                                       return fm::itemOfPhoto(node, actionTarget(target));
                                   });
        case DiskCategory::Music:
            return fm::itemsAtRows(musicController_->content(), rows, track);
        case DiskCategory::Video:
            return fm::itemsAtRows(videoController_->content(), rows, track);
        case DiskCategory::Books:
            return fm::itemsAtRows(booksController_->content(), rows, [](const PRBookNode& book) {
                return fm::itemOfBook(book.devicePath(), book.bookName(), book.fileSizeNumber(),
                                      book.isFolder());
            });
        case DiskCategory::UserData:
            return fm::itemsAtRows(libFileController_->entries(), rows,
                                   [](const PRPhoneSystemFileNode& entry) {
                                       StorageItem item = fm::itemOfUserDataFile(entry);
                                       item.folder = isFolderEntry(entry);
                                       return item;
                                   });
        case DiskCategory::UserApps:
        case DiskCategory::SystemApps:
            break;
    }
    return {};
}

bool PRDiskaManagerViewController::readyForAction(DiskCategory category,
                                                  StorageDeviceTarget* target) {
    if (!ui_ || !uiRoot_) {
        return false;
    }
    if (actions_.busy()) {
        setStatus(QString::fromLatin1(kBusyText));
        return false;
    }
    const Scan scan = scanOf(category);
    if (scanState(scan) != ScanState::Done) {
        setStatus(QString::fromLatin1(kNotScannedText));
        return false;
    }
    *target = targets_[static_cast<std::size_t>(scan)];
    if (!attached(*target)) {
        setStatus(QString::fromLatin1(kGoneText));
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ exports

void PRDiskaManagerViewController::exportSourcePathRemind() {
    fm::exportSourcePathRemind(view(), exportFolder(), settings());
}

void PRDiskaManagerViewController::exportList(DiskCategory category, bool all) {
    StorageDeviceTarget target;
    if (!readyForAction(category, &target)) {
        return;
    }
    const std::vector<int> rows =
        all ? fm::allRows(static_cast<std::size_t>(tableOf(category)->model()->rowCount()))
            : chosenRows(category);
    if (rows.empty()) {
        setStatus(all ? QStringLiteral("There is nothing to export.")
                      : QStringLiteral("Choose the items to export first."));
        return;
    }
    // What was chosen when the user clicked is what is exported.
    std::vector<StorageItem> items = itemsOf(category, rows, target);
    const std::uint64_t asked = generation_;
    exportSourcePathRemind();
    if (asked != generation_ || actions_.busy()) {
        return;  // another device by now, or another action started meanwhile
    }
    runExport(target, std::move(items));
}

void PRDiskaManagerViewController::runExport(const StorageDeviceTarget& target,
                                             std::vector<StorageItem> items) {
    const QString folder = exportFolder();
    if (folder.isEmpty()) {
        setStatus(QString::fromLatin1(kNoExportFolderText));
        return;
    }
    setStatus(QStringLiteral("Exporting…"), false);
    const std::filesystem::path into = localPath(folder);
    actions_.start([this, target, items = std::move(items), into](const JobRunner::StopCheck& stop,
                                                                  const JobRunner::Post& post) {
        const auto progress = [this, &post](const nimbara::cleanup::CleanProgress& step) {
            post([this, text = progressText("Exporting", step)] { setStatus(text, false); });
        };
        auto report = std::make_shared<StorageReport>(
            fm::exportStorageItems(actionTarget(target), items, into, progress, stop));
        post([this, report] {
            actions_.finish();
            // What was written and where, once: the line says it, the folder is shown.
            const QString shown = revealedFolder(*report);
            setStatus(fm::exportEndText(report->message, report->folder, !shown.isEmpty()),
                      report->status != nimbara::cleanup::CleanRunStatus::Done);
            if (!shown.isEmpty()) {
                nimbara::ui::FileViewer::reveal(shown);
            }
            actionEnded();
        });
    });
}

void PRDiskaManagerViewController::ExportPhotoItem(QObject* sender) {
    record(QStringLiteral("ExportPhotoItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Photo, false);
}
void PRDiskaManagerViewController::ExportMusicItem(QObject* sender) {
    record(QStringLiteral("ExportMusicItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Music, false);
}
void PRDiskaManagerViewController::ExportVideoItem(QObject* sender) {
    record(QStringLiteral("ExportVideoItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Video, false);
}
void PRDiskaManagerViewController::ExportBookItem(QObject* sender) {
    record(QStringLiteral("ExportBookItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Books, false);
}
void PRDiskaManagerViewController::ExportAllPhotoItem(QObject* sender) {
    record(QStringLiteral("ExportAllPhotoItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Photo, true);
}
void PRDiskaManagerViewController::ExportAllMusicItem(QObject* sender) {
    record(QStringLiteral("ExportAllMusicItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Music, true);
}
void PRDiskaManagerViewController::ExportAllMoviesItem(QObject* sender) {
    record(QStringLiteral("ExportAllMoviesItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Video, true);
}
void PRDiskaManagerViewController::ExportAllBookItem(QObject* sender) {
    record(QStringLiteral("ExportAllBookItem(%1)").arg(argument(sender)));
    exportList(DiskCategory::Books, true);
}

void PRDiskaManagerViewController::ExportUserData(QObject* sender) {
    record(QStringLiteral("ExportUserData(%1)").arg(argument(sender)));
    exportList(DiskCategory::UserData, false);
}

void PRDiskaManagerViewController::ExportAppData(QObject* sender) {
    record(QStringLiteral("ExportAppData(%1)").arg(argument(sender)));
    StorageDeviceTarget target;
    if (!readyForAction(DiskCategory::UserApps, &target)) {
        return;
    }
    const std::vector<int> rows = chosenRows(DiskCategory::UserApps);
    const auto app = rows.empty() ? nullptr : appController_->rowAt(rows.front());
    if (!app) {
        setStatus(QStringLiteral("Choose the app whose data to export first."));
        return;
    }
    const std::string bundleId = app->appBundleId().toStdString();
    const QString name = app->appDisplayName();
    const std::uint64_t asked = generation_;
    exportSourcePathRemind();
    if (asked != generation_ || actions_.busy()) {
        return;
    }
    const QString folder = exportFolder();
    if (folder.isEmpty()) {
        setStatus(QString::fromLatin1(kNoExportFolderText));
        return;
    }
    setStatus(QStringLiteral("Exporting the data of %1…").arg(name), false);
    const std::filesystem::path into = localPath(folder);
    actions_.start([this, target, bundleId, name, into](const JobRunner::StopCheck& stop,
                                                        const JobRunner::Post& post) {
        auto report = std::make_shared<StorageReport>(
            fm::exportAppContainer(actionTarget(target), bundleId, name, into, stop));
        post([this, report] {
            actions_.finish();
            // The app's own folder, once something went into it.
            const auto& app = report->items.front();
            const bool wrote =
                !app.written.empty() && (app.outcome == StorageOutcome::Done || report->bytes > 0);
            setStatus(fm::exportEndText(report->message, app.written, wrote),
                      report->status != nimbara::cleanup::CleanRunStatus::Done);
            if (wrote) {
                nimbara::ui::FileViewer::reveal(displayPath(app.written));
            }
            actionEnded();
        });
    });
}

// ------------------------------------------------------------------ removals

void PRDiskaManagerViewController::removeChosen(DiskCategory category) {
    StorageDeviceTarget target;
    if (!readyForAction(category, &target)) {
        return;
    }
    const std::vector<int> rows = chosenRows(category);
    std::vector<StorageItem> items = itemsOf(category, rows, target);
    QString note;
    if (category == DiskCategory::UserData) {
        // Only files: a folder of the tree stays (the device file browser deletes folders).
        const std::size_t before = items.size();
        std::erase_if(items, [](const StorageItem& item) { return item.folder; });
        if (items.size() != before) {
            note = QStringLiteral("Folders are not deleted here.");
        }
    }
    if (items.empty()) {
        setStatus(note.isEmpty() ? QStringLiteral("Choose the items to delete first.") : note);
        return;
    }
    // What is asked about is what is removed, whatever the selection does afterwards; the
    // question names every item it takes.
    QStringList details{fm::storageRemovalSummary(items)};
    if (!note.isEmpty()) {
        details << note;
    }
    if (category == DiskCategory::Books) {
        details << QString() << fm::removeBooksCautionText();
    }
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        view(), {fm::removeQuestionText(), details.join(QLatin1Char('\n')),
                 QStringLiteral("Deleted"), QStringLiteral("Cancel"), QString()});
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ || actions_.busy() ||
        !attached(target)) {
        return;
    }
    setStatus(QStringLiteral("Deleting…"), false);
    actions_.start([this, category, target, items = std::move(items), note](
                       const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        const auto progress = [this, &post](const nimbara::cleanup::CleanProgress& step) {
            post([this, text = progressText("Deleting", step)] { setStatus(text, false); });
        };
        auto report = std::make_shared<StorageReport>(
            fm::removeStorageItems(actionTarget(target), items, progress, stop));
        post([this, category, target, items, report, note] {
            actions_.finish();
            settleRemoval(category, target, items, *report);
            if (!note.isEmpty()) {
                setStatus(statusText() + QLatin1Char(' ') + note);
            }
            actionEnded();
        });
    });
}

void PRDiskaManagerViewController::settleRemoval(DiskCategory category,
                                                 const StorageDeviceTarget& target,
                                                 const std::vector<StorageItem>& items,
                                                 const StorageReport& report) {
    // What the device removed counts, whatever the page shows meanwhile.
    host().addRemovedBytes(removedCategoryOf(category), report.removedBytes());
    setStatus(report.message, report.status != nimbara::cleanup::CleanRunStatus::Done);
    const Scan scan = scanOf(category);
    if (!ui_ || !uiRoot_ || scanState(scan) != ScanState::Done ||
        !sameTarget(target, targets_[static_cast<std::size_t>(scan)])) {
        return;  // the list was scanned anew or forgotten: it shows the device as it is
    }
    std::uint64_t listed = 0;
    for (const std::size_t index : report.settled()) {
        if (index < items.size()) {
            listed += items[index].size;
        }
    }
    const auto byPath = [](const auto& node) { return node.devicePath(); };
    const auto byLocation = [](const PRTranMusicNode& node) {
        return node.musicLoctionpath().toStdString();
    };
    switch (category) {
        case DiskCategory::Photo:
            fm::dropSettled(photoFilesArray_, items, report, [](const PRPhotoAndVideoNode& node) {
                return node.filePath().toStdString();
            });
            photoController_->setContent(photoFilesArray_);
            break;
        case DiskCategory::Music:
            fm::dropSettled(musicFilesArray_, items, report, byLocation);
            musicController_->setContent(musicFilesArray_);
            break;
        case DiskCategory::Video:
            fm::dropSettled(videoFilesArray_, items, report, byLocation);
            videoController_->setContent(videoFilesArray_);
            break;
        case DiskCategory::Books:
            fm::dropSettled(bookFilesArray_, items, report, byPath);
            booksController_->setContent(bookFilesArray_);
            break;
        case DiskCategory::UserData: {
            // Each removed file leaves its folder of the tree and the table.
            auto entries = libFileController_->entries();
            fm::dropSettled(entries, items, report, byPath);
            for (const auto& entry : libFileController_->entries()) {
                if (std::find(entries.begin(), entries.end(), entry) != entries.end()) {
                    continue;
                }
                if (const auto folder = entry->parent()) {
                    auto kept = folder->fileChildren();
                    kept.erase(std::remove(kept.begin(), kept.end(), entry), kept.end());
                    folder->setFileChildren(kept);
                }
            }
            libFileController_->setFolder(libFileController_->folder());
            break;
        }
        case DiskCategory::UserApps:
        case DiskCategory::SystemApps:
            break;
    }
    auto& total = totals_[static_cast<std::size_t>(static_cast<int>(category))];
    total = lessBy(total, listed);
    updateInfoLine(category);
    refreshRows();
    // Nothing stays chosen: a second removal takes only what the user chooses anew.
    clearSelectionOf(tableOf(category));
    clearPreviews();
}

void PRDiskaManagerViewController::RemovePhotoItem(QObject* sender) {
    record(QStringLiteral("RemovePhotoItem(%1)").arg(argument(sender)));
    removeChosen(DiskCategory::Photo);
}
void PRDiskaManagerViewController::RemoveMusicItem(QObject* sender) {
    record(QStringLiteral("RemoveMusicItem(%1)").arg(argument(sender)));
    removeChosen(DiskCategory::Music);
}
void PRDiskaManagerViewController::RemoveVideoItem(QObject* sender) {
    record(QStringLiteral("RemoveVideoItem(%1)").arg(argument(sender)));
    removeChosen(DiskCategory::Video);
}
void PRDiskaManagerViewController::RemoveBookItem(QObject* sender) {
    record(QStringLiteral("RemoveBookItem(%1)").arg(argument(sender)));
    removeChosen(DiskCategory::Books);
}
void PRDiskaManagerViewController::RemoveUerDataFile(QObject* sender) {
    record(QStringLiteral("RemoveUerDataFile(%1)").arg(argument(sender)));
    removeChosen(DiskCategory::UserData);
}

// ------------------------------------------------------------------ uninstall

void PRDiskaManagerViewController::UninStallAppData(QObject* sender) {
    record(QStringLiteral("UninStallAppData(%1)").arg(argument(sender)));
    StorageDeviceTarget target;
    if (!readyForAction(DiskCategory::UserApps, &target)) {
        return;
    }
    const std::vector<int> rows = chosenRows(DiskCategory::UserApps);
    const int row = rows.empty() ? -1 : rows.front();
    const std::shared_ptr<PRAppDirTreeNode> app = appController_->rowAt(row);
    if (!app) {
        setStatus(QStringLiteral("Choose the app to uninstall first."));
        return;
    }
    const std::string bundleId = app->appBundleId().toStdString();
    const QString name = app->appDisplayName();
    const std::uint64_t bytes = app->totalAppSizeNumber();
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        view(), {fm::uninstallQuestionText(name), fm::uninstallSummary(name, bytes),
                 QStringLiteral("Uninstall"), QStringLiteral("Cancel"), QString()});
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ || actions_.busy() ||
        !attached(target)) {
        return;
    }
    setStatus(QStringLiteral("Uninstalling %1…").arg(name), false);
    actions_.start([this, target, app, bundleId, name, bytes](const JobRunner::StopCheck& stop,
                                                              const JobRunner::Post& post) {
        auto report = std::make_shared<StorageReport>(
            fm::uninstallApp(actionTarget(target), bundleId, name, bytes, stop));
        post([this, target, app, report] {
            actions_.finish();
            const bool gone = report->items.front().outcome == StorageOutcome::Done;
            setStatus(report->message, !gone);
            if (gone) {
                host().addRemovedBytes(removedCategoryOf(DiskCategory::UserApps),
                                       report->removedBytes());
            }
            if (gone && ui_ && uiRoot_ && scanState(Scan::Apps) == ScanState::Done &&
                sameTarget(target, targets_[static_cast<std::size_t>(Scan::Apps)])) {
                // The app's row goes only when the device uninstalled it.
                std::erase(appFilesArray_, app);
                appController_->setContent(appFilesArray_);
                auto& total = totals_[static_cast<std::size_t>(DiskCategory::UserApps)];
                total = lessBy(total, app->totalAppSizeNumber());
                updateInfoLine(DiskCategory::UserApps);
                refreshRows();
                clearSelectionOf(ui_->apps.table);
                clearPreviews();
            }
            actionEnded();
        });
    });
}
