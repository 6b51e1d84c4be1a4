// The backup file tree category of the result page: the backup's folders in an outline (left),
// the files of the chosen folder in a table (middle) and a preview of the chosen file (right).
// Folders and files carry ticks for the recovery export: a click on a folder's tick image ticks
// or unticks it with everything in it, a click on a file's tick image ticks or unticks that
// file, or every selected file when it is one of them; the folders above follow (three states).
// A click elsewhere on a row only selects it.
//
// The outline model is the page's: the page files the scan's entries into it and the view shows
// its folders only. The view never waits: a picture is decoded as the view's background job,
// fitted into kPreviewSide, and only the newest file chosen is shown.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>

#include "platform/job_runner.h"

class PRTreeDirNode;
class PRTreeFileNode;
class QAbstractItemView;
class QLabel;
class QStyledItemDelegate;
class QModelIndex;
class QTableView;
class QTreeView;

namespace nimbara::browser {

class BackupFileTableModel;
class BackupOutlineModel;

class BackupFilesView : public QWidget {
    Q_OBJECT
  public:
    // What the preview shows.
    enum class Preview { None, Loading, Picture, TypeIcon };

    // `outline` is not owned (the view shows nothing once it is gone); the view makes it show
    // folders only.
    explicit BackupFilesView(BackupOutlineModel* outline, QWidget* parent = nullptr);
    ~BackupFilesView() override;

    // Outlets.
    QTreeView* treeView = nullptr;        // the outline of folders, with their ticks
    QTableView* treetableView = nullptr;  // the files of the chosen folder
    QLabel* treeFileImageView = nullptr;  // the chosen file's picture or type icon

    BackupFileTableModel* treeFileController() const { return treeFileController_; }
    // Ticked files with a stored file, in the whole outline.
    std::uint64_t getTreeSelectedItemNum() const;

    // A click on the tick of the outline's folder row `folder`.
    void toggleFolderTick(const QModelIndex& folder);
    // A click on the tick of the file table's row `row`: the clicked file's tick turns over,
    // and so does every selected row's when the clicked row is selected.
    void tickFileRow(int row);

    Preview previewState() const { return preview_; }
    // The whole picture or icon shown (before it is fitted into the preview).
    QPixmap previewPixmap() const { return previewPixmap_; }

  signals:
    // The number of ticked stored files in the outline changed.
    void tickedFilesChanged(quint64 count);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Whether a press at `at` (viewport coordinates) lands on the tick image of a row.
    bool tickPress(QAbstractItemView* view, const QPoint& at);
    void tick(QAbstractItemView* view, const QModelIndex& index);
    void outlineViewSelectionDidChange();
    void tableViewSelectionDidChange();
    void folderFilesChanged(const QModelIndex& folder);
    void outlineReset();
    void showPreview(Preview state, QPixmap pixmap);
    void previewDecoded(const QImage& image, const QString& name);
    void fitPreview();
    void ticksChanged(const std::shared_ptr<PRTreeDirNode>& folder);

    QPointer<BackupOutlineModel> outline_;  // the page's; gone only as the page goes
    BackupFileTableModel* treeFileController_;
    QStyledItemDelegate* outlineTicks_ = nullptr;
    QStyledItemDelegate* fileTicks_ = nullptr;
    // The view whose press went to a tick: its moves and release are kept from it.
    QAbstractItemView* swallowing_ = nullptr;
    // Decodes the picture of the file chosen last; another choice (or none) replaces or stops
    // it, and what a replaced decode finds is never shown.
    nimbara::JobRunner previews_;
    Preview preview_ = Preview::None;
    std::weak_ptr<PRTreeFileNode> previewFile_;
    QPixmap previewPixmap_;
    std::uint64_t shownCount_ = 0;
};

}  // namespace nimbara::browser
