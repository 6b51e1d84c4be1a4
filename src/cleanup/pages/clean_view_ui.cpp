#include "cleanup/pages/clean_view_ui.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/status_line_views.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;
constexpr int kTitlePoints = 16;
const QColor kSlate{96, 110, 128};

}  // namespace

namespace cleanview {

QPushButton* makeButton(QWidget* parent, const char* name, const QString& title) {
    auto* button = named(new QPushButton(title, parent), name);
    button->setFont(nimbara::ui::appFont(kInfoPoints));
    return button;
}

QTableView* makeTable(QWidget* parent, const char* name, bool multiple) {
    return nimbara::ui::build::makeRecordTable(parent, name, multiple, kInfoPoints);
}

namespace {
const QColor kProblemColour(178, 34, 34);
}  // namespace

QLabel* makeStatusLine(QWidget* view, const char* name) {
    QLabel* line = makeLabel(view, name, QString(), kInfoPoints, kProblemColour);
    line->setWordWrap(true);
    line->setContentsMargins(20, 0, 20, 10);
    line->hide();
    return line;
}

void setStatusLine(QLabel* line, const QString& text, bool problem) {
    nimbara::ui::setLabelColour(line, problem ? kProblemColour : nimbara::ui::build::kText);
    line->setText(text);
    line->setVisible(!text.isEmpty());
}

// A view headed by a title line, with its content below.
QVBoxLayout* headedView(QWidget* view, const char* titleName, const QString& title) {
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);
    layout->addWidget(
        makeLabel(view, titleName, title, kTitlePoints, nimbara::ui::build::kText, true));
    return layout;
}

CleanCategoryRowUi makeCategoryRow(QWidget* parent, QGridLayout* grid, int row,
                                   const char* buttonName, const char* sizeName,
                                   const char* pathName, const char* imageName,
                                   const char* progressName, const QString& title) {
    CleanCategoryRowUi ui;
    ui.imageView = makeImageView(parent, imageName, QStringLiteral("tabHeadImage"));
    ui.imageView->setFixedSize(6, 36);
    ui.button = cleanview::makeButton(parent, buttonName, title);
    ui.button->setMinimumWidth(170);
    ui.button->setIcon(QIcon());
    ui.progress = named(new PRProgressView(parent), progressName);
    ui.progress->setMinimumWidth(220);
    ui.progress->setFixedHeight(12);
    ui.sizelab = makeLabel(parent, sizeName, QString(), kInfoPoints);
    ui.sizelab->setMinimumWidth(90);
    ui.pathlab = makeLabel(parent, pathName, QString(), kInfoPoints, kSlate);
    ui.pathlab->setMinimumWidth(260);
    grid->addWidget(ui.imageView, row, 0);
    grid->addWidget(ui.button, row, 1);
    grid->addWidget(ui.progress, row, 2);
    grid->addWidget(ui.sizelab, row, 3);
    grid->addWidget(ui.pathlab, row, 3);
    return ui;
}

}  // namespace cleanview

namespace {

using cleanview::headedView;
using cleanview::makeButton;
using cleanview::makeCategoryRow;
using cleanview::makeTable;

CleanResultViewUi makeResultView(QStackedWidget* stack, const char* viewName, const char* tableName,
                                 const char* infoName, const char* progressName,
                                 const char* exportName, const char* removeName,
                                 const char* removeAllName, const QString& title) {
    CleanResultViewUi ui;
    ui.view = named(new QWidget(stack), viewName);
    QVBoxLayout* layout = headedView(ui.view, "", title);
    ui.infolab = makeLabel(ui.view, infoName, QString(), kInfoPoints);
    ui.progressor = named(new QProgressBar(ui.view), progressName);
    ui.progressor->setRange(0, 100);
    ui.progressor->setTextVisible(false);
    ui.progressor->hide();
    ui.table = cleanview::makeTable(ui.view, tableName, true);
    auto* buttons = new QHBoxLayout();
    ui.backBtn = cleanview::makeButton(ui.view, "", QStringLiteral("Back"));
    ui.exportBtn = cleanview::makeButton(ui.view, exportName, QStringLiteral("Export"));
    ui.removeBtn = cleanview::makeButton(ui.view, removeName, QStringLiteral("Remove"));
    ui.removeAllBtn = cleanview::makeButton(ui.view, removeAllName, QStringLiteral("Remove All"));
    buttons->addWidget(ui.backBtn);
    buttons->addStretch(1);
    buttons->addWidget(ui.exportBtn);
    buttons->addWidget(ui.removeBtn);
    buttons->addWidget(ui.removeAllBtn);
    layout->addWidget(ui.infolab);
    layout->addWidget(ui.progressor);
    layout->addWidget(ui.table, 1);
    layout->addLayout(buttons);
    stack->addWidget(ui.view);
    return ui;
}

CleanTreeViewUi makeTreeView(QStackedWidget* stack, const char* viewName, const char* outlineName,
                             const char* tableName, const char* infoName, const char* fileMenuName,
                             const char* dirMenuName, const QString& title, QPushButton*& back) {
    CleanTreeViewUi ui;
    ui.view = named(new QWidget(stack), viewName);
    QVBoxLayout* layout = headedView(ui.view, "", title);
    ui.infolab = makeLabel(ui.view, infoName, QString(), kInfoPoints);
    auto* split = new QSplitter(Qt::Horizontal, ui.view);
    ui.outline = named(new QTreeView(split), outlineName);
    ui.outline->setHeaderHidden(true);
    ui.outline->setFont(nimbara::ui::appFont(kInfoPoints));
    ui.outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.outline->setContextMenuPolicy(Qt::CustomContextMenu);
    ui.outline->setMinimumWidth(220);
    ui.table = cleanview::makeTable(split, tableName, false);
    split->addWidget(ui.outline);
    split->addWidget(ui.table);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    split->setSizes({260, 540});
    ui.fileMenu = named(new QMenu(ui.table), fileMenuName);
    ui.dirMenu = named(new QMenu(ui.outline), dirMenuName);
    auto* buttons = new QHBoxLayout();
    back = cleanview::makeButton(ui.view, "", QStringLiteral("Back"));
    buttons->addWidget(back);
    buttons->addStretch(1);
    layout->addWidget(ui.infolab);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
    stack->addWidget(ui.view);
    return ui;
}

void buildStartView(CleanViewUi& ui) {
    ui.cleanDiskView = named(new QWidget(ui.stack), "cleanDiskView");
    QVBoxLayout* layout = headedView(ui.cleanDiskView, "", QStringLiteral("App Cleaner"));
    ui.headlab = makeLabel(ui.cleanDiskView, "headlab",
                           QStringLiteral("Scan every app for caches, cookies, temporary files, "
                                          "documents and advertisement caches."),
                           kInfoPoints, kSlate);
    ui.headlab->setWordWrap(true);
    layout->addWidget(ui.headlab);
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(12);
    grid->setColumnStretch(3, 1);
    QWidget* v = ui.cleanDiskView;
    ui.document = makeCategoryRow(v, grid, 0, "appDocumentBtn", "appDocumentlab",
                                  "appDocumentShowFilePathlab", "appDocumentImageView",
                                  "appDocumentProgress", QStringLiteral("Documents"));
    ui.cache =
        makeCategoryRow(v, grid, 1, "appCacheBtn", "appCachelab", "appCacheShowFilePathlab",
                        "appCacheImageView", "appCacheProgress", QStringLiteral("Cache Files"));
    ui.junk =
        makeCategoryRow(v, grid, 2, "appJunkBtn", "appJunklab", "appJunkShowFilePathlab",
                        "appJunkImageView", "appJunkProgress", QStringLiteral("Temporary Files"));
    ui.cook = makeCategoryRow(v, grid, 3, "appCookBtn", "appCooklab", "appCookShowFilePathlab",
                              "appCookImageView", "appCookProgress", QStringLiteral("Cookies"));
    ui.ads =
        makeCategoryRow(v, grid, 4, "appAdsBtn", "appAdslab", "appAdsShowFilePathlab",
                        "theAdsImageView", "adsProgressor", QStringLiteral("Advertisement Caches"));
    layout->addLayout(grid);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout();
    ui.deviceCleanBtn = cleanview::makeButton(
        v, "deviceCleanBtn", QStringLiteral("Junk, Cache and Sync-failed Media..."));
    ui.appFlashView = named(new FlashView(v), "appFlashView");
    ui.appFlashView->setFixedSize(32, 32);
    ui.appStartBtn = named(new PRAppCleanButton(v), "appStartBtn");
    ui.appStartBtn->setFixedSize(120, 40);
    ui.appCleanTipBtn = makeButton(v, "appCleanTipBtn", QStringLiteral("Tips"));
    bottom->addWidget(ui.deviceCleanBtn);
    bottom->addWidget(ui.appCleanTipBtn);
    bottom->addStretch(1);
    bottom->addWidget(ui.appFlashView);
    bottom->addWidget(ui.appStartBtn);
    layout->addLayout(bottom);
    ui.stack->addWidget(ui.cleanDiskView);
}

void buildTipWindow(CleanViewUi& ui) {
    auto* sheet = named(new QDialog(ui.view), "appCleaneTipWindow");
    sheet->setWindowTitle(QStringLiteral("App Cleaner Tips"));
    sheet->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->addWidget(makeLabel(sheet, "", QStringLiteral("What the App Cleaner removes"),
                                kTitlePoints, nimbara::ui::build::kText, true));
    auto* tips = makeLabel(
        sheet, "appCleanTiplab",
        QStringLiteral("Cache files, cookies and temporary files are made again by the apps "
                       "when they need them.\n\nDocuments are the apps' own files: look at them "
                       "before you remove them, or export them first.\n\nAn advertisement cache "
                       "is replaced by an empty file, so that it is not filled again.\n\nFiles "
                       "the device itself needs are never removed."),
        kInfoPoints);
    tips->setWordWrap(true);
    tips->setMinimumWidth(380);
    layout->addWidget(tips);
    auto* buttons = new QHBoxLayout();
    ui.closeCleanTipBtn = makeButton(sheet, "closeCleanTipBtn", QStringLiteral("Close"));
    ui.closeCleanTipBtn->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(ui.closeCleanTipBtn);
    layout->addLayout(buttons);
    sheet->hide();
    ui.appCleaneTipWindow = sheet;
}

void buildAdsView(CleanViewUi& ui) {
    ui.cleanAppAdsView = named(new QWidget(ui.stack), "cleanAppAdsView");
    QVBoxLayout* layout =
        headedView(ui.cleanAppAdsView, "", QStringLiteral("Advertisement Caches"));
    ui.adsInfolab = makeLabel(ui.cleanAppAdsView, "adsInfolab", QString(), kInfoPoints);
    ui.AdsTableView = cleanview::makeTable(ui.cleanAppAdsView, "AdsTableView", false);
    ui.AdsTableView->verticalHeader()->setDefaultSectionSize(40);
    ui.AdsTableView->setIconSize(QSize(36, 36));
    auto* buttons = new QHBoxLayout();
    ui.adsBackBtn = cleanview::makeButton(ui.cleanAppAdsView, "", QStringLiteral("Back"));
    ui.adsRemoveBtn =
        cleanview::makeButton(ui.cleanAppAdsView, "adsRemoveBtn", QStringLiteral("Remove"));
    ui.adsRemoveAllBtn =
        cleanview::makeButton(ui.cleanAppAdsView, "adsRemoveAllBtn", QStringLiteral("Remove All"));
    buttons->addWidget(ui.adsBackBtn);
    buttons->addStretch(1);
    buttons->addWidget(ui.adsRemoveBtn);
    buttons->addWidget(ui.adsRemoveAllBtn);
    layout->addWidget(ui.adsInfolab);
    layout->addWidget(ui.AdsTableView, 1);
    layout->addLayout(buttons);
    ui.stack->addWidget(ui.cleanAppAdsView);
}

void buildDeviceMain(CleanViewUi& ui) {
    ui.cleanMainView = named(new QWidget(ui.stack), "cleanMainView");
    QVBoxLayout* layout = headedView(ui.cleanMainView, "", QStringLiteral("Device Clean-up"));
    ui.mainInfolab = makeLabel(ui.cleanMainView, "mainInfolab",
                               QStringLiteral("Scan the apps' caches, cookies and temporary "
                                              "files, and media left by syncs that failed."),
                               kInfoPoints, kSlate);
    ui.mainInfolab->setWordWrap(true);
    layout->addWidget(ui.mainInfolab);
    auto* grid = new QGridLayout();
    grid->setSpacing(12);
    ui.mainJunkBtn =
        cleanview::makeButton(ui.cleanMainView, "mainJunkBtn", QStringLiteral("Temp Files"));
    ui.mainCacheBtn =
        cleanview::makeButton(ui.cleanMainView, "mainCacheBtn", QStringLiteral("Cache"));
    ui.mainCookBtn =
        cleanview::makeButton(ui.cleanMainView, "mainCookBtn", QStringLiteral("Cookie"));
    ui.mainMediaBtn = cleanview::makeButton(ui.cleanMainView, "mainMediaBtn",
                                            QStringLiteral("Sync-failed Media"));
    int row = 0;
    for (QPushButton* button : {ui.mainJunkBtn, ui.mainCacheBtn, ui.mainCookBtn, ui.mainMediaBtn}) {
        button->setMinimumSize(220, 40);
        grid->addWidget(button, row / 2, row % 2);
        ++row;
    }
    layout->addLayout(grid);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout();
    ui.mainAppCleanBtn = cleanview::makeButton(ui.cleanMainView, "mainAppCleanBtn",
                                               QStringLiteral("App Cleaner..."));
    ui.mainScanBtn = cleanview::makeButton(ui.cleanMainView, "mainScanBtn", QStringLiteral("Scan"));
    ui.mainScanBtn->setDefault(true);
    bottom->addWidget(ui.mainAppCleanBtn);
    bottom->addStretch(1);
    bottom->addWidget(ui.mainScanBtn);
    layout->addLayout(bottom);
    ui.stack->addWidget(ui.cleanMainView);
}

void buildMediaView(CleanViewUi& ui, QPushButton*& back) {
    ui.cleanMediaView = named(new QWidget(ui.stack), "cleanMediaView");
    QVBoxLayout* layout = headedView(ui.cleanMediaView, "", QStringLiteral("Sync-failed Media"));
    ui.mediaInfolab = makeLabel(ui.cleanMediaView, "mediaInfolab", QString(), kInfoPoints);
    ui.syncFailedTableView = cleanview::makeTable(ui.cleanMediaView, "syncFailedTableView", false);
    ui.syncedMenu = named(new QMenu(ui.syncFailedTableView), "syncedMenu");
    auto* buttons = new QHBoxLayout();
    back = cleanview::makeButton(ui.cleanMediaView, "", QStringLiteral("Back"));
    buttons->addWidget(back);
    buttons->addStretch(1);
    layout->addWidget(ui.mediaInfolab);
    layout->addWidget(ui.syncFailedTableView, 1);
    layout->addLayout(buttons);
    ui.stack->addWidget(ui.cleanMediaView);
}

}  // namespace

CleanViewUi buildCleanView() {
    CleanViewUi ui;
    ui.view = named(new QWidget(), "CleanViewRoot");
    auto* root = new QVBoxLayout(ui.view);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);
    ui.stack = named(new QStackedWidget(ui.view), "cleanStackView");
    root->addWidget(ui.stack, 1);
    ui.statuslab = cleanview::makeStatusLine(ui.view, "cleanStatuslab");
    root->addWidget(ui.statuslab);

    buildStartView(ui);
    buildTipWindow(ui);
    ui.cacheResult =
        makeResultView(ui.stack, "cleanCacheTableView", "cleanCacheFileTableView",
                       "cacheFileInfolab", "cacheProgressor", "cacheExportBtn", "cacheRemoveBtn",
                       "cacheRemoveAllBtn", QStringLiteral("Cache Files"));
    ui.documentResult =
        makeResultView(ui.stack, "cleanDocumentTableView", "cleanDocumentFileTableview",
                       "documentFileInfolab", "documentProgressor", "documentExportBtn",
                       "documentRemoveBtn", "documentRemoveAllBtn", QStringLiteral("Documents"));
    // Documents are the user's own files: each can be kept out of the removals.
    ui.documentResult.hintlab =
        makeLabel(ui.documentResult.view, "documentKeepHintlab",
                  QStringLiteral("Documents are your own files in the apps. Untick the ones "
                                 "you want to keep: removing all leaves them on the device."),
                  kInfoPoints);
    ui.documentResult.hintlab->setWordWrap(true);
    if (auto* layout = qobject_cast<QVBoxLayout*>(ui.documentResult.view->layout())) {
        layout->insertWidget(layout->indexOf(ui.documentResult.table), ui.documentResult.hintlab);
    }
    ui.junkResult =
        makeResultView(ui.stack, "cleanJunkTableView", "cleanJunkFileTableView", "junkFileInfolab",
                       "junkProgressor", "junkExportBtn", "junkRemoveBtn", "junkRemoveAllBtn",
                       QStringLiteral("Temporary Files"));
    ui.cookResult = makeResultView(ui.stack, "cleanCookTableView", "cleanCookieFileTableView",
                                   "cookFileInfolab", "cookProgressor", "cookExportBtn",
                                   "cookRemoveBtn", "cookRemoveAllBtn", QStringLiteral("Cookies"));
    buildAdsView(ui);
    buildDeviceMain(ui);
    ui.junkView = makeTreeView(ui.stack, "cleanJunkView", "JunkOutlineView", "junkFileTableView",
                               "junkInfolab", "junkMenu", "junkDirMenu",
                               QStringLiteral("Temp Files"), ui.deviceBackBtns[0]);
    ui.cacheView = makeTreeView(ui.stack, "cleanCacheview", "CacheOutlineView",
                                "cacheFileTableView", "cacheInfolab", "cacheMenu", "cacheDirMenu",
                                QStringLiteral("Cache"), ui.deviceBackBtns[1]);
    ui.cookView =
        makeTreeView(ui.stack, "cleanCookView", "CookOutlineView", "cookieTableView", "cookInfolab",
                     "cookieMenu", "cookieDirMenu", QStringLiteral("Cookie"), ui.deviceBackBtns[2]);
    buildMediaView(ui, ui.deviceBackBtns[3]);
    ui.stack->setCurrentWidget(ui.cleanDiskView);
    std::vector<QWidget*> views;
    for (int i = 0; i < ui.stack->count(); ++i) {
        views.push_back(ui.stack->widget(i));
    }
    nimbara::ui::keepStatusPerView(ui.statuslab, views);
    return ui;
}
