// The clean-up page. Two halves share the controller:
// - the app clean-up: the start button scans every app's container for caches, cookies,
//   temporary files, documents and advertisement caches (AppCleanScanEngine), shows a size per
//   category with a result view each, and then offers to remove everything it found;
// - the device clean-up: a scan of the apps' caches, cookies and temporary files into three
//   folder trees, and of the media left by failed syncs into a table (DeviceCleanScanEngine),
//   with removal and export from the trees' menus; its progress, sizes and end reach the main
//   window's summary as the notifications "CleanFileProgressInfo",
//   "AddCleanFileSizeThreadProgressInfo" and "CleanFilehasFinished".
//
// The two scans keep separate results, and one scan runs at a time: a second request while one
// runs is refused. Every job runs on a worker owned by the page and is bound to the device
// (index AND serial) it started for; what it reports is taken on the GUI thread only while it is
// still the page's current job, so a device change (initAllDataAndAllView) resets the page and
// discards whatever a stale job still sends. The GUI thread never waits: stopped workers are
// left to a reaper. Removals start only after the user confirmed them.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cleanup/app_clean_scan.h"
#include "cleanup/clean_export.h"
#include "cleanup/clean_removal.h"
#include "cleanup/clean_removal_queue.h"
#include "cleanup/device_clean_scan.h"
#include "cleanup/pages/clean_list_models.h"
#include "cleanup/pages/clean_view_ui.h"
#include "platform/job_runner.h"
#include "platform/notification_center.h"
#include "ui/core/pr_app_tree_controller.h"
#include "ui/folder_tree_models.h"
#include "ui/page_controller_base.h"

class QModelIndex;
class QPoint;

class PRCleanViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    enum class ScanKind { None, App, Device };

    explicit PRCleanViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRCleanViewController() override;

    // ---------------------------------------------------------------- life cycle
    // Stores the device index of the page (`cleanDevice`); nothing else.
    void NimbaraShowDeviceClean(int index);
    // Another device: stops the page's jobs (their results are discarded), empties every list,
    // tree and count, and goes back to the start view.
    void initAllDataAndAllView();
    // The shell shows `target` (empty: no device is left): the page takes its index, if any,
    // and resets.
    void deviceChanged(const amd::DeviceTarget& target) override;
    int cleanDevice() const { return cleanDevice_.load(); }

    // ---------------------------------------------------------------- app clean-up
    // The start button: scans when idle; after a scan, asks whether to remove everything found
    // and removes it only when the user says so; nothing while a scan runs.
    void startScanPhoneApp(QObject* sender = nullptr);
    // The six views of the app clean-up.
    void showcleanDiskView();
    void showCleanCacheTableView();
    void showCleanCookTableView();
    void showCleanJunkTableView();
    void showCleanDocumentTableView();
    void showcleanAppAdsTableView();
    // The category buttons: each opens its result view with its found-files line.
    void ClickCacheFileAction(QObject* sender = nullptr);
    void ClickDocumentFileAction(QObject* sender = nullptr);
    void ClickJunkFileAction(QObject* sender = nullptr);
    void ClickCookieFileAction(QObject* sender = nullptr);
    void ClickAppAdsFileAction(QObject* sender = nullptr);
    void cacheFileBackAction(QObject* sender = nullptr);
    // The tip sheet of the app clean-up (its button on the start view), and its closing.
    void showCleanTipWindow(QObject* sender = nullptr);
    void closeCleanTipWindowAction(QObject* sender = nullptr);
    // Advertisement caches: the selected row's, or every "Live" row's, after the user confirmed.
    void RemoveAdsAction(QObject* sender = nullptr);
    void RemoveAllAdsAction(QObject* sender = nullptr);

    // The result views' buttons: remove the chosen rows, remove every row (each after the user
    // confirmed), export the chosen rows into a folder the user picks.
    void RemoveOneCacheFiles(QObject* sender = nullptr);
    void RemoveOneDocumentFile(QObject* sender = nullptr);
    void RemoveOneJunkFile(QObject* sender = nullptr);
    void RemoveOneCookFiles(QObject* sender = nullptr);
    void RemoveAllCacheFiles(QObject* sender = nullptr);
    void RemoveAllDocumentFiles(QObject* sender = nullptr);
    void RemoveAllJunkFiles(QObject* sender = nullptr);
    void RemoveAllCookFiles(QObject* sender = nullptr);
    void ExportTheCleanCacheNode(QObject* sender = nullptr);
    void ExportTheCleanDocumentNode(QObject* sender = nullptr);
    void ExportTheCleanJunkNode(QObject* sender = nullptr);
    void ExportTheCleanCookNode(QObject* sender = nullptr);

    bool bStartCleanScan() const { return scanKind_ == ScanKind::App; }
    bool bAppCleanerFinish() const { return bAppCleanerFinish_; }
    // The last app scan's result (null before one finished for the current device).
    const nimbara::cleanup::AppCleanScanResult* appScanResult() const {
        return appResult_ ? &*appResult_ : nullptr;
    }

    // ---------------------------------------------------------------- device clean-up
    // Starts the device scan for `deviceIndex`; false (and nothing started) while a scan of the
    // page runs. The trees, table and sizes start empty.
    bool showDeviceClean(int deviceIndex);
    // The device clean-up views; each shows its view alone.
    void showCleanMainView();
    void showCleanJunkView();
    void showCleanCacheview();
    void showCleanCookView();
    void showCleanMediaView();
    // The folder chosen in an outline: its files fill the table beside it.
    void outlineViewSelectionDidChange(QTreeView* outline);
    // Before a menu opens: every item enabled when the click was on a row, else disabled.
    void menuNeedsUpdate(QMenu* menu, bool onRow);

    // The menus of the device clean-up views. Removals ask first; exports ask for a folder.
    // The selected file of a category's table:
    void CleanCacheFile(QObject* sender = nullptr);
    void CleanJunkFile(QObject* sender = nullptr);
    void CleanCookieFile(QObject* sender = nullptr);
    void ExportTheCacheFileToMac(QObject* sender = nullptr);
    void ExportTheJunkFiletoMac(QObject* sender = nullptr);
    void ExportTheCookieFiletoMac(QObject* sender = nullptr);
    // The selected folder row of a category's outline (that folder only; an app row: the app's
    // whole category folder):
    void cleanCacheDirFile(QObject* sender = nullptr);
    void CleanJunkDirFile(QObject* sender = nullptr);
    void CleanCookieDirFile(QObject* sender = nullptr);
    void ExportCacheFilesToMac(QObject* sender = nullptr);
    void ExportJunkFilestoMac(QObject* sender = nullptr);
    void ExportCookieFilestoMac(QObject* sender = nullptr);
    // Everything a category's tree holds:
    void cleanAllCacheFiles(QObject* sender = nullptr);
    void CleanAllJunkFiles(QObject* sender = nullptr);
    void CleanAllCookieFiles(QObject* sender = nullptr);
    // Sync-failed media: the selected entry, or all of them.
    void CleanSyncedMediaFile(QObject* sender = nullptr);
    void ExportTheSyncedFiletoMac(QObject* sender = nullptr);
    void CleanAllSyncedMediaFile(QObject* sender = nullptr);

    // The main window's one-click fix, once the user confirmed it there: removes everything the
    // device scan found (the three trees and the sync-failed media) in one run; `done` gets the
    // run's report on the GUI thread. False (and nothing started) without a finished device scan
    // of the current device, or while the page is busy.
    bool cleanAllFound(std::function<void(const nimbara::cleanup::CleanRemovalReport&)> done);
    // Files and bytes of what cleanAllFound would remove.
    std::uint64_t foundFileCount() const;

    // The last device scan's figures (null before one ended for the current device).
    const nimbara::cleanup::DeviceCleanScanResult* deviceScanResult() const {
        return deviceResult_ ? &*deviceResult_ : nullptr;
    }
    // Files and bytes the device scan found (failed-sync media included).
    std::uint64_t GetCleanTaotalFileSize() const;
    std::uint64_t GetCleanTaotalFileNumber() const;
    // Sync-failed records shown.
    const std::vector<std::shared_ptr<PRCleanFileNode>>& syncFailedFileArray() const {
        return syncFailedFileArray_;
    }

    // ---------------------------------------------------------------- state
    // Which scan runs now (None: none).
    ScanKind scanRunning() const { return scanKind_; }
    // A removal of the page runs.
    bool removalRunning() const;
    // Workers stopped but not yet ended.
    std::size_t workersEnding() const;
    // The view in front: "cleanDiskView", "cleanCacheTableView", "cleanCookTableView",
    // "cleanJunkTableView", "cleanDocumentTableView", "cleanAppAdsView", "cleanMainView",
    // "cleanJunkView", "cleanCacheview", "cleanCookView" or "cleanMediaView".
    QString shownView() const;
    // The line under the views (empty when hidden).
    QString statusText() const;

    // The page's widgets (built on first use) and models.
    CleanViewUi& cleanUi();
    PRAppTreeController& JunkTreeController() { return junkTree_; }
    PRAppTreeController& CacheTreeController() { return cacheTree_; }
    PRAppTreeController& CookTreeController() { return cookTree_; }
    nimbara::cleanup::PRCleanRecordsModel* cleanCacheFileController() const { return cacheList_; }
    nimbara::cleanup::PRCleanRecordsModel* cleanDocumentController() const { return docList_; }
    nimbara::cleanup::PRCleanRecordsModel* cleanJunkController() const { return junkList_; }
    nimbara::cleanup::PRCleanRecordsModel* cleanCookController() const { return cookList_; }
    nimbara::cleanup::PRAdsController* adsController() const { return adsList_; }
    nimbara::cleanup::PRSyncFailedController* syncFailedController() const { return syncList_; }
    nimbara::ui::PRCleanEntriesModel* JunkFileController() const { return junkFiles_; }
    nimbara::ui::PRCleanEntriesModel* CacheFileController() const { return cacheFiles_; }
    nimbara::ui::PRCleanEntriesModel* CookFileController() const { return cookFiles_; }

    // The text after the first `ch` of `text`; nullopt when it is empty, lacks `ch` or ends with
    // it (the tree controllers' rule).
    static std::optional<QString> SubstringFromCh(const QString& text, QChar ch) {
        return PRAppTreeController::SubstringFromCh(text, ch);
    }

    // Called after each job of the page ended and its result was taken (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

  protected:
    void viewShown() override;

  private:
    struct AppCategory;
    // One device clean-up view: its tree, outline and entry models, and its widgets.
    struct TreeParts {
        nimbara::cleanup::CleanCategory category;
        std::size_t slot;  // junk 0, cache 1, cookie 2: the order of the size reports
        PRAppTreeController* tree = nullptr;
        nimbara::ui::PRCleanOutlineModel* outline = nullptr;
        nimbara::ui::PRCleanEntriesModel* files = nullptr;
        CleanTreeViewUi* ui = nullptr;
    };

    void ensureBuilt();
    bool built() const { return ui_ && uiRoot_; }
    void wireControls();
    void wireTree(TreeParts& parts);
    void showOnly(QWidget* view);
    // The page's line under its views; `problem` shows it red.
    void setStatus(const QString& text, bool problem = true);

    // Scans: `body` runs on the page's scan runner with the job's stop check; `post` hands a
    // step to the GUI thread, where it runs (on the built views) only while the job is still
    // the page's.
    using StopCheck = nimbara::JobRunner::StopCheck;
    using Post = nimbara::JobRunner::Post;
    void startJob(nimbara::JobRunner::Body body);
    // From the scan's last step: the job is over.
    void scanEnded();
    std::uint64_t serialOf(int index) const;

    // App clean-up.
    void startAppScan();
    void appPathSeen(nimbara::cleanup::CleanCategory category, const QString& path);
    void appProgress(float fraction);
    void appScanFinished(nimbara::cleanup::AppCleanScanResult result);
    void resetAppView();
    // The result views' bars hidden, their lines and buttons shown.
    void resetResultViews();
    void openResultView(const CleanResultViewUi& view, const CleanCategoryRowUi& row,
                        std::uint64_t count);
    void startAdRemoval(std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows);
    void confirmRemoveAll();

    // Removal and export (pr_clean_view_controller_removal.cpp).
    using Settle = std::function<void(const nimbara::cleanup::CleanRemovalReport&,
                                      const std::vector<nimbara::cleanup::CleanItem>&)>;
    // Posts a removal of `plan` on the page's removal worker; `settle` takes the report on the
    // GUI thread while the page still shows that device's results.
    // The sheet shows the progress, headed by `sheetHeadline` (rich text; a plain default when
    // empty); with `progressStep` the percent goes there instead and no sheet opens. Without
    // `notice` the page's line is cleared and the result left to whoever asked for the run.
    void runRemoval(nimbara::cleanup::CleanDeviceTarget target,
                    std::vector<nimbara::cleanup::CleanItem> plan, Settle settle,
                    const QString& sheetHeadline = QString(),
                    std::function<void(int)> progressStep = {}, bool notice = true);
    void runExport(nimbara::cleanup::CleanDeviceTarget target,
                   std::vector<nimbara::cleanup::CleanItem> plan,
                   nimbara::cleanup::CleanExportLayout layout, const QString& appData = {});
    bool confirm(const QString& message, const QString& informative, const QString& button);
    bool busyForRemoval();
    AppCategory appCategory(nimbara::cleanup::CleanCategory category);
    void removeAppRows(nimbara::cleanup::CleanCategory category, bool all);
    void exportAppRows(nimbara::cleanup::CleanCategory category);
    void settleAppCategory(nimbara::cleanup::CleanCategory category,
                           const nimbara::cleanup::CleanRemovalReport& report,
                           const std::vector<nimbara::cleanup::CleanItem>& plan);
    // The start button's removal, confirmed: everything found but the documents left out of
    // `documents` (the ones the user unticked).
    void removeAllApp(const std::vector<std::shared_ptr<PRCleanDirNode>>& documents);
    void removeTreeFile(nimbara::cleanup::CleanCategory category);
    void exportTreeFile(nimbara::cleanup::CleanCategory category);
    void removeTreeFolder(nimbara::cleanup::CleanCategory category);
    void exportTreeFolder(nimbara::cleanup::CleanCategory category);
    void removeTreeAll(nimbara::cleanup::CleanCategory category);
    // Asks `question`; when the user says so, removes `plan` from the device scan's device.
    void removeDeviceItems(std::vector<nimbara::cleanup::CleanItem> plan, const QString& question,
                           const QString& informative = QStringLiteral("This can't be undone."));
    // The same for many files of a tree or list: the question counts and names the files
    // (`what` they are) and the ones the device itself needs, which stay out of the plan.
    void removeNamedDeviceItems(std::vector<nimbara::cleanup::CleanItem> plan, const char* what);
    // Drops what the report settled from the trees and the sync-failed table, lowers the
    // figures by it and tells the main window the bytes freed per category.
    void settleDevice(const nimbara::cleanup::CleanRemovalReport& report,
                      const std::vector<nimbara::cleanup::CleanItem>& plan);
    nimbara::cleanup::CleanDeviceTarget deviceTarget() const;
    nimbara::cleanup::CleanDeviceTarget appTarget() const;
    void addMenuActions();
    void showRemoveSheet(std::size_t items, const QString& headline);
    void closeRemoveSheet();

    // Device clean-up.
    void deviceTreeFile(nimbara::cleanup::CleanCategory category,
                        const std::shared_ptr<PRCleanDirNode>& record);
    void deviceSyncFile(const std::shared_ptr<PRCleanFileNode>& record);
    void deviceScanFinished(nimbara::cleanup::DeviceCleanScanResult result);
    void refreshOutlineView();
    void showDeviceFigures();
    TreeParts* treeOf(nimbara::cleanup::CleanCategory category);
    void clearDeviceClean();

    std::atomic<int> cleanDevice_{0};
    std::unique_ptr<CleanViewUi> ui_;
    QPointer<QWidget> uiRoot_;  // ui_->view, while it lives
    nimbara::ObserverBag observers_;

    // The app clean-up's lists and the advertisement rows.
    nimbara::cleanup::PRCleanRecordsModel* cacheList_ = nullptr;
    nimbara::cleanup::PRCleanRecordsModel* docList_ = nullptr;
    nimbara::cleanup::PRCleanRecordsModel* junkList_ = nullptr;
    nimbara::cleanup::PRCleanRecordsModel* cookList_ = nullptr;
    nimbara::cleanup::PRAdsController* adsList_ = nullptr;
    nimbara::cleanup::PRSyncFailedController* syncList_ = nullptr;
    // The device clean-up's trees and the entry tables beside them.
    PRAppTreeController junkTree_;
    PRAppTreeController cacheTree_;
    PRAppTreeController cookTree_;
    nimbara::ui::PRCleanOutlineModel* junkOutline_ = nullptr;
    nimbara::ui::PRCleanOutlineModel* cacheOutline_ = nullptr;
    nimbara::ui::PRCleanOutlineModel* cookOutline_ = nullptr;
    nimbara::ui::PRCleanEntriesModel* junkFiles_ = nullptr;
    nimbara::ui::PRCleanEntriesModel* cacheFiles_ = nullptr;
    nimbara::ui::PRCleanEntriesModel* cookFiles_ = nullptr;
    std::array<std::unique_ptr<TreeParts>, 3> trees_;

    // Results, each with its device.
    std::optional<nimbara::cleanup::AppCleanScanResult> appResult_;
    std::optional<nimbara::cleanup::DeviceCleanScanResult> deviceResult_;
    std::vector<std::shared_ptr<PRCleanFileNode>> syncFailedFileArray_;
    // Running device figures (from the scan's size reports).
    std::array<std::uint64_t, 3> deviceSizes_{};   // junk, cache, cookie
    std::array<std::uint64_t, 3> deviceCounts_{};  // files in the junk, cache, cookie trees
    std::uint64_t syncfailedFileSize_ = 0;

    ScanKind scanKind_ = ScanKind::None;
    bool bAppCleanerFinish_ = false;
    nimbara::JobRunner scanJob_;
    // Removals and exports, one after the other; reset with the page.
    std::unique_ptr<nimbara::cleanup::CleanJobQueue> removals_;
    int removalsPending_ = 0;
    std::function<void()> jobEnded_;
};
