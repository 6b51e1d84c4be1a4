#include "filemanager/pages/phone_system_ui.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>
#include <QVBoxLayout>

#include "cleanup/pages/clean_view_ui.h"
#include "ui/flash_view.h"
#include "ui/fonts.h"
#include "ui/window_builders.h"

namespace {

using nimbara::ui::build::makeImageView;
using nimbara::ui::build::makeLabel;
using nimbara::ui::build::named;

constexpr int kPoints = 11;  // "Lucida Grande" at 11 points

}  // namespace

PhoneSystemUi buildPhoneSystemView() {
    PhoneSystemUi ui;
    ui.view = named(new QWidget(), "SystemLibView");
    QVBoxLayout* layout =
        cleanview::headedView(ui.view, "titlelab", QStringLiteral("Device Files"));

    auto* walkLine = new QHBoxLayout();
    ui.scanImageView = named(new FlashView(ui.view), "scanImageView");
    ui.scanImageView->setFixedSize(24, 24);
    ui.infolab = makeLabel(ui.view, "infolab", QStringLiteral("Reading the device's files..."),
                           kPoints, QColor(96, 110, 128));
    ui.progressor = named(new QProgressBar(ui.view), "progressor");
    ui.progressor->setRange(0, 0);  // busy: the walk does not know its end
    ui.progressor->setTextVisible(false);
    ui.progressor->setFixedHeight(8);
    walkLine->addWidget(ui.scanImageView);
    walkLine->addWidget(ui.infolab);
    walkLine->addWidget(ui.progressor, 1);
    layout->addLayout(walkLine);

    auto* splitter = named(new QSplitter(Qt::Horizontal, ui.view), "systemSplitter");
    ui.theOutlineView = named(new QTreeView(splitter), "theOutlineView");
    ui.theOutlineView->setHeaderHidden(true);
    // Deep folders widen the column and scroll sideways instead of being cut.
    ui.theOutlineView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui.theOutlineView->header()->setStretchLastSection(false);
    ui.theOutlineView->setFont(nimbara::ui::appFont(kPoints));
    ui.theOutlineView->setContextMenuPolicy(Qt::CustomContextMenu);
    ui.theOutlineView->setEditTriggers(QAbstractItemView::NoEditTriggers);

    ui.showTableView = named(new QWidget(splitter), "showTableView");
    auto* tableLayout = new QVBoxLayout(ui.showTableView);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    ui.theTableView = cleanview::makeTable(ui.showTableView, "theTableView", true);
    ui.theTableView->setFont(nimbara::ui::appFont(kPoints));
    ui.theTableView->setContextMenuPolicy(Qt::CustomContextMenu);
    ui.theTableView->horizontalHeader()->setStretchLastSection(true);
    tableLayout->addWidget(ui.theTableView);

    ui.showPreview = named(new QWidget(splitter), "showPreview");
    auto* previewLayout = new QVBoxLayout(ui.showPreview);
    ui.showImageView = makeImageView(ui.showPreview, "showImageView", QString(), false);
    ui.showImageView->setMinimumSize(200, 200);
    ui.showImageView->setAlignment(Qt::AlignCenter);
    ui.previewNamelab =
        makeLabel(ui.showPreview, "previewNamelab", QString(), kPoints, QColor(96, 110, 128));
    ui.previewNamelab->setAlignment(Qt::AlignCenter);
    ui.previewNamelab->setWordWrap(true);
    previewLayout->addWidget(ui.showImageView, 1);
    previewLayout->addWidget(ui.previewNamelab);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 4);
    splitter->setStretchFactor(2, 2);
    splitter->setSizes({200, 420, 220});
    layout->addWidget(splitter, 1);

    auto* buttons = new QHBoxLayout();
    ui.addFileBtn = cleanview::makeButton(ui.view, "addFileBtn", QStringLiteral("Add File..."));
    ui.removeBtn = cleanview::makeButton(ui.view, "removeBtn", QStringLiteral("Delete"));
    ui.exportDirBtn =
        cleanview::makeButton(ui.view, "exportDirBtn", QStringLiteral("Export Folder..."));
    ui.exportFileBtn = cleanview::makeButton(ui.view, "exportFileBtn", QStringLiteral("Export..."));
    buttons->addWidget(ui.addFileBtn);
    buttons->addWidget(ui.removeBtn);
    buttons->addStretch(1);
    buttons->addWidget(ui.exportDirBtn);
    buttons->addWidget(ui.exportFileBtn);
    layout->addLayout(buttons);
    ui.statuslab = cleanview::makeStatusLine(ui.view, "statuslab");
    layout->addWidget(ui.statuslab);

    ui.outlineViewMenu = named(new QMenu(ui.view), "outlineViewMenu");
    ui.outlineExportAction = ui.outlineViewMenu->addAction(QStringLiteral("Export Folder..."));
    ui.rightDownMenu = named(new QMenu(ui.view), "rightDownMenu");
    ui.exportFileAction = ui.rightDownMenu->addAction(QStringLiteral("Export..."));
    ui.exportDirAction = ui.rightDownMenu->addAction(QStringLiteral("Export Folder..."));
    ui.exportDocumentAction = ui.rightDownMenu->addAction(QStringLiteral("Export to Documents"));
    ui.rightDownMenu->addSeparator();
    ui.selectAllAction = ui.rightDownMenu->addAction(QStringLiteral("Select All"));
    ui.unselectAllAction = ui.rightDownMenu->addAction(QStringLiteral("Deselect All"));
    ui.rightDownMenu->addSeparator();
    ui.addFileAction = ui.rightDownMenu->addAction(QStringLiteral("Add File..."));
    ui.removeAction = ui.rightDownMenu->addAction(QStringLiteral("Delete"));
    return ui;
}
