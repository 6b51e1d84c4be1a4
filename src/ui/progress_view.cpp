#include "ui/progress_view.h"

#include <QPainter>

#include "ui/bar_painting.h"

PRProgressView::PRProgressView(QWidget* parent) : QWidget(parent) {}

void PRProgressView::setProgressValue(float value) {
    value_ = nimbara::ui::finiteOrZero(value);
    update();
}

std::optional<QRectF> PRProgressView::filledRect() const {
    if (value_ > 1.0f || value_ == 0.0f) {
        return std::nullopt;
    }
    const double w = width();
    const double h = height();
    double barWidth = double(value_) * w - 4.0;
    if (!(barWidth > 0.0)) {
        barWidth = 2.0;  // a tiny (or negative) value still shows a stub
    }
    return QRectF(2.0, 1.0, barWidth, h - 3.5);
}

void PRProgressView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    nimbara::ui::drawBarBezel(painter, size(), 0.0, QColor(168, 168, 168));
    if (const auto bar = filledRect()) {
        const QColor blue(95, 146, 236);
        nimbara::ui::fillGradientRect(painter, *bar, blue, blue);
    }
}
