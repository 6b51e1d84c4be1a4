#include "ui/custom_view.h"

#include <QPainter>
#include <QPropertyAnimation>

#include "ui/bar_painting.h"

CustomView::CustomView(QWidget* parent) : QWidget(parent) {}

void CustomView::setProgress(double progress) {
    progress_ = nimbara::ui::clampedFraction(progress);
    update();
}

void CustomView::animateProgress(double progress) {
    if (animation_ == nullptr) {
        animation_ = new QPropertyAnimation(this, "progress", this);
        animation_->setDuration(kAnimationMilliseconds);
        animation_->setEasingCurve(QEasingCurve::InOutQuad);
    }
    animation_->stop();
    animation_->setStartValue(progress_);
    animation_->setEndValue(nimbara::ui::clampedFraction(progress));
    animation_->start();
}

void CustomView::paintEvent(QPaintEvent* /*event*/) {
    const double span = arcSpanDegrees();
    if (span == 0.0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(QColor(255, 255, 0), kLineWidth);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QRectF circle(centre.x() - kRadius, centre.y() - kRadius, 2 * kRadius, 2 * kRadius);
    // Angles are in 1/16 degree, counter-clockwise from three o'clock.
    painter.drawArc(circle, 90 * 16, int(span * 16.0));
}
