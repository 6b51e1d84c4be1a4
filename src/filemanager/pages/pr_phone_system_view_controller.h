// The device file-system browser page: the device's folders in an outline, the chosen folder's
// entries in a table, and a preview of the chosen file. From it the user exports files or a
// folder's entries to the computer, deletes entries on the device and adds a file from the
// computer to the folder of the chosen entry.
//
// The walk reads the whole device once per device (LookupSystemTree) on the page's walk worker
// and hands its records to the folder-tree builder on the GUI thread as they come; at its end,
// whatever the outcome, the page posts "SystemlibhasFinished" (the host's busy mark of the
// system files, started with the walk, stops). A walk that ended early (the device went away, its
// files could not be reached) leaves the page ready to walk again.
//
// Every device operation is bound to the device the tree was read from (index AND serial): a
// device change (initAllDataAndAllView) or the departure of that device resets the page, and
// what its jobs still report is dropped. Previews copy on their own worker into the private
// scratch space (up to kPreviewSizeLimit bytes) and decode there; exports, deletes and the add run
// one at a time on the action worker. Deletes and replacements are asked first, naming what they
// take; what they act on is fixed when the question is asked, the lists follow what the device
// confirmed, and nothing is chosen afterwards. An export's line says what it wrote and where.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "filemanager/device_fs_actions.h"
#include "filemanager/device_fs_walk.h"
#include "filemanager/pages/phone_system_ui.h"
#include "platform/job_runner.h"
#include "ui/core/pr_system_lib_tree_controller.h"
#include "ui/folder_tree_models.h"
#include "ui/page_controller_base.h"

class QImage;
class QMenu;

namespace nimbara {
class UniqueFolder;
}

class PRPhoneSystemViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    using FileNode = std::shared_ptr<PRPhoneSystemFileNode>;

    explicit PRPhoneSystemViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRPhoneSystemViewController() override;

    // Puts the browser's view into `container` and shows it (as showView).
    void showPhoneSystemView(QWidget* container);
    // Walks the device of `deviceIndex` unless its tree is shown or being read already; the
    // tree of another device is dropped first.
    void LookupSystemTree(int deviceIndex);
    // Back to an empty page for another device: stops every job and forgets the tree.
    void initAllDataAndAllView();
    // The shell shows another device or none: the reset above.
    void deviceChanged(const amd::DeviceTarget& target) override;

    // ---------------------------------------------------------------- views and menus
    void outlineViewSelectionDidChange();
    void tableViewSelectionDidChange();
    // Enables the items of `menu` when a row is under the click (outline or table).
    void menuNeedsUpdate(QMenu* menu, bool rowClicked);
    void SelecteAllFile(QObject* sender = nullptr);
    void UnSelecteAllFile(QObject* sender = nullptr);
    // Expands the outline's first row.
    void refreshOutlineView();

    // ---------------------------------------------------------------- actions
    // The chosen entries into a folder the export panel names (folders with what they hold).
    void ExportTheFileToMac(QObject* sender = nullptr);
    // The chosen outline folder's entries, each below the device's full path.
    void ExportDirFileToMac(QObject* sender = nullptr);
    // The chosen entries into the user's Documents folder, each under a name of its own.
    void ExportTheFileToDocument(QObject* sender = nullptr);
    // One entry into the Documents folder.
    void ExportTheFileNode(const FileNode& node);
    // Asks, then deletes the chosen entries on the device.
    void RemoveTheFiles(QObject* sender = nullptr);
    // A file of the computer into the device folder of the chosen entry.
    void addFilesToSystem(QObject* sender = nullptr);

    // ---------------------------------------------------------------- state
    int deviceIndex() const { return theDevice_.load(); }
    bool bScanStart() const { return bScanStart_; }
    bool bLoadFinished() const { return bLoadFinished_; }
    // An export, delete or add runs.
    bool busy() const { return actions_.busy(); }
    bool previewBusy() const { return previewer_.busy(); }
    std::size_t workersEnding() const {
        return walker_.ending() + actions_.ending() + previewer_.ending();
    }
    QString exportPath() const { return exportPath_; }
    QString addFilePath() const { return addFilePath_; }
    QString statusText() const;
    // The device the tree was read from.
    const nimbara::filemanager::CleanDeviceTarget& walkTarget() const { return walkTarget_; }
    const nimbara::filemanager::FsWalkResult& lastWalk() const { return lastWalk_; }

    PRSystemLibTreeController* GetLibTreeController() { return &libTreeController_; }
    nimbara::ui::PRSystemLibOutlineModel* outlineModel() const { return outline_; }
    nimbara::ui::PRSystemLibEntriesModel* libFileController() const { return entries_; }
    // The entry whose preview is shown or being made (null: none).
    FileNode previewNode() const { return previewNode_; }
    PhoneSystemUi& systemUi();

    // Called after each job of the page ended and its result was taken (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

  protected:
    void viewShown() override;

  private:
    using Target = nimbara::filemanager::CleanDeviceTarget;

    void ensureBuilt();
    void wire();
    // The page's line: red for a problem, else in the text colour (progress, what an action did).
    void setStatus(const QString& text, bool problem = true);
    void showWalking(bool walking);
    void resetPage();
    void deviceDetached(int index) override;
    void jobEnded();
    void postFinished();

    void StartLookupSystemTreeThread();
    void addTreeOnMainThread(const std::vector<nimbara::filemanager::FsEntryRecord>& records);
    void LookupSystemTreeFinishedOnMainThread(const nimbara::filemanager::FsWalkResult& result);

    // The entries chosen in the table, in row order.
    std::vector<FileNode> selectedEntries() const;
    nimbara::ui::PRSystemLibOutlineModel::DirPtr selectedFolder() const;
    // Whether an action may start now: a tree of an attached device and no other action.
    bool readyForAction();
    std::optional<QString> chooseExportFolder();
    void exportToDocuments(const std::vector<FileNode>& entries);
    void runExport(std::vector<nimbara::filemanager::FsExportItem> plan, const QString& folder,
                   nimbara::filemanager::FsExportLayout layout);
    void settleRemoval(const std::vector<FileNode>& targets,
                       const nimbara::filemanager::FsRemovalReport& report);
    void upload(const QString& local, const std::string& deviceFolder,
                std::shared_ptr<PRPhoneSystemDirNode> folder, bool allowReplace);
    void settleUpload(const nimbara::filemanager::FsUploadReport& report,
                      const std::shared_ptr<PRPhoneSystemDirNode>& folder, const QString& local,
                      const std::string& deviceFolder);
    void dropEntry(const FileNode& entry);

    void showPreviewOf(const FileNode& entry);
    void previewReady(const FileNode& entry, const QImage& image, const QString& copy,
                      const QString& message);
    void clearPreview();
    std::filesystem::path previewFolder();

    std::atomic<int> theDevice_{0};
    std::unique_ptr<PhoneSystemUi> ui_;
    QPointer<QWidget> uiRoot_;
    PRSystemLibTreeController libTreeController_;
    nimbara::ui::PRSystemLibOutlineModel* outline_ = nullptr;
    nimbara::ui::PRSystemLibEntriesModel* entries_ = nullptr;

    bool bScanStart_ = false;
    bool bLoadFinished_ = false;
    Target walkTarget_;
    nimbara::filemanager::FsWalkResult lastWalk_;
    QString exportPath_;
    QString addFilePath_;
    FileNode previewNode_;
    std::unique_ptr<nimbara::UniqueFolder> previewFolder_;
    // Bumped by every reset: a question answered after a reset acts on nothing.
    std::uint64_t generation_ = 0;

    nimbara::JobRunner walker_;
    nimbara::JobRunner actions_;
    nimbara::JobRunner previewer_;
    std::function<void()> jobEnded_;
};
