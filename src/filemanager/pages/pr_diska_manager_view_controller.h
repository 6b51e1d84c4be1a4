// The storage manager page: what fills the device, by seven categories (photos, music, videos,
// books, user apps, system apps, user data), each scanned on demand and listed with its sizes.
//
// Each category loads once per device: idle → scanning → done. Its sidebar entry (the category
// actions below) starts the scan when the category is idle, shows the category table while it
// runs and shows the list once it is done. Music and videos are one scan (the device's media
// library), and so are user and system apps. Every scan runs on a page worker of its own, bound
// to the device (index AND serial) it was started for, with its progress on the category's bar;
// two categories may scan at once, one category never twice. A scan that could not bind its
// service or whose device went away ends with its bar stopped and its category idle again, so the
// next click tries anew, and says why. A device change (initAllDataAndAllView) stops every scan,
// drops whatever they still hand over, forgets every list and total and shows the category table.
// The scan-all (ScanDiskUsage, also the overview's scan button) runs the five scans one after
// the other and ends on the user-data view.
//
// The lists preview the chosen row; a photo's picture comes from a preview copy made on a worker
// (storage_preview.h) and shows only while that row is still chosen on the same device.
//
// The actions of the lists (pr_diska_manager_view_controller_actions.cpp) run one at a time on
// the page's action worker, bound to the device the list was scanned from: exports of the chosen
// or of all items into the export folder, each after the export reminder; removals of the chosen
// items and the uninstall of an app, each asked first, with the items fixed when asked; the
// export of an app's container and of chosen user-data files. A removal settles the list by what
// the device really removed: refused items stay listed and only removed bytes count; afterwards
// nothing is chosen. The questions name what they take, and an export's line says what it wrote
// and where. A device change stops the action and drops what it still hands over.
// GUI thread only.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "backup/pr_photo_and_video_node.h"
#include "cleanup/pages/clean_list_models.h"
#include "device/device_space.h"
#include "filemanager/pages/disk_manager_ui.h"
#include "filemanager/pr_book_node.h"
#include "filemanager/storage_scan.h"
#include "platform/job_runner.h"
#include "platform/notification_center.h"
#include "transfer/pr_tran_music_node.h"
#include "ui/core/app_tree_nodes.h"
#include "ui/core/pr_system_lib_tree_controller.h"
#include "ui/folder_tree_models.h"
#include "ui/page_controller_base.h"

class QSettings;
class QTableView;

namespace nimbara::ui {
class ChatPictureLoader;
}
namespace nimbara::transfer {
struct MediaLibraryResult;
}
namespace nimbara::filemanager {
struct AppScanResult;
struct BookScanResult;
struct PhotoScanResult;
struct StorageItem;
struct StorageReport;
struct UserDataScanResult;
}  // namespace nimbara::filemanager

// The list controllers of the page's tables.
using PRTansferPhotoController = nimbara::cleanup::CleanRowsModel<PRPhotoAndVideoNode>;
using PRDiskMusicController = nimbara::cleanup::CleanRowsModel<PRTranMusicNode>;
using PRBookController = nimbara::cleanup::CleanRowsModel<PRBookNode>;
using PRAppFileController = nimbara::cleanup::CleanRowsModel<PRAppDirTreeNode>;
using PRSystemAppFileController = nimbara::cleanup::CleanRowsModel<PRAppDirTreeNode>;

class PRDiskaManagerViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    // The five scans behind the seven categories.
    enum class Scan { Photo, Media, Books, Apps, UserData };
    static constexpr int kScanCount = 5;
    enum class ScanState { Idle, Scanning, Done };
    // The scan behind a category.
    static Scan scanOf(DiskCategory category);

    explicit PRDiskaManagerViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRDiskaManagerViewController() override;

    // Stores the device index of the page's device services.
    void setDiskManageDeviceIndex(int index);
    // Another device: stops every scan (what they still hand over is dropped), forgets every
    // list, tree and total, and shows the category table.
    void initAllDataAndAllView();
    // The shell shows `target` (none: no device is left): its index, then the reset above.
    void deviceChanged(const amd::DeviceTarget& target) override;

    // The category actions (sender ignored): scan once, then show the list.
    void ScanDiskPhotoFiles(QObject* sender = nullptr);
    void ScanDiskMusicFiles(QObject* sender = nullptr);
    void ScanDiskVideoFiles(QObject* sender = nullptr);
    void ScanDiskBooksFiles(QObject* sender = nullptr);
    void ScanDiskUserAppFiles(QObject* sender = nullptr);
    void ScanDiskSystemAppFiles(QObject* sender = nullptr);
    void ScanDiskUserDataFiles(QObject* sender = nullptr);
    // Scans every category that is not scanning already, one after the other.
    void ScanDiskUsage(QObject* sender = nullptr);
    void MyDiskManagebuttonMouseDownHandle(const nimbara::Notification& notification);

    // Back to the category table (sender ignored).
    void BackToDiskTalbeView(QObject* sender = nullptr);
    // Show a scanned list (sender ignored).
    void ViewScanPhotoFiles(QObject* sender = nullptr);
    void ViewScanMusicFiles(QObject* sender = nullptr);
    void ViewScanVideoFiles(QObject* sender = nullptr);
    void ViewScanBookFiles(QObject* sender = nullptr);
    void ViewScanAppFiles(QObject* sender = nullptr);
    void ViewScanSystemAppFile(QObject* sender = nullptr);
    void ViewScanUserlibDataFile(QObject* sender = nullptr);
    // Each shows its page view and hides the eight others.
    void showStateView();
    void showTableView();

    // Sent after the user-data tree was re-arranged: opens its top folder.
    void refreshOutlineView();

    // The overview's figures (bytes): user total U and free F, system total S and free G. Totals
    // of 0 (or free figures above their totals) show empty bars, never a division by zero.
    void setDiskManageDeviceWithAllUserData(std::int64_t allUserData, std::int64_t freeData,
                                            std::int64_t allIOSData, std::int64_t iosFreeData);
    // The device's space as its status shows it: the rows from `space` (User Free is its free
    // space, and the rows add up to its used space) and the line on the whole device.
    void showDeviceSpace(const amd::DeviceSpace& space);

    // The selection of `table` changed: shows the chosen row in the view's preview.
    void tableViewSelectionDidChange(QTableView* table);
    // The user-data outline's selection changed: lists the chosen folder's entries.
    void outlineViewSelectionDidChange();
    // The preview of a photo: its name and size now; the picture comes with the photo preview
    // copy, which hands it to setPhotoPreviewPicture.
    void showPhotoPreview(const std::shared_ptr<PRPhotoAndVideoNode>& photo);
    void setPhotoPreviewPicture(const QPixmap& picture);
    // Worker: copies the photo for its preview and decodes its picture; the picture reaches
    // PreviewCopyOnMainThreadHanld.
    void PreviewCopyOnThread(const std::shared_ptr<PRPhotoAndVideoNode>& photo);

    // ---------------------------------------------------------------- actions (sender ignored)
    // Before every export: where the copies go, until the user ticks the box (kept in settings).
    void exportSourcePathRemind();
    // Export the chosen items into the export folder.
    void ExportPhotoItem(QObject* sender = nullptr);
    void ExportMusicItem(QObject* sender = nullptr);
    void ExportVideoItem(QObject* sender = nullptr);
    void ExportBookItem(QObject* sender = nullptr);
    // Export every item of the list.
    void ExportAllPhotoItem(QObject* sender = nullptr);
    void ExportAllMusicItem(QObject* sender = nullptr);
    void ExportAllMoviesItem(QObject* sender = nullptr);
    void ExportAllBookItem(QObject* sender = nullptr);
    // Remove the chosen items from the device, asked first.
    void RemovePhotoItem(QObject* sender = nullptr);
    void RemoveMusicItem(QObject* sender = nullptr);
    void RemoveVideoItem(QObject* sender = nullptr);
    void RemoveBookItem(QObject* sender = nullptr);
    void RemoveUerDataFile(QObject* sender = nullptr);
    // Uninstall the chosen user app, asked first.
    void UninStallAppData(QObject* sender = nullptr);
    // Copy the chosen user app's container into "<export folder>/<app name>".
    void ExportAppData(QObject* sender = nullptr);
    // Copy the chosen files of the user-data table into the export folder.
    void ExportUserData(QObject* sender = nullptr);

    // Where the reminder's suppression is kept (the user's settings when none was given).
    void setSettings(std::shared_ptr<QSettings> settings);
    // An export, removal or uninstall runs.
    bool actionRunning() const { return actions_.busy(); }
    // A photo preview copy runs.
    bool previewRunning() const { return previewer_.busy(); }
    // Called after each action and preview copy ended and its result was shown (tests wait on
    // it).
    void setActionEndedCallback(std::function<void()> callback) {
        actionEnded_ = std::move(callback);
    }

    // ---------------------------------------------------------------- state
    int diskManageDeviceIndex() const { return deviceIndex_.load(); }
    // "overview", "table", "photo", "music", "video", "books", "userApps", "systemApps",
    // "userData".
    QString shownView() const { return shownView_; }
    ScanState scanState(Scan scan) const;
    // A scan's worker runs, or one it stopped has not ended yet.
    bool scanRunning(Scan scan) const;
    std::size_t workersEnding() const;
    // The device a scan's results belong to.
    nimbara::filemanager::StorageDeviceTarget scanTarget(Scan scan) const;
    bool bClickMusic() const { return bClickMusic_; }
    bool bUserApps() const { return bUserApps_; }
    // The byte total of a category (system apps: their bytes, though the page shows a blank).
    std::uint64_t categoryBytes(DiskCategory category) const;
    // The status line (empty when hidden).
    QString statusText() const;

    const std::vector<std::shared_ptr<PRPhotoAndVideoNode>>& photoFilesArray() const {
        return photoFilesArray_;
    }
    const std::vector<std::shared_ptr<PRTranMusicNode>>& musicFilesArray() const {
        return musicFilesArray_;
    }
    const std::vector<std::shared_ptr<PRTranMusicNode>>& videoFilesArray() const {
        return videoFilesArray_;
    }
    const std::vector<std::shared_ptr<PRBookNode>>& bookFilesArray() const {
        return bookFilesArray_;
    }
    const std::vector<std::shared_ptr<PRAppDirTreeNode>>& appFilesArray() const {
        return appFilesArray_;
    }
    const std::vector<std::shared_ptr<PRAppDirTreeNode>>& systemAppFileArray() const {
        return systemAppFileArray_;
    }
    PRSystemLibTreeController& libTreeController() { return libTreeController_; }

    PRTansferPhotoController* photoFileController() const { return photoController_; }
    PRDiskMusicController* muiscFileController() const { return musicController_; }
    PRDiskMusicController* videoFileController() const { return videoController_; }
    PRBookController* booksFileController() const { return booksController_; }
    PRAppFileController* appFileController() const { return appController_; }
    PRSystemAppFileController* systemAppFileController() const { return systemAppController_; }
    nimbara::ui::PRSystemLibEntriesModel* libFileController() const { return libFileController_; }
    nimbara::ui::PRSystemLibOutlineModel* libOutlineModel() const { return libOutline_; }

    // The page's widgets (built on first use).
    DiskManagerUi& diskUi();

    // Called after each scan ended and its result was taken (tests wait on it).
    void setScanEndedCallback(std::function<void(Scan)> callback) {
        scanEnded_ = std::move(callback);
    }

  protected:
    void viewShown() override;
    void deviceDetached(int index) override;

  private:
    struct Flags {
        bool started = false;
        bool finished = false;
    };

    void ensureBuilt();
    void wire();
    void showOnly(QWidget* view, const QString& name);
    void showList(DiskCategory category);
    // The line above a list saying how many items it holds.
    void updateInfoLine(DiskCategory category);
    // The page's line: red for a problem, else in the text colour (progress, what an action did).
    void setStatus(const QString& text, bool problem = true);
    void enterCategory(const char* method, QObject* sender, DiskCategory category);
    // Starts `scan` for the page's device; false (and the category stays idle) without one.
    bool startScan(Scan scan);
    void runScan(Scan scan, nimbara::filemanager::StorageDeviceTarget target);
    void setScanProgress(Scan scan, double fraction);
    // A scan ended: `ok` with its results taken, else with `why` for the user.
    void scanFinished(Scan scan);
    void scanFailed(Scan scan, nimbara::filemanager::StorageScanStatus status);
    void tookPhotos(const nimbara::filemanager::PhotoScanResult& result);
    void tookMedia(const nimbara::transfer::MediaLibraryResult& result);
    void tookBooks(const nimbara::filemanager::BookScanResult& result);
    void tookApps(const nimbara::filemanager::AppScanResult& result);
    void tookUserData(const nimbara::filemanager::UserDataScanResult& result);
    // Forgets a scan's results and shows its categories as not scanned.
    void forgetScan(Scan scan);
    void refreshRows();
    void startNextOfScanAll();
    void readDiskFigures();
    void clearPreviews();

    // Actions (pr_diska_manager_view_controller_actions.cpp).
    void wireActions();
    void PreviewCopyOnMainThreadHanld(const std::shared_ptr<PRPhotoAndVideoNode>& photo,
                                      const QImage& picture, bool copied,
                                      const nimbara::filemanager::StorageDeviceTarget& target);
    // The device of a category's list when an action may start on it; false (and the page says
    // why) when another action runs, the list is not scanned or its device went away.
    bool readyForAction(DiskCategory category, nimbara::filemanager::StorageDeviceTarget* target);
    QTableView* tableOf(DiskCategory category) const;
    std::vector<int> chosenRows(DiskCategory category) const;
    std::vector<nimbara::filemanager::StorageItem> itemsOf(
        DiskCategory category, const std::vector<int>& rows,
        const nimbara::filemanager::StorageDeviceTarget& target) const;
    void exportList(DiskCategory category, bool all);
    void runExport(const nimbara::filemanager::StorageDeviceTarget& target,
                   std::vector<nimbara::filemanager::StorageItem> items);
    void removeChosen(DiskCategory category);
    void settleRemoval(DiskCategory category,
                       const nimbara::filemanager::StorageDeviceTarget& target,
                       const std::vector<nimbara::filemanager::StorageItem>& items,
                       const nimbara::filemanager::StorageReport& report);
    QString exportFolder() const;
    QSettings& settings();
    void actionEnded();

    std::atomic<int> deviceIndex_{0};
    std::unique_ptr<DiskManagerUi> ui_;
    QPointer<QWidget> uiRoot_;
    QString shownView_ = QStringLiteral("overview");
    nimbara::ObserverBag observers_;
    nimbara::ui::ChatPictureLoader* pictureLoader_ = nullptr;

    PRTansferPhotoController* photoController_ = nullptr;
    PRDiskMusicController* musicController_ = nullptr;
    PRDiskMusicController* videoController_ = nullptr;
    PRBookController* booksController_ = nullptr;
    PRAppFileController* appController_ = nullptr;
    PRSystemAppFileController* systemAppController_ = nullptr;
    PRSystemLibTreeController libTreeController_;
    nimbara::ui::PRSystemLibOutlineModel* libOutline_ = nullptr;
    nimbara::ui::PRSystemLibEntriesModel* libFileController_ = nullptr;

    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photoFilesArray_;
    std::vector<std::shared_ptr<PRTranMusicNode>> musicFilesArray_;
    std::vector<std::shared_ptr<PRTranMusicNode>> videoFilesArray_;
    std::vector<std::shared_ptr<PRBookNode>> bookFilesArray_;
    std::vector<std::shared_ptr<PRAppDirTreeNode>> appFilesArray_;
    std::vector<std::shared_ptr<PRAppDirTreeNode>> systemAppFileArray_;
    std::array<std::uint64_t, kDiskCategoryCount> totals_{};

    std::array<Flags, kScanCount> flags_{};
    std::array<nimbara::filemanager::StorageDeviceTarget, kScanCount> targets_{};
    std::array<nimbara::JobRunner, kScanCount> workers_;
    nimbara::JobRunner figuresWorker_;
    bool bClickMusic_ = true;
    bool bUserApps_ = true;
    // The category whose list the user waits for (its scan's end shows it).
    int waitingFor_ = -1;
    std::deque<Scan> scanAll_;
    std::function<void(Scan)> scanEnded_;

    // Actions: one at a time; the generation counts device changes, so an answer to a question
    // asked before one acts on nothing.
    nimbara::JobRunner actions_;
    nimbara::JobRunner previewer_;
    std::shared_ptr<PRPhotoAndVideoNode> previewPhoto_;
    std::uint64_t generation_ = 0;
    std::shared_ptr<QSettings> settings_;
    std::function<void()> actionEnded_;
};
