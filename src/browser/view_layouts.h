// Layouts that place the views of a container: pure geometry over sizes and rectangles, no
// widgets. Every layout keeps a 20-point margin inside the container's bounds and hands back, per
// view, the origin it goes to and its turn about its centre in degrees (0: upright; a caller sets
// the turn before it moves the view, animated or not).
//
// WrappedViewLayout fills rows from the left and wraps; the other three place a whole set at
// once: on a circle, on a figure of eight, or scattered at random.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <vector>

namespace nimbara::browser {

// Room kept free inside a container's bounds, and between two views of a row or two rows.
inline constexpr double kLayoutMargin = 20.0;

struct PlacedView {
    QPointF origin;
    double rotation = 0.0;  // degrees, about the view's centre
};

class ViewLayout {
  public:
    virtual ~ViewLayout() = default;
    // Places views of `sizes` (in order) in a container with `bounds`: one entry per view; an
    // empty list places nothing.
    virtual std::vector<PlacedView> layoutSubviews(const std::vector<QSizeF>& sizes,
                                                   const QRectF& bounds) = 0;
};

class WrappedViewLayout final : public ViewLayout {
  public:
    // One view at a time, in a flipped container (y grows downwards). Starts over in `bounds`:
    // the first row's bottom line lies 140 points below the top, so 120-point views start 20
    // points down.
    void initPointRect(const QRectF& bounds);
    // Where the next view of `size` goes: beside the previous one, or at the start of a new row
    // when it would pass the right edge. A row always takes its first view, however wide.
    QPointF layoutSubView(const QSizeF& size);
    // The origin given to the last view placed, and the tallest view of the current row.
    QPointF origin() const { return origin_; }
    double rowHeight() const { return rowHeight_; }

    // All views at once, in an unflipped container (y grows upwards): rows from the top of the
    // area downwards.
    std::vector<PlacedView> layoutSubviews(const std::vector<QSizeF>& sizes,
                                           const QRectF& bounds) override;

  private:
    QPointF origin_;
    double rowHeight_ = 0.0;
    QPointF pt_;  // x: where the next view starts; y: the bottom line of the current row
    QRectF container1_;
    bool rowEmpty_ = true;
};

// Views at equal angles on the largest circle that keeps them inside the area, each turned to
// face along it.
class CircularViewLayout final : public ViewLayout {
  public:
    std::vector<PlacedView> layoutSubviews(const std::vector<QSizeF>& sizes,
                                           const QRectF& bounds) override;
};

// Views on a figure of eight across the area, upright.
class LoopViewLayout final : public ViewLayout {
  public:
    std::vector<PlacedView> layoutSubviews(const std::vector<QSizeF>& sizes,
                                           const QRectF& bounds) override;
};

// Views at random places inside the area, each turned by up to 30 degrees either way.
class ScatterViewLayout final : public ViewLayout {
  public:
    // `random` gives numbers uniform in [0, 1); none: the process's random generator.
    explicit ScatterViewLayout(std::function<double()> random = {});
    std::vector<PlacedView> layoutSubviews(const std::vector<QSizeF>& sizes,
                                           const QRectF& bounds) override;

  private:
    std::function<double()> random_;
};

}  // namespace nimbara::browser
