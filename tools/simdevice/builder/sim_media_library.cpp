#include "sim_media_library.h"

#include <filesystem>
#include <map>
#include <set>

#include "file_writer.h"
#include "folder_steps.h"
#include "sim_database.h"
#include "sim_device_builder.h"

namespace nimbara::simdev {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLibraryPath = "/iTunes_Control/iTunes/MediaLibrary.sqlitedb";

constexpr const char* kCommonSchema =
    "CREATE TABLE item (item_pid INTEGER PRIMARY KEY, media_type INTEGER, "
    "item_artist_pid INTEGER, album_pid INTEGER, album_artist_pid INTEGER, genre_id INTEGER, "
    "base_location_id INTEGER, date_downloaded INTEGER);"
    "CREATE TABLE item_extra (item_pid INTEGER PRIMARY KEY, title TEXT, sort_title TEXT, "
    "disc_count INTEGER, track_count INTEGER, total_time_ms REAL, year INTEGER, location TEXT, "
    "file_size INTEGER, media_kind INTEGER);"
    "CREATE TABLE album (album_pid INTEGER PRIMARY KEY, album TEXT, sort_album TEXT, "
    "album_artist_pid INTEGER, representative_item_pid INTEGER);"
    "CREATE TABLE album_artist (album_artist_pid INTEGER PRIMARY KEY, album_artist TEXT, "
    "sort_album_artist TEXT, representative_item_pid INTEGER);"
    "CREATE TABLE base_location (base_location_id INTEGER PRIMARY KEY, path TEXT);"
    "CREATE TABLE genre (genre_id INTEGER PRIMARY KEY, genre TEXT, representative_item_pid "
    "INTEGER);";
constexpr const char* kItemArtistSchema =
    "CREATE TABLE item_artist (item_artist_pid INTEGER PRIMARY KEY, item_artist TEXT, "
    "sort_item_artist TEXT, series_name TEXT, representative_item_pid INTEGER);";

void bindOptional(SqliteStatement& st, int index, const std::optional<std::int64_t>& value) {
    if (value) {
        st.bind(index, *value);
    } else {
        st.bindNull(index);
    }
}

}  // namespace

void addPhotoStreamFile(SimDeviceBuilder& b, const std::string& stream, const std::string& folder,
                        const std::string& name, const std::string& contents) {
    b.addMediaFile("/PhotoStreamsData/" + stream + "/" + folder + "/" + name, contents);
}

void addPhotoLibraryFile(SimDeviceBuilder& b, const std::string& folder, const std::string& name,
                         const std::string& contents, bool older) {
    b.addMediaFile(std::string(older ? "/Photos/Sync/" : "/PhotoData/Sync/") + folder + "/" + name,
                   contents);
}

void addVoiceMemo(SimDeviceBuilder& b, const std::string& name, std::uint64_t size,
                  std::int64_t mtime) {
    b.addMediaFileOfSize("/Recordings/" + name, size, mtime);
}

void addMediaLibrary(SimDeviceBuilder& b, const SimMediaLibrary& library) {
    const fs::path file = b.mediaPath(kLibraryPath);
    makeFolders(file.parent_path());
    std::string schema = kCommonSchema;
    if (library.schema == SimLibrarySchema::ItemArtist) {
        schema += kItemArtistSchema;
    }
    BackupSqliteWriter db(file, schema.c_str());
    SqliteStatement item = db.prepare(
        "INSERT INTO item (item_pid, media_type, item_artist_pid, album_pid, album_artist_pid, "
        "genre_id, base_location_id) VALUES (?1, ?2, ?3, ?4, ?5, 0, ?6)");
    SqliteStatement extra = db.prepare(
        "INSERT INTO item_extra (item_pid, title, sort_title, total_time_ms, location, file_size, "
        "media_kind) VALUES (?1, ?2, ?2, ?3, ?4, ?5, ?6)");
    SqliteStatement artist =
        library.schema == SimLibrarySchema::ItemArtist
            ? db.prepare(
                  "INSERT INTO item_artist (item_artist_pid, item_artist, "
                  "sort_item_artist, representative_item_pid) VALUES (?1, ?2, ?2, ?3)")
            : db.prepare(
                  "INSERT INTO album_artist (album_artist_pid, album_artist, "
                  "sort_album_artist, representative_item_pid) VALUES (?1, ?2, ?2, ?3)");
    SqliteStatement album = db.prepare(
        "INSERT INTO album (album_pid, album, sort_album, representative_item_pid) "
        "VALUES (?1, ?2, ?2, ?3)");
    SqliteStatement folder =
        db.prepare("INSERT INTO base_location (base_location_id, path) VALUES (?1, ?2)");

    std::set<std::int64_t> artists, albums, folders;
    db.writeRows(library.tracks, library.inLog, [&](const SimTrack& t, std::size_t) {
        item.bind(1, t.pid);
        bindOptional(item, 2, t.mediaKind);
        item.bind(3, t.artistPid);
        item.bind(4, t.albumPid);
        item.bind(5, t.artistPid);
        item.bind(6, t.baseLocationId);
        db.run(item);
        extra.bind(1, t.pid);
        bindText(extra, 2, t.title);
        bindReal(extra, 3, static_cast<double>(t.totalTimeMs));
        bindText(extra, 4, t.location);
        extra.bind(5, t.fileSize);
        bindOptional(extra, 6, t.mediaKind);
        db.run(extra);
        if (!t.artist.empty() && artists.insert(t.artistPid).second) {
            artist.bind(1, t.artistPid);
            artist.bind(2, t.artist);
            artist.bind(3, t.pid);
            db.run(artist);
        }
        if (!t.album.empty() && albums.insert(t.albumPid).second) {
            album.bind(1, t.albumPid);
            album.bind(2, t.album);
            album.bind(3, t.pid);
            db.run(album);
        }
        if (!t.folder.empty() && folders.insert(t.baseLocationId).second) {
            folder.bind(1, t.baseLocationId);
            folder.bind(2, t.folder);
            db.run(folder);
        }
    });
    db.finish();
    if (library.inLog > 0) {
        // A zeroed index: whoever opens the library rebuilds it from the log.
        writeBytes(fs::path(file.string() + "-shm"), std::string(32768, '\0'));
    }
    for (const SimTrack& t : library.tracks) {
        if (t.fileOnDevice && !t.folder.empty() && !t.location.empty()) {
            b.addMediaFileOfSize("/" + t.folder + "/" + t.location,
                                 static_cast<std::uint64_t>(t.fileSize));
        }
    }
}

}  // namespace nimbara::simdev
