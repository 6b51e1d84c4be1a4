// What a removal question of the storage manager or the device file browser says it takes: every
// kind and item by name, and what stays.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filemanager/action_texts.h"
#include "filemanager/device_fs_actions.h"

namespace nimbara::filemanager {
namespace {

StorageItem item(StorageKind kind, const std::string& path, const char* name, std::uint64_t size) {
    return {kind, path, QString::fromUtf8(name), size, false, {}, {}};
}

TEST(ActionTexts, StorageRemovalsNameEachKindAndWhatStays) {
    using K = StorageKind;
    const struct {
        std::vector<StorageItem> items;
        const char* says;
    } rows[] = {
        // A camera movie is a video; kinds come in the order first seen.
        {{item(K::CameraRollPhoto, "/DCIM/100APPLE/IMG_0002.MOV", "IMG_0002.MOV", 1000),
          item(K::CameraRollPhoto, "/DCIM/100APPLE/IMG_0001.JPG", "IMG_0001.JPG", 10),
          item(K::CameraRollPhoto, "/DCIM/100APPLE/IMG_0003.HEIC", "IMG_0003.HEIC", 20)},
         "1 video (1.00KB) will be deleted from the device: \u201cIMG_0002.MOV\u201d.\n"
         "2 photos (30.00bytes) will be deleted from the device: \u201cIMG_0001.JPG\u201d and "
         "\u201cIMG_0003.HEIC\u201d."},
        {{item(K::PhotoStreamPhoto, "/PhotoStreamsData/1/a.JPG", "a.JPG", 5),
          item(K::PhotoLibraryPhoto, "/PhotoData/Sync/b.JPG", "b.JPG", 5),
          item(K::Music, "/iTunes_Control/Music/F00/A.mp3", "Song", 0)},
         "2 Photo Stream or Photo Library photos can't be deleted here and stay on the device: "
         "\u201ca.JPG\u201d and \u201cb.JPG\u201d.\n"
         "1 track will be deleted from the device: \u201cSong\u201d."},
        // A file the device needs stays; an unnamed one goes by its path.
        {{item(K::UserDataFile, "/Downloads/downloads.28.sqlitedb", "downloads.28.sqlitedb", 9),
          item(K::UserDataFile, "/Downloads/a.txt", "", 4)},
         "1 file the device itself needs stays on the device: \u201cdownloads.28.sqlitedb\u201d.\n"
         "1 file (4.00bytes) will be deleted from the device: \u201ca.txt\u201d."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(storageRemovalSummary(row.items), QString::fromUtf8(row.says));
    }
    // The device file browser: folders go only when empty.
    EXPECT_EQ(
        deviceRemovalSummary({{"/a", true}, {"/PhotoData/Photos.sqlite", false}, {"/b", true}}),
        QStringLiteral("2 folders will be deleted from the device, each only if it is empty: "
                       "\u201ca\u201d and \u201cb\u201d.\n1 file the device itself needs "
                       "stays on the device: \u201cPhotos.sqlite\u201d."));
}

TEST(ActionTexts, LongListsSayHowManyMoreAndShowNamesAsTheyAre) {
    const std::vector<QString> names{QStringLiteral("50%2.txt"), QStringLiteral("%1"),
                                     QStringLiteral("c")};
    EXPECT_EQ(namesText(names, 2),
              QStringLiteral("\u201c50%2.txt\u201d, \u201c%1\u201d and 1 more"));
    EXPECT_EQ(namesText(names, 3),
              QStringLiteral("\u201c50%2.txt\u201d, \u201c%1\u201d and \u201cc\u201d"));
    EXPECT_EQ(namesText({names[2]}, 0), QStringLiteral("\u201cc\u201d"));
}

}  // namespace
}  // namespace nimbara::filemanager
