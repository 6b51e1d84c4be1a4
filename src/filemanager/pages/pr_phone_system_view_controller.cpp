#include "filemanager/pages/pr_phone_system_view_controller.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "cleanup/clean_export.h"
#include "device/device_manager.h"
#include "filemanager/action_texts.h"
#include "platform/notification_center.h"
#include "platform/scratch_dir.h"
#include "platform/unique_folder.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/named_image.h"
#include "ui/save_panel.h"
#include "ui/view_helpers.h"
#include "ui/window_builders.h"

namespace fs = std::filesystem;
namespace fm = nimbara::filemanager;

using nimbara::JobRunner;

namespace {

constexpr const char* kNoDeviceText = "Connect a device to see its files.";
constexpr const char* kBusyText = "Please wait until the current export, delete or add has ended.";
constexpr const char* kGoneText =
    "The device went away: its files are no longer shown. Connect it again to read them.";
constexpr int kPreviewSide = 512;
const QColor kProblemColour(178, 34, 34);

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string local8(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool sameTarget(const fm::CleanDeviceTarget& a, const fm::CleanDeviceTarget& b) {
    return a.deviceIndex == b.deviceIndex && a.deviceSerial == b.deviceSerial;
}

fm::CleanDeviceTarget targetOf(int index) {
    return {index, amd::DeviceManager::GetInstance().DeviceSerial(index)};
}

bool attached(const fm::CleanDeviceTarget& target) {
    return target.deviceSerial != 0 && target.stillAttached();
}

// Sound and film: no still preview. Pictures ("jpg", "png", "jpeg", "gif") and every other kind
// are read by their content, so a picture of any kind shows and anything else shows the plain
// document image.
bool isPlayableType(const QString& type) {
    static const QStringList kTypes{"mp3", "mp4", "mov"};
    return kTypes.contains(type, Qt::CaseInsensitive);
}

// A picture of the local file scaled into the preview square; null when it is none.
QImage previewImage(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kPreviewSide || size.height() > kPreviewSide)) {
        reader.setScaledSize(size.scaled(kPreviewSide, kPreviewSide, Qt::KeepAspectRatio));
    }
    return reader.read();
}

bool isFolderEntry(const PRPhoneSystemFileNode& entry) {
    return entry.fileType() == QLatin1String("Folder");
}

}  // namespace

PRPhoneSystemViewController::PRPhoneSystemViewController(nimbara::ui::PageHost& host,
                                                         QObject* parent)
    : PageControllerBase(host, "PRPhoneSystemViewController", QStringLiteral("Device Files"),
                         parent) {
    outline_ = new nimbara::ui::PRSystemLibOutlineModel(&libTreeController_.tree(), this);
    entries_ = new nimbara::ui::PRSystemLibEntriesModel(&libTreeController_.tree(), this);
    libTreeController_.setRefreshCallback([this] { refreshOutlineView(); });
    watchDeviceDetach();
}

PRPhoneSystemViewController::~PRPhoneSystemViewController() {
    walker_.stop();
    actions_.stop();
    previewer_.stop();
    delete uiRoot_.data();
    ui_.reset();
    // The models read the tree: they go before it.
    delete outline_;
    delete entries_;
}

// ------------------------------------------------------------------ widgets

PhoneSystemUi& PRPhoneSystemViewController::systemUi() {
    ensureBuilt();
    return *ui_;
}

void PRPhoneSystemViewController::viewShown() {
    ensureBuilt();
}

void PRPhoneSystemViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    ui_ = std::make_unique<PhoneSystemUi>(buildPhoneSystemView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    ui_->theOutlineView->setModel(outline_);
    ui_->theTableView->setModel(entries_);
    ui_->theTableView->setColumnWidth(0, 170);
    ui_->theTableView->setColumnWidth(1, 90);
    ui_->theTableView->setColumnWidth(2, 60);
    wire();
    showWalking(bScanStart_);
    ui_->showImageView->hide();
    setStatus(QString());
}

void PRPhoneSystemViewController::wire() {
    PhoneSystemUi& ui = *ui_;
    connect(ui.theOutlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    connect(ui.theTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    using Action = void (PRPhoneSystemViewController::*)(QObject*);
    const auto click = [this](QPushButton* button, Action action) {
        connect(button, &QPushButton::clicked, this,
                [this, button, action] { (this->*action)(button); });
    };
    click(ui.exportFileBtn, &PRPhoneSystemViewController::ExportTheFileToMac);
    click(ui.exportDirBtn, &PRPhoneSystemViewController::ExportDirFileToMac);
    click(ui.removeBtn, &PRPhoneSystemViewController::RemoveTheFiles);
    click(ui.addFileBtn, &PRPhoneSystemViewController::addFilesToSystem);
    const auto trigger = [this](QAction* item, Action action) {
        connect(item, &QAction::triggered, this, [this, item, action] { (this->*action)(item); });
    };
    trigger(ui.outlineExportAction, &PRPhoneSystemViewController::ExportDirFileToMac);
    trigger(ui.exportFileAction, &PRPhoneSystemViewController::ExportTheFileToMac);
    trigger(ui.exportDirAction, &PRPhoneSystemViewController::ExportDirFileToMac);
    trigger(ui.exportDocumentAction, &PRPhoneSystemViewController::ExportTheFileToDocument);
    trigger(ui.selectAllAction, &PRPhoneSystemViewController::SelecteAllFile);
    trigger(ui.unselectAllAction, &PRPhoneSystemViewController::UnSelecteAllFile);
    trigger(ui.removeAction, &PRPhoneSystemViewController::RemoveTheFiles);
    trigger(ui.addFileAction, &PRPhoneSystemViewController::addFilesToSystem);
    connect(ui.theOutlineView, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const QModelIndex index = ui_->theOutlineView->indexAt(at);
        if (index.isValid()) {
            ui_->theOutlineView->setCurrentIndex(index);
        }
        menuNeedsUpdate(ui_->outlineViewMenu, index.isValid());
        ui_->outlineViewMenu->popup(ui_->theOutlineView->viewport()->mapToGlobal(at));
    });
    connect(ui.theTableView, &QWidget::customContextMenuRequested, this, [this](QPoint at) {
        const QModelIndex index = ui_->theTableView->indexAt(at);
        menuNeedsUpdate(ui_->rightDownMenu, index.isValid());
        ui_->rightDownMenu->popup(ui_->theTableView->viewport()->mapToGlobal(at));
    });
}

void PRPhoneSystemViewController::setStatus(const QString& text, bool problem) {
    if (ui_ && uiRoot_) {
        nimbara::ui::setLabelColour(ui_->statuslab,
                                    problem ? kProblemColour : nimbara::ui::build::kText);
        ui_->statuslab->setText(text);
        ui_->statuslab->setVisible(!text.isEmpty());
    }
}

QString PRPhoneSystemViewController::statusText() const {
    return ui_ && uiRoot_ && !ui_->statuslab->isHidden() ? ui_->statuslab->text() : QString();
}

void PRPhoneSystemViewController::showWalking(bool walking) {
    if (!ui_ || !uiRoot_) {
        return;
    }
    ui_->progressor->setVisible(walking);
    ui_->infolab->setVisible(walking);
    ui_->scanImageView->setVisible(walking);
    if (walking) {
        ui_->scanImageView->startFlash();
    } else {
        ui_->scanImageView->stopFlash();
    }
}

void PRPhoneSystemViewController::refreshOutlineView() {
    if (ui_ && uiRoot_ && outline_->rowCount() > 0) {
        ui_->theOutlineView->expand(outline_->index(0, 0));
    }
}

// ------------------------------------------------------------------ life cycle

void PRPhoneSystemViewController::showPhoneSystemView(QWidget* container) {
    record(QStringLiteral("showPhoneSystemView(%1)").arg(argument(container)));
    placeView(container);
    ensureBuilt();
    ui_->showTableView->show();
}

void PRPhoneSystemViewController::initAllDataAndAllView() {
    resetPage();
}

void PRPhoneSystemViewController::deviceChanged(const amd::DeviceTarget& /*target*/) {
    initAllDataAndAllView();
}

void PRPhoneSystemViewController::postFinished() {
    nimbara::NotificationCenter::defaultCenter().post("SystemlibhasFinished");
}

void PRPhoneSystemViewController::resetPage() {
    ++generation_;
    const bool walking = bScanStart_;
    walker_.stop();
    actions_.stop();
    previewer_.stop();
    bScanStart_ = false;
    bLoadFinished_ = false;
    walkTarget_ = {};
    lastWalk_ = {};
    clearPreview();
    entries_->setFolder(nullptr);
    libTreeController_.clear();
    previewFolder_.reset();
    showWalking(false);
    setStatus(QString());
    if (walking) {
        postFinished();  // the shell's indicator stops with the walk
    }
}

void PRPhoneSystemViewController::deviceDetached(int index) {
    if ((bScanStart_ || bLoadFinished_ || actions_.busy()) && walkTarget_.deviceIndex == index &&
        !attached(walkTarget_)) {
        resetPage();
        setStatus(QString::fromLatin1(kGoneText));
    }
}

void PRPhoneSystemViewController::jobEnded() {
    if (jobEnded_) {
        jobEnded_();
    }
}

// ------------------------------------------------------------------ the walk

void PRPhoneSystemViewController::LookupSystemTree(int deviceIndex) {
    record(QStringLiteral("LookupSystemTree(%1)").arg(argument(deviceIndex)));
    theDevice_ = deviceIndex;
    const Target target = targetOf(deviceIndex);
    if (bScanStart_ || bLoadFinished_) {
        if (sameTarget(target, walkTarget_)) {
            return;  // read once per device
        }
        resetPage();  // another device's tree never stays on show
    }
    ensureBuilt();
    if (target.deviceSerial == 0) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return;
    }
    walkTarget_ = target;
    bScanStart_ = true;
    setStatus(QString());
    showWalking(true);
    host().markBusy(nimbara::ui::PageHost::BusyMark::SystemFiles, true);
    StartLookupSystemTreeThread();
}

void PRPhoneSystemViewController::StartLookupSystemTreeThread() {
    const Target target = walkTarget_;
    walker_.start([this, target](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        fm::DeviceFsWalk walk(
            target,
            [this, post](std::vector<fm::FsEntryRecord> batch) {
                auto records = std::make_shared<std::vector<fm::FsEntryRecord>>(std::move(batch));
                post([this, records] { addTreeOnMainThread(*records); });
            },
            stop);
        auto result = std::make_shared<fm::FsWalkResult>(walk.run());
        post([this, result] { LookupSystemTreeFinishedOnMainThread(*result); });
    });
}

void PRPhoneSystemViewController::addTreeOnMainThread(
    const std::vector<fm::FsEntryRecord>& records) {
    for (const fm::FsEntryRecord& entry : records) {
        auto record = std::make_shared<PRPhoneSystemDirNode>();
        record->setFilePath(qs(entry.path));
        record->setIsFile(entry.isFile);
        if (entry.isFile) {
            record->setFileSize(nimbara::shell::size_to_unit(entry.size));
            record->setFileSizeNumber(entry.size);
        }
        libTreeController_.addTreeNode(record);
    }
}

void PRPhoneSystemViewController::LookupSystemTreeFinishedOnMainThread(
    const fm::FsWalkResult& result) {
    walker_.finish();
    bScanStart_ = false;
    lastWalk_ = result;
    showWalking(false);
    if (result.status == fm::FsWalkStatus::Done) {
        bLoadFinished_ = true;
        setStatus(QString());
    } else {
        // Part of a device is no tree to act on: the next visit reads it afresh.
        const QString message = result.message;
        ++generation_;
        actions_.stop();
        previewer_.stop();
        clearPreview();
        entries_->setFolder(nullptr);
        libTreeController_.clear();
        walkTarget_ = {};
        setStatus(message);
    }
    postFinished();
    jobEnded();
}

// ------------------------------------------------------------------ views

nimbara::ui::PRSystemLibOutlineModel::DirPtr PRPhoneSystemViewController::selectedFolder() const {
    if (!ui_ || !uiRoot_) {
        return nullptr;
    }
    const QModelIndexList rows = ui_->theOutlineView->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : outline_->folderAt(rows.front());
}

std::vector<PRPhoneSystemViewController::FileNode> PRPhoneSystemViewController::selectedEntries()
    const {
    std::vector<FileNode> chosen;
    if (!ui_ || !uiRoot_) {
        return chosen;
    }
    QModelIndexList rows = ui_->theTableView->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& row : rows) {
        if (FileNode entry = entries_->entryAt(row.row())) {
            chosen.push_back(std::move(entry));
        }
    }
    return chosen;
}

void PRPhoneSystemViewController::outlineViewSelectionDidChange() {
    if (libTreeController_.BRefreshTreeFlag()) {
        return;
    }
    const auto folder = selectedFolder();
    if (!folder) {
        return;
    }
    entries_->setFolder(folder);
    ui_->theTableView->clearSelection();
}

void PRPhoneSystemViewController::tableViewSelectionDidChange() {
    const std::vector<FileNode> chosen = selectedEntries();
    if (chosen.empty()) {
        return;
    }
    showPreviewOf(chosen.front());
}

void PRPhoneSystemViewController::menuNeedsUpdate(QMenu* menu, bool rowClicked) {
    if (!menu) {
        return;
    }
    for (QAction* item : menu->actions()) {
        item->setChecked(false);
        item->setEnabled(rowClicked);
    }
}

void PRPhoneSystemViewController::SelecteAllFile(QObject*) {
    if (ui_ && uiRoot_) {
        ui_->theTableView->selectAll();
    }
}

void PRPhoneSystemViewController::UnSelecteAllFile(QObject*) {
    if (ui_ && uiRoot_) {
        ui_->theTableView->clearSelection();
    }
}

// ------------------------------------------------------------------ preview

fs::path PRPhoneSystemViewController::previewFolder() {
    if (!previewFolder_ || !previewFolder_->valid()) {
        const fs::path scratch = nimbara::scratchFolder("DB");
        if (scratch.empty()) {
            return {};
        }
        previewFolder_ = std::make_unique<nimbara::UniqueFolder>(scratch, "preview");
    }
    return previewFolder_->valid() ? previewFolder_->path() : fs::path();
}

void PRPhoneSystemViewController::clearPreview() {
    previewNode_.reset();
    if (ui_ && uiRoot_) {
        ui_->showImageView->clear();
        ui_->showImageView->hide();
        ui_->previewNamelab->clear();
    }
}

void PRPhoneSystemViewController::showPreviewOf(const FileNode& entry) {
    previewer_.stop();
    previewNode_ = entry;
    ui_->previewNamelab->setText(entry->fileName());
    const QString type = QFileInfo(entry->fileName()).suffix();
    if (isFolderEntry(*entry)) {
        ui_->showImageView->setPixmap(nimbara::ui::namedImage(QStringLiteral("folder")));
        ui_->showImageView->show();
        return;
    }
    if (isPlayableType(type)) {
        ui_->showImageView->hide();  // sound and film have no still preview
        return;
    }
    const Target target = walkTarget_;
    if (!attached(target)) {
        return;
    }
    const QString earlier = entry->btransfer() ? entry->transferPath() : QString();
    const fs::path into = earlier.isEmpty() ? previewFolder() : fs::path();
    if (earlier.isEmpty() && into.empty()) {
        previewReady(entry, QImage(), QString(),
                     QStringLiteral("The private scratch folder could not be made."));
        return;
    }
    const std::string devicePath = entry->devicePath();
    previewer_.start([this, entry, target, earlier, into, devicePath](
                         const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        QString copy = earlier;
        QString message;
        if (copy.isEmpty() || !QFileInfo::exists(copy)) {
            const fm::FsPreviewCopy made =
                fm::copyForPreview(target, devicePath, into, fm::kPreviewSizeLimit, stop);
            copy = made.status == fm::FsPreviewStatus::Copied
                       ? QFile::decodeName(made.localPath.c_str())
                       : QString();
            message = made.message;
        }
        auto image = std::make_shared<QImage>(copy.isEmpty() ? QImage() : previewImage(copy));
        post([this, entry, image, copy, message] { previewReady(entry, *image, copy, message); });
    });
}

void PRPhoneSystemViewController::previewReady(const FileNode& entry, const QImage& image,
                                               const QString& copy, const QString& message) {
    previewer_.finish();
    if (!copy.isEmpty()) {
        entry->setBtransfer(true);
        entry->setTransferPath(copy);
    }
    if (previewNode_ != entry || !ui_ || !uiRoot_) {
        jobEnded();
        return;
    }
    if (!image.isNull()) {
        // Whole in the pane: a picture larger than the pane is shown smaller, never cut.
        QPixmap picture = QPixmap::fromImage(image);
        const QSize room = ui_->showImageView->size();
        if (room.width() > 16 && room.height() > 16 &&
            (picture.width() > room.width() || picture.height() > room.height())) {
            picture = picture.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        ui_->showImageView->setPixmap(picture);
    } else {
        // No picture of it (or none allowed): the plain document image, never the last file's.
        ui_->showImageView->setPixmap(nimbara::ui::namedImage(QStringLiteral("document")));
    }
    ui_->showImageView->show();
    ui_->previewNamelab->setText(
        message.isEmpty() ? entry->fileName() : entry->fileName() + QLatin1Char('\n') + message);
    jobEnded();
}

// ------------------------------------------------------------------ actions

bool PRPhoneSystemViewController::readyForAction() {
    if (!ui_ || !uiRoot_) {
        return false;
    }
    if (actions_.busy()) {
        setStatus(QString::fromLatin1(kBusyText));
        return false;
    }
    if (walkTarget_.deviceSerial == 0) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return false;
    }
    if (!attached(walkTarget_)) {
        resetPage();
        setStatus(QString::fromLatin1(kGoneText));
        return false;
    }
    return true;
}

std::optional<QString> PRPhoneSystemViewController::chooseExportFolder() {
    const std::uint64_t asked = generation_;
    const std::optional<QString> chosen = nimbara::ui::SavePanel::chooseFolder(
        view(), {QStringLiteral("Export"), QString(),
                 nimbara::cleanup::cleanExportFolderName(QDateTime::currentDateTime())});
    if (!chosen || chosen->isEmpty() || asked != generation_ || actions_.busy()) {
        return std::nullopt;  // cancelled, or the page was reset or got busy meanwhile
    }
    // The user's own folder stays as it is: only names that come from the device are changed.
    return QFileInfo(*chosen).absoluteFilePath();
}

void PRPhoneSystemViewController::ExportTheFileToMac(QObject*) {
    if (!readyForAction()) {
        return;
    }
    const std::vector<FileNode> chosen = selectedEntries();
    if (chosen.empty()) {
        setStatus(QStringLiteral("Choose the files to export first."));
        return;
    }
    std::vector<fm::FsExportItem> plan;
    for (const FileNode& entry : chosen) {
        plan.push_back({entry->devicePath(), isFolderEntry(*entry)});
    }
    const std::optional<QString> folder = chooseExportFolder();
    if (folder) {
        runExport(std::move(plan), *folder, fm::FsExportLayout::Flat);
    }
}

void PRPhoneSystemViewController::ExportDirFileToMac(QObject*) {
    if (!readyForAction()) {
        return;
    }
    const auto folder = selectedFolder();
    if (!folder) {
        setStatus(QStringLiteral("Choose a folder to export first."));
        return;
    }
    std::vector<fm::FsExportItem> plan;
    for (const FileNode& entry : folder->fileChildren()) {
        plan.push_back({entry->devicePath(), isFolderEntry(*entry)});
    }
    if (plan.empty()) {
        setStatus(QStringLiteral("This folder holds nothing to export."));
        return;
    }
    const std::optional<QString> chosen = chooseExportFolder();
    if (chosen) {
        runExport(std::move(plan), *chosen, fm::FsExportLayout::Mirror);
    }
}

void PRPhoneSystemViewController::ExportTheFileToDocument(QObject*) {
    exportToDocuments(selectedEntries());
}

void PRPhoneSystemViewController::ExportTheFileNode(const FileNode& node) {
    if (node) {
        exportToDocuments({node});
    }
}

void PRPhoneSystemViewController::exportToDocuments(const std::vector<FileNode>& entries) {
    if (!readyForAction()) {
        return;
    }
    if (entries.empty()) {
        setStatus(QStringLiteral("Choose the files to export first."));
        return;
    }
    std::vector<fm::FsExportItem> plan;
    for (const FileNode& entry : entries) {
        plan.push_back({entry->devicePath(), isFolderEntry(*entry)});
    }
    // Straight into Documents: a name already there is kept and the copy numbered.
    runExport(std::move(plan), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation),
              fm::FsExportLayout::Flat);
}

void PRPhoneSystemViewController::runExport(std::vector<fm::FsExportItem> plan,
                                            const QString& folder, fm::FsExportLayout layout) {
    exportPath_ = folder;
    const Target target = walkTarget_;
    const fs::path into(local8(folder));
    setStatus(QStringLiteral("Exporting..."), false);
    actions_.start([this, target, plan = std::move(plan), into, layout](
                       const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        auto report = std::make_shared<fm::FsExportReport>(
            fm::exportDeviceEntries(target, plan, into, layout, stop));
        post([this, report] {
            actions_.finish();
            // What was written and where, once: the line says it, the folder is shown.
            setStatus(fm::exportEndText(report->message, report->folder, report->revealFolder()),
                      report->status != fm::CleanRunStatus::Done);
            if (report->revealFolder()) {
                nimbara::ui::FileViewer::reveal(QFile::decodeName(report->folder.c_str()));
            }
            jobEnded();
        });
    });
}

void PRPhoneSystemViewController::RemoveTheFiles(QObject*) {
    if (!readyForAction()) {
        return;
    }
    // What is asked about is what is deleted, whatever the selection does afterwards.
    const std::vector<FileNode> targets = selectedEntries();
    if (targets.empty()) {
        setStatus(QStringLiteral("Choose the files to delete first."));
        return;
    }
    std::vector<fm::FsRemovalItem> plan;
    for (const FileNode& entry : targets) {
        plan.push_back({entry->devicePath(), isFolderEntry(*entry)});
    }
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        view(),
        {QStringLiteral("Are you sure you want to permanently delete the selected file(s) from "
                        "your device?"),
         fm::deviceRemovalSummary(plan) +
             QStringLiteral("\n\nCAUTION: Only advanced users should delete files. Because "
                            "device databases manage many files types, includes photos and "
                            "videos, deleting files may lead to unexpected results."),
         QStringLiteral("Deleted"), QStringLiteral("Cancel"), QString()});
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ || actions_.busy() ||
        !attached(walkTarget_)) {
        return;
    }
    const Target target = walkTarget_;
    setStatus(QStringLiteral("Deleting..."), false);
    actions_.start([this, target, plan = std::move(plan), targets](const JobRunner::StopCheck& stop,
                                                                   const JobRunner::Post& post) {
        auto report =
            std::make_shared<fm::FsRemovalReport>(fm::removeDeviceEntries(target, plan, stop));
        post([this, targets, report] {
            actions_.finish();
            settleRemoval(targets, *report);
            jobEnded();
        });
    });
}

void PRPhoneSystemViewController::dropEntry(const FileNode& entry) {
    if (const auto folder = entry->parent()) {
        auto kept = folder->fileChildren();
        kept.erase(std::remove(kept.begin(), kept.end(), entry), kept.end());
        folder->setFileChildren(kept);
    }
    entries_->removeEntry(entry);
    if (previewNode_ == entry) {
        previewer_.stop();
        clearPreview();
    }
}

void PRPhoneSystemViewController::settleRemoval(const std::vector<FileNode>& targets,
                                                const fm::FsRemovalReport& report) {
    // Only what left the device leaves the lists; what it refused stays listed.
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (report.settled(i)) {
            dropEntry(targets[i]);
        }
    }
    // Nothing stays chosen: a second delete takes only what the user chooses anew.
    if (ui_ && uiRoot_) {
        ui_->theTableView->selectionModel()->clear();
    }
    previewer_.stop();
    clearPreview();
    setStatus(report.status == fm::CleanRunStatus::Done ? QString() : report.message);
}

void PRPhoneSystemViewController::addFilesToSystem(QObject*) {
    if (!readyForAction()) {
        return;
    }
    const std::vector<FileNode> chosen = selectedEntries();
    if (chosen.empty()) {
        setStatus(QStringLiteral("Choose a file in the folder to add to first."));
        return;
    }
    const FileNode anchor = chosen.front();
    const std::string deviceFolder = fm::deviceParentFolder(anchor->devicePath());
    const auto folder = anchor->parent();
    const std::uint64_t asked = generation_;
    const std::optional<QString> local =
        nimbara::ui::OpenPanel::chooseFile(view(), {QStringLiteral("Add a File"), QString()});
    if (!local || local->isEmpty() || asked != generation_ || actions_.busy()) {
        return;
    }
    addFilePath_ = *local;
    upload(*local, deviceFolder, folder, false);
}

void PRPhoneSystemViewController::upload(const QString& local, const std::string& deviceFolder,
                                         std::shared_ptr<PRPhoneSystemDirNode> folder,
                                         bool allowReplace) {
    const Target target = walkTarget_;
    const fs::path file(local8(local));
    setStatus(QStringLiteral("Adding the file..."), false);
    actions_.start([this, target, file, deviceFolder, folder, local, allowReplace](
                       const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
        auto report = std::make_shared<fm::FsUploadReport>(
            fm::uploadFileToDevice(target, file, deviceFolder, allowReplace, stop));
        post([this, report, folder, local, deviceFolder] {
            actions_.finish();
            settleUpload(*report, folder, local, deviceFolder);
            jobEnded();
        });
    });
}

void PRPhoneSystemViewController::settleUpload(const fm::FsUploadReport& report,
                                               const std::shared_ptr<PRPhoneSystemDirNode>& folder,
                                               const QString& local,
                                               const std::string& deviceFolder) {
    if (report.outcome == fm::FsUploadOutcome::NeedsApproval) {
        const std::uint64_t asked = generation_;
        const auto answer = nimbara::Alerts::ask(
            view(), {QStringLiteral("A file named \u201c%1\u201d is already in this folder on "
                                    "your device. Do you want to replace it?")
                         .arg(QFileInfo(local).fileName()),
                     QStringLiteral("The file on the device is replaced by the one from your "
                                    "computer."),
                     QStringLiteral("Replace"), QStringLiteral("Cancel"), QString()});
        if (answer == nimbara::Alerts::Answer::Default && asked == generation_ &&
            !actions_.busy() && attached(walkTarget_)) {
            upload(local, deviceFolder, folder, true);
        } else {
            setStatus(QStringLiteral("Nothing was added."));
        }
        return;
    }
    if (report.outcome == fm::FsUploadOutcome::DeviceGone) {
        resetPage();
        setStatus(QString::fromLatin1(kGoneText));
        return;
    }
    if (!report.uploaded()) {
        setStatus(report.message);
        return;
    }
    setStatus(QString());
    const QString path = qs(report.devicePath);
    // The lists follow the device: a replaced entry takes its new size, a new one is filed.
    FileNode existing;
    if (folder) {
        for (const FileNode& entry : folder->fileChildren()) {
            if (entry->devicePath() == report.devicePath) {
                existing = entry;
                break;
            }
        }
    }
    if (existing) {
        existing->setFileSize(nimbara::shell::size_to_unit(report.size));
        existing->setFileSizeNumber(report.size);
        existing->setBtransfer(false);
        existing->setTransferPath(QString());
        if (entries_->folder() == folder) {
            entries_->setFolder(folder);
        }
        if (previewNode_ == existing) {
            clearPreview();
        }
        return;
    }
    auto record = std::make_shared<PRPhoneSystemDirNode>();
    record->setFilePath(path);
    record->setIsFile(true);
    record->setFileSize(nimbara::shell::size_to_unit(report.size));
    record->setFileSizeNumber(report.size);
    libTreeController_.addTreeNode(record);
}
