// The ring of used space on the main window's status page.
#pragma once

#include <QWidget>

class QPropertyAnimation;

// A yellow ring of radius 64 (8 wide, round caps) starting at the top and running clockwise
// over the fraction `progress` of the circle. Fractions are clamped to [0, 1]; NaN is 0.
class CustomView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(double progress READ progress WRITE setProgress)
  public:
    static constexpr int kAnimationMilliseconds = 250;
    static constexpr double kRadius = 64.0;
    static constexpr double kLineWidth = 8.0;

    explicit CustomView(QWidget* parent = nullptr);

    double progress() const { return progress_; }
    // Stores the fraction and redraws.
    void setProgress(double progress);
    // Sweeps smoothly from the current fraction to `progress` (the animator's setProgress);
    // a later call takes over from wherever the ring is.
    void animateProgress(double progress);
    // The running sweep (null when none ran yet); tests drive it by its current time.
    QPropertyAnimation* progressAnimation() const { return animation_; }

    // The arc's span in degrees: negative (clockwise) from the top, 0 draws nothing.
    double arcSpanDegrees() const { return -360.0 * progress_; }

    QSize sizeHint() const override { return {150, 150}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double progress_ = 0.0;
    QPropertyAnimation* animation_ = nullptr;
};
