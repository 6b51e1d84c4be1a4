// Playing a chosen track or video from its local copy: the copies (apart per device path, marked
// only on success, a bounded number at once), the player over a fake backend, the page's music
// and video views, and the music-library folder with its playlists.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QThread>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "ui/alerts.h"

#include "fake_media_player.h"
#include "media_library_fixture.h"
#include "platform/scratch_dir.h"
#include "test_support.h"
#include "transfer/itunes_script_handler.h"
#include "transfer/media_preview_copy.h"
#include "transfer/pages/pr_media_preview_controller.h"
#include "transfer_page_fixture.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::PreviewCopyResult;
using transfer::PreviewCopyStatus;

// ------------------------------------------------------------------ copies off a device

class PreviewCopyTest : public MediaLibraryTest {};

TEST_F(PreviewCopyTest, SameTitledTracksGetTwoCopiesOfTheirOwnAndAreMarkedOnlyOnSuccess) {
    simdev::SimMediaLibrary library;
    auto first = track(11, "Intro");
    auto second = track(12, "Intro");
    second.folder = "iTunes_Control/Music/F09";
    second.baseLocationId = 9;
    second.location = first.location;
    second.fileSize = 4321;
    auto missing = track(13, "Intro");
    missing.fileOnDevice = false;
    library.tracks = {first, second, missing};
    const int index = deviceWith("preview-copy", library);
    ASSERT_GE(index, 0);
    const auto read = readLibrary(index);
    ASSERT_EQ(read.result.music.size(), 3u);
    const transfer::MediaDeviceTarget device{index, serialOf(index)};

    std::vector<fs::path> copies;
    std::vector<std::uintmax_t> sizes;
    for (const auto& node : read.result.music) {
        const bool onDevice =
            node->musicLoctionpath().contains("T12") || node->musicLoctionpath().contains("T11");
        const PreviewCopyResult result = transfer::copyTrackForPreview(device, *node, {});
        if (!onDevice) {
            // Nothing to copy: the track stays uncopied and nothing is left behind.
            EXPECT_EQ(result.status, PreviewCopyStatus::Failed);
            EXPECT_FALSE(node->bhasCopy());
            EXPECT_FALSE(transfer::hasUsableCopy(*node));
            const fs::path folder = transfer::previewCopyFolder(
                device.deviceSerial, node->musicLoctionpath().toStdString());
            EXPECT_TRUE(fs::is_empty(folder));
            continue;
        }
        ASSERT_EQ(result.status, PreviewCopyStatus::Copied) << result.error;
        EXPECT_TRUE(node->bhasCopy());
        EXPECT_EQ(node->bCopyLocationPath().toStdString(), result.path.string());
        EXPECT_EQ(result.path.filename().string(), "Intro.m4a");
        EXPECT_TRUE(result.path.string().rfind(scratchRoot().string(), 0) == 0);
        copies.push_back(result.path);
        sizes.push_back(fs::file_size(result.path));
        // Chosen again: the copy is reused, the device not asked.
        EXPECT_EQ(transfer::copyTrackForPreview(device, *node, {}).status,
                  PreviewCopyStatus::AlreadyCopied);
    }
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_NE(copies[0], copies[1]);
    EXPECT_TRUE(fs::exists(copies[0]));
    EXPECT_TRUE(fs::exists(copies[1]));
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes,
              (std::vector<std::uintmax_t>{static_cast<std::uintmax_t>(first.fileSize), 4321u}));
}

TEST_F(PreviewCopyTest, ACopyForADeviceThatWentAwayIsNotMade) {
    simdev::SimMediaLibrary library;
    library.tracks = {track(21, "Gone")};
    const int index = deviceWith("preview-gone", library);
    const auto read = readLibrary(index);
    ASSERT_EQ(read.result.music.size(), 1u);
    // Another serial at that index: not this track's device.
    const transfer::MediaDeviceTarget other{index, serialOf(index) + 1};
    const auto result = transfer::copyTrackForPreview(other, *read.result.music[0], {});
    EXPECT_EQ(result.status, PreviewCopyStatus::DeviceGone);
    EXPECT_FALSE(read.result.music[0]->bhasCopy());
}

// ------------------------------------------------------------------ the player

class MediaPlayerViewTest : public TransferPageTest {};

TEST_F(MediaPlayerViewTest, PlaysPausesSeeksAndShowsTheTime) {
    EXPECT_EQ(transfer::playTimeText(0, 0), "0:00 / 0:00");
    EXPECT_EQ(transfer::playTimeText(61'500, 245'000), "1:01 / 4:05");
    EXPECT_EQ(transfer::playTimeText(5'000, 3'725'000), "0:00:05 / 1:02:05");

    auto backend = std::make_unique<FakeMediaPlayer>();
    FakeMediaPlayer* fake = backend.get();
    transfer::MediaPlayerView view(std::move(backend), nullptr);
    // Nothing loaded: nothing to play.
    EXPECT_FALSE(view.playButton()->isEnabled());
    view.togglePlay();
    EXPECT_FALSE(fake->isPlaying());

    view.load("/somewhere/a.m4a");
    EXPECT_EQ(fake->source, "/somewhere/a.m4a");
    EXPECT_TRUE(view.playButton()->isEnabled());
    emit fake->durationChanged(245'000);
    EXPECT_EQ(view.positionSlider()->maximum(), 245'000);
    view.playButton()->click();
    EXPECT_TRUE(fake->isPlaying());
    EXPECT_EQ(view.playButton()->text(), "Pause");
    emit fake->positionChanged(61'500);
    EXPECT_EQ(view.positionSlider()->value(), 61'500);
    EXPECT_EQ(view.timeLabel()->text(), "1:01 / 4:05");
    emit view.positionSlider()->sliderMoved(120'000);
    ASSERT_FALSE(fake->positions.empty());
    EXPECT_EQ(fake->positions.back(), 120'000);
    view.playButton()->click();
    EXPECT_FALSE(fake->isPlaying());
    EXPECT_EQ(view.playButton()->text(), "Play");

    // Another file starts paused at its beginning.
    view.playButton()->click();
    view.load("/somewhere/b.m4a");
    EXPECT_FALSE(fake->isPlaying());
    EXPECT_EQ(view.timeLabel()->text(), "0:00 / 0:00");
    view.clear();
    EXPECT_FALSE(view.playButton()->isEnabled());
}

// ------------------------------------------------------------------ the page's players

// Copies that wait until the test lets them go, failing while told to.
struct GatedCopies {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    int failuresLeft = 0;
    int calls = 0;

    transfer::PRMediaPreviewController::CopyFunction function(const fs::path& folder) {
        return [this, folder](const transfer::MediaDeviceTarget&, PRTranMusicNode& node,
                              const std::function<bool()>& stop) {
            std::unique_lock lock(mutex);
            ++calls;
            changed.notify_all();
            changed.wait(lock, [&] { return open || stop(); });
            PreviewCopyResult result;
            if (stop()) {
                result.status = PreviewCopyStatus::Stopped;
                return result;
            }
            if (failuresLeft > 0) {
                --failuresLeft;
                result.error = "refused";
                return result;
            }
            const fs::path file = folder / (node.musicPid().toStdString() + ".m4a");
            std::ofstream(file) << node.musicTitle().toStdString();
            node.setBCopyLocationPath(QString::fromStdString(file.string()));
            node.setBhasCopy(true);
            result.status = PreviewCopyStatus::Copied;
            result.path = file;
            return result;
        };
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
};

class MediaPreviewTest : public TransferPageTest {
  protected:
    void SetUp() override {
        TransferPageTest::SetUp();
        copies_ = std::make_unique<GatedCopies>();
        preview_ = std::make_unique<transfer::PRMediaPreviewController>(
            tui(), fakePlayerFactory(), [this](const QString& text) { status_ = text; }, nullptr,
            copies_->function(tmp_.path()));
    }
    void TearDown() override {
        copies_->release();
        preview_.reset();
        TransferPageTest::TearDown();
    }
    static std::shared_ptr<PRTranMusicNode> node(int pid, const char* type = "Music") {
        auto n = std::make_shared<PRTranMusicNode>();
        n->setMusicPid(QString::number(pid));
        n->setMusicTitle(QStringLiteral("Song %1").arg(pid));
        n->setMusicType(QLatin1String(type));
        n->setMusicLoctionpath(QStringLiteral("/iTunes_Control/Music/F00/T%1.m4a").arg(pid));
        return n;
    }
    const transfer::MediaDeviceTarget device_{0, 1};
    std::unique_ptr<GatedCopies> copies_;
    std::unique_ptr<transfer::PRMediaPreviewController> preview_;
    QString status_;
};

TEST_F(MediaPreviewTest, AtMostAFewCopiesRunAndATrackIsNeverQueuedTwice) {
    std::vector<std::shared_ptr<PRTranMusicNode>> tracks;
    for (int pid = 1; pid <= 12; ++pid) {
        tracks.push_back(node(pid));
        preview_->trackChosen(tracks.back(), false, device_);
        preview_->trackChosen(tracks.back(), false, device_);
    }
    EXPECT_EQ(preview_->copiesRunning(), transfer::PRMediaPreviewController::kCopySlots);
    EXPECT_EQ(preview_->copiesWaiting(), transfer::PRMediaPreviewController::kMaxWaiting);
    EXPECT_TRUE(shown(tui().musicProgress));
    copies_->release();
    ASSERT_TRUE(pumpUntil([&] { return preview_->copiesRunning() == 0; }));
    // The two that ran and the queue's last ones; the choices the queue let go stay uncopied.
    EXPECT_EQ(copies_->calls, 8);
    EXPECT_TRUE(tracks[0]->bhasCopy());
    EXPECT_FALSE(tracks[2]->bhasCopy());
    EXPECT_TRUE(tracks[11]->bhasCopy());
    // The last choice plays.
    ASSERT_NE(preview_->player(false), nullptr);
    EXPECT_EQ(preview_->player(false)->file(), tracks[11]->bCopyLocationPath());
    EXPECT_TRUE(shown(tui().musicPlayView));
    EXPECT_FALSE(shown(tui().musicProgress));
}

TEST_F(MediaPreviewTest, AFailedCopyIsReportedLeftUncopiedAndTriedAgain) {
    copies_->failuresLeft = 1;
    copies_->release();
    const auto video = node(40, "Video");
    preview_->trackChosen(video, true, device_);
    ASSERT_TRUE(pumpUntil([&] { return preview_->copiesRunning() == 0; }));
    EXPECT_FALSE(video->bhasCopy());
    EXPECT_EQ(status_, transfer::previewCopyStatusText(PreviewCopyStatus::Failed));
    EXPECT_FALSE(shown(tui().videoProgress));
    EXPECT_EQ(preview_->player(true), nullptr);

    preview_->trackChosen(video, true, device_);
    ASSERT_TRUE(pumpUntil([&] { return preview_->copiesRunning() == 0; }));
    EXPECT_EQ(copies_->calls, 2);
    EXPECT_TRUE(video->bhasCopy());
    ASSERT_NE(preview_->player(true), nullptr);
    EXPECT_EQ(preview_->player(true)->file(), video->bCopyLocationPath());
    EXPECT_TRUE(status_.isEmpty());
    // Chosen once more: played from the copy, nothing copied.
    preview_->trackChosen(video, true, device_);
    EXPECT_EQ(copies_->calls, 2);
    EXPECT_EQ(preview_->copiesRunning(), 0u);
}

TEST_F(MediaPreviewTest, ACopyEndingAfterAResetShowsNothing) {
    const auto track = node(50);
    preview_->trackChosen(track, false, device_);
    ASSERT_TRUE(pumpUntil([&] {
        std::lock_guard lock(copies_->mutex);
        return copies_->calls == 1;
    }));
    preview_->reset();
    copies_->release();
    pumpEvents(30);
    EXPECT_EQ(preview_->copiesRunning(), 0u);
    EXPECT_EQ(preview_->copiesWaiting(), 0u);
    EXPECT_FALSE(shown(tui().musicPlayView));
    EXPECT_FALSE(shown(tui().musicProgress));
    EXPECT_FALSE(track->bhasCopy());
}

// On the demo device: a track chosen plays from its copy, and a device change puts it away.
TEST_F(TransferPageTest, AChosenTrackAndVideoPlayUntilTheDeviceChanges) {
    clickMusic();
    ASSERT_TRUE(waitForMusic());
    ASSERT_GT(page().musicController()->rowCount(), 0);
    tui().musicTableView->selectRow(0);
    const auto track = page().musicController()->rowAt(0);
    ASSERT_TRUE(pumpUntil([&] { return track->bhasCopy(); }));
    ASSERT_TRUE(pumpUntil([&] { return shown(tui().musicPlayView); }));
    auto* player = page().mediaPreview()->player(false);
    ASSERT_NE(player, nullptr);
    EXPECT_EQ(player->file(), track->bCopyLocationPath());
    EXPECT_TRUE(fs::file_size(track->bCopyLocationPath().toStdString()) > 0);
    EXPECT_FALSE(shown(tui().musicProgress));

    clickVideo();
    ASSERT_GT(page().videoController()->rowCount(), 0);
    tui().videoTableView->selectRow(0);
    ASSERT_TRUE(pumpUntil([&] { return shown(tui().videoPlayView); }));
    ASSERT_NE(page().mediaPreview()->player(true), nullptr);
    EXPECT_EQ(page().mediaPreview()->player(true)->file(),
              page().videoController()->rowAt(0)->bCopyLocationPath());

    page().initAllDataAndAllView();
    EXPECT_FALSE(shown(tui().musicPlayView));
    EXPECT_FALSE(shown(tui().videoPlayView));
    EXPECT_TRUE(page().mediaPreview()->player(false)->file().isEmpty());
}

// ------------------------------------------------------------------ the music library

// A library call on a worker: its error alert comes up on the GUI thread, the worker not waiting.
TEST_F(MediaPreviewTest, ALibraryErrorOnAWorkerIsAlertedOnTheGuiThread) {
    std::vector<Alerts::Question> asked;
    bool onGuiThread = false;
    Alerts::ScopedHandler answer([&](QWidget*, const Alerts::Question& question) {
        asked.push_back(question);
        onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        return Alerts::Answer::Default;
    });
    iTunesScriptHandler library(tmp_ / "Library", transfer::scriptErrorAlert(tui().view));
    std::thread worker([&library] { EXPECT_FALSE(library.deletePlaylist("Nowhere")); });
    worker.join();
    EXPECT_TRUE(asked.empty());
    ASSERT_TRUE(pumpUntil([&] { return !asked.empty(); }));
    EXPECT_TRUE(onGuiThread);
    EXPECT_EQ(asked[0].message, "AttachAScript Error");
    EXPECT_EQ(asked[0].informativeText,
              "Error -1728 occured the deletePlaylist(Nowhere) call: Can't get playlist "
              "\"Nowhere\".");
    EXPECT_EQ(asked[0].defaultButton, "ok");
}

class MusicLibraryTest : public ::testing::Test {
  protected:
    iTunesScriptHandler handler() {
        return iTunesScriptHandler(
            tmp_ / "Nimbara Library",
            [this](const QString& title, const QString& text, const QString& button) {
                alerts_.push_back(title + "|" + text + "|" + button);
            });
    }
    static QString fileText(const fs::path& file) {
        std::ifstream in(file);
        return QString::fromStdString(
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    fs::path source(const std::string& folder, const std::string& name, const std::string& bytes) {
        fs::create_directories(tmp_ / folder);
        const fs::path file = tmp_ / folder / name;
        std::ofstream(file) << bytes;
        return file;
    }
    TempDir tmp_;
    QStringList alerts_;
};

TEST_F(MusicLibraryTest, PlaylistsAreMadeFilledListedAndRemovedInTheLibraryFolder) {
    auto library = handler();
    EXPECT_TRUE(library.getAllPlaylist().isEmpty());
    ASSERT_TRUE(library.addNewPlaylist("iPhoneMusic"));
    // Made again: the one there is kept.
    ASSERT_TRUE(library.addNewPlaylist("iPhoneMusic"));
    ASSERT_TRUE(library.addNewPlaylist("Road Trip"));
    EXPECT_EQ(library.getAllPlaylist(), (QStringList{"iPhoneMusic", "Road Trip"}));

    // Two files of one name from two folders: two media files, both in the playlist.
    const fs::path a = source("one", "Intro.m4a", "first");
    const fs::path b = source("two", "Intro.m4a", "second one");
    const auto first = library.addNewFile(QString::fromStdString(a.string()), "iPhoneMusic");
    const auto second = library.addNewFile(QString::fromStdString(b.string()), "iPhoneMusic");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->items.front(), second->items.front());
    EXPECT_EQ(fileText(first->items.front().toStdString()), "first");
    EXPECT_EQ(fileText(second->items.front().toStdString()), "second one");

    const fs::path m3u8 = tmp_ / "Nimbara Library" / "iPhoneMusic.m3u8";
    EXPECT_EQ(fileText(m3u8),
              "#EXTM3U\n#PLAYLIST:iPhoneMusic\n#EXTINF:-1,Intro\nMedia/Intro.m4a\n"
              "#EXTINF:-1,Intro\nMedia/Intro (2).m4a\n");
    const auto list = library.playlist("iPhoneMusic");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->entries, (QStringList{"Media/Intro.m4a", "Media/Intro (2).m4a"}));
    EXPECT_EQ(list->titles, (QStringList{"Intro", "Intro"}));
    // Nothing above was an error.
    EXPECT_TRUE(alerts_.isEmpty()) << alerts_.join("\n").toStdString();

    ASSERT_TRUE(library.deletePlaylist("Road Trip"));
    EXPECT_EQ(library.getAllPlaylist(), QStringList{"iPhoneMusic"});
    EXPECT_TRUE(fs::exists(first->items.front().toStdString()));
    EXPECT_TRUE(library.hideWindow());
    EXPECT_TRUE(library.quit());
}

TEST_F(MusicLibraryTest, UnsafeNamesStayInsideAndNothingIsReplaced) {
    auto library = handler();
    ASSERT_TRUE(library.addNewPlaylist("../../escape"));
    ASSERT_TRUE(library.addNewPlaylist("a/b"));
    ASSERT_TRUE(library.addNewPlaylist("a_b"));
    EXPECT_EQ(library.getAllPlaylist(), (QStringList{"../../escape", "a/b", "a_b"}));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(tmp_ / "Nimbara Library")) {
        EXPECT_EQ(entry.path().extension(), ".m3u8");
        ++files;
    }
    EXPECT_EQ(files, 3u);
    EXPECT_FALSE(fs::exists(tmp_ / "escape.m3u8"));
    // A name with a line break can't add lines to the playlist file.
    ASSERT_TRUE(library.addNewPlaylist("two\n#EXTINF:-1,x\n/etc/passwd"));
    const auto list = library.playlist("two #EXTINF:-1,x /etc/passwd");
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->entries.isEmpty());
}

TEST_F(MusicLibraryTest, FailuresAreAlertedWithTheCallAndGiveNoReply) {
    auto library = handler();
    EXPECT_FALSE(library.addNewFile("/no/such/file.m4a", "Missing"));
    ASSERT_EQ(alerts_.size(), 1);
    EXPECT_EQ(alerts_[0],
              "AttachAScript Error|Error -1728 occured the AddNewFile(/no/such/file.m4a, "
              "Missing) call: Can't get playlist \"Missing\".|ok");
    ASSERT_TRUE(library.addNewPlaylist("P"));
    EXPECT_FALSE(library.addNewFile("/no/such/file.m4a", "P"));
    ASSERT_EQ(alerts_.size(), 2);
    EXPECT_TRUE(alerts_[1].contains("Error -43 occured the AddNewFile("));
    EXPECT_FALSE(library.callHandler("Nonsense", {}));
    EXPECT_TRUE(alerts_.back().contains("Error -1708 occured the Nonsense() call"));
    // A parameter of another type: nothing sent, nothing alerted.
    const auto before = alerts_.size();
    EXPECT_FALSE(library.callHandler("AddNewPlaylist", {QVariant(QSize(1, 1))}));
    EXPECT_EQ(alerts_.size(), before);
    EXPECT_TRUE(library.callHandler("addnewplaylist", {QVariant(QStringLiteral("Q"))}));
    EXPECT_TRUE(library.callHandler("ADDNEWPLAYLIST", {QVariant(7)}));
    EXPECT_EQ(library.getAllPlaylist(), (QStringList{"7", "P", "Q"}));
}

}  // namespace
}  // namespace nimbara::test
