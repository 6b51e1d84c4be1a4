#include "app/quick_scan_window_ui.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTableView>
#include <QVBoxLayout>

#include "app/main_window_ui.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/window_builders.h"

using nimbara::ui::fillBackground;
using nimbara::ui::kLabelSlate;
using nimbara::ui::build::kText;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

namespace {

PRTableButton* makeTableButton(QWidget* parent, const char* objectName, const char* image,
                               const char* tip = nullptr) {
    auto* button = named(new PRTableButton(parent), objectName);
    button->setImage(QLatin1String(image));
    if (tip != nullptr) {
        button->setToolTip(QLatin1String(tip));
    }
    return button;
}

// Places `widget` in a parent of height `parentHeight` with a frame measured from the parent's
// bottom edge (x, y, w, h), as the row layouts of the window are given.
void placeFromBottom(QWidget* widget, int parentHeight, int x, int y, int w, int h) {
    widget->setGeometry(x, parentHeight - y - h, w, h);
}

// One result row: check box, icon, title, size, help button. `y` and `h` of the row's parts
// are measured from the bottom of `parent` (height `parentHeight`); the layout without check
// boxes is the starting one.
struct RowParts {
    PRTableButton** check;
    QLabel** image;
    QLabel** title;
    QLabel** size;
    PRTableButton** info;
};

void buildRow(QWidget* parent, int parentHeight, int imageX, int sizeX, int y,
              const RowParts& parts, const char* checkName, const char* imageName,
              const char* titleName, const char* sizeName, const char* infoName,
              const char* picture, const char* text, const char* infoTip) {
    *parts.check = makeTableButton(parent, checkName, "selectedstate.png");
    placeFromBottom(*parts.check, parentHeight, imageX - 4, y + 4, 16, 16);
    (*parts.check)->hide();
    *parts.image = makeImageView(parent, imageName, QLatin1String(picture));
    placeFromBottom(*parts.image, parentHeight, imageX, y + 2, 20, 20);
    *parts.title = makeLabel(parent, titleName, QLatin1String(text), 13);
    placeFromBottom(*parts.title, parentHeight, imageX + 26, y, 170, 24);
    *parts.size = makeLabel(parent, sizeName, QString(), 13, kLabelSlate);
    (*parts.size)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeFromBottom(*parts.size, parentHeight, sizeX, y, 110, 24);
    if (parts.info != nullptr) {
        *parts.info = makeTableButton(parent, infoName, "infonom.png", infoTip);
        placeFromBottom(*parts.info, parentHeight, sizeX + 116, y + 4, 16, 16);
        (*parts.info)->hide();
    }
}

// The switch that opens and closes a list row's list (the row view is 40 high).
nimbara::ui::ImageButton* makeListSwitch(QWidget* rowView, const char* objectName, int y) {
    auto* button = named(new nimbara::ui::ImageButton(rowView), objectName);
    button->setImage(QStringLiteral("above.png"));
    placeFromBottom(button, 40, 357, y, 16, 16);
    button->hide();
    return button;
}

QTableView* makeResultTable(QWidget* scrollView, const char* objectName) {
    auto* layout = new QVBoxLayout(scrollView);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* table = named(new QTableView(scrollView), objectName);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->setShowGrid(false);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFont(nimbara::ui::appFont(11));
    layout->addWidget(table);
    return table;
}

void buildInfoTable(QuickScanWindowUi& ui) {
    constexpr int H = QuickScanWindowUi::kInfoHeight;
    QWidget* table = ui.theInfoTableDisplayView;
    ui.lineImageView = named(new QLabel(table), "lineImageView");
    ui.lineImageView->setGeometry(20, 0, QuickScanWindowUi::kWidth - 40, 1);
    fillBackground(ui.lineImageView, nimbara::ui::kEntryGrey);

    buildRow(table, H, 27, 236, 299,
             {&ui.quickPhotoCheckBtn, &ui.quickPhotoImageView, &ui.quickPhotolab,
              &ui.devicephotolab, &ui.photoInfoBtn},
             "quickPhotoCheckBtn", "quickPhotoImageView", "quickPhotolab", "devicephotolab",
             "photoInfoBtn", "photos01", "Photos & Videos",
             "Photos & Videos will be backed up before deleted from iOS device.");
    buildRow(table, H, 27, 236, 256,
             {&ui.quickJunkCheckBtn, &ui.quickJunkImageView, &ui.quickJunklab, &ui.deviceJunklab,
              &ui.junkInfoBtn},
             "quickJunkCheckBtn", "quickJunkImageView", "quickJunklab", "deviceJunklab",
             "junkInfoBtn", "TempJunkFiles01", "Junk Files", nullptr);

    // The two list rows are views of their own, 40 high, moved as the lists open and close.
    ui.theLargeFileView = named(new QWidget(table), "theLargeFileView");
    placeFromBottom(ui.theLargeFileView, H, 11, 208, 392, 40);
    buildRow(ui.theLargeFileView, 40, 16, 225, 11,
             {&ui.quickLargeFileCheckBtn, &ui.quickLargeFileImageView, &ui.quickLargeFilelab,
              &ui.deviceLargeFilelab, &ui.largeFileInfoBtn},
             "quickLargeFileCheckBtn", "quickLargeFileImageView", "quickLargeFilelab",
             "deviceLargeFilelab", "largeFileInfoBtn", "folder", "Large Files",
             "You can change the settings of the mimimum large file size on perferences..");
    ui.expandLargeFileBtn = makeListSwitch(ui.theLargeFileView, "expandLargeFileBtn", 15);

    ui.theLargeAppView = named(new QWidget(table), "theLargeAppView");
    placeFromBottom(ui.theLargeAppView, H, 11, 160, 392, 40);
    buildRow(ui.theLargeAppView, 40, 16, 225, 12,
             {&ui.quickLargeAppCheckBtn, &ui.quickLargeAppImageView, &ui.quickLargeApplab,
              &ui.deviceLargeApplab, &ui.largeAppInfoBtn},
             "quickLargeAppCheckBtn", "quickLargeAppImageView", "quickLargeApplab",
             "deviceLargeApplab", "largeAppInfoBtn", "app01", "Large Apps",
             "You can change the settings of the mimimum large app size on perferences..");
    ui.expandLargeAppBtn = makeListSwitch(ui.theLargeAppView, "expandLargeAppBtn", 16);

    ui.bigFileScrollView = named(new QWidget(table), "bigFileScrollView");
    placeFromBottom(ui.bigFileScrollView, H, 52, 114, 345, 90);
    ui.bigFileTableView = makeResultTable(ui.bigFileScrollView, "bigFileTableView");
    ui.bigFileScrollView->hide();
    ui.bigAppScrollView = named(new QWidget(table), "bigAppScrollView");
    placeFromBottom(ui.bigAppScrollView, H, 52, 7, 345, 90);
    ui.bigAppTableView = makeResultTable(ui.bigAppScrollView, "bigAppTableView");
    ui.bigAppScrollView->hide();

    for (QLabel* size :
         {ui.devicephotolab, ui.deviceJunklab, ui.deviceLargeFilelab, ui.deviceLargeApplab}) {
        size->setText(QStringLiteral("Unkown"));
    }
}

QWidget* makeBar(QWidget* parent, const char* objectName) {
    return named(new QWidget(parent), objectName);
}

// A busy bar: its caption over an indeterminate progress bar.
QWidget* makeBusyBar(QWidget* parent, const char* objectName, QLabel** caption,
                     const char* captionName, const QString& text, QProgressBar** progress,
                     const char* progressName) {
    QWidget* bar = makeBar(parent, objectName);
    auto* layout = new QVBoxLayout(bar);
    *caption = makeLabel(bar, captionName, text, 11, kLabelSlate);
    *progress = named(new QProgressBar(bar), progressName);
    (*progress)->setRange(0, 0);
    (*progress)->setTextVisible(false);
    layout->addWidget(*caption, 0, Qt::AlignHCenter);
    layout->addWidget(*progress);
    return bar;
}

void buildBottomBars(QuickScanWindowUi& ui) {
    QWidget* bottom = ui.contentBottomView;
    auto* stack = new QGridLayout(bottom);
    stack->setContentsMargins(16, 8, 16, 12);

    ui.scanButtonBottomView = makeBar(bottom, "scanButtonBottomView");
    auto* scan = new QVBoxLayout(ui.scanButtonBottomView);
    scan->setContentsMargins(0, 0, 0, 0);
    scan->setSpacing(6);
    ui.quickScnDeviceBtn = makeTableButton(ui.scanButtonBottomView, "quickScnDeviceBtn",
                                           "scanbuttonnom.png", "Scan the connected device");
    ui.quickScnDeviceBtn->setFixedSize(160, 44);
    scan->addWidget(ui.quickScnDeviceBtn, 0, Qt::AlignHCenter);
    ui.scanNoDevicelab = makeLabel(ui.scanButtonBottomView, "scanNoDevicelab",
                                   QuickScanWindowUi::scanNoDeviceText(), 11, kLabelSlate);
    ui.scanNoDevicelab->setAlignment(Qt::AlignCenter);
    scan->addWidget(ui.scanNoDevicelab);
    stack->addWidget(ui.scanButtonBottomView, 0, 0);

    ui.scanProcessBottomView =
        makeBusyBar(bottom, "scanProcessBottomView", &ui.scanProcesslab, "scanProcesslab",
                    QStringLiteral("Scanning device"), &ui.scanProgressor, "scanProgressor");
    stack->addWidget(ui.scanProcessBottomView, 0, 0);

    ui.cleanupBottomView = makeBar(bottom, "cleanupBottomView");
    auto* cleanup = new QHBoxLayout(ui.cleanupBottomView);
    ui.quickRescanDeviceBtn = makeTableButton(ui.cleanupBottomView, "quickRescanDeviceBtn",
                                              "rescannom.png", "Scan the device again");
    ui.quickRescanDeviceBtn->setFixedSize(120, 36);
    ui.quickCleanupDeviceBtn = makeTableButton(ui.cleanupBottomView, "quickCleanupDeviceBtn",
                                               "cleanupdevicenom.png", "Clean up what is ticked");
    ui.quickCleanupDeviceBtn->setFixedSize(160, 44);
    cleanup->addWidget(ui.quickRescanDeviceBtn);
    cleanup->addStretch(1);
    cleanup->addWidget(ui.quickCleanupDeviceBtn);
    stack->addWidget(ui.cleanupBottomView, 0, 0);

    ui.cleanUpProcessBottomView = makeBusyBar(
        bottom, "cleanUpProcessBottomView", &ui.cleanupProcesslab, "cleanupProcesslab",
        QStringLiteral("Cleaning up device"), &ui.cleanupProgressor, "cleanupProgressor");
    stack->addWidget(ui.cleanUpProcessBottomView, 0, 0);

    ui.shareBottomView = makeBar(bottom, "shareBottomView");
    auto* share = new QHBoxLayout(ui.shareBottomView);
    ui.newShareFaceBookBtn = makeTableButton(ui.shareBottomView, "newShareFaceBookBtn", "");
    ui.newShareTwitterBtn = makeTableButton(ui.shareBottomView, "newShareTwitterBtn", "");
    ui.newShareMessageBtn = makeTableButton(ui.shareBottomView, "newShareMessageBtn", "");
    // Sharing is not offered: the three buttons stay hidden.
    for (PRTableButton* button :
         {ui.newShareFaceBookBtn, ui.newShareTwitterBtn, ui.newShareMessageBtn}) {
        button->hide();
    }
    ui.quickSmallDeepScanBtn = makeTableButton(ui.shareBottomView, "quickSmallDeepScanBtn",
                                               "deepscanbtnnom.png", "Open the main window");
    ui.quickSmallDeepScanBtn->setFixedSize(110, 28);
    ui.shareRescanDeviceBtn = makeTableButton(ui.shareBottomView, "shareRescanDeviceBtn",
                                              "rescannom.png", "Scan the device again");
    ui.shareRescanDeviceBtn->setFixedSize(120, 36);
    share->addWidget(ui.shareRescanDeviceBtn);
    share->addStretch(1);
    share->addWidget(ui.quickSmallDeepScanBtn);
    stack->addWidget(ui.shareBottomView, 0, 0);

    ui.scanProcessBottomView->hide();
    ui.cleanupBottomView->hide();
    ui.cleanUpProcessBottomView->hide();
    ui.shareBottomView->hide();
}

}  // namespace

QuickScanWindowUi::~QuickScanWindowUi() {
    delete quickScanWindow;
}

std::array<QWidget*, 4> QuickScanWindowUi::rowCheckButtons() const {
    return {quickPhotoCheckBtn, quickJunkCheckBtn, quickLargeFileCheckBtn, quickLargeAppCheckBtn};
}

std::array<QWidget*, 5> QuickScanWindowUi::resultButtons() const {
    return {expandLargeFileBtn, expandLargeAppBtn, largeAppInfoBtn, largeFileInfoBtn, photoInfoBtn};
}

std::unique_ptr<QuickScanWindowUi> buildQuickScanWindowUi() {
    auto ui = std::make_unique<QuickScanWindowUi>();
    constexpr int W = QuickScanWindowUi::kWidth;
    constexpr int H = QuickScanWindowUi::kHeight;
    auto* window = named(new QWidget(nullptr, Qt::Window), "quickScanWindow");
    ui->quickScanWindow = window;
    window->setWindowTitle(QStringLiteral("Nimbara Quick Scan"));
    window->setFixedSize(W, H);
    fillBackground(window, Qt::white);

    // Header: a strip in the window blue.
    auto* header = named(new QWidget(window), "quickHeaderView");
    header->setGeometry(0, 0, W, 60);
    fillBackground(header, nimbara::ui::kWindowBlue);
    ui->quickTitlelab =
        makeLabel(window, "quickTitlelab", QStringLiteral("Quick Scan"), 21, Qt::white, true);
    ui->quickTitlelab->setGeometry(20, 14, 220, 32);
    ui->quickDeepScanBtn = makeTableButton(window, "quickDeepScanBtn", "deepcleanmodenom.png",
                                           "Open the main window for every tool");
    ui->quickDeepScanBtn->setGeometry(W - 20 - 130, 16, 130, 30);

    // Content.
    ui->theContentView = named(new QWidget(window), "theContentView");
    ui->theContentView->setGeometry(0, 60, W, 600);
    auto* contentStack = new QGridLayout(ui->theContentView);
    contentStack->setContentsMargins(0, 0, 0, 0);

    ui->theConnectNoDeviceView = named(new QWidget(ui->theContentView), "theConnectNoDeviceView");
    contentStack->addWidget(ui->theConnectNoDeviceView, 0, 0);
    auto* none = new QVBoxLayout(ui->theConnectNoDeviceView);
    none->setContentsMargins(30, 20, 30, 20);
    ui->connectNoDeviceImageView = makeImageView(
        ui->theConnectNoDeviceView, "connectNoDeviceImageView", QStringLiteral("connectdevice"));
    ui->connectNoDeviceImageView->setFixedSize(220, 220);
    ui->connectNoDevicelab = makeLabel(ui->theConnectNoDeviceView, "connectNoDevicelab",
                                       QuickScanWindowUi::connectNoDeviceText(), 14, kText, true);
    ui->connectNoDevicelab->setAlignment(Qt::AlignCenter);
    ui->connectNoDevicelab->setWordWrap(true);
    ui->connectNoDeviceInfolab =
        makeLabel(ui->theConnectNoDeviceView, "connectNoDeviceInfolab",
                  QuickScanWindowUi::connectNoDeviceInfoText(), 11, kLabelSlate);
    ui->connectNoDeviceInfolab->setWordWrap(true);
    ui->connectNoDeviceInfolab->setAlignment(Qt::AlignCenter);
    none->addStretch(1);
    none->addWidget(ui->connectNoDeviceImageView, 0, Qt::AlignHCenter);
    none->addSpacing(16);
    none->addWidget(ui->connectNoDevicelab);
    none->addWidget(ui->connectNoDeviceInfolab);
    none->addStretch(2);

    ui->theContentResultView = named(new QWidget(ui->theContentView), "theContentResultView");
    contentStack->addWidget(ui->theContentResultView, 0, 0);
    QWidget* result = ui->theContentResultView;
    ui->scanGifImageView = makeImageView(result, "scanGifImageView", QStringLiteral("iphoneImage"));
    ui->scanGifImageView->setGeometry(40, 20, 120, 220);
    ui->cleanGifImageView = makeImageView(result, "cleanGifImageView", {});
    ui->cleanGifImageView->setGeometry(40, 20, 120, 220);
    ui->cleanGifImageView->hide();
    ui->totalCaptionlab = makeLabel(
        result, "totalCaptionlab",
        QStringLiteral("The space a scan finds to free up is shown here."), 12, Qt::white);
    ui->totalCaptionlab->setWordWrap(true);
    ui->totalCaptionlab->setGeometry(184, 70, 210, 44);
    // Wide enough for the longest size text (" 1023.99MB").
    ui->deviceTotallab =
        makeLabel(result, "deviceTotallab", QStringLiteral(" "), 24, Qt::white, true);
    ui->deviceTotallab->setGeometry(184, 116, 220, 44);
    ui->scanRefusallab = makeLabel(result, "scanRefusallab", QString(), 11, Qt::white);
    ui->scanRefusallab->setWordWrap(true);
    ui->scanRefusallab->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui->scanRefusallab->setGeometry(184, 164, 210, 92);
    ui->scanRefusallab->hide();

    ui->theInfoContentView = named(new QWidget(result), "theInfoContentView");
    ui->theInfoContentView->setGeometry(0, 600 - QuickScanWindowUi::kInfoHeight, W,
                                        QuickScanWindowUi::kInfoHeight);
    auto* infoStack = new QGridLayout(ui->theInfoContentView);
    infoStack->setContentsMargins(0, 0, 0, 0);
    ui->theInfoTableDisplayView =
        named(new QWidget(ui->theInfoContentView), "theInfoTableDisplayView");
    ui->theInfoTableDisplayView->setFixedSize(W, QuickScanWindowUi::kInfoHeight);
    fillBackground(ui->theInfoTableDisplayView, Qt::white);
    infoStack->addWidget(ui->theInfoTableDisplayView, 0, 0);
    buildInfoTable(*ui);
    ui->theInfoCleanFinishView =
        named(new QWidget(ui->theInfoContentView), "theInfoCleanFinishView");
    infoStack->addWidget(ui->theInfoCleanFinishView, 0, 0);
    fillBackground(ui->theInfoCleanFinishView, Qt::white);
    auto* finished = new QVBoxLayout(ui->theInfoCleanFinishView);
    ui->cleanFinishTitlelab = makeLabel(ui->theInfoCleanFinishView, "cleanFinishTitlelab",
                                        QStringLiteral("Cleaned up"), 21, kText, true);
    ui->cleanupFileSizelab =
        makeLabel(ui->theInfoCleanFinishView, "cleanupFileSizelab", QString(), 14, kLabelSlate);
    finished->addStretch(1);
    finished->addWidget(ui->cleanFinishTitlelab, 0, Qt::AlignHCenter);
    finished->addWidget(ui->cleanupFileSizelab, 0, Qt::AlignHCenter);
    ui->cleanFinishInfolab =
        makeLabel(ui->theInfoCleanFinishView, "cleanFinishInfolab", QString(), 11, kLabelSlate);
    ui->cleanFinishInfolab->setWordWrap(true);
    ui->cleanFinishInfolab->setAlignment(Qt::AlignCenter);
    ui->cleanFinishInfolab->setContentsMargins(24, 8, 24, 0);
    finished->addWidget(ui->cleanFinishInfolab);
    finished->addStretch(1);
    ui->theInfoCleanFinishView->hide();
    ui->theContentResultView->hide();

    // Bottom bars.
    ui->contentBottomView = named(new QWidget(window), "contentBottomView");
    ui->contentBottomView->setGeometry(0, H - 95, W, 95);
    fillBackground(ui->contentBottomView, Qt::white);
    buildBottomBars(*ui);

    // A warning shown over the window; nothing presents it yet.
    ui->errorwarnWindow = named(new QDialog(window), "errorwarnWindow");
    ui->errorwarnWindow->setWindowTitle(QStringLiteral("Nimbara"));
    auto* warn = new QVBoxLayout(ui->errorwarnWindow);
    ui->errorwarnlab = makeLabel(ui->errorwarnWindow, "errorwarnlab", QString(), 12);
    ui->errorwarnlab->setWordWrap(true);
    warn->addWidget(ui->errorwarnlab);
    return ui;
}

QString QuickScanWindowUi::connectNoDeviceText() {
    return QStringLiteral("Connect your iPhone, iPad or iPod touch");
}

QString QuickScanWindowUi::scanNoDeviceText() {
    return QStringLiteral("No device is chosen: there is nothing to scan.");
}

QString QuickScanWindowUi::connectNoDeviceInfoText() {
    return QStringLiteral(
        "Unlock the device and trust this computer. Its storage is shown here as soon as it is "
        "ready.");
}
