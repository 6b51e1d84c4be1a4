#include "ui/bar_painting.h"

#include <QLinearGradient>
#include <QPainterPath>

namespace nimbara::ui {

void fillGradientRect(QPainter& painter, const QRectF& rect, const QColor& start, const QColor& end,
                      double radius) {
    QLinearGradient gradient(rect.bottomLeft(), rect.topLeft());
    gradient.setColorAt(0.0, start);
    gradient.setColorAt(1.0, end);
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    painter.fillPath(path, gradient);
}

void drawBarBezel(QPainter& painter, const QSizeF& size, double radius, const QColor& track) {
    const double w = size.width();
    const double h = size.height();
    QPainterPath edge;
    edge.addRoundedRect(QRectF(0.5, 0.0, w - 1.0, h - 1.0), radius, radius);
    painter.save();
    painter.setClipRect(QRectF(0.0, h / 2.0, w, h / 2.0));
    painter.setPen(QPen(QColor::fromRgbF(1.0f, 1.0f, 1.0f, 0.2f), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(edge);
    painter.restore();

    QPainterPath body;
    body.addRoundedRect(QRectF(1.0, -0.5, w, h - 1.0), radius, radius);
    painter.fillPath(body, track);
}

}  // namespace nimbara::ui
