// The backup browser's result page: the device information of the chosen local backup, a pop-up
// to pick another backup, the scan's progress and the records the scan finds, by category.
//
// The scan runs on a thread of its own (one BackupScan owned by the page). Its record handlers
// run on that thread: they append under a mutex and only ask the GUI thread to refresh; widgets
// are touched on the GUI thread alone.
#pragma once

#include <QPointer>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "backup/backup_scan.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

class PRContactNode;
class PRFaceTwitterNode;
class PRIOSDeviceNode;
class PRPhotoAndVideoNode;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTableWidget;
class QWidget;

class PRResultViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRResultViewController(QObject* parent = nullptr);
    ~PRResultViewController() override;

    // Stops and joins any running scan, clears the records and scans `node`'s backup; `index` is
    // its row in the delegate's backup list. A null node shows the empty view.
    void scanBackup(const std::shared_ptr<PRIOSDeviceNode>& node, int index);

    // Interface action of the backup pop-up: scans the picked backup unless it is the one shown.
    void actSelectBackUpBtn(QObject* sender = nullptr);

    // Records found so far (copies, taken under the lock).
    std::vector<std::shared_ptr<PRContactNode>> contactArray() const;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photoAndVideoArray() const;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitterArray() const;
    int BackUpFilesNum() const { return backUpFilesNum_.load(); }
    int currentSelect() const { return currentSelect_; }
    bool isScanning() const { return scan_ && scan_->isRunning(); }
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
    QProgressBar* scanProgressor = nullptr;
    QLabel* progressTextField = nullptr;
    QLabel* scanInfolab = nullptr;
    QLabel* contactNumlab = nullptr;
    QLabel* photovideoNumlab = nullptr;
    QTableWidget* contactTable = nullptr;
    QWidget* resultView = nullptr;
    QWidget* emptyView = nullptr;
    QLabel* emptyTextlab = nullptr;
    QPushButton* emptyBackupBtn = nullptr;

  protected:
    void viewShown() override;

  private:
    void buildResultView();
    void resetForScan();
    void showEmpty();
    void refreshOnMain();
    void requestRefresh();
    void scanEnded(const nimbara::backup::BackupScanSummary& summary);
    void showScanFailure(const QString& message);
    void fillInfo(const std::shared_ptr<PRIOSDeviceNode>& node);
    void fillPopup();

    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<PRContactNode>> contacts_;
    std::vector<std::shared_ptr<PRPhotoAndVideoNode>> photos_;
    std::vector<std::shared_ptr<PRFaceTwitterNode>> faceTwitter_;
    int progress_ = 0;
    std::atomic<int> backUpFilesNum_{0};
    std::atomic<bool> refreshQueued_{false};
    // Records are taken only while a scan of this page runs.
    std::atomic<bool> accepting_{false};
    int generation_ = 0;

    int currentSelect_ = 0;
    int shownContacts_ = 0;
    bool scanFinished_ = false;
    bool fillingPopup_ = false;
    nimbara::ObserverBag observers_;
    // Declared last: destroyed first, so the scan thread is joined before anything it touches.
    std::unique_ptr<nimbara::backup::BackupScan> scan_;
};
