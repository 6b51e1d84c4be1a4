// Button cells for table columns, as item delegates: the delegate stands for the cell of every
// row of its column.
#pragma once

#include <QAbstractItemView>
#include <QModelIndex>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QStyledItemDelegate>

// Where a point falls in a cell.
enum class PRCellHit {
    None,       // outside the cell
    Content,    // on the cell's content
    Trackable,  // on a part that tracks the mouse (the left square of a PRButtonCell)
};

// A cell that follows the mouse over the view it paints, by filtering that view's viewport.
class PRViewWatchingCell : public QStyledItemDelegate {
    Q_OBJECT
  public:
    // Starts following the mouse over `view`'s cells (paint does this for the view it paints).
    void watchView(QAbstractItemView* view);

  protected:
    // `tracksMoves`: the watched view also reports moves without a button pressed.
    PRViewWatchingCell(bool tracksMoves, QObject* parent);

    // Watches the view `option` paints for.
    void watchPaintingView(const QStyleOptionViewItem& option) const;
    // An event of the watched viewport; the view still handles it afterwards.
    virtual void viewportEvent(QEvent* event) = 0;
    bool eventFilter(QObject* watched, QEvent* event) override;

    QPointer<QAbstractItemView> view_;

  private:
    bool tracksMoves_;
};

// A button cell: the square at its left (as wide as the cell is high) is trackable. When the
// mouse enters a row of its column (the delegate follows the mouse over the views it paints) it
// takes the image "uninstall.png", shows a bezel in that row and posts
// "PRbuttonCellMouseEntered"; leaving hides the bezel and posts "PRbuttonCellMouseExited". Both
// carry the delegate as object. Clicks are the view's standard handling.
class PRButtonCell : public PRViewWatchingCell {
    Q_OBJECT
  public:
    explicit PRButtonCell(QObject* parent = nullptr);

    // The hit test at `pos` (view coordinates) in a cell occupying `cellFrame`.
    static PRCellHit hitTest(const QPoint& pos, const QRect& cellFrame);

    // The row under the mouse (invalid when none).
    QModelIndex hoveredIndex() const { return hovered_; }
    bool showsBorderOnlyWhileMouseInside() const { return hovered_.isValid(); }

    // The image the cell shows in its left square (empty until the mouse first entered).
    QString imageName() const { return imageName_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    void viewportEvent(QEvent* event) override;

  private:
    void mouseEntered(const QModelIndex& index);
    void mouseExited();

    QPersistentModelIndex hovered_;
    QString imageName_;
};

// A button cell with a download state, for interface files only: nothing drives it yet.
// setButtonCellType picks its image and action name from `hasDownload`.
class PRButtonTipCell : public PRViewWatchingCell {
    Q_OBJECT
  public:
    explicit PRButtonTipCell(QObject* parent = nullptr);

    bool hasDownload() const { return hasDownload_; }
    void setHasDownload(bool value) { hasDownload_ = value; }
    bool mouseEnter() const { return mouseEnter_; }
    void setMouseEnter(bool value) { mouseEnter_ = value; }

    // hasDownload: image "download_Down.png", action "StartScaniCloudBackup"; otherwise the
    // action "StartDownloadiCloudBackup" and the image stays.
    void setButtonCellType();
    QString imageName() const { return imageName_; }
    void setImage(const QString& imageName) { imageName_ = imageName; }
    // Name of the action a click would send (empty until setButtonCellType).
    QString actionName() const { return actionName_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

  protected:
    // Follows the mouse entering and leaving the view.
    void viewportEvent(QEvent* event) override;

  private:
    bool hasDownload_ = false;
    bool mouseEnter_ = false;
    QString imageName_;
    QString actionName_;
};
