// The storage bars: the status page's bar and the device popover's bar.
#pragma once

#include <QColor>
#include <QRectF>
#include <QWidget>
#include <vector>

// A storage bar in one of two modes. Category mode (after the five-fraction setter) draws the
// music, photo, video, app and others segments side by side; two-value mode (after the
// used/free setter) draws one used rectangle. Fractions are of the device's total; NaN counts
// as 0 and widths use fractions clamped to [0, 1].
class ColorProgressBar : public QWidget {
    Q_OBJECT
  public:
    // One drawn rectangle and its gradient (start colour at the bottom, end colour at the top).
    struct Segment {
        QRectF rect;
        QColor startColor;
        QColor endColor;
        double cornerRadius = 0.0;
        bool hatched = false;  // drawn with stripes over it: its size is still being worked out
    };

    float musicValue() const { return musicValue_; }
    float photoValue() const { return photoValue_; }
    float videoValue() const { return videoValue_; }
    float appValue() const { return appValue_; }
    float othersValue() const { return othersValue_; }
    float usedValue() const { return usedValue_; }
    float freevalue() const { return freevalue_; }

    // Stores the five fractions, switches to category mode and redraws.
    void setProgressValueWithMusicValue(float music, float withPhoto, float withVideoValue,
                                        float withAppValue, float withOthersValue);
    // Stores the used and free fractions and switches to two-value mode. Doesn't redraw:
    // callers call update().
    void setProgressValueWithusedValue(float used, float withFreeValue);
    // True in category mode.
    bool getShowMore() const { return bshowMore_; }
    // While categories are being counted, the others segment (which holds what isn't counted
    // yet) is drawn striped. Redraws.
    void setCounting(bool counting);
    bool counting() const { return counting_; }

    // What the bar draws over its bezel at its current size.
    std::vector<Segment> segments() const;

    QSize sizeHint() const override { return {300, 16}; }

  protected:
    ColorProgressBar(double bezelRadius, double usedRadius, QWidget* parent);
    // The used rectangle's colours for `used` (start, end).
    virtual std::pair<QColor, QColor> usedColors(float used) const = 0;

    void paintEvent(QPaintEvent* event) override;

  private:
    double bezelRadius_;
    double usedRadius_;
    float musicValue_ = 0.0f;
    float photoValue_ = 0.0f;
    float videoValue_ = 0.0f;
    float appValue_ = 0.0f;
    float othersValue_ = 0.0f;
    bool bshowMore_ = false;
    bool counting_ = false;
    float freevalue_ = 0.0f;
    float usedValue_ = 0.0f;
};

// The status page's bar: square corners; the used part red above one half, else blue.
class PRColorProgressView : public ColorProgressBar {
    Q_OBJECT
  public:
    explicit PRColorProgressView(QWidget* parent = nullptr);

  protected:
    std::pair<QColor, QColor> usedColors(float used) const override;
};

// A device row's bar in the popover: rounded corners; the used part green.
class PPColorProgressView : public ColorProgressBar {
    Q_OBJECT
  public:
    explicit PPColorProgressView(QWidget* parent = nullptr);

  protected:
    std::pair<QColor, QColor> usedColors(float used) const override;
};
