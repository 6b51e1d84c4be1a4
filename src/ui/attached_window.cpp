#include "ui/attached_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace attached = nimbara::ui::attached;

MAAttachedWindow* MAAttachedWindow::create(QWidget* view, const QPointF& point, QWidget* window,
                                           Side side, double distance) {
    if (view == nullptr) {
        return nullptr;
    }
    return new MAAttachedWindow(view, point, window, side, distance);
}

MAAttachedWindow::MAAttachedWindow(QWidget* view, const QPointF& point, QWidget* window, Side side,
                                   double distance)
    : QWidget(window, Qt::Tool | Qt::FramelessWindowHint),
      view_(view),
      window_(window),
      point_(point),
      side_(side),
      distance_(distance) {
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("attachedWindow"));
    // The defaults go through the limits: a small view gets a smaller arrow and corners.
    const QSizeF size = viewSize();
    attached::setViewMargin(style_, size, style_.viewMargin);
    attached::setBorderWidth(style_, style_.borderWidth);
    if (side_ == Side::Automatic) {
        const QRectF parentFrame = window_ ? QRectF(window_->window()->frameGeometry()) : QRectF();
        side_ = nimbara::ui::automaticSide(size, style_, screenPoint(), distance_, availableArea(),
                                           parentFrame);
    }
    view_->setParent(this);
    redisplay();
    view_->show();
}

QSizeF MAAttachedWindow::viewSize() const {
    if (!view_) {
        return {};
    }
    // A view nobody has sized yet takes the size it asks for.
    return view_->testAttribute(Qt::WA_Resized) ? QSizeF(view_->size()) : QSizeF(view_->sizeHint());
}

QPointF MAAttachedWindow::screenPoint() const {
    return window_ ? window_->mapToGlobal(point_) : point_;
}

QRectF MAAttachedWindow::availableArea() const {
    QScreen* screen = window_ ? window_->screen() : nullptr;
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? QRectF(screen->availableGeometry()) : QRectF();
}

void MAAttachedWindow::redisplay() {
    if (resizing_ || !view_) {
        return;
    }
    resizing_ = true;
    const nimbara::ui::AttachedGeometry g = nimbara::ui::attachedGeometry(
        viewSize(), style_, screenPoint(), side_, distance_, availableArea());
    viewFrame_ = g.viewFrame;
    setGeometry(g.frame.toAlignedRect());
    view_->setGeometry(g.viewFrame.toAlignedRect());
    update();
    resizing_ = false;
}

void MAAttachedWindow::setPoint(const QPointF& point, Side side) {
    point_ = point;
    if (side != Side::Automatic) {
        side_ = side;
    }
    redisplay();
}

void MAAttachedWindow::setBackgroundColor(const QColor& colour) {
    if (colour != background_ || !backgroundImage_.isNull()) {
        background_ = colour;
        backgroundImage_ = QImage();
        update();
    }
}

void MAAttachedWindow::setBorderColor(const QColor& colour) {
    if (colour != border_) {
        border_ = colour;
        update();
    }
}

void MAAttachedWindow::setBackgroundImage(const QImage& image) {
    if (!image.isNull()) {
        backgroundImage_ = image;
        update();
    }
}

void MAAttachedWindow::setBorderWidth(double value) {
    if (value != style_.borderWidth) {
        attached::setBorderWidth(style_, value);
        update();
    }
}

void MAAttachedWindow::setViewMargin(double value) {
    if (value != style_.viewMargin) {
        attached::setViewMargin(style_, viewSize(), value);
        redisplay();
    }
}

void MAAttachedWindow::setArrowBaseWidth(double value) {
    attached::setArrowBaseWidth(style_, viewSize(), value);
    redisplay();
}

void MAAttachedWindow::setArrowHeight(double value) {
    if (value != style_.arrowHeight) {
        style_.arrowHeight = value;
        redisplay();
    }
}

void MAAttachedWindow::setHasArrow(bool value) {
    if (value != style_.hasArrow) {
        style_.hasArrow = value;
        update();
    }
}

void MAAttachedWindow::setCornerRadius(double value) {
    attached::setCornerRadius(style_, viewSize(), value);
    redisplay();
}

void MAAttachedWindow::setDrawsRoundCornerBesideArrow(bool value) {
    if (value != style_.drawsRoundCornerBesideArrow) {
        style_.drawsRoundCornerBesideArrow = value;
        redisplay();
    }
}

void MAAttachedWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    redisplay();
}

void MAAttachedWindow::paintEvent(QPaintEvent* /*event*/) {
    const QPainterPath path = nimbara::ui::attachedBubblePath(viewFrame_, style_, side_);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(path);
    if (!backgroundImage_.isNull()) {
        painter.fillPath(path, QBrush(backgroundImage_));
    } else {
        painter.fillPath(path, background_);
    }
    if (style_.borderWidth > 0) {
        // Stroked twice as wide along the outline; the clip keeps the inner half.
        QPen pen(border_, 2 * style_.borderWidth);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
}
