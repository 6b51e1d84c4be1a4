#include "cleanup/pages/system_boost_ui.h"

#include <QDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/window_builders.h"

namespace {

using cleanview::makeButton;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;

// A view's status line, in the row of its bottom buttons: it takes the row's free width, keeps
// it while hidden, and grows upwards, so the buttons beside it never move.
QLabel* makeRowStatusLine(QWidget* view, const char* name) {
    QLabel* line = cleanview::makeStatusLine(view, name);
    line->setContentsMargins(0, 0, 0, 0);
    QSizePolicy policy = line->sizePolicy();
    policy.setHorizontalPolicy(QSizePolicy::Expanding);
    policy.setRetainSizeWhenHidden(true);
    line->setSizePolicy(policy);
    return line;
}

struct KindNames {
    const char* button;
    const char* size;
    const char* path;
    const char* image;
    const char* progress;
    const char* title;
};

constexpr KindNames kKinds[] = {
    {"systemlogButton", "systemlogFileSizelab", "systemlogPathlab", "systemlogImageView",
     "systemlogProgressor", "System Logs"},
    {"downloadtempButton", "downloadtempFileSizelab", "downloadtempPathlab",
     "downloadtempImageView", "downloadTempProgressor", "Download Temp Files"},
    {"userStorageButton", "userStorageFileSizelab", "userstoragePathlab", "userStorageImageView",
     "userStorageProgressor", "User Storage Files"},
    {"iTunesSystemFaileFileButton", "iTunesSystemFailedFileSizelab", "iTunesSystemFailedPathlab",
     "iTunesSystemFailedImageView", "iTunesSyncFailedProgressor", "Sync Failed Files"},
    {"iTunesSystemCacheButton", "iTunesSystemCacheFileSizelab", "iTunesSystemCachePathlab",
     "iTunesSystemCacheImageView", "iTunessystemCacheProgressor", "Sync Cache Files"},
};

void buildMainView(SystemBoostUi& ui) {
    ui.mainView = named(new QWidget(ui.view), "mainView");
    QVBoxLayout* layout = cleanview::headedView(ui.mainView, "", QStringLiteral("System Boost"));
    ui.systemBoostImageView =
        makeImageView(ui.mainView, "systemBoostImageView", QStringLiteral("tabHeadImage"));
    ui.systemBoostImageView->setScaledContents(true);
    ui.systemBoostImageView->setFixedHeight(4);
    layout->insertWidget(0, ui.systemBoostImageView);
    auto* head = makeLabel(ui.mainView, "headlab",
                           QStringLiteral("Find the crash logs, unfinished downloads, storage "
                                          "caches and sync leftovers the system keeps."),
                           kInfoPoints, QColor(96, 110, 128));
    head->setWordWrap(true);
    layout->addWidget(head);
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(12);
    grid->setColumnStretch(3, 1);
    for (std::size_t i = 0; i < ui.kinds.size(); ++i) {
        const KindNames& n = kKinds[i];
        ui.kinds[i] =
            cleanview::makeCategoryRow(ui.mainView, grid, static_cast<int>(i), n.button, n.size,
                                       n.path, n.image, n.progress, QString::fromLatin1(n.title));
    }
    layout->addLayout(grid);
    layout->addStretch(1);
    auto* bottom = new QHBoxLayout();
    ui.statuslab = makeRowStatusLine(ui.mainView, "statuslab");
    ui.theFalshView = named(new FlashView(ui.mainView), "theFalshView");
    ui.theFalshView->setFixedSize(32, 32);
    ui.scanButton = named(new PRScanButton(ui.mainView), "scanButton");
    ui.scanButton->setFixedSize(120, 40);
    bottom->addWidget(ui.statuslab, 1, Qt::AlignBottom);
    bottom->addWidget(ui.theFalshView, 0, Qt::AlignBottom);
    bottom->addWidget(ui.scanButton, 0, Qt::AlignBottom);
    layout->addLayout(bottom);
}

void buildResultView(SystemBoostUi& ui) {
    ui.ResultView = named(new QWidget(ui.view), "ResultView");
    QVBoxLayout* layout = cleanview::headedView(ui.ResultView, "", QStringLiteral("System Boost"));
    ui.resultTitlelab = makeLabel(ui.ResultView, "resultTitlelab", QString(), kInfoPoints);
    ui.systemBoostTableview = cleanview::makeTable(ui.ResultView, "systemBoostTableview", false);
    ui.systemBoostTableview->setContextMenuPolicy(Qt::NoContextMenu);
    auto* buttons = new QHBoxLayout();
    ui.backButton = makeButton(ui.ResultView, "backButton", QStringLiteral("Back"));
    ui.exportButton = makeButton(ui.ResultView, "exportButton", QStringLiteral("Export"));
    ui.removeButton = makeButton(ui.ResultView, "removeButton", QStringLiteral("Remove"));
    ui.resultStatuslab = makeRowStatusLine(ui.ResultView, "resultStatuslab");
    buttons->addWidget(ui.backButton, 0, Qt::AlignBottom);
    buttons->addWidget(ui.resultStatuslab, 1, Qt::AlignBottom);
    buttons->addWidget(ui.exportButton, 0, Qt::AlignBottom);
    buttons->addWidget(ui.removeButton, 0, Qt::AlignBottom);
    layout->addWidget(ui.resultTitlelab);
    layout->addWidget(ui.systemBoostTableview, 1);
    layout->addLayout(buttons);
}

void buildRemoveWindow(SystemBoostUi& ui) {
    ui.removeWindow = named(new QDialog(ui.view), "removeWindow");
    ui.removeWindow->setWindowTitle(QStringLiteral("System Boost"));
    ui.removeWindow->setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(ui.removeWindow);
    layout->setContentsMargins(20, 18, 20, 18);
    layout->setSpacing(10);
    ui.removeFileInfolab = makeLabel(ui.removeWindow, "removeFileInfolab", QString(), kInfoPoints);
    ui.removeFileInfolab->setTextFormat(Qt::RichText);
    ui.removeFileInfolab->setWordWrap(true);
    ui.removeProgress = named(new QProgressBar(ui.removeWindow), "removeProgress");
    ui.removeProgress->setRange(0, 100);
    ui.removeProgress->setMinimumWidth(380);
    ui.removeNumberInfolab =
        makeLabel(ui.removeWindow, "removeNumberInfolab", QString(), kInfoPoints);
    layout->addWidget(ui.removeFileInfolab);
    layout->addWidget(ui.removeProgress);
    layout->addWidget(ui.removeNumberInfolab);
}

}  // namespace

SystemBoostUi buildSystemBoostView() {
    SystemBoostUi ui;
    ui.view = named(new QWidget(), "SystemBoost");
    auto* layout = new QVBoxLayout(ui.view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildMainView(ui);
    buildResultView(ui);
    buildRemoveWindow(ui);
    layout->addWidget(ui.mainView, 1);
    layout->addWidget(ui.ResultView, 1);
    ui.ResultView->hide();
    return ui;
}
