#include "ui/attached_window_geometry.h"

#include <algorithm>
#include <cmath>

namespace nimbara::ui {

namespace {

using S = AttachedSide;

// The edge the arrow sits on.
enum class Edge { Top, Right, Bottom, Left };

Edge arrowEdge(S side) {
    switch (side) {
        case S::Left:
        case S::LeftUpward:
        case S::LeftDownward:
            return Edge::Right;
        case S::Right:
        case S::RightUpward:
        case S::RightDownward:
            return Edge::Left;
        case S::Above:
        case S::AboveLeftward:
        case S::AboveRightward:
            return Edge::Bottom;
        default:
            return Edge::Top;
    }
}

bool centred(S side) {
    return side == S::Left || side == S::Below || side == S::Right || side == S::Above;
}

double shorterSide(const QSizeF& size) {
    return std::min(size.width(), size.height());
}

// Contains, with the edges of `outer` counted inside.
bool fitsIn(const QRectF& inner, const QRectF& outer) {
    return inner.left() >= outer.left() && inner.top() >= outer.top() &&
           inner.right() <= outer.right() && inner.bottom() <= outer.bottom();
}

// Moves `frame` inside `area` along one axis; a frame larger than the area keeps its start.
double keepInside(double start, double length, double areaStart, double areaLength) {
    if (start + length > areaStart + areaLength) {
        start = areaStart + areaLength - length;
    }
    return std::max(start, areaStart);
}

}  // namespace

namespace attached {

void setBorderWidth(AttachedWindowStyle& style, double value) {
    style.borderWidth = std::min(value, style.viewMargin);
}

void setViewMargin(AttachedWindowStyle& style, const QSizeF& viewSize, double value) {
    style.viewMargin = std::max(value, 0.0);
    setCornerRadius(style, viewSize, style.cornerRadius);
}

void setCornerRadius(AttachedWindowStyle& style, const QSizeF& viewSize, double value) {
    const double largest =
        (2 * style.viewMargin + shorterSide(viewSize) - style.arrowBaseWidth) / 2;
    // A view too small for the arrow leaves no room for a rounding: square corners, never a
    // negative radius.
    style.cornerRadius = std::max(std::min(value, largest), 0.0);
    setArrowBaseWidth(style, viewSize, style.arrowBaseWidth);
}

void setArrowBaseWidth(AttachedWindowStyle& style, const QSizeF& viewSize, double value) {
    double largest = 2 * style.viewMargin + shorterSide(viewSize) - style.cornerRadius;
    if (style.drawsRoundCornerBesideArrow) {
        largest -= style.cornerRadius;
    }
    style.arrowBaseWidth = std::max(std::min(value, largest), 0.0);
}

}  // namespace attached

double arrowInset(const AttachedWindowStyle& style) {
    return style.arrowBaseWidth / 2 + (style.drawsRoundCornerBesideArrow ? style.cornerRadius : 0);
}

AttachedGeometry attachedGeometry(const QSizeF& viewSize, const AttachedWindowStyle& style,
                                  const QPointF& point, AttachedSide side, double distance,
                                  const QRectF& available) {
    if (side == S::Automatic) {
        side = S::Below;
    }
    const double m = style.viewMargin;
    const double arrow = style.arrowHeight;
    const Edge edge = arrowEdge(side);
    AttachedGeometry g;
    g.viewFrame = QRectF(QPointF(m, m), viewSize);
    if (edge == Edge::Left) {
        g.viewFrame.translate(arrow, 0);
    } else if (edge == Edge::Top) {
        g.viewFrame.translate(0, arrow);
    }
    double w = viewSize.width() + 2 * m;
    double h = viewSize.height() + 2 * m;
    if (edge == Edge::Left || edge == Edge::Right) {
        w += arrow;
    } else {
        h += arrow;
    }

    const double px = point.x();
    const double py = point.y();
    const double d = distance;
    const double j = arrowInset(style);
    QPointF origin;
    switch (side) {
        case S::Left:
            origin = {px - w - d, py - h / 2};
            break;
        case S::Right:
            origin = {px + d, py - h / 2};
            break;
        case S::Above:
            origin = {px - w / 2, py - h - d};
            break;
        case S::LeftUpward:
            origin = {px - w - d, py + j - h};
            break;
        case S::LeftDownward:
            origin = {px - w - d, py - j};
            break;
        case S::RightUpward:
            origin = {px + d, py + j - h};
            break;
        case S::RightDownward:
            origin = {px + d, py - j};
            break;
        case S::AboveLeftward:
            origin = {px - (w - j), py - h - d};
            break;
        case S::AboveRightward:
            origin = {px - j, py - h - d};
            break;
        case S::BelowLeftward:
            origin = {px - (w - j), py + d};
            break;
        case S::BelowRightward:
            origin = {px - j, py + d};
            break;
        case S::Below:
        case S::Automatic:  // taken as Below above
            origin = {px - w / 2, py + d};
            break;
    }
    if (available.isValid()) {
        origin.setX(keepInside(origin.x(), w, available.x(), available.width()));
        origin.setY(keepInside(origin.y(), h, available.y(), available.height()));
    }
    g.frame = QRectF(origin, QSizeF(w, h));
    return g;
}

AttachedSide automaticSide(const QSizeF& viewSize, const AttachedWindowStyle& style,
                           const QPointF& point, double distance, const QRectF& available,
                           const QRectF& parentFrame) {
    const double wn = viewSize.width() + 2 * style.viewMargin;
    const double hn = viewSize.height() + 2 * style.viewMargin;
    const double f = distance + style.arrowHeight;
    const QRectF& v = available;
    S side = S::Below;
    if (point.y() + hn + f <= v.bottom()) {
        side = S::Below;
    } else if (point.x() + wn + f <= v.right()) {
        side = S::Right;
    } else if (point.x() - wn - f >= v.left()) {
        side = S::Left;
    } else if (point.y() - hn - f >= v.top()) {
        side = S::Above;
    }

    const QRectF bounds = parentFrame.isValid() ? parentFrame : v;
    const QRectF frame = attachedGeometry(viewSize, style, point, side, distance).frame;
    S variant = side;
    switch (side) {
        case S::Below:
        case S::Above:
            if (frame.left() < bounds.left()) {
                variant = side == S::Below ? S::BelowRightward : S::AboveRightward;
            } else if (frame.right() > bounds.right()) {
                variant = side == S::Below ? S::BelowLeftward : S::AboveLeftward;
            }
            break;
        case S::Left:
        case S::Right:
            if (frame.bottom() > bounds.bottom()) {
                variant = side == S::Left ? S::LeftUpward : S::RightUpward;
            } else if (frame.top() < bounds.top()) {
                variant = side == S::Left ? S::LeftDownward : S::RightDownward;
            }
            break;
        default:
            break;
    }
    if (variant != side &&
        fitsIn(attachedGeometry(viewSize, style, point, variant, distance).frame, v)) {
        return variant;
    }
    return side;
}

QPainterPath attachedBubblePath(const QRectF& viewFrame, const AttachedWindowStyle& style,
                                AttachedSide side) {
    if (side == S::Automatic) {
        side = S::Below;
    }
    const QRectF grown = viewFrame.adjusted(-style.viewMargin, -style.viewMargin, style.viewMargin,
                                            style.viewMargin);
    const double left = std::ceil(grown.left());
    const double top = std::ceil(grown.top());
    const double right = std::floor(grown.right());
    const double bottom = std::floor(grown.bottom());
    const double limit = std::max(std::min(right - left, bottom - top) / 2, 0.0);
    const double radius = std::clamp(style.cornerRadius, 0.0, limit);

    // The corner a corner arrow starts at is square when the style says so.
    double topLeft = radius;
    double topRight = radius;
    double bottomRight = radius;
    double bottomLeft = radius;
    if (!style.drawsRoundCornerBesideArrow) {
        switch (side) {
            case S::LeftUpward:
            case S::AboveLeftward:
                bottomRight = 0;
                break;
            case S::LeftDownward:
            case S::BelowLeftward:
                topRight = 0;
                break;
            case S::RightUpward:
            case S::AboveRightward:
                bottomLeft = 0;
                break;
            case S::RightDownward:
            case S::BelowRightward:
                topLeft = 0;
                break;
            default:
                break;
        }
    }

    const Edge edge = arrowEdge(side);
    const double base = style.arrowBaseWidth;
    const double height = style.arrowHeight;
    const bool arrow = style.hasArrow;
    QPainterPath path;
    path.moveTo(left + topLeft, top);
    // Top edge, left to right.
    if (arrow && edge == Edge::Top) {
        const double x = centred(side)               ? left + (right - left - base) / 2
                         : side == S::BelowRightward ? left + topLeft
                                                     : right - topRight - base;
        path.lineTo(x, top);
        path.lineTo(x + base / 2, top - height);
        path.lineTo(x + base, top);
    }
    path.lineTo(right - topRight, top);
    if (topRight > 0) {
        path.arcTo(QRectF(right - 2 * topRight, top, 2 * topRight, 2 * topRight), 90, -90);
    }
    // Right edge, top to bottom.
    if (arrow && edge == Edge::Right) {
        const double y = centred(side)             ? top + (bottom - top - base) / 2
                         : side == S::LeftDownward ? top + topRight
                                                   : bottom - bottomRight - base;
        path.lineTo(right, y);
        path.lineTo(right + height, y + base / 2);
        path.lineTo(right, y + base);
    }
    path.lineTo(right, bottom - bottomRight);
    if (bottomRight > 0) {
        path.arcTo(QRectF(right - 2 * bottomRight, bottom - 2 * bottomRight, 2 * bottomRight,
                          2 * bottomRight),
                   0, -90);
    }
    // Bottom edge, right to left.
    if (arrow && edge == Edge::Bottom) {
        const double x = centred(side)              ? right - (right - left - base) / 2
                         : side == S::AboveLeftward ? right - bottomRight
                                                    : left + bottomLeft + base;
        path.lineTo(x, bottom);
        path.lineTo(x - base / 2, bottom + height);
        path.lineTo(x - base, bottom);
    }
    path.lineTo(left + bottomLeft, bottom);
    if (bottomLeft > 0) {
        path.arcTo(QRectF(left, bottom - 2 * bottomLeft, 2 * bottomLeft, 2 * bottomLeft), 270, -90);
    }
    // Left edge, bottom to top.
    if (arrow && edge == Edge::Left) {
        const double y = centred(side)            ? bottom - (bottom - top - base) / 2
                         : side == S::RightUpward ? bottom - bottomLeft
                                                  : top + topLeft + base;
        path.lineTo(left, y);
        path.lineTo(left - height, y - base / 2);
        path.lineTo(left, y - base);
    }
    path.lineTo(left, top + topLeft);
    if (topLeft > 0) {
        path.arcTo(QRectF(left, top, 2 * topLeft, 2 * topLeft), 180, -90);
    }
    path.closeSubpath();
    return path;
}

}  // namespace nimbara::ui
