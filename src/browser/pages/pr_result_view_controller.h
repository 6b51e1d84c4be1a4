// The backup browser's result page: the device information of the chosen local backup, a pop-up
// to pick another backup, the scan's progress and the records the scan finds, by category, with
// the backup's file outline.
//
// The scan runs in the background (one BackupScan per scan, owned by the page). Its record
// handlers run on the scan's thread: they add to ResultRecords (which has its own lock) and only
// ask the GUI thread to refresh; widgets and the file outline are touched on the GUI thread alone.
//
// Each scan posts on a notification centre of its own, and its handlers pass a gate that the
// page closes when the scan is replaced or the page goes. A replaced scan is asked to stop and
// left to end on its own: the GUI thread never waits for it, not even when the page is
// destroyed; a reaper joins its thread once it has ended. Nothing it posts after its gate closed
// reaches the page. A replaced outline is let go in the background.
//
// Backup file entries reach the outline a slice of the event loop's time at a time, and its
// model inserts the new rows (never a reset while a scan runs); the scan's end is shown once the
// outline has taken them all.
#pragma once

#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "backup/backup_file_tree.h"
#include "backup/backup_scan.h"
#include "browser/pages/category_search.h"
#include "browser/pages/category_table.h"
#include "browser/pages/conversation_picture_export.h"
#include "browser/record_table_model.h"
#include "browser/result_records.h"
#include "platform/job_runner.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

class PRBookMarkNode;
class PRCalenderNode;
class PRCallHistoryNode;
class PRContactNode;
class PRFaceTwitterNode;
class PRPhotoAndVideoNode;
class PRIOSDeviceNode;
class PRMessageNode;
class PRMessageTreeNode;
class PRNoteNode;
class PRProgressView;
class ChatColumnView;
class PRButton;
class QCheckBox;
class QHBoxLayout;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QDialog;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QTableView;
class QTreeView;
class QWidget;

namespace nimbara {
class WorkerReaper;
}
namespace nimbara::ui {
class ChatPictureLoader;
}
namespace nimbara::backup {
class BackupScanRecords;
}
namespace nimbara::browser {
class BackupFilesView;
class PRSrollThumView;
class BackupOutlineModel;
class RecoveryExport;
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

    explicit PRResultViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRResultViewController() override;

    // Stops any running scan (without waiting for it), clears the records and scans `node`'s
    // backup; `index` is its row in the host's list of local backups. A null node means there is no
    // backup: the pop-up reads "No Device" and the user is told how to make one.
    void scanBackup(const std::shared_ptr<PRIOSDeviceNode>& node, int index);

    // Interface action of the backup pop-up: scans the picked backup unless it is the one shown.
    void actSelectBackUpBtn(QObject* sender = nullptr);
    // Shows the backup file outline.
    void actBackUpBoswer(QObject* sender = nullptr);
    // Shows the category of `row`.
    void showCategory(int row);
    // The title of the category in `row`.
    static QString categoryTitle(int row);

    // Back to the backup list, after the user confirmed that the results are let go.
    void actHome(QObject* sender = nullptr);
    // Empties every record list, table and the outline.
    void releaseUIMemory();
    // The link buttons and the feedback window.
    void clickFacebook(QObject* sender = nullptr);
    void clickTwitter(QObject* sender = nullptr);
    void clickSupport(QObject* sender = nullptr);
    void clickFeedBack(QObject* sender = nullptr);
    void ClickDontSendFeedBack(QObject* sender = nullptr);
    // Hands the feedback to the user's mail program and closes the window.
    void ClickSendFeedBack(QObject* sender = nullptr);
    // "RegEmail: <e-mail>\nSuggestion:<text>".
    QString getFeedBackInfo() const;

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
    // The conversation whose messages are shown; null when none is chosen.
    std::shared_ptr<PRMessageTreeNode> currentMessageTreeNode() const {
        return currentMessageTreeNode_;
    }
    // Shows the messages of `conversation` (none: no messages).
    void showConversation(const std::shared_ptr<PRMessageTreeNode>& conversation);

    // Category switches (the category list sends them too).
    void actContact(QObject* sender = nullptr);
    void actMessage(QObject* sender = nullptr);
    void actCallHistory(QObject* sender = nullptr);
    void actNote(QObject* sender = nullptr);
    void actBookMark(QObject* sender = nullptr);
    void actCalender(QObject* sender = nullptr);
    void actFaceTwitter(QObject* sender = nullptr);
    void actPhoto(QObject* sender = nullptr);
    // The deleted-only check box, select all, the recovery button and the app-file preview.
    void actCheck(QObject* sender = nullptr);
    void ClickSelectAll(QObject* sender = nullptr);
    void actRecovery(QObject* sender = nullptr);
    void actPreView(QObject* sender = nullptr);
    // The search field narrows the shown category's list as the text is typed (contacts,
    // conversations, notes, calls and calendar; the field is disabled elsewhere and while a scan
    // runs). Another category clears it.
    void actSearch(QObject* sender = nullptr);
    // Saves the picture of the conversation on show into the "Ozzaro" folder on the Desktop.
    void actExportImage(QObject* sender = nullptr);
    // Where the Desktop is (tests and the screenshots give their own folder).
    void setDesktopFolderProvider(std::function<QString()> provider) {
        pictureExport_.setDesktopFolderProvider(std::move(provider));
    }
    bool exportingPicture() const { return pictureExport_.busy(); }
    // Ticked records over every category, and ticked backup files.
    int selectedFilesNum() const { return selectedFilesNum_; }
    // The category of `row` (null for the backup files).
    nimbara::browser::CategoryTable* category(int row) const;
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
    // The record tables, one per family; the message category shows the conversations and the
    // messages of the chosen one.
    QTableView* photoTableView = nullptr;
    // The photo category's thumbnail strip (its table stays out of sight).
    nimbara::browser::PRSrollThumView* thumView = nullptr;
    QTableView* facetwitterTableView = nullptr;
    QTableView* contactTableView = nullptr;
    QWidget* messageTreeView = nullptr;
    // "7 conversations, 20 messages" above the conversations.
    QLabel* messageTreeCountlab = nullptr;
    QTableView* messageTreeTableView = nullptr;
    // The chosen conversation as speech bubbles.
    ChatColumnView* messageTreeScrollView = nullptr;
    QTableView* callHistoryTableView = nullptr;
    QTableView* noteTableView = nullptr;
    QTableView* bookMarkTableView = nullptr;
    QTableView* calenderTableView = nullptr;
    QLabel* categoryNotelab = nullptr;
    QPushButton* getLogBtn = nullptr;
    // The bar under the records.
    QCheckBox* checkBtn = nullptr;
    QCheckBox* selectAllBtn = nullptr;
    QLabel* selecteFilelab = nullptr;
    QPushButton* saveBtn = nullptr;
    QPushButton* homeBtn = nullptr;
    PRButton* facebookBtn = nullptr;
    PRButton* twitterBtn = nullptr;
    PRButton* feedBackBtn = nullptr;
    QPushButton* supportBtn = nullptr;
    QLineEdit* searchlab = nullptr;
    // Above the conversations: the picture export and what became of the last one.
    QPushButton* exportBtn = nullptr;
    QLabel* exportInfolab = nullptr;
    // Feedback window (made on first use).
    QDialog* feedbackWindow = nullptr;
    QPlainTextEdit* feedbackView = nullptr;
    QLineEdit* feedbackEmailVaule = nullptr;
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
    // The conversations' view going out of sight (another category, another page) takes the
    // notice of the last picture saved with it.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct ScanSession;
    void observeScan(ScanSession& session);
    void retireScan();
    void buildResultView();
    QWidget* buildCountGrid(QWidget* parent);
    void buildGuideSheet();
    void buildFeedbackWindow();
    QWidget* buildBottomBar(QWidget* parent);
    void addLinkButtons(QWidget* parent, QHBoxLayout* row);
    void linkHover(const nimbara::Notification& notification, bool entered);
    void resetForScan();
    void showNoBackup();
    void refreshOnMain();
    void requestRefresh();
    void takeOutlineEntries();
    bool outlineEntriesWaiting();
    std::vector<std::shared_ptr<PRTreeDirNode>> takeWaitingEntries();
    void releaseOutline(std::unique_ptr<PRTreeController> outline,
                        std::vector<std::shared_ptr<PRTreeDirNode>> entries, bool handBack = false);
    void updateCategoryRows();
    // The selection text and the recovery button after a tick (or select all).
    void updateSelection(bool afterSelectAll);
    void ticksChanged(int change);
    // Ticked files of the backup file outline.
    int tickedBackupFiles() const;
    void showDetailsOfFaceTwitter(const PRFaceTwitterNode& node);
    QLineEdit* buildSearchField(QWidget* parent);
    QWidget* buildPictureExportRow(QWidget* parent);
    // The search field for the category of `row`: cleared, and enabled where it searches.
    void prepareSearchFor(int row);
    void updateExportButton();
    void clearExportNotice();
    // "N conversations, M messages" of every conversation found, or of those a search shows.
    void showConversationCount();
    void buildRecordTables();
    void takeNewRecords();
    void clearRecordTables();
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
    // Queues in blocks: a scan that runs ahead of the outline costs what waits, no room to grow.
    std::deque<std::shared_ptr<PRTreeDirNode>> pendingEntries_;
    // The entries being filed (GUI thread): taken from pendingEntries_ as a whole, filed from
    // the front.
    std::deque<std::shared_ptr<PRTreeDirNode>> filing_;
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
    // The record categories by row (none for the backup files), the conversations among them.
    std::array<std::unique_ptr<nimbara::browser::CategoryTable>, kCategoryRowCount> categories_;
    nimbara::browser::TypedCategoryTable<PRMessageTreeNode>* conversations_ = nullptr;
    nimbara::browser::RecordSortState sortState_;
    // Ticked records over every category.
    int selectedFilesNum_ = 0;
    // Messages of all conversations the conversation table last showed counts for.
    std::size_t countedMessages_ = 0;
    std::shared_ptr<PRMessageTreeNode> currentMessageTreeNode_;
    // The backup the last scan read, and the export of its ticked records.
    std::shared_ptr<PRIOSDeviceNode> scannedNode_;
    nimbara::browser::RecoveryExport* recoveryExport_ = nullptr;
    // Decodes the pictures of the details (a contact's, an app file's) off the GUI thread.
    nimbara::ui::ChatPictureLoader* detailPictures_ = nullptr;
    bool conversationsSized_ = false;
    bool scanFinished_ = false;
    bool fillingPopup_ = false;
    // The current scan; replaced scans go to the reaper, which is not waited for, not even
    // when the page goes.
    std::shared_ptr<ScanSession> session_;
    std::unique_ptr<nimbara::WorkerReaper> reaper_;
    // Lets go of replaced outlines; each release runs to its end, never waited for.
    nimbara::JobRunner releases_;
    nimbara::ObserverBag linkObservers_;
    nimbara::browser::CategorySearch search_;
    nimbara::browser::ConversationPictureExport pictureExport_;
};
