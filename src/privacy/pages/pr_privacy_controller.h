// The privacy cleaner page.
//
// The start view explains the scan and has the scan button. A scan backs the device up and reads
// the fresh backup (PrivacyCleanFlow); the results view is handed its result (showScanResults)
// and shows the private
// records found by category, each category behind its button, with its table of records that the
// user ticks for cleaning, a check-all box, the details of a contact, a conversation as speech
// bubbles, the picture of an attachment, and the photo positions on a map in a window of its own.
// What is ticked is handed out as a snapshot taken on the GUI thread (takeTickSnapshot); Back
// discards the results after the user confirmed it. The clean button, once the user confirmed,
// cleans a working copy of the backup and restores it onto the device; a progress sheet stays up
// while the flow works, and a failure sheet says which step failed.
//
// The category buttons, the map button and the help links report their mouse events as
// notifications on the default centre; the page observes them and acts only on its own controls.
// GUI thread only.
#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "backup/backup_runner.h"
#include "platform/notification_center.h"
#include "privacy/privacy_scan.h"
#include "privacy/privacy_selection.h"
#include "ui/page_controller_base.h"

class ChatColumnView;
class PRLinkButton;
class PRMessageTreeNode;
class PRPrivacyNode;
class PRPrivacyButton;
class QCheckBox;
class QDialog;
class QProgressBar;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QWidget;

namespace nimbara::browser {
class CategoryTable;
class RecordDetailsView;
}  // namespace nimbara::browser
namespace nimbara::privacy {
class PositionMapView;
class PrivacyCleanFlow;
struct PrivacyCleanOutcome;
struct PrivacyScanOutcome;
}  // namespace nimbara::privacy
namespace nimbara::ui {
class ChatPictureLoader;
}

class PRPrivacyController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    using Category = nimbara::privacy::PrivacyCategory;

    explicit PRPrivacyController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRPrivacyController() override;

    // The shell shows another device: with a device, its index and iOS version are taken (as
    // setDeviceIndex does) and the last scan is forgotten; without one, the last scan is
    // forgotten only.
    void deviceChanged(const amd::DeviceTarget& target) override;

    // Stores the device index. An iOS version whose major number is 10 or later selects the
    // backup layout with two-hex-digit subfolders; an older or empty version leaves the choice
    // as it was.
    void setDeviceIndex(int index, const QString& withiOSversion);
    // Forgets everything of the last scan, for another device.
    void initAllDataAndAllView();

    int deviceIndex() const { return deviceIndex_.load(); }
    bool bIOS10Version() const { return bIOS10Version_.load(); }
    // Private items found by the scan shown, and the bytes of the file items among them.
    std::uint64_t scannedFileCount() const { return allScanFileNumber_; }
    std::uint64_t scannedTotalSize() const { return allScanFileSize_; }

    // Shows the records of `result`, a scan of the current device's backup, with the contacts in
    // front; an earlier result is let go. A backup that was not read (encrypted, or whose
    // encryption could not be told) shows nothing and gives false.
    bool showScanResults(nimbara::privacy::PrivacyScanResult result);
    // The records ticked now, copied out for the clean (empty while no results are shown).
    nimbara::privacy::PrivacyTickSnapshot takeTickSnapshot() const;
    bool isShowingResults() const;
    // The result shown, or null.
    const nimbara::privacy::PrivacyScanResult* scanResult() const {
        return scan_ ? &*scan_ : nullptr;
    }

    // The category switch, as a press of the category's button does it: its button down and
    // the others up, the map button only for the locations, then the category's own switch.
    void pressCategory(Category category);
    Category currentCategory() const { return current_; }
    // The category's records shown, ticked, and its check-all flag.
    std::size_t recordCount(Category category) const;
    std::size_t tickedCount(Category category) const;
    bool checkAll(Category category) const;
    // Ticked records over every category.
    std::size_t totalTicked() const;
    // The stem of the category button's images ("ContactCleanup").
    static QString buttonStem(Category category);

    // The switch actions of the eleven categories: each shows its category.
    void ClickContactAction(QObject* sender = nullptr);
    void ClickMessageAction(QObject* sender = nullptr);
    void ClickMessageAttachmentAction(QObject* sender = nullptr);
    void ClickSafariHistoryAction(QObject* sender = nullptr);
    void ClickSafariSearchAction(QObject* sender = nullptr);
    void ClickWebContentAction(QObject* sender = nullptr);
    void ClickkeyBoardAction(QObject* sender = nullptr);
    void ClickWifRecordsAction(QObject* sender = nullptr);
    void ClickGPSRecordsAction(QObject* sender = nullptr);
    void ClickNoteAction(QObject* sender = nullptr);
    void ClickCallHistoryAction(QObject* sender = nullptr);
    // The check-all box: ticks or unticks every record of the category shown.
    void ClickCheckBoxAction(QObject* sender = nullptr);
    // Shows the map window with one pin per photo of the locations category.
    void ShowMapWindowAction(QObject* sender = nullptr);
    // Asks whether the results may go; when the user says Back, discards them.
    void ActBackAction(QObject* sender = nullptr);

    // The scan button: backs the current device up and reads its private records.
    void StartPrivacyClean(QObject* sender = nullptr);
    // The clean button: after the user confirmed, removes what is ticked from a working copy of
    // the backup and restores it onto the device.
    void CleanUpSelectedPrivacyFiles(QObject* sender = nullptr);
    // Closes the failure sheet.
    void endFindOffAction(QObject* sender = nullptr);
    // The flow (for tests): where it is, and the settings of its backup runs.
    const nimbara::privacy::PrivacyCleanFlow* flow() const { return flow_.get(); }
    void setBackupRunSettings(nimbara::backup::BackupRunSettings settings);
    // The conversation whose messages are shown; null when none is.
    std::shared_ptr<PRMessageTreeNode> currentMessageTreeNode() const;

    // The help pages the two links open.
    static const char* const kFindMyGuideAddress;    // link1Button: our guide
    static const char* const kFindMySupportAddress;  // linkButton: the vendor's article

    // The start view with the scan button, the progress sheet and the failure sheet.
    QWidget* privacyView = nullptr;
    QPushButton* scanButton = nullptr;
    QDialog* cleanupRemindWindow = nullptr;
    QLabel* firstBackuplab = nullptr;
    QLabel* secondBackuplab = nullptr;
    QProgressBar* cleanupProgressor = nullptr;
    QDialog* findoffWindow = nullptr;
    QLabel* findoffTitlelab = nullptr;
    QLabel* showErrorlab = nullptr;
    QPushButton* cleanButton = nullptr;

    // Outlets (null until results are first shown).
    QWidget* privacyContentView = nullptr;
    QStackedWidget* dataContentView = nullptr;
    QLabel* scanSummarylab = nullptr;
    PRPrivacyButton* contactBtn = nullptr;
    PRPrivacyButton* messageBtn = nullptr;
    PRPrivacyButton* messageAttachmentBtn = nullptr;
    PRPrivacyButton* safariHistoryBtn = nullptr;
    PRPrivacyButton* safariSearchBtn = nullptr;
    PRPrivacyButton* webcontentBtn = nullptr;
    PRPrivacyButton* keyBoardBtn = nullptr;
    PRPrivacyButton* wifiBtn = nullptr;
    PRPrivacyButton* gpsBtn = nullptr;
    PRPrivacyButton* noteBtn = nullptr;
    PRPrivacyButton* callHistoryBtn = nullptr;
    QTableView* contactTableView = nullptr;
    QTableView* messageTableview = nullptr;
    QTableView* messageAttachmentTableView = nullptr;
    QTableView* safariHistoryTableView = nullptr;
    QTableView* safariSearchTableView = nullptr;
    QTableView* webContentTableView = nullptr;
    QTableView* keyboardTableView = nullptr;
    QTableView* wifiRecordTableView = nullptr;
    QTableView* gpsRecordTableView = nullptr;
    QTableView* noteTableView = nullptr;
    QTableView* callHistoryTableView = nullptr;
    QTableView* currentTableView = nullptr;
    QCheckBox* theCheckAllBtn = nullptr;
    // "3 of 12 selected" for the category shown, and the total over every category.
    QLabel* categoryTicklab = nullptr;
    QLabel* totalTicklab = nullptr;
    PRPrivacyButton* showMapBtn = nullptr;
    PRLinkButton* linkButton = nullptr;
    PRLinkButton* link1Button = nullptr;
    QPushButton* backBtn = nullptr;
    // The chosen contact's details (contactNamelab, ..., contactImageView), the chosen
    // conversation and the chosen attachment's picture.
    nimbara::browser::RecordDetailsView* contactDetailView = nullptr;
    ChatColumnView* messageScrollView = nullptr;
    QLabel* attachImageView = nullptr;
    // The map window (made on first use).
    QWidget* mapWindow = nullptr;
    nimbara::privacy::PositionMapView* currentMapView = nullptr;

    // Picture loads of the details not handed back yet.
    std::size_t picturesPending() const;

  protected:
    void viewShown() override;

  private:
    struct CategoryParts;
    void buildStartView();
    void showStartView();
    void showSheet(const QString& first, const QString& second);
    void hideSheet();
    // The failure sheet: `headline` over `message` (the clean's headline when empty).
    void showFailure(const QString& message, const QString& headline = {});
    void scanEnded(const nimbara::privacy::PrivacyScanOutcome& outcome);
    void cleanEnded(const nimbara::privacy::PrivacyCleanOutcome& outcome);
    void originalSettled(bool ok, const QString& message);
    void makeFlow();
    // A clean is under way: its restore and the read-back after it. It runs to its end through
    // a change of device (stopping a restore half-way would leave the device half-restored, and
    // the read-back follows the restored device by its UDID through its restart); its sheet
    // stays up and it says how it ended.
    bool cleaning() const;
    // The device the page works on, as the backup runner names it; nullopt when none is there.
    std::optional<nimbara::backup::BackupDevice> currentDevice() const;
    void buildResultsView();
    QWidget* buildCategoryList(QWidget* parent);
    QWidget* buildBottomBar(QWidget* parent);
    void buildTables();
    void buildMapWindow();
    void observeControls();
    void clearResults();
    void fillTables();
    void switchTo(Category category);
    void buttonEntered(const nimbara::Notification& notification, bool entered);
    void buttonPressed(const nimbara::Notification& notification);
    void linkPressed(const nimbara::Notification& notification);
    void rowTicked(Category category);
    void updateTickTexts();
    void showContactPicture(const QByteArray& imageData);
    void showAttachment(const std::shared_ptr<PRPrivacyNode>& item);
    void locationChosen(const std::shared_ptr<PRPrivacyNode>& photo);
    void fillMap();
    nimbara::browser::CategoryTable* table(Category category) const;

    std::atomic<int> deviceIndex_{0};
    std::atomic<bool> bIOS10Version_{false};
    std::uint64_t allScanFileNumber_ = 0;
    std::uint64_t allScanFileSize_ = 0;

    // The result shown; its lists are what the tables show and tick.
    std::optional<nimbara::privacy::PrivacyScanResult> scan_;
    // The device the result was shown for.
    int resultDevice_ = -1;
    std::array<bool, nimbara::privacy::kPrivacyCategoryCount> checkAll_{};
    Category current_ = Category::Contacts;
    std::unique_ptr<CategoryParts> parts_;
    // The pictures of the contact and of the attachment chosen, decoded off the GUI thread
    // (children of this controller).
    nimbara::ui::ChatPictureLoader* contactPictures_ = nullptr;
    nimbara::ui::ChatPictureLoader* attachPictures_ = nullptr;
    // The located photos with a pin on the map, in pin order.
    std::vector<const PRPrivacyNode*> pinNodes_;
    nimbara::ObserverBag observers_;
    std::unique_ptr<nimbara::privacy::PrivacyCleanFlow> flow_;
    nimbara::backup::BackupRunSettings runSettings_;
};
