// The large-file finder's scan on small simulated devices: the advice table, the large-file limit
// and the 100,000,000-byte split of files and apps, the app-data walk, protected files, and a
// device that goes away mid-walk.
#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "cleanup/large_file_scan.h"
#include "quick_scan_fixture.h"
#include "ui/core/text_utilities.h"

namespace {

using nimbara::cleanup::largeFileAdvice;
using nimbara::cleanup::LargeFileScanEngine;
using nimbara::cleanup::LargeFileScanOptions;
using nimbara::cleanup::LargeFileScanResult;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;

const QString kPhotoText =
    "This is the photo or video in Camera & Photos, please export it to your computer before "
    "removal as it's unrecoverable.";
const QString kDatabaseText =
    "This is the database file for recording information of your photos, broadcasts, podcasts "
    "and videos. We recommend you to keep it.";
const QString kThumbnailText =
    "This is thumbnails of your photos and videos, we recommend you to keep it.";
const QString kFallbackText = "We recommend you to keep them as the functionality is unclear.";
const QString kBooksConfigText = QString::fromUtf8(
    "This is an configuration file of iBooks, don\u2019t remove it or iBooks won\u2019t run "
    "correctly.");
const QString kEbookText = "This is ebooks downloaded via iBooks, you can remove it.";

TEST(LargeFileAdvice, MediaFoldersByTheEndOfThePath) {
    EXPECT_EQ(largeFileAdvice("/DCIM/100APPLE/IMG_0001.JPG"), kPhotoText);
    EXPECT_EQ(largeFileAdvice("/PhotoData/Photos.sqlite"), kDatabaseText);
    EXPECT_EQ(largeFileAdvice("/DCIM/x.sqlite"), kDatabaseText);
    EXPECT_EQ(largeFileAdvice("/DCIM/3303.ithmb"), kThumbnailText);
    EXPECT_EQ(largeFileAdvice("/DCIM/100APPLE/IMG_0003.AAE"), kFallbackText);
    // Suffix tests need no dot and are case-sensitive.
    EXPECT_EQ(largeFileAdvice("/Photos/clipJPG"), kPhotoText);
    EXPECT_EQ(largeFileAdvice("/Photos/clip.Jpg"), kFallbackText);
    // The database rows come first: a podcast database is no downloaded podcast.
    EXPECT_EQ(largeFileAdvice("/Podcasts/MTLibrary.sqlitedb"), kDatabaseText);
    EXPECT_EQ(largeFileAdvice("/Podcasts/Show/Episode 1.mp3"),
              "This is downloaded file in Podcasts, please export it to your computer before "
              "removal as it's unrecoverable.");
    EXPECT_EQ(largeFileAdvice("/Radio/stream.m4a"),
              "This is downloaded file in Radio, please export it to your computer before "
              "removal as it's unrecoverable.");
    EXPECT_EQ(largeFileAdvice("/Recordings/Concert.m4a"),
              "This is voice memos file of the Voice Memos app, please export it to your "
              "computer before removal as it's unrecoverable.");
    EXPECT_EQ(largeFileAdvice("/PhotoStreamsData/1/100APPLE/IMG_0101.JPG"),
              "This is photo stored in Photo Stream, please export it to your computer before "
              "removal as it's unrecoverable.");
}

TEST(LargeFileAdvice, BooksDownloadsSafariAndMusic) {
    EXPECT_EQ(largeFileAdvice("/Books/Purchases/Purchases.plist"), kBooksConfigText);
    EXPECT_EQ(largeFileAdvice("/Books/Purchases/.Purchases.plist.lock"), kBooksConfigText);
    EXPECT_EQ(largeFileAdvice("/Books/Purchases/big-book.pdf"), kEbookText);
    EXPECT_EQ(largeFileAdvice("/Books"), kBooksConfigText);  // fewer than three parts
    // A file directly in "Books" has three parts and another part 2.
    EXPECT_EQ(largeFileAdvice("/Books/com.apple.ibooks-sync.plist"), kFallbackText);
    EXPECT_EQ(largeFileAdvice("/Books/Sync/x.epub"), kFallbackText);

    EXPECT_EQ(largeFileAdvice("/Downloads/downloads.28.sqlitedb"),
              "This file records download path and other information of all system and 3rd party "
              "apps, we recommend you to keep it.");
    EXPECT_EQ(largeFileAdvice("/Downloads/maps.zip"),
              "The file is downloaded file via your browser or other tools, you can remove it.");
    EXPECT_EQ(largeFileAdvice("/Safari/goog-phish-shavar.db"),
              "This database file contains the hostkey information of Google, we recommend you to "
              "keep it.");
    EXPECT_EQ(largeFileAdvice("/Safari/page.webarchive"),
              "The file is downloaded file via Safari, you can remove it.");
    const QString syncText =
        "The files is sync-failed file of iTunes and your iOS device, you can remove it.";
    EXPECT_EQ(largeFileAdvice("/iTunes_Control/Sync/Media/F05/ABCD.mp3"), syncText);
    EXPECT_EQ(largeFileAdvice("/iTunes_Control/sync/media/F05/ABCD.mp3"), syncText);
    EXPECT_EQ(largeFileAdvice("/iTunes_Control/Music/F03/KJHG.m4a"),
              "The file is audio file in the Music app, please export it to your computer before "
              "removal as it's unrecoverable.");
    EXPECT_EQ(largeFileAdvice("/general_storage/blob.bin"), kFallbackText);
    EXPECT_TRUE(largeFileAdvice(QString()).isNull());
}

class LargeFileScanTest : public nimbara::test::QuickScanTest {
  protected:
    static LargeFileScanOptions finderOptions(int index, std::uint64_t limit = 2000000) {
        LargeFileScanOptions options;
        options.deviceIndex = index;
        options.largeFileSize = limit;
        return options;
    }
    static AppSpec app(const std::string& id, const std::string& name, std::int64_t bundle,
                       std::int64_t data, const std::string& type = "User") {
        AppSpec a;
        a.bundleId = id;
        a.displayName = name;
        a.staticDiskUsage = bundle;
        a.dynamicDiskUsage = data;
        a.type = type;
        return a;
    }
    static std::vector<std::string> bundleIds(const LargeFileScanResult::List& list) {
        std::vector<std::string> out;
        for (const auto& r : list) {
            if (r->filePath().isEmpty()) {
                out.push_back(r->appBundId().toStdString());
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

TEST_F(LargeFileScanTest, FilesAboveTheLimitSplitAtOneHundredMillionBytes) {
    SimDeviceBuilder b = builder("files");
    b.addMediaFileOfSize("/Downloads/at-limit.bin", 2000000);
    b.addMediaFileOfSize("/Downloads/one-more.bin", 2000001);
    // Deep in a sub-folder, under the quick scan's own floor of 5,000,000: still listed here.
    b.addMediaFileOfSize("/Downloads/a/b/c/three-mb.zip", 3000000);
    b.addMediaFileOfSize("/Recordings/exactly.m4a", 100000000);
    b.addMediaFileOfSize("/Recordings/one-byte-more.m4a", 100000001);
    b.addMediaFileOfSize("/PhotoData/Thumbnails/V2/4031.ithmb", 6500000);
    b.addMediaFileOfSize("/top-level.bin", 2500000);
    const int index = attachDevice(b);

    std::vector<float> progress;
    LargeFileScanEngine::Sink sink;
    sink.userProgress = [&](float f) { progress.push_back(f); };
    LargeFileScanEngine engine(finderOptions(index), {}, std::move(sink));
    const LargeFileScanResult r = engine.run();

    EXPECT_TRUE(r.userFilesDone);
    EXPECT_FALSE(r.stopped);
    EXPECT_EQ(paths(r.userDataLargeFileArray),
              (std::vector<std::string>{"/Downloads/a/b/c/three-mb.zip", "/Downloads/one-more.bin",
                                        "/PhotoData/Thumbnails/V2/4031.ithmb",
                                        "/Recordings/exactly.m4a", "/top-level.bin"}));
    EXPECT_EQ(paths(r.userDataBigFileArray),
              (std::vector<std::string>{"/Recordings/one-byte-more.m4a"}));
    EXPECT_EQ(r.allDocumentFileSize,
              sumOf(r.userDataLargeFileArray) + sumOf(r.userDataBigFileArray));
    for (const auto& record : r.userDataLargeFileArray) {
        SCOPED_TRACE(record->filePath().toStdString());
        EXPECT_FALSE(record->fileAdvice().isEmpty());
        EXPECT_EQ(record->fileSize(), nimbara::shell::size_to_unit(record->fileSizeNumber()));
        EXPECT_EQ(record->fileName(), record->filePath().section('/', -1));
        EXPECT_TRUE(record->appBundId().isEmpty());
    }
    const auto thumbnail =
        std::find_if(r.userDataLargeFileArray.begin(), r.userDataLargeFileArray.end(),
                     [](const auto& rec) { return rec->fileName() == "4031.ithmb"; });
    ASSERT_NE(thumbnail, r.userDataLargeFileArray.end());
    EXPECT_EQ((*thumbnail)->fileAdvice(), kThumbnailText);
    ASSERT_FALSE(progress.empty());
    EXPECT_FLOAT_EQ(progress.back(), 1.0f);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(LargeFileScanTest, ProtectedDeviceDatabasesAreListedButMarked) {
    SimDeviceBuilder b = builder("protected");
    b.addMediaFileOfSize("/PhotoData/Photos.sqlite", 3000000);
    b.addMediaFileOfSize("/iTunes_Control/iTunes/MediaLibrary.sqlitedb", 3000000);
    b.addMediaFileOfSize("/Downloads/movie.mp4", 3000000);
    const int index = attachDevice(b);
    LargeFileScanEngine engine(finderOptions(index), {});
    const LargeFileScanResult r = engine.run();
    ASSERT_EQ(r.userDataLargeFileArray.size(), 3u);
    for (const auto& record : r.userDataLargeFileArray) {
        SCOPED_TRACE(record->filePath().toStdString());
        EXPECT_EQ(record->isProtected(), record->fileName() != "movie.mp4");
    }
}

TEST_F(LargeFileScanTest, EveryUserAppIsListedAndSplitByBundlePlusData) {
    SimDeviceBuilder b = builder("apps");
    b.addApp(app("com.example.tiny", "Tiny", 1000, 0));
    b.addApp(app("com.example.edge", "Edge", 60000000, 40000000));  // exactly 100,000,000
    b.addApp(app("com.example.over", "Over", 60000000, 40000001));
    b.addApp(app("com.example.system", "Settings", 900000000, 0, "System"));
    AppSpec noShortVersion = app("com.example.old", "Old", 5000, 5000);
    noShortVersion.version.clear();
    noShortVersion.bundleVersion = "7.2";
    noShortVersion.withIcon = false;
    b.addApp(noShortVersion);
    const int index = attachDevice(b);

    std::vector<float> progress;
    LargeFileScanEngine::Sink sink;
    sink.appProgress = [&](float f) { progress.push_back(f); };
    LargeFileScanOptions options = finderOptions(index);
    options.appData = false;
    LargeFileScanEngine engine(options, {}, std::move(sink));
    const LargeFileScanResult r = engine.run();

    EXPECT_TRUE(r.appsDone);
    EXPECT_EQ(
        bundleIds(r.appLargeFileArray),
        (std::vector<std::string>{"com.example.edge", "com.example.old", "com.example.tiny"}));
    EXPECT_EQ(bundleIds(r.appBigFileArray), (std::vector<std::string>{"com.example.over"}));
    EXPECT_EQ(r.allAppFileSize, 1000u + 100000000u + 100000001u + 10000u);
    // Every app advances the progress, the system one too.
    EXPECT_EQ(progress.size(), 5u);
    for (const auto& record : r.appLargeFileArray) {
        SCOPED_TRACE(record->appBundId().toStdString());
        EXPECT_TRUE(record->filePath().isEmpty());
        EXPECT_EQ(record->fileName(), record->appDisplayName() + ".app");
        if (record->appBundId() == "com.example.edge") {
            EXPECT_EQ(record->appFileSizeNumber(), 100000000u);
            EXPECT_EQ(record->totalSize(), nimbara::shell::size_to_unit(100000000));
            EXPECT_EQ(record->fileSize(), nimbara::shell::size_to_unit(60000000));
            EXPECT_EQ(record->documentSize(), nimbara::shell::size_to_unit(40000000));
            EXPECT_FALSE(record->fileIconPng().isEmpty());
        }
        if (record->appBundId() == "com.example.old") {
            EXPECT_EQ(record->appVersion(), "7.2");
            EXPECT_TRUE(record->fileIconPng().isEmpty());
            EXPECT_EQ(record->fileIcon(), "NULLImage.png");
        }
    }
}

TEST_F(LargeFileScanTest, AppDataWalkListsLargeContainerFilesAsRecordsOfTheirApp) {
    SimDeviceBuilder b = builder("appdata");
    b.addApp(app("com.example.maps", "Maps Pro", 50000000, 300000000));
    b.addContainerFile("com.example.maps", "/Documents/Europe.pdf", 150000000);
    b.addContainerFile("com.example.maps", "/Library/Caches/tiles.db", 4000000);
    b.addContainerFile("com.example.maps", "/tmp/small.bin", 1000);
    const int index = attachDevice(b);
    LargeFileScanEngine engine(finderOptions(index), {});
    const LargeFileScanResult r = engine.run();

    EXPECT_TRUE(r.appsDone);
    // The app itself (350 MB) and its big document are "big"; the cache file is "large".
    ASSERT_EQ(r.appBigFileArray.size(), 2u);
    ASSERT_EQ(r.appLargeFileArray.size(), 1u);
    const auto& cache = r.appLargeFileArray.front();
    EXPECT_EQ(cache->filePath(), "/Library/Caches/tiles.db");
    EXPECT_EQ(cache->fileParentName(), "Maps Pro.app");
    EXPECT_EQ(cache->appBundId(), "com.example.maps");
    EXPECT_EQ(cache->fileSizeNumber(), 4000000u);
    EXPECT_EQ(cache->appFileSizeNumber(), 350000000u);
    // The files are part of the app's data size already: the app total counts the app once.
    EXPECT_EQ(r.allAppFileSize, 350000000u);
    // An app table sorts a file by its own size and an app by bundle plus data.
    const auto sorted = nimbara::cleanup::sortedAppRecords(r.appBigFileArray);
    EXPECT_TRUE(sorted[0]->filePath().isEmpty());
    EXPECT_EQ(sorted[1]->filePath(), "/Documents/Europe.pdf");
}

TEST_F(LargeFileScanTest, ADeviceLeavingMidWalkStopsEveryStepAndKeepsWhatWasFound) {
    SimDeviceBuilder b = builder("leaving");
    for (int i = 0; i < 40; ++i) {
        b.addMediaFileOfSize("/F" + std::to_string(i / 10) + "/f" + std::to_string(i) + ".bin",
                             2500000);
    }
    b.addApp(app("com.example.app", "App", 1000, 1000));
    const int index = attachDevice(b);
    int checks = 0;
    LargeFileScanEngine engine(finderOptions(index), [&] {
        if (++checks == 20) {
            library_->detach(b.dir().string());
        }
        return false;
    });
    const LargeFileScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.userFilesDone);
    EXPECT_FALSE(r.appsDone);
    EXPECT_LT(r.userDataLargeFileArray.size(), 40u);
    EXPECT_TRUE(r.appLargeFileArray.empty());
    EXPECT_EQ(r.allDocumentFileSize, sumOf(r.userDataLargeFileArray));
    EXPECT_EQ(r.filesRefused, 0);
    EXPECT_EQ(r.appsRefused, 0);
}

TEST_F(LargeFileScanTest, AnotherDeviceOnTheSameIndexIsNeverScanned) {
    SimDeviceBuilder first = builder("first");
    first.addMediaFileOfSize("/Downloads/first.bin", 3000000);
    const int index = attachDevice(first);
    const std::uint64_t serial = amd::DeviceManager::GetInstance().DeviceSerial(index);
    library_->detach(first.dir().string());
    ASSERT_TRUE(nimbara::test::eventually(
        [&] { return !amd::DeviceManager::GetInstance().IsAttached(index, serial); }));
    SimDeviceBuilder second = builder("second");
    second.addMediaFileOfSize("/Downloads/second.bin", 3000000);
    attachDevice(second);

    LargeFileScanOptions options = finderOptions(index);
    options.deviceSerial = serial;
    LargeFileScanEngine engine(options, {});
    const LargeFileScanResult r = engine.run();
    EXPECT_TRUE(r.stopped);
    EXPECT_TRUE(r.userDataLargeFileArray.empty());
    EXPECT_EQ(r.deviceSerial, serial);
}

}  // namespace
