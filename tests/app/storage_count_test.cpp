// The storage overview's own count of what the device doesn't report: from the device's apps,
// media library and photo folders, never over a figure the device reported, and never shown
// for a device that left or stopped being current while it ran.
#include <QLabel>

#include <filesystem>
#include <fstream>
#include <map>

#include "delegate_fixture.h"
#include "device/device_manager.h"
#include "device/device_status.h"
#include "filemanager/storage_count.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "sim_media_library.h"
#include "ui/color_progress_view.h"

namespace nimbara::test {
namespace {

constexpr std::int64_t kGB = 1'000'000'000;
constexpr const char* kGo = "lookup-go";  // the file that lets a held app lookup answer

PlistValue sized(std::int64_t bytes) {
    PlistValue group = PlistValue::dict();
    group["_PhysicalSize"] = bytes;
    return group;
}

PlistValue unknown() {
    PlistValue group = PlistValue::dict();
    group[amd::kMetricUnknown] = true;
    return group;
}

class StorageCountTest : public DelegateTest {
  protected:
    // A device with two user apps (5,000 bytes), a system app, a song (4,000), a film (6,000),
    // a camera-roll photo (700) and a synced photo-library picture (300).
    simdev::SimDeviceBuilder device(const std::string& udid) {
        simdev::SimDeviceBuilder b(tmp_ / udid);
        b.setIdentity("Counted", udid).setDiskUsage(64 * kGB, 16 * kGB);
        const struct {
            const char* id;
            const char* type;
            std::int64_t bundle, data;
        } apps[] = {{"com.example.one", "User", 1000, 2000},
                    {"com.example.two", "User", 1500, 500},
                    {"com.apple.mobilesafari", "System", 90000, 0}};
        for (const auto& app : apps) {
            simdev::AppSpec spec;
            spec.bundleId = app.id;
            spec.displayName = app.id;
            spec.type = app.type;
            spec.staticDiskUsage = app.bundle;
            spec.dynamicDiskUsage = app.data;
            b.addApp(spec);
        }
        simdev::SimTrack song;
        song.pid = 1;
        song.title = "Song";
        song.fileSize = 4000;
        song.folder = "iTunes_Control/Music/F01";
        song.baseLocationId = 100;
        song.location = "AAAA.m4a";
        simdev::SimTrack film = song;
        film.pid = 2;
        film.title = "Film";
        film.mediaKind = 2;
        film.fileSize = 6000;
        film.location = "BBBB.m4v";
        simdev::SimMediaLibrary library;
        library.tracks = {song, film};
        simdev::addMediaLibrary(b, library);
        b.addMediaFileOfSize("/DCIM/100APPLE/IMG_0001.JPG", 700);
        simdev::addPhotoLibraryFile(b, "100SYNCD", "IMG_0002.JPG", std::string(300, 'p'));
        return b;
    }

    bool countEnded() {
        return pumpUntil([this] {
            return !hub().boardOverviewActive() && !hub().boardCountActive() &&
                   shown(ui().storageNotReportedlab);
        });
    }
    std::vector<std::string> legend() {
        std::vector<std::string> texts;
        for (const QLabel* label :
             {ui().photoSizelab, ui().musicSizelab, ui().movieSizelab, ui().appSizelab}) {
            texts.push_back(label->text().toStdString());
        }
        return texts;
    }
};

TEST_F(StorageCountTest, WhatTheDeviceDoesNotReportIsCountedOnIt) {
    PlistValue partly = PlistValue::dict();
    partly["Application"] = sized(5 * kGB);
    partly["Media"]["Music"] = unknown();
    partly["Media"]["Movie"] = unknown();
    partly["Photo"]["Photo"] = unknown();
    partly["Photo"]["CameraRoll"] = sized(kGB / 2);
    const struct {
        const char* name;
        std::optional<PlistValue> metrics;  // none: no media sync at all
        std::vector<std::string> legend;
        const char* note;
        std::uint64_t others;
    } rows[] = {
        {"no media sync",
         std::nullopt,
         {"Photo: 1.00KB*", "Music: 4.00KB*", "Movie: 6.00KB*", "Apps: 5.00KB*"},
         "* Counted by Nimbara: photos, music, movies and apps.",
         48 * kGB - 16000},
        {"some reported",
         partly,
         // The reported figures stay: the apps are not recounted, nor is the camera roll.
         {"Photo: 500.00MB*", "Music: 4.00KB*", "Movie: 6.00KB*", "Apps: 5.00GB"},
         "* Counted by Nimbara: music, movies and the photo library.",
         48 * kGB - 5 * kGB - kGB / 2 - 10300},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string udid = std::string("dev-") + (row.metrics ? "p" : "n");
        simdev::SimDeviceBuilder b = device(udid);
        if (row.metrics) {
            b.editDevicePlist()[md::sim::kKeyAssetMetrics] = *row.metrics;
        } else {
            b.setFault(md::sim::kFaultRefuseMediaSync, true);
        }
        ASSERT_TRUE(b.write());
        ASSERT_GE(attach((tmp_ / udid).string()), 0);
        ASSERT_TRUE(countEnded());

        EXPECT_EQ(legend(), row.legend);
        EXPECT_EQ(ui().storageNotReportedlab->text(), row.note);
        EXPECT_EQ(ui().musicSizelab->toolTip(), "Counted by Nimbara");
        EXPECT_EQ(hub().currentMusicFileSize(), 4000u);
        EXPECT_EQ(hub().currentVideoFileSize(), 6000u);
        EXPECT_EQ(hub().currentUserDataFileSize(), row.others);
        EXPECT_FALSE(ui().iDeviceColorView->counting());
        ASSERT_TRUE(detach(udid));
        ASSERT_TRUE(pumpUntil([this] { return hub().getDeviceArray().empty(); }));
    }
}

TEST_F(StorageCountTest, ACountCutShortShowsNoFigureOfIts) {
    const struct {
        const char* name;
        bool detach;  // else another device becomes current
    } rows[] = {{"the device leaves", true}, {"another device becomes current", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string udid = std::string("held-") + (row.detach ? "d" : "c");
        simdev::SimDeviceBuilder b = device(udid);
        b.setFault(md::sim::kFaultRefuseMediaSync, true)
            .setFault(md::sim::kFaultLookupWaitsFor, kGo);
        ASSERT_TRUE(b.write());
        ASSERT_GE(attach((tmp_ / udid).string()), 0);
        // Photos and media are counted; the apps' lookup is held on the device.
        ASSERT_TRUE(pumpUntil([this] {
            return hub().boardCountActive() &&
                   hub().boardFigures().movie.source == app::FigureSource::Counted;
        }));
        EXPECT_EQ(ui().appSizelab->text(), "Apps: counting\u2026");
        EXPECT_EQ(ui().storageNotReportedlab->text(),
                  "* Counted by Nimbara: photos, music and movies. Counting apps on the "
                  "device\u2026");
        EXPECT_TRUE(ui().iDeviceColorView->counting());
        EXPECT_TRUE(hub().boardCountActive());

        if (row.detach) {
            ASSERT_TRUE(detach(udid));
            EXPECT_FALSE(hub().boardCountActive());
            // The held lookup ends with its device.
            ASSERT_TRUE(pumpUntil([this] { return hub().boardCountsEnding() == 0; }));
            EXPECT_EQ(hub().currentAppFileSize(), 0u);
        } else {
            const int other = attachNew(
                "other", Dev("Other").withMetrics({3 * kGB, 0, 0, 0, 0}).disk(64 * kGB, 16 * kGB));
            hub().ChangeToAnotherDevice(other);
            EXPECT_FALSE(hub().boardCountActive());
            ASSERT_TRUE(pumpUntil([this] {
                return !hub().boardOverviewActive() && ui().appSizelab->text() == "Apps: 3.00GB";
            }));
            // The first device's lookup answers now; what its count still finds is dropped.
            std::ofstream(tmp_ / udid / kGo).put('1');
            ASSERT_TRUE(pumpUntil([this] { return hub().boardCountsEnding() == 0; }));
            pumpEvents(20);
            EXPECT_EQ(ui().appSizelab->text(), "Apps: 3.00GB");
            EXPECT_EQ(hub().currentAppFileSize(), 3'000'000'000u);
            ASSERT_TRUE(detach("other"));
            ASSERT_TRUE(detach(udid));
        }
        EXPECT_NE(hub().boardFigures().app.source, app::FigureSource::Counted);
        ASSERT_TRUE(pumpUntil([this] { return hub().getDeviceArray().empty(); }));
    }
}

// The demo device reports what it holds: its figures are what the storage manager counts on it,
// and its data partition is taken by its files and apps and nothing else.
TEST_F(DemoDelegateTest, DemoDeviceReportsWhatItHolds) {
    namespace fs = std::filesystem;
    const auto device = PlistValue::readFile((demo_ / md::sim::kDevicePlist).string());
    ASSERT_TRUE(device);
    const PlistValue& m = (*device)[md::sim::kKeyAssetMetrics];
    using C = filemanager::StorageCategory;
    const std::map<C, std::int64_t> reported = {
        {C::Apps, m["Application"]["_PhysicalSize"].toInt64()},
        {C::Music, m["Media"]["Music"]["_PhysicalSize"].toInt64()},
        {C::Movies, m["Media"]["Movie"]["_PhysicalSize"].toInt64()},
        {C::PhotoLibrary, m["Photo"]["Photo"]["_PhysicalSize"].toInt64()},
        {C::CameraRoll, m["Photo"]["CameraRoll"]["_PhysicalSize"].toInt64()}};
    std::map<C, std::int64_t> counted;
    const amd::DeviceTarget target{index_, amd::DeviceManager::GetInstance().DeviceSerial(index_)};
    const auto status = filemanager::countStorageCategories(
        target, {C::Apps, C::Music, C::Movies, C::PhotoLibrary, C::CameraRoll}, {},
        [&](const filemanager::StorageCountStep& step) {
            for (const auto& [category, bytes] : step.figures) {
                counted[category] = static_cast<std::int64_t>(bytes);
            }
        });
    ASSERT_EQ(status, filemanager::StorageScanStatus::Done);
    EXPECT_EQ(counted, reported);
    for (const auto& [category, bytes] : reported) {
        EXPECT_GT(bytes, 0) << static_cast<int>(category);
    }

    std::int64_t held = 0;
    for (const char* area : {md::sim::kMediaDir, md::sim::kCrashesDir}) {
        for (const auto& entry : fs::recursive_directory_iterator(demo_ / area)) {
            if (entry.is_regular_file() && !entry.is_symlink()) {
                held += static_cast<std::int64_t>(entry.file_size());
            }
        }
    }
    for (const auto& app : fs::directory_iterator(demo_ / md::sim::kAppsDir)) {
        const auto attributes =
            PlistValue::readFile((app.path() / md::sim::kAppAttributes).string());
        ASSERT_TRUE(attributes) << app.path();
        held += (*attributes)["StaticDiskUsage"].toInt64() +
                (*attributes)["DynamicDiskUsage"].toInt64();
    }
    const PlistValue& du = (*device)[md::sim::kKeyLockdown]["com.apple.disk_usage"];
    EXPECT_EQ(du["TotalDataCapacity"].toInt64() - du["AmountDataAvailable"].toInt64(), held);
}

}  // namespace
}  // namespace nimbara::test
