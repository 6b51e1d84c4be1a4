#include "privacy/pages/position_map_view.h"

#include <QHelpEvent>
#include <QPainter>
#include <QTextDocument>
#include <QToolTip>

#include <algorithm>
#include <cmath>

#include "privacy/world_land_outline.h"

namespace nimbara::privacy {

namespace {

constexpr double kPinRadius = 5.0;

// The land in degrees. A ring that crosses the date line is unwrapped into longitudes beyond
// +-180 and drawn once more a world away, so no edge runs across the whole map.
QPainterPath landPath() {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    const auto sizes = worldLandRingSizes();
    const auto points = worldLandPoints();
    std::size_t at = 0;
    for (const std::uint16_t size : sizes) {
        if (at + 2 * std::size_t{size} > points.size()) {
            break;
        }
        QPolygonF ring;
        ring.reserve(size);
        double previous = 0;
        double west = 0;
        double east = 0;
        for (std::uint16_t i = 0; i < size; ++i, at += 2) {
            double longitude = points[at] / 10.0;
            if (i > 0) {
                while (longitude - previous > 180.0) {
                    longitude -= 360.0;
                }
                while (previous - longitude > 180.0) {
                    longitude += 360.0;
                }
            }
            previous = longitude;
            west = i == 0 ? longitude : std::min(west, longitude);
            east = i == 0 ? longitude : std::max(east, longitude);
            ring << QPointF(longitude, points[at + 1] / 10.0);
        }
        path.addPolygon(ring);
        path.closeSubpath();
        if (east > 180.0) {
            path.addPolygon(ring.translated(-360.0, 0));
            path.closeSubpath();
        }
        if (west < -180.0) {
            path.addPolygon(ring.translated(360.0, 0));
            path.closeSubpath();
        }
    }
    return path;
}

}  // namespace

PositionMapView::PositionMapView(QWidget* parent) : QWidget(parent), land_(landPath()) {
    setObjectName(QStringLiteral("positionMapView"));
    setMinimumSize(240, 130);
    setMouseTracking(true);
    fit();
}

void PositionMapView::setPins(std::vector<MapPin> pins) {
    std::erase_if(pins, [](const MapPin& pin) { return !isPlace(pin.position); });
    pins_ = std::move(pins);
    chosen_ = -1;
    fit();
    update();
}

void PositionMapView::setChosenPin(int index) {
    chosen_ = index >= 0 && index < static_cast<int>(pins_.size()) ? index : -1;
    update();
}

void PositionMapView::fit() {
    std::vector<GeoPosition> places;
    places.reserve(pins_.size());
    for (const MapPin& pin : pins_) {
        places.push_back(pin.position);
    }
    const double aspect = height() > 0 ? static_cast<double>(width()) / height() : 2.0;
    view_ = viewOf(places, aspect);
}

void PositionMapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fit();
}

void PositionMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), QColor(198, 222, 240));
    const QSizeF area = size();
    // Degrees to pixels: x from the west edge, y down from the north edge.
    QTransform toWidget;
    toWidget.scale(area.width() / view_.width(), -area.height() / view_.height());
    toWidget.translate(-view_.west, -view_.north);
    painter.save();
    painter.setTransform(toWidget);
    QPen coast(QColor(120, 140, 110));
    coast.setCosmetic(true);
    painter.setPen(coast);
    painter.setBrush(QColor(232, 228, 210));
    painter.drawPath(land_);
    painter.restore();

    for (int i = 0; i < static_cast<int>(pins_.size()); ++i) {
        const QPointF at = projected(pins_[static_cast<std::size_t>(i)].position, view_, area);
        const bool chosen = i == chosen_;
        const double radius = chosen ? kPinRadius * 1.6 : kPinRadius;
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(chosen ? QColor(217, 81, 30) : QColor(200, 40, 40));
        painter.drawEllipse(at, radius, radius);
    }
    if (pins_.empty()) {
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignBottom | Qt::AlignLeft,
                         QStringLiteral("No photo of this backup carries a position."));
    }
}

int PositionMapView::pinAt(const QPointF& point) const {
    for (int i = static_cast<int>(pins_.size()) - 1; i >= 0; --i) {
        const QPointF at = projected(pins_[static_cast<std::size_t>(i)].position, view_, size());
        if (std::hypot(at.x() - point.x(), at.y() - point.y()) <= kPinRadius * 1.8) {
            return i;
        }
    }
    return -1;
}

bool PositionMapView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int pin = pinAt(help->pos());
        if (pin >= 0) {
            // As rich text made from the plain label, so that "<" or "&" in a name shows as is.
            QToolTip::showText(help->globalPos(),
                               Qt::convertFromPlainText(pins_[static_cast<std::size_t>(pin)].label),
                               this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace nimbara::privacy
