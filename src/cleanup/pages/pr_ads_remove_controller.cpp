#include "cleanup/pages/pr_ads_remove_controller.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "cleanup/clean_removal_queue.h"
#include "cleanup/pages/clean_view_ui.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "platform/main_thread.h"
#include "ui/alerts.h"
#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/window_builders.h"

using nimbara::cleanup::AppCleanScanResult;
using nimbara::cleanup::CleanDeviceTarget;
using nimbara::cleanup::CleanItem;
using nimbara::cleanup::CleanRemovalReport;

namespace {

using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kPoints = 11;  // "Lucida Grande" 11, every cell and label
constexpr const char* kNoDeviceText = "Connect a device to scan it.";
constexpr const char* kBusyText =
    "A scan or removal of this page is still running. Please wait until it has finished.";
constexpr const char* kStoppedText = "The scan stopped before it finished: the device went away.";
constexpr const char* kGoneText =
    "The device whose apps were listed is no longer connected. Scan again to see what is there.";

// The scan view: the header image, the four kinds of advertisement with their progress bars and
// the app being scanned, the spinner and the scan button.
void buildScanView(AdsViewUi& ui) {
    QWidget* v = named(new QWidget(ui.stack), "adsRemoveFirstView");
    ui.adsRemoveFirstView = v;
    auto* layout = new QVBoxLayout(v);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(12);
    ui.theImageView = makeImageView(v, "theImageView", QStringLiteral("tabHeadImage"));
    ui.theImageView->setFixedHeight(36);
    ui.theImageView->setScaledContents(true);
    layout->addWidget(ui.theImageView);
    layout->addWidget(makeLabel(v, "adsTitlelab", QStringLiteral("Ads Remover"), 16,
                                nimbara::ui::build::kText, true));
    layout->addWidget(makeLabel(
        v, "adsHintlab",
        QStringLiteral("Scan the apps on your device for the caches their advertisements leave."),
        kPoints));
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    const std::array<std::pair<const char*, const char*>, 4> rows = {{
        {"floatAdsProgress", "floatAdsTextlab"},
        {"popUpAdsProgress", "popUpAdsTextlab"},
        {"flashAdsProgress", "flashAdsTextlab"},
        {"bannerAdsProgress", "bannerTextlab"},
    }};
    const std::array<QString, 4> titles = {
        QStringLiteral("Floating Ads"), QStringLiteral("Pop-up Ads"), QStringLiteral("Flash Ads"),
        QStringLiteral("Banner Ads")};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        grid->addWidget(makeLabel(v, "", titles[i], kPoints), row, 0);
        ui.progress[i] = named(new PRProgressView(v), rows[i].first);
        ui.progress[i]->setMinimumWidth(240);
        ui.progress[i]->setFixedHeight(12);
        grid->addWidget(ui.progress[i], row, 1);
        ui.textlabs[i] = makeLabel(v, rows[i].second, QString(), kPoints, QColor(96, 110, 128));
        ui.textlabs[i]->setMinimumWidth(260);
        grid->addWidget(ui.textlabs[i], row, 2);
    }
    grid->setColumnStretch(2, 1);
    layout->addLayout(grid);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout();
    bottom->addStretch(1);
    ui.theFalshView = named(new FlashView(v), "theFalshView");
    ui.theFalshView->setFixedSize(32, 32);
    ui.scanButton = named(new PRScanButton(v), "scanButton");
    ui.scanButton->setFixedSize(120, 40);
    ui.scanButton->setImage(QStringLiteral("scanNom.png"));
    bottom->addWidget(ui.theFalshView);
    bottom->addWidget(ui.scanButton);
    layout->addLayout(bottom);
    ui.stack->addWidget(v);
}

// The result view: the list of user apps with their caches, and its buttons.
void buildResultView(AdsViewUi& ui) {
    QWidget* v = named(new QWidget(ui.stack), "adsRemoveSecondView");
    ui.adsRemoveSecondView = v;
    auto* layout = new QVBoxLayout(v);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);
    layout->addWidget(
        makeLabel(v, "", QStringLiteral("Ads Remover"), 16, nimbara::ui::build::kText, true));
    ui.adsInfolab = makeLabel(v, "adsInfolab", QString(), kPoints);
    layout->addWidget(ui.adsInfolab);
    auto* table = cleanview::makeTable(v, "adTableView", false);
    table->setContextMenuPolicy(Qt::DefaultContextMenu);
    table->setIconSize(QSize(36, 36));
    table->verticalHeader()->setDefaultSectionSize(40);
    ui.adTableView = table;
    layout->addWidget(table, 1);
    auto* buttons = new QHBoxLayout();
    ui.backBtn = cleanview::makeButton(v, "adsBackBtn", QStringLiteral("Back"));
    ui.removeBtn = cleanview::makeButton(v, "adsRemoveBtn", QStringLiteral("Remove"));
    ui.removeAllBtn = cleanview::makeButton(v, "adsRemoveAllBtn", QStringLiteral("Remove All"));
    buttons->addWidget(ui.backBtn);
    buttons->addStretch(1);
    buttons->addWidget(ui.removeBtn);
    buttons->addWidget(ui.removeAllBtn);
    layout->addLayout(buttons);
    ui.stack->addWidget(v);
}

AdsViewUi buildAdsView() {
    AdsViewUi ui;
    ui.view = named(new QWidget(), "AdsView");
    auto* layout = new QVBoxLayout(ui.view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    ui.stack = named(new QStackedWidget(ui.view), "adsStack");
    buildScanView(ui);
    buildResultView(ui);
    layout->addWidget(ui.stack, 1);
    ui.statuslab = makeLabel(ui.view, "statuslab", QString(), kPoints, QColor(170, 60, 40));
    ui.statuslab->setWordWrap(true);
    ui.statuslab->setContentsMargins(20, 0, 20, 8);
    ui.statuslab->hide();
    layout->addWidget(ui.statuslab);
    return ui;
}

bool isLive(const PRAppAdsRemoveNode& row) {
    return row.appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive);
}

}  // namespace

PRAdsRemoveController::PRAdsRemoveController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRAdsRemoveController", QStringLiteral("Ads Remover"), parent),
      adsController_(nimbara::cleanup::makeAdsModel(this)),
      jobs_(std::make_unique<nimbara::cleanup::CleanJobQueue>()) {
    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyScanbuttonMouseDown",
        [this](const nimbara::Notification& n) { MyScanbuttonMouseDownHandle(n); }));
    watchDeviceDetach();
}

PRAdsRemoveController::~PRAdsRemoveController() {
    observers_.clear();
    jobs_.reset();  // a job still running ends on its own; nothing waits for it
    delete uiRoot_.data();
    ui_.reset();
}

// ------------------------------------------------------------------ widgets

AdsViewUi& PRAdsRemoveController::adsUi() {
    ensureBuilt();
    return *ui_;
}

void PRAdsRemoveController::ensureBuilt() {
    if (built()) {
        return;
    }
    ui_ = std::make_unique<AdsViewUi>(buildAdsView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    wireControls();
    resetScanView();
    changeToRemoveFirstView();
}

void PRAdsRemoveController::viewShown() {
    ensureBuilt();
}

void PRAdsRemoveController::wireControls() {
    AdsViewUi& ui = *ui_;
    ui.adTableView->setModel(adsController_);
    ui.adTableView->setColumnWidth(0, 240);
    ui.adTableView->setColumnWidth(1, 110);
    ui.adTableView->setColumnWidth(2, 110);
    connect(ui.adTableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    auto click = [this](QPushButton* button, void (PRAdsRemoveController::*action)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, action] { (this->*action)(button); });
    };
    click(ui.backBtn, &PRAdsRemoveController::BackToScanAdsAction);
    click(ui.removeBtn, &PRAdsRemoveController::RemoveAdsAction);
    click(ui.removeAllBtn, &PRAdsRemoveController::RemoveAllAdsAction);
}

void PRAdsRemoveController::changeToRemoveFirstView() {
    ensureBuilt();
    ui_->stack->setCurrentWidget(ui_->adsRemoveFirstView);
}

void PRAdsRemoveController::changeToRemoveSecondView() {
    ensureBuilt();
    ui_->stack->setCurrentWidget(ui_->adsRemoveSecondView);
}

QString PRAdsRemoveController::shownView() const {
    return built() ? ui_->stack->currentWidget()->objectName()
                   : QStringLiteral("adsRemoveFirstView");
}

void PRAdsRemoveController::setStatus(const QString& text) {
    ensureBuilt();
    ui_->statuslab->setText(text);
    ui_->statuslab->setVisible(!text.isEmpty());
}

QString PRAdsRemoveController::statusText() const {
    return built() ? ui_->statuslab->text() : QString();
}

// The scan view as it is before a scan: bars empty, no app named, the spinner hidden.
void PRAdsRemoveController::resetScanView() {
    AdsViewUi& ui = *ui_;
    for (std::size_t i = 0; i < ui.progress.size(); ++i) {
        ui.progress[i]->setProgressValue(0.0f);
        ui.textlabs[i]->setText(QString());
    }
    ui.theFalshView->stopFlash();
    ui.theFalshView->hide();
    ui.scanButton->setImage(QString::fromLatin1(bStartScan_ ? "scanDown.png" : "scanNom.png"));
}

// ------------------------------------------------------------------ life cycle

void PRAdsRemoveController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    const bool changed = deviceIndex_.exchange(index) != index;
    if (changed && (bStartScan_ || scanning_ || removing_ || !adsRemoveArray_.empty())) {
        initAllDataAndAllView();  // what was found belongs to the other device
    }
}

void PRAdsRemoveController::deviceDetached(int index) {
    const bool ours = index == deviceIndex() ||
                      (resultTarget_.deviceSerial != 0 && index == resultTarget_.deviceIndex);
    if (ours && (bStartScan_ || scanning_ || removing_ || !adsRemoveArray_.empty())) {
        initAllDataAndAllView();
        setStatus(QString::fromLatin1(kGoneText));
    }
}

bool PRAdsRemoveController::resultDeviceHere() {
    if (resultTarget_.deviceSerial != 0 && resultTarget_.stillAttached()) {
        return true;
    }
    initAllDataAndAllView();
    setStatus(QString::fromLatin1(kGoneText));
    return false;
}

void PRAdsRemoveController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    // Whatever a job of the old device still sends is dropped: it is no longer the page's.
    jobs_->reset();
    scanning_ = false;
    removing_ = false;
    bStartScan_ = false;
    adsRemoveArray_.clear();
    currentRemoveNode_.reset();
    resultTarget_ = {};
    adsController_->clear();
    if (built()) {
        resetScanView();
        setStatus(QString());
        ui_->removeBtn->setEnabled(true);
        ui_->removeAllBtn->setEnabled(true);
        changeToRemoveFirstView();
    }
}

void PRAdsRemoveController::ended() {
    if (jobEnded_) {
        jobEnded_();
    }
}

bool PRAdsRemoveController::refuseWhileBusy() {
    if (scanning_ || removing_) {
        setStatus(QString::fromLatin1(kBusyText));
        return true;
    }
    return false;
}

// ------------------------------------------------------------------ scan

void PRAdsRemoveController::MyScanbuttonMouseDownHandle(const nimbara::Notification& n) {
    if (!built() || n.objectAs<QObject*>(nullptr) != ui_->scanButton) {
        return;  // another page's scan button
    }
    if (bStartScan_) {
        return;
    }
    bStartScan_ = true;
    ui_->scanButton->setImage(QStringLiteral("scanDown.png"));
    StartScanAppAdsAction(ui_->scanButton);
}

void PRAdsRemoveController::StartScanAppAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    if (refuseWhileBusy()) {
        return;
    }
    const int index = deviceIndex();
    const std::uint64_t serial = amd::DeviceManager::GetInstance().DeviceSerial(index);
    if (serial == 0) {
        bStartScan_ = false;
        resetScanView();
        setStatus(QString::fromLatin1(kNoDeviceText));
        return;
    }
    setStatus(QString());
    bStartScan_ = true;
    adsRemoveArray_.clear();
    currentRemoveNode_.reset();
    adsController_->clear();
    ui_->theFalshView->show();
    ui_->theFalshView->startFlash();
    scanning_ = true;
    QPointer<PRAdsRemoveController> self(this);
    const std::uint64_t generation = jobs_->generation();
    // Runs a step on the GUI thread while the scan is still the page's.
    auto post = [self, generation](std::function<void()> step) {
        nimbara::postToMain([self, generation, step = std::move(step)] {
            if (self && self->jobs_->isCurrent(generation) && self->built()) {
                step();
            }
        });
    };
    jobs_->post({index, serial}, [self, post, index,
                                  serial](const nimbara::cleanup::CleanJobQueue::StopCheck& stop) {
        nimbara::cleanup::AppCleanScanEngine engine({index, serial, false, true}, stop);
        engine.onProgress = [self, post](float f) {
            post([self, f] { self->StartAppAdsRemoverProgresssOnMainThread(f); });
        };
        engine.onAppVisited = [self, post](const QString& bundleId) {
            post([self, bundleId] {
                self->StartAppAdsRemoverShowAppBundleIdOnMainThread(bundleId);
            });
        };
        auto result = std::make_shared<AppCleanScanResult>(engine.run());
        post([self, result] { self->StartScanAppAdsThreadOnMainThread(std::move(*result)); });
    });
}

void PRAdsRemoveController::StartAppAdsRemoverProgresssOnMainThread(float fraction) {
    ensureBuilt();
    for (PRProgressView* bar : ui_->progress) {
        bar->setProgressValue(fraction);
    }
}

void PRAdsRemoveController::StartAppAdsRemoverShowAppBundleIdOnMainThread(const QString& bundleId) {
    ensureBuilt();
    for (QLabel* label : ui_->textlabs) {
        label->setText(nimbara::cleanup::cleanPathLabelText(bundleId));
    }
}

void PRAdsRemoveController::StartScanAppAdsThreadOnMainThread(AppCleanScanResult result) {
    ensureBuilt();
    scanning_ = false;
    AdsViewUi& ui = *ui_;
    if (result.stopped) {
        // The device went away mid-scan: nothing half-found is shown, a new scan may start.
        bStartScan_ = false;
        resetScanView();
        setStatus(QString::fromLatin1(kStoppedText));
        ended();
        return;
    }
    for (std::size_t i = 0; i < ui.progress.size(); ++i) {
        ui.progress[i]->setProgressValue(0.0f);
        ui.textlabs[i]->setText(QString());
    }
    changeToRemoveSecondView();
    resultTarget_ = {result.deviceIndex, result.deviceSerial};
    adsRemoveArray_ = result.adsRemoveArray;
    adsController_->setContent(nimbara::cleanup::sortedAdsRows(adsRemoveArray_));
    ui.adTableView->clearSelection();
    ui.theFalshView->stopFlash();
    ui.theFalshView->hide();
    ui.adsInfolab->setText(nimbara::cleanup::adsSummaryText(adsController_->content()));
    QStringList refused;
    if (result.appsRefused != 0) {
        refused << QStringLiteral("The device did not list its apps: %1")
                       .arg(QString::fromStdString(amd::DeviceCodeText(result.appsRefused)));
    }
    if (const std::string text = amd::ContainersRefusedText(result.containersRefused);
        !text.empty()) {
        refused << QString::fromStdString(text);
    }
    setStatus(refused.join(QLatin1Char('\n')));
    ended();
}

void PRAdsRemoveController::tableViewSelectionDidChange() {
    const QModelIndexList rows = ui_->adTableView->selectionModel()->selectedRows();
    currentRemoveNode_ = rows.isEmpty() ? nullptr : adsController_->rowAt(rows.front().row());
}

void PRAdsRemoveController::BackToScanAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    if (removing_) {
        setStatus(QString::fromLatin1(kBusyText));
        return;
    }
    changeToRemoveFirstView();
    bStartScan_ = false;
    resetScanView();
    setStatus(QString());
    adsController_->clear();
    adsRemoveArray_.clear();
    currentRemoveNode_.reset();
    resultTarget_ = {};
}

// ------------------------------------------------------------------ removal

void PRAdsRemoveController::RemoveAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    const QModelIndexList selected = ui_->adTableView->selectionModel()->selectedRows();
    const auto node = selected.isEmpty() ? nullptr : adsController_->rowAt(selected.front().row());
    if (!node) {
        return;
    }
    currentRemoveNode_ = node;
    if (!isLive(*node)) {
        nimbara::Alerts::ask(view(), {QString::fromLatin1(nimbara::cleanup::kNoAdsDetectedText),
                                      QString(), QStringLiteral(" Ok "), QString(), QString()});
        return;
    }
    startRemoval({node}, false);
}

void PRAdsRemoveController::RemoveAllAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> live;
    for (const auto& row : adsController_->content()) {
        if (isLive(*row)) {
            live.push_back(row);
        }
    }
    if (live.empty()) {
        nimbara::Alerts::ask(view(), {QString::fromLatin1(nimbara::cleanup::kNoAdsDetectedText),
                                      QString(), QStringLiteral(" Ok "), QString(), QString()});
        return;
    }
    startRemoval(std::move(live), true);
}

// Asks first; once the user said so (and the page still shows the same rows), removes them on
// the page's worker.
void PRAdsRemoveController::startRemoval(std::vector<std::shared_ptr<PRAppAdsRemoveNode>> rows,
                                         bool all) {
    if (refuseWhileBusy() || !resultDeviceHere()) {
        return;
    }
    const std::uint64_t asked = jobs_->generation();
    const auto answer = nimbara::Alerts::ask(
        view(),
        {nimbara::cleanup::adsRemovalQuestion(rows), nimbara::cleanup::adsRemovalDetail(rows),
         QStringLiteral("Remove"), QStringLiteral("Cancel"), QString()});
    // A reset while the question was open (another device) cancels what was asked about.
    if (answer != nimbara::Alerts::Answer::Default || !jobs_->isCurrent(asked) ||
        refuseWhileBusy() || !resultDeviceHere()) {
        return;
    }
    std::vector<CleanItem> plan = nimbara::cleanup::adCachePlan(rows);
    auto planCopy = std::make_shared<std::vector<CleanItem>>(plan);
    removing_ = true;
    setStatus(QString());
    ui_->removeBtn->setEnabled(false);
    ui_->removeAllBtn->setEnabled(false);
    QPointer<PRAdsRemoveController> self(this);
    const std::uint64_t generation = jobs_->generation();
    jobs_->postRemoval(
        resultTarget_, std::move(plan), {},
        [self, generation, planCopy, rows, all](const CleanRemovalReport& report, std::uint64_t) {
            auto shared = std::make_shared<CleanRemovalReport>(report);
            nimbara::postToMain([self, generation, planCopy, rows, all, shared] {
                if (!self || !self->jobs_->isCurrent(generation) || !self->built()) {
                    return;  // another device's rows by now: nothing to settle
                }
                self->removing_ = false;
                self->ui_->removeBtn->setEnabled(true);
                self->ui_->removeAllBtn->setEnabled(true);
                const int removed = nimbara::cleanup::settleAdRows(rows, *planCopy, *shared);
                for (const auto& row : rows) {
                    self->FinishOneAdsOnMainThread(row);
                }
                if (all) {
                    self->FinishAllAdsOnMainThread();
                }
                self->ui_->adsInfolab->setText(
                    nimbara::cleanup::adsRemovedText(removed, shared->freedBytes));
                const bool clean = shared->status == nimbara::cleanup::CleanRunStatus::Done ||
                                   shared->status == nimbara::cleanup::CleanRunStatus::NothingToDo;
                self->setStatus(clean ? QString() : shared->message);
                self->ended();
            });
        });
}

void PRAdsRemoveController::FinishOneAdsOnMainThread(
    const std::shared_ptr<PRAppAdsRemoveNode>& row) {
    adsController_->refresh(row.get());
}

void PRAdsRemoveController::FinishAllAdsOnMainThread() {
    if (built()) {
        ui_->adTableView->viewport()->update();
    }
}
