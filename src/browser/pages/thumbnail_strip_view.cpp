#include "browser/pages/thumbnail_strip_view.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyledItemDelegate>

#include <algorithm>

#include "ui/fonts.h"

namespace nimbara::browser {
namespace {

// Inside its cell an item keeps half the gap on every side.
QRect itemRect(const QRect& cell) {
    constexpr int kHalfGap = kThumbGap / 2;
    return cell.adjusted(kHalfGap, kHalfGap, -kHalfGap, -kHalfGap);
}

// The picture above the tick box line.
QRect imageRect(const QRect& cell) {
    return itemRect(cell).adjusted(4, 4, -4, -26);
}

// One item: its highlight, its picture, and its tick box titled with the short name.
class ThumbNodeDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return {kThumbCell, kThumbCell};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        if (index.data(ThumbnailStripModel::kHighlightRole).toBool()) {
            paintHighlight(painter, itemRect(option.rect));
        }
        paintPicture(painter, index.data(Qt::DecorationRole).value<QPixmap>(),
                     imageRect(option.rect));
        paintTickBox(painter, option, index);
        painter->restore();
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        bool toggle = false;
        switch (event->type()) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() != Qt::LeftButton ||
                    !PRSrollThumView::tickBoxRect(option.rect)
                         .contains(mouse->position().toPoint())) {
                    return false;
                }
                toggle = event->type() == QEvent::MouseButtonRelease;
                break;
            }
            case QEvent::KeyPress: {
                const int key = static_cast<QKeyEvent*>(event)->key();
                if (key != Qt::Key_Space && key != Qt::Key_Select) {
                    return false;
                }
                toggle = true;
                break;
            }
            default:
                return false;
        }
        if (toggle) {
            const bool ticked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model->setData(index, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
        return true;
    }

  private:
    // A rounded grey gradient, lighter at the top.
    static void paintHighlight(QPainter* painter, const QRect& item) {
        QPainterPath rounded;
        rounded.addRoundedRect(QRectF(item), 8, 8);
        QLinearGradient gradient(item.bottomLeft(), item.topLeft());
        gradient.setColorAt(0, QColor(195, 195, 195));
        gradient.setColorAt(1, QColor(204, 204, 204));
        painter->fillPath(rounded, gradient);
    }

    // Scaled down, never up, to fit the box, and centred in it.
    static void paintPicture(QPainter* painter, const QPixmap& picture, const QRect& box) {
        if (picture.isNull()) {
            return;
        }
        QSizeF size = picture.deviceIndependentSize();
        if (size.width() > box.width() || size.height() > box.height()) {
            size = size.scaled(QSizeF(box.size()), Qt::KeepAspectRatio);
        }
        QRectF target(QPointF(), size);
        target.moveCenter(QRectF(box).center());
        painter->drawPixmap(target, picture, QRectF(picture.rect()));
    }

    static void paintTickBox(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) {
        const QRect line = PRSrollThumView::tickBoxRect(option.rect);
        const QWidget* widget = option.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        const int side = style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget);
        const QFont font = nimbara::ui::appFont(10);
        const QFontMetrics metrics(font);
        constexpr int kSpace = 3;
        const QString title = metrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                 Qt::ElideMiddle, line.width() - side - kSpace);
        const int width = side + kSpace + metrics.horizontalAdvance(title);
        const int left = line.left() + std::max(0, (line.width() - width) / 2);

        QStyleOptionButton box;
        box.rect = QRect(left, line.center().y() - side / 2, side, side);
        box.state = QStyle::State_Enabled |
                    (index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                           : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, widget);
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(
            QRect(left + side + kSpace, line.top(), line.right() - left, line.height()),
            Qt::AlignLeft | Qt::AlignVCenter, title);
    }
};

}  // namespace

PRSrollThumView::PRSrollThumView(ThumbnailStripModel::Records* records,
                                 std::unique_ptr<ThumbnailSource> source, QWidget* parent)
    : QListView(parent), strip_(new ThumbnailStripModel(records, std::move(source), this)) {
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);  // after the mode, which would allow dragging items about
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setGridSize(QSize(kThumbCell, kThumbCell));
    setSpacing(0);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new ThumbNodeDelegate(this));
    QPalette white = palette();
    white.setColor(QPalette::Base, Qt::white);
    setPalette(white);
    setModel(strip_);
    connect(strip_, &QAbstractItemModel::rowsInserted, this, [this] { loadVisible(); });
    connect(strip_, &QAbstractItemModel::modelReset, this, [this] { loadVisible(); });
}

// Qt's grid wraps a cell that would reach the last point of the width (its right edge is
// inclusive), so its columns are those of a width one point less.
int PRSrollThumView::columns() const {
    return stripColumns(viewport()->width() - 1);
}

IndexRange PRSrollThumView::loadingRange() const {
    return getArrayRange(strip_->rowCount(), stripRowPosition(verticalScrollBar()->value()),
                         columns(), stripRowsPerScreen(viewport()->height()));
}

QRect PRSrollThumView::tickBoxRect(const QRect& cell) {
    const QRect item = itemRect(cell);
    return {item.left(), item.top() + item.height() - 24, item.width(), 22};
}

void PRSrollThumView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QPoint at = event->position().toPoint();
        const QModelIndex index = indexAt(at);
        // A press on a tick box belongs to the box (the delegate ticks on release).
        if (!index.isValid() || !tickBoxRect(visualRect(index)).contains(at)) {
            strip_->mouseDown(index.isValid() ? index.row() : -1);
        }
    }
    QListView::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
}

void PRSrollThumView::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    loadVisible();
}

void PRSrollThumView::showEvent(QShowEvent* event) {
    QListView::showEvent(event);
    loadVisible();
}

void PRSrollThumView::scrollContentsBy(int dx, int dy) {
    QListView::scrollContentsBy(dx, dy);
    loadVisible();
}

// Thumbnails are made only while the strip is on show.
void PRSrollThumView::loadVisible() {
    if (isVisible()) {
        strip_->showNodeImageFromRange(loadingRange());
    }
}

}  // namespace nimbara::browser
