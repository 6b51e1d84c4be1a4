// The advertisement-removal page: a scan view with one scan button, and a result view listing the
// user's apps with their advertisement caches, from which one app's caches or all of them are
// removed. It is the twin of the clean-up page's advertisement view: the same scan engine
// (AppCleanScanEngine, advertisements only), the same rows and order (ad_caches.h) and the same
// removal engine (CleanRemovalEngine through a CleanJobQueue).
//
// The main window offers no way to this page; the application delegate keeps it. Whoever shows
// it gives it a device index; another index, or a detach of its device, resets it.
//
// Scans and removals run one at a time on the page's own worker, each bound to the device (index
// AND serial) it started for; what a job reports is taken on the GUI thread only while it is still
// the page's, so a device change (initAllDataAndAllView) resets the page and drops whatever a
// stale job still sends. Removals start only after the user confirmed them, and count only the
// folders the device removed. The GUI thread never waits.
// GUI thread only.
#pragma once

#include <QPointer>
#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "cleanup/ad_caches.h"
#include "cleanup/app_clean_scan.h"
#include "cleanup/pages/clean_list_models.h"
#include "platform/notification_center.h"
#include "ui/page_controller_base.h"

class FlashView;
class PRProgressView;
class PRScanButton;
class QLabel;
class QPushButton;
class QStackedWidget;
class QTableView;
class QWidget;

namespace nimbara::cleanup {
class CleanJobQueue;
}

// The page's widgets ("AdsView"); each carries its outlet's name as objectName.
struct AdsViewUi {
    QWidget* view = nullptr;
    QStackedWidget* stack = nullptr;
    QWidget* adsRemoveFirstView = nullptr;   // the scan view
    QWidget* adsRemoveSecondView = nullptr;  // the result view
    QLabel* theImageView = nullptr;
    PRScanButton* scanButton = nullptr;
    FlashView* theFalshView = nullptr;
    // floatAdsProgress, popUpAdsProgress, flashAdsProgress, bannerAdsProgress: one value.
    std::array<PRProgressView*, 4> progress{};
    // floatAdsTextlab, popUpAdsTextlab, flashAdsTextlab, bannerTextlab: the app being scanned.
    std::array<QLabel*, 4> textlabs{};
    QTableView* adTableView = nullptr;
    QLabel* adsInfolab = nullptr;
    QPushButton* backBtn = nullptr;
    QPushButton* removeBtn = nullptr;
    QPushButton* removeAllBtn = nullptr;
    // What the device refused or what went wrong (hidden when empty).
    QLabel* statuslab = nullptr;
};

class PRAdsRemoveController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRAdsRemoveController(nimbara::ui::PageHost& host, QObject* parent = nullptr);
    ~PRAdsRemoveController() override;

    // Stores the device index of the page (0 until set). Another index resets the page: what it
    // found belongs to the device it had.
    void setDeviceIndex(int index);
    int deviceIndex() const { return deviceIndex_.load(); }
    // Another device: stops the page's jobs (their results are discarded), empties the list and
    // goes back to the scan view.
    void initAllDataAndAllView();

    void changeToRemoveFirstView();
    void changeToRemoveSecondView();

    // "MyScanbuttonMouseDown": only this page's scan button, and only while no scan was started.
    void MyScanbuttonMouseDownHandle(const nimbara::Notification& notification);
    // Spins the spinner and starts the scan of the page's device.
    void StartScanAppAdsAction(QObject* sender = nullptr);
    // The scan's steps on the GUI thread.
    void StartAppAdsRemoverProgresssOnMainThread(float fraction);
    void StartAppAdsRemoverShowAppBundleIdOnMainThread(const QString& bundleId);
    void StartScanAppAdsThreadOnMainThread(nimbara::cleanup::AppCleanScanResult result);

    void tableViewSelectionDidChange();
    // Back to the scan view, the list emptied (refused while a removal runs).
    void BackToScanAdsAction(QObject* sender = nullptr);
    // The selected row's caches, or every "Live" row's, after the user confirmed.
    void RemoveAdsAction(QObject* sender = nullptr);
    void RemoveAllAdsAction(QObject* sender = nullptr);
    // A removal's rows redrawn: one row, or the whole table.
    void FinishOneAdsOnMainThread(const std::shared_ptr<PRAppAdsRemoveNode>& row);
    void FinishAllAdsOnMainThread();

    // ---------------------------------------------------------------- state
    bool bStartScan() const { return bStartScan_; }
    bool scanRunning() const { return scanning_; }
    bool removalRunning() const { return removing_; }
    // "adsRemoveFirstView" or "adsRemoveSecondView".
    QString shownView() const;
    QString statusText() const;
    AdsViewUi& adsUi();
    nimbara::cleanup::PRAdsController* adsController() const { return adsController_; }
    const std::vector<std::shared_ptr<PRAppAdsRemoveNode>>& adsRemoveArray() const {
        return adsRemoveArray_;
    }
    std::shared_ptr<PRAppAdsRemoveNode> currentRemoveNode() const { return currentRemoveNode_; }
    // The 53 network names, in matching order.
    const std::vector<const char*>& adPlatArray() const {
        return nimbara::cleanup::adPlatformNames();
    }

    // Called after each job of the page ended and its result was taken (tests wait on it).
    void setJobEndedCallback(std::function<void()> callback) { jobEnded_ = std::move(callback); }

  protected:
    void viewShown() override;

  private:
    void ensureBuilt();
    bool built() const { return ui_ && uiRoot_; }
    void wireControls();
    void setStatus(const QString& text);
    void resetScanView();
    bool refuseWhileBusy();
    // A detach of the page's device (or of the one its rows came from) resets the page.
    void deviceDetached(int index) override;
    // True while the device the rows came from is attached; else resets the page and says so.
    bool resultDeviceHere();
    void startRemoval(std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows, bool all);
    void ended();

    std::atomic<int> deviceIndex_{0};
    std::unique_ptr<AdsViewUi> ui_;
    QPointer<QWidget> uiRoot_;  // ui_->view, while it lives
    nimbara::ObserverBag observers_;

    nimbara::cleanup::PRAdsController* adsController_ = nullptr;
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> adsRemoveArray_;
    std::shared_ptr<PRAppAdsRemoveNode> currentRemoveNode_;
    // The device the rows were found on.
    nimbara::cleanup::CleanDeviceTarget resultTarget_;
    bool bStartScan_ = false;
    bool scanning_ = false;
    bool removing_ = false;
    // The page's worker: the scan and the removals, one after the other; reset with the page.
    std::unique_ptr<nimbara::cleanup::CleanJobQueue> jobs_;
    std::function<void()> jobEnded_;
};
