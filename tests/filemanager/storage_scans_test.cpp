// The storage manager's scans on the demo iPhone and on small devices with awkward contents:
// what each finds, its totals, its progress, and how it ends when the device refuses or leaves.
#include <QString>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "filemanager/app_scan.h"
#include "filemanager/book_scan.h"
#include "filemanager/photo_scan.h"
#include "filemanager/user_data_scan.h"
#include "sim_media_library.h"
#include "storage_fixture.h"
#include "transfer/media_library.h"
#include "ui/core/pr_system_lib_tree_controller.h"
#include "ui/core/text_utilities.h"

namespace {

using nimbara::filemanager::StorageScanStatus;
namespace fm = nimbara::filemanager;
using nimbara::simdev::AppSpec;
using nimbara::simdev::SimDeviceBuilder;

class StorageScans : public nimbara::test::StorageTest {
  protected:
    static bool rising(const std::vector<double>& values) {
        return std::is_sorted(values.begin(), values.end()) && !values.empty() &&
               values.back() == 1.0 && values.front() >= 0.0;
    }
};

TEST_F(StorageScans, PhotosOfTheDemoDeviceInTheirFourPlacesWithTheirBytes) {
    const int index = attachDemo();
    std::vector<double> progress;
    const fm::PhotoScanResult r =
        fm::scanDevicePhotos(targetOf(index), {}, [&](double f) { progress.push_back(f); });
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    std::map<QString, int> kinds;
    std::uint64_t sum = 0;
    std::set<std::string> paths;
    for (const auto& photo : r.photos) {
        ++kinds[photo->fileType()];
        sum += photo->fileSizeNumber();
        EXPECT_EQ(photo->fileNodeSize(), nimbara::shell::size_to_unit(photo->fileSizeNumber()));
        EXPECT_EQ(photo->devicePath().substr(photo->devicePath().rfind('/') + 1),
                  photo->fileNodeName().toStdString());
        paths.insert(photo->devicePath());
    }
    EXPECT_EQ(kinds[fm::kCameraRollKind], 15);  // twelve pictures, two videos, one edit note
    EXPECT_EQ(kinds[fm::kPhotoStreamKind], 2);
    EXPECT_EQ(kinds[fm::kPhotoLibraryKind], 3);
    EXPECT_EQ(r.totalBytes, sum);
    EXPECT_GT(sum, 42000000u);  // the 40 MB video is counted
    EXPECT_TRUE(paths.count("/DCIM/100APPLE/IMG_0010.MOV"));
    EXPECT_TRUE(paths.count("/Photos/Sync/101SYNCD/IMG_0302.JPG"));
    // A folder of the older place that is no synced folder is not walked.
    EXPECT_FALSE(paths.count("/Photos/Sync/F00/IMG_0301.JPG"));
    EXPECT_TRUE(rising(progress));
    const auto video = std::find_if(r.photos.begin(), r.photos.end(), [](const auto& p) {
        return p->fileNodeName() == QLatin1String("IMG_0006.MOV");
    });
    ASSERT_NE(video, r.photos.end());
    EXPECT_TRUE((*video)->bmov());
    EXPECT_FALSE((*video)->fileModifyTime().trimmed().isEmpty());
}

TEST_F(StorageScans, PhotoFoldersAreMatchedInAnyCaseAndSameNamesKeepTheirOwnPaths) {
    SimDeviceBuilder b = builder("photos");
    b.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "one");
    b.addMediaFile("/DCIM/101apple/IMG_0001.JPG", "second one");
    b.addMediaFile("/DCIM/.MISC/Info.plist", "no photo");
    const int index = attachDevice(b);
    const fm::PhotoScanResult r = fm::scanDevicePhotos(targetOf(index), {}, {});
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    std::vector<std::string> paths;
    for (const auto& photo : r.photos) {
        paths.push_back(photo->devicePath());
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{"/DCIM/100APPLE/IMG_0001.JPG",
                                               "/DCIM/101apple/IMG_0001.JPG"}));
    EXPECT_EQ(r.totalBytes, 3u + 10u);
}

TEST_F(StorageScans, MusicAndVideosComeFromOneReadWithTracksMissingOnTheDeviceLeftOut) {
    const int index = attachDemo();
    nimbara::transfer::MediaLibraryOptions options;
    options.requireFilesOnDevice = true;
    const auto target = targetOf(index);
    const nimbara::transfer::MediaLibraryResult r =
        nimbara::transfer::MediaLibraryReader({target.deviceIndex, target.deviceSerial}, options)
            .read();
    ASSERT_EQ(r.status, nimbara::transfer::MediaLibraryStatus::Done);
    EXPECT_EQ(r.music.size(), 5u);
    EXPECT_EQ(r.videos.size(), 2u);
    ASSERT_EQ(r.missingFiles.size(), 1u);
    EXPECT_EQ(r.missingFiles.front()->musicTitle(), QStringLiteral("Lost Tapes"));
    EXPECT_EQ(r.musicBytes, (8400u + 6100u + 3900u + 4700u + 2100u) * 1000u);
    EXPECT_EQ(r.videoBytes, 24000000u + 9000000u);
}

TEST_F(StorageScans, MusicOfALibraryWithoutItemArtistsIsReadWithTheFallbackQuery) {
    SimDeviceBuilder b = builder("album-artists");
    nimbara::simdev::SimMediaLibrary library;
    library.schema = nimbara::simdev::SimLibrarySchema::AlbumArtist;
    nimbara::simdev::SimTrack song;
    song.pid = 42;
    song.title = "Quiet Song";
    song.mediaKind = 1;
    song.fileSize = 3000;
    song.artist = "Duo";
    song.artistPid = 7;
    song.album = "Pairs";
    song.albumPid = 8;
    song.folder = "iTunes_Control/Music/F01";
    song.baseLocationId = 100;
    song.location = "ABCD.m4a";
    nimbara::simdev::SimTrack clip = song;
    clip.pid = 43;
    clip.title = "Clip";
    clip.mediaKind = 2;
    clip.fileSize = 5000;
    clip.location = "EFGH.m4v";
    library.tracks = {song, clip};
    nimbara::simdev::addMediaLibrary(b, library);
    const int index = attachDevice(b);
    nimbara::transfer::MediaLibraryOptions options;
    options.requireFilesOnDevice = true;
    const auto target = targetOf(index);
    const auto r =
        nimbara::transfer::MediaLibraryReader({target.deviceIndex, target.deviceSerial}, options)
            .read();
    ASSERT_EQ(r.status, nimbara::transfer::MediaLibraryStatus::Done);
    EXPECT_EQ(r.query, nimbara::transfer::MediaLibraryQuery::AlbumArtist);
    ASSERT_EQ(r.music.size(), 1u);
    ASSERT_EQ(r.videos.size(), 1u);
    EXPECT_EQ(r.music.front()->musicTitle(), QStringLiteral("Quiet Song"));
    EXPECT_EQ(r.musicBytes, 3000u);
    EXPECT_EQ(r.videoBytes, 5000u);
}

TEST_F(StorageScans, BooksAsFoldersAndAsSingleFilesAreSizedWithTheirArtwork) {
    const int index = attachDemo();
    std::vector<double> progress;
    const fm::BookScanResult r =
        fm::scanDeviceBooks(targetOf(index), {}, [&](double f) { progress.push_back(f); });
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    ASSERT_EQ(r.books.size(), 2u);
    const auto& pdf = r.books[0];
    EXPECT_EQ(pdf->bookName(), QStringLiteral("The Big Book of Trails.pdf"));
    EXPECT_EQ(pdf->devicePath(), "/Books/Purchases/big-book.pdf");
    EXPECT_EQ(pdf->fileType(), QStringLiteral("pdf"));
    EXPECT_EQ(pdf->fileSizeNumber(), 7000000u);  // a single file is sized too
    EXPECT_FALSE(pdf->isFolder());
    EXPECT_TRUE(pdf->imageIcon().isEmpty());
    const auto& epub = r.books[1];
    EXPECT_EQ(epub->bookName(), QStringLiteral("Field Notes.epub"));
    EXPECT_TRUE(epub->isFolder());
    EXPECT_TRUE(epub->imageIcon().startsWith("\x89PNG"));
    // Every file of the folder counts, the artwork included.
    EXPECT_GT(epub->fileSizeNumber(), 44000u);
    EXPECT_EQ(r.totalBytes, pdf->fileSizeNumber() + epub->fileSizeNumber());
    EXPECT_EQ(epub->fileSize(), nimbara::shell::size_to_unit(epub->fileSizeNumber()));
    EXPECT_TRUE(rising(progress));
}

TEST_F(StorageScans, BookListsWithHostileOrMissingEntriesListOnlyWhatIsSafe) {
    SimDeviceBuilder b = builder("books");
    b.addMediaFile("/Books/Purchases/Purchases.plist",
                   "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Books</key><array>"
                   "<dict><key>Path</key><string>../../DCIM/secret.jpg</string>"
                   "<key>Name</key><string>Escape</string></dict>"
                   "<dict><key>Path</key><string>/etc/passwd</string></dict>"
                   "<dict><key>Name</key><string>No path</string></dict>"
                   "<dict><key>Path</key><string>gone.epub</string>"
                   "<key>Name</key><string>Gone</string></dict>"
                   "<dict><key>Path</key><string>README</string></dict>"
                   "<string>not a dictionary</string>"
                   "</array></dict></plist>");
    b.addMediaFile("/Books/Purchases/README", "12345");
    b.addMediaFile("/DCIM/secret.jpg", "x");
    const int index = attachDevice(b);
    const fm::BookScanResult r = fm::scanDeviceBooks(targetOf(index), {}, {});
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    EXPECT_EQ(r.leftOut, 4u);
    ASSERT_EQ(r.books.size(), 2u);
    EXPECT_EQ(r.books[0]->bookName(), QStringLiteral("Gone.epub"));
    EXPECT_TRUE(r.books[0]->isMissing());
    EXPECT_EQ(r.books[0]->fileSizeNumber(), 0u);
    // Without a name or an extension: the file's own name, and no trailing point.
    EXPECT_EQ(r.books[1]->bookName(), QStringLiteral("README"));
    EXPECT_EQ(r.books[1]->fileSizeNumber(), 5u);
    EXPECT_EQ(r.totalBytes, 5u);

    SimDeviceBuilder none = builder("no-books");
    const int other = attachDevice(none);
    const fm::BookScanResult empty = fm::scanDeviceBooks(targetOf(other), {}, {});
    EXPECT_EQ(empty.status, StorageScanStatus::Done);
    EXPECT_TRUE(empty.listMissing);
    EXPECT_TRUE(empty.books.empty());
}

TEST_F(StorageScans, UserAndSystemAppsOfTheDemoDeviceWithIconsKindsAndTotals) {
    const int index = attachDemo();
    std::vector<double> progress;
    const fm::AppScanResult r =
        fm::scanDeviceApps(targetOf(index), {}, [&](double f) { progress.push_back(f); });
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    EXPECT_EQ(r.userApps.size(), 13u);
    std::uint64_t userSum = 0;
    for (const auto& app : r.userApps) {
        SCOPED_TRACE(app->appBundleId().toStdString());
        userSum += app->totalAppSizeNumber();
        EXPECT_EQ(app->fileType(), QStringLiteral("DIR"));
        EXPECT_FALSE(app->appIcon().isEmpty());
        EXPECT_FALSE(app->appVersion().isEmpty());
    }
    EXPECT_EQ(r.userBytes, userSum);
    // The Internal app is neither user nor system app.
    ASSERT_EQ(r.systemApps.size(), 7u);
    std::map<QString, std::shared_ptr<PRAppDirTreeNode>> system;
    for (const auto& app : r.systemApps) {
        system[app->appBundleId()] = app;
        EXPECT_TRUE(app->appIcon().isEmpty());
    }
    EXPECT_EQ(system.count(QStringLiteral("com.apple.DiagnosticsReporter")), 0u);
    EXPECT_EQ(system[QStringLiteral("com.apple.mobilesafari")]->nodeIcon(),
              QStringLiteral("Safariapp.tiff"));
    EXPECT_EQ(system[QStringLiteral("com.apple.mobilesafari")]->fileType(), QStringLiteral("App"));
    // Display names shorter than two characters give way to the bundle name.
    EXPECT_EQ(system[QStringLiteral("com.apple.MobileSMS")]->appDisplayName(),
              QStringLiteral("MobileSMS"));
    EXPECT_EQ(system[QStringLiteral("com.apple.weather")]->appDisplayName(),
              QStringLiteral("Weather"));
    const auto push = system[QStringLiteral("com.apple.PushServices")];
    EXPECT_EQ(push->fileType(), QStringLiteral("Service"));
    EXPECT_EQ(push->appSize(), QStringLiteral(" "));
    EXPECT_EQ(push->appDocumentSize(), QStringLiteral(" "));
    EXPECT_EQ(push->nodeIcon(), QStringLiteral("appstore.png"));
    // Every listed app advances the bar, so it ends full.
    EXPECT_TRUE(rising(progress));
}

TEST_F(StorageScans, UserDataRecordsArriveChildrenFirstAndBuildTheTree) {
    SimDeviceBuilder b = builder("tree");
    b.addMediaFile("/a/b/c/d/e/deep.txt", "deep");
    b.addMediaFile("/a/.hidden", "h");
    b.addMediaFile("/a/zero.bin", "");
    b.addMediaDir("/empty");
    b.addMediaFile("/top.txt", "top!");
    const int index = attachDevice(b);
    std::vector<std::shared_ptr<PRPhoneSystemDirNode>> records;
    const fm::UserDataScanResult r =
        fm::scanDeviceUserData(targetOf(index), {}, {}, [&](fm::UserDataRecords batch) {
            records.insert(records.end(), batch.begin(), batch.end());
        });
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    std::vector<std::string> order;
    std::uint64_t bytes = 0;
    for (const auto& record : records) {
        order.push_back(record->filePath().toStdString());
        bytes += record->fileSizeNumber();
        EXPECT_EQ(record->isFile(), record->fileType() == QLatin1String("File"));
        EXPECT_EQ(record->fileSize().isEmpty(), !record->isFile());
    }
    const auto at = [&](const char* path) {
        return std::find(order.begin(), order.end(), path) - order.begin();
    };
    ASSERT_LT(at("/a/b/c/d/e/deep.txt"), static_cast<long>(order.size()));
    EXPECT_LT(at("/a/b/c/d/e/deep.txt"), at("/a/b/c/d/e"));
    EXPECT_LT(at("/a/b"), at("/a"));
    EXPECT_LT(at("/empty"), static_cast<long>(order.size()));
    EXPECT_LT(at("/a/zero.bin"), static_cast<long>(order.size()));
    EXPECT_EQ(r.totalBytes, bytes);
    EXPECT_EQ(r.totalBytes, 4u + 1u + 4u);

    PRSystemLibTreeController tree;
    for (const auto& record : records) {
        tree.addTreeNode(record);
    }
    ASSERT_EQ(tree.content().size(), 1u);
    EXPECT_EQ(tree.content().front()->fileDirName(), QStringLiteral("System"));
}

TEST_F(StorageScans, UserDataProgressFollowsTheTopLevelEntriesAfterTheirRecords) {
    SimDeviceBuilder b = builder("progress");
    for (const char* top : {"/a", "/b", "/c", "/d"}) {
        b.addMediaFile(std::string(top) + "/inside/file.txt", "1234");
    }
    const int index = attachDevice(b);
    std::vector<double> progress;
    std::vector<std::size_t> handedAt;
    std::size_t handed = 0;
    const fm::UserDataScanResult r = fm::scanDeviceUserData(
        targetOf(index), {},
        [&](double fraction) {
            progress.push_back(fraction);
            handedAt.push_back(handed);
        },
        [&](fm::UserDataRecords batch) { handed += batch.size(); });
    ASSERT_EQ(r.status, StorageScanStatus::Done);
    EXPECT_EQ(progress, (std::vector<double>{0.25, 0.5, 0.75, 1.0}));
    // Each top-level entry's three records (file, "inside", the entry) are in before its step.
    EXPECT_EQ(handedAt, (std::vector<std::size_t>{3, 6, 9, 12}));
    EXPECT_EQ(r.files, 4u);
    EXPECT_EQ(r.folders, 8u);
    EXPECT_EQ(r.totalBytes, 16u);

    // A media root the device won't list is a refusal, not an empty device.
    std::filesystem::remove_all(deviceDir("progress") / "media");
    EXPECT_EQ(fm::scanDeviceUserData(targetOf(index), {}, {}, {}).status,
              StorageScanStatus::ServiceRefused);
}

TEST_F(StorageScans, RefusedServicesAndDepartedDevicesEndEveryScanOnce) {
    SimDeviceBuilder b = builder("refusing");
    b.addMediaFile("/DCIM/100APPLE/IMG_0001.JPG", "one");
    const int index = attachDevice(b);
    setFault(deviceDir("refusing"), nimbara::md::sim::kFaultRefusedServices,
             nimbara::PlistValue(nimbara::PlistValue::Array{
                 nimbara::PlistValue("com.apple.afc"),
                 nimbara::PlistValue("com.apple.mobile.installation_proxy")}));
    const auto target = targetOf(index);
    EXPECT_EQ(fm::scanDevicePhotos(target, {}, {}).status, StorageScanStatus::ServiceRefused);
    EXPECT_EQ(fm::scanDeviceBooks(target, {}, {}).status, StorageScanStatus::ServiceRefused);
    EXPECT_EQ(fm::scanDeviceApps(target, {}, {}).status, StorageScanStatus::ServiceRefused);
    EXPECT_EQ(fm::scanDeviceUserData(target, {}, {}, {}).status, StorageScanStatus::ServiceRefused);
    // A stop asked for by the caller is no refusal.
    EXPECT_EQ(fm::scanDevicePhotos(target, [] { return true; }, {}).status,
              StorageScanStatus::Stopped);
}

TEST_F(StorageScans, ADetachMidWalkStopsTheWalkAndKeepsWhatWasHandedOver) {
    SimDeviceBuilder b = builder("leaving");
    for (int i = 0; i < 40; ++i) {
        b.addMediaFile("/f" + std::to_string(i / 10) + "/file" + std::to_string(i), "x");
    }
    const int index = attachDevice(b);
    const auto target = targetOf(index);
    setFault(deviceDir("leaving"), nimbara::md::sim::kFaultDetachAfter,
             nimbara::PlistValue(std::int64_t{30}));
    std::size_t handed = 0;
    const fm::UserDataScanResult r = fm::scanDeviceUserData(
        target, {}, {}, [&](fm::UserDataRecords batch) { handed += batch.size(); });
    EXPECT_EQ(r.status, StorageScanStatus::DeviceGone);
    EXPECT_LT(handed, 44u);
    EXPECT_EQ(fm::scanDevicePhotos(target, {}, {}).status, StorageScanStatus::DeviceGone);
}

}  // namespace
