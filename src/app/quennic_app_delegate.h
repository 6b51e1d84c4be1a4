// The application hub: one object for the whole run that keeps the attached devices and the
// current one, the settings of the run, the per-category storage figures and the page
// controllers, and that handles the main window's events. Every other component reaches it
// through GetAppControllor().
//
// The implementation is split by concern:
//   quennic_app_delegate.cpp                  state, accessors, page getters
//   quennic_app_delegate_startup.cpp          construction and launch
//   quennic_app_delegate_main_window.cpp      main-window layout and chrome
//   quennic_app_delegate_navigation.cpp       tabs, sidebar, status page, busy indicators
//   quennic_app_delegate_devices.cpp          device list and current device
//   quennic_app_delegate_storage_overview.cpp storage figures of the current device
//   quennic_app_delegate_storage_count.cpp    the count of the figures the device does not report
//   quennic_app_delegate_utilities.cpp        size, date and contact helpers
//   status_item.cpp                           tray icon and device popover
//   quennic_app_delegate_preferences.cpp      the saved settings and the preferences window
//   quennic_app_delegate_archive.cpp          File > Open archived app
//
// Threads: everything that changes state runs on the GUI thread. Worker threads read the values
// marked "read by workers" below; object values are guarded by a mutex, scalars are atomics.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/storage_figures.h"
#include "device/device_target.h"
#include "device/pr_device_notify.h"
#include "platform/job_queue.h"
#include "platform/notification_center.h"
#include "platform/plist_value.h"
#include "ui/page_host.h"
#include "ui/save_panel.h"

class QMainWindow;
class QProcess;
class QLabel;
class QTableView;
class QTimer;
class QWidget;

class PRiDeviceNode;
class PRIOSDeviceNode;
class PRContactNode;

class PRBackUpViewController;
class PRPrivacyController;
class PROneCopyViewController;
class PRTansferViewController;
class PRDiskaManagerViewController;
class PRPhoneSystemViewController;
class PRCleanViewController;
class PRSystemBoostViewController;
class PRFindLargeFileViewController;
class PRAdsRemoveController;
class PRBannerButton;
class PRResultViewController;
class PRIOSDeviceController;
class PRPopViewController;
class PPopoverviewConterller;
class QSystemTrayIcon;
class PreferencesController;
class PRUpdateController;
class PRLargeFileController;
class PRLargeFileNode;
class PRPhoneSystemFileNode;
struct QuickScanResult;

struct MainWindowUi;
struct QuickScanWindowUi;

namespace amd {
class DeviceManager;
class PRDeviceNotify;
}  // namespace amd

namespace nimbara {
class CameraItem;
namespace app {
class ArchivedAppInstallFlow;
}
namespace shell {
class GuiHandOff;
}
namespace cleanup {
class CameraRoll;
struct CleanRemovalReport;
}  // namespace cleanup
class JobRunner;
}  // namespace nimbara

class QuennicAppDelegate : public QObject, public nimbara::ui::PageHost {
    Q_OBJECT
  public:
    // Construction is the hub's "init": it becomes the process-wide instance, registers its
    // observers, sets up device management and gives every value its start value. Attach events
    // may arrive as soon as it returns. One delegate at a time.
    explicit QuennicAppDelegate(QObject* parent = nullptr);
    // Stops the storage overview, drops the observers and the device sink, and clears the
    // process-wide instance.
    ~QuennicAppDelegate() override;
    QuennicAppDelegate(const QuennicAppDelegate&) = delete;
    QuennicAppDelegate& operator=(const QuennicAppDelegate&) = delete;

    // The live delegate, null before the first one was constructed and after it was destroyed.
    static QuennicAppDelegate* GetAppControllor();

    // ---------------------------------------------------------------- what pages ask for
    // (PageHost), each forwarded to the members below.
    QWidget* hostWindow() const override;
    std::shared_ptr<PRiDeviceNode> currentDeviceNode() const override;
    amd::DeviceTarget currentDeviceTarget() const override;
    bool deviceConnected() const override;
    QString exportFolder() const override;
    std::uint64_t largeFileLimit() const override;
    void addRemovedBytes(RemovedCategory category, std::uint64_t bytes) override;
    void markBusy(BusyMark mark, bool busy) override;
    void navigateTo(Destination destination) override;
    PRIOSDeviceController* localBackups() const override;
    void chooseBackup(const std::shared_ptr<PRIOSDeviceNode>& backup) override;
    void setBackupContacts(std::vector<std::shared_ptr<PRContactNode>> contacts) override;

    // ---------------------------------------------------------------- start-up
    void initDeviceManagement();
    // Builds the windows, lays them out and creates the export folder (a failure is reported).
    void applicationDidFinishLaunching();
    // The running system's version; each pointer may be null. 10, 0, 0 when it can't be read.
    void getSystemVersionMajor(int* major, int* minor, int* bugFix) const;
    // Starts the separate crash-report program when it is installed beside the executable.
    void lanuchCrashApplication();
    // Stops that program when it runs.
    void releaseCrashApplication();

    // The start-up rule for the version text: every "Version" and every blank removed, split at
    // "."; with more than two parts, major and minor are the leading integers of parts 0 and 1.
    // Otherwise both stay as they were passed in.
    static void parseSystemVersionText(const QString& text, int& major, int& minor);
    // The text the start-up rule reads on this system.
    static QString systemVersionText();

    // Windows, built by applicationDidFinishLaunching() (null before).
    MainWindowUi* mainUi() const { return mainUi_.get(); }
    QuickScanWindowUi* quickScanUi() const { return quickScanUi_.get(); }
    // The main window: parent of the pages' sheets and dialogs (null before launch).
    QMainWindow* window() const;

    // ---------------------------------------------------------------- state (accessors)
    // The local backup chosen in the backup browser (read by workers).
    std::shared_ptr<PRIOSDeviceNode> currentNode() const;
    void setCurrentNode(const std::shared_ptr<PRIOSDeviceNode>& node);
    // The current connected device (read by workers).
    std::shared_ptr<PRiDeviceNode> currentIDevicenode() const;
    void setCurrentIDevicenode(const std::shared_ptr<PRiDeviceNode>& node);
    // Count and size found by the clean-up page's phone scan, as display texts.
    QString allCleanFileNumber() const;
    void setAllCleanFileNumber(const QString& value);
    QString allCleanFileSize() const;
    void setAllCleanFileSize(const QString& value);

    bool currentNodeIsiOS6Version() const { return currentNodeIsiOS6Version_.load(); }
    void setCurrentNodeIsiOS6Version(bool value) { currentNodeIsiOS6Version_.store(value); }
    bool bIOS7DeviceNode() const { return bIOS7DeviceNode_.load(); }
    void setBIOS7DeviceNode(bool value) { bIOS7DeviceNode_.store(value); }
    // Byte totals (not counts) of the clean-up page's cache, temporary and cookie files.
    std::uint64_t allCacheFileNumber() const { return allCacheFileNumber_.load(); }
    void setAllCacheFileNumber(std::uint64_t value) { allCacheFileNumber_.store(value); }
    std::uint64_t allJunkFileNumber() const { return allJunkFileNumber_.load(); }
    void setAllJunkFileNumber(std::uint64_t value) { allJunkFileNumber_.store(value); }
    std::uint64_t allCookFileNumber() const { return allCookFileNumber_.load(); }
    void setAllCookFileNumber(std::uint64_t value) { allCookFileNumber_.store(value); }
    // The current device runs iOS 10 or later (never cleared by an older device).
    bool bIOS10Version() const { return bIOS10Version_.load(); }
    void setBIOS10Version(bool value) { bIOS10Version_.store(value); }
    int macOsVer() const { return macOsVer_; }
    void setMacOsVer(int value) { macOsVer_ = value; }
    int macOSMajor() const { return macOSMajor_; }
    void setMacOSMajor(int value) { macOSMajor_ = value; }
    // The export folder (read by workers).
    QString nimbaraExportPath() const;
    void setNimbaraExportPath(const QString& path);

    // Bytes removed from the current device during this run, per category.
    std::uint64_t totalPhotoRemoveFileSize() const { return totalPhotoRemoveFileSize_.load(); }
    void setTotalPhotoRemoveFileSize(std::uint64_t v) { totalPhotoRemoveFileSize_.store(v); }
    std::uint64_t totalMusicRemoveFileSize() const { return totalMusicRemoveFileSize_.load(); }
    void setTotalMusicRemoveFileSize(std::uint64_t v) { totalMusicRemoveFileSize_.store(v); }
    std::uint64_t totalVideoRemoveFileSize() const { return totalVideoRemoveFileSize_.load(); }
    void setTotalVideoRemoveFileSize(std::uint64_t v) { totalVideoRemoveFileSize_.store(v); }
    std::uint64_t totalAppRemoveFileSize() const { return totalAppRemoveFileSize_.load(); }
    void setTotalAppRemoveFileSize(std::uint64_t v) { totalAppRemoveFileSize_.store(v); }
    std::uint64_t totalBooksRemoveFileSize() const { return totalBooksRemoveFileSize_.load(); }
    void setTotalBooksRemoveFileSize(std::uint64_t v) { totalBooksRemoveFileSize_.store(v); }
    std::uint64_t totalUserdataRemoveFileSize() const {
        return totalUserdataRemoveFileSize_.load();
    }
    void setTotalUserdataRemoveFileSize(std::uint64_t v) { totalUserdataRemoveFileSize_.store(v); }

    // Storage of the current device per category, from the media-sync metrics.
    std::uint64_t currentPhotoFileSize() const { return currentPhotoFileSize_.load(); }
    void setCurrentPhotoFileSize(std::uint64_t v) { currentPhotoFileSize_.store(v); }
    std::uint64_t currentMusicFileSize() const { return currentMusicFileSize_.load(); }
    void setCurrentMusicFileSize(std::uint64_t v) { currentMusicFileSize_.store(v); }
    std::uint64_t currentVideoFileSize() const { return currentVideoFileSize_.load(); }
    void setCurrentVideoFileSize(std::uint64_t v) { currentVideoFileSize_.store(v); }
    std::uint64_t currentAppFileSize() const { return currentAppFileSize_.load(); }
    void setCurrentAppFileSize(std::uint64_t v) { currentAppFileSize_.store(v); }
    std::uint64_t currentBooksFileSize() const { return currentBooksFileSize_.load(); }
    void setCurrentBooksFileSize(std::uint64_t v) { currentBooksFileSize_.store(v); }
    std::uint64_t currentUserDataFileSize() const { return currentUserDataFileSize_.load(); }
    void setCurrentUserDataFileSize(std::uint64_t v) { currentUserDataFileSize_.store(v); }

    // The camera roll was opened by an explicit request to list photos.
    bool bdeepOpenPhoto() const { return bdeepOpenPhoto_.load(); }
    void setBdeepOpenPhoto(bool value) { bdeepOpenPhoto_.store(value); }

    // Quick-scan figures (the quick-scan window's results; reset when the last device goes).
    std::uint64_t photoVideoFileSize() const { return photoVideoFileSize_.load(); }
    void setPhotoVideoFileSize(std::uint64_t v) { photoVideoFileSize_.store(v); }
    std::uint64_t junkFileSize() const { return junkFileSize_.load(); }
    void setJunkFileSize(std::uint64_t v) { junkFileSize_.store(v); }
    std::uint64_t bigFileSize() const { return bigFileSize_.load(); }
    void setBigFileSize(std::uint64_t v) { bigFileSize_.store(v); }
    std::uint64_t bigAppFileSize() const { return bigAppFileSize_.load(); }
    void setBigAppFileSize(std::uint64_t v) { bigAppFileSize_.store(v); }
    std::uint64_t totalCleanupFileSize() const { return totalCleanupFileSize_.load(); }
    void setTotalCleanupFileSize(std::uint64_t v) { totalCleanupFileSize_.store(v); }
    std::uint64_t cleanupCompletedFileSize() const { return cleanupCompletedFileSize_.load(); }
    void setCleanupCompletedFileSize(std::uint64_t v) { cleanupCompletedFileSize_.store(v); }
    // Photo library and camera roll bytes of the last storage metrics (null before any).
    std::optional<std::uint64_t> photolibFileSize() const;
    std::optional<std::uint64_t> cameraFileSize() const;

    // Size limits (read by workers): strictly above them a file or an app is "large".
    std::uint64_t GetLimitLargeFileSize() const { return limitLargeFileSize_.load(); }
    std::uint64_t limitLargeFileSize() const { return limitLargeFileSize_.load(); }
    void setLimitLargeFileSize(std::uint64_t v) { limitLargeFileSize_.store(v); }
    std::uint64_t limitLargeAppSize() const { return limitLargeAppSize_.load(); }
    void setLimitLargeAppSize(std::uint64_t v) { limitLargeAppSize_.store(v); }

    // The current device index (read by workers through the index handed to their page).
    int theDevice() const { return theDevice_.load(); }
    // The device manager's serial of the current device (0 when none is attached there).
    //
    // Pages keep the pair (index, serial) they were opened for and, before acting on the device,
    // check amd::DeviceManager::IsAttached(index, serial): a later device that received the same
    // index has another serial, so a page that was not told about a device change never acts on
    // the wrong device.
    std::uint64_t currentDeviceSerial() const;
    amd::DeviceManager* manager() const { return manager_; }
    nimbara::NotificationCenter* nc() const { return nc_; }

    // First-show flags of the six feature tabs.
    bool bDiskManage = false;
    bool bFindLargeFiles = false;
    bool bAppClean = false;
    bool bOneClickCopy = false;
    bool bAdsRemove = false;
    bool bPrivacyClean = false;

    // ---------------------------------------------------------------- page controllers
    PRResultViewController* GetresultViewController() const { return resultViewController_.get(); }
    PRPhoneSystemViewController* GetSystemViewController() const {
        return phonesystemViewController_.get();
    }
    PRTansferViewController* GetTansferViewController() const {
        return transferViewController_.get();
    }
    PRCleanViewController* GetCleanViewController() const { return cleanViewController_.get(); }
    PRBackUpViewController* GetBackupDeviceController() const {
        return backupViewController_.get();
    }
    PRDiskaManagerViewController* GetDiskManageViewController() const {
        return diskManagerViewController_.get();
    }
    PRIOSDeviceController* GetPRIOSDeviceController() const { return deviceController_.get(); }
    // The remaining outlets, for the navigation and the tests.
    PRPrivacyController* privacyController() const { return privacyController_.get(); }
    PROneCopyViewController* oneCopyViewController() const { return oneCopyViewController_.get(); }
    PRSystemBoostViewController* systemBoostViewController() const {
        return systemBoostViewController_.get();
    }
    PRFindLargeFileViewController* findLargerFileViewController() const {
        return findLargerFileViewController_.get();
    }
    PRAdsRemoveController* adsRemoveController() const { return adsRemoveController_.get(); }
    // The small help popover's content (made at launch).
    PRPopViewController* infoPopViewController() const { return infoPopViewController_.get(); }
    // The preferences window's controller (made at launch).
    PreferencesController* preferencesController() const { return preferences_; }
    // "Preferences...": shows the preferences window.
    void OpenPreferenceWindow(QObject* sender = nullptr);
    // The update check (made at launch, which starts a silent check).
    PRUpdateController* updateController() const { return updateController_.get(); }
    // "Check for Updates...": a check that also says when there is nothing new or it failed.
    void CheckforUpdateAction(QObject* sender = nullptr);

    // ---------------------------------------------------------------- device list
    void DeviceConnectHandle(const nimbara::Notification& notification);
    void DeviceDisConnectHandle(const nimbara::Notification& notification);
    // A device plugged in that can't be used yet ("DeviceWaiting"): the no-device page and the
    // bottom bar say why until it attaches or goes.
    void DeviceWaitingHandle(const nimbara::Notification& notification);
    // The waiting devices in the order they came, with the reason last told.
    const std::vector<amd::WaitingDevice>& waitingDevices() const { return waitingDevices_; }
    // The headline and the advice for a device waiting for that reason (an md::Error code).
    static QString waitingTitle(int reason);
    static QString waitingAdvice(int reason);

    // Makes the listed device with that index current and tells the six feature pages.
    void ChangeToAnotherDevice(int deviceIndex);
    // Action of the device pop-up.
    void ChangeiOSDeviceAction(QObject* sender = nullptr);
    // Called after a device was taken out of getDeviceArray() elsewhere: the pop-up follows the
    // list, and when it was the current device the first remaining one becomes current.
    void RemoveTheDeviceWithIndex(int deviceIndex);
    // The connected devices in attach order: the live list (GUI thread only). Whoever changes it
    // calls RemoveTheDeviceWithIndex() so the pop-up follows.
    std::vector<std::shared_ptr<PRiDeviceNode>>& getDeviceArray() { return deviceArray_; }
    // At least one device is shown (read by workers after each item; they stop on false).
    bool getDeviceConnected() const { return hasDeviceConnect_.load(); }
    // Whether the iOS version text is above 8.2 ("8.3" yes, "8.2" and "7.1.2" no).
    static bool bIOSVersionAppClean(const QString& iOSVersion);
    // Whether an iOS version text makes bIOS10Version true ("10", "11", "12" or above 11).
    static bool isIOS10OrLater(const QString& iOSVersion);
    // The status page's device image for a model text.
    static QString deviceImageName(const QString& deviceModel);

    // ---------------------------------------------------------------- tray icon and popover
    // (status_item.cpp) The device popover lists the devices with their storage: a row makes
    // its device current, a row's reject button drops it from the list (it comes back when it
    // is plugged in again). The title strip's button opens it, and so does the tray icon.
    // Made once at launch: the popover's view, the window it is dragged off into, the tray icon
    // where the desktop has a tray (else a line in the log, once a run).
    void initStateBannerView();
    // Opens the popover at `sender` (a widget or the tray icon), sized by the number of devices;
    // nothing happens without a device.
    void ClickStateBanner(QObject* sender = nullptr);
    // Makes the popover unless it is open; it closes when the user clicks elsewhere.
    void createPopover();
    // The popover closed: it goes, and the next opening makes a new one.
    void popoverDidClose();
    PPopoverviewConterller* thePopViewController() const;
    // The open popover (null while closed).
    QWidget* thePopover() const;
    // The window that shows the popover's view once it was dragged off.
    QWidget* detachableWindowForPopover() const;
    // Null where the desktop has no tray.
    QSystemTrayIcon* statusItem() const;

    // ---------------------------------------------------------------- storage overview
    // Opens a media-sync session for the current device, waits, then polls until the figures
    // are there and shows them once. At most one session at a time; one already running for the
    // current device is kept.
    void startBoardMessage();
    // One polling tick (GUI thread).
    void BoardMessageTimer_hander();
    // Shows the metrics of the current device: labels, bar and the current sizes; then counts
    // on the device what they leave unknown (see boardCountActive).
    void startBoardMessageThreadOnMain(const nimbara::PlistValue& metrics);
    // Stops the polling, closes the overview's session and stops its count.
    void stopBoardMessage();
    // True while an overview session or its timers exist.
    bool boardOverviewActive() const;
    // True while the overview counts what the device doesn't report.
    bool boardCountActive() const;
    // Stopped counts still busy with the device: they end on their own, never waited for here.
    std::size_t boardCountsEnding() const;
    // The overview's figures as last shown.
    const nimbara::app::StorageFigures& boardFigures() const { return boardFigures_; }
    // Stopped overview sessions still opening their session with the device: released by a
    // reaper once they have, never waited for on this thread.
    std::size_t boardSessionsEnding() const;
    // The waits of the overview: before the first poll (5 s) and between polls (1 s).
    void setBoardDelays(std::chrono::milliseconds firstPoll, std::chrono::milliseconds interval);

    // ---------------------------------------------------------------- backups and camera roll
    // Lists the local backups again: the list empties at once and fills when the folders have
    // been read off the GUI thread; then no row is selected and `then` runs (GUI thread).
    void showIphoneDiskView(std::function<void()> then = {});
    // Opens a local backup in the browser: the start page's `button` opens the selected row,
    // everything else the first backup; with none the browser page is shown empty.
    void actScanIOSBackupFile(QObject* sender = nullptr);
    // Enables the start page's `button` exactly while a row of `diskTableView` is selected.
    void tableViewSelectionDidChange();
    // Shows the backup browser's result page, creating its controller on first use.
    void showResultView();
    // The camera items of the connected device (the live list).
    std::vector<std::shared_ptr<nimbara::CameraItem>>& getPhotoCameralArray() {
        return cameraPhotoArray_;
    }
    // Asks the camera device to open its session for listing; nothing happens without one. A
    // worker lists the items; cameraPhotoArray() holds them once the list has arrived here.
    void OpenDevicePhoto();
    // Asks the camera device to delete the items with those names; nothing without one.
    void removephotofromPhotoCameraArrayWithNameArrary(const QStringList& names);

    // Contacts of the last backup scan: its contact step sets them on the scan thread, the name
    // look-ups search them from any thread. A new scan starts them empty.
    std::vector<std::shared_ptr<PRContactNode>> contactArray() const;
    void setContactArray(std::vector<std::shared_ptr<PRContactNode>> contacts);
    std::vector<std::shared_ptr<PRContactNode>>& contactInfoArray() { return contactInfoArray_; }
    std::vector<std::shared_ptr<PRContactNode>>& transContactArray() { return transContactArray_; }
    QByteArray messageContactData() const;
    void setMessageContactData(const QByteArray& data);

    // ---------------------------------------------------------------- utilities
    static QString size_to_unit(std::uint64_t bytes);
    static std::uint64_t sizeFormString(const QString& text);
    static int GetImageType(const char* extension);
    static int GetViedoType(const char* extension);
    static int GetAudioType(const char* extension);
    QString GetStringFormChar(const char* text) const;
    std::optional<std::u32string> GetDateTime(std::int64_t seconds, int fileType) const;
    QString GetNSStringDate(const std::optional<std::u32string>& text) const;
    QString GetPhoneDate(std::int64_t value) const;
    QString getCallHistoryDate(int milliseconds) const;
    QString getCallHistoryDuration(int seconds) const;
    // The name of the contact of contactArray() matching a phone number (null when none); its
    // picture is left in messageContactData().
    QString getNameByPhoneNumber(const QString& phone, const QByteArray& withData);
    // The same over transContactArray().
    QString getTransNameByPhoneNumber(const QString& phone, const QByteArray& withData);
    // The same over contactArray(), without the length condition and the picture.
    QString getNameByPhoneNumber(const QString& phone) const;

    // ---------------------------------------------- Quick scan
    // (quennic_app_delegate_quick_scan*.cpp) One job (quickScanDeviceThreader) runs either the
    // quick scan or the quick clean-up of the device that was current when it started (index and
    // serial). The results of a scan belong to that device: a clean-up acts on it alone, and when
    // the current device changes the window goes back to its start. A job is never waited for on
    // the GUI thread: a stopped one is cancelled (its hand-off first, so no step of it runs any
    // more) and ends on its own.

    // Results of the last scan in scan order (GUI thread; the scan hands them over at its end).
    using SystemFileList = std::vector<std::shared_ptr<PRPhoneSystemFileNode>>;
    using LargeFileList = std::vector<std::shared_ptr<PRLargeFileNode>>;
    const SystemFileList& systemLogArray() const { return systemLogArray_; }
    const SystemFileList& downloadTempArray() const { return downloadTempArray_; }
    const SystemFileList& userStorageArray() const { return userStorageArray_; }
    const SystemFileList& iTunesSyncFailedArray() const { return iTunesSyncFailedArray_; }
    const SystemFileList& iTunesSyncCacheArray() const { return iTunesSyncCacheArray_; }
    const LargeFileList& userDataBigFileArray() const { return userDataBigFileArray_; }
    const LargeFileList& appBigFileArray() const { return appBigFileArray_; }
    // The models of the two result tables: copies of the lists, largest first.
    PRLargeFileController* bigFileController() const { return bigFileController_; }
    PRLargeFileController* bigAppController() const { return bigAppController_; }
    // Set by a rescan until the end of the next clean-up (which then skips the camera roll).
    bool startReScan() const { return startReScan_; }
    void setStartReScan(bool value) { startReScan_ = value; }
    // A scan or a clean-up is running (from its start to the end of its finishing step).
    bool quickScanWorkerRunning() const { return quickWorkerRunning_; }
    // A worker thread exists that was not joined yet (it may have finished).
    bool quickScanThreadJoinable() const;
    // A confirmed clean-up is running.
    bool quickCleanUpRunning() const;
    // The device (index and serial) the shown scan results were found on; -1 and 0 when none.
    int quickResultDeviceIndex() const { return quickResultDeviceIndex_; }
    std::uint64_t quickResultDeviceSerial() const { return quickResultDeviceSerial_; }
    // The shown results were found on the device that is current now.
    bool quickResultsAreCurrentDevice() const;

    // Starts a scan of the current device: nothing without a device or while a worker runs.
    void QuickScanAction(QObject* sender = nullptr);
    // The steps the scan hands to the GUI thread.
    void QuickScanJunkFileFromDevieOnMainThread(std::uint64_t foundJunkFileSize);
    void QuickScanLargeFileFromUserDataOnMainThread(std::uint64_t foundBigFileSize);
    void quickScanDeviceThreadOnMainThread(QuickScanResult& result);
    // The sentence naming the steps of a scan the device refused ("" when it refused none).
    static QString quickScanRefusalText(const QuickScanResult& result);
    // Rows whose step the device refused read "Not checked" (again after a tick shows sizes).
    void showRefusedQuickRows();
    // The scan animation: frames "scaniphone1.png" to "scaniphone6.png", one per 0.1 s.
    void startScanGifImageView();
    void ChangeScanImageViewTimer();
    void StopScanGifImageView();
    int scanGifCount() const { return scanGifCount_; }

    // Quick clean-up (quennic_app_delegate_quick_clean.cpp). Asks once for confirmation, then
    // backs up and removes what is ticked on a worker.
    void QuickCleanUpDeviceAction(QObject* sender = nullptr);
    void cleanUPJunkFilesOnMainThread();
    void cleanUpLargeFilesOnMainThread();
    void cleanUPAppFilesOnMainThread();
    // The clean-up animation: frames "cleaniphone1.png" to "cleaniphone7.png".
    void StartCleanupGifImageView();
    void ChangeCleanupImageViewTimer();
    void StopCleanupGifImageView();
    int cleanGifCount() const { return cleanGifCount_; }
    // The clean-up's closing text (freed size and what failed); empty before the first.
    QString quickCleanUpMessage() const { return quickCleanUpMessage_; }
    void CloseTheModelWindow(QObject* sender = nullptr);
    // The camera roll of the current device (made on first use, remade for another device).
    nimbara::cleanup::CameraRoll* cameraRoll();

    // Window controls and tables (quennic_app_delegate_quick_scan_tables.cpp).
    void ClickRescanAction(QObject* sender = nullptr);
    void NoCheckButtonMainView();
    void ShowCheckButtonMainView();
    void exploredLargeFileView(QObject* sender = nullptr);
    void exploredLargeAppView(QObject* sender = nullptr);
    void ClickLargeFileInfoAction(QObject* sender = nullptr);
    // numberOfRowsInTableView: the records of the table's model; 0 for any other table.
    int numberOfRowsInTableView(QTableView* tableView) const;
    // Connects the list switches and gives the tables their models (once, at launch).
    void connectQuickScanControls();
    // Rebuilds the cells of both tables from their models (the table "reload").
    void reloadQuickScanTables();
    // The help popover of the three help buttons (null before first use).
    QWidget* photoInfoPopver() const { return photoInfoPopver_; }

    // Back to the window's start: no results, the scan bar, rows without check boxes.
    void resetQuickScanWindow();
    // The current device changed: a scan stops and the window goes back to its start (a
    // confirmed clean-up runs on to its end on its own device).
    void quickScanDeviceChanged();
    // A device went: as quickScanDeviceChanged when the worker or the results are of that device.
    void quickScanDeviceDetached(int deviceIndex);

    // ---------------------------------------------------------------- notification handlers
    // Quick-scan window (filled in with the quick scan).
    void CleanFileProgressInfoHandle(const nimbara::Notification& notification);
    void AddCleanFileSizeThreadProgressInfoHandle(const nimbara::Notification& notification);
    void CleanFilehasFinishedHandle(const nimbara::Notification& notification);
    // The clean-up summary: the sentence over the device scan's total, shown in the found state.
    void CleanFilehasFinishedOnMainThreadHanld(std::uint64_t totalFileSize);
    // The summary's one-click fix: after the user confirmed, the clean-up page removes everything
    // its device scan found; the fixed state then tells what was really removed and freed.
    void CleanAlliPhoneFiles(QObject* sender = nullptr);
    void showCleanFixResult(const nimbara::cleanup::CleanRemovalReport& report);
    // Back to the summary's scanning state with plain sidebar titles (another device).
    void resetCleanSummary();
    void tableCheckButtonNotificationHandle(const nimbara::Notification& notification);
    void MyTablebuttonMouseDownHandle(const nimbara::Notification& notification);
    void MyTablebuttonMouseExitHandle(const nimbara::Notification& notification);
    // Hover image (and help popover) of a quick-scan control.
    void quickHover(const nimbara::Notification& notification, bool entered);
    void MyTablebuttonMouseEnterHandle(const nimbara::Notification& notification);

    // Archived-app install (quennic_app_delegate_archive.cpp): File > Open archived app. Says so
    // when no device is connected; otherwise asks for a zip file, starting in the export folder,
    // and hands it to the install run for the current device (it checks, asks, then installs).
    void OpenArchiveAction(QObject* sender = nullptr);
    // The open panel's end: return code 1 with at least one file starts the run with the first.
    void openPanelDidEnd1(const QStringList& chosenFiles, int returnCode1);
    // The open panel is up.
    bool theArchiveOpenPanel() const { return theArchiveOpenPanel_; }
    // The install run (null before the first file was chosen).
    nimbara::app::ArchivedAppInstallFlow* archivedAppInstall() const { return archivedAppInstall_; }

    // Main window (quennic_app_delegate_main_window.cpp)
    void awakeFromNib();
    void initMainWindowView();
    void initQuickScanView();
    // Exit question; false when the user cancels.
    bool windowShouldClose(QWidget* window);
    void CloseTheMainWindow(QObject* sender = nullptr);
    void Cancel(QObject* sender = nullptr);
    void Exit(QObject* sender = nullptr);
    void Sender(QObject* sender = nullptr);
    void sendEmailHandle(QObject* object = nullptr);
    void SendEmialTimer_hander();
    // Where a sheet of the main window goes.
    QRectF window(QWidget* window, QWidget* willPositionSheet, const QRectF& usingRect) const;
    // The placement rule: 1 point below the given rectangle for a main window exactly 559 or
    // 537 high, 113 points below for any other height (x and size unchanged).
    static QRectF positionSheet(double mainWindowHeight, const QRectF& usingRect);
    // Connects the controls of the windows to their actions (once, by initMainWindowView).
    void connectMainWindowActions();
    void ClickAbout(QObject* sender = nullptr);
    void ClickStart(QObject* sender = nullptr);
    void ClickCheckupDate(QObject* sender = nullptr);
    void ClickHomePage(QObject* sender = nullptr);
    void ClickHelp(QObject* sender = nullptr);
    void ClickContactUSAction(QObject* sender = nullptr);
    void ClickLearnMore(QObject* sender = nullptr);
    void ClickShareToFacebookaction(QObject* sender = nullptr);
    void ClickShareToTwitteraction(QObject* sender = nullptr);
    void ClickShareToMessageaction(QObject* sender = nullptr);
    void MyClosebuttonMouseDownHandle(const nimbara::Notification& notification);
    void hideMainView();
    void showMainView();
    void showMainBottomImageview();
    void HiddenMainBottomImageView();
    // A picture of the view's current drawing; null for a null view.
    QImage cacheImageForView(QWidget* view) const;

    // Navigation (quennic_app_delegate_navigation.cpp)
    void PRBannerButtonMouseEnteredHandle(const nimbara::Notification& notification);
    void PRBannerButtonMouseExitedHandle(const nimbara::Notification& notification);
    void PRBannerButtonMouseDownHandle(const nimbara::Notification& notification);
    void PRbuttonMouseEnteredHandle(const nimbara::Notification& notification);
    void PRbuttonMouseExitedHandle(const nimbara::Notification& notification);
    void CleanCacheFilesSizeHandle(const nimbara::Notification& notification);
    void CleanJunkFilesSizeHandle(const nimbara::Notification& notification);
    void CleanCookFilesSizeHandle(const nimbara::Notification& notification);
    void CleanCacheFilesSizeHandleOnMain(std::uint64_t removedBytes);
    void CleanJunkFilesSizeHandleMain(std::uint64_t removedBytes);
    void CleanCookFilesSizeHandleMain(std::uint64_t removedBytes);
    void SystemlibhasFinishedHandle(const nimbara::Notification& notification);
    void AppScanFinishedHandle(const nimbara::Notification& notification);
    void photoScanFinishedHandle(const nimbara::Notification& notification);
    void musicScanFinishedHandle(const nimbara::Notification& notification);

    void ClickMainStatu(QObject* sender = nullptr);
    void ClickDiskManage(QObject* sender = nullptr);
    void ClickAppCleaner(QObject* sender = nullptr);
    void FindLargerFile(QObject* sender = nullptr);
    void ClickOneCopy(QObject* sender = nullptr);
    void ClickPrivacyClean(QObject* sender = nullptr);
    void ClickAdsRemove(QObject* sender = nullptr);

    void ClickPhotoDiskManage(QObject* sender = nullptr);
    void ClickMusicDiskManage(QObject* sender = nullptr);
    void ClickVideoDiskManage(QObject* sender = nullptr);
    void ClickBooksDiskManage(QObject* sender = nullptr);
    void ClickAppsDiskManage(QObject* sender = nullptr);
    void ClickSystemAppsDiskManage(QObject* sender = nullptr);
    void ClickUserDataDiskManage(QObject* sender = nullptr);

    void ClickTansfer(QObject* sender = nullptr);
    void ClickClean(QObject* sender = nullptr);
    void ClickBackup(QObject* sender = nullptr);
    void ClickiTunesBackupBroswer(QObject* sender = nullptr);
    void ClickCleanAction(QObject* sender = nullptr);
    void ClickSystemLib(QObject* sender = nullptr);
    void ClickApp(QObject* sender = nullptr);
    void ClickMusic(QObject* sender = nullptr);
    void ClickPhoto(QObject* sender = nullptr);
    void ClickVideo(QObject* sender = nullptr);
    void ClickContact(QObject* sender = nullptr);
    void CilckMessage(QObject* sender = nullptr);
    void ClickNote(QObject* sender = nullptr);
    void ClickCleanJunk(QObject* sender = nullptr);
    void ClickCleanCache(QObject* sender = nullptr);
    void ClickCleanCook(QObject* sender = nullptr);
    void ClickCleanMedia(QObject* sender = nullptr);
    void ClickBackupAction(QObject* sender = nullptr);
    void ClickScaniTunesBackup(QObject* sender = nullptr);

    // Busy indicators: any thread may send the first four.
    void SystemlibhasStartHandle();
    void AppScanhasStartHandle();
    void photoScanhasStartHandle();
    void musicScanhasStartHandle();
    void SystemlibhasStartHandleOnMain();
    void AppScanhasStartHandleOnMain();
    void photoScanhasStartHandleOnMain();
    void musicScanhasStartHandleOnMain();
    void contactScanhasStartHandle();
    void contactScanFinishedHandle();
    void messageScanhasStartHandle();
    void messageScanFinishedHandle();
    void noteScanhasStartHandle();
    void noteScanFinishedHandle();

    // Styles the fifteen sidebar entries: the one at `index` (in MainWindowUi::sidebarEntries()
    // order) selected, the others not; an index outside 0-14 unselects all.
    void selectSidebarEntry(int index);
    // Hides every page view but `page` and shows it.
    void showOnlyPage(QWidget* page);
    // The same for a page beside the sidebar: the feature pages that would cover it are hidden
    // too, and the status tab (whose page the sidebar belongs to) becomes the current tab.
    void showOnlySidebarPage(QWidget* page);
    // Makes `tab` the one current feature tab: its down look and state, every other tab up.
    void setCurrentTab(PRBannerButton* tab);
    // Shows the storage manager on one category and starts its scan, every time.
    void openDiskManagerCategory(void (PRDiskaManagerViewController::*scan)(QObject*));

  private:
    struct BoardSession;

    void registerObservers();
    void createPageControllers();
    void resetStorageFigures();
    void createExportFolder();
    void reportError(const QString& message);
    // The export folder and the limits saved by Preferences (the defaults where none).
    void loadSavedSettings();
    void buildPreferences();

    // Device list internals.
    // Reads the device's values into a new node (worker thread); null when it can't be read.
    std::shared_ptr<PRiDeviceNode> buildDeviceNode(int deviceIndex) const;
    // The same from a worker that touches nothing of the delegate.
    static std::shared_ptr<PRiDeviceNode> buildDeviceNode(amd::DeviceManager* manager,
                                                          int deviceIndex);
    // The node of a device that attached, read on the attach worker: listed when the device with
    // that serial is still at that index.
    void deviceNodeRead(int index, std::uint64_t serial,
                        const std::shared_ptr<PRiDeviceNode>& node);
    std::shared_ptr<PRiDeviceNode> findNode(int deviceIndex) const;
    void refreshDeviceStatus(const std::shared_ptr<PRiDeviceNode>& node, bool fromConnect);
    // The used and free labels, the ring, the bar and the percentage of `node`.
    void showDeviceStorageFigures(const std::shared_ptr<PRiDeviceNode>& node);
    // New disk figures read from a device: kept in its node and shown when it is current. Nothing
    // happens when the index now stands for another device (serial) or the figures are empty.
    void updateDeviceStorage(int deviceIndex, std::uint64_t deviceSerial, std::uint64_t total,
                             std::uint64_t free);
    void layoutBannerButtons();
    void tellPagesAboutDevice(const amd::DeviceTarget& target);
    // Lets a running archived-app install end when its device is no longer the current one.
    void checkArchiveInstallDevice();
    void fullReset();
    // Shows what waitingDevices_ and connecting_ hold on the no-device page and in the
    // bottom bar: what a waiting device waits for before that it is connecting.
    void showWaitingDevices();
    void shortReset();
    void addPopupItem(const std::shared_ptr<PRiDeviceNode>& node);
    void removePopupItem(int deviceIndex);
    void syncPopupWithDeviceArray();
    void selectPopupItem(int deviceIndex);
    void setQuickScanBackground(int red, int green, int blue);
    // The quick-scan window with a device chosen (its figures and an active Scan button) or
    // without one (no figures of an earlier device, Scan disabled and saying why).
    void showQuickScanDeviceChosen(bool chosen);

    // Storage overview internals.
    void boardSessionConnected(const std::shared_ptr<BoardSession>& session, bool ok);
    void startBoardPolling();
    int boardSessionIndex() const;
    // Ends the polling and closes the session, leaving a count running.
    void endBoardSession();
    // Labels, bar, sentence and the current sizes from boardFigures_.
    void showBoardFigures();
    void startBoardCount(amd::DeviceTarget target,
                         std::vector<nimbara::app::StorageCategory> wanted);
    void tookBoardCount(const nimbara::filemanager::StorageCountStep& step);
    void boardCountEnded();
    void stopBoardCount();
    // Figures still marked as being counted become not reported.
    void endBoardCounting();

    static std::atomic<QuennicAppDelegate*> s_instance;

    std::unique_ptr<MainWindowUi> mainUi_;
    std::unique_ptr<QuickScanWindowUi> quickScanUi_;

    mutable std::mutex objectMutex_;  // guards the object values read by workers
    std::shared_ptr<PRIOSDeviceNode> currentNode_;
    std::shared_ptr<PRiDeviceNode> currentIDevicenode_;
    QString allCleanFileNumber_;
    QString allCleanFileSize_;
    QString nimbaraExportPath_;
    // The panels start in the export folder while this delegate lives.
    std::optional<nimbara::ui::ScopedHandler<nimbara::ui::PanelStart::ExportFolder>>
        panelExportFolder_;
    QByteArray messageContactData_;
    std::optional<std::uint64_t> photolibFileSize_;
    std::optional<std::uint64_t> cameraFileSize_;

    std::atomic<bool> currentNodeIsiOS6Version_{false};
    std::atomic<bool> bIOS7DeviceNode_{false};
    std::atomic<std::uint64_t> allCacheFileNumber_{0};
    std::atomic<std::uint64_t> allJunkFileNumber_{0};
    std::atomic<std::uint64_t> allCookFileNumber_{0};
    std::atomic<bool> bIOS10Version_{false};
    int macOsVer_ = 10;
    int macOSMajor_ = 10;
    std::atomic<std::uint64_t> totalPhotoRemoveFileSize_{0};
    std::atomic<std::uint64_t> totalMusicRemoveFileSize_{0};
    std::atomic<std::uint64_t> totalVideoRemoveFileSize_{0};
    std::atomic<std::uint64_t> totalAppRemoveFileSize_{0};
    std::atomic<std::uint64_t> totalBooksRemoveFileSize_{0};
    std::atomic<std::uint64_t> totalUserdataRemoveFileSize_{0};
    std::atomic<std::uint64_t> currentPhotoFileSize_{0};
    std::atomic<std::uint64_t> currentMusicFileSize_{0};
    std::atomic<std::uint64_t> currentVideoFileSize_{0};
    std::atomic<std::uint64_t> currentAppFileSize_{0};
    std::atomic<std::uint64_t> currentBooksFileSize_{0};
    std::atomic<std::uint64_t> currentUserDataFileSize_{0};
    std::atomic<bool> bdeepOpenPhoto_{false};
    std::atomic<std::uint64_t> photoVideoFileSize_{0};
    std::atomic<std::uint64_t> junkFileSize_{0};
    std::atomic<std::uint64_t> bigFileSize_{0};
    std::atomic<std::uint64_t> bigAppFileSize_{0};
    std::atomic<std::uint64_t> totalCleanupFileSize_{0};
    std::atomic<std::uint64_t> cleanupCompletedFileSize_{0};
    std::atomic<std::uint64_t> limitLargeFileSize_{5000000};
    std::atomic<std::uint64_t> limitLargeAppSize_{100000000};

    std::atomic<int> theDevice_{0};
    std::atomic<bool> hasDeviceConnect_{false};
    std::vector<std::shared_ptr<PRiDeviceNode>> deviceArray_;
    std::vector<amd::WaitingDevice> waitingDevices_;
    // Devices added whose values are being read, before they are listed: which, identifier.
    std::vector<std::pair<amd::DeviceTarget, std::string>> connecting_;
    std::vector<std::shared_ptr<nimbara::CameraItem>> cameraPhotoArray_;
    mutable std::mutex contactMutex_;  // guards contactArray_
    std::vector<std::shared_ptr<PRContactNode>> contactArray_;
    std::vector<std::shared_ptr<PRContactNode>> contactInfoArray_;
    std::vector<std::shared_ptr<PRContactNode>> transContactArray_;
    amd::DeviceManager* manager_ = nullptr;
    nimbara::NotificationCenter* nc_ = nullptr;
    std::unique_ptr<amd::PRDeviceNotify> deviceNotify_;
    nimbara::ObserverBag observers_;
    QProcess* checkTask_ = nullptr;

    // Page controllers (created at construction, except the result page: on first use).
    std::unique_ptr<PRTansferViewController> transferViewController_;
    std::unique_ptr<PRCleanViewController> cleanViewController_;
    std::unique_ptr<PRBackUpViewController> backupViewController_;
    std::unique_ptr<PRPhoneSystemViewController> phonesystemViewController_;
    std::unique_ptr<PRDiskaManagerViewController> diskManagerViewController_;
    std::unique_ptr<PRFindLargeFileViewController> findLargerFileViewController_;
    std::unique_ptr<PROneCopyViewController> oneCopyViewController_;
    std::unique_ptr<PRPrivacyController> privacyController_;
    std::unique_ptr<PRSystemBoostViewController> systemBoostViewController_;
    std::unique_ptr<PRAdsRemoveController> adsRemoveController_;
    std::unique_ptr<PRIOSDeviceController> deviceController_;
    std::unique_ptr<PRResultViewController> resultViewController_;
    std::unique_ptr<PRPopViewController> infoPopViewController_;
    PreferencesController* preferences_ = nullptr;  // child of the delegate
    bool theArchiveOpenPanel_ = false;
    nimbara::app::ArchivedAppInstallFlow* archivedAppInstall_ = nullptr;  // child of the delegate
    std::unique_ptr<PRUpdateController> updateController_;

    // Main-window chrome (exit feedback sheet).
    QTimer* emailTimer_ = nullptr;

    // Tray icon and device popover (status_item.cpp).
    struct StateBanner;
    std::shared_ptr<StateBanner> stateBanner_;

    // Storage overview.
    std::shared_ptr<BoardSession> boardSession_;
    QTimer* boardDelayTimer_ = nullptr;  // the wait before the first poll
    QTimer* boardTimer_ = nullptr;       // the polling timer
    std::chrono::milliseconds boardFirstPoll_{5000};
    std::chrono::milliseconds boardInterval_{1000};
    nimbara::app::StorageFigures boardFigures_;
    amd::DeviceTarget boardCountTarget_;
    std::unique_ptr<nimbara::JobRunner> boardCount_;  // made by the first count

    // Quick scan and clean-up.
    // What a worker shares with the GUI thread: its hand-off and its cancel flag. As it starts it
    // gets its runner's stop check (stopped, or a scan's device went) and post (a step for the
    // GUI thread, dropped once the worker was stopped or its device went).
    struct WorkerContext {
        std::shared_ptr<nimbara::shell::GuiHandOff> handOff;
        std::shared_ptr<std::atomic<bool>> cancel;
        std::function<bool()> stop;
        std::function<void(std::function<void()>)> post;
        // Posts the finishing step.
        void finish(const std::function<void()>& step);
    };
    static std::shared_ptr<WorkerContext> makeWorkerContext();
    void startQuickWorker(int deviceIndex, const std::shared_ptr<WorkerContext>& context,
                          std::function<void(WorkerContext&)> body);
    // Cancels the worker and drops what it still posts; never waits for it.
    void retireQuickWorker();
    void joinQuickWorkersAtExit();
    // Tick controls of the rows and tables (off while a clean-up runs).
    void setQuickTicksEnabled(bool enabled);
    void showOnlyBottomBar(QWidget* bar);
    void setQuickRowTick(QWidget* checkButton, bool ticked);
    void quickRowToggle(QWidget* checkButton, std::uint64_t bytes, QLabel* label);
    void quickListToggle(QWidget* checkButton, PRLargeFileController* controller,
                         std::uint64_t bytes, QLabel* label);
    void showTotalCleanupFileSize();
    void reloadQuickScanTable(QTableView* table, PRLargeFileController* controller);
    void showQuickHelp(QWidget* button, const QString& text);
    void hideQuickHelp();
    void clearQuickScanResults();
    void finishQuickCleanUp(std::uint64_t freedBytes, const QString& message);

    SystemFileList systemLogArray_;
    SystemFileList downloadTempArray_;
    SystemFileList userStorageArray_;
    SystemFileList iTunesSyncFailedArray_;
    SystemFileList iTunesSyncCacheArray_;
    LargeFileList userDataBigFileArray_;
    LargeFileList appBigFileArray_;
    PRLargeFileController* bigFileController_ = nullptr;  // child of the delegate
    PRLargeFileController* bigAppController_ = nullptr;
    bool startReScan_ = false;
    std::unique_ptr<nimbara::JobRunner> quickScanDeviceThreader_;  // made by the first worker
    std::shared_ptr<WorkerContext> quickWorker_;
    int quickWorkerDeviceIndex_ = -1;
    bool quickWorkerRunning_ = false;
    bool quickWorkerIsScan_ = false;
    // Opens the storage overview's sessions (made by the first).
    std::unique_ptr<nimbara::JobRunner> boardConnector_;
    // Steps of the last quick scan that the device refused.
    bool quickFilesRefused_ = false;
    bool quickAppsRefused_ = false;
    // The pictures and movies the last quick scan found for the photo step (QuickScanResult).
    std::uint64_t quickCameraRollItems_ = 0;
    std::uint64_t quickCopyOnlyPictures_ = 0;
    int quickResultDeviceIndex_ = -1;
    std::uint64_t quickResultDeviceSerial_ = 0;
    QTimer* scanGifTimer_ = nullptr;
    int scanGifCount_ = 0;
    QTimer* cleanGifTimer_ = nullptr;
    int cleanGifCount_ = 0;
    QString quickCleanUpMessage_;
    QWidget* photoInfoPopver_ = nullptr;
    PRPopViewController* photoInfoContent_ = nullptr;
    std::shared_ptr<nimbara::cleanup::CameraRoll> cameraRoll_;
    int cameraRollDeviceIndex_ = -1;
    std::uint64_t cameraRollDeviceSerial_ = 0;
    // Reads the values of attached devices (its jobs touch nothing of the delegate).
    std::unique_ptr<nimbara::JobQueue> attachWorker_ = std::make_unique<nimbara::JobQueue>();
    // Camera-roll listings and deletions (its jobs touch nothing of the delegate).
    std::unique_ptr<nimbara::JobQueue> cameraRollWorker_ = std::make_unique<nimbara::JobQueue>();
};
