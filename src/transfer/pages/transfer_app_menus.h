// The context menus of the transfer page's app pane and what their commands do with the files of
// an app's container: the folder menu of the app outline (appDirMenu) and the file menu of the
// folder's file table (appFileMenu).
//
// - Add a file from the computer: beside the chosen file (or into the chosen folder). The local
//   file is read first (regular files only); a file of that name in the container is replaced
//   only once the user agreed; the folder's list shows the new file.
// - Delete the chosen files after a question that names them and their app; what the user was
//   asked about is what is deleted, whatever the selection does afterwards. Only what the device
//   confirmed leaves the list, and nothing stays selected.
// - Export the chosen files, or a folder with everything below it, into a folder the save panel
//   names (each under its container path), or the chosen files straight into Documents. Nothing
//   is replaced (" (2)"); the folder is shown once at the end when something was written.
//
// One job at a time, on a worker bound to the pane's device (index AND serial) and the app, over
// one connection to the app's container; stop() (a device change) drops what it still posts.
// Progress and outcomes go to the pane's info line. GUI thread only.
#pragma once

#include <QMenu>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/device_target.h"
#include "platform/job_runner.h"
#include "ui/core/pr_app_tree_controller.h"
#include "ui/folder_tree_models.h"

class QTableView;
class QTreeView;
class QWidget;

// Declared only: the pages that include this header may also hold the storage manager's preview
// names, which clash with the device file engines' (filemanager/device_fs_actions.h).
namespace nimbara::filemanager {
struct FsExportItem;
struct FsExportReport;
struct FsRemovalReport;
struct FsUploadReport;
enum class FsExportLayout;
}  // namespace nimbara::filemanager

namespace nimbara::transfer {

using ContainerFile = std::shared_ptr<PRAppFileTreeNode>;
struct ContainerSelection;

// The commands of the two menus.
enum class AppFileCommand {
    ExportToComputer,   // AppExportFilestoMac:
    ExportToDocuments,  // AppExportFilestoDocument:
    AddFile,            // addFilesToApp: (beside the chosen file, or into the chosen folder)
    Delete,             // AppDeleted:
    SelectAll,          // AppSelectAll:
    UnselectAll,        // AppUnSelecteAll:
    ExportFolder,       // AppDirExporttoMac:
};

enum class AppMenu { Folder, Files };

// The commands of a menu, in menu order.
std::vector<AppFileCommand> appMenuCommands(AppMenu menu);
// Whether a command is enabled as its menu opens: nothing without a chosen row in the menu's
// view; while a file job runs, only the selection commands.
bool appMenuItemEnabled(AppFileCommand command, bool rowChosen, bool jobRunning);

class TransferAppFileActions : public QObject {
  public:
    // What the actions use of the app pane.
    struct Pane {
        PRAppTreeController& tree;
        nimbara::ui::PRAppOutlineModel& outline;
        nimbara::ui::PRAppEntriesModel& entries;
        std::function<amd::DeviceTarget()> device;  // whose apps are shown (serial 0: none)
        std::function<void(const QString&)> setInfo;
        // A file's content on the device changed or it is gone: its preview goes.
        std::function<void(const ContainerFile&)> fileChanged;
    };

    TransferAppFileActions(Pane pane, QObject* parent = nullptr);
    ~TransferAppFileActions() override;

    // Builds the menus over the pane's (new) views.
    void attach(QTreeView* outline, QTableView* table);
    QMenu* appDirMenu() const { return dirMenu_.data(); }
    QMenu* appFileMenu() const { return fileMenu_.data(); }
    // Enables the items of `menu` for the rows chosen now (none when the click that opens it
    // was on no row).
    void menuNeedsUpdate(QMenu* menu, bool clickedOnRow = true);
    // A right click at `at` (viewport coordinates) on the outline or the table: the row under it
    // is chosen (outline), the menu enabled and opened there. The menu.
    QMenu* outlineMenuRequested(QPoint at);
    QMenu* tableMenuRequested(QPoint at);

    void addFilesToApp();
    void addFilesToAppFolder();
    void AppDeleted();
    void AppExportFilestoMac();
    void AppExportFilestoDocument();
    void AppDirExporttoMac();
    void AppSelectAll();
    void AppUnSelecteAll();

    bool busy() const { return worker_.busy(); }
    // Stops the job; what it still posts is dropped, and an open question or panel does nothing.
    void stop();
    // The folder chosen in the last save panel.
    QString exportPath() const { return exportPath_; }

  private:
    // Where a job acts: the device and the app (with its folder in the outline).
    struct Job {
        amd::DeviceTarget target;
        std::string bundleId;
        QString appName;
        std::weak_ptr<PRAppDirTreeNode> app;
    };
    struct Upload {
        Job job;
        QString local;
        std::string deviceFolder;
        std::weak_ptr<PRAppDirTreeNode> folder;
    };

    QWidget* window() const;
    void run(AppFileCommand command);
    std::vector<ContainerFile> selectedFiles() const;
    std::shared_ptr<PRAppDirTreeNode> selectedFolder() const;
    std::size_t depthOf(const PRAppDirTreeNode* folder) const;
    std::shared_ptr<PRAppDirTreeNode> appOf(const std::shared_ptr<PRAppDirTreeNode>& folder) const;
    // The device when a job may start now; else says why and gives nothing.
    std::optional<amd::DeviceTarget> readyDevice();
    // The job's device and app are still the pane's.
    bool current(const Job& job) const;

    void chooseLocalFile(Upload upload);
    void upload(Upload upload, bool allowReplace);
    void uploadEnded(const Upload& upload, const filemanager::FsUploadReport& report);
    void removalEnded(const Job& job, const ContainerSelection& selection,
                      const filemanager::FsRemovalReport& report);
    void exportTo(const Job& job, std::vector<filemanager::FsExportItem> plan,
                  const std::filesystem::path& folder, filemanager::FsExportLayout layout);
    std::optional<std::filesystem::path> chooseExportFolder();
    void exportEnded(const filemanager::FsExportReport& report);

    Pane pane_;
    QPointer<QTreeView> outline_;
    QPointer<QTableView> table_;
    QPointer<QMenu> dirMenu_;
    QPointer<QMenu> fileMenu_;
    QString exportPath_;
    // Counts stops: a question or panel answered after one does nothing.
    std::uint64_t generation_ = 0;
    nimbara::JobRunner worker_;
};

}  // namespace nimbara::transfer
