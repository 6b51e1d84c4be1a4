// Progress bars, storage bars, the used-space ring, the arc indicator and the spinner.
#include <gtest/gtest.h>

#include <QPointer>
#include <QPropertyAnimation>
#include <cmath>
#include <limits>
#include <numbers>

#include "app_test_support.h"
#include "ui/circle_progress_view.h"
#include "ui/color_progress_view.h"
#include "ui/custom_view.h"
#include "ui/flash_view.h"
#include "ui/progress_view.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class IndicatorsTest : public ::testing::Test {
  protected:
    void SetUp() override { nimbara::test::ensureApplication(); }
};

TEST_F(IndicatorsTest, ProgressBarWidthFollowsTheValue) {
    PRProgressView bar;
    bar.resize(200, 12);
    EXPECT_FALSE(bar.filledRect().has_value());  // 0: the empty track

    bar.setProgressValue(1.0f);
    ASSERT_TRUE(bar.filledRect().has_value());
    EXPECT_EQ(*bar.filledRect(), QRectF(2.0, 1.0, 196.0, 8.5));

    bar.setProgressValue(0.5f);
    EXPECT_DOUBLE_EQ(bar.filledRect()->width(), 96.0);

    // 0.001 * 200 - 4 is not above 0: a 2-point stub.
    bar.setProgressValue(0.001f);
    EXPECT_DOUBLE_EQ(bar.filledRect()->width(), 2.0);

    bar.setProgressValue(1.5f);
    EXPECT_FALSE(bar.filledRect().has_value());
    bar.setProgressValue(kNaN);
    EXPECT_EQ(bar.value(), 0.0f);
    EXPECT_FALSE(bar.filledRect().has_value());
    bar.setProgressValue(kInf);
    EXPECT_FALSE(bar.filledRect().has_value());
}

TEST_F(IndicatorsTest, ProgressBarRendersOffscreen) {
    PRProgressView bar;
    bar.resize(100, 12);
    bar.setProgressValue(0.5f);
    const QImage image = bar.grab().toImage();
    // Blue inside the filled part, the grey track beyond it.
    EXPECT_EQ(image.pixelColor(20, 5), QColor(95, 146, 236));
    EXPECT_EQ(image.pixelColor(80, 5), QColor(168, 168, 168));
}

TEST_F(IndicatorsTest, CategoryBarLaysSegmentsSideBySide) {
    PRColorProgressView bar;
    bar.resize(200, 20);
    EXPECT_FALSE(bar.getShowMore());
    bar.setProgressValueWithMusicValue(0.1f, 0.0f, 0.2f, 0.004f, 0.25f);
    EXPECT_TRUE(bar.getShowMore());
    const auto segments = bar.segments();
    // Photo is empty and takes no width; the tiny app share is drawn 2 wide.
    ASSERT_EQ(segments.size(), 4u);
    EXPECT_EQ(segments[0].rect.x(), 0.0);
    EXPECT_EQ(segments[0].rect.y(), 1.0);
    EXPECT_NEAR(segments[0].rect.width(), 20.0, 1e-4);
    EXPECT_EQ(segments[0].rect.height(), 16.5);
    EXPECT_EQ(segments[0].startColor, QColor(90, 152, 246));
    EXPECT_EQ(segments[0].endColor, QColor(90, 154, 246));
    EXPECT_NEAR(segments[1].rect.x(), 20.0, 1e-4);
    EXPECT_NEAR(segments[1].rect.width(), 40.0, 1e-4);
    EXPECT_EQ(segments[1].startColor, QColor(64, 222, 179));
    EXPECT_NEAR(segments[2].rect.x(), 60.0, 1e-4);
    EXPECT_DOUBLE_EQ(segments[2].rect.width(), 2.0);
    EXPECT_EQ(segments[2].startColor, QColor(247, 217, 21));
    EXPECT_NEAR(segments[3].rect.x(), 62.0, 1e-4);
    EXPECT_EQ(segments[3].startColor, QColor(214, 71, 141));
}

TEST_F(IndicatorsTest, CategoryBarSurvivesNonsenseFractions) {
    PPColorProgressView bar;
    bar.resize(100, 10);
    bar.setProgressValueWithMusicValue(kNaN, -0.3f, 3.0f, kInf, 0.0f);
    EXPECT_EQ(bar.musicValue(), 0.0f);
    const auto segments = bar.segments();
    // Music (NaN) and photo (negative) are skipped; video and app are clamped to the full width.
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_DOUBLE_EQ(segments[0].rect.width(), 100.0);
    EXPECT_DOUBLE_EQ(segments[1].rect.width(), 100.0);
    for (const auto& segment : segments) {
        EXPECT_TRUE(std::isfinite(segment.rect.x()) && std::isfinite(segment.rect.width()));
    }
}

TEST_F(IndicatorsTest, UsedBarColourTurnsRedAboveHalf) {
    PRColorProgressView bar;
    bar.resize(200, 20);
    bar.setProgressValueWithMusicValue(0.1f, 0.1f, 0.1f, 0.1f, 0.1f);
    bar.setProgressValueWithusedValue(0.5f, 0.5f);
    EXPECT_FALSE(bar.getShowMore());
    auto segments = bar.segments();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].rect, QRectF(2.0, 1.0, 100.0, 16.5));
    EXPECT_EQ(segments[0].startColor, QColor(139, 234, 254));
    EXPECT_EQ(segments[0].endColor, QColor(115, 200, 223));
    EXPECT_EQ(segments[0].cornerRadius, 0.0);

    bar.setProgressValueWithusedValue(0.51f, 0.49f);
    segments = bar.segments();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startColor, QColor(252, 61, 45));
    EXPECT_EQ(segments[0].endColor, QColor(198, 39, 33));
}

TEST_F(IndicatorsTest, UsedBarDrawsNothingForAnImpossibleSplit) {
    PPColorProgressView bar;
    bar.resize(120, 14);
    bar.setProgressValueWithusedValue(0.3f, 1.2f);  // free above 1
    EXPECT_TRUE(bar.segments().empty());
    bar.setProgressValueWithusedValue(0.0f, 1.0f);  // nothing used
    EXPECT_TRUE(bar.segments().empty());
    bar.setProgressValueWithusedValue(kNaN, kNaN);  // a total of 0
    EXPECT_TRUE(bar.segments().empty());
    bar.setProgressValueWithusedValue(kInf, 0.0f);  // clamped to the full width
    ASSERT_EQ(bar.segments().size(), 1u);
    EXPECT_DOUBLE_EQ(bar.segments()[0].rect.width(), 120.0);

    bar.setProgressValueWithusedValue(0.25f, 0.75f);
    const auto segments = bar.segments();
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].startColor, QColor(183, 231, 128));
    EXPECT_EQ(segments[0].cornerRadius, 3.0);
    EXPECT_DOUBLE_EQ(segments[0].rect.width(), 30.0);
}

TEST_F(IndicatorsTest, StorageBarsRenderTheirSegments) {
    PRColorProgressView bar;
    bar.resize(100, 20);
    bar.setProgressValueWithMusicValue(0.5f, 0.0f, 0.0f, 0.0f, 0.5f);
    const QImage image = bar.grab().toImage();
    EXPECT_EQ(image.pixelColor(20, 10).red(), 90);
    EXPECT_EQ(image.pixelColor(80, 10), QColor(214, 71, 141));
}

TEST_F(IndicatorsTest, UsedRingClampsAndSweepsThroughIntermediateValues) {
    CustomView ring;
    ring.setProgress(0.25);
    EXPECT_DOUBLE_EQ(ring.arcSpanDegrees(), -90.0);  // a quarter, clockwise from the top
    ring.setProgress(1.7);
    EXPECT_DOUBLE_EQ(ring.progress(), 1.0);
    ring.setProgress(std::nan(""));
    EXPECT_DOUBLE_EQ(ring.progress(), 0.0);
    ring.setProgress(-1.0);
    EXPECT_DOUBLE_EQ(ring.progress(), 0.0);

    ring.setProgress(0.2);
    ring.animateProgress(0.7);
    QPropertyAnimation* sweep = ring.progressAnimation();
    ASSERT_NE(sweep, nullptr);
    EXPECT_EQ(sweep->state(), QAbstractAnimation::Running);
    sweep->setCurrentTime(CustomView::kAnimationMilliseconds / 2);
    EXPECT_GT(ring.progress(), 0.2);
    EXPECT_LT(ring.progress(), 0.7);
    // A new target takes over from where the ring is.
    const double midway = ring.progress();
    ring.animateProgress(std::nan(""));
    EXPECT_DOUBLE_EQ(sweep->startValue().toDouble(), midway);
    EXPECT_DOUBLE_EQ(sweep->endValue().toDouble(), 0.0);
    sweep->setCurrentTime(CustomView::kAnimationMilliseconds);
    EXPECT_DOUBLE_EQ(ring.progress(), 0.0);
}

TEST_F(IndicatorsTest, ArcIndicatorRunsCounterClockwiseFromTheTop) {
    CircleProgressView arc;
    EXPECT_EQ(arc.progress(), 0.0f);
    EXPECT_EQ(arc.arcSpanDegrees(), 0.0);
    arc.setProgress(float(std::numbers::pi));
    EXPECT_NEAR(arc.arcSpanDegrees(), 90.0, 1e-4);
    // An end before the start goes the long way round.
    arc.setProgress(float(std::numbers::pi / 4.0));
    EXPECT_NEAR(arc.arcSpanDegrees(), 315.0, 1e-4);
    arc.setProgress(kNaN);
    EXPECT_EQ(arc.arcSpanDegrees(), 0.0);
}

TEST_F(IndicatorsTest, SpinnerStartsStopsAndRestarts) {
    FlashView spinner;
    spinner.resize(40, 40);
    EXPECT_FALSE(spinner.isFlashing());
    spinner.stopFlash();  // nothing running: nothing happens
    EXPECT_FALSE(spinner.isFlashing());

    spinner.startFlash();
    EXPECT_TRUE(spinner.isFlashing());
    spinner.startFlash();  // replaces the running turn
    EXPECT_TRUE(spinner.isFlashing());
    EXPECT_EQ(spinner.findChildren<QAbstractAnimation*>().size(), 1);

    spinner.stopFlash();
    EXPECT_FALSE(spinner.isFlashing());
    EXPECT_EQ(spinner.rotationDegrees(), 0.0);
    spinner.grab();  // paints unrotated without complaint
}

TEST_F(IndicatorsTest, SpinnerDestroyedWhileSpinningLeavesNothingRunning) {
    QPointer<QAbstractAnimation> animation;
    {
        FlashView spinner;
        spinner.startFlash();
        animation = spinner.findChild<QAbstractAnimation*>();
        ASSERT_FALSE(animation.isNull());
    }
    EXPECT_TRUE(animation.isNull());
}

}  // namespace
