// Copies of tracks into the music library's playlist: what counts as added, what is fetched from
// the device, and how failures (a track that can't be copied, a library that can't be written)
// are counted and told.
#include <gtest/gtest.h>

#include <QStringList>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "transfer/music_library_copy.h"
#include "transfer/pr_tran_music_node.h"

namespace nimbara::test {
namespace {

namespace fs = std::filesystem;
using transfer::PreviewCopyResult;
using transfer::PreviewCopyStatus;

TEST(MusicLibraryCopy, CountsOnlyWhatWasAddedAndSaysWhyTheRestWasNot) {
    struct Row {
        const char* tracks;  // "*A": copied already; "!B": its copy from the device fails
        const char* setup;   // "gone": the failing copy finds the device gone; "copied-only":
                             // nothing is fetched; "read-only": the library can't be written
        std::size_t added;
        std::size_t fetched;  // copies asked of the device
        const char* text;     // how the outcome starts
    };
    const std::vector<Row> rows = {
        {"A B C", "", 3, 3, "3 tracks were added to the playlist iPhoneMusic in "},
        {"*A B *C", "", 3, 1, "3 tracks were added"},
        {"A !B C", "", 2, 3, "2 of 3 tracks were added"},
        {"A !B C", "gone", 1, 2,
         "The device went away before everything was copied. 1 of 3 tracks were added"},
        {"*A B", "copied-only", 1, 0, "1 of 2 tracks were added"},
        {"A *B", "read-only", 0, 0,
         "\"A\" could not be added to the music library: The library folder could not be made; "
         "there is no automatic-import folder on this computer. 1 more could not be added "
         "either."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.tracks) + " " + row.setup);
        const QString setup = QLatin1String(row.setup);
        TempDir tmp;
        transfer::LibraryCopyRequest request;
        request.fetchMissing = setup != "copied-only";
        request.libraryFolder = tmp / "Library";
        if (setup == "read-only") {
            std::ofstream(request.libraryFolder) << "a file where the folder should be";
        }
        for (QString title : QString::fromLatin1(row.tracks).split(' ')) {
            auto track = std::make_shared<PRTranMusicNode>();
            const QChar mark = title[0];
            title.remove(QLatin1Char('*')).remove(QLatin1Char('!'));
            track->setMusicTitle(title);
            track->setMusicLoctionpath(mark == '!' ? "/nowhere.m4a" : "/Music/" + title + ".m4a");
            if (mark == '*') {
                const fs::path copy = tmp / (title.toStdString() + ".m4a");
                std::ofstream(copy) << "copied before";
                track->setBCopyLocationPath(QString::fromStdString(copy.string()));
                track->setBhasCopy(true);
            }
            request.tracks.push_back(track);
        }
        std::size_t fetched = 0;
        const auto copy = [&](const transfer::MediaDeviceTarget&, PRTranMusicNode& track,
                              const std::function<bool()>&) {
            ++fetched;
            PreviewCopyResult result;
            if (track.musicLoctionpath() == "/nowhere.m4a") {
                result.status =
                    setup == "gone" ? PreviewCopyStatus::DeviceGone : PreviewCopyStatus::Failed;
                return result;
            }
            result.path = tmp / (track.musicTitle().toStdString() + ".m4a");
            std::ofstream(result.path) << "fetched";
            track.setBCopyLocationPath(QString::fromStdString(result.path.string()));
            track.setBhasCopy(true);
            result.status = PreviewCopyStatus::Copied;
            return result;
        };
        int alerts = 0;
        const auto report = transfer::copyTracksToLibrary(
            request, [&](const QString&, const QString&, const QString&) { ++alerts; }, {}, {},
            copy);

        EXPECT_EQ(report.added, row.added);
        EXPECT_EQ(fetched, row.fetched);
        EXPECT_EQ(alerts, setup == "read-only" ? 1 : 0);  // once per run, not once per track
        for (const auto& track : request.tracks) {
            // A track whose copy failed is never marked copied.
            EXPECT_FALSE(track->musicLoctionpath() == "/nowhere.m4a" && track->bhasCopy());
        }
        const auto list = iTunesScriptHandler(request.libraryFolder).playlist("iPhoneMusic");
        EXPECT_EQ(list ? static_cast<std::size_t>(list->entries.size()) : 0u, row.added);
        EXPECT_TRUE(transfer::libraryCopyOutcomeText(report).startsWith(QLatin1String(row.text)))
            << transfer::libraryCopyOutcomeText(report).toStdString();
    }
}

}  // namespace
}  // namespace nimbara::test
