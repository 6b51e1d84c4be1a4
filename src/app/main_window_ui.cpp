#include "app/main_window_ui.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QTableView>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWindow>

#include "ui/color_progress_view.h"
#include "ui/column_fitting.h"
#include "ui/custom_view.h"
#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/named_image.h"
#include "ui/notification_buttons.h"
#include "ui/read_only_text.h"
#include "ui/window_builders.h"

namespace nimbara::app {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (shouldClose && !shouldClose(this)) {
        event->ignore();
        return;
    }
    event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // The title strip and the banner row move the window (there is no system title bar).
    if (event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && windowHandle() != nullptr) {
            windowHandle()->startSystemMove();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

// Lays out the page container: the sidebar at the left, the sidebar pages to its right and the
// feature pages over the whole area. Each child says where it goes in the property "pageArea".
class PageContainer : public QWidget {
  public:
    explicit PageContainer(QWidget* parent) : QWidget(parent) {}

  protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const QRect all = rect();
        const QRect side(0, 0, kSidebarWidth, all.height());
        const QRect right(kSidebarWidth, 0, all.width() - kSidebarWidth, all.height());
        for (QObject* object : children()) {
            auto* child = qobject_cast<QWidget*>(object);
            if (child == nullptr) {
                continue;
            }
            const QString area = child->property("pageArea").toString();
            if (area == QLatin1String("side")) {
                child->setGeometry(side);
            } else if (area == QLatin1String("right")) {
                child->setGeometry(right);
            } else if (area == QLatin1String("full")) {
                child->setGeometry(all);
            }
        }
    }
};

using ui::build::kText;
using ui::build::makeImageView;
using ui::build::makeLabel;
using ui::build::named;

// A white page view.
QWidget* makePage(QWidget* container, const char* objectName, const char* area) {
    auto* page = named(new QWidget(container), objectName);
    page->setProperty("pageArea", QLatin1String(area));
    fillBackground(page, Qt::white);
    return page;
}

// A sidebar row: the button is the row's background; image, label and spinner sit on it and
// let the mouse through to it.
struct Row {
    QPushButton* button;
    QLabel* imageView;
    QLabel* label;
};

constexpr int kRowHeight = 26;
constexpr int kTitleHeight = 24;

Row makeRow(QWidget* parent, int y, const char* buttonName, const char* imageName,
            const char* labelName, const char* image, const QString& text) {
    Row row{};
    row.button = named(new QPushButton(parent), buttonName);
    row.button->setGeometry(0, y, kSidebarWidth - 1, kRowHeight);
    row.button->setFocusPolicy(Qt::NoFocus);
    row.button->setCursor(Qt::PointingHandCursor);
    setEntryBackground(row.button, kEntryGrey);
    row.imageView = makeImageView(row.button, imageName, QString::fromLatin1(image), false);
    row.imageView->setGeometry(16, 1, 24, 24);
    row.imageView->setAttribute(Qt::WA_TransparentForMouseEvents);
    row.label = makeLabel(row.button, labelName, text, 11, Qt::black);
    // The full width: the clean-up rows add their sizes ("Cache Cleaner (2.45MB)"); a
    // transfer row's spinner covers only the end of its short name while it turns.
    row.label->setGeometry(46, 0, kSidebarWidth - 46 - 6, kRowHeight);
    row.label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return row;
}

FlashView* makeSpinner(QPushButton* row, const char* objectName) {
    auto* spinner = named(new FlashView(row), objectName);
    spinner->setGeometry(kSidebarWidth - 28, 3, 20, 20);
    spinner->setAttribute(Qt::WA_TransparentForMouseEvents);
    spinner->hide();
    return spinner;
}

QPushButton* makeLinkTitle(QWidget* parent, int y, const char* objectName, const QString& text) {
    auto* title = named(new QPushButton(text, parent), objectName);
    title->setGeometry(12, y, kSidebarWidth - 24, kTitleHeight);
    title->setFlat(true);
    title->setFocusPolicy(Qt::NoFocus);
    title->setCursor(Qt::PointingHandCursor);
    title->setFont(ui::appFont(11, true));
    title->setStyleSheet(
        QStringLiteral("QPushButton { color: rgb(121, 139, 167); border: none; text-align: left;"
                       " background: transparent; padding-top: 6px; }"
                       "QPushButton:hover { text-decoration: underline; }"));
    return title;
}

template <class T>
T* makeTitleBarButton(T* button, const char* objectName, int x) {
    named(button, objectName);
    button->setGeometry(x, 15, 14, 14);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void buildTitleStrip(MainWindowUi& ui) {
    auto* strip = named(new QWidget(ui.window), "titleBarView");
    ui.titleBarView = strip;
    strip->setFixedHeight(44);
    ui.topWindowImageView = makeImageView(strip, "topWindowImageView", {});
    // The strip's picture spans the window however wide it is; the controls on it keep their
    // places.
    auto* back = new QGridLayout(strip);
    back->setContentsMargins(0, 0, 0, 0);
    ui.topWindowImageView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    back->addWidget(ui.topWindowImageView, 0, 0);

    ui.closedButton = makeTitleBarButton(new PRClosedButton(strip), "closedButton", 12);
    ui.minButton = makeTitleBarButton(new ui::ImageButton(strip), "minButton", 34);
    ui.maxButton = makeTitleBarButton(new ui::ImageButton(strip), "maxButton", 56);
    ui.closedButton->setToolTip(QStringLiteral("Close"));
    ui.minButton->setToolTip(QStringLiteral("Minimise"));
    ui.maxButton->setToolTip(QStringLiteral("Zoom"));

    ui.logoImageView = makeImageView(strip, "logoImageView", QStringLiteral("iphone"), true);
    ui.logoImageView->setGeometry(86, 10, 24, 24);
    ui.windowTitlelab =
        makeLabel(strip, "windowTitlelab", QStringLiteral("Nimbara"), 13, Qt::white, true);
    ui.windowTitlelab->setGeometry(114, 0, 90, 44);

    auto* menuBar = named(new QMenuBar(strip), "mainMenuBar");
    menuBar->setNativeMenuBar(false);
    menuBar->setGeometry(206, 10, 220, 24);
    menuBar->setStyleSheet(
        QStringLiteral("QMenuBar { background: transparent; color: white; }"
                       "QMenuBar::item { background: transparent; padding: 3px 10px; }"
                       "QMenuBar::item:selected { background: rgba(255, 255, 255, 50);"
                       " border-radius: 3px; }"));
    auto item = [](QMenu* menu, const char* objectName, const char* text) {
        return named(menu->addAction(QString::fromLatin1(text)), objectName);
    };
    ui.appMenu = named(menuBar->addMenu(QStringLiteral("&Nimbara")), "appMenu");
    ui.aboutItem = item(ui.appMenu, "aboutItem", "About Nimbara");
    ui.checkUpdateItem = item(ui.appMenu, "checkUpdateItem", "Check for Updates...");
    ui.preferencesItem = item(ui.appMenu, "preferencesItem", "Preferences...");
    ui.appMenu->addSeparator();
    ui.quitItem = item(ui.appMenu, "quitItem", "Quit Nimbara");
    ui.quitItem->setShortcut(QKeySequence::Quit);
    ui.fileMenu = named(menuBar->addMenu(QStringLiteral("&File")), "fileMenu");
    ui.openArchiveItem = item(ui.fileMenu, "openArchiveItem", "Open archived app...");
    ui.openArchiveItem->setShortcut(QKeySequence::Open);
    ui.helpMenu = named(menuBar->addMenu(QStringLiteral("&Help")), "helpMenu");
    ui.helpItem = item(ui.helpMenu, "helpItem", "Nimbara Help");
    ui.homePageItem = item(ui.helpMenu, "homePageItem", "Home Page");
    ui.contactUsItem = item(ui.helpMenu, "contactUsItem", "Contact Support");
    ui.learnMoreItem = item(ui.helpMenu, "learnMoreItem", "Learn More");
    menuBar->setFixedSize(menuBar->sizeHint().width() + 8, 24);

    ui.deviceNamePopBtn = named(new QComboBox(strip), "deviceNamePopBtn");
    ui.deviceNamePopBtn->setGeometry(716, 9, 190, 26);
    ui.deviceNamePopBtn->setFont(ui::appFont(11));
    ui.deviceNamePopBtn->setToolTip(QStringLiteral("The device shown"));
    ui.stateBannerBtn = named(new ui::ImageButton(strip), "stateBannerBtn");
    ui.stateBannerBtn->setImage(QStringLiteral("iDeviceStartup02.png"));
    ui.stateBannerBtn->setGeometry(686, 11, 22, 22);
    ui.stateBannerBtn->setFocusPolicy(Qt::NoFocus);
    ui.stateBannerBtn->setCursor(Qt::PointingHandCursor);
    ui.stateBannerBtn->setToolTip(QStringLiteral("All attached devices"));

    // Moved into place by the launch layout, beside the window buttons.
    ui.backQuickScanModeBtn = named(new PRTableButton(strip), "backQuickScanModeBtn");
    ui.backQuickScanModeBtn->setImage(QStringLiteral("quickscanmodenom.png"));
    ui.backQuickScanModeBtn->setGeometry(932, 15, 114, 26);
    ui.backQuickScanModeBtn->setToolTip(QStringLiteral("Back to the quick-scan window"));
    strip->installEventFilter(ui.window);
}

void buildBanner(MainWindowUi& ui, QWidget* parent) {
    auto* banner = named(new QWidget(parent), "bannerView");
    ui.bannerView = banner;
    banner->setFixedHeight(56);
    ui.mainwindowbackImageView = makeImageView(banner, "mainwindowbackImageView", {});
    auto* back = new QGridLayout(banner);
    back->setContentsMargins(0, 0, 0, 0);
    ui.mainwindowbackImageView->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    back->addWidget(ui.mainwindowbackImageView, 0, 0);
    ui.mainwindowbackImageView->setAttribute(Qt::WA_TransparentForMouseEvents);

    struct Tab {
        PRBannerButton** slot;
        const char* name;
        const char* image;
        int x;
        const char* tip;
    };
    // Positions before the device list places them (by the device's iOS version).
    const Tab tabs[] = {
        {&ui.mainStatusBannerBtn, "mainStatusBannerBtn", "DeviceManager_Nom.png", 176,
         "The connected device"},
        {&ui.diskManageBannerBtn, "diskManageBannerBtn", "diskmanagerNom.png", 936,
         "Storage manager"},
        {&ui.appCleanBannerBtn, "appCleanBannerBtn", "appcleanerNom.png", 249, "App cleaner"},
        {&ui.adsRemoveBannerBtn, "adsRemoveBannerBtn", "SystemCleanup_Nom.png", 322,
         "System clean-up"},
        {&ui.privacyBannerBtn, "privacyBannerBtn", "privacyclean_Nom.png", 468, "Privacy"},
        {&ui.findLargeBannerBtn, "findLargeBannerBtn", "findlargefilesNom.png", 614, "Large files"},
        {&ui.oneClickCopyBannerBtn, "oneClickCopyBannerBtn", "onecilickcopyNom.png", 760,
         "One-click copy"},
    };
    for (const Tab& tab : tabs) {
        auto* button = named(new PRBannerButton(banner), tab.name);
        button->setImage(QLatin1String(tab.image));
        button->setGeometry(tab.x, 8, 130, 40);
        button->setToolTip(QLatin1String(tab.tip));
        button->hide();
        *tab.slot = button;
    }
    banner->installEventFilter(ui.window);
}

void buildSidebar(MainWindowUi& ui, QWidget* container) {
    ui.manageDeviceView = named(new QWidget(container), "manageDeviceView");
    ui.manageDeviceView->setProperty("pageArea", QStringLiteral("side"));
    auto* stack = new QGridLayout(ui.manageDeviceView);
    stack->setContentsMargins(0, 0, 0, 0);

    // With a device.
    auto* has = makeImageView(ui.manageDeviceView, "manageHasDeviceView", {});
    ui.manageHasDeviceView = has;
    stack->addWidget(has, 0, 0);
    int y = 8;
    auto row = [&](QPushButton** button, QLabel** image, QLabel** label, const char* buttonName,
                   const char* imageName, const char* labelName, const char* picture,
                   const char* text) {
        Row r =
            makeRow(has, y, buttonName, imageName, labelName, picture, QString::fromLatin1(text));
        *button = r.button;
        *image = r.imageView;
        *label = r.label;
        y += kRowHeight;
        return r.button;
    };
    auto title = [&](QPushButton** slot, const char* name, const char* text) {
        *slot = makeLinkTitle(has, y, name, QString::fromLatin1(text));
        y += kTitleHeight + 2;
    };

    row(&ui.iDeviceStatuBtn, &ui.iDeviceImageView, &ui.iDeviceTextlab, "iDeviceStatuBtn",
        "iDeviceImageView", "iDeviceTextlab", "iDeviceStartup02", "Device Status");
    QPushButton* files =
        row(&ui.systemlibBtn, &ui.systemlibImageView, &ui.systemlibTextlab, "systemlibBtn",
            "systemlibImageView", "systemlibTextlab", "SystemLibrary01", "Device Files");
    ui.circleSystemProgress = makeSpinner(files, "circleSystemProgress");

    title(&ui.transferBtn, "transferBtn", "Transfer");
    ui.circleAppProgress = makeSpinner(row(&ui.appBtn, &ui.appImageView, &ui.appTextlab, "appBtn",
                                           "appImageView", "appTextlab", "app01", "Apps"),
                                       "circleAppProgress");
    ui.circlePhotoProgress =
        makeSpinner(row(&ui.photoBtn, &ui.photoImageView, &ui.photoTextlab, "photoBtn",
                        "photoImageView", "photoTextlab", "photos01", "Photos"),
                    "circlePhotoProgress");
    ui.circleMusicProgress =
        makeSpinner(row(&ui.musicBtn, &ui.musicImageView, &ui.musicTextlab, "musicBtn",
                        "musicImageView", "musicTextlab", "music01", "Music"),
                    "circleMusicProgress");
    ui.circleVideoProgress =
        makeSpinner(row(&ui.videoBtn, &ui.videoImageView, &ui.videoTextlab, "videoBtn",
                        "videoImageView", "videoTextlab", "videos01", "Videos"),
                    "circleVideoProgress");
    ui.circleContactProgress =
        makeSpinner(row(&ui.transContactBtn, &ui.transContactImageView, &ui.transContactTextlab,
                        "transContactBtn", "transContactImageView", "transContactTextlab",
                        "transContactNom", "Contacts"),
                    "circleContactProgress");
    ui.circleMessageProgress =
        makeSpinner(row(&ui.transMessageBtn, &ui.transMessageImageView, &ui.transMessageTextlab,
                        "transMessageBtn", "transMessageImageView", "transMessageTextlab",
                        "transMessageNom", "Messages"),
                    "circleMessageProgress");
    ui.circleNoteProgress = makeSpinner(
        row(&ui.transNoteBtn, &ui.transNoteImageView, &ui.transNoteTextlab, "transNoteBtn",
            "transNoteImageView", "transNoteTextlab", "transNoteNom", "Notes"),
        "circleNoteProgress");

    title(&ui.cleanBtn, "cleanBtn", "Clean");
    row(&ui.tempJunkFileBtn, &ui.tempJunkFileImageView, &ui.tempJunkFileTextlab, "tempJunkFileBtn",
        "tempJunkFileImageView", "tempJunkFileTextlab", "TempJunkFiles01", "Temp Files Cleaner");
    row(&ui.cacheBtn, &ui.cacheImageView, &ui.cacheTextlab, "cacheBtn", "cacheImageView",
        "cacheTextlab", "CacheFiles01", "Cache Cleaner");
    row(&ui.cookieBtn, &ui.cookieImageView, &ui.cookieTextlab, "cookieBtn", "cookieImageView",
        "cookieTextlab", "CookiesScriptFiles01", "Cookie Cleaner");
    row(&ui.syncBtn, &ui.syncImageView, &ui.syncTextlab, "syncBtn", "syncImageView", "syncTextlab",
        "SyncfailedMedia01", "Sync-failed Media");

    title(&ui.backupDeviceBtn, "backupDeviceBtn", "Back up");
    row(&ui.backupBtn, &ui.backupImageView, &ui.backupTextlab, "backupBtn", "backupImageView",
        "backupTextlab", "BackupiDevice01", "Back up Device");
    title(&ui.broswerMainBtn, "broswerMainBtn", "iTunes Backup Broswer");
    row(&ui.broswerBtn, &ui.broswerImageView, &ui.broswerTextlab, "broswerBtn", "broswerImageView",
        "broswerTextlab", "BackupBroswer01", "Browse Backups");
    setEntryBackground(ui.iDeviceStatuBtn, kSelectedBlue);
    setLabelColour(ui.iDeviceTextlab, Qt::white);

    // Without a device.
    auto* none = makeImageView(ui.manageDeviceView, "manageNoDeviceView", {});
    ui.manageNoDeviceView = none;
    stack->addWidget(none, 0, 0);
    Row connect = makeRow(none, 8, "connectDeviceBtn", "connectDeviceImageView", "connectDevicelab",
                          "ConnectDevice02", QStringLiteral("Connect Device"));
    ui.connectDeviceBtn = connect.button;
    ui.connectDeviceImageView = connect.imageView;
    ui.connectDevicelab = connect.label;
    ui.disConnectBroswerMainBtn = makeLinkTitle(none, 8 + kRowHeight, "disConnectBroswerMainBtn",
                                                QStringLiteral("iTunes Backup Broswer"));
    Row browse = makeRow(none, 10 + kRowHeight + kTitleHeight, "disConnectBroswerBtn",
                         "disConnectBroswerImageView", "disConnectTextlab", "BackupBroswer01",
                         QStringLiteral("Browse Backups"));
    ui.disConnectBroswerBtn = browse.button;
    ui.disConnectBroswerImageView = browse.imageView;
    ui.disConnectTextlab = browse.label;
}

// Keeps a one-line label's text whole: where the label is narrower than its text (a device
// identifier beside the used-space ring in the smallest window), the font gives way, down to
// 9 points, whenever the label is resized or its text changes.
class WholeText : public QObject {
  public:
    explicit WholeText(QLabel* label)
        : QObject(label), label_(label), points_(label->font().pointSize()) {
        label->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == label_ &&
            (event->type() == QEvent::Paint || event->type() == QEvent::Resize)) {
            QFont font = label_->font();
            int points = points_;
            font.setPointSize(points);
            const int room = label_->contentsRect().width();
            while (points > 9 && QFontMetrics(font).horizontalAdvance(label_->text()) > room) {
                font.setPointSize(--points);
            }
            if (points != label_->font().pointSize()) {
                label_->setFont(font);
            }
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    QLabel* label_;
    int points_;
};

// A caption and its value in the device information grid.
void addInfoRow(QGridLayout* grid, int row, QLabel** caption, const char* captionName,
                const char* captionText, QLabel** value, const char* valueName, QWidget* parent) {
    *caption = makeLabel(parent, captionName, QString::fromLatin1(captionText), 13);
    *value = makeLabel(parent, valueName, QStringLiteral("-"), 13, kLabelSlate);
    (*value)->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The value takes the room the row has, and its text fits it.
    (*value)->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    (*value)->setMinimumWidth(120);
    new WholeText(*value);
    grid->addWidget(*caption, row, 0, Qt::AlignRight);
    grid->addWidget(*value, row, 1);
}

// A size label of the storage legend with its colour mark.
QWidget* legendItem(QWidget* parent, QLabel** slot, const char* name, const char* text,
                    const QColor& colour) {
    auto* item = new QWidget(parent);
    auto* layout = new QHBoxLayout(item);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto* mark = new QLabel(item);
    mark->setFixedSize(10, 10);
    mark->setStyleSheet(
        QStringLiteral("background-color: %1; border-radius: 2px;").arg(colour.name()));
    *slot = makeLabel(item, name, QString::fromLatin1(text), 11, kLabelSlate);
    layout->addWidget(mark);
    layout->addWidget(*slot);
    return item;
}

void buildStatusPage(MainWindowUi& ui) {
    QWidget* page = ui.StatuView;
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // The strip across the top: the device's name and what can be done.
    ui.topInfoImageView = makeImageView(page, "topInfoImageView", {});
    ui.topInfoImageView->setFixedHeight(64);
    auto* strip = new QHBoxLayout(ui.topInfoImageView);
    strip->setContentsMargins(24, 6, 24, 8);
    ui.deviceNamelab = makeLabel(ui.topInfoImageView, "deviceNamelab", QString(), 21);
    auto* tips = new QVBoxLayout();
    tips->setSpacing(1);
    ui.topInfolab1 =
        makeLabel(ui.topInfoImageView, "topInfolab1",
                  QStringLiteral("Storage tabs: see what fills the device"), 11, kLabelSlate);
    ui.topInfolab2 =
        makeLabel(ui.topInfoImageView, "topInfolab2",
                  QStringLiteral("Sidebar: files, media and messages"), 11, kLabelSlate);
    ui.topInfolab3 =
        makeLabel(ui.topInfoImageView, "topInfolab3",
                  QStringLiteral("Back up the device to this computer"), 11, kLabelSlate);
    ui.topInfoAnytlab = makeLabel(ui.topInfoImageView, "topInfoAnytlab",
                                  QStringLiteral("Choose a task at any time"), 11, kLabelSlate);
    ui.topInfoAnytlab->hide();
    tips->addWidget(ui.topInfolab1);
    tips->addWidget(ui.topInfolab2);
    tips->addWidget(ui.topInfolab3);
    tips->addWidget(ui.topInfoAnytlab);
    strip->addWidget(ui.deviceNamelab, 1);
    strip->addLayout(tips);
    outer->addWidget(ui.topInfoImageView);

    auto* body = new QWidget(page);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(24, 12, 24, 12);
    bodyLayout->setSpacing(10);
    outer->addWidget(body, 1);

    // Picture, information and the used-space ring.
    auto* top = new QHBoxLayout();
    top->setSpacing(24);
    ui.deviceImageView = makeImageView(body, "deviceImageView", {});
    ui.deviceImageView->setFixedSize(96, 176);
    top->addWidget(ui.deviceImageView, 0, Qt::AlignVCenter);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    addInfoRow(grid, 0, &ui.iDeviceCapacitylab, "iDeviceCapacitylab",
               "Capacity:", &ui.iDeviceCapacityValuelab, "iDeviceCapacityValuelab", body);
    addInfoRow(grid, 1, &ui.iDeviceSoftwareVersionlab, "iDeviceSoftwareVersionlab",
               "Software Version:", &ui.iDeviceSoftwareVersionValuelab,
               "iDeviceSoftwareVersionValuelab", body);
    addInfoRow(grid, 2, &ui.iDeviceFirmlab, "iDeviceFirmlab",
               "Build Version:", &ui.iDeviceFirmValuelab, "iDeviceFirmValuelab", body);
    addInfoRow(grid, 3, &ui.iDeviceIDlab, "iDeviceIDlab", "Identifier:", &ui.iDeviceIDValuelab,
               "iDeviceIDValuelab", body);
    addInfoRow(grid, 4, &ui.iDeviceSeriallab, "iDeviceSeriallab",
               "Serial Number:", &ui.iDeviceSerialValuelab, "iDeviceSerialValuelab", body);
    addInfoRow(grid, 5, &ui.iDevicepPhonelab, "iDevicepPhonelab",
               "Phone Number:", &ui.iDevicepPhoneValuelab, "iDevicepPhoneValuelab", body);
    grid->setColumnStretch(1, 1);
    top->addLayout(grid, 1);

    auto* ringBox = new QVBoxLayout();
    ringBox->setSpacing(4);
    ui.theCustomView = named(new CustomView(body), "theCustomView");
    ui.theCustomView->setFixedSize(150, 150);
    auto* ringLayout = new QVBoxLayout(ui.theCustomView);
    ui.percentStoragelab =
        makeLabel(ui.theCustomView, "percentStoragelab", QStringLiteral("0%"), 21, kText, true);
    ui.percentStoragelab->setAlignment(Qt::AlignCenter);
    auto* usedCaption = new QLabel(QStringLiteral("used"), ui.theCustomView);
    usedCaption->setFont(ui::appFont(11));
    setLabelColour(usedCaption, kLabelSlate);
    usedCaption->setAlignment(Qt::AlignCenter);
    ringLayout->addStretch(1);
    ringLayout->addWidget(ui.percentStoragelab);
    ringLayout->addWidget(usedCaption);
    ringLayout->addStretch(1);
    ringBox->addWidget(ui.theCustomView, 0, Qt::AlignHCenter);
    auto* usedRow = new QHBoxLayout();
    auto* usedLabel = makeLabel(body, "usedSizeCaptionlab", QStringLiteral("Used:"), 11);
    ui.usedSizelab = makeLabel(body, "usedSizelab", QString(), 11, kLabelSlate);
    usedRow->addWidget(usedLabel);
    usedRow->addWidget(ui.usedSizelab, 1);
    auto* freeRow = new QHBoxLayout();
    auto* freeLabel = makeLabel(body, "freeSizeCaptionlab", QStringLiteral("Free:"), 11);
    ui.freeSizelab = makeLabel(body, "freeSizelab", QString(), 11, kLabelSlate);
    freeRow->addWidget(freeLabel);
    freeRow->addWidget(ui.freeSizelab, 1);
    ringBox->addLayout(usedRow);
    ringBox->addLayout(freeRow);
    top->addLayout(ringBox);
    bodyLayout->addLayout(top);

    // The storage bar with its figures and legend.
    auto* storageTitle =
        makeLabel(body, "storageTitlelab", QStringLiteral("Storage"), 13, kText, true);
    bodyLayout->addWidget(storageTitle);
    ui.iDeviceColorView = named(new PRColorProgressView(body), "iDeviceColorView");
    ui.iDeviceColorView->setFixedHeight(20);
    bodyLayout->addWidget(ui.iDeviceColorView);
    auto* figures = new QHBoxLayout();
    ui.usedSpaceLab = makeLabel(body, "usedSpaceLab", QString(), 11);
    ui.freeSpacelab = makeLabel(body, "freeSpacelab", QString(), 11);
    figures->addWidget(ui.usedSpaceLab);
    figures->addStretch(1);
    figures->addWidget(ui.freeSpacelab);
    bodyLayout->addLayout(figures);
    auto* legend = new QHBoxLayout();
    legend->setSpacing(18);
    legend->addWidget(
        legendItem(body, &ui.musicSizelab, "musicSizelab", "Music:", QColor(90, 152, 246)));
    legend->addWidget(
        legendItem(body, &ui.photoSizelab, "photoSizelab", "Photo:", QColor(255, 128, 110)));
    legend->addWidget(
        legendItem(body, &ui.movieSizelab, "movieSizelab", "Movie:", QColor(64, 222, 179)));
    legend->addWidget(
        legendItem(body, &ui.appSizelab, "appSizelab", "Apps:", QColor(247, 217, 21)));
    legend->addWidget(
        legendItem(body, &ui.otherSizelab, "otherSizelab", "Others:", QColor(214, 71, 141)));
    legend->addStretch(1);
    bodyLayout->addLayout(legend);
    ui.storageNotReportedlab = makeLabel(body, "storageNotReportedlab", QString(), 11, kLabelSlate);
    ui.storageNotReportedlab->setWordWrap(true);
    ui.storageNotReportedlab->hide();
    bodyLayout->addWidget(ui.storageNotReportedlab);

    // The storage categories, each opening the storage manager on its files.
    auto* tiles = new QHBoxLayout();
    tiles->setSpacing(8);
    struct Tile {
        PRButton** slot;
        const char* name;
        const char* image;
        const char* tip;
    };
    const Tile tileList[] = {
        {&ui.photoButton, "photoButton", "photos_Nom.png", "Photos"},
        {&ui.musicButton, "musicButton", "musics_Nom.png", "Music"},
        {&ui.videoButton, "videoButton", "videos_Nom.png", "Videos"},
        {&ui.bookButton, "bookButton", "books_Nom.png", "Books"},
        {&ui.userAppsButton, "userAppsButton", "userapps_Nom.png", "Apps"},
        {&ui.systemAppsButton, "systemAppsButton", "systemapps_Nom.png", "System apps"},
        {&ui.userDataButton, "userDataButton", "userdata_Nom.png", "User data"},
    };
    for (const Tile& tile : tileList) {
        auto* button = named(new PRButton(body), tile.name);
        button->setImage(QLatin1String(tile.image));
        button->setFixedSize(104, 78);
        button->setToolTip(QLatin1String(tile.tip));
        button->setCursor(Qt::PointingHandCursor);
        button->setFocusPolicy(Qt::NoFocus);
        *tile.slot = button;
        auto* column = new QVBoxLayout();
        column->setSpacing(2);
        column->addWidget(button);
        auto* caption = new QLabel(QLatin1String(tile.tip), body);
        caption->setFont(ui::appFont(11));
        caption->setAlignment(Qt::AlignCenter);
        setLabelColour(caption, kLabelSlate);
        column->addWidget(caption);
        tiles->addLayout(column);
    }
    tiles->addStretch(1);
    bodyLayout->addLayout(tiles);
    bodyLayout->addStretch(1);
}

void buildNoDevicePage(MainWindowUi& ui) {
    auto* layout = new QVBoxLayout(ui.noDeviceView);
    layout->setContentsMargins(40, 40, 40, 40);
    layout->addStretch(1);
    ui.noDeviceImageView =
        makeImageView(ui.noDeviceView, "noDeviceImageView", QStringLiteral("connectdevice"), true);
    ui.noDeviceImageView->setFixedSize(200, 200);
    layout->addWidget(ui.noDeviceImageView, 0, Qt::AlignHCenter);
    ui.noDeviceTitlelab =
        makeLabel(ui.noDeviceView, "noDeviceTitlelab", MainWindowUi::noDeviceTitleText(), 21);
    ui.noDeviceTitlelab->setAlignment(Qt::AlignCenter);
    layout->addWidget(ui.noDeviceTitlelab);
    ui.noDeviceInfolab = makeLabel(ui.noDeviceView, "noDeviceInfolab",
                                   MainWindowUi::noDeviceInfoText(), 12, kLabelSlate);
    ui.noDeviceInfolab->setAlignment(Qt::AlignCenter);
    ui.noDeviceInfolab->setWordWrap(true);
    layout->addWidget(ui.noDeviceInfolab);
    layout->addStretch(2);
}

void buildBackupStartPage(MainWindowUi& ui) {
    // The browser's result page, added later by its controller, shares the whole page with
    // the start page: one of them shows at a time (see ui::showOnlyStackedPage).
    auto* pageLayout = new QStackedLayout(ui.iTunesBackupBroswerView);
    pageLayout->setStackingMode(QStackedLayout::StackOne);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    ui.manageBroswerBackupView =
        named(new QWidget(ui.iTunesBackupBroswerView), "manageBroswerBackupView");
    pageLayout->addWidget(ui.manageBroswerBackupView);
    auto* stack = new QGridLayout(ui.manageBroswerBackupView);
    stack->setContentsMargins(0, 0, 0, 0);

    ui.manageHasBackupView = named(new QWidget(ui.manageBroswerBackupView), "manageHasBackupView");
    stack->addWidget(ui.manageHasBackupView, 0, 0);
    QWidget* has = ui.manageHasBackupView;
    ui.imageView = makeImageView(has, "imageView", {});
    auto* content = new QVBoxLayout(ui.imageView);
    content->setContentsMargins(32, 24, 32, 24);
    content->setSpacing(10);
    ui.infoTextlab = makeLabel(ui.imageView, "infoTextlab",
                               QStringLiteral("Backups of your devices on this computer"), 13);
    ui.titleline = named(new QWidget(ui.imageView), "titleline");
    ui.titleline->setFixedHeight(1);
    fillBackground(ui.titleline, kEntryGrey);
    ui.tableScrolleView = named(new QWidget(ui.imageView), "tableScrolleView");
    auto* tableLayout = new QVBoxLayout(ui.tableScrolleView);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    ui.diskTableView = named(new QTableView(ui.tableScrolleView), "diskTableView");
    ui.diskTableView->verticalHeader()->hide();
    ui.diskTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.diskTableView->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.diskTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.diskTableView->setShowGrid(false);
    ui.diskTableView->setIconSize(QSize(24, 24));
    ui.diskTableView->verticalHeader()->setDefaultSectionSize(30);
    ui.diskTableView->horizontalHeader()->setStretchLastSection(true);
    ui.diskTableView->horizontalHeader()->setDefaultSectionSize(150);
    ui::fitColumnsToContents(ui.diskTableView);
    tableLayout->addWidget(ui.diskTableView);
    ui.notelab =
        makeLabel(ui.imageView, "notelab",
                  QStringLiteral("Choose a backup and open it to see its contacts, messages, "
                                 "notes and other records."),
                  13, kLabelSlate);
    ui.notelab->setWordWrap(true);
    auto* buttons = new QHBoxLayout();
    ui.helpBtn = named(new QPushButton(QStringLiteral("Help"), ui.imageView), "helpBtn");
    ui.backupBroswerBt =
        named(new QPushButton(QStringLiteral("Refresh"), ui.imageView), "backupBroswerBt");
    ui.button = named(new QPushButton(QStringLiteral("Open Backup"), ui.imageView), "button");
    ui.button->setDefault(true);
    buttons->addWidget(ui.helpBtn);
    buttons->addStretch(1);
    buttons->addWidget(ui.backupBroswerBt);
    buttons->addWidget(ui.button);
    content->addWidget(ui.infoTextlab);
    content->addWidget(ui.titleline);
    content->addWidget(ui.tableScrolleView, 1);
    content->addWidget(ui.notelab);
    content->addLayout(buttons);
    auto* hasLayout = new QVBoxLayout(has);
    hasLayout->setContentsMargins(0, 0, 0, 0);
    hasLayout->addWidget(ui.imageView);

    ui.manageNoBackUpView = named(new QWidget(ui.manageBroswerBackupView), "manageNoBackUpView");
    stack->addWidget(ui.manageNoBackUpView, 0, 0);
    auto* noneLayout = new QVBoxLayout(ui.manageNoBackUpView);
    auto* noneText =
        makeLabel(ui.manageNoBackUpView, "noBackupTextlab",
                  QStringLiteral("There is no backup on this computer yet."), 13, kLabelSlate);
    noneText->setAlignment(Qt::AlignCenter);
    noneLayout->addWidget(noneText);
    ui.manageNoBackUpView->hide();
}

void buildCleanSummary(MainWindowUi& ui) {
    auto* pageLayout = new QGridLayout(ui.cleanLogView);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    ui.cleanShowView = named(new QWidget(ui.cleanLogView), "cleanShowView");
    pageLayout->addWidget(ui.cleanShowView, 0, 0);
    fillBackground(ui.cleanShowView, kWindowBlue);
    auto* stack = new QGridLayout(ui.cleanShowView);

    ui.cleanScanView = named(new QWidget(ui.cleanShowView), "cleanScanView");
    auto* scan = new QVBoxLayout(ui.cleanScanView);
    ui.scanAppImageView =
        makeImageView(ui.cleanScanView, "scanAppImageView", QStringLiteral("scaniphone1"), true);
    ui.scanAppImageView->setFixedSize(96, 176);
    ui.cleanprogressor = named(new QProgressBar(ui.cleanScanView), "cleanprogressor");
    ui.cleanprogressor->setRange(0, 100);
    ui.cleanprogressor->setTextVisible(false);
    scan->addStretch(1);
    scan->addWidget(ui.scanAppImageView, 0, Qt::AlignHCenter);
    scan->addWidget(ui.cleanprogressor);
    scan->addStretch(1);
    stack->addWidget(ui.cleanScanView, 0, 0);

    ui.cleanFinishView = named(new QWidget(ui.cleanShowView), "cleanFinishView");
    auto* finish = new QVBoxLayout(ui.cleanFinishView);
    ui.scanAppFinishImageView = makeImageView(ui.cleanFinishView, "scanAppFinishImageView",
                                              QStringLiteral("iphoneImage"), true);
    ui.scanAppFinishImageView->setFixedSize(96, 176);
    ui.scanResultlab = makeLabel(ui.cleanFinishView, "scanResultlab",
                                 QStringLiteral("Scan finished"), 21, Qt::white);
    ui.cleanFilelab = makeLabel(ui.cleanFinishView, "cleanFilelab", QString(), 11, Qt::white);
    ui.cleanFilelab->setWordWrap(true);
    ui.fixIssueBtn =
        named(new QPushButton(QStringLiteral("Fix Issues"), ui.cleanFinishView), "fixIssueBtn");
    finish->addStretch(1);
    finish->addWidget(ui.scanAppFinishImageView, 0, Qt::AlignHCenter);
    finish->addWidget(ui.scanResultlab, 0, Qt::AlignHCenter);
    finish->addWidget(ui.cleanFilelab);
    finish->addWidget(ui.fixIssueBtn, 0, Qt::AlignHCenter);
    finish->addStretch(1);
    stack->addWidget(ui.cleanFinishView, 0, 0);

    ui.fixResultView = named(new QWidget(ui.cleanShowView), "fixResultView");
    auto* fixed = new QVBoxLayout(ui.fixResultView);
    ui.fixSuccesslab =
        makeLabel(ui.fixResultView, "fixSuccesslab", QStringLiteral("Fixed"), 21, kSuccessYellow);
    ui.fixInfolab = makeLabel(ui.fixResultView, "fixInfolab", QString(), 11, Qt::white);
    ui.fixInfolab->setWordWrap(true);
    fixed->addStretch(1);
    fixed->addWidget(ui.fixSuccesslab, 0, Qt::AlignHCenter);
    fixed->addWidget(ui.fixInfolab);
    fixed->addStretch(1);
    stack->addWidget(ui.fixResultView, 0, 0);
}

void buildBottomBar(MainWindowUi& ui, QWidget* parent) {
    auto* bar = named(new QWidget(parent), "bottomBarView");
    ui.bottomBarView = bar;
    bar->setFixedHeight(28);
    auto* stack = new QGridLayout(bar);
    stack->setContentsMargins(0, 0, 0, 0);
    ui.bottomImageView = makeImageView(bar, "bottomImageView", {});
    ui.bottomMainImageView = makeImageView(bar, "bottomMainImageView", {});
    stack->addWidget(ui.bottomImageView, 0, 0, 1, 2);
    stack->addWidget(ui.bottomMainImageView, 0, 0, 1, 2);
    ui.noDeveiceBottomImageView = makeImageView(bar, "noDeveiceBottomImageView", {});
    ui.noDeveiceBottomImageView->setFixedWidth(kSidebarWidth);
    stack->addWidget(ui.noDeveiceBottomImageView, 0, 0);
    ui.mainBottomImageView = makeImageView(bar, "mainBottomImageView", {});
    stack->addWidget(ui.mainBottomImageView, 0, 1);
    stack->setColumnStretch(1, 1);
    ui.mainTextlab = makeLabel(bar, "mainTextlab", QString(), 11, kLabelSlate);
    ui.mainTextlab->setContentsMargins(12, 0, 12, 0);
    stack->addWidget(ui.mainTextlab, 0, 0, 1, 2);
    ui.waitingDevicelab =
        makeLabel(bar, "waitingDevicelab", QString(), 11, QColor(0xB4, 0x5A, 0x00));
    ui.waitingDevicelab->setContentsMargins(12, 0, 12, 0);
    ui.waitingDevicelab->hide();
    stack->addWidget(ui.waitingDevicelab, 0, 1, Qt::AlignRight | Qt::AlignVCenter);
}

QDialog* makeDialog(QWidget* parent, const char* objectName, const QString& title, int width,
                    int height) {
    auto* dialog = named(new QDialog(parent), objectName);
    dialog->setWindowTitle(title);
    dialog->setFixedSize(width, height);
    fillBackground(dialog, Qt::white);
    return dialog;
}

void buildAboutWindow(MainWindowUi& ui) {
    ui.aboutWindow =
        makeDialog(ui.window, "aboutWindow", QStringLiteral("About Nimbara"), 360, 260);
    auto* layout = new QVBoxLayout(ui.aboutWindow);
    layout->setSpacing(8);
    ui.logotuImageView =
        makeImageView(ui.aboutWindow, "logotuImageView", QStringLiteral("iphoneImage"), true);
    ui.logotuImageView->setFixedSize(60, 110);
    auto* name =
        makeLabel(ui.aboutWindow, "aboutNamelab", QStringLiteral("Nimbara"), 21, kText, true);
    const QString version = QApplication::applicationVersion();
    ui.aboutVersionlab = makeLabel(
        ui.aboutWindow, "aboutVersionlab",
        version.isEmpty() ? QString() : QStringLiteral("Version %1").arg(version), 11, kLabelSlate);
    auto* blurb = makeLabel(ui.aboutWindow, "aboutInfolab",
                            QStringLiteral("Looks after an iPhone, iPad or iPod touch connected "
                                           "to this computer."),
                            11, kLabelSlate);
    blurb->setWordWrap(true);
    blurb->setAlignment(Qt::AlignCenter);
    layout->addWidget(ui.logotuImageView, 0, Qt::AlignHCenter);
    layout->addWidget(name, 0, Qt::AlignHCenter);
    layout->addWidget(ui.aboutVersionlab, 0, Qt::AlignHCenter);
    layout->addWidget(blurb);
}

void buildLeadWindow(MainWindowUi& ui) {
    ui.leadWindow =
        makeDialog(ui.window, "leadWindow", QStringLiteral("Welcome to Nimbara"), 460, 300);
    auto* layout = new QVBoxLayout(ui.leadWindow);
    layout->setContentsMargins(28, 24, 28, 20);
    layout->setSpacing(6);
    ui.weclcomeField =
        makeLabel(ui.leadWindow, "weclcomeField", QStringLiteral("Welcome to Nimbara"), 14, kText);
    ui.tipField = makeLabel(ui.leadWindow, "tipField",
                            QStringLiteral("Three things to know before you start:"), 13);
    ui.tiponeField = makeLabel(ui.leadWindow, "tiponeField", QStringLiteral("1. Connect"), 12);
    ui.tipOneValueField =
        makeLabel(ui.leadWindow, "tipOneValueField",
                  QStringLiteral("Plug in the device and trust this computer when it asks."), 12,
                  kLabelSlate);
    ui.tipTwoField = makeLabel(ui.leadWindow, "tipTwoField", QStringLiteral("2. Choose"), 12);
    ui.tipTwoValueField =
        makeLabel(ui.leadWindow, "tipTwoValueField",
                  QStringLiteral("Pick a task from the tabs at the top or the list at the left."),
                  12, kLabelSlate);
    ui.tipThreeField = makeLabel(ui.leadWindow, "tipThreeField",
                                 QStringLiteral("3. Nothing changes on the device until you "
                                                "confirm."),
                                 12);
    ui.startButton = named(new QPushButton(QStringLiteral("Start"), ui.leadWindow), "startButton");
    ui.startButton->setDefault(true);
    for (QWidget* w :
         {static_cast<QWidget*>(ui.weclcomeField), static_cast<QWidget*>(ui.tipField),
          static_cast<QWidget*>(ui.tiponeField), static_cast<QWidget*>(ui.tipOneValueField),
          static_cast<QWidget*>(ui.tipTwoField), static_cast<QWidget*>(ui.tipTwoValueField),
          static_cast<QWidget*>(ui.tipThreeField)}) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            label->setWordWrap(true);
        }
        layout->addWidget(w);
    }
    layout->addStretch(1);
    layout->addWidget(ui.startButton, 0, Qt::AlignRight);
}

void buildCryWindow(MainWindowUi& ui) {
    ui.cryWindow = makeDialog(ui.window, "cryWindow", QStringLiteral("Before you go"), 460, 340);
    auto* layout = new QVBoxLayout(ui.cryWindow);
    layout->setContentsMargins(24, 18, 24, 18);
    ui.masterlab =
        makeLabel(ui.cryWindow, "masterlab", QStringLiteral("Leaving already?"), 28, kTitleOrange);
    ui.goodlab =
        makeLabel(ui.cryWindow, "goodlab", QStringLiteral("Thank you for using Nimbara."), 18);
    ui.goodlab->setWordWrap(true);
    ui.cryInfolab = makeLabel(
        ui.cryWindow, "cryInfolab",
        QStringLiteral("Notes written here are neither sent anywhere nor kept."), 11, kLabelSlate);
    ui.cryInfolab->setWordWrap(true);
    ui.suggestionView = named(new PRFeedBackView(ui.cryWindow), "suggestionView");
    auto* buttons = new QHBoxLayout();
    ui.senderIndicator = named(new FlashView(ui.cryWindow), "senderIndicator");
    ui.senderIndicator->setFixedSize(24, 24);
    ui.cryCancelButton =
        named(new QPushButton(QStringLiteral("Cancel"), ui.cryWindow), "cryCancelButton");
    ui.cryExitButton =
        named(new QPushButton(QStringLiteral("Exit"), ui.cryWindow), "cryExitButton");
    ui.crySendButton =
        named(new QPushButton(QStringLiteral("Send and Exit"), ui.cryWindow), "crySendButton");
    buttons->addWidget(ui.senderIndicator);
    buttons->addStretch(1);
    buttons->addWidget(ui.cryCancelButton);
    buttons->addWidget(ui.cryExitButton);
    buttons->addWidget(ui.crySendButton);
    // Nothing is sent from this sheet, so no send button is offered.
    ui.crySendButton->hide();
    layout->addWidget(ui.masterlab);
    layout->addWidget(ui.goodlab);
    layout->addWidget(ui.cryInfolab);
    layout->addWidget(ui.suggestionView, 1);
    layout->addLayout(buttons);
}

}  // namespace
}  // namespace nimbara::app

using namespace nimbara::app;

MainWindowUi::~MainWindowUi() {
    // The dialogs are children of the window.
    delete window;
}

std::array<QWidget*, 15> MainWindowUi::pageViews() const {
    return {StatuView,      TansferView,    BackupView,    ClearnView,    iTunesBackupBroswerView,
            musicView,      cleanLogView,   systemlibView, appView,       noDeviceView,
            diskManageView, findLargerView, oneCopyView,   adsRemoveView, privacyCleanView};
}

std::array<QWidget*, 10> MainWindowUi::firstTenPageViews() const {
    return {
        noDeviceView, StatuView,    TansferView,   BackupView, ClearnView, iTunesBackupBroswerView,
        musicView,    cleanLogView, systemlibView, appView};
}

std::array<PRBannerButton*, 7> MainWindowUi::bannerButtons() const {
    return {mainStatusBannerBtn, diskManageBannerBtn, appCleanBannerBtn,    adsRemoveBannerBtn,
            privacyBannerBtn,    findLargeBannerBtn,  oneClickCopyBannerBtn};
}

std::array<MainWindowUi::SidebarEntry, 15> MainWindowUi::sidebarEntries() const {
    return {{
        {iDeviceStatuBtn, iDeviceImageView, iDeviceTextlab, "iDeviceStartup01", "iDeviceStartup02"},
        {systemlibBtn, systemlibImageView, systemlibTextlab, "SystemLibrary01", "SystemLibrary02"},
        {appBtn, appImageView, appTextlab, "app01", "app02"},
        {photoBtn, photoImageView, photoTextlab, "photos01", "photos02"},
        {musicBtn, musicImageView, musicTextlab, "music01", "music02"},
        {videoBtn, videoImageView, videoTextlab, "videos01", "videos02"},
        {tempJunkFileBtn, tempJunkFileImageView, tempJunkFileTextlab, "TempJunkFiles01",
         "TempJunkFiles02"},
        {cacheBtn, cacheImageView, cacheTextlab, "CacheFiles01", "CacheFiles02"},
        {cookieBtn, cookieImageView, cookieTextlab, "CookiesScriptFiles01", "CookiesScriptFiles02"},
        {syncBtn, syncImageView, syncTextlab, "SyncfailedMedia01", "SyncfailedMedia02"},
        {backupBtn, backupImageView, backupTextlab, "BackupiDevice01", "BackupiDevice02"},
        {broswerBtn, broswerImageView, broswerTextlab, "BackupBroswer01", "BackupBroswer02"},
        {transContactBtn, transContactImageView, transContactTextlab, "transContactNom",
         "transContactDown"},
        {transMessageBtn, transMessageImageView, transMessageTextlab, "transMessageNom",
         "transMessageDown"},
        {transNoteBtn, transNoteImageView, transNoteTextlab, "transNoteNom", "transNoteDown"},
    }};
}

std::unique_ptr<MainWindowUi> buildMainWindowUi() {
    auto ui = std::make_unique<MainWindowUi>();
    auto* window = new MainWindow();
    ui->window = window;
    window->setObjectName(QStringLiteral("window"));
    window->setWindowTitle(QStringLiteral("Nimbara"));
    window->setWindowFlag(Qt::FramelessWindowHint);
    window->resize(kMainWindowWidth, kMainWindowHeight);
    window->setMinimumSize(kMainWindowWidth, kMainWindowHeight);

    buildTitleStrip(*ui);
    window->setMenuWidget(ui->titleBarView);

    auto* central = named(new QWidget(window), "centralView");
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildBanner(*ui, central);
    column->addWidget(ui->bannerView);

    auto* container = named(new PageContainer(central), "mainShowView");
    ui->mainShowView = container;
    buildSidebar(*ui, container);
    struct PageSpec {
        QWidget** slot;
        const char* name;
        const char* area;
    };
    const PageSpec pages[] = {
        {&ui->StatuView, "StatuView", "right"},
        {&ui->TansferView, "TansferView", "right"},
        {&ui->BackupView, "BackupView", "right"},
        {&ui->ClearnView, "ClearnView", "right"},
        {&ui->iTunesBackupBroswerView, "iTunesBackupBroswerView", "right"},
        {&ui->musicView, "musicView", "right"},
        {&ui->cleanLogView, "cleanLogView", "right"},
        {&ui->systemlibView, "systemlibView", "right"},
        {&ui->appView, "appView", "right"},
        {&ui->noDeviceView, "noDeviceView", "right"},
        {&ui->diskManageView, "diskManageView", "full"},
        {&ui->findLargerView, "findLargerView", "full"},
        {&ui->oneCopyView, "oneCopyView", "full"},
        {&ui->adsRemoveView, "adsRemoveView", "full"},
        {&ui->privacyCleanView, "privacyCleanView", "full"},
    };
    for (const PageSpec& spec : pages) {
        *spec.slot = makePage(container, spec.name, spec.area);
    }
    buildStatusPage(*ui);
    buildNoDevicePage(*ui);
    buildBackupStartPage(*ui);
    buildCleanSummary(*ui);
    column->addWidget(container, 1);

    buildBottomBar(*ui, central);
    column->addWidget(ui->bottomBarView);
    window->setCentralWidget(central);

    buildAboutWindow(*ui);
    buildLeadWindow(*ui);
    buildCryWindow(*ui);
    return ui;
}

QString MainWindowUi::noDeviceTitleText() {
    return QStringLiteral("Connect your iPhone, iPad or iPod touch");
}

QString MainWindowUi::noDeviceInfoText() {
    return QStringLiteral(
        "Plug the device in with its cable and unlock it. When it asks whether to trust this "
        "computer, choose Trust.\nNimbara shows it here as soon as it is ready.");
}
