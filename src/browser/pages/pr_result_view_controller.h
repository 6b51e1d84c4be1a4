// The backup browser's result page: the device information of the chosen local backup, a pop-up
// to pick another backup, the scan's progress and the records the scan finds, by category, with
// the backup's file outline.
//
// The scan runs on a thread of its own (one BackupScan per scan, owned by the page). Its record
// handlers run on that thread: they add to ResultRecords (which has its own lock) and only ask
// the GUI thread to refresh; widgets and the file outline are touched on the GUI thread alone.
//
// Each scan posts on a notification centre of its own, and its handlers pass a gate that the
// page closes when the scan is replaced or the page goes. A replaced scan is asked to stop and
// left to end on its own: the GUI thread never waits for it, not even when the page is
// destroyed; a reaper joins its thread once it has ended. Nothing it posts after its gate closed
// reaches the page. A replaced outline is let go on a thread of its own.
//
// Backup file entries reach the outline a slice of the event loop's time at a time, and its
// model inserts the new rows (never a reset while a scan runs); the scan's end is shown once the
// outline has taken them all.
#pragma once

#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "backup/backup_file_tree.h"
#include "backup/backup_scan.h"
#include "browser/result_records.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

class PRIOSDeviceNode;
class PRProgressView;
class QComboBox;
class QDialog;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QTreeView;
class QWidget;

namespace nimbara {
class WorkerReaper;
}
namespace nimbara::backup {
class BackupScanRecords;
}
namespace nimbara::browser {
class BackupFilesView;
class BackupOutlineModel;
}  // namespace nimbara::browser

class PRResultViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    // Rows of the category list, in display order.
    enum CategoryRow {
        kBackupFiles,
        kContacts,
        kPhotos,
        kAppFiles,
        kMessages,
        kNotes,
        kCalls,
        kBookmarks,
        kCalendar,
        kCategoryRowCount
    };

    explicit PRResultViewController(QObject* parent = nullptr);
    ~PRResultViewController() override;

    // Stops any running scan (without waiting for it), clears the records and scans `node`'s
    // backup; `index` is its row in the delegate's backup list. A null node means there is no
    // backup: the pop-up reads "No Device" and the user is told how to make one.
    void scanBackup(const std::shared_ptr<PRIOSDeviceNode>& node, int index);

    // Interface action of the backup pop-up: scans the picked backup unless it is the one shown.
    void actSelectBackUpBtn(QObject* sender = nullptr);
    // Shows the backup file outline.
    void actBackUpBoswer(QObject* sender = nullptr);
    // Shows the category of `row`.
    void showCategory(int row);

    // The guide sheet: how to get the newest data into a backup, in three steps.
    void clickGetLog(QObject* sender = nullptr);
    void actNextClick(QObject* sender = nullptr);
    int currentStep() const { return currentStep_; }

    // Records found so far, by category.
    const nimbara::browser::ResultRecords& records() const { return records_; }
    int BackUpFilesNum() const { return records_.counters().BackUpFilesNum; }
    // Backup file entries handed to the file outline in this page's life.
    std::uint64_t backupfiles() const { return backupfiles_; }
    // Entries of the current backup's list that are files (or links), not folders.
    std::uint64_t backupFileCount() const { return backupFileCount_; }
    const PRTreeController& treeController() const { return *treeController_; }
    int currentSelect() const { return currentSelect_; }
    // The current scan's thread runs.
    bool isScanning() const;
    // Replaced scans whose threads have not been joined yet (they end on their own).
    std::size_t endingScans() const;

    // The plan of each scan: the wired readers unless a test gives another.
    using PlanMaker = std::function<nimbara::backup::BackupScanPlan(
        const std::shared_ptr<nimbara::backup::BackupScanRecords>&)>;
    void setPlanMaker(PlanMaker maker) { planMaker_ = std::move(maker); }
    // True once the last started scan has ended and its end was shown.
    bool scanFinished() const { return scanFinished_; }

    // Outlets (null before the page is first shown).
    QComboBox* backupPopBtn = nullptr;
    QLabel* backupNameInfolab = nullptr;
    QLabel* backupSerialInfolab = nullptr;
    QLabel* deviceTypeInfolab = nullptr;
    QLabel* iOSTypeInfolab = nullptr;
    QLabel* backupDateInfolab = nullptr;
    QListWidget* categoryList = nullptr;
    PRProgressView* scanProgressor = nullptr;
    QLabel* progressTextField = nullptr;
    QLabel* scanInfolab = nullptr;
    // A quiet line under the progress: the backup lists files it does not hold.
    QLabel* incompleteNoticelab = nullptr;
    // Count labels, found and deleted.
    QLabel* photovideoNumlab = nullptr;
    QLabel* delPhotovideoNumlab = nullptr;
    QLabel* contactNumlab = nullptr;
    QLabel* delContactNumlab = nullptr;
    QLabel* messageNumlab = nullptr;
    QLabel* delMessageNumlab = nullptr;
    QLabel* noteNumlab = nullptr;
    QLabel* delNoteNumlab = nullptr;
    QLabel* callNumlab = nullptr;
    QLabel* delCallNumlab = nullptr;
    QStackedWidget* CustomView = nullptr;
    // The backup file tree category: folder outline, file table and preview.
    nimbara::browser::BackupFilesView* backupFilesView = nullptr;
    QTreeView* treeView = nullptr;  // its folder outline
    QTableWidget* contactTable = nullptr;
    QLabel* categoryNotelab = nullptr;
    QPushButton* getLogBtn = nullptr;
    QWidget* resultView = nullptr;
    QWidget* emptyView = nullptr;
    QLabel* emptyTextlab = nullptr;
    QPushButton* emptyBackupBtn = nullptr;
    // Guide sheet (made on first use).
    QDialog* guidWindow = nullptr;
    QLabel* showStepImageView = nullptr;
    QLabel* showStepBtn = nullptr;
    QLabel* firstTiplab = nullptr;
    QPushButton* nextBtn = nullptr;

  protected:
    void viewShown() override;

  private:
    struct ScanSession;
    void observeScan(ScanSession& session);
    void retireScan();
    void buildResultView();
    QWidget* buildCountGrid(QWidget* parent);
    void buildGuideSheet();
    void resetForScan();
    void showNoBackup();
    void refreshOnMain();
    void requestRefresh();
    void takeOutlineEntries();
    bool outlineEntriesWaiting();
    std::vector<std::shared_ptr<PRTreeDirNode>> takeWaitingEntries();
    void releaseOutline(std::unique_ptr<PRTreeController> outline,
                        std::vector<std::shared_ptr<PRTreeDirNode>> entries);
    void updateCategoryRows();
    void scanEnded(const nimbara::backup::BackupScanSummary& summary);
    void showScanEnd(const nimbara::backup::BackupScanSummary& summary);
    void showScanFailure(const QString& message);
    void fillInfo(const std::shared_ptr<PRIOSDeviceNode>& node);
    void fillPopup();
    void showCounts(const nimbara::browser::ResultCounters& counters);

    nimbara::browser::ResultRecords records_;
    int progress_ = 0;
    std::atomic<bool> refreshQueued_{false};
    int generation_ = 0;
    PlanMaker planMaker_;

    // Backup file entries from the scan thread, waiting to join the outline on the GUI thread.
    std::mutex pendingMutex_;
    std::vector<std::shared_ptr<PRTreeDirNode>> pendingEntries_;
    // The entries being filed (GUI thread): taken from pendingEntries_ as a whole, filed from
    // position filed_ on.
    std::vector<std::shared_ptr<PRTreeDirNode>> filing_;
    std::size_t filed_ = 0;
    std::unique_ptr<PRTreeController> treeController_;
    std::unique_ptr<nimbara::browser::BackupOutlineModel> outlineModel_;
    // The end of the last scan, shown once the outline has taken every entry.
    std::optional<nimbara::backup::BackupScanSummary> endedScan_;
    std::uint64_t backupfiles_ = 0;
    std::uint64_t backupFileCount_ = 0;

    // The count labels in the order of countLabelTexts.
    std::vector<QLabel*> countLabels_;
    // Which steps of the last scan have readers, by category row.
    std::vector<bool> categoryReadable_;
    int currentSelect_ = 0;
    int currentStep_ = 0;
    std::size_t shownContacts_ = 0;
    bool scanFinished_ = false;
    bool fillingPopup_ = false;
    // The current scan; replaced scans go to the reaper, and so do the threads letting go of
    // replaced outlines (releases_). Neither is waited for, not even when the page goes.
    std::shared_ptr<ScanSession> session_;
    std::unique_ptr<nimbara::WorkerReaper> reaper_;
    std::unique_ptr<nimbara::WorkerReaper> releases_;
};
