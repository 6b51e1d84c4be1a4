#include "browser/pages/backup_files_view.h"

#include "backup/backup_file_tree.h"
#include "browser/backup_file_table_model.h"
#include "browser/backup_outline_model.h"
#include "browser/pages/backup_file_preview.h"
#include "ui/fonts.h"
#include "ui/image_text_cells.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QSplitter>
#include <QTableView>
#include <QTreeView>

#include <functional>
#include <utility>
#include <vector>

namespace nimbara::browser {

namespace {

// The image-and-text cell of a tick column, which tells where a row's tick is drawn.
class TickImageCell : public PRImageAndTextCell {
  public:
    using PRImageAndTextCell::PRImageAndTextCell;

    // Where the tick of `index` is drawn in a cell at `frame`, with a point of slack around it.
    QRect tickRect(const QRect& frame, const QModelIndex& index) const {
        const QSize size = imageFor(index).deviceIndependentSize().toSize();
        if (size.isEmpty()) {
            return {};
        }
        return imageDrawRect(frame, size).adjusted(-1, -1, 1, 1);
    }
};

constexpr int kPreviewMinimum = 150;

}  // namespace

BackupFilesView::BackupFilesView(BackupOutlineModel* outline, QWidget* parent)
    : QWidget(parent), outline_(outline), treeFileController_(new BackupFileTableModel(this)) {
    setObjectName(QStringLiteral("backupFilesView"));
    outline_->setShowsFiles(false);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    layout->addWidget(split);

    treeView = new QTreeView(split);
    treeView->setMinimumWidth(200);
    treeView->setObjectName(QStringLiteral("treeView"));
    treeView->setModel(outline_);
    treeView->setFont(ui::appFont(11));
    treeView->setUniformRowHeights(true);
    treeView->setHeaderHidden(true);
    treeView->setColumnHidden(BackupOutlineModel::kSizeColumn, true);
    treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treeView->setSelectionMode(QAbstractItemView::SingleSelection);
    outlineTicks_ = new TickImageCell(this);
    treeView->setItemDelegateForColumn(BackupOutlineModel::kNameColumn, outlineTicks_);
    treeView->viewport()->installEventFilter(this);
    treeView->installEventFilter(this);

    // The files above their preview.
    auto* files = new QSplitter(Qt::Vertical, split);
    files->setChildrenCollapsible(false);
    treetableView = new QTableView(files);
    treetableView->setObjectName(QStringLiteral("treetableView"));
    treetableView->setModel(treeFileController_);
    treetableView->setFont(ui::appFont(11));
    treetableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    treetableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    treetableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    treetableView->setShowGrid(false);
    treetableView->setWordWrap(false);
    treetableView->setTextElideMode(Qt::ElideMiddle);
    treetableView->verticalHeader()->hide();
    treetableView->verticalHeader()->setDefaultSectionSize(22);
    fileTicks_ = new TickImageCell(this);
    treetableView->setItemDelegateForColumn(BackupFileTableModel::kTickColumn, fileTicks_);
    treetableView->viewport()->installEventFilter(this);
    treetableView->installEventFilter(this);
    QHeaderView* header = treetableView->horizontalHeader();
    header->setSectionResizeMode(BackupFileTableModel::kTickColumn, QHeaderView::Fixed);
    header->resizeSection(BackupFileTableModel::kTickColumn, 26);
    header->setSectionResizeMode(BackupFileTableModel::kNameColumn, QHeaderView::Stretch);
    // Fixed widths: a column sized to its contents would measure tens of thousands of rows.
    header->resizeSection(BackupFileTableModel::kSizeColumn, 78);
    header->resizeSection(BackupFileTableModel::kTypeColumn, 52);

    treeFileImageView = new QLabel(files);
    treeFileImageView->setObjectName(QStringLiteral("treeFileImageView"));
    treeFileImageView->setAlignment(Qt::AlignCenter);
    treeFileImageView->setMinimumSize(kPreviewMinimum, kPreviewMinimum);
    treeFileImageView->setFrameShape(QFrame::StyledPanel);
    treeFileImageView->setStyleSheet(QStringLiteral("QLabel#treeFileImageView{background:white}"));
    treeFileImageView->installEventFilter(this);

    files->setStretchFactor(0, 3);
    files->setStretchFactor(1, 2);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);

    connect(treeView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
    connect(treetableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    connect(treetableView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { tableViewSelectionDidChange(); });
    connect(outline_, &BackupOutlineModel::folderFilesChanged, this,
            &BackupFilesView::folderFilesChanged);
    connect(outline_, &QAbstractItemModel::modelReset, this, &BackupFilesView::outlineReset);
}

// A picture still being decoded is dropped with the runner; nothing waits for it here.
BackupFilesView::~BackupFilesView() = default;

std::uint64_t BackupFilesView::getTreeSelectedItemNum() const {
    const PRTreeController* tree = outline_ ? outline_->controller() : nullptr;
    return tree ? tree->getTreeSelectedItemNum() : 0;
}

void BackupFilesView::ticksChanged(const std::shared_ptr<PRTreeDirNode>& folder) {
    if (outline_) {
        outline_->ticksChanged(folder);
    }
    treeFileController_->ticksChanged();
    const std::uint64_t count = getTreeSelectedItemNum();
    if (count != shownCount_) {
        shownCount_ = count;
        emit tickedFilesChanged(count);
    }
}

void BackupFilesView::toggleFolderTick(const QModelIndex& folder) {
    const std::shared_ptr<PRTreeDirNode> node = outline_ ? outline_->folderAt(folder) : nullptr;
    if (!node) {
        return;
    }
    PRTreeController::toggleFolderTick(node);
    ticksChanged(node);
}

void BackupFilesView::tickFileRow(int row) {
    const std::shared_ptr<PRTreeFileNode> clicked = treeFileController_->fileAt(row);
    if (!clicked) {
        return;
    }
    std::vector<std::shared_ptr<PRTreeFileNode>> files;
    QItemSelectionModel* selection = treetableView->selectionModel();
    if (selection->isRowSelected(row, QModelIndex())) {
        // The rows of the selection's ranges, each once (a folder may hold tens of thousands).
        std::vector<bool> taken(static_cast<std::size_t>(treeFileController_->rowCount()));
        for (const QItemSelectionRange& range : selection->selection()) {
            for (int r = range.top(); r <= range.bottom(); ++r) {
                const auto at = static_cast<std::size_t>(r);
                if (at < taken.size() && !taken[at]) {
                    taken[at] = true;
                    files.push_back(treeFileController_->fileAt(r));
                }
            }
        }
    } else {
        files.push_back(clicked);
    }
    PRTreeController::tickFiles(files, clicked, !clicked->bSelected());
    ticksChanged(clicked->parent());
}

void BackupFilesView::outlineViewSelectionDidChange() {
    const PRTreeController* tree = outline_ ? outline_->controller() : nullptr;
    if (!tree || tree->bRefreshTreeFlag()) {
        return;
    }
    const QModelIndexList rows = treeView->selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    const QModelIndex folder = rows.front();
    treeFileController_->setFiles(outline_->folderAt(folder), outline_->shownFiles(folder));
    treetableView->clearSelection();
    showPreview(Preview::None, QPixmap());
}

void BackupFilesView::folderFilesChanged(const QModelIndex& folder) {
    const std::shared_ptr<PRTreeDirNode> shown = treeFileController_->folder();
    if (shown && outline_ && outline_->folderAt(folder) == shown) {
        treeFileController_->updateFiles(outline_->shownFiles(folder));
    }
}

void BackupFilesView::outlineReset() {
    // A new outline (a new scan): nothing of the old one stays on show.
    treeFileController_->setFiles(nullptr, {});
    showPreview(Preview::None, QPixmap());
    const std::uint64_t count = getTreeSelectedItemNum();
    if (count != shownCount_) {
        shownCount_ = count;
        emit tickedFilesChanged(count);
    }
}

void BackupFilesView::tableViewSelectionDidChange() {
    QItemSelectionModel* selection = treetableView->selectionModel();
    const QModelIndexList rows = selection->selectedRows();
    if (rows.isEmpty()) {
        return;
    }
    const QModelIndex current = selection->currentIndex();
    const int row = current.isValid() && selection->isRowSelected(current.row(), QModelIndex())
                        ? current.row()
                        : rows.front().row();
    const std::shared_ptr<PRTreeFileNode> file = treeFileController_->fileAt(row);
    if (!file || (preview_ != Preview::None && previewFile_.lock() == file)) {
        return;  // (the selection and the current row both report one click)
    }
    previewFile_ = file;
    const QString name = file->treefileName();
    const PRTreeDirNode::StoredLocation where = file->isFile() && file->record()
                                                    ? file->record()->storedLocation()
                                                    : PRTreeDirNode::StoredLocation();
    if (where.isEmpty()) {
        previews_.stop();
        showPreview(Preview::TypeIcon, fileTypeIcon(name));
        return;
    }
    showPreview(Preview::Loading, QPixmap());
    // The step runs on the GUI thread, and only while this decode is still the runner's current
    // one and the view (which owns the runner) lives.
    previews_.replace(
        [this, where, name](const JobRunner::StopCheck& stop, const JobRunner::Post& post) {
            if (stop()) {
                return;  // another file was chosen meanwhile
            }
            const QImage image = decodeStoredPicture(where);
            if (stop()) {
                return;
            }
            post([this, image, name] {
                previews_.finish();
                previewDecoded(image, name);
            });
        });
}

void BackupFilesView::previewDecoded(const QImage& image, const QString& name) {
    if (image.isNull()) {
        showPreview(Preview::TypeIcon, fileTypeIcon(name));
    } else {
        showPreview(Preview::Picture, QPixmap::fromImage(image));
    }
}

void BackupFilesView::showPreview(Preview state, QPixmap pixmap) {
    if (state == Preview::None) {
        previews_.stop();  // a picture on its way is no longer wanted
        previewFile_.reset();
    }
    preview_ = state;
    previewPixmap_ = std::move(pixmap);
    fitPreview();
}

void BackupFilesView::fitPreview() {
    if (previewPixmap_.isNull()) {
        treeFileImageView->clear();
        return;
    }
    const QSize room = treeFileImageView->contentsRect().size() - QSize(8, 8);
    const QSize size = previewPixmap_.deviceIndependentSize().toSize();
    if (room.isEmpty() || (size.width() <= room.width() && size.height() <= room.height())) {
        treeFileImageView->setPixmap(previewPixmap_);
        return;
    }
    treeFileImageView->setPixmap(
        previewPixmap_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool BackupFilesView::tickPress(QAbstractItemView* view, const QPoint& at) {
    const QModelIndex index = view->indexAt(at);
    const bool outline = view == treeView;
    const int column =
        outline ? BackupOutlineModel::kNameColumn : BackupFileTableModel::kTickColumn;
    if (!index.isValid() || index.column() != column) {
        return false;
    }
    const auto* cell = static_cast<const TickImageCell*>(outline ? outlineTicks_ : fileTicks_);
    return cell->tickRect(view->visualRect(index), index).contains(at);
}

void BackupFilesView::tick(QAbstractItemView* view, const QModelIndex& index) {
    if (view == treeView) {
        toggleFolderTick(index.siblingAtColumn(BackupOutlineModel::kNameColumn));
    } else {
        tickFileRow(index.row());
    }
}

bool BackupFilesView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == treeFileImageView && event->type() == QEvent::Resize) {
        fitPreview();
        return QWidget::eventFilter(watched, event);
    }
    // A press on a tick image ticks, and the press, the moves and the release that follow never
    // reach the view: the row's selection stays as it was, so a tick on one of several selected
    // rows ticks them all, and a double click on a tick is a second tick, never an open or
    // close. Space ticks the current row.
    QAbstractItemView* view = nullptr;
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(treeView),
                                 static_cast<QAbstractItemView*>(treetableView)}) {
        if (v != nullptr && (watched == v->viewport() || watched == v)) {
            view = v;
        }
    }
    if (view == nullptr) {
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (watched != view->viewport() || mouse->button() != Qt::LeftButton ||
                !tickPress(view, mouse->position().toPoint())) {
                break;
            }
            swallowing_ = view;
            // A double click arrives as two presses, the second followed by the double click
            // itself, which only has to be kept from the view.
            if (event->type() == QEvent::MouseButtonPress) {
                tick(view, view->indexAt(mouse->position().toPoint()));
            }
            return true;
        }
        case QEvent::MouseMove:
            return swallowing_ == view && watched == view->viewport();
        case QEvent::MouseButtonRelease:
            if (swallowing_ == view && watched == view->viewport()) {
                swallowing_ = nullptr;
                return true;
            }
            break;
        case QEvent::KeyPress:
            if (watched == view && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space &&
                view->currentIndex().isValid()) {
                tick(view, view->currentIndex());
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace nimbara::browser
