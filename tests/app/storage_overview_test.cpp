// The status page's storage overview: figures from the device's media-sync metrics, shown once,
// with arithmetic that never wraps, and a session that never outlives its device.
#include <QLabel>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/core/storage_figures.h"
#include "app/quick_scan_window_ui.h"
#include "delegate_fixture.h"
#include "device/device_status.h"
#include "gated_library.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "ui/color_progress_view.h"

namespace nimbara::test {
namespace {

constexpr std::int64_t kGB = 1'000'000'000;

class StorageOverviewTest : public DelegateTest {
  protected:
    // Waits until the overview has shown its figures and closed its session.
    bool overviewShown() {
        return pumpUntil(
            [this] { return !hub().boardOverviewActive() && hub().photolibFileSize(); });
    }
};

TEST_F(StorageOverviewTest, ShowsTheFiguresOnceAndStops) {
    attachNew("dev-a", Dev("A")
                           .withMetrics({1 * kGB, 2 * kGB, 3 * kGB, 4 * kGB, kGB / 2})
                           .disk(64 * kGB, 16 * kGB));
    EXPECT_TRUE(hub().boardOverviewActive());
    ASSERT_TRUE(overviewShown());

    EXPECT_EQ(hub().currentAppFileSize(), 1'000'000'000u);
    EXPECT_EQ(hub().currentMusicFileSize(), 2'000'000'000u);
    EXPECT_EQ(hub().currentVideoFileSize(), 3'000'000'000u);
    EXPECT_EQ(hub().currentPhotoFileSize(), 4'500'000'000u);
    EXPECT_EQ(hub().currentUserDataFileSize(), 37'500'000'000u);  // 48 GB used less the rest
    EXPECT_EQ(hub().photoVideoFileSize(), 7'500'000'000u);
    EXPECT_EQ(hub().photolibFileSize(), 4'000'000'000u);
    EXPECT_EQ(hub().cameraFileSize(), 500'000'000u);

    EXPECT_EQ(ui().photoSizelab->text(), "Photo: 4.50GB");
    EXPECT_EQ(ui().musicSizelab->text(), "Music: 2.00GB");
    EXPECT_EQ(ui().movieSizelab->text(), "Movie: 3.00GB");
    EXPECT_EQ(ui().appSizelab->text(), "Apps: 1.00GB");
    EXPECT_EQ(ui().otherSizelab->text(), "Others: 37.50GB");
    EXPECT_EQ(hub().quickScanUi()->devicephotolab->text(), " 7.50GB");

    const PRColorProgressView& bar = *ui().iDeviceColorView;
    EXPECT_TRUE(bar.getShowMore());
    EXPECT_FLOAT_EQ(bar.musicValue(), 2.0f / 64.0f);
    EXPECT_FLOAT_EQ(bar.photoValue(), 4.5f / 64.0f);
    EXPECT_FLOAT_EQ(bar.videoValue(), 3.0f / 64.0f);
    EXPECT_FLOAT_EQ(bar.appValue(), 1.0f / 64.0f);
    EXPECT_FLOAT_EQ(bar.othersValue(), 37.5f / 64.0f);
    EXPECT_FALSE(hub().boardOverviewActive()) << "shown once, then stopped";
    EXPECT_FALSE(shown(ui().storageNotReportedlab)) << "every category was reported";
}

// A group or item the device marks as not reported.
PlistValue notReported() {
    PlistValue group = PlistValue::dict();
    group[amd::kMetricUnknown] = true;
    return group;
}

PlistValue sized(std::int64_t bytes) {
    PlistValue group = PlistValue::dict();
    group["_PhysicalSize"] = bytes;
    return group;
}

TEST_F(StorageOverviewTest, CategoriesTheDeviceDoesNotReportSaySoInsteadOfShowingNothing) {
    // What a device reports through its disk usage alone: apps and the camera roll. Nor can the
    // rest be counted: the device refuses the services it would be counted from.
    simdev::SimDeviceBuilder b(tmp_ / "dev-u");
    b.setIdentity("Newer", "dev-u").setDiskUsage(64 * kGB, 16 * kGB);
    PlistValue refused = PlistValue::array();
    refused.append("com.apple.afc");
    b.setFault(md::sim::kFaultRefusedServices, refused);
    PlistValue metrics = PlistValue::dict();
    metrics["Application"] = sized(5 * kGB);
    metrics["Media"]["Music"] = notReported();
    metrics["Media"]["Movie"] = notReported();
    metrics["Photo"]["Photo"] = notReported();
    metrics["Photo"]["CameraRoll"] = sized(kGB / 2);
    b.editDevicePlist()[md::sim::kKeyAssetMetrics] = metrics;
    ASSERT_TRUE(b.write());
    ASSERT_EQ(attach((tmp_ / "dev-u").string()), 0);
    ASSERT_TRUE(pumpUntil([this] {
        return !hub().boardOverviewActive() && !hub().boardCountActive() &&
               shown(ui().storageNotReportedlab);
    }));

    EXPECT_EQ(ui().musicSizelab->text(), "Music: not reported");
    EXPECT_EQ(ui().movieSizelab->text(), "Movie: not reported");
    EXPECT_EQ(ui().musicSizelab->toolTip(), "Not reported by this device");
    EXPECT_EQ(ui().photoSizelab->text(), "Photo: 500.00MB");  // the part it reports
    EXPECT_EQ(ui().photoSizelab->toolTip(), "");
    EXPECT_EQ(ui().appSizelab->text(), "Apps: 5.00GB");
    // What isn't reported is part of the used space the others take.
    EXPECT_EQ(ui().otherSizelab->text(), "Others: 42.50GB");
    EXPECT_EQ(ui().storageNotReportedlab->text(),
              "Not reported by this device: music, movies and the photo library. The space they "
              "take counts under Others.");
    const PRColorProgressView& bar = *ui().iDeviceColorView;
    EXPECT_EQ(bar.musicValue(), 0.0f);
    EXPECT_EQ(bar.videoValue(), 0.0f);
    EXPECT_FLOAT_EQ(bar.othersValue(), 42.5f / 64.0f);

    // Another device that reports everything: the sentence goes with the first one's figures.
    attachNew("dev-b", Dev("Older")
                           .withMetrics({1 * kGB, 2 * kGB, 3 * kGB, 4 * kGB, kGB / 2})
                           .disk(64 * kGB, 16 * kGB));
    ASSERT_TRUE(detach("dev-u"));
    ASSERT_TRUE(pumpUntil([this] { return ui().musicSizelab->text() == "Music: 2.00GB"; }));
    EXPECT_FALSE(shown(ui().storageNotReportedlab));
    EXPECT_EQ(ui().musicSizelab->toolTip(), "");
}

TEST(StorageFiguresText, TheSentenceNamesEachCategoryByWhereItsFigureCameFrom) {
    using app::FigureSource;
    constexpr FigureSource R = FigureSource::Reported;
    constexpr FigureSource N = FigureSource::NotReported;
    constexpr FigureSource B = FigureSource::Counting;
    constexpr FigureSource C = FigureSource::Counted;
    const struct {
        FigureSource photoLibrary, cameraRoll, music, movie, app;
        const char* note;
    } rows[] = {
        {R, R, R, R, R, ""},
        {R, R, R, R, N,
         "Not reported by this device: apps. The space they take counts under Others."},
        {N, N, N, N, N,
         "Not reported by this device: photos, music, movies and apps. The space they take "
         "counts under Others."},
        {N, R, N, N, R,
         "Not reported by this device: music, movies and the photo library. The space they take "
         "counts under Others."},
        {B, B, B, B, B, "Counting photos, music, movies and apps on the device\u2026"},
        {C, R, C, B, R,
         "* Counted by Nimbara: music and the photo library. Counting movies on the device\u2026"},
        {C, C, C, N, C,
         "* Counted by Nimbara: photos, music and apps. Not reported by this device: movies. The "
         "space they take counts under Others."},
    };
    for (const auto& row : rows) {
        app::StorageFigures figures;
        figures.photoLibrary.source = row.photoLibrary;
        figures.cameraRoll.source = row.cameraRoll;
        figures.music.source = row.music;
        figures.movie.source = row.movie;
        figures.app.source = row.app;
        EXPECT_EQ(app::storageFiguresNote(figures), QString::fromUtf8(row.note));
    }
}

TEST(StorageFiguresText, ALegendEntryMarksWhereItsFigureCameFrom) {
    using app::FigureSource;
    const struct {
        FigureSource source;
        const char* text;
        const char* toolTip;
    } rows[] = {
        {FigureSource::Reported, "Music: 2.00KB", ""},
        {FigureSource::Counted, "Music: 2.00KB*", "Counted by Nimbara"},
        {FigureSource::NotReported, "Music: not reported", "Not reported by this device"},
        {FigureSource::Counting, "Music: counting\u2026", "Being counted on the device"},
    };
    for (const auto& row : rows) {
        const app::StorageFigure figure{2000, row.source};
        EXPECT_EQ(app::storageLegendText("Music", figure), QString::fromUtf8(row.text));
        EXPECT_EQ(app::storageLegendToolTip(figure), QString::fromUtf8(row.toolTip));
    }
    EXPECT_EQ(app::storageLegendText("Music", {0}), "Music: 0.00bytes");
}

TEST_F(StorageOverviewTest, CategoriesLargerThanTheUsedSpaceLeaveNoOthers) {
    attachNew("dev-a", Dev("A").withMetrics({2 * kGB, 0, 0, 0, 0}).disk(10 * kGB, 9 * kGB));
    ASSERT_TRUE(overviewShown());
    EXPECT_EQ(hub().currentUserDataFileSize(), 0u);
    EXPECT_EQ(ui().otherSizelab->text(), "Others: 0.00bytes");
    EXPECT_FLOAT_EQ(ui().iDeviceColorView->othersValue(), 0.0f);
}

TEST_F(StorageOverviewTest, AnEmptyCapacityGivesZeroFractions) {
    attachNew("dev-a", Dev("A").withMetrics({kGB, kGB, kGB, kGB, kGB}).disk(0, 0));
    ASSERT_TRUE(overviewShown());
    const PRColorProgressView& bar = *ui().iDeviceColorView;
    for (float value : {bar.musicValue(), bar.photoValue(), bar.videoValue(), bar.appValue(),
                        bar.othersValue()}) {
        EXPECT_FALSE(std::isnan(value));
        EXPECT_EQ(value, 0.0f);
    }
    EXPECT_EQ(hub().currentUserDataFileSize(), 0u);
}

TEST_F(StorageOverviewTest, HugeAndNegativeFiguresSaturate) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    attachNew("dev-a", Dev("A").withMetrics({-5, kMax, kMax, kMax, kMax}));
    ASSERT_TRUE(overviewShown());
    EXPECT_EQ(hub().currentAppFileSize(), 0u) << "a negative size counts 0";
    EXPECT_EQ(hub().currentPhotoFileSize(), 2 * static_cast<std::uint64_t>(kMax));
    EXPECT_EQ(hub().photoVideoFileSize(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(hub().currentUserDataFileSize(), 0u);
}

TEST_F(StorageOverviewTest, MetricsWithoutMediaGiveNoMusicOrVideo) {
    // Only the application figure: "Media" and "Photo" are missing altogether.
    hub().startBoardMessageThreadOnMain(PlistValue(PlistValue::Dict{
        {"Application", PlistValue(PlistValue::Dict{{"_PhysicalSize", PlistValue(kGB)}})}}));
    EXPECT_EQ(hub().currentAppFileSize(), 1'000'000'000u);
    EXPECT_EQ(hub().currentMusicFileSize(), 0u);
    EXPECT_EQ(hub().currentVideoFileSize(), 0u);
    EXPECT_EQ(ui().iDeviceColorView->musicValue(), 0.0f);
    EXPECT_EQ(ui().iDeviceColorView->videoValue(), 0.0f);
}

TEST_F(StorageOverviewTest, TheSessionStopsWhenItsDeviceGoes) {
    // No metrics: the overview keeps polling until the device is gone.
    attachNew("dev-a", Dev("A"));
    EXPECT_TRUE(hub().boardOverviewActive());
    pumpEvents(50);  // let it reach the polling phase
    EXPECT_TRUE(hub().boardOverviewActive());
    ASSERT_TRUE(detach("dev-a"));
    EXPECT_FALSE(hub().boardOverviewActive());
    EXPECT_EQ(hub().currentAppFileSize(), 0u);
}

TEST_F(StorageOverviewTest, StoppingWhileTheSessionOpensNeverWaitsForTheDevice) {
    // The device's own bind opens the first media-sync session; the overview's is held.
    auto gate = std::make_shared<GatedLibrary>(library_, 1);
    md::setLibrary(gate);
    attachNew("dev-a", Dev("A").withMetrics({kGB, 0, 0, 0, 0}));
    ASSERT_TRUE(gate->waitEntered(2));
    ASSERT_TRUE(pumpUntil([&] { return gate->held() == 1; }));

    hub().stopBoardMessage();
    EXPECT_FALSE(hub().boardOverviewActive());
    EXPECT_EQ(gate->held(), 1) << "the stop waited for the device";
    EXPECT_FALSE(gate->gaveWay());
    EXPECT_EQ(hub().boardSessionsEnding(), 1u);

    gate->open();
    ASSERT_TRUE(pumpUntil([&] { return hub().boardSessionsEnding() == 0; }));
    EXPECT_EQ(hub().currentAppFileSize(), 0u) << "a stopped overview shows nothing";
}

TEST_F(StorageOverviewTest, TheSessionStopsDuringTheFirstWaitToo) {
    hub().setBoardDelays(std::chrono::hours(1), std::chrono::hours(1));
    attachNew("dev-a", Dev("A").withMetrics({kGB, 0, 0, 0, 0}));
    pumpEvents(50);
    EXPECT_TRUE(hub().boardOverviewActive());
    ASSERT_TRUE(detach("dev-a"));
    EXPECT_FALSE(hub().boardOverviewActive());
}

TEST_F(StorageOverviewTest, ADeviceChangeMovesTheOverviewToTheNewDevice) {
    attachNew("dev-a", Dev("A"));  // sends no metrics: would poll for ever
    const int b = attachNew("dev-b", Dev("B").withMetrics({3 * kGB, 0, 0, 0, 0}));
    EXPECT_TRUE(hub().boardOverviewActive());
    hub().ChangeToAnotherDevice(b);
    ASSERT_TRUE(overviewShown());
    EXPECT_EQ(hub().currentAppFileSize(), 3'000'000'000u);
    EXPECT_FALSE(hub().boardOverviewActive());
}

TEST_F(StorageOverviewTest, ANonCurrentDeviceLeavingKeepsTheCurrentOverview) {
    attachNew("dev-a", Dev("A"));
    attachNew("dev-b", Dev("B"));
    EXPECT_TRUE(hub().boardOverviewActive());
    ASSERT_TRUE(detach("dev-b"));
    EXPECT_TRUE(hub().boardOverviewActive());
}

}  // namespace
}  // namespace nimbara::test
