// The demo iPhone's media root.
#include <cstdio>
#include <string>
#include <vector>

#include "backup_privacy.h"
#include "demo_device_parts.h"
#include "file_writer.h"
#include "generated_images.h"
#include "sim_media_library.h"

namespace nimbara::simdev::demo {

namespace {

std::string imgName(int number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04d.%s", number, extension);
    return name;
}

std::string imgName(const char* folder, int number, const char* extension) {
    char name[96];
    std::snprintf(name, sizeof name, "%s/IMG_%04d.%s", folder, number, extension);
    return name;
}

void putWord(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t word) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(word >> (8 * i));
    }
}

// An SQLite database with the shared-memory and write-ahead files it has while open; `seed`,
// `seed` + 1 and `seed` + 2 vary their filler.
void addOpenDatabase(SimDeviceBuilder& b, const std::string& devicePath, std::size_t size,
                     std::size_t walSize, std::uint32_t seed) {
    b.addMediaFile(devicePath, sqliteLike(size, seed));
    b.addMediaFile(devicePath + "-shm", sqliteLike(32768, seed + 1));
    b.addMediaFile(devicePath + "-wal", sqliteLike(walSize, seed + 2));
}

void addCameraRoll(SimDeviceBuilder& b) {
    struct Shot {
        int number;
        int width;
        int height;
    };
    // Twelve photos; IMG_0006 and IMG_0010 are videos.
    const Shot shots[] = {{1, 320, 240},  {2, 240, 320},  {3, 400, 300},  {4, 320, 240},
                          {5, 300, 300},  {7, 360, 240},  {8, 240, 360},  {9, 320, 213},
                          {11, 480, 360}, {12, 256, 192}, {13, 320, 240}, {14, 213, 320}};
    std::int64_t when = utc(2026, 6, 14, 9, 12);
    for (const Shot& s : shots) {
        when += 86400 * 9 + 3917 * s.number;
        std::string jpeg = makePhotoJpeg(s.width, s.height, static_cast<std::uint32_t>(s.number));
        if (const auto position = demoPhotoPosition(s.number)) {
            jpeg = withGpsExif(jpeg, *position);
        }
        b.addMediaFile(imgName("/DCIM/100APPLE", s.number, "JPG"), jpeg, when);
    }
    b.addMediaFileOfSize("/DCIM/100APPLE/IMG_0006.MOV", 2300 * kKB, utc(2026, 7, 20, 18, 4));
    b.addMediaFileOfSize("/DCIM/100APPLE/IMG_0010.MOV", 40 * kMB, utc(2026, 9, 3, 16, 45));
    b.addMediaFile("/DCIM/100APPLE/IMG_0003.AAE",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                   "<key>adjustmentFormatIdentifier</key><string>com.apple.photo</string>"
                   "</dict></plist>\n",
                   utc(2026, 7, 3, 10, 30));

    // Photos from the photo stream and from computer syncs.
    addPhotoStreamFile(b, "1873402915", "100APPLE", imgName(101, "JPG"),
                       makePhotoJpeg(320, 240, 101));
    addPhotoStreamFile(b, "1873402915", "100APPLE", imgName(102, "JPG"),
                       makePhotoJpeg(240, 320, 102));
    addPhotoLibraryFile(b, "100SYNCD", imgName(201, "JPG"), makePhotoJpeg(300, 200, 201));
    addPhotoLibraryFile(b, "100SYNCD", imgName(202, "JPG"), makePhotoJpeg(200, 300, 202));
    // A folder of the older place that is no synced folder, and one that is.
    b.addMediaFile(imgName("/Photos/Sync/F00", 301, "JPG"), makePhotoJpeg(320, 240, 301));
    addPhotoLibraryFile(b, "101SYNCD", imgName(302, "JPG"), makePhotoJpeg(240, 320, 302), true);

    // The photo library's database and thumbnails; the .ithmb files are large but are no
    // candidates for removal.
    addOpenDatabase(b, "/PhotoData/Photos.sqlite", 240 * kKB, 96 * kKB, 1);
    b.addMediaFileOfSize("/PhotoData/Thumbnails/V2/DCIM/100APPLE/3303.ithmb", 9400 * kKB);
    b.addMediaFileOfSize("/PhotoData/Thumbnails/V2/4031.ithmb", 6500 * kKB);
    b.addMediaFileOfSize("/PhotoData/Thumbnails/V2/4032.ithmb", 1200 * kKB);

    // Leftovers of photo edits.
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0003/Adjustments/FullSizeRender.jpg",
                   makePhotoJpeg(400, 300, 1003));
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0003/Adjustments/Adjustments.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict/>"
                   "</plist>\n");
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0007/Adjustments/FullSizeRender.jpg",
                   makePhotoJpeg(360, 240, 1007));
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0012/Adjustments/FullSizeRender.png",
                   makeAppIconPng("Edit", "IMG_0012", 120));
    // The same name in both cases: only the lower-case ending counts as an edit's picture.
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0009/Adjustments/IMG_0009.JPG",
                   makePhotoJpeg(160, 120, 1009));
    b.addMediaFile("/PhotoData/Mutations/DCIM/100APPLE/IMG_0009/Adjustments/IMG_0009.jpg",
                   makePhotoJpeg(200, 150, 1019));
}

// The music and videos of the media library, with the files they point to. Item ids are 64-bit
// and mostly negative, as a device writes them; the last two rows are still in the log.
SimMediaLibrary demoMediaLibrary() {
    const auto track = [](std::int64_t pid, const char* title, std::int64_t kind,
                          std::uint64_t size, std::int64_t ms, const char* artist,
                          std::int64_t artistPid, const char* album, std::int64_t albumPid,
                          const char* folder, std::int64_t folderId, const char* location) {
        SimTrack t;
        t.pid = pid;
        t.title = title;
        t.mediaKind = kind;
        t.fileSize = static_cast<std::int64_t>(size);
        t.totalTimeMs = ms;
        t.artist = artist;
        t.artistPid = artistPid;
        t.album = album;
        t.albumPid = albumPid;
        t.folder = folder;
        t.baseLocationId = folderId;
        t.location = location;
        return t;
    };
    SimMediaLibrary library;
    library.tracks = {
        track(-7718935027345190813LL, "Harbour Lights", 1, 8400 * kKB, 251000, "The Tidewaters",
              -3141592653589793238LL, "Low Tide", 6051872300012345678LL, "iTunes_Control/Music/F03",
              3840, "KJHG.m4a"),
        track(4611686018427387905LL, "Paper Kites", 1, 6100 * kKB, 198500, "Mira Sol",
              2718281828459045235LL, "Small Hours", -1000000000000000001LL,
              "iTunes_Control/Music/F11", 3848, "PLMN.mp3"),
        track(-2305843009213693953LL, "Northbound", 1, 3900 * kKB, 143000, "Mira Sol",
              2718281828459045235LL, "Small Hours", -1000000000000000001LL,
              "iTunes_Control/Music/F11", 3848, "QAZX.m4a"),
        track(9007199254740993LL, "Lanterns", 1, 4700 * kKB, 176200, "The Tidewaters",
              -3141592653589793238LL, "Low Tide", 6051872300012345678LL, "iTunes_Control/Music/F27",
              3864, "WSXC.m4a"),
        track(-5764607523034234881LL, "Trail Run (Director's Cut)", 2, 24 * kMB, 1325000,
              "Nora Field", 1152921504606846977LL, "Home Movies", 1234567890123456789LL,
              "iTunes_Control/Music/F14", 3851, "VBNM.m4v"),
        track(-8070450532247928833LL, "AC/DC ../Live at the Barn", 1, 2100 * kKB, 312000,
              "Barn Band", 88, "../../Bootlegs", 89, "iTunes_Control/Music/F22", 3859, "HJKL.m4a"),
        track(-1LL, "Summer Recital", 2, 9 * kMB, 402000, "Nora Field", 1152921504606846977LL,
              "Home Movies", 1234567890123456789LL, "iTunes_Control/Music/F19", 3856, "TGBY.mp4"),
    };
    // A song deleted by hand: the library still lists it.
    SimTrack gone = track(-6148914691236517206LL, "Lost Tapes", 1, 5300 * kKB, 222000,
                          "The Tidewaters", -3141592653589793238LL, "Low Tide",
                          6051872300012345678LL, "iTunes_Control/Music/F30", 3867, "GONE.m4a");
    gone.fileOnDevice = false;
    library.tracks.insert(library.tracks.begin() + 4, gone);
    library.inLog = 2;
    return library;
}

LibraryBytes addMusicAndSync(SimDeviceBuilder& b) {
    // The media library identifier is read from words 20, 24, 96 and 100 of iTunesPrefs.
    std::vector<std::uint8_t> prefs(512);
    const std::string filler = fillerBytes(prefs.size(), 77);
    prefs.assign(filler.begin(), filler.end());
    prefs[0] = 'f';
    prefs[1] = 'r';
    prefs[2] = 'p';
    prefs[3] = 'd';
    putWord(prefs, 20, 0x9C3A51E7u);
    putWord(prefs, 24, 0x4B2D0F86u);
    putWord(prefs, 96, 0x1F0E2D3Cu);
    putWord(prefs, 100, 0x6A5B4C3Du);
    b.setITunesPrefs(prefs);
    const SimMediaLibrary library = demoMediaLibrary();
    addMediaLibrary(b, library);
    LibraryBytes bytes;
    for (const SimTrack& track : library.tracks) {
        if (track.fileOnDevice) {
            (track.mediaKind == 2 ? bytes.movies : bytes.music) += track.fileSize;
        }
    }

    // Media left behind by syncs that failed.
    b.addMediaFileOfSize("/iTunes_Control/Sync/Media/F05/ABCD.mp3", 3700 * kKB);
    b.addMediaFileOfSize("/iTunes_Control/Sync/Media/F12/QWER.m4a", 4200 * kKB);
    b.addMediaFileOfSize("/iTunes_Control/Sync/Media/F12/TYUI.m4v", 6800 * kKB);
    b.addMediaFileOfSize("/iTunes_Control/Sync/Media/Artwork/0A/1F3C.jpg", 88 * kKB);
    b.addMediaFileOfSize("/iTunes_Control/Sync/pending-0412.m4a", 1900 * kKB);

    b.addMediaFileOfSize("/Podcasts/Morning Brief/Episode 0412.mp3", 18 * kMB);
    b.addMediaFile("/Podcasts/MTLibrary.sqlitedb", sqliteLike(128 * kKB, 13));
    b.addMediaFile("/Safari/goog-phish-shavar.db", sqliteLike(200 * kKB, 14));
    return bytes;
}

void addBooksAndRecordings(SimDeviceBuilder& b) {
    b.addMediaFile("/Books/Purchases/Purchases.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                   "<plist version=\"1.0\">\n<dict>\n\t<key>Books</key>\n\t<array>\n"
                   "\t\t<dict>\n\t\t\t<key>Name</key>\n\t\t\t<string>The Big Book of Trails"
                   "</string>\n\t\t\t<key>Path</key>\n\t\t\t<string>big-book.pdf</string>\n"
                   "\t\t</dict>\n\t\t<dict>\n\t\t\t<key>Name</key>\n\t\t\t<string>Field Notes"
                   "</string>\n\t\t\t<key>Path</key>\n\t\t\t<string>Field Notes.epub</string>\n"
                   "\t\t</dict>\n\t</array>\n</dict>\n</plist>\n");
    b.addMediaFileOfSize("/Books/Purchases/big-book.pdf", 7 * kMB, utc(2026, 3, 8));
    b.addMediaFile("/Books/Purchases/Field Notes.epub/mimetype", "application/epub+zip");
    b.addMediaFile("/Books/Purchases/Field Notes.epub/META-INF/container.xml",
                   "<?xml version=\"1.0\"?>\n<container version=\"1.0\" "
                   "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles>"
                   "<rootfile full-path=\"OEBPS/content.opf\" "
                   "media-type=\"application/oebps-package+xml\"/></rootfiles></container>\n");
    b.addMediaFileOfSize("/Books/Purchases/Field Notes.epub/OEBPS/content.opf", 3 * kKB);
    b.addMediaFileOfSize("/Books/Purchases/Field Notes.epub/OEBPS/chapter1.xhtml", 41 * kKB);
    b.addMediaFile("/Books/Purchases/Field Notes.epub/iTunesArtwork",
                   makeAppIconPng("Field Notes", "book:field-notes", 120));
    b.addMediaFile("/Books/com.apple.ibooks-sync.plist",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict/>"
                   "</plist>\n");

    addVoiceMemo(b, "20261102 081530.m4a", 1200 * kKB, utc(2026, 11, 2, 8, 15));
    addVoiceMemo(b, "20261115 190412.m4a", 800 * kKB, utc(2026, 11, 15, 19, 4));
    addVoiceMemo(b, "long-interview.m4a", 12 * kMB, utc(2026, 10, 21, 14, 0));
    // A recording above 100,000,000 bytes: the large-file finder's "big" user files.
    addVoiceMemo(b, "Concert 2026-08-14.m4a", 148 * kMB, utc(2026, 8, 14, 21, 30));
    b.addMediaFile("/Recordings/Recordings.db", sqliteLike(48 * kKB, 20));

    b.addMediaDir("/ApplicationArchives");
}

void addDownloadsAndStorage(SimDeviceBuilder& b) {
    addOpenDatabase(b, "/Downloads/downloads.28.sqlitedb", 96 * kKB, 412 * kKB, 30);
    b.addMediaFileOfSize("/Downloads/com.apple.AppStore/6A1F0C2E/asset.partial", 3100 * kKB);
    b.addMediaFileOfSize("/Downloads/com.apple.itunesstored/1290384821.partial.m4a", 2400 * kKB);
    b.addMediaFileOfSize("/Downloads/com.apple.Music/A8B3C1D7.mp4.download", 1750 * kKB);

    b.addMediaFileOfSize("/general_storage/storage.cache", 280 * kKB);
    b.addMediaFileOfSize("/general_storage/com.apple.mobileslideshow/thumbs.cache", 145 * kKB);
    b.addMediaFileOfSize("/general_storage/ubiquity/kvs.cache", 12 * kKB);
}

}  // namespace

LibraryBytes addMedia(SimDeviceBuilder& b) {
    addCameraRoll(b);
    const LibraryBytes library = addMusicAndSync(b);
    addBooksAndRecordings(b);
    addDownloadsAndStorage(b);
    return library;
}

}  // namespace nimbara::simdev::demo
