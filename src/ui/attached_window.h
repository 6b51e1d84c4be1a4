// A borderless child window that holds one view and points at a spot with a triangular arrow,
// like a speech bubble: it sizes itself around the view and sits so that the arrow's tip touches
// the point, inside the screen's available area. Its rounded, bordered, translucent background
// is painted from the shape in attached_window_geometry.h.
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include "ui/attached_window_geometry.h"

class MAAttachedWindow : public QWidget {
    Q_OBJECT
  public:
    using Side = nimbara::ui::AttachedSide;

    // The window around `view` (which becomes its child), pointing at `point`: in the
    // coordinates of `window` when there is one (the bubble then belongs to it and stays above
    // it), in screen coordinates otherwise. Side::Automatic picks the side from the room around
    // the point. Null when there is no view.
    static MAAttachedWindow* create(QWidget* view, const QPointF& point, QWidget* window = nullptr,
                                    Side side = Side::Automatic, double distance = 0);

    // Moves the window to point at `point` from `side`.
    void setPoint(const QPointF& point, Side side);

    QColor windowBackgroundColor() const { return background_; }
    void setBackgroundColor(const QColor& colour);
    QColor borderColor() const { return border_; }
    void setBorderColor(const QColor& colour);
    // Paints the background with `image` tiled instead of the colour (a null image: no change).
    void setBackgroundImage(const QImage& image);

    // The style values, kept within their limits (attached_window_geometry.h).
    double borderWidth() const { return style_.borderWidth; }
    void setBorderWidth(double value);
    double viewMargin() const { return style_.viewMargin; }
    void setViewMargin(double value);
    double arrowBaseWidth() const { return style_.arrowBaseWidth; }
    void setArrowBaseWidth(double value);
    double arrowHeight() const { return style_.arrowHeight; }
    void setArrowHeight(double value);
    bool hasArrow() const { return style_.hasArrow; }
    void setHasArrow(bool value);
    double cornerRadius() const { return style_.cornerRadius; }
    void setCornerRadius(double value);
    bool drawsRoundCornerBesideArrow() const { return style_.drawsRoundCornerBesideArrow; }
    void setDrawsRoundCornerBesideArrow(bool value);

    Side side() const { return side_; }
    QWidget* view() const { return view_; }
    const nimbara::ui::AttachedWindowStyle& style() const { return style_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    MAAttachedWindow(QWidget* view, const QPointF& point, QWidget* window, Side side,
                     double distance);
    QSizeF viewSize() const;
    QPointF screenPoint() const;
    QRectF availableArea() const;
    // Sizes and places the window and the view for the current values, and repaints.
    void redisplay();

    QPointer<QWidget> view_;
    QPointer<QWidget> window_;
    QPointF point_;
    Side side_ = Side::Below;
    double distance_ = 0;
    QRectF viewFrame_;
    QColor background_ = QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f);
    QColor border_ = Qt::white;
    QImage backgroundImage_;
    nimbara::ui::AttachedWindowStyle style_;
    bool resizing_ = false;
};
