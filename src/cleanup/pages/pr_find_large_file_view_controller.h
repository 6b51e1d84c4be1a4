// The large-file finder page: the device's large and big user files, with advice on each, and
// every user app with its sizes (and the large files in the apps' containers).
//
// The main view has one entry for user files and one for apps: a path label while the scan
// runs, a size label and an arrow into the entry's detail view once it is done. The detail
// views hold a "large" table (up to 100,000,000 bytes) and a "big" table (above). Their buttons
// delete and export user files; clean and export app files; uninstall, archive into the export
// folder and reinstall apps. Every change to the device is asked first and starts only after the
// answer.
//
// Every job (the scan, each removal, export, uninstall, archive, reinstall) runs on the page's
// one worker, one after the other, bound to the device (index AND serial) the scan was made on.
// A device change (initAllDataAndAllView) makes every job stale: the running one stops at its
// next check and what any of them still reports is dropped. The GUI thread never waits; while an
// action runs its detail view shows a spinner, and its result sentence afterwards.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QTableView>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "cleanup/clean_removal.h"
#include "cleanup/large_file_scan.h"
#include "cleanup/pages/large_file_models.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

class FlashView;
class PRButton;
class PRLargeFileButton;
class PRProgressView;
class QLabel;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace nimbara::cleanup {
class CleanJobQueue;
}

// The page's widgets; each carries its outlet's name as objectName.
struct FindLargeFileUi {
    QWidget* view = nullptr;
    QStackedWidget* stack = nullptr;
    QWidget* mainTableView = nullptr;
    QWidget* userDataLargerFileView = nullptr;
    QWidget* appLargerFileView = nullptr;
    QTableView* userDataLargeTableView = nullptr;
    QTableView* userDataBigTableView = nullptr;
    QTableView* appLargeTableView = nullptr;
    QTableView* appBigTableView = nullptr;
    QLabel* userDataFilelab = nullptr;
    QLabel* appDataFilelab = nullptr;
    QLabel* userDataFileSizelab = nullptr;
    QLabel* appDataFileSizelab = nullptr;
    QLabel* showlargeuserdatatip = nullptr;
    QLabel* showbiguserdatatip = nullptr;
    QLabel* appActiontipLab = nullptr;
    // The result sentence of the last action (hidden when empty), one per detail view.
    QLabel* userDataResultlab = nullptr;
    QLabel* appDataResultlab = nullptr;
    // What the device refused during the scan (hidden when empty).
    QLabel* scanStatuslab = nullptr;
    PRLargeFileButton* startScanBtn = nullptr;
    QPushButton* userBtn = nullptr;
    QPushButton* appBtn = nullptr;
    QPushButton* userDataBackBtn = nullptr;
    QPushButton* appDataBackBtn = nullptr;
    QPushButton* userDataRemoveBtn = nullptr;
    QPushButton* userDataExportBtn = nullptr;
    QPushButton* appDataRemoveBtn = nullptr;  // clean app files (or uninstall)
    QPushButton* appFileExportBtn = nullptr;  // export app files into "AppData"
    PRButton* appDataExportBtn = nullptr;     // reinstall
    PRButton* appDataArchiveBtn = nullptr;    // archive
    PRButton* AppuninstallBtn = nullptr;      // uninstall
    PRProgressView* userDataProgress = nullptr;
    PRProgressView* appDataProgress = nullptr;
    FlashView* userDataExportprogressor = nullptr;
    FlashView* appDataExportProgressor = nullptr;
    FlashView* theFlashView = nullptr;
    QLabel* userDataLargeHeadImageView = nullptr;
    QLabel* userDataBigHeadImageView = nullptr;
    QLabel* appDataLargeHeadImageView = nullptr;
    QLabel* appDataBigHeadImageView = nullptr;
};

class PRFindLargeFileViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    using List = nimbara::cleanup::LargeFileScanResult::List;

    explicit PRFindLargeFileViewController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRFindLargeFileViewController() override;

    // ---------------------------------------------------------------- life cycle
    // Stores the device index of the page.
    void setDeviceIndex(int index);
    // Back to the start with nothing found, for another device: stops the page's jobs (their
    // results are dropped) and empties every list; keeps the device index.
    void initAllDataAndAllView();
    // The shell shows `target` (empty: no device is left): the page takes its index, if any,
    // and resets.
    void deviceChanged(const amd::DeviceTarget& target) override;
    int deviceIndex() const { return deviceIndex_.load(); }

    // ---------------------------------------------------------------- scan
    // The start button: scans the page's device once per device selection.
    void StartScanAction();
    void startScanFindLargeFileAction(QObject* sender = nullptr);
    void MyLargeFileButtonMouseDownHandle(const nimbara::Notification& notification);

    // ---------------------------------------------------------------- views
    void showMainTableView();
    void showUserDataLargerFileView();
    void showAppLargerFileView();
    void backToMainTableView(QObject* sender = nullptr);
    // The arrows: the detail view with its two tables loaded from the scan lists, largest first.
    void ClickUserDataFileAction(QObject* sender = nullptr);
    void ClickAppDataFileAction(QObject* sender = nullptr);
    // The table whose selection changed last becomes the current one.
    void tableViewSelectionDidChange(QTableView* table);
    // The info image of a user table's row: shows (or, for the same row again, hides) its advice.
    void TheImageTextCellHavebeenDownHandle(const nimbara::Notification& notification);
    void PRbuttonMouseEnteredHandle(const nimbara::Notification& notification);
    void PRbuttonMouseExitedHandle(const nimbara::Notification& notification);

    // ---------------------------------------------------------------- actions
    void ClickuserDataRemoveAction(QObject* sender = nullptr);
    void ExportUserDataAction(QObject* sender = nullptr);
    void ClickAppRemoveAction(QObject* sender = nullptr);
    void ExportAppDataAction(QObject* sender = nullptr);
    void ClickAppArchiveAction(QObject* sender = nullptr);
    void ClickAppReinstallAction(QObject* sender = nullptr);
    void ClickAppUninstallAction(QObject* sender = nullptr);

    // ---------------------------------------------------------------- state
    bool bScanStarted() const { return bScanStarted_; }
    bool bScanFinished() const { return bScanFinished_; }
    // A job of the page is queued or running.
    bool busy() const { return pending_ > 0; }
    std::uint64_t largeFileSize() const { return largeFileSize_; }
    std::uint64_t allDocumentFileSize() const { return allDocumentFileSize_; }
    std::uint64_t allAppFileSize() const { return allAppFileSize_; }
    const List& userDataLargeFileArray() const { return userDataLargeFileArray_; }
    const List& userDataBigFileArray() const { return userDataBigFileArray_; }
    const List& appLargeFileArray() const { return appLargeFileArray_; }
    const List& appBigFileArray() const { return appBigFileArray_; }
    PRLargeFileRecordsController* userLargeFileController() const { return userLarge_; }
    PRLargeFileRecordsController* userBigFileController() const { return userBig_; }
    PRLargeFileRecordsController* appLargeFileController() const { return appLarge_; }
    PRLargeFileRecordsController* appBigFileController() const { return appBig_; }
    QTableView* currentTableView() const { return currentTable_; }
    // "mainTableView", "userDataLargerFileView" or "appLargerFileView".
    QString shownView() const;
    // The last action's result sentence (empty when none); only the detail view of the list it
    // was made on shows it.
    QString resultText() const { return resultText_; }

    FindLargeFileUi& finderUi();

    // Called after each job of the page ended and its result was taken (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

  protected:
    void viewShown() override;

  private:
    // The scanned device went: its lists and jobs go with it, and the page can scan afresh.
    void deviceDetached(int index) override;
    struct Target;
    void ensureBuilt();
    void buildUi();
    void wire();
    void showOnly(QWidget* view);
    // The detail view whose list an action's result sentence tells of.
    enum class ResultList { UserFiles, Apps };
    void setResult(const QString& text, ResultList list);
    void startScan(bool withViews);
    void scanEnded(nimbara::cleanup::LargeFileScanResult result);
    nimbara::cleanup::CleanDeviceTarget target() const;
    bool readyForAction();
    // The record of the current app table's first selected row, when an action may start.
    std::shared_ptr<PRLargeFileNode> chosenApp();
    // Posts `job` for the scan's device; `done` runs on the GUI thread only while the job is
    // still the page's (the device was not changed meanwhile).
    using Done = std::function<void(PRFindLargeFileViewController&)>;
    void post(std::function<Done(const std::function<bool()>& stop)> job);
    void jobFinished();
    bool ask(const QString& message, const QString& defaultButton, const QString& otherButton,
             const QString& informative, bool* other = nullptr);

    PRLargeFileRecordsController* controllerOf(QTableView* table) const;
    bool isUserTable(QTableView* table) const;
    bool isAppTable(QTableView* table) const;
    // The first selected row of `table` (-1 for none) and every selected row in order.
    static int selectedRow(QTableView* table);
    static std::vector<int> selectedRows(QTableView* table);

    // Removes rows from the tables and lists after a removal, as the report settled them; then
    // nothing is selected, so that a second removal never takes a row nobody chose.
    void removeFiles(QTableView* table, bool userFiles);
    void settleRemoval(QTableView* table, bool userFiles, const List& records,
                       const nimbara::cleanup::CleanRemovalReport& report);
    // What a removal of the selected rows of `tables` deletes, for its question: the files by
    // name and the ones the device needs, which stay.
    QString deletionText(const std::vector<QTableView*>& tables) const;
    // Uninstalls the record's app; once the device did, every row of that app (by bundle id)
    // goes and nothing of `table` is selected.
    void uninstall(QTableView* table, const std::shared_ptr<PRLargeFileNode>& record);
    void dropAppRows(const QString& bundleId);
    void exportRecords(const List& records, bool appData, FlashView* spinner);
    void refreshSizeLabels();
    // The advice lines of the files in `gone` go with them.
    void dropAdvice(const std::set<const PRLargeFileNode*>& gone);
    void spin(FlashView* spinner, bool on);

    std::atomic<int> deviceIndex_{0};
    std::unique_ptr<FindLargeFileUi> ui_;
    QPointer<QWidget> uiRoot_;
    nimbara::ObserverBag observers_;
    PRLargeFileRecordsController* userLarge_ = nullptr;
    PRLargeFileRecordsController* userBig_ = nullptr;
    PRLargeFileRecordsController* appLarge_ = nullptr;
    PRLargeFileRecordsController* appBig_ = nullptr;

    std::uint64_t largeFileSize_ = 2000000;
    List userDataLargeFileArray_;
    List userDataBigFileArray_;
    List appLargeFileArray_;
    List appBigFileArray_;
    std::uint64_t allDocumentFileSize_ = 0;
    std::uint64_t allAppFileSize_ = 0;
    bool bScanStarted_ = false;
    bool bScanFinished_ = false;
    int lastSelectedIndex_ = -1;
    // The files whose advice the large and the big table's advice lines show (null: none).
    std::shared_ptr<PRLargeFileNode> largeAdvice_;
    std::shared_ptr<PRLargeFileNode> bigAdvice_;
    QPointer<QTableView> currentTable_;
    // The device the lists belong to (index and serial of the scan).
    int scanIndex_ = -1;
    std::uint64_t scanSerial_ = 0;

    std::unique_ptr<nimbara::cleanup::CleanJobQueue> jobs_;
    int pending_ = 0;
    int spinning_ = 0;
    QString resultText_;
    std::function<void()> jobEnded_;
};
