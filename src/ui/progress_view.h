// The horizontal progress bar of the pages that scan or remove.
#pragma once

#include <QRectF>
#include <QWidget>
#include <optional>

// Draws a grey track and, for a value in (0, 1], a blue bar of value * width - 4 (at least 2).
// A value of 0 or above 1 shows the empty track; NaN counts as 0.
class PRProgressView : public QWidget {
    Q_OBJECT
  public:
    explicit PRProgressView(QWidget* parent = nullptr);

    float value() const { return value_; }
    // Stores the fraction done and redraws.
    void setProgressValue(float value);

    // The filled rectangle for the current value and size (none: only the track shows).
    std::optional<QRectF> filledRect() const;

    QSize sizeHint() const override { return {200, 12}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    float value_ = 0.0f;
};
