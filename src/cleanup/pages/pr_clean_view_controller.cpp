#include "cleanup/pages/pr_clean_view_controller.h"

#include <QAction>
#include <QDialog>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>

#include <algorithm>

#include "cleanup/protected_files.h"
#include "cleanup/removal_texts.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "ui/alerts.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"

using nimbara::cleanup::AppCleanScanResult;
using nimbara::cleanup::CleanCategory;
using nimbara::cleanup::DeviceCleanScanResult;
using nimbara::shell::size_to_unit;

namespace {

constexpr const char* kNoDeviceText = "Connect a device to scan it.";
constexpr const char* kBusyText =
    "A scan or removal of this page is still running. Please wait "
    "until it has finished.";
constexpr const char* kStoppedText = "The scan stopped before it finished: the device went away.";

QString foundFilesText(const QString& sizeText, std::uint64_t count) {
    return QStringLiteral("Files Found: %1 in  %2 file(s)").arg(sizeText).arg(count);
}

void setShown(QWidget* widget, bool shown) {
    if (widget != nullptr) {
        widget->setVisible(shown);
    }
}

void setButtonArrow(QPushButton* button, bool enabled) {
    button->setEnabled(enabled);
    button->setIcon(nimbara::ui::namedIcon(enabled ? QStringLiteral("arrowright")
                                                   : QStringLiteral("arrowrightUnNom")));
}

// The refusals of a scan as one sentence each.
QString refusalText(int appsRefused, const std::vector<std::string>& containersRefused,
                    int mediaRefused = 0) {
    QStringList lines;
    if (appsRefused != 0) {
        lines << QStringLiteral("The device did not list its apps: %1")
                     .arg(QString::fromStdString(amd::DeviceCodeText(appsRefused)));
    }
    const std::string containers = amd::ContainersRefusedText(containersRefused);
    if (!containers.empty()) {
        lines << QString::fromStdString(containers);
    }
    if (mediaRefused != 0) {
        lines << QStringLiteral("The device did not open its media folder: %1")
                     .arg(QString::fromStdString(amd::DeviceCodeText(mediaRefused)));
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

PRCleanViewController::PRCleanViewController(nimbara::ui::PageHost& host, QObject* parent)
    : PageControllerBase(host, "PRCleanViewController", QStringLiteral("App Cleaner"), parent),
      removals_(std::make_unique<nimbara::cleanup::CleanJobQueue>()) {
    cacheList_ = nimbara::cleanup::makeCleanRecordsModel(this);
    docList_ = nimbara::cleanup::makeCleanRecordsModel(this);
    docList_->setCheckable(true);  // an unticked document is kept
    junkList_ = nimbara::cleanup::makeCleanRecordsModel(this);
    cookList_ = nimbara::cleanup::makeCleanRecordsModel(this);
    adsList_ = nimbara::cleanup::makeAdsModel(this);
    syncList_ = nimbara::cleanup::makeSyncFailedModel(this);
    junkOutline_ = new nimbara::ui::PRCleanOutlineModel(&junkTree_.cleanTree(), this);
    cacheOutline_ = new nimbara::ui::PRCleanOutlineModel(&cacheTree_.cleanTree(), this);
    cookOutline_ = new nimbara::ui::PRCleanOutlineModel(&cookTree_.cleanTree(), this);
    junkFiles_ = new nimbara::ui::PRCleanEntriesModel(&junkTree_.cleanTree(), this);
    cacheFiles_ = new nimbara::ui::PRCleanEntriesModel(&cacheTree_.cleanTree(), this);
    cookFiles_ = new nimbara::ui::PRCleanEntriesModel(&cookTree_.cleanTree(), this);
    trees_[0] = std::make_unique<TreeParts>(
        TreeParts{CleanCategory::Junk, 0, &junkTree_, junkOutline_, junkFiles_, nullptr});
    trees_[1] = std::make_unique<TreeParts>(
        TreeParts{CleanCategory::Cache, 1, &cacheTree_, cacheOutline_, cacheFiles_, nullptr});
    trees_[2] = std::make_unique<TreeParts>(
        TreeParts{CleanCategory::Cookie, 2, &cookTree_, cookOutline_, cookFiles_, nullptr});
    for (PRAppTreeController* tree : {&junkTree_, &cacheTree_, &cookTree_}) {
        tree->setCleanRefreshCallback([this] { refreshOutlineView(); });
    }
    observers_.add(nimbara::NotificationCenter::defaultCenter().addObserver(
        "MyAppCleanbuttonMouseDown", [this](const nimbara::Notification& n) {
            if (ui_ && n.objectAs<QObject*>(nullptr) == ui_->appStartBtn) {
                startScanPhoneApp(ui_->appStartBtn);
            }
        }));
}

PRCleanViewController::~PRCleanViewController() {
    observers_.clear();
    scanJob_.stop();    // a scan still running ends on its own; nothing waits for it
    removals_.reset();  // the same for a removal
    // The views go before the models and trees they show, and before this object's members.
    delete uiRoot_.data();
    ui_.reset();
}

// ------------------------------------------------------------------ widgets

CleanViewUi& PRCleanViewController::cleanUi() {
    ensureBuilt();
    return *ui_;
}

void PRCleanViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    // First use, or the container took the views with it when it went.
    ui_ = std::make_unique<CleanViewUi>(buildCleanView());
    uiRoot_ = ui_->view;
    showPageView(ui_->view);
    trees_[0]->ui = &ui_->junkView;
    trees_[1]->ui = &ui_->cacheView;
    trees_[2]->ui = &ui_->cookView;
    wireControls();
    addMenuActions();
    resetAppView();
    showOnly(ui_->cleanDiskView);
}

void PRCleanViewController::viewShown() {
    ensureBuilt();
}

void PRCleanViewController::wireControls() {
    CleanViewUi& ui = *ui_;
    ui.cacheResult.table->setModel(cacheList_);
    ui.documentResult.table->setModel(docList_);
    ui.junkResult.table->setModel(junkList_);
    ui.cookResult.table->setModel(cookList_);
    ui.AdsTableView->setModel(adsList_);
    ui.syncFailedTableView->setModel(syncList_);
    for (QTableView* table : {ui.cacheResult.table, ui.documentResult.table, ui.junkResult.table,
                              ui.cookResult.table}) {
        table->setColumnWidth(0, 200);
        table->setColumnWidth(1, 150);
        table->setColumnWidth(2, 105);
    }
    ui.AdsTableView->setColumnWidth(0, 240);
    ui.syncFailedTableView->setColumnWidth(0, 220);
    ui.syncFailedTableView->setColumnWidth(1, 105);

    auto click = [this](QPushButton* button, void (PRCleanViewController::*action)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, action] { (this->*action)(button); });
    };
    click(ui.cache.button, &PRCleanViewController::ClickCacheFileAction);
    click(ui.document.button, &PRCleanViewController::ClickDocumentFileAction);
    click(ui.junk.button, &PRCleanViewController::ClickJunkFileAction);
    click(ui.cook.button, &PRCleanViewController::ClickCookieFileAction);
    click(ui.ads.button, &PRCleanViewController::ClickAppAdsFileAction);
    for (const CleanResultViewUi* result :
         {&ui.cacheResult, &ui.documentResult, &ui.junkResult, &ui.cookResult}) {
        click(result->backBtn, &PRCleanViewController::cacheFileBackAction);
    }
    click(ui.adsBackBtn, &PRCleanViewController::cacheFileBackAction);
    click(ui.appCleanTipBtn, &PRCleanViewController::showCleanTipWindow);
    click(ui.closeCleanTipBtn, &PRCleanViewController::closeCleanTipWindowAction);
    click(ui.adsRemoveBtn, &PRCleanViewController::RemoveAdsAction);
    click(ui.adsRemoveAllBtn, &PRCleanViewController::RemoveAllAdsAction);
    connect(ui.deviceCleanBtn, &QPushButton::clicked, this, [this] { showCleanMainView(); });
    connect(ui.mainAppCleanBtn, &QPushButton::clicked, this, [this] { showcleanDiskView(); });
    connect(ui.mainScanBtn, &QPushButton::clicked, this,
            [this] { showDeviceClean(cleanDevice()); });
    connect(ui.mainJunkBtn, &QPushButton::clicked, this, [this] { showCleanJunkView(); });
    connect(ui.mainCacheBtn, &QPushButton::clicked, this, [this] { showCleanCacheview(); });
    connect(ui.mainCookBtn, &QPushButton::clicked, this, [this] { showCleanCookView(); });
    connect(ui.mainMediaBtn, &QPushButton::clicked, this, [this] { showCleanMediaView(); });
    for (QPushButton* back : ui.deviceBackBtns) {
        connect(back, &QPushButton::clicked, this, [this] { showCleanMainView(); });
    }
    for (auto& parts : trees_) {
        wireTree(*parts);
    }
    connect(ui.syncFailedTableView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) {
                QTableView* table = ui_->syncFailedTableView;
                menuNeedsUpdate(ui_->syncedMenu, table->indexAt(at).isValid());
                ui_->syncedMenu->popup(table->viewport()->mapToGlobal(at));
            });
}

void PRCleanViewController::wireTree(TreeParts& parts) {
    CleanTreeViewUi& ui = *parts.ui;
    ui.outline->setModel(parts.outline);
    ui.table->setModel(parts.files);
    ui.table->setColumnWidth(0, 130);
    ui.table->setColumnWidth(1, 90);
    ui.table->setColumnWidth(2, 60);
    QTreeView* outline = ui.outline;
    connect(outline->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, outline] { outlineViewSelectionDidChange(outline); });
    connect(outline, &QWidget::customContextMenuRequested, this, [this, &ui](const QPoint& at) {
        menuNeedsUpdate(ui.dirMenu, ui.outline->indexAt(at).isValid());
        ui.dirMenu->popup(ui.outline->viewport()->mapToGlobal(at));
    });
    connect(ui.table, &QWidget::customContextMenuRequested, this, [this, &ui](const QPoint& at) {
        menuNeedsUpdate(ui.fileMenu, ui.table->indexAt(at).isValid());
        ui.fileMenu->popup(ui.table->viewport()->mapToGlobal(at));
    });
}

void PRCleanViewController::showOnly(QWidget* view) {
    ensureBuilt();
    ui_->stack->setCurrentWidget(view);
}

void PRCleanViewController::setStatus(const QString& text, bool problem) {
    ensureBuilt();
    cleanview::setStatusLine(ui_->statuslab, text, problem);
}

QString PRCleanViewController::statusText() const {
    return built() ? ui_->statuslab->text() : QString();
}

QString PRCleanViewController::shownView() const {
    if (!built()) {
        return QStringLiteral("cleanDiskView");
    }
    return ui_->stack->currentWidget()->objectName();
}

// ------------------------------------------------------------------ jobs

std::uint64_t PRCleanViewController::serialOf(int index) const {
    return amd::DeviceManager::GetInstance().DeviceSerial(index);
}

void PRCleanViewController::startJob(nimbara::JobRunner::Body body) {
    scanJob_.start([this, body = std::move(body)](const StopCheck& stop, const Post& post) {
        // The runner drops what a stale job posts; what runs finds the views built.
        const Post onViews = [this, post](std::function<void()> step) {
            post([this, step = std::move(step)] {
                ensureBuilt();
                step();
            });
        };
        body(stop, onViews);
    });
}

void PRCleanViewController::scanEnded() {
    scanJob_.finish();
    if (jobEnded_) {
        jobEnded_();
    }
}

bool PRCleanViewController::removalRunning() const {
    return removalsPending_ > 0;
}

std::size_t PRCleanViewController::workersEnding() const {
    return scanJob_.ending();
}

// ------------------------------------------------------------------ life cycle

void PRCleanViewController::NimbaraShowDeviceClean(int index) {
    record(QStringLiteral("NimbaraShowDeviceClean(%1)").arg(argument(index)));
    cleanDevice_ = index;
}

void PRCleanViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    // Whatever a job of the old device still sends is dropped: it is no longer the page's.
    scanJob_.stop();
    removals_->reset();
    removalsPending_ = 0;
    closeRemoveSheet();
    scanKind_ = ScanKind::None;
    bAppCleanerFinish_ = false;
    appResult_.reset();
    for (auto* list : {cacheList_, docList_, junkList_, cookList_}) {
        list->clear();
    }
    adsList_->clear();
    clearDeviceClean();
    if (built()) {
        resetAppView();
        setStatus(QString());
        showOnly(ui_->cleanDiskView);
    }
}

void PRCleanViewController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        NimbaraShowDeviceClean(target.deviceIndex);
    }
    initAllDataAndAllView();
}

// ------------------------------------------------------------------ app clean-up views

void PRCleanViewController::showcleanDiskView() {
    showOnly(cleanUi().cleanDiskView);
}
void PRCleanViewController::showCleanCacheTableView() {
    showOnly(cleanUi().cacheResult.view);
}
void PRCleanViewController::showCleanCookTableView() {
    showOnly(cleanUi().cookResult.view);
}
void PRCleanViewController::showCleanJunkTableView() {
    showOnly(cleanUi().junkResult.view);
}
void PRCleanViewController::showCleanDocumentTableView() {
    showOnly(cleanUi().documentResult.view);
}
void PRCleanViewController::showcleanAppAdsTableView() {
    showOnly(cleanUi().cleanAppAdsView);
}

void PRCleanViewController::showCleanTipWindow(QObject* /*sender*/) {
    ensureBuilt();
    ui_->appCleaneTipWindow->open();
}

void PRCleanViewController::closeCleanTipWindowAction(QObject* /*sender*/) {
    if (built()) {
        // The sheet ends and leaves the screen.
        ui_->appCleaneTipWindow->done(QDialog::Accepted);
        ui_->appCleaneTipWindow->hide();
    }
}

void PRCleanViewController::cacheFileBackAction(QObject* /*sender*/) {
    showcleanDiskView();
}

void PRCleanViewController::resetAppView() {
    CleanViewUi& ui = *ui_;
    setShown(ui.appFlashView, false);
    ui.appFlashView->stopFlash();
    for (CleanCategoryRowUi* row : {&ui.document, &ui.cache, &ui.junk, &ui.cook, &ui.ads}) {
        setButtonArrow(row->button, false);
        row->progress->setProgressValue(0.0f);
        row->sizelab->setText(QString());
        row->sizelab->hide();
        row->pathlab->setText(QString());
        row->pathlab->hide();
    }
    resetResultViews();
    ui.appStartBtn->setImage(QStringLiteral("scanNom.png"));
    ui.appStartBtn->setEnabled(true);
}

void PRCleanViewController::resetResultViews() {
    CleanViewUi& ui = *ui_;
    for (CleanResultViewUi* result :
         {&ui.cacheResult, &ui.documentResult, &ui.junkResult, &ui.cookResult}) {
        result->progressor->hide();
        result->infolab->show();
        for (QPushButton* button : {result->exportBtn, result->removeBtn, result->removeAllBtn}) {
            button->setEnabled(true);
            button->show();
        }
    }
}

void PRCleanViewController::openResultView(const CleanResultViewUi& view,
                                           const CleanCategoryRowUi& row, std::uint64_t count) {
    showOnly(view.view);
    view.table->clearSelection();
    view.infolab->setText(foundFilesText(row.sizelab->text(), count));
}

void PRCleanViewController::ClickCacheFileAction(QObject* /*sender*/) {
    ensureBuilt();
    openResultView(ui_->cacheResult, ui_->cache, appResult_ ? appResult_->caches.count() : 0);
}
void PRCleanViewController::ClickDocumentFileAction(QObject* /*sender*/) {
    ensureBuilt();
    openResultView(ui_->documentResult, ui_->document,
                   appResult_ ? appResult_->documents.count() : 0);
}
void PRCleanViewController::ClickJunkFileAction(QObject* /*sender*/) {
    ensureBuilt();
    openResultView(ui_->junkResult, ui_->junk, appResult_ ? appResult_->junk.count() : 0);
}
void PRCleanViewController::ClickCookieFileAction(QObject* /*sender*/) {
    ensureBuilt();
    openResultView(ui_->cookResult, ui_->cook, appResult_ ? appResult_->cookies.count() : 0);
}

void PRCleanViewController::ClickAppAdsFileAction(QObject* /*sender*/) {
    ensureBuilt();
    if (appResult_) {
        adsList_->setContent(nimbara::cleanup::sortedAdsRows(appResult_->adsRemoveArray));
    }
    ui_->adsInfolab->setText(nimbara::cleanup::adsSummaryText(adsList_->content()));
    showcleanAppAdsTableView();
    ui_->AdsTableView->clearSelection();
}

// ------------------------------------------------------------------ app scan

void PRCleanViewController::startScanPhoneApp(QObject* /*sender*/) {
    ensureBuilt();
    if (scanKind_ == ScanKind::App) {
        return;  // pressing the button during the scan does nothing
    }
    if (scanKind_ != ScanKind::None || removalsPending_ > 0) {
        setStatus(QString::fromLatin1(kBusyText));
        return;
    }
    if (bAppCleanerFinish_) {
        confirmRemoveAll();
        return;
    }
    startAppScan();
}

void PRCleanViewController::startAppScan() {
    const int index = cleanDevice();
    const std::uint64_t serial = serialOf(index);
    if (serial == 0) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return;
    }
    setStatus(QString());
    CleanViewUi& ui = *ui_;
    appResult_.reset();
    for (auto* list : {cacheList_, docList_, junkList_, cookList_}) {
        list->clear();
    }
    adsList_->clear();
    resetResultViews();
    ui.appStartBtn->setImage(QStringLiteral("scanDown.png"));
    for (CleanCategoryRowUi* row : {&ui.document, &ui.cache, &ui.junk, &ui.cook, &ui.ads}) {
        setButtonArrow(row->button, false);
        row->sizelab->hide();
        row->pathlab->setText(QString());
        row->pathlab->show();
        row->progress->setProgressValue(0.1f);
    }
    setShown(ui.appFlashView, true);
    ui.appFlashView->startFlash();
    scanKind_ = ScanKind::App;
    startJob([this, index, serial](const StopCheck& stop, const Post& post) {
        nimbara::cleanup::AppCleanScanEngine engine({index, serial, true, true}, stop);
        engine.onProgress = [this, post](float f) { post([this, f] { appProgress(f); }); };
        engine.onPathSeen = [this, post](CleanCategory category, const QString& path) {
            post([this, category, path] { appPathSeen(category, path); });
        };
        engine.onAppVisited = [this, post](const QString& bundleId) {
            post([this, bundleId] {
                ui_->ads.pathlab->setText(nimbara::cleanup::cleanPathLabelText(bundleId));
            });
        };
        auto result = std::make_shared<AppCleanScanResult>(engine.run());
        post([this, result] { appScanFinished(std::move(*result)); });
    });
}

void PRCleanViewController::appPathSeen(CleanCategory category, const QString& path) {
    CleanCategoryRowUi* row = nullptr;
    switch (category) {
        case CleanCategory::Cache:
            row = &ui_->cache;
            break;
        case CleanCategory::Cookie:
            row = &ui_->cook;
            break;
        case CleanCategory::Junk:
            row = &ui_->junk;
            break;
        case CleanCategory::Document:
            row = &ui_->document;
            break;
        default:
            return;
    }
    row->pathlab->setText(nimbara::cleanup::cleanPathLabelText(path));
}

void PRCleanViewController::appProgress(float fraction) {
    for (CleanCategoryRowUi* row :
         {&ui_->document, &ui_->cache, &ui_->junk, &ui_->cook, &ui_->ads}) {
        row->progress->setProgressValue(fraction);
    }
}

void PRCleanViewController::appScanFinished(AppCleanScanResult result) {
    scanKind_ = ScanKind::None;
    CleanViewUi& ui = *ui_;
    ui.appFlashView->stopFlash();
    setShown(ui.appFlashView, false);
    if (result.stopped) {
        resetAppView();
        setStatus(QString::fromLatin1(kStoppedText));
        scanEnded();
        return;
    }
    bAppCleanerFinish_ = true;
    const std::pair<CleanCategoryRowUi*, const nimbara::cleanup::CleanCategoryList*> rows[] = {
        {&ui.document, &result.documents},
        {&ui.cache, &result.caches},
        {&ui.junk, &result.junk},
        {&ui.cook, &result.cookies},
    };
    for (const auto& [row, list] : rows) {
        setButtonArrow(row->button, true);
        row->pathlab->hide();
        row->sizelab->setText(size_to_unit(list->bytes));
        row->sizelab->show();
        row->progress->setProgressValue(1.0f);
    }
    ui.ads.pathlab->hide();
    ui.ads.sizelab->setText(QStringLiteral("%1 built-in ads").arg(result.totalAdsCount));
    ui.ads.sizelab->show();
    ui.ads.progress->setProgressValue(1.0f);
    setButtonArrow(ui.ads.button, true);
    cacheList_->setContent(result.caches.files);
    docList_->setContent(result.documents.files);
    junkList_->setContent(result.junk.files);
    cookList_->setContent(result.cookies.files);
    adsList_->setContent(nimbara::cleanup::sortedAdsRows(result.adsRemoveArray));
    ui.appStartBtn->setImage(QStringLiteral("RemoveBtnNom.png"));
    setStatus(refusalText(result.appsRefused, result.containersRefused));
    appResult_ = std::move(result);
    scanEnded();
}

void PRCleanViewController::confirmRemoveAll() {
    if (!appResult_) {
        return;
    }
    const AppCleanScanResult& r = *appResult_;
    // What goes: every cache, cookie and temporary file, the documents left ticked, and the
    // advertisement caches of the "Live" rows; never the files the device itself needs.
    nimbara::cleanup::AppCleanRemovalSummary summary;
    std::vector<std::shared_ptr<PRCleanDirNode>> documents;
    for (const auto& record : docList_->tickedRows()) {
        if (nimbara::cleanup::isProtectedDeviceFile(record->devicePath())) {
            ++summary.keptFiles;
            continue;
        }
        documents.push_back(record);
    }
    std::uint64_t bytes = 0;
    for (const auto& record : documents) {
        const QString app = record->appDisplayName();
        nimbara::cleanup::addDocument(summary, app.isEmpty() ? record->appBundleName() : app);
        bytes += record->fileSizeNumber();
    }
    summary.keptDocuments = r.documents.count() - docList_->tickedRows().size();
    for (const auto* list : {&r.caches, &r.cookies, &r.junk}) {
        for (const auto& record : list->files) {
            if (nimbara::cleanup::isProtectedDeviceFile(record->devicePath())) {
                ++summary.keptFiles;
            } else {
                ++summary.otherFiles;
                summary.otherBytes += record->fileSizeNumber();
            }
        }
    }
    bytes += summary.otherBytes;
    summary.adApps = static_cast<std::uint64_t>(std::count_if(
        r.adsRemoveArray.begin(), r.adsRemoveArray.end(),
        [](const std::shared_ptr<PRAppAdsRemoveNode>& row) {
            return row->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive);
        }));
    const std::uint64_t files = summary.documents + summary.otherFiles;
    if (files == 0 && summary.adApps == 0) {
        setStatus(summary.keptDocuments > 0
                      ? QStringLiteral("Every document found is unticked: nothing to remove.")
                      : QStringLiteral("The scan found nothing to remove."));
        return;
    }
    nimbara::Alerts::Question question;
    question.message = nimbara::cleanup::removeAllSheetText(files, bytes);
    question.informativeText = nimbara::cleanup::appCleanQuestionText(summary);
    question.defaultButton = QStringLiteral("Remove");
    question.alternateButton = QStringLiteral("Cancel");
    ui_->appStartBtn->setImage(QStringLiteral("RemoveBtnDown.png"));
    const auto answer = nimbara::Alerts::ask(view(), question);
    ui_->appStartBtn->setImage(QStringLiteral("RemoveBtnNom.png"));
    if (answer != nimbara::Alerts::Answer::Default || !appResult_ || scanKind_ != ScanKind::None ||
        removalsPending_ > 0) {
        return;  // declined, or the page was reset or got busy while the question was open
    }
    removeAllApp(documents);
}

// ------------------------------------------------------------------ advertisement caches

void PRCleanViewController::RemoveAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    const QModelIndex current = ui_->AdsTableView->currentIndex();
    const auto node = current.isValid() ? adsList_->rowAt(current.row()) : nullptr;
    if (!node) {
        return;
    }
    if (node->appAdsState() != QLatin1String(PRAppAdsRemoveNode::kStateLive)) {
        nimbara::Alerts::ask(view(), {QString::fromLatin1(nimbara::cleanup::kNoAdsDetectedText),
                                      QString(), QStringLiteral(" Ok "), QString(), QString()});
        return;
    }
    if (scanKind_ != ScanKind::None || removalsPending_ > 0) {
        setStatus(QString::fromLatin1(kBusyText));
        return;
    }
    const auto answer = nimbara::Alerts::ask(
        view(),
        {nimbara::cleanup::adsRemovalQuestion({node}), nimbara::cleanup::adsRemovalDetail({node}),
         QStringLiteral("Remove"), QStringLiteral("Cancel"), QString()});
    if (answer == nimbara::Alerts::Answer::Default && appResult_ && removalsPending_ == 0 &&
        scanKind_ == ScanKind::None) {
        startAdRemoval({node});
    }
}

void PRCleanViewController::RemoveAllAdsAction(QObject* /*sender*/) {
    ensureBuilt();
    std::vector<std::shared_ptr<PRAppAdsRemoveNode>> live;
    for (const auto& row : adsList_->content()) {
        if (row->appAdsState() == QLatin1String(PRAppAdsRemoveNode::kStateLive)) {
            live.push_back(row);
        }
    }
    if (live.empty()) {
        return;
    }
    if (scanKind_ != ScanKind::None || removalsPending_ > 0) {
        setStatus(QString::fromLatin1(kBusyText));
        return;
    }
    const auto answer = nimbara::Alerts::ask(
        view(),
        {nimbara::cleanup::adsRemovalQuestion(live), nimbara::cleanup::adsRemovalDetail(live),
         QStringLiteral("Remove"), QStringLiteral("Cancel"), QString()});
    if (answer == nimbara::Alerts::Answer::Default && appResult_ && removalsPending_ == 0 &&
        scanKind_ == ScanKind::None) {
        startAdRemoval(std::move(live));
    }
}

// ------------------------------------------------------------------ device clean-up

bool PRCleanViewController::showDeviceClean(int deviceIndex) {
    record(QStringLiteral("showDeviceClean(%1)").arg(argument(deviceIndex)));
    cleanDevice_ = deviceIndex;
    ensureBuilt();
    if (scanKind_ != ScanKind::None || removalsPending_ > 0) {
        setStatus(QString::fromLatin1(kBusyText));
        return false;
    }
    const std::uint64_t serial = serialOf(deviceIndex);
    if (serial == 0) {
        setStatus(QString::fromLatin1(kNoDeviceText));
        return false;
    }
    setStatus(QString());
    clearDeviceClean();
    ui_->mainInfolab->setText(QStringLiteral("Scanning..."));
    ui_->mainScanBtn->setEnabled(false);
    scanKind_ = ScanKind::Device;
    startJob([this, deviceIndex, serial](const StopCheck& stop, const Post& post) {
        nimbara::cleanup::DeviceCleanScanEngine engine(deviceIndex, serial, stop);
        engine.onTreeFile = [this, post](CleanCategory category,
                                         const std::shared_ptr<PRCleanDirNode>& record) {
            post([this, category, record] { deviceTreeFile(category, record); });
        };
        engine.onSyncFailedFile = [this, post](const std::shared_ptr<PRCleanFileNode>& record) {
            post([this, record] { deviceSyncFile(record); });
        };
        engine.onProgress = [post](int percent) {
            post([percent] {
                nimbara::NotificationCenter::defaultCenter().post(
                    nimbara::cleanup::kCleanFileProgressInfo, percent);
            });
        };
        engine.onSizes = [this, post](const std::array<std::uint64_t, 3>& sizes) {
            post([this, sizes] {
                deviceSizes_ = sizes;
                showDeviceFigures();
                nimbara::NotificationCenter::defaultCenter().post(
                    nimbara::cleanup::kAddCleanFileSizeThreadProgressInfo, sizes);
            });
        };
        auto result = std::make_shared<DeviceCleanScanResult>(engine.run());
        post([this, result] { deviceScanFinished(std::move(*result)); });
    });
    return true;
}

void PRCleanViewController::clearDeviceClean() {
    deviceResult_.reset();
    for (PRAppTreeController* tree : {&junkTree_, &cacheTree_, &cookTree_}) {
        tree->clear();
    }
    syncFailedFileArray_.clear();
    syncList_->clear();
    deviceSizes_ = {};
    deviceCounts_ = {};
    syncfailedFileSize_ = 0;
    if (built()) {
        ui_->mainInfolab->setText(
            QStringLiteral("Scan the apps' caches, cookies and temporary "
                           "files, and media left by syncs that failed."));
        ui_->mainScanBtn->setEnabled(true);
        showDeviceFigures();
    }
}

PRCleanViewController::TreeParts* PRCleanViewController::treeOf(CleanCategory category) {
    for (auto& parts : trees_) {
        if (parts->category == category) {
            return parts.get();
        }
    }
    return nullptr;
}

void PRCleanViewController::deviceTreeFile(CleanCategory category,
                                           const std::shared_ptr<PRCleanDirNode>& record) {
    if (TreeParts* parts = treeOf(category)) {
        parts->tree->addTreeNode(record, true);
        ++deviceCounts_[parts->slot];
    }
}

void PRCleanViewController::deviceSyncFile(const std::shared_ptr<PRCleanFileNode>& record) {
    syncFailedFileArray_.push_back(record);
    syncfailedFileSize_ += record->fileSizeNumber();
    syncList_->append(record);
    showDeviceFigures();
}

void PRCleanViewController::deviceScanFinished(DeviceCleanScanResult result) {
    scanKind_ = ScanKind::None;
    ui_->mainScanBtn->setEnabled(true);
    const bool stopped = result.stopped;
    const std::uint64_t total = result.totalFileSize;
    QString status = refusalText(result.appsRefused, result.containersRefused, result.mediaRefused);
    if (stopped) {
        status = QString::fromLatin1(kStoppedText);
    }
    deviceSizes_ = result.categorySizes();
    syncfailedFileSize_ = result.syncfailedFileSize;
    deviceResult_ = std::move(result);
    showDeviceFigures();
    setStatus(status);
    scanEnded();
    if (!stopped) {
        nimbara::NotificationCenter::defaultCenter().post(nimbara::cleanup::kCleanFilehasFinished,
                                                          total);
    }
}

void PRCleanViewController::showDeviceFigures() {
    if (!built()) {
        return;
    }
    CleanViewUi& ui = *ui_;
    ui.mainJunkBtn->setText(QStringLiteral("Temp Files (%1)").arg(size_to_unit(deviceSizes_[0])));
    ui.mainCacheBtn->setText(QStringLiteral("Cache (%1)").arg(size_to_unit(deviceSizes_[1])));
    ui.mainCookBtn->setText(QStringLiteral("Cookie (%1)").arg(size_to_unit(deviceSizes_[2])));
    ui.mainMediaBtn->setText(
        QStringLiteral("Sync-failed Media (%1)").arg(size_to_unit(syncfailedFileSize_)));
    ui.junkView.infolab->setText(foundFilesText(size_to_unit(deviceSizes_[0]), deviceCounts_[0]));
    ui.cacheView.infolab->setText(foundFilesText(size_to_unit(deviceSizes_[1]), deviceCounts_[1]));
    ui.cookView.infolab->setText(foundFilesText(size_to_unit(deviceSizes_[2]), deviceCounts_[2]));
    ui.mediaInfolab->setText(
        foundFilesText(size_to_unit(syncfailedFileSize_), syncFailedFileArray_.size()));
    if (deviceResult_ && scanKind_ == ScanKind::None) {
        ui.mainInfolab->setText(QStringLiteral("%1 files found, %2 in all.")
                                    .arg(deviceResult_->totalFileNumber)
                                    .arg(size_to_unit(deviceResult_->totalFileSize)));
    }
}

std::uint64_t PRCleanViewController::GetCleanTaotalFileSize() const {
    return deviceResult_ ? deviceResult_->totalFileSize : 0;
}

std::uint64_t PRCleanViewController::GetCleanTaotalFileNumber() const {
    return deviceResult_ ? deviceResult_->totalFileNumber : 0;
}

void PRCleanViewController::showCleanMainView() {
    showOnly(cleanUi().cleanMainView);
}
void PRCleanViewController::showCleanJunkView() {
    showOnly(cleanUi().junkView.view);
}
void PRCleanViewController::showCleanCacheview() {
    showOnly(cleanUi().cacheView.view);
}
void PRCleanViewController::showCleanCookView() {
    showOnly(cleanUi().cookView.view);
}
void PRCleanViewController::showCleanMediaView() {
    showOnly(cleanUi().cleanMediaView);
    ui_->syncFailedTableView->clearSelection();
}

void PRCleanViewController::refreshOutlineView() {
    if (!built()) {
        return;
    }
    for (auto& parts : trees_) {
        if (parts->outline->rowCount() > 0) {
            parts->ui->outline->expand(parts->outline->index(0, 0));
        }
    }
}

void PRCleanViewController::outlineViewSelectionDidChange(QTreeView* outline) {
    for (auto& parts : trees_) {
        if (parts->ui == nullptr || parts->ui->outline != outline) {
            continue;
        }
        const QModelIndex current = outline->currentIndex();
        if (!current.isValid() || parts->tree->BRefreshTreeFlag()) {
            return;
        }
        parts->files->setFolder(parts->outline->folderAt(current));
        parts->ui->table->clearSelection();
        return;
    }
}

void PRCleanViewController::menuNeedsUpdate(QMenu* menu, bool onRow) {
    if (menu == nullptr) {
        return;
    }
    for (QAction* action : menu->actions()) {
        action->setEnabled(onRow);
    }
}
