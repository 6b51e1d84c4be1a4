#include "ui/button_cells.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include "platform/log_categories.h"
#include "ui/control_notifications.h"
#include "ui/named_image.h"

// --- PRViewWatchingCell ---

PRViewWatchingCell::PRViewWatchingCell(bool tracksMoves, QObject* parent)
    : QStyledItemDelegate(parent), tracksMoves_(tracksMoves) {}

void PRViewWatchingCell::watchView(QAbstractItemView* view) {
    if (view == nullptr || view == view_) {
        return;
    }
    if (view_) {
        view_->viewport()->removeEventFilter(this);
    }
    view_ = view;
    if (tracksMoves_) {
        view->setMouseTracking(true);
    }
    view->viewport()->installEventFilter(this);
}

void PRViewWatchingCell::watchPaintingView(const QStyleOptionViewItem& option) const {
    const_cast<PRViewWatchingCell*>(this)->watchView(
        qobject_cast<QAbstractItemView*>(const_cast<QWidget*>(option.widget)));
}

bool PRViewWatchingCell::eventFilter(QObject* watched, QEvent* event) {
    if (view_ && watched == view_->viewport()) {
        viewportEvent(event);
        // The viewport is not an editor: leave its events to the view.
        return false;
    }
    return QStyledItemDelegate::eventFilter(watched, event);
}

// --- PRButtonCell ---

PRButtonCell::PRButtonCell(QObject* parent) : PRViewWatchingCell(true, parent) {}

PRCellHit PRButtonCell::hitTest(const QPoint& pos, const QRect& cellFrame) {
    qCDebug(lcUi).noquote()
        << QStringLiteral("PRButtonCell hit test at (%1, %2)").arg(pos.x()).arg(pos.y());
    const QRect square(cellFrame.x(), cellFrame.y(), cellFrame.height(), cellFrame.height());
    if (square.contains(pos)) {
        return PRCellHit::Trackable;
    }
    const QRect rest(cellFrame.x() + square.width(), cellFrame.y(),
                     cellFrame.width() - square.width(), cellFrame.height());
    return rest.contains(pos) ? PRCellHit::Content : PRCellHit::None;
}

void PRButtonCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                         const QModelIndex& index) const {
    watchPaintingView(option);
    QStyledItemDelegate::paint(painter, option, index);
    const QRect square(option.rect.x(), option.rect.y(), option.rect.height(),
                       option.rect.height());
    if (index == hovered_) {
        QStyleOptionButton bezel;
        bezel.rect = square;
        bezel.state = QStyle::State_Enabled | QStyle::State_MouseOver | QStyle::State_Raised;
        QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_PanelButtonBevel, &bezel, painter, option.widget);
    }
    if (!imageName_.isEmpty()) {
        const QPixmap image = nimbara::ui::namedImage(imageName_);
        if (!image.isNull()) {
            painter->save();
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
            painter->drawPixmap(square.adjusted(2, 2, -2, -2), image);
            painter->restore();
        }
    }
}

void PRButtonCell::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        const QModelIndex index = view_->indexAt(move->position().toPoint());
        const bool ours = index.isValid() && view_->itemDelegateForIndex(index) == this;
        if (!ours) {
            mouseExited();
        } else if (index != hovered_) {
            mouseExited();
            mouseEntered(index);
        }
    } else if (event->type() == QEvent::Leave) {
        mouseExited();
    }
}

void PRButtonCell::mouseEntered(const QModelIndex& index) {
    hovered_ = index;
    imageName_ = QStringLiteral("uninstall.png");
    if (view_) {
        view_->viewport()->update();
    }
    nimbara::ui::postControlNotification("PRbuttonCellMouseEntered", static_cast<QObject*>(this));
}

void PRButtonCell::mouseExited() {
    if (!hovered_.isValid()) {
        return;
    }
    hovered_ = QPersistentModelIndex();
    if (view_) {
        view_->viewport()->update();
    }
    nimbara::ui::postControlNotification("PRbuttonCellMouseExited", static_cast<QObject*>(this));
}

// --- PRButtonTipCell ---

PRButtonTipCell::PRButtonTipCell(QObject* parent) : PRViewWatchingCell(false, parent) {}

void PRButtonTipCell::setButtonCellType() {
    if (hasDownload_) {
        imageName_ = QStringLiteral("download_Down.png");
        actionName_ = QStringLiteral("StartScaniCloudBackup");
    } else {
        actionName_ = QStringLiteral("StartDownloadiCloudBackup");
    }
}

void PRButtonTipCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    watchPaintingView(option);
    const QPixmap image = imageName_.isEmpty() ? QPixmap() : nimbara::ui::namedImage(imageName_);
    if (image.isNull()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    QSize size = image.deviceIndependentSize().toSize();
    size.scale(option.rect.size(), Qt::KeepAspectRatio);
    QRect target(QPoint(0, 0), size);
    target.moveCenter(option.rect.center());
    painter->drawPixmap(target, image);
    painter->restore();
}

void PRButtonTipCell::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Enter) {
        mouseEnter_ = true;
    } else if (event->type() == QEvent::Leave) {
        mouseEnter_ = false;
    }
}
