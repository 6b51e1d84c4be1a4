// A map of where photos were taken that works without any map service: the land of the world
// drawn from a bundled outline, the photo positions as pins, the view fitted to the pins. The
// pin of the chosen photo is drawn larger.
#pragma once

#include <QPainterPath>
#include <QString>
#include <QWidget>

#include <vector>

#include "privacy/map_viewport.h"

namespace nimbara::privacy {

struct MapPin {
    GeoPosition position;
    QString label;  // shown as the pin's tip
};

class PositionMapView : public QWidget {
  public:
    explicit PositionMapView(QWidget* parent = nullptr);

    // Shows `pins` (places outside the globe's ranges are left out) and fits the view to them.
    void setPins(std::vector<MapPin> pins);
    const std::vector<MapPin>& pins() const { return pins_; }
    // Marks pin `index` as chosen (-1: none).
    void setChosenPin(int index);
    int chosenPin() const { return chosen_; }
    // The part of the world on show.
    GeoBox view() const { return view_; }

    QSize sizeHint() const override { return {480, 260}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void fit();
    // The pin under `point`, or -1.
    int pinAt(const QPointF& point) const;

    std::vector<MapPin> pins_;
    int chosen_ = -1;
    GeoBox view_;
    // The land, in degrees (x longitude, y latitude), made once.
    QPainterPath land_;
};

}  // namespace nimbara::privacy
