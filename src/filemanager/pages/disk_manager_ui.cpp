#include "filemanager/pages/disk_manager_ui.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include "cleanup/pages/clean_view_ui.h"
#include "ui/fonts.h"
#include "ui/notification_buttons.h"
#include "ui/progress_view.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::hiddenView;
using nimbara::ui::build::infoLine;
using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kInfoPoints = 11;
const QColor kSlate{96, 110, 128};

// A title line with the back button on its left.
QVBoxLayout* listHead(QWidget* view, const char* backName, QPushButton*& back,
                      const QString& title) {
    auto* layout = new QVBoxLayout(view);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);
    auto* head = new QHBoxLayout();
    back = cleanview::makeButton(view, backName, QStringLiteral("Back"));
    head->addWidget(back);
    head->addSpacing(8);
    head->addWidget(makeLabel(view, "", title, 16, nimbara::ui::build::kText, true));
    head->addStretch(1);
    layout->addLayout(head);
    return layout;
}

struct ListNames {
    const char* view;
    const char* back;
    const char* info;
    const char* table;
    const char* image;
    const char* name;
    const char* size;
    const char* previewImage;  // named image shown before a row is chosen
};

DiskListViewUi makeListView(QWidget* parent, const ListNames& n, const QString& title,
                            std::initializer_list<std::pair<const char*, QString>> actions) {
    DiskListViewUi ui;
    ui.view = hiddenView(parent, n.view);
    QVBoxLayout* layout = listHead(ui.view, n.back, ui.backBtn, title);
    ui.infolab = infoLine(ui.view, n.info);
    layout->addWidget(ui.infolab);

    auto* row = new QHBoxLayout();
    row->setSpacing(16);
    ui.table = cleanview::makeTable(ui.view, n.table, true);
    row->addWidget(ui.table, 1);

    auto* side = new QWidget(ui.view);
    side->setFixedWidth(200);
    auto* preview = new QVBoxLayout(side);
    preview->setContentsMargins(0, 0, 0, 0);
    ui.previewImage = makeImageView(side, n.image, QLatin1String(n.previewImage));
    ui.previewImage->setFixedSize(128, 128);
    ui.previewName = makeLabel(side, n.name, QString(), 13, nimbara::ui::build::kText, true);
    ui.previewName->setWordWrap(true);
    ui.previewName->setAlignment(Qt::AlignHCenter);
    ui.previewSize = makeLabel(side, n.size, QString(), kInfoPoints, kSlate);
    ui.previewSize->setAlignment(Qt::AlignHCenter);
    preview->addWidget(ui.previewImage, 0, Qt::AlignHCenter);
    preview->addWidget(ui.previewName);
    preview->addWidget(ui.previewSize);
    preview->addStretch(1);
    row->addWidget(side);
    layout->addLayout(row, 1);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    std::size_t i = 0;
    for (const auto& [name, text] : actions) {
        ui.actions[i] = cleanview::makeButton(ui.view, name, text);
        buttons->addWidget(ui.actions[i]);
        ++i;
    }
    layout->addLayout(buttons);
    return ui;
}

void buildStateView(DiskManagerUi& ui) {
    ui.diskStateView = hiddenView(ui.view, "diskStateView");
    QVBoxLayout* layout =
        cleanview::headedView(ui.diskStateView, "", QStringLiteral("Storage Manager"));
    QLabel* text = makeLabel(ui.diskStateView, "diskStateInfolab",
                             QStringLiteral("See what fills your device: photos, music, videos, "
                                            "books, apps and your own files. Choose a category in "
                                            "the sidebar, or scan them all."),
                             12);
    text->setWordWrap(true);
    layout->addWidget(text);

    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(8);
    const auto bar = [&](int row, const QString& title, const char* barName, const char* usedName,
                         const char* freeName, PRProgressView*& progress, QLabel*& used,
                         QLabel*& free) {
        grid->addWidget(makeLabel(ui.diskStateView, "", title, 12, nimbara::ui::build::kText, true),
                        row, 0);
        progress = named(new PRProgressView(ui.diskStateView), barName);
        progress->setMinimumWidth(280);
        progress->setFixedHeight(14);
        grid->addWidget(progress, row, 1);
        used = makeLabel(ui.diskStateView, usedName, QString(), kInfoPoints);
        free = makeLabel(ui.diskStateView, freeName, QString(), kInfoPoints, kSlate);
        grid->addWidget(used, row, 2);
        grid->addWidget(free, row, 3);
    };
    bar(0, QStringLiteral("System"), "systemProgress", "iOSUsedlab", "iOSFreelab",
        ui.systemProgress, ui.iOSUsedlab, ui.iOSFreelab);
    bar(1, QStringLiteral("User"), "userDataProgress", "userUsedlab", "userFreelab",
        ui.userDataProgress, ui.userUsedlab, ui.userFreelab);
    grid->setColumnStretch(4, 1);
    layout->addLayout(grid);
    ui.deviceSpacelab =
        makeLabel(ui.diskStateView, "deviceSpacelab", QString(), kInfoPoints, kSlate);
    ui.deviceSpacelab->setWordWrap(true);
    ui.deviceSpacelab->hide();
    layout->addWidget(ui.deviceSpacelab);

    auto* bottom = new QHBoxLayout();
    bottom->addStretch(1);
    ui.diskManageButton = named(new PRDiskManagButton(ui.diskStateView), "diskManageButton");
    ui.diskManageButton->setImage(QStringLiteral("scanNom.png"));
    ui.diskManageButton->setFixedSize(150, 44);
    bottom->addWidget(ui.diskManageButton);
    bottom->addStretch(1);
    layout->addLayout(bottom);
    layout->addStretch(1);
}

void buildTableView(DiskManagerUi& ui) {
    ui.diskTableView = hiddenView(ui.view, "diskTableView");
    QVBoxLayout* layout =
        cleanview::headedView(ui.diskTableView, "", QStringLiteral("Storage Manager"));
    auto* grid = new QGridLayout();
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    struct RowNames {
        const char* button;
        const char* size;
        const char* state;
        const char* head;
        const char* progress;
        const char* title;
    };
    static constexpr RowNames kRows[kDiskCategoryCount] = {
        {"photoScanButton", "photoFileSizelab", "photoStatelab", "photoHeadImageView",
         "photoProgress", "Photos"},
        {"musicScanButton", "musicFileSizelab", "musicStatelab", "musicHeadImageView",
         "musicProgress", "Music"},
        {"videoScanButton", "videoFileSizelab", "videoStatelab", "videoHeadImageView",
         "videoProgress", "Videos"},
        {"booksScanButton", "booksFileSizelab", "booksStatelab", "bookHeadImageView",
         "bookProgress", "Books"},
        {"appScanButton", "appFileSizelab", "appStatelab", "appHeadImageView", "appProgress",
         "User Apps"},
        {"systemAppScanButton", "systemAppFileSizelab", "systemAppStatelab",
         "systemAppHeadImageView", "systemAppProgress", "System Apps"},
        {"userLibDataScanButton", "userLibDataFileSizelab", "userLibDataStatelab",
         "userlibDataHeadImageView", "userLibDataProgress", "User Data"},
    };
    for (int i = 0; i < kDiskCategoryCount; ++i) {
        const RowNames& n = kRows[i];
        CleanCategoryRowUi row =
            cleanview::makeCategoryRow(ui.diskTableView, grid, i, n.button, n.size, n.state, n.head,
                                       n.progress, QLatin1String(n.title));
        row.button->setLayoutDirection(Qt::RightToLeft);  // the arrow after the title
        row.pathlab->setMinimumWidth(200);
        ui.rows[static_cast<std::size_t>(i)] = {row.button, row.sizelab, row.pathlab, row.imageView,
                                                row.progress};
    }
    grid->setColumnStretch(4, 1);
    layout->addLayout(grid);
    ui.deviceSpacelab =
        makeLabel(ui.diskStateView, "deviceSpacelab", QString(), kInfoPoints, kSlate);
    ui.deviceSpacelab->setWordWrap(true);
    ui.deviceSpacelab->hide();
    layout->addWidget(ui.deviceSpacelab);
    auto* bottom = new QHBoxLayout();
    ui.scanAllBtn = cleanview::makeButton(ui.diskTableView, "scanAllBtn",
                                          QStringLiteral("Scan All Categories"));
    bottom->addWidget(ui.scanAllBtn);
    bottom->addStretch(1);
    layout->addLayout(bottom);
    layout->addStretch(1);
}

void buildUserDataView(DiskManagerUi& ui) {
    ui.userLibDataView = hiddenView(ui.view, "userLibDataView");
    QVBoxLayout* layout = listHead(ui.userLibDataView, "userLibDataBackBtn", ui.userLibDataBackBtn,
                                   QStringLiteral("User Data"));
    ui.userLibDatainfolab = infoLine(ui.userLibDataView, "userLibDatainfolab");
    layout->addWidget(ui.userLibDatainfolab);
    auto* split = new QSplitter(Qt::Horizontal, ui.userLibDataView);
    ui.userLibDataFileOutlineView = named(new QTreeView(split), "userLibDataFileOutlineView");
    ui.userLibDataFileOutlineView->setFont(nimbara::ui::appFont(kInfoPoints));
    ui.userLibDataFileOutlineView->setUniformRowHeights(true);
    ui.userLibDataFileOutlineView->setHeaderHidden(true);
    ui.userLibDataFileTableView = cleanview::makeTable(split, "userLibDataFileTableView", true);
    split->addWidget(ui.userLibDataFileOutlineView);
    split->addWidget(ui.userLibDataFileTableView);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    ui.userLibDataActions[0] =
        cleanview::makeButton(ui.userLibDataView, "userDataExportBtn", QStringLiteral("Export"));
    ui.userLibDataActions[1] =
        cleanview::makeButton(ui.userLibDataView, "userDataRemoveBtn", QStringLiteral("Remove"));
    buttons->addWidget(ui.userLibDataActions[0]);
    buttons->addWidget(ui.userLibDataActions[1]);
    layout->addLayout(buttons);
}

}  // namespace

DiskManagerUi buildDiskManagerView() {
    DiskManagerUi ui;
    ui.view = named(new QWidget(), "PRDiskManageView");
    auto* layout = new QVBoxLayout(ui.view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildStateView(ui);
    buildTableView(ui);
    ui.photo = makeListView(
        ui.view,
        {"photoFileView", "photoBackBtn", "photoInfolab", "photoFileTableview", "photoPreviewImage",
         "photoPreviewFileName", "photoPreviewFileSize", "photos_Nom"},
        QStringLiteral("Photos"),
        {{"photoExportBtn", QStringLiteral("Export")},
         {"photoExportAllBtn", QStringLiteral("Export All")},
         {"photoRemoveBtn", QStringLiteral("Remove")}});
    ui.music = makeListView(
        ui.view,
        {"musicFileView", "musicBackBtn", "musicInfolab", "musicFileTableView", "musicPreviewImage",
         "musicPreviewFileName", "musicPreviewFileSize", "defaultMuisc"},
        QStringLiteral("Music"),
        {{"musicExportBtn", QStringLiteral("Export")},
         {"musicExportAllBtn", QStringLiteral("Export All")},
         {"musicRemoveBtn", QStringLiteral("Remove")}});
    ui.video = makeListView(
        ui.view,
        {"videoFileView", "videoBackBtn", "videoInfolab", "vidoeFileTableView", "videoPreviewImage",
         "videoPreviewFileName", "videoPreviewFileSize", "defaultMuisc"},
        QStringLiteral("Videos"),
        {{"videoExportBtn", QStringLiteral("Export")},
         {"videoExportAllBtn", QStringLiteral("Export All")},
         {"videoRemoveBtn", QStringLiteral("Remove")}});
    ui.books = makeListView(
        ui.view,
        {"booksFileView", "booksBackBtn", "booksInfolab", "bookFileTableview", "bookPreviewImage",
         "bookPreviewFileName", "bookPreviewFileSize", "books_Nom"},
        QStringLiteral("Books"),
        {{"bookExportBtn", QStringLiteral("Export")},
         {"bookExportAllBtn", QStringLiteral("Export All")},
         {"bookRemoveBtn", QStringLiteral("Remove")}});
    ui.apps = makeListView(ui.view,
                           {"appFileView", "appBackBtn", "appInfolab", "appFileTableView",
                            "appPreviewImage", "appFileNamelab", "appVersionlab", "NULLImage"},
                           QStringLiteral("User Apps"),
                           {{"appExportDataBtn", QStringLiteral("Export App Data")},
                            {"appUninstallBtn", QStringLiteral("Uninstall")}});
    ui.system = makeListView(
        ui.view,
        {"systemAppFileView", "systemAppBackBtn", "systemAppInfolab", "systemAppFileTableView",
         "systemAppPreviewImageView", "systemAppNamelb", "systemAppVersionlab", "appstore"},
        QStringLiteral("System Apps"), {});
    buildUserDataView(ui);
    for (QWidget* view : ui.views()) {
        layout->addWidget(view, 1);
    }
    ui.statuslab = cleanview::makeStatusLine(ui.view, "statuslab");
    layout->addWidget(ui.statuslab);
    ui.diskStateView->show();
    return ui;
}
