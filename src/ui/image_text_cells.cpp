#include "ui/image_text_cells.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "ui/control_notifications.h"
#include "ui/named_image.h"

namespace {

bool gImageTextCellTickHit = false;

// ceil(n / 2) for a non-negative or negative integer n.
int halfUp(int n) {
    return n >= 0 ? (n + 1) / 2 : -((-n) / 2);
}

QSize imageSizeOf(const QPixmap& image) {
    return image.isNull() ? QSize() : image.deviceIndependentSize().toSize();
}

bool hasImage(const QSize& size) {
    return size.isValid() && !size.isEmpty();
}

// The viewport the view's mouse events arrive at (the widget itself for other widgets).
const QWidget* eventWidget(const QStyleOptionViewItem& option) {
    if (const auto* view = qobject_cast<const QAbstractItemView*>(option.widget)) {
        return view->viewport();
    }
    return option.widget;
}

}  // namespace

bool imageTextCellTickHit() {
    return gImageTextCellTickHit;
}

void setImageTextCellTickHit(bool hit) {
    gImageTextCellTickHit = hit;
}

// --- PRImageCellBase ---

PRImageCellBase::PRImageCellBase(const Layout& layout, QObject* parent)
    : QStyledItemDelegate(parent), layout_(layout) {}

void PRImageCellBase::setImage(const QString& imageName) {
    image_ = imageName.isEmpty() ? QPixmap() : nimbara::ui::namedImage(imageName);
}

QPixmap PRImageCellBase::imageFor(const QModelIndex& index) const {
    const QVariant decoration = index.data(Qt::DecorationRole);
    switch (decoration.typeId()) {
        case QMetaType::QPixmap:
            return decoration.value<QPixmap>();
        case QMetaType::QImage:
            return QPixmap::fromImage(decoration.value<QImage>());
        case QMetaType::QIcon: {
            const QIcon icon = decoration.value<QIcon>();
            return icon.pixmap(icon.actualSize(QSize(64, 64)));
        }
        case QMetaType::QString:
            // a model without pictures names the application image to show
            return nimbara::ui::namedImage(decoration.toString());
        default:
            return image_;
    }
}

QRect PRImageCellBase::imageRectForBounds(const QRect& frame, const QSize& imageSize) {
    if (!hasImage(imageSize)) {
        return {};
    }
    return {QPoint(frame.x() + 3, frame.y() + halfUp(frame.height() - imageSize.height())),
            imageSize};
}

QRect PRImageCellBase::titleRectForBounds(const QRect& frame, const QSize& imageSize) {
    if (!hasImage(imageSize)) {
        return {};
    }
    const int slice = imageSize.width() + 3;
    return {frame.x() + slice, frame.y(), frame.width() - slice, frame.height()};
}

QRect PRImageCellBase::imageDrawRect(const QRect& frame, const QSize& imageSize) const {
    if (!hasImage(imageSize)) {
        return {};
    }
    const int bottom = frame.y() + halfUp(frame.height() + imageSize.height()) - 1;
    return {QPoint(frame.x() + layout_.imageX, bottom - imageSize.height()), imageSize};
}

QRect PRImageCellBase::textRect(const QRect& frame, const QSize& imageSize) const {
    if (!hasImage(imageSize)) {
        return frame.adjusted(0, layout_.noImageTextDy, 0, 0);
    }
    const QRect rest = titleRectForBounds(frame, imageSize);
    return {rest.x() + layout_.textDx, rest.y() + layout_.textDy, rest.width(),
            rest.height() - layout_.textDy};
}

QRect PRImageCellBase::editingRect(const QRect& frame, const QSize& imageSize) {
    const int slice = hasImage(imageSize) ? imageSize.width() + 3 : 3;
    return frame.adjusted(slice, 0, 0, 0);
}

PRCellHit PRImageCellBase::hitTest(const QPoint& pos, const QRect& frame, const QSize& imageSize) {
    if (hasImage(imageSize)) {
        const QRect image(frame.x() + 3, frame.y(), imageSize.width(), imageSize.height());
        if (image.contains(pos)) {
            return PRCellHit::Content;
        }
        return titleRectForBounds(frame, imageSize).contains(pos) ? PRCellHit::Content
                                                                  : PRCellHit::None;
    }
    return frame.contains(pos) ? PRCellHit::Content : PRCellHit::None;
}

void PRImageCellBase::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();

    painter->save();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);

    const QPixmap image = imageFor(index);
    const QSize imageSize = imageSizeOf(image);
    if (hasImage(imageSize)) {
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter->setOpacity(1.0);
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawPixmap(imageDrawRect(option.rect, imageSize), image);
    }

    const QRect textArea = textRect(option.rect, imageSize);
    if (!opt.text.isEmpty() && textArea.width() > 0 && textArea.height() > 0) {
        const bool selected = opt.state.testFlag(QStyle::State_Selected);
        const QPalette::ColorGroup group =
            opt.state.testFlag(QStyle::State_Enabled) ? QPalette::Normal : QPalette::Disabled;
        QColor color =
            opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        const QVariant foreground = index.data(Qt::ForegroundRole);
        if (!selected && foreground.canConvert<QBrush>()) {
            color = foreground.value<QBrush>().color();
        }
        painter->setPen(color);
        painter->setFont(opt.font);
        const QFontMetrics metrics(opt.font);
        const QString shown = metrics.elidedText(opt.text, Qt::ElideRight, textArea.width());
        const Qt::Alignment horizontal = opt.displayAlignment & Qt::AlignHorizontal_Mask;
        painter->drawText(textArea, int(horizontal | Qt::AlignTop) | Qt::TextSingleLine, shown);
    }
    painter->restore();
}

QSize PRImageCellBase::sizeHint(const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    // The image is laid out by the cell, not by the standard item: measure the text alone.
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QSize imageSize = imageSizeOf(imageFor(index));
    if (hasImage(imageSize)) {
        // A row decoration was already measured by the standard item, at the decoration size.
        const int measured =
            index.data(Qt::DecorationRole).isValid() ? option.decorationSize.width() : 0;
        size.rwidth() += imageSize.width() + 3 - measured;
        size.setHeight(std::max(size.height(), imageSize.height()));
    } else {
        size.rwidth() += 3;
    }
    return size;
}

void PRImageCellBase::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    editor->setGeometry(editingRect(option.rect, imageSizeOf(imageFor(index))));
}

// --- PRImageAndTextCell ---

PRImageAndTextCell::PRImageAndTextCell(QObject* parent)
    : PRImageCellBase(Layout{3, 0, 0, 5}, parent) {}

bool PRImageAndTextCell::tickHitFor(double clickWindowX, double cellX, double imageWidth) {
    return clickWindowX - imageWidth / 2.0 - cellX - 264.0 <= 0.0;
}

bool PRImageAndTextCell::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonPress) {
        const auto* press = static_cast<QMouseEvent*>(event);
        const QWidget* widget = eventWidget(option);
        QPointF windowPos = press->position();
        if (widget != nullptr) {
            windowPos = widget->mapTo(widget->window(), press->position());
        }
        const double imageWidth = imageSizeOf(imageFor(index)).width();
        setImageTextCellTickHit(tickHitFor(windowPos.x(), option.rect.x(), imageWidth));
    }
    return PRImageCellBase::editorEvent(event, model, option, index);
}

// --- PRAppImageAndTextCell ---

PRAppImageAndTextCell::PRAppImageAndTextCell(QObject* parent)
    : PRImageCellBase(Layout{13, 10, 18, 18}, parent) {}

// --- PRImageNoTextCell ---

PRImageNoTextCell::PRImageNoTextCell(QObject* parent)
    : PRImageCellBase(Layout{83, 0, 0, 5}, parent) {}

bool PRImageNoTextCell::editorEvent(QEvent* event, QAbstractItemModel* model,
                                    const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (event->type() == QEvent::MouseButtonPress) {
        // Observers tell the tables apart by the view, not by the cell.
        nimbara::ui::postControlNotification(
            "TheImageTextCellHavebeenDown",
            static_cast<QObject*>(const_cast<QWidget*>(option.widget)));
    }
    return PRImageCellBase::editorEvent(event, model, option, index);
}
