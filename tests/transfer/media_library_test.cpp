// The media library reader over simulated devices: both catalogue queries, what each track
// gets, media kinds, missing files, the private copy and its log files, and departures.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "backup/sqlite_db.h"
#include "media_library_fixture.h"
#include "platform/mobiledevice/sim/sim_layout.h"
#include "platform/plist_value.h"
#include "platform/scratch_dir.h"
#include "ui/core/text_utilities.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::MediaLibraryQuery;
using transfer::MediaLibraryStatus;

// Ids far beyond 32 bits and beyond a double's exact range, negative ones included.
constexpr std::int64_t kNegativePid = -7718935027345190813LL;
constexpr std::int64_t kLargePid = 9007199254740993LL;  // 2^53 + 1
constexpr std::int64_t kNegativeArtist = -3141592653589793238LL;
constexpr std::int64_t kLargeAlbum = 6051872300012345678LL;

simdev::SimMediaLibrary sampleLibrary(simdev::SimLibrarySchema schema) {
    simdev::SimMediaLibrary library;
    library.schema = schema;
    simdev::SimTrack harbour = MediaLibraryTest::track(kNegativePid, "Harbour Lights");
    harbour.fileSize = 8400000;
    harbour.totalTimeMs = 3723000;
    harbour.artist = "The Tidewaters";
    harbour.artistPid = kNegativeArtist;
    harbour.album = "Low Tide";
    harbour.albumPid = kLargeAlbum;
    harbour.folder = "iTunes_Control/Music/F03";
    harbour.baseLocationId = 3840;
    harbour.location = "KJHG.m4a";
    simdev::SimTrack lanterns = MediaLibraryTest::track(kLargePid, "Lanterns");
    // Same artist: only the first of an artist's tracks is the artist's representative.
    lanterns.artist = "The Tidewaters";
    lanterns.artistPid = kNegativeArtist;
    simdev::SimTrack film = MediaLibraryTest::track(-5764607523034234881LL, "Trail Run", 2);
    simdev::SimTrack podcast = MediaLibraryTest::track(-12, "Morning Brief", 4);
    simdev::SimTrack unknown = MediaLibraryTest::track(-13, "No Kind");
    unknown.mediaKind.reset();
    library.tracks = {harbour, lanterns, film, podcast, unknown};
    return library;
}

TEST_F(MediaLibraryTest, ReadsEveryFieldWithExactIdsThroughTheItemArtistQuery) {
    const int index = deviceWith("lib", sampleLibrary(simdev::SimLibrarySchema::ItemArtist));
    ASSERT_GE(index, 0);
    const Read read = readLibrary(index);
    EXPECT_EQ(read.finishedCalls, 1);
    const auto& r = read.result;
    ASSERT_EQ(r.status, MediaLibraryStatus::Done);
    EXPECT_EQ(r.query, MediaLibraryQuery::ItemArtist);
    EXPECT_EQ(r.device.deviceIndex, index);
    EXPECT_EQ(r.device.deviceSerial, serialOf(index));

    // Media kinds: 2 is a video, any other kind music, no kind neither.
    EXPECT_EQ(titlesOf(r.music),
              (std::vector<std::string>{"Harbour Lights", "Lanterns", "Morning Brief"}));
    EXPECT_EQ(titlesOf(r.videos), (std::vector<std::string>{"Trail Run"}));
    EXPECT_EQ(r.withoutKind, 1u);

    const auto harbour = find(r.music, "Harbour Lights");
    ASSERT_TRUE(harbour);
    EXPECT_EQ(harbour->musicPid(), QStringLiteral("-7718935027345190813"));
    EXPECT_EQ(harbour->artistPid(), QStringLiteral("-3141592653589793238"));
    EXPECT_EQ(harbour->albumPid(), QStringLiteral("6051872300012345678"));
    EXPECT_EQ(harbour->musicArtist(), QStringLiteral("The Tidewaters"));
    EXPECT_EQ(harbour->musicAlbm(), QStringLiteral("Low Tide"));
    EXPECT_EQ(harbour->musicType(), QStringLiteral("Music"));
    EXPECT_EQ(harbour->fileSizeNumber(), 8400000u);
    EXPECT_EQ(harbour->musicFileSize(), shell::size_to_unit(8400000));
    EXPECT_EQ(harbour->musicTime(), QStringLiteral("01:02:03"));
    EXPECT_EQ(harbour->musicLoctionpath(), QStringLiteral("/iTunes_Control/Music/F03/KJHG.m4a"));

    const auto lanterns = find(r.music, "Lanterns");
    ASSERT_TRUE(lanterns);
    EXPECT_EQ(lanterns->musicPid(), QStringLiteral("9007199254740993"));
    // Not its artist's representative: the join gave no artist, the artist's own row does.
    EXPECT_EQ(lanterns->musicArtist(), QStringLiteral("The Tidewaters"));
    EXPECT_EQ(r.musicBytes, harbour->fileSizeNumber() + lanterns->fileSizeNumber() +
                                find(r.music, "Morning Brief")->fileSizeNumber());
    EXPECT_EQ(r.videoBytes, r.videos[0]->fileSizeNumber());

    // Progress ends at 1 and never falls.
    ASSERT_FALSE(read.progress.empty());
    EXPECT_DOUBLE_EQ(read.progress.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(read.progress.begin(), read.progress.end()));
}

TEST_F(MediaLibraryTest, LibraryWithoutItemArtistIsReadThroughAlbumArtist) {
    LogRecorder log;
    const int index = deviceWith("fallback", sampleLibrary(simdev::SimLibrarySchema::AlbumArtist));
    ASSERT_GE(index, 0);
    const Read read = readLibrary(index);
    ASSERT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(read.result.query, MediaLibraryQuery::AlbumArtist);
    EXPECT_EQ(log.count(QStringLiteral("deleted OK")), 1);
    EXPECT_EQ(read.result.music.size(), 3u);
    EXPECT_EQ(read.result.videos.size(), 1u);
    const auto harbour = find(read.result.music, "Harbour Lights");
    ASSERT_TRUE(harbour);
    // No artist table to look the name up in: the name the query joined stays.
    EXPECT_EQ(harbour->musicArtist(), QStringLiteral("The Tidewaters"));
    EXPECT_EQ(harbour->musicAlbm(), QStringLiteral("Low Tide"));
    EXPECT_EQ(harbour->musicPid(), QStringLiteral("-7718935027345190813"));
    // The device's own library is left as it was.
    auto db = SqliteDb::open(
        (deviceDir("fallback") / "media/iTunes_Control/iTunes/MediaLibrary.sqlitedb").string(),
        SqliteDb::Mode::ReadOnly);
    ASSERT_TRUE(db);
    EXPECT_TRUE(db->hasTable("genre"));
}

TEST_F(MediaLibraryTest, MissingPartsLeaveDefaultsAndMissingFilesAreToldApart) {
    simdev::SimMediaLibrary library;
    simdev::SimTrack gone = track(-21, "Lost Tapes");
    gone.fileOnDevice = false;
    simdev::SimTrack noAlbum = track(-22, "Single");
    noAlbum.album.clear();
    simdev::SimTrack noFolder = track(-23, "Nowhere");
    noFolder.folder.clear();
    noFolder.baseLocationId = 99;
    simdev::SimTrack noLocation = track(-24, "Unplaced");
    noLocation.location.clear();
    simdev::SimTrack present = track(-25, "Here");
    library.tracks = {gone, noAlbum, noFolder, noLocation, present};
    const int index = deviceWith("parts", library);
    ASSERT_GE(index, 0);

    // Listed as the library has them.
    Read read = readLibrary(index);
    ASSERT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(read.result.music.size(), 5u);
    const auto single = find(read.result.music, "Single");
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->musicAlbm().isNull()) << single->musicAlbm().toStdString();
    EXPECT_TRUE(find(read.result.music, "Nowhere")->musicLoctionpath().isEmpty());
    EXPECT_TRUE(find(read.result.music, "Unplaced")->musicLoctionpath().isEmpty());
    EXPECT_FALSE(find(read.result.music, "Lost Tapes")->musicLoctionpath().isEmpty());

    // Only what is on the device.
    read = readLibrary(index, {.requireFilesOnDevice = true});
    ASSERT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(titlesOf(read.result.music), (std::vector<std::string>{"Here", "Single"}));
    EXPECT_EQ(titlesOf(read.result.missingFiles),
              (std::vector<std::string>{"Lost Tapes", "Nowhere", "Unplaced"}));
    EXPECT_EQ(read.result.musicBytes, find(read.result.music, "Single")->fileSizeNumber() +
                                          find(read.result.music, "Here")->fileSizeNumber());
}

TEST_F(MediaLibraryTest, HostileTitlesAreKeptAsData) {
    simdev::SimMediaLibrary library;
    library.tracks = {track(-31, "AC/DC ../Live"), track(-32, ".."),
                      track(-33, "../../etc/passwd")};
    library.tracks[0].album = "../../Bootlegs";
    const int index = deviceWith("hostile", library);
    ASSERT_GE(index, 0);
    const Read read = readLibrary(index);
    ASSERT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(titlesOf(read.result.music),
              (std::vector<std::string>{"..", "../../etc/passwd", "AC/DC ../Live"}));
    EXPECT_EQ(find(read.result.music, "AC/DC ../Live")->musicAlbm(),
              QStringLiteral("../../Bootlegs"));
    for (const auto& node : read.result.music) {
        const std::string name = node->localFileName();
        EXPECT_EQ(name.find('/'), std::string::npos) << name;
        EXPECT_EQ(name.find(".."), std::string::npos) << name;
        EXPECT_TRUE(name.ends_with(".m4a")) << name;
    }
}

TEST_F(MediaLibraryTest, RowsStillInTheLogAreRead) {
    simdev::SimMediaLibrary library;
    library.tracks = {track(-41, "Folded"), track(-42, "Logged one"), track(-43, "Logged two")};
    library.inLog = 2;
    const int index = deviceWith("logged", library);
    ASSERT_GE(index, 0);
    ASSERT_TRUE(fs::is_regular_file(deviceDir("logged") /
                                    "media/iTunes_Control/iTunes/MediaLibrary.sqlitedb-wal"));
    const Read read = readLibrary(index);
    ASSERT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(titlesOf(read.result.music),
              (std::vector<std::string>{"Folded", "Logged one", "Logged two"}));
}

TEST_F(MediaLibraryTest, ALogOfAnotherDeviceOrReadIsNeverReplayed) {
    // Device A keeps rows in its log; device B has folded everything in.
    simdev::SimMediaLibrary a;
    a.tracks = {track(-51, "A folded"), track(-52, "A logged")};
    a.inLog = 1;
    simdev::SimMediaLibrary b;
    b.tracks = {track(-61, "B only")};
    const int indexA = deviceWith("devA", a);
    const int indexB = deviceWith("devB", b);
    ASSERT_GE(indexA, 0);
    ASSERT_GE(indexB, 0);

    const fs::path db = scratchFolder("DB");
    ASSERT_FALSE(db.empty());
    // A log and index left where a shared scratch copy would lie.
    const fs::path logA =
        deviceDir("devA") / "media/iTunes_Control/iTunes/MediaLibrary.sqlitedb-wal";
    fs::copy_file(logA, db / "MediaLibrary.sqlitedb-wal", fs::copy_options::overwrite_existing);
    const std::set<std::string> before = [&] {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(db)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }();

    EXPECT_EQ(titlesOf(readLibrary(indexA).result.music),
              (std::vector<std::string>{"A folded", "A logged"}));
    const Read readB = readLibrary(indexB);
    ASSERT_EQ(readB.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(titlesOf(readB.result.music), (std::vector<std::string>{"B only"}));

    // Each read cleared its own copy away.
    std::set<std::string> after;
    for (const auto& e : fs::directory_iterator(db)) {
        after.insert(e.path().filename().string());
    }
    EXPECT_EQ(after, before);
    fs::remove(db / "MediaLibrary.sqlitedb-wal");
}

TEST_F(MediaLibraryTest, AFailedCopyReadsNothing) {
    simdev::SimMediaLibrary library;
    library.tracks = {track(-71, "Should not show")};
    const int index = deviceWith("nocopy", library);
    ASSERT_GE(index, 0);
    // The scratch folder can't hold a copy: "DB" is taken by a file.
    removeScratchRoot();
    const fs::path root = scratchRoot();
    ASSERT_FALSE(root.empty());
    { std::ofstream(root / "DB") << "not a folder"; }
    const Read read = readLibrary(index);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::CopyFailed);
    EXPECT_TRUE(read.result.music.empty());
    EXPECT_TRUE(read.result.videos.empty());
    removeScratchRoot();
}

TEST_F(MediaLibraryTest, EveryReadEndsOnceWhateverTheDeviceHolds) {
    // No library at all.
    const int bare = attach(makeDevice("bare"));
    ASSERT_GE(bare, 0);
    Read read = readLibrary(bare);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::NoLibrary);
    EXPECT_TRUE(read.result.music.empty() && read.result.videos.empty());

    // An empty library.
    const int empty = deviceWith("emptylib", simdev::SimMediaLibrary{});
    ASSERT_GE(empty, 0);
    read = readLibrary(empty);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::Done);
    EXPECT_TRUE(read.result.music.empty() && read.result.videos.empty());

    // Something that is no database.
    auto junk = builder("junk");
    junk.addMediaFile(transfer::kMediaLibraryPath, "this is no database at all, only text");
    const int junkIndex = attachBuilt(junk);
    ASSERT_GE(junkIndex, 0);
    read = readLibrary(junkIndex);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::Unreadable);

    // The file service refused.
    auto refused = builder("refused");
    simdev::addMediaLibrary(refused, simdev::SimMediaLibrary{{}, {track(-81, "x")}, 0});
    PlistValue services = PlistValue::array();
    services.append(PlistValue("com.apple.afc"));
    refused.setFault("RefusedServices", services);
    const int refusedIndex = attachBuilt(refused);
    ASSERT_GE(refusedIndex, 0);
    read = readLibrary(refusedIndex);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::ServiceRefused);

    // A caller that wants the read to stop.
    int stoppedCalls = 0;
    transfer::MediaLibrarySink stopSink;
    stopSink.finished = [&](const transfer::MediaLibraryResult& r) {
        ++stoppedCalls;
        EXPECT_EQ(r.status, MediaLibraryStatus::Stopped);
        EXPECT_TRUE(r.music.empty());
    };
    transfer::MediaLibraryReader({empty, serialOf(empty)}, {}, [] { return true; }).read(stopSink);
    EXPECT_EQ(stoppedCalls, 1);

    // A device that left before the read, and one that took its index since.
    const std::uint64_t serial = serialOf(empty);
    ASSERT_TRUE(library_->detach(deviceDir("emptylib").string()));
    Read gone;
    transfer::MediaLibrarySink sink;
    sink.finished = [&](const transfer::MediaLibraryResult& r) {
        ++gone.finishedCalls;
        gone.result = r;
    };
    transfer::MediaLibraryReader({empty, serial}).read(sink);
    EXPECT_EQ(gone.finishedCalls, 1);
    EXPECT_EQ(gone.result.status, MediaLibraryStatus::DeviceGone);
}

TEST_F(MediaLibraryTest, ADeviceGoneMidReadHandsOverNothing) {
    simdev::SimMediaLibrary library;
    for (int i = 0; i < 6; ++i) {
        library.tracks.push_back(track(-100 - i, "Track " + std::to_string(i), i == 3 ? 2 : 1));
    }
    library.inLog = 2;
    bool sawGone = false;
    bool sawDone = false;
    for (int limit = 2; limit <= 60; limit += 2) {
        const std::string udid = "detach" + std::to_string(limit);
        auto device = builder(udid);
        simdev::addMediaLibrary(device, library);
        device.setFault(md::sim::kFaultDetachAfter, PlistValue(static_cast<std::int64_t>(limit)));
        const int index = attachBuilt(device);
        if (index < 0 || !amd::DeviceManager::GetInstance().IsAttached(index, serialOf(index))) {
            continue;  // the limit ran out while attaching
        }
        const Read read = readLibrary(index, {.requireFilesOnDevice = true});
        EXPECT_EQ(read.finishedCalls, 1) << limit;
        if (read.result.status == MediaLibraryStatus::Done) {
            sawDone = true;
            EXPECT_EQ(read.result.music.size() + read.result.videos.size(), 6u) << limit;
            EXPECT_TRUE(read.result.missingFiles.empty()) << limit;
        } else {
            // Never a partial list, and never files counted missing because the device left.
            EXPECT_TRUE(read.result.status == MediaLibraryStatus::DeviceGone ||
                        read.result.status == MediaLibraryStatus::NoLibrary ||
                        read.result.status == MediaLibraryStatus::ServiceRefused ||
                        read.result.status == MediaLibraryStatus::CopyFailed)
                << limit << " " << static_cast<int>(read.result.status);
            EXPECT_TRUE(read.result.music.empty() && read.result.videos.empty()) << limit;
            EXPECT_TRUE(read.result.missingFiles.empty()) << limit;
            sawGone = sawGone || read.result.status == MediaLibraryStatus::DeviceGone;
        }
        amd::DeviceManager::GetInstance().Reset();
        ASSERT_EQ(amd::DeviceManager::GetInstance().Subscribe(), 0);
    }
    EXPECT_TRUE(sawGone);
    EXPECT_TRUE(sawDone);
}

TEST_F(MediaLibraryTest, ADeviceUnpluggedWhileTheCatalogueIsReadEndsTheRead) {
    simdev::SimMediaLibrary library;
    for (int i = 0; i < 20; ++i) {
        library.tracks.push_back(track(-200 - i, "Song " + std::to_string(i)));
    }
    const int index = deviceWith("unplug", library);
    ASSERT_GE(index, 0);
    bool unplugged = false;
    const Read read = readLibrary(index, {}, [&](double p) {
        if (p > 0.6 && !unplugged) {
            unplugged = true;
            library_->detach(deviceDir("unplug").string());
        }
    });
    ASSERT_TRUE(unplugged);
    EXPECT_EQ(read.finishedCalls, 1);
    EXPECT_EQ(read.result.status, MediaLibraryStatus::DeviceGone);
    EXPECT_TRUE(read.result.music.empty());
}

}  // namespace
}  // namespace nimbara::test

namespace nimbara::test {
namespace {

TEST_F(MediaLibraryTest, TheDemoDeviceListsItsMusicAndVideos) {
    const fs::path dir = tmp_ / "demo";
    std::string error;
    ASSERT_TRUE(simdev::makeDemoDevice(dir, &error)) << error;
    const int index = attach(dir.string());
    ASSERT_GE(index, 0);
    const Read all = readLibrary(index);
    ASSERT_EQ(all.result.status, MediaLibraryStatus::Done);
    EXPECT_EQ(all.result.music.size(), 6u);
    EXPECT_EQ(titlesOf(all.result.videos),
              (std::vector<std::string>{"Summer Recital", "Trail Run (Director's Cut)"}));
    const Read onDevice = readLibrary(index, {.requireFilesOnDevice = true});
    EXPECT_EQ(titlesOf(onDevice.result.missingFiles), (std::vector<std::string>{"Lost Tapes"}));
    EXPECT_EQ(onDevice.result.music.size(), 5u);
    EXPECT_EQ(onDevice.result.videos.size(), 2u);
    // Every file a listed track names is on the device, at the size the library gives.
    for (const auto* list : {&onDevice.result.music, &onDevice.result.videos}) {
        for (const auto& node : *list) {
            const fs::path file = dir / "media" / node->musicLoctionpath().toStdString().substr(1);
            ASSERT_TRUE(fs::is_regular_file(file)) << file;
            EXPECT_EQ(fs::file_size(file), node->fileSizeNumber()) << file;
        }
    }
}

}  // namespace
}  // namespace nimbara::test
