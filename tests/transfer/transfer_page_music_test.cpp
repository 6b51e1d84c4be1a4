// The transfer page's music and video load on the demo device: loaded once, with the host's
// indicators started and stopped; a failed load or a departed device lets it be tried again and
// never leaves a spinner turning; a device change resets the page and drops the old load.
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim_media_library.h"
#include "transfer_page_fixture.h"
#include "ui/view_helpers.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kDemoMusic = {"AC/DC ../Live at the Barn",
                                             "Harbour Lights",
                                             "Lanterns",
                                             "Lost Tapes",
                                             "Northbound",
                                             "Paper Kites"};
const std::vector<std::string> kDemoVideos = {"Summer Recital", "Trail Run (Director's Cut)"};

TEST_F(TransferPageTest, VideoEntryShowsItsViewAndStartsNothing) {
    clickVideo();
    EXPECT_EQ(page().shownView(), "videoView");
    EXPECT_TRUE(shown(tui().videoView));
    EXPECT_FALSE(shown(tui().tranMainView));
    EXPECT_FALSE(shown(tui().musicView));
    EXPECT_FALSE(page().musicLoading());
    EXPECT_FALSE(page().bMusiceStartTransfer());
    EXPECT_EQ(host_.starts(BusyMark::Music), 0);
    pumpEvents(20);
    EXPECT_EQ(page().videoController()->rowCount(), 0);
    EXPECT_EQ(musicFinished_, 0);
    // The view says where its list comes from.
    EXPECT_TRUE(tui().videoInfolab->text().contains(QStringLiteral("Music")));
}

TEST_F(TransferPageTest, MusicLoadsOnceFillsBothListsAndStopsTheSpinners) {
    clickMusic();
    EXPECT_EQ(page().shownView(), "musicView");
    EXPECT_TRUE(page().bMusiceStartTransfer());
    EXPECT_TRUE(musicSpinning());
    EXPECT_EQ(ui::imageViewImageName(tui().musicImageView), "defaultMuisc");
    // A second click while it loads starts nothing.
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_TRUE(page().bMusicLoadFinished());
    EXPECT_TRUE(musicSpinnersOff());
    EXPECT_EQ(titles(*page().musicController()), kDemoMusic);
    EXPECT_EQ(titles(*page().videoController()), kDemoVideos);
    EXPECT_EQ(tui().musicInfolab->text(), "6 songs");
    EXPECT_TRUE(page().statusText().isEmpty());

    // After it loaded, neither the music nor the video entry reads again: no rows twice.
    clickMusic();
    EXPECT_FALSE(page().musicLoading());
    EXPECT_EQ(host_.starts(BusyMark::Music), 1);
    EXPECT_FALSE(musicSpinning());
    clickVideo();
    pumpEvents(20);
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_EQ(page().musicController()->rowCount(), 6);
    EXPECT_EQ(page().videoController()->rowCount(), 2);
    EXPECT_EQ(tui().videoInfolab->text(), "2 videos");
    // Cells in the page's font.
    EXPECT_EQ(tui().musicTableView->font().family(), "Lucida Grande");
    EXPECT_EQ(tui().musicTableView->font().pointSize(), 11);
}

TEST_F(TransferPageTest, ChoosingATrackShowsItsTitleAndArtist) {
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    EXPECT_TRUE(tui().musicTitlelab->text().isEmpty());
    const auto& rows = page().musicController()->content();
    int row = 0;
    while (row < static_cast<int>(rows.size()) &&
           rows[static_cast<std::size_t>(row)]->musicTitle() != "Harbour Lights") {
        ++row;
    }
    ASSERT_LT(row, static_cast<int>(rows.size()));
    tui().musicTableView->selectRow(row);
    EXPECT_EQ(tui().musicTitlelab->text(), "Harbour Lights");
    EXPECT_EQ(tui().musicArtistlab->text(), "The Tidewaters");
    EXPECT_EQ(ui::imageViewImageName(tui().musicImageView), "defaultMuisc");
    // Choosing a video changes nothing of the music's card.
    clickVideo();
    tui().videoTableView->selectRow(0);
    EXPECT_EQ(tui().musicTitlelab->text(), "Harbour Lights");
}

TEST_F(TransferPageTest, ARefusedFileServiceStopsTheSpinnersAndMayBeTriedAgain) {
    refuseFileService();
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_TRUE(musicSpinnersOff());
    EXPECT_FALSE(page().bMusicLoadFinished());
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("refused")));
    EXPECT_EQ(page().musicController()->rowCount(), 0);

    setFault(demo_, nullptr);
    clickMusic();
    EXPECT_TRUE(page().bMusiceStartTransfer());
    EXPECT_TRUE(page().statusText().isEmpty());
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(musicFinished_, 2);
    EXPECT_TRUE(page().bMusicLoadFinished());
    EXPECT_EQ(titles(*page().musicController()), kDemoMusic);
}

TEST_F(TransferPageTest, AnUnreadableLibraryStopsTheSpinnersAndMayBeTriedAgain) {
    const fs::path library = demo_ / md::sim::kMediaDir / "iTunes_Control/iTunes";
    fs::remove(library / "MediaLibrary.sqlitedb-wal");
    fs::remove(library / "MediaLibrary.sqlitedb-shm");
    std::ofstream(library / "MediaLibrary.sqlitedb", std::ios::trunc)
        << "this is no database, only text that looks nothing like one";
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_TRUE(musicSpinnersOff());
    EXPECT_FALSE(page().bMusicLoadFinished());
    EXPECT_TRUE(page().statusText().contains(QStringLiteral("could not be read")));

    clickMusic();
    EXPECT_TRUE(page().bMusiceStartTransfer());
    EXPECT_TRUE(musicSpinning());
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(musicFinished_, 2);
    EXPECT_TRUE(musicSpinnersOff());
}

TEST_F(TransferPageTest, ADeviceGoneMidLoadEndsItWithAMessageAndNoSpinner) {
    clickMusic();
    ASSERT_TRUE(page().bMusiceStartTransfer());
    // Gone before the page heard of the load's end, whatever the load got to.
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(waitForMusic());
    ASSERT_TRUE(
        pumpUntil([this] { return amd::DeviceManager::GetInstance().DeviceSerial(index_) == 0; }));
    pumpEvents(20);
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_TRUE(musicSpinnersOff());
    EXPECT_FALSE(page().bMusicLoadFinished());
    EXPECT_EQ(page().musicController()->rowCount(), 0);
    EXPECT_EQ(page().videoController()->rowCount(), 0);
    EXPECT_EQ(page().statusText(), "The device went away before its music and videos were read.");
    EXPECT_FALSE(page().musicLoading());
}

TEST_F(TransferPageTest, ADeviceGoneAfterLoadingTakesItsListsAlong) {
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    ASSERT_EQ(page().musicController()->rowCount(), 6);
    ASSERT_TRUE(detach("demo"));
    ASSERT_TRUE(pumpUntil([this] { return page().musicController()->rowCount() == 0; }));
    EXPECT_EQ(page().videoController()->rowCount(), 0);
    EXPECT_FALSE(page().bMusicLoadFinished());
    EXPECT_FALSE(page().statusText().isEmpty());
    EXPECT_EQ(musicFinished_, 1);
}

TEST_F(TransferPageTest, ADeviceChangeResetsThePageAndDropsTheOldLoad) {
    // A second device with a library of its own.
    simdev::SimDeviceBuilder other(tmp_ / "other");
    other.setIdentity("Other iPhone", "other", "iPhone10,4", "12.4.1");
    other.setDiskUsage(64'000'000'000ULL, 16'000'000'000ULL);
    simdev::SimMediaLibrary library;
    simdev::SimTrack song;
    song.pid = 41;
    song.title = "Only Song";
    song.fileSize = 4000;
    song.totalTimeMs = 60000;
    song.artist = "Solo";
    song.artistPid = 42;
    song.album = "Single";
    song.albumPid = 43;
    song.folder = "iTunes_Control/Music/F01";
    song.baseLocationId = 1;
    song.location = "ONLY.m4a";
    library.tracks = {song};
    simdev::addMediaLibrary(other, library);
    ASSERT_TRUE(other.write());
    const int otherIndex = attach((tmp_ / "other").string());
    ASSERT_GE(otherIndex, 0);
    ASSERT_EQ(currentIndex(), index_);

    // The demo device's load is under way when the other device becomes current: whatever it
    // found never reaches the page.
    clickMusic();
    ASSERT_TRUE(page().bMusiceStartTransfer());
    changeToDevice(otherIndex);
    EXPECT_EQ(page().shownView(), "mainView");
    EXPECT_FALSE(page().bMusiceStartTransfer());
    EXPECT_FALSE(page().bMusicLoadFinished());
    EXPECT_EQ(musicFinished_, 1);
    EXPECT_TRUE(musicSpinnersOff());
    pumpEvents(200);
    EXPECT_EQ(page().musicController()->rowCount(), 0);
    EXPECT_EQ(page().videoController()->rowCount(), 0);
    EXPECT_EQ(musicFinished_, 1);

    // The other device's music loads anew.
    clickMusic();
    EXPECT_EQ(page().deviceIndex(), otherIndex);
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(titles(*page().musicController()), std::vector<std::string>{"Only Song"});
    EXPECT_EQ(page().videoController()->rowCount(), 0);

    // Back to the demo device: its lists replace the other's, and nothing is left chosen.
    tui().musicTableView->selectRow(0);
    changeToDevice(index_);
    EXPECT_EQ(page().musicController()->rowCount(), 0);
    EXPECT_TRUE(tui().musicTitlelab->text().isEmpty());
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    EXPECT_EQ(titles(*page().musicController()), kDemoMusic);
}

}  // namespace
}  // namespace nimbara::test
