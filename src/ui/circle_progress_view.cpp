#include "ui/circle_progress_view.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <numbers>

CircleProgressView::CircleProgressView(QWidget* parent) : QWidget(parent) {}

double CircleProgressView::arcSpanDegrees() const {
    const double end = progress_;
    if (!std::isfinite(end) || end == 0.0) {
        return 0.0;
    }
    constexpr double kTurn = 2.0 * std::numbers::pi;
    // Counter-clockwise from pi/2 to `end`: an end before the start goes the long way round.
    double span = std::fmod(end - std::numbers::pi / 2.0, kTurn);
    if (span < 0.0) {
        span += kTurn;
    }
    return span * 180.0 / std::numbers::pi;
}

void CircleProgressView::paintEvent(QPaintEvent* /*event*/) {
    const double span = arcSpanDegrees();
    if (span == 0.0) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(0.498f, 0.718f, 0.898f, 1.0f), 5.0));
    const double radius = 0.4 * std::min(width(), height());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    painter.drawArc(circle, 90 * 16, int(std::lround(span * 16.0)));
}
