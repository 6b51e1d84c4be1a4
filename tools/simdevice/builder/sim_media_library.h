// The device's media library: "/iTunes_Control/iTunes/MediaLibrary.sqlitedb" on the media root,
// with the tables and columns iOS keeps its catalogue in, and the media files its rows point to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nimbara::simdev {

class SimDeviceBuilder;

struct SimTrack {
    std::int64_t pid = 0;                       // item_pid: 64-bit, often negative on a device
    std::string title;                          // item_extra.title; empty: NULL
    std::optional<std::int64_t> mediaKind = 1;  // item_extra.media_kind: 1 music, 2 video
    std::int64_t fileSize = 0;                  // item_extra.file_size, and the file's size
    std::int64_t totalTimeMs = 0;               // item_extra.total_time_ms
    std::string artist;                         // item_artist (or album_artist) row; empty: none
    std::int64_t artistPid = 0;
    std::string album;  // album row; empty: none
    std::int64_t albumPid = 0;
    std::string folder;  // base_location.path, as the device writes it: "iTunes_Control/Music/F03"
    std::int64_t baseLocationId = 0;
    std::string location;      // item_extra.location: the file's name in that folder
    bool fileOnDevice = true;  // false: the row names a file that is not there
};

enum class SimLibrarySchema {
    ItemArtist,   // artists in `item_artist`
    AlbumArtist,  // no `item_artist` table: artists only in `album_artist`
};

struct SimMediaLibrary {
    SimLibrarySchema schema = SimLibrarySchema::ItemArtist;
    std::vector<SimTrack> tracks;
    // The last `inLog` tracks' rows stay in the "-wal" file (a library the device had not yet
    // checkpointed); the "-shm" file is there whenever the log is.
    std::size_t inLog = 0;
};

// The camera's pictures that reach the device in other ways, in the folders iOS keeps them in:
// a photo stream's "/PhotoStreamsData/<stream>/<folder>/<name>" (folder like "100APPLE") and
// the photo library synced from a computer, "/PhotoData/Sync/<folder>/<name>" (folder like
// "100SYNCD"; `older` puts it under "/Photos/Sync" as older systems do).
void addPhotoStreamFile(SimDeviceBuilder& b, const std::string& stream, const std::string& folder,
                        const std::string& name, const std::string& contents);
void addPhotoLibraryFile(SimDeviceBuilder& b, const std::string& folder, const std::string& name,
                         const std::string& contents, bool older = false);
// A voice memo "/Recordings/<name>" of `size` bytes recorded at `mtime` (seconds since 1970).
void addVoiceMemo(SimDeviceBuilder& b, const std::string& name, std::uint64_t size,
                  std::int64_t mtime = 0);

// Writes the library (replacing an earlier one and its log files) and every track's media file
// of `fileSize` bytes that is on the device. Throws as the builder's writers do.
void addMediaLibrary(SimDeviceBuilder& b, const SimMediaLibrary& library);

}  // namespace nimbara::simdev
