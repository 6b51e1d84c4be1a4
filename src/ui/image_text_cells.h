// Table and outline cells showing an image left of their text, as item delegates. The image of
// a row is the index's decoration (a QPixmap, QImage or QIcon, or the name of an application
// image) when it has one, otherwise the cell's own image (setImage). The text is the index's
// display text, truncated at its tail.
#pragma once

#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QStyledItemDelegate>

#include "ui/button_cells.h"

// Set by PRImageAndTextCell on every tracked click: true when the click hit the tick image of
// the row (see PRImageAndTextCell). An outline that shows its ticks with this cell reads it to
// decide whether a click toggles the row's tick. Main thread only.
bool imageTextCellTickHit();
void setImageTextCellTickHit(bool hit);

// Common layout of the three image cells. The frame is split at its left edge into an image
// slice (image width + 3) and the rest; the image is drawn in the slice, the text in the rest.
class PRImageCellBase : public QStyledItemDelegate {
    Q_OBJECT
  public:
    // The cell's own image (used for rows without a decoration).
    QPixmap image() const { return image_; }
    void setImage(const QPixmap& image) { image_ = image; }
    void setImage(const QString& imageName);

    // The image a row shows: its decoration, else the cell's image (null when neither).
    QPixmap imageFor(const QModelIndex& index) const;

    // Rectangles for a cell showing an image of `imageSize` (an empty size: no image).
    // The image rectangle: x + 3, y + ceil((frame height - image height) / 2), the image size.
    static QRect imageRectForBounds(const QRect& frame, const QSize& imageSize);
    // The frame without the image slice; the zero rectangle without an image.
    static QRect titleRectForBounds(const QRect& frame, const QSize& imageSize);
    // Where the image is drawn: its bottom edge at slice y + ceil((H + h) / 2) - 1.
    QRect imageDrawRect(const QRect& frame, const QSize& imageSize) const;
    // Where the text is drawn.
    QRect textRect(const QRect& frame, const QSize& imageSize) const;
    // Where editing and selecting happen: the frame without the slice (3 points without image).
    static QRect editingRect(const QRect& frame, const QSize& imageSize);
    // Content when `pos` is on the image (slice x + 3, slice y, image size); otherwise the
    // standard answer for the rest of the frame (the whole frame without an image).
    static PRCellHit hitTest(const QPoint& pos, const QRect& frame, const QSize& imageSize);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The standard size, widened by the image width + 3 (3 without an image).
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

  protected:
    struct Layout {
        int imageX;         // the image's x offset in the slice
        int textDx;         // with an image: the text moves right by this much
        int textDy;         // with an image: the text moves down and shortens by this much
        int noImageTextDy;  // without an image: the text moves down and shortens by this much
    };
    PRImageCellBase(const Layout& layout, QObject* parent);

  private:
    Layout layout_;
    QPixmap image_;
};

// The outline's text cell with a tick image left of the title. A click records in
// imageTextCellTickHit whether it hit the tick: with x the click in window coordinates, f the
// cell frame's x and w the image width, the flag is x - w / 2 - f - 264 <= 0.
class PRImageAndTextCell : public PRImageCellBase {
    Q_OBJECT
  public:
    explicit PRImageAndTextCell(QObject* parent = nullptr);

    // The flag value for a click at window x `clickWindowX` in a cell at x `cellX`.
    static bool tickHitFor(double clickWindowX, double cellX, double imageWidth);

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

// An app row: the image 13 points in, the text 10 points right and 18 lower.
class PRAppImageAndTextCell : public PRImageCellBase {
    Q_OBJECT
  public:
    explicit PRAppImageAndTextCell(QObject* parent = nullptr);
};

// A row image 83 points in. A click in the cell posts "TheImageTextCellHavebeenDown" with the
// view (the table) as object.
class PRImageNoTextCell : public PRImageCellBase {
    Q_OBJECT
  public:
    explicit PRImageNoTextCell(QObject* parent = nullptr);

  protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
