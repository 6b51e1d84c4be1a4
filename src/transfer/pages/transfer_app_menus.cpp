#include "transfer/pages/transfer_app_menus.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTableView>
#include <QTreeView>

#include <algorithm>
#include <utility>

#include "filemanager/action_texts.h"
#include "transfer/app_container_files.h"
#include "transfer/pages/transfer_export_panel.h"
#include "transfer/pages/transfer_record_exports.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/save_panel.h"

namespace nimbara::transfer {

namespace fm = nimbara::filemanager;
namespace fs = std::filesystem;

namespace {

constexpr const char* kCommandProperty = "appFileCommand";

const QString kBusyText =
    QStringLiteral("A file job of the apps is still running; try again when it has ended.");
const QString kNoDeviceText = QStringLiteral("Connect a device to see its apps.");
const QString kGoneText = QStringLiteral("The device went away: nothing was done.");

struct CommandText {
    AppFileCommand command;
    const char* name;  // the action's object name
    const char* title;
};

constexpr CommandText kCommands[] = {
    {AppFileCommand::ExportToComputer, "AppExportFilestoMac", "Export to Computer\u2026"},
    {AppFileCommand::ExportToDocuments, "AppExportFilestoDocument", "Export to Documents"},
    {AppFileCommand::AddFile, "addFilesToApp", "Add a File\u2026"},
    {AppFileCommand::Delete, "AppDeleted", "Delete\u2026"},
    {AppFileCommand::SelectAll, "AppSelectAll", "Select All"},
    {AppFileCommand::UnselectAll, "AppUnSelecteAll", "Deselect All"},
    {AppFileCommand::ExportFolder, "AppDirExporttoMac", "Export Folder to Computer\u2026"},
};

const CommandText& textOf(AppFileCommand command) {
    for (const CommandText& text : kCommands) {
        if (text.command == command) {
            return text;
        }
    }
    return kCommands[0];
}

bool selectionOnly(AppFileCommand command) {
    return command == AppFileCommand::SelectAll || command == AppFileCommand::UnselectAll;
}

fs::path localPath(const QString& path) {
    return fs::path(QFile::encodeName(path).toStdString());
}

QString localText(const fs::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

}  // namespace

std::vector<AppFileCommand> appMenuCommands(AppMenu menu) {
    if (menu == AppMenu::Folder) {
        return {AppFileCommand::ExportFolder, AppFileCommand::AddFile};
    }
    return {AppFileCommand::ExportToComputer, AppFileCommand::ExportToDocuments,
            AppFileCommand::AddFile,          AppFileCommand::Delete,
            AppFileCommand::SelectAll,        AppFileCommand::UnselectAll};
}

bool appMenuItemEnabled(AppFileCommand command, bool rowChosen, bool jobRunning) {
    return rowChosen && (!jobRunning || selectionOnly(command));
}

TransferAppFileActions::TransferAppFileActions(Pane pane, QObject* parent)
    : QObject(parent), pane_(std::move(pane)) {}

TransferAppFileActions::~TransferAppFileActions() {
    worker_.stop();
}

// ------------------------------------------------------------------ menus

void TransferAppFileActions::attach(QTreeView* outline, QTableView* table) {
    outline_ = outline;
    table_ = table;
    const auto build = [this](AppMenu kind, QWidget* owner, const char* name) {
        auto* menu = new QMenu(owner);
        menu->setObjectName(QLatin1String(name));
        const std::vector<AppFileCommand> commands = appMenuCommands(kind);
        for (std::size_t i = 0; i < commands.size(); ++i) {
            const AppFileCommand command = commands[i];
            // Exports, then adding, then deleting, then the selection.
            if (i > 0 && (command == AppFileCommand::AddFile || command == AppFileCommand::Delete ||
                          command == AppFileCommand::SelectAll)) {
                menu->addSeparator();
            }
            const CommandText& text = textOf(command);
            QAction* action =
                menu->addAction(kind == AppMenu::Folder && command == AppFileCommand::AddFile
                                    ? QStringLiteral("Add a File to This Folder\u2026")
                                    : QString::fromUtf8(text.title));
            action->setObjectName(QLatin1String(text.name));
            action->setProperty(kCommandProperty, static_cast<int>(command));
            connect(action, &QAction::triggered, this, [this, kind, command] {
                if (command == AppFileCommand::AddFile && kind == AppMenu::Folder) {
                    addFilesToAppFolder();
                } else {
                    run(command);
                }
            });
        }
        return menu;
    };
    dirMenu_ = build(AppMenu::Folder, outline, "appDirMenu");
    fileMenu_ = build(AppMenu::Files, table, "appFileMenu");
    outline->setContextMenuPolicy(Qt::CustomContextMenu);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(outline, &QWidget::customContextMenuRequested, this,
            &TransferAppFileActions::outlineMenuRequested);
    connect(table, &QWidget::customContextMenuRequested, this,
            &TransferAppFileActions::tableMenuRequested);
}

QMenu* TransferAppFileActions::outlineMenuRequested(QPoint at) {
    if (outline_ == nullptr || dirMenu_ == nullptr) {
        return nullptr;
    }
    const QModelIndex index = outline_->indexAt(at);
    if (index.isValid()) {
        outline_->setCurrentIndex(index);
    }
    menuNeedsUpdate(dirMenu_, index.isValid());
    dirMenu_->popup(outline_->viewport()->mapToGlobal(at));
    return dirMenu_;
}

QMenu* TransferAppFileActions::tableMenuRequested(QPoint at) {
    if (table_ == nullptr || fileMenu_ == nullptr) {
        return nullptr;
    }
    menuNeedsUpdate(fileMenu_, table_->indexAt(at).isValid());
    fileMenu_->popup(table_->viewport()->mapToGlobal(at));
    return fileMenu_;
}

void TransferAppFileActions::menuNeedsUpdate(QMenu* menu, bool clickedOnRow) {
    if (menu == nullptr) {
        return;
    }
    const bool folderMenu = menu == dirMenu_;
    const bool chosen =
        clickedOnRow && (folderMenu ? selectedFolder() != nullptr : !selectedFiles().empty());
    for (QAction* item : menu->actions()) {
        const QVariant command = item->property(kCommandProperty);
        if (!item->isSeparator() && command.isValid()) {
            item->setEnabled(appMenuItemEnabled(static_cast<AppFileCommand>(command.toInt()),
                                                chosen, worker_.busy()));
        }
    }
}

void TransferAppFileActions::run(AppFileCommand command) {
    switch (command) {
        case AppFileCommand::ExportToComputer:
            AppExportFilestoMac();
            break;
        case AppFileCommand::ExportToDocuments:
            AppExportFilestoDocument();
            break;
        case AppFileCommand::AddFile:
            addFilesToApp();
            break;
        case AppFileCommand::Delete:
            AppDeleted();
            break;
        case AppFileCommand::SelectAll:
            AppSelectAll();
            break;
        case AppFileCommand::UnselectAll:
            AppUnSelecteAll();
            break;
        case AppFileCommand::ExportFolder:
            AppDirExporttoMac();
            break;
    }
}

void TransferAppFileActions::AppSelectAll() {
    if (table_ != nullptr) {
        table_->selectAll();
    }
}

void TransferAppFileActions::AppUnSelecteAll() {
    if (table_ != nullptr) {
        table_->clearSelection();
    }
}

// ------------------------------------------------------------------ what is chosen

QWidget* TransferAppFileActions::window() const {
    return outline_ != nullptr ? outline_->window() : nullptr;
}

std::vector<ContainerFile> TransferAppFileActions::selectedFiles() const {
    std::vector<ContainerFile> files;
    if (table_ == nullptr || table_->selectionModel() == nullptr) {
        return files;
    }
    QModelIndexList rows = table_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& row : rows) {
        if (ContainerFile file = pane_.entries.entryAt(row.row())) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

std::shared_ptr<PRAppDirTreeNode> TransferAppFileActions::selectedFolder() const {
    if (outline_ == nullptr || outline_->selectionModel() == nullptr) {
        return nullptr;
    }
    const QModelIndexList rows = outline_->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : pane_.outline.folderAt(rows.front());
}

std::size_t TransferAppFileActions::depthOf(const PRAppDirTreeNode* folder) const {
    std::size_t depth = 0;
    for (const PRAppDirTreeNode* at = pane_.tree.plainTree().parentOf(folder); at != nullptr;
         at = pane_.tree.plainTree().parentOf(at)) {
        ++depth;
    }
    return depth;
}

std::shared_ptr<PRAppDirTreeNode> TransferAppFileActions::appOf(
    const std::shared_ptr<PRAppDirTreeNode>& folder) const {
    std::shared_ptr<PRAppDirTreeNode> app = folder;
    while (app && app->parent()) {
        app = app->parent();
    }
    return app;
}

std::optional<amd::DeviceTarget> TransferAppFileActions::readyDevice() {
    if (worker_.busy()) {
        pane_.setInfo(kBusyText);
        return std::nullopt;
    }
    const amd::DeviceTarget target = pane_.device();
    if (target.deviceSerial == 0) {
        pane_.setInfo(kNoDeviceText);
        return std::nullopt;
    }
    if (!target.stillAttached()) {
        pane_.setInfo(kGoneText);
        return std::nullopt;
    }
    return target;
}

bool TransferAppFileActions::current(const Job& job) const {
    const auto app = job.app.lock();
    return app && pane_.device() == job.target && pane_.tree.plainTree().holds(app.get());
}

void TransferAppFileActions::stop() {
    ++generation_;
    worker_.stop();
}

// ------------------------------------------------------------------ add a file

void TransferAppFileActions::addFilesToApp() {
    const std::vector<ContainerFile> files = selectedFiles();
    if (files.empty()) {
        pane_.setInfo(QStringLiteral("Choose a file of the folder to add to first."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    // The new file lands beside the chosen one.
    const ContainerFile& anchor = files.front();
    const auto folder = anchor->parent();
    Upload upload{
        {*target, anchor->appBundleName().toStdString(), anchor->appDisplayName(), appOf(folder)},
        QString(),
        fm::deviceParentFolder(anchor->devicePath()),
        folder};
    chooseLocalFile(std::move(upload));
}

void TransferAppFileActions::addFilesToAppFolder() {
    const auto folder = selectedFolder();
    if (!folder) {
        pane_.setInfo(QStringLiteral("Choose a folder to add to first."));
        return;
    }
    const std::optional<std::string> path =
        containerFolderOf(folder->devicePath(), depthOf(folder.get()));
    if (!path) {
        pane_.setInfo(QStringLiteral("This folder's place in the app's files is not known."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    chooseLocalFile(
        {{*target, folder->appBundleName().toStdString(), folder->appDisplayName(), appOf(folder)},
         QString(),
         *path,
         folder});
}

void TransferAppFileActions::chooseLocalFile(Upload upload) {
    const std::uint64_t asked = generation_;
    const std::optional<QString> local =
        nimbara::ui::OpenPanel::chooseFile(window(), {QStringLiteral("Add a File"), QString()});
    if (!local || local->isEmpty() || asked != generation_ || worker_.busy() ||
        !current(upload.job)) {
        return;  // cancelled, or the pane changed meanwhile
    }
    upload.local = *local;
    this->upload(std::move(upload), false);
}

void TransferAppFileActions::upload(Upload upload, bool allowReplace) {
    pane_.setInfo(QStringLiteral("Adding \u201c%1\u201d to %2\u2026")
                      .arg(QFileInfo(upload.local).fileName(), upload.job.appName));
    worker_.start([this, upload, allowReplace](const nimbara::JobRunner::StopCheck& stop,
                                               const nimbara::JobRunner::Post& post) {
        auto report = std::make_shared<fm::FsUploadReport>(fm::uploadFileToDevice(
            containerRoot(upload.job.target, upload.job.bundleId), localPath(upload.local),
            upload.deviceFolder, allowReplace, stop));
        post([this, upload, report] { uploadEnded(upload, *report); });
    });
}

void TransferAppFileActions::uploadEnded(const Upload& upload, const fm::FsUploadReport& report) {
    worker_.finish();
    if (!current(upload.job)) {
        return;
    }
    const QString name = QFileInfo(upload.local).fileName();
    const QString& app = upload.job.appName;
    switch (report.outcome) {
        case fm::FsUploadOutcome::NeedsApproval: {
            const std::uint64_t asked = generation_;
            const auto answer = nimbara::Alerts::ask(
                window(), {containerReplaceQuestion(name, app),
                           QStringLiteral("The file on the device is replaced by the one from "
                                          "your computer."),
                           QStringLiteral("Replace"), QStringLiteral("Cancel"), QString()});
            if (answer == nimbara::Alerts::Answer::Default && asked == generation_ &&
                !worker_.busy() && current(upload.job) && upload.job.target.stillAttached()) {
                this->upload(upload, true);
            } else {
                pane_.setInfo(QStringLiteral("Nothing was added to %1.").arg(app));
            }
            return;
        }
        case fm::FsUploadOutcome::DeviceGone:
            pane_.setInfo(
                QStringLiteral("The device went away: \u201c%1\u201d was not added.").arg(name));
            return;
        case fm::FsUploadOutcome::Added:
        case fm::FsUploadOutcome::Replaced:
            break;
        default:
            pane_.setInfo(QStringLiteral("\u201c%1\u201d was not added to %2: %3")
                              .arg(name, app, report.message));
            return;
    }
    // The folder's list follows the device: a replaced file takes its new size, a new one is
    // filed (unless the app's files were not read yet: reading them finds it).
    const auto folder = upload.folder.lock();
    ContainerFile existing;
    if (folder) {
        for (const ContainerFile& entry : folder->fileChildren()) {
            if (entry->devicePath() == report.devicePath) {
                existing = entry;
                break;
            }
        }
    }
    if (existing) {
        existing->setFileSize(nimbara::shell::size_to_unit(report.size).trimmed());
        existing->setBtransfer(false);
        existing->setTransferPath(QString());
        pane_.fileChanged(existing);
        if (pane_.entries.folder() == folder) {
            pane_.entries.setFolder(folder);
        }
    } else if (const auto appFolder = upload.job.app.lock(); appFolder && appFolder->bExpand()) {
        pane_.tree.addTreeNode(containerFileRecord(
            report.devicePath, report.size, appFolder->appDisplayName(), upload.job.bundleId));
    }
    pane_.setInfo(report.outcome == fm::FsUploadOutcome::Replaced
                      ? QStringLiteral("\u201c%1\u201d was replaced in %2.").arg(name, app)
                      : QStringLiteral("\u201c%1\u201d was added to %2.").arg(name, app));
}

// ------------------------------------------------------------------ delete

void TransferAppFileActions::AppDeleted() {
    // What the question names is what is deleted, whatever the selection does afterwards.
    const ContainerSelection selection = containerSelectionOf(selectedFiles());
    if (selection.empty()) {
        pane_.setInfo(QStringLiteral("Choose the files to delete first."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    const Job job{*target, selection.bundleId, selection.appName,
                  appOf(selection.files.front()->parent())};
    const std::uint64_t asked = generation_;
    const auto answer = nimbara::Alerts::ask(
        window(), {QStringLiteral("Are you sure you want to permanently delete the selected "
                                  "file(s) from your device?"),
                   containerRemovalText(selection), QStringLiteral("Deleted"),
                   QStringLiteral("Cancel"), QString()});
    if (answer != nimbara::Alerts::Answer::Default || asked != generation_ || worker_.busy() ||
        !current(job) || !job.target.stillAttached()) {
        return;
    }
    pane_.setInfo(QStringLiteral("Deleting %1 from %2\u2026")
                      .arg(selection.files.size() == 1
                               ? QStringLiteral("1 file")
                               : QStringLiteral("%1 files").arg(selection.files.size()),
                           selection.appName));
    // The worker reads plain values only; the rows stay with the GUI thread.
    worker_.start(
        [this, job, selection, plan = removalPlanOf(selection)](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            auto report = std::make_shared<fm::FsRemovalReport>(
                fm::removeDeviceEntries(containerRoot(job.target, job.bundleId), plan, stop));
            post([this, job, selection, report] { removalEnded(job, selection, *report); });
        });
}

void TransferAppFileActions::removalEnded(const Job& job, const ContainerSelection& selection,
                                          const fm::FsRemovalReport& report) {
    worker_.finish();
    if (!current(job)) {
        return;
    }
    // Only what left the device leaves the lists; what it refused stays listed.
    for (std::size_t i = 0; i < selection.files.size(); ++i) {
        if (!report.settled(i)) {
            continue;
        }
        const ContainerFile& file = selection.files[i];
        if (const auto folder = file->parent()) {
            folder->removeFileChild(file);
        }
        pane_.entries.removeEntry(file);
        pane_.fileChanged(file);
    }
    // Nothing stays chosen: a second delete takes only what the user chooses anew.
    if (table_ != nullptr && table_->selectionModel() != nullptr) {
        table_->selectionModel()->clear();
    }
    pane_.setInfo(report.message);
}

// ------------------------------------------------------------------ exports

std::optional<fs::path> TransferAppFileActions::chooseExportFolder() {
    const std::uint64_t asked = generation_;
    const std::optional<fs::path> chosen = ExportOpenpanelAction(
        window(), exportPath_.isEmpty() ? QString() : QFileInfo(exportPath_).absolutePath());
    if (!chosen || asked != generation_ || worker_.busy()) {
        return std::nullopt;  // cancelled, or the pane was reset or got busy meanwhile
    }
    exportPath_ = localText(*chosen);
    return chosen;
}

void TransferAppFileActions::AppExportFilestoMac() {
    const ContainerSelection selection = containerSelectionOf(selectedFiles());
    if (selection.empty()) {
        pane_.setInfo(QStringLiteral("Choose the files to export first."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    const Job job{*target, selection.bundleId, selection.appName,
                  appOf(selection.files.front()->parent())};
    const std::optional<fs::path> folder = chooseExportFolder();
    if (folder && current(job)) {
        // Each file under its path in the container.
        exportTo(job, exportPlanOf(selection), *folder, fm::FsExportLayout::Mirror);
    }
}

void TransferAppFileActions::AppExportFilestoDocument() {
    const ContainerSelection selection = containerSelectionOf(selectedFiles());
    if (selection.empty()) {
        pane_.setInfo(QStringLiteral("Choose the files to export first."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    const fs::path documents = documentsFolder();
    if (documents.empty()) {
        pane_.setInfo(QStringLiteral("Your Documents folder could not be found."));
        return;
    }
    // Straight into Documents: a name already there is kept and the copy numbered.
    exportTo(
        {*target, selection.bundleId, selection.appName, appOf(selection.files.front()->parent())},
        exportPlanOf(selection), documents, fm::FsExportLayout::Flat);
}

void TransferAppFileActions::AppDirExporttoMac() {
    const auto folder = selectedFolder();
    if (!folder) {
        pane_.setInfo(QStringLiteral("Choose a folder to export first."));
        return;
    }
    const std::optional<std::string> path =
        containerFolderOf(folder->devicePath(), depthOf(folder.get()));
    if (!path) {
        pane_.setInfo(QStringLiteral("This folder's place in the app's files is not known."));
        return;
    }
    const std::optional<amd::DeviceTarget> target = readyDevice();
    if (!target) {
        return;
    }
    const Job job{*target, folder->appBundleName().toStdString(), folder->appDisplayName(),
                  appOf(folder)};
    const std::optional<fs::path> into = chooseExportFolder();
    if (into && current(job)) {
        // The folder with everything below it, under its path in the container.
        exportTo(job, {{*path, true}}, *into, fm::FsExportLayout::Mirror);
    }
}

void TransferAppFileActions::exportTo(const Job& job, std::vector<fm::FsExportItem> plan,
                                      const fs::path& folder, fm::FsExportLayout layout) {
    const QString working = QStringLiteral("Exporting from %1\u2026").arg(job.appName);
    pane_.setInfo(working);
    worker_.start(
        [this, job, plan = std::move(plan), folder, layout, working](
            const nimbara::JobRunner::StopCheck& stop, const nimbara::JobRunner::Post& post) {
            const auto progress = [this, &post, working](std::size_t files, std::uint64_t bytes) {
                const QString text = QStringLiteral("%1 %2 written (%3).")
                                         .arg(working,
                                              files == 1 ? QStringLiteral("1 file")
                                                         : QStringLiteral("%1 files").arg(files),
                                              nimbara::shell::size_to_unit(bytes).trimmed());
                post([this, text] { pane_.setInfo(text); });
            };
            auto report = std::make_shared<fm::FsExportReport>(fm::exportDeviceEntries(
                containerRoot(job.target, job.bundleId), plan, folder, layout, stop, progress));
            post([this, report] { exportEnded(*report); });
        });
}

void TransferAppFileActions::exportEnded(const fm::FsExportReport& report) {
    worker_.finish();
    // What was written and where, once: the line says it, the folder is shown.
    pane_.setInfo(fm::exportEndText(report.message, report.folder, report.revealFolder()));
    if (report.revealFolder()) {
        nimbara::ui::FileViewer::reveal(localText(report.folder));
    }
}

}  // namespace nimbara::transfer
