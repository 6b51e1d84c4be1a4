// The device's media library: music and videos read from a private copy of the device's
// "/iTunes_Control/iTunes/MediaLibrary.sqlitedb".
//
// Each read copies the database and its "-shm" and "-wal" files afresh over AFC into a folder of
// its own below the scratch folder "DB" (made for that read, removed when it ends), so a log left
// by another read or another device is never replayed into this copy. When the database itself
// can't be copied nothing is read. The copy's log is folded into it and the catalogue is read with
// one query over `item_extra` joined to `item_artist` (or, where the library has no such table,
// to `album_artist`, after dropping `genre` from the copy) and four small look-ups per item with
// bound ids; ids are 64-bit and read exactly, negative ones included.
//
// Every read belongs to one device (index and serial) and hands its result to the caller's own
// sink; it always ends with exactly one call of `finished`, with no tracks when nothing was found
// and with none at all when its device went away meanwhile.
#pragma once

#include "device/device_target.h"
#include "transfer/pr_tran_music_node.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace amd {
class AfcService;
}

namespace nimbara::transfer {

inline constexpr const char* kMediaLibraryPath = "/iTunes_Control/iTunes/MediaLibrary.sqlitedb";

// The device a read belongs to (amd::DeviceManager index and serial).
using MediaDeviceTarget = amd::DeviceTarget;

enum class MediaLibraryStatus {
    Done,              // read (possibly no tracks at all)
    NoLibrary,         // the device holds no media library: no tracks
    CopyFailed,        // the library is there but could not be copied: nothing read
    Unreadable,        // the copy is no database the reader understands: nothing read
    ServiceRefused,    // the device refused its file service
    NoAnswer,          // the device did not answer in time when its file service was asked for
    WaitingForUnlock,  // the device is locked: its file service opens once it is unlocked
    WaitingForTrust,   // the device asks its user whether to trust this computer
    DeviceGone,        // the device went away (or another took its index): results dropped
    Stopped,           // the caller asked to stop: results dropped
};
// One sentence for the user.
QString mediaLibraryStatusText(MediaLibraryStatus status);
// The status of a read whose file service did not start with this device code: a time-out or a
// device waiting for its user is no refusal.
MediaLibraryStatus mediaLibraryServiceFailure(int deviceCode);

// Which catalogue query the library answered.
enum class MediaLibraryQuery { None, ItemArtist, AlbumArtist };

// "Video" for media kind 2, "Music" for any other kind.
QString mediaTypeForKind(std::int64_t mediaKind);

struct MediaLibraryOptions {
    // Ask the device for each track's file and leave out the tracks whose file is not there (and
    // those that name no file); otherwise every track is listed.
    bool requireFilesOnDevice = false;
};

struct MediaLibraryResult {
    MediaDeviceTarget device;
    MediaLibraryStatus status = MediaLibraryStatus::Done;
    MediaLibraryQuery query = MediaLibraryQuery::None;
    std::vector<std::shared_ptr<PRTranMusicNode>> music;
    std::vector<std::shared_ptr<PRTranMusicNode>> videos;
    // Rows with no media kind: in neither list.
    std::size_t withoutKind = 0;
    // Tracks left out because their file is missing on the device (requireFilesOnDevice).
    std::vector<std::shared_ptr<PRTranMusicNode>> missingFiles;
    std::uint64_t musicBytes = 0;
    std::uint64_t videoBytes = 0;
};

// The sink of one read, called on the reading thread. The tracks come only with `finished`, so
// a read cut short by a departed device hands over none.
struct MediaLibrarySink {
    // From 0 to 1, never falling.
    std::function<void(double)> progress;
    // Once, at the end, whatever happened.
    std::function<void(const MediaLibraryResult&)> finished;
};

class MediaLibraryReader {
  public:
    using StopCheck = std::function<bool()>;  // true: stop now
    MediaLibraryReader(MediaDeviceTarget target, MediaLibraryOptions options = {},
                       StopCheck stop = {});

    // Copies and reads the library on the calling (worker) thread; the same result also goes to
    // `sink.finished`.
    MediaLibraryResult read(const MediaLibrarySink& sink = {});

    // Reads a local copy that is already self-contained (tests, and callers with their own
    // copy). `afc`, when given, answers the per-track file checks.
    static MediaLibraryResult readCopy(const std::string& databasePath,
                                       const MediaLibraryOptions& options, amd::AfcService* afc,
                                       const MediaLibrarySink& sink,
                                       const std::function<bool()>& stopOrGone);

  private:
    bool deviceAttached() const;

    MediaDeviceTarget target_;
    MediaLibraryOptions options_;
    StopCheck stop_;
};

}  // namespace nimbara::transfer
