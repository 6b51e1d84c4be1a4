// The copy of tracks and videos into the music library (itunes_script_handler.h), into its
// playlist "iPhoneMusic".
//
// One run takes a whole list, one track after another, on the calling (worker) thread, bound to
// the device (index AND serial) the list was read from. A track is added from its local copy:
// one the page holds already is used as it is, any other is first copied from the device
// (media_preview_copy.h), and a track counts as copied only once that copy was written whole.
// Every library call runs on the calling thread. A failing call is told once per run through the
// error alert, and each track that could not be added is counted with its reason: this computer
// has no automatic-import folder for a failed track to be dropped into instead, so that fallback
// is reported as part of the failure, never taken silently.
#pragma once

#include <QString>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "transfer/itunes_script_handler.h"
#include "transfer/media_preview_copy.h"

class PRTranMusicNode;

namespace nimbara::transfer {

// The playlist the tracks go to.
inline constexpr const char* kLibraryPlaylist = "iPhoneMusic";

struct LibraryCopyRequest {
    MediaDeviceTarget device;
    std::vector<std::shared_ptr<PRTranMusicNode>> tracks;
    // True: a track not copied yet is copied from the device first. False: only tracks the page
    // copied already are added (the device is not asked).
    bool fetchMissing = true;
    bool videos = false;  // the list is of videos (for the sentences)
    std::filesystem::path libraryFolder = iTunesScriptHandler::defaultLibraryFolder();
};

struct LibraryCopyFailure {
    QString title;
    QString reason;
};

struct LibraryCopyReport {
    std::size_t total = 0;  // tracks asked for
    std::size_t added = 0;  // tracks added to the playlist
    std::vector<LibraryCopyFailure> failures;
    bool deviceGone = false;  // the device went away: the rest was not tried
    bool stopped = false;     // the caller asked to stop: the rest was not tried
    bool videos = false;
    std::filesystem::path libraryFolder;

    bool complete() const { return added == total && failures.empty(); }
};

using LibraryCopyProgress = std::function<void(std::size_t handled, std::size_t total)>;
using TrackCopyFunction = std::function<PreviewCopyResult(
    const MediaDeviceTarget&, PRTranMusicNode&, const std::function<bool()>& stop)>;

// Adds the request's tracks to the playlist. Blocking. `alert` hears the first failing library
// call of the run (may be empty); `copy` makes a track's local copy.
LibraryCopyReport copyTracksToLibrary(const LibraryCopyRequest& request,
                                      const iTunesScriptHandler::ErrorAlert& alert,
                                      const LibraryCopyProgress& progress = {},
                                      const std::function<bool()>& stop = {},
                                      const TrackCopyFunction& copy = copyTrackForPreview);

// The sentence for the page at the end of a run: how many were added to which playlist in which
// folder, and what could not be added and why.
QString libraryCopyOutcomeText(const LibraryCopyReport& report);

}  // namespace nimbara::transfer
