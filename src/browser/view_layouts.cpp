#include "browser/view_layouts.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nimbara::browser {
namespace {

// The first row's bottom line, below the container's top, in the one-at-a-time form.
constexpr double kFirstLine = 140.0;

QRectF insetArea(const QRectF& bounds) {
    return bounds.adjusted(kLayoutMargin, kLayoutMargin, -kLayoutMargin, -kLayoutMargin);
}

// Half the widest and half the tallest of `sizes`.
QPointF halfLargest(const std::vector<QSizeF>& sizes) {
    QPointF m;
    for (const QSizeF& size : sizes) {
        m.setX(std::max(m.x(), size.width() / 2));
        m.setY(std::max(m.y(), size.height() / 2));
    }
    return m;
}

// The origin of a view of `size` centred on `centre`.
QPointF centredAt(const QPointF& centre, const QSizeF& size) {
    return {centre.x() - size.width() / 2, centre.y() - size.height() / 2};
}

double angleOf(std::size_t i, std::size_t count) {
    return static_cast<double>(i) * 2 * std::numbers::pi / static_cast<double>(count);
}

}  // namespace

void WrappedViewLayout::initPointRect(const QRectF& bounds) {
    container1_ = insetArea(bounds);
    pt_ = QPointF(container1_.left(), bounds.top() + kFirstLine);
    rowHeight_ = 0.0;
    rowEmpty_ = true;
}

QPointF WrappedViewLayout::layoutSubView(const QSizeF& size) {
    const double w = size.width();
    const double h = size.height();
    if (!rowEmpty_ && pt_.x() + w > container1_.right()) {
        pt_.ry() += rowHeight_ + kLayoutMargin;
        origin_ = QPointF(container1_.left(), pt_.y() - h);
        pt_.setX(container1_.left() + w + kLayoutMargin);
        rowHeight_ = h;
    } else {
        origin_ = QPointF(pt_.x(), pt_.y() - h);
        pt_.rx() += w + kLayoutMargin;
        rowHeight_ = std::max(rowHeight_, h);
    }
    rowEmpty_ = false;
    return origin_;
}

std::vector<PlacedView> WrappedViewLayout::layoutSubviews(const std::vector<QSizeF>& sizes,
                                                          const QRectF& bounds) {
    const QRectF area = insetArea(bounds);
    std::vector<PlacedView> placed;
    placed.reserve(sizes.size());
    double cursor = area.left();
    double line = area.bottom();  // the top edge, y growing upwards
    // Each placing starts with an empty row: a height left from an earlier one would push the
    // second row down.
    rowHeight_ = 0.0;
    bool rowEmpty = true;
    for (const QSizeF& size : sizes) {
        if (!rowEmpty && cursor + size.width() > area.right()) {
            cursor = area.left();
            line -= rowHeight_ + kLayoutMargin;
            rowHeight_ = size.height();
        } else {
            rowHeight_ = std::max(rowHeight_, size.height());
        }
        origin_ = QPointF(cursor, line - size.height());
        placed.push_back({origin_, 0.0});
        cursor += size.width() + kLayoutMargin;
        rowEmpty = false;
    }
    return placed;
}

std::vector<PlacedView> CircularViewLayout::layoutSubviews(const std::vector<QSizeF>& sizes,
                                                           const QRectF& bounds) {
    std::vector<PlacedView> placed;
    if (sizes.empty()) {
        return placed;
    }
    const QRectF area = insetArea(bounds);
    const QPointF m = halfLargest(sizes);
    // A circle never has a negative radius: views larger than the area meet at its centre.
    const double radius =
        std::max(0.0, std::min(area.width(), area.height()) / 2 - std::hypot(m.x(), m.y()));
    const QPointF centre = area.center();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double a = angleOf(i, sizes.size());
        const QPointF at(centre.x() + radius * std::cos(a), centre.y() + radius * std::sin(a));
        placed.push_back(
            {centredAt(at, sizes[i]), std::fmod(a * 180 / std::numbers::pi + 270, 360)});
    }
    return placed;
}

std::vector<PlacedView> LoopViewLayout::layoutSubviews(const std::vector<QSizeF>& sizes,
                                                       const QRectF& bounds) {
    std::vector<PlacedView> placed;
    if (sizes.empty()) {
        return placed;
    }
    const QRectF area = insetArea(bounds);
    const double reach = 2 * std::hypot(halfLargest(sizes).x(), halfLargest(sizes).y());
    const double across = std::max(0.0, (area.width() - reach) / 2);
    const double down = std::max(0.0, (area.height() - reach) / 2);
    const QPointF centre = area.center();
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        const double a = angleOf(i, sizes.size());
        const QPointF at(centre.x() + std::cos(a) * across, centre.y() + std::sin(2 * a) * down);
        placed.push_back({centredAt(at, sizes[i]), 0.0});
    }
    return placed;
}

ScatterViewLayout::ScatterViewLayout(std::function<double()> random)
    : random_(random ? std::move(random)
                     : [] { return QRandomGenerator::global()->generateDouble(); }) {}

std::vector<PlacedView> ScatterViewLayout::layoutSubviews(const std::vector<QSizeF>& sizes,
                                                          const QRectF& bounds) {
    const QRectF area = insetArea(bounds);
    std::vector<PlacedView> placed;
    placed.reserve(sizes.size());
    for (const QSizeF& size : sizes) {
        // A view larger than the area keeps to its left or bottom edge.
        const double x = area.left() + random_() * std::max(0.0, area.width() - size.width());
        const double y = area.top() + random_() * std::max(0.0, area.height() - size.height());
        placed.push_back({QPointF(x, y), random_() * 60 - 30});
    }
    return placed;
}

}  // namespace nimbara::browser
