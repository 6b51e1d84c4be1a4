// An arc indicator: a blue arc from the top, counter-clockwise, to an end angle.
#pragma once

#include <QWidget>

class CircleProgressView : public QWidget {
    Q_OBJECT
  public:
    explicit CircleProgressView(QWidget* parent = nullptr);

    // The end angle in radians; 0 (or NaN) draws nothing. Setting it only stores: callers
    // redraw.
    float progress() const { return progress_; }
    void setProgress(float progress) { progress_ = progress; }

    // The arc's counter-clockwise span in degrees from pi/2 to the end angle, in [0, 360);
    // 0 when nothing is drawn.
    double arcSpanDegrees() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    float progress_ = 0.0f;
};
