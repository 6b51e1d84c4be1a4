#include "ui/color_progress_view.h"

#include <QPainter>

#include "ui/bar_painting.h"

using nimbara::ui::clampedFraction;
using nimbara::ui::finiteOrZero;

ColorProgressBar::ColorProgressBar(double bezelRadius, double usedRadius, QWidget* parent)
    : QWidget(parent), bezelRadius_(bezelRadius), usedRadius_(usedRadius) {}

void ColorProgressBar::setProgressValueWithMusicValue(float music, float withPhoto,
                                                      float withVideoValue, float withAppValue,
                                                      float withOthersValue) {
    musicValue_ = finiteOrZero(music);
    photoValue_ = finiteOrZero(withPhoto);
    videoValue_ = finiteOrZero(withVideoValue);
    appValue_ = finiteOrZero(withAppValue);
    othersValue_ = finiteOrZero(withOthersValue);
    bshowMore_ = true;
    update();
}

void ColorProgressBar::setCounting(bool counting) {
    if (counting_ != counting) {
        counting_ = counting;
        update();
    }
}

void ColorProgressBar::setProgressValueWithusedValue(float used, float withFreeValue) {
    usedValue_ = finiteOrZero(used);
    freevalue_ = finiteOrZero(withFreeValue);
    bshowMore_ = false;
}

std::vector<ColorProgressBar::Segment> ColorProgressBar::segments() const {
    const double w = width();
    const double h = height();
    std::vector<Segment> result;
    if (bshowMore_) {
        struct Category {
            float value;
            QColor start;
            QColor end;
        };
        constexpr std::size_t kCategories = 5;  // the last one is the others
        const Category categories[kCategories] = {
            {musicValue_, QColor(90, 152, 246), QColor(90, 154, 246)},
            {photoValue_, QColor(255, 128, 110), QColor(255, 128, 110)},
            {videoValue_, QColor(64, 222, 179), QColor(64, 222, 179)},
            {appValue_, QColor(247, 217, 21), QColor(247, 217, 21)},
            {othersValue_, QColor(214, 71, 141), QColor(214, 71, 141)},
        };
        double x = 0.0;
        for (std::size_t i = 0; i < kCategories; ++i) {
            const Category& category = categories[i];
            const float value = clampedFraction(category.value);
            if (!(value > 0.0f)) {
                continue;  // an empty category takes no width
            }
            double segmentWidth = double(value) * w;
            if (!(segmentWidth > 1.0)) {
                segmentWidth = 2.0;  // a tiny category stays visible
            }
            result.push_back({QRectF(x, 1.0, segmentWidth, h - 3.5), category.start, category.end,
                              0.0, counting_ && i + 1 == kCategories});
            x += segmentWidth;
        }
        return result;
    }
    if (freevalue_ > 1.0f || !(usedValue_ > 0.0f)) {
        return result;
    }
    const auto [start, end] = usedColors(usedValue_);
    result.push_back({QRectF(2.0, 1.0, double(clampedFraction(usedValue_)) * w, h - 3.5), start,
                      end, usedRadius_});
    return result;
}

void ColorProgressBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    nimbara::ui::drawBarBezel(painter, size(), bezelRadius_, QColor(219, 219, 219));
    for (const Segment& segment : segments()) {
        nimbara::ui::fillGradientRect(painter, segment.rect, segment.startColor, segment.endColor,
                                      segment.cornerRadius);
        if (segment.hatched) {
            painter.fillRect(segment.rect, QBrush(QColor(255, 255, 255, 150), Qt::BDiagPattern));
        }
    }
}

PRColorProgressView::PRColorProgressView(QWidget* parent) : ColorProgressBar(0.0, 0.0, parent) {}

std::pair<QColor, QColor> PRColorProgressView::usedColors(float used) const {
    if (used > 0.5f) {
        return {QColor(252, 61, 45), QColor(198, 39, 33)};
    }
    return {QColor(139, 234, 254), QColor(115, 200, 223)};
}

PPColorProgressView::PPColorProgressView(QWidget* parent) : ColorProgressBar(6.0, 3.0, parent) {}

std::pair<QColor, QColor> PPColorProgressView::usedColors(float /*used*/) const {
    return {QColor(183, 231, 128), QColor(183, 231, 128)};
}
