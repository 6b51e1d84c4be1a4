#include "cleanup/pages/pr_find_large_file_view_controller.h"

#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "cleanup/app_archive_jobs.h"
#include "cleanup/app_clean_scan_walk.h"
#include "cleanup/clean_export.h"
#include "cleanup/clean_removal_queue.h"
#include "cleanup/protected_files.h"
#include "cleanup/removal_texts.h"
#include "device/app_service.h"
#include "device/device_manager.h"
#include "platform/main_thread.h"
#include "ui/alerts.h"
#include "ui/control_notifications.h"
#include "ui/core/byte_arithmetic.h"
#include "ui/core/text_utilities.h"
#include "ui/flash_view.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/save_panel.h"
#include "ui/window_builders.h"

using nimbara::cleanup::CleanCategory;
using nimbara::cleanup::CleanDeviceTarget;
using nimbara::cleanup::CleanItem;
using nimbara::cleanup::CleanRemovalReport;
using nimbara::shell::size_to_unit;

namespace {

using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;
constexpr int kTitlePoints = 16;
const QColor kSlate{96, 110, 128};

const char kReinstalling[] = "reinstalling...";
const char kNoDeviceText[] = "No device is connected. Connect your device and try again.";
const char kDeviceGoneText[] =
    "The device that was scanned was disconnected. Connect it and scan again.";
const char kNoExportFolder[] =
    "No export folder is set. Choose one in the preferences and try again.";

QPushButton* makeButton(QWidget* parent, const char* name, const QString& title) {
    auto* button = named(new QPushButton(title, parent), name);
    button->setFont(nimbara::ui::appFont(kInfoPoints));
    return button;
}

template <class Button>
Button* makeNotifyingButton(QWidget* parent, const char* name, const QString& title) {
    auto* button = named(new Button(parent), name);
    button->setText(title);
    button->setFont(nimbara::ui::appFont(kInfoPoints));
    return button;
}

QTableView* makeTable(QWidget* parent, const char* name, PRLargeFileRecordsController* controller) {
    QTableView* table = nimbara::ui::build::makeRecordTable(parent, name, true, kInfoPoints);
    table->setModel(controller);
    table->setIconSize(QSize(18, 18));
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    table->setColumnWidth(0, 28);
    if (controller->kind() == PRLargeFileRecordsController::Kind::UserFiles) {
        table->setColumnWidth(1, 220);
        table->setColumnWidth(2, 90);
    } else {
        table->setColumnWidth(1, 190);
        for (int column = 2; column < 6; ++column) {
            table->setColumnWidth(column, 86);
        }
    }
    return table;
}

// The path label's text: whole up to 35 characters, else "..." and the last 34.
QString pathLabelText(const QString& path) {
    return path.size() <= 35 ? path : QStringLiteral("...") + path.right(34);
}

bool isSettled(nimbara::cleanup::CleanItemOutcome outcome) {
    return outcome == nimbara::cleanup::CleanItemOutcome::Removed ||
           outcome == nimbara::cleanup::CleanItemOutcome::Gone;
}

void eraseRecords(PRFindLargeFileViewController::List& list,
                  const std::set<const PRLargeFileNode*>& gone) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&gone](const std::shared_ptr<PRLargeFileNode>& r) {
                                  return gone.count(r.get()) > 0;
                              }),
               list.end());
}

// "1 file" / "3 files".
QString filesText(std::uint64_t count) {
    return count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count);
}

}  // namespace

// ------------------------------------------------------------------ life cycle

PRFindLargeFileViewController::PRFindLargeFileViewController(nimbara::ui::PageHost& host,
                                                             QObject* parent)
    : PageControllerBase(host, "PRFindLargeFileViewController", QStringLiteral("Find Large Files"),
                         parent),
      userLarge_(
          new PRLargeFileRecordsController(PRLargeFileRecordsController::Kind::UserFiles, this)),
      userBig_(
          new PRLargeFileRecordsController(PRLargeFileRecordsController::Kind::UserFiles, this)),
      appLarge_(new PRLargeFileRecordsController(PRLargeFileRecordsController::Kind::Apps, this)),
      appBig_(new PRLargeFileRecordsController(PRLargeFileRecordsController::Kind::Apps, this)),
      jobs_(std::make_unique<nimbara::cleanup::CleanJobQueue>()) {
    auto& nc = nimbara::NotificationCenter::defaultCenter();
    observers_.add(nc.addObserver("MyLargeFileButtonMouseDown",
                                  [this](const auto& n) { MyLargeFileButtonMouseDownHandle(n); }));
    observers_.add(nc.addObserver("TheImageTextCellHavebeenDown", [this](const auto& n) {
        TheImageTextCellHavebeenDownHandle(n);
    }));
    observers_.add(nc.addObserver("PRbuttonMouseEntered",
                                  [this](const auto& n) { PRbuttonMouseEnteredHandle(n); }));
    observers_.add(nc.addObserver("PRbuttonMouseExited",
                                  [this](const auto& n) { PRbuttonMouseExitedHandle(n); }));
    // A departed device takes its results with it, whatever the delegate does next (when the
    // last device goes, no other device is chosen and the page is told nothing).
    watchDeviceDetach();
}

void PRFindLargeFileViewController::deviceDetached(int index) {
    if (index < 0 || index != scanIndex_ || (!bScanStarted_ && !bScanFinished_)) {
        return;
    }
    initAllDataAndAllView();
    if (ui_) {
        ui_->scanStatuslab->setText(QString::fromLatin1(kDeviceGoneText));
        ui_->scanStatuslab->show();
    }
}

PRFindLargeFileViewController::~PRFindLargeFileViewController() {
    observers_.clear();
    jobs_.reset();  // a job still running ends on its own; nothing waits for it
    delete uiRoot_.data();
    ui_.reset();
}

void PRFindLargeFileViewController::setDeviceIndex(int index) {
    record(QStringLiteral("setDeviceIndex(%1)").arg(argument(index)));
    deviceIndex_ = index;
}

void PRFindLargeFileViewController::deviceChanged(const amd::DeviceTarget& target) {
    if (target.deviceIndex >= 0) {
        setDeviceIndex(target.deviceIndex);
    }
    initAllDataAndAllView();
}

void PRFindLargeFileViewController::initAllDataAndAllView() {
    record(QStringLiteral("initAllDataAndAllView()"));
    jobs_->reset();  // what the jobs posted so far still report is dropped
    pending_ = 0;
    allDocumentFileSize_ = 0;
    allAppFileSize_ = 0;
    bScanStarted_ = false;
    bScanFinished_ = false;
    scanIndex_ = -1;
    scanSerial_ = 0;
    lastSelectedIndex_ = -1;
    largeAdvice_.reset();
    bigAdvice_.reset();
    currentTable_ = nullptr;
    userDataLargeFileArray_.clear();
    userDataBigFileArray_.clear();
    appLargeFileArray_.clear();
    appBigFileArray_.clear();
    for (auto* controller : {userLarge_, userBig_, appLarge_, appBig_}) {
        controller->removeAllObjects();
    }
    resultText_.clear();
    if (!ui_) {
        return;
    }
    FindLargeFileUi& ui = *ui_;
    backToMainTableView();
    ui.theFlashView->stopFlash();
    ui.theFlashView->hide();
    spinning_ = 0;
    for (FlashView* spinner : {ui.userDataExportprogressor, ui.appDataExportProgressor}) {
        spinner->stopFlash();
        spinner->hide();
    }
    ui.startScanBtn->setImage(QStringLiteral("scanNom.png"));
    ui.startScanBtn->setEnabled(true);
    for (QLabel* label : {ui.userDataFileSizelab, ui.appDataFileSizelab}) {
        label->setText(QString());
        label->hide();
    }
    for (QLabel* label : {ui.userDataFilelab, ui.appDataFilelab}) {
        label->setText(QString());
    }
    for (QPushButton* arrow : {ui.userBtn, ui.appBtn}) {
        arrow->setEnabled(false);
        static_cast<nimbara::ui::ImageButton*>(arrow)->setImage(
            QStringLiteral("arrowrightUnNom.png"));
    }
    ui.userDataProgress->setProgressValue(0);
    ui.appDataProgress->setProgressValue(0);
    for (QLabel* tip : {ui.showlargeuserdatatip, ui.showbiguserdatatip, ui.appActiontipLab}) {
        tip->hide();
    }
    ui.scanStatuslab->hide();
    setResult(QString(), ResultList::UserFiles);
}

// ------------------------------------------------------------------ widgets

FindLargeFileUi& PRFindLargeFileViewController::finderUi() {
    ensureBuilt();
    return *ui_;
}

void PRFindLargeFileViewController::ensureBuilt() {
    if (ui_ && uiRoot_) {
        return;
    }
    buildUi();
    wire();
}

void PRFindLargeFileViewController::viewShown() {
    ensureBuilt();
    FindLargeFileUi& ui = *ui_;
    showMainTableView();
    ui.showlargeuserdatatip->hide();
    ui.showbiguserdatatip->hide();
    lastSelectedIndex_ = -1;
    largeAdvice_.reset();
    bigAdvice_.reset();
    if (bScanStarted_ || bScanFinished_) {
        return;  // shown again: what the scan found stays offered
    }
    ui.userDataFileSizelab->hide();
    ui.appDataFileSizelab->hide();
    for (QPushButton* arrow : {ui.userBtn, ui.appBtn}) {
        arrow->setEnabled(false);
        static_cast<nimbara::ui::ImageButton*>(arrow)->setImage(
            QStringLiteral("arrowrightUnNom.png"));
    }
    ui.theFlashView->hide();
}

void PRFindLargeFileViewController::buildUi() {
    ui_ = std::make_unique<FindLargeFileUi>();
    FindLargeFileUi& ui = *ui_;
    QWidget* root = view();
    ui.view = named(new QWidget(root), "PRFineLargeView");
    uiRoot_ = ui.view;
    showPageView(ui.view);
    auto* rootLayout = new QVBoxLayout(ui.view);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    ui.stack = named(new QStackedWidget(ui.view), "finderStack");
    rootLayout->addWidget(ui.stack);

    // ---- main view: the two entries
    ui.mainTableView = named(new QWidget(ui.stack), "mainTableView");
    auto* main = new QVBoxLayout(ui.mainTableView);
    main->setContentsMargins(24, 18, 24, 16);
    main->setSpacing(12);
    main->addWidget(makeLabel(ui.mainTableView, "finderTitlelab",
                              QStringLiteral("Find Large Files"), kTitlePoints,
                              nimbara::ui::build::kText, true));
    main->addWidget(makeLabel(
        ui.mainTableView, "finderInfolab",
        QStringLiteral("Find the large files and apps that take up the space on your device."),
        kInfoPoints, kSlate));
    const auto entry = [&](const char* head, const QString& title, const char* pathName,
                           const char* sizeName, const char* progressName, const char* arrowName,
                           QLabel*& path, QLabel*& size, PRProgressView*& progress,
                           QPushButton*& arrow) {
        auto* row = new QWidget(ui.mainTableView);
        row->setObjectName(QLatin1String(head));
        auto* grid = new QGridLayout(row);
        grid->setContentsMargins(0, 6, 0, 6);
        auto* bar = makeImageView(row, "", QStringLiteral("tabHeadImage"));
        bar->setFixedSize(6, 40);
        grid->addWidget(bar, 0, 0, 2, 1);
        grid->addWidget(makeLabel(row, "", title, 13, nimbara::ui::build::kText, true), 0, 1);
        progress = named(new PRProgressView(row), progressName);
        progress->setMinimumWidth(260);
        progress->setFixedHeight(12);
        grid->addWidget(progress, 1, 1);
        path = makeLabel(row, pathName, QString(), kInfoPoints, kSlate);
        path->setMinimumWidth(280);
        grid->addWidget(path, 1, 2);
        size = makeLabel(row, sizeName, QString(), 13, nimbara::ui::build::kText, true);
        size->setMinimumWidth(100);
        grid->addWidget(size, 0, 2);
        auto* button = named(new nimbara::ui::ImageButton(row), arrowName);
        button->setImage(QStringLiteral("arrowrightUnNom.png"));
        button->setFixedSize(28, 28);
        button->setEnabled(false);
        arrow = button;
        grid->addWidget(arrow, 0, 3, 2, 1);
        grid->setColumnStretch(2, 1);
        main->addWidget(row);
    };
    entry("userDataEntry", QStringLiteral("User Files"), "userDataFilelab", "userDataFileSizelab",
          "userDataProgress", "userBtn", ui.userDataFilelab, ui.userDataFileSizelab,
          ui.userDataProgress, ui.userBtn);
    entry("appDataEntry", QStringLiteral("Apps"), "appDataFilelab", "appDataFileSizelab",
          "appDataProgress", "appBtn", ui.appDataFilelab, ui.appDataFileSizelab, ui.appDataProgress,
          ui.appBtn);
    main->addStretch(1);
    ui.scanStatuslab =
        makeLabel(ui.mainTableView, "scanStatuslab", QString(), kInfoPoints, QColor(170, 60, 40));
    ui.scanStatuslab->setWordWrap(true);
    ui.scanStatuslab->hide();
    main->addWidget(ui.scanStatuslab);
    auto* bottom = new QHBoxLayout();
    ui.theFlashView = named(new FlashView(ui.mainTableView), "theFlashView");
    ui.theFlashView->hide();
    bottom->addStretch(1);
    bottom->addWidget(ui.theFlashView);
    ui.startScanBtn = named(new PRLargeFileButton(ui.mainTableView), "startScanBtn");
    ui.startScanBtn->setImage(QStringLiteral("scanNom.png"));
    ui.startScanBtn->setFixedSize(150, 44);
    bottom->addWidget(ui.startScanBtn);
    bottom->addStretch(1);
    main->addLayout(bottom);
    ui.stack->addWidget(ui.mainTableView);

    // ---- detail views
    const auto detail = [&](const char* viewName, const QString& title, const char* backName,
                            QPushButton*& back, const char* largeHead, QLabel*& largeHeadView,
                            const char* largeName, QTableView*& largeTable,
                            PRLargeFileRecordsController* largeController, const char* bigHead,
                            QLabel*& bigHeadView, const char* bigName, QTableView*& bigTable,
                            PRLargeFileRecordsController* bigController, const QString& what) {
        auto* page = named(new QWidget(ui.stack), viewName);
        auto* layout = new QVBoxLayout(page);
        layout->setContentsMargins(20, 12, 20, 12);
        layout->setSpacing(6);
        auto* top = new QHBoxLayout();
        back = makeButton(page, backName, QStringLiteral("Back"));
        top->addWidget(back);
        top->addWidget(makeLabel(page, "", title, kTitlePoints, nimbara::ui::build::kText, true));
        top->addStretch(1);
        layout->addLayout(top);
        const auto head = [&](const char* name, QLabel*& image, const QString& caption) {
            auto* line = new QHBoxLayout();
            image = makeImageView(page, name, QStringLiteral("tabHeadImage.png"));
            image->setFixedSize(6, 18);
            line->addWidget(image);
            line->addWidget(makeLabel(page, "", caption, 12, nimbara::ui::build::kText, true));
            line->addStretch(1);
            layout->addLayout(line);
        };
        head(largeHead, largeHeadView, QStringLiteral("Large %1 (up to 100 MB)").arg(what));
        largeTable = makeTable(page, largeName, largeController);
        layout->addWidget(largeTable, 1);
        head(bigHead, bigHeadView, QStringLiteral("Big %1 (above 100 MB)").arg(what));
        bigTable = makeTable(page, bigName, bigController);
        layout->addWidget(bigTable, 1);
        ui.stack->addWidget(page);
        return std::make_pair(page, layout);
    };
    auto [userPage, userLayout] =
        detail("userDataLargerFileView", QStringLiteral("User Files"), "userDataBackBtn",
               ui.userDataBackBtn, "userDataLargeHeadImageView", ui.userDataLargeHeadImageView,
               "userDataLargeTableView", ui.userDataLargeTableView, userLarge_,
               "userDataBigHeadImageView", ui.userDataBigHeadImageView, "userDataBigTableView",
               ui.userDataBigTableView, userBig_, QStringLiteral("files"));
    ui.userDataLargerFileView = userPage;
    ui.showlargeuserdatatip =
        makeLabel(userPage, "showlargeuserdatatip", QString(), kInfoPoints, kSlate);
    ui.showbiguserdatatip =
        makeLabel(userPage, "showbiguserdatatip", QString(), kInfoPoints, kSlate);
    for (QLabel* tip : {ui.showlargeuserdatatip, ui.showbiguserdatatip}) {
        tip->setWordWrap(true);
        tip->hide();
    }
    userLayout->insertWidget(3, ui.showlargeuserdatatip);
    userLayout->addWidget(ui.showbiguserdatatip);
    auto* userButtons = new QHBoxLayout();
    ui.userDataResultlab = makeLabel(userPage, "userDataResultlab", QString(), kInfoPoints);
    ui.userDataResultlab->setWordWrap(true);
    ui.userDataResultlab->hide();
    userButtons->addWidget(ui.userDataResultlab, 1);
    userButtons->addStretch();
    ui.userDataExportprogressor = named(new FlashView(userPage), "userDataExportprogressor");
    ui.userDataExportprogressor->hide();
    userButtons->addWidget(ui.userDataExportprogressor);
    ui.userDataExportBtn = makeButton(userPage, "userDataExportBtn", QStringLiteral("Export"));
    ui.userDataRemoveBtn = makeButton(userPage, "userDataRemoveBtn", QStringLiteral("Delete"));
    userButtons->addWidget(ui.userDataExportBtn);
    userButtons->addWidget(ui.userDataRemoveBtn);
    userLayout->addLayout(userButtons);

    auto [appPage, appLayout] = detail(
        "appLargerFileView", QStringLiteral("Apps"), "appDataBackBtn", ui.appDataBackBtn,
        "appDataLargeHeadImageView", ui.appDataLargeHeadImageView, "appLargeTableView",
        ui.appLargeTableView, appLarge_, "appDataBigHeadImageView", ui.appDataBigHeadImageView,
        "appBigTableView", ui.appBigTableView, appBig_, QStringLiteral("apps and app files"));
    ui.appLargerFileView = appPage;
    ui.appActiontipLab = makeLabel(appPage, "appActiontipLab", QString(), kInfoPoints, kSlate);
    ui.appActiontipLab->hide();
    appLayout->addWidget(ui.appActiontipLab);
    auto* appButtons = new QHBoxLayout();
    ui.appDataResultlab = makeLabel(appPage, "appDataResultlab", QString(), kInfoPoints);
    ui.appDataResultlab->setWordWrap(true);
    ui.appDataResultlab->hide();
    appButtons->addWidget(ui.appDataResultlab, 1);
    appButtons->addStretch();
    ui.appDataExportProgressor = named(new FlashView(appPage), "appDataExportProgressor");
    ui.appDataExportProgressor->hide();
    appButtons->addWidget(ui.appDataExportProgressor);
    ui.appFileExportBtn =
        makeButton(appPage, "appFileExportBtn", QStringLiteral("Export App Files"));
    ui.appDataRemoveBtn = makeButton(appPage, "appDataRemoveBtn", QStringLiteral("Clean"));
    ui.appDataExportBtn =
        makeNotifyingButton<PRButton>(appPage, "appDataExportBtn", QStringLiteral("Reinstall"));
    ui.appDataArchiveBtn =
        makeNotifyingButton<PRButton>(appPage, "appDataArchiveBtn", QStringLiteral("Archive"));
    ui.AppuninstallBtn =
        makeNotifyingButton<PRButton>(appPage, "AppuninstallBtn", QStringLiteral("Uninstall"));
    for (QPushButton* button :
         {ui.appFileExportBtn, ui.appDataRemoveBtn, static_cast<QPushButton*>(ui.appDataExportBtn),
          static_cast<QPushButton*>(ui.appDataArchiveBtn),
          static_cast<QPushButton*>(ui.AppuninstallBtn)}) {
        appButtons->addWidget(button);
    }
    appLayout->addLayout(appButtons);
    showMainTableView();
}

void PRFindLargeFileViewController::wire() {
    FindLargeFileUi& ui = *ui_;
    const auto click = [this](QPushButton* button,
                              void (PRFindLargeFileViewController::*action)(QObject*)) {
        connect(button, &QPushButton::clicked, this,
                [this, button, action] { (this->*action)(button); });
    };
    click(ui.userBtn, &PRFindLargeFileViewController::ClickUserDataFileAction);
    click(ui.appBtn, &PRFindLargeFileViewController::ClickAppDataFileAction);
    click(ui.userDataBackBtn, &PRFindLargeFileViewController::backToMainTableView);
    click(ui.appDataBackBtn, &PRFindLargeFileViewController::backToMainTableView);
    click(ui.userDataRemoveBtn, &PRFindLargeFileViewController::ClickuserDataRemoveAction);
    click(ui.userDataExportBtn, &PRFindLargeFileViewController::ExportUserDataAction);
    click(ui.appDataRemoveBtn, &PRFindLargeFileViewController::ClickAppRemoveAction);
    click(ui.appFileExportBtn, &PRFindLargeFileViewController::ExportAppDataAction);
    click(ui.appDataExportBtn, &PRFindLargeFileViewController::ClickAppReinstallAction);
    click(ui.appDataArchiveBtn, &PRFindLargeFileViewController::ClickAppArchiveAction);
    click(ui.AppuninstallBtn, &PRFindLargeFileViewController::ClickAppUninstallAction);
    for (QTableView* table : {ui.userDataLargeTableView, ui.userDataBigTableView,
                              ui.appLargeTableView, ui.appBigTableView}) {
        connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                [this, table] { tableViewSelectionDidChange(table); });
        // The info image of a user table's row posts the cell's notification with its table.
        connect(table, &QTableView::clicked, this, [table](const QModelIndex& index) {
            if (index.column() == PRLargeFileRecordsController::kImageColumn) {
                nimbara::ui::postControlNotification("TheImageTextCellHavebeenDown", table);
            }
        });
    }
}

void PRFindLargeFileViewController::showOnly(QWidget* shown) {
    ensureBuilt();
    ui_->stack->setCurrentWidget(shown);
}

void PRFindLargeFileViewController::showMainTableView() {
    showOnly(ui_ ? ui_->mainTableView : finderUi().mainTableView);
}

void PRFindLargeFileViewController::showUserDataLargerFileView() {
    showOnly(finderUi().userDataLargerFileView);
}

void PRFindLargeFileViewController::showAppLargerFileView() {
    showOnly(finderUi().appLargerFileView);
}

void PRFindLargeFileViewController::backToMainTableView(QObject*) {
    showMainTableView();
}

QString PRFindLargeFileViewController::shownView() const {
    if (!ui_ || !ui_->stack->currentWidget()) {
        return QString();
    }
    return ui_->stack->currentWidget()->objectName();
}

void PRFindLargeFileViewController::setResult(const QString& text, ResultList list) {
    // A sentence tells of the list it was made on: the other detail view shows none.
    resultText_ = text;
    if (!ui_) {
        return;
    }
    const std::pair<QLabel*, ResultList> labels[] = {
        {ui_->userDataResultlab, ResultList::UserFiles}, {ui_->appDataResultlab, ResultList::Apps}};
    for (const auto& [label, of] : labels) {
        const QString shown = of == list ? text : QString();
        label->setText(shown);
        label->setVisible(!shown.isEmpty());
    }
}

void PRFindLargeFileViewController::refreshSizeLabels() {
    if (!ui_ || !bScanFinished_) {
        return;
    }
    ui_->userDataFileSizelab->setText(QStringLiteral(" ") + size_to_unit(allDocumentFileSize_));
    ui_->appDataFileSizelab->setText(QStringLiteral(" ") + size_to_unit(allAppFileSize_));
}

void PRFindLargeFileViewController::spin(FlashView* spinner, bool on) {
    if (on) {
        ++spinning_;
        spinner->show();
        spinner->startFlash();
        return;
    }
    spinning_ = std::max(0, spinning_ - 1);
    spinner->stopFlash();
    spinner->hide();
}

// ------------------------------------------------------------------ scan

void PRFindLargeFileViewController::MyLargeFileButtonMouseDownHandle(
    const nimbara::Notification& notification) {
    if (ui_ && notification.objectAs<QObject*>() == ui_->startScanBtn) {
        StartScanAction();
    }
}

void PRFindLargeFileViewController::StartScanAction() {
    startScan(true);
}

void PRFindLargeFileViewController::startScanFindLargeFileAction(QObject*) {
    startScan(false);
}

void PRFindLargeFileViewController::startScan(bool withViews) {
    largeFileSize_ = host().largeFileLimit();
    if (bScanStarted_ || bScanFinished_) {
        return;
    }
    ensureBuilt();
    const int index = deviceIndex();
    const std::uint64_t serial = amd::DeviceManager::GetInstance().DeviceSerial(index);
    if (serial == 0) {
        ui_->scanStatuslab->setText(QString::fromLatin1(kNoDeviceText));
        ui_->scanStatuslab->show();
        return;
    }
    FindLargeFileUi& ui = *ui_;
    ui.scanStatuslab->hide();
    scanIndex_ = index;
    scanSerial_ = serial;
    bScanStarted_ = true;
    ui.startScanBtn->setImage(QStringLiteral("scanDown.png"));
    ui.startScanBtn->setEnabled(false);
    if (withViews) {
        ui.theFlashView->show();
        ui.theFlashView->startFlash();
        for (QLabel* label : {ui.userDataFilelab, ui.appDataFilelab}) {
            label->setText(QString());
            label->show();
        }
        ui.userDataFileSizelab->hide();
        ui.appDataFileSizelab->hide();
        ui.userBtn->setEnabled(false);
        ui.appBtn->setEnabled(false);
    }
    const std::uint64_t limit = largeFileSize_;
    QPointer<PRFindLargeFileViewController> self(this);
    const std::uint64_t generation = jobs_->generation();
    // Steps from the worker reach the views only while the scan is still the page's.
    const auto onMain = [self, generation](std::function<void(PRFindLargeFileViewController&)> f) {
        nimbara::postToMain([self, generation, f = std::move(f)] {
            if (self && self->jobs_->isCurrent(generation) && self->ui_) {
                f(*self);
            }
        });
    };
    post([index, serial, limit, onMain](const std::function<bool()>& stop) {
        nimbara::cleanup::LargeFileScanEngine::Sink sink;
        sink.userPath = [onMain](const QString& path) {
            onMain([path](auto& page) { page.ui_->userDataFilelab->setText(pathLabelText(path)); });
        };
        sink.appPath = [onMain](const QString& path) {
            onMain([path](auto& page) { page.ui_->appDataFilelab->setText(pathLabelText(path)); });
        };
        sink.userProgress = [onMain](float f) {
            onMain([f](auto& page) { page.ui_->userDataProgress->setProgressValue(f); });
        };
        sink.appProgress = [onMain](float f) {
            onMain([f](auto& page) { page.ui_->appDataProgress->setProgressValue(f); });
        };
        nimbara::cleanup::LargeFileScanEngine engine({index, serial, limit, true}, stop,
                                                     std::move(sink));
        auto result = std::make_shared<nimbara::cleanup::LargeFileScanResult>(engine.run());
        return Done(
            [result](PRFindLargeFileViewController& page) { page.scanEnded(std::move(*result)); });
    });
}

void PRFindLargeFileViewController::scanEnded(nimbara::cleanup::LargeFileScanResult result) {
    if (result.deviceIndex != scanIndex_ || result.deviceSerial != scanSerial_) {
        return;  // another device's scan: never shown here, nor ends this device's spinner
    }
    FindLargeFileUi& ui = *ui_;
    // However the scan ended, its spinner stops and leaves the view.
    ui.theFlashView->stopFlash();
    ui.theFlashView->hide();
    userDataLargeFileArray_ = std::move(result.userDataLargeFileArray);
    userDataBigFileArray_ = std::move(result.userDataBigFileArray);
    appLargeFileArray_ = std::move(result.appLargeFileArray);
    appBigFileArray_ = std::move(result.appBigFileArray);
    allDocumentFileSize_ = result.allDocumentFileSize;
    allAppFileSize_ = result.allAppFileSize;
    bScanFinished_ = true;
    refreshSizeLabels();
    // The user files' and the apps' finishing steps: each only when its step ran to its end.
    if (result.userFilesDone) {
        ui.userDataFileSizelab->show();
        ui.userBtn->setEnabled(true);
        static_cast<nimbara::ui::ImageButton*>(ui.userBtn)
            ->setImage(QStringLiteral("arrowright.png"));
        ui.userDataFilelab->hide();
    }
    if (result.appsDone) {
        ui.appDataFileSizelab->show();
        ui.appBtn->setEnabled(true);
        static_cast<nimbara::ui::ImageButton*>(ui.appBtn)->setImage(
            QStringLiteral("arrowright.png"));
        ui.appDataFilelab->hide();
    }
    ui.startScanBtn->setImage(QStringLiteral("doneNom.png"));
    QStringList problems;
    if (result.stopped) {
        problems << QStringLiteral("The device was disconnected before the scan finished.");
    }
    if (result.filesRefused != 0) {
        problems << QStringLiteral("The device did not let us look at its files (code %1).")
                        .arg(result.filesRefused);
    }
    if (result.appsRefused != 0) {
        problems << QStringLiteral("The device did not list its apps (code %1).")
                        .arg(result.appsRefused);
    }
    ui.scanStatuslab->setText(problems.join(QLatin1Char(' ')));
    ui.scanStatuslab->setVisible(!problems.isEmpty());
}

// ------------------------------------------------------------------ views and tables

void PRFindLargeFileViewController::ClickUserDataFileAction(QObject*) {
    showUserDataLargerFileView();
    userLarge_->setArrangedObjects(nimbara::cleanup::sortedUserFiles(userDataLargeFileArray_));
    userBig_->setArrangedObjects(nimbara::cleanup::sortedUserFiles(userDataBigFileArray_));
    ui_->userDataLargeTableView->clearSelection();
    ui_->userDataBigTableView->clearSelection();
}

void PRFindLargeFileViewController::ClickAppDataFileAction(QObject*) {
    showAppLargerFileView();
    appLarge_->setArrangedObjects(nimbara::cleanup::sortedAppRecords(appLargeFileArray_));
    appBig_->setArrangedObjects(nimbara::cleanup::sortedAppRecords(appBigFileArray_));
    ui_->appLargeTableView->clearSelection();
    ui_->appBigTableView->clearSelection();
}

void PRFindLargeFileViewController::tableViewSelectionDidChange(QTableView* table) {
    if (isUserTable(table) || isAppTable(table)) {
        currentTable_ = table;
    }
}

void PRFindLargeFileViewController::TheImageTextCellHavebeenDownHandle(
    const nimbara::Notification& notification) {
    if (!ui_) {
        return;
    }
    auto* table = qobject_cast<QTableView*>(notification.objectAs<QObject*>());
    QLabel* tip = table == ui_->userDataLargeTableView ? ui_->showlargeuserdatatip
                  : table == ui_->userDataBigTableView ? ui_->showbiguserdatatip
                                                       : nullptr;
    if (tip == nullptr) {
        return;
    }
    const int row = selectedRow(table);
    if (row < 0) {
        return;
    }
    if (row == lastSelectedIndex_) {
        tip->hide();
        (tip == ui_->showlargeuserdatatip ? largeAdvice_ : bigAdvice_).reset();
        lastSelectedIndex_ = -1;
        return;
    }
    const std::shared_ptr<PRLargeFileNode> record = controllerOf(table)->recordAt(row);
    tip->setText(record ? record->fileAdvice() : QString());
    tip->show();
    (tip == ui_->showlargeuserdatatip ? largeAdvice_ : bigAdvice_) = record;
    lastSelectedIndex_ = row;
}

void PRFindLargeFileViewController::dropAdvice(const std::set<const PRLargeFileNode*>& gone) {
    const std::pair<QLabel*, std::shared_ptr<PRLargeFileNode>*> lines[] = {
        {ui_->showlargeuserdatatip, &largeAdvice_}, {ui_->showbiguserdatatip, &bigAdvice_}};
    for (const auto& [tip, advised] : lines) {
        if (*advised && gone.count(advised->get()) > 0) {
            tip->setText(QString());
            tip->hide();
            advised->reset();
            lastSelectedIndex_ = -1;
        }
    }
}

void PRFindLargeFileViewController::PRbuttonMouseEnteredHandle(
    const nimbara::Notification& notification) {
    if (!ui_) {
        return;
    }
    QObject* button = notification.objectAs<QObject*>();
    QString text;
    if (button == ui_->appDataExportBtn) {
        text = QStringLiteral("Resize the app and back to the status of first installation.");
    } else if (button == ui_->appDataArchiveBtn) {
        text = QStringLiteral(
            "Archived the app to your computer, you can install it from File -> Open archived "
            "app next time.");
    } else if (button == ui_->AppuninstallBtn) {
        text = QStringLiteral("Uninstall the app safely and quickly.");
    } else {
        return;
    }
    ui_->appActiontipLab->setText(text);
    ui_->appActiontipLab->show();
}

void PRFindLargeFileViewController::PRbuttonMouseExitedHandle(
    const nimbara::Notification& notification) {
    if (ui_ && qobject_cast<PRButton*>(notification.objectAs<QObject*>()) != nullptr) {
        ui_->appActiontipLab->hide();
    }
}

PRLargeFileRecordsController* PRFindLargeFileViewController::controllerOf(QTableView* table) const {
    if (!ui_ || table == nullptr) {
        return nullptr;
    }
    if (table == ui_->userDataLargeTableView) {
        return userLarge_;
    }
    if (table == ui_->userDataBigTableView) {
        return userBig_;
    }
    if (table == ui_->appLargeTableView) {
        return appLarge_;
    }
    if (table == ui_->appBigTableView) {
        return appBig_;
    }
    return nullptr;
}

bool PRFindLargeFileViewController::isUserTable(QTableView* table) const {
    return ui_ && table != nullptr &&
           (table == ui_->userDataLargeTableView || table == ui_->userDataBigTableView);
}

bool PRFindLargeFileViewController::isAppTable(QTableView* table) const {
    return ui_ && table != nullptr &&
           (table == ui_->appLargeTableView || table == ui_->appBigTableView);
}

std::vector<int> PRFindLargeFileViewController::selectedRows(QTableView* table) {
    std::vector<int> rows;
    if (table == nullptr || table->selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : table->selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

int PRFindLargeFileViewController::selectedRow(QTableView* table) {
    const std::vector<int> rows = selectedRows(table);
    return rows.empty() ? -1 : rows.front();
}

// ------------------------------------------------------------------ jobs

CleanDeviceTarget PRFindLargeFileViewController::target() const {
    return CleanDeviceTarget{scanIndex_, scanSerial_};
}

void PRFindLargeFileViewController::post(std::function<Done(const std::function<bool()>&)> job) {
    ++pending_;
    QPointer<PRFindLargeFileViewController> self(this);
    const std::uint64_t generation = jobs_->generation();
    jobs_->post(target(), [self, generation, job = std::move(job)](
                              const nimbara::cleanup::CleanJobQueue::StopCheck& stop) {
        Done done = job(stop);
        nimbara::postToMain([self, generation, done = std::move(done)] {
            if (!self || !self->jobs_->isCurrent(generation)) {
                return;  // the device changed meanwhile: its results are dropped
            }
            self->ensureBuilt();
            if (done) {
                done(*self);
            }
            self->jobFinished();
        });
    });
}

void PRFindLargeFileViewController::jobFinished() {
    pending_ = std::max(0, pending_ - 1);
    if (jobEnded_) {
        jobEnded_();
    }
}

bool PRFindLargeFileViewController::readyForAction() {
    if (!ui_ || !bScanFinished_ || scanSerial_ == 0) {
        return false;
    }
    if (pending_ > 0) {
        setResult(
            QStringLiteral("Another task of this page is still running. Please wait until it has "
                           "finished."),
            ui_->stack->currentWidget() == ui_->appLargerFileView ? ResultList::Apps
                                                                  : ResultList::UserFiles);
        return false;
    }
    return true;
}

bool PRFindLargeFileViewController::ask(const QString& message, const QString& defaultButton,
                                        const QString& otherButton, const QString& informative,
                                        bool* other) {
    const std::uint64_t generation = jobs_->generation();
    const auto answer = nimbara::Alerts::ask(
        view(), {message, informative, defaultButton, QStringLiteral("Cancel"), otherButton});
    if (!jobs_->isCurrent(generation)) {
        return false;  // another device by now: what was asked about is gone
    }
    if (other != nullptr) {
        *other = answer == nimbara::Alerts::Answer::Other;
    }
    return answer == nimbara::Alerts::Answer::Default ||
           (!otherButton.isEmpty() && answer == nimbara::Alerts::Answer::Other);
}

namespace {

// The device file a record stands for: a file of the media root, or one in its app's container.
// nullopt for an app's own record and for a path outside the container folders.
std::optional<CleanItem> itemOf(const PRLargeFileNode& record) {
    if (record.filePath().isEmpty()) {
        return std::nullopt;
    }
    CleanItem item;
    item.devicePath = record.devicePath();
    item.size = record.fileSizeNumber();
    if (record.appBundId().isEmpty()) {
        item.kind = CleanItem::Kind::MediaFile;
        item.category = CleanCategory::UserFile;
        return item;
    }
    const std::optional<CleanCategory> category =
        nimbara::cleanup::containerCategoryOf(item.devicePath);
    if (!category) {
        return std::nullopt;
    }
    item.kind = CleanItem::Kind::File;
    item.category = *category;
    item.bundleId = record.appBundId().toStdString();
    return item;
}

// Adds what a removal freed to the storage overview's user-data or apps total.
void addToRemovedTotal(nimbara::ui::PageHost& host, bool userFiles, std::uint64_t bytes) {
    if (bytes == 0) {
        return;
    }
    using Category = nimbara::ui::PageHost::RemovedCategory;
    host.addRemovedBytes(userFiles ? Category::UserData : Category::Apps, bytes);
}

std::uint64_t lessBy(std::uint64_t total, std::uint64_t bytes) {
    return total > bytes ? total - bytes : 0;
}

}  // namespace

// ------------------------------------------------------------------ removals

QString PRFindLargeFileViewController::deletionText(const std::vector<QTableView*>& tables) const {
    std::vector<QString> names;
    std::vector<QString> kept;
    for (QTableView* table : tables) {
        PRLargeFileRecordsController* controller = controllerOf(table);
        for (const int row : selectedRows(table)) {
            const std::shared_ptr<PRLargeFileNode> record = controller->recordAt(row);
            if (!record || record->filePath().isEmpty()) {
                continue;  // an app's own row: deleting files never removes an app
            }
            (nimbara::cleanup::isProtectedDeviceFile(record->devicePath()) ? kept : names)
                .push_back(record->fileName());
        }
    }
    QStringList parts;
    parts << nimbara::cleanup::namedRemovalText(names, "file", "files", "deleted from the device")
          << nimbara::cleanup::keptFilesText(kept);
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

void PRFindLargeFileViewController::ClickuserDataRemoveAction(QObject*) {
    QTableView* table = currentTable_;
    if (!readyForAction() || !isUserTable(table) || selectedRow(table) < 0) {
        return;
    }
    if (!ask(QStringLiteral("Are you sure you want to permanently delete the selected file(s) "
                            "from your device?"),
             QStringLiteral("Deleted"), QString(), deletionText({table}))) {
        return;
    }
    removeFiles(table, true);
}

void PRFindLargeFileViewController::ClickAppRemoveAction(QObject*) {
    if (!readyForAction()) {
        return;
    }
    std::vector<QTableView*> tables;
    for (QTableView* table : {ui_->appLargeTableView, ui_->appBigTableView}) {
        if (selectedRow(table) >= 0) {
            tables.push_back(table);
        }
    }
    if (tables.empty()) {
        return;
    }
    // Deleted takes the chosen files; Uninstall takes each chosen app with all its data.
    std::vector<QString> apps;
    std::set<QString> chosenApps;
    for (QTableView* table : tables) {
        const auto chosen = controllerOf(table)->recordAt(selectedRow(table));
        if (chosen && !chosen->appBundId().isEmpty() &&
            chosenApps.insert(chosen->appBundId()).second) {
            apps.push_back(chosen->appDisplayName().isEmpty() ? chosen->appBundId()
                                                              : chosen->appDisplayName());
        }
    }
    QStringList informative;
    informative << deletionText(tables)
                << QStringLiteral(
                       "You may not run the app correctly after deleting partial app files, we "
                       "suggest you to uninstall the app completely.")
                << (apps.empty() ? QString()
                                 : QStringLiteral("Uninstall removes %1 with all its data.")
                                       .arg(nimbara::cleanup::nameListText(apps)));
    informative.removeAll(QString());
    bool uninstallChosen = false;
    if (!ask(QStringLiteral("Are you sure you want to permanently delete the selected app "
                            "file(s) from your device?"),
             QStringLiteral("Deleted"), QStringLiteral("Uninstall"),
             informative.join(QLatin1Char(' ')), &uninstallChosen)) {
        return;
    }
    std::set<QString> uninstalled;  // an app chosen in both tables is uninstalled once
    for (QTableView* table : tables) {
        if (uninstallChosen) {
            const auto chosen = controllerOf(table)->recordAt(selectedRow(table));
            if (chosen && uninstalled.insert(chosen->appBundId()).second) {
                uninstall(table, chosen);
            }
        } else {
            removeFiles(table, false);
        }
    }
}

void PRFindLargeFileViewController::removeFiles(QTableView* table, bool userFiles) {
    PRLargeFileRecordsController* controller = controllerOf(table);
    const std::vector<int> rows = selectedRows(table);
    // The records are fixed before anything is removed, so exactly the chosen ones go.
    List planned;
    std::vector<CleanItem> plan;
    std::size_t kept = 0;
    std::size_t apps = 0;
    for (const int row : rows) {
        const std::shared_ptr<PRLargeFileNode> record = controller->recordAt(row);
        if (!record) {
            continue;
        }
        if (record->filePath().isEmpty()) {
            ++apps;
            continue;
        }
        if (nimbara::cleanup::isProtectedDeviceFile(record->devicePath())) {
            ++kept;  // the device's own databases are never removed
            continue;
        }
        if (const std::optional<CleanItem> item = itemOf(*record)) {
            plan.push_back(*item);
            planned.push_back(record);
        }
    }
    QString note;
    if (kept > 0) {
        note = QStringLiteral("%1 kept: the device needs them.").arg(filesText(kept));
    }
    if (apps > 0) {
        note += (note.isEmpty() ? QString() : QStringLiteral(" ")) +
                QStringLiteral("Apps are not deleted here; use Uninstall to remove an app.");
    }
    const ResultList list = userFiles ? ResultList::UserFiles : ResultList::Apps;
    if (plan.empty()) {
        setResult(note, list);
        return;
    }
    const bool appSpinner = !userFiles;
    spin(appSpinner ? ui_->appDataExportProgressor : ui_->userDataExportprogressor, true);
    QPointer<QTableView> where(table);
    post([target = target(), plan, planned, where, userFiles, note, appSpinner,
          list](const std::function<bool()>& stop) {
        nimbara::cleanup::CleanRemovalEngine engine(target, plan, {}, stop);
        auto report = std::make_shared<CleanRemovalReport>(engine.run());
        return Done([report, planned, where, userFiles, note, appSpinner,
                     list](PRFindLargeFileViewController& page) {
            page.spin(
                appSpinner ? page.ui_->appDataExportProgressor : page.ui_->userDataExportprogressor,
                false);
            if (where) {
                page.settleRemoval(where, userFiles, planned, *report);
            }
            if (!note.isEmpty()) {
                page.setResult(page.resultText() + QStringLiteral(" ") + note, list);
            }
        });
    });
}

void PRFindLargeFileViewController::settleRemoval(QTableView* table, bool userFiles,
                                                  const List& records,
                                                  const CleanRemovalReport& report) {
    std::set<const PRLargeFileNode*> gone;
    std::uint64_t listedBytes = 0;
    for (std::size_t i = 0; i < records.size() && i < report.outcomes.size(); ++i) {
        if (isSettled(report.outcomes[i])) {
            gone.insert(records[i].get());
            listedBytes += records[i]->fileSizeNumber();
        }
    }
    // Only what the device removed (or no longer had) leaves the table and the lists.
    PRLargeFileRecordsController* controller = controllerOf(table);
    List remaining = controller->arrangedObjects();
    eraseRecords(remaining, gone);
    controller->setArrangedObjects(std::move(remaining));
    if (userFiles) {
        eraseRecords(userDataLargeFileArray_, gone);
        eraseRecords(userDataBigFileArray_, gone);
        allDocumentFileSize_ = lessBy(allDocumentFileSize_, listedBytes);
        dropAdvice(gone);
    } else {
        eraseRecords(appLargeFileArray_, gone);
        eraseRecords(appBigFileArray_, gone);
    }
    addToRemovedTotal(host(), userFiles, report.freedBytes);
    refreshSizeLabels();
    table->clearSelection();
    table->setCurrentIndex(QModelIndex());
    const bool clean = report.status == nimbara::cleanup::CleanRunStatus::Done;
    setResult(clean ? QStringLiteral("Deleted %1 (%2).")
                          .arg(filesText(gone.size()), size_to_unit(report.freedBytes))
                    : report.message,
              userFiles ? ResultList::UserFiles : ResultList::Apps);
}

// ------------------------------------------------------------------ uninstall

void PRFindLargeFileViewController::ClickAppUninstallAction(QObject*) {
    QTableView* table = currentTable_;
    if (!readyForAction() || !isAppTable(table)) {
        return;
    }
    const int row = selectedRow(table);
    const std::shared_ptr<PRLargeFileNode> record = controllerOf(table)->recordAt(row);
    if (!record) {
        return;
    }
    if (!ask(QStringLiteral("Are you sure you want to permanently uninstall the %1.app from your "
                            "device?")
                 .arg(record->appDisplayName()),
             QStringLiteral("Uninstall"), QString(), QLatin1String(""))) {
        return;
    }
    uninstall(table, record);
}

void PRFindLargeFileViewController::uninstall(QTableView* table,
                                              const std::shared_ptr<PRLargeFileNode>& record) {
    if (!record || record->appBundId().isEmpty()) {
        return;
    }
    const QString bundleId = record->appBundId();
    const QString name = record->appDisplayName();
    spin(ui_->appDataExportProgressor, true);
    QPointer<QTableView> where(table);
    const CleanDeviceTarget device = target();
    post([device, bundleId, name, record, where](const std::function<bool()>& stop) {
        nimbara::cleanup::CleanJobDevice job(device.deviceIndex, device.deviceSerial, stop);
        amd::AppService service;
        int rc = job.bind(service);
        if (rc == 0) {
            rc = service.UninstallApplication(bundleId.toStdString(), {});
        }
        const bool gone = job.shouldStop();
        return Done([rc, gone, bundleId, name, record, where](PRFindLargeFileViewController& page) {
            page.spin(page.ui_->appDataExportProgressor, false);
            if (rc != 0) {
                page.setResult(
                    gone ? QString::fromLatin1(kNoDeviceText)
                         : QStringLiteral("%1 could not be uninstalled (the device answered %2).")
                               .arg(name)
                               .arg(rc),
                    ResultList::Apps);
                return;
            }
            // The app's own size: the bundle and data the device reported for it.
            const std::uint64_t bytes = record->filePath().isEmpty() ? record->appFileSizeNumber()
                                                                     : record->appFileSizeNumber();
            addToRemovedTotal(page.host(), false, bytes);
            page.allAppFileSize_ = lessBy(page.allAppFileSize_, bytes);
            page.dropAppRows(bundleId);
            page.refreshSizeLabels();
            if (where) {
                where->clearSelection();
                where->setCurrentIndex(QModelIndex());
            }
            page.setResult(QStringLiteral("%1 was uninstalled.").arg(name), ResultList::Apps);
        });
    });
}

void PRFindLargeFileViewController::dropAppRows(const QString& bundleId) {
    const auto ofApp = [&bundleId](const std::shared_ptr<PRLargeFileNode>& r) {
        return r && r->appBundId() == bundleId;
    };
    for (List* list : {&appLargeFileArray_, &appBigFileArray_}) {
        list->erase(std::remove_if(list->begin(), list->end(), ofApp), list->end());
    }
    for (PRLargeFileRecordsController* controller : {appLarge_, appBig_}) {
        List rows = controller->arrangedObjects();
        rows.erase(std::remove_if(rows.begin(), rows.end(), ofApp), rows.end());
        if (rows.size() != controller->arrangedObjects().size()) {
            controller->setArrangedObjects(std::move(rows));
        }
    }
}

// ------------------------------------------------------------------ exports

void PRFindLargeFileViewController::ExportUserDataAction(QObject*) {
    QTableView* table = currentTable_;
    if (!readyForAction() || !isUserTable(table)) {
        return;
    }
    if (const std::shared_ptr<PRLargeFileNode> record =
            controllerOf(table)->recordAt(selectedRow(table))) {
        exportRecords({record}, false, ui_->userDataExportprogressor);
    }
}

void PRFindLargeFileViewController::ExportAppDataAction(QObject*) {
    if (!readyForAction()) {
        return;
    }
    List records;
    for (QTableView* table : {ui_->appLargeTableView, ui_->appBigTableView}) {
        if (auto record = controllerOf(table)->recordAt(selectedRow(table))) {
            records.push_back(std::move(record));
        }
    }
    if (!records.empty()) {
        exportRecords(records, true, ui_->appDataExportProgressor);
    }
}

void PRFindLargeFileViewController::exportRecords(const List& records, bool appData,
                                                  FlashView* spinner) {
    const ResultList list = appData ? ResultList::Apps : ResultList::UserFiles;
    QString folder = host().exportFolder();
    if (folder.isEmpty()) {
        setResult(QString::fromLatin1(kNoExportFolder), list);
        return;
    }
    if (appData) {
        folder = QDir(folder).filePath(QLatin1String(nimbara::cleanup::kAppDataFolder));
    }
    std::vector<CleanItem> plan;
    for (const auto& record : records) {
        if (const std::optional<CleanItem> item = itemOf(*record)) {
            plan.push_back(*item);
        }
    }
    if (plan.empty()) {
        setResult(QStringLiteral(
                      "Choose the app files to export; an app itself is saved to your computer "
                      "with Archive."),
                  list);
        return;
    }
    spin(spinner, true);
    const bool appSpinner = spinner == ui_->appDataExportProgressor;
    // App files go to a folder per app inside "AppData"; same names never replace each other.
    const auto layout = appData ? nimbara::cleanup::CleanExportLayout::PerApp
                                : nimbara::cleanup::CleanExportLayout::Flat;
    const std::filesystem::path path(QFile::encodeName(folder).toStdString());
    post([target = target(), plan, path, layout, appSpinner,
          list](const std::function<bool()>& stop) {
        nimbara::cleanup::CleanExportEngine engine(target, plan, path, layout, {}, stop);
        auto report = std::make_shared<nimbara::cleanup::CleanExportReport>(engine.run());
        return Done([report, appSpinner, list](PRFindLargeFileViewController& page) {
            page.spin(
                appSpinner ? page.ui_->appDataExportProgressor : page.ui_->userDataExportprogressor,
                false);
            const QString where = QString::fromStdString(report->folder.string());
            // What was written and where, once (or why nothing was).
            page.setResult(report->message.isEmpty() ? QStringLiteral("Nothing was exported.")
                                                     : report->message,
                           list);
            // Only an export that copied something shows its folder.
            if (report->revealFolder()) {
                nimbara::ui::FileViewer::reveal(where);
            }
        });
    });
}

// ------------------------------------------------------------------ archive and reinstall

std::shared_ptr<PRLargeFileNode> PRFindLargeFileViewController::chosenApp() {
    QTableView* table = currentTable_;
    if (!readyForAction() || !isAppTable(table)) {
        return nullptr;
    }
    std::shared_ptr<PRLargeFileNode> record = controllerOf(table)->recordAt(selectedRow(table));
    return record && !record->appBundId().isEmpty() ? record : nullptr;
}

void PRFindLargeFileViewController::ClickAppArchiveAction(QObject*) {
    const std::shared_ptr<PRLargeFileNode> record = chosenApp();
    if (!record) {
        return;
    }
    const QString folder = host().exportFolder();
    if (folder.isEmpty()) {
        setResult(QString::fromLatin1(kNoExportFolder), ResultList::Apps);
        return;
    }
    spin(ui_->appDataExportProgressor, true);
    const nimbara::cleanup::AppJobTarget job{scanIndex_, scanSerial_,
                                             record->appBundId().toStdString()};
    post([job, folder](const std::function<bool()>& stop) {
        auto result = std::make_shared<nimbara::cleanup::AppJobResult>(
            nimbara::cleanup::archiveAppToFolder(job, folder, stop));
        return Done([result, folder](PRFindLargeFileViewController& page) {
            page.spin(page.ui_->appDataExportProgressor, false);
            page.setResult(result->message, ResultList::Apps);
            if (result->outcome == nimbara::cleanup::AppJobResult::Outcome::Done &&
                !result->archivePath.isEmpty()) {
                nimbara::ui::FileViewer::reveal(folder);
            }
        });
    });
}

void PRFindLargeFileViewController::ClickAppReinstallAction(QObject*) {
    const std::shared_ptr<PRLargeFileNode> record = chosenApp();
    if (!record) {
        return;
    }
    if (!record->filePath().isEmpty()) {
        setResult(QStringLiteral("Choose an app to reinstall, not one of its files."),
                  ResultList::Apps);
        return;
    }
    // A reinstall takes the app's documents and data off the device: it is asked first.
    if (!ask(QStringLiteral("Reinstalling %1 removes its documents and data from your device. "
                            "Do you want to reinstall it?")
                 .arg(record->appDisplayName()),
             QStringLiteral("Reinstall"), QString(), QLatin1String(""))) {
        return;
    }
    const QString oldTotal = record->totalSize();
    const QString oldDocuments = record->documentSize();
    record->setTotalSize(QString::fromLatin1(kReinstalling));
    record->setDocumentSize(QString::fromLatin1(kReinstalling));
    appLarge_->recordChanged(record.get());
    appBig_->recordChanged(record.get());
    spin(ui_->appDataExportProgressor, true);
    const nimbara::cleanup::AppJobTarget job{scanIndex_, scanSerial_,
                                             record->appBundId().toStdString()};
    // Should the install fail after the uninstall, the checked package is kept in the export
    // folder, so that the app can still be installed from it.
    const QString keepIn = host().exportFolder();
    post([job, record, oldTotal, oldDocuments, keepIn](const std::function<bool()>& stop) {
        auto result = std::make_shared<nimbara::cleanup::AppJobResult>(
            nimbara::cleanup::reinstallApp(job, stop, keepIn));
        return Done([result, record, oldTotal, oldDocuments](PRFindLargeFileViewController& page) {
            using Outcome = nimbara::cleanup::AppJobResult::Outcome;
            page.spin(page.ui_->appDataExportProgressor, false);
            // The record the job started with gets the new sizes, or its old ones back.
            if (result->outcome == Outcome::Done) {
                if (result->staticDiskUsage > 0) {
                    const std::uint64_t total = nimbara::ui::addSaturating(
                        result->staticDiskUsage, result->dynamicDiskUsage);
                    page.allAppFileSize_ = nimbara::ui::addSaturating(
                        lessBy(page.allAppFileSize_, record->appFileSizeNumber()), total);
                    record->setAppFileSizeNumber(total);
                    record->setFileSize(size_to_unit(result->staticDiskUsage));
                    record->setTotalSize(size_to_unit(total));
                    record->setDocumentSize(result->dynamicDiskUsage > 0
                                                ? size_to_unit(result->dynamicDiskUsage)
                                                : QStringLiteral("less than 50KB"));
                } else {
                    record->setTotalSize(record->fileSize());
                    record->setDocumentSize(QStringLiteral("less than 50KB"));
                }
            } else {
                record->setTotalSize(oldTotal);
                record->setDocumentSize(oldDocuments);
            }
            page.appLarge_->recordChanged(record.get());
            page.appBig_->recordChanged(record.get());
            if (result->outcome == Outcome::AppLost) {
                page.allAppFileSize_ = lessBy(page.allAppFileSize_, record->appFileSizeNumber());
                page.dropAppRows(record->appBundId());
            }
            page.refreshSizeLabels();
            page.setResult(result->message, ResultList::Apps);
        });
    });
}
